// The HyperVoxel surface of particle emitters.
#pragma once

#include "render/IZeSurface.h"

// Gradients hold up to 8 keys plus the closing key.
const irr::u32 ZE_HV_GRADIENT_MAX_KEYS = 8;
const irr::u32 ZE_HV_GRADIENT_ENTRIES = ZE_HV_GRADIENT_MAX_KEYS + 1;

enum EZE_HV_BLEND_MODE
{
	EZEHVB_ALPHA = 0,
	EZEHVB_ADDITIVE = 1,
	EZEHVB_SUBTRACTIVE = 2
};

struct SZeLightwaveHVParams
{
	irr::u32 UseTextureColor = 0;  // a flag byte
	irr::f32 Color[4] = {1.0f, 1.0f, 1.0f, 1.0f};
	irr::f32 ParticleSize = 0.2f;
	irr::f32 Rotation = 0.0f;
	irr::u32 BlendMode = EZEHVB_ADDITIVE;
	irr::u32 ColorKeyCount = 0;  // at most ZE_HV_GRADIENT_MAX_KEYS
	irr::f32 ColorKeyPosition[ZE_HV_GRADIENT_ENTRIES] = {};
	irr::f32 ColorKeyValue[ZE_HV_GRADIENT_ENTRIES][4] = {};
	irr::u32 SizeKeyCount = 0;   // at most ZE_HV_GRADIENT_MAX_KEYS
	irr::f32 SizeKeyPosition[ZE_HV_GRADIENT_ENTRIES] = {};
	irr::f32 SizeKeyValue[ZE_HV_GRADIENT_ENTRIES] = {};
	irr::f32 Extra = 1.0f;
	irr::video::ITexture* ClipTexture = nullptr;  // not held; sampler "LWHV_Tex_Clip"
};

class IZeSurfaceLightwaveHV : public IZeSurface
{
public:
	// Copies the whole block; gradient key counts are cut to ZE_HV_GRADIENT_MAX_KEYS.
	virtual void setParams(const SZeLightwaveHVParams& params) = 0;

	SZeLightwaveHVParams* getHVParams() { return static_cast<SZeLightwaveHVParams*>(getParams()); }
};
