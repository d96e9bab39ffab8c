// LightWave and HyperVoxel surfaces: channels, materials, effect macros and the
// surface manager on the NULL driver; texture binds into real effects on GL.
#include "ZeRenderTestUtil.h"
#include "libext/ZeXMesh.h"
#include "render/CZeSceneNodeExt.h"
#include "render/CZeSurfaceManager.h"
#include "render/IZeSurfaceLightwave.h"
#include "render/IZeSurfaceLightwaveHV.h"

#include <algorithm>
#include <cstring>

using namespace irr;
using zetest::linesWith;
using zetest::logLines;

namespace
{
typedef std::vector<std::string> Names;
const char* const NO_SPACE_LW = "CZeSurfaceLightwave::getEffectCompileParameters Not enough space for macros";
const char* const NO_SPACE_HV = "CZeSurfaceLightwaveHV::getEffectCompileParameters Not enough space for macros";

// The engine log reaches the device's logger; this receiver keeps its lines.
struct LogCapture : IEventReceiver
{
	bool OnEvent(const SEvent& event) override
	{
		if (event.EventType != EET_LOG_TEXT_EVENT)
			return false;
		logLines().push_back(event.LogEvent.Text);
		return true;
	}
};

// The macros of a surface for a capacity and node, checking the list's form.
bool macrosOf(IZeSurface* surface, Names* names, s32* type, u32 capacity = 20, scene::ISceneNode* node = nullptr)
{
	SZeMacro macros[32];
	std::memset(macros, 0xcd, sizeof(macros));
	u32 count = capacity;
	names->clear();
	if (!surface->getEffectCompileParameters(*type, macros, count, node))
		return false;
	for (u32 i = 0; i < count; ++i)
	{
		EXPECT_EQ(macros[i].Definition, nullptr);
		names->push_back(macros[i].Name);
	}
	EXPECT_TRUE(macros[count].Name == nullptr && macros[count].Definition == nullptr);
	return true;
}
Names macros(IZeSurface* surface, scene::ISceneNode* node = nullptr, s32* type = nullptr)
{
	Names names;
	s32 t = -1;
	EXPECT_TRUE(macrosOf(surface, &names, type ? type : &t, 20, node));
	return names;
}

IZeSurfaceLightwave* newLightwave(IZeSurfaceManager* m)
{
	return static_cast<IZeSurfaceLightwave*>(m->createSurfaceByType(ZE_SURFACE_LIGHTWAVE));
}

class SurfaceNull : public ::testing::Test
{
protected:
	void SetUp() override
	{
		setenv("ZELV_DRIVER", "null", 1);
		zeInstallEngineCore();
		ASSERT_EQ(zeSetup(nullptr), 0) << zeGetError(nullptr);
		Driver = zeGetContext()->driver;
		zeGetContext()->device->setEventReceiver(&Capture);
		logLines().clear();
		Manager = zeCreateSurfaceManager(nullptr);
		Lw = newLightwave(Manager);
		Hv = static_cast<IZeSurfaceLightwaveHV*>(Manager->createSurfaceByType(ZE_SURFACE_LIGHTWAVE_HV));
		ASSERT_TRUE(Lw && Hv);
	}
	void TearDown() override
	{
		if (Lw)
			Lw->drop();
		if (Hv)
			Hv->drop();
		delete Manager;
		zeGetContext()->device->setEventReceiver(nullptr);
		zeTerm();
		unsetenv("ZELV_DRIVER");
	}
	video::ITexture* texture(const char* name) { return Driver->addTexture(core::dimension2du(2, 2), name); }

	video::IVideoDriver* Driver = nullptr;
	LogCapture Capture;
	IZeSurfaceManager* Manager = nullptr;
	IZeSurfaceLightwave* Lw = nullptr;
	IZeSurfaceLightwaveHV* Hv = nullptr;
};
} // namespace

TEST_F(SurfaceNull, ManagerCreatesByTypeCodeOrNameAndHandsOverTheReference)
{
	const u32 lwsr = u32('l') | u32('w') << 8 | u32('s') << 16 | u32('r') << 24;
	const u32 lwhv = u32('l') | u32('w') << 8 | u32('h') << 16 | u32('v') << 24;
	EXPECT_EQ(Lw->getType(), lwsr);
	EXPECT_EQ(Hv->getType(), lwhv);
	EXPECT_EQ(Lw->getReferenceCount(), 1);
	CZeSurfaceManager* own = static_cast<CZeSurfaceManager*>(Manager);
	for (const std::pair<const char*, u32>& named : {std::make_pair("lightwave", lwsr), {"lightwave_hv", lwhv}})
	{
		IZeSurface* s = own->createSurfaceByName(named.first);
		ASSERT_TRUE(s && s->getType() == named.second && s->getReferenceCount() == 1) << named.first;
		s->drop();
	}
	EXPECT_EQ(Manager->createSurfaceByType(u32('r') | u32('s') << 8 | u32('w') << 16 | u32('l') << 24), nullptr);
	EXPECT_EQ(Manager->createSurfaceByType(0), nullptr);
	EXPECT_EQ(own->createSurfaceByName("LightWave"), nullptr);
	EXPECT_EQ(own->createSurfaceByName(nullptr), nullptr);
}

TEST_F(SurfaceNull, LightwaveChannelsDefaultsSettersAndCopies)
{
	const std::map<u32, f32> defaults = {{EZELW_BASE_COLOR, 0.78f}, {EZELW_DIFFUSE, 1.0f}, {EZELW_BUMP, 1.0f},
		{EZELW_GLOSSINESS, 0.4f}, {EZELW_LINE_SIZE, 1.0f}, {EZELW_VERTEX_COLORING, 1.0f}};
	for (u32 i = 0; i < ZE_LIGHTWAVE_CHANNEL_COUNT; ++i)
	{
		const SZeLightwaveChannel& c = Lw->getParam(i);
		const f32 v = defaults.count(i) ? defaults.at(i) : 0.0f;
		EXPECT_FLOAT_EQ(c.Value[0], v) << getLightwaveChannelName(i);
		EXPECT_FLOAT_EQ(c.Value[2], i == EZELW_BASE_COLOR ? v : 0.0f) << getLightwaveChannelName(i);
		EXPECT_TRUE(c.Texture == nullptr && c.SRGB == 0 && c.Word == 0);
	}
	EXPECT_STREQ(getLightwaveChannelName(EZELW_REFLECTION_IMAGE), "ReflectionImage");
	EXPECT_STREQ(getLightwaveChannelName(ZE_LIGHTWAVE_CHANNEL_COUNT), "");
	EXPECT_FALSE(Lw->hasNormalMap());

	video::ITexture* t = texture("t");
	SZeLightwaveChannel block[ZE_LIGHTWAVE_CHANNEL_COUNT];
	std::memcpy(block, Lw->getParams(), sizeof(block));
	for (u32 i : {39u, 40u, 1000u})
	{
		Lw->setParamFloat(i, 5.0f);
		Lw->setParamInt(i, 7);
		Lw->setParamFloat3(i, 1, 2, 3);
		Lw->setParamTexture(i, t);
		Lw->setParamFlag(i, 1);
	}
	EXPECT_EQ(std::memcmp(block, Lw->getParams(), sizeof(block)), 0);
	// Getters answer an empty channel past the last one.
	for (u32 i : {39u, 40u, 1000u, 0xFFFFFFFFu})
	{
		EXPECT_EQ(Lw->getParamFloat(i), 0.0f) << i;
		EXPECT_EQ(Lw->getParamInt(i), 0) << i;
		EXPECT_EQ(Lw->getParamTexture(i), nullptr) << i;
		const SZeLightwaveChannel& none = Lw->getParam(i);
		EXPECT_TRUE(none.Value[0] == 0.0f && none.Value[1] == 0.0f && none.Value[2] == 0.0f && none.Word == 0 &&
			none.Texture == nullptr && none.SRGB == 0) << i;
	}
	Lw->setParamInt(EZELW_SIDEDNESS, 3);
	Lw->setParamFloat3(EZELW_LINE_COLOR, 0.1f, 0.2f, 0.3f);
	Lw->setParamTexture(EZELW_BUMP, t);
	Lw->setParamFlag(EZELW_BUMP, 1);
	EXPECT_TRUE(Lw->getParamInt(EZELW_SIDEDNESS) == 3 && Lw->getParam(EZELW_LINE_COLOR).Value[1] == 0.2f);
	EXPECT_TRUE(Lw->getParamTexture(EZELW_BUMP) == t && Lw->getParam(EZELW_BUMP).SRGB == 1);
	EXPECT_TRUE(Lw->hasNormalMap());

	// setParams and clone copy the whole block; later changes stay apart.
	std::memcpy(block, Lw->getParams(), sizeof(block));
	block[EZELW_IOR].Value[0] = 1.5f;
	IZeSurfaceLightwave* other = newLightwave(Manager);
	other->setParams(block);
	block[EZELW_IOR].Value[0] = 9.0f;
	EXPECT_FLOAT_EQ(other->getParamFloat(EZELW_IOR), 1.5f);
	IZeSurfaceLightwave* copy = static_cast<IZeSurfaceLightwave*>(other->clone());
	EXPECT_EQ(copy->getReferenceCount(), 1);
	EXPECT_EQ(std::memcmp(copy->getParams(), other->getParams(), sizeof(block)), 0);
	other->setParamFloat(EZELW_IOR, 2.0f);
	EXPECT_FLOAT_EQ(copy->getParamFloat(EZELW_IOR), 1.5f);
	copy->drop();
	other->drop();
}

TEST_F(SurfaceNull, LightwaveInitFromMaterialAndBack)
{
	video::ITexture* t0 = texture("t0");
	video::ITexture* t1 = texture("t1");
	video::SMaterial m;
	m.MaterialType = video::EMT_TRANSPARENT_ALPHA_CHANNEL;
	m.DiffuseColor = video::SColor(255, 255, 128, 0);
	m.EmissiveColor = video::SColor(255, 100, 0, 0);
	m.SpecularColor = video::SColor(255, 0, 0, 255);
	m.Shininess = 64.0f;
	m.BackfaceCulling = false;
	m.Wireframe = true;
	m.ColorMaterial = video::ECM_NONE;
	ze::setMaterialTexture(m, 0, t0);
	ze::setMaterialTexture(m, 1, t1);
	Lw->initFromMaterial(m);
	EXPECT_FLOAT_EQ(Lw->getParam(EZELW_BASE_COLOR).Value[1], 128.0f / 255.0f);
	EXPECT_EQ(Lw->getParamTexture(EZELW_BASE_COLOR), t0);
	EXPECT_EQ(Lw->getParamTexture(EZELW_TRANSPARENCY), t0);
	EXPECT_NEAR(Lw->getParamFloat(EZELW_LUMINOSITY), 0.3f * 100.0f / 255.0f, 1e-6);
	EXPECT_NEAR(Lw->getParamFloat(EZELW_SPECULARITY), 0.11f, 1e-6);
	EXPECT_FLOAT_EQ(Lw->getParamFloat(EZELW_GLOSSINESS), 0.5f);
	EXPECT_FLOAT_EQ(Lw->getParamFloat(EZELW_DIFFUSE), 1.0f);
	EXPECT_FLOAT_EQ(Lw->getParamFloat(EZELW_BUMP), 0.0f);  // the defaults do not survive
	EXPECT_FLOAT_EQ(Lw->getParamFloat(EZELW_VERTEX_COLORING), 0.0f);
	EXPECT_EQ(Lw->getParamInt(EZELW_SIDEDNESS), 3);
	EXPECT_FLOAT_EQ(Lw->getParamFloat(EZELW_RENDER_OUTLINES), 1.0f);
	EXPECT_FLOAT_EQ(Lw->getParamFloat(EZELW_LINE_SIZE), 0.5f);
	EXPECT_EQ(Lw->getParamTexture(EZELW_REFLECTION_IMAGE), nullptr);

	Lw->setParamFlag(EZELW_BASE_COLOR, 1);
	video::SMaterial back;
	Lw->applyToMaterial(back);
	EXPECT_EQ(back.MaterialType, video::EMT_TRANSPARENT_ALPHA_CHANNEL);
	EXPECT_FLOAT_EQ(back.Shininess, 64.0f);
	EXPECT_EQ(back.DiffuseColor, m.DiffuseColor);
	EXPECT_TRUE(!back.BackfaceCulling && back.Wireframe && !back.PointCloud && back.NormalizeNormals);
	EXPECT_EQ(back.ColorMaterial, video::ECM_AMBIENT);
	EXPECT_EQ(ze::getMaterialTexture(back, 0), t0);
	EXPECT_EQ(ze::getMaterialExt(back)->TextureLayer[0].SRGB, 1u);
	for (u32 i = 0; i < ze::MATERIAL_MAX_TEXTURES; ++i)
		EXPECT_FLOAT_EQ(i < 4 ? back.TextureLayer[i].LODBias : ze::getMaterialExt(back)->TextureLayer[i].LODBias, -8);

	m.MaterialType = video::EMT_REFLECTION_2_LAYER;
	m.PointCloud = true;
	m.Thickness = 3.0f;
	m.ColorMaterial = video::ECM_DIFFUSE;
	Lw->initFromMaterial(m);
	EXPECT_FLOAT_EQ(Lw->getParamFloat(EZELW_REFLECTIVITY), 1.0f);
	EXPECT_EQ(Lw->getParamInt(EZELW_REFLECTION_OPTIONS), 2);
	EXPECT_EQ(Lw->getParamTexture(EZELW_REFLECTION_IMAGE), t1);
	EXPECT_EQ(Lw->getParamTexture(EZELW_TRANSPARENCY), nullptr);
	EXPECT_FLOAT_EQ(Lw->getParamFloat(EZELW_LINE_SIZE), 3.0f);
	EXPECT_FLOAT_EQ(Lw->getParamFloat(EZELW_VERTEX_COLORING), 1.0f);

	m.MaterialType = video::EMT_PARALLAX_MAP_TRANSPARENT_VERTEX_ALPHA;
	m.MaterialTypeParam = 0.07f;
	Lw->initFromMaterial(m);
	EXPECT_EQ(Lw->getParamTexture(EZELW_BUMP), t1);
	EXPECT_NEAR(Lw->getParamFloat(EZELW_BUMP), 2.0f, 1e-5);
	EXPECT_FLOAT_EQ(Lw->getParamFloat(EZELW_TRANSPARENCY), 1.0f);
	EXPECT_FLOAT_EQ(Lw->getParamFloat(EZELW_REFLECTIVITY), 0.0f);
	for (video::E_MATERIAL_TYPE type : {video::EMT_TRANSPARENT_VERTEX_ALPHA, video::EMT_TRANSPARENT_REFLECTION_2_LAYER})
	{
		m.MaterialType = type;
		Lw->initFromMaterial(m);
		EXPECT_TRUE(Lw->getParamFloat(EZELW_TRANSPARENCY) == 1.0f && !Lw->getParamTexture(EZELW_BUMP)) << type;
	}
}

TEST_F(SurfaceNull, LightwaveApplyToMaterialChoosesTypeColoursOutlinesAndLayers)
{
	video::ITexture* tex = texture("tex");
	video::ITexture* img = texture("img");
	video::ITexture* bump = texture("bump");
	using namespace video;
	// Transparency texture, transparency value, bump texture, reflective: the type.
	const struct { bool TransTex; f32 Trans; bool Bump, Reflective; E_MATERIAL_TYPE Type; } cases[] = {
		{true, 0, true, true, EMT_PARALLAX_MAP_TRANSPARENT_VERTEX_ALPHA},
		{true, 0, false, true, EMT_TRANSPARENT_REFLECTION_2_LAYER}, {true, 0, false, false, EMT_TRANSPARENT_ALPHA_CHANNEL},
		{false, 0.5f, true, false, EMT_PARALLAX_MAP_TRANSPARENT_VERTEX_ALPHA},
		{false, 0.5f, false, true, EMT_TRANSPARENT_REFLECTION_2_LAYER}, {false, 0.5f, false, false, EMT_TRANSPARENT_VERTEX_ALPHA},
		{false, 0, true, true, EMT_PARALLAX_MAP_SOLID}, {false, 0, false, true, EMT_REFLECTION_2_LAYER},
		{false, 0, false, false, EMT_SOLID}};
	for (const auto& c : cases)
	{
		IZeSurfaceLightwave* s = newLightwave(Manager);
		s->setParamTexture(EZELW_TRANSPARENCY, c.TransTex ? tex : nullptr);
		s->setParamFloat(EZELW_TRANSPARENCY, c.Trans);
		s->setParamTexture(EZELW_BUMP, c.Bump ? bump : nullptr);
		s->setParamFlag(EZELW_BUMP, 1);
		s->setParamFloat(EZELW_BUMP, 2.0f);
		s->setParamInt(EZELW_REFLECTION_OPTIONS, 2);
		s->setParamTexture(EZELW_REFLECTION_IMAGE, img);
		s->setParamFloat(EZELW_REFLECTIVITY, c.Reflective ? 0.3f : 0.0f);
		s->setParamFloat(EZELW_VERTEX_COLORING, 0.0f);
		SMaterial m;
		s->applyToMaterial(m);
		EXPECT_EQ(m.MaterialType, c.Type);
		const bool parallax = c.Type == EMT_PARALLAX_MAP_SOLID || c.Type == EMT_PARALLAX_MAP_TRANSPARENT_VERTEX_ALPHA;
		const bool reflection = c.Type == EMT_REFLECTION_2_LAYER || c.Type == EMT_TRANSPARENT_REFLECTION_2_LAYER;
		EXPECT_EQ(ze::getMaterialTexture(m, 1), parallax ? bump : reflection ? img : nullptr) << c.Type;
		EXPECT_EQ(ze::getMaterialExt(m)->TextureLayer[1].SRGB, parallax ? 1u : 0u);
		EXPECT_FLOAT_EQ(m.MaterialTypeParam, parallax ? 0.07f : 0.0f);
		const bool vertexAlpha = c.Type == EMT_TRANSPARENT_VERTEX_ALPHA || c.Type == EMT_PARALLAX_MAP_TRANSPARENT_VERTEX_ALPHA;
		EXPECT_EQ(m.ColorMaterial, vertexAlpha ? ECM_DIFFUSE : ECM_AMBIENT) << c.Type;
		s->drop();
	}

	// A reflectivity texture counts as reflective; options below 2 do not.
	Lw->setParamTexture(EZELW_REFLECTION_IMAGE, img);
	Lw->setParamTexture(EZELW_REFLECTIVITY, tex);
	Lw->setParamInt(EZELW_REFLECTION_OPTIONS, 1);
	SMaterial m;
	Lw->applyToMaterial(m);
	EXPECT_EQ(m.MaterialType, EMT_SOLID);
	Lw->setParamInt(EZELW_REFLECTION_OPTIONS, 2);
	Lw->applyToMaterial(m);
	EXPECT_EQ(m.MaterialType, EMT_REFLECTION_2_LAYER);

	Lw->setParamFloat3(EZELW_BASE_COLOR, 1.0f, 0.5f, 0.25f);
	Lw->setParamFloat(EZELW_DIFFUSE, 0.5f);
	Lw->setParamFloat(EZELW_LUMINOSITY, 1.0f);
	Lw->setParamFloat(EZELW_SPECULARITY, 0.2f);
	Lw->setParamFloat(EZELW_RENDER_OUTLINES, 1.0f);
	Lw->setParamFloat(EZELW_LINE_SIZE, 1.0f);
	Lw->applyToMaterial(m);
	EXPECT_EQ(m.DiffuseColor, SColor(255, 128, 64, 32));
	EXPECT_EQ(m.EmissiveColor, SColor(255, 255, 128, 64));
	EXPECT_EQ(m.SpecularColor, SColor(255, 51, 51, 51));
	EXPECT_FLOAT_EQ(m.Shininess, 0.4f * 128.0f);
	EXPECT_EQ(m.ColorMaterial, ECM_DIFFUSE);
	EXPECT_TRUE(m.PointCloud && !m.Wireframe && m.BackfaceCulling);
	EXPECT_FLOAT_EQ(m.Thickness, 1.0f);
	Lw->setParamFloat(EZELW_LINE_SIZE, 0.5f);
	Lw->applyToMaterial(m);
	EXPECT_TRUE(m.Wireframe && !m.PointCloud);
	Lw->setParamFloat(EZELW_LINE_SIZE, 0.0f);
	Lw->applyToMaterial(m);
	EXPECT_FALSE(m.Wireframe || m.PointCloud);
}

TEST_F(SurfaceNull, LightwaveMacrosFollowTheChannelsInBitOrderWithinTheCapacity)
{
	s32 type = -1;
	Lw->setParamTexture(EZELW_BASE_COLOR, texture("c"));
	Lw->setParamFloat(EZELW_TRANSPARENCY, 0.5f);
	EXPECT_EQ(macros(Lw, nullptr, &type), (Names{"USE_TEX_COLOR", "USE_TRANSPARENT"}));
	EXPECT_EQ(type, video::EMT_TRANSPARENT_ALPHA_CHANNEL);

	for (u32 i = 0; i <= EZELW_GLOSSINESS; ++i)
		Lw->setParamTexture(i, texture(getLightwaveChannelName(i)));
	Lw->setParamTexture(EZELW_REFLECTION_IMAGE, texture("img"));
	Lw->setParamInt(EZELW_REFLECTION_OPTIONS, 1);
	Names all = {"USE_TEX_COLOR", "USE_TEX_LUMINOSITY", "USE_TEX_DIFFUSE", "USE_TEX_SPECULAR", "USE_TEX_GLOSSINESS",
		"USE_TEX_TRANSPARENCY", "USE_TEX_TRANSLUCENCY", "USE_TEX_NORMAL", "USE_TRANSPARENT", "USE_TRANSLUCENCY"};
	EXPECT_EQ(macros(Lw), all);
	Lw->setParamInt(EZELW_REFLECTION_OPTIONS, 2);
	all.insert(all.begin() + 5, {"USE_TEX_REFLECIMG", "USE_TEX_REFLECTIVITY"});
	EXPECT_EQ(macros(Lw), all);

	// Translucency by value only; without transparency the material type is 0.
	IZeSurfaceLightwave* s = newLightwave(Manager);
	s->setParamFloat(EZELW_TRANSLUCENCY, 0.2f);
	s->setParamTexture(EZELW_LUMINOSITY, texture("l"));
	s->setParamTexture(EZELW_SPECULARITY, texture("s"));
	EXPECT_EQ(macros(s, nullptr, &type), (Names{"USE_TEX_LUMINOSITY", "USE_TEX_SPECULAR", "USE_TRANSLUCENCY"}));
	EXPECT_EQ(type, video::EMT_SOLID);
	// A capacity of n holds n - 1 macros.
	Names names;
	for (u32 capacity : {1u, 2u, 3u})
	{
		logLines().clear();
		EXPECT_FALSE(macrosOf(s, &names, &type, capacity)) << capacity;
		EXPECT_EQ(logLines(), (Names{NO_SPACE_LW}));
	}
	EXPECT_TRUE(macrosOf(s, &names, &type, 4));
	// A count of 0 writes no macro, only the material type.
	SZeMacro untouched[1] = {{"x", "y"}};
	u32 count = 0;
	EXPECT_TRUE(Lw->getEffectCompileParameters(type, untouched, count, nullptr));
	EXPECT_EQ(type, video::EMT_TRANSPARENT_ALPHA_CHANNEL);
	EXPECT_EQ(count, 0u);
	EXPECT_STREQ(untouched[0].Name, "x");
	s->drop();
}

TEST_F(SurfaceNull, LightwaveMacrosAskTheNodeExtensionForUvsTangentsAndCubeMap)
{
	// A mesh node of two buffers; the second has MeshMaterialsUVs {1, mask}.
	scene::SMesh* mesh = new scene::SMesh();
	ze::SSkinMeshBufferExt* buffers[2];
	for (ze::SSkinMeshBufferExt*& b : buffers)
	{
		b = new ze::SSkinMeshBufferExt();
		mesh->addMeshBuffer(b);
		b->drop();
	}
	buffers[1]->HasMeshMaterialsUVs = true;
	buffers[1]->MeshMaterialsUVs[0] = 1;
	scene::IMeshSceneNode* node = zeGetContext()->sceneManager->addMeshSceneNode(mesh);
	mesh->drop();
	Lw->setParamTexture(EZELW_BUMP, texture("bump"));
	EXPECT_EQ(macros(Lw, node), (Names{"USE_TEX_NORMAL"})) << "no extension, no node macros";

	CZeSceneNodeExt* ext = new CZeSceneNodeExt(node);
	node->addAnimator(ext);
	ext->drop();
	// Not the node's surface: tangents in the shader; second UVs without a mask.
	EXPECT_EQ(macros(Lw, node), (Names{"USE_TEX_NORMAL", "USE_COMPTANGENT"}));
	buffers[1]->MeshMaterialsUVs[1] = 1;
	EXPECT_EQ(macros(Lw, node), (Names{"USE_TEX_NORMAL", "USE_COMPTANGENT", "USE_UV2"}));

	// Material 1's surface: the mask of buffer 1 chooses the UV2 texture macros.
	IZeSurfaceLightwave* s = newLightwave(Manager);
	ext->setMaterialSurface(1, s);
	const std::pair<u32, const char*> masks[] = {{1, "USE_UV2_TEX_COLOR"}, {2, "USE_UV2_TEX_DIFFUSE"},
		{4, "USE_UV2_TEX_LUMINOSITY"}, {8, "USE_UV2_TEX_SPECULAR"}, {16, "USE_UV2_TEX_REFLECTIVITY"},
		{32, "USE_UV2_TEX_TRANSPARENCY"}, {64, "USE_UV2_TEX_NORMAL"}, {128, "USE_UV2_TEX_TRANSLUCENCY"},
		{256, "USE_UV2_TEX_GLOSSINESS"}};
	for (const auto& m : masks)
	{
		buffers[1]->MeshMaterialsUVs[1] = m.first;
		EXPECT_EQ(macros(s, node), (Names{"USE_UV2", m.second})) << m.first;
	}
	buffers[1]->MeshMaterialsUVs[1] = 0x1ff;
	EXPECT_EQ(macros(s, node), (Names{"USE_UV2", "USE_UV2_TEX_COLOR", "USE_UV2_TEX_LUMINOSITY", "USE_UV2_TEX_DIFFUSE",
		"USE_UV2_TEX_SPECULAR", "USE_UV2_TEX_GLOSSINESS", "USE_UV2_TEX_REFLECTIVITY", "USE_UV2_TEX_TRANSPARENCY",
		"USE_UV2_TEX_TRANSLUCENCY", "USE_UV2_TEX_NORMAL"}));

	// A normal map on the node's own surface: the node needs tangents.
	buffers[1]->MeshMaterialsUVs[1] = 64;
	s->setParamTexture(EZELW_BUMP, texture("bump"));
	EXPECT_EQ(macros(s, node), (Names{"USE_TEX_NORMAL", "USE_UV2", "USE_UV2INTEX2", "USE_UV2_TEX_NORMAL"}));
	EXPECT_EQ(macros(Lw, node), (Names{"USE_TEX_NORMAL", "USE_UV2", "USE_UV2INTEX2"}));

	// The node's cube-map texture as reflection image, then with its box.
	s->setParamTexture(EZELW_BUMP, nullptr);
	buffers[1]->MeshMaterialsUVs[1] = 0;
	s->setParamInt(EZELW_REFLECTION_OPTIONS, 2);
	ASSERT_NE(ext->getCubeMapTexture(), nullptr);
	s->setParamTexture(EZELW_REFLECTION_IMAGE, ext->getCubeMapTexture());
	EXPECT_EQ(macros(s, node), (Names{"USE_TEX_REFLECIMG", "USE_NODECUBEMAP"}));
	ext->setCubeMapAABBEnabled(true);
	EXPECT_EQ(macros(s, node), (Names{"USE_TEX_REFLECIMG", "USE_CUBEMAPAABB", "USE_NODECUBEMAP"}));
	s->setParamInt(EZELW_REFLECTION_OPTIONS, 1);
	EXPECT_EQ(macros(s, node), Names{});
	s->drop();
}

TEST_F(SurfaceNull, HyperVoxelBlockMaterialsAndMacros)
{
	SZeLightwaveHVParams* p = Hv->getHVParams();
	EXPECT_EQ(p->UseTextureColor + p->ColorKeyCount + p->SizeKeyCount, 0u);
	EXPECT_TRUE(p->Color[0] == 1.0f && p->Color[1] == 1.0f && p->Color[2] == 1.0f && p->Color[3] == 1.0f);
	EXPECT_TRUE(p->ParticleSize == 0.2f && p->Rotation == 0.0f && p->Extra == 1.0f && p->ClipTexture == nullptr);
	EXPECT_FALSE(Hv->hasNormalMap());
	s32 type;
	EXPECT_EQ(macros(Hv, nullptr, &type), (Names{"USE_BLEND_ADD"}));
	EXPECT_EQ(type, video::EMT_TRANSPARENT_ADD_COLOR);

	// Gradients of three keys plus the closing key; setParams and clone copy them.
	SZeLightwaveHVParams block;
	block.UseTextureColor = 1;
	block.Rotation = 0.5f;
	block.BlendMode = EZEHVB_ALPHA;
	block.ColorKeyCount = block.SizeKeyCount = 3;
	for (u32 i = 0; i <= 3; ++i)
	{
		block.ColorKeyPosition[i] = block.SizeKeyPosition[i] = i < 3 ? i * 10.0f : 120.0f;
		block.ColorKeyValue[i][1] = 0.1f * i;
		block.SizeKeyValue[i] = 1.0f + i;
	}
	Hv->setParams(block);
	block.SizeKeyValue[3] = 0.0f;
	IZeSurface* copy = Hv->clone();
	EXPECT_EQ(copy->getType(), ZE_SURFACE_LIGHTWAVE_HV);
	EXPECT_EQ(std::memcmp(copy->getParams(), Hv->getParams(), sizeof(SZeLightwaveHVParams)), 0);
	const SZeLightwaveHVParams* c = static_cast<const SZeLightwaveHVParams*>(copy->getParams());
	EXPECT_TRUE(c->SizeKeyValue[3] == 4.0f && c->ColorKeyPosition[3] == 120.0f && c->ColorKeyValue[2][1] == 0.2f);
	copy->drop();

	EXPECT_EQ(macros(Hv, nullptr, &type),
		(Names{"USE_TEX_COLOR", "USE_COLOR_GRADIENT", "USE_SIZE_GRADIENT", "USE_ROTATION", "USE_BLEND_ALPHA"}));
	EXPECT_EQ(type, video::EMT_TRANSPARENT_ALPHA_CHANNEL);
	Names names;
	for (u32 capacity : {4u, 5u})
	{
		logLines().clear();
		EXPECT_FALSE(macrosOf(Hv, &names, &type, capacity));
		EXPECT_EQ(logLines(), (Names{NO_SPACE_HV}));
	}
	EXPECT_TRUE(macrosOf(Hv, &names, &type, 6));

	// Key counts past the eight keys a gradient holds are cut to eight, by
	// setParams and by clone of a block written in place.
	SZeLightwaveHVParams many = block;
	many.ColorKeyCount = 9;
	many.SizeKeyCount = 0xFFFFFFFFu;
	Hv->setParams(many);
	EXPECT_EQ(p->ColorKeyCount, ZE_HV_GRADIENT_MAX_KEYS);
	EXPECT_EQ(p->SizeKeyCount, ZE_HV_GRADIENT_MAX_KEYS);
	p->ColorKeyCount = 100;
	p->SizeKeyCount = 8;
	IZeSurface* cut = Hv->clone();
	const SZeLightwaveHVParams* c2 = static_cast<const SZeLightwaveHVParams*>(cut->getParams());
	EXPECT_EQ(c2->ColorKeyCount, ZE_HV_GRADIENT_MAX_KEYS);
	EXPECT_EQ(c2->SizeKeyCount, 8u);
	cut->drop();
	Hv->setParams(block);
	p->UseTextureColor = p->ColorKeyCount = 0;
	p->Rotation = 0.0f;
	p->BlendMode = EZEHVB_SUBTRACTIVE;
	EXPECT_EQ(macros(Hv, nullptr, &type), (Names{"USE_SIZE_GRADIENT", "USE_BLEND_SUB"}));
	EXPECT_EQ(type, video::EMT_ONETEXTURE_BLEND);
	p->BlendMode = 7;
	EXPECT_EQ(macros(Hv, nullptr, &type), (Names{"USE_SIZE_GRADIENT"}));
	EXPECT_EQ(type, video::EMT_SOLID);

	// Blend mode from the material type and back; the clip texture on layer 0.
	const std::pair<video::E_MATERIAL_TYPE, u32> kinds[] = {{video::EMT_TRANSPARENT_ALPHA_CHANNEL, EZEHVB_ALPHA},
		{video::EMT_TRANSPARENT_ADD_COLOR, EZEHVB_ADDITIVE}, {video::EMT_ONETEXTURE_BLEND, EZEHVB_SUBTRACTIVE},
		{video::EMT_SOLID, EZEHVB_ADDITIVE}};
	video::ITexture* image = texture("image");
	for (const auto& k : kinds)
	{
		video::SMaterial m;
		m.MaterialType = k.first;
		ze::setMaterialTexture(m, 0, image);
		p->UseTextureColor = 0;
		Hv->initFromMaterial(m);
		EXPECT_TRUE(p->BlendMode == k.second && p->UseTextureColor == 1 && p->ClipTexture == image) << k.first;
		video::SMaterial back;
		Hv->applyToMaterial(back);
		EXPECT_EQ(back.MaterialType, k.first == video::EMT_SOLID ? video::EMT_TRANSPARENT_ADD_COLOR : k.first);
		EXPECT_FALSE(back.ZWriteEnable);
		EXPECT_EQ(ze::getMaterialTexture(back, 0), image);
	}
	p->BlendMode = 5;
	video::SMaterial m;
	Hv->applyToMaterial(m);
	EXPECT_EQ(m.MaterialType, video::EMT_SOLID);
}

namespace
{
class SurfaceGL : public zetest::RenderGL
{
protected:
	void SetUp() override
	{
		zetest::RenderGL::SetUp();
		if (IsSkipped() || HasFatalFailure())
			return;
		zeGetContext()->device->setEventReceiver(&Capture);
		Surfaces = zeCreateSurfaceManager(Manager);
	}
	void TearDown() override
	{
		delete Surfaces;
		for (video::ITexture* t : Owned)
			if (t)
				t->drop();
		if (zeGetContext()->device)
			zeGetContext()->device->setEventReceiver(nullptr);
		zetest::RenderGL::TearDown();
	}
	// tests/render/data/lwsurface.hlsl: the samplers on layers, or all of them.
	IZeEffect* effect(bool allChannels)
	{
		const SZeMacro list[] = {{"ALL_CHANNELS", nullptr}, {nullptr, nullptr}};
		IZeEffect* e = Manager->getEffectManager()->createEffect(ZELV_RENDER_TEST_DATA "lwsurface.hlsl", -1,
			allChannels ? list : list + 1, nullptr);
		EXPECT_NE(e, nullptr) << Manager->getEffectManager()->getLastError();
		if (e)
			Effects.push_back(e);
		return e;
	}
	video::ITexture* sampler(IZeEffect* e, const std::string& name)
	{
		return e->getSamplerTexture(e->getParameterByName(name.c_str()));
	}
	video::ITexture* texture(const char* name) { return Driver->addTexture(core::dimension2du(4, 4), name); }
	video::ITexture* own(video::ITexture* texture)
	{
		Owned.push_back(texture);
		return texture;
	}
	video::ITexture* cube(const char* name) { return own(ze::createTextureCUBE(Driver, name, 4, ze::ECF_A8R8G8B8, false)); }

	LogCapture Capture;
	IZeSurfaceManager* Surfaces = nullptr;
	std::vector<video::ITexture*> Owned;
};
} // namespace

TEST_F(SurfaceGL, LightwaveBindsEachChannelTextureToItsSamplerAndMaterialLayer)
{
	IZeEffect* fx = effect(true);
	ASSERT_NE(fx, nullptr);
	IZeSurfaceLightwave* s = newLightwave(Surfaces);
	const u32 textured[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, EZELW_REFLECTION_IMAGE, EZELW_REFRACTION_IMAGE};
	for (u32 i : textured)
		s->setParamTexture(i, i == EZELW_REFLECTION_IMAGE ? cube("refl") : texture(getLightwaveChannelName(i)));
	ASSERT_TRUE(s->setEffectTextures(fx));
	for (u32 i : textured)
		EXPECT_EQ(sampler(fx, std::string("LW_Tex_") + getLightwaveChannelName(i)), s->getParamTexture(i)) << i;
	EXPECT_EQ(sampler(fx, "LWHV_Tex_Clip"), nullptr);
	s->setParamTexture(EZELW_BUMP, nullptr);  // clears its sampler
	ASSERT_TRUE(s->setEffectTextures(fx));
	EXPECT_EQ(sampler(fx, "LW_Tex_Bump"), nullptr);

	// A cube map behind an indirect texture counts as a cube reflection.
	s->setParamInt(EZELW_REFLECTION_OPTIONS, 2);
	ze::ITextureIndirect* indirect = ze::createTextureIndirect("indirect", s->getParamTexture(EZELW_REFLECTION_IMAGE));
	s->setParamTexture(EZELW_REFLECTION_IMAGE, own(indirect));
	Names names = macros(s);
	EXPECT_NE(std::find(names.begin(), names.end(), "USE_TEX_REFLECCUBE"), names.end());
	indirect->setTarget(texture("flat"));
	names = macros(s);
	EXPECT_EQ(std::find(names.begin(), names.end(), "USE_TEX_REFLECCUBE"), names.end());

	// The first refusal stops: a 2D image on the cube sampler.
	s->setParamTexture(EZELW_REFRACTION_IMAGE, nullptr);
	s->setParamTexture(EZELW_REFLECTION_IMAGE, texture("flat2"));
	logLines().clear();
	EXPECT_FALSE(s->setEffectTextures(fx));
	EXPECT_EQ(linesWith("CZeSurfaceLightwave::setEffectTextures setSamplerTexture failed for LW_Tex_ReflectionImage"), 1);
	EXPECT_NE(sampler(fx, "LW_Tex_RefractionImage"), nullptr);

	// On a material the samplers' layers get textures and flags; a sampler
	// without a layer refuses.
	video::SMaterial m;
	logLines().clear();
	EXPECT_FALSE(s->setEffectTextureOnMaterial(m, fx, 0, 0));
	EXPECT_EQ(linesWith("CZeSurfaceLightwave::setEffectTextureOnMaterial setSamplerTextureOnMaterial failed for "
		"LW_Tex_Luminosity"), 1);
	IZeEffect* layered = effect(false);
	ASSERT_NE(layered, nullptr);
	s->setParamTexture(EZELW_REFLECTION_IMAGE, cube("refl2"));
	s->setParamTexture(EZELW_BUMP, texture("bump"));
	s->setParamFlag(EZELW_BASE_COLOR, 1);
	s->setParamFlag(EZELW_GLOSSINESS, 1);
	ASSERT_TRUE(s->setEffectTextureOnMaterial(m, layered, 0, 0));
	const std::pair<u32, u32> layers[] = {{0, EZELW_BASE_COLOR}, {1, EZELW_BUMP}, {2, EZELW_REFLECTION_IMAGE},
		{3, EZELW_SPECULARITY}, {5, EZELW_GLOSSINESS}};
	for (const auto& l : layers)
	{
		EXPECT_EQ(ze::getMaterialTexture(m, l.first), s->getParamTexture(l.second)) << l.first;
		EXPECT_EQ(ze::getMaterialExt(m)->TextureLayer[l.first].SRGB, s->getParam(l.second).SRGB) << l.first;
	}
	EXPECT_EQ(ze::getMaterialTexture(m, 6), nullptr);
	s->drop();
}

TEST_F(SurfaceGL, HyperVoxelBindsItsClipTexture)
{
	IZeEffect* fx = effect(false);
	ASSERT_NE(fx, nullptr);
	IZeSurfaceLightwaveHV* s = static_cast<IZeSurfaceLightwaveHV*>(Surfaces->createSurfaceByType(ZE_SURFACE_LIGHTWAVE_HV));
	video::ITexture* clip = texture("clip");
	s->getHVParams()->ClipTexture = clip;
	ASSERT_TRUE(s->setEffectTextures(fx));
	EXPECT_EQ(sampler(fx, "LWHV_Tex_Clip"), clip);
	EXPECT_EQ(sampler(fx, "LW_Tex_BaseColor"), nullptr);
	video::SMaterial m;
	ASSERT_TRUE(s->setEffectTextureOnMaterial(m, fx, 0, 0));
	EXPECT_EQ(ze::getMaterialTexture(m, 0), clip);
	EXPECT_EQ(ze::getMaterialTexture(m, 6), clip);

	s->getHVParams()->ClipTexture = cube("clipcube");
	logLines().clear();
	EXPECT_FALSE(s->setEffectTextures(fx));
	EXPECT_FALSE(s->setEffectTextureOnMaterial(m, fx, 0, 0));
	EXPECT_EQ(linesWith("CZeSurfaceLightwaveHV::setEffectTextures setSamplerTexture failed for LWHV_Tex_Clip"), 1);
	EXPECT_EQ(linesWith("CZeSurfaceLightwaveHV::setEffectTextureOnMaterial setSamplerTextureOnMaterial failed for "
		"LWHV_Tex_Clip"), 1);
	s->drop();
}

namespace
{
// A real effect behind one that counts the look-ups of parameters by name.
class CountingEffect : public IZeEffect
{
public:
	explicit CountingEffect(IZeEffect* real) : Real(real) { Real->grab(); }
	~CountingEffect() override { Real->drop(); }
	mutable u32 NameLookUps = 0;

	const char* getFileName() const override { return Real->getFileName(); }
	u32 getTechniqueCount() const override { return Real->getTechniqueCount(); }
	s32 getTechniqueIndex(const char* name) const override { return Real->getTechniqueIndex(name); }
	s32 getFirstTechnique() const override { return Real->getFirstTechnique(); }
	const char* getTechniqueName(u32 t) const override { return Real->getTechniqueName(t); }
	u32 getPassCount(u32 t) const override { return Real->getPassCount(t); }
	const SZeFxPass* getPass(u32 t, u32 p) const override { return Real->getPass(t, p); }
	IZeShaderProgram* getProgram(u32 t, u32 p) const override { return Real->getProgram(t, p); }
	const SZeFxAnnotation* getTechniqueAnnotation(u32 t, const char* name) const override
	{
		return Real->getTechniqueAnnotation(t, name);
	}
	const char* getAnnotationString(const SZeFxAnnotation* a) const override { return Real->getAnnotationString(a); }
	u32 getParameterCount() const override { return Real->getParameterCount(); }
	const SZeFxParameter* getParameter(u32 i) const override { return Real->getParameter(i); }
	const SZeFxParameter* getParameterByName(const char* name) const override
	{
		++NameLookUps;
		return Real->getParameterByName(name);
	}
	s32 getParameterIndex(const char* name) const override
	{
		++NameLookUps;
		return Real->getParameterIndex(name);
	}
	u32 getParametersByName(const char* name, core::array<const SZeFxParameter*>& out) const override
	{
		++NameLookUps;
		return Real->getParametersByName(name, out);
	}
	EZE_SAMPLER_KIND getSamplerKind(const SZeFxParameter* p) const override { return Real->getSamplerKind(p); }
	bool setBool(const SZeFxParameter* p, bool v) override { return Real->setBool(p, v); }
	bool setInt(const SZeFxParameter* p, s32 v) override { return Real->setInt(p, v); }
	bool setFloat(const SZeFxParameter* p, f32 v) override { return Real->setFloat(p, v); }
	bool setFloatArray(const SZeFxParameter* p, const f32* v, u32 n) override { return Real->setFloatArray(p, v, n); }
	bool setMatrix(const SZeFxParameter* p, const core::matrix4& v) override { return Real->setMatrix(p, v); }
	u32 getFloatArray(const SZeFxParameter* p, f32* v, u32 n) const override { return Real->getFloatArray(p, v, n); }
	void setFloatByName(const char* name, f32 v) override { Real->setFloatByName(name, v); }
	void setFloatArrayByName(const char* name, const f32* v, u32 n) override { Real->setFloatArrayByName(name, v, n); }
	void setMatrixByName(const char* name, const core::matrix4& v) override { Real->setMatrixByName(name, v); }
	bool setSamplerTexture(const SZeFxParameter* p, video::ITexture* t, bool srgb) override
	{
		return Real->setSamplerTexture(p, t, srgb);
	}
	bool setSamplerTextureByIndex(s32 i, video::ITexture* t) override { return Real->setSamplerTextureByIndex(i, t); }
	video::ITexture* getSamplerTexture(const SZeFxParameter* p) const override { return Real->getSamplerTexture(p); }
	bool setSamplerTextureOnMaterial(u32 t, u32 pass, const SZeFxParameter* p, video::SMaterial& m, video::ITexture* tex,
		bool srgb) override
	{
		return Real->setSamplerTextureOnMaterial(t, pass, p, m, tex, srgb);
	}
	bool getPassMaterial(u32 t, u32 p, video::SMaterial& m) const override { return Real->getPassMaterial(t, p, m); }
	bool setupMaterial(u32 t, u32 p, video::SMaterial& m) const override { return Real->setupMaterial(t, p, m); }
	IZeEffectCallback* getCallback() const override { return Real->getCallback(); }

private:
	IZeEffect* Real;
};
} // namespace

TEST_F(SurfaceGL, LightwaveBindsWithoutSearchingTheEffectByName)
{
	// Each search by name runs through all of the effect's parameters; a bind
	// reads the parameter table once instead.
	IZeEffect* all = effect(true);
	IZeEffect* layered = effect(false);
	ASSERT_TRUE(all && layered);
	CountingEffect* first = new CountingEffect(all);
	CountingEffect* second = new CountingEffect(layered);
	IZeSurfaceLightwave* s = newLightwave(Surfaces);
	s->setParamTexture(EZELW_BASE_COLOR, texture("base"));
	s->setParamTexture(EZELW_DIFFUSE, texture("diffuse"));
	video::SMaterial m;
	for (int i = 0; i < 3; ++i)
	{
		ASSERT_TRUE(s->setEffectTextures(first));
		ASSERT_TRUE(s->setEffectTextureOnMaterial(m, second, 0, 0));
	}
	EXPECT_EQ(first->NameLookUps, 0u);
	EXPECT_EQ(second->NameLookUps, 0u);
	EXPECT_EQ(sampler(all, "LW_Tex_Diffuse"), s->getParamTexture(EZELW_DIFFUSE));
	EXPECT_EQ(sampler(all, "LW_Tex_BaseColor"), s->getParamTexture(EZELW_BASE_COLOR));
	EXPECT_EQ(sampler(layered, "LW_Tex_Diffuse"), nullptr);
	EXPECT_EQ(ze::getMaterialTexture(m, 0), s->getParamTexture(EZELW_BASE_COLOR));
	s->drop();
	first->drop();
	second->drop();
}
