// Our mesh and animated-mesh scene nodes. Inside drawRenderList each draws
// only the buffers of the current pass (solid or transparent by material);
// they also register with the library, so its drawAll shows them as it shows
// its own nodes. A buffer with vertices and no indices (a point cloud) draws
// one point per vertex.
#pragma once

#include <irrlicht.h>

namespace ze
{
class CZeMeshSceneNode : public irr::scene::IMeshSceneNode
{
public:
	CZeMeshSceneNode(irr::scene::IMesh* mesh, irr::scene::ISceneNode* parent, irr::scene::ISceneManager* manager,
		irr::s32 id, const irr::core::vector3df& position = irr::core::vector3df(0.0f, 0.0f, 0.0f),
		const irr::core::vector3df& rotation = irr::core::vector3df(0.0f, 0.0f, 0.0f),
		const irr::core::vector3df& scale = irr::core::vector3df(1.0f, 1.0f, 1.0f));
	~CZeMeshSceneNode() override;

	void OnRegisterSceneNode() override;
	void render() override;
	const irr::core::aabbox3d<irr::f32>& getBoundingBox() const override;
	irr::video::SMaterial& getMaterial(irr::u32 i) override;
	irr::u32 getMaterialCount() const override;
	irr::scene::ESCENE_NODE_TYPE getType() const override;

	// A null mesh is ignored.
	void setMesh(irr::scene::IMesh* mesh) override;
	irr::scene::IMesh* getMesh() override;
	// Stencil shadow volumes are not made by our nodes: null.
	irr::scene::IShadowVolumeSceneNode* addShadowVolumeSceneNode(const irr::scene::IMesh* shadowMesh = nullptr,
		irr::s32 id = -1, bool zfailmethod = true, irr::f32 infinity = 1000.0f) override;
	void setReadOnlyMaterials(bool readonly) override;
	bool isReadOnlyMaterials() const override;
	irr::scene::ISceneNode* clone(irr::scene::ISceneNode* newParent = nullptr,
		irr::scene::ISceneManager* newManager = nullptr) override;

private:
	void copyMaterials();

	irr::scene::IMesh* Mesh = nullptr;
	irr::core::array<irr::video::SMaterial> Materials;  // one per buffer
	irr::core::aabbox3d<irr::f32> Box;
	bool ReadOnlyMaterials = false;
};

class CZeAnimatedMeshSceneNode : public irr::scene::IAnimatedMeshSceneNode
{
public:
	CZeAnimatedMeshSceneNode(irr::scene::IAnimatedMesh* mesh, irr::scene::ISceneNode* parent,
		irr::scene::ISceneManager* manager, irr::s32 id,
		const irr::core::vector3df& position = irr::core::vector3df(0.0f, 0.0f, 0.0f),
		const irr::core::vector3df& rotation = irr::core::vector3df(0.0f, 0.0f, 0.0f),
		const irr::core::vector3df& scale = irr::core::vector3df(1.0f, 1.0f, 1.0f));
	~CZeAnimatedMeshSceneNode() override;

	// Advances the frame by the time since the previous call (none on the first).
	void OnAnimate(irr::u32 timeMs) override;
	void OnRegisterSceneNode() override;
	void render() override;
	const irr::core::aabbox3d<irr::f32>& getBoundingBox() const override;
	irr::video::SMaterial& getMaterial(irr::u32 i) override;
	irr::u32 getMaterialCount() const override;
	irr::scene::ESCENE_NODE_TYPE getType() const override;

	void setCurrentFrame(irr::f32 frame) override;
	// Both ends are clamped to the mesh's frames; a reversed pair is swapped.
	bool setFrameLoop(irr::s32 begin, irr::s32 end) override;
	void setAnimationSpeed(irr::f32 framesPerSecond) override;
	irr::f32 getAnimationSpeed() const override;
	irr::f32 getFrameNr() const override;
	irr::s32 getStartFrame() const override;
	irr::s32 getEndFrame() const override;
	void setLoopMode(bool playAnimationLooped) override;
	bool getLoopMode() const override;
	// Called once each time an unlooped animation reaches its end.
	void setAnimationEndCallback(irr::scene::IAnimationEndCallBack* callback = nullptr) override;
	bool setMD2Animation(irr::scene::EMD2_ANIMATION_TYPE anim) override;
	bool setMD2Animation(const irr::c8* animationName) override;

	// A null mesh is ignored; a new mesh restarts the loop over all its frames.
	void setMesh(irr::scene::IAnimatedMesh* mesh) override;
	irr::scene::IAnimatedMesh* getMesh() override;
	void setReadOnlyMaterials(bool readonly) override;
	bool isReadOnlyMaterials() const override;
	void setRenderFromIdentity(bool on) override;
	irr::scene::ISceneNode* clone(irr::scene::ISceneNode* newParent = nullptr,
		irr::scene::ISceneManager* newManager = nullptr) override;

	// Joints are not exposed as nodes and skinned meshes animate whole; MD3
	// tags and shadow volumes are not supported (null).
	irr::scene::IShadowVolumeSceneNode* addShadowVolumeSceneNode(const irr::scene::IMesh* shadowMesh = nullptr,
		irr::s32 id = -1, bool zfailmethod = true, irr::f32 infinity = 1000.0f) override;
	irr::scene::IBoneSceneNode* getJointNode(const irr::c8* jointName) override;
	irr::scene::IBoneSceneNode* getJointNode(irr::u32 jointID) override;
	irr::u32 getJointCount() const override;
	const irr::scene::SMD3QuaternionTag* getMD3TagTransformation(const irr::core::stringc& tagname) override;
	void setJointMode(irr::scene::E_JOINT_UPDATE_ON_RENDER mode) override;
	void setTransitionTime(irr::f32 time) override;
	void animateJoints(bool calculateAbsolutePositions = true) override;

private:
	void copyMaterials();
	void advanceFrame(irr::u32 elapsedMs);
	irr::scene::IMesh* meshForCurrentFrame();

	irr::scene::IAnimatedMesh* Mesh = nullptr;
	irr::core::array<irr::video::SMaterial> Materials;  // one per buffer of frame 0
	irr::core::aabbox3d<irr::f32> Box;
	irr::s32 StartFrame = 0;
	irr::s32 EndFrame = 0;
	irr::f32 FramesPerMs = 0.025f;
	irr::f32 CurrentFrame = 0.0f;
	irr::u32 LastTimeMs = 0;
	bool Looping = true;
	bool ReadOnlyMaterials = false;
	bool RenderFromIdentity = false;
	irr::scene::IAnimationEndCallBack* EndCallback = nullptr;  // grabbed
	irr::scene::E_JOINT_UPDATE_ON_RENDER JointMode = irr::scene::EJUOR_NONE;
	irr::f32 TransitionTime = 0.0f;
};

// Add our nodes to the graph (under the root when `parent` is null) like the
// library's add functions: the graph holds the node; null without a mesh.
irr::scene::IMeshSceneNode* addMeshSceneNode(irr::scene::ISceneManager* sceneManager, irr::scene::IMesh* mesh,
	irr::scene::ISceneNode* parent = nullptr, irr::s32 id = -1);
irr::scene::IAnimatedMeshSceneNode* addAnimatedMeshSceneNode(irr::scene::ISceneManager* sceneManager,
	irr::scene::IAnimatedMesh* mesh, irr::scene::ISceneNode* parent = nullptr, irr::s32 id = -1);
} // namespace ze
