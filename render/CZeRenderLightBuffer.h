// The light buffer: adds each light's light to the light target of the light
// pre-pass pipeline from the depth and normal targets (data/shaders/
// LppBuffers.hlsl says what they hold). Every light draws one effect
// variant, chosen by its type and shadow, on a full-screen quad or on a light
// volume (a sphere for point lights, a cone for spot lights) when the camera
// is outside it, so that only the pixels the light can reach are shaded.
#pragma once

#include "core/CZeScreenQuad.h"
#include "effects/IZeEffectManager.h"
#include "effects/SZeMaterialExt.h"

#include <irrlicht.h>

// What the light buffer drew since its counters were last reset.
struct SZeLightBufferStats
{
	irr::u32 SpotLights = 0;
	irr::u32 PointLights = 0;
	irr::u32 DirectionalLights = 0;
	irr::u32 ShadowedLights = 0;
	irr::u32 FullScreenDraws = 0;
};

class CZeRenderLightBuffer
{
public:
	// Effect variants: a row per light type (directional, point, spot), a
	// column per shadow softness (0: no shadow; 1 to 7: "USE_SH0" to "USE_SH32").
	static const irr::u32 ROWS = 3;
	static const irr::u32 COLUMNS = 8;

	explicit CZeRenderLightBuffer(irr::IrrlichtDevice* device);
	virtual ~CZeRenderLightBuffer();
	CZeRenderLightBuffer(const CZeRenderLightBuffer&) = delete;
	CZeRenderLightBuffer& operator=(const CZeRenderLightBuffer&) = delete;

	// Makes the light volumes and loads the ten variants from the file
	// (directional, point, spot, and spot with each of the seven shadow
	// softnesses). false, with the reason logged and nothing kept, when one fails.
	virtual bool init(IZeEffectManager* effects, const char* file);
	// Keeps the camera's view (the driver's current one), its inverse and
	// transposed inverse, its position and near value for the frame's lights.
	virtual bool beginFrame(irr::scene::ICameraSceneNode* camera);
	// Adds one light into the target (null: the back buffer), drawn over what
	// the target holds with the depth buffer as it is. A shadow map (with the
	// light's view-projection, near and far) shadows a spot light that casts
	// shadows. false when nothing was drawn: a light without its extension or
	// of colour (0, 0, 0), a type the buffer does not know, or no effect.
	virtual bool renderLight(irr::video::ITexture* target, irr::scene::ILightSceneNode* light,
		irr::video::ITexture* shadowMap, const irr::core::matrix4& shadowViewProjection, irr::f32 shadowNear,
		irr::f32 shadowFar);
	// Draws every light volume once more as a wireframe.
	virtual void setShowVolumes(bool show);
	// The three ways renderLight draws, with the quad material it prepared.
	virtual bool drawFullScreen(irr::video::ITexture* target, irr::scene::ILightSceneNode* light, IZeEffect* effect);
	virtual bool drawPointVolume(irr::video::ITexture* target, irr::scene::ILightSceneNode* light, IZeEffect* effect);
	virtual bool drawSpotVolume(irr::video::ITexture* target, irr::scene::ILightSceneNode* light, IZeEffect* effect);

	// The variant for a light type: column 0 without shadow; a shadowed spot
	// light's column from the fuzz (below 1, 2, 4, 8, 16, 32: columns 1 to 6;
	// 32 and more or not a number: 7). Directional and point lights have no
	// shadow variants. Null, with "CZeRenderLightBuffer: wrong light type"
	// logged, for another type.
	IZeEffect* getEffect(irr::u32 type, bool withShadow, irr::f32 fuzz);
	// The context's shadow settings: when on, the epsilon replaces every
	// light's own (both scaled by 0.00001 when used).
	void setShadowOverride(bool on, irr::f32 epsilon);
	void resetStats();
	const SZeLightBufferStats& getStats() const { return Stats; }

private:
	void releaseEffects();
	// Draws a volume mesh at a world transform with the prepared quad material.
	bool drawVolume(irr::scene::IMesh* mesh, const irr::core::matrix4& world, IZeEffect* effect);

	irr::IrrlichtDevice* Device;
	irr::video::IVideoDriver* Driver;
	bool ShowVolumes = false;
	irr::scene::IMesh* SphereMesh = nullptr;
	irr::scene::IMesh* ConeMesh = nullptr;
	CZeScreenQuad Quad;
	SZeMaterialExt Record;
	IZeEffect* Effects[ROWS * COLUMNS] = {};
	irr::core::matrix4 View;
	irr::core::matrix4 InverseView;
	irr::core::matrix4 InverseViewTransposed;
	irr::core::vector3df CameraPosition;
	irr::f32 CameraNear = 0.0f;
	bool ShadowOverride = false;
	irr::f32 ShadowEpsilon = 0.0f;
	SZeLightBufferStats Stats;
};
