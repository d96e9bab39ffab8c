// Renderers and their contexts, and the last-frame information. Renderers are
// made by the renderer manager; the frame end draws through the current one.
#pragma once

#include <irrlicht.h>

// Name/definition pairs; a list ends with a pair of two nulls.
struct SZeMacro;

// The context's clear record: clear colour (0xAARRGGBB) and debug value.
struct SZeClearRecord
{
	irr::u32 Color;
	irr::u32 Debug;
};

class IZeRendererCtx : public virtual irr::IReferenceCounted
{
public:
	// The context's clear record.
	virtual SZeClearRecord* getClearColor() = 0;
};

class IZeRenderer : public virtual irr::IReferenceCounted
{
public:
	// Draws one frame into a render-target texture (null: the back buffer);
	// true when a frame was drawn.
	virtual bool render(irr::video::ITexture* target) = 0;
	// The effect file and extra macros a material type is compiled with.
	// macroCount: the array's capacity on entry, the macros written on return.
	// This body: no file, no macros, true.
	virtual bool getMaterialEffect(irr::core::stringc& effectFile, SZeMacro* macros, irr::u32& macroCount,
		irr::video::E_MATERIAL_TYPE materialType)
	{
		(void)macros;
		(void)materialType;
		effectFile = "";
		macroCount = 0;
		return true;
	}
};

// The camera of the previous frame and the running frame rate.
class IZeLastFrameInfo
{
public:
	virtual ~IZeLastFrameInfo() = default;
	// Called once per frame after drawing.
	virtual void update() = 0;
	virtual irr::f32 getAverageFps() const = 0;
	virtual const irr::core::matrix4& getPrevProjection() const = 0;
	virtual const irr::core::matrix4& getPrevView() const = 0;
	// True when the camera of `view` moved farther than `distance` or turned
	// more than `angleDegrees` from the kept view.
	virtual bool isCameraCut(const irr::core::matrix4& view, irr::f32 distance, irr::f32 angleDegrees) const = 0;
};
