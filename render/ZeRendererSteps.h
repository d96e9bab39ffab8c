// Steps of a frame that the light pre-pass and the command renderers share:
// the camera cut, the jittered projection, and the library's own materials
// drawn into a render target.
#pragma once

#include "core/IZeManager.h"
#include "core/IZeServices.h"
#include "render/CZePostAntialias.h"
#include "render/SZeRenderSettings.h"

#include <irrlicht.h>

#include <vector>

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
