#include "players/CZeViewerPlayback.h"
#include "frame/ZeLog.h"

#include <algorithm>
#include <climits>

namespace
{
// Clock steps of one pass with a step key held while running, and animation
// steps while paused (times ten with Shift).
const int RUNNING_STEP_MS = 10;
const int PAUSED_STEP_MS = 5;
const int SHIFT_STEP_FACTOR = 10;
// A paused, inactive viewer draws one pass in this many.
const int IDLE_PASSES = 10;

int clampTime(long long t)
{
	return static_cast<int>(std::max<long long>(INT_MIN, std::min<long long>(INT_MAX, t)));
}
} // namespace

CZeViewerPlayback::CZeViewerPlayback(IZeViewerMusic* music) : Music(music)
{
}

void CZeViewerPlayback::start(long long now, bool paused, bool atFrame, double frame)
{
	Base = now;
	Paused = false;
	PausedTime = 0;
	LastPausedTime = 0;
	Refresh = true;
	Looping = false;
	EnterDown = SpaceDown = false;
	MusicPausedByViewer = false;
	IdleCount = 0;
	if (atFrame)
		Base = now - std::max(0, std::min(Timing.timeOf(frame), Timing.end()));
	if (paused)
	{
		Paused = true;
		PausedTime = clampTime(now - Base);
	}
	else if (Music)
	{
		seekMusic(now);
		Music->play();
	}
	Shown = Paused ? PausedTime : clampTime(now - Base);
}

int CZeViewerPlayback::passTime(long long now)
{
	long long t = PausedTime;
	if (!Paused)
	{
		t = now - Base;
		const int heard = Music ? Music->position() : -1;
		if (heard != -1)
			t = static_cast<long long>(heard) - AudioOffset;
	}
	return clampTime(std::min<long long>(t, Timing.end()));
}

int CZeViewerPlayback::update(long long now, int time, const SZeViewerKeys& keys)
{
	if (keys.enter && !EnterDown)
	{
		Looping = !Looping;
		zeLog(EZELL_INFO, "ZeSceneViewer: looping %s", Looping ? "on" : "off");
	}
	EnterDown = keys.enter;

	if (keys.space && !SpaceDown)
	{
		if (!Paused)
		{
			pauseAt(time);
			zeLog(EZELL_INFO, "ZeSceneViewer: paused at frame %.2f (%d ms), music at %d ms", Timing.frameOf(time), time,
				Music ? Music->position() : -1);
		}
		else
		{
			if (PausedTime == Timing.end())
			{
				Base = now;
				time = 0;
			}
			else
				Base = now - PausedTime;
			Paused = false;
			if (Music)
			{
				seekMusic(now);
				if (MusicPausedByViewer)
					Music->resume();
				else
					Music->play();
				MusicPausedByViewer = false;
			}
			zeLog(EZELL_INFO, "ZeSceneViewer: running from frame %.2f (%d ms)", Timing.frameOf(clampTime(now - Base)),
				clampTime(now - Base));
		}
	}
	SpaceDown = keys.space;

	const int factor = keys.shift ? SHIFT_STEP_FACTOR : 1;
	for (int direction : {keys.forward ? 1 : 0, keys.back ? -1 : 0})
	{
		if (!direction)
			continue;
		if (Paused)
			PausedTime = clampTime(static_cast<long long>(PausedTime) + direction * PAUSED_STEP_MS * factor);
		else
		{
			Base -= direction * RUNNING_STEP_MS * factor;
			if (Music)
				seekMusic(now);
		}
	}
	PausedTime = std::max(0, std::min(PausedTime, Timing.end()));

	if (!Paused)
	{
		if (Base > now)
		{
			Base = now;
			pauseAt(0);
			zeLog(EZELL_INFO, "ZeSceneViewer: paused at the start");
		}
		else if (now - Base >= Timing.end())
		{
			if (Looping)
			{
				Base += Timing.end();
				// The music goes round with the animation: while it plays it
				// gives the time, which would otherwise stay past the end.
				if (Music)
					seekMusic(now);
			}
			else
			{
				Base = now - Timing.end();
				pauseAt(Timing.end());
				zeLog(EZELL_INFO, "ZeSceneViewer: end of the animation, paused at frame %.2f",
					Timing.frameOf(Timing.end()));
			}
		}
	}
	Shown = Paused ? PausedTime : time;
	return Shown;
}

bool CZeViewerPlayback::takeAnimate()
{
	const bool animate = !Paused || PausedTime != LastPausedTime || Refresh;
	Refresh = false;
	LastPausedTime = PausedTime;
	return animate;
}

void CZeViewerPlayback::moveTo(long long now, int time)
{
	if (Paused)
		PausedTime = time;
	else
	{
		Base = now - time;
		if (Music)
			seekMusic(now);
	}
	Refresh = true;
}

void CZeViewerPlayback::keepFrame(long long now, int first, int fps, int end)
{
	const double frame = Timing.frameOf(Shown);
	Timing.set(first, fps, end);
	moveTo(now, Timing.timeOf(frame));
}

bool CZeViewerPlayback::skipIdlePass(bool windowActive)
{
	if (Refresh || !Paused || windowActive || ++IdleCount >= IDLE_PASSES)
	{
		IdleCount = 0;
		return false;
	}
	return true;
}

void CZeViewerPlayback::pauseAt(int time)
{
	Paused = true;
	PausedTime = time;
	if (Music)
	{
		Music->pause();
		MusicPausedByViewer = true;
	}
}

void CZeViewerPlayback::seekMusic(long long now)
{
	Music->seek(clampTime(now - Base + AudioOffset));
}

int zeViewerRideSpeed(int requested)
{
	return requested <= 0 ? 1000 : zeViewerRideSpeedStep(requested, 0);
}

int zeViewerRideSpeedStep(int speed, int step)
{
	const long long next = static_cast<long long>(speed) + step;
	return static_cast<int>(next < 1 ? 1 : next > ZE_VIEWER_MAX_RIDE_SPEED ? ZE_VIEWER_MAX_RIDE_SPEED : next);
}
