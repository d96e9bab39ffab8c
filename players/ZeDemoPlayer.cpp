#include "players/ZeDemoPlayer.h"

#include "frame/ZeLog.h"
#include "players/ZeDemoCalls.h"
#include "players/ZePlayerRun.h"

#include <cstdio>
#include <memory>
#include <new>
#include <string>

namespace
{
const float DEFAULT_CAPTURE_FPS = 30.0f;
const int PAUSE_BEFORE_START_MS = 200;

bool inside(int time, int start, int length)
{
	return time >= start && time < start + length;
}

// "%s_%06d.bmp".
std::string captureFileName(const char* baseName, int frame)
{
	char number[32];
	snprintf(number, sizeof(number), "_%06d.bmp", frame);
	return std::string(baseName) + number;
}

// Forgets a scene deleted at a part switch, so that freeing the demo does not
// delete it again.
void forgetScene(SZeDemo* demo, int sceneId)
{
	for (int p = 0; p < demo->partCount; ++p)
		if (demo->parts[p].sceneId == sceneId)
			demo->parts[p].sceneId = -1;
}

// Makes part `next` current; `current` is the part before it (null for none).
// False when `next` is the last part, which only marks the end.
bool switchPart(SZeDemo* demo, SZeDemoPlayState* state, SZeDemoPart* current, int next, int clock, int* time)
{
	SZeDemoCalls& calls = zeDemoCalls();
	SZeDemoPart& part = demo->parts[next];
	state->partIndex = next;
	if (next == demo->partCount - 1)
	{
		state->ended = 1;
		return false;
	}
	if (part.musicId != -1 && state->musicId != -1)
		calls.stopMusic(state->musicId);
	if (part.sceneId != -1 && state->sceneId != -1)
	{
		calls.hideScene(state->sceneId);
		for (int e = 0; current && e < current->extraCount; ++e)
		{
			SZeDemoExtra& extra = current->extras[e];
			if (extra.sceneId == -1)
				continue;
			calls.hideScene(extra.sceneId);
			if (extra.flushObjects)
			{
				calls.deleteScene(extra.sceneId);
				extra.sceneId = -1;
			}
		}
		if (current && current->flushObjects)
		{
			calls.deleteScene(state->sceneId);
			forgetScene(demo, state->sceneId);
		}
	}
	if (part.musicId != -1)
	{
		state->musicId = part.musicId;
		calls.playMusic(part.musicId);
		state->musicPartTime = part.time;
	}
	if (part.timeReset)
	{
		state->startTime = clock;
		*time = 0;
	}
	calls.setCameraRange(part.cameraNear, part.cameraFar);
	// Every part starts its particles and jitter from the same random state,
	// whatever ran before it (preparation frames included).
	calls.seedRandom(static_cast<unsigned int>(next));
	if (part.sceneId != -1)
	{
		state->sceneId = part.sceneId;
		calls.showScene(part.sceneId);
		for (int e = 0; e < part.extraCount; ++e)
			if (part.extras[e].sceneId != -1)
			{
				calls.stashScene(part.extras[e].sceneId);
				calls.showScene(part.extras[e].sceneId);
			}
	}
	return true;
}

// Extras shown inside their windows, animated from their own start, parked
// out of view at their end.
void updateExtras(SZeDemoPart* part, int time)
{
	SZeDemoCalls& calls = zeDemoCalls();
	for (int e = 0; e < part->extraCount; ++e)
	{
		SZeDemoExtra& extra = part->extras[e];
		if (extra.sceneId == -1)
			continue;
		if (inside(time, extra.time, extra.length))
		{
			if (!extra.shown)
			{
				calls.showSceneFxEmitters(extra.sceneId);
				extra.shown = 1;
			}
			calls.animateScene(extra.sceneId, time - extra.time);
		}
		else if (extra.shown && time >= extra.time + extra.length)
		{
			calls.stashScene(extra.sceneId);
			extra.shown = 0;
		}
	}
}

// Records (shaders, faders) switched on inside their windows of demo time,
// each once and one at a time: one whose window opens turns off the one
// switched on before it in this frame; one whose window has closed is turned
// off. Records that `usable` refuses are left alone.
template <typename Record, typename Usable, typename TurnOn, typename TurnOff>
void updateWindows(Record* records, int count, int time, Usable usable, TurnOn turnOn, TurnOff turnOff)
{
	Record* turnedOn = nullptr;
	for (int i = 0; i < count; ++i)
	{
		Record& record = records[i];
		if (!usable(record))
			continue;
		if (inside(time, record.time, record.length) && !record.active && !record.done)
		{
			if (turnedOn && turnedOn->active)
			{
				turnOff(*turnedOn);
				turnedOn->active = 0;
				turnedOn->done = 1;
			}
			turnOn(record);
			record.active = 1;
			turnedOn = &record;
		}
		else if (record.active && time >= record.time + record.length)
		{
			turnOff(record);
			record.active = 0;
			record.done = 1;
		}
	}
}

void updateShaders(SZeDemoPart* part, int time)
{
	SZeDemoCalls& calls = zeDemoCalls();
	updateWindows(
		part->shaders, part->shaderCount, time, [](const SZeDemoShader& s) { return s.cameraEffectId != -1; },
		[&](const SZeDemoShader& s) { calls.showCameraEffect(s.cameraEffectId); },
		[&](const SZeDemoShader& s) { calls.hideCameraEffect(s.cameraEffectId); });
}

void updateFaders(SZeDemoPart* part, int time)
{
	SZeDemoCalls& calls = zeDemoCalls();
	updateWindows(
		part->faders, part->faderCount, time, [](const SZeDemoFader&) { return true; },
		[&](const SZeDemoFader& f) { (f.fadeOut ? calls.fadeOut : calls.fadeIn)(f.fadeLength, f.color); },
		[&](const SZeDemoFader&) { calls.stopFade(); });
}

void prepareScenes(SZeDemo* demo)
{
	SZeDemoCalls& calls = zeDemoCalls();
	for (int p = 0; p < demo->partCount; ++p)
		if (demo->parts[p].sceneId != -1)
			calls.prepareSceneRender(demo->parts[p].sceneId);
	calls.sync();
}

SZeDemoPlayState startState(int startTime)
{
	SZeDemoPlayState state = {startTime, 0, -1, -1, -1, -1, 0};
	return state;
}
} // namespace

int zeDemoFrame(SZeDemo* demo, SZeDemoPlayState* state, int givenTime)
{
	SZeDemoCalls& calls = zeDemoCalls();
	SZeDemoPart* current = state->partIndex >= 0 ? &demo->parts[state->partIndex] : nullptr;
	int clock = givenTime;
	int time = 0;
	if (givenTime != -1)
		time = givenTime - state->startTime;
	else
	{
		clock = static_cast<int>(calls.timer());
		time = clock - state->startTime;
		// A part playing its own music follows it: the music started with the
		// part, at the part's time on the demo's time line.
		const int position = current && current->musicId != -1 ? calls.getMusicPosition(current->musicId) : -1;
		if (position != -1)
			time = current->timeBase + position;
	}

	const int next = state->partIndex + 1;
	if (next < demo->partCount && time >= demo->parts[next].time)
	{
		if (!switchPart(demo, state, current, next, clock, &time))
			return 0;
		current = &demo->parts[next];
	}
	if (!current)
	{
		calls.sync();
		return 0;
	}

	updateExtras(current, time);
	// Palettes do nothing in this engine: the current one is only recorded.
	if (current->paletteId != state->paletteId)
		state->paletteId = current->paletteId;
	updateShaders(current, time);
	updateFaders(current, time);
	if (state->sceneId != -1)
	{
		calls.animateScene(state->sceneId, time - current->timeBase);
		calls.renderSceneCubeMaps(state->sceneId, time - current->timeBase);
	}
	calls.sync();
	return 0;
}

int zeDemoRunLoop(SZeDemo* demo)
{
	SZeDemoCalls& calls = zeDemoCalls();
	SZeDemoPlayState state = startState(static_cast<int>(calls.timer()));
	while (calls.run())
	{
		if (calls.escapeKeyEverPressed() || state.ended)
			return 0;
		if (zeDemoFrame(demo, &state, -1) != 0)
			return -1;
	}
	return 0;
}

int zeDemoCaptureLoop(SZeDemo* demo, const char* baseName, float fps)
{
	SZeDemoCalls& calls = zeDemoCalls();
	zeLog(EZELL_INFO, "Start capturing: basename='%s' fps=%f", baseName, static_cast<double>(fps));
	SZeDemoPlayState state = startState(0);
	int result = 0;
	for (int n = 0; result == 0 && calls.run() && !calls.escapeKeyEverPressed() && !state.ended; ++n)
	{
		const int time = static_cast<int>(n * 1000.0 / static_cast<double>(fps));
		calls.holdFrameClock(static_cast<unsigned int>(time));
		result = zeDemoFrame(demo, &state, time);
		const std::string file = captureFileName(baseName, n);
		// The frame that ends the demo draws nothing: it repeats the last one.
		if (result == 0)
			result = calls.writeFrame(file.c_str(), state.ended && n > 0 ? 1 : 0) == 0 ? 0 : -1;
		if (result == 0)
			zeLog(EZELL_INFO, "Frame %5d; time %6d ; %s", n, time, file.c_str());
	}
	return calls.finishFrames() == 0 ? result : -1;
}

int zeDemoRun(const char* path, const char* baseName, float fps)
{
	SZeDemoCalls& calls = zeDemoCalls();
	std::unique_ptr<SZeDemo> demo(new (std::nothrow) SZeDemo());
	if (!demo)
	{
		zeLog(EZELL_ERROR, "zeDemoRun: no memory for the demo description");
		return -1;
	}
	const bool capturing = baseName && fps != 0.0f;
	// Captured frames read nothing of the wall clock, the ones that prepare included.
	if (capturing)
		calls.holdFrameClock(0);
	int firstIds[EZEDC_COUNT] = {};
	firstIds[EZEDC_OBJECT] = firstIds[EZEDC_PALETTE] = firstIds[EZEDC_MUSIC] = 1;
	int result = zeDemoLoad(demo.get(), path, firstIds) == 0 ? 0 : -1;
	if (result == 0)
	{
		prepareScenes(demo.get());
		calls.sleep(PAUSE_BEFORE_START_MS);
		result = capturing ? zeDemoCaptureLoop(demo.get(), baseName, fps) : zeDemoRunLoop(demo.get());
	}
	zeDemoFree(demo.get());
	if (capturing)
		calls.releaseFrameClock();
	return result;
}

int zeDemoPlay(const char* path)
{
	return zeDemoRun(path, nullptr, 0.0f);
}

int zeDemoCapture(const char* path, const char* baseName, float fps)
{
	// Each frame must move the clock on by a whole number of milliseconds.
	if (!(fps >= 0.0f && fps <= 1000.0f))
	{
		zeLogErrorBox("Cannot capture at %g frames per second: the rate must be 0 (30) to 1000",
			static_cast<double>(fps));
		return -1;
	}
	return zeDemoRun(path, baseName, fps == 0.0f ? DEFAULT_CAPTURE_FPS : fps);
}

int zeRunDemoPlayer(const SZeCommandLine& commandLine)
{
	return zeRunPlayer(commandLine, [](const SZeCommandLine& c) {
		return c.captureBase ? zeDemoCapture(c.file, c.captureBase, c.captureFps) : zeDemoPlay(c.file);
	});
}
