// The FxEmitter API on the NULL driver (plain particle nodes) with the scene
// content's services and a recording effect service.
#include "ZeApiTestFixture.h"

#include "api/SZeApiItems.h"
#include "api/ZeApiItems.h"
#include "api/ZeFxEmitterApi.h"
#include "render/IZeSceneNodeExt.h"
#include "render/IZeSurfaceLightwaveHV.h"
#include "render/CZeSurfaceLightwaveHV.h"
#include "scene/CZeParticleSystemSceneNode.h"
#include "scene/CZeResourceManagerScene.h"

#include <cstring>
#include <fstream>
#include <functional>

using namespace irr;
using namespace zetest;

namespace
{
class FxEmitterApiTest : public EffectApiTest
{
protected:
	void registerFactories() override { zeRegisterSceneFactories(); }
	void SetUp() override
	{
		EffectApiTest::SetUp();
		if (HasFatalFailure())
			return;
		Image = writeImage("dot.png");
		Quad = Tmp + "/quad.obj";
		std::ofstream(Quad) << "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\nf 1 2 3\nf 1 3 4\n";
		zeClearError();
	}

	CZeParticleSystemSceneNode* node(int id) { return static_cast<CZeParticleSystemSceneNode*>(zeGetFxEmitterNode(id)); }
	const SZeFxEmitterState& state(int id) { return node(id)->getEmitter().getState(); }
	SZeLightwaveHVParams& block(int id)
	{
		return *static_cast<IZeSurfaceLightwaveHV*>(zeGetNodeExt(node(id))->getMaterialSurface(0))->getHVParams();
	}
	// Animates the node at `t` ms.
	void animate(int id, u32 t) { node(id)->OnAnimate(t); }

	std::string Image;
	std::string Quad;
};

TEST_F(FxEmitterApiTest, EmittersAreMadeByIdWithTheirImageAndEmitNothingUntilABirthRate)
{
	ASSERT_EQ(zeMakeFxEmitterBox(1, Image.c_str(), 2, 3, 4), 0) << takeError();
	EXPECT_EQ(zeFxEmitterExist(1), 1);
	EXPECT_EQ(zeCheckFxEmitter(1), 0);
	const SZeFxEmitterState& s = state(1);
	EXPECT_EQ(s.generatorType, 0u);
	EXPECT_FLOAT_EQ(s.generatorSize[1], 3.f);
	EXPECT_FLOAT_EQ(s.lifeTime, 1.f);
	EXPECT_FLOAT_EQ(s.lifeTimeRange, 0.1f);
	EXPECT_FLOAT_EQ(s.birthRate, 0.f);
	EXPECT_NE(block(1).ClipTexture, nullptr) << "the image clips material 0";
	EXPECT_EQ(zeGetNodeExt(node(1))->getMaterialSurface(0)->getType(), ZE_SURFACE_LIGHTWAVE_HV);
	for (u32 t : {1000u, 1500u, 2000u})
		animate(1, t);
	EXPECT_EQ(s.liveCount, 0u);
	zeSetFxEmitterBirthRate(1, 100);
	animate(1, 2500);
	EXPECT_EQ(s.liveCount, 50u);

	// The engine's default image, found through the data folders.
	std::filesystem::create_directories(Tmp + "/textures");
	std::filesystem::copy_file(ZELV_BINARY_DIR "/data/textures/ZeDefaultParticle.png", Tmp + "/textures/ZeDefaultParticle.png");
	ASSERT_EQ(zeMakeFxEmitterSphere(2, "", 1, 1, 1), 0) << takeError();
	EXPECT_NE(block(2).ClipTexture->getName().getPath().find("ZeDefaultParticle.png"), -1);
	// An image named from the file layer's current folder (a script's SetDir).
	zeFileSetCurrentDir(Tmp.c_str());
	EXPECT_EQ(zeMakeFxEmitter(5, "dot.png", 1, 1, 1), 0) << takeError();
	zeFileSetCurrentDir("");
	zeDeleteFxEmitter(5);
	EXPECT_EQ(state(2).generatorType, 1u);

	int code = 0;
	const struct
	{
		std::function<int()> Call;
		const char* Message;
		int Code;
	} failures[] = {
		{[&] { return zeMakeFxEmitter(1, Image.c_str(), 1, 1, 1); }, "invalid FxEmitter ID 1 : id 1 already exist", 1},
		{[&] { return zeMakeFxEmitter(1000, Image.c_str(), 1, 1, 1); },
			"invalid FxEmitter ID 1000 : invalid ID 1000 greater or equals than 1000", 1},
		{[&] { return zeMakeFxEmitter(3, (Tmp + "/none.png").c_str(), 1, 1, 1); }, "failed to setup material image", 2},
		{[&] { return zeMakeFxEmitterMeshStatic(3, Image.c_str(), 9); }, "failed to create FxEmitter node", 3},
	};
	const u32 children = zeGetContext()->sceneManager->getRootSceneNode()->getChildren().getSize();
	for (const auto& f : failures)
	{
		EXPECT_EQ(f.Call(), -1);
		EXPECT_EQ(takeError(&code), f.Message);
		EXPECT_EQ(code, f.Code) << f.Message;
	}
	EXPECT_EQ(zeFxEmitterExist(3), 0);
	EXPECT_EQ(zeGetContext()->sceneManager->getRootSceneNode()->getChildren().getSize(), children)
		<< "a failed emitter leaves no node behind";
	EXPECT_EQ(logLinesWith("getObjectMesh: Failed to get iObj=9"), 1);

	zeDeleteFxEmitter(2);
	EXPECT_EQ(zeFxEmitterExist(2), 0);
	zeDeleteFxEmitter(2);
	EXPECT_EQ(takeError(), "");
}

TEST_F(FxEmitterApiTest, MeshAndParentEmittersTakeTheirSource)
{
	ASSERT_EQ(zeLoadObject(Quad.c_str(), 1), 0);
	ASSERT_EQ(zeMakeFxEmitterMeshVertices(1, Image.c_str(), 1), 0);
	ASSERT_EQ(zeMakeFxEmitterMeshNormal(2, Image.c_str(), 1), 0);
	ASSERT_EQ(zeMakeFxEmitterMeshSurface(3, Image.c_str(), 1), 0);
	for (int id = 1; id <= 3; ++id)
	{
		EXPECT_EQ(state(id).generatorType, static_cast<u32>(id + 1));
		EXPECT_EQ(state(id).generatorMesh, zeGetObjectMesh(1));
	}
	int code = 0;
	EXPECT_EQ(zeMakeFxEmitterMeshVertices(4, Image.c_str(), 8), -1);
	EXPECT_EQ(takeError(&code), "failed to get mesh of object ID 8");
	EXPECT_EQ(code, 3);
	EXPECT_EQ(logLinesWith("getObjectMesh: Failed to get mesh for iObj=8"), 1);
	ASSERT_EQ(zeFxEmitterExist(4), 1) << "a box emitter stays under the ID";
	EXPECT_EQ(state(4).generatorType, 0u);

	ASSERT_EQ(zeMakeFxEmitterNozzle8(5, Image.c_str(), 1), 0);
	ASSERT_EQ(zeMakeFxEmitterNozzle9(6, Image.c_str(), 1), 0);
	ASSERT_EQ(zeMakeFxEmitterNozzle8(7, Image.c_str(), -1), 0);
	EXPECT_EQ(state(5).generatorType, 5u);
	EXPECT_EQ(state(6).generatorType, 6u);
	EXPECT_EQ(state(5).parent, &state(1));
	EXPECT_EQ(state(6).parent, &state(1));
	EXPECT_EQ(state(7).parent, nullptr);
	zeSetFxEmitterParent(7, 4);
	EXPECT_EQ(state(7).parent, &state(4));
	zeSetFxEmitterParent(7, -1);
	EXPECT_EQ(takeError(&code), "FxEmitter ID 7 : parent -1 does not exist. invalid negative ID -1");
	EXPECT_EQ(code, 2);
	zeSetFxEmitterParent(7, 30);
	EXPECT_EQ(takeError(&code), "FxEmitter ID 7 : parent 30 does not exist. id 30 does not exist");
	EXPECT_EQ(state(7).parent, &state(4)) << "the parent cannot be cleared this way";

	// Deleting a parent leaves its children without one; they go on updating.
	zeSetFxEmitterBirthRate(1, 200);
	zeSetFxEmitterBirthRate(5, 200);
	for (u32 t : {100u, 200u})
	{
		animate(1, t);
		animate(5, t);
	}
	zeDeleteFxEmitter(1);
	EXPECT_EQ(state(5).parent, nullptr);
	animate(5, 300);
	zeDeleteObject(1);
	animate(2, 100);
	animate(2, 200);
}

TEST_F(FxEmitterApiTest, StaticEmittersShowTheVerticesAndIgnoreTheLiveOnlySetters)
{
	ASSERT_EQ(zeLoadObject(Quad.c_str(), 1), 0);
	ASSERT_EQ(zeMakeFxEmitterMeshStatic(1, Image.c_str(), 1), 0) << takeError();
	EXPECT_EQ(static_cast<SZeFxEmitterItem*>(zePeekApiItem(EZEIT_FX_EMITTER, 1))->isStatic, 1);
	EXPECT_EQ(node(1)->getFxEmitter()->getParticleCount(), 4u);
	const SZeFxEmitterState& s = state(1);
	const SZeFxEmitterState before = s;
	zeSetFxEmitterVelocity(1, 1, 2, 3);
	zeSetFxEmitterGravity(1, 0, -9, 0);
	zeSetFxEmitterParentMotion(1, 0.5f);
	zeSetFxEmitterBirthRate(1, 10);
	zeSetFxEmitterWeight(1, 3);
	zeSetFxEmitterResistance(1, 2);
	zeSetFxEmitterVibration(1, 2);
	zeSetFxEmitterRandomVelocity(1, 2);
	zeSetFxEmitterCurlNoisePower(1, 2);
	zeSetFxEmitterCurlNoiseFrequency(1, 2);
	zeFxResetEmitter(1);
	zeFxResetEmitterEmittedCount(1);
	EXPECT_EQ(takeError(), "");
	EXPECT_EQ(std::memcmp(&before, &s, sizeof(s)), 0) << "static emitters take none of the live-only values";
	EXPECT_EQ(node(1)->getFxEmitter()->getParticleCount(), 4u);
	zeSetFxEmitterLifeTime(1, 3, 0.5f);
	zeSetFxEmitterExplosion(1, 7);
	zeSetFxEmitterParticleLimit(1, 12);
	EXPECT_FLOAT_EQ(s.lifeTime, 3.f);
	EXPECT_FLOAT_EQ(s.lifeTimeRange, 0.5f);
	EXPECT_FLOAT_EQ(s.explosion, 7.f);
	EXPECT_EQ(s.particleLimit, 12u);

	// The live ones take them all.
	ASSERT_EQ(zeMakeFxEmitter(2, Image.c_str(), 1, 1, 1), 0);
	zeSetFxEmitterVelocity(2, 1, 2, 3);
	zeSetFxEmitterGravity(2, 0, -9, 0);
	zeSetFxEmitterParentMotion(2, 0.5f);
	zeSetFxEmitterWeight(2, 3);
	zeSetFxEmitterResistance(2, 2);
	zeSetFxEmitterVibration(2, 4);
	zeSetFxEmitterRandomVelocity(2, 5);
	zeSetFxEmitterCurlNoisePower(2, 6);
	zeSetFxEmitterCurlNoiseFrequency(2, 8);
	const SZeFxEmitterState& live = state(2);
	EXPECT_FLOAT_EQ(live.velocity[2], 3.f);
	EXPECT_FLOAT_EQ(live.gravity[1], -9.f);
	EXPECT_FLOAT_EQ(live.parentMotion, 0.5f);
	EXPECT_FLOAT_EQ(live.weight, 3.f);
	EXPECT_FLOAT_EQ(live.resistance, 2.f);
	EXPECT_FLOAT_EQ(live.vibration, 4.f);
	EXPECT_FLOAT_EQ(live.randomVelocity, 5.f);
	EXPECT_FLOAT_EQ(live.curlNoisePower, 6.f);
	EXPECT_FLOAT_EQ(live.curlNoiseFrequency, 8.f);
	zeSetFxEmitterBirthRate(2, 100);
	zeSetFxEmitterParticleLimit(2, 10);
	for (u32 t : {100u, 600u})
		animate(2, t);
	EXPECT_EQ(live.emittedCount, 10u);
	zeFxResetEmitterEmittedCount(2);
	EXPECT_EQ(live.emittedCount, 0u);
	zeFxResetEmitter(2);
	EXPECT_EQ(live.liveCount, 0u);
}

TEST_F(FxEmitterApiTest, TheNodeAndTheLookFollowTheirSetters)
{
	ASSERT_EQ(zeMakeFxEmitter(1, Image.c_str(), 1, 1, 1), 0);
	zePositionFxEmitter(1, 1, 2, 3);
	zeRotateFxEmitter(1, 0, 90, 0);
	EXPECT_EQ(node(1)->getPosition(), core::vector3df(1, 2, 3));
	EXPECT_EQ(node(1)->getRotation(), core::vector3df(0, 90, 0));
	zeHideFxEmitter(1);
	EXPECT_FALSE(node(1)->isVisible());
	zeShowFxEmitter(1);
	EXPECT_TRUE(node(1)->isVisible());
	zeLockFxEmitterOn(1);
	EXPECT_EQ(node(1)->getParent(), zeGetContext()->camera);
	zeLockFxEmitterOff(1);
	EXPECT_EQ(node(1)->getParent(), zeGetContext()->sceneManager->getRootSceneNode());
	zeSetFxEmitterSelectionMask(1, 6);
	EXPECT_EQ(zeGetNodeExt(node(1))->getSelectionMask(), 6u);

	zeSetFxEmitterParticleSize(1, 0.25f);
	EXPECT_FLOAT_EQ(state(1).particleSize, 0.5f);
	EXPECT_FLOAT_EQ(block(1).ParticleSize, 0.25f);
	zeSetFxEmitterColor(1, static_cast<int>(0x40FF8000));
	EXPECT_EQ(block(1).UseTextureColor, 0u);
	EXPECT_FLOAT_EQ(block(1).Color[1], 128 / 255.f);
	EXPECT_FLOAT_EQ(block(1).Color[3], 1.f) << "alpha is not the colour's";
	zeSetFxEmitterUseImageColor(1);
	EXPECT_EQ(block(1).UseTextureColor, 1u);
	EXPECT_FLOAT_EQ(block(1).Color[0], 1.f);
	zeSetFxEmitterRotation(1, 30);
	EXPECT_FLOAT_EQ(block(1).Rotation, 30.f);

	const struct { int Mode; u32 Blend; u8 Sorted; } modes[] = {{1, 0, 1}, {3, 2, 0}, {0, 1, 0}, {2, 1, 0}, {5, 1, 0}};
	for (const auto& m : modes)
	{
		zeSetFxEmitterBlendMode(1, m.Mode);
		EXPECT_EQ(block(1).BlendMode, m.Blend) << m.Mode;
		EXPECT_EQ(state(1).sortFlag, m.Sorted) << m.Mode;
	}

	// Ten keys of five floats: eight kept and the closing key 100 further on.
	std::vector<float> keys;
	for (int i = 0; i < 10; ++i)
		keys.insert(keys.end(), {10.f * i, 0.1f * i, 0.2f, 0.3f, 0.4f});
	zeSetFxEmitterColorGradient(1, 10, keys.data());
	zeSetFxEmitterSizeGradient(1, 3, keys.data());
	const SZeLightwaveHVParams& b = block(1);
	EXPECT_EQ(b.ColorKeyCount, 8u);
	EXPECT_FLOAT_EQ(b.ColorKeyPosition[7], 70.f);
	EXPECT_FLOAT_EQ(b.ColorKeyPosition[8], 170.f);
	EXPECT_FLOAT_EQ(b.ColorKeyValue[8][0], 0.7f);
	EXPECT_FLOAT_EQ(b.ColorKeyValue[8][3], 0.4f);
	EXPECT_EQ(b.SizeKeyCount, 3u);
	EXPECT_FLOAT_EQ(b.SizeKeyPosition[3], 120.f);
	EXPECT_FLOAT_EQ(b.SizeKeyValue[3], 0.2f);
	EXPECT_FLOAT_EQ(b.SizeKeyValue[1], 0.1f);
	zeSetFxEmitterColorGradient(1, 0, nullptr);
	EXPECT_EQ(b.ColorKeyCount, 0u);

	int code = 0;
	for (auto call : {+[] { zeShowFxEmitter(9); }, +[] { zeHideFxEmitter(9); }, +[] { zeLockFxEmitterOn(9); },
		     +[] { zeLockFxEmitterOff(9); }, +[] { zePositionFxEmitter(9, 0, 0, 0); },
		     +[] { zeRotateFxEmitter(9, 0, 0, 0); }, +[] { zeSetFxEmitterParent(9, 1); },
		     +[] { zeSetFxEmitterVelocity(9, 0, 0, 0); }, +[] { zeSetFxEmitterGravity(9, 0, 0, 0); },
		     +[] { zeSetFxEmitterParentMotion(9, 0); }, +[] { zeSetFxEmitterBirthRate(9, 0); },
		     +[] { zeSetFxEmitterWeight(9, 0); }, +[] { zeSetFxEmitterResistance(9, 0); },
		     +[] { zeSetFxEmitterVibration(9, 0); }, +[] { zeSetFxEmitterParticleLimit(9, 0); },
		     +[] { zeSetFxEmitterRandomVelocity(9, 0); }, +[] { zeSetFxEmitterCurlNoisePower(9, 0); },
		     +[] { zeSetFxEmitterCurlNoiseFrequency(9, 0); }, +[] { zeFxResetEmitter(9); },
		     +[] { zeFxResetEmitterEmittedCount(9); }, +[] { zeSetFxEmitterLifeTime(9, 1, 0); },
		     +[] { zeSetFxEmitterExplosion(9, 0); }, +[] { zeSetFxEmitterParticleSize(9, 1); },
		     +[] { zeSetFxEmitterColor(9, 0); }, +[] { zeSetFxEmitterUseImageColor(9); },
		     +[] { zeSetFxEmitterRotation(9, 0); }, +[] { zeSetFxEmitterBlendMode(9, 1); },
		     +[] { zeSetFxEmitterColorGradient(9, 0, nullptr); }, +[] { zeSetFxEmitterSizeGradient(9, 0, nullptr); },
		     +[] { zeSetFxEmitterSelectionMask(9, 1); }, +[] { zeSetFxEmitterEffect(9, 1); },
		     +[] { zeSetFxEmitterEffectTechnique(9, 1); }, +[] { zeSetFxEmitterEffectFromFile(9, nullptr); },
		     +[] { zeSetFxEmitterDefaultEffect(9); }, +[] { zeSetFxEmitterShader(9, nullptr, 1); },
		     +[] { zeCheckFxEmitter(9); }})
	{
		call();
		EXPECT_EQ(takeError(&code), "FxEmitter ID 9 does not exist. id 9 does not exist");
		EXPECT_EQ(code, 1);
	}
	EXPECT_EQ(zeGetFxEmitterNode(9), nullptr);
	EXPECT_EQ(zeFxEmitterExist(9), 0);
	EXPECT_EQ(takeError(), "");
}

TEST_F(FxEmitterApiTest, EffectsCompileWithTheHyperVoxelSurface)
{
	ASSERT_EQ(zeMakeFxEmitter(1, Image.c_str(), 1, 1, 1), 0);
	IZeSceneNodeExt* ext = zeGetNodeExt(node(1));
	zeSetFxEmitterRotation(1, 15);
	zeSetFxEmitterDefaultEffect(1);
	EXPECT_EQ(takeError(), "");
	EXPECT_EQ(Fx->Calls.back().File.find("shaders/Particle.hlsl") != std::string::npos ||
			Fx->Calls.back().File == "Particle.dae",
		true) << Fx->Calls.back().File;
	EXPECT_EQ(Fx->Calls.back().BaseMaterialType, 12) << "additive by default";
	EXPECT_EQ(Fx->Calls.back().Macros,
		(Pairs{{"USE_TEX_COLOR", "<none>"}, {"USE_ROTATION", "<none>"}, {"USE_BLEND_ADD", "<none>"}}));
	ASSERT_NE(ext->getMaterialEffect(0), nullptr);

	zeSetFxEmitterBlendMode(1, 1);
	zeSetFxEmitterColor(1, 0);
	zeSetFxEmitterEffectFromFile(1, "spark.hlsl");
	EXPECT_EQ(Fx->Calls.back().File, "spark.hlsl");
	EXPECT_EQ(Fx->Calls.back().BaseMaterialType, 13);
	EXPECT_EQ(Fx->Calls.back().Macros, (Pairs{{"USE_ROTATION", "<none>"}, {"USE_BLEND_ALPHA", "<none>"}}));

	int code = 0;
	g_boxes.clear();
	zeSetMessageBoxHook(captureBox);
	Fx->Failing = {"broken"};
	IZeEffect* kept = ext->getMaterialEffect(0);
	zeSetFxEmitterEffectFromFile(1, "broken.hlsl");
	EXPECT_EQ(takeError(&code), "FxEmitter ID 1: Failed to compile effect broken.hlsl");
	EXPECT_EQ(code, 2);
	EXPECT_EQ(g_boxes.size(), 1u);
	EXPECT_EQ(ext->getMaterialEffect(0), kept);

	ASSERT_EQ(zeLoadEffect("other.hlsl", 4), 0);
	zeSetFxEmitterEffect(1, 4);
	EXPECT_EQ(ext->getMaterialEffect(0), zeGetEffect(4));
	zeSetFxEmitterEffectTechnique(1, 1);
	EXPECT_EQ(ext->getMaterialRecord(0)->Technique, 1);
	zeSetFxEmitterEffect(1, 5);
	EXPECT_EQ(takeError(&code), "Effect ID 5 does not exist. id 5 does not exist");
	EXPECT_EQ(code, 2);

	// Shader descriptions: compiled with the description's macros, then its
	// textures and parameters on the new effect.
	const SZeShaderDesc desc = describe("glow.hlsl", {flt("Gain", 2)}, "SOFT=1");
	zeSetFxEmitterShader(1, &desc, 1);
	EXPECT_EQ(takeError(), "");
	EXPECT_EQ(Fx->Calls.back().File, "glow.hlsl");
	EXPECT_EQ(Fx->Calls.back().Macros,
		(Pairs{{"USE_ROTATION", "<none>"}, {"USE_BLEND_ALPHA", "<none>"}, {"SOFT", "1"}}));
	FakeEffect* glow = static_cast<FakeEffect*>(ext->getMaterialEffect(0));
	EXPECT_EQ(glow->Values["Gain"], std::vector<f32>{2});
	const SZeShaderDesc failing = describe("glow.hlsl", {flt("Missing", 1), tex("Map", "gone.png")});
	zeSetFxEmitterShader(1, &failing, 0);
	EXPECT_EQ(takeError(&code), "FxEmitter ID 1: failed to set parameters of shader 'glow.hlsl'");
	EXPECT_EQ(code, 2);
	const SZeShaderDesc textures = describe("glow.hlsl", {tex("Map", "gone.png")});
	Fx->Failing = {"nothing"};
	zeSetFxEmitterShader(1, &textures, 1);
	EXPECT_EQ(takeError(&code), "FxEmitter ID 1: failed to set textures of shader 'glow.hlsl'");
	EXPECT_EQ(code, 2);
	Fx->Failing = {"glow"};
	IZeEffect* before = ext->getMaterialEffect(0);
	zeSetFxEmitterShader(1, &desc, 1);
	EXPECT_EQ(takeError(&code), "FxEmitter 1 : Failed to compile effect glow.hlsl");
	EXPECT_EQ(code, 2);
	EXPECT_EQ(ext->getMaterialEffect(0), before) << "a failed compile leaves the emitter as it was";

	ASSERT_EQ(zeMakeFxEmitter(2, Image.c_str(), 1, 1, 1), 0);
	zeSetFxEmitterShader(2, &failing, 0);
	EXPECT_EQ(takeError(&code), "FxEmitter ID 2 has no effect applied on it");
	EXPECT_EQ(code, 1);

	// The effect API's compile for an emitter.
	ASSERT_EQ(zeLoadEffectForFxEmitter("fx.hlsl", 6, 2), 0) << takeError();
	EXPECT_EQ(Fx->Calls.back().BaseMaterialType, 12);
	EXPECT_EQ(Fx->Calls.back().Macros, (Pairs{{"USE_TEX_COLOR", "<none>"}, {"USE_BLEND_ADD", "<none>"}}));
	EXPECT_EQ(zeEffectExist(6), 1);
	EXPECT_EQ(zeLoadEffectForFxEmitter("fx.hlsl", 7, 9), -1);
	EXPECT_EQ(takeError(&code), "FxEmitter ID 9 does not exist");
	EXPECT_EQ(code, 3);
}
// A HyperVoxel surface whose macros never fit.
class CrowdedHyperVoxel : public CZeSurfaceLightwaveHV
{
public:
	bool getEffectCompileParameters(s32&, SZeMacro*, u32&, scene::ISceneNode*) override { return false; }
};

TEST_F(FxEmitterApiTest, LookAndEffectCallsReportAMissingExtensionOrSurface)
{
	ASSERT_EQ(zeMakeFxEmitter(1, Image.c_str(), 1, 1, 1), 0);
	ASSERT_EQ(zeMakeFxEmitter(2, Image.c_str(), 1, 1, 1), 0);
	ASSERT_EQ(zeMakeFxEmitter(3, Image.c_str(), 1, 1, 1), 0);
	zeGetNodeExt(node(1))->removeMaterialSurface(0);
	node(2)->removeAnimators();
	CrowdedHyperVoxel* crowded = new CrowdedHyperVoxel();
	zeGetNodeExt(node(3))->setMaterialSurface(0, crowded);
	crowded->drop();
	const SZeShaderDesc desc = describe("glow.hlsl", {flt("Gain", 2)});
	const struct
	{
		std::function<void()> Call;
		const char* Message;
		int Code;
	} failures[] = {
		{[] { zeSetFxEmitterColor(1, 0); }, "FxEmitter ID 1 has no surface", 1},
		{[] { zeSetFxEmitterParticleSize(1, 1); }, "FxEmitter ID 1 has no surface", 1},
		{[] { zeSetFxEmitterEffectFromFile(1, nullptr); }, "FxEmitter ID 1 has no surface", 1},
		{[&] { zeSetFxEmitterShader(1, &desc, 1); }, "Invalid surface for the FxEmitter ID 1", 2},
		{[] { zeLoadEffectForFxEmitter("fx.hlsl", 5, 1); }, "Invalid surface for the FxEmitter ID 1", 4},
		{[] { zeSetFxEmitterSelectionMask(2, 1); }, "FxEmitter ID 2 unexpected format (no node extension)", 1},
		{[] { zeSetFxEmitterRotation(2, 1); }, "FxEmitter ID 2 unexpected format (no node extension)", 1},
		{[] { zeLoadEffectForFxEmitter("fx.hlsl", 5, 2); }, "FxEmitter ID 2 does not have node extension", 3},
		{[] { zeSetFxEmitterEffectFromFile(3, nullptr); }, "FxEmitter ID 3 Failed to get the effect compile parameters", 2},
		{[&] { zeSetFxEmitterShader(3, &desc, 1); }, "FxEmitter 3 : Failed to get the effect compile parameters", 2},
		{[] { zeLoadEffectForFxEmitter("fx.hlsl", 5, 3); }, "Failed to get the effect compile parameters", -1},
	};
	for (const auto& f : failures)
	{
		int code = 0;
		f.Call();
		EXPECT_EQ(takeError(&code), f.Message);
		EXPECT_EQ(code, f.Code) << f.Message;
	}
	EXPECT_EQ(zeEffectExist(5), 0);
}

// The item holds its node: a node the scene graph lets go of (its parent
// removed) stays usable through the API until the emitter is deleted.
TEST_F(FxEmitterApiTest, TheItemKeepsItsNodeAlive)
{
	ASSERT_EQ(zeMakeFxEmitter(1, Image.c_str(), 1, 1, 1), 0);
	scene::ISceneNode* carrier = zeGetContext()->sceneManager->addEmptySceneNode();
	node(1)->setParent(carrier);
	carrier->remove();
	zePositionFxEmitter(1, 1, 2, 3);
	zeSetFxEmitterBirthRate(1, 10);
	EXPECT_EQ(node(1)->getPosition(), core::vector3df(1, 2, 3));
	zeDeleteFxEmitter(1);
	EXPECT_EQ(zeFxEmitterExist(1), 0);
}
} // namespace
