#include "render/CZeRendererManager.h"

#include "frame/ZeLog.h"
#include "render/CZeRenderTargets.h"
#include "render/CZeRendererCmds.h"
#include "render/CZeRendererCtxAdv.h"
#include "render/CZeRendererLpp.h"
#include "render/CZeRendererSimple.h"

using namespace irr;

CZeRendererManager::CZeRendererManager(IrrlichtDevice* device, IZeManager* manager)
	: Device(device), Manager(manager), LastFrame(device)
{
}

CZeRendererManager::~CZeRendererManager()
{
	zeForgetCommandTextures();
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

IZeRendererCtxAdv* CZeRendererManager::createRendererCtxAdv(const SZeRendererShaderFiles& files)
{
	CZeRendererCtxAdv* context = new CZeRendererCtxAdv(Device, Manager);
	if (!context->init(files))
	{
		context->drop();
		return nullptr;
	}
	return context;
}

IZeRenderer* CZeRendererManager::createRendererLpp(IrrlichtDevice* device, IZeManager* manager,
	IZeRendererCtxAdv* context, const SZeRendererDesc& description)
{
	CZeRendererCtxAdv* advanced = dynamic_cast<CZeRendererCtxAdv*>(context);
	if (!advanced)
	{
		zeLog(EZELL_ERROR, "CZeRendererManager: the light pre-pass renderer needs an advanced context");
		return nullptr;
	}
	CZeRendererLpp* renderer = new CZeRendererLpp(device, manager, advanced);
	if (!renderer->init(description))
	{
		renderer->drop();
		return nullptr;
	}
	return renderer;
}

IZeRenderer* CZeRendererManager::createRendererCmds(IrrlichtDevice* device, IZeManager* manager,
	IZeRendererCtxAdv* context, const SZeRendererDesc& description)
{
	CZeRendererCtxAdv* advanced = dynamic_cast<CZeRendererCtxAdv*>(context);
	if (!advanced)
	{
		zeLog(EZELL_ERROR, "CZeRendererManager: the command renderer needs an advanced context");
		return nullptr;
	}
	CZeRendererCmds* renderer = new CZeRendererCmds(device, manager, advanced);
	if (!renderer->init(description))
	{
		renderer->drop();
		return nullptr;
	}
	return renderer;
}

bool CZeRendererManager::createCommandTextures(const SZeRendererDesc& description)
{
	return zeCreateRenderCommandTextures(Device, description);
}
