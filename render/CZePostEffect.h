// Post effects: one effect drawn on a screen quad into a target with one or
// two input textures, the aligned screen quad, and the depth-of-field passes.
//
// Index:
//   - Post effect
//   - Aligned screen quad
//   - Depth of field
#pragma once

#include "core/CZeScreenQuad.h"
#include "effects/IZeEffectManager.h"
#include "effects/SZeMaterialExt.h"

#include <irrlicht.h>

// ---- Post effect -------------------------------------------------------------------
// Targets are never cleared: what the effect does not cover keeps its content.
// The three drawing steps are virtual so that a caller's sequence of passes
// can be recorded.
class CZePostEffect
{
public:
	CZePostEffect();
	virtual ~CZePostEffect();
	CZePostEffect(const CZePostEffect&) = delete;
	CZePostEffect& operator=(const CZePostEffect&) = delete;

	// Creates the effect from a file (macros may be null); false with
	// "CZePostEffect failed to load <file>" logged.
	bool load(IZeEffectManager* manager, const char* file, const SZeMacro* macros);
	// Holds the new effect (releasing the old one) and takes technique 0,
	// pass 0 of it into the quad's material. Null leaves no effect.
	void setEffect(IZeEffect* effect);
	IZeEffect* getEffect() const { return Effect; }
	irr::video::SMaterial& getMaterial() { return Quad.getMaterial(); }

	// Makes the target (null: the back buffer) current without clearing it,
	// puts the textures on layers 0 and 1 and draws. false without an effect.
	virtual bool render(irr::video::IVideoDriver* driver, irr::video::ITexture* target,
		irr::video::ITexture* texture0, irr::video::ITexture* texture1 = nullptr);
	// Sets "Intensity", then draws the texture on layer 0 into the target.
	virtual bool renderCompose(irr::video::IVideoDriver* driver, irr::video::ITexture* target,
		irr::video::ITexture* texture, irr::f32 intensity);
	// Sets "Direction" ((1, 0) horizontal, else (0, 1)), "Radius" and
	// "Intensity", then draws like renderCompose.
	virtual bool renderBlur(irr::video::IVideoDriver* driver, irr::video::ITexture* target,
		irr::video::ITexture* texture, bool horizontal, irr::f32 radius, irr::f32 intensity);
	// Draws into whatever render target (or list of targets) is current, with
	// the textures on layers 0 and 1.
	virtual bool drawInto(irr::video::IVideoDriver* driver, irr::video::ITexture* texture0 = nullptr,
		irr::video::ITexture* texture1 = nullptr);

private:
	bool drawQuad(irr::video::IVideoDriver* driver);

	IZeEffect* Effect = nullptr;
	CZeScreenQuad Quad;
	SZeMaterialExt Record;
};

// ---- Aligned screen quad -------------------------------------------------------------
// A quad whose texels map exactly onto the pixels of the current target. In
// OpenGL pixel centres and texel centres already coincide, so it covers the
// target exactly, with no half-pixel shift.
class CZeScreenQuadAligned
{
public:
	CZeScreenQuadAligned();
	virtual ~CZeScreenQuadAligned() = default;
	// Sets the material and an identity world transform and draws the two triangles.
	virtual void render(irr::video::IVideoDriver* driver);
	virtual irr::video::SMaterial& getMaterial() { return Material; }

private:
	irr::video::S3DVertex Vertices[4];
	irr::u16 Indices[6];
	irr::video::SMaterial Material;
	ze::CMaterialExtHolder Holding{Material};
};

// ---- Depth of field ------------------------------------------------------------------
// The circle of confusion goes to the alpha channel; two blur passes along
// "angle" (radians) scaled by "radiusScale" spread it.
struct SZePostDof
{
	SZePostDof() = default;
	virtual ~SZePostDof() = default;
	SZePostDof(const SZePostDof&) = delete;
	SZePostDof& operator=(const SZePostDof&) = delete;

	CZePostEffect CocArtist;    // "DofCocArtist.hlsl"
	CZePostEffect CocPhysical;  // "DofCocPhysical.hlsl"
	CZePostEffect Blur;         // "Dof.hlsl"

	// Loads the three in order, stopping at the first failure.
	bool load(IZeEffectManager* manager, const char* artistFile, const char* physicalFile, const char* blurFile);
	// Physical pass (source, depth) into work; blur at angle 0 (work, depth)
	// into source; blur at 60 degrees (source, depth) into output.
	virtual bool renderPhysical(irr::video::IVideoDriver* driver, irr::video::ITexture* output, irr::video::ITexture* source,
		irr::video::ITexture* depth, irr::video::ITexture* work);
	// The same with the artist pass first and the radius scale on both blurs.
	virtual bool renderArtist(irr::video::IVideoDriver* driver, irr::video::ITexture* output, irr::video::ITexture* source,
		irr::video::ITexture* depth, irr::video::ITexture* work, irr::f32 radiusScale);

private:
	bool blur(irr::video::IVideoDriver* driver, irr::video::ITexture* output, irr::video::ITexture* source,
		irr::video::ITexture* work, irr::video::ITexture* depth, irr::f32 radiusScale);
};
