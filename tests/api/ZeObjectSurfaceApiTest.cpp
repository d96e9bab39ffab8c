// The object surface API and effects compiled for object surfaces, on the NULL
// driver over a recording effect service and a renderer that adds a macro.
#include "ZeApiTestFixture.h"

#include "api/SZeApiItems.h"
#include "api/ZeEffectApi.h"
#include "api/ZeObjectSurfaceApi.h"
#include "core/IZeCubeMap.h"
#include "core/IZeRenderer.h"
#include "render/CZeSurfaceLightwave.h"
#include "frame/ZeIdTable.h"
#include "render/IZeSceneNodeExt.h"

#include <fstream>
#include <functional>

using namespace irr;
using namespace zetest;

namespace
{
// A renderer that compiles every material with its own file and one macro,
// and refuses when there is no room for the macro and the terminator.
class MacroRenderer : public IZeRenderer
{
public:
	bool render(video::ITexture*) override { return true; }
	bool getMaterialEffect(core::stringc& effectFile, SZeMacro* macros, u32& macroCount,
		video::E_MATERIAL_TYPE materialType) override
	{
		Types.push_back(materialType);
		if (Refuse || macroCount < 2)
			return false;
		effectFile = File;
		macros[0] = SZeMacro{"USE_OUTDEPTH", nullptr};
		macros[1] = SZeMacro{nullptr, nullptr};
		macroCount = 1;
		return true;
	}
	core::stringc File = "Renderer.hlsl";
	bool Refuse = false;
	std::vector<video::E_MATERIAL_TYPE> Types;
};

// A LightWave surface whose macros never fit.
class CrowdedSurface : public CZeSurfaceLightwave
{
public:
	bool getEffectCompileParameters(s32&, SZeMacro*, u32&, scene::ISceneNode*) override { return false; }
};

// A surface record: every channel of no kind, no texture.
SZeSurfaceDesc record()
{
	SZeSurfaceDesc r = {};
	for (SZeSurfaceChannel& c : r.channels)
		c.kind = EZSVK_NONE;
	return r;
}

class SurfaceApiTest : public EffectApiTest
{
protected:
	void SetUp() override
	{
		EffectApiTest::SetUp();
		if (HasFatalFailure())
			return;
		Box = Tmp + "/box.obj";
		std::ofstream(Tmp + "/box.mtl") << "newmtl red\nKd 1 0 0\nnewmtl blue\nKd 0 0 1\n";
		std::ofstream(Box) << "mtllib box.mtl\nv -1 -2 -3\nv 1 -2 -3\nv 1 2 3\nv -1 2 3\n"
			"usemtl red\nf 1 2 3\nusemtl blue\nf 1 3 4\n";
		ASSERT_EQ(zeLoadObject(Box.c_str(), 1), 0) << takeError();
		Ext = zeGetNodeExt(zeGetObjectNode(1));
		ASSERT_TRUE(Ext);
		ASSERT_EQ(Ext->getMaterialCount(), 2u);
		Renderer = new MacroRenderer();
		zeSetCurrentRenderer(Renderer);
		zeClearError();
	}
	void TearDown() override
	{
		zeSetCurrentRenderer(nullptr);
		if (Renderer)
			Renderer->drop();
		EffectApiTest::TearDown();
	}
	// An object whose node has no extension.
	void addBareObject(int id)
	{
		SZeObjectItem* bare = static_cast<SZeObjectItem*>(std::calloc(1, sizeof(SZeObjectItem)));
		bare->node = zeGetContext()->sceneManager->addEmptySceneNode();
		ASSERT_EQ(zeIdTableAdd(zeGetIdTable(EZEIT_OBJECT), id, bare), 0);
	}
	IZeSurfaceLightwave* surface(u32 i) { return static_cast<IZeSurfaceLightwave*>(Ext->getMaterialSurface(i)); }

	std::string Box;
	IZeSceneNodeExt* Ext = nullptr;
	MacroRenderer* Renderer = nullptr;
};

TEST(SurfaceChannels, NamesGiveTheirIndexExactly)
{
	EXPECT_EQ(zeGetSurfaceParamIndex("Bump"), 8);
	EXPECT_EQ(zeGetSurfaceParamIndex("bump"), -1);
	EXPECT_EQ(zeGetSurfaceParamIndex("Bump "), -1);
	EXPECT_EQ(zeGetSurfaceParamIndex(""), -1);
	EXPECT_EQ(zeGetSurfaceParamIndex(nullptr), -1);
	for (u32 i = 0; i < ZE_LIGHTWAVE_CHANNEL_COUNT; ++i)
	{
		EXPECT_EQ(zeGetSurfaceParamIndex(getLightwaveChannelName(i)), static_cast<int>(i));
		EXPECT_EQ(zeFindSurfaceParam(getLightwaveChannelName(i)), static_cast<int>(i));
	}
	EXPECT_EQ(zeGetSurfaceParamIndex("BaseColor"), 0);
	EXPECT_EQ(zeGetSurfaceParamIndex("VertexNormal"), 38);
	EXPECT_EQ(zeFindSurfaceParam("ReflectionImage"), 35);
}

TEST_F(SurfaceApiTest, ChannelSettersWriteTheSurfaceAndReportBadObjectsSurfacesAndChannels)
{
	EXPECT_EQ(zeGetObjectSurface(1, 1), Ext->getMaterialSurface(1));
	zeSetObjectSurfaceParamFloat(1, 1, EZELW_GLOSSINESS, 0.25f);
	zeSetObjectSurfaceParamInt(1, 1, EZELW_SIDEDNESS, 3);
	zeSetObjectSurfaceParamFloat3(1, 0, EZELW_BASE_COLOR, 0.1f, 0.2f, 0.3f);
	EXPECT_EQ(takeError(), "");
	EXPECT_FLOAT_EQ(surface(1)->getParamFloat(EZELW_GLOSSINESS), 0.25f);
	EXPECT_EQ(surface(1)->getParamInt(EZELW_SIDEDNESS), 3);
	EXPECT_FLOAT_EQ(surface(0)->getParam(EZELW_BASE_COLOR).Value[2], 0.3f);
	const std::string image = writeImage("colour.png");
	zeSetObjectSurfaceParamTex(1, 0, EZELW_BASE_COLOR, image.c_str());
	zeSetObjectSurfaceParamTex(1, 1, EZELW_REFLECTION_IMAGE, image.c_str());
	EXPECT_EQ(takeError(), "");
	EXPECT_NE(surface(0)->getParamTexture(EZELW_BASE_COLOR), nullptr);
	EXPECT_EQ(surface(1)->getParamTexture(EZELW_REFLECTION_IMAGE), surface(0)->getParamTexture(EZELW_BASE_COLOR))
		<< "a reflection image that is no cube image is the same 2D texture";

	addBareObject(2);

	const struct
	{
		std::function<void()> Call;
		const char* Message;
		int Code;
	} failures[] = {
		{[] { zeGetObjectSurface(9, 0); }, "Object ID 9 does not exist", 1},
		{[] { zeGetObjectSurface(2, 0); }, "Object ID 2 unexpected format (no node extension)", 1},
		{[] { zeGetObjectSurface(1, 2); }, "Object ID 1 has no surface 2", 2},
		{[] { zeGetObjectSurface(1, -1); }, "Object ID 1 has no surface -1", 2},
		{[] { zeSetObjectSurfaceParamFloat(1, 5, 2, 1); }, "Object ID 1 has no surface 5", 2},
		{[] { zeSetObjectSurfaceParamFloat(9, 0, 2, 1); }, "Object ID 9 does not exist", 1},
		{[] { zeSetObjectSurfaceParamInt(2, 0, 2, 1); }, "Object ID 2 unexpected format (no node extension)", 1},
		{[] { zeSetObjectSurfaceParamFloat(1, 0, 39, 1); }, "Surface parameter 39 does not exist", 3},
		{[] { zeSetObjectSurfaceParamInt(1, 0, -1, 1); }, "Surface parameter -1 does not exist", 3},
		{[] { zeSetObjectSurfaceParamFloat3(1, 0, 1000, 1, 1, 1); }, "Surface parameter 1000 does not exist", 3},
		{[] { zeSetObjectSurfaceParamTex(1, 0, 39, "x.png"); }, "Surface parameter 39 does not exist", 3},
		{[] { zeSetObjectSurfaceParamTex(1, 0, 0, "missing.png"); }, "Texture does not exist 'missing.png'", 4},
		{[] { zeSetObjectSurfaceEffect(1, 0, 9); }, "Effect ID 9 does not exist. id 9 does not exist", 3},
		{[] { zeSetObjectSurfaceEffect(1, 3, 9); }, "Object ID 1 has no surface 3", 2},
		{[] { zeSetObjectSurfaceEffectTechnique(9, 0, 1); }, "Object ID 9 does not exist", 1},
		{[] { zeUpdateObjectFromSurfaces(2); }, "Object ID 2 unexpected format (no node extension)", 1},
		{[] { zeUpdateObjectSurfaces(9, 0, nullptr, 1); }, "Object ID 9 does not exist", 1},
		{[] { zeUpdateObjectSurfaces(2, 0, nullptr, 1); }, "Object ID 2 unexpected format (no node extension)", 1},
		{[] { zeSetObjectSurfaceEffectTechnique(2, 0, 1); }, "Object ID 2 unexpected format (no node extension)", 1},
	};
	for (const auto& f : failures)
	{
		int code = 0;
		f.Call();
		EXPECT_EQ(takeError(&code), f.Message);
		EXPECT_EQ(code, f.Code) << f.Message;
	}
	EXPECT_NE(surface(0)->getParamTexture(EZELW_BASE_COLOR), nullptr) << "a missing file changes nothing";
	EXPECT_FLOAT_EQ(surface(1)->getParamFloat(EZELW_GLOSSINESS), 0.25f);

	// Effects and techniques per surface, and the materials rebuilt.
	ASSERT_EQ(zeLoadEffect("surface.hlsl", 4), 0);
	zeSetObjectSurfaceEffect(1, 1, 4);
	zeSetObjectSurfaceEffectTechnique(1, 1, 1);
	zeUpdateObjectFromSurfaces(1);
	EXPECT_EQ(takeError(), "");
	EXPECT_EQ(Ext->getMaterialEffect(1), zeGetEffect(4));
	EXPECT_EQ(Ext->getMaterialEffect(0), nullptr);
	EXPECT_EQ(Ext->getMaterialRecord(1)->Technique, 1);
}

TEST_F(SurfaceApiTest, EffectsForAnObjectSurfaceCompileWithTheSurfacesThenTheRenderersMacros)
{
	surface(0)->setParamFloat(EZELW_TRANSPARENCY, 0.5f);
	ASSERT_EQ(zeLoadEffectForObjectSurface("object.hlsl", 3, 1, 0), 0) << takeError();
	const FakeCreation& call = Fx->Calls.back();
	EXPECT_EQ(call.File, "object.hlsl");
	EXPECT_EQ(call.BaseMaterialType, 13) << "the surface's material type";
	EXPECT_EQ(call.Macros, (Pairs{{"USE_TRANSPARENT", "<none>"}, {"USE_OUTDEPTH", "<none>"}}));
	EXPECT_EQ(Renderer->Types.back(), video::EMT_TRANSPARENT_ALPHA_CHANNEL);
	EXPECT_EQ(Ext->getMaterialEffect(0), nullptr) << "the effect is the caller's to use";

	const struct
	{
		std::function<void()> Call;
		const char* Message;
		int Code;
	} failures[] = {
		{[] { zeLoadEffectForObjectSurface("o.hlsl", 5, 9, 0); }, "Object ID 9 does not exist", 3},
		{[] { zeLoadEffectForObjectSurface("o.hlsl", 5, 1, 2); }, "Invalid surface ID 2 for the Object ID 1", 4},
		{[] { zeLoadEffectForObjectSurface("o.hlsl", 5, 1, -1); }, "Invalid surface ID -1 for the Object ID 1", 4},
		{[] { zeLoadEffectForObjectSurface("o.hlsl", 3, 1, 0); }, "invalid effect ID 3 : id 3 already exist", 2},
		{[&] {
			 Renderer->Refuse = true;
			 zeLoadEffectForObjectSurface("o.hlsl", 5, 1, 0);
			 Renderer->Refuse = false;
		 },
			"Failed to get the renderer effect", -1},
		{[&] {
			 CrowdedSurface* crowded = new CrowdedSurface();
			 Ext->setMaterialSurface(1, crowded);
			 crowded->drop();
			 zeLoadEffectForObjectSurface("o.hlsl", 5, 1, 1);
		 },
			"Failed to get the effect compile parameters", -1},
	};
	for (const auto& f : failures)
	{
		int code = 0;
		f.Call();
		EXPECT_EQ(takeError(&code), f.Message);
		EXPECT_EQ(code, f.Code) << f.Message;
	}
	EXPECT_EQ(zeEffectExist(5), 0);
	addBareObject(2);
	int code = 0;
	zeLoadEffectForObjectSurface("o.hlsl", 5, 2, 0);
	EXPECT_EQ(takeError(&code), "Object ID 2 does not have node extension");
	EXPECT_EQ(code, 3);
}

TEST_F(SurfaceApiTest, RecompilingAppliesRecordsUntilAMaterialIsMissing)
{
	std::filesystem::create_directories(Tmp + "/shaders");
	std::ofstream(Tmp + "/shaders/Renderer.hlsl") << "// the renderer's\n";
	std::ofstream(Tmp + "/shaders/Own.hlsl") << "// a surface's own\n";
	SZeSurfaceDesc records[3] = {record(), record(), record()};
	records[0].channels[EZELW_BASE_COLOR].kind = EZSVK_VECTOR;
	records[0].channels[EZELW_BASE_COLOR].value[0] = 0.5f;
	records[0].channels[EZELW_GLOSSINESS].kind = EZSVK_FLOAT;
	records[0].channels[EZELW_GLOSSINESS].value[0] = 0.75f;
	records[0].channels[EZELW_TRANSPARENCY].kind = EZSVK_FLOAT;
	records[0].channels[EZELW_TRANSPARENCY].value[0] = 0.5f;
	records[1].channels[EZELW_SIDEDNESS].kind = EZSVK_INT;
	records[1].channels[EZELW_SIDEDNESS].intValue = 3;
	records[1].hasEffect = 1;
	records[1].effect = describe("Own.hlsl", {flt("Gain", 2)}, "EXTRA=1 MORE");
	records[2].channels[EZELW_DIFFUSE].kind = EZSVK_FLOAT;
	const size_t Calls = Fx->Calls.size();
	const int Alive = FakeEffectManager::Alive;

	int code = 0;
	zeUpdateObjectSurfaces(1, 3, records, 1);
	EXPECT_EQ(takeError(&code), "Object ID 1 has no surface 2, cannot SetSurfaces");
	EXPECT_EQ(code, 1);
	EXPECT_FLOAT_EQ(surface(0)->getParam(EZELW_BASE_COLOR).Value[0], 0.5f);
	EXPECT_FLOAT_EQ(surface(0)->getParamFloat(EZELW_GLOSSINESS), 0.75f);
	EXPECT_EQ(surface(1)->getParamInt(EZELW_SIDEDNESS), 3);
	ASSERT_EQ(Fx->Calls.size() - Calls, 2u);

	// Without a shader of its own, the renderer's file with the surface's and
	// the renderer's macros; with one, its file with its macros last.
	const FakeCreation& first = Fx->Calls[Calls];
	EXPECT_EQ(first.File, Tmp + "/shaders/Renderer.hlsl");
	EXPECT_EQ(first.BaseMaterialType, 13);
	EXPECT_EQ(first.Macros, (Pairs{{"USE_TRANSPARENT", "<none>"}, {"USE_OUTDEPTH", "<none>"}}));
	const FakeCreation& second = Fx->Calls[Calls + 1];
	EXPECT_EQ(second.File, Tmp + "/shaders/Own.hlsl");
	EXPECT_EQ(second.BaseMaterialType, 0);
	EXPECT_EQ(second.Macros, (Pairs{{"USE_OUTDEPTH", "<none>"}, {"EXTRA", "1"}, {"MORE", "<none>"}}));
	ASSERT_NE(Ext->getMaterialEffect(0), nullptr);
	FakeEffect* own = static_cast<FakeEffect*>(Ext->getMaterialEffect(1));
	ASSERT_NE(own, nullptr);
	EXPECT_EQ(std::string(own->getFileName()), Tmp + "/shaders/Own.hlsl");
	EXPECT_EQ(own->Values["Gain"], std::vector<f32>{2}) << "the record's shader parameters";
	EXPECT_EQ(FakeEffectManager::Alive, Alive + 2) << "the materials hold the only references";

	// Without compile only values and shader parameters change.
	records[1].effect.params[0].value[0] = 5;
	records[0].channels[EZELW_GLOSSINESS].value[0] = 0.25f;
	zeUpdateObjectSurfaces(1, 2, records, 0);
	EXPECT_EQ(takeError(), "");
	EXPECT_EQ(Fx->Calls.size() - Calls, 2u);
	EXPECT_EQ(own->Values["Gain"], std::vector<f32>{5});
	EXPECT_FLOAT_EQ(surface(0)->getParamFloat(EZELW_GLOSSINESS), 0.25f);
	EXPECT_EQ(Ext->getMaterialEffect(1), own);
}

// A cube map that only stands on a node extension.
class StandingCubeMap : public IZeCubeMap
{
public:
	bool create(u32, ze::ECOLOR_FORMAT, bool) override { return false; }
	bool render(IZeRenderer*, const core::vector3df&) override { return false; }
	void clear() override {}
	video::ITexture* getTexture() const override { return nullptr; }
	bool isRendered() const override { return false; }
	const core::vector3df& getPosition() const override { return Position; }
	video::ITexture* getCubeTexture() const override { return nullptr; }
	video::ITexture* getLatLongTexture() const override { return nullptr; }
	core::vector3df Position;
};

TEST_F(SurfaceApiTest, ANodeCubeMapWithoutAReflectionImageCompilesAsTheReflection)
{
	StandingCubeMap* map = new StandingCubeMap();
	Ext->setCubeMap(map);
	map->drop();
	ASSERT_NE(Ext->getCubeMapTexture(), nullptr);
	SZeSurfaceDesc records[2] = {record(), record()};
	for (SZeSurfaceDesc& r : records)
	{
		r.channels[EZELW_REFLECTION_OPTIONS].kind = EZSVK_INT;
		r.channels[EZELW_REFLECTION_OPTIONS].intValue = 2;
	}
	const std::string image = writeImage("sky.png");
	records[1].channels[EZELW_REFLECTION_IMAGE].imgFilename = image.c_str();
	const size_t calls = Fx->Calls.size();
	zeUpdateObjectSurfaces(1, 2, records, 1);
	EXPECT_EQ(takeError(), "");
	ASSERT_EQ(Fx->Calls.size() - calls, 2u);
	EXPECT_EQ(Fx->Calls[calls].Macros,
		(Pairs{{"USE_TEX_REFLECIMG", "<none>"}, {"USE_NODECUBEMAP", "<none>"}, {"USE_OUTDEPTH", "<none>"}}));
	EXPECT_EQ(surface(0)->getParamTexture(EZELW_REFLECTION_IMAGE), Ext->getCubeMapTexture());
	EXPECT_EQ(Fx->Calls[calls + 1].Macros, (Pairs{{"USE_TEX_REFLECIMG", "<none>"}, {"USE_OUTDEPTH", "<none>"}}))
		<< "a reflection image of its own is no node cube map";
}

TEST_F(SurfaceApiTest, RecompileFailuresReportPerSurfaceAndGoOn)
{
	std::filesystem::create_directories(Tmp + "/shaders");
	std::ofstream(Tmp + "/shaders/Renderer.hlsl") << "// the renderer's\n";
	g_boxes.clear();
	zeSetMessageBoxHook(captureBox);
	SZeSurfaceDesc records[2] = {record(), record()};
	records[0].channels[EZELW_BASE_COLOR].imgFilename = "nowhere.png";
	records[0].channels[EZELW_BASE_COLOR].imgColorSpace = 1;
	records[1].hasEffect = 1;
	records[1].effect = describe("Broken.hlsl", {flt("Gain", 1)});
	surface(0)->setParamTexture(EZELW_BASE_COLOR, zeGetContext()->driver->getTexture(writeImage("old.png").c_str()));
	Fx->Failing = {"Broken"};
	int code = 0;
	zeUpdateObjectSurfaces(1, 1, records, 1);
	EXPECT_EQ(takeError(&code), "Object ID 1, Surf 0, Param 0: texture 'nowhere.png' not found");
	EXPECT_EQ(code, 3);
	EXPECT_EQ(surface(0)->getParamTexture(EZELW_BASE_COLOR), nullptr) << "a missing texture leaves the channel empty";
	EXPECT_EQ(surface(0)->getParam(EZELW_BASE_COLOR).SRGB, 1);
	g_boxes.clear();
	zeUpdateObjectSurfaces(1, 2, records, 1);
	EXPECT_EQ(takeError(&code), "Object ID 1, Surf 1 : Failed to compile effect Broken.hlsl");
	EXPECT_EQ(code, 3);
	EXPECT_EQ(g_boxes, (std::vector<std::string>{"Object ID 1, Surf 0, Param 0: texture 'nowhere.png' not found",
		"Object ID 1, Surf 1 : Failed to compile effect Broken.hlsl"}));
	EXPECT_NE(Ext->getMaterialEffect(0), nullptr) << "the first surface compiled";
	EXPECT_EQ(Ext->getMaterialEffect(1), nullptr);

	Renderer->Refuse = true;
	zeUpdateObjectSurfaces(1, 1, records, 1);
	EXPECT_EQ(takeError(&code), "Object ID 1, Surf 0 : Failed to get the renderer effect");
	EXPECT_EQ(code, 3);
	Renderer->Refuse = false;
	CrowdedSurface* crowded = new CrowdedSurface();
	Ext->setMaterialSurface(0, crowded);
	crowded->drop();
	zeUpdateObjectSurfaces(1, 1, records, 1);
	EXPECT_EQ(takeError(&code), "Object ID 1, Surf 0 : Failed to get the effect compile parameters");
	EXPECT_EQ(code, 3);

	// The record's shader on the material's new effect: textures with compile only.
	records[1].effect = describe("given.fx", {tex("Map", "gone.png")});
	zeUpdateObjectSurfaces(1, 2, records, 1);
	EXPECT_EQ(takeError(&code), "Object ID 1 Surface 1: failed to set textures of shader 'given.fx'");
	EXPECT_EQ(code, 3);
	records[1].effect = describe("given.fx", {flt("Missing", 1), tex("Map", "gone.png")});
	g_log.clear();
	zeUpdateObjectSurfaces(1, 2, records, 1);
	EXPECT_EQ(logLinesWith("Object ID 1 Surface 1: failed to set textures of shader 'given.fx'"), 1);
	EXPECT_EQ(takeError(&code), "Object ID 1 Surface 1: failed to set parameters of shader 'given.fx'");
	EXPECT_EQ(code, 3);
	g_log.clear();
	zeUpdateObjectSurfaces(1, 2, records, 0);
	EXPECT_EQ(logLinesWith("failed to set textures"), 0);
	EXPECT_EQ(takeError(&code), "Object ID 1 Surface 1: failed to set parameters of shader 'given.fx'");
}
} // namespace
