#include "scene/CZeMorphMeshSceneNode.h"

#include "libext/ZeDrawPasses.h"
#include "scene/IZeMorphMesh.h"

#include <cstring>

using namespace irr;

CZeMorphMeshSceneNode::CZeMorphMeshSceneNode(IZeMorphMesh* mesh, scene::ISceneNode* parent,
	scene::ISceneManager* manager, s32 id, const core::vector3df& position, const core::vector3df& rotation,
	const core::vector3df& scale)
	: IZeMorphMeshSceneNode(parent, manager, id, position, rotation, scale), Box(-1.f, -1.f, -1.f, 1.f, 1.f, 1.f)
{
	setMesh(mesh);
	setAutomaticCulling(scene::EAC_OFF);
}

CZeMorphMeshSceneNode::~CZeMorphMeshSceneNode()
{
	if (Mesh)
		Mesh->drop();
}

void CZeMorphMeshSceneNode::setMesh(IZeMorphMesh* mesh)
{
	if (!mesh)
		return;
	mesh->grab();
	if (Mesh)
		Mesh->drop();
	Mesh = mesh;
	Materials.set_used(0);
	for (u32 i = 0; i < Mesh->getMeshBufferCount(); ++i)
	{
		scene::IMeshBuffer* buffer = Mesh->getMeshBuffer(i);
		Materials.push_back(buffer ? buffer->getMaterial() : video::SMaterial());
	}
	setFrameLoop(0, s32(Mesh->getFrameCount()));
	NeedsUpdate = true;
}

bool CZeMorphMeshSceneNode::setFrameLoop(s32 begin, s32 end)
{
	const s32 last = Mesh ? s32(Mesh->getFrameCount()) - 1 : -1;
	const s32 low = core::min_(begin, end);
	const s32 high = core::max_(begin, end);
	s32 start = core::max_(low, 0);
	start = core::min_(start, last);
	s32 stop = core::max_(high, start);
	stop = core::min_(stop, last);
	StartFrame = start;
	EndFrame = stop;
	setCurrentFrame(f32(StartFrame));
	return true;
}

void CZeMorphMeshSceneNode::setCurrentFrame(f32 frame)
{
	if (frame == CurrentFrame)
		return;
	CurrentFrame = core::min_(core::max_(frame, f32(StartFrame)), f32(EndFrame));
	NeedsUpdate = true;
}

void CZeMorphMeshSceneNode::setMorphTargets(u32 count, const u32* indices, const f32* weights)
{
	if (count == TargetCount &&
		(count == 0 ||
			(std::memcmp(indices, TargetIndices.data(), count * sizeof(u32)) == 0 &&
				std::memcmp(weights, TargetWeights.data(), count * sizeof(f32)) == 0)))
		return;
	TargetCount = count;
	if (TargetIndices.size() < count)
	{
		TargetIndices.resize(count);
		TargetWeights.resize(count);
	}
	if (count)
	{
		std::memcpy(TargetIndices.data(), indices, count * sizeof(u32));
		std::memcpy(TargetWeights.data(), weights, count * sizeof(f32));
	}
	NeedsUpdate = true;
}

void CZeMorphMeshSceneNode::OnAnimate(u32 timeMs)
{
	if (NeedsUpdate)
	{
		if (Mesh)
			Mesh->applyMorphs(TargetCount, TargetIndices.data(), TargetWeights.data(), CurrentFrame);
		NeedsUpdate = false;
	}
	ISceneNode::OnAnimate(timeMs);
}

void CZeMorphMeshSceneNode::OnRegisterSceneNode()
{
	if (!IsVisible)
		return;
	video::IVideoDriver* driver = SceneManager->getVideoDriver();
	bool solid = false;
	bool transparent = false;
	for (u32 i = 0; i < Materials.size() && !(solid && transparent); ++i)
	{
		if (ze::isTransparentMaterial(driver, Materials[i]))
			transparent = true;
		else
			solid = true;
	}
	if (solid)
		SceneManager->registerNodeForRendering(this, scene::ESNRP_SOLID);
	if (transparent)
		SceneManager->registerNodeForRendering(this, scene::ESNRP_TRANSPARENT);
	ISceneNode::OnRegisterSceneNode();
}

void CZeMorphMeshSceneNode::render()
{
	video::IVideoDriver* driver = SceneManager->getVideoDriver();
	if (!driver || !Mesh)
		return;
	// Inside drawRenderList the engine's pass, else the library's; transparent
	// materials draw only in the transparent pass, solid ones in every other.
	scene::E_SCENE_NODE_RENDER_PASS pass = ze::getCurrentRenderPass();
	if (pass == scene::ESNRP_NONE)
		pass = SceneManager->getSceneNodeRenderPass();
	driver->setTransform(video::ETS_WORLD, AbsoluteTransformation);
	Box = Mesh->getBoundingBox();
	for (u32 i = 0; i < Mesh->getMeshBufferCount(); ++i)
	{
		scene::IMeshBuffer* buffer = Mesh->getMeshBuffer(i);
		if (!buffer)
			continue;
		const video::SMaterial& material = i < Materials.size() ? Materials[i] : buffer->getMaterial();
		const bool transparent = ze::isTransparentMaterial(driver, material);
		if (transparent != (pass == scene::ESNRP_TRANSPARENT))
			continue;
		driver->setMaterial(material);
		driver->drawMeshBuffer(buffer);
	}
	driver->setTransform(video::ETS_WORLD, AbsoluteTransformation);
}

const core::aabbox3d<f32>& CZeMorphMeshSceneNode::getBoundingBox() const
{
	return Mesh ? Mesh->getBoundingBox() : Box;
}

video::SMaterial& CZeMorphMeshSceneNode::getMaterial(u32 i)
{
	if (i < Materials.size())
		return Materials[i];
	return ISceneNode::getMaterial(i);
}

u32 CZeMorphMeshSceneNode::getMaterialCount() const
{
	return Materials.size();
}

scene::ISceneNode* CZeMorphMeshSceneNode::clone(scene::ISceneNode* newParent, scene::ISceneManager* newManager)
{
	if (!newParent)
		newParent = Parent;
	if (!newManager)
		newManager = SceneManager;
	CZeMorphMeshSceneNode* copy = new CZeMorphMeshSceneNode(Mesh, newParent, newManager, ID, RelativeTranslation,
		RelativeRotation, RelativeScale);
	copy->cloneMembers(this, newManager);
	if (Mesh)
	{
		IZeMorphMesh* own = Mesh->clone();
		copy->setMesh(own);
		if (own)
			own->drop();
	}
	else
	{
		copy->Materials = Materials;
		copy->StartFrame = StartFrame;
		copy->EndFrame = EndFrame;
		copy->CurrentFrame = CurrentFrame;
	}
	if (newParent)
		copy->drop();
	return copy;
}
