#include "render/CZeSceneNodeExt.h"

#include "core/IZeCubeMap.h"
#include "frame/ZeLog.h"
#include "libext/ZeXMesh.h"
#include "render/IZeSurface.h"

using namespace irr;

namespace
{
const f32 BOX_FAR = 1000000.f;
const char* const SPECIAL_TECHNIQUES[3] = {"depth", "shadow", "reflection"};
const scene::ESCENE_NODE_TYPE MORPH_NODE = static_cast<scene::ESCENE_NODE_TYPE>(MAKE_IRR_ID('m', 'o', 'r', 'p'));

CZeSceneNodeExt::MorphMeshGetter g_morphMeshGetter = nullptr;

// Indirect textures are found by name: each extension's has a number of its own.
u32 g_cubeMapTextureNumber = 0;
} // namespace

CZeSceneNodeExt::CZeSceneNodeExt(scene::ISceneNode* node)
	: Node(node), CubeMapAABBPosition(0.f, 0.f, 0.f), CubeMapAABBScale(BOX_FAR, BOX_FAR, BOX_FAR)
{
	const u32 count = Node ? Node->getMaterialCount() : 0;
	Materials.resize(count);
	for (u32 i = 0; i < count; ++i)
	{
		Materials[i].Ext.Node = Node;
		Materials[i].Ext.Surface = i;
	}
	core::stringc name("NodeExtCubeMap");
	name += ++g_cubeMapTextureNumber;
	CubeMapTexture = ze::createTextureIndirect(name, nullptr);
	CubeMapCubeTexture = ze::createTextureIndirect(name + "Cube", nullptr);
	if (CubeMapTexture)
		CubeMapTexture->setKindTarget(ze::ETK_CUBE, CubeMapCubeTexture);
}

CZeSceneNodeExt::~CZeSceneNodeExt()
{
	// The node may be half destroyed: its materials are not touched. Their user
	// data goes with the records here, so every copy of them reads none; their
	// side records go at the next collection.
	for (SZeNodeExtMaterial& record : Materials)
	{
		if (record.Effect)
			record.Effect->drop();
		if (record.Surface)
			record.Surface->drop();
	}
	Materials.clear();
	if (CubeMap)
		CubeMap->drop();
	if (CubeMapTexture)
		CubeMapTexture->setKindTarget(ze::ETK_CUBE, nullptr);
	for (ze::ITextureIndirect* texture : {CubeMapTexture, CubeMapCubeTexture})
		if (texture)
		{
			texture->setTarget(nullptr);
			ze::removeTexture(texture);
			texture->drop();
		}
}

void CZeSceneNodeExt::setMorphMeshGetter(MorphMeshGetter getter)
{
	g_morphMeshGetter = getter;
}

// ---- Applying materials ------------------------------------------------------------------
void CZeSceneNodeExt::rebuildSavedPasses(SZeNodeExtMaterial& record)
{
	record.SavedTechniques.clear();
	const u32 techniques = record.Effect->getTechniqueCount();
	record.SavedTechniques.resize(techniques);
	for (u32 t = 0; t < techniques; ++t)
	{
		const u32 passes = record.Effect->getPassCount(t);
		record.SavedTechniques[t].Passes.resize(passes);
		for (u32 p = 0; p < passes; ++p)
		{
			// The surface binds the pass's textures into an empty material, read back here.
			SZeNodeExtSavedMatPass& saved = record.SavedTechniques[t].Passes[p];
			video::SMaterial scratch;
			record.Surface->setEffectTextureOnMaterial(scratch, record.Effect, t, p);
			const ze::SMaterialExt* side = ze::getMaterialExt(scratch);
			for (u32 l = 0; l < ze::MATERIAL_MAX_TEXTURES; ++l)
			{
				saved.Layers[l].Texture = ze::getMaterialTexture(scratch, l);
				saved.Layers[l].Flag = side ? static_cast<u8>(side->TextureLayer[l].SRGB) : 0;
			}
			for (u32 l = 0; l < ze::MATERIAL_MAX_VERTEX_TEXTURES; ++l)
			{
				SZeNodeExtSavedMatPass::SLayer& layer = saved.Layers[ze::MATERIAL_MAX_TEXTURES + l];
				layer.Texture = ze::getMaterialVertexTexture(scratch, l);
				layer.Flag = side ? static_cast<u8>(side->VertexTextureLayer[l].SRGB) : 0;
			}
		}
	}
}

void CZeSceneNodeExt::copySavedPass(const SZeNodeExtMaterial& record, video::SMaterial& material)
{
	const s32 technique = record.Ext.Technique;
	const s32 pass = record.Ext.Pass;
	if (technique < 0 || static_cast<size_t>(technique) >= record.SavedTechniques.size())
		return;
	const std::vector<SZeNodeExtSavedMatPass>& passes = record.SavedTechniques[technique].Passes;
	if (pass < 0 || static_cast<size_t>(pass) >= passes.size())
		return;
	const SZeNodeExtSavedMatPass& saved = passes[pass];
	for (u32 l = 0; l < ze::MATERIAL_MAX_TEXTURES; ++l)
		if (saved.Layers[l].Texture)
		{
			ze::setMaterialTexture(material, l, saved.Layers[l].Texture);
			ze::setMaterialTextureSRGB(material, l, saved.Layers[l].Flag);
		}
	for (u32 l = 0; l < ze::MATERIAL_MAX_VERTEX_TEXTURES; ++l)
	{
		const SZeNodeExtSavedMatPass::SLayer& layer = saved.Layers[ze::MATERIAL_MAX_TEXTURES + l];
		if (layer.Texture)
		{
			ze::setMaterialVertexTexture(material, l, layer.Texture);
			ze::setMaterialVertexTextureSRGB(material, l, layer.Flag);
		}
	}
}

void CZeSceneNodeExt::applyMaterial(u32 i)
{
	if (!Node || i >= Materials.size() || i >= Node->getMaterialCount())
		return;
	SZeNodeExtMaterial& record = Materials[i];
	video::SMaterial& material = Node->getMaterial(i);
	if (record.Surface)
		record.Surface->applyToMaterial(material);
	if (record.Effect && record.Ext.Technique >= 0 && record.Ext.Pass >= 0)
		record.Effect->setupMaterial(static_cast<u32>(record.Ext.Technique), static_cast<u32>(record.Ext.Pass), material);
	ze::setMaterialUserData(material, &record.Ext);
	if (record.Effect && record.Surface)
	{
		rebuildSavedPasses(record);
		copySavedPass(record, material);
	}
}

void CZeSceneNodeExt::applyAllMaterials()
{
	for (u32 i = 0; i < Materials.size(); ++i)
		applyMaterial(i);
}

// ---- Effects -----------------------------------------------------------------------------
IZeEffect* CZeSceneNodeExt::getMaterialEffect(u32 i) const
{
	return i < Materials.size() ? Materials[i].Effect : nullptr;
}

void CZeSceneNodeExt::setMaterialEffect(u32 i, IZeEffect* effect, s32 technique, s32 pass)
{
	if (i >= Materials.size())
		return;
	if (effect)
		effect->grab();
	removeMaterialEffect(i);
	SZeNodeExtMaterial& record = Materials[i];
	record.Effect = effect;
	record.Ext.Effect = effect;
	for (u32 k = 0; k < 3; ++k)
		record.SpecialTechniques[k] = effect ? effect->getTechniqueIndex(SPECIAL_TECHNIQUES[k]) : -1;
	record.Ext.Technique = technique;
	record.Ext.Pass = pass;
	applyMaterial(i);
}

void CZeSceneNodeExt::setMaterialTechniquePass(u32 i, s32 technique, s32 pass)
{
	if (i >= Materials.size() || !Materials[i].Effect)
		return;
	Materials[i].Ext.Technique = technique;
	Materials[i].Ext.Pass = pass;
	applyMaterial(i);
}

void CZeSceneNodeExt::setMaterialTechnique(u32 i, s32 technique)
{
	if (i < Materials.size() && Materials[i].Effect)
		setMaterialTechniquePass(i, technique, Materials[i].Ext.Pass);
}

void CZeSceneNodeExt::setMaterialPass(u32 i, s32 pass)
{
	if (i < Materials.size() && Materials[i].Effect)
		setMaterialTechniquePass(i, Materials[i].Ext.Technique, pass);
}

void CZeSceneNodeExt::removeMaterialEffect(u32 i)
{
	if (i >= Materials.size() || !Materials[i].Effect)
		return;
	SZeNodeExtMaterial& record = Materials[i];
	IZeEffect* old = record.Effect;
	record.Effect = nullptr;
	record.Ext.Effect = nullptr;
	record.SavedTechniques.clear();
	for (s32& index : record.SpecialTechniques)
		index = -1;
	applyMaterial(i);
	old->drop();
}

void CZeSceneNodeExt::removeAllMaterialEffects()
{
	for (u32 i = 0; i < Materials.size(); ++i)
		removeMaterialEffect(i);
}

s32 CZeSceneNodeExt::getMaterialSpecialTechnique(u32 i, EZE_SPECIAL_TECHNIQUE kind) const
{
	if (i >= Materials.size() || kind < EZEST_DEPTH || kind > EZEST_REFLECTION)
		return -1;
	return Materials[i].SpecialTechniques[kind];
}

const SZeMaterialExt* CZeSceneNodeExt::getMaterialRecord(u32 i) const
{
	return i < Materials.size() ? &Materials[i].Ext : nullptr;
}

void CZeSceneNodeExt::saveEffects(core::array<SZeNodeExtSavedEffect>& out) const
{
	out.clear();
	for (const SZeNodeExtMaterial& record : Materials)
		out.push_back(SZeNodeExtSavedEffect(record.Effect, record.Ext.Technique, record.Ext.Pass));
}

void CZeSceneNodeExt::restoreEffects(const core::array<SZeNodeExtSavedEffect>& saved)
{
	const u32 count = saved.size() < Materials.size() ? saved.size() : static_cast<u32>(Materials.size());
	for (u32 i = 0; i < count; ++i)
	{
		const SZeNodeExtSavedEffect& s = saved[i];
		const SZeNodeExtMaterial& record = Materials[i];
		if (s.Effect != record.Effect)
			setMaterialEffect(i, s.Effect, s.Technique, s.Pass);
		else if (s.Effect && (s.Technique != record.Ext.Technique || s.Pass != record.Ext.Pass))
			setMaterialTechniquePass(i, s.Technique, s.Pass);
	}
}

// ---- Surfaces ----------------------------------------------------------------------------
IZeSurface* CZeSceneNodeExt::getMaterialSurface(u32 i) const
{
	return i < Materials.size() ? Materials[i].Surface : nullptr;
}

void CZeSceneNodeExt::setMaterialSurface(u32 i, IZeSurface* surface)
{
	if (i >= Materials.size())
		return;
	if (surface)
		surface->grab();
	IZeSurface* old = Materials[i].Surface;
	Materials[i].Surface = surface;
	if (old)
		old->drop();
	applyMaterial(i);
}

void CZeSceneNodeExt::removeMaterialSurface(u32 i)
{
	if (i < Materials.size() && Materials[i].Surface)
		setMaterialSurface(i, nullptr);
}

void CZeSceneNodeExt::removeAllMaterialSurfaces()
{
	for (u32 i = 0; i < Materials.size(); ++i)
		removeMaterialSurface(i);
}

// ---- Meshes ------------------------------------------------------------------------------
scene::IMesh* CZeSceneNodeExt::getNodeMesh() const
{
	if (!Node)
		return nullptr;
	const scene::ESCENE_NODE_TYPE type = Node->getType();
	if (type == scene::ESNT_MESH)
		if (scene::IMeshSceneNode* meshNode = dynamic_cast<scene::IMeshSceneNode*>(Node))
			return meshNode->getMesh();
	if (type == scene::ESNT_ANIMATED_MESH)
		if (scene::IAnimatedMeshSceneNode* animated = dynamic_cast<scene::IAnimatedMeshSceneNode*>(Node))
			return animated->getMesh();
	if (type == MORPH_NODE && g_morphMeshGetter)
		return g_morphMeshGetter(Node);
	return nullptr;
}

bool CZeSceneNodeExt::getMeshMaterialsUVs(u32 i, u32* value0, u32* value1)
{
	scene::IMesh* mesh = getNodeMesh();
	if (!mesh || i >= mesh->getMeshBufferCount())
		return false;
	u32 a = 0;
	u32 b = 0;
	if (!ze::getMeshMaterialsUVs(mesh->getMeshBuffer(i), &a, &b) && i < KeptMeshMaterialsUVs.size())
	{
		a = KeptMeshMaterialsUVs[i].first;
		b = KeptMeshMaterialsUVs[i].second;
	}
	if (value0)
		*value0 = a;
	if (value1)
		*value1 = b;
	return true;
}

bool CZeSceneNodeExt::hasMeshMaterialsUVs()
{
	scene::IMesh* mesh = getNodeMesh();
	const u32 count = mesh ? mesh->getMeshBufferCount() : 0;
	for (u32 i = 0; i < count; ++i)
	{
		u32 second = 0;
		if (getMeshMaterialsUVs(i, nullptr, &second) && second != 0)
			return true;
	}
	return false;
}

// Mesh buffer b draws with the node's material b.
bool CZeSceneNodeExt::needTangents()
{
	scene::IMesh* mesh = getNodeMesh();
	if (!mesh || !Node)
		return false;
	bool need = false;
	for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
	{
		if (b >= Node->getMaterialCount())
		{
			zeLog(EZELL_WARN, "CZeSceneNodeExt::needTangents : Warning, the mesh buffer %d is not pointing to any material of the node", b);
			continue;
		}
		if (b >= Materials.size())
		{
			zeLog(EZELL_WARN, "CZeSceneNodeExt::needTangents : Warning, the mesh buffer %d use a material index out of bound", b);
			continue;
		}
		if (Materials[b].Surface && Materials[b].Surface->hasNormalMap())
			need = true;
	}
	return need;
}

bool CZeSceneNodeExt::updateFromSurfaces()
{
	scene::IMeshSceneNode* meshNode =
		Node && Node->getType() == scene::ESNT_MESH ? dynamic_cast<scene::IMeshSceneNode*>(Node) : nullptr;
	scene::IMesh* mesh = meshNode ? meshNode->getMesh() : nullptr;
	if (mesh && mesh->getMeshBufferCount() > 0 && mesh->getMeshBuffer(0)->getVertexType() != video::EVT_TANGENTS &&
		needTangents())
	{
		scene::IMesh* tangents = Node->getSceneManager()->getMeshManipulator()->createMeshWithTangents(mesh);
		if (!tangents)
		{
			zeLog(EZELL_ERROR, "CZeSceneNodeExt: cannot make a copy of the mesh with tangents");
			return false;
		}
		KeptMeshMaterialsUVs.clear();
		for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
		{
			u32 a = 0;
			u32 c = 0;
			getMeshMaterialsUVs(b, &a, &c);
			KeptMeshMaterialsUVs.push_back({a, c});
		}
		tangents->setHardwareMappingHint(scene::EHM_STATIC, scene::EBT_VERTEX_AND_INDEX);
		meshNode->setMesh(tangents);
		tangents->drop();
	}
	applyAllMaterials();
	return true;
}

// ---- Cloning -----------------------------------------------------------------------------
scene::ISceneNodeAnimator* CZeSceneNodeExt::createClone(scene::ISceneNode* node, scene::ISceneManager*)
{
	CZeSceneNodeExt* clone = new CZeSceneNodeExt(node);
	const u32 count = clone->getMaterialCount() < getMaterialCount() ? clone->getMaterialCount() : getMaterialCount();
	for (u32 i = 0; i < count; ++i)
	{
		const SZeNodeExtMaterial& record = Materials[i];
		if (record.Surface)
		{
			IZeSurface* surface = record.Surface->clone();
			clone->setMaterialSurface(i, surface);
			if (surface)
				surface->drop();
		}
		if (record.Effect)
			clone->setMaterialEffect(i, record.Effect, record.Ext.Technique, record.Ext.Pass);
	}
	if (!clone->updateFromSurfaces())
	{
		clone->drop();
		return nullptr;
	}
	return clone;
}

// ---- Cube map, box and selection ---------------------------------------------------------
void CZeSceneNodeExt::setCubeMap(IZeCubeMap* cubeMap)
{
	if (cubeMap)
		cubeMap->grab();
	if (CubeMap)
		CubeMap->drop();
	CubeMap = cubeMap;
	if (CubeMapTexture)
		CubeMapTexture->setTarget(CubeMap ? CubeMap->getTexture() : nullptr);
	if (CubeMapCubeTexture)
		CubeMapCubeTexture->setTarget(CubeMap ? CubeMap->getCubeTexture() : nullptr);
}

void CZeSceneNodeExt::setCubeMapAABBEnabled(bool enabled)
{
	if (CubeMapAABBEnabled && !enabled)
		CubeMapAABBPosition.set(BOX_FAR, BOX_FAR, BOX_FAR);
	CubeMapAABBEnabled = enabled ? 1 : 0;
}

void CZeSceneNodeExt::setCubeMapAABB(const core::vector3df& position, const core::vector3df& scale)
{
	CubeMapAABBPosition = position;
	CubeMapAABBScale = scale;
}

u32 CZeSceneNodeExt::setSelectionMask(u32 mask)
{
	const u32 previous = SelectionMask;
	SelectionMask = mask;
	return previous;
}

// ---- Bind values -------------------------------------------------------------------------
bool CZeNodeExtValues::getNodeExtValue(scene::ISceneNode* node, EZE_NODE_EXT_VALUE value, core::vector3df* out) const
{
	const IZeSceneNodeExt* ext = zeFindSceneNodeExt(node);
	if (!ext || !out)
		return false;
	switch (value)
	{
	case EZENEV_CUBEMAP_POSITION:
		if (!ext->getCubeMap())
			return false;
		*out = ext->getCubeMap()->getPosition();
		return true;
	case EZENEV_CUBEMAP_AABB_POSITION:
		*out = ext->getCubeMapAABBPosition();
		return true;
	case EZENEV_CUBEMAP_AABB_SCALE:
		*out = ext->getCubeMapAABBScale();
		return true;
	}
	return false;
}
