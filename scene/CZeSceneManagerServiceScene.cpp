#include "scene/CZeSceneManagerServiceScene.h"

#include "core/CZeManager.h"
#include "frame/ZeContext.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "libext/CZeMeshSceneNodes.h"
#include "libext/ZeXMesh.h"
#include "render/CZeSceneNodeExt.h"
#include "scene/CZeGLParticleSystemSceneNode.h"
#include "scene/CZeMeshManipulator.h"
#include "scene/CZeMorphMesh.h"
#include "scene/CZeMorphMeshSceneNode.h"

using namespace irr;

namespace
{
// The full path of a data file, or empty when it does not exist.
io::path findFile(const char* file)
{
	if (!file || !*file)
		return io::path();
	const char* found = zeFindDataFile(file);
	return zeFileExist(found) ? io::path(zeFileGetFullPath(found)) : io::path();
}

scene::IMesh* morphNodeMesh(scene::ISceneNode* node)
{
	if (!node || node->getType() != CZeMorphMeshSceneNode::NODE_TYPE)
		return nullptr;
	return static_cast<IZeMorphMeshSceneNode*>(node)->getMesh();
}

// Shows a morph mesh under the parent; the graph holds the node, the node the mesh.
scene::ISceneNode* addMorphNode(scene::ISceneManager* sceneManager, IZeMorphMesh* mesh, scene::ISceneNode* parent,
	s32 id)
{
	if (!parent)
		parent = sceneManager->getRootSceneNode();
	CZeMorphMeshSceneNode* node = new CZeMorphMeshSceneNode(mesh, parent, sceneManager, id);
	node->drop();
	mesh->drop();
	return node;
}
// A particle-system node of the class the driver draws best, built with the
// form's extra argument (none, the ignored value, the mesh node); the scene
// graph holds it.
template <typename... Form>
IZeParticleSystemSceneNode* addParticleNode(IrrlichtDevice* device, scene::ISceneNode* parent, s32 id, Form... form)
{
	scene::ISceneManager* sceneManager = device->getSceneManager();
	if (!parent)
		parent = sceneManager->getRootSceneNode();
	CZeParticleSystemSceneNode* node = CZeGLParticleSystemSceneNode::isAvailable(device->getVideoDriver())
		? new CZeGLParticleSystemSceneNode(parent, sceneManager, id, form...)
		: new CZeParticleSystemSceneNode(parent, sceneManager, id, form...);
	node->drop();
	return node;
}
} // namespace

CZeSceneManagerServiceScene::CZeSceneManagerServiceScene(IrrlichtDevice* device, IZeManager* manager)
	: CZeSceneManagerServiceExt(device, manager), Device(device)
{
	CZeSceneNodeExt::setMorphMeshGetter(morphNodeMesh);
}

scene::ISceneNode* CZeSceneManagerServiceScene::addMeshSceneNode(const char* file, scene::ISceneNode* parent, s32 id)
{
	scene::ISceneManager* sceneManager = Device->getSceneManager();
	const io::path path = findFile(file);
	scene::IAnimatedMesh* mesh = path.empty() ? nullptr : CZeSceneManagerService::loadMesh(sceneManager, path);
	if (!mesh)
	{
		zeLog(EZELL_ERROR, "CZeSceneManagerService: cannot load mesh '%s'", file ? file : "");
		return nullptr;
	}
	scene::ISceneNode* node = nullptr;
	if (zeMorphFileExists(Device->getFileSystem(), path.c_str()))
	{
		if (IZeMorphMesh* morph = zeLoadMorphMesh(Device, path.c_str()))
			node = addMorphNode(sceneManager, morph, parent, id);
	}
	else if (mesh->getMeshType() == scene::EAMT_SKINNED && mesh->getFrameCount() > 0)
	{
		// All skinning of animated meshes goes through the engine's XM meshes.
		CZeMorphMeshMorphMapXM* morph = new CZeMorphMeshMorphMapXM(sceneManager->getMeshManipulator());
		if (morph->initFromSkinnedMesh(static_cast<scene::ISkinnedMesh*>(mesh), nullptr))
			node = addMorphNode(sceneManager, morph, parent, id);
		else
			morph->drop();
	}
	else if (mesh->getFrameCount() > 1)
		node = ze::addAnimatedMeshSceneNode(sceneManager, mesh, parent, id);
	else
		node = ze::addMeshSceneNode(sceneManager, mesh->getMesh(0), parent, id);
	if (!node)
		zeLog(EZELL_ERROR, "CZeSceneManagerService: cannot make a node for mesh '%s'", file);
	return node;
}

scene::ISceneNode* CZeSceneManagerServiceScene::addPointCloudSceneNode(const char* file, u32 pointCount,
	scene::ISceneNode* parent, s32 id)
{
	scene::ISceneManager* sceneManager = Device->getSceneManager();
	const io::path path = findFile(file);
	scene::IAnimatedMesh* mesh = path.empty() ? nullptr : CZeSceneManagerService::loadMesh(sceneManager, path);
	scene::IMesh* source = mesh ? mesh->getMesh(0) : nullptr;
	if (!source)
	{
		zeLog(EZELL_ERROR, "CZeSceneManagerService: cannot load mesh '%s'", file ? file : "");
		return nullptr;
	}
	scene::SMesh* cloud =
		CZeMeshManipulator::createPointCloudMesh(sceneManager->getMeshManipulator(), source, pointCount);
	if (!cloud)
	{
		zeLog(EZELL_ERROR, "CZeSceneManagerService: cannot make a point cloud of mesh '%s'", file);
		return nullptr;
	}
	scene::IMeshSceneNode* node = ze::addMeshSceneNode(sceneManager, cloud, parent, id);
	cloud->drop();
	if (!node)
	{
		zeLog(EZELL_ERROR, "CZeSceneManagerService: cannot make a node for mesh '%s'", file);
		return nullptr;
	}
	node->setPosition(core::vector3df(0.f, 0.f, 0.f));
	node->setScale(core::vector3df(1.f, 1.f, 1.f));
	node->getMesh()->setHardwareMappingHint(scene::EHM_STATIC);
	return node;
}

IZeMorphMesh* CZeSceneManagerServiceScene::getMorphMesh(const char* file)
{
	if (!file || !*file)
		return nullptr;
	// Put ".x" meshes in the cache through the engine's loader first.
	if (zeEndsWithNoCase(file, ".x"))
		CZeSceneManagerService::loadMesh(Device->getSceneManager(), io::path(file));
	return zeLoadMorphMesh(Device, file);
}

IZeParticleSystemSceneNode* CZeSceneManagerServiceScene::addParticleSystemSceneNode(scene::ISceneNode* parent, s32 id)
{
	return addParticleNode(Device, parent, id);
}

IZeParticleSystemSceneNode* CZeSceneManagerServiceScene::addParticleSystemSceneNodeEx(u32 extra,
	scene::ISceneNode* parent, s32 id)
{
	return addParticleNode(Device, parent, id, extra);
}

IZeParticleSystemSceneNode* CZeSceneManagerServiceScene::addParticleSystemSceneNodeOnMesh(
	scene::IMeshSceneNode* meshNode, scene::ISceneNode* parent, s32 id)
{
	if (!meshNode)
	{
		zeLog(EZELL_ERROR, "CZeSceneManagerService: a particle system on a mesh needs a mesh node");
		return nullptr;
	}
	return addParticleNode(Device, parent, id, meshNode);
}

void CZeSceneManagerServiceScene::onDeviceReset()
{
	CZeGLParticleSystemSceneNode::onDeviceReset();
}

IZeSceneManager* zeCreateSceneManagerServiceScene(IZeManager* manager)
{
	CZeManager* own = dynamic_cast<CZeManager*>(manager);
	IrrlichtDevice* device = own ? own->getDevice() : zeGetContext()->device;
	return device ? new CZeSceneManagerServiceScene(device, manager) : nullptr;
}
