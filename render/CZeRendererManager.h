// The renderer manager: render targets, contexts, renderers and the one
// last-frame information.
#pragma once

#include "core/IZeManager.h"
#include "core/IZeServices.h"
#include "render/CZeLastFrameInfo.h"

#include <irrlicht.h>

class CZeRendererManager : public IZeRendererManager
{
public:
	// The manager (may be null) is given to the advanced contexts it makes.
	CZeRendererManager(irr::IrrlichtDevice* device, IZeManager* manager);
	// Forgets the targets of render commands: the driver frees them.
	~CZeRendererManager() override;

	bool createRenderTargets(ze::ECOLOR_FORMAT format, const irr::core::dimension2d<irr::u32>* size) override;
	IZeRendererCtx* createRendererCtx() override;
	IZeRenderer* createRendererSimple(irr::IrrlichtDevice* device, IZeRendererCtx* context) override;
	IZeRendererCtxAdv* createRendererCtxAdv(const SZeRendererShaderFiles& files) override;
	// The context must be one this manager made (a CZeRendererCtxAdv).
	IZeRenderer* createRendererLpp(irr::IrrlichtDevice* device, IZeManager* manager, IZeRendererCtxAdv* context,
		const SZeRendererDesc& description) override;
	// The context must be one this manager made (a CZeRendererCtxAdv).
	IZeRenderer* createRendererCmds(irr::IrrlichtDevice* device, IZeManager* manager, IZeRendererCtxAdv* context,
		const SZeRendererDesc& description) override;
	bool createCommandTextures(const SZeRendererDesc& description) override;
	IZeLastFrameInfo* getLastFrameInfo() override { return &LastFrame; }

private:
	irr::IrrlichtDevice* Device;
	IZeManager* Manager;
	CZeLastFrameInfo LastFrame;
};
