// The plain renderer context and the simple renderer: one clear, then the
// scene manager draws the whole scene.
#pragma once

#include "core/IZeRenderer.h"

#include <irrlicht.h>

// A context holding only its clear record (colour 0, debug 0 at creation).
class CZeRendererCtx : public IZeRendererCtx
{
public:
	SZeClearRecord* getClearColor() override { return &Record; }

private:
	SZeClearRecord Record = {0, 0};
};

class CZeRendererSimple : public IZeRenderer
{
public:
	// Holds a reference on the context, which may be null.
	CZeRendererSimple(irr::IrrlichtDevice* device, IZeRendererCtx* context);
	~CZeRendererSimple() override;

	// Clears the target (null: the back buffer) to the context's colour (0
	// without a context), then draws the scene graph.
	bool render(irr::video::ITexture* target) override;
	virtual bool init();

private:
	irr::IrrlichtDevice* Device;
	IZeRendererCtx* Context;
};
