// The advanced renderer context and the light pre-pass renderer on the NULL
// driver with recording fakes: creation and its failures, the loading order
// of the context's files, the post values, the material effect files, and the
// steps of a frame. Every recorded step goes into one trace as "<step> what",
// the step being the renderer's number of the step running (textures by
// name, "display" for the back buffer, "-" for none).
#include "ZeRenderRecorders.h"

#include "render/CZeRendererLpp.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace irr;
using namespace zetest;
using namespace zerec;

namespace
{
class RecordingRenderer : public CZeRendererLpp
{
public:
	RecordingRenderer(IrrlichtDevice* device, IZeManager* manager, CZeRendererCtxAdv* ctx, Recorder* r)
		: CZeRendererLpp(device, manager, ctx), R(r)
	{
		setStepHook([](void* user, u32 step) { static_cast<Recorder*>(user)->Step = step; }, r);
	}
	bool drawDebugTargets() override
	{
		R->log("thumbnails");
		return true;
	}

private:
	Recorder* R;
};

const char* const TARGETS[] = {"BackRTT[0]", "BackRTT[1]", "BackRTT[2]", "BackRTT[3]", "DepthRTT", "NormalRTT",
	"LightRTT", "HalfScreen[0]", "HalfScreen[1]", "HalfScreen[2]", "QuarterScreen[0]", "QuarterScreen[1]",
	"EighthScreen[0]", "EighthScreen[1]", "SixTeenthScreen[0]", "SixTeenthScreen[1]", "ThirtyTwothScreen[0]",
	"ThirtyTwothScreen[1]", "SixtyFourthScreen[0]", "SixtyFourthScreen[1]", "ShadowMap.256", "ShadowMap.512",
	"ShadowMap.512.1", "ShadowMap.1024"};

class LppLogic : public RecordingFixture
{
protected:
	void TearDown() override
	{
		if (Renderer)
			Renderer->drop();
		RecordingFixture::TearDown();
	}

	void addTargets(const std::string& missing = "")
	{
		for (const char* target : TARGETS)
			if (missing != target)
				Driver->addTexture(core::dimension2d<u32>(8, 8), target);
	}

	// The engine's file record with plain names.
	static SZeRendererShaderFiles files(bool antialias)
	{
		SZeRendererShaderFiles f;
		f.Antialias = antialias;
		for (u32 i = 0; i < EZERSF_COUNT; ++i)
			f.Files[i] = zeRendererShaderFileName(i);
		return f;
	}

	// A node with one material drawn by an effect writing `targets` targets, or by the library (null).
	scene::ISceneNode* node(FakeEffect* effect, u32 targets = 1)
	{
		scene::ISceneNode* n = Device->getSceneManager()->addCubeSceneNode();
		if (effect)
		{
			effect->setTargets(targets);
			Records.emplace_back();
			Records.back().Effect = effect;
			Records.back().Node = n;
			ze::setMaterialUserData(n->getMaterial(0), &Records.back());
		}
		return n;
	}

	// A recording renderer on a recording context, initialised.
	void makeRenderer()
	{
		addTargets();
		Ctx = new RecordingCtx(Device, Manager.get(), &R);
		Renderer = new RecordingRenderer(Device, Manager.get(), Ctx, &R);
		Ctx->drop();
		ASSERT_TRUE(Renderer->init(SZeRendererDesc()));
		Driver->addTexture(core::dimension2d<u32>(8, 8), "Target");
	}

	std::deque<SZeMaterialExt> Records;
	RecordingCtx* Ctx = nullptr;
	RecordingRenderer* Renderer = nullptr;
};
} // namespace

// ---- Creation -------------------------------------------------------------------------------------
TEST_F(LppLogic, AContextLoadsItsFilesInOrderOnceAndTheAntialiasingOnlyWhenAsked)
{
	addTargets();
	CZeRendererManager& renderers = Manager->Renderers;
	IZeRendererCtxAdv* plain = renderers.createRendererCtxAdv(files(false));
	ASSERT_TRUE(plain);
	std::vector<std::string> loaded;
	for (const FakeCreation& c : Manager->Effects.Calls)
		if (loaded.empty() || loaded.back() != c.File)
			loaded.push_back(c.File);
	EXPECT_EQ(loaded, (std::vector<std::string>{"LppLightPass.hlsl", "LppShadowDepth.hlsl", "VolumetricPointLight.hlsl",
		"VolumetricSpotLight.hlsl", "LppDepthClear.hlsl", "GaussianBlur.hlsl", "DownSampleBlur.hlsl",
		"ComposeUpSample.hlsl", "LightStreakMaxInt.hlsl", "LightStreakDraw.hlsl", "GlowAlphaMul.hlsl",
		"DofCocArtist.hlsl", "DofCocPhysical.hlsl", "Dof.hlsl", "Gamma.hlsl"}));
	CZeRendererCtxAdv* context = static_cast<CZeRendererCtxAdv*>(plain);
	EXPECT_FALSE(context->isAntialiasEnabled());
	EXPECT_FALSE(context->getSmaa()->isLoaded());
	// The four shadow maps in their order, free; the post semantics registered.
	ASSERT_EQ(context->getShadowBinds().size(), 4u);
	EXPECT_EQ(name(context->getShadowBinds()[2].ShadowMap), "ShadowMap.512.1");
	EXPECT_EQ(Manager->Effects.LastMap->Names, (std::vector<std::string>{"BloomSpecMin", "BloomThreshold",
		"FocalDistance", "FStop", "DofFocalRangeMin", "DofFocalRangeFocused", "DofFocalRangeMax"}));
	// A second init changes nothing.
	const size_t calls = Manager->Effects.Calls.size();
	EXPECT_FALSE(context->init(files(true)));
	EXPECT_EQ(Manager->Effects.Calls.size(), calls);
	EXPECT_EQ(context->getShadowBinds().size(), 4u);
	ASSERT_EQ(Manager->Effects.Binds.size(), 1u);
	plain->drop();
	EXPECT_TRUE(Manager->Effects.Binds.empty()) << "the semantic map leaves the binds with its context";

	Manager->Effects.Calls.clear();
	IZeRendererCtxAdv* full = renderers.createRendererCtxAdv(files(true));
	ASSERT_TRUE(full);
	context = static_cast<CZeRendererCtxAdv*>(full);
	EXPECT_TRUE(context->isAntialiasEnabled() && context->getSmaa()->isLoaded());
	std::vector<std::string> after;
	bool volumetricSeen = false;
	for (const FakeCreation& c : Manager->Effects.Calls)
	{
		volumetricSeen = volumetricSeen || c.File == "VolumetricSpotLight.hlsl";
		if (volumetricSeen && c.File != "VolumetricSpotLight.hlsl" && (after.empty() || after.back() != c.File))
			after.push_back(c.File);
	}
	ASSERT_GE(after.size(), 6u);
	EXPECT_EQ(std::vector<std::string>(after.begin(), after.begin() + 6),
		(std::vector<std::string>{"SMAA-1-LumaEdgeDetection.fx", "SMAA-2-BlendingWeightCalculation.fx",
			"SMAA-3-NeighborhoodBlending.fx", "Gamma.hlsl", "BlendAntialias.hlsl", "LppDepthClear.hlsl"}));
	full->drop();
}

TEST_F(LppLogic, AMissingTargetOrFileGivesItsMessageAndNoContextOrRenderer)
{
	struct SCase
	{
		const char* Missing;
		const char* Failing;
		bool NoMap;
		const char* RefusedSemantic;
		const char* Message;
	};
	const SCase cases[] = {
		{"QuarterScreen[1]", "", false, "", "CZeRendererCtxAdv failed to find textures for glow"},
		{"SixtyFourthScreen[1]", "", false, "", "CZeRendererCtxAdv failed to find textures for glow"},
		{"ShadowMap.512.1", "", false, "", "CZeRendererCtxAdv failed to allocate shadow map render targets"},
		{"", "", true, "", "CZeRendererCtxAdv failed to create BindSemanticMap"},
		{"", "", false, "FStop", "CZeRendererCtxAdv failed to create bind semantics"},
		{"", "LppLightPass", false, "", "CZeRenderLightBuffer: failed to load LppLightPass.hlsl"},
		{"", "LppShadowDepth", false, "", "CZeRenderLightShadowMap failed to load LppShadowDepth.hlsl"},
		{"", "VolumetricPoint", false, "", "CZeRenderLightVolumetric failed to load VolumetricPointLight.hlsl"},
		{"", "SMAA-2", false, "", "CZePostSMAA failed to load SMAA-2-BlendingWeightCalculation.fx"},
		{"", "BlendAntialias", false, "", "CZePostAntialias failed to load BlendAntialias.hlsl"},
		{"", "LppDepthClear", false, "", "CZePostEffect failed to load LppDepthClear.hlsl"},
		{"", "GlowAlphaMul", false, "", "CZePostGlow failed to load GlowAlphaMul.hlsl"},
		{"", "Gamma", false, "", "failed to load Gamma.hlsl"},
	};
	for (const SCase& c : cases)
	{
		SCOPED_TRACE(c.Message);
		Device->getVideoDriver()->removeAllTextures();
		addTargets(c.Missing);
		g_lines.clear();
		Manager->Effects.Failing = {c.Failing};
		if (!*c.Failing)
			Manager->Effects.Failing.clear();
		Manager->Effects.NoSemanticMaps = c.NoMap;
		Manager->Effects.RefusedSemantics.clear();
		if (*c.RefusedSemantic)
			Manager->Effects.RefusedSemantics.insert(c.RefusedSemantic);
		EXPECT_EQ(Manager->Renderers.createRendererCtxAdv(files(true)), nullptr);
		EXPECT_GE(linesWith(c.Message), 1);
		EXPECT_EQ(FakeEffectManager::Alive, 0) << "a failed context keeps no effect";
		EXPECT_TRUE(Manager->Effects.Binds.empty()) << "nor a semantic map among the binds";
	}

	// The renderer's twelve targets.
	Manager->Effects.Failing.clear();
	Manager->Effects.NoSemanticMaps = false;
	Manager->Effects.RefusedSemantics.clear();
	for (const char* missing : {"BackRTT[3]", "LightRTT", "QuarterScreen[1]"})
	{
		Device->getVideoDriver()->removeAllTextures();
		addTargets();
		IZeRendererCtxAdv* context = Manager->Renderers.createRendererCtxAdv(files(false));
		ASSERT_TRUE(context);
		Device->getVideoDriver()->removeTexture(Device->getVideoDriver()->findTexture(missing));
		g_lines.clear();
		EXPECT_EQ(Manager->Renderers.createRendererLpp(Device, Manager.get(), context, SZeRendererDesc()), nullptr)
			<< missing;
		EXPECT_EQ(linesWith("CZeRendererLpp failed to find render targets"), 1) << missing;
		EXPECT_EQ(context->getReferenceCount(), 1) << "the dropped renderer let go of its context";
		context->drop();
	}
}

TEST_F(LppLogic, InitOnceAndTheMaterialEffectFilesWithTheirMacro)
{
	makeRenderer();
	SZeRendererDesc other;
	other.FirstEffectFile = "Other.hlsl";
	EXPECT_FALSE(Renderer->init(other));
	EXPECT_EQ(Renderer->getEffectFile(0), "Lpp.hlsl");

	SZeMacro macros[3] = {{"keep", "me"}, {"keep", "me"}, {"keep", "me"}};
	core::stringc file = "unchanged";
	u32 count = 1;
	EXPECT_FALSE(Renderer->getMaterialEffect(file, macros, count, video::EMT_SOLID));
	EXPECT_EQ(linesWith("CZeRendererLpp::getMaterialEffect not enough space for macros"), 1);
	EXPECT_TRUE(file == "unchanged" && count == 1u && std::string(macros[0].Name) == "keep");
	struct SCase
	{
		video::E_MATERIAL_TYPE Type;
		const char* File;
	};
	for (const SCase& c : {SCase{video::EMT_SOLID, "Lpp.hlsl"}, SCase{video::EMT_TRANSPARENT_ADD_COLOR, "Forward.hlsl"},
			 SCase{video::EMT_TRANSPARENT_VERTEX_ALPHA, "Forward.hlsl"},
			 SCase{video::EMT_TRANSPARENT_REFLECTION_2_LAYER, "Lpp.hlsl"}, SCase{video::EMT_LIGHTMAP, "Lpp.hlsl"}})
	{
		count = 2;
		EXPECT_TRUE(Renderer->getMaterialEffect(file, macros, count, c.Type));
		EXPECT_EQ(file, c.File) << c.Type;
		EXPECT_TRUE(count == 1u && std::string(macros[0].Name) == "USE_OUTDEPTH" && !macros[0].Definition);
		EXPECT_TRUE(!macros[1].Name && !macros[1].Definition);
		EXPECT_EQ(std::string(macros[2].Name), "keep");
	}
}

// ---- A frame's steps ------------------------------------------------------------------------------
TEST_F(LppLogic, RenderBeforeInitDrawsNothing)
{
	Ctx = new RecordingCtx(Device, Manager.get(), &R);
	Renderer = new RecordingRenderer(Device, Manager.get(), Ctx, &R);
	Ctx->drop();
	EXPECT_FALSE(Renderer->render(nullptr));
	EXPECT_TRUE(R.Lines.empty());
}

TEST_F(LppLogic, EverySwitchOnRunsTheStepsInOrder)
{
	makeRenderer();
	FakeEffect* effect = static_cast<FakeEffect*>(Manager->Effects.createEffect("solid.hlsl", -1, nullptr, nullptr));
	Manager->Services.Solid.push_back(node(effect, 2));
	Manager->Services.Solid.push_back(node(nullptr));
	Manager->Services.Transparent.push_back(node(nullptr));
	Manager->Services.Lights.push_back(Device->getSceneManager()->addLightSceneNode());
	Manager->Services.Ext = Manager->Services.Solid;
	SZeRenderSettings& s = *Ctx->getRenderSettings();
	s.GlowEnable = s.StreakEnable = s.DofEnable = s.GammaEnable = true;
	s.GlowIntensity = 1.0f;
	s.GlowRadius = 20.0f;
	s.DofMode = 1.0f;
	s.DofRadiusScale = 3.0f;
	s.AntialiasLocation = 2;
	Ctx->AntialiasOn = true;
	Ctx->getClearColor()->Debug = 1;
	Manager->Renderers.Info.Cut = true;
	Ctx->Chain.Applies = true;

	ASSERT_TRUE(Renderer->render(nullptr));
	effect->drop();
	// The library's material drew its depth and normal through the renderer's
	// "depth" technique (fallback1 below) and is its own again.
	EXPECT_EQ(ze::getMaterialUserData(Manager->Services.Solid[1]->getMaterial(0)), nullptr);
	EXPECT_EQ(Manager->Services.Solid[1]->getMaterial(0).MaterialType, video::EMT_SOLID);
	const Trace expected = {"2 post values", "6 cut 1 20", "10 targets NormalRTT,DepthRTT", "10 depthclear",
		"11 targets NormalRTT,DepthRTT", "11 nodes solid depth n2 fallback1", "12 free shadow maps",
		"13 lights 1 casters 2>LightRTT", "14 chain lightpost LightRTT>LightRTT BackRTT[1] copy",
		"15 targets BackRTT[0],DepthRTT", "15 nodes solid - ztest n1", "15 targets BackRTT[0]",
		"15 nodes solid - ztest n0", "15 nodes solid - ztest forward n1",
		"16 chain solidpost BackRTT[0]>BackRTT[0] BackRTT[1] copy", "17 targets BackRTT[0],DepthRTT",
		"17 nodes transparent - nozwrite n0", "17 targets BackRTT[0]", "17 nodes transparent - nozwrite n0",
		"17 nodes transparent - nozwrite forward n1", "18 chain prepost BackRTT[0]>BackRTT[1] -",
		"19 volumetric >BackRTT[1]", "20 antialias BackRTT[1]>BackRTT[0] BackRTT[2] BackRTT[3] convert reset",
		"21 downsample BackRTT[0]>HalfScreen[2]", "22 targets BackRTT[0],DepthRTT", "22 nodes effects - nozwrite n0",
		"23 glow HalfScreen[2]>BackRTT[0] r20 i1 streaks",
		"24 dof artist BackRTT[0]>BackRTT[1] DepthRTT BackRTT[2] x3", "25 chain camera BackRTT[1]>BackRTT[0] - glow",
		"27 gamma BackRTT[0]>display", "30 thumbnails"};
	EXPECT_EQ(R.Lines, expected);
}

TEST_F(LppLogic, TheAntialiasingLastTakesTheGammaPictureToTheDisplay)
{
	makeRenderer();
	SZeRenderSettings& s = *Ctx->getRenderSettings();
	s.GammaEnable = true;
	s.DofEnable = true;  // physical
	Ctx->AntialiasOn = true;
	ASSERT_TRUE(Renderer->render(nullptr));
	const Trace tail(R.Lines.end() - 4, R.Lines.end());
	EXPECT_EQ(tail, (Trace{"24 dof physical BackRTT[0]>BackRTT[1] DepthRTT BackRTT[2]",
		"25 chain camera BackRTT[1]>BackRTT[0] -", "27 gamma BackRTT[1]>BackRTT[0]",
		"28 antialias BackRTT[0]>BackRTT[2] BackRTT[1] BackRTT[3] display"}));

	// Into a texture: the antialiasing writes there, not to the display.
	R.Lines.clear();
	video::ITexture* target = Driver->findTexture("Target");
	ASSERT_TRUE(Renderer->render(target));
	EXPECT_EQ(R.Lines.back(), "28 antialias BackRTT[0]>Target BackRTT[1] BackRTT[3]");
	// Without the antialiasing loaded, location 1 is not taken.
	Ctx->AntialiasOn = false;
	R.Lines.clear();
	ASSERT_TRUE(Renderer->render(target));
	EXPECT_EQ(R.Lines.back(), "27 gamma BackRTT[1]>Target");
}

TEST_F(LppLogic, EverySwitchOffCopiesTheFirstBackTargetIntoTheTarget)
{
	makeRenderer();
	ASSERT_TRUE(Renderer->render(nullptr));
	EXPECT_EQ(Trace(R.Lines.end() - 3, R.Lines.end()),
		(Trace{"25 chain camera BackRTT[0]>BackRTT[1] -", "28 targets display", "28 copy BackRTT[0]"}));
	R.Lines.clear();
	ASSERT_TRUE(Renderer->render(Driver->findTexture("Target")));
	EXPECT_EQ(Trace(R.Lines.end() - 2, R.Lines.end()), (Trace{"28 targets Target", "28 copy BackRTT[0]"}));
	for (const std::string& line : R.Lines)
		EXPECT_TRUE(line.find("gamma") == std::string::npos && line.find("antialias") == std::string::npos &&
			line.find("glow") == std::string::npos && line.find("dof") == std::string::npos)
			<< line;

	// Gamma without the antialiasing last writes straight into the target; no copy follows.
	Ctx->getRenderSettings()->GammaEnable = true;
	R.Lines.clear();
	ASSERT_TRUE(Renderer->render(Driver->findTexture("Target")));
	EXPECT_EQ(R.Lines.back(), "27 gamma BackRTT[0]>Target");
}

TEST_F(LppLogic, IntoATextureNoCameraCutAndNoThumbnailsAndNoJitterStep)
{
	makeRenderer();
	Ctx->getClearColor()->Debug = 1;
	Ctx->AntialiasOn = true;
	Ctx->getRenderSettings()->AntialiasLocation = 2;
	const u32 frames = zeGetLppFrameCounter();
	ASSERT_TRUE(Renderer->render(Driver->findTexture("Target")));
	EXPECT_EQ(zeGetLppFrameCounter(), frames);
	for (const std::string& line : R.Lines)
		EXPECT_TRUE(line.find("cut") == std::string::npos && line.find("thumbnails") == std::string::npos &&
			line.find("reset") == std::string::npos)
			<< line;
	// The back buffer asks, counts the frame and shows them.
	Manager->Renderers.Info.Cut = true;
	R.Lines.clear();
	ASSERT_TRUE(Renderer->render(nullptr));
	EXPECT_EQ(zeGetLppFrameCounter(), frames + 1);
	EXPECT_EQ(R.Lines[1], "6 cut 1 20");
	EXPECT_EQ(R.Lines.back(), "30 thumbnails");
}

// ---- Post values -----------------------------------------------------------------------------------
TEST_F(LppLogic, PostValuesReachTheSemanticsBloomOnlyWhileOn)
{
	addTargets();
	IZeRendererCtxAdv* made = Manager->Renderers.createRendererCtxAdv(files(false));
	ASSERT_TRUE(made);
	CZeRendererCtxAdv* context = static_cast<CZeRendererCtxAdv*>(made);
	FakeSemanticMap* map = Manager->Effects.LastMap;
	SZeRenderSettings& s = *context->getRenderSettings();
	s.BloomSpecularMin = 0.3f;
	s.BloomCompose = 0.25f;
	s.FocalDistance = 12.0f;
	s.FStop = 2.8f;
	s.DofFocalRangeMin = 4.0f;
	s.DofFocalRangeFocused = 6.0f;
	s.DofFocalRangeMax = 9.0f;
	context->setPostParameters();
	EXPECT_EQ(map->Values, (std::map<std::string, f32>{{"BloomSpecMin", 2.0f}, {"BloomThreshold", 1.0f},
		{"FocalDistance", 12.0f}, {"FStop", 2.8f}, {"DofFocalRangeMin", 4.0f}, {"DofFocalRangeFocused", 6.0f},
		{"DofFocalRangeMax", 9.0f}}));
	s.BloomEnable = true;
	context->setPostParameters();
	EXPECT_FLOAT_EQ(map->Values["BloomSpecMin"], 0.3f);
	EXPECT_FLOAT_EQ(map->Values["BloomThreshold"], 0.75f);

	// The post chain holds the effects it is given, and lets them go for the next list.
	IZeEffect* effect = Manager->Effects.createEffect("camera.hlsl", -1, nullptr, nullptr);
	core::array<IZeEffect*> list;
	list.push_back(effect);
	EXPECT_EQ(context->setPostEffects(list), 1u);
	EXPECT_EQ(effect->getReferenceCount(), 2);
	EXPECT_EQ(context->setPostEffects(core::array<IZeEffect*>()), 0u);
	EXPECT_EQ(effect->getReferenceCount(), 1);
	effect->drop();
	made->drop();
}
