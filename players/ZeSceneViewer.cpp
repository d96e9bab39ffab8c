#include "players/ZeSceneViewer.h"
#include "api/ZeMusic.h"
#include "api/ZeScene.h"
#include "api/ZeWatch.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeCamera.h"
#include "frame/ZeContext.h"
#include "frame/ZeDraw2D.h"
#include "frame/ZeFile.h"
#include "frame/ZeFileBackend.h"
#include "frame/ZeInput.h"
#include "frame/ZeLog.h"
#include "frame/ZeTime.h"
#include "frame/ZeWindow.h"
#include "players/CZeShaderFolders.h"
#include "players/CZeViewerPlayback.h"
#include "players/ZePlayerRun.h"

#include <memory>
#include <string>

namespace
{
const int READABLE_TIMEOUT_MS = 3000;
const int IDLE_SLEEP_MS = 10;
// The frames-per-second text is rebuilt every this many drawn passes.
const int FPS_PASSES = 30;
const int RIDE_SPEED_STEP = 10;
// Ride speed (cm/s) to the camera's move speed.
const float RIDE_SPEED_SCALE = 0.00001f;
const int KEY_SLOWER = 0x31;  // "1"
const int KEY_FASTER = 0x32;  // "2"
const int KEY_F12 = 123;
const int MOUSE_RIGHT = 2;

enum ERideOption
{
	ERO_COLLISION = 0x1,
	ERO_GRAVITY = 0x2,
	ERO_MOUSE_LOOK = 0x4
};

// What outlives one run of the viewer.
struct SProgramState
{
	bool cursorShown = true;
	int debug = 0;
	bool debugKeyDown = false;
	int fpsPasses = 0;
	unsigned int fpsClock = 0;
	std::string fpsText;
	std::string sceneName;
	std::string sceneFolder;
	// Made by the first run and kept, as the watches are.
	CZeShaderFolders shaderFolders;
} g_program;

class CEngineMusic : public IZeViewerMusic
{
public:
	int position() override { return zeGetMusicPosition(ZE_VIEWER_MUSIC_ID); }
	void seek(int ms) override { zeSetMusicPosition(ZE_VIEWER_MUSIC_ID, ms); }
	void play() override { zePlayMusic(ZE_VIEWER_MUSIC_ID); }
	void pause() override { zePauseMusic(ZE_VIEWER_MUSIC_ID); }
	void resume() override { zeResumeMusic(ZE_VIEWER_MUSIC_ID); }
};

int showLoadProgress(int percent, void*)
{
	zeShowLoadingScreen(percent);
	return 0;
}

void hideCursor()
{
	if (g_program.cursorShown)
	{
		zeHideMouse();
		g_program.cursorShown = false;
	}
}

void showCursor()
{
	if (!g_program.cursorShown)
	{
		zeShowMouse();
		g_program.cursorShown = true;
	}
}

// Ride mode: the camera flown by keys and mouse instead of the scene's.
class CRide
{
public:
	CRide(int options, int speed) : Options(options), Speed(zeViewerRideSpeed(speed)) {}

	bool riding() const { return Riding; }

	void enter()
	{
		Riding = true;
		if (Options & ERO_MOUSE_LOOK)
		{
			hideCursor();
			zeSetCameraMode(1);
		}
		else
			zeSetCameraMode(2);
		if (Options & ERO_COLLISION)
			collisionOn();
		zeLog(EZELL_INFO, "ZeSceneViewer: ride mode on");
	}

	void leave()
	{
		Riding = false;
		if (Options & ERO_MOUSE_LOOK)
			showCursor();
		if (Options & ERO_COLLISION)
			zeAutomaticCameraCollisionOff();
		zeSetCameraMode(0);
		float x = 0, y = 0, z = 0;
		zeGetCameraPosition(&x, &y, &z);
		zeLog(EZELL_INFO, "ZeSceneViewer: ride mode off at (%.3f, %.3f, %.3f)", x, y, z);
	}

	// Every object of the scene collides with the camera.
	void collideWithScene()
	{
		if (!(Options & ERO_COLLISION))
			return;
		const int objects = zeSceneTotalObjects(ZE_VIEWER_SCENE_ID);
		for (int i = 0; i < objects; ++i)
			zeSetObjectCollision(ZE_VIEWER_FIRST_OBJECT_ID + i);
		zeSetCameraJumpSpeed(0.05f);
		if (Riding)
			collisionOn();
	}

	void applySpeed() { zeSetCameraMoveSpeed(static_cast<float>(Speed) * RIDE_SPEED_SCALE); }

	// The speed keys, the right mouse button and, with mouse look, the cursor.
	void keys()
	{
		if (Riding && zeKeyState(KEY_SLOWER))
		{
			Speed = zeViewerRideSpeedStep(Speed, -RIDE_SPEED_STEP);
			applySpeed();
		}
		else if (Riding && zeKeyState(KEY_FASTER))
		{
			Speed = zeViewerRideSpeedStep(Speed, RIDE_SPEED_STEP);
			applySpeed();
		}
		const bool button = (zeMouseClick() & MOUSE_RIGHT) != 0;
		if (button && !ButtonDown)
			Riding ? leave() : enter();
		ButtonDown = button;
		if (Riding && (Options & ERO_MOUSE_LOOK))
			zeIsWindowActive() ? hideCursor() : showCursor();
	}

	void overlay() const
	{
		zeText(105, 15, "%s %dcm/s", Options & ERO_MOUSE_LOOK ? "Ride FPS" : "Ride", Speed);
		zeInk(0x000000);
		zeInkAlpha(20);
		zeBox(0, 30, 90, 60);
		zeInk(0xFFFFFF);
		zeInkAlpha(255);
		float x = 0, y = 0, z = 0, h = 0, p = 0, b = 0;
		zeGetCameraPosition(&x, &y, &z);
		zeGetCameraRotation(&h, &p, &b);
		zeText(0, 30, "X %.3f", x);
		zeText(0, 40, "Y %.3f", y);
		zeText(0, 50, "Z %.3f", z);
		zeText(50, 30, "H %.1f", h > 180.0f ? h - 360.0f : h);
		zeText(50, 40, "P %.1f", p > 180.0f ? p - 360.0f : p);
		zeText(50, 50, "B %.1f", 0.0f);
	}

private:
	void collisionOn()
	{
		if (Options & ERO_GRAVITY)
			zeAutomaticCameraCollisionOn(0.2f, 0.05f, 0.6f);
		else
			zeAutomaticCameraCollisionOn(0.2f, 0.0f, 0.0f);
	}

	int Options;
	int Speed;
	bool Riding = false;
	bool ButtonDown = false;
};

// Music 1 from the file the scene names, looked for as "<name>.mp3" in
// "../music" then "../data"; false when there is none.
bool loadSceneMusic()
{
	const char* audio = zeGetSceneAudio(ZE_VIEWER_SCENE_ID);
	if (!audio)
		return false;
	const std::string name = zeNamePart(audio, 0);
	for (const char* folder : {"../music", "../data"})
	{
		const std::string path = std::string(folder) + "/" + name + ".mp3";
		if (!zeFileExist(path.c_str()))
			continue;
		zeLoadMusic(path.c_str(), ZE_VIEWER_MUSIC_ID);
		if (!zeMusicExist(ZE_VIEWER_MUSIC_ID))
		{
			zeLogErrorBox("Fail to load music %s", path.c_str());
			return false;
		}
		zeDebugPrintf("Loaded Music %s\n", path.c_str());
		return true;
	}
	zeLogErrorBox("Fail to find %s.mp3 in ../music or ../data", name.c_str());
	return false;
}

void setTiming(CZeViewerPlayback& playback)
{
	playback.timing().set(zeSceneFrameStart(ZE_VIEWER_SCENE_ID), zeSceneFps(ZE_VIEWER_SCENE_ID),
		zeSceneAnimTimeEnd(ZE_VIEWER_SCENE_ID));
}

// One run of the viewer on a loaded, prepared scene.
class CViewerRun
{
public:
	// `started`: the clock when the viewer started, for the first frame's line.
	CViewerRun(const SZeViewerOptions& options, bool musicOn, unsigned int started)
		: Options(options), Music(musicOn ? new CEngineMusic() : nullptr), Playback(Music.get()),
		  Ride(options.rideOptions, options.rideSpeed), Started(started)
	{
	}

	void start(CZeShaderFolders* shaderFolders)
	{
		ShaderFolders = shaderFolders;
		if (Options.flags & EZEVF_MUSIC)
			Playback.setAudioOffset(zeGetSceneAudioOffset(ZE_VIEWER_SCENE_ID));
		zePrepareSceneRender(ZE_VIEWER_SCENE_ID);
		if (follows())
		{
			// The watch of an earlier run stays after it, on that run's file.
			if (zeFileWatchExist(ZE_VIEWER_SCENE_WATCH_ID))
				zeDeleteFileWatch(ZE_VIEWER_SCENE_WATCH_ID);
			zeMakeFileWatch(g_program.sceneName.c_str(), ZE_VIEWER_SCENE_WATCH_ID);
			LastSyncFrame = zeGetSyncFrame();
		}
		zeShowScene(ZE_VIEWER_SCENE_ID);
		setTiming(Playback);
		Playback.start(zeTimer(), (Options.flags & EZEVF_PAUSED) != 0, (Options.flags & EZEVF_FRAME_START) != 0,
			Options.frameStart);
		if (Options.flags & EZEVF_RIDE)
		{
			zeAnimateScene(ZE_VIEWER_SCENE_ID, Playback.shownTime());
			zeRenderDummy();
			Ride.enter();
		}
		Ride.collideWithScene();
		Ride.applySpeed();
	}

	void run()
	{
		while (zeRun() && !zeEscapeKeyEverPressed())
			pass();
	}

private:
	bool follows() const { return (Options.flags & EZEVF_SYNC_UPDATE) != 0; }

	void pass()
	{
		reportFirstFrame();
		const unsigned int now = zeTimer();
		if (ShaderFolders)
			ShaderFolders->poll();
		if (follows())
			followModeller(now);
		if (!(Options.flags & EZEVF_NO_IDLE_INACTIVE) && Playback.skipIdlePass(zeIsWindowActive() != 0))
		{
			zeSleep(IDLE_SLEEP_MS);
			return;
		}
		SZeViewerKeys keys;
		keys.enter = zeReturnKey() != 0;
		keys.space = zeSpaceKey() != 0;
		keys.shift = zeShiftKey() != 0;
		keys.forward = (!Ride.riding() && zeRightKey()) || zePlusKey();
		keys.back = (!Ride.riding() && zeLeftKey()) || zeMinusKey();
		const int time = Playback.update(now, Playback.passTime(now), keys);
		Ride.keys();
		const bool f12 = zeKeyState(KEY_F12) != 0;
		if (f12 && !g_program.debugKeyDown)
		{
			g_program.debug = g_program.debug ? 0 : 1;
			zeRenderSetDebug(g_program.debug);
		}
		g_program.debugKeyDown = f12;

		if (Playback.takeAnimate())
			zeAnimateScene(ZE_VIEWER_SCENE_ID, time);
		zeRenderSceneCubeMaps(ZE_VIEWER_SCENE_ID, time);
		overlay(now, time);
		zeSync();
		// Nothing is drawn while the window is minimised.
		SZeContext* c = zeGetContext();
		if (!FirstFrameDrawn && c->device && !c->device->isWindowMinimized())
		{
			FirstFrameDrawn = true;
			FirstFrame = Playback.timing().frameOf(time);
		}
	}

	// Says once which frame the window shows first and how long loading,
	// preparing and drawing it (effects compiled) took. Said on the pass after
	// the frame was drawn: the window's events pumped since have sent the
	// presented picture to the display.
	void reportFirstFrame()
	{
		if (!FirstFrameDrawn || FirstFrameReported)
			return;
		FirstFrameReported = true;
		zeLog(EZELL_INFO, "ZeSceneViewer: first frame %.2f drawn, %u ms after the start", FirstFrame, zeTimer() - Started);
	}

	// The scene file written again: the scene rebuilt at the frame shown.
	void followModeller(unsigned int now)
	{
		if (zeFileWatchChanged(ZE_VIEWER_SCENE_WATCH_ID))
		{
			const bool readable = zeWaitFileWatchReadable(ZE_VIEWER_SCENE_WATCH_ID, READABLE_TIMEOUT_MS) == 0;
			// Re-armed before the file is read, so that a write that completes
			// a file caught half-written is seen again.
			zeResetFileWatch(ZE_VIEWER_SCENE_WATCH_ID);
			if (!readable)
			{
				zeDebugPrintf("ERROR : UPDATE SCENE FAILED; Cannot read file\n");
				UpdateStatus = -1;
			}
			else
			{
				zeDebugPrintf("Update Scene...\n");
				UpdateStatus = zeBuildScene(g_program.sceneName.c_str(), ZE_VIEWER_SCENE_ID);
				if (UpdateStatus != 0)
					zeDebugPrintf("ERROR : UPDATE SCENE FAILED\n");
				else
				{
					if (Options.flags & EZEVF_MUSIC)
						Playback.setAudioOffset(zeGetSceneAudioOffset(ZE_VIEWER_SCENE_ID));
					Playback.keepFrame(now, zeSceneFrameStart(ZE_VIEWER_SCENE_ID), zeSceneFps(ZE_VIEWER_SCENE_ID),
						zeSceneAnimTimeEnd(ZE_VIEWER_SCENE_ID));
				}
			}
		}
		const int frame = zeGetSyncFrame();
		if (frame != LastSyncFrame)
		{
			const int t = Playback.timing().timeOf(frame);
			Playback.moveTo(now, t < 0 ? 0 : t);
			LastSyncFrame = frame;
		}
	}

	void overlay(unsigned int now, int time)
	{
		zeInk(0x000000);
		zeInkAlpha(20);
		zeBox(0, 0, 180, 30);
		zeInk(0xFFFFFF);
		zeInkAlpha(255);
		zeText(0, 0, "%s", Playback.timing().timeText(time).c_str());
		if (++g_program.fpsPasses >= FPS_PASSES)
		{
			g_program.fpsText = zeViewerFpsText(now - g_program.fpsClock);
			g_program.fpsClock = now;
			g_program.fpsPasses = 0;
		}
		zeText(0, 15, "%s", g_program.fpsText.c_str());
		if (Ride.riding())
			Ride.overlay();
		if (UpdateStatus == -1)
			zeText(0, 30, "UPDATE SCENE FAILED: cannot read zelv scene file. Try export again.");
		else if (UpdateStatus != 0)
			zeText(0, 30, "UPDATE SCENE FAILED: the scene has changed too much. Restart the engine.");
	}

	SZeViewerOptions Options;
	std::unique_ptr<CEngineMusic> Music;
	CZeViewerPlayback Playback;
	CRide Ride;
	CZeShaderFolders* ShaderFolders = nullptr;
	int UpdateStatus = 0;
	int LastSyncFrame = 0;
	unsigned int Started;
	bool FirstFrameDrawn = false;
	bool FirstFrameReported = false;
	double FirstFrame = 0.0;
};
} // namespace

int zeSceneViewer(const char* path, const SZeViewerOptions* options)
{
	SZeViewerOptions o = { EZEVF_COMMAND_LINE | EZEVF_MUSIC, 0, 0, 0 };
	if (options)
		o = *options;
	zeDebugPrintf("Zelv Engine scene viewer started\n");
	const unsigned int started = zeTimer();
	const bool binary = (o.flags & (EZEVF_COMMAND_LINE | EZEVF_BINARY)) == (EZEVF_COMMAND_LINE | EZEVF_BINARY);
	if (binary && !path)
	{
		path = zeFileRequester("Open Zelv scene for binary convert", "Zelv Scene (lws.ini)");
		if (!path)
		{
			zeLog(EZELL_ERROR, "ZeSceneViewer: no scene file to load (give one after -binary)");
			return -1;
		}
	}
	if (!path)
	{
		zeLog(EZELL_ERROR, "ZeSceneViewer: no scene file to view");
		return -1;
	}
	g_program.sceneName = zeNamePart(path, 1);
	g_program.sceneFolder = zeDirPart(path);

	if ((o.flags & EZEVF_SYNC_UPDATE) && zeWindowMode() == 0 && zeAttachToLayoutWindow() != 0)
		zeSetWindowTopmost();
	CZeShaderFolders* shaderFolders = nullptr;
	if (!zeIsPackedFilesystem())
	{
		shaderFolders = &g_program.shaderFolders;
		shaderFolders->watch(zeGetDataPrefix());
	}

	zeSetLoadSceneCallback(showLoadProgress, &g_program);
	if (!g_program.sceneFolder.empty() && zeSetCurrentDirectory(g_program.sceneFolder.c_str()) != 0)
		zeLog(EZELL_WARN, "ZeSceneViewer: cannot make '%s' the current folder", g_program.sceneFolder.c_str());
	zeSetSceneLoadWarnings(1);
	const int loaded = zeLoadScene(g_program.sceneName.c_str(), ZE_VIEWER_SCENE_ID, ZE_VIEWER_FIRST_OBJECT_ID, 0, 0,
		0, 0, 0, 0, 0, g_program.sceneFolder.c_str(), 0);
	zeSetLoadSceneCallback(nullptr, nullptr);
	if (loaded == 1)
		return -1;
	if (loaded != 0)
	{
		zeLogErrorBox("Failed to load scene");
		return -1;
	}
	if (binary)
	{
		zeDeleteScene(ZE_VIEWER_SCENE_ID);
		return 0;
	}

	const bool musicOn = (o.flags & EZEVF_MUSIC) && loadSceneMusic();
	{
		CViewerRun run(o, musicOn, started);
		run.start(shaderFolders);
		run.run();
	}
	if (musicOn)
	{
		zeStopMusic(ZE_VIEWER_MUSIC_ID);
		zeDeleteMusic(ZE_VIEWER_MUSIC_ID);
	}
	zeDeleteScene(ZE_VIEWER_SCENE_ID);
	zeDebugPrintf("Zelv Engine scene viewer ended\n");
	return 0;
}

namespace
{
int viewScene(const SZeCommandLine& commandLine)
{
	return zeSceneViewer(commandLine.file, &commandLine.viewer);
}
} // namespace

int zeRunSceneViewer(const SZeCommandLine& commandLine)
{
	return zeRunPlayer(commandLine, viewScene);
}
