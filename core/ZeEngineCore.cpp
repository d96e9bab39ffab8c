// Engine-core start and shutdown, the frame end and the current renderer.
#include "core/ZeEngineCore.h"
#include "core/CZeManager.h"
#include "core/IZeCubeMap.h"
#include "core/IZeGpuProgramming.h"
#include "core/IZeRenderer.h"
#include "core/IZeRendererCtxAdv.h"
#include "core/IZeServices.h"
#include "core/SZeRendererDesc.h"
#include "core/ZeGpuState.h"
#include "frame/ZeCommandLine.h"
#include "frame/ZeContext.h"
#include "frame/ZeDraw2D.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "frame/ZeWindow.h"
#include "libext/CZeAssimpMeshLoader.h"
#include "libext/IZeVideoDriverExt.h"
#include "libext/ZeImageExt.h"
#include "libext/ZeMaterialExt.h"
#include "libext/ZeTextureExt.h"
#include "libext/ZeXMesh.h"

#include <string>

using namespace irr;

namespace
{
const char* const DUMMY_TARGET = "DummyRenderTarget";
const char* const CURL_NOISE_CACHE = "curlNoise3D.cache";
const char* const NOISE_VOLUME = "NoiseVolume.dds";

struct SEngineCore
{
	CZeManager* manager = nullptr;
	// The default pair made at start, and the current pair (each holds a reference).
	IZeRenderer* defaultRenderer = nullptr;
	IZeRendererCtx* defaultCtx = nullptr;
	// The default context when it is the advanced one (held through defaultCtx).
	IZeRendererCtxAdv* defaultCtxAdv = nullptr;
	IZeRenderer* renderer = nullptr;
	IZeRendererCtx* ctx = nullptr;
	// A device reset happened; rendered textures exist that it cannot restore.
	bool deviceWasReset = false;
	bool precalcTargets = false;
	// A frame was begun outside the frame end (cube-map capture); the frame
	// end then draws into it instead of beginning another.
	bool frameBegun = false;
};
SEngineCore g_core;

void dropRef(IReferenceCounted* object)
{
	if (object)
		object->drop();
}

void onPreReset(void*)
{
	zeLog(EZELL_INFO, "zeIrrlicht: D3D Device is about to RESET");
	if (g_core.manager)
		g_core.manager->onDeviceReset();
}

void onPostReset(void*)
{
	g_core.deviceWasReset = true;
}

// The data folder: the data prefix when set, else the program's folder.
std::string dataFolder()
{
	std::string folder = zeGetDataPrefix();
	if (folder.empty())
		folder = zeGetProgramDir();
	if (!folder.empty() && folder.back() != '/' && folder.back() != '\\')
		folder += '/';
	return folder;
}

// The curl-noise table: read from the cache in the data folder, or computed
// from the noise volume of the data directories and saved as the cache
// (unless the data is packed). A cache that does not load is computed
// again and replaced. Without the volume the built-in generation stands in
// (and is not saved: the cache holds only what the volume gives). false
// ends the start with its reason set.
bool initCurlNoise(IZeResourceManager* resources)
{
	if (!resources || !resources->hasCurlNoise())
	{
		zeLog(EZELL_INFO, "ZeEngine: the resource manager keeps no curl noise");
		return true;
	}
	const std::string cache = dataFolder() + CURL_NOISE_CACHE;
	const bool hadCache = zeFileExist(cache.c_str()) != 0;
	if (hadCache)
	{
		if (resources->loadCurlNoiseCache(cache.c_str()))
			return true;
		zeLog(EZELL_WARN, "ZeEngine: the curl-noise cache %s does not load, making it again", cache.c_str());
	}
	const char* found = zeFindDataFile(NOISE_VOLUME);
	const bool haveVolume = zeFileExist(found) != 0;
	bool made;
	if (haveVolume)
		made = resources->initCurlNoiseFromImage(zeFileGetFullPath(found));
	else
	{
		zeLog(EZELL_WARN, "ZeEngine: no %s in the data directories, using the built-in curl noise", NOISE_VOLUME);
		made = resources->initCurlNoise();
	}
	if (!made)
	{
		zeSetEngineInitError(hadCache ? "fails to init curl noise from file cache" : "fails to init curl noise");
		return false;
	}
	if (haveVolume && !zeIsPackedFilesystem() && !resources->saveCurlNoiseCache(cache.c_str()))
		zeLog(EZELL_ERROR, "failed to save %s", cache.c_str());
	return true;
}

// The light pre-pass renderer on an advanced context: the named targets, the
// context from the data files, the renderer. false (reasons logged) when any
// of them cannot be made; nothing is kept then.
bool createLightPrePass(IrrlichtDevice* device, IZeRendererManager* renderers)
{
	if (!renderers->createRenderTargets(ze::ECF_A16B16G16R16F, nullptr))
		return false;
	IZeRendererCtxAdv* context = renderers->createRendererCtxAdv(zeFindRendererShaderFiles(zeGetContext()->antialias != 0));
	if (!context)
		return false;
	IZeRenderer* renderer = renderers->createRendererLpp(device, g_core.manager, context, SZeRendererDesc());
	if (!renderer)
	{
		context->drop();
		return false;
	}
	g_core.defaultCtx = context;
	g_core.defaultCtxAdv = context;
	g_core.defaultRenderer = renderer;
	return true;
}

// The default renderer when the renderer manager exists: the light pre-pass
// renderer when asked for and the driver draws, else (or when it cannot
// start) the simple renderer on a plain context.
bool createDefaultRenderer(IrrlichtDevice* device, bool lightPrePass)
{
	IZeRendererManager* renderers = g_core.manager->getRendererManager();
	if (!renderers)
	{
		zeLog(EZELL_INFO, "ZeEngine: no renderer manager, frames draw the scene graph directly");
		return true;
	}
	const bool draws = device->getVideoDriver()->getDriverType() != video::EDT_NULL;
	if (lightPrePass && draws)
	{
		if (createLightPrePass(device, renderers))
			zeLog(EZELL_INFO, "ZeEngine: the light pre-pass renderer draws the frames");
		else
			zeLog(EZELL_WARN, "ZeEngine: the light pre-pass renderer cannot start, using the simple renderer");
	}
	if (!g_core.defaultRenderer)
	{
		g_core.defaultCtx = renderers->createRendererCtx();
		if (!g_core.defaultCtx)
		{
			zeSetEngineInitError("cannot create the default renderer context");
			return false;
		}
		g_core.defaultRenderer = renderers->createRendererSimple(device, g_core.defaultCtx);
		if (!g_core.defaultRenderer)
		{
			zeSetEngineInitError("cannot create the default renderer");
			return false;
		}
		zeLog(EZELL_INFO, "ZeEngine: the simple renderer draws the frames");
	}
	g_core.renderer = g_core.defaultRenderer;
	g_core.renderer->grab();
	g_core.ctx = g_core.defaultCtx;
	g_core.ctx->grab();
	return true;
}

// Draws the scene through the current renderer into a target (null: the back
// buffer). Without a renderer the scene graph is drawn after a clear to the backdrop.
void drawScene(video::ITexture* target, bool clear)
{
	SZeContext* c = zeGetContext();
	if (g_core.renderer)
	{
		if (g_core.ctx)
			g_core.ctx->getClearColor()->Color = c->backdrop.color;
		zeApplyRenderSettings(0);
		g_core.renderer->render(target);
		return;
	}
	if (target)
		c->driver->setRenderTarget(target, clear, clear, c->backdrop);
	zeSetRenderTargetFlip(target != nullptr);
	c->sceneManager->drawAll();
}

// The frame into the back buffer: scene, GUI and 2D list (the last frame's
// when drawn again). A renderer clears its own targets; without one the
// frame begins cleared. False when the frame cannot begin.
bool drawFrame(bool again)
{
	SZeContext* c = zeGetContext();
	bool began = false;
	if (!g_core.frameBegun)
		began = g_core.renderer ? c->driver->beginScene(false, false) : c->driver->beginScene(true, true, c->backdrop);
	else
		began = g_core.renderer || c->driver->setRenderTarget(nullptr, true, true, c->backdrop);
	if (!began)
		return false;
	drawScene(nullptr, false);
	// The GUI and the 2D list go over the window, whatever target a renderer
	// (a scene's own commands) drew into last.
	c->driver->setRenderTarget(nullptr, false, false);
	zeSetRenderTargetFlip(false);
	zeDrawOverFrame(again);
	return true;
}

bool redrawFrame()
{
	return drawFrame(true);
}
} // namespace

bool zeInitEngine(const SZeSetupParams& params)
{
	zeSetEngineInitError("%s", "");
	if (g_core.manager)
		zeShutdownEngine();
	SZeContext* c = zeGetContext();
	if (!c->device)
	{
		zeSetEngineInitError("there is no device to start the engine on");
		return false;
	}
	core::stringc reason;
	g_core.manager = CZeManager::create(c->device, &reason);
	if (!g_core.manager)
	{
		zeSetEngineInitError("cannot create the engine manager: %s", reason.c_str());
		return false;
	}
	ze::registerImageLoaders(c->driver);
	ze::registerMeshLoaders(c->sceneManager);
	ze::registerAssimpMeshLoader(c->sceneManager);

	const std::string cache = dataFolder() + "shadersCache";
	g_core.manager->getGpuProgramming()->setShaderCache(cache.c_str(), zeIsPackedFilesystem());
	g_core.manager->getTextureManager()->setTextureFolder("textures");
	zeSetDeviceResetCallbacks(onPreReset, onPostReset, nullptr);

	if (c->driver->getDriverType() == video::EDT_NULL)
		zeLog(EZELL_INFO, "ZeEngine: the NULL driver makes no render targets, no \"%s\"", DUMMY_TARGET);
	else if (!c->driver->findTexture(DUMMY_TARGET) &&
		!ze::addRenderTargetTexture(c->driver, core::dimension2d<u32>(32, 32), DUMMY_TARGET, ze::ECF_A8R8G8B8))
	{
		zeSetEngineInitError("cannot create \"%s\"", DUMMY_TARGET);
		zeShutdownEngine();
		return false;
	}
	if (!createDefaultRenderer(c->device, params.lightPrePass != 0))
	{
		zeShutdownEngine();
		return false;
	}
	IZeResourceManager* resources = g_core.manager->getResourceManager();
	if (resources && !resources->loadEngineEffects())
		zeLog(EZELL_WARN, "ZeEngine: the engine's shared effects did not load");
	if (!initCurlNoise(resources))
	{
		zeShutdownEngine();
		return false;
	}
	return true;
}

void zeShutdownEngine()
{
	dropRef(g_core.renderer);
	dropRef(g_core.ctx);
	dropRef(g_core.defaultRenderer);
	dropRef(g_core.defaultCtx);
	zeSetDeviceResetCallbacks(nullptr, nullptr, nullptr);
	delete g_core.manager;
	g_core = SEngineCore();
	ze::removeAllTextures();
	ze::clearMaterialExts();
}

void zeInstallEngineCore()
{
	SZeEngineHooks& hooks = zeGetEngineHooks();
	hooks.startCore = zeInitEngine;
	hooks.stopCore = zeShutdownEngine;
	hooks.endFrame = zeEndFrame;
	hooks.renderDummyFrame = zeRenderDummyFrame;
}

void zeEndFrame()
{
	SZeContext* c = zeGetContext();
	if (!c->device)
		return;
	if (!c->device->isWindowMinimized())
	{
		const bool drawn = drawFrame(false);
		g_core.frameBegun = false;
		if (drawn)
		{
			zePresentFrame(redrawFrame);
			IZeRendererManager* renderers = g_core.manager ? g_core.manager->getRendererManager() : nullptr;
			if (IZeLastFrameInfo* info = renderers ? renderers->getLastFrameInfo() : nullptr)
				info->update();
		}
	}
	if (g_core.deviceWasReset)
	{
		g_core.deviceWasReset = false;
		if (g_core.precalcTargets)
		{
			zeLog(EZELL_ERROR, "Graphic Device lost, cannot re-create rendered textures, exiting");
			c->device->closeDevice();
		}
	}
	// What this frame's draws wrote into materials nobody keeps goes once it piles up.
	ze::collectGrownMaterialExts();
}

void zeHasPrecalcRenderTargets()
{
	g_core.precalcTargets = true;
}

int zeRenderToTexture(video::ITexture* target, int clear)
{
	SZeContext* c = zeGetContext();
	if (!c->device || !target)
	{
		zeLog(EZELL_ERROR, "zeRenderToTexture: %s", c->device ? "no target" : "the engine is not set up");
		return -1;
	}
	if (!target->isRenderTarget())
	{
		zeLog(EZELL_ERROR, "zeRenderToTexture: '%s' is not a render target", target->getName().getPath().c_str());
		return -1;
	}
	if (g_core.renderer && clear)
		c->driver->setRenderTarget(target, true, true, c->backdrop);
	drawScene(target, clear != 0);
	c->driver->setRenderTarget(nullptr, false, false);
	zeSetRenderTargetFlip(false);
	return 0;
}

int zeRenderDummyFrame()
{
	SZeContext* c = zeGetContext();
	video::ITexture* target = c->driver ? ze::findTexture(c->driver, DUMMY_TARGET) : nullptr;
	if (!target)
	{
		zeLog(EZELL_WARN, "zeRenderDummyFrame: there is no \"%s\"", DUMMY_TARGET);
		return -1;
	}
	return zeRenderToTexture(target, 1);
}

int zeRenderCubeMapFrame(IZeCubeMap* cubeMap, const core::vector3df& position)
{
	SZeContext* c = zeGetContext();
	if (!c->device || !cubeMap)
	{
		zeLog(EZELL_ERROR, "zeRenderCubeMapFrame: %s", c->device ? "no cube map" : "the engine is not set up");
		return -1;
	}
	if (c->device->isWindowMinimized())
		return -1;
	if (!g_core.frameBegun)
	{
		if (!c->driver->beginScene(false, false))
			return -1;
		g_core.frameBegun = true;
	}
	zeApplyRenderSettings(0);
	cubeMap->render(g_core.renderer, position);
	c->driver->setRenderTarget(nullptr, false, false);
	zeSetRenderTargetFlip(false);
	zeHasPrecalcRenderTargets();
	return 0;
}

IZeRenderer* zeGetCurrentRenderer()
{
	return g_core.renderer;
}

void zeSetCurrentRenderer(IZeRenderer* renderer)
{
	if (!renderer)
		renderer = g_core.defaultRenderer;
	if (renderer)
		renderer->grab();
	dropRef(g_core.renderer);
	g_core.renderer = renderer;
}

IZeRendererCtx* zeGetCurrentRendererCtx()
{
	return g_core.ctx;
}

IZeRendererCtxAdv* zeGetRendererCtxAdv()
{
	return g_core.defaultCtxAdv;
}

void zeRenderSetDebug(int value)
{
	if (g_core.ctx)
		g_core.ctx->getClearColor()->Debug = static_cast<u32>(value);
}

void zeUpdateShaders(int count, const char* const* files)
{
	if (!g_core.manager || count <= 0 || !files)
		return;
	g_core.manager->getGpuProgramming()->updateShaders(static_cast<u32>(count), files);
}
