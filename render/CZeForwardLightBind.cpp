#include "render/CZeForwardLightBind.h"

#include "effects/IZeEffectBind.h"
#include "effects/IZeEffectManager.h"
#include "frame/ZeFile.h"

#include <algorithm>
#include <cmath>

using namespace irr;

namespace
{
enum EKey
{
	EK_COUNT = 0,
	EK_POSITION,
	EK_DIRECTION,
	EK_COLOR,
	EK_CONE,
	EK_AMBIENT,
	EK_END
};
const char* const NAMES[EK_END] = {"ForwardLightCount", "ForwardLightPosition", "ForwardLightDirection",
	"ForwardLightColor", "ForwardLightCone", "AmbientLight"};

class CZeForwardLightBind : public IZeEffectBind
{
public:
	s32 match(const SZeFxParameter& parameter) const override
	{
		if (parameter.Type == EZEFPT_SAMPLER)
			return -1;
		for (s32 key = 0; key < EK_END; ++key)
			if (parameter.Name == NAMES[key] ||
				(!parameter.Semantic.empty() && zeStricmp(parameter.Semantic.c_str(), NAMES[key]) == 0))
				return key;
		return -1;
	}

	void update(s32 key, IZeEffect* effect, const SZeFxParameter* parameter, const SZeBindContext& context) override
	{
		video::IVideoDriver* driver = context.Driver;
		const u32 count = std::min<u32>(driver ? driver->getDynamicLightCount() : 0, ZE_FORWARD_LIGHTS);
		f32 values[ZE_FORWARD_LIGHTS * 4] = {};
		u32 written = 4 * count;
		switch (key)
		{
		case EK_COUNT:
			values[0] = static_cast<f32>(count);
			written = 1;
			break;
		case EK_AMBIENT:
		{
			scene::ISceneManager* smgr = context.Device ? context.Device->getSceneManager() : nullptr;
			const video::SColorf ambient = smgr ? smgr->getAmbientLight() : video::SColorf(0, 0, 0, 0);
			values[0] = ambient.r;
			values[1] = ambient.g;
			values[2] = ambient.b;
			written = 3;
			break;
		}
		default:
			for (u32 i = 0; i < count; ++i)
				light(static_cast<EKey>(key), driver->getDynamicLight(i), values + 4 * i);
			break;
		}
		if (written)
			effect->setFloatArray(parameter, values, std::min(written, parameter->getComponentCount()));
	}

private:
	static void light(EKey key, const video::SLight& light, f32* out)
	{
		switch (key)
		{
		case EK_POSITION:
			out[0] = light.Position.X;
			out[1] = light.Position.Y;
			out[2] = light.Position.Z;
			out[3] = light.Type == video::ELT_SPOT ? 1.0f : light.Type == video::ELT_DIRECTIONAL ? 2.0f : 0.0f;
			break;
		case EK_DIRECTION:
		{
			core::vector3df direction = light.Direction;
			direction.normalize();
			out[0] = direction.X;
			out[1] = direction.Y;
			out[2] = direction.Z;
			out[3] = light.Radius > 0.0f ? 1.0f / (light.Radius * light.Radius) : 0.0f;
			break;
		}
		case EK_COLOR:
			out[0] = light.DiffuseColor.r;
			out[1] = light.DiffuseColor.g;
			out[2] = light.DiffuseColor.b;
			out[3] = light.DiffuseColor.a;
			break;
		case EK_CONE:
			out[0] = std::cos(light.InnerCone * core::DEGTORAD);
			out[1] = std::cos(light.OuterCone * core::DEGTORAD);
			break;
		default:
			break;
		}
	}
};
} // namespace

IZeEffectBind* zeCreateForwardLightBind()
{
	return new CZeForwardLightBind();
}

void zeRegisterForwardLightBind(IZeEffectManager* effects)
{
	if (!effects)
		return;
	IZeEffectBind* bind = zeCreateForwardLightBind();
	effects->addEffectBind(bind);
	bind->drop();
}
