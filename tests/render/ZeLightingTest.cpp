// The lighting objects on the NULL driver with a recording effect manager:
// which variants load with which macros and which one draws a light, the
// values it gets, the volume or full-screen choice, shadow-map bindings,
// light view-projections, and what a shadow render puts back.
#include "effects/ZeFakeEffect.h"

#include "libext/ZeMaterialExt.h"
#include "libext/ZeTextureExt.h"
#include "render/CZeRenderLightPass.h"
#include "render/CZeRenderLightVolumetric.h"
#include "render/CZeSceneManagerServiceExt.h"
#include "render/IZeLightSceneNodeExt.h"
#include "render/ZeLightVolumes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

using namespace irr;
using zetest::FakeEffect;

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

// Keeps the macros of every effect it makes ("USE_SPOTLIGHT USE_SHADOW
// USE_SH0"), and fails the effects whose macros name FailingMacro.
class Effects : public zetest::FakeEffectManager
{
public:
	IZeEffect* createEffect(const char* file, s32 base, const SZeMacro* macros, IZeEffectCallback* callback) override
	{
		std::string names;
		for (const SZeMacro* m = macros; m && m->Name; ++m)
			names += (names.empty() ? "" : " ") + std::string(m->Name);
		if (!FailingMacro.empty() && (" " + names + " ").find(" " + FailingMacro + " ") != std::string::npos)
			return nullptr;
		IZeEffect* effect = FakeEffectManager::createEffect(file, base, macros, callback);
		if (effect)
			Made.push_back({static_cast<FakeEffect*>(effect), names});
		return effect;
	}

	std::string macrosOf(const IZeEffect* effect) const
	{
		for (const auto& m : Made)
			if (m.first == effect)
				return m.second;
		return "?";
	}
	// The macros of the one effect that got a world-view-projection since the last call.
	std::string drawnBy()
	{
		std::string drawn = "none";
		for (auto& m : Made)
			if (m.first->Values.count("WorldViewProjection"))
				drawn = drawn == "none" ? m.second : "several";
		for (auto& m : Made)
			m.first->Values.clear();
		return drawn;
	}

	std::string FailingMacro;
	std::vector<std::pair<FakeEffect*, std::string>> Made;
};

// A texture that has only a size (the NULL driver's have none).
class SizedTexture : public video::ITexture
{
public:
	SizedTexture(u32 width, u32 height) : ITexture("sized"), Size(width, height) {}
	void* lock(video::E_TEXTURE_LOCK_MODE, u32) override { return nullptr; }
	void unlock() override {}
	const core::dimension2du& getOriginalSize() const override { return Size; }
	const core::dimension2du& getSize() const override { return Size; }
	video::E_DRIVER_TYPE getDriverType() const override { return video::EDT_NULL; }
	video::ECOLOR_FORMAT getColorFormat() const override { return video::ECF_R32F; }
	u32 getPitch() const override { return 0; }
	void regenerateMipMapLevels(void*) override {}

private:
	core::dimension2du Size;
};

::testing::AssertionResult nearMatrix(const std::vector<f32>& got, const core::matrix4& expected)
{
	for (u32 i = 0; i < 16; ++i)
		if (got.size() != 16 || std::fabs(got[i] - expected[i]) > 1e-3f * (1 + std::fabs(expected[i])))
			return ::testing::AssertionFailure() << "element " << i;
	return ::testing::AssertionSuccess();
}

bool finite(const core::matrix4& m)
{
	for (u32 i = 0; i < 16; ++i)
		if (!std::isfinite(m[i]))
			return false;
	return true;
}

class LightingLogic : public ::testing::Test
{
protected:
	void SetUp() override
	{
		g_lines.clear();
		zeSetLogSink([](const char* line) { g_lines.push_back(line); });
		Device = createDevice(video::EDT_NULL);
		Device->getLogger()->setLogLevel(ELL_NONE);
		Driver = Device->getVideoDriver();
		Smgr = Device->getSceneManager();
		Service = new CZeSceneManagerServiceExt(Device, nullptr);
		using zetest::fakeParameter;
		for (const char* m : {"WorldViewProjection", "ShadowWorldViewProj", "invConeTransform", "LightWorldViewProj"})
			Fx.Parameters.push_back(fakeParameter(m, EZEFPT_MATRIX, 16));
		for (const char* v : {"LightDirection", "LightPosition", "LightColor", "ShadowColor"})
			Fx.Parameters.push_back(fakeParameter(v, EZEFPT_FLOAT3, 3));
		for (const char* v : {"SpotlightAngles", "ShadowMapSize"})
			Fx.Parameters.push_back(fakeParameter(v, EZEFPT_FLOAT2, 2));
		for (const char* f : {"InvLightRadiusSqr", "ShadowMaxD", "ShadowEpsilon", "LightRadius", "LightPower",
			"IntensityClamp", "LightTanThetaSqr", "LightConeBase", "SoftEdgeRatio"})
			Fx.Parameters.push_back(fakeParameter(f, EZEFPT_FLOAT));
		Fx.Parameters.push_back(fakeParameter("ShadowMap", EZEFPT_SAMPLER));
		Camera = Smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, -50), core::vector3df(0, 0, 0));
	}

	void TearDown() override
	{
		delete Service;
		Device->drop();
		ze::removeAllTextures();
		ze::clearMaterialExts();
		zeSetLogSink(nullptr);
		EXPECT_EQ(zetest::FakeEffectManager::Alive, 0);
		for (video::ITexture* t : Textures)
			t->drop();
	}

	video::ITexture* texture(u32 width, u32 height)
	{
		Textures.push_back(new SizedTexture(width, height));
		return Textures.back();
	}
	// The pool of shadow maps the renderers use.
	core::array<SZeShadowTexBind> shadowBindings()
	{
		core::array<SZeShadowTexBind> bindings;
		for (u32 size : {256u, 512u, 512u, 1024u})
		{
			SZeShadowTexBind b;
			b.ShadowMap = texture(size, size);
			bindings.push_back(b);
		}
		return bindings;
	}

	scene::ILightSceneNode* light(video::E_LIGHT_TYPE type, const core::vector3df& position, f32 radius)
	{
		scene::ILightSceneNode* l = Smgr->addLightSceneNode(nullptr, position, video::SColorf(1, 0.5f, 0.25f), radius);
		l->setLightType(type);
		l->getLightData().Radius = radius;
		l->enableCastShadow(false);
		Service->getLightSceneNodeExt(l);
		return l;
	}
	SZeLightExtParams& params(scene::ISceneNode* light) { return zeFindLightSceneNodeExt(light)->getParams(); }

	// Animates and registers the scene and sets the camera's transforms.
	void frame() { Smgr->drawAll(); }

	f32 valueOf(const char* macros, const char* name, u32 i = 0)
	{
		for (const auto& m : Fx.Made)
			if (m.second == macros && m.first->Values.count(name))
				return m.first->Values[name][i];
		return std::numeric_limits<f32>::quiet_NaN();
	}

	IrrlichtDevice* Device = nullptr;
	video::IVideoDriver* Driver = nullptr;
	scene::ISceneManager* Smgr = nullptr;
	CZeSceneManagerServiceExt* Service = nullptr;
	scene::ICameraSceneNode* Camera = nullptr;
	Effects Fx;
	std::vector<video::ITexture*> Textures;
};
} // namespace

// ---- Light buffer --------------------------------------------------------------------------
TEST_F(LightingLogic, LightBufferLoadsTenVariantsAndPicksTheShadowSoftnessByFuzz)
{
	CZeRenderLightBuffer buffer(Device);
	ASSERT_TRUE(buffer.init(&Fx, "LppLightPass.hlsl"));
	const char* const loaded[] = {"USE_DISTANT", "USE_POINT", "USE_SPOTLIGHT", "USE_SPOTLIGHT USE_SHADOW USE_SH0",
		"USE_SPOTLIGHT USE_SHADOW USE_SH1", "USE_SPOTLIGHT USE_SHADOW USE_SH2", "USE_SPOTLIGHT USE_SHADOW USE_SH4",
		"USE_SPOTLIGHT USE_SHADOW USE_SH8", "USE_SPOTLIGHT USE_SHADOW USE_SH16", "USE_SPOTLIGHT USE_SHADOW USE_SH32"};
	ASSERT_EQ(Fx.Calls.size(), 10u);
	for (u32 i = 0; i < 10; ++i)
	{
		EXPECT_EQ(Fx.Made[i].second, loaded[i]);
		EXPECT_EQ(Fx.Calls[i].File, "LppLightPass.hlsl");
		EXPECT_EQ(Fx.Calls[i].BaseMaterialType, -1);
		for (const auto& macro : Fx.Calls[i].Macros)
			EXPECT_EQ(macro.second, "<none>") << macro.first;  // names only
	}

	const f32 nan = std::numeric_limits<f32>::quiet_NaN(), inf = std::numeric_limits<f32>::infinity();
	const struct { f32 Fuzz; const char* Softness; } classes[] = {{-1, "USE_SH0"}, {0, "USE_SH0"}, {0.5f, "USE_SH0"},
		{0.999f, "USE_SH0"}, {1, "USE_SH1"}, {1.999f, "USE_SH1"}, {2, "USE_SH2"}, {3.9f, "USE_SH2"}, {4, "USE_SH4"},
		{7.99f, "USE_SH4"}, {8, "USE_SH8"}, {16, "USE_SH16"}, {31.9f, "USE_SH16"}, {32, "USE_SH32"},
		{1000, "USE_SH32"}, {inf, "USE_SH32"}, {nan, "USE_SH32"}};
	for (const auto& c : classes)
		EXPECT_EQ(Fx.macrosOf(buffer.getEffect(video::ELT_SPOT, true, c.Fuzz)),
			std::string("USE_SPOTLIGHT USE_SHADOW ") + c.Softness) << c.Fuzz;
	EXPECT_EQ(Fx.macrosOf(buffer.getEffect(video::ELT_SPOT, false, 3)), "USE_SPOTLIGHT");
	EXPECT_EQ(Fx.macrosOf(buffer.getEffect(video::ELT_POINT, true, 3)), "USE_POINT");
	EXPECT_EQ(Fx.macrosOf(buffer.getEffect(video::ELT_DIRECTIONAL, true, 3)), "USE_DISTANT");
	EXPECT_EQ(buffer.getEffect(video::ELT_COUNT, false, 0), nullptr);
	EXPECT_EQ(linesWith("CZeRenderLightBuffer: wrong light type"), 1);
	EXPECT_FALSE(buffer.init(&Fx, "LppLightPass.hlsl"));  // once only
}

TEST_F(LightingLogic, FailedLoadsReleaseWhatWasLoaded)
{
	{
		CZeRenderLightBuffer buffer(Device);
		Fx.FailingMacro = "USE_SH4";
		EXPECT_FALSE(buffer.init(&Fx, "LppLightPass.hlsl"));
		EXPECT_EQ(linesWith("CZeRenderLightBuffer: failed to load LppLightPass.hlsl"), 1);
		EXPECT_EQ(zetest::FakeEffectManager::Alive, 0);
	}
	const struct { const char* FailingFile; const char* FailingMacro; const char* Message; } volumetric[] = {
		{"Point", "", "CZeRenderLightVolumetric failed to load VolumetricPointLight.hlsl"},
		{"Spot", "", "CZeRenderLightVolumetric failed to load VolumetricSpotLight.hlsl (standard)"},
		{"", "QUALITY_3", "CZeRenderLightVolumetric failed to load VolumetricSpotLight.hlsl (shadow and proj img)"}};
	for (const auto& v : volumetric)
	{
		g_lines.clear();
		Fx.Failing.clear();
		if (*v.FailingFile)
			Fx.Failing.push_back(v.FailingFile);
		Fx.FailingMacro = v.FailingMacro;
		CZeRenderLightVolumetric lights(Device);
		EXPECT_FALSE(lights.init(&Fx, "VolumetricSpotLight.hlsl", "VolumetricPointLight.hlsl"));
		EXPECT_EQ(linesWith(v.Message), 1) << v.Message;
		EXPECT_EQ(zetest::FakeEffectManager::Alive, 0) << v.Message;
	}
	Fx.Failing = {"Depth"};
	CZeRenderLightShadowMap shadowMaps(Device);
	EXPECT_FALSE(shadowMaps.init(&Fx, "LppShadowDepth.hlsl"));
	EXPECT_EQ(linesWith("CZeRenderLightShadowMap failed to load LppShadowDepth.hlsl"), 1);
	Fx.Failing.clear();
	ASSERT_TRUE(shadowMaps.init(&Fx, "LppShadowDepth.hlsl"));
	EXPECT_EQ(shadowMaps.getEffect()->getReferenceCount(), 1);  // the renderer's reference only
}

TEST_F(LightingLogic, LightBufferDrawsAVolumeFromOutsideAndTheFullScreenFromInside)
{
	CZeRenderLightBuffer buffer(Device);
	ASSERT_TRUE(buffer.init(&Fx, "LppLightPass.hlsl"));
	scene::ILightSceneNode* point = light(video::ELT_POINT, {0, 0, 0}, 42);
	scene::ILightSceneNode* spot = light(video::ELT_SPOT, {0, 0, 0}, 35);
	spot->getLightData().OuterCone = 30;
	spot->getLightData().InnerCone = 20;
	frame();
	const core::matrix4 viewProjection = Driver->getTransform(video::ETS_PROJECTION) * Driver->getTransform(video::ETS_VIEW);
	// The camera 50 units away with its near plane at 1: a sphere of 1.15 r
	// holds it from r = 42.6 on; a cone of 30 degrees from r = 35.7.
	struct { scene::ILightSceneNode* Light; f32 Radius; bool Volume; } cases[] = {
		{point, 42, true}, {point, 43, false}, {spot, 35, true}, {spot, 36, false}};
	for (const auto& c : cases)
	{
		c.Light->getLightData().Radius = c.Radius;
		buffer.beginFrame(Camera);
		buffer.resetStats();
		ASSERT_TRUE(buffer.renderLight(nullptr, c.Light, nullptr, core::matrix4(), 0, 0));
		EXPECT_EQ(buffer.getStats().FullScreenDraws, c.Volume ? 0u : 1u) << c.Radius;
		const bool isPoint = c.Light == point;
		core::matrix4 world;
		if (isPoint)
		{
			world.setScale(1.15f * c.Radius);
		}
		else
		{
			const f32 length = 1.15f * c.Radius;
			core::matrix4 scale;
			scale.setScale(core::vector3df(std::tan(33 * core::DEGTORAD) * length, std::tan(33 * core::DEGTORAD) * length, length));
			world = zeGetLightFrame(c.Light) * scale;
		}
		const char* macros = isPoint ? "USE_POINT" : "USE_SPOTLIGHT";
		const std::vector<f32> wvp = Fx.Made[isPoint ? 1 : 2].first->Values["WorldViewProjection"];
		EXPECT_TRUE(nearMatrix(wvp, c.Volume ? viewProjection * world : core::matrix4())) << c.Radius;
		EXPECT_FLOAT_EQ(valueOf(macros, "InvLightRadiusSqr"), 1 / (c.Radius * c.Radius));
		EXPECT_FLOAT_EQ(valueOf(macros, "LightColor", 1), 0.5f);
		if (!isPoint)
		{
			EXPECT_FLOAT_EQ(valueOf(macros, "SpotlightAngles", 0), std::cos(20 * core::DEGTORAD));
			EXPECT_FLOAT_EQ(valueOf(macros, "SpotlightAngles", 1), std::cos(30 * core::DEGTORAD));
		}
		EXPECT_EQ(Fx.drawnBy(), macros);
	}
	EXPECT_EQ(buffer.getStats().SpotLights, 1u);
}

TEST_F(LightingLogic, LightBufferSkipsBlackLightsLightsWithoutExtensionAndUnshadowedPoints)
{
	CZeRenderLightBuffer buffer(Device);
	ASSERT_TRUE(buffer.init(&Fx, "LppLightPass.hlsl"));
	video::ITexture* map = texture(64, 32);
	scene::ILightSceneNode* point = light(video::ELT_POINT, {0, 0, 0}, 10);
	point->enableCastShadow(true);
	scene::ILightSceneNode* bare = Smgr->addLightSceneNode(nullptr, {0, 0, 0}, video::SColorf(1, 1, 1), 10);
	frame();
	buffer.beginFrame(Camera);
	EXPECT_FALSE(buffer.renderLight(nullptr, bare, nullptr, core::matrix4(), 0, 0));
	// Only spot lights have shadows: the point light draws its plain variant.
	EXPECT_TRUE(buffer.renderLight(nullptr, point, map, core::matrix4(), 0, 100));
	EXPECT_EQ(Fx.Made[1].first->Values.count("ShadowMaxD"), 0u);
	EXPECT_EQ(Fx.drawnBy(), "USE_POINT");
	EXPECT_EQ(buffer.getStats().ShadowedLights, 0u);
	buffer.resetStats();
	point->getLightData().DiffuseColor = video::SColorf(0, 0, 0, 1);
	EXPECT_FALSE(buffer.renderLight(nullptr, point, nullptr, core::matrix4(), 0, 0));
	EXPECT_EQ(Fx.drawnBy(), "none");
	// A light of radius 0 reaches nothing: no infinite falloff, no empty volume;
	// one of infinite radius has no falloff and no volume either.
	point->getLightData().DiffuseColor = video::SColorf(1, 1, 1, 1);
	for (f32 radius : {0.0f, std::numeric_limits<f32>::infinity()})
	{
		point->getLightData().Radius = radius;
		EXPECT_FALSE(buffer.renderLight(nullptr, point, nullptr, core::matrix4(), 0, 0)) << radius;
		EXPECT_EQ(Fx.drawnBy(), "none");
	}
	const SZeLightBufferStats& stats = buffer.getStats();
	EXPECT_EQ(stats.PointLights + stats.SpotLights + stats.DirectionalLights + stats.ShadowedLights + stats.FullScreenDraws, 0u);
}

TEST_F(LightingLogic, ShadowedSpotGetsItsMapAndTheEpsilonScaledOrOverridden)
{
	CZeRenderLightBuffer buffer(Device);
	ASSERT_TRUE(buffer.init(&Fx, "LppLightPass.hlsl"));
	video::ITexture* map = texture(64, 32);
	scene::ILightSceneNode* spot = light(video::ELT_SPOT, {0, 0, 0}, 10);
	spot->enableCastShadow(true);
	SZeLightExtParams& p = params(spot);
	p.Intensity = 2;
	p.ShadowColor[0] = 0.25f;
	frame();
	buffer.beginFrame(Camera);
	core::matrix4 lightViewProjection;
	lightViewProjection.setTranslation(core::vector3df(1, 2, 3));
	const char* shadowed = "USE_SPOTLIGHT USE_SHADOW USE_SH0";
	const struct { bool Override; f32 OverrideEpsilon, OwnEpsilon, Used; } cases[] = {
		{false, 0, 5, 5e-5f}, {true, 2, 5, 2e-5f}, {false, 2, 7, 7e-5f}};
	for (const auto& c : cases)
	{
		buffer.setShadowOverride(c.Override, c.OverrideEpsilon);
		p.ShadowEpsilon = c.OwnEpsilon;
		ASSERT_TRUE(buffer.renderLight(nullptr, spot, map, lightViewProjection, 0.01f, 77));
		EXPECT_FLOAT_EQ(valueOf(shadowed, "ShadowEpsilon"), c.Used);
	}
	EXPECT_FLOAT_EQ(valueOf(shadowed, "ShadowMaxD"), 77);
	EXPECT_FLOAT_EQ(valueOf(shadowed, "ShadowColor"), 0.5f);
	EXPECT_FLOAT_EQ(valueOf(shadowed, "ShadowMapSize", 0), 64);
	EXPECT_FLOAT_EQ(valueOf(shadowed, "ShadowMapSize", 1), 32);
	core::matrix4 inverseView;
	Driver->getTransform(video::ETS_VIEW).getInverse(inverseView);
	EXPECT_TRUE(nearMatrix(Fx.Made[3].first->Values["ShadowWorldViewProj"], lightViewProjection * inverseView));
	EXPECT_EQ(Fx.Made[3].first->Textures["ShadowMap"], map);
	EXPECT_EQ(buffer.getStats().ShadowedLights, 3u);
	EXPECT_EQ(Fx.drawnBy(), shadowed);
	spot->enableCastShadow(false);
	ASSERT_TRUE(buffer.renderLight(nullptr, spot, map, lightViewProjection, 0.01f, 77));
	EXPECT_EQ(Fx.drawnBy(), "USE_SPOTLIGHT");
}

// ---- Light pass and shadow maps -------------------------------------------------------------
TEST_F(LightingLogic, ShadowBindingsBySizeAndVolumetricLightsKeepTheirMaps)
{
	EXPECT_EQ(CZeRenderLightPass::findShadowBinding(core::array<SZeShadowTexBind>(), 512), -1);
	core::array<SZeShadowTexBind> bindings = shadowBindings();
	const struct { u32 Size; s32 Binding; } sizes[] = {{100, 0}, {256, 0}, {512, 1}, {700, 2}, {1024, 3}, {4096, 3}};
	for (const auto& s : sizes)
		EXPECT_EQ(CZeRenderLightPass::findShadowBinding(bindings, s.Size), s.Binding) << s.Size;

	// Maps held by volumetric lights are passed over while another fits.
	scene::ILightSceneNode* volumetric[4];
	for (scene::ILightSceneNode*& v : volumetric)
	{
		v = light(video::ELT_SPOT, {0, 0, 0}, 10);
		params(v).Volumetric = true;
	}
	scene::ILightSceneNode* plain = light(video::ELT_SPOT, {0, 0, 0}, 10);
	bindings[1].Light = plain;
	EXPECT_EQ(CZeRenderLightPass::findShadowBinding(bindings, 512), 1);
	bindings[1].Light = volumetric[0];
	EXPECT_EQ(CZeRenderLightPass::findShadowBinding(bindings, 512), 2);
	bindings[2].Light = volumetric[1];
	EXPECT_EQ(CZeRenderLightPass::findShadowBinding(bindings, 512), 3);  // the last one is free
	bindings[3].Light = volumetric[2];
	EXPECT_EQ(CZeRenderLightPass::findShadowBinding(bindings, 512), 1);
	bindings[0].Light = volumetric[3];
	EXPECT_EQ(CZeRenderLightPass::findShadowBinding(bindings, 100), 0);  // every map held: the second scan
}

TEST_F(LightingLogic, LightPassGivesVolumetricSpotsTheirOwnMapsAndSkipsWhatItCannotLight)
{
	CZeRenderLightBuffer buffer(Device);
	CZeRenderLightShadowMap shadowMaps(Device);
	CZeRenderLightPass pass(Device);
	ASSERT_TRUE(buffer.init(&Fx, "LppLightPass.hlsl") && shadowMaps.init(&Fx, "LppShadowDepth.hlsl"));
	ASSERT_TRUE(pass.init(&buffer, &shadowMaps));
	core::array<SZeShadowTexBind> bindings = shadowBindings();
	// A caster ahead of four volumetric spots shining along +z.
	scene::IMeshSceneNode* caster = Smgr->addCubeSceneNode(2, nullptr, -1, core::vector3df(0, 0, 20));
	Service->getSceneNodeExt(caster)->setCastShadow(true);
	core::array<scene::ISceneNode*> lights, nodes;
	nodes.push_back(caster);
	for (u32 i = 0; i < 4; ++i)
	{
		scene::ILightSceneNode* spot = light(video::ELT_SPOT, {f32(i), 0, 0}, 50);
		spot->enableCastShadow(true);
		params(spot).Volumetric = true;
		lights.push_back(spot);
	}
	scene::ILightSceneNode* black = light(video::ELT_POINT, {0, 0, 0}, 10);
	black->getLightData().DiffuseColor = video::SColorf(0, 0, 0, 1);
	lights.push_back(black);
	scene::ILightSceneNode* bare = Smgr->addLightSceneNode(nullptr, {0, 0, 0}, video::SColorf(1, 1, 1), 10);
	bare->setLightType(video::ELT_SPOT);
	bare->enableCastShadow(true);
	lights.push_back(bare);  // without extension
	lights.push_back(caster);  // not a light
	frame();
	ASSERT_TRUE(pass.render(nullptr, lights, nodes, bindings));
	EXPECT_EQ(bindings[1].Light, lights[3]);  // the first spot's map, shared by the fourth (second scan)
	EXPECT_EQ(bindings[2].Light, lights[1]);
	EXPECT_EQ(bindings[3].Light, lights[2]);
	EXPECT_EQ(bindings[0].Light, nullptr);
	EXPECT_EQ(buffer.getStats().SpotLights, 4u);
	EXPECT_EQ(buffer.getStats().ShadowedLights, 4u);
	EXPECT_EQ(buffer.getStats().PointLights, 0u);

	// Without a caster in sight the spots light without shadow.
	caster->setPosition(core::vector3df(0, 0, -500));
	frame();
	for (u32 i = 0; i < bindings.size(); ++i)
		bindings[i].Light = nullptr;
	ASSERT_TRUE(pass.render(nullptr, lights, nodes, bindings));
	EXPECT_EQ(buffer.getStats().ShadowedLights, 0u);
	EXPECT_EQ(bindings[1].Light, nullptr);
}

TEST_F(LightingLogic, LightViewProjectionsAreFiniteAndLookAlongTheLight)
{
	// Straight up or down, lights above the origin: the rounding of the
	// rotation leaves the direction off the vertical by 4e-8 there.
	struct { video::E_LIGHT_TYPE Type; core::vector3df Position, Rotation; f32 Radius, Far; } cases[] = {
		{video::ELT_DIRECTIONAL, {1, 2, 3}, {30, 40, 0}, 100, 1}, {video::ELT_SPOT, {1, 2, 3}, {10, 20, 0}, 100, 100},
		{video::ELT_SPOT, {1, 2, 3}, {10, 20, 0}, 9000, 5000}, {video::ELT_POINT, {1, 2, 3}, {0, 0, 0}, 100, 5000},
		{video::ELT_SPOT, {0, 10, 0}, {90, 0, 0}, 100, 100}, {video::ELT_SPOT, {0, 10, 0}, {90, 0.001f, 0}, 100, 100},
		{video::ELT_SPOT, {0, 10, 0}, {-90, 0, 0}, 100, 100}, {video::ELT_SPOT, {1, 2, 3}, {90, 0, 0}, 100, 100}};
	for (const auto& c : cases)
	{
		SCOPED_TRACE(c.Rotation.X + c.Rotation.Y * 1000 + c.Radius + c.Position.X);
		scene::ILightSceneNode* l = light(c.Type, c.Position, c.Radius);
		l->setRotation(c.Rotation);
		l->getLightData().OuterCone = 30;
		l->updateAbsolutePosition();
		core::matrix4 view, projection;
		core::vector3df position;
		f32 nearValue = 0, farValue = 0;
		zeGetLightViewProjection(l, view, projection, position, nearValue, farValue);
		EXPECT_TRUE(finite(view) && finite(projection));
		EXPECT_EQ(position, c.Position);
		EXPECT_FLOAT_EQ(nearValue, 0.01f);
		EXPECT_FLOAT_EQ(farValue, c.Far);
		// One unit along the light's direction is straight ahead.
		core::vector3df direction(0, 0, 1);
		core::matrix4 rotation;
		rotation.setRotationDegrees(c.Rotation);
		rotation.rotateVect(direction);
		core::vector3df ahead = position + direction;
		view.transformVect(ahead);
		const f32 expectedDepth = c.Type == video::ELT_DIRECTIONAL ? 2.f : 1.f;  // looks from one unit behind
		EXPECT_NEAR(ahead.X, 0, 1e-5);
		EXPECT_NEAR(ahead.Y, 0, 1e-5);
		EXPECT_NEAR(ahead.Z, expectedDepth, 1e-5);
		EXPECT_EQ(projection[11], c.Type == video::ELT_DIRECTIONAL ? 0.f : 1.f);  // orthographic or perspective
		if (std::fabs(c.Rotation.X) == 90)
		{
			// Straight up or down the view keeps +z up the picture whatever the rounding.
			core::vector3df up(0, 0, 1);
			view.rotateVect(up);
			EXPECT_NEAR(up.Y, 1, 1e-5);
		}
	}

	// A light turned by its parent looks where its parent turns it.
	scene::ISceneNode* carrier = Smgr->addEmptySceneNode();
	carrier->setRotation(core::vector3df(0, 90, 0));
	carrier->setScale(core::vector3df(2, 2, 2));
	scene::ILightSceneNode* child = light(video::ELT_SPOT, {0, 0, 0}, 100);
	child->setParent(carrier);
	child->setRotation(core::vector3df(20, 0, 0));
	carrier->updateAbsolutePosition();
	child->updateAbsolutePosition();
	core::matrix4 view, projection;
	core::vector3df position;
	f32 nearValue = 0, farValue = 0;
	zeGetLightViewProjection(child, view, projection, position, nearValue, farValue);
	core::vector3df direction(0, 0, 1);
	child->getAbsoluteTransformation().rotateVect(direction);
	direction.normalize();
	core::vector3df ahead = position + direction;
	view.transformVect(ahead);
	EXPECT_NEAR(ahead.X, 0, 1e-5);
	EXPECT_NEAR(ahead.Y, 0, 1e-5);
	EXPECT_NEAR(ahead.Z, 1, 1e-5) << "one unit ahead, not scaled by the parent";
}

namespace
{
// A node of two materials that notes, while it draws, the effect and
// technique each material draws with and the driver's states.
class NotingNode : public scene::ISceneNode
{
public:
	NotingNode(scene::ISceneManager* smgr) : ISceneNode(smgr->getRootSceneNode(), smgr) {}
	void render() override
	{
		++Renders;
		for (u32 i = 0; i < 2; ++i)
		{
			const SZeMaterialExt* record = static_cast<const SZeMaterialExt*>(ze::getMaterialUserData(Materials[i]));
			Drawn[i] = {record ? record->Effect : nullptr, record ? record->Technique : -1};
		}
		video::IVideoDriver* driver = SceneManager->getVideoDriver();
		Override = driver->getOverrideMaterial();
	}
	const core::aabbox3df& getBoundingBox() const override { return Box; }
	u32 getMaterialCount() const override { return 2; }
	video::SMaterial& getMaterial(u32 i) override { return Materials[i]; }

	video::SMaterial Materials[2];
	core::aabbox3df Box{-1, -1, -1, 1, 1, 1};
	int Renders = 0;
	std::pair<IZeEffect*, s32> Drawn[2];
	video::SOverrideMaterial Override;
};

// An effect with a "shadow" technique.
class ShadowEffect : public FakeEffect
{
public:
	using FakeEffect::FakeEffect;
	s32 getTechniqueIndex(const char* name) const override { return std::string(name) == "shadow" ? 1 : -1; }
	const char* getTechniqueName(u32 technique) const override { return technique == 1 ? "shadow" : "main"; }
};
} // namespace

TEST_F(LightingLogic, ShadowRenderDrawsCastersThroughShadowTechniquesAndPutsEverythingBack)
{
	CZeRenderLightShadowMap shadowMaps(Device);
	ASSERT_TRUE(shadowMaps.init(&Fx, "LppShadowDepth.hlsl"));
	NotingNode* node = new NotingNode(Smgr);
	node->setPosition(core::vector3df(0, 0, 20));
	IZeSceneNodeExt* ext = Service->getSceneNodeExt(node);
	ext->setCastShadow(true);
	ShadowEffect* surface = new ShadowEffect("surface.hlsl", {}, &zetest::FakeEffectManager::Alive);
	ext->setMaterialEffect(0, surface, 0, 0);
	node->Materials[1].MaterialType = video::EMT_TRANSPARENT_ADD_COLOR;
	core::array<scene::ISceneNode*> nodes;
	nodes.push_back(node);
	scene::ILightSceneNode* spot = light(video::ELT_SPOT, {0, 0, 0}, 50);
	frame();

	// (The NULL driver keeps no transforms: the pixel tests see them put back.)
	video::SOverrideMaterial& overrides = Driver->getOverrideMaterial();
	overrides.Enabled = false;
	overrides.EnableFlags = 0x2;
	overrides.Material.Thickness = 3;
	core::matrix4 viewProjection;
	f32 nearValue = 0, farValue = 0;
	video::ITexture* map = texture(64, 64);
	ASSERT_TRUE(shadowMaps.render(map, spot, nodes, viewProjection, nearValue, farValue));

	EXPECT_EQ(node->Renders, 1);
	EXPECT_EQ(node->Drawn[0], std::make_pair(static_cast<IZeEffect*>(surface), 1));
	EXPECT_EQ(node->Drawn[1], std::make_pair(shadowMaps.getEffect(), 0));
	EXPECT_TRUE(node->Override.Enabled);
	EXPECT_EQ(node->Override.EnableFlags, 0x38u);
	EXPECT_EQ(node->Override.EnablePasses, scene::ESNRP_SOLID);
	EXPECT_TRUE(!node->Override.Material.Lighting && node->Override.Material.ZWriteEnable &&
		node->Override.Material.ZBuffer == video::ECFN_LESSEQUAL);
	core::matrix4 lightView, lightProjection;
	core::vector3df position;
	f32 n = 0, f = 0;
	zeGetLightViewProjection(spot, lightView, lightProjection, position, n, f);
	EXPECT_EQ(viewProjection, lightProjection * lightView);
	EXPECT_FLOAT_EQ(nearValue, 0.01f);
	EXPECT_FLOAT_EQ(farValue, 50);

	// Put back: the node's effects and the override material.
	EXPECT_EQ(ext->getMaterialEffect(0), surface);
	EXPECT_EQ(static_cast<const SZeMaterialExt*>(ze::getMaterialUserData(node->Materials[0]))->Technique, 0);
	EXPECT_EQ(ext->getMaterialEffect(1), nullptr);
	EXPECT_EQ(node->Materials[1].MaterialType, video::EMT_TRANSPARENT_ADD_COLOR)
		<< "a material without effect or surface gets its own states back";
	EXPECT_FALSE(overrides.Enabled);
	EXPECT_EQ(overrides.EnableFlags, 0x2u);
	EXPECT_EQ(overrides.Material.Thickness, 3.f);

	// A caster behind the light is out of its frustum: nothing is drawn.
	node->setPosition(core::vector3df(0, 0, -20));
	node->updateAbsolutePosition();
	EXPECT_FALSE(shadowMaps.render(map, spot, nodes, viewProjection, nearValue, farValue));
	EXPECT_EQ(node->Renders, 1);
	surface->drop();
	node->remove();
	node->drop();
}

// ---- Volumetric lights ------------------------------------------------------------------------
TEST_F(LightingLogic, VolumetricLoadsFourteenEffectsAndPicksTheSpotVariantByQuality)
{
	CZeRenderLightVolumetric volumetric(Device);
	ASSERT_TRUE(volumetric.init(&Fx, "VolumetricSpotLight.hlsl", "VolumetricPointLight.hlsl"));
	ASSERT_EQ(Fx.Calls.size(), 14u);
	EXPECT_EQ(Fx.Calls[0].File, "VolumetricPointLight.hlsl");
	EXPECT_TRUE(Fx.Calls[0].Macros.empty() && Fx.Calls[1].Macros.empty());
	EXPECT_EQ(Fx.Calls[1].File, "VolumetricSpotLight.hlsl");
	for (u32 i = 0; i < 12; ++i)
	{
		const std::string quality = "QUALITY_" + std::to_string(i / 3 + 1);
		const char* const kinds[] = {"USE_PROJIMAGE ", "USE_SHADOW ", "USE_SHADOW USE_PROJIMAGE "};
		EXPECT_EQ(Fx.Made[2 + i].second, kinds[i % 3] + quality);
		for (const auto& macro : Fx.Calls[2 + i].Macros)
			EXPECT_EQ(macro.second, "") << macro.first;  // defined, empty
	}
	EXPECT_EQ(volumetric.getEffect(false, false, 3), Fx.Made[1].first);
	for (u32 quality = 0; quality <= 9; ++quality)
	{
		const std::string level = "QUALITY_" + std::to_string(std::min(std::max(quality, 1u), 4u));
		EXPECT_EQ(Fx.macrosOf(volumetric.getEffect(false, true, quality)), "USE_PROJIMAGE " + level);
		EXPECT_EQ(Fx.macrosOf(volumetric.getEffect(true, false, quality)), "USE_SHADOW " + level);
		EXPECT_EQ(Fx.macrosOf(volumetric.getEffect(true, true, quality)), "USE_SHADOW USE_PROJIMAGE " + level);
	}
}

TEST_F(LightingLogic, VolumetricLightsGetTheirValuesVolumesAndShadowMaps)
{
	CZeRenderLightVolumetric volumetric(Device);
	ASSERT_TRUE(volumetric.init(&Fx, "VolumetricSpotLight.hlsl", "VolumetricPointLight.hlsl"));
	Camera->setFarValue(20000);
	scene::ILightSceneNode* point = light(video::ELT_POINT, {0, 0, 0}, 5000);
	SZeLightExtParams& p = params(point);
	p.Volumetric = true;
	p.VolumetricDensity = 0.75f;
	p.VolumetricUseColor = true;
	p.VolumetricColor[1] = 0.5f;
	p.ClampIntensity = true;
	p.IntensityClamp = 2.5f;
	scene::ILightSceneNode* spot = light(video::ELT_SPOT, {0, 0, 10}, 100);
	spot->setRotation(core::vector3df(0, 90, 0));
	spot->getLightData().OuterCone = 30;
	spot->getLightData().InnerCone = 20;
	SZeLightExtParams& s = params(spot);
	s.Volumetric = true;
	s.VolumetricQuality = 2;
	s.ProjectionImage = texture(8, 8);
	core::array<SZeShadowTexBind> bindings;
	SZeShadowTexBind binding;
	binding.ShadowMap = texture(64, 64);
	binding.Light = spot;
	bindings.push_back(binding);
	core::array<scene::ISceneNode*> lights;
	lights.push_back(point);
	lights.push_back(spot);
	frame();
	const core::matrix4 viewProjection = Driver->getTransform(video::ETS_PROJECTION) * Driver->getTransform(video::ETS_VIEW);

	// A radius of 5000 makes a sphere volume as large as one of 1000.
	ASSERT_TRUE(volumetric.renderLight(point, bindings));
	core::matrix4 world;
	world.setScale(1150);
	EXPECT_TRUE(nearMatrix(Fx.Made[0].first->Values["WorldViewProjection"], viewProjection * world));
	EXPECT_FLOAT_EQ(valueOf("", "LightColor", 1), 0.25f);
	EXPECT_FLOAT_EQ(valueOf("", "LightPower"), 0.75f);
	EXPECT_FLOAT_EQ(valueOf("", "IntensityClamp"), 2.5f);
	p.ClampIntensity = false;
	ASSERT_TRUE(volumetric.renderLight(point, bindings));
	EXPECT_FLOAT_EQ(valueOf("", "IntensityClamp"), 1000000);
	Camera->setFarValue(9000);  // nearer than the far side of the light: full screen
	ASSERT_TRUE(volumetric.renderLight(point, bindings));
	EXPECT_TRUE(nearMatrix(Fx.Made[0].first->Values["WorldViewProjection"], core::matrix4()));
	Fx.drawnBy();

	// The spot with its map and image; quality 0 uses neither.
	ASSERT_TRUE(volumetric.render(nullptr, lights, bindings));
	EXPECT_EQ(Fx.Made[0].first->Values.count("WorldViewProjection"), 1u);
	Fx.Made[0].first->Values.clear();
	EXPECT_EQ(Fx.drawnBy(), "USE_SHADOW USE_PROJIMAGE QUALITY_2");
	ASSERT_TRUE(volumetric.renderLight(spot, bindings));
	const char* both = "USE_SHADOW USE_PROJIMAGE QUALITY_2";
	EXPECT_FLOAT_EQ(valueOf(both, "LightTanThetaSqr"), 1.f / 3);
	EXPECT_FLOAT_EQ(valueOf(both, "SoftEdgeRatio"), 1.f / 3);
	core::matrix4 lightView, lightProjection;
	core::vector3df position;
	f32 n = 0, f = 0;
	zeGetLightViewProjection(spot, lightView, lightProjection, position, n, f);
	EXPECT_TRUE(nearMatrix(Fx.Made[7].first->Values["LightWorldViewProj"], lightProjection * lightView));
	core::matrix4 toCone;
	zeGetLightFrame(spot).getInverse(toCone);
	EXPECT_TRUE(nearMatrix(Fx.Made[7].first->Values["invConeTransform"], toCone.getTransposed()));
	EXPECT_EQ(Fx.drawnBy(), both);
	s.VolumetricQuality = 0;
	ASSERT_TRUE(volumetric.renderLight(spot, bindings));
	EXPECT_EQ(Fx.Made[1].first->Values.count("WorldViewProjection"), 1u);  // the standard spot effect
	EXPECT_EQ(Fx.drawnBy(), "");
	// The camera inside the cone: the full screen.
	s.VolumetricQuality = 9;
	spot->setRotation(core::vector3df(0, 180, 0));  // towards the camera
	frame();
	ASSERT_TRUE(volumetric.renderLight(spot, bindings));
	EXPECT_TRUE(nearMatrix(Fx.Made[13].first->Values["WorldViewProjection"], core::matrix4()));
	EXPECT_EQ(Fx.drawnBy(), "USE_SHADOW USE_PROJIMAGE QUALITY_4");
}

TEST_F(LightingLogic, LightVolumesOpenFromTheLightAlongItsAxis)
{
	scene::IMesh* sphere = nullptr;
	scene::IMesh* cone = nullptr;
	ASSERT_TRUE(zeCreateLightVolumes(Smgr, "Test", &sphere, &cone));
	const scene::IMeshBuffer* buffer = cone->getMeshBuffer(0);
	const video::S3DVertex* v = static_cast<const video::S3DVertex*>(buffer->getVertices());
	bool apex = false;
	for (u32 i = 0; i < buffer->getVertexCount(); ++i)
	{
		const core::vector3df& p = v[i].Pos;
		EXPECT_TRUE(p.Z >= -1e-5f && p.Z <= 1 + 1e-5f && p.X * p.X + p.Y * p.Y <= p.Z * p.Z + 1e-4f) << i;
		apex = apex || p.getLength() < 1e-5f;
	}
	EXPECT_TRUE(apex);
	const scene::IMeshBuffer* ball = sphere->getMeshBuffer(0);
	const video::S3DVertex* s = static_cast<const video::S3DVertex*>(ball->getVertices());
	for (u32 i = 0; i < ball->getVertexCount(); ++i)
		EXPECT_NEAR(s[i].Pos.getLength(), 1, 1e-5);
	sphere->drop();
	cone->drop();
}
