// Volumetric lights: the light scattered in the air around point and spot
// lights whose extension has the volumetric switch on, added over the
// picture after the light pass of the same frame (a spot light reads the
// shadow map drawn for it then, and its projection image). Each light is
// drawn on a sphere or a cone around it, or on a full-screen quad when the
// camera is inside.
#pragma once

#include "core/CZeScreenQuad.h"
#include "effects/IZeEffectManager.h"
#include "core/SZeLightExtParams.h"
#include "effects/SZeMaterialExt.h"
#include "render/SZeRenderSettings.h"

#include <irrlicht.h>

class CZeRenderLightVolumetric
{
public:
	// Spot variants: for quality levels 1 to 4, with the projection image,
	// the shadow map, or both.
	static const irr::u32 SPOT_VARIANTS = 12;

	explicit CZeRenderLightVolumetric(irr::IrrlichtDevice* device);
	virtual ~CZeRenderLightVolumetric();
	CZeRenderLightVolumetric(const CZeRenderLightVolumetric&) = delete;
	CZeRenderLightVolumetric& operator=(const CZeRenderLightVolumetric&) = delete;

	// Makes the light volumes and loads the point effect, the standard spot
	// effect and the twelve spot variants. false, with the reason logged and
	// every effect loaded so far released, when one fails.
	virtual bool init(IZeEffectManager* effects, const char* spotFile, const char* pointFile);
	// Adds the volumetric light of every light whose extension asks for it
	// into the target (not cleared; null: the back buffer). The bindings
	// tell which shadow map the light pass drew for which light. true.
	virtual bool render(irr::video::ITexture* target, const irr::core::array<irr::scene::ISceneNode*>& lights,
		const irr::core::array<SZeShadowTexBind>& bindings);
	// One light: points and spots draw, other lights do not (false).
	virtual bool renderLight(irr::scene::ILightSceneNode* light, const irr::core::array<SZeShadowTexBind>& bindings);
	virtual bool renderPoint(irr::scene::ILightSceneNode* light, IZeEffect* effect);
	// The shadow map and the image may be null.
	virtual bool renderSpot(irr::scene::ILightSceneNode* light, IZeEffect* effect, irr::video::ITexture* shadowMap,
		irr::video::ITexture* image);

	// The spot effect: the standard one without shadow map and image, else
	// the variant of the quality (1 to 4; 0 reads as 1, above 4 as 4).
	IZeEffect* getEffect(bool withShadow, bool withImage, irr::u32 quality) const;
	IZeEffect* getPointEffect() const { return PointEffect; }

private:
	void releaseEffects();
	// Sets the light's colour, radius, power and intensity limit on the effect.
	void setLightValues(const irr::scene::ILightSceneNode* light, const SZeLightExtParams& params, IZeEffect* effect);
	// Prepares the quad material for the effect with culling for a volume
	// (back faces drawn) or for the full-screen quad.
	void prepareMaterial(IZeEffect* effect, bool volume);
	// Draws a volume mesh at a world transform, or the quad with identity transforms.
	void draw(irr::scene::IMesh* volume, const irr::core::matrix4& world, IZeEffect* effect);

	irr::IrrlichtDevice* Device;
	irr::scene::IMesh* SphereMesh = nullptr;
	irr::scene::IMesh* ConeMesh = nullptr;
	CZeScreenQuad Quad;
	SZeMaterialExt Record;
	IZeEffect* PointEffect = nullptr;
	IZeEffect* SpotEffect = nullptr;
	IZeEffect* SpotVariants[SPOT_VARIANTS] = {};
};
