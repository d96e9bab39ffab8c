// The renderer manager: render targets, contexts, renderers and the one
// last-frame information.
#pragma once

#include "core/IZeServices.h"
#include "render/CZeLastFrameInfo.h"

#include <irrlicht.h>

class CZeRendererManager : public IZeRendererManager
{
public:
	explicit CZeRendererManager(irr::IrrlichtDevice* device);

	bool createRenderTargets(ze::ECOLOR_FORMAT format, const irr::core::dimension2d<irr::u32>* size) override;
	IZeRendererCtx* createRendererCtx() override;
	IZeRenderer* createRendererSimple(irr::IrrlichtDevice* device, IZeRendererCtx* context) override;
	IZeLastFrameInfo* getLastFrameInfo() override { return &LastFrame; }

private:
	irr::IrrlichtDevice* Device;
	CZeLastFrameInfo LastFrame;
};
