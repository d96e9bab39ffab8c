// The light pass: fills the light target once per frame. For each light it
// draws a shadow map when the light is a spot light that casts shadows
// (from the pool of shadow-map bindings), then hands the light to the light
// buffer.
#pragma once

#include "render/CZeRenderLightBuffer.h"
#include "render/CZeRenderLightShadowMap.h"
#include "render/SZeRenderSettings.h"

#include <irrlicht.h>

class CZeRenderLightPass
{
public:
	explicit CZeRenderLightPass(irr::IrrlichtDevice* device);
	virtual ~CZeRenderLightPass() = default;
	CZeRenderLightPass(const CZeRenderLightPass&) = delete;
	CZeRenderLightPass& operator=(const CZeRenderLightPass&) = delete;

	// Keeps both (not held); true.
	virtual bool init(CZeRenderLightBuffer* lightBuffer, CZeRenderLightShadowMap* shadowMaps);
	// Clears the target's colour to 0 (its depth stays), starts the light
	// buffer's frame with the active camera and lights every light of the
	// list in order; the nodes are the possible shadow casters, and each
	// binding whose map is drawn for a light records that light. true.
	virtual bool render(irr::video::ITexture* target, const irr::core::array<irr::scene::ISceneNode*>& lights,
		const irr::core::array<irr::scene::ISceneNode*>& nodes, irr::core::array<SZeShadowTexBind>& bindings);
	// One light; false when it draws nothing (no light, no extension, black).
	virtual bool renderLight(irr::video::ITexture* target, irr::scene::ISceneNode* light,
		const irr::core::array<irr::scene::ISceneNode*>& nodes, irr::core::array<SZeShadowTexBind>& bindings);

	// The binding for a shadow map of `size` pixels, -1 for none (no
	// bindings). Binding i is taken when it is the last, its map's height is
	// the size, or the next map is taller than the size; a first scan passes
	// over maps held by volumetric lights this frame (the volumetric pass
	// reads them later), a second takes any.
	static irr::s32 findShadowBinding(const irr::core::array<SZeShadowTexBind>& bindings, irr::u32 size);

private:
	irr::IrrlichtDevice* Device;
	CZeRenderLightBuffer* LightBuffer = nullptr;
	CZeRenderLightShadowMap* ShadowMaps = nullptr;
};
