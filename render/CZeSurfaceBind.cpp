#include "render/CZeSurfaceBind.h"

#include "effects/IZeEffectBind.h"
#include "effects/IZeEffectManager.h"
#include "render/IZeSceneNodeExt.h"
#include "render/IZeSurfaceLightwave.h"
#include "render/IZeSurfaceLightwaveHV.h"

#include <cstring>

using namespace irr;

namespace
{
// HyperVoxel values, keyed after the 39 LightWave channels.
enum EHyperVoxelKey
{
	EHK_USE_TEXTURE_COLOR = ZE_LIGHTWAVE_CHANNEL_COUNT,
	EHK_COLOR,
	EHK_PARTICLE_SIZE,
	EHK_ROTATION,
	EHK_BLEND_MODE,
	EHK_COLOR_KEY_COUNT,
	EHK_COLOR_KEY_POSITION,
	EHK_COLOR_KEY_VALUE,
	EHK_SIZE_KEY_COUNT,
	EHK_SIZE_KEY_POSITION,
	EHK_SIZE_KEY_VALUE,
	EHK_END
};

const char* const HYPERVOXEL_NAMES[EHK_END - EHK_USE_TEXTURE_COLOR] = {"LWHV_UseTextureColor", "LWHV_Color",
	"LWHV_ParticleSize", "LWHV_Rotation", "LWHV_BlendMode", "LWHV_ColorKeyCount", "LWHV_ColorKeyPosition",
	"LWHV_ColorKeyValue", "LWHV_SizeKeyCount", "LWHV_SizeKeyPosition", "LWHV_SizeKeyValue"};

class CZeSurfaceBind : public IZeEffectBind
{
public:
	s32 match(const SZeFxParameter& parameter) const override
	{
		if (parameter.Type == EZEFPT_SAMPLER)
			return -1;
		const char* name = parameter.Name.c_str();
		if (std::strncmp(name, "LW_", 3) == 0)
			for (u32 i = 0; i < ZE_LIGHTWAVE_CHANNEL_COUNT; ++i)
				if (std::strcmp(name + 3, getLightwaveChannelName(i)) == 0)
					return static_cast<s32>(i);
		for (s32 key = EHK_USE_TEXTURE_COLOR; key < EHK_END; ++key)
			if (std::strcmp(name, HYPERVOXEL_NAMES[key - EHK_USE_TEXTURE_COLOR]) == 0)
				return key;
		return -1;
	}

	void update(s32 key, IZeEffect* effect, const SZeFxParameter* parameter, const SZeBindContext& context) override
	{
		IZeSurface* surface = surfaceOf(context);
		if (!surface)
			return;
		if (key < static_cast<s32>(ZE_LIGHTWAVE_CHANNEL_COUNT))
		{
			if (surface->getType() == ZE_SURFACE_LIGHTWAVE)
				setChannel(static_cast<IZeSurfaceLightwave*>(surface)->getParam(static_cast<u32>(key)),
					static_cast<u32>(key), effect, parameter);
			return;
		}
		if (surface->getType() == ZE_SURFACE_LIGHTWAVE_HV)
			setHyperVoxel(*static_cast<IZeSurfaceLightwaveHV*>(surface)->getHVParams(), key, effect, parameter);
	}

private:
	static IZeSurface* surfaceOf(const SZeBindContext& context)
	{
		if (!context.Record || !context.Record->Node)
			return nullptr;
		IZeSceneNodeExt* ext = zeFindSceneNodeExt(context.Record->Node);
		return ext ? ext->getMaterialSurface(context.Record->Surface) : nullptr;
	}

	static void set(IZeEffect* effect, const SZeFxParameter* parameter, const f32* values, u32 count)
	{
		effect->setFloatArray(parameter, values, core::min_(count, parameter->getComponentCount()));
	}

	static void setChannel(const SZeLightwaveChannel& channel, u32 index, IZeEffect* effect, const SZeFxParameter* parameter)
	{
		if (index == EZELW_REFLECTION_OPTIONS || index == EZELW_SIDEDNESS)
		{
			const f32 value = static_cast<f32>(channel.getInt());
			set(effect, parameter, &value, 1);
			return;
		}
		set(effect, parameter, channel.Value, 3);
	}

	static void setHyperVoxel(const SZeLightwaveHVParams& block, s32 key, IZeEffect* effect, const SZeFxParameter* parameter)
	{
		f32 value = 0.0f;
		switch (key)
		{
		case EHK_USE_TEXTURE_COLOR:
			value = block.UseTextureColor ? 1.0f : 0.0f;
			break;
		case EHK_COLOR:
			set(effect, parameter, block.Color, 4);
			return;
		case EHK_PARTICLE_SIZE:
			value = block.ParticleSize;
			break;
		case EHK_ROTATION:
			value = block.Rotation;
			break;
		case EHK_BLEND_MODE:
			value = static_cast<f32>(block.BlendMode);
			break;
		case EHK_COLOR_KEY_COUNT:
			value = static_cast<f32>(block.ColorKeyCount);
			break;
		case EHK_COLOR_KEY_POSITION:
			set(effect, parameter, block.ColorKeyPosition, ZE_HV_GRADIENT_ENTRIES);
			return;
		case EHK_COLOR_KEY_VALUE:
			set(effect, parameter, &block.ColorKeyValue[0][0], ZE_HV_GRADIENT_ENTRIES * 4);
			return;
		case EHK_SIZE_KEY_COUNT:
			value = static_cast<f32>(block.SizeKeyCount);
			break;
		case EHK_SIZE_KEY_POSITION:
			set(effect, parameter, block.SizeKeyPosition, ZE_HV_GRADIENT_ENTRIES);
			return;
		case EHK_SIZE_KEY_VALUE:
			set(effect, parameter, block.SizeKeyValue, ZE_HV_GRADIENT_ENTRIES);
			return;
		default:
			return;
		}
		set(effect, parameter, &value, 1);
	}
};
} // namespace

IZeEffectBind* zeCreateSurfaceBind()
{
	return new CZeSurfaceBind();
}

void zeRegisterSurfaceBind(IZeEffectManager* effects)
{
	if (!effects)
		return;
	IZeEffectBind* bind = zeCreateSurfaceBind();
	effects->addEffectBind(bind);
	bind->drop();
}
