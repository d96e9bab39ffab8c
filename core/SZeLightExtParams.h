// The parameter block of a light's extension: what the light buffer, the
// shadow maps and the volumetric lights read for one light.
#pragma once

#include <irrlicht.h>

struct SZeLightExtParams
{
	irr::f32 Intensity = 1.0f;
	irr::f32 Color[4] = { 1.0f, 1.0f, 1.0f, 1.0f };  // raw colour r, g, b, a
	irr::video::ITexture* ProjectionImage = nullptr;
	irr::f32 ShadowColor[4] = { 0.0f, 0.0f, 0.0f, 1.0f };
	irr::u32 ShadowMapSize = 512;
	irr::f32 ShadowEpsilon = 5.0f;  // scaled by 0.00001 when used
	irr::f32 ShadowMapFuzz = 0.0f;
	bool Volumetric = false;
	irr::f32 VolumetricDensity = 1.0f;
	bool VolumetricUseColor = false;
	irr::f32 VolumetricColor[4] = { 1.0f, 1.0f, 1.0f, 1.0f };
	irr::f32 VolumetricBase = 0.0f;
	bool ClampIntensity = false;
	irr::f32 IntensityClamp = 1.0f;
	irr::u32 VolumetricQuality = 0;

	// Every value back to its default.
	void reset() { *this = SZeLightExtParams(); }
};
