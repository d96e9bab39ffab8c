// The morph-mesh scene node: its own material copies, drawn by pass like the
// engine's other mesh nodes, never culled automatically (morphs may move
// vertices outside the mesh's box).
#pragma once

#include "scene/IZeMorphMeshSceneNode.h"

#include <vector>

class CZeMorphMeshSceneNode : public IZeMorphMeshSceneNode
{
public:
	// The node type code 'morp' (first character in the lowest byte).
	static const irr::scene::ESCENE_NODE_TYPE NODE_TYPE =
		static_cast<irr::scene::ESCENE_NODE_TYPE>(MAKE_IRR_ID('m', 'o', 'r', 'p'));

	CZeMorphMeshSceneNode(IZeMorphMesh* mesh, irr::scene::ISceneNode* parent, irr::scene::ISceneManager* manager,
		irr::s32 id, const irr::core::vector3df& position = irr::core::vector3df(0.0f, 0.0f, 0.0f),
		const irr::core::vector3df& rotation = irr::core::vector3df(0.0f, 0.0f, 0.0f),
		const irr::core::vector3df& scale = irr::core::vector3df(1.0f, 1.0f, 1.0f));
	~CZeMorphMeshSceneNode() override;

	void OnRegisterSceneNode() override;
	void OnAnimate(irr::u32 timeMs) override;
	void render() override;
	const irr::core::aabbox3d<irr::f32>& getBoundingBox() const override;
	irr::video::SMaterial& getMaterial(irr::u32 i) override;
	irr::u32 getMaterialCount() const override;
	irr::scene::ESCENE_NODE_TYPE getType() const override { return NODE_TYPE; }
	irr::scene::ISceneNode* clone(irr::scene::ISceneNode* newParent = nullptr,
		irr::scene::ISceneManager* newManager = nullptr) override;

	void setCurrentFrame(irr::f32 frame) override;
	bool setFrameLoop(irr::s32 begin, irr::s32 end) override;
	irr::s32 getStartFrame() const override { return StartFrame; }
	irr::s32 getEndFrame() const override { return EndFrame; }
	void setMorphTargets(irr::u32 count, const irr::u32* indices, const irr::f32* weights) override;
	void setMesh(IZeMorphMesh* mesh) override;
	IZeMorphMesh* getMesh() override { return Mesh; }

	irr::f32 getCurrentFrame() const { return CurrentFrame; }

private:
	irr::core::array<irr::video::SMaterial> Materials;  // one per mesh buffer
	irr::core::aabbox3d<irr::f32> Box;
	IZeMorphMesh* Mesh = nullptr;  // grabbed
	irr::s32 StartFrame = -1;
	irr::s32 EndFrame = -1;
	irr::f32 CurrentFrame = 0.0f;
	irr::u32 TargetCount = 0;
	std::vector<irr::u32> TargetIndices;
	std::vector<irr::f32> TargetWeights;
	bool NeedsUpdate = true;
};
