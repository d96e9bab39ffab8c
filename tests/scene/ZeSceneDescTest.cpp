// Scene description: the full sample read back key by key, defaults and
// messages of missing or oversized groups, and text/binary twins.
#include "scene/ZeSceneDesc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace
{
using DescPtr = std::unique_ptr<SZeSceneDesc, decltype(&zeSceneDescFree)>;

std::string samplePath(const char* name)
{
	return std::string(ZELV_SOURCE_DIR) + "/samples/scenes/" + name;
}

DescPtr loadSample(const char* name)
{
	return DescPtr(zeSceneDescLoad(samplePath(name).c_str()), zeSceneDescFree);
}

DescPtr fromText(const std::string& text)
{
	return DescPtr(zeSceneDescFromDocument(ZF_LoadMemory(text.data(), text.size())), zeSceneDescFree);
}

std::string str(const char* text)
{
	return text ? text : "(null)";
}

unsigned rgb(const irr::video::SColor& c)
{
	return c.color & 0xFFFFFFu;
}

// Expects a vector close to (x, y, z).
void expectVec(const irr::core::vector3df& v, float x, float y, float z)
{
	EXPECT_NEAR(v.X, x, 1e-5f);
	EXPECT_NEAR(v.Y, y, 1e-5f);
	EXPECT_NEAR(v.Z, z, 1e-5f);
}

class FullScene : public ::testing::Test
{
protected:
	void SetUp() override
	{
		desc = loadSample("full.zelv");
		ASSERT_NE(desc, nullptr) << zeSceneDescLastError();
	}
	DescPtr desc{ nullptr, zeSceneDescFree };
};
} // namespace

TEST_F(FullScene, TimingCountsAndSceneWideKeys)
{
	EXPECT_EQ(desc->frameStart, 10);
	EXPECT_EQ(desc->frameEnd, 70);
	EXPECT_EQ(desc->frameStep, 2);
	EXPECT_FLOAT_EQ(desc->framesPerSecond, 30.0f);
	EXPECT_EQ(desc->objectCount, 4);
	EXPECT_EQ(desc->cameraCount, 2);
	EXPECT_EQ(desc->lightCount, 3);
	EXPECT_EQ(desc->emitterCount, 2);
	EXPECT_EQ(desc->postProcCount, 2);
	EXPECT_EQ(desc->meshCount, 3);
	EXPECT_EQ(desc->cubeMapCount, 2);
	EXPECT_EQ(str(zeSceneText(desc->loadAudio)), "full.mp3");
	EXPECT_FLOAT_EQ(zeSceneFloat(desc->audioStartTime), 0.25f);
	// renderCamera keys 0, 0.5, 1, 1.7: truncated to a camera index.
	EXPECT_EQ(zeSceneRenderCameraAt(desc.get(), 0.0f), 0);
	EXPECT_EQ(zeSceneRenderCameraAt(desc.get(), 1.5f), 0);
	EXPECT_EQ(zeSceneRenderCameraAt(desc.get(), 2.5f), 1);
	EXPECT_EQ(zeSceneRenderCameraAt(desc.get(), 40.0f), 1);
	EXPECT_EQ(rgb(zeSceneBackdropColor(desc.get())), 0x193366u);  // 0.1 0.2 0.4
	EXPECT_EQ(rgb(zeSceneAmbientAt(desc.get(), 0.25f)), 0x26330Cu); // 0.15 0.2 0.05
	EXPECT_EQ(zeSceneInt(desc->glowEffect), 1);
	EXPECT_FLOAT_EQ(zeSceneChannelAt(desc->glowIntensity, 1.5f), 0.875f);
	EXPECT_FLOAT_EQ(zeSceneChannelAt(desc->glowRadius, 7.0f), 12.0f);
	EXPECT_EQ(desc->colorSpaceViewer, 2);
	EXPECT_EQ(desc->colorSpace8BitFiles, 1);
	// One second is 30 frames, 15 keys; the frame counts from frameStart.
	EXPECT_FLOAT_EQ(zeSceneKeyIndex(desc.get(), 1000), 15.0f);
	EXPECT_FLOAT_EQ(zeSceneFrame(desc.get(), 500), 25.0f);
}

TEST_F(FullScene, RenderSettings)
{
	for (int i = 0; i < EZRS_COUNT; ++i)
		EXPECT_NE(desc->renderSettings[i], nullptr) << zeSceneRenderSettingName(i);
	const int ints[][2] = { { EZRS_STREAK_ENABLE, 1 }, { EZRS_BLOOM_ENABLE, 1 },
		{ EZRS_DOF_ADVANCED_ENABLE, 0 }, { EZRS_SSAO_ENABLE, 1 }, { EZRS_SHADOW_ENABLE, 1 },
		{ EZRS_CAMERARANGE_ENABLE, 1 }, { EZRS_AA_JITTER, 1 }, { EZRS_AA_LOCATION, 2 },
		{ EZRS_AA_MODE, 3 }, { EZRS_AA_BLENDING, 1 }, { EZRS_AA_BLENDING_WEIGHT, 4 },
		{ EZRS_AA_VLIMIT_ENABLE, 1 } };
	for (const auto& e : ints)
		EXPECT_EQ(zeSceneRenderSettingInt(desc.get(), e[0]), e[1]) << zeSceneRenderSettingName(e[0]);
	EXPECT_FLOAT_EQ(zeSceneRenderSettingAt(desc.get(), EZRS_STREAK_GLOWMIN, 3.0f), 0.8f);
	EXPECT_NEAR(zeSceneRenderSettingAt(desc.get(), EZRS_STREAK_ANGLE, 0.5f), 0.3927f, 1e-5f);
	EXPECT_FLOAT_EQ(zeSceneRenderSettingAt(desc.get(), EZRS_DOF_FOCUSEDDIST, 1.5f), 6.5f);
	EXPECT_FLOAT_EQ(zeSceneRenderSettingAt(desc.get(), EZRS_CAMERARANGE_MAX, 0.0f), 500.0f);
	EXPECT_FLOAT_EQ(zeSceneRenderSettingAt(desc.get(), EZRS_AA_VLIMIT_VAL, 0.0f), 0.35f);
	expectVec(zeSceneRenderSettingVectorAt(desc.get(), EZRS_STREAK_COLORKEY, 2.0f), 1.0f, 0.9f, 0.7f);
	expectVec(zeSceneRenderSettingVectorAt(desc.get(), EZRS_STREAK_COLORIZE, 0.5f), 0.75f, 1.0f, 0.5f);
}

TEST_F(FullScene, CamerasAndLights)
{
	const SZeSceneCamera& cam = desc->cameras[0];
	EXPECT_EQ(str(cam.name), "Camera");
	EXPECT_EQ(cam.flags, 9);
	EXPECT_EQ(cam.width, 1280);
	EXPECT_EQ(cam.height, 720);
	EXPECT_EQ(cam.usingConvergencePoint, 1);
	for (int k = 0; k < EZCK_COUNT; ++k)
		EXPECT_NE(cam.keys[k], nullptr) << zeSceneCameraKeyName(k);
	expectVec(zeSceneVectorAt(cam.keys[EZCK_POSITION], 0.5f), 0.5f, 5.0f, -9.0f);
	expectVec(zeSceneRotationAt(cam.keys[EZCK_ROTATION], 0.0f), 0.1f, 0.0f, 0.0f);
	EXPECT_FLOAT_EQ(zeSceneChannelAt(cam.keys[EZCK_ZOOM_FACTOR], 0.5f), 2.4f);
	EXPECT_FLOAT_EQ(zeSceneChannelAt(cam.keys[EZCK_SEPARATION], 0.0f), 0.065f);
	// The close-up gives no resolution.
	EXPECT_EQ(desc->cameras[1].width, 640);
	EXPECT_EQ(desc->cameras[1].height, 480);
	EXPECT_EQ(desc->cameras[1].keys[EZCK_SEPARATION], nullptr);

	const SZeSceneLight& sun = desc->lights[0];
	const SZeSceneLight& spot = desc->lights[1];
	const SZeSceneLight& lamp = desc->lights[2];
	EXPECT_EQ(sun.type, 0);
	EXPECT_EQ(spot.type, 2);
	EXPECT_EQ(lamp.type, 1);
	// Without falloff the range is fixed whatever "range" holds.
	EXPECT_FLOAT_EQ(zeSceneLightRangeAt(sun, 0.0f), 10000000.0f);
	EXPECT_FLOAT_EQ(zeSceneLightRangeAt(spot, 0.5f), 25.0f);
	EXPECT_FLOAT_EQ(zeSceneLightRangeAt(lamp, 0.0f), 15.0f);
	EXPECT_FLOAT_EQ(zeSceneChannelAt(sun.keys[EZLK_INTENSITY], 1.5f), 1.1f);
	EXPECT_EQ(sun.shadowType, 1);
	expectVec(sun.shadowColor, 0.1f, 0.1f, 0.2f);
	EXPECT_EQ(sun.shadMapSize, 2048);
	EXPECT_FLOAT_EQ(sun.shadMapFuzz, 1.5f);
	EXPECT_EQ(sun.projImage, nullptr);
	EXPECT_EQ(sun.keys[EZLK_VOL_FLAGS], nullptr);
	expectVec(sun.volumetricColor, 1.0f, 1.0f, 1.0f);

	for (int k = 0; k < EZLK_COUNT; ++k)
		EXPECT_NE(spot.keys[k], nullptr) << zeSceneLightKeyName(k);
	EXPECT_EQ(spot.flags, 32);
	EXPECT_EQ(str(spot.projImage), "images/gobo.png");
	const irr::core::vector2df cone = zeScenePairAt(spot.keys[EZLK_CONE_ANGLES], 0.5f);
	EXPECT_FLOAT_EQ(cone.X, 0.55f);
	EXPECT_FLOAT_EQ(cone.Y, 0.1f);
	expectVec(zeSceneVectorAt(spot.keys[EZLK_POSITION], 0.5f), 0.0f, 4.0f, 0.0f);
	// "Volumetric" "flags" 7 3 0 0 1: word 1 is the flags word, word 4 the colour switch.
	EXPECT_EQ(spot.volumetricFlags, 3);
	EXPECT_EQ(spot.volumetricColorOn, 1);
	expectVec(spot.volumetricColor, 0.3f, 0.6f, 0.9f);
	EXPECT_FLOAT_EQ(zeSceneChannelAt(spot.keys[EZLK_VOL_DENSITY], 1.0f), 2.0f);
	EXPECT_FLOAT_EQ(zeSceneChannelAt(spot.keys[EZLK_VOL_BASE], 0.5f), 0.3f);
	// The lamp's colour word is 0: its colour stays white.
	EXPECT_EQ(lamp.volumetricColorOn, 0);
	expectVec(lamp.volumetricColor, 1.0f, 1.0f, 1.0f);
}

TEST_F(FullScene, EmittersAndPostProcesses)
{
	const SZeSceneEmitter& sparks = desc->emitters[0];
	EXPECT_EQ(str(sparks.name), "Sparks");
	EXPECT_EQ(sparks.type, 0);
	EXPECT_EQ(sparks.selectionMask, 2);
	for (int k = 0; k < EZEK_COUNT; ++k)
		EXPECT_NE(sparks.keys[k], nullptr) << zeSceneEmitterKeyName(k);
	EXPECT_EQ(str(zeSceneText(sparks.keys[EZEK_CLIP_FILENAME])), "images/spark.png");
	EXPECT_EQ(zeSceneInt(sparks.keys[EZEK_NOZZLE]), 1);
	EXPECT_EQ(zeSceneInt(sparks.keys[EZEK_PARTICLE_LIMIT]), 2000);
	EXPECT_EQ(ZF_GetCount(sparks.keys[EZEK_GRADIENT_PARTICLE_SIZE]) / 5, 2u);
	EXPECT_FLOAT_EQ(zeSceneChannelAt(sparks.keys[EZEK_BIRTH_RATE], 1.5f), 125.0f);
	EXPECT_FLOAT_EQ(zeSceneChannelAt(sparks.keys[EZEK_CURL_NOISE_FREQUENCY], 0.0f), 2.0f);
	expectVec(zeSceneVectorAt(sparks.keys[EZEK_VELOCITY], 0.5f), 0.0f, 3.0f, 0.0f);
	expectVec(zeSceneVectorAt(sparks.keys[EZEK_POSITION], 0.5f), 0.5f, 2.0f, 0.0f);
	ASSERT_NE(zeSceneEmitterEffect(sparks), nullptr);
	EXPECT_EQ(str(sparks.effect.filename), "shadersHV/spark.hlsl");

	const SZeSceneEmitter& trail = desc->emitters[1];
	EXPECT_EQ(trail.type, 0);
	EXPECT_EQ(str(trail.parentName), "Sparks");
	EXPECT_EQ(zeSceneInt(trail.keys[EZEK_NOZZLE]), 8);
	EXPECT_EQ(trail.keys[EZEK_CLIP_FILENAME], nullptr);
	EXPECT_EQ(zeSceneEmitterEffect(trail), nullptr);

	const SZeScenePostProc& vignette = desc->postProcs[0];
	const SZeScenePostProc& flash = desc->postProcs[1];
	EXPECT_EQ(str(vignette.effect.filename), "shadersPP/vignette.hlsl");
	EXPECT_EQ(vignette.effect.cflags, nullptr);
	EXPECT_EQ(vignette.effect.paramCount, 2);
	EXPECT_EQ(str(flash.effect.cflags), "FLASH_ADD=1");
	EXPECT_TRUE(zeScenePostProcVisible(vignette, -100.0f));
	EXPECT_FALSE(zeScenePostProcVisible(flash, 19.99f));
	EXPECT_TRUE(zeScenePostProcVisible(flash, 20.0f));
	EXPECT_TRUE(zeScenePostProcVisible(flash, 29.99f));
	EXPECT_FALSE(zeScenePostProcVisible(flash, 30.0f));
}

TEST_F(FullScene, ObjectsMeshesAndCubeMaps)
{
	const char* names[] = { "Floor", "Ball", "Dust", "Mirror" };
	const int meshes[] = { 0, 1, 1, 2 };
	for (int i = 0; i < 4; ++i)
	{
		EXPECT_EQ(str(desc->objects[i].name), names[i]);
		EXPECT_EQ(desc->objects[i].mesh, meshes[i]) << names[i];
	}
	const SZeSceneObject& ball = desc->objects[1];
	EXPECT_EQ(str(ball.xfilename), "objects/ball.obj");
	expectVec(zeSceneVectorAt(ball.position, 1.0f), 1.0f, 3.0f, 0.0f);
	expectVec(zeSceneVectorAt(ball.scale, 1.5f), 1.0f, 1.5f, 0.5f);
	ASSERT_EQ(ball.morphs.size(), 2u);
	EXPECT_EQ(str(ball.morphs[0].name), "Smile");
	EXPECT_FLOAT_EQ(zeSceneChannelAt(ball.morphs[0].weight, 1.5f), 0.75f);
	EXPECT_EQ(ball.shadowOpts, 2);
	EXPECT_EQ(ball.selectionMask, 3);
	EXPECT_EQ(str(ball.vertexTextureName), "images/ballvtx.png");
	EXPECT_EQ(ball.vertexTextureContent, 1);
	EXPECT_EQ(ball.vertexTextureFormat, 1);
	EXPECT_EQ(desc->objects[2].pointCloudCount, 500);
	EXPECT_EQ(desc->objects[0].vertexTextureName, nullptr);

	const SZeSceneObject& mirror = desc->objects[3];
	ASSERT_EQ(mirror.cubeMapUses.size(), 2u);
	EXPECT_EQ(mirror.cubeMapUses[0].cubeMap, 0);
	EXPECT_EQ(mirror.cubeMapUses[1].cubeMap, 1);
	EXPECT_NE(mirror.cubeMapUses[0].aabbScale, nullptr);
	EXPECT_EQ(mirror.cubeMapUses[1].aabbPosition, nullptr);
	EXPECT_FLOAT_EQ(zeSceneChannelAt(mirror.cubeMapUses[0].influence, 0.25f), 0.75f);

	const char* surfaces[] = { "Floor", "Floor_Edge", "Ball_Red", "Ball_Eyes", "Ball_Glass", "Mirror" };
	const int apply[] = { 3, 0, 1, 0, 3, 0 };
	const bool effect[] = { true, true, true, false, true, false };
	int s = 0;
	for (const SZeSceneMesh* mesh = &desc->meshes[0]; mesh <= &desc->meshes.getLast(); ++mesh)
	{
		for (unsigned i = 0; i < mesh->surfaces.size(); ++i, ++s)
		{
			ASSERT_LT(s, 6);
			EXPECT_EQ(str(mesh->surfaces[i].name), surfaces[s]);
			EXPECT_EQ(mesh->surfaces[i].applyToSurface, apply[s]) << surfaces[s];
			EXPECT_EQ(mesh->surfaces[i].hasEffect, effect[s]) << surfaces[s];
		}
	}
	EXPECT_EQ(s, 6);
	const SZeSceneChannel& floorColor = desc->meshes[0].surfaces[0].channels[EZSC_BASE_COLOR];
	EXPECT_EQ(str(floorColor.imgFilename), "images/tiles.png");
	EXPECT_EQ(floorColor.imgColorSpace, 1);
	EXPECT_EQ(floorColor.imgMipmap, 0);

	const SZeSceneCubeMap& near = desc->cubeMaps[0];
	const SZeSceneCubeMap& sky = desc->cubeMaps[1];
	EXPECT_EQ(str(near.name), "Mirror");
	EXPECT_EQ(near.renderType, 0);
	EXPECT_EQ(near.textureSize, 256);
	EXPECT_EQ(near.hideObject, 1);
	EXPECT_EQ(near.ownObject, 3);
	ASSERT_EQ(near.hideSet.size(), 1u);
	EXPECT_EQ(near.hideSet[0], 1);
	EXPECT_EQ(near.showSet.size(), 0u);
	expectVec(zeSceneVectorAt(near.cameraOffset, 0.5f), 0.5f, 0.0f, 0.5f);
	EXPECT_EQ(near.showVolumetric, 1);
	EXPECT_EQ(near.clampVolumetric, 1);
	EXPECT_FLOAT_EQ(near.clampVolumetricMax, 2.5f);
	// renderTime 0.5 s with the scene starting at frame 10 of 30 per second.
	EXPECT_EQ(zeSceneCubeMapCaptureTime(desc.get(), near), 166);
	EXPECT_EQ(sky.renderType, 1);
	EXPECT_EQ(sky.useLatLong, 0);
	EXPECT_EQ(sky.ownObject, -1);
	ASSERT_EQ(sky.showSet.size(), 2u);
	EXPECT_EQ(sky.showSet[0], 0);
	EXPECT_EQ(sky.showSet[1], 2);
}

TEST_F(FullScene, RenderCommands)
{
	ASSERT_TRUE(desc->hasCommands);
	ASSERT_EQ(desc->commandCount, 11);
	const char* names[] = { "HalfGlow", "ClearAll", "ClearBuffers", "Depth", "Lights", "Solid", "Transparent",
		"Particles", "Tint", "Bloom", "Final" };
	const char* kinds[] = { "Create Texture", "Clear", "Shader", "Render Objects", "Light Pass", "Render Objects",
		"Render Objects", "Render Objects", "Shader", "Shader", "Post Processing" };
	for (int i = 0; i < 11; ++i)
	{
		EXPECT_EQ(str(desc->commands[i].name), names[i]);
		EXPECT_EQ(str(desc->commands[i].cmd), kinds[i]);
	}
	const SZeSceneCommand& create = desc->commands[0];
	ASSERT_EQ(create.paramCount, 6);
	EXPECT_EQ(create.inputCount + create.outputCount, 0);
	EXPECT_EQ(create.params[0].kind, EZSPK_STRING);
	EXPECT_EQ(str(create.params[0].text), "HalfGlow[0]");
	EXPECT_EQ(str(create.params[2].name), "Size");
	EXPECT_EQ(create.params[2].kind, EZSPK_INT);
	EXPECT_EQ(create.params[2].intValue, 2);

	const SZeSceneCommandParam& clearColor = desc->commands[1].params[2];
	EXPECT_EQ(clearColor.kind, EZSPK_FLOAT3);
	EXPECT_FLOAT_EQ(clearColor.value[2], 0.4f);

	const SZeSceneCommand& tint = desc->commands[8];
	ASSERT_EQ(tint.inputCount, 2);
	EXPECT_EQ(str(tint.inputs[1].name), "s1");
	EXPECT_EQ(str(tint.inputs[1].value), "HalfGlow[0]");
	ASSERT_EQ(tint.outputCount, 1);
	EXPECT_EQ(str(tint.outputs[0].value), "BackRTT[]");
	EXPECT_EQ(tint.params[0].kind, EZSPK_EFFECT);
	EXPECT_EQ(tint.params[0].effect, 1);
	EXPECT_EQ(tint.params[2].kind, EZSPK_FLOAT);
	EXPECT_FLOAT_EQ(tint.params[3].value[0], 3.5f);
	EXPECT_EQ(desc->commands[9].params[0].effect, 2);
	EXPECT_EQ(str(desc->commands[10].outputs[0].value), "Display");
	EXPECT_EQ(desc->commands[4].paramCount, 0);

	ASSERT_EQ(desc->effectCount, 3);
	EXPECT_EQ(str(desc->effects[0].filename), "LppDepthClear.hlsl");
	EXPECT_EQ(str(desc->effects[1].filename), "shadersPP/tint.hlsl");
	EXPECT_EQ(str(desc->effects[1].cflags), "TINT_MULTIPLY=1");
	EXPECT_EQ(str(desc->effects[2].filename), "shadersPP/bloom.hlsl");
}

// Names of things the scene does not hold: a cube map use keeps its place with
// no cube map, a hide set drops the name.
TEST(SceneDescNames, UnknownCubeMapsAndObjectsAreLeftOut)
{
	DescPtr desc = fromText("{ Scene\n{ Objects\n{ A\nSTR name A\nSTR filename a.obj\n{ UseCubeMaps\n"
		"{ U0\nSTR renderCubeMap Missing\n}\n{ U1\nSTR renderCubeMap C\n}\n}\n}\n}\n"
		"{ CubeMaps\n{ C\nSTR name C\nI4 hideObject 1\n{ hideSet\nSTR a Nobody\nSTR b A\n}\nI4 useLatLong 1\n}\n}\n}\n");
	ASSERT_NE(desc, nullptr) << zeSceneDescLastError();
	const SZeSceneObject& a = desc->objects[0];
	ASSERT_EQ(a.cubeMapUses.size(), 2u);
	EXPECT_EQ(a.cubeMapUses[0].cubeMap, -1);
	EXPECT_EQ(a.cubeMapUses[1].cubeMap, 0);
	const SZeSceneCubeMap& c = desc->cubeMaps[0];
	ASSERT_EQ(c.hideSet.size(), 1u);
	EXPECT_EQ(c.hideSet[0], 0);
	EXPECT_EQ(c.useLatLong, 1);
}

// ---- Defaults and messages --------------------------------------------------
namespace
{
// A "Commands" group of `count` commands, each with the given extra lines.
std::string commandScene(int count, const std::string& body)
{
	std::string text = "{ Scene\n{ ZelvRenderCommands\n{ Commands\n";
	for (int i = 0; i < count; ++i)
		text += "{ C" + std::to_string(i) + "\nSTR cmd Clear\n" + body + "}\n";
	return text + "}\n}\n}\n";
}

// `count` children named N0, N1 ... each holding `lines`.
std::string children(const char* group, int count, const std::string& lines)
{
	std::string text = std::string("{ ") + group + "\n";
	for (int i = 0; i < count; ++i)
		text += "{ N" + std::to_string(i) + "\n" + lines + "}\n";
	return text + "}\n";
}

// Expects the scene text to be refused with `message` as the last error.
void expectRefused(const std::string& text, const char* message)
{
	EXPECT_EQ(fromText(text), nullptr) << message;
	EXPECT_STREQ(zeSceneDescLastError(), message);
}
} // namespace

TEST(SceneDescDefaults, MissingGroupsAndKeys)
{
	DescPtr desc = fromText("{ Scene\n{ SceneInfo\nI4 frameEnd 5\n}\n}\n");
	ASSERT_NE(desc, nullptr);
	EXPECT_EQ(desc->frameEnd, 5);
	EXPECT_EQ(desc->cameraCount + desc->lightCount + desc->objectCount + desc->emitterCount
		+ desc->postProcCount + desc->meshCount + desc->cubeMapCount, 0);
	EXPECT_EQ(desc->camerasGroup, nullptr);
	EXPECT_EQ(desc->lights.size(), 0u);
	EXPECT_EQ(zeSceneRenderCameraAt(desc.get(), 0.0f), -1);
	EXPECT_EQ(rgb(zeSceneBackdropColor(desc.get())), 0u);
	EXPECT_EQ(zeSceneText(desc->loadAudio), nullptr);
	const int aaDefaults[] = { 0, 1, 1, 0, 0, 0 };
	for (int i = 0; i < 6; ++i)
		EXPECT_EQ(zeSceneRenderSettingInt(desc.get(), EZRS_AA_JITTER + i), aaDefaults[i]);
	EXPECT_EQ(zeSceneRenderSettingAt(desc.get(), EZRS_AA_VLIMIT_VAL, 3.0f), 0.0f);
	EXPECT_FALSE(desc->hasCommands);
	EXPECT_EQ(desc->effectCount, 0);
}

TEST(SceneDescDefaults, ItemKeysWithoutValues)
{
	DescPtr desc = fromText("{ Scene\n"
		"{ Cameras\n{ A\nFP position 1 2 3\n}\n{ B\n}\n}\n"
		"{ Lights\n{ L\nI4 falloff 0\nFP range 40\n}\n}\n"
		"{ Objects\n{ O\nSTR name \"O\"\nSTR filename \"m\"\n}\n}\n"
		"{ SceneObjects\n{ M1\nSTR filename \"m\"\n}\n{ M2\nSTR filename \"m\"\n"
		"{ Surfaces\n{ S\n{ Parameters\n{ Bump\nSTR img_filename \"b.png\"\n}\n}\n}\n}\n}\n}\n"
		"{ SceneInfo\nFP renderCamera 3.7\n}\n}\n");
	ASSERT_NE(desc, nullptr);
	EXPECT_EQ(desc->cameras[1].width, 640);
	EXPECT_EQ(desc->cameras[1].height, 480);
	EXPECT_EQ(desc->cameras[1].flags, 0);
	expectVec(zeSceneVectorAt(desc->cameras[1].keys[EZCK_POSITION], 2.0f), 0.0f, 0.0f, 0.0f);
	EXPECT_EQ(zeSceneRenderCameraAt(desc.get(), 0.0f), 1);  // 3.7 clamped to the last camera
	EXPECT_FLOAT_EQ(zeSceneLightRangeAt(desc->lights[0], 0.0f), 10000000.0f);
	EXPECT_EQ(desc->objects[0].mesh, 1);  // the last entry of that name
	const SZeSceneChannel& bump = desc->meshes[1].surfaces[0].channels[EZSC_BUMP];
	EXPECT_EQ(bump.kind, EZSVK_NONE);
	EXPECT_EQ(bump.imgMipmap, 1);
	EXPECT_EQ(str(bump.imgFilename), "b.png");
	EXPECT_EQ(desc->meshes[1].surfaces[0].channels[EZSC_DIFFUSE].imgMipmap, 1);
}

TEST(SceneDescDefaults, ZeroFrameStepAndRateStayFinite)
{
	DescPtr desc = fromText("{ Scene\n{ SceneInfo\nI4 frameStart 12\nI4 frameStep 0\nFP framesPerSecond 0\n}\n"
		"{ CubeMaps\n{ C\nFP renderTime 2\n}\n}\n}\n");
	ASSERT_NE(desc, nullptr);
	EXPECT_EQ(zeSceneKeyIndex(desc.get(), 5000), 0.0f);
	EXPECT_EQ(zeSceneFrame(desc.get(), 5000), 12.0f);
	EXPECT_EQ(zeSceneFrameSeconds(desc.get(), 12.0f), 0.0f);
	EXPECT_EQ(zeSceneCubeMapCaptureTime(desc.get(), desc->cubeMaps[0]), 2000);
	desc->framesPerSecond = 25.0f;  // a step of 0 still gives key 0
	EXPECT_EQ(zeSceneKeyIndex(desc.get(), 2000), 0.0f);
	desc->frameStep = 2;
	EXPECT_FLOAT_EQ(zeSceneKeyIndex(desc.get(), 2000), 25.0f);
}

// Integer keys written as huge or undefined floats read as the nearest integer
// (NaN as 0) instead of whatever the conversion happens to give.
TEST(SceneDescDefaults, HugeFloatsInIntegerKeysClamp)
{
	const struct
	{
		const char* text;
		irr::s32 asInt;
		irr::s32 camera;   // of three
		irr::s32 capture;  // milliseconds of a cube map captured at that many seconds
	} cases[] = { { "1e30", INT32_MAX, 2, INT32_MAX }, { "-1e30", INT32_MIN, 0, INT32_MIN }, { "nan", 0, 0, 0 },
		{ "inf", INT32_MAX, 2, INT32_MAX }, { "-inf", INT32_MIN, 0, INT32_MIN },
		{ "2147483520", 2147483520, 2, INT32_MAX }, { "-2147483648", INT32_MIN, 0, INT32_MIN },
		{ "2147483648", INT32_MAX, 2, INT32_MAX }, { "-7.9", -7, 0, -7900 }, { "1.9", 1, 1, 1900 } };
	for (const auto& c : cases)
	{
		SCOPED_TRACE(c.text);
		const std::string v = c.text;
		for (const std::string type : { "FP ", "FP_C " })
		{
			const std::string value = type == "FP " ? v : "RUN 2 " + v;
			DescPtr desc = fromText("{ Scene\n{ SceneInfo\n" + type + "frameStart " + value + "\n" + type + "frameEnd " +
				value + "\n" + type + "frameStep " + value + "\n" + type + "renderCamera " + value + "\n}\n"
				"{ Cameras\n{ A\n" + type + "flags " + value + "\n}\n{ B\n}\n{ C\n}\n}\n"
				"{ Lights\n{ L\n" + type + "type " + value + "\n" + type + "shadMapSize " + value + "\n}\n}\n"
				"{ CubeMaps\n{ M\nFP renderTime " + v + "\n" + type + "textureSize " + value + "\n}\n}\n"
				"{ ZelvRenderSettings\n" + type + "CH_AA_MODE " + value + "\n}\n}\n");
			ASSERT_NE(desc, nullptr);
			EXPECT_EQ(desc->frameStart, c.asInt);
			EXPECT_EQ(desc->frameEnd, c.asInt);
			EXPECT_EQ(desc->frameStep, c.asInt);
			EXPECT_EQ(desc->cameras[0].flags, c.asInt);
			EXPECT_EQ(desc->lights[0].type, c.asInt);
			EXPECT_EQ(desc->lights[0].shadMapSize, c.asInt);
			EXPECT_EQ(desc->cubeMaps[0].textureSize, c.asInt);
			EXPECT_EQ(zeSceneRenderSettingInt(desc.get(), EZRS_AA_MODE), c.asInt);
			for (float key : { 0.0f, 1.0f, 1e30f, -1e30f, NAN })
				EXPECT_EQ(zeSceneRenderCameraAt(desc.get(), key), c.camera) << key;
			// With the scene starting at frame 0 the capture time is renderTime x 1000, clamped.
			desc->frameStart = 0;
			desc->framesPerSecond = 30.0f;
			EXPECT_EQ(zeSceneCubeMapCaptureTime(desc.get(), desc->cubeMaps[0]), c.capture);
		}
	}
}

TEST(SceneDescDefaults, DocumentsWithoutScene)
{
	EXPECT_EQ(fromText("{ Other\nI4 a 1\n}\n"), nullptr);
	EXPECT_EQ(fromText("I4 Scene 1\nI4 Other 2\n"), nullptr);
	EXPECT_EQ(fromText(std::string("\x01\x02 not a document at all")), nullptr);
	EXPECT_EQ(zeSceneDescLoad(samplePath("no-such-scene.zelv").c_str()), nullptr);
	EXPECT_STREQ(zeSceneDescLastError(), "");
}

TEST(SceneDescCommands, ListLimitsAndMessages)
{
	DescPtr fifty = fromText(commandScene(50, ""));
	ASSERT_NE(fifty, nullptr);
	EXPECT_EQ(fifty->commandCount, 50);
	expectRefused(commandScene(51, ""), "Renderer: too much commands");
	EXPECT_NE(fromText(commandScene(1, children("Inputs", 10, "STR name s\nSTR value t\n"))), nullptr);
	expectRefused(commandScene(1, children("Inputs", 11, "")), "Renderer: too much inputs");
	EXPECT_NE(fromText(commandScene(1, children("Outputs", 5, ""))), nullptr);
	expectRefused(commandScene(1, children("Outputs", 6, "")), "Renderer: too much outputs");
	EXPECT_NE(fromText(commandScene(1, children("Parameters", 20, "I4 value 1\n"))), nullptr);
	expectRefused(commandScene(1, children("Parameters", 21, "")), "Renderer: too much parameters");
	expectRefused(commandScene(1, children("Parameters", 1, "{ value\n}\n")), "Renderer: unknown param type");
	// A parameter needs a value or an effect; a name alone is refused.
	expectRefused(commandScene(1, children("Parameters", 1, "STR name p\n")), "Renderer: unknown param type");
	expectRefused(commandScene(2, "{ Parameters\n{ A\nI4 value 1\n}\n{ B\n}\n}\n"), "Renderer: unknown param type");
	expectRefused(commandScene(1, children("Parameters", 1, "FP_C value RUN 3 1\n")),
		"Renderer: unknown param value type");
	expectRefused(commandScene(1, children("Parameters", 1, "I4 Effect 3\n")), "Renderer: failed to create effect");
	// 50 effects fit the table; the 51st is refused.
	const std::string effect = "{ Effect\nSTR filename \"e.hlsl\"\n}\n";
	DescPtr full = fromText(commandScene(10, children("Parameters", 5, effect)));
	ASSERT_NE(full, nullptr);
	EXPECT_EQ(full->effectCount, 50);
	EXPECT_EQ(full->commands[9].params[4].effect, 49);
	expectRefused(commandScene(17, children("Parameters", 3, effect)), "Renderer: too much shaders");
	// The next load starts with an empty error.
	EXPECT_NE(fromText(commandScene(0, "")), nullptr);
	EXPECT_STREQ(zeSceneDescLastError(), "");
}

TEST(SceneDescCommands, ParameterKindsAndEmptyLists)
{
	DescPtr desc = fromText(commandScene(1, "{ Parameters\n"
		"{ A\nSTR name a\nFP value 1 2 3\n}\n{ B\nSTR name b\nFP value 0.5 7\n}\n"
		"{ C\nSTR name c\nU4 value 4294967295\n}\n{ D\nSTR name d\nSTR value \"tex\"\n}\n"
		"{ E\nSTR name e\nI4 value 9\n{ Effect\nSTR filename \"x.hlsl\"\n}\n}\n}\n"));
	ASSERT_NE(desc, nullptr);
	const SZeSceneCommandParam* p = desc->commands[0].params;
	EXPECT_EQ(p[0].kind, EZSPK_FLOAT3);
	EXPECT_FLOAT_EQ(p[0].value[1], 2.0f);
	EXPECT_EQ(p[1].kind, EZSPK_FLOAT);
	EXPECT_FLOAT_EQ(p[1].value[0], 0.5f);
	EXPECT_EQ(p[2].kind, EZSPK_INT);
	EXPECT_EQ(p[2].intValue, -1);
	EXPECT_EQ(p[3].kind, EZSPK_STRING);
	EXPECT_EQ(str(p[3].text), "tex");
	EXPECT_EQ(p[4].kind, EZSPK_EFFECT);  // "Effect" wins over "value"
	EXPECT_EQ(str(desc->effects[p[4].effect].filename), "x.hlsl");

	DescPtr empty = fromText(commandScene(0, ""));
	ASSERT_NE(empty, nullptr);
	EXPECT_TRUE(empty->hasCommands);
	EXPECT_EQ(empty->commandCount, 0);
	DescPtr none = fromText("{ Scene\n{ ZelvRenderCommands\nI4 version 1\n}\n}\n");
	ASSERT_NE(none, nullptr);
	EXPECT_FALSE(none->hasCommands);
}

// ---- Text and binary twins --------------------------------------------------
namespace
{
// Writes every field of a description, nodes with all their data, into a text.
struct Dump
{
	std::string out;
	void i(long long v) { out += std::to_string(v) + ","; }
	void f(float v) { char b[32]; snprintf(b, sizeof(b), "%.9g,", v); out += b; }
	void t(const char* v) { out += str(v) + ","; }
	void n(const ZF_Node* node)
	{
		if (!node)
			return t(nullptr);
		t(node->name);
		i(node->kind), i(node->type), i(node->count);
		if (node->kind == ZF_GROUP)
			return;
		if (node->type == ZF_STR)
			return t(ZF_GetSTR(node, 0));
		uint32_t keys = node->count;
		if (node->kind == ZF_ARRAY)
			for (uint32_t e = 0; e < node->count; ++e)
				keys = std::max(keys, node->entries[e].count);
		for (uint32_t k = 0; k < keys; ++k)
		{
			const irr::core::vector3df v = ZF_GetFP3(node, static_cast<int>(k));
			f(v.X), f(v.Y), f(v.Z);
			if (node->kind == ZF_VALUE && node->type == ZF_FP)
				f(static_cast<const float*>(node->data)[k]);
			if (node->type == ZF_I4 || node->type == ZF_U4)
				i(zeSceneIntWord(node, k));
		}
	}
	void effect(const SZeEffectRecord& e)
	{
		t(e.filename), t(e.cflags), i(e.paramCount);
		for (unsigned p = 0; p < e.params.size(); ++p)
			t(e.params[p].name), i(e.params[p].kind), n(e.params[p].value), i(e.params[p].colorSpace), i(e.params[p].reference);
	}
	void desc(const SZeSceneDesc& d)
	{
		i(d.frameStart), i(d.frameEnd), i(d.frameStep), f(d.framesPerSecond), i(d.colorSpaceViewer), i(d.colorSpace8BitFiles);
		for (const ZF_Node* g : { d.objectsGroup, d.camerasGroup, d.lightsGroup, d.emittersGroup, d.postProcsGroup,
			d.meshesGroup, d.cubeMapsGroup, d.renderCamera, d.loadAudio, d.audioStartTime, d.backdropInfo,
			ZF_GetChild(d.backdropInfo, "zenith"), d.ambient, d.glowEffect, d.glowIntensity, d.glowRadius })
			n(g);
		for (const ZF_Node* s : d.renderSettings)
			n(s);
		for (unsigned c = 0; c < d.cameras.size(); ++c)
		{
			const SZeSceneCamera& cam = d.cameras[c];
			t(cam.name), i(cam.flags), i(cam.width), i(cam.height), i(cam.usingConvergencePoint);
			for (const ZF_Node* k : cam.keys)
				n(k);
		}
		for (unsigned l = 0; l < d.lights.size(); ++l)
		{
			const SZeSceneLight& li = d.lights[l];
			t(li.name), i(li.type), i(li.flags), i(li.falloff), i(li.shadowType), i(li.shadMapSize), f(li.shadMapFuzz);
			t(li.projImage), i(li.volumetricFlags), i(li.volumetricColorOn), f(li.volumetricColor.X), f(li.shadowColor.Z);
			for (const ZF_Node* k : li.keys)
				n(k);
		}
		for (unsigned e = 0; e < d.emitters.size(); ++e)
		{
			const SZeSceneEmitter& em = d.emitters[e];
			t(em.name), i(em.type), t(em.parentName), i(em.selectionMask), i(em.hasEffect), effect(em.effect);
			for (const ZF_Node* k : em.keys)
				n(k);
		}
		for (unsigned o = 0; o < d.objects.size(); ++o)
		{
			const SZeSceneObject& ob = d.objects[o];
			t(ob.name), t(ob.xfilename), t(ob.filename), i(ob.pointCloudCount), n(ob.position), n(ob.rotation), n(ob.scale);
			i(ob.shadowOpts), i(ob.selectionMask), t(ob.vertexTextureName), i(ob.vertexTextureContent);
			i(ob.vertexTextureFormat), i(ob.mesh);
			for (unsigned m = 0; m < ob.morphs.size(); ++m)
				t(ob.morphs[m].name), n(ob.morphs[m].weight);
			for (unsigned u = 0; u < ob.cubeMapUses.size(); ++u)
			{
				const SZeSceneCubeMapUse& use = ob.cubeMapUses[u];
				t(use.cubeMapName), i(use.cubeMap), n(use.aabbPosition), n(use.aabbScale), n(use.influence);
			}
		}
		for (unsigned m = 0; m < d.meshes.size(); ++m)
		{
			t(d.meshes[m].filename);
			for (unsigned s = 0; s < d.meshes[m].surfaces.size(); ++s)
			{
				const SZeSceneSurface& su = d.meshes[m].surfaces[s];
				t(su.name), i(su.applyToSurface), i(su.hasEffect), effect(su.effect);
				for (const SZeSceneChannel& ch : su.channels)
					i(ch.kind), n(ch.value), t(ch.imgFilename), i(ch.imgColorSpace), i(ch.imgMipmap);
			}
		}
		for (unsigned c = 0; c < d.cubeMaps.size(); ++c)
		{
			const SZeSceneCubeMap& cm = d.cubeMaps[c];
			t(cm.name), i(cm.renderType), i(cm.textureSize), f(cm.renderTime), i(cm.hideObject), i(cm.ownObject);
			n(cm.position), n(cm.cameraOffset), i(cm.showVolumetric), i(cm.clampVolumetric), f(cm.clampVolumetricMax);
			i(cm.useLatLong), i(cm.hideSet.size()), i(cm.showSet.size());
		}
		for (unsigned p = 0; p < d.postProcs.size(); ++p)
		{
			const SZeScenePostProc& pp = d.postProcs[p];
			t(pp.name), i(pp.hasEffect), effect(pp.effect), i(pp.useFrame), i(pp.startFrame), i(pp.endFrame);
		}
		i(d.hasCommands), i(d.commandCount), i(d.effectCount);
		for (int c = 0; c < d.commandCount; ++c)
		{
			const SZeSceneCommand& cmd = d.commands[c];
			t(cmd.name), t(cmd.cmd), i(cmd.inputCount), i(cmd.outputCount), i(cmd.paramCount);
			for (int k = 0; k < cmd.inputCount; ++k)
				t(cmd.inputs[k].name), t(cmd.inputs[k].value);
			for (int k = 0; k < cmd.outputCount; ++k)
				t(cmd.outputs[k].name), t(cmd.outputs[k].value);
			for (int k = 0; k < cmd.paramCount; ++k)
			{
				const SZeSceneCommandParam& p = cmd.params[k];
				t(p.name), i(p.kind), f(p.value[0]), f(p.value[1]), f(p.value[2]), i(p.intValue), t(p.text), i(p.effect);
			}
		}
		for (int e = 0; e < d.effectCount; ++e)
			effect(d.effects[e]);
	}
};

std::string dumpOf(const char* name)
{
	DescPtr desc = loadSample(name);
	EXPECT_NE(desc, nullptr) << name;
	Dump dump;
	if (desc)
		dump.desc(*desc);
	return dump.out;
}
} // namespace

TEST(SceneDescTwins, TextAndBinarySamplesGiveTheSameDescription)
{
	for (const char* base : { "minimal", "full" })
	{
		SCOPED_TRACE(base);
		const std::string text = std::string(base) + ".zelv";
		const std::string binary = std::string(base) + ".zscn";
		DescPtr bin = loadSample(binary.c_str());
		ASSERT_NE(bin, nullptr);
		EXPECT_EQ(ZF_GetForm(bin->document), ZF_FORM_BINARY);
		const std::string fromText = dumpOf(text.c_str());
		EXPECT_GT(fromText.size(), 1000u);
		EXPECT_EQ(fromText, dumpOf(binary.c_str()));
	}
}
