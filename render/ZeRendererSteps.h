// Steps that the light pre-pass and the command renderers share: the
// material effect files, the camera cut and the jittered projection of a
// frame, the library's own materials drawn into a render target, and the
// debug thumbnails.
#pragma once

#include "core/IZeManager.h"
#include "core/IZeRenderer.h"
#include "core/IZeServices.h"
#include "render/CZePostAntialias.h"
#include "render/SZeRenderSettings.h"

#include <irrlicht.h>

#include <vector>

// The first effect file for solid material types, the second for the
// transparent ones (12 to 15), each with the macro "USE_OUTDEPTH"; false
// with "<owner>::getMaterialEffect not enough space for macros" when the
// array holds fewer than two pairs (nothing is written then).
bool zeRendererMaterialEffect(const char* owner, const irr::core::stringc& first, const irr::core::stringc& second,
	irr::core::stringc& effectFile, SZeMacro* macros, irr::u32& macroCount, irr::video::E_MATERIAL_TYPE materialType);

// Whether the camera cut since the last frame (moved more than 1 unit or
// turned more than 20 degrees); only frames into the back buffer ask.
bool zeRendererCameraCut(IZeManager* manager, irr::video::IVideoDriver* driver, irr::video::ITexture* target);

// Multiplies the antialiasing's jitter for the frame number into the projection.
void zeRendererJitter(irr::video::IVideoDriver* driver, const CZePostAntialias* antialias, irr::u32 frame,
	const irr::core::matrix4& projection);

// Whether every material of a node draws without an effect (the library's own).
bool zeIsLibraryNode(irr::scene::ISceneNode* node);

// Draws nodes of the library's own materials into a render target the right
// way up: effects turn their pictures over in targets, the library does not,
// so the projection is turned upside down for the call and the faces each
// material culls change sides with it.
class CZeLibraryNodeDraw
{
public:
	void render(irr::video::IVideoDriver* driver, IZeRenderServices* services,
		const irr::core::array<irr::scene::ISceneNode*>& nodes, irr::scene::E_SCENE_NODE_RENDER_PASS pass,
		const irr::video::SOverrideMaterial* overrides, irr::u32 hideMask, irr::u32 showMask);

private:
	struct SCulling
	{
		irr::video::SMaterial* Material;
		bool Back;
		bool Front;
	};
	std::vector<SCulling> Culling;
};

// ---- Debug thumbnails ------------------------------------------------------------
// The seven 160 x 120 thumbnails of the buffers: normal, depth, light, the
// second shadow map (when there is one), the glow's half screen and both
// quarter screens. Returns how many it wrote.
struct SZeDebugThumbnail
{
	irr::video::ITexture* Texture;
	irr::s32 X, Y;
};
const irr::s32 ZE_THUMBNAIL_WIDTH = 160;
const irr::s32 ZE_THUMBNAIL_HEIGHT = 120;
irr::u32 zeDebugThumbnails(SZeDebugThumbnail out[7], irr::video::ITexture* normal, irr::video::ITexture* depth,
	irr::video::ITexture* light, const irr::core::array<SZeShadowTexBind>& bindings, irr::video::ITexture* half1,
	irr::video::ITexture* quarter0, irr::video::ITexture* quarter1);
// The whole texture stretched into the rectangle, as it is (no alpha); false
// without a texture or for our own texture kinds.
bool zeDrawDebugTexture(irr::video::IVideoDriver* driver, irr::video::ITexture* texture, irr::s32 x, irr::s32 y,
	irr::s32 width, irr::s32 height);
