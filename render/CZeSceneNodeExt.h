// The node extension: per-material records whose first part is the
// SZeMaterialExt that the material's user data points at.
#pragma once

#include "effects/IZeEffectBind.h"
#include "libext/ZeMaterialExt.h"
#include "libext/ZeTextureExt.h"
#include "render/IZeSceneNodeExt.h"

#include <vector>

// Texture layers a saved pass keeps: the 8 texture layers, then the 4
// vertex-texture layers.
const irr::u32 ZE_NODE_EXT_SAVED_LAYERS = ze::MATERIAL_MAX_TEXTURES + ze::MATERIAL_MAX_VERTEX_TEXTURES;

// What a surface binds for one pass of the effect.
struct SZeNodeExtSavedMatPass
{
	struct SLayer
	{
		irr::video::ITexture* Texture = nullptr;  // not held
		irr::u8 Flag = 0;                         // sRGB
	};
	SLayer Layers[ZE_NODE_EXT_SAVED_LAYERS];
};

struct SZeNodeExtSavedMatTechnique
{
	std::vector<SZeNodeExtSavedMatPass> Passes;
};

struct SZeNodeExtMaterial
{
	SZeMaterialExt Ext;                  // first: the material's user data points here
	IZeEffect* Effect = nullptr;         // held
	IZeSurface* Surface = nullptr;       // held
	std::vector<SZeNodeExtSavedMatTechnique> SavedTechniques;
	irr::s32 SpecialTechniques[3] = { -1, -1, -1 };  // by EZE_SPECIAL_TECHNIQUE
};

class CZeSceneNodeExt : public IZeSceneNodeExt
{
public:
	explicit CZeSceneNodeExt(irr::scene::ISceneNode* node);
	~CZeSceneNodeExt() override;
	CZeSceneNodeExt(const CZeSceneNodeExt&) = delete;
	CZeSceneNodeExt& operator=(const CZeSceneNodeExt&) = delete;

	// Animator part: nothing to animate, no attributes, no events.
	void serializeAttributes(irr::io::IAttributes*, irr::io::SAttributeReadWriteOptions* = 0) const override {}
	void deserializeAttributes(irr::io::IAttributes*, irr::io::SAttributeReadWriteOptions* = 0) override {}
	void animateNode(irr::scene::ISceneNode*, irr::u32) override {}
	// A new extension for the other node with copies of the surfaces and the
	// same effects; null when its updateFromSurfaces fails.
	irr::scene::ISceneNodeAnimator* createClone(irr::scene::ISceneNode* node,
		irr::scene::ISceneManager* newManager = 0) override;
	bool isEventReceiverEnabled() const override { return false; }
	bool OnEvent(const irr::SEvent&) override { return false; }
	irr::scene::ESCENE_NODE_ANIMATOR_TYPE getType() const override { return ZE_SCENE_NODE_EXT_TYPE; }
	bool hasFinished() const override { return false; }

	irr::scene::ISceneNode* getSceneNode() const override { return Node; }
	void setCastShadow(bool castShadow) override { CastShadow = castShadow ? 1 : 0; }
	bool isCastShadow() const override { return CastShadow != 0; }

	IZeEffect* getMaterialEffect(irr::u32 i) const override;
	void setMaterialEffect(irr::u32 i, IZeEffect* effect, irr::s32 technique, irr::s32 pass) override;
	void setMaterialTechniquePass(irr::u32 i, irr::s32 technique, irr::s32 pass) override;
	void setMaterialTechnique(irr::u32 i, irr::s32 technique) override;
	void setMaterialPass(irr::u32 i, irr::s32 pass) override;
	void removeMaterialEffect(irr::u32 i) override;
	void removeAllMaterialEffects() override;

	IZeSurface* getMaterialSurface(irr::u32 i) const override;
	void setMaterialSurface(irr::u32 i, IZeSurface* surface) override;
	void removeMaterialSurface(irr::u32 i) override;
	void removeAllMaterialSurfaces() override;

	bool hasMeshMaterialsUVs() override;
	bool getMeshMaterialsUVs(irr::u32 i, irr::u32* value0, irr::u32* value1) override;
	void setExtValue(irr::u32 value) override { ExtValue = value; }
	bool needTangents() override;
	bool updateFromSurfaces() override;
	irr::s32 getMaterialSpecialTechnique(irr::u32 i, EZE_SPECIAL_TECHNIQUE kind) const override;

	void saveEffects(irr::core::array<SZeNodeExtSavedEffect>& out) const override;
	void restoreEffects(const irr::core::array<SZeNodeExtSavedEffect>& saved) override;

	void setCubeMap(IZeCubeMap* cubeMap) override;
	IZeCubeMap* getCubeMap() const override { return CubeMap; }
	irr::video::ITexture* getCubeMapTexture() const override { return CubeMapTexture; }
	void setCubeMapAABBEnabled(bool enabled) override;
	void setCubeMapAABB(const irr::core::vector3df& position, const irr::core::vector3df& scale) override;
	bool isCubeMapAABBEnabled() const override { return CubeMapAABBEnabled != 0; }
	const irr::core::vector3df& getCubeMapAABBPosition() const override { return CubeMapAABBPosition; }
	const irr::core::vector3df& getCubeMapAABBScale() const override { return CubeMapAABBScale; }

	irr::u32 getSelectionMask() const override { return SelectionMask; }
	irr::u32 setSelectionMask(irr::u32 mask) override;

	irr::u32 getMaterialCount() const override { return static_cast<irr::u32>(Materials.size()); }
	const SZeMaterialExt* getMaterialRecord(irr::u32 i) const override;

	// Applies every material again (after the library copied materials into
	// the node, as its clone does after cloning the animators).
	void applyAllMaterials();

	// The mesh of morph-mesh nodes ("morp"), whose class lives above the
	// rendering pipeline; without a getter they have no mesh here.
	typedef irr::scene::IMesh* (*MorphMeshGetter)(irr::scene::ISceneNode* node);
	static void setMorphMeshGetter(MorphMeshGetter getter);

private:
	void applyMaterial(irr::u32 i);
	void rebuildSavedPasses(SZeNodeExtMaterial& record);
	void copySavedPass(const SZeNodeExtMaterial& record, irr::video::SMaterial& material);
	// The mesh of mesh, animated-mesh and morph-mesh nodes, else null.
	irr::scene::IMesh* getNodeMesh() const;

	irr::scene::ISceneNode* Node;
	irr::u8 CastShadow = 0;
	irr::u32 ExtValue = 0;
	std::vector<SZeNodeExtMaterial> Materials;  // fixed at construction
	IZeCubeMap* CubeMap = nullptr;
	ze::ITextureIndirect* CubeMapTexture = nullptr;
	// The map's cube texture, which cube samplers read in place of
	// CubeMapTexture (that one stands for a lat-long map's 2D copy).
	ze::ITextureIndirect* CubeMapCubeTexture = nullptr;
	irr::u8 CubeMapAABBEnabled = 0;
	irr::core::vector3df CubeMapAABBPosition;
	irr::core::vector3df CubeMapAABBScale;
	irr::u32 SelectionMask = 0;
	// "MeshMaterialsUVs" pairs per buffer of the mesh a tangent copy replaced
	// (the copy's buffers do not carry them).
	std::vector<std::pair<irr::u32, irr::u32>> KeptMeshMaterialsUVs;
};

// The node-extension values the effect binds serve: "CubeMapPosition" (the
// attached cube map's capture position), "CubeMapAABBPosition" and
// "CubeMapAABBScale" (the box), for nodes that have an extension.
class CZeNodeExtValues : public IZeNodeExtValues
{
public:
	bool getNodeExtValue(irr::scene::ISceneNode* node, EZE_NODE_EXT_VALUE value, irr::core::vector3df* out) const override;
};
