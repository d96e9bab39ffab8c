#include "libext/CZeMeshSceneNodes.h"

#include "libext/ZeDrawPasses.h"

#include <cmath>

using namespace irr;

namespace ze
{
namespace
{
// As the library's mesh node registers: once per kind of material it has.
void registerByMaterials(scene::ISceneNode* node, scene::ISceneManager* sceneManager)
{
	video::IVideoDriver* driver = sceneManager->getVideoDriver();
	bool solid = node->getMaterialCount() == 0;
	bool transparent = false;
	for (u32 i = 0; i < node->getMaterialCount() && !(solid && transparent); ++i)
	{
		if (isTransparentMaterial(driver, node->getMaterial(i)))
			transparent = true;
		else
			solid = true;
	}
	if (solid)
		sceneManager->registerNodeForRendering(node, scene::ESNRP_SOLID);
	if (transparent)
		sceneManager->registerNodeForRendering(node, scene::ESNRP_TRANSPARENT);
}

// A buffer with vertices and no indices is a point list (a point cloud): one
// point per vertex, the size of the material's thickness.
void drawBuffer(video::IVideoDriver* driver, scene::IMeshBuffer* buffer)
{
	if (buffer->getIndexCount() > 0 || buffer->getVertexCount() == 0)
	{
		driver->drawMeshBuffer(buffer);
		return;
	}
	driver->drawVertexPrimitiveList(buffer->getVertices(), buffer->getVertexCount(), nullptr,
		buffer->getVertexCount(), buffer->getVertexType(), scene::EPT_POINTS, buffer->getIndexType());
}

// Draws the buffers of the current pass: ours inside drawRenderList, else the
// library's inside drawAll; every buffer outside both.
void drawBuffers(scene::ISceneManager* sceneManager, scene::IMesh* mesh,
	const core::array<video::SMaterial>& materials, bool readOnlyMaterials)
{
	video::IVideoDriver* driver = sceneManager->getVideoDriver();
	scene::E_SCENE_NODE_RENDER_PASS pass = getCurrentRenderPass();
	if (pass == scene::ESNRP_NONE)
		pass = sceneManager->getSceneNodeRenderPass();
	for (u32 i = 0; i < mesh->getMeshBufferCount(); ++i)
	{
		scene::IMeshBuffer* buffer = mesh->getMeshBuffer(i);
		if (!buffer)
			continue;
		const video::SMaterial& material =
			(readOnlyMaterials || i >= materials.size()) ? buffer->getMaterial() : materials[i];
		const bool transparent = isTransparentMaterial(driver, material);
		if ((pass == scene::ESNRP_SOLID && transparent) || (pass == scene::ESNRP_TRANSPARENT && !transparent))
			continue;
		driver->setMaterial(material);
		drawBuffer(driver, buffer);
	}
}

void copyBufferMaterials(scene::IMesh* mesh, core::array<video::SMaterial>& materials)
{
	materials.set_used(0);
	if (!mesh)
		return;
	for (u32 i = 0; i < mesh->getMeshBufferCount(); ++i)
	{
		scene::IMeshBuffer* buffer = mesh->getMeshBuffer(i);
		materials.push_back(buffer ? buffer->getMaterial() : video::SMaterial());
	}
}

// The box of what the nodes draw: the mesh's, except for the library's skinned
// meshes, whose box counts the buffers' frame transformations (and the origin)
// that the nodes do not apply; theirs is the box of the buffers that have vertices.
core::aabbox3df drawnBox(scene::IMesh* mesh)
{
	if (!dynamic_cast<scene::ISkinnedMesh*>(mesh))
		return mesh->getBoundingBox();
	core::aabbox3df box = mesh->getBoundingBox();
	bool first = true;
	for (u32 i = 0; i < mesh->getMeshBufferCount(); ++i)
	{
		const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(i);
		if (!buffer || buffer->getVertexCount() == 0)
			continue;
		if (first)
			box = buffer->getBoundingBox();
		else
			box.addInternalBox(buffer->getBoundingBox());
		first = false;
	}
	return box;
}

// Holds `mesh` in place of `held`; false, and `held` kept, when there is no mesh.
template <class MeshT>
bool holdMesh(MeshT*& held, MeshT* mesh)
{
	if (!mesh)
		return false;
	mesh->grab();
	if (held)
		held->drop();
	held = mesh;
	return true;
}

// A node of type NodeT showing `mesh` under `parent`, the root when null; owned by its parent.
template <class NodeT, class MeshT>
NodeT* addNode(scene::ISceneManager* sceneManager, MeshT* mesh, scene::ISceneNode* parent, s32 id)
{
	if (!sceneManager || !mesh)
		return nullptr;
	if (!parent)
		parent = sceneManager->getRootSceneNode();
	NodeT* node = new NodeT(mesh, parent, sceneManager, id);
	node->drop();
	return node;
}
} // namespace

// --- static meshes ---

CZeMeshSceneNode::CZeMeshSceneNode(scene::IMesh* mesh, scene::ISceneNode* parent, scene::ISceneManager* manager,
	s32 id, const core::vector3df& position, const core::vector3df& rotation, const core::vector3df& scale)
	: IMeshSceneNode(parent, manager, id, position, rotation, scale)
{
	setMesh(mesh);
}

CZeMeshSceneNode::~CZeMeshSceneNode()
{
	if (Mesh)
		Mesh->drop();
}

void CZeMeshSceneNode::OnRegisterSceneNode()
{
	if (!IsVisible)
		return;
	registerByMaterials(this, SceneManager);
	ISceneNode::OnRegisterSceneNode();
}

void CZeMeshSceneNode::render()
{
	if (!Mesh || !SceneManager->getVideoDriver())
		return;
	SceneManager->getVideoDriver()->setTransform(video::ETS_WORLD, AbsoluteTransformation);
	drawBuffers(SceneManager, Mesh, Materials, ReadOnlyMaterials);
}

const core::aabbox3d<f32>& CZeMeshSceneNode::getBoundingBox() const
{
	return Box;
}

video::SMaterial& CZeMeshSceneNode::getMaterial(u32 i)
{
	if (ReadOnlyMaterials && Mesh && i < Mesh->getMeshBufferCount())
		return Mesh->getMeshBuffer(i)->getMaterial();
	if (!ReadOnlyMaterials && i < Materials.size())
		return Materials[i];
	return ISceneNode::getMaterial(i);
}

u32 CZeMeshSceneNode::getMaterialCount() const
{
	if (ReadOnlyMaterials && Mesh)
		return Mesh->getMeshBufferCount();
	return Materials.size();
}

scene::ESCENE_NODE_TYPE CZeMeshSceneNode::getType() const
{
	return scene::ESNT_MESH;
}

void CZeMeshSceneNode::setMesh(scene::IMesh* mesh)
{
	if (!holdMesh(Mesh, mesh))
		return;
	Box = drawnBox(Mesh);
	copyMaterials();
}

scene::IMesh* CZeMeshSceneNode::getMesh()
{
	return Mesh;
}

scene::IShadowVolumeSceneNode* CZeMeshSceneNode::addShadowVolumeSceneNode(const scene::IMesh*, s32, bool, f32)
{
	return nullptr;
}

void CZeMeshSceneNode::setReadOnlyMaterials(bool readonly)
{
	ReadOnlyMaterials = readonly;
}

bool CZeMeshSceneNode::isReadOnlyMaterials() const
{
	return ReadOnlyMaterials;
}

scene::ISceneNode* CZeMeshSceneNode::clone(scene::ISceneNode* newParent, scene::ISceneManager* newManager)
{
	if (!newParent)
		newParent = Parent;
	if (!newManager)
		newManager = SceneManager;
	CZeMeshSceneNode* copy = new CZeMeshSceneNode(Mesh, newParent, newManager, ID, RelativeTranslation,
		RelativeRotation, RelativeScale);
	copy->cloneMembers(this, newManager);
	copy->ReadOnlyMaterials = ReadOnlyMaterials;
	copy->Materials = Materials;
	if (newParent)
		copy->drop();
	return copy;
}

void CZeMeshSceneNode::copyMaterials()
{
	copyBufferMaterials(Mesh, Materials);
}

// --- animated meshes ---

CZeAnimatedMeshSceneNode::CZeAnimatedMeshSceneNode(scene::IAnimatedMesh* mesh, scene::ISceneNode* parent,
	scene::ISceneManager* manager, s32 id, const core::vector3df& position, const core::vector3df& rotation,
	const core::vector3df& scale)
	: IAnimatedMeshSceneNode(parent, manager, id, position, rotation, scale)
{
	setMesh(mesh);
}

CZeAnimatedMeshSceneNode::~CZeAnimatedMeshSceneNode()
{
	if (EndCallback)
		EndCallback->drop();
	if (Mesh)
		Mesh->drop();
}

void CZeAnimatedMeshSceneNode::OnAnimate(u32 timeMs)
{
	if (LastTimeMs == 0)
		LastTimeMs = timeMs;
	advanceFrame(timeMs >= LastTimeMs ? timeMs - LastTimeMs : 0);  // a clock set back: no step
	LastTimeMs = timeMs;
	if (Mesh)
	{
		if (scene::IMesh* frame = meshForCurrentFrame())
			Box = drawnBox(frame);
	}
	IAnimatedMeshSceneNode::OnAnimate(timeMs);
}

void CZeAnimatedMeshSceneNode::advanceFrame(u32 elapsedMs)
{
	if (StartFrame == EndFrame)
	{
		CurrentFrame = static_cast<f32>(StartFrame);
		return;
	}
	const f32 start = static_cast<f32>(StartFrame);
	const f32 end = static_cast<f32>(EndFrame);
	const f32 length = end - start;
	const f32 before = CurrentFrame;
	CurrentFrame += static_cast<f32>(elapsedMs) * FramesPerMs;
	if (Looping)
	{
		if (FramesPerMs > 0.0f && CurrentFrame > end)
			CurrentFrame = start + std::fmod(CurrentFrame - start, length);
		else if (FramesPerMs < 0.0f && CurrentFrame < start)
			CurrentFrame = end - std::fmod(end - CurrentFrame, length);
		return;
	}
	// The callback hears of reaching the end, not of staying there.
	bool ended = false;
	if (FramesPerMs > 0.0f && CurrentFrame > end)
	{
		CurrentFrame = end;
		ended = before < end;
	}
	else if (FramesPerMs < 0.0f && CurrentFrame < start)
	{
		CurrentFrame = start;
		ended = before > start;
	}
	if (ended && EndCallback)
		EndCallback->OnAnimationEnd(this);
}

scene::IMesh* CZeAnimatedMeshSceneNode::meshForCurrentFrame()
{
	if (Mesh->getMeshType() == scene::EAMT_SKINNED)
	{
		scene::ISkinnedMesh* skinned = static_cast<scene::ISkinnedMesh*>(Mesh);
		skinned->animateMesh(CurrentFrame, 1.0f);
		skinned->skinMesh();
		return skinned;
	}
	return Mesh->getMesh(static_cast<s32>(CurrentFrame), 255, StartFrame, EndFrame);
}

void CZeAnimatedMeshSceneNode::OnRegisterSceneNode()
{
	if (!IsVisible)
		return;
	registerByMaterials(this, SceneManager);
	ISceneNode::OnRegisterSceneNode();
}

void CZeAnimatedMeshSceneNode::render()
{
	video::IVideoDriver* driver = SceneManager->getVideoDriver();
	if (!Mesh || !driver)
		return;
	scene::IMesh* frame = meshForCurrentFrame();
	if (!frame)
		return;
	driver->setTransform(video::ETS_WORLD, RenderFromIdentity ? core::IdentityMatrix : AbsoluteTransformation);
	drawBuffers(SceneManager, frame, Materials, ReadOnlyMaterials);
}

const core::aabbox3d<f32>& CZeAnimatedMeshSceneNode::getBoundingBox() const
{
	return Box;
}

video::SMaterial& CZeAnimatedMeshSceneNode::getMaterial(u32 i)
{
	if (ReadOnlyMaterials && Mesh)
	{
		scene::IMesh* first = Mesh->getMesh(0);
		if (first && i < first->getMeshBufferCount())
			return first->getMeshBuffer(i)->getMaterial();
	}
	if (!ReadOnlyMaterials && i < Materials.size())
		return Materials[i];
	return ISceneNode::getMaterial(i);
}

u32 CZeAnimatedMeshSceneNode::getMaterialCount() const
{
	if (ReadOnlyMaterials && Mesh)
	{
		scene::IMesh* first = Mesh->getMesh(0);
		return first ? first->getMeshBufferCount() : 0;
	}
	return Materials.size();
}

scene::ESCENE_NODE_TYPE CZeAnimatedMeshSceneNode::getType() const
{
	return scene::ESNT_ANIMATED_MESH;
}

void CZeAnimatedMeshSceneNode::setCurrentFrame(f32 frame)
{
	CurrentFrame = core::clamp(frame, static_cast<f32>(StartFrame), static_cast<f32>(EndFrame));
}

bool CZeAnimatedMeshSceneNode::setFrameLoop(s32 begin, s32 end)
{
	const s32 last = Mesh ? static_cast<s32>(Mesh->getFrameCount()) - 1 : 0;
	if (end < begin)
	{
		StartFrame = core::s32_clamp(end, 0, last);
		EndFrame = core::s32_clamp(begin, StartFrame, last);
	}
	else
	{
		StartFrame = core::s32_clamp(begin, 0, last);
		EndFrame = core::s32_clamp(end, StartFrame, last);
	}
	setCurrentFrame(static_cast<f32>(FramesPerMs < 0.0f ? EndFrame : StartFrame));
	return true;
}

void CZeAnimatedMeshSceneNode::setAnimationSpeed(f32 framesPerSecond)
{
	FramesPerMs = framesPerSecond * 0.001f;
}

f32 CZeAnimatedMeshSceneNode::getAnimationSpeed() const
{
	return FramesPerMs * 1000.0f;
}

f32 CZeAnimatedMeshSceneNode::getFrameNr() const
{
	return CurrentFrame;
}

s32 CZeAnimatedMeshSceneNode::getStartFrame() const
{
	return StartFrame;
}

s32 CZeAnimatedMeshSceneNode::getEndFrame() const
{
	return EndFrame;
}

void CZeAnimatedMeshSceneNode::setLoopMode(bool playAnimationLooped)
{
	Looping = playAnimationLooped;
}

bool CZeAnimatedMeshSceneNode::getLoopMode() const
{
	return Looping;
}

void CZeAnimatedMeshSceneNode::setAnimationEndCallback(scene::IAnimationEndCallBack* callback)
{
	if (callback == EndCallback)
		return;
	if (callback)
		callback->grab();
	if (EndCallback)
		EndCallback->drop();
	EndCallback = callback;
}

bool CZeAnimatedMeshSceneNode::setMD2Animation(scene::EMD2_ANIMATION_TYPE anim)
{
	if (!Mesh || Mesh->getMeshType() != scene::EAMT_MD2)
		return false;
	s32 begin = 0;
	s32 end = 0;
	s32 speed = 0;
	static_cast<scene::IAnimatedMeshMD2*>(Mesh)->getFrameLoop(anim, begin, end, speed);
	setAnimationSpeed(static_cast<f32>(speed));
	setFrameLoop(begin, end);
	return true;
}

bool CZeAnimatedMeshSceneNode::setMD2Animation(const c8* animationName)
{
	if (!Mesh || Mesh->getMeshType() != scene::EAMT_MD2 || !animationName)
		return false;
	s32 begin = 0;
	s32 end = 0;
	s32 speed = 0;
	if (!static_cast<scene::IAnimatedMeshMD2*>(Mesh)->getFrameLoop(animationName, begin, end, speed))
		return false;
	setAnimationSpeed(static_cast<f32>(speed));
	setFrameLoop(begin, end);
	return true;
}

void CZeAnimatedMeshSceneNode::setMesh(scene::IAnimatedMesh* mesh)
{
	if (!holdMesh(Mesh, mesh))
		return;
	Box = drawnBox(Mesh);
	copyMaterials();
	setAnimationSpeed(Mesh->getAnimationSpeed());
	setFrameLoop(0, static_cast<s32>(Mesh->getFrameCount()));
}

scene::IAnimatedMesh* CZeAnimatedMeshSceneNode::getMesh()
{
	return Mesh;
}

void CZeAnimatedMeshSceneNode::setReadOnlyMaterials(bool readonly)
{
	ReadOnlyMaterials = readonly;
}

bool CZeAnimatedMeshSceneNode::isReadOnlyMaterials() const
{
	return ReadOnlyMaterials;
}

void CZeAnimatedMeshSceneNode::setRenderFromIdentity(bool on)
{
	RenderFromIdentity = on;
}

scene::ISceneNode* CZeAnimatedMeshSceneNode::clone(scene::ISceneNode* newParent, scene::ISceneManager* newManager)
{
	if (!newParent)
		newParent = Parent;
	if (!newManager)
		newManager = SceneManager;
	CZeAnimatedMeshSceneNode* copy = new CZeAnimatedMeshSceneNode(Mesh, newParent, newManager, ID,
		RelativeTranslation, RelativeRotation, RelativeScale);
	copy->cloneMembers(this, newManager);
	copy->Materials = Materials;
	copy->Box = Box;
	copy->StartFrame = StartFrame;
	copy->EndFrame = EndFrame;
	copy->FramesPerMs = FramesPerMs;
	copy->CurrentFrame = CurrentFrame;
	copy->Looping = Looping;
	copy->ReadOnlyMaterials = ReadOnlyMaterials;
	copy->RenderFromIdentity = RenderFromIdentity;
	copy->setAnimationEndCallback(EndCallback);
	copy->JointMode = JointMode;
	copy->TransitionTime = TransitionTime;
	if (newParent)
		copy->drop();
	return copy;
}

scene::IShadowVolumeSceneNode* CZeAnimatedMeshSceneNode::addShadowVolumeSceneNode(const scene::IMesh*, s32, bool, f32)
{
	return nullptr;
}

scene::IBoneSceneNode* CZeAnimatedMeshSceneNode::getJointNode(const c8*)
{
	return nullptr;
}

scene::IBoneSceneNode* CZeAnimatedMeshSceneNode::getJointNode(u32)
{
	return nullptr;
}

u32 CZeAnimatedMeshSceneNode::getJointCount() const
{
	if (!Mesh || Mesh->getMeshType() != scene::EAMT_SKINNED)
		return 0;
	return static_cast<const scene::ISkinnedMesh*>(Mesh)->getJointCount();
}

const scene::SMD3QuaternionTag* CZeAnimatedMeshSceneNode::getMD3TagTransformation(const core::stringc&)
{
	return nullptr;
}

void CZeAnimatedMeshSceneNode::setJointMode(scene::E_JOINT_UPDATE_ON_RENDER mode)
{
	JointMode = mode;
}

void CZeAnimatedMeshSceneNode::setTransitionTime(f32 time)
{
	TransitionTime = time;
}

void CZeAnimatedMeshSceneNode::animateJoints(bool)
{
}

void CZeAnimatedMeshSceneNode::copyMaterials()
{
	copyBufferMaterials(Mesh ? Mesh->getMesh(0) : nullptr, Materials);
}

// --- factories ---

scene::IMeshSceneNode* addMeshSceneNode(scene::ISceneManager* sceneManager, scene::IMesh* mesh,
	scene::ISceneNode* parent, s32 id)
{
	return addNode<CZeMeshSceneNode>(sceneManager, mesh, parent, id);
}

scene::IAnimatedMeshSceneNode* addAnimatedMeshSceneNode(scene::ISceneManager* sceneManager,
	scene::IAnimatedMesh* mesh, scene::ISceneNode* parent, s32 id)
{
	return addNode<CZeAnimatedMeshSceneNode>(sceneManager, mesh, parent, id);
}
} // namespace ze
