#include "render/CZeRendererManager.h"

#include "frame/ZeLog.h"
#include "render/CZeRenderTargets.h"
#include "render/CZeRendererSimple.h"

using namespace irr;

CZeRendererManager::CZeRendererManager(IrrlichtDevice* device) : Device(device), LastFrame(device)
{
}

bool CZeRendererManager::createRenderTargets(ze::ECOLOR_FORMAT format, const core::dimension2d<u32>* size)
{
	return CZeRenderTargets::create(Device ? Device->getVideoDriver() : nullptr, format, size);
}

IZeRendererCtx* CZeRendererManager::createRendererCtx()
{
	return new CZeRendererCtx();
}

IZeRenderer* CZeRendererManager::createRendererSimple(IrrlichtDevice* device, IZeRendererCtx* context)
{
	CZeRendererSimple* renderer = new CZeRendererSimple(device, context);
	if (!renderer->init())
	{
		zeLog(EZELL_ERROR, "CZeRendererManager: the simple renderer failed to initialise");
		renderer->drop();
		return nullptr;
	}
	return renderer;
}
