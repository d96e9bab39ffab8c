#include "core/CZeManager.h"
#include "core/CZeSceneManagerService.h"
#include "core/CZeTextureManager.h"
#include "core/IZeGpuProgramming.h"
#include "core/IZeServices.h"
#include "frame/ZeEngine.h"
#include "frame/ZeLog.h"
#include "libext/IZeVideoDriverExt.h"

#include <cstdarg>
#include <cstdio>

using namespace irr;

namespace
{
CZeManager* g_manager = nullptr;
SZeServiceFactories g_factories = {};
ZeServiceTrace g_trace = nullptr;

void trace(const char* service, bool created)
{
	if (g_trace)
		g_trace(service, created);
}

template <typename T>
void deleteService(T*& service, const char* traced = nullptr)
{
	if (!service)
		return;
	if (traced)
		trace(traced, false);
	delete service;
	service = nullptr;
}
} // namespace

IZeManager* zeGetManager()
{
	return g_manager;
}

void zeRegisterServiceFactories(const SZeServiceFactories& factories)
{
	g_factories = factories;
}

SZeServiceFactories zeGetServiceFactories()
{
	return g_factories;
}

void zeSetServiceTrace(ZeServiceTrace traceHook)
{
	g_trace = traceHook;
}

CZeManager::CZeManager(IrrlichtDevice* device) : Device(device)
{
}

CZeManager* CZeManager::create(IrrlichtDevice* device, core::stringc* reason)
{
	if (!device)
	{
		if (reason)
			*reason = "there is no device";
		return nullptr;
	}
	if (g_manager)
	{
		if (reason)
			*reason = "an engine manager already exists";
		zeLog(EZELL_ERROR, "CZeManager: an engine manager already exists");
		return nullptr;
	}
	CZeManager* manager = new CZeManager(device);
	// Services may look the manager up while they are made.
	g_manager = manager;
	core::stringc why;
	if (!manager->createServices(&why))
	{
		zeLog(EZELL_ERROR, "CZeManager: %s", why.c_str());
		delete manager;
		if (reason)
			*reason = why;
		return nullptr;
	}
	return manager;
}

bool CZeManager::createServices(core::stringc* reason)
{
	video::IVideoDriver* driver = Device->getVideoDriver();

	GpuProgramming = zeCreateGpuProgramming(driver);
	if (!GpuProgramming)
	{
		*reason = "cannot create the GPU-programming service";
		return false;
	}
	trace("gpu", true);

	TextureManager = new CZeTextureManager(driver);
	trace("texture", true);

	if (g_factories.createSceneManager)
		SceneManager = g_factories.createSceneManager(this);
	if (!SceneManager)
	{
		SceneManager = new CZeSceneManagerService(Device->getSceneManager());
		OwnSceneManager = true;
		trace("scene", true);
	}

	if (g_factories.createSurfaceManager)
		SurfaceManager = g_factories.createSurfaceManager(this);
	if (g_factories.createRendererManager)
		RendererManager = g_factories.createRendererManager(this);

	VideoDriverExt = zeCreateVideoDriverExt(driver);
	if (!VideoDriverExt)
	{
		*reason = "cannot create the video-driver extension";
		return false;
	}
	trace("driverext", true);

	if (g_factories.createRenderServices)
	{
		RenderServices = g_factories.createRenderServices(this);
		if (!RenderServices)
		{
			*reason = "cannot create the render services";
			return false;
		}
	}

	if (g_factories.createEffectManager && !g_factories.deleteEffectManager)
		zeLog(EZELL_ERROR, "CZeManager: an effect-manager factory needs its deleter, no effect manager");
	else if (g_factories.createEffectManager)
	{
		EffectManager = g_factories.createEffectManager(this);
		DeleteEffectManager = g_factories.deleteEffectManager;
	}
	if (g_factories.createResourceManager)
		ResourceManager = g_factories.createResourceManager(this);
	return true;
}

CZeManager::~CZeManager()
{
	deleteService(ResourceManager);
	if (EffectManager)
	{
		DeleteEffectManager(EffectManager);
		EffectManager = nullptr;
	}
	deleteService(RenderServices);
	deleteService(VideoDriverExt, "driverext");
	deleteService(RendererManager);
	deleteService(SurfaceManager);
	deleteService(SceneManager, OwnSceneManager ? "scene" : nullptr);
	deleteService(TextureManager, "texture");
	deleteService(GpuProgramming, "gpu");
	if (g_manager == this)
		g_manager = nullptr;
}

void CZeManager::onDeviceReset()
{
	// The scene service's nodes share buffers that go with the device.
	if (SceneManager)
		SceneManager->onDeviceReset();
}

void zeEngineLog(int level, const char* format, ...)
{
	char text[1024];
	va_list args;
	va_start(args, format);
	vsnprintf(text, sizeof(text), format, args);
	va_end(args);
	zeLogEngineLine(level, text);
}
