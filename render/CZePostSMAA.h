// Morphological antialiasing in three passes: luma edge detection, blending
// weights from the area and search tables, and neighbourhood blending, each
// on a quad whose texels meet the target's pixels.
//
// There is no stencil mask on OpenGL (the library's render targets have no
// stencil of their own to keep it in): the blending-weight pass discards the
// pixels whose edges are empty instead, which gives the same weights.
#pragma once

#include "core/IZeServices.h"
#include "effects/IZeEffectManager.h"
#include "effects/SZeMaterialExt.h"
#include "libext/IZeVideoDriverExt.h"
#include "render/CZePostEffect.h"

#include <irrlicht.h>

class CZePostSMAA
{
public:
	enum EPass
	{
		EP_EDGES = 0,
		EP_WEIGHTS,
		EP_NEIGHBOURHOOD,
		EP_GAMMA,
		EP_COUNT
	};

	CZePostSMAA() = default;
	~CZePostSMAA();
	CZePostSMAA(const CZePostSMAA&) = delete;
	CZePostSMAA& operator=(const CZePostSMAA&) = delete;

	// Loads the area and search textures (without mip-maps, in 32 bits; the
	// driver's creation flags are put back) and the four effects. false when
	// already loaded, or when any of the six fails ("CZePostSMAA failed to
	// load <file>" for each); nothing is kept then.
	bool load(irr::video::IVideoDriver* driver, IZeEffectManager* effects, IZeTextureManager* textures,
		const char* edgeFile, const char* weightFile, const char* neighbourhoodFile, const char* gammaFile,
		const char* areaFile, const char* searchFile);
	bool isLoaded() const { return Loaded; }

	// Edges of `source` (of its sRGB form, made in `blend` first, when
	// convertFirst) into `edges`, weights into `blend`, then the antialiased
	// image into the back buffer when toDisplay, else into `edges`. Nothing
	// when not loaded. The driver extension is not needed (no stencil mask).
	void render(irr::video::IVideoDriver* driver, IZeVideoDriverExt* driverExt, irr::video::ITexture* edges,
		irr::video::ITexture* source, irr::video::ITexture* blend, bool toDisplay, bool convertFirst);

	IZeEffect* getEffect(EPass pass) const { return pass < EP_COUNT ? Effects[pass] : nullptr; }
	irr::video::ITexture* getAreaTexture() const { return AreaTexture; }
	irr::video::ITexture* getSearchTexture() const { return SearchTexture; }
	irr::video::SMaterial& getMaterial(EPass pass) { return Quads[pass].getMaterial(); }

private:
	void setUp(IZeEffect* const* effects, irr::video::ITexture* area, irr::video::ITexture* search);
	// Makes the target current (null: the back buffer), cleared when asked,
	// and draws the pass with up to two inputs on layers 0 and 1.
	void draw(irr::video::IVideoDriver* driver, EPass pass, irr::video::ITexture* target, bool clear,
		irr::video::ITexture* input0, irr::video::ITexture* input1 = nullptr);

	bool Loaded = false;
	IZeEffect* Effects[EP_COUNT] = {};
	irr::video::ITexture* AreaTexture = nullptr;
	irr::video::ITexture* SearchTexture = nullptr;
	CZeScreenQuadAligned Quads[EP_COUNT];
	SZeMaterialExt Records[EP_COUNT];
};
