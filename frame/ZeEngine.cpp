#include "frame/ZeEngine.h"
#include "frame/CZeSceneNodeAnimatorCamera.h"
#include "frame/ZeCamera.h"
#include "frame/ZeCommandLine.h"
#include "frame/ZeContext.h"
#include "frame/ZeDraw2D.h"
#include "frame/ZeFile.h"
#include "frame/ZeInput.h"
#include "frame/ZeLog.h"
#include "frame/ZeSanitizer.h"
#include "frame/ZeTime.h"
#include "frame/ZeWindowPlatform.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <cstring>

using namespace irr;

namespace
{
SZeContext g_context;
bool g_setup = false;
bool g_musicStarted = false;
SZeEngineHooks g_hooks;
// The level of the engine-core line being handed to the device's logger; -1
// while the library logs its own.
int g_engineLineLevel = -1;

void clearContext()
{
	g_context = SZeContext();
	g_context.backdrop = video::SColor(255, 0, 0, 0);
}

// Applies the defaults of an engine set-up to a copy of the caller's values.
SZeSetupParams withDefaults(const SZeSetupParams& in)
{
	SZeSetupParams p = in;
	if (p.width <= 0)
		p.width = 640;
	if (p.height <= 0)
		p.height = 480;
	if (p.bits <= 0)
		p.bits = 32;
	p.windowed = p.windowed == 0 ? 0 : 1;
	p.vsync = p.vsync == 0 ? 0 : 1;
	p.antialias = p.antialias == 0 ? 0 : 1;
	p.lightPrePass = p.lightPrePass == 0 ? 0 : 1;
	p.shaders = p.shaders == 0 ? 0 : 1;
	p.hideMouse = p.hideMouse == 1 ? 1 : 0;
	if (p.stereo < 0)
		p.stereo = 0;
	// Each end of the camera range on its own: a set-up file may give one.
	if (p.cameraNear < 0.0f)
		p.cameraNear = ZE_DEFAULT_CAMERA_NEAR;
	if (p.cameraFar < 0.0f)
		p.cameraFar = ZE_DEFAULT_CAMERA_FAR;
	return p;
}

IrrlichtDevice* createEngineDevice(const SZeSetupParams& p)
{
	SIrrlichtCreationParameters cp;
	cp.DriverType = zeUsesNullDriver() ? video::EDT_NULL : video::EDT_OPENGL;
	cp.WindowSize = core::dimension2d<u32>(static_cast<u32>(p.width), static_cast<u32>(p.height));
	cp.Bits = static_cast<u8>(p.bits);
	cp.Fullscreen = p.windowed == 0;
	// Vertical sync is asked for after creation: some X servers refuse the
	// library's request with a fatal X error.
	cp.Vsync = false;
	cp.Stencilbuffer = true;
	cp.ZBufferBits = 24;
	cp.Doublebuffer = true;
	// Multisampling only without the light pre-pass, whose targets resolve themselves.
	cp.AntiAlias = (p.antialias && !p.lightPrePass) ? 4 : 0;
	cp.EventReceiver = g_context.receiver;
	cp.LoggingLevel = ELL_DEBUG;
	// An X server that is resetting (its last client just left, as after the
	// set-up dialog) refuses connections for a moment: try again briefly.
	IrrlichtDevice* device = createDeviceEx(cp);
	for (int attempt = 0; !device && cp.DriverType == video::EDT_OPENGL && attempt < 3; ++attempt)
	{
		zeSleep(100);
		device = createDeviceEx(cp);
	}
	if (device && cp.DriverType == video::EDT_OPENGL)
		zeKeepGLDriverLoaded();
	return device;
}

void freeTables()
{
	for (SZeIdTable*& table : g_context.tables)
	{
		zeFreeIdTable(table);
		table = nullptr;
	}
}

void dropDevice()
{
	IrrlichtDevice* device = g_context.device;
	if (!device)
		return;
	zeReset2D();
	zeResetFrameGrab();
	zeSetMessageBoxHook(nullptr);
	zeSetupFilesystem(nullptr);
	if (g_context.collisionAnimator)
		g_context.collisionAnimator->drop();
	if (g_context.collisionSet)
		g_context.collisionSet->drop();
	if (g_context.fader)
		g_context.fader->remove();
	device->closeDevice();
	device->run();
	device->drop();
	g_context.device = nullptr;
}

void failSetup(const char* reason)
{
	zeSetError(-1, "Setup failed: %s", reason);
}
} // namespace

SZeContext* zeGetContext()
{
	return &g_context;
}

SZeIdTable* zeGetIdTable(EZE_ID_TABLE kind)
{
	if (kind < 0 || kind >= EZEIT_COUNT)
		return nullptr;
	return g_context.tables[kind];
}

SZeEngineHooks& zeGetEngineHooks()
{
	return g_hooks;
}

void zeLogEngineLine(int level, const char* text)
{
	level = level < EZELL_DEBUG ? EZELL_DEBUG : (level > EZELL_ERROR ? EZELL_ERROR : level);
	ILogger* logger = g_context.device ? g_context.device->getLogger() : nullptr;
	if (!logger)
	{
		zeLog(level, "%s", text);
		return;
	}
	const ELOG_LEVEL levels[] = { ELL_DEBUG, ELL_INFORMATION, ELL_WARNING, ELL_ERROR };
	g_engineLineLevel = level;
	logger->log(text, levels[level]);
	g_engineLineLevel = -1;
}

void zeLogDeviceLine(ELOG_LEVEL level, const char* text)
{
	if (g_engineLineLevel >= 0)
	{
		zeLog(g_engineLineLevel, "%s", text);
		return;
	}
	switch (level)
	{
	case ELL_DEBUG:
	case ELL_INFORMATION:
		zeLog(EZELL_DEBUG, "%s", text);
		break;
	case ELL_WARNING:
		zeLog(EZELL_WARN, "%s", text);
		break;
	case ELL_ERROR:
		zeLog(EZELL_ERROR, "%s", text);
		break;
	default:
		break;
	}
}

bool zeIsBatchMode()
{
	const char* batch = getenv("ZELV_BATCH");
	if (batch && *batch && strcmp(batch, "0") != 0)
		return true;
	const char* display = getenv("DISPLAY");
	return !display || !*display || zeUsesNullDriver();
}

bool zeUsesNullDriver()
{
	const char* driver = getenv("ZELV_DRIVER");
	return driver && zeStricmp(driver, "null") == 0;
}

int zeSetup(const SZeSetupParams* params)
{
	if (g_setup)
		zeTerm();
	SZeSetupParams unset;
	zeInitSetupParams(&unset);
	const SZeSetupParams p = withDefaults(params ? *params : unset);

	clearContext();
	static CZeEventReceiver receiver;
	receiver = CZeEventReceiver();
	g_context.receiver = &receiver;

	IrrlichtDevice* device = createEngineDevice(p);
	if (!device)
	{
		clearContext();
		failSetup(zeUsesNullDriver() ? "cannot create the NULL device" : "cannot create the OpenGL device");
		return -1;
	}
	g_context.device = device;
	g_context.driver = device->getVideoDriver();
	g_context.sceneManager = device->getSceneManager();
	g_context.gui = device->getGUIEnvironment();
	g_context.builtInFont = g_context.gui->getBuiltInFont();
	g_context.width = p.width;
	g_context.height = p.height;
	g_context.bits = p.bits;
	g_context.windowed = p.windowed;
	g_context.vsync = p.vsync;
	g_context.fps = p.fps;
	g_context.antialias = p.antialias;
	g_context.lightPrePass = p.lightPrePass;
	g_context.hideMouse = p.hideMouse;
	g_context.shaders = p.shaders;
	g_context.render.stereoMode = p.stereo;

	device->setWindowCaption(L"Zelv");
	zeAdvertiseWindowClose();
	if (p.windowed)
		zePlaceWindow(p.windowX, p.windowY);
	if (p.vsync)
		zeEnableVsync();
	zeSetupFilesystem(device->getFileSystem());
	// Without a data prefix, the engine's data folder beside the program.
	const std::string besideProgram = std::string(zeGetProgramDir()) + "data/";
	std::error_code error;
	zeSetDataPrefix(p.dataPrefix ? p.dataPrefix
		: std::filesystem::is_directory(besideProgram, error) ? besideProgram.c_str() : "");
	zeReset2D();
	zeInstallMessageBoxHook();

	g_context.camera = g_context.sceneManager->addCameraSceneNode();
	IZeSceneNodeAnimatorCamera* animator =
		g_hooks.createCameraAnimator ? g_hooks.createCameraAnimator(device) : new CZeSceneNodeAnimatorCamera(device);
	animator->setRotateSpeed(100.0f);
	animator->setMoveSpeed(0.01f);
	animator->setMode(2);
	g_context.camera->addAnimator(animator);
	animator->drop();
	g_context.cameraAnimator = animator;
	g_context.collisionSet = g_context.sceneManager->createMetaTriangleSelector();
	zeSetCameraRange(p.cameraNear, p.cameraFar);
	if (p.hideMouse)
		device->getCursorControl()->setVisible(false);

	if (g_hooks.startCore && !g_hooks.startCore(p))
	{
		const char* reason = zeGetEngineInitError();
		dropDevice();
		clearContext();
		failSetup(*reason ? reason : "the engine core did not start");
		return -1;
	}

	for (int i = 0; i < EZEIT_COUNT; ++i)
		g_context.tables[i] = zeCreateIdTable(ZE_ID_TABLE_CAPACITY);
	g_context.musics = zeCreateIdTable(ZE_MUSIC_TABLE_CAPACITY);
	g_setup = true;
	g_musicStarted = g_context.musics && (!g_hooks.startMusic || g_hooks.startMusic());
	if (!g_musicStarted)
	{
		zeTerm();
		zeSetError(-1, "Failed to setup music replay");
		return -1;
	}
	zeLog(EZELL_INFO, "ZeEngine: set up %dx%dx%d %s on %s", p.width, p.height, p.bits,
		p.windowed ? "windowed" : "full screen", zeUsesNullDriver() ? "the NULL driver" : "OpenGL");
	return 0;
}

void zeTerm()
{
	if (!g_setup)
		return;
	if (g_hooks.stopWatches)
		g_hooks.stopWatches();
	if (g_hooks.deleteApiItems)
		g_hooks.deleteApiItems();
	if (g_musicStarted && g_hooks.stopMusic)
		g_hooks.stopMusic();
	g_musicStarted = false;
	zeFreeIdTable(g_context.musics);
	g_context.musics = nullptr;
	if (g_hooks.stopCore)
		g_hooks.stopCore();
	dropDevice();
	freeTables();
	clearContext();
	g_setup = false;
}

int zeIsSetup()
{
	return g_setup ? 1 : 0;
}

int zeReadSetupIni(const char* fileName, const char* folder, SZeSetupParams* params, int allowDialog)
{
	const int read = zeLoadSetupIni(fileName, folder, params);
	if (read < 0)
		return -1;
	if (read == 1)
	{
		if (!allowDialog)
			zeLog(EZELL_WARN, "ZeSetup: no set-up file '%s', using the defaults", fileName);
		else
		{
			SZeScreenModeValues values;
			if (zeScreenModeDialog(&values) != 0)
			{
				zeLog(EZELL_INFO, "ZeSetup: the set-up dialog was cancelled");
				return -1;
			}
			zeApplyScreenModeValues(values, params);
		}
	}
	return zeSetup(params);
}
