// The LightWave surface of meshes: 39 channels of value, texture and sRGB flag.
#pragma once

#include "render/IZeSurface.h"

#include <cstring>

const irr::u32 ZE_LIGHTWAVE_CHANNEL_COUNT = 39;
// Channels 0 to 9, 35 and 36 carry a texture, read by the sampler "LW_Tex_<name>".
const irr::u32 ZE_LIGHTWAVE_TEXTURED_CHANNEL_COUNT = 12;

// Channel indices (names: getLightwaveChannelName).
enum EZE_LIGHTWAVE_CHANNEL
{
	EZELW_BASE_COLOR = 0,
	EZELW_LUMINOSITY,
	EZELW_DIFFUSE,
	EZELW_SPECULARITY,
	EZELW_REFLECTIVITY,
	EZELW_TRANSPARENCY,
	EZELW_TRANSLUCENCY,
	EZELW_IOR,
	EZELW_BUMP,
	EZELW_GLOSSINESS,
	EZELW_SPECIAL_BUFFER1,
	EZELW_SPECIAL_BUFFER2,
	EZELW_SPECIAL_BUFFER3,
	EZELW_SPECIAL_BUFFER4,
	EZELW_DIFFUSE_SHARPNESS,
	EZELW_BUMP_DROPOFF,
	EZELW_SMOOTHING_ANGLE,
	EZELW_REFLECTION_SEAM_ANGLE,
	EZELW_REFRACTION_SEAM_ANGLE,
	EZELW_REFLECTION_BLURRING,
	EZELW_REFRACTION_BLURRING,
	EZELW_COLOR_FILTER,
	EZELW_COLOR_HIGHLIGHTS,
	EZELW_ADDITIVE_TRANSPARENCY,
	EZELW_ALPHA_VALUE,
	EZELW_GLOW_VALUE,
	EZELW_LINE_COLOR,
	EZELW_LINE_SIZE,
	EZELW_ALPHA_OPTIONS,
	EZELW_REFLECTION_OPTIONS,  // integer
	EZELW_REFRACTION_OPTIONS,
	EZELW_SIDEDNESS,           // integer
	EZELW_EXCLUDE_FROM_VSTACK,
	EZELW_GLOW,
	EZELW_RENDER_OUTLINES,
	EZELW_REFLECTION_IMAGE,
	EZELW_REFRACTION_IMAGE,
	EZELW_VERTEX_COLORING,
	EZELW_VERTEX_NORMAL
};

// One channel. Value[0] is the float value, or holds the 32-bit integer of
// integer channels (getInt/setInt).
struct SZeLightwaveChannel
{
	irr::f32 Value[3];
	irr::u32 Word;
	irr::video::ITexture* Texture;  // not held
	irr::u8 SRGB;                   // passed to the effect with the texture

	irr::s32 getInt() const
	{
		irr::s32 v;
		std::memcpy(&v, &Value[0], sizeof(v));
		return v;
	}
	void setInt(irr::s32 v) { std::memcpy(&Value[0], &v, sizeof(v)); }
};

class IZeSurfaceLightwave : public IZeSurface
{
public:
	// Copies ZE_LIGHTWAVE_CHANNEL_COUNT records.
	virtual void setParams(const SZeLightwaveChannel* channels) = 0;
	// Setters ignore i >= ZE_LIGHTWAVE_CHANNEL_COUNT; getters answer an empty
	// channel (all zero, no texture) for it.
	virtual void setParamFloat(irr::u32 i, irr::f32 value) = 0;
	virtual void setParamInt(irr::u32 i, irr::s32 value) = 0;
	virtual void setParamFloat3(irr::u32 i, irr::f32 x, irr::f32 y, irr::f32 z) = 0;
	virtual void setParamTexture(irr::u32 i, irr::video::ITexture* texture) = 0;
	virtual void setParamFlag(irr::u32 i, irr::u8 srgb) = 0;
	virtual irr::f32 getParamFloat(irr::u32 i) const = 0;
	virtual irr::s32 getParamInt(irr::u32 i) const = 0;
	virtual const SZeLightwaveChannel& getParam(irr::u32 i) const = 0;
	virtual irr::video::ITexture* getParamTexture(irr::u32 i) const = 0;

	SZeLightwaveChannel* getChannels() { return static_cast<SZeLightwaveChannel*>(getParams()); }
};
