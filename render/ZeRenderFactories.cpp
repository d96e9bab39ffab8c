#include "render/ZeRenderFactories.h"

#include "core/CZeManager.h"
#include "core/IZeManager.h"
#include "effects/IZeEffectManager.h"
#include "frame/ZeContext.h"
#include "render/CZeForwardLightBind.h"
#include "render/CZeLastFrameInfo.h"
#include "render/CZeRenderServices.h"
#include "render/CZeRendererManager.h"
#include "render/CZeResourceManager.h"
#include "render/CZeSceneManagerServiceExt.h"
#include "render/CZeSurfaceBind.h"
#include "render/CZeSurfaceManager.h"

using namespace irr;

namespace
{
IrrlichtDevice* deviceOf(IZeManager* manager)
{
	if (CZeManager* own = dynamic_cast<CZeManager*>(manager))
		return own->getDevice();
	return zeGetContext()->device;
}

// The previous frame for the effects, once a frame has been recorded.
IZeLastFrameInfo* lastFrame(void*)
{
	IZeManager* manager = zeGetManager();
	IZeRendererManager* renderers = manager ? manager->getRendererManager() : nullptr;
	CZeLastFrameInfo* info = renderers ? dynamic_cast<CZeLastFrameInfo*>(renderers->getLastFrameInfo()) : nullptr;
	return info && info->hasFrame() ? info : nullptr;
}

IZeRendererManager* createRendererManager(IZeManager* manager)
{
	IrrlichtDevice* device = deviceOf(manager);
	return device ? new CZeRendererManager(device, manager) : nullptr;
}

IZeRenderServices* createRenderServices(IZeManager* manager)
{
	IrrlichtDevice* device = deviceOf(manager);
	return device ? new CZeRenderServices(device, manager) : nullptr;
}

IZeEffectManager* createEffectManager(IZeManager* manager)
{
	IrrlichtDevice* device = deviceOf(manager);
	IZeGpuProgramming* gpu = manager ? manager->getGpuProgramming() : nullptr;
	IZeEffectManager* effects = device && gpu ? zeCreateEffectManager(device, gpu) : nullptr;
	if (effects)
	{
		effects->setLastFrameInfoProvider(lastFrame, nullptr);
		zeRegisterNodeExtValues(effects);
		zeRegisterSurfaceBind(effects);
		zeRegisterForwardLightBind(effects);
	}
	return effects;
}

void deleteEffectManager(IZeEffectManager* effects)
{
	delete effects;
}

IZeResourceManager* createResourceManager(IZeManager*)
{
	return new CZeResourceManager();
}
} // namespace

void zeRegisterRenderFactories()
{
	SZeServiceFactories factories = {};
	factories.createSceneManager = zeCreateSceneManagerServiceExt;
	factories.createSurfaceManager = zeCreateSurfaceManager;
	factories.createRendererManager = createRendererManager;
	factories.createRenderServices = createRenderServices;
	factories.createEffectManager = createEffectManager;
	factories.deleteEffectManager = deleteEffectManager;
	factories.createResourceManager = createResourceManager;
	zeRegisterServiceFactories(factories);
}
