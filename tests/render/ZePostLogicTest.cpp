// Post-processing logic on the NULL driver with recording fakes: jitter and
// blend factors, the temporal antialiasing's steps, loading the
// morphological antialiasing, the glow's levels and the streaks' passes, and
// the post chain's stages, ping-pong and references. Fakes write each step
// into one trace as "what input>target" (textures by name, "display" for the
// back buffer).
#include "effects/ZeFakeEffect.h"

#include "frame/ZeLog.h"
#include "render/CZePostAntialias.h"
#include "render/CZePostChain.h"
#include "render/CZePostGlow.h"
#include "render/CZePostSMAA.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace irr;
using namespace zetest;

namespace
{
using Trace = std::vector<std::string>;

std::vector<std::string> g_lines;
int linesWith(const std::string& text)
{
	int n = 0;
	for (const std::string& line : g_lines)
		n += line.find(text) != std::string::npos;
	return n;
}

std::string name(video::ITexture* t)
{
	return t ? t->getName().getPath().c_str() : "display";
}

std::string step(const std::string& what, video::ITexture* input, video::ITexture* target)
{
	return what + " " + name(input) + ">" + name(target);
}

// Screen quads and copies into the trace, with the target current then.
class RecordingServices : public IZeRenderServices
{
public:
	explicit RecordingServices(Trace* trace) : Log(trace) {}
	video::ITexture* Current = nullptr;

	bool setRenderTargets(video::ITexture* const* textures, u32 count) override
	{
		Current = textures && count ? textures[0] : nullptr;
		return true;
	}
	bool drawScreenQuad(IZeEffect* effect, u32, u32, video::ITexture* texture) override
	{
		Log->push_back(step(effect->getFileName(), texture, Current));
		return true;
	}
	bool drawScreenQuadTextures(IZeEffect* effect, u32 technique, u32 pass, video::ITexture* const* textures,
		u32 count) override
	{
		return drawScreenQuad(effect, technique, pass, count ? textures[0] : nullptr);
	}
	bool copyTexture(video::ITexture* texture) override
	{
		Log->push_back(step("copy", texture, Current));
		return true;
	}
	bool renderNodes(const core::array<scene::ISceneNode*>&, scene::E_SCENE_NODE_RENDER_PASS, const char*,
		const video::SOverrideMaterial*, u32, u32, u32*) override
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

private:
	Trace* Log;
};

// Loads a texture per file name on the NULL driver (or fails the names a
// test lists) and records the driver's creation flags at each load as
// "name mip-maps 32-bit".
class RecordingTextures : public IZeTextureManager
{
public:
	RecordingTextures(video::IVideoDriver* driver, Trace* trace) : Driver(driver), Log(trace) {}
	std::vector<std::string> Failing;

	video::ITexture* getTexture(const char* path, bool mipMaps) override
	{
		Log->push_back(std::string(path) + " " + std::to_string(mipMaps) + " " +
			std::to_string(Driver->getTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS)) + " " +
			std::to_string(Driver->getTextureCreationFlag(video::ETCF_ALWAYS_32_BIT)));
		if (std::find(Failing.begin(), Failing.end(), path) != Failing.end())
			return nullptr;
		video::ITexture* t = Driver->findTexture(path);
		return t ? t : Driver->addTexture(core::dimension2d<u32>(4, 4), path);
	}
	video::ITexture* getTextureOfKind(const char*, ze::E_TEXTURE_KIND) override { return nullptr; }
	video::ITexture* getTextureAuto(const char*, bool) override { return nullptr; }
	video::ITexture* findTexture(const char*) override { return nullptr; }
	video::ITexture* getCurlNoise3DTexture() override { return nullptr; }
	video::ITexture* getRenderTexture(const core::dimension2d<u32>&, ze::ECOLOR_FORMAT) override { return nullptr; }
	void setTextureFolder(const char*) override {}
	video::ITexture* createMeshVertexTexture(scene::IMesh*, const char*, bool, u32, bool) override { return nullptr; }

private:
	video::IVideoDriver* Driver;
	Trace* Log;
};

// Post effect steps into the trace: "name input>target", blurs with
// " H|V r<radius> i<intensity>", composes with " i<intensity>", and draws of
// an effect with "passn" with " p<passn> d<x>,<y>" of "direction".
class RecordingPostEffect : public CZePostEffect
{
public:
	RecordingPostEffect(const char* name, Trace* trace) : Name(name), Log(trace) {}

	bool render(video::IVideoDriver*, video::ITexture* target, video::ITexture* texture0, video::ITexture*) override
	{
		std::string extra;
		if (IZeEffect* e = getEffect())
			if (const SZeFxParameter* passn = e->getParameterByName("passn"))
			{
				f32 n = 0, d[2] = {};
				e->getFloatArray(passn, &n, 1);
				e->getFloatArray(e->getParameterByName("direction"), d, 2);
				extra = " p" + number(n) + " d" + number(d[0]) + "," + number(d[1]);
			}
		Log->push_back(step(Name, texture0, target) + extra);
		return true;
	}
	bool renderCompose(video::IVideoDriver*, video::ITexture* target, video::ITexture* texture, f32 intensity) override
	{
		Log->push_back(step(Name, texture, target) + " i" + number(intensity));
		return true;
	}
	bool renderBlur(video::IVideoDriver*, video::ITexture* target, video::ITexture* texture, bool horizontal,
		f32 radius, f32 intensity) override
	{
		Log->push_back(step(Name, texture, target) + (horizontal ? " H r" : " V r") + number(radius) + " i" +
			number(intensity));
		return true;
	}
	static std::string number(f32 v)
	{
		char text[32];
		snprintf(text, sizeof(text), "%g", std::fabs(v) < 1e-6f ? 0.0f : v);
		return text;
	}

private:
	std::string Name;
	Trace* Log;
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

	video::ITexture* texture(const char* name) { return Driver->addTexture(core::dimension2d<u32>(4, 4), name); }
	// A fake effect the test holds one reference to.
	FakeEffect* effect(const char* file, const std::vector<SZeFxParameter>& parameters = {})
	{
		Made.push_back(new FakeEffect(file, parameters, &FakeEffectManager::Alive));
		return Made.back();
	}
	// The trace so far, emptied.
	Trace take()
	{
		Trace t;
		t.swap(Log);
		return t;
	}

	IrrlichtDevice* Device = nullptr;
	video::IVideoDriver* Driver = nullptr;
	std::vector<FakeEffect*> Made;
	int AliveBefore = 0;
	Trace Log;
	RecordingServices Services{&Log};
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
	EXPECT_EQ(zeJitterOffset(8, 15), core::vector3df(0.441186f, -0.441166f, 0));

	// The generator of seed 0 gives 38, 7719, 21238, 2437: y from the first
	// of each two, x from the second.
	zeResetJitterRandom();
	EXPECT_EQ(zeJitterOffset(3, 0), core::vector3df(7719 / 32767.0f - 0.5f, 38 / 32767.0f - 0.5f, 0));
	EXPECT_EQ(zeJitterOffset(10000000, 0), core::vector3df(2437 / 32767.0f - 0.5f, 21238 / 32767.0f - 0.5f, 0));
}

TEST_F(PostLogic, JitterMatrixAndBlendFactors)
{
	CZePostAntialias antialias;
	antialias.Jitter = 2;  // 4 positions
	core::matrix4 m;
	antialias.getJitterMatrix(m, 1, 640, 480);
	core::matrix4 expected;
	expected.setTranslation(core::vector3df(0.375f * 2 / 640, -0.125f * 2 / 480, 0));
	EXPECT_TRUE(m.equals(expected, 1e-9f));
	antialias.Jitter = 9;  // random
	zeResetJitterRandom();
	antialias.getJitterMatrix(m, 0, 640, 480);
	EXPECT_FLOAT_EQ(m[12], (7719 / 32767.0f - 0.5f) * 2 / 640);

	const f32 byJitter[5] = {1.0f, 1 / 2.0f, 1 / 4.0f, 1 / 8.0f, 1 / 128.0f};
	for (u32 jitter = 0; jitter < 5; ++jitter)
	{
		antialias.Jitter = jitter;
		EXPECT_FLOAT_EQ(antialias.getBlendFactor(false), byJitter[jitter]) << jitter;
		EXPECT_FLOAT_EQ(antialias.getBlendFactor(true), 1.0f);
	}
	const f32 byWeight[11] = {1, 1 / 2.0f, 1 / 4.0f, 1 / 8.0f, 1 / 16.0f, 1 / 32.0f, 1 / 64.0f, 1 / 128.0f, 1 / 256.0f,
		1 / 2.0f, 1 / 2.0f};
	for (u32 weight = 1; weight < 12; ++weight)
	{
		antialias.BlendingWeight = weight;
		EXPECT_FLOAT_EQ(antialias.getBlendFactor(false), byWeight[weight - 1]) << weight;
	}
}

// ---- Temporal antialiasing ---------------------------------------------------------------------
TEST_F(PostLogic, AntialiasBlendsCopiesTheHistoryAndWarnsWhenNothingIsOn)
{
	FakeEffectManager effects;
	effects.Parameters = {fakeParameter("Blend", EZEFPT_FLOAT), fakeParameter("VLimit", EZEFPT_FLOAT),
		fakeParameter("CameraProjection", EZEFPT_MATRIX, 16)};
	CZePostAntialias antialias;
	ASSERT_TRUE(antialias.load(nullptr, &effects, "BlendAntialias.hlsl"));
	ASSERT_EQ(effects.Calls.size(), 3u);
	EXPECT_TRUE(effects.Calls[0].Macros.empty());
	EXPECT_EQ(effects.Calls[2].Macros,
		(std::vector<std::pair<std::string, std::string>>{{"USE_REPROJ_CAMERA", "1"}, {"USE_VLIMIT", "1"}}));
	auto values = [](CZePostEffect& blend) -> std::map<std::string, std::vector<f32>>& {
		return static_cast<FakeEffect*>(blend.getEffect())->Values;
	};
	video::ITexture* work = texture("work");
	video::ITexture* source = texture("source");
	video::ITexture* history = texture("history");
	auto render = [&](bool toDisplay, bool reset) {
		return antialias.render(Driver, nullptr, &Services, work, source, texture("b"), history, toDisplay, false, reset);
	};
	antialias.Mode = 0;
	antialias.Blending = 1;
	antialias.Jitter = 1;  // 2 positions: 1/2
	EXPECT_EQ(render(false, false), work);
	EXPECT_EQ(values(antialias.getPlainBlend())["Blend"], std::vector<f32>{0.5f});
	EXPECT_EQ(take(), Trace{"copy work>history"});

	// A camera cut: the frame goes into the history unblended, and to the display.
	values(antialias.getPlainBlend()).clear();
	EXPECT_EQ(render(true, true), source);
	EXPECT_TRUE(values(antialias.getPlainBlend()).empty());
	EXPECT_EQ(take(), (Trace{"copy source>history", "copy source>display"}));

	// Reprojected, then limited.
	antialias.Blending = 2;
	antialias.BlendingWeight = 4;
	render(false, false);
	EXPECT_EQ(values(antialias.getReprojectedBlend())["Blend"], std::vector<f32>{1 / 8.0f});
	EXPECT_EQ(values(antialias.getReprojectedBlend())["CameraProjection"].size(), 16u);
	EXPECT_TRUE(values(antialias.getLimitedBlend()).empty());
	antialias.ValueLimitEnable = true;
	antialias.ValueLimit = 0.25f;
	render(false, false);
	EXPECT_EQ(values(antialias.getLimitedBlend())["Blend"], std::vector<f32>{1 / 8.0f});
	EXPECT_EQ(values(antialias.getLimitedBlend())["VLimit"], std::vector<f32>{0.25f});

	// Without a history the blend cannot run: the source as it is.
	take();
	EXPECT_EQ(antialias.render(Driver, nullptr, &Services, work, source, texture("b"), nullptr, false, false, false),
		source);
	EXPECT_EQ(linesWith("CZePostAntialias: no history texture"), 1);
	EXPECT_TRUE(take().empty());

	// No pass of its own (mode 3): the source as it is, onto the display when asked.
	antialias.Blending = 0;
	antialias.Mode = 3;
	take();
	EXPECT_EQ(render(false, false), source);
	EXPECT_TRUE(take().empty());
	EXPECT_EQ(render(true, false), source);
	EXPECT_EQ(take(), Trace{"copy source>display"});
	// Nothing on: a warning as well.
	antialias.Mode = 0;
	EXPECT_FALSE(antialias.isActive());
	EXPECT_EQ(render(true, false), source);
	EXPECT_EQ(linesWith("WARN : CZePostAntialias: nothing rendered"), 1);
	EXPECT_EQ(take(), Trace{"copy source>display"});

	CZePostAntialias failing;
	effects.Failing = {"NoBlend.hlsl"};
	EXPECT_FALSE(failing.load(nullptr, &effects, "NoBlend.hlsl"));
	EXPECT_EQ(linesWith("CZePostAntialias failed to load NoBlend.hlsl"), 1);
}

// ---- Morphological antialiasing ------------------------------------------------------------
TEST_F(PostLogic, SmaaLoadsOnceWithTheTexturesFlagsAndRestoresThemAfterAFailure)
{
	FakeEffectManager effects;
	RecordingTextures textures(Driver, &Log);
	CZePostSMAA smaa;
	auto load = [&] {
		return smaa.load(Driver, &effects, &textures, "SMAA-1.fx", "SMAA-2.fx", "SMAA-3.fx", "Gamma.hlsl",
			"AreaTexDX9.png", "SearchTex.png");
	};
	for (bool mipMaps : {true, false})
	{
		// The area texture is missing and one effect fails.
		SCOPED_TRACE(mipMaps);
		g_lines.clear();
		textures.Failing = {"AreaTexDX9.png"};
		effects.Failing = {"SMAA-2"};
		Driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, mipMaps);
		Driver->setTextureCreationFlag(video::ETCF_ALWAYS_32_BIT, !mipMaps);
		const int alive = FakeEffectManager::Alive;
		EXPECT_FALSE(load());
		EXPECT_FALSE(smaa.isLoaded());
		EXPECT_EQ(Driver->getTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS), mipMaps);
		EXPECT_EQ(Driver->getTextureCreationFlag(video::ETCF_ALWAYS_32_BIT), !mipMaps);
		EXPECT_EQ(take(), (Trace{"AreaTexDX9.png 0 0 1", "SearchTex.png 0 0 1"}));
		EXPECT_EQ(linesWith("CZePostSMAA failed to load AreaTexDX9.png"), 1);
		EXPECT_EQ(linesWith("CZePostSMAA failed to load SMAA-2.fx"), 1);
		EXPECT_EQ(linesWith("CZePostSMAA failed to load"), 2);
		EXPECT_EQ(FakeEffectManager::Alive, alive);  // the effects made are let go
	}

	textures.Failing.clear();
	effects.Failing.clear();
	effects.Calls.clear();
	ASSERT_TRUE(load());
	EXPECT_EQ(effects.Calls.size(), 4u);
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
			EXPECT_EQ(m.TextureLayer[layer].TextureWrapV, video::ETC_CLAMP_TO_EDGE);
	}
	// A second load changes nothing.
	EXPECT_FALSE(load());
	EXPECT_EQ(effects.Calls.size(), 4u);
	EXPECT_TRUE(smaa.isLoaded());

	// With it the antialiasing works in the work target, then blends into the source.
	CZePostAntialias antialias;
	ASSERT_TRUE(antialias.load(&smaa, &effects, "BlendAntialias.hlsl"));
	video::ITexture* work = texture("work");
	video::ITexture* source = texture("source");
	take();
	EXPECT_EQ(antialias.render(Driver, nullptr, &Services, work, source, texture("b"), texture("h"), true, false, false),
		work);
	EXPECT_TRUE(take().empty());
	antialias.Blending = 1;
	antialias.Jitter = 1;
	EXPECT_EQ(antialias.render(Driver, nullptr, &Services, work, source, texture("b"), texture("h"), false, false,
		false), source);
	EXPECT_EQ(take(), Trace{"copy source>h"});
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
		const char* names[13] = {"H0", "H1", "H2", "Q0", "Q1", "E0", "E1", "S0", "S1", "T0", "T1", "X0", "X1"};
		for (u32 i = 0; i < 13; ++i)
			T[i] = texture(names[i]);
		Output = texture("out");
		Source = texture("src");
		ASSERT_TRUE(Glow.load(&Down, &Blur, &Compose, &Streak, T, T + 3, T + 5, T + 7, T + 9, T + 11, &Effects,
			"GlowAlphaMul.hlsl"));
		MaxIntensity.setEffect(effect("max", {fakeParameter("limitalpha", EZEFPT_FLOAT2, 2),
			fakeParameter("limitcolor", EZEFPT_FLOAT2, 2), fakeParameter("colorkey", EZEFPT_FLOAT3, 3)}));
		Draw.setEffect(effect("draw", {fakeParameter("direction", EZEFPT_FLOAT2, 2),
			fakeParameter("colorize", EZEFPT_FLOAT3, 3), fakeParameter("attenuation", EZEFPT_FLOAT),
			fakeParameter("passn", EZEFPT_FLOAT)}));
		Streak.ComposeEffect = &Compose;
		Streak.MaxIntensityEffect = &MaxIntensity;
		Streak.DrawEffect = &Draw;
	}

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

TEST_F(GlowLogic, GlowLevelsFollowTheRadius)
{
	// Radius 16: the half and quarter levels only.
	Glow.render(Driver, Output, Source, 16.0f, 0.7f, false);
	EXPECT_EQ(take(), (Trace{"down H1>Q1", "blur Q1>Q0 H r4 i1", "blur Q0>Q1 V r4 i1", "blur H1>H0 H r2 i1",
		"blur H0>H1 V r2 i1", "compose Q1>H1 i1", "compose H1>out i0.7"}));
	// Radius 40 (h = 2.5): w1 = 1, w2 = 1, w3 = 0.5.
	Glow.render(Driver, Output, Source, 40.0f, 1.0f, false);
	EXPECT_EQ(take(), (Trace{"down H1>Q1", "down Q1>E1", "down E1>S1", "down S1>T1", "blur T1>T0 H r80 i0.5",
		"blur T0>T1 V r80 i0.5", "blur S1>S0 H r40 i1", "blur S0>S1 V r40 i1", "blur E1>E0 H r20 i1",
		"blur E0>E1 V r20 i1", "blur Q1>Q0 H r10 i1", "blur Q0>Q1 V r10 i1", "blur H1>H0 H r5 i1", "blur H0>H1 V r5 i1",
		"compose T1>S1 i1", "compose S1>E1 i1", "compose E1>Q1 i1", "compose Q1>H1 i1", "compose H1>out i1"}));
	// Just above 24 the sixteenth level joins faintly, the thirty-second not yet.
	Glow.render(Driver, Output, Source, 25.6f, 1.0f, false);
	const Trace t = take();
	EXPECT_EQ(std::count(t.begin(), t.end(), "blur S1>S0 H r25.6 i0.1"), 1);
	EXPECT_EQ(std::count(t.begin(), t.end(), "down S1>T1"), 0);
}

TEST_F(GlowLogic, StreaksJoinBeforeTheFinalAddOnlyWhenAsked)
{
	Glow.render(Driver, Output, Source, 16.0f, 1.0f, false);
	EXPECT_EQ(take().size(), 7u);
	Glow.render(Driver, Output, Source, 16.0f, 1.0f, true);
	const Trace t = take();
	ASSERT_EQ(t.size(), 7u + 8u);
	EXPECT_EQ(t[6], "max src>Q1");
	EXPECT_EQ(t[13], "compose Q1>H1 i1");  // the streaks onto the glow
	EXPECT_EQ(t[14], "compose H1>out i1");
}

TEST_F(GlowLogic, GlowOfTheHalfScreenItWritesNeverReadsAndWritesOneTexture)
{
	// Without a GPU copy (NULL driver) the glow is skipped.
	Glow.render(Driver, Output, T[1], 40.0f, 1.0f, true);
	EXPECT_EQ(linesWith("ERROR : CZePostGlow error: Half Source cannot be set to Texture Half [1]"), 1);
	EXPECT_TRUE(take().empty());
}

TEST_F(GlowLogic, StreakPassesAlternateAndCarryTheirValues)
{
	Streak.GlowMin = 0.99f;
	Streak.KeyMatch = 0.005f;
	Streak.ColorKey[1] = 0.5f;
	Streak.Angle = 30.0f;
	Streak.Attenuation = 0.4f;
	Streak.Compose = 2.5f;
	Streak.render(Driver, T[1], Source, T[3], T[4]);
	const std::string c = RecordingPostEffect::number(std::cos(30.0f * core::DEGTORAD));
	const std::string forth = " d" + c + ",0.5", back = " d-" + c + ",-0.5";
	EXPECT_EQ(take(), (Trace{"max src>Q1", "draw Q1>Q0 p1" + forth, "draw Q0>Q1 p2" + forth, "draw Q1>Q0 p3" + forth,
		"draw Q0>Q1 p1" + back, "draw Q1>Q0 p2" + back, "draw Q0>Q1 p3" + back, "compose Q1>H1 i2.5"}));
	std::map<std::string, std::vector<f32>>& maxValues = static_cast<FakeEffect*>(MaxIntensity.getEffect())->Values;
	EXPECT_EQ(maxValues["limitalpha"], (std::vector<f32>{0.99f - 0.02f, 1.0f}));
	EXPECT_EQ(maxValues["limitcolor"], (std::vector<f32>{0.0f, 0.005f + 0.01f}));
	EXPECT_EQ(maxValues["colorkey"], (std::vector<f32>{1.0f, 0.5f, 1.0f}));
	std::map<std::string, std::vector<f32>>& drawValues = static_cast<FakeEffect*>(Draw.getEffect())->Values;
	EXPECT_EQ(drawValues["attenuation"], std::vector<f32>{1.0f - 0.1f * 0.4f});
	EXPECT_EQ(drawValues["colorize"], (std::vector<f32>{0.0f, 0.5f, 1.0f}));

	// Loading: either pass failing fails, with no line of its own.
	SZeLightStreak loaded;
	Effects.Failing = {"LightStreakDraw"};
	g_lines.clear();
	EXPECT_FALSE(loaded.load(&Compose, &Effects, "LightStreakMaxInt.hlsl", "LightStreakDraw.hlsl"));
	EXPECT_EQ(loaded.DrawEffect, nullptr);
	EXPECT_EQ(g_lines.size(), 2u);  // the effect manager's and the post effect's
	Effects.Failing.clear();
	ASSERT_TRUE(loaded.load(&Compose, &Effects, "LightStreakMaxInt.hlsl", "LightStreakDraw.hlsl"));
	EXPECT_TRUE(loaded.ComposeEffect == &Compose && loaded.DrawEffect->getEffect());
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
		Target = texture("T");
		Second = texture("S");
		texture("HalfScreen[1]");
		texture("Side");
	}
	void use(std::initializer_list<IZeEffect*> effects)
	{
		core::array<IZeEffect*> list;
		for (IZeEffect* e : effects)
			list.push_back(e);
		Chain.setEffects(list);
		take();
	}
	Trace run(const char* stage = nullptr, bool glow = false)
	{
		EXPECT_EQ(Chain.render(Driver, &Services, Target, Target, Second, stage, false, glow), Target);
		EXPECT_EQ(Services.Current, Target);
		return take();
	}

	CZePostChain Chain;
	video::ITexture* Target = nullptr;
	video::ITexture* Second = nullptr;
};
} // namespace

TEST_F(ChainLogic, EffectsRunAtTheStageTheyNameAndOthersAreSkipped)
{
	FakeEffect* solid = effect("solid");
	solid->annotate("render", "solidpost");
	FakeEffect* light = effect("light");
	light->annotate("render", "lightpost");
	use({effect("plain"), solid, light});
	EXPECT_EQ(run(), (Trace{"plain T>S", "copy S>T"}));
	EXPECT_EQ(run("solidpost"), (Trace{"solid T>S", "copy S>T"}));
	EXPECT_EQ(run("lightpost"), (Trace{"light T>S", "copy S>T"}));
	EXPECT_TRUE(run("prepost").empty());
}

TEST_F(ChainLogic, EffectsPingPongAndTheResultIsCopiedBack)
{
	FakeEffect* a = effect("a");
	FakeEffect* b = effect("b");
	FakeEffect* skipped = effect("skipped");
	skipped->annotate("render", "prepost");
	use({a, b, skipped, effect("c")});
	EXPECT_EQ(run(), (Trace{"a T>S", "b S>T", "c T>S", "copy S>T"}));
	use({a, skipped, b});
	EXPECT_EQ(run(), (Trace{"a T>S", "b S>T"}));

	// From another source the target is the other texture; the result stays
	// where it is unless a copy is asked for.
	video::ITexture* source = texture("src");
	EXPECT_EQ(Chain.render(Driver, &Services, Target, source, Second, nullptr, false, false), source);
	EXPECT_EQ(take(), (Trace{"a src>T", "b T>src"}));
	EXPECT_EQ(Services.Current, source);
	EXPECT_EQ(Chain.render(Driver, &Services, Target, source, Second, nullptr, true, false), Target);
	EXPECT_EQ(take(), (Trace{"a src>T", "b T>src", "copy src>T"}));
	// To the display the second texture alternates with the source.
	use({a});
	EXPECT_EQ(Chain.render(Driver, &Services, nullptr, source, Second, nullptr, true, false), nullptr);
	EXPECT_EQ(take(), (Trace{"a src>S", "copy S>display"}));
	// Without effects the source comes back untouched.
	use({});
	EXPECT_EQ(Chain.render(Driver, &Services, Target, source, Second, nullptr, true, false), source);
	EXPECT_TRUE(take().empty());
}

TEST_F(ChainLogic, WithoutASecondTextureTheChainReportsAndLeavesTheSource)
{
	use({effect("a")});
	EXPECT_EQ(Chain.render(Driver, &Services, Target, Target, nullptr, nullptr, false, false), Target);
	EXPECT_EQ(Chain.render(Driver, &Services, nullptr, Target, nullptr, nullptr, false, false), Target);
	EXPECT_EQ(linesWith("ERROR : CZePostChain: cannot set second flipflop texture"), 2);
	EXPECT_TRUE(take().empty());
}

TEST_F(ChainLogic, EffectsReadingTheGlowRunOnlyWhenThereIsOne)
{
	FakeEffect* glowing = effect("glowing", {fakeParameter("GlowRTT", EZEFPT_SAMPLER)});
	use({glowing});
	EXPECT_TRUE(run(nullptr, false).empty());
	EXPECT_EQ(glowing->TextureSets, 0);
	EXPECT_EQ(run(nullptr, true), (Trace{"glowing T>S", "copy S>T"}));
	EXPECT_EQ(name(glowing->Textures["GlowRTT"]), "HalfScreen[1]");
}

TEST_F(ChainLogic, ARedirectedEffectLeavesThePairWhereItWas)
{
	FakeEffect* a = effect("a");
	FakeEffect* side = effect("side");
	side->annotate("rendertarget", "Side");
	FakeEffect* nowhere = effect("nowhere");
	nowhere->annotate("rendertarget", "NoSuchTexture");
	FakeEffect* b = effect("b");
	use({a, side, b});
	EXPECT_EQ(run(), (Trace{"a T>S", "side S>Side", "b S>T"}));  // b reads what a wrote
	use({a, side});
	EXPECT_EQ(run(), (Trace{"a T>S", "side S>Side", "copy S>T"}));
	// A target that does not exist: drawn into the pair as usual.
	use({nowhere, b});
	EXPECT_EQ(run(), (Trace{"nowhere T>S", "b S>T"}));
	// Redirected into what it reads: refused; into what the pair writes: the pair moves on.
	FakeEffect* own = effect("own");
	own->annotate("rendertarget", "S");
	use({a, own, b});
	EXPECT_EQ(run(), (Trace{"a T>S", "b S>T"}));
	EXPECT_EQ(linesWith("CZePostChain: effect own renders into S, which it reads"), 1);
	use({own, b});
	EXPECT_EQ(run(), (Trace{"own T>S", "b S>T"}));
}

TEST_F(ChainLogic, EffectsInTheOldAndTheNewListLiveOn)
{
	FakeEffect* a = effect("a");
	FakeEffect* b = effect("b");
	FakeEffect* c = effect("c");
	use({a, b});
	EXPECT_EQ(a->getReferenceCount(), 2);
	// The chain alone holds b now; handing it over again must not lose it.
	Made.erase(std::find(Made.begin(), Made.end(), b));
	b->drop();
	const int alive = FakeEffectManager::Alive;
	core::array<IZeEffect*> list;
	list.push_back(b);
	list.push_back(c);
	EXPECT_EQ(Chain.setEffects(list), 2u);
	EXPECT_EQ(FakeEffectManager::Alive, alive);
	EXPECT_EQ(b->getReferenceCount(), 1);
	EXPECT_EQ(a->getReferenceCount(), 1);
	EXPECT_EQ(c->getReferenceCount(), 2);
	EXPECT_EQ(Chain.getEffects()[0], b);
	list = Chain.getEffects();
	EXPECT_EQ(Chain.setEffects(list), 2u);
	EXPECT_EQ(b->getReferenceCount(), 1);
	EXPECT_EQ(Chain.setEffects(core::array<IZeEffect*>()), 0u);
	EXPECT_EQ(FakeEffectManager::Alive, alive - 1);
}
