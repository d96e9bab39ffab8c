// Node and light extensions on the NULL driver: records behind the materials,
// effects, surfaces, cube-map box and bind values, cloning, and the ".x"
// MeshMaterialsUVs tables; the side records of the other material owners.
#include "core/CZeSceneManagerService.h"
#include "frame/ZeLog.h"
#include "libext/CZeMeshSceneNodes.h"
#include "libext/ZeMaterialExt.h"
#include "libext/ZeXMesh.h"
#include "render/CZeCubeMap.h"
#include "render/CZePostEffect.h"
#include "render/CZeSceneManagerServiceExt.h"
#include "render/CZeSceneNodeExt.h"
#include "render/CZeSurfaceLightwave.h"
#include "render/IZeLightSceneNodeExt.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

using namespace irr;

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

// An effect of named techniques with a pass count each. Its one sampler
// "LW_Tex_BaseColor" reads layer 4 + pass; setupMaterial is recorded.
class FakeEffect : public IZeEffect
{
public:
	FakeEffect(std::vector<std::string> names, u32 passes) : Names(std::move(names)), Passes(passes)
	{
		Sampler.Name = "LW_Tex_BaseColor";
		Sampler.Type = EZEFPT_SAMPLER;
		Sampler.LightwaveChannel = EZELW_BASE_COLOR;  // as a built effect resolves it
	}
	const char* getFileName() const override { return "fake.hlsl"; }
	u32 getTechniqueCount() const override { return static_cast<u32>(Names.size()); }
	s32 getTechniqueIndex(const char* name) const override
	{
		for (size_t i = 0; i < Names.size(); ++i)
			if (Names[i] == name)
				return static_cast<s32>(i);
		return -1;
	}
	s32 getFirstTechnique() const override { return Names.empty() ? -1 : 0; }
	const char* getTechniqueName(u32 t) const override { return t < Names.size() ? Names[t].c_str() : nullptr; }
	u32 getPassCount(u32 t) const override { return t < Names.size() ? Passes : 0; }
	const SZeFxPass* getPass(u32, u32) const override { return nullptr; }
	IZeShaderProgram* getProgram(u32, u32) const override { return nullptr; }
	const SZeFxAnnotation* getTechniqueAnnotation(u32, const char*) const override { return nullptr; }
	const char* getAnnotationString(const SZeFxAnnotation*) const override { return nullptr; }
	u32 getParameterCount() const override { return 1; }
	const SZeFxParameter* getParameter(u32 i) const override { return i ? nullptr : &Sampler; }
	const SZeFxParameter* getParameterByName(const char* n) const override { return Sampler.Name == n ? &Sampler : nullptr; }
	s32 getParameterIndex(const char* n) const override { return Sampler.Name == n ? 0 : -1; }
	u32 getParametersByName(const char* n, core::array<const SZeFxParameter*>& out) const override
	{
		if (Sampler.Name != n)
			return 0;
		out.push_back(&Sampler);
		return 1;
	}
	EZE_SAMPLER_KIND getSamplerKind(const SZeFxParameter*) const override { return EZESK_2D; }
	bool setBool(const SZeFxParameter*, bool) override { return false; }
	bool setInt(const SZeFxParameter*, s32) override { return false; }
	bool setFloat(const SZeFxParameter*, f32) override { return false; }
	bool setFloatArray(const SZeFxParameter*, const f32*, u32) override { return false; }
	bool setMatrix(const SZeFxParameter*, const core::matrix4&) override { return false; }
	u32 getFloatArray(const SZeFxParameter*, f32*, u32) const override { return 0; }
	void setFloatByName(const char*, f32) override {}
	void setFloatArrayByName(const char*, const f32*, u32) override {}
	void setMatrixByName(const char*, const core::matrix4&) override {}
	bool setSamplerTexture(const SZeFxParameter*, video::ITexture*, bool) override { return true; }
	bool setSamplerTextureByIndex(s32, video::ITexture*) override { return true; }
	video::ITexture* getSamplerTexture(const SZeFxParameter*) const override { return nullptr; }
	bool setSamplerTextureOnMaterial(u32, u32 pass, const SZeFxParameter*, video::SMaterial& m, video::ITexture* t,
		bool srgb) override
	{
		ze::setMaterialTexture(m, 4 + pass, t);
		ze::setMaterialTextureSRGB(m, 4 + pass, srgb ? 1 : 0);
		return true;
	}
	bool getPassMaterial(u32, u32, video::SMaterial&) const override { return true; }
	bool setupMaterial(u32 technique, u32 pass, video::SMaterial& m) const override
	{
		Setups.push_back({technique, pass});
		m.MaterialType = video::EMT_ONETEXTURE_BLEND;
		return true;
	}
	IZeEffectCallback* getCallback() const override { return nullptr; }

	std::vector<std::string> Names;
	u32 Passes;
	SZeFxParameter Sampler;
	mutable std::vector<std::pair<u32, u32>> Setups;
};

class NodeExt : public ::testing::Test
{
protected:
	void SetUp() override
	{
		g_lines.clear();
		zeSetLogSink([](const char* line) { g_lines.push_back(line); });
		Device = createDevice(video::EDT_NULL);
		Device->getLogger()->setLogLevel(ELL_NONE);
		Smgr = Device->getSceneManager();
		ze::registerMeshLoaders(Smgr);
		Service = new CZeSceneManagerServiceExt(Device, nullptr);
		Texture = Device->getVideoDriver()->addTexture(core::dimension2d<u32>(4, 4), "t");
	}
	void TearDown() override
	{
		delete Service;
		Device->drop();
		ze::removeAllTextures();
		ze::clearMaterialExts();
		zeSetLogSink(nullptr);
		std::error_code ignored;
		std::filesystem::remove_all(Dir, ignored);
	}

	// A mesh node of `count` one-triangle buffers.
	scene::IMeshSceneNode* meshNode(u32 count)
	{
		scene::SMesh* mesh = new scene::SMesh();
		for (u32 b = 0; b < count; ++b)
		{
			scene::SMeshBuffer* buffer = new scene::SMeshBuffer();
			for (int v = 0; v < 3; ++v)
				buffer->Vertices.push_back(video::S3DVertex(f32(v), f32(v % 2), 0, 0, 0, -1, 0xFFFFFFFF, f32(v), 0));
			buffer->Indices.push_back(0), buffer->Indices.push_back(1), buffer->Indices.push_back(2);
			mesh->addMeshBuffer(buffer);
			buffer->drop();
		}
		scene::IMeshSceneNode* node = ze::addMeshSceneNode(Smgr, mesh);
		mesh->drop();
		return node;
	}
	const SZeMaterialExt* userData(scene::ISceneNode* node, u32 i)
	{
		return static_cast<const SZeMaterialExt*>(ze::getMaterialUserData(node->getMaterial(i)));
	}
	scene::ISceneNode* loadX(const char* name, const char* uvs)
	{
		Dir = std::filesystem::temp_directory_path() / ("zelv-nodeext-" + std::to_string(getpid()));
		std::filesystem::create_directories(Dir);
		const std::string path = (Dir / name).string();
		std::ofstream(path) << "xof 0303txt 0032\nMesh M { 4; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 1.0;1.0;0.0;, 0.0;1.0;0.0;;\n"
			" 2; 3;0,1,2;, 3;0,2,3;;\n MeshTextureCoords { 4; 0.0;0.0;, 1.0;0.0;, 1.0;1.0;, 0.0;1.0;; }\n"
			" MeshMaterialList { 2; 2; 0,1;; Material { 1.0;0.0;0.0;1.0;; 1.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; }\n"
			"  Material { 0.0;1.0;0.0;1.0;; 1.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; } }\n"
			<< uvs << "}\n";
		scene::IAnimatedMesh* mesh = Smgr->getMesh(path.c_str());
		return mesh ? ze::addMeshSceneNode(Smgr, mesh->getMesh(0)) : nullptr;
	}

	IrrlichtDevice* Device = nullptr;
	scene::ISceneManager* Smgr = nullptr;
	CZeSceneManagerServiceExt* Service = nullptr;
	video::ITexture* Texture = nullptr;
	std::filesystem::path Dir;
};
} // namespace

TEST_F(NodeExt, ExtensionsAttachOnFirstUseOnlyThroughTheRenderService)
{
	scene::IMeshSceneNode* node = meshNode(2);
	EXPECT_EQ(zeFindSceneNodeExt(node), nullptr);
	IZeSceneNodeExt* ext = Service->getSceneNodeExt(node);
	ASSERT_TRUE(ext);
	EXPECT_EQ(Service->getSceneNodeExt(node), ext);
	EXPECT_EQ(node->getAnimators().size(), 1u);
	EXPECT_EQ(static_cast<int>(ext->getType()), 4321);
	EXPECT_EQ(ext->getSceneNode(), node);
	EXPECT_FALSE(ext->OnEvent(SEvent()));

	scene::ILightSceneNode* light = Smgr->addLightSceneNode();
	IZeLightSceneNodeExt* lightExt = Service->getLightSceneNodeExt(light);
	ASSERT_TRUE(lightExt);
	EXPECT_EQ(Service->getLightSceneNodeExt(light), lightExt);
	EXPECT_EQ(static_cast<int>(lightExt->getType()), 4322);
	EXPECT_EQ(zeFindSceneNodeExt(light), nullptr);
	const SZeLightExtParams& p = lightExt->getParams();
	EXPECT_EQ(p.Intensity, 1.f);
	EXPECT_EQ(p.ShadowColor[3], 1.f);
	EXPECT_EQ(p.ShadowMapSize, 512u);
	EXPECT_EQ(p.ShadowEpsilon, 5.f);
	EXPECT_EQ(p.VolumetricDensity, 1.f);
	EXPECT_FALSE(p.Volumetric);

	// The engine core's own service has neither.
	CZeSceneManagerService core(Smgr);
	EXPECT_EQ(core.getSceneNodeExt(meshNode(1)), nullptr);
	EXPECT_EQ(core.createCubeMap(64, ze::ECF_A16B16G16R16F, false), nullptr);
	EXPECT_EQ(linesWith("not available"), 2);
	// Cube maps need GL textures: the NULL driver gives none.
	EXPECT_EQ(Service->createCubeMap(64, ze::ECF_A16B16G16R16F, true), nullptr);
	EXPECT_EQ(linesWith("failed to create cubemap texture"), 1);
}

TEST_F(NodeExt, MaterialRecordsOwnTheirSideRecordsAndIgnoreLaterMaterials)
{
	// The mesh's material has a side record that the nodes' copies share.
	scene::IMeshSceneNode* first = meshNode(2);
	ze::setMaterialTexture(first->getMesh()->getMeshBuffer(1)->getMaterial(), 6, Texture);
	first->setMesh(first->getMesh());
	scene::IMeshSceneNode* second = ze::addMeshSceneNode(Smgr, first->getMesh());
	IZeSceneNodeExt* a = Service->getSceneNodeExt(first);
	IZeSceneNodeExt* b = Service->getSceneNodeExt(second);
	ASSERT_EQ(a->getMaterialCount(), 2u);
	EXPECT_EQ(ze::getMaterialUserData(first->getMaterial(0)), nullptr);  // not applied yet
	a->setMaterialSurface(0, nullptr);
	a->setMaterialSurface(1, nullptr);
	b->setMaterialSurface(1, nullptr);
	for (u32 i = 0; i < 2; ++i)
	{
		const SZeMaterialExt* record = userData(first, i);
		ASSERT_EQ(record, a->getMaterialRecord(i));
		EXPECT_EQ(record->Tag, 0x123456u);
		EXPECT_EQ(record->Node, first);
		EXPECT_EQ(record->Surface, i);
	}
	EXPECT_EQ(userData(second, 1)->Node, second);
	EXPECT_EQ(ze::getMaterialUserData(first->getMesh()->getMeshBuffer(1)->getMaterial()), nullptr);
	EXPECT_EQ(ze::getMaterialTexture(second->getMaterial(1), 6), Texture);  // the copy keeps the contents

	EXPECT_EQ(a->getMaterialRecord(2), nullptr);
	EXPECT_EQ(a->getMaterialSurface(2), nullptr);
	FakeEffect effect({"main"}, 1);
	a->setMaterialEffect(2, &effect, 0, 0);
	EXPECT_EQ(effect.getReferenceCount(), 1);
	EXPECT_EQ(a->getMaterialEffect(2), nullptr);
	EXPECT_EQ(a->getMaterialSpecialTechnique(2, EZEST_DEPTH), -1);
}

TEST_F(NodeExt, EffectsTechniquesPassesAndTheirSavedStates)
{
	scene::IMeshSceneNode* node = meshNode(2);
	IZeSceneNodeExt* ext = Service->getSceneNodeExt(node);
	FakeEffect& main = *new FakeEffect({"main", "shadow", "reflection"}, 2);
	FakeEffect& other = *new FakeEffect({"depth"}, 1);
	ext->setMaterialEffect(0, &main, 0, 1);
	EXPECT_EQ(main.getReferenceCount(), 2);
	EXPECT_EQ(ext->getMaterialEffect(0), &main);
	EXPECT_EQ(ext->getMaterialSpecialTechnique(0, EZEST_DEPTH), -1);
	EXPECT_EQ(ext->getMaterialSpecialTechnique(0, EZEST_SHADOW), 1);
	EXPECT_EQ(ext->getMaterialSpecialTechnique(0, EZEST_REFLECTION), 2);
	EXPECT_EQ(main.Setups.back(), std::make_pair(0u, 1u));
	EXPECT_EQ(node->getMaterial(0).MaterialType, video::EMT_ONETEXTURE_BLEND);
	EXPECT_EQ(userData(node, 0)->Effect, &main);

	ext->setMaterialTechnique(0, 2);
	EXPECT_EQ(main.Setups.back(), std::make_pair(2u, 1u));
	ext->setMaterialPass(0, 0);
	EXPECT_EQ(userData(node, 0)->Technique, 2);
	EXPECT_EQ(userData(node, 0)->Pass, 0);
	ext->setMaterialTechniquePass(1, 1, 1);  // material 1 has no effect
	EXPECT_EQ(ext->getMaterialRecord(1)->Technique, 0);
	EXPECT_EQ(userData(node, 1), nullptr);

	// Renderers swap to other techniques and back.
	core::array<SZeNodeExtSavedEffect> saved;
	ext->saveEffects(saved);
	ASSERT_EQ(saved.size(), 2u);
	EXPECT_EQ(main.getReferenceCount(), 3);
	ext->setMaterialEffect(0, &other, 0, 0);
	ext->setMaterialEffect(1, &other, 0, 0);
	EXPECT_EQ(main.getReferenceCount(), 2);
	EXPECT_EQ(ext->getMaterialSpecialTechnique(0, EZEST_DEPTH), 0);
	ext->restoreEffects(saved);
	EXPECT_EQ(ext->getMaterialEffect(0), &main);
	EXPECT_EQ(ext->getMaterialEffect(1), nullptr);
	EXPECT_EQ(userData(node, 0)->Technique, 2);
	EXPECT_EQ(other.getReferenceCount(), 1);
	saved.clear();
	ext->removeAllMaterialEffects();
	EXPECT_EQ(main.getReferenceCount(), 1);
	EXPECT_EQ(userData(node, 0)->Effect, nullptr);

	// With a surface, the texture it binds for the current pass reaches the material.
	CZeSurfaceLightwave* surface = new CZeSurfaceLightwave();
	surface->setParamTexture(EZELW_BASE_COLOR, Texture);
	surface->setParamFlag(EZELW_BASE_COLOR, 1);
	ext->setMaterialSurface(0, surface);
	ext->setMaterialSurface(1, surface);
	EXPECT_EQ(surface->getReferenceCount(), 3);
	ext->setMaterialEffect(0, &main, 1, 1);
	EXPECT_EQ(ze::getMaterialTexture(node->getMaterial(0), 5), Texture);
	EXPECT_EQ(ze::getMaterialExt(node->getMaterial(0))->TextureLayer[5].SRGB, 1u);
	EXPECT_EQ(ze::getMaterialTexture(node->getMaterial(0), 4), nullptr);
	ext->setMaterialPass(0, 0);
	EXPECT_EQ(ze::getMaterialTexture(node->getMaterial(0), 4), Texture);
	EXPECT_EQ(ze::getMaterialTexture(node->getMaterial(1), 4), nullptr);  // a surface without effect
	video::SMaterial written;
	surface->applyToMaterial(written);
	EXPECT_NE(written.DiffuseColor, video::SMaterial().DiffuseColor);
	EXPECT_EQ(node->getMaterial(1).DiffuseColor, written.DiffuseColor);
	ext->removeMaterialSurface(1);
	EXPECT_EQ(surface->getReferenceCount(), 2);
	EXPECT_EQ(ext->findMaterialSurfaceIndex(surface), 0);
	ext->removeAllMaterialSurfaces();
	EXPECT_EQ(surface->getReferenceCount(), 1);
	EXPECT_EQ(ext->findMaterialSurfaceIndex(surface), -1);
	surface->drop();
	main.drop();
	other.drop();
}

TEST_F(NodeExt, ShadowSelectionCubeMapBoxAndBindValues)
{
	scene::IMeshSceneNode* node = meshNode(1);
	IZeSceneNodeExt* ext = Service->getSceneNodeExt(node);
	EXPECT_FALSE(ext->isCastShadow());
	ext->setCastShadow(true);
	EXPECT_TRUE(ext->isCastShadow());
	EXPECT_EQ(ext->setSelectionMask(0x5), 0u);
	EXPECT_EQ(ext->setSelectionMask(0x2), 0x5u);
	EXPECT_EQ(ext->getSelectionMask(), 0x2u);

	CZeNodeExtValues values;
	core::vector3df out;
	EXPECT_FALSE(values.getNodeExtValue(meshNode(1), EZENEV_CUBEMAP_AABB_SCALE, &out));  // no extension
	EXPECT_FALSE(values.getNodeExtValue(node, EZENEV_CUBEMAP_POSITION, &out));          // no cube map
	ASSERT_TRUE(values.getNodeExtValue(node, EZENEV_CUBEMAP_AABB_SCALE, &out));
	EXPECT_EQ(out, core::vector3df(1000000.f));
	ASSERT_TRUE(values.getNodeExtValue(node, EZENEV_CUBEMAP_AABB_POSITION, &out));
	EXPECT_EQ(out, core::vector3df(0.f));

	// A map without textures still records where it was captured.
	CZeCubeMap* map = new CZeCubeMap(Device->getVideoDriver(), nullptr);
	EXPECT_FALSE(map->render(nullptr, core::vector3df(1, 2, 3)));
	ext->setCubeMap(map);
	EXPECT_EQ(map->getReferenceCount(), 2);
	EXPECT_EQ(ze::getTextureKind(ext->getCubeMapTexture()), ze::ETK_INDIRECT);
	ASSERT_TRUE(values.getNodeExtValue(node, EZENEV_CUBEMAP_POSITION, &out));
	EXPECT_EQ(out, core::vector3df(1, 2, 3));

	ext->setCubeMapAABB(core::vector3df(4, 5, 6), core::vector3df(2, 2, 2));
	ext->setCubeMapAABBEnabled(false);  // was not enabled: the box stays
	EXPECT_EQ(ext->getCubeMapAABBPosition(), core::vector3df(4, 5, 6));
	ext->setCubeMapAABBEnabled(true);
	ext->setCubeMapAABBEnabled(false);
	EXPECT_EQ(ext->getCubeMapAABBPosition(), core::vector3df(1000000.f));
	ext->setCubeMapAABBEnabled(true);
	EXPECT_TRUE(ext->isCubeMapAABBEnabled());
	ASSERT_TRUE(values.getNodeExtValue(node, EZENEV_CUBEMAP_AABB_POSITION, &out));
	EXPECT_EQ(out, core::vector3df(1000000.f));
	ASSERT_TRUE(values.getNodeExtValue(node, EZENEV_CUBEMAP_AABB_SCALE, &out));
	EXPECT_EQ(out, core::vector3df(2, 2, 2));

	ext->setCubeMap(nullptr);
	EXPECT_EQ(map->getReferenceCount(), 1);
	map->drop();
}

TEST_F(NodeExt, ClonesCopySurfacesAndEffectsIntoRecordsOfTheirOwn)
{
	scene::IMeshSceneNode* node = meshNode(2);
	IZeSceneNodeExt* ext = Service->getSceneNodeExt(node);
	FakeEffect& effect = *new FakeEffect({"main", "shadow"}, 1);
	CZeSurfaceLightwave* surface = new CZeSurfaceLightwave();
	surface->setParamFloat(EZELW_LUMINOSITY, 0.5f);
	ext->setMaterialSurface(1, surface);
	ext->setMaterialEffect(1, &effect, 1, 0);
	ext->setSelectionMask(7);
	ext->setCastShadow(true);

	scene::ISceneNode* copy = Service->cloneSceneNode(node);
	IZeSceneNodeExt* copied = zeFindSceneNodeExt(copy);
	ASSERT_TRUE(copied);
	ASSERT_NE(copied, ext);
	EXPECT_EQ(copied->getSceneNode(), copy);
	IZeSurface* copiedSurface = copied->getMaterialSurface(1);
	ASSERT_TRUE(copiedSurface);
	EXPECT_NE(copiedSurface, surface);
	EXPECT_EQ(static_cast<IZeSurfaceLightwave*>(copiedSurface)->getParamFloat(EZELW_LUMINOSITY), 0.5f);
	EXPECT_EQ(copied->getMaterialEffect(1), &effect);
	EXPECT_EQ(copied->getMaterialSpecialTechnique(1, EZEST_SHADOW), 1);
	EXPECT_EQ(copied->getMaterialRecord(1)->Technique, 1);
	EXPECT_EQ(copied->getSelectionMask(), 0u);
	EXPECT_FALSE(copied->isCastShadow());
	// Each node's materials point at its own records.
	EXPECT_EQ(userData(copy, 1), copied->getMaterialRecord(1));
	EXPECT_EQ(userData(node, 1), ext->getMaterialRecord(1));
	surface->drop();
	effect.drop();

	scene::ILightSceneNode* light = Smgr->addLightSceneNode();
	Service->getLightSceneNodeExt(light)->getParams().ShadowMapSize = 2048;
	scene::ISceneNode* lightCopy = Service->cloneSceneNode(light);
	ASSERT_TRUE(zeFindLightSceneNodeExt(lightCopy));
	EXPECT_NE(zeFindLightSceneNodeExt(lightCopy), zeFindLightSceneNodeExt(light));
	EXPECT_EQ(zeFindLightSceneNodeExt(lightCopy)->getParams().ShadowMapSize, 2048u);
}

TEST_F(NodeExt, MeshMaterialsUVsComeFromTheXTablesAndSurviveTangents)
{
	scene::ISceneNode* node = loadX("uvs.x", " MeshMaterialsUVs { 4; 7, 0, 3, 5; }\n");
	ASSERT_TRUE(node);
	IZeSceneNodeExt* ext = Service->getSceneNodeExt(node);
	u32 a = 0, b = 0;
	EXPECT_TRUE(ext->hasMeshMaterialsUVs());
	ASSERT_TRUE(ext->getMeshMaterialsUVs(1, &a, &b));
	EXPECT_EQ(a, 3u);
	EXPECT_EQ(b, 5u);
	EXPECT_TRUE(ext->getMeshMaterialsUVs(0, &a, &b));
	EXPECT_EQ(a, 7u);
	EXPECT_EQ(b, 0u);
	EXPECT_FALSE(ext->getMeshMaterialsUVs(2, &a, &b));
	// Second values all zero, no table, or no mesh: none.
	EXPECT_FALSE(Service->getSceneNodeExt(loadX("zero.x", " MeshMaterialsUVs { 4; 7, 0, 3, 0; }\n"))->hasMeshMaterialsUVs());
	EXPECT_FALSE(Service->getSceneNodeExt(meshNode(2))->hasMeshMaterialsUVs());
	EXPECT_FALSE(Service->getSceneNodeExt(Smgr->addEmptySceneNode())->getMeshMaterialsUVs(0, &a, &b));

	// A normal map on material 1 asks for tangents; the tangent copy keeps the values.
	EXPECT_FALSE(ext->needTangents());
	CZeSurfaceLightwave* bumpy = new CZeSurfaceLightwave();
	bumpy->setParamTexture(EZELW_BUMP, Texture);
	ext->setMaterialSurface(1, bumpy);
	bumpy->drop();
	EXPECT_TRUE(ext->needTangents());
	ASSERT_TRUE(ext->updateFromSurfaces());
	scene::IMesh* mesh = static_cast<scene::IMeshSceneNode*>(node)->getMesh();
	EXPECT_EQ(mesh->getMeshBuffer(0)->getVertexType(), video::EVT_TANGENTS);
	EXPECT_EQ(userData(node, 1), ext->getMaterialRecord(1));
	EXPECT_TRUE(ext->hasMeshMaterialsUVs());
	ASSERT_TRUE(ext->getMeshMaterialsUVs(1, &a, &b));
	EXPECT_EQ(b, 5u);
}

TEST_F(NodeExt, ClonesOntoNodesWithFewerOrMoreMaterialsCopyWhatBothHaveAndDefaultTheRest)
{
	scene::IMeshSceneNode* node = meshNode(2);
	IZeSceneNodeExt* ext = Service->getSceneNodeExt(node);
	FakeEffect& first = *new FakeEffect({"main", "depth"}, 2);
	FakeEffect& second = *new FakeEffect({"main", "shadow", "reflection"}, 1);
	CZeSurfaceLightwave* surfaces[2] = {new CZeSurfaceLightwave(), new CZeSurfaceLightwave()};
	surfaces[0]->setParamFloat(EZELW_LUMINOSITY, 0.25f);
	surfaces[1]->setParamFloat(EZELW_LUMINOSITY, 0.75f);
	for (u32 i = 0; i < 2; ++i)
		ext->setMaterialSurface(i, surfaces[i]);
	ext->setMaterialEffect(0, &first, 1, 1);
	ext->setMaterialEffect(1, &second, 2, 0);
	const int firstRefs = first.getReferenceCount();
	const int secondRefs = second.getReferenceCount();

	// One material: only material 0 is copied, and nothing reaches past it.
	scene::IMeshSceneNode* fewer = meshNode(1);
	IZeSceneNodeExt* small = static_cast<IZeSceneNodeExt*>(ext->createClone(fewer));
	ASSERT_TRUE(small);
	fewer->addAnimator(small);
	small->drop();
	EXPECT_EQ(small->getSceneNode(), fewer);
	ASSERT_EQ(small->getMaterialCount(), 1u);
	EXPECT_EQ(small->getMaterialEffect(0), &first);
	EXPECT_EQ(small->getMaterialRecord(0)->Technique, 1);
	EXPECT_EQ(small->getMaterialRecord(0)->Pass, 1);
	EXPECT_EQ(small->getMaterialSpecialTechnique(0, EZEST_DEPTH), 1);
	EXPECT_EQ(small->getMaterialSpecialTechnique(0, EZEST_SHADOW), -1);
	ASSERT_TRUE(small->getMaterialSurface(0));
	EXPECT_NE(small->getMaterialSurface(0), surfaces[0]);
	EXPECT_EQ(static_cast<IZeSurfaceLightwave*>(small->getMaterialSurface(0))->getParamFloat(EZELW_LUMINOSITY), 0.25f);
	EXPECT_EQ(small->getMaterialRecord(1), nullptr);
	EXPECT_EQ(small->getMaterialEffect(1), nullptr);
	EXPECT_EQ(small->getMaterialSurface(1), nullptr);
	EXPECT_EQ(small->getMaterialSpecialTechnique(1, EZEST_REFLECTION), -1);
	EXPECT_EQ(userData(fewer, 0), small->getMaterialRecord(0));
	EXPECT_EQ(userData(fewer, 0)->Node, fewer);
	EXPECT_EQ(first.getReferenceCount(), firstRefs + 1);
	EXPECT_EQ(second.getReferenceCount(), secondRefs);  // material 1 had nowhere to go

	// Three materials: the first two are copied, the third is a fresh record.
	scene::IMeshSceneNode* more = meshNode(3);
	IZeSceneNodeExt* large = static_cast<IZeSceneNodeExt*>(ext->createClone(more));
	ASSERT_TRUE(large);
	more->addAnimator(large);
	large->drop();
	ASSERT_EQ(large->getMaterialCount(), 3u);
	EXPECT_EQ(large->getMaterialEffect(0), &first);
	EXPECT_EQ(large->getMaterialEffect(1), &second);
	EXPECT_EQ(large->getMaterialRecord(1)->Technique, 2);
	EXPECT_EQ(large->getMaterialRecord(1)->Pass, 0);
	EXPECT_EQ(large->getMaterialSpecialTechnique(1, EZEST_SHADOW), 1);
	EXPECT_EQ(large->getMaterialSpecialTechnique(1, EZEST_REFLECTION), 2);
	EXPECT_EQ(large->getMaterialSpecialTechnique(1, EZEST_DEPTH), -1);
	for (u32 i = 0; i < 2; ++i)
	{
		IZeSurface* copied = large->getMaterialSurface(i);
		ASSERT_TRUE(copied) << i;
		EXPECT_NE(copied, surfaces[i]) << i;
		EXPECT_EQ(static_cast<IZeSurfaceLightwave*>(copied)->getParamFloat(EZELW_LUMINOSITY),
			surfaces[i]->getParamFloat(EZELW_LUMINOSITY)) << i;
	}
	const SZeMaterialExt* extra = large->getMaterialRecord(2);
	ASSERT_TRUE(extra);
	EXPECT_EQ(extra->Tag, 0x123456u);
	EXPECT_EQ(extra->Effect, nullptr);
	EXPECT_EQ(extra->Technique, 0);
	EXPECT_EQ(extra->Pass, 0);
	EXPECT_EQ(extra->Node, more);
	EXPECT_EQ(extra->Surface, 2u);
	EXPECT_EQ(large->getMaterialEffect(2), nullptr);
	EXPECT_EQ(large->getMaterialSurface(2), nullptr);
	for (EZE_SPECIAL_TECHNIQUE kind : {EZEST_DEPTH, EZEST_SHADOW, EZEST_REFLECTION})
		EXPECT_EQ(large->getMaterialSpecialTechnique(2, kind), -1);
	for (u32 i = 0; i < 3; ++i)
	{
		EXPECT_EQ(userData(more, i), large->getMaterialRecord(i)) << i;
		EXPECT_EQ(userData(more, i)->Node, more) << i;
	}
	EXPECT_EQ(large->getMaterialRecord(3), nullptr);
	EXPECT_EQ(first.getReferenceCount(), firstRefs + 2);
	EXPECT_EQ(second.getReferenceCount(), secondRefs + 1);

	// The original is untouched and the copies go with their nodes.
	EXPECT_EQ(ext->getMaterialSurface(0), surfaces[0]);
	EXPECT_EQ(surfaces[0]->getReferenceCount(), 2);
	EXPECT_EQ(surfaces[1]->getReferenceCount(), 2);
	EXPECT_EQ(userData(node, 1), ext->getMaterialRecord(1));
	fewer->remove();
	more->remove();
	EXPECT_EQ(first.getReferenceCount(), firstRefs);
	EXPECT_EQ(second.getReferenceCount(), secondRefs);
	for (CZeSurfaceLightwave* s : surfaces)
		s->drop();
	first.drop();
	second.drop();
}

TEST_F(NodeExt, MaterialsOutlivingTheirExtensionReadNoRecord)
{
	scene::IMeshSceneNode* node = meshNode(2);
	IZeSceneNodeExt* ext = Service->getSceneNodeExt(node);
	FakeEffect& effect = *new FakeEffect({"main"}, 1);
	ext->setMaterialEffect(0, &effect, 0, 0);
	ext->setMaterialSurface(1, nullptr);
	ASSERT_EQ(userData(node, 0), ext->getMaterialRecord(0));
	ASSERT_EQ(userData(node, 1), ext->getMaterialRecord(1));
	// A copy taken while the extension lives, as the driver keeps the last material it drew.
	const video::SMaterial kept = node->getMaterial(0);

	node->removeAnimators();
	EXPECT_EQ(ze::getMaterialUserData(node->getMaterial(0)), nullptr);
	EXPECT_EQ(ze::getMaterialUserData(node->getMaterial(1)), nullptr);
	EXPECT_EQ(ze::getMaterialUserData(kept), nullptr);
	EXPECT_EQ(effect.getReferenceCount(), 1);
	effect.drop();
}

TEST_F(NodeExt, NodesComingAndGoingLeaveNoSideRecordsOrTextureReferencesBehind)
{
	FakeEffect& effect = *new FakeEffect({"main", "shadow"}, 2);
	CZeSurfaceLightwave* surface = new CZeSurfaceLightwave();
	surface->setParamTexture(EZELW_BASE_COLOR, Texture);
	CZeCubeMap* map = new CZeCubeMap(Device->getVideoDriver(), nullptr);
	const u32 records = ze::getMaterialExtCount();
	const s32 textureRefs = Texture->getReferenceCount();
	for (int n = 0; n < 40; ++n)
	{
		scene::IMeshSceneNode* node = meshNode(2);
		IZeSceneNodeExt* ext = Service->getSceneNodeExt(node);
		ext->setCubeMap(map);
		ext->setMaterialSurface(0, surface);
		ext->setMaterialEffect(0, &effect, 1, 1);  // the surface's texture lands on layer 5
		ext->setMaterialEffect(1, &effect, 0, 0);
		ze::setMaterialTexture(node->getMaterial(1), 4, ext->getCubeMapTexture());
		ASSERT_EQ(ze::getMaterialTexture(node->getMaterial(0), 5), Texture);
		scene::ISceneNode* copy = Service->cloneSceneNode(node);
		ASSERT_TRUE(copy);
		ASSERT_EQ(ze::getMaterialTexture(copy->getMaterial(0), 5), Texture);
		node->remove();
		copy->remove();
	}
	ze::sweepMaterialExts();
	EXPECT_EQ(ze::getMaterialExtCount(), records);
	EXPECT_EQ(Texture->getReferenceCount(), textureRefs);
	EXPECT_EQ(effect.getReferenceCount(), 1);
	EXPECT_EQ(surface->getReferenceCount(), 1);
	EXPECT_EQ(map->getReferenceCount(), 1);
	map->drop();
	surface->drop();
	effect.drop();
}

TEST_F(NodeExt, EachExtensionHasACubeMapTextureOfItsOwnName)
{
	IZeSceneNodeExt* a = Service->getSceneNodeExt(meshNode(1));
	scene::IMeshSceneNode* other = meshNode(1);
	IZeSceneNodeExt* b = Service->getSceneNodeExt(other);
	const std::string nameA = a->getCubeMapTexture()->getName().getPath().c_str();
	const std::string nameB = b->getCubeMapTexture()->getName().getPath().c_str();
	EXPECT_NE(nameA, nameB);
	EXPECT_EQ(ze::findTexture(nullptr, nameA.c_str()), a->getCubeMapTexture());
	EXPECT_EQ(ze::findTexture(nullptr, nameB.c_str()), b->getCubeMapTexture());
	// One is freed by its name; the other stays.
	ze::removeTexture(ze::findTexture(nullptr, nameB.c_str()));
	EXPECT_EQ(ze::findTexture(nullptr, nameB.c_str()), nullptr);
	EXPECT_EQ(ze::findTexture(nullptr, nameA.c_str()), a->getCubeMapTexture());
	other->remove();
	EXPECT_EQ(ze::findTexture(nullptr, nameA.c_str()), a->getCubeMapTexture());
}

TEST_F(NodeExt, PostEffectQuadsReleaseTheirSideRecords)
{
	ze::ITextureIndirect* ours = ze::createTextureIndirect("ours", Texture);
	const u32 records = ze::getMaterialExtCount();
	const s32 textureRefs = Texture->getReferenceCount();
	const s32 oursRefs = ours->getReferenceCount();
	for (int n = 0; n < 20; ++n)
	{
		CZePostEffect post;
		ASSERT_TRUE(ze::getMaterialUserData(post.getMaterial()));
		ze::setMaterialTexture(post.getMaterial(), 1, ours);
		ze::setMaterialTexture(post.getMaterial(), 6, Texture);
	}
	ze::sweepMaterialExts();
	EXPECT_EQ(ze::getMaterialExtCount(), records);
	EXPECT_EQ(Texture->getReferenceCount(), textureRefs);
	EXPECT_EQ(ours->getReferenceCount(), oursRefs);
	ours->drop();
}
