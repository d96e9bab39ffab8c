// Post-processing logic on the NULL driver with recording fakes: jitter and
// blend factors, the temporal antialiasing's steps, loading the
// morphological antialiasing, the glow's levels and the streaks' passes, and
// the post chain's stages, ping-pong and references.
#include "effects/ZeFakeEffect.h"

#include "frame/ZeLog.h"
#include "render/CZePostAntialias.h"
#include "render/CZePostChain.h"
#include "render/CZePostGlow.h"
#include "render/CZePostSMAA.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

using namespace irr;
using namespace zetest;

namespace
{
std::vector<std::string> g_lines;
int linesWith(const std::string& text)
{
	int n = 0;
	for (const std::string& line : g_lines)
		n += line.find(text) != std::string::npos;
	return n;
}

// Every render-target change, screen quad and copy, with the target current then.
class RecordingServices : public IZeRenderServices
{
public:
	struct SCall
	{
		std::string What;  // "draw" or "copy"
		IZeEffect* Effect;
		video::ITexture* Input;
		video::ITexture* Target;  // null: the back buffer
	};
	std::vector<SCall> Calls;
	video::ITexture* Current = nullptr;

	bool setRenderTargets(video::ITexture* const* textures, u32 count) override
	{
		Current = textures && count ? textures[0] : nullptr;
		return true;
	}
	bool drawScreenQuad(IZeEffect* effect, u32, u32, video::ITexture* texture) override
	{
		Calls.push_back({"draw", effect, texture, Current});
		return true;
	}
	bool drawScreenQuadTextures(IZeEffect* effect, u32 technique, u32 pass, video::ITexture* const* textures,
		u32 count) override
	{
		return drawScreenQuad(effect, technique, pass, count ? textures[0] : nullptr);
	}
	bool copyTexture(video::ITexture* texture) override
	{
		Calls.push_back({"copy", nullptr, texture, Current});
		return true;
	}
	bool renderNodes(const core::array<scene::ISceneNode*>&, scene::E_SCENE_NODE_RENDER_PASS, const char*,
		video::SMaterial*, u32, u32, u32*) override
	{
		return false;
	}
	void getLightList(core::array<scene::ISceneNode*>&) override {}
	void getSolidNodeList(core::array<scene::ISceneNode*>&) override {}
	void getTransparentNodeList(core::array<scene::ISceneNode*>&) override {}
	void getTransparentEffectNodeList(core::array<scene::ISceneNode*>&) override {}
	void getVisibleNodes(core::array<scene::ISceneNode*>&) override {}
	void getVisibleExtNodes(core::array<scene::ISceneNode*>&) override {}
	void filterExtNodes(core::array<scene::ISceneNode*>&, const core::array<scene::ISceneNode*>&) override {}
	bool renderCubeMap(ze::ITextureCUBE*, video::ITexture*, const core::vector3df&, IZeRenderer*) override
	{
		return false;
	}
	bool clearCubeMap(ze::ITextureCUBE*) override { return false; }
	bool cubeToLatLong(ze::ITextureCUBE*, video::ITexture*) override { return false; }
};

// Loads a texture per file name on the NULL driver (or fails the names a
// test lists) and records the driver's creation flags at each load.
class RecordingTextures : public IZeTextureManager
{
public:
	explicit RecordingTextures(video::IVideoDriver* driver) : Driver(driver) {}
	struct SLoad
	{
		std::string Path;
		bool MipMaps, DriverMipMaps, DriverAlways32;
	};
	std::vector<SLoad> Loads;
	std::vector<std::string> Failing;

	video::ITexture* getTexture(const char* path, bool mipMaps) override
	{
		Loads.push_back({path, mipMaps, Driver->getTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS),
			Driver->getTextureCreationFlag(video::ETCF_ALWAYS_32_BIT)});
		for (const std::string& f : Failing)
			if (f == path)
				return nullptr;
		if (video::ITexture* t = Driver->findTexture(path))
			return t;
		return Driver->addTexture(core::dimension2d<u32>(4, 4), path);
	}
	video::ITexture* getTextureOfKind(const char*, ze::E_TEXTURE_KIND) override { return nullptr; }
	video::ITexture* getTextureAuto(const char*, bool) override { return nullptr; }
	video::ITexture* findTexture(const char*) override { return nullptr; }
	video::ITexture* getRenderTexture(const core::dimension2d<u32>&, ze::ECOLOR_FORMAT) override { return nullptr; }
	void setTextureFolder(const char*) override {}
	video::ITexture* createMeshVertexTexture(scene::IMesh*, const char*, bool, u32, bool) override { return nullptr; }

private:
	video::IVideoDriver* Driver;
};

// One drawing step of a post effect, with its effect's values at that time.
struct SPass
{
	std::string Effect, Kind;  // Kind: "draw", "compose", "blurH", "blurV"
	video::ITexture* Target;
	video::ITexture* Input;
	f32 Radius, Intensity;
	std::map<std::string, std::vector<f32>> Values;

	bool is(const char* effect, const char* kind, video::ITexture* target, video::ITexture* input) const
	{
		return Effect == effect && Kind == kind && Target == target && Input == input;
	}
};

class RecordingPostEffect : public CZePostEffect
{
public:
	RecordingPostEffect(const char* name, std::vector<SPass>* log) : Name(name), Log(log) {}

	bool render(video::IVideoDriver*, video::ITexture* target, video::ITexture* texture0, video::ITexture*) override
	{
		record("draw", target, texture0, 0, 0);
		return true;
	}
	bool renderCompose(video::IVideoDriver*, video::ITexture* target, video::ITexture* texture, f32 intensity) override
	{
		record("compose", target, texture, 0, intensity);
		return true;
	}
	bool renderBlur(video::IVideoDriver*, video::ITexture* target, video::ITexture* texture, bool horizontal,
		f32 radius, f32 intensity) override
	{
		record(horizontal ? "blurH" : "blurV", target, texture, radius, intensity);
		return true;
	}

private:
	void record(const char* kind, video::ITexture* target, video::ITexture* input, f32 radius, f32 intensity)
	{
		const FakeEffect* fake = dynamic_cast<const FakeEffect*>(getEffect());
		Log->push_back({Name, kind, target, input, radius, intensity, fake ? fake->Values : decltype(fake->Values)()});
	}

	std::string Name;
	std::vector<SPass>* Log;
};

class PostLogic : public ::testing::Test
{
protected:
	void SetUp() override
	{
		SIrrlichtCreationParameters params;
		params.DriverType = video::EDT_NULL;
		params.LoggingLevel = ELL_NONE;
		Device = createDeviceEx(params);
		ASSERT_TRUE(Device);
		Driver = Device->getVideoDriver();
		g_lines.clear();
		zeSetLogSink([](const char* line) { g_lines.push_back(line); });
		AliveBefore = FakeEffectManager::Alive;
	}
	// After the members of a derived fixture, which may hold effects and textures.
	~PostLogic() override
	{
		for (FakeEffect* e : Made)
			e->drop();
		zeSetLogSink(nullptr);
		if (Device)
			Device->drop();
		EXPECT_EQ(FakeEffectManager::Alive, AliveBefore);
	}

	video::ITexture* texture(const char* name)
	{
		return Driver->addTexture(core::dimension2d<u32>(4, 4), name);
	}
	// A fake effect the test holds one reference to.
	FakeEffect* effect(const char* file, const std::vector<SZeFxParameter>& parameters = {})
	{
		Made.push_back(new FakeEffect(file, parameters, &FakeEffectManager::Alive));
		return Made.back();
	}

	IrrlichtDevice* Device = nullptr;
	video::IVideoDriver* Driver = nullptr;
	std::vector<FakeEffect*> Made;
	int AliveBefore = 0;
};
} // namespace

// ---- Jitter and blend factors ------------------------------------------------------------------
TEST_F(PostLogic, JitterOffsetsFollowTheTablesAndTheRandomGenerator)
{
	for (u32 frame = 0; frame < 4; ++frame)
	{
		EXPECT_EQ(zeJitterOffset(0, frame), core::vector3df(0, 0, 0));
		EXPECT_EQ(zeJitterOffset(1, frame), core::vector3df(0, 0, 0));
	}
	EXPECT_EQ(zeJitterOffset(2, 0), core::vector3df(-0.25f, 0.25f, 0));  // even frames
	EXPECT_EQ(zeJitterOffset(2, 7), core::vector3df(0.25f, -0.25f, 0));  // odd frames
	const f32 four[4][2] = {{-0.375f, 0.125f}, {0.375f, -0.125f}, {0.125f, 0.375f}, {-0.125f, -0.375f}};
	for (u32 frame = 0; frame < 8; ++frame)
		EXPECT_EQ(zeJitterOffset(4, frame), core::vector3df(four[frame % 4][0], four[frame % 4][1], 0)) << frame;
	EXPECT_EQ(zeJitterOffset(8, 0), core::vector3df(0.0804022f, -0.201951f, 0));
	EXPECT_EQ(zeJitterOffset(8, 3), core::vector3df(-0.201951f, -0.319598f, 0));
	EXPECT_EQ(zeJitterOffset(8, 15), core::vector3df(0.441186f, -0.441166f, 0));

	// The generator of seed 0 gives 38, 7719, 21238, 2437: y from the first
	// of each two, x from the second.
	zeResetJitterRandom();
	const core::vector3df first = zeJitterOffset(3, 0);
	const core::vector3df second = zeJitterOffset(10000000, 0);
	EXPECT_FLOAT_EQ(first.X, 7719 / 32767.0f - 0.5f);
	EXPECT_FLOAT_EQ(first.Y, 38 / 32767.0f - 0.5f);
	EXPECT_FLOAT_EQ(second.X, 2437 / 32767.0f - 0.5f);
	EXPECT_FLOAT_EQ(second.Y, 21238 / 32767.0f - 0.5f);
	EXPECT_EQ(first.Z, 0.0f);
	zeResetJitterRandom();
	EXPECT_EQ(zeJitterOffset(5, 9), first);
}

TEST_F(PostLogic, JitterMatrixMovesByTheOffsetInClipSpace)
{
	CZePostAntialias antialias;
	antialias.Jitter = 2;  // 4 positions
	core::matrix4 m;
	antialias.getJitterMatrix(m, 1, 640, 480);
	core::matrix4 expected;
	expected.setTranslation(core::vector3df(0.375f * 2 / 640, -0.125f * 2 / 480, 0));
	EXPECT_TRUE(m.equals(expected, 1e-9f));
	antialias.Jitter = 0;
	antialias.getJitterMatrix(m, 1, 640, 480);
	EXPECT_TRUE(m.isIdentity());
	antialias.Jitter = 3;
	antialias.getJitterMatrix(m, 4, 640, 480);
	EXPECT_FLOAT_EQ(m[12], -0.319598f * 2 / 640);
	EXPECT_FLOAT_EQ(m[13], 0.319618f * 2 / 480);
	antialias.Jitter = 9;  // random
	zeResetJitterRandom();
	antialias.getJitterMatrix(m, 0, 640, 480);
	EXPECT_FLOAT_EQ(m[12], (7719 / 32767.0f - 0.5f) * 2 / 640);
	EXPECT_FLOAT_EQ(m[13], (38 / 32767.0f - 0.5f) * 2 / 480);
}

TEST_F(PostLogic, BlendFactorsFollowTheWeightOrTheJitter)
{
	CZePostAntialias antialias;
	const f32 byJitter[5] = {1.0f, 1 / 2.0f, 1 / 4.0f, 1 / 8.0f, 1 / 128.0f};
	for (u32 jitter = 0; jitter < 5; ++jitter)
	{
		antialias.Jitter = jitter;
		EXPECT_FLOAT_EQ(antialias.getBlendFactor(false), byJitter[jitter]) << jitter;
		EXPECT_FLOAT_EQ(antialias.getBlendFactor(true), 1.0f);
	}
	antialias.Jitter = 1;
	const f32 byWeight[12] = {1 / 2.0f, 1, 1 / 2.0f, 1 / 4.0f, 1 / 8.0f, 1 / 16.0f, 1 / 32.0f, 1 / 64.0f, 1 / 128.0f,
		1 / 256.0f, 1 / 2.0f, 1 / 2.0f};
	for (u32 weight = 0; weight < 12; ++weight)
	{
		antialias.BlendingWeight = weight;
		EXPECT_FLOAT_EQ(antialias.getBlendFactor(false), byWeight[weight]) << weight;
	}
	antialias.Mode = 0;
	EXPECT_FALSE(antialias.isActive());
	antialias.Blending = 2;
	EXPECT_TRUE(antialias.isActive());
}

// ---- Temporal antialiasing ---------------------------------------------------------------------
TEST_F(PostLogic, AntialiasBlendsCopiesTheHistoryAndWarnsWhenNothingIsOn)
{
	FakeEffectManager effects;
	effects.Parameters = {fakeParameter("Blend", EZEFPT_FLOAT), fakeParameter("VLimit", EZEFPT_FLOAT),
		fakeParameter("CameraProjection", EZEFPT_MATRIX, 16), fakeParameter("CameraViewInverse", EZEFPT_MATRIX, 16)};
	CZePostAntialias antialias;
	ASSERT_TRUE(antialias.load(nullptr, &effects, "BlendAntialias.hlsl"));
	ASSERT_EQ(effects.Calls.size(), 3u);
	EXPECT_TRUE(effects.Calls[0].Macros.empty());
	EXPECT_EQ(effects.Calls[1].Macros, (std::vector<std::pair<std::string, std::string>>{{"USE_REPROJ_CAMERA", "1"}}));
	EXPECT_EQ(effects.Calls[2].Macros,
		(std::vector<std::pair<std::string, std::string>>{{"USE_REPROJ_CAMERA", "1"}, {"USE_VLIMIT", "1"}}));
	auto values = [](CZePostEffect& blend) -> std::map<std::string, std::vector<f32>>& {
		return static_cast<FakeEffect*>(blend.getEffect())->Values;
	};

	video::ITexture* work = texture("work");
	video::ITexture* source = texture("source");
	video::ITexture* blendWork = texture("blend");
	video::ITexture* history = texture("history");
	RecordingServices services;
	antialias.Mode = 0;
	antialias.Blending = 1;
	antialias.Jitter = 1;  // 2 positions: 1/2
	EXPECT_EQ(antialias.render(Driver, nullptr, &services, work, source, blendWork, history, false, false, false), work);
	EXPECT_EQ(values(antialias.getPlainBlend())["Blend"], std::vector<f32>{0.5f});
	ASSERT_EQ(services.Calls.size(), 1u);
	EXPECT_EQ(services.Calls[0].What, "copy");
	EXPECT_EQ(services.Calls[0].Input, work);
	EXPECT_EQ(services.Calls[0].Target, history);

	// A camera cut: the frame goes into the history without blending, and
	// to the display when asked.
	values(antialias.getPlainBlend()).clear();
	services.Calls.clear();
	EXPECT_EQ(antialias.render(Driver, nullptr, &services, work, source, blendWork, history, true, false, true), source);
	EXPECT_TRUE(values(antialias.getPlainBlend()).empty());
	ASSERT_EQ(services.Calls.size(), 2u);
	EXPECT_EQ(services.Calls[0].Input, source);
	EXPECT_EQ(services.Calls[0].Target, history);
	EXPECT_EQ(services.Calls[1].Input, source);
	EXPECT_EQ(services.Calls[1].Target, nullptr);

	// Reprojected, then limited.
	antialias.Blending = 2;
	antialias.BlendingWeight = 4;
	antialias.render(Driver, nullptr, &services, work, source, blendWork, history, false, false, false);
	EXPECT_EQ(values(antialias.getReprojectedBlend())["Blend"], std::vector<f32>{1 / 8.0f});
	EXPECT_EQ(values(antialias.getReprojectedBlend())["CameraProjection"].size(), 16u);
	EXPECT_TRUE(values(antialias.getLimitedBlend()).empty());
	antialias.ValueLimitEnable = true;
	antialias.ValueLimit = 0.25f;
	antialias.BlendingWeight = 5;
	antialias.render(Driver, nullptr, &services, work, source, blendWork, history, false, false, false);
	EXPECT_EQ(values(antialias.getLimitedBlend())["Blend"], std::vector<f32>{1 / 16.0f});
	EXPECT_EQ(values(antialias.getLimitedBlend())["VLimit"], std::vector<f32>{0.25f});
	EXPECT_EQ(values(antialias.getReprojectedBlend())["Blend"], std::vector<f32>{1 / 8.0f});

	// Nothing on: the source as it is, and a warning.
	antialias.Blending = 0;
	services.Calls.clear();
	EXPECT_EQ(linesWith("CZePostAntialias: nothing rendered"), 0);
	EXPECT_EQ(antialias.render(Driver, nullptr, &services, work, source, blendWork, history, true, false, false), source);
	EXPECT_EQ(linesWith("WARN"), 1);
	EXPECT_EQ(linesWith("CZePostAntialias: nothing rendered"), 1);
	EXPECT_TRUE(services.Calls.empty());

	CZePostAntialias failing;
	effects.Failing = {"NoBlend.hlsl"};
	EXPECT_FALSE(failing.load(nullptr, &effects, "NoBlend.hlsl"));
	EXPECT_EQ(linesWith("CZePostAntialias failed to load NoBlend.hlsl"), 1);
}

TEST_F(PostLogic, AntialiasWithTheMorphologicalPassBlendsIntoTheSource)
{
	FakeEffectManager effects;
	RecordingTextures textures(Driver);
	CZePostSMAA smaa;
	ASSERT_TRUE(smaa.load(Driver, &effects, &textures, "e.fx", "w.fx", "n.fx", "g.hlsl", "area.png", "search.png"));
	CZePostAntialias antialias;
	ASSERT_TRUE(antialias.load(&smaa, &effects, "BlendAntialias.hlsl"));
	video::ITexture* work = texture("work");
	video::ITexture* source = texture("source");
	video::ITexture* history = texture("history");
	RecordingServices services;
	antialias.Mode = 1;
	EXPECT_EQ(antialias.render(Driver, nullptr, &services, work, source, texture("b"), history, true, false, false), work);
	EXPECT_TRUE(services.Calls.empty());
	antialias.Blending = 1;
	antialias.Jitter = 1;  // blends by 1/2: into the source, as the work target holds the input
	EXPECT_EQ(antialias.render(Driver, nullptr, &services, work, source, texture("b2"), history, false, false, false),
		source);
	ASSERT_EQ(services.Calls.size(), 1u);
	EXPECT_EQ(services.Calls[0].Input, source);
	EXPECT_EQ(services.Calls[0].Target, history);
}

// ---- Morphological antialiasing ------------------------------------------------------------
TEST_F(PostLogic, SmaaLoadsOnceWithTheTexturesFlagsAndRestoresThemAfterAFailure)
{
	FakeEffectManager effects;
	RecordingTextures textures(Driver);
	CZePostSMAA smaa;
	for (bool mipMaps : {true, false})
	{
		// A failed load: the area texture is missing and one effect fails.
		SCOPED_TRACE(mipMaps);
		g_lines.clear();
		textures.Failing = {"AreaTexDX9.png"};
		effects.Failing = {"SMAA-2"};
		Driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, mipMaps);
		Driver->setTextureCreationFlag(video::ETCF_ALWAYS_32_BIT, !mipMaps);
		const int alive = FakeEffectManager::Alive;
		EXPECT_FALSE(smaa.load(Driver, &effects, &textures, "SMAA-1.fx", "SMAA-2.fx", "SMAA-3.fx", "Gamma.hlsl",
			"AreaTexDX9.png", "SearchTex.png"));
		EXPECT_FALSE(smaa.isLoaded());
		EXPECT_EQ(Driver->getTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS), mipMaps);
		EXPECT_EQ(Driver->getTextureCreationFlag(video::ETCF_ALWAYS_32_BIT), !mipMaps);
		ASSERT_EQ(textures.Loads.size(), 2u);
		for (const RecordingTextures::SLoad& load : textures.Loads)
		{
			EXPECT_FALSE(load.MipMaps);
			EXPECT_FALSE(load.DriverMipMaps);
			EXPECT_TRUE(load.DriverAlways32);
		}
		EXPECT_EQ(linesWith("CZePostSMAA failed to load AreaTexDX9.png"), 1);
		EXPECT_EQ(linesWith("CZePostSMAA failed to load SMAA-2.fx"), 1);
		EXPECT_EQ(linesWith("CZePostSMAA failed to load"), 2);
		EXPECT_EQ(FakeEffectManager::Alive, alive);  // the effects made are let go
		EXPECT_EQ(smaa.getEffect(CZePostSMAA::EP_EDGES), nullptr);
		textures.Loads.clear();
	}

	textures.Failing.clear();
	effects.Failing.clear();
	effects.Calls.clear();
	ASSERT_TRUE(smaa.load(Driver, &effects, &textures, "SMAA-1.fx", "SMAA-2.fx", "SMAA-3.fx", "Gamma.hlsl",
		"AreaTexDX9.png", "SearchTex.png"));
	EXPECT_TRUE(smaa.isLoaded());
	ASSERT_EQ(effects.Calls.size(), 4u);
	EXPECT_EQ(smaa.getEffect(CZePostSMAA::EP_GAMMA)->getReferenceCount(), 1);
	EXPECT_EQ(smaa.getAreaTexture()->getReferenceCount(), 2);  // the driver's and ours
	// The weights read the area table filtered and the search table not; all clamp.
	const video::SMaterial& weights = smaa.getMaterial(CZePostSMAA::EP_WEIGHTS);
	EXPECT_EQ(weights.TextureLayer[1].Texture, smaa.getAreaTexture());
	EXPECT_TRUE(weights.TextureLayer[1].BilinearFilter);
	EXPECT_EQ(weights.TextureLayer[2].Texture, smaa.getSearchTexture());
	EXPECT_FALSE(weights.TextureLayer[2].BilinearFilter);
	for (u32 pass = 0; pass < CZePostSMAA::EP_COUNT; ++pass)
	{
		const video::SMaterial& m = smaa.getMaterial(static_cast<CZePostSMAA::EPass>(pass));
		EXPECT_TRUE(m.TextureLayer[0].BilinearFilter);
		for (u32 layer = 0; layer < video::MATERIAL_MAX_TEXTURES; ++layer)
			EXPECT_EQ(m.TextureLayer[layer].TextureWrapU, video::ETC_CLAMP_TO_EDGE);
	}

	// A second load changes nothing.
	EXPECT_FALSE(smaa.load(Driver, &effects, &textures, "SMAA-1.fx", "SMAA-2.fx", "SMAA-3.fx", "Gamma.hlsl",
		"AreaTexDX9.png", "SearchTex.png"));
	EXPECT_EQ(effects.Calls.size(), 4u);
	EXPECT_TRUE(smaa.isLoaded());
}

// ---- Glow and streaks ----------------------------------------------------------------------------
namespace
{
class GlowLogic : public PostLogic
{
protected:
	void SetUp() override
	{
		PostLogic::SetUp();
		const char* names[13] = {"HalfScreen[0]", "HalfScreen[1]", "HalfScreen[2]", "QuarterScreen[0]",
			"QuarterScreen[1]", "EighthScreen[0]", "EighthScreen[1]", "SixTeenthScreen[0]", "SixTeenthScreen[1]",
			"ThirtyTwothScreen[0]", "ThirtyTwothScreen[1]", "SixtyFourthScreen[0]", "SixtyFourthScreen[1]"};
		for (u32 i = 0; i < 13; ++i)
			T[i] = texture(names[i]);
		Output = texture("output");
		Source = texture("source");
		ASSERT_TRUE(Glow.load(&Down, &Blur, &Compose, &Streak, T, T + 3, T + 5, T + 7, T + 9, T + 11, &Effects,
			"GlowAlphaMul.hlsl"));
		MaxIntensity.setEffect(effect("max", {fakeParameter("limitalpha", EZEFPT_FLOAT2, 2),
			fakeParameter("limitcolor", EZEFPT_FLOAT2, 2), fakeParameter("colorkey", EZEFPT_FLOAT3, 3)}));
		Draw.setEffect(effect("draw", {fakeParameter("direction", EZEFPT_FLOAT2, 2),
			fakeParameter("colorize", EZEFPT_FLOAT3, 3), fakeParameter("attenuation", EZEFPT_FLOAT),
			fakeParameter("passn", EZEFPT_FLOAT)}));
		Compose.setEffect(effect("compose"));
		Streak.ComposeEffect = &Compose;
		Streak.MaxIntensityEffect = &MaxIntensity;
		Streak.DrawEffect = &Draw;
	}
	enum
	{
		H0, H1, H2, Q0, Q1, E0, E1, S0, S1, T0, T1
	};
	std::vector<SPass> Log;
	RecordingPostEffect Down{"down", &Log}, Blur{"blur", &Log}, Compose{"compose", &Log};
	RecordingPostEffect MaxIntensity{"max", &Log}, Draw{"draw", &Log};
	SZeLightStreak Streak;
	FakeEffectManager Effects;
	CZePostGlow Glow;
	video::ITexture* T[13] = {};
	video::ITexture* Output = nullptr;
	video::ITexture* Source = nullptr;
};
} // namespace

TEST_F(GlowLogic, RadiusSixteenDrawsTheHalfAndQuarterLevelsOnly)
{
	Glow.render(Driver, Output, Source, 16.0f, 0.7f, false);
	const std::vector<SPass> expected = {
		{"down", "draw", T[Q1], T[H1], 0, 0, {}},
		{"blur", "blurH", T[Q0], T[Q1], 4, 1, {}},
		{"blur", "blurV", T[Q1], T[Q0], 4, 1, {}},
		{"blur", "blurH", T[H0], T[H1], 2, 1, {}},
		{"blur", "blurV", T[H1], T[H0], 2, 1, {}},
		{"compose", "compose", T[H1], T[Q1], 0, 1, {}},
		{"compose", "compose", Output, T[H1], 0, 0.7f, {}},
	};
	ASSERT_EQ(Log.size(), expected.size());
	for (size_t i = 0; i < Log.size(); ++i)
	{
		SCOPED_TRACE(i);
		EXPECT_TRUE(Log[i].is(expected[i].Effect.c_str(), expected[i].Kind.c_str(), expected[i].Target,
			expected[i].Input));
		EXPECT_FLOAT_EQ(Log[i].Radius, expected[i].Radius);
		EXPECT_FLOAT_EQ(Log[i].Intensity, expected[i].Intensity);
	}
}

TEST_F(GlowLogic, RadiusFortyAddsTheEighthSixteenthAndHalfWeightedThirtySecondLevels)
{
	// h = 2.5: w1 = 1, w2 = 1, w3 = 0.5.
	Glow.render(Driver, Output, Source, 40.0f, 1.0f, false);
	const std::vector<SPass> expected = {
		{"down", "draw", T[Q1], T[H1], 0, 0, {}},
		{"down", "draw", T[E1], T[Q1], 0, 0, {}},
		{"down", "draw", T[S1], T[E1], 0, 0, {}},
		{"down", "draw", T[T1], T[S1], 0, 0, {}},
		{"blur", "blurH", T[T0], T[T1], 80, 0.5f, {}},
		{"blur", "blurV", T[T1], T[T0], 80, 0.5f, {}},
		{"blur", "blurH", T[S0], T[S1], 40, 1, {}},
		{"blur", "blurV", T[S1], T[S0], 40, 1, {}},
		{"blur", "blurH", T[E0], T[E1], 20, 1, {}},
		{"blur", "blurV", T[E1], T[E0], 20, 1, {}},
		{"blur", "blurH", T[Q0], T[Q1], 10, 1, {}},
		{"blur", "blurV", T[Q1], T[Q0], 10, 1, {}},
		{"blur", "blurH", T[H0], T[H1], 5, 1, {}},
		{"blur", "blurV", T[H1], T[H0], 5, 1, {}},
		{"compose", "compose", T[S1], T[T1], 0, 1, {}},
		{"compose", "compose", T[E1], T[S1], 0, 1, {}},
		{"compose", "compose", T[Q1], T[E1], 0, 1, {}},
		{"compose", "compose", T[H1], T[Q1], 0, 1, {}},
		{"compose", "compose", Output, T[H1], 0, 1, {}},
	};
	ASSERT_EQ(Log.size(), expected.size());
	for (size_t i = 0; i < Log.size(); ++i)
	{
		SCOPED_TRACE(i);
		EXPECT_TRUE(Log[i].is(expected[i].Effect.c_str(), expected[i].Kind.c_str(), expected[i].Target,
			expected[i].Input));
		EXPECT_FLOAT_EQ(Log[i].Radius, expected[i].Radius);
		EXPECT_FLOAT_EQ(Log[i].Intensity, expected[i].Intensity);
	}
	// Just above 24 the sixteenth level joins faintly, the thirty-second not yet.
	Log.clear();
	Glow.render(Driver, Output, Source, 25.6f, 1.0f, false);
	int sixteenth = 0, thirtySecond = 0;
	for (const SPass& p : Log)
	{
		sixteenth += p.Target == T[S0] && p.Kind == "blurH" && std::fabs(p.Intensity - 0.1f) < 1e-5f;
		thirtySecond += p.Target == T[T0] || p.Target == T[T1];
	}
	EXPECT_EQ(sixteenth, 1);
	EXPECT_EQ(thirtySecond, 0);
}

TEST_F(GlowLogic, StreaksRunBeforeTheFinalAddOnlyWhenAsked)
{
	Glow.render(Driver, Output, Source, 16.0f, 1.0f, false);
	for (const SPass& p : Log)
		EXPECT_TRUE(p.Effect != "max" && p.Effect != "draw");
	Log.clear();
	Glow.render(Driver, Output, Source, 16.0f, 1.0f, true);
	ASSERT_EQ(Log.size(), 7u + 8u);
	EXPECT_TRUE(Log[6].is("max", "draw", T[Q1], Source));
	EXPECT_TRUE(Log[13].is("compose", "compose", T[H1], T[Q1]));  // the streaks onto the glow
	EXPECT_TRUE(Log[14].is("compose", "compose", Output, T[H1]));
}

TEST_F(GlowLogic, GlowOfTheHalfScreenItWritesNeverReadsAndWritesOneTexture)
{
	// Without a GPU copy (NULL driver) the glow is skipped.
	Glow.render(Driver, Output, T[H1], 40.0f, 1.0f, true);
	EXPECT_EQ(linesWith("ERROR"), 1);
	EXPECT_EQ(linesWith("CZePostGlow error: Half Source cannot be set to Texture Half [1]"), 1);
	for (const SPass& p : Log)
		EXPECT_NE(p.Target, p.Input);
	EXPECT_TRUE(Log.empty());
}

TEST_F(GlowLogic, StreakPassesAlternateAndCarryTheirValues)
{
	Streak.GlowMin = 0.99f;
	Streak.KeyMatch = 0.005f;
	Streak.ColorKey[0] = 1.0f;
	Streak.ColorKey[1] = 0.5f;
	Streak.ColorKey[2] = 0.25f;
	Streak.Angle = 30.0f;
	Streak.Attenuation = 0.4f;
	Streak.Compose = 2.5f;
	video::ITexture* glow = T[H1];
	video::ITexture* a = T[Q0];
	video::ITexture* b = T[Q1];
	Streak.render(Driver, glow, Source, a, b);
	ASSERT_EQ(Log.size(), 8u);
	EXPECT_TRUE(Log[0].is("max", "draw", b, Source));
	std::map<std::string, std::vector<f32>>& v = Log[0].Values;
	EXPECT_FLOAT_EQ(v["limitalpha"][0], 0.97f);
	EXPECT_FLOAT_EQ(v["limitalpha"][1], 1.0f);
	EXPECT_FLOAT_EQ(v["limitcolor"][0], 0.0f);
	EXPECT_FLOAT_EQ(v["limitcolor"][1], 0.015f);
	EXPECT_EQ(v["colorkey"], (std::vector<f32>{1.0f, 0.5f, 0.25f}));
	const f32 c = std::cos(30.0f * core::DEGTORAD), s = std::sin(30.0f * core::DEGTORAD);
	video::ITexture* const order[7] = {b, a, b, a, b, a, b};  // targets follow their inputs
	for (u32 i = 0; i < 6; ++i)
	{
		SCOPED_TRACE(i);
		const SPass& p = Log[1 + i];
		EXPECT_TRUE(p.is("draw", "draw", order[i + 1], order[i]));
		std::map<std::string, std::vector<f32>> values = p.Values;
		EXPECT_EQ(values["passn"], std::vector<f32>{static_cast<f32>(i % 3 + 1)});
		const f32 sign = i < 3 ? 1.0f : -1.0f;
		ASSERT_EQ(values["direction"].size(), 2u);
		EXPECT_FLOAT_EQ(values["direction"][0], sign * c);
		EXPECT_FLOAT_EQ(values["direction"][1], sign * s);
		EXPECT_FLOAT_EQ(values["attenuation"][0], 0.96f);
		EXPECT_EQ(values["colorize"], (std::vector<f32>{0.0f, 0.5f, 1.0f}));
	}
	EXPECT_TRUE(Log[7].is("compose", "compose", glow, b));
	EXPECT_FLOAT_EQ(Log[7].Intensity, 2.5f);

	// Loading: either pass failing fails, without a message.
	SZeLightStreak loaded;
	Effects.Failing = {"LightStreakDraw"};
	g_lines.clear();
	EXPECT_FALSE(loaded.load(&Compose, &Effects, "LightStreakMaxInt.hlsl", "LightStreakDraw.hlsl"));
	EXPECT_EQ(loaded.DrawEffect, nullptr);
	// Only the effect manager's and the post effect's own lines.
	EXPECT_EQ(g_lines.size(), 2u);
	EXPECT_EQ(linesWith("CZePostEffect failed to load LightStreakDraw.hlsl"), 1);
	Effects.Failing.clear();
	ASSERT_TRUE(loaded.load(&Compose, &Effects, "LightStreakMaxInt.hlsl", "LightStreakDraw.hlsl"));
	EXPECT_EQ(loaded.ComposeEffect, &Compose);
	EXPECT_TRUE(loaded.MaxIntensityEffect && loaded.DrawEffect->getEffect());
}

// ---- Post chain ------------------------------------------------------------------------------------
namespace
{
class ChainLogic : public PostLogic
{
protected:
	void SetUp() override
	{
		PostLogic::SetUp();
		Target = texture("BackRTT[0]");
		Second = texture("BackRTT[1]");
		Glow = texture("HalfScreen[1]");
		Side = texture("QuarterScreen[0]");
	}
	void use(std::initializer_list<IZeEffect*> effects)
	{
		core::array<IZeEffect*> list;
		for (IZeEffect* e : effects)
			list.push_back(e);
		Chain.setEffects(list);
		Services.Calls.clear();
	}
	// The draws as (effect, input, target).
	std::vector<std::tuple<IZeEffect*, video::ITexture*, video::ITexture*>> draws() const
	{
		std::vector<std::tuple<IZeEffect*, video::ITexture*, video::ITexture*>> out;
		for (const RecordingServices::SCall& c : Services.Calls)
			if (c.What == "draw")
				out.emplace_back(c.Effect, c.Input, c.Target);
		return out;
	}
	int copies() const
	{
		int n = 0;
		for (const RecordingServices::SCall& c : Services.Calls)
			n += c.What == "copy";
		return n;
	}

	RecordingServices Services;
	CZePostChain Chain;
	video::ITexture* Target = nullptr;
	video::ITexture* Second = nullptr;
	video::ITexture* Glow = nullptr;
	video::ITexture* Side = nullptr;
};
using Draw = std::tuple<IZeEffect*, video::ITexture*, video::ITexture*>;
} // namespace

TEST_F(ChainLogic, EffectsRunAtTheStageTheyNameAndOthersAreSkipped)
{
	FakeEffect* plain = effect("plain");
	FakeEffect* solid = effect("solid");
	solid->annotate("render", "solidpost");
	FakeEffect* light = effect("light");
	light->annotate("render", "lightpost");
	use({plain, solid, light});
	struct SCase
	{
		const char* Stage;
		IZeEffect* Runs;
	};
	for (const SCase& c : {SCase{nullptr, plain}, SCase{"solidpost", solid}, SCase{"lightpost", light},
			 SCase{"prepost", nullptr}})
	{
		SCOPED_TRACE(c.Stage ? c.Stage : "no stage");
		Services.Calls.clear();
		video::ITexture* result = Chain.render(Driver, &Services, Target, Target, Second, c.Stage, false, false);
		if (c.Runs)
		{
			EXPECT_EQ(draws(), (std::vector<Draw>{Draw{c.Runs, Target, Second}}));
			EXPECT_EQ(copies(), 1);  // back into the target
		}
		else
		{
			EXPECT_TRUE(Services.Calls.empty());
		}
		EXPECT_EQ(result, Target);
		EXPECT_EQ(Services.Current, Target);
	}
}

TEST_F(ChainLogic, EffectsPingPongAndTheResultIsCopiedBack)
{
	FakeEffect* a = effect("a");
	FakeEffect* b = effect("b");
	FakeEffect* c = effect("c");
	FakeEffect* skipped = effect("skipped");
	skipped->annotate("render", "prepost");
	use({a, b, skipped, c});
	EXPECT_EQ(Chain.render(Driver, &Services, Target, Target, Second, nullptr, false, false), Target);
	EXPECT_EQ(draws(), (std::vector<Draw>{{a, Target, Second}, {b, Second, Target}, {c, Target, Second}}));
	ASSERT_EQ(Services.Calls.size(), 4u);
	EXPECT_EQ(Services.Calls[3].What, "copy");
	EXPECT_EQ(Services.Calls[3].Input, Second);
	EXPECT_EQ(Services.Calls[3].Target, Target);

	// Two effects end in the target: nothing to copy.
	use({a, skipped, b});
	EXPECT_EQ(Chain.render(Driver, &Services, Target, Target, Second, nullptr, false, false), Target);
	EXPECT_EQ(draws(), (std::vector<Draw>{{a, Target, Second}, {b, Second, Target}}));
	EXPECT_EQ(copies(), 0);

	// From another source the target is the other texture; the result is
	// left where it is unless a copy is asked for.
	video::ITexture* source = texture("source");
	use({a});
	EXPECT_EQ(Chain.render(Driver, &Services, Target, source, Second, nullptr, false, false), Target);
	EXPECT_EQ(draws(), (std::vector<Draw>{{a, source, Target}}));
	use({a, b});
	EXPECT_EQ(Chain.render(Driver, &Services, Target, source, Second, nullptr, false, false), source);
	EXPECT_EQ(Services.Current, source);
	EXPECT_EQ(copies(), 0);
	use({a, b});
	EXPECT_EQ(Chain.render(Driver, &Services, Target, source, Second, nullptr, true, false), Target);
	EXPECT_EQ(copies(), 1);
	// To the display (no target): the second texture alternates with the source.
	use({a});
	EXPECT_EQ(Chain.render(Driver, &Services, nullptr, source, Second, nullptr, true, false), nullptr);
	EXPECT_EQ(draws(), (std::vector<Draw>{{a, source, Second}}));
	EXPECT_EQ(Services.Calls.back().Target, nullptr);
	// Without effects the source comes back untouched.
	use({});
	EXPECT_EQ(Chain.render(Driver, &Services, Target, source, Second, nullptr, true, false), source);
	EXPECT_TRUE(Services.Calls.empty());
}

TEST_F(ChainLogic, WithoutASecondTextureTheChainReportsAndLeavesTheSource)
{
	use({effect("a")});
	EXPECT_EQ(Chain.render(Driver, &Services, Target, Target, nullptr, nullptr, false, false), Target);
	EXPECT_EQ(Chain.render(Driver, &Services, nullptr, Target, nullptr, nullptr, false, false), Target);
	EXPECT_EQ(linesWith("ERROR"), 2);
	EXPECT_EQ(linesWith("CZePostChain: cannot set second flipflop texture"), 2);
	EXPECT_TRUE(Services.Calls.empty());
}

TEST_F(ChainLogic, EffectsReadingTheGlowRunOnlyWhenThereIsOne)
{
	FakeEffect* glowing = effect("glowing", {fakeParameter("GlowRTT", EZEFPT_SAMPLER)});
	use({glowing});
	Chain.render(Driver, &Services, Target, Target, Second, nullptr, false, false);
	EXPECT_TRUE(draws().empty());
	EXPECT_EQ(glowing->TextureSets, 0);
	Chain.render(Driver, &Services, Target, Target, Second, nullptr, false, true);
	EXPECT_EQ(draws(), (std::vector<Draw>{{glowing, Target, Second}}));
	EXPECT_EQ(glowing->Textures["GlowRTT"], Glow);
}

TEST_F(ChainLogic, ARedirectedEffectLeavesThePairWhereItWas)
{
	FakeEffect* a = effect("a");
	FakeEffect* side = effect("side");
	side->annotate("rendertarget", "QuarterScreen[0]");
	FakeEffect* nowhere = effect("nowhere");
	nowhere->annotate("rendertarget", "NoSuchTexture");
	FakeEffect* b = effect("b");
	use({a, side, b});
	EXPECT_EQ(Chain.render(Driver, &Services, Target, Target, Second, nullptr, false, false), Target);
	// b reads what a wrote, and ends in the target.
	EXPECT_EQ(draws(), (std::vector<Draw>{{a, Target, Second}, {side, Second, Side}, {b, Second, Target}}));
	EXPECT_EQ(copies(), 0);
	// The copy back takes what was last written into the pair.
	use({a, side});
	EXPECT_EQ(Chain.render(Driver, &Services, Target, Target, Second, nullptr, false, false), Target);
	ASSERT_EQ(copies(), 1);
	EXPECT_EQ(Services.Calls.back().Input, Second);
	// A target that does not exist: drawn into the pair as usual.
	use({nowhere, b});
	Chain.render(Driver, &Services, Target, Target, Second, nullptr, false, false);
	EXPECT_EQ(draws(), (std::vector<Draw>{{nowhere, Target, Second}, {b, Second, Target}}));
}

TEST_F(ChainLogic, EffectsInTheOldAndTheNewListLiveOn)
{
	FakeEffect* a = effect("a");
	FakeEffect* b = effect("b");
	FakeEffect* c = effect("c");
	use({a, b});
	EXPECT_EQ(a->getReferenceCount(), 2);
	EXPECT_EQ(b->getReferenceCount(), 2);
	// The chain alone holds b now.
	Made.erase(std::find(Made.begin(), Made.end(), b));
	b->drop();
	ASSERT_EQ(b->getReferenceCount(), 1);
	const int alive = FakeEffectManager::Alive;
	core::array<IZeEffect*> list;
	list.push_back(b);
	list.push_back(c);
	EXPECT_EQ(Chain.setEffects(list), 2u);
	EXPECT_EQ(FakeEffectManager::Alive, alive);
	EXPECT_EQ(b->getReferenceCount(), 1);
	EXPECT_EQ(a->getReferenceCount(), 1);
	EXPECT_EQ(c->getReferenceCount(), 2);
	ASSERT_EQ(Chain.getEffects().size(), 2u);
	EXPECT_EQ(Chain.getEffects()[0], b);
	// Setting the same list again changes nothing.
	list = Chain.getEffects();
	EXPECT_EQ(Chain.setEffects(list), 2u);
	EXPECT_EQ(b->getReferenceCount(), 1);
	EXPECT_EQ(Chain.setEffects(core::array<IZeEffect*>()), 0u);
	EXPECT_EQ(FakeEffectManager::Alive, alive - 1);
}
