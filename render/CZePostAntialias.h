// Temporal antialiasing: sub-pixel jitter of the projection, optional
// morphological antialiasing of the frame, and blending with the history of
// earlier frames, plain or reprojected through the camera's motion and
// optionally held to the current neighbourhood's range.
//
// Index:
//   - Jitter
//   - Temporal antialiasing
#pragma once

#include "core/IZeRendererCtxAdv.h"
#include "core/IZeServices.h"
#include "effects/IZeEffectManager.h"
#include "libext/IZeVideoDriverExt.h"
#include "render/CZePostEffect.h"
#include "render/CZePostSMAA.h"

#include <irrlicht.h>

// ---- Jitter ----------------------------------------------------------------------------------
// The sub-pixel offset (x, y, 0) of a frame, in pixels, for 1, 2, 4 or 8
// positions; any other count takes two steps of the process-wide random
// generator (x from the second, y from the first), each in -0.5 .. 0.5.
irr::core::vector3df zeJitterOffset(irr::u32 positions, irr::u32 frame);
// Restarts the random generator from 0.
void zeResetJitterRandom();

// ---- Temporal antialiasing ---------------------------------------------------------------
// The switches (SZeAntialiasParams) are copied from the scene's antialiasing
// channels each frame.
class CZePostAntialias : public SZeAntialiasParams
{
public:
	CZePostAntialias() = default;
	virtual ~CZePostAntialias() = default;
	CZePostAntialias(const CZePostAntialias&) = delete;
	CZePostAntialias& operator=(const CZePostAntialias&) = delete;

	// Keeps the morphological antialiasing (not owned) and loads the plain,
	// reprojected and limited blends from one file; false with
	// "CZePostAntialias failed to load <file>".
	bool load(CZePostSMAA* smaa, IZeEffectManager* effects, const char* file);
	// Something to draw: the morphological pass or blending is on.
	bool isActive() const { return Mode != 0 || Blending != 0; }
	// The identity moved by this frame's jitter in clip space (x by 2 / width,
	// y by 2 / height); the renderers multiply it into the projection.
	void getJitterMatrix(irr::core::matrix4& out, irr::u32 frame, irr::u32 width, irr::u32 height) const;
	// The share of the current frame in the blend (1: the history is not used).
	irr::f32 getBlendFactor(bool resetHistory) const;

	// Runs the morphological pass (result in `work`) when the mode asks, then,
	// with blending on, blends with `history` (unless the factor is 1) and
	// copies the result into the history. With toDisplay the result is on the
	// back buffer afterwards, copied there unless the morphological pass drew
	// it there. Returns the texture that holds the result, `work` or `source`:
	// `source` as it came when neither pass ran (mode 3, say).
	virtual irr::video::ITexture* render(irr::video::IVideoDriver* driver, IZeVideoDriverExt* driverExt,
		IZeRenderServices* services, irr::video::ITexture* work, irr::video::ITexture* source,
		irr::video::ITexture* blendWork, irr::video::ITexture* history, bool toDisplay, bool convertFirst,
		bool resetHistory);

	CZePostEffect& getPlainBlend() { return PlainBlend; }
	CZePostEffect& getReprojectedBlend() { return ReprojectedBlend; }
	CZePostEffect& getLimitedBlend() { return LimitedBlend; }

private:
	CZePostEffect* chooseBlend();
	// Copies the texture onto the back buffer when toDisplay.
	static void show(IZeRenderServices* services, irr::video::ITexture* texture, bool toDisplay);

	CZePostSMAA* Smaa = nullptr;
	CZePostEffect PlainBlend;        // no macros
	CZePostEffect ReprojectedBlend;  // USE_REPROJ_CAMERA
	CZePostEffect LimitedBlend;      // USE_REPROJ_CAMERA, USE_VLIMIT
};
