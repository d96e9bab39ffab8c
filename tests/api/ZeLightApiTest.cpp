// The light API on the null driver: creation and its refusals, look-up
// errors, deletion, light types, colour and intensity rules, the extension
// parameters the setters write and the values they refuse.
#include "api/ZeLightApi.h"
#include "api/ZeRenderParamsApi.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeLog.h"
#include "render/IZeLightSceneNodeExt.h"
#include "render/ZeRenderFactories.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <limits>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace irr;

namespace
{
class LightApiTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		setenv("ZELV_BATCH", "1", 1);
		setenv("ZELV_DRIVER", "null", 1);
		zeInstallEngineCore();
		zeRegisterRenderFactories();
		ASSERT_EQ(zeSetup(nullptr), 0);
		C = zeGetContext();
		zeClearError();
	}

	void TearDown() override
	{
		if (SZeIdTable* table = zeGetIdTable(EZEIT_LIGHT))
			for (int id = 0; id <= zeIdTableMaxId(table); ++id)
				zeDeleteLight(id);
		zeTerm();
		unsetenv("ZELV_DRIVER");
	}

	// The pending error's text and argument number; clears it.
	static std::pair<std::string, int> takeError()
	{
		int number = 0;
		const char* text = zeGetError(&number);
		std::pair<std::string, int> result(text ? text : "", number);
		zeClearError();
		return result;
	}

	static SZeLightExtParams& params(int id)
	{
		IZeLightSceneNodeExt* ext = zeGetLightExt(zeGetLightNode(id));
		EXPECT_NE(ext, nullptr);
		static SZeLightExtParams none;
		return ext ? ext->getParams() : none;
	}

	static void expectColor(const video::SColorf& c, float r, float g, float b, float a)
	{
		EXPECT_NEAR(c.r, r, 1e-5f);
		EXPECT_NEAR(c.g, g, 1e-5f);
		EXPECT_NEAR(c.b, b, 1e-5f);
		EXPECT_NEAR(c.a, a, 1e-5f);
	}

	static void expectFloats(const f32* got, const f32* want, int n)
	{
		for (int i = 0; i < n; ++i)
			EXPECT_NEAR(got[i], want[i], 1e-5f) << "component " << i;
	}

	// Every field of the block against the expected one.
	static void expectParams(const SZeLightExtParams& got, const SZeLightExtParams& want)
	{
		EXPECT_FLOAT_EQ(got.Intensity, want.Intensity);
		expectFloats(got.Color, want.Color, 4);
		EXPECT_EQ(got.ProjectionImage, want.ProjectionImage);
		expectFloats(got.ShadowColor, want.ShadowColor, 4);
		EXPECT_EQ(got.ShadowMapSize, want.ShadowMapSize);
		EXPECT_FLOAT_EQ(got.ShadowEpsilon, want.ShadowEpsilon);
		EXPECT_FLOAT_EQ(got.ShadowMapFuzz, want.ShadowMapFuzz);
		EXPECT_EQ(got.Volumetric, want.Volumetric);
		EXPECT_FLOAT_EQ(got.VolumetricDensity, want.VolumetricDensity);
		EXPECT_EQ(got.VolumetricUseColor, want.VolumetricUseColor);
		expectFloats(got.VolumetricColor, want.VolumetricColor, 4);
		EXPECT_FLOAT_EQ(got.VolumetricBase, want.VolumetricBase);
		EXPECT_EQ(got.ClampIntensity, want.ClampIntensity);
		EXPECT_FLOAT_EQ(got.IntensityClamp, want.IntensityClamp);
		EXPECT_EQ(got.VolumetricQuality, want.VolumetricQuality);
	}

	SZeContext* C = nullptr;
};

TEST_F(LightApiTest, MakeLightGivesVisiblePointLightWithDefaults)
{
	const u32 rootChildren = C->sceneManager->getRootSceneNode()->getChildren().size();
	ASSERT_EQ(zeMakeLight(3), 0);
	EXPECT_EQ(takeError().second, -1);
	EXPECT_EQ(zeLightExist(3), 1);
	EXPECT_EQ(zeLightExist(4), 0);
	scene::ILightSceneNode* node = zeGetLightNode(3);
	ASSERT_NE(node, nullptr);
	EXPECT_EQ(node->getParent(), C->sceneManager->getRootSceneNode());
	EXPECT_EQ(C->sceneManager->getRootSceneNode()->getChildren().size(), rootChildren + 1);
	EXPECT_EQ(zeLightVisible(3), 1);
	EXPECT_EQ(node->getLightType(), video::ELT_POINT);
	EXPECT_EQ(node->getPosition(), core::vector3df(0.0f, 0.0f, 0.0f));
	// made with radius 100, then widened
	EXPECT_FLOAT_EQ(node->getLightData().Radius, 1e7f);
	expectColor(node->getLightData().DiffuseColor, 1.0f, 1.0f, 1.0f, 1.0f);
	ASSERT_NE(zeGetLightExt(node), nullptr);
	expectParams(params(3), SZeLightExtParams());
	EXPECT_EQ(zeGetLightExt(nullptr), nullptr);
}

TEST_F(LightApiTest, CreationNeverReplacesAndRefusesOutOfRangeIds)
{
	ASSERT_EQ(zeMakeLight(5), 0);
	scene::ILightSceneNode* first = zeGetLightNode(5);
	zePositionLight(5, 1.0f, 2.0f, 3.0f);
	EXPECT_EQ(zeMakeLight(5), -1);
	EXPECT_EQ(takeError(), std::make_pair(std::string("invalid Light ID 5 : id 5 already exist"), 1));
	EXPECT_EQ(zeGetLightNode(5), first);
	EXPECT_EQ(first->getPosition(), core::vector3df(1.0f, 2.0f, 3.0f));

	EXPECT_EQ(zeMakeLight(-1), -1);
	EXPECT_EQ(takeError(), std::make_pair(std::string("invalid Light ID -1 : invalid negative ID -1"), 1));
	EXPECT_EQ(zeMakeLight(1000), -1);
	EXPECT_EQ(takeError(),
		std::make_pair(std::string("invalid Light ID 1000 : invalid ID 1000 greater or equals than 1000"), 1));
	EXPECT_EQ(zeLightExist(-1), 0);
	EXPECT_EQ(zeLightExist(1000), 0);
	ASSERT_EQ(zeMakeLight(999), 0);
	EXPECT_EQ(zeLightExist(999), 1);
}

TEST_F(LightApiTest, EveryFunctionOnAMissingIdReportsArgumentOne)
{
	const std::vector<std::pair<const char*, std::function<void()>>> calls = {
		{ "zeLightVisible", [] { EXPECT_EQ(zeLightVisible(7), 0); } },
		{ "zeShowLight", [] { zeShowLight(7); } },
		{ "zeHideLight", [] { zeHideLight(7); } },
		{ "zeSetDirectionalLight", [] { zeSetDirectionalLight(7, 1, 2, 3); } },
		{ "zeSetPointLight", [] { zeSetPointLight(7, 1, 2, 3); } },
		{ "zeSetSpotLight", [] { zeSetSpotLight(7, 20, 30); } },
		{ "zePositionLight", [] { zePositionLight(7, 1, 2, 3); } },
		{ "zeRotateLight", [] { zeRotateLight(7, 1, 2, 3); } },
		{ "zeSetLightRange", [] { zeSetLightRange(7, 10); } },
		{ "zeSetLightShadow", [] { zeSetLightShadow(7, 1); } },
		{ "zeColorLight", [] { zeColorLight(7, -1); } },
		{ "zeSetLightRawColor", [] { zeSetLightRawColor(7, 1, 1, 1); } },
		{ "zeSetLightIntensity", [] { zeSetLightIntensity(7, 2); } },
		{ "zeColorLightShadow", [] { zeColorLightShadow(7, 0); } },
		{ "zeSetShadowMapSize", [] { zeSetShadowMapSize(7, 256); } },
		{ "zeSetShadowMapFuzz", [] { zeSetShadowMapFuzz(7, 1); } },
		{ "zeSetLightProjectionImage", [] { EXPECT_EQ(zeSetLightProjectionImage(7, nullptr), -1); } },
		{ "zeSetLightVolumetric", [] { zeSetLightVolumetric(7, 1); } },
		{ "zeSetLightVolumetricDensity", [] { zeSetLightVolumetricDensity(7, 2); } },
		{ "zeSetLightVolumetricColor", [] { zeSetLightVolumetricColor(7, 1, 1, 1, 1); } },
		{ "zeSetLightVolumetricBase", [] { zeSetLightVolumetricBase(7, 1); } },
		{ "zeSetLightVolumetricLimit", [] { zeSetLightVolumetricLimit(7, 1, 1); } },
		{ "zeSetLightVolumetricFlags", [] { zeSetLightVolumetricFlags(7, 2); } },
	};
	ASSERT_EQ(zeMakeLight(6), 0);
	for (const auto& call : calls)
	{
		call.second();
		EXPECT_EQ(takeError(), std::make_pair(std::string("Light ID 7 does not exist. id 7 does not exist"), 1))
			<< call.first;
	}
	zeShowLight(1000);
	EXPECT_EQ(takeError(),
		std::make_pair(std::string("Light ID 1000 does not exist. invalid ID 1000 greater or equals than 1000"), 1));
	// the exist test never reports
	EXPECT_EQ(zeLightExist(7), 0);
	EXPECT_EQ(takeError().second, -1);
	// the other light was left alone
	expectParams(params(6), SZeLightExtParams());
}

TEST_F(LightApiTest, DeleteRemovesTheNodeAndASecondDeleteIsSilent)
{
	scene::ISceneNode* root = C->sceneManager->getRootSceneNode();
	const u32 rootChildren = root->getChildren().size();
	ASSERT_EQ(zeMakeLight(2), 0);
	ASSERT_EQ(zeMakeLight(4), 0);
	scene::ILightSceneNode* kept = zeGetLightNode(4);
	zeDeleteLight(2);
	EXPECT_EQ(zeLightExist(2), 0);
	EXPECT_EQ(zeGetLightNode(2), nullptr);
	EXPECT_EQ(root->getChildren().size(), rootChildren + 1);
	EXPECT_EQ(zeGetLightNode(4), kept);
	zeDeleteLight(2);
	zeDeleteLight(-3);
	zeDeleteLight(5000);
	EXPECT_EQ(takeError().second, -1);
	// the ID can be used again
	EXPECT_EQ(zeMakeLight(2), 0);
	EXPECT_EQ(zeLightExist(2), 1);
}

TEST_F(LightApiTest, VisibilityShadowAndRange)
{
	ASSERT_EQ(zeMakeLight(1), 0);
	scene::ILightSceneNode* node = zeGetLightNode(1);
	zeHideLight(1);
	EXPECT_FALSE(node->isVisible());
	EXPECT_EQ(zeLightVisible(1), 0);
	zeShowLight(1);
	EXPECT_EQ(zeLightVisible(1), 1);
	zeSetLightShadow(1, 3);
	EXPECT_TRUE(node->getCastShadow());
	zeSetLightShadow(1, 0);
	EXPECT_FALSE(node->getCastShadow());
	zeSetLightRange(1, 250.0f);
	EXPECT_FLOAT_EQ(node->getLightData().Radius, 250.0f);
	EXPECT_EQ(takeError().second, -1);
}

TEST_F(LightApiTest, TypesPositionsAndDirectionsInDegrees)
{
	ASSERT_EQ(zeMakeLight(0), 0);
	scene::ILightSceneNode* node = zeGetLightNode(0);

	// rotating +Z by 90 degrees about X points it down, about Y along +X
	zeSetDirectionalLight(0, 90.0f, 0.0f, 0.0f);
	EXPECT_EQ(node->getLightType(), video::ELT_DIRECTIONAL);
	EXPECT_EQ(node->getRotation(), core::vector3df(90.0f, 0.0f, 0.0f));
	C->sceneManager->drawAll();
	EXPECT_TRUE(node->getLightData().Direction.equals(core::vector3df(0.0f, -1.0f, 0.0f), 1e-5f));
	zeRotateLight(0, 0.0f, 90.0f, 0.0f);
	C->sceneManager->drawAll();
	EXPECT_TRUE(node->getLightData().Direction.equals(core::vector3df(1.0f, 0.0f, 0.0f), 1e-5f));
	EXPECT_EQ(node->getLightType(), video::ELT_DIRECTIONAL);

	zeSetPointLight(0, 10.0f, -20.0f, 30.0f);
	EXPECT_EQ(node->getLightType(), video::ELT_POINT);
	C->sceneManager->drawAll();
	EXPECT_EQ(node->getLightData().Position, core::vector3df(10.0f, -20.0f, 30.0f));
	zePositionLight(0, -1.0f, 2.0f, -3.0f);
	EXPECT_EQ(node->getPosition(), core::vector3df(-1.0f, 2.0f, -3.0f));

	zeSetSpotLight(0, 20.0f, 30.0f);
	EXPECT_EQ(node->getLightType(), video::ELT_SPOT);
	EXPECT_FLOAT_EQ(node->getLightData().InnerCone, 20.0f);
	EXPECT_FLOAT_EQ(node->getLightData().OuterCone, 30.0f);
	EXPECT_EQ(node->getPosition(), core::vector3df(-1.0f, 2.0f, -3.0f));
	EXPECT_EQ(takeError().second, -1);
}

TEST_F(LightApiTest, ColourIntensityAndRawColour)
{
	ASSERT_EQ(zeMakeLight(8), 0);
	scene::ILightSceneNode* node = zeGetLightNode(8);
	SZeLightExtParams& p = params(8);

	zeSetLightIntensity(8, 3.0f);
	zeColorLight(8, static_cast<int>(0xFF804020u));
	const f32 block[4] = { 128.0f / 255, 64.0f / 255, 32.0f / 255, 1.0f };
	expectFloats(p.Color, block, 4);
	EXPECT_FLOAT_EQ(p.Intensity, 1.0f);
	expectColor(node->getLightData().DiffuseColor, block[0], block[1], block[2], 1.0f);

	zeSetLightIntensity(8, 2.0f);
	EXPECT_FLOAT_EQ(p.Intensity, 2.0f);
	expectFloats(p.Color, block, 4);
	expectColor(node->getLightData().DiffuseColor, 256.0f / 255, 128.0f / 255, 64.0f / 255, 1.0f);

	// a translucent colour keeps its alpha until the intensity is applied
	zeColorLight(8, static_cast<int>(0x80FF0000u));
	expectColor(node->getLightData().DiffuseColor, 1.0f, 0.0f, 0.0f, 128.0f / 255);
	EXPECT_NEAR(p.Color[3], 128.0f / 255, 1e-5f);
	zeSetLightIntensity(8, 0.5f);
	expectColor(node->getLightData().DiffuseColor, 0.5f, 0.0f, 0.0f, 1.0f);

	zeSetLightRawColor(8, 0.2f, 0.4f, 0.8f);
	const f32 raw[4] = { 0.2f, 0.4f, 0.8f, 1.0f };
	expectFloats(p.Color, raw, 4);
	EXPECT_FLOAT_EQ(p.Intensity, 0.5f);
	expectColor(node->getLightData().DiffuseColor, 0.1f, 0.2f, 0.4f, 1.0f);
	EXPECT_EQ(takeError().second, -1);
}

TEST_F(LightApiTest, AmbientAndBackdropColours)
{
	zeColorAmbientLight(0x00336699);
	expectColor(C->sceneManager->getAmbientLight(), 0x33 / 255.0f, 0x66 / 255.0f, 0x99 / 255.0f, 1.0f);
	zeColorAmbientLight(static_cast<int>(0x7F010203u));
	expectColor(C->sceneManager->getAmbientLight(), 1 / 255.0f, 2 / 255.0f, 3 / 255.0f, 1.0f);
	zeColorBackdrop(static_cast<int>(0x80112233u));
	EXPECT_EQ(C->backdrop.color, 0x80112233u);
}

TEST_F(LightApiTest, SettersWriteOnlyTheirExtensionParameters)
{
	ASSERT_EQ(zeMakeLight(9), 0);
	SZeLightExtParams want;
	zeColorLightShadow(9, static_cast<int>(0x40FF8000u));
	want.ShadowColor[0] = 1.0f;
	want.ShadowColor[1] = 128.0f / 255;
	want.ShadowColor[2] = 0.0f;
	want.ShadowColor[3] = 64.0f / 255;
	expectParams(params(9), want);
	zeSetShadowMapSize(9, 1024);
	want.ShadowMapSize = 1024;
	zeSetShadowMapFuzz(9, 2.5f);
	want.ShadowMapFuzz = 2.5f;
	expectParams(params(9), want);
	zeSetLightVolumetric(9, 5);
	want.Volumetric = true;
	zeSetLightVolumetricDensity(9, 0.25f);
	want.VolumetricDensity = 0.25f;
	params(9).VolumetricColor[3] = 0.3f;  // the setter forces alpha 1
	zeSetLightVolumetricColor(9, 7, 0.1f, 0.2f, 0.3f);
	want.VolumetricUseColor = true;
	want.VolumetricColor[0] = 0.1f;
	want.VolumetricColor[1] = 0.2f;
	want.VolumetricColor[2] = 0.3f;
	want.VolumetricColor[3] = 1.0f;
	zeSetLightVolumetricBase(9, -4.0f);
	want.VolumetricBase = -4.0f;
	zeSetLightVolumetricLimit(9, 2, 3.5f);
	want.ClampIntensity = true;
	want.IntensityClamp = 3.5f;
	zeSetLightVolumetricFlags(9, 3);
	want.VolumetricQuality = 3;
	expectParams(params(9), want);

	zeSetLightVolumetric(9, 0);
	want.Volumetric = false;
	zeSetLightVolumetricColor(9, 0, 0.5f, 0.5f, 0.5f);
	want.VolumetricUseColor = false;
	want.VolumetricColor[0] = want.VolumetricColor[1] = want.VolumetricColor[2] = 0.5f;
	zeSetLightVolumetricLimit(9, 0, 1000000.0f);
	want.ClampIntensity = false;
	want.IntensityClamp = 1000000.0f;
	expectParams(params(9), want);
	EXPECT_EQ(takeError().second, -1);
}

TEST_F(LightApiTest, ProjectionImageLoadsWithoutMipMapsAndClears)
{
	ASSERT_EQ(zeMakeLight(2), 0);
	char dir[] = "/tmp/zelv-light-XXXXXX";
	ASSERT_NE(mkdtemp(dir), nullptr);
	const std::string file = std::string(dir) + "/proj.bmp";
	video::IImage* image = C->driver->createImage(video::ECF_A8R8G8B8, core::dimension2d<u32>(4, 4));
	image->fill(video::SColor(0xFFFF0000u));
	ASSERT_TRUE(C->driver->writeImageToFile(image, file.c_str()));
	image->drop();

	const std::string missing = std::string(dir) + "/none.bmp";
	EXPECT_EQ(zeSetLightProjectionImage(2, missing.c_str()), -1);
	EXPECT_EQ(takeError(), std::make_pair("Light ID 2 failed to load projection image " + missing, 2));
	EXPECT_EQ(params(2).ProjectionImage, nullptr);

	for (bool mipMaps : { true, false })
	{
		C->driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, mipMaps);
		EXPECT_EQ(zeSetLightProjectionImage(2, file.c_str()), 0);
		EXPECT_EQ(C->driver->getTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS), mipMaps);
	}
	video::ITexture* texture = params(2).ProjectionImage;
	ASSERT_NE(texture, nullptr);
	EXPECT_EQ(texture->getName().getPath(), io::path(file.c_str()));
	EXPECT_EQ(takeError().second, -1);

	// a failed load keeps the current image
	EXPECT_EQ(zeSetLightProjectionImage(2, missing.c_str()), -1);
	EXPECT_EQ(params(2).ProjectionImage, texture);
	takeError();
	EXPECT_EQ(zeSetLightProjectionImage(2, nullptr), 0);
	EXPECT_EQ(params(2).ProjectionImage, nullptr);
	EXPECT_EQ(takeError().second, -1);

	unlink(file.c_str());
	rmdir(dir);
}
} // namespace

TEST_F(LightApiTest, SettersRefuseValuesThatAreNoNumbersWithTheirArgumentAndChangeNothing)
{
	ASSERT_EQ(zeMakeLight(4), 0);
	zeSetSpotLight(4, 10.0f, 20.0f);
	scene::ILightSceneNode* node = zeGetLightNode(4);
	const auto state = [&] {
		const video::SLight& d = node->getLightData();
		const SZeLightExtParams& p = params(4);
		return std::vector<f32>{static_cast<f32>(node->getLightType()), d.Radius, d.InnerCone, d.OuterCone,
			d.DiffuseColor.b, node->getPosition().Z, node->getRotation().Y, p.Intensity, p.ShadowMapFuzz,
			p.VolumetricDensity, p.VolumetricColor[1], p.VolumetricBase, p.IntensityClamp, C->render.shadowEpsilon};
	};
	const std::vector<f32> before = state();
	const f32 nan = std::numeric_limits<f32>::quiet_NaN(), inf = std::numeric_limits<f32>::infinity();
	const struct
	{
		std::function<void()> Call;
		std::string Message;
		int Argument;
	} cases[] = {
		{[&] { zeSetDirectionalLight(4, 0, nan, 0); }, "Light ID 4: rotation y nan is not a finite number", 3},
		{[&] { zeSetPointLight(4, inf, 0, 0); }, "Light ID 4: position x inf is not a finite number", 2},
		{[&] { zeSetSpotLight(4, -1, 30); }, "Light ID 4: inner cone -1 is not an angle from 0 to 180 degrees", 2},
		{[&] { zeSetSpotLight(4, 10, 180.5f); }, "Light ID 4: outer cone 180.5 is not an angle from 0 to 180 degrees", 3},
		{[&] { zePositionLight(4, 0, 0, -inf); }, "Light ID 4: position z -inf is not a finite number", 4},
		{[&] { zeRotateLight(4, nan, 0, 0); }, "Light ID 4: rotation x nan is not a finite number", 2},
		{[&] { zeSetLightRange(4, inf); }, "Light ID 4: range inf is not a finite number of 0 or more", 2},
		{[&] { zeSetLightRange(4, -1); }, "Light ID 4: range -1 is not a finite number of 0 or more", 2},
		{[&] { zeSetLightRawColor(4, 1, 1, nan); }, "Light ID 4: blue nan is not a finite number", 4},
		{[&] { zeSetLightIntensity(4, inf); }, "Light ID 4: intensity inf is not a finite number", 2},
		{[&] { zeSetShadowMapFuzz(4, nan); }, "Light ID 4: shadow-map fuzz nan is not a finite number", 2},
		{[&] { zeSetLightVolumetricDensity(4, nan); }, "Light ID 4: volumetric density nan is not a finite number", 2},
		{[&] { zeSetLightVolumetricColor(4, 1, 0, nan, 0); }, "Light ID 4: volumetric green nan is not a finite number", 4},
		{[&] { zeSetLightVolumetricBase(4, -inf); }, "Light ID 4: volumetric base -inf is not a finite number", 2},
		{[&] { zeSetLightVolumetricLimit(4, 0, nan); }, "Light ID 4: volumetric limit nan is not a finite number", 3},
		{[&] { zeSetShadowEpsilon(nan); }, "Shadow epsilon nan is not a finite number", 1},
	};
	for (const auto& c : cases)
	{
		c.Call();
		EXPECT_EQ(takeError(), std::make_pair(c.Message, c.Argument));
		EXPECT_EQ(state(), before) << c.Message;
	}
	// The ends of what they take; negative intensities make lights that darken.
	zeSetLightRange(4, 0);
	zeSetSpotLight(4, 0, 180);
	zeSetLightIntensity(4, -2);
	EXPECT_EQ(takeError().second, -1);
	EXPECT_FLOAT_EQ(node->getLightData().DiffuseColor.r, -2);
}
