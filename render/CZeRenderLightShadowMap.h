// Shadow maps: the depth of the shadow-casting nodes as a light sees them
// (data/shaders/LppBuffers.hlsl says what a map holds), and a light's view
// and projection.
#pragma once

#include "effects/IZeEffectManager.h"
#include "render/IZeSceneNodeExt.h"

#include <irrlicht.h>

#include <vector>

// The light's view and projection as its shadow map and its volumetric light
// see it: from its absolute position along its rotation (degrees) applied to
// +z, near 0.01 and far 5000 (a spot light's radius when smaller). A
// directional light looks from one unit behind its position through a 30 x 30
// orthographic box and reports a far of 1.0; other lights see through a
// square perspective of twice their outer cone. The position out is the
// light's own. A light shining straight up or down looks with +z as up.
void zeGetLightViewProjection(const irr::scene::ILightSceneNode* light, irr::core::matrix4& view,
	irr::core::matrix4& projection, irr::core::vector3df& position, irr::f32& nearValue, irr::f32& farValue);

class CZeRenderLightShadowMap
{
public:
	explicit CZeRenderLightShadowMap(irr::IrrlichtDevice* device);
	virtual ~CZeRenderLightShadowMap();
	CZeRenderLightShadowMap(const CZeRenderLightShadowMap&) = delete;
	CZeRenderLightShadowMap& operator=(const CZeRenderLightShadowMap&) = delete;

	// Loads the depth effect from the file without macros; false with
	// "CZeRenderLightShadowMap failed to load <file>" logged.
	virtual bool init(IZeEffectManager* effects, const char* file);
	// Holds the effect that draws materials without a "shadow" technique
	// (releasing the one before; null for none).
	virtual void setEffect(IZeEffect* effect);
	// Draws the depth of the nodes whose extension casts shadows into the
	// shadow map (cleared to white), each material through its effect's
	// "shadow" technique or else the depth effect, and puts the nodes'
	// effects, the driver's override material and view and projection back.
	// Out: the light's projection x view, near and far. false, drawing
	// nothing, when no casting node's box meets the light's frustum.
	virtual bool render(irr::video::ITexture* shadowMap, irr::scene::ILightSceneNode* light,
		const irr::core::array<irr::scene::ISceneNode*>& nodes, irr::core::matrix4& viewProjection, irr::f32& nearValue,
		irr::f32& farValue);

	IZeEffect* getEffect() const { return DepthEffect; }

private:
	irr::IrrlichtDevice* Device;
	IZeEffect* DepthEffect = nullptr;
	// One caster's effects and materials while it draws.
	irr::core::array<SZeNodeExtSavedEffect> Saved;
	std::vector<irr::video::SMaterial> SavedMaterials;
};
