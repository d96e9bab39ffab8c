#include "render/CZeSurfaceLightwaveHV.h"

#include "core/IZeManager.h"
#include "effects/IZeEffect.h"
#include "libext/ZeMaterialExt.h"

using namespace irr;

namespace
{
const char* const CLIP_SAMPLER = "LWHV_Tex_Clip";
} // namespace

// The block may have been written in place: the copy's key counts are cut too.
CZeSurfaceLightwaveHV::CZeSurfaceLightwaveHV(const CZeSurfaceLightwaveHV& other) : IZeSurfaceLightwaveHV()
{
	setParams(other.Params);
}

void CZeSurfaceLightwaveHV::setParams(const SZeLightwaveHVParams& params)
{
	Params = params;
	Params.ColorKeyCount = core::min_(Params.ColorKeyCount, ZE_HV_GRADIENT_MAX_KEYS);
	Params.SizeKeyCount = core::min_(Params.SizeKeyCount, ZE_HV_GRADIENT_MAX_KEYS);
}

IZeSurface* CZeSurfaceLightwaveHV::clone() const
{
	return new CZeSurfaceLightwaveHV(*this);
}

void CZeSurfaceLightwaveHV::initFromMaterial(const video::SMaterial& material)
{
	Params.UseTextureColor = 1;
	Params.ClipTexture = ze::getMaterialTexture(material, 0);
	switch (material.MaterialType)
	{
	case video::EMT_TRANSPARENT_ALPHA_CHANNEL:
		Params.BlendMode = EZEHVB_ALPHA;
		break;
	case video::EMT_ONETEXTURE_BLEND:
		Params.BlendMode = EZEHVB_SUBTRACTIVE;
		break;
	default:
		Params.BlendMode = EZEHVB_ADDITIVE;
		break;
	}
}

void CZeSurfaceLightwaveHV::applyToMaterial(video::SMaterial& material) const
{
	ze::setMaterialTexture(material, 0, Params.ClipTexture);
	material.ZWriteEnable = false;
	switch (Params.BlendMode)
	{
	case EZEHVB_ALPHA:
		material.MaterialType = video::EMT_TRANSPARENT_ALPHA_CHANNEL;
		break;
	case EZEHVB_ADDITIVE:
		material.MaterialType = video::EMT_TRANSPARENT_ADD_COLOR;
		break;
	case EZEHVB_SUBTRACTIVE:
		material.MaterialType = video::EMT_ONETEXTURE_BLEND;
		break;
	default:
		material.MaterialType = video::EMT_SOLID;
		break;
	}
}

bool CZeSurfaceLightwaveHV::getEffectCompileParameters(s32& materialType, SZeMacro* macros, u32& count,
	scene::ISceneNode*)
{
	const char* blend = nullptr;
	switch (Params.BlendMode)
	{
	case EZEHVB_ALPHA:
		materialType = video::EMT_TRANSPARENT_ALPHA_CHANNEL;
		blend = "USE_BLEND_ALPHA";
		break;
	case EZEHVB_ADDITIVE:
		materialType = video::EMT_TRANSPARENT_ADD_COLOR;
		blend = "USE_BLEND_ADD";
		break;
	case EZEHVB_SUBTRACTIVE:
		materialType = video::EMT_ONETEXTURE_BLEND;
		blend = "USE_BLEND_SUB";
		break;
	default:
		materialType = video::EMT_SOLID;
		break;
	}
	if (count == 0 || !macros)
		return true;

	const struct
	{
		bool On;
		const char* Name;
	} flags[] = {{(Params.UseTextureColor & 0xff) != 0, "USE_TEX_COLOR"}, {Params.ColorKeyCount > 0, "USE_COLOR_GRADIENT"},
		{Params.SizeKeyCount > 0, "USE_SIZE_GRADIENT"}, {Params.Rotation != 0.0f, "USE_ROTATION"}};
	const u32 capacity = count;
	u32 appended = 0;
	for (const auto& flag : flags)
	{
		if (flag.On)
			macros[appended++] = SZeMacro{flag.Name, nullptr};
		if (appended >= capacity)
		{
			zeEngineLog(3, "CZeSurfaceLightwaveHV::getEffectCompileParameters Not enough space for macros");
			return false;
		}
	}
	if (appended + 1 >= capacity)
	{
		zeEngineLog(3, "CZeSurfaceLightwaveHV::getEffectCompileParameters Not enough space for macros");
		return false;
	}
	if (blend)
		macros[appended++] = SZeMacro{blend, nullptr};
	macros[appended] = SZeMacro{nullptr, nullptr};
	count = appended;
	return true;
}

bool CZeSurfaceLightwaveHV::setEffectTextures(IZeEffect* effect)
{
	if (!effect)
		return false;
	core::array<const SZeFxParameter*> samplers;
	effect->getParametersByName(CLIP_SAMPLER, samplers);
	for (u32 i = 0; i < samplers.size(); ++i)
		if (!effect->setSamplerTexture(samplers[i], Params.ClipTexture, false))
		{
			zeEngineLog(3, "CZeSurfaceLightwaveHV::setEffectTextures setSamplerTexture failed for %s", CLIP_SAMPLER);
			return false;
		}
	return true;
}

bool CZeSurfaceLightwaveHV::setEffectTextureOnMaterial(video::SMaterial& material, IZeEffect* effect, u32 technique,
	u32 pass)
{
	if (!effect)
		return false;
	ze::setMaterialTexture(material, 0, Params.ClipTexture);
	core::array<const SZeFxParameter*> samplers;
	effect->getParametersByName(CLIP_SAMPLER, samplers);
	for (u32 i = 0; i < samplers.size(); ++i)
		if (!effect->setSamplerTextureOnMaterial(technique, pass, samplers[i], material, Params.ClipTexture, false))
		{
			zeEngineLog(3,
				"CZeSurfaceLightwaveHV::setEffectTextureOnMaterial setSamplerTextureOnMaterial failed for %s",
				CLIP_SAMPLER);
			return false;
		}
	return true;
}
