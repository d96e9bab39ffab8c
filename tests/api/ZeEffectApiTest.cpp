// The effect and camera-effect APIs and the shader-description routines on the
// NULL driver, over a recording effect service. Error boxes stay on here: the
// tests catch them through the message-box hook.
#include "ZeApiTestFixture.h"

#include "api/SZeApiItems.h"
#include "api/ZeApiItems.h"
#include "api/ZeCameraEffectApi.h"
#include "api/ZeEffectApi.h"
#include "api/ZeShaderDescApi.h"
#include "frame/ZeIdTable.h"
#include "frame/ZeLog.h"

#include <fstream>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using namespace irr;
using namespace zetest;

namespace
{
TEST(ShaderMacros, TokensSplitAtBlanksAndTheFirstEqualsAndAppendAfterTheLastPair)
{
	SZeMacroList list;
	EXPECT_EQ(list.capacity(), 100u);
	EXPECT_EQ(zeParseShaderMacros(list, "A B=1 C=x=y"), 3u);
	EXPECT_EQ(pairs(list), (Pairs{{"A", "<none>"}, {"B", "1"}, {"C", "x=y"}}));
	EXPECT_EQ(list.data()[3].Name, nullptr);
	EXPECT_EQ(list.data()[3].Definition, nullptr);

	EXPECT_EQ(zeParseShaderMacros(list, "  \tD=  E= \n"), 2u);
	EXPECT_EQ(pairs(list), (Pairs{{"A", "<none>"}, {"B", "1"}, {"C", "x=y"}, {"D", ""}, {"E", ""}}));
	EXPECT_EQ(zeParseShaderMacros(list, ""), 0u);
	EXPECT_EQ(zeParseShaderMacros(list, nullptr), 0u);
	EXPECT_EQ(list.count(), 5u);

	// Pairs put in place by others (a surface's) are followed, not overwritten.
	SZeMacroList surface(ZE_SURFACE_MACRO_PAIRS);
	surface.data()[0] = SZeMacro{"USE_TEX_COLOR", nullptr};
	EXPECT_EQ(zeParseShaderMacros(surface, "X=2"), 1u);
	EXPECT_EQ(pairs(surface), (Pairs{{"USE_TEX_COLOR", "<none>"}, {"X", "2"}}));

	// The parsed texts are the list's own: the caller's text may go.
	std::string text = "LONG_NAME=value";
	SZeMacroList own(4);
	zeParseShaderMacros(own, text.c_str());
	text.assign(text.size(), '#');
	EXPECT_EQ(pairs(own), (Pairs{{"LONG_NAME", "value"}}));
}

TEST(ShaderMacros, ListsAndTextsAreBoundedAndTheCutIsLogged)
{
	g_log.clear();
	zeSetLogSink(captureLog);
	std::string text;
	for (int i = 0; i < 150; ++i)
		text += "M" + std::to_string(i) + " ";
	ASSERT_LT(text.size(), ZE_SHADER_MACRO_TEXT);
	SZeMacroList list(100);
	EXPECT_EQ(zeParseShaderMacros(list, text.c_str()), 99u);
	EXPECT_EQ(list.count(), 99u);
	EXPECT_EQ(list.data()[98].Name, std::string("M98"));
	EXPECT_EQ(list.data()[99].Name, nullptr) << "the last pair stays the terminator";
	EXPECT_EQ(logLinesWith("51 left out"), 1);
	EXPECT_EQ(zeParseShaderMacros(list, "MORE"), 0u);

	// A text past its bound is read only up to it.
	std::string longText(2 * ZE_SHADER_MACRO_TEXT, 'A');
	longText[ZE_SHADER_MACRO_TEXT - 2] = ' ';
	SZeMacroList cut;
	EXPECT_EQ(zeParseShaderMacros(cut, longText.c_str()), 2u);
	EXPECT_EQ(std::string(cut.data()[1].Name), "A") << "one character left before the bound";
	EXPECT_EQ(logLinesWith("cut to 1000"), 1);

	SZeMacroList tiny(1);
	EXPECT_EQ(zeParseShaderMacros(tiny, "A"), 0u);
	EXPECT_EQ(tiny.data()[0].Name, nullptr);
	zeSetLogSink(nullptr);
}

TEST_F(EffectApiTest, LoadingByIdReportsRefusedIdsAndTheServicesFirstErrorLine)
{
	ASSERT_EQ(zeLoadEffect("a.hlsl", 3), 0);
	EXPECT_EQ(zeEffectExist(3), 1);
	IZeEffect* first = zeGetEffect(3);
	ASSERT_TRUE(first);
	EXPECT_EQ(Fx->Calls.back().BaseMaterialType, -1);
	EXPECT_TRUE(Fx->Calls.back().Macros.empty());

	int code = 0;
	EXPECT_EQ(zeLoadEffect("a.hlsl", 3), -1);
	EXPECT_EQ(takeError(&code), "invalid effect ID 3 : id 3 already exist");
	EXPECT_EQ(code, 2);
	EXPECT_EQ(zeGetEffect(3), first);
	EXPECT_EQ(zeLoadEffect("a.hlsl", 1000), -1);
	EXPECT_EQ(takeError(&code), "invalid effect ID 1000 : invalid ID 1000 greater or equals than 1000");
	EXPECT_EQ(zeLoadEffect("a.hlsl", -2), -1);
	EXPECT_EQ(takeError(&code), "invalid effect ID -2 : invalid negative ID -2");

	// A file that does not build: the ID is free again, the reason is the
	// service's first line; a silenced log shows the compiler's error and is
	// silenced again afterwards.
	Fx->Failing = {"broken"};
	zeSetLogLevel(EZELL_NONE);
	g_log.clear();
	EXPECT_EQ(zeLoadEffectFile(4, "broken.hlsl", 13, nullptr), -1);
	EXPECT_EQ(zeGetLogLevel(), EZELL_NONE);
	zeSetLogLevel(EZELL_INFO);
	EXPECT_EQ(takeError(&code), "Failed to load effect 'broken.hlsl' : broken.hlsl:3: fake reason");
	EXPECT_EQ(code, 1);
	EXPECT_EQ(logLinesWith("broken.hlsl:3: fake reason"), 1) << "logged while loading";
	EXPECT_EQ(logLinesWith("Failed to load effect"), 0) << "the pending error is logged at the silenced level";
	EXPECT_EQ(zeEffectExist(4), 0);
	EXPECT_EQ(Fx->Calls.back().BaseMaterialType, 13);
	ASSERT_EQ(zeLoadEffect("fine.hlsl", 4), 0);

	// Macros reach the service as given.
	SZeMacroList macros;
	zeParseShaderMacros(macros, "A=1 B");
	ASSERT_EQ(zeLoadEffectFile(5, "m.hlsl", -1, macros.data()), 0);
	EXPECT_EQ(Fx->Calls.back().Macros, (Pairs{{"A", "1"}, {"B", "<none>"}}));

	// Deleting drops the effect and frees the ID; a missing ID is ignored.
	const int alive = FakeEffectManager::Alive;
	zeDeleteEffect(5);
	EXPECT_EQ(FakeEffectManager::Alive, alive - 1);
	EXPECT_EQ(zeEffectExist(5), 0);
	EXPECT_EQ(zeGetEffect(5), nullptr);
	zeDeleteEffect(5);
	zeDeleteEffect(-1);
	EXPECT_EQ(takeError(), "");
}

TEST_F(EffectApiTest, ConstantsAndTexturesAreSetByNameWithTheirMessages)
{
	ASSERT_EQ(zeLoadEffect("c.hlsl", 1), 0);
	FakeEffect* fx = effect(1);
	int code = 0;

	zeSetEffectConstantFloat(1, "Gain", 2.5f);
	zeSetEffectConstantInteger(1, "Count", 7);
	zeSetEffectConstantBoolean(1, "Flag", 3);
	const float weights[4] = {1, 2, 3, 4};
	zeSetEffectConstantFloatN(1, "Weights", weights, 4);
	EXPECT_EQ(takeError(), "");
	EXPECT_EQ(fx->Values["Gain"], std::vector<f32>{2.5f});
	EXPECT_EQ(fx->Values["Count"], std::vector<f32>{7});
	EXPECT_EQ(fx->Values["Flag"], std::vector<f32>{1});
	EXPECT_EQ(fx->Values["Weights"], (std::vector<f32>{1, 2, 3, 4}));

	const struct
	{
		std::function<void()> Call;
		const char* Message;
		int Code;
	} failures[] = {
		{[] { zeSetEffectConstantFloat(9, "Gain", 1); }, "Effect ID 9 does not exist. id 9 does not exist", 1},
		{[] { zeSetEffectConstantInteger(9, "Count", 1); }, "Effect ID 9 does not exist. id 9 does not exist", 1},
		{[] { zeSetEffectConstantBoolean(9, "Flag", 1); }, "Effect ID 9 does not exist. id 9 does not exist", 1},
		{[] { zeSetEffectConstantFloatN(9, "Weights", nullptr, 0); }, "Effect ID 9 does not exist. id 9 does not exist", 1},
		{[] { zeSetEffectTexture(9, "Map", "x.png"); }, "Effect ID 9 does not exist. id 9 does not exist", 1},
		{[] { zeSetEffectShaderParams(9, nullptr, 1); }, "Effect ID 9 does not exist. id 9 does not exist", 1},
		{[] { zeSetEffectConstantFloat(1, "Missing", 1); }, "Unknown constant 'Missing'", 2},
		{[] { zeSetEffectConstantInteger(1, "Missing", 1); }, "Unknown constant 'Missing'", 2},
		{[] { zeSetEffectConstantBoolean(1, "Missing", 1); }, "Unknown constant 'Missing'", 2},
		{[] { zeSetEffectConstantFloatN(1, "Missing", nullptr, 0); }, "Unknown constant 'Missing'", 2},
		{[&] { zeSetEffectConstantFloatN(1, "Weights", weights, 5); }, "failed to set value for constant 'Weights'", 2},
		{[] { zeSetEffectConstantFloat(1, "Map", 1); }, "failed to set value for constant 'Map'", 2},
		{[] { zeSetEffectTexture(1, "Nothing", "x.png"); }, "Unknown texture 'Nothing'", 2},
		{[] { zeSetEffectTexture(1, "Map", "missing.png"); }, "failed to load texture 'missing.png' ", 3},
	};
	for (const auto& f : failures)
	{
		f.Call();
		EXPECT_EQ(takeError(&code), f.Message);
		EXPECT_EQ(code, f.Code) << f.Message;
	}
	EXPECT_EQ(fx->Values["Weights"], (std::vector<f32>{1, 2, 3, 4})) << "a refused value changes nothing";
	EXPECT_EQ(fx->Values.count("Missing"), 0u);

	// A texture file for the sampler; a missing one clears the sampler.
	const std::string image = writeImage("tex.png");
	zeSetEffectTexture(1, "Map", image.c_str());
	EXPECT_EQ(takeError(), "");
	ASSERT_NE(fx->Textures["Map"], nullptr);
	zeSetEffectTexture(1, "Map", "missing.png");
	EXPECT_EQ(takeError(&code), "failed to load texture 'missing.png' ");
	EXPECT_EQ(fx->Textures["Map"], nullptr);
	zeSetEffectTexture(1, "Map", image.c_str());
	fx->Refused.insert("Map");
	zeSetEffectTexture(1, "Map", image.c_str());
	EXPECT_EQ(takeError(&code), "failed to set texture '" + image + "'");
	EXPECT_EQ(code, 2);
	// A cube sampler asks for a cube texture: a 2D file is none.
	zeSetEffectTexture(1, "Sky", image.c_str());
	EXPECT_EQ(takeError(&code), "failed to load texture '" + image + "' ");
}

TEST_F(EffectApiTest, ShaderDescriptionsSetEveryParameterTheyCanAndReportTheRest)
{
	ASSERT_EQ(zeLoadEffect("d.hlsl", 2), 0);
	FakeEffect* fx = effect(2);
	SZeShaderParam odd = flt("Gain", 0);
	odd.kind = 7;
	const SZeShaderDesc desc = describe("d.fx",
		{vec("Tint", 1, 2, 3), odd, flt("Missing", 1), flt("Gain", 0.5f), integer("Count", 4), tex("Map", "")});
	int code = 0;
	EXPECT_EQ(zeSetShaderParams(fx, &desc), 1);
	EXPECT_EQ(takeError(&code), "d.fx: no effect param with name 'Missing'");
	EXPECT_EQ(code, -1);
	EXPECT_EQ(logLinesWith("d.fx: shader param 'Gain' unknown type 7"), 1);
	EXPECT_EQ(logLinesWith("d.fx: no effect param with name 'Missing'"), 1);
	EXPECT_EQ(fx->Values["Tint"], (std::vector<f32>{1, 2, 3}));
	EXPECT_EQ(fx->Values["Gain"], std::vector<f32>{0.5f}) << "parameters after a failed one are still set";
	EXPECT_EQ(fx->Values["Count"], std::vector<f32>{4});
	EXPECT_EQ(fx->TextureSets, 0) << "textures are set apart";
	const SZeShaderDesc good = describe("g.fx", {flt("Gain", 1.5f), tex("Map", "")});
	EXPECT_EQ(zeSetShaderParams(fx, &good), 0);
	fx->Refused.insert("Count");
	const SZeShaderDesc refused = describe("r.fx", {integer("Count", 1)});
	EXPECT_EQ(zeSetShaderParams(fx, &refused), 0) << "a refused value is the effect's business";
	EXPECT_EQ(logLinesWith("WARN : r.fx: effect refused the value of shader param 'Count'"), 1);

	// Textures: by file (sRGB as the parameter says), by name, cleared by an
	// empty value or a texture that is not found; the rest go on.
	const std::string image = writeImage("desc.png");
	const SZeShaderDesc textures = describe("t.fx", {tex("Map", image.c_str(), 1), tex("Nothing", "x.png")});
	EXPECT_EQ(zeSetShaderTextures(fx, &textures), 0) << "samplers the effect lacks are not its business";
	video::ITexture* loaded = fx->Textures["Map"];
	ASSERT_NE(loaded, nullptr);
	EXPECT_TRUE(fx->TextureSRGB["Map"]);
	const SZeShaderDesc byName = describe("n.fx", {tex("Map", loaded->getName().getPath().c_str(), 0, 1),
		tex("Sky", "no-such-texture", 0, 1)});
	fx->Textures["Map"] = nullptr;
	EXPECT_EQ(zeSetShaderTextures(fx, &byName), 1);
	EXPECT_EQ(fx->Textures["Map"], loaded);
	EXPECT_FALSE(fx->TextureSRGB["Map"]);
	EXPECT_EQ(logLinesWith("n.fx: failed to find texture 'no-such-texture' of shader param Sky"), 1);
	const SZeShaderDesc failing = describe("f.fx", {tex("Map", "gone.png"), tex("Sky", "")});
	EXPECT_EQ(zeSetShaderTextures(fx, &failing), 1);
	EXPECT_EQ(takeError(&code), "f.fx: failed to load texture 'gone.png' of shader param Map");
	EXPECT_EQ(code, -1);
	EXPECT_EQ(fx->Textures["Map"], nullptr) << "a texture not found leaves the sampler empty";
	EXPECT_EQ(fx->Textures.count("Sky"), 1u);
	EXPECT_EQ(fx->Textures["Sky"], nullptr);
	fx->Refused.insert("Map");
	const SZeShaderDesc refusedTexture = describe("s.fx", {tex("Map", "")});
	EXPECT_EQ(zeSetShaderTextures(fx, &refusedTexture), 1);
	EXPECT_EQ(logLinesWith("s.fx: failed to set texture '' of shader param Map"), 1);

	// Through an effect ID: the two summary messages.
	zeClearError();
	zeSetEffectShaderParams(2, &failing, 1);
	EXPECT_EQ(logLinesWith("Effect ID 2: failed to set textures of shader 'f.fx'"), 1);
	EXPECT_EQ(takeError(&code), "Effect ID 2: failed to set textures of shader 'f.fx'");
	EXPECT_EQ(code, 2);
	zeSetEffectShaderParams(2, &desc, 0);
	EXPECT_EQ(takeError(&code), "Effect ID 2: failed to set parameters of shader 'd.fx'");
	EXPECT_EQ(code, 2);
	EXPECT_EQ(logLinesWith("Effect ID 2: failed to set textures of shader 'd.fx'"), 0) << "textures not asked for";
}

TEST_F(EffectApiTest, ApplyingADescriptionLoadsItsFileFromTheDataFoldersWithItsMacros)
{
	std::filesystem::create_directories(Tmp + "/shaders");
	std::ofstream(Tmp + "/shaders/look.hlsl") << "// found by name\n";
	const SZeShaderDesc desc = describe("look.hlsl", {flt("Gain", 3)}, "USE_A LEVEL=2");
	ASSERT_EQ(zeApplyShaderDescription(6, &desc), 0) << takeError();
	EXPECT_EQ(Fx->Calls.back().File, Tmp + "/shaders/look.hlsl");
	EXPECT_EQ(Fx->Calls.back().BaseMaterialType, -1);
	EXPECT_EQ(Fx->Calls.back().Macros, (Pairs{{"USE_A", "<none>"}, {"LEVEL", "2"}}));
	EXPECT_EQ(effect(6)->Values["Gain"], std::vector<f32>{3});

	int code = 0;
	EXPECT_EQ(zeApplyShaderDescription(6, &desc), -1);
	EXPECT_EQ(takeError(&code), "invalid effect ID 6 : id 6 already exist");
	Fx->Failing = {"look"};
	EXPECT_EQ(zeApplyShaderDescription(7, &desc), -1);
	EXPECT_EQ(takeError(&code).rfind("Failed to load effect '" + Tmp + "/shaders/look.hlsl' : ", 0), 0u);
	EXPECT_EQ(code, 1);
	EXPECT_EQ(zeEffectExist(7), 0);
}

// ---- Camera effects -------------------------------------------------------------
class CameraEffectApiTest : public EffectApiTest
{
protected:
	std::vector<IZeEffect*> enabled()
	{
		core::array<IZeEffect*> effects;
		effects.push_back(nullptr);  // emptied first
		zeGetEnabledCameraEffects(effects);
		return std::vector<IZeEffect*>(effects.pointer(), effects.pointer() + effects.size());
	}
	// Camera effects 1 to n, each on an effect of its own (effect IDs 11 to 10 + n).
	void makeCameraEffects(int n)
	{
		for (int i = 1; i <= n; ++i)
		{
			ASSERT_EQ(zeLoadEffect(("camera" + std::to_string(i) + ".hlsl").c_str(), 10 + i), 0);
			ASSERT_EQ(zeMakeCameraEffect(i, 10 + i), 0) << takeError();
		}
	}
	IZeEffect* of(int id) { return zeGetEffect(10 + id); }
};

TEST_F(CameraEffectApiTest, TheEnabledListKeepsTheOrderOfEnabling)
{
	makeCameraEffects(4);
	EXPECT_TRUE(enabled().empty()) << "camera effects are made off";
	zeShowCameraEffect(3);
	zeShowCameraEffect(1);
	zeShowCameraEffect(2);
	EXPECT_EQ(enabled(), (std::vector<IZeEffect*>{of(3), of(1), of(2)}));
	zeHideCameraEffect(1);
	EXPECT_EQ(enabled(), (std::vector<IZeEffect*>{of(3), of(2)}));
	zeShowCameraEffect(1);
	zeShowCameraEffect(1);
	zeShowCameraEffect(3);
	EXPECT_EQ(enabled(), (std::vector<IZeEffect*>{of(3), of(2), of(1)})) << "enabling twice adds nothing";
	zeHideCameraEffect(4);
	zeHideCameraEffect(4);
	zeDeleteCameraEffect(3);
	EXPECT_EQ(enabled(), (std::vector<IZeEffect*>{of(2), of(1)})) << "a deleted camera effect leaves the list";
	EXPECT_EQ(zeCameraEffectExist(3), 0);
	zeShowCameraEffect(4);
	EXPECT_EQ(enabled(), (std::vector<IZeEffect*>{of(2), of(1), of(4)}));
	EXPECT_EQ(takeError(), "");
	EXPECT_TRUE(g_boxes.empty());

	// The list and the items disagree (only a fault could do it): the error box.
	g_boxes.clear();
	zeSetMessageBoxHook(captureBox);
	SZeCameraEffectItem* item = static_cast<SZeCameraEffectItem*>(zePeekApiItem(EZEIT_CAMERA_EFFECT, 2));
	ASSERT_TRUE(item);
	zeHideCameraEffect(2);
	item->enabled = 1;
	zeHideCameraEffect(2);
	EXPECT_EQ(item->enabled, 0);
	EXPECT_EQ(logLinesWith("remove enabled FAILED to find ID=2 in enabled list"), 1);
	ASSERT_EQ(g_boxes.size(), 1u);
	EXPECT_EQ(g_boxes[0], "remove enabled FAILED to find ID=2 in enabled list");
	EXPECT_EQ(takeError(), "") << "not a pending API error";
}

TEST_F(CameraEffectApiTest, CameraEffectsHoldTheirEffectAndReportTheirIds)
{
	makeCameraEffects(1);
	IZeEffect* source = of(1);
	int code = 0;
	EXPECT_EQ(zeMakeCameraEffect(2, 99), -1);
	EXPECT_EQ(takeError(&code), "Effect ID 99 does not exist. id 99 does not exist");
	EXPECT_EQ(code, 2);
	EXPECT_EQ(zeCameraEffectExist(2), 0);
	EXPECT_EQ(zeMakeCameraEffect(1, 11), -1);
	EXPECT_EQ(takeError(&code), "invalid Camera Effect ID 1 : id 1 already exist");
	EXPECT_EQ(code, 1);
	EXPECT_EQ(zeMakeCameraEffect(1000, 11), -1);
	EXPECT_EQ(takeError(&code), "invalid Camera Effect ID 1000 : invalid ID 1000 greater or equals than 1000");

	// The camera effect keeps its effect when the effect's ID goes.
	const int alive = FakeEffectManager::Alive;
	zeDeleteEffect(11);
	EXPECT_EQ(FakeEffectManager::Alive, alive);
	zeShowCameraEffect(1);
	EXPECT_EQ(enabled(), std::vector<IZeEffect*>{source});
	zeDeleteCameraEffect(1);
	EXPECT_EQ(FakeEffectManager::Alive, alive - 1);
	zeDeleteCameraEffect(1);

	for (auto call : {+[] { zeSetCameraEffectPriority(5, 1); }, +[] { zeShowCameraEffect(5); },
		     +[] { zeHideCameraEffect(5); }, +[] { zeSetCameraEffectShaderParams(5, nullptr, 1); }})
	{
		call();
		EXPECT_EQ(takeError(&code), "Camera Effect ID 5 does not exist. id 5 does not exist");
		EXPECT_EQ(code, 1);
	}

	makeCameraEffects(1);
	zeSetCameraEffectPriority(1, 42);
	EXPECT_EQ(static_cast<SZeCameraEffectItem*>(zePeekApiItem(EZEIT_CAMERA_EFFECT, 1))->priority, 42);
	SZeShaderParam odd = flt("Gain", 1);
	odd.kind = 9;
	const SZeShaderDesc desc = describe("cam.fx", {odd, tex("Map", "gone.png")});
	const SZeShaderDesc textureOnly = describe("tex.fx", {tex("Map", "gone.png")});
	zeSetCameraEffectShaderParams(1, &textureOnly, 1);
	EXPECT_EQ(takeError(&code), "Camera Effect ID 1: failed to set textures of shader 'tex.fx'");
	EXPECT_EQ(code, 2);
	zeSetCameraEffectShaderParams(1, &desc, 1);
	EXPECT_EQ(logLinesWith("Camera Effect ID 1: failed to set textures of shader 'cam.fx'"), 1);
	EXPECT_EQ(takeError(&code), "Camera Effect ID 1: failed to set parameters of shader 'cam.fx'");
	EXPECT_EQ(code, 2);
}

TEST_F(CameraEffectApiTest, CompilingAFileFindsItInTheDataFoldersOrReportsInABox)
{
	std::filesystem::create_directories(Tmp + "/shadersPP");
	std::ofstream(Tmp + "/shadersPP/blur.hlsl") << "// found by name\n";
	ASSERT_EQ(zeCompileCameraEffect(4, "blur.hlsl", "TAPS=5 WIDE"), 0) << takeError();
	EXPECT_EQ(Fx->Calls.back().File, Tmp + "/shadersPP/blur.hlsl");
	EXPECT_EQ(Fx->Calls.back().BaseMaterialType, -1);
	EXPECT_EQ(Fx->Calls.back().Macros, (Pairs{{"TAPS", "5"}, {"WIDE", "<none>"}}));
	ASSERT_EQ(zeMakeCameraEffectFromFile(5, "blur.hlsl"), 0);
	EXPECT_TRUE(Fx->Calls.back().Macros.empty());
	EXPECT_EQ(zeCameraEffectExist(5), 1);

	int code = 0;
	EXPECT_EQ(zeMakeCameraEffectFromFile(5, "blur.hlsl"), -1);
	EXPECT_EQ(takeError(&code), "invalid Camera Effect ID 5 : id 5 already exist");
	EXPECT_EQ(code, 1);
	g_boxes.clear();
	zeSetMessageBoxHook(captureBox);
	Fx->Failing = {"blur"};
	EXPECT_EQ(zeCompileCameraEffect(6, "blur.hlsl", ""), -1);
	EXPECT_EQ(takeError(&code), "Camera Effect ID 6 : Failed to compile effect blur.hlsl");
	EXPECT_EQ(code, 2);
	ASSERT_EQ(g_boxes.size(), 1u);
	EXPECT_EQ(g_boxes[0], "Camera Effect ID 6 : Failed to compile effect blur.hlsl");
	EXPECT_EQ(zeCameraEffectExist(6), 0);
}

// A second set-up in one process starts with no camera effects and no stale
// enabled entries; the effects of the first are all released. An entry whose
// camera effect has gone some other way is skipped, and does not come back
// for a new camera effect under its ID.
TEST_F(CameraEffectApiTest, ASecondSetUpStartsClean)
{
	makeCameraEffects(3);
	zeShowCameraEffect(1);
	zeShowCameraEffect(2);
	zeShowCameraEffect(3);
	SZeCameraEffectItem* gone = static_cast<SZeCameraEffectItem*>(zePeekApiItem(EZEIT_CAMERA_EFFECT, 1));
	ASSERT_EQ(zeIdTableRemove(zeGetIdTable(EZEIT_CAMERA_EFFECT), 1), 0);
	gone->effect->drop();
	std::free(gone);
	EXPECT_EQ(enabled(), (std::vector<IZeEffect*>{of(2), of(3)}));
	zeTerm();
	EXPECT_EQ(FakeEffectManager::Alive, 0);
	core::array<IZeEffect*> effects;
	zeGetEnabledCameraEffects(effects);
	EXPECT_EQ(effects.size(), 0u);
	setUp();
	EXPECT_TRUE(enabled().empty());
	EXPECT_EQ(zeCameraEffectExist(2), 0);
	makeCameraEffects(1);
	EXPECT_TRUE(enabled().empty()) << "a new camera effect under an old ID is made off";
	zeShowCameraEffect(1);
	EXPECT_EQ(enabled(), std::vector<IZeEffect*>{of(1)});
}
} // namespace
