#include "render/CZeRendererCtxAdv.h"

#include "core/IZeServices.h"
#include "frame/ZeLog.h"
#include "libext/ZeTextureExt.h"

using namespace irr;

namespace
{
const char* const GLOW_TARGETS[CZeRendererCtxAdv::GLOW_TARGET_COUNT] = {"HalfScreen[0]", "HalfScreen[1]",
	"HalfScreen[2]", "QuarterScreen[0]", "QuarterScreen[1]", "EighthScreen[0]", "EighthScreen[1]",
	"SixTeenthScreen[0]", "SixTeenthScreen[1]", "ThirtyTwothScreen[0]", "ThirtyTwothScreen[1]",
	"SixtyFourthScreen[0]", "SixtyFourthScreen[1]"};
const char* const SHADOW_MAPS[4] = {"ShadowMap.256", "ShadowMap.512", "ShadowMap.512.1", "ShadowMap.1024"};
// The float semantics of the post values, in the order they are registered.
const char* const SEMANTICS[7] = {"BloomSpecMin", "BloomThreshold", "FocalDistance", "FStop", "DofFocalRangeMin",
	"DofFocalRangeFocused", "DofFocalRangeMax"};
} // namespace

CZeRendererCtxAdv::CZeRendererCtxAdv(IrrlichtDevice* device, IZeManager* manager) : Device(device), Manager(manager)
{
	LightBuffer = std::make_unique<CZeRenderLightBuffer>(device);
	ShadowMap = std::make_unique<CZeRenderLightShadowMap>(device);
	LightPass = std::make_unique<CZeRenderLightPass>(device);
	Volumetric = std::make_unique<CZeRenderLightVolumetric>(device);
}

CZeRendererCtxAdv::~CZeRendererCtxAdv()
{
	PostChain.setEffects(core::array<IZeEffect*>());
	dropSemanticMap();
}

void CZeRendererCtxAdv::dropSemanticMap()
{
	if (!SemanticMap)
		return;
	// The effect manager holds it among its binds: it leaves them with the context.
	IZeEffectManager* effects = Manager ? Manager->getEffectManager() : nullptr;
	if (effects)
		effects->removeEffectBind(SemanticMap);
	SemanticMap->drop();
	SemanticMap = nullptr;
}

bool CZeRendererCtxAdv::init(const SZeRendererShaderFiles& files)
{
	if (Initialised)
		return false;
	video::IVideoDriver* driver = Device ? Device->getVideoDriver() : nullptr;
	IZeEffectManager* effects = Manager ? Manager->getEffectManager() : nullptr;
	if (!driver || !effects)
	{
		zeLog(EZELL_ERROR, "CZeRendererCtxAdv needs a video driver and an effect manager");
		return false;
	}

	video::ITexture* glowTargets[GLOW_TARGET_COUNT] = {};
	for (u32 i = 0; i < GLOW_TARGET_COUNT; ++i)
		if (!(glowTargets[i] = ze::findTexture(driver, GLOW_TARGETS[i])))
		{
			zeLog(EZELL_ERROR, "CZeRendererCtxAdv failed to find textures for glow");
			return false;
		}
	// Found first, then bound, so that a missing map leaves no bindings.
	video::ITexture* shadowMaps[4] = {};
	for (u32 i = 0; i < 4; ++i)
		if (!(shadowMaps[i] = ze::findTexture(driver, SHADOW_MAPS[i])))
		{
			zeLog(EZELL_ERROR, "CZeRendererCtxAdv failed to allocate shadow map render targets");
			return false;
		}
	for (video::ITexture* map : shadowMaps)
	{
		SZeShadowTexBind binding;
		binding.ShadowMap = map;
		ShadowBinds.push_back(binding);
	}

	IZeEffectBindSemanticMap* map = effects->createEffectBindSemanticMap();
	if (!map)
	{
		zeLog(EZELL_ERROR, "CZeRendererCtxAdv failed to create BindSemanticMap");
		return false;
	}
	for (const char* semantic : SEMANTICS)
		if (!map->addSemantic(semantic, EZEFPT_FLOAT))
		{
			zeLog(EZELL_ERROR, "CZeRendererCtxAdv failed to create bind semantics");
			effects->removeEffectBind(map);
			map->drop();
			return false;
		}
	SemanticMap = map;

	if (!LightBuffer->init(effects, files.Files[EZERSF_LIGHT_PASS].c_str()) ||
		!ShadowMap->init(effects, files.Files[EZERSF_SHADOW_DEPTH].c_str()) ||
		!LightPass->init(LightBuffer.get(), ShadowMap.get()) ||
		!Volumetric->init(effects, files.Files[EZERSF_VOLUMETRIC_SPOT].c_str(),
			files.Files[EZERSF_VOLUMETRIC_POINT].c_str()))
		return false;

	AntialiasEnabled = files.Antialias;
	if (AntialiasEnabled)
	{
		IZeTextureManager* textures = Manager->getTextureManager();
		if (!Smaa.load(driver, effects, textures, files.Files[EZERSF_SMAA_EDGES].c_str(),
				files.Files[EZERSF_SMAA_WEIGHTS].c_str(), files.Files[EZERSF_SMAA_NEIGHBOURHOOD].c_str(),
				files.Files[EZERSF_GAMMA].c_str(), files.Files[EZERSF_SMAA_AREA].c_str(),
				files.Files[EZERSF_SMAA_SEARCH].c_str()) ||
			!Antialias.load(&Smaa, effects, files.Files[EZERSF_BLEND_ANTIALIAS].c_str()))
			return false;
	}
	if (!loadPostEffects(effects, files, glowTargets))
		return false;
	Initialised = true;
	return true;
}

bool CZeRendererCtxAdv::loadPostEffects(IZeEffectManager* effects, const SZeRendererShaderFiles& files,
	video::ITexture* const glowTargets[GLOW_TARGET_COUNT])
{
	auto file = [&files](EZE_RENDERER_SHADER_FILE which) { return files.Files[which].c_str(); };
	return DepthClear.load(effects, file(EZERSF_DEPTH_CLEAR), nullptr) &&
		GaussianBlur.load(effects, file(EZERSF_GAUSSIAN_BLUR), nullptr) &&
		DownSampleBlur.load(effects, file(EZERSF_DOWN_SAMPLE_BLUR), nullptr) &&
		ComposeUpSample.load(effects, file(EZERSF_COMPOSE_UP_SAMPLE), nullptr) &&
		LightStreak.load(&ComposeUpSample, effects, file(EZERSF_STREAK_MAX_INTENSITY), file(EZERSF_STREAK_DRAW)) &&
		Glow.load(&DownSampleBlur, &GaussianBlur, &ComposeUpSample, &LightStreak, glowTargets, glowTargets + 3,
			glowTargets + 5, glowTargets + 7, glowTargets + 9, glowTargets + 11, effects, file(EZERSF_GLOW_ALPHA_MUL)) &&
		Dof.load(effects, file(EZERSF_DOF_COC_ARTIST), file(EZERSF_DOF_COC_PHYSICAL), file(EZERSF_DOF)) &&
		Gamma.load(effects, file(EZERSF_GAMMA), nullptr);
}

u32 CZeRendererCtxAdv::setPostEffects(const core::array<IZeEffect*>& effects)
{
	return PostChain.setEffects(effects);
}

void CZeRendererCtxAdv::setPostParameters()
{
	if (SemanticMap)
	{
		const SZeRenderSettings& s = Settings;
		const f32 values[7] = {s.BloomEnable ? s.BloomSpecularMin : 2.0f, s.BloomEnable ? 1.0f - s.BloomCompose : 1.0f,
			s.FocalDistance, s.FStop, s.DofFocalRangeMin, s.DofFocalRangeFocused, s.DofFocalRangeMax};
		for (u32 i = 0; i < 7; ++i)
			SemanticMap->setSemanticFloat(SEMANTICS[i], values[i]);
	}
	LightBuffer->setShadowOverride(Settings.ShadowOverride, Settings.ShadowEpsilon);
	LightBuffer->setShowVolumes(Clear.Debug != 0);
}

void CZeRendererCtxAdv::resetShadowBinds()
{
	for (u32 i = 0; i < ShadowBinds.size(); ++i)
		ShadowBinds[i].Light = nullptr;
}
