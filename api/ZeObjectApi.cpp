#include "api/ZeObjectApi.h"

#include "api/SZeApiItems.h"
#include "api/ZeApiItems.h"
#include "core/IZeManager.h"
#include "core/IZeRenderer.h"
#include "core/IZeServices.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeCamera.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "libext/ZeMaterialExt.h"
#include "render/IZeSceneNodeExt.h"
#include "render/IZeSurface.h"
#include "scene/IZeMorphMesh.h"
#include "scene/IZeMorphMeshSceneNode.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace irr;

namespace
{
const u32 MAX_16BIT_POINTS = 65535;
const u32 TYPE_MORPH = MAKE_IRR_ID('m', 'o', 'r', 'p');

// The record of an ID; a missing one reports the look-up message (code 1).
SZeObjectItem* findItem(int id)
{
	return static_cast<SZeObjectItem*>(zeFindApiItem(EZEIT_OBJECT, id, "Object ID %d does not exist. %s"));
}

// The record without any error text.
SZeObjectItem* peekItem(int id)
{
	return static_cast<SZeObjectItem*>(zePeekApiItem(EZEIT_OBJECT, id));
}

scene::ISceneNode* findNode(int id)
{
	SZeObjectItem* item = findItem(id);
	return item ? item->node : nullptr;
}

IZeSceneNodeExt* findExt(int id)
{
	return zeGetNodeExt(findNode(id));
}

// The morph-mesh node behind a node, or null for other kinds.
IZeMorphMeshSceneNode* morphNode(scene::ISceneNode* node)
{
	if (!node || static_cast<u32>(node->getType()) != TYPE_MORPH)
		return nullptr;
	return static_cast<IZeMorphMeshSceneNode*>(node);
}

// The mesh of a node by kind: the mesh node's mesh, the animated node's
// animated mesh, the morph node's morph mesh; null otherwise.
scene::IMesh* nodeMesh(scene::ISceneNode* node)
{
	if (!node)
		return nullptr;
	if (node->getType() == scene::ESNT_MESH)
		return static_cast<scene::IMeshSceneNode*>(node)->getMesh();
	if (node->getType() == scene::ESNT_ANIMATED_MESH)
		return static_cast<scene::IAnimatedMeshSceneNode*>(node)->getMesh();
	if (IZeMorphMeshSceneNode* morph = morphNode(node))
		return morph->getMesh();
	return nullptr;
}

// Adds a zero-filled record; a refused ID reports the creation message.
SZeObjectItem* addItem(int id, int argument)
{
	return static_cast<SZeObjectItem*>(
		zeAddApiItem(EZEIT_OBJECT, id, sizeof(SZeObjectItem), argument, "invalid Object ID %d : %s"));
}

void removeItem(int id, SZeObjectItem* item)
{
	zeRemoveApiItem(EZEIT_OBJECT, id, item);
}

// The scene graph holds the node; the record only points at it, so a node
// always keeps a parent (the root when taken off the camera).
void holdNode(SZeObjectItem* item, scene::ISceneNode* node)
{
	item->node = node;
}

// Gives each material of the node a LightWave surface held by its extension.
void attachSurfaces(scene::ISceneNode* node)
{
	IZeManager* manager = zeGetManager();
	if (!manager)
		return;
	IZeSceneNodeExt* ext = manager->getSceneManager()->getSceneNodeExt(node);
	if (!ext)
		return;
	for (u32 i = 0; i < node->getMaterialCount(); ++i)
	{
		IZeSurface* surface = manager->getSurfaceManager()->createSurfaceByType(MAKE_IRR_ID('l', 'w', 's', 'r'));
		if (!surface)
			continue;
		surface->initFromMaterial(node->getMaterial(i));
		ext->setMaterialSurface(i, surface);
		surface->drop();
	}
}

// Every kind of object node: camera collision makes its selector from the
// mesh where the node has one and from the box otherwise.
scene::ISceneNode* hookNode(int objectId)
{
	return zeGetObjectNode(objectId);
}

int copyObject(int newId, int sourceId)
{
	SZeObjectItem* source = peekItem(sourceId);
	SZeObjectItem* item = addItem(newId, 1);
	if (!item)
		return -1;
	if (!source)
	{
		removeItem(newId, item);
		zeSetError(2, "Object ID %d does not exist", sourceId);
		return -1;
	}
	IZeManager* manager = zeGetManager();
	scene::ISceneNode* copy = manager ? manager->getSceneManager()->cloneSceneNode(source->node) : nullptr;
	if (!copy)
	{
		removeItem(newId, item);
		zeSetError(-1, "Failed to create the cloned object");
		return -1;
	}
	// The library's copy stays with the source's parent: a source locked to
	// the camera would carry its copy along.
	copy->setParent(zeGetContext()->sceneManager->getRootSceneNode());
	holdNode(item, copy);
	return 0;
}
}

IZeSceneNodeExt* zeGetNodeExt(scene::ISceneNode* node)
{
	return zeFindSceneNodeExt(node);
}

void zeInstallObjectApi()
{
	zeGetEngineHooks().objectNode = hookNode;
}

// ---- Creation and deletion --------------------------------------------------
namespace
{
// Loads an object's node under a new ID: the node from `make`, or the failure
// `message` (one %s: the file's full path, argument 1) with the ID freed again.
template <typename MakeNode>
int loadObject(const char* fileName, int id, const char* message, MakeNode make)
{
	static char fullPath[2048];
	SZeObjectItem* item = addItem(id, 2);
	if (!item)
		return -1;
	std::snprintf(fullPath, sizeof(fullPath), "%s", zeFileGetFullPath(fileName ? fileName : ""));
	IZeManager* manager = zeGetManager();
	scene::ISceneNode* node = manager && fileName ? make(manager->getSceneManager()) : nullptr;
	if (!node)
	{
		zeSetError(1, message, fullPath);
		removeItem(id, item);
		return -1;
	}
	holdNode(item, node);
	attachSurfaces(node);
	return 0;
}
} // namespace

int zeLoadObject(const char* fileName, int id)
{
	const int status = loadObject(fileName, id, "Failed to load mesh '%s'",
		[&](IZeSceneManager* scenes) { return scenes->addMeshSceneNode(fileName, nullptr, -1); });
	if (status == 0)
		zeCountObjectPoints(id, fileName);
	return status;
}

int zeLoadObjectPointCloud(const char* fileName, int id, int pointCount)
{
	return loadObject(fileName, id, "Failed to load mesh '%s' as point cloud", [&](IZeSceneManager* scenes) {
		return pointCount > 0 ? scenes->addPointCloudSceneNode(fileName, static_cast<u32>(pointCount), nullptr, id)
		                      : nullptr;
	});
}

int zeCloneObject(int newId, int sourceId)
{
	return copyObject(newId, sourceId);
}

int zeInstanceObject(int newId, int sourceId)
{
	return copyObject(newId, sourceId);
}

void zeDeleteObject(int id)
{
	SZeObjectItem* item = peekItem(id);
	if (!item)
		return;
	zeRemoveObjectCollision(id);
	if (item->node)
		item->node->remove();
	removeItem(id, item);
	ze::sweepMaterialExts();
}

// ---- Queries ----------------------------------------------------------------
int zeObjectExist(int id)
{
	return peekItem(id) ? 1 : 0;
}

scene::ISceneNode* zeGetObjectNode(int id)
{
	SZeObjectItem* item = peekItem(id);
	return item ? item->node : nullptr;
}

scene::IMeshSceneNode* zeGetObjectMeshNode(int id)
{
	scene::ISceneNode* node = zeGetObjectNode(id);
	if (!node || node->getType() != scene::ESNT_MESH)
		return nullptr;
	return static_cast<scene::IMeshSceneNode*>(node);
}

scene::IMesh* zeGetObjectMesh(int id)
{
	return nodeMesh(zeGetObjectNode(id));
}

int zeCountObjectPoints(int id, const char* fileName)
{
	scene::IMesh* mesh = nodeMesh(zeGetObjectNode(id));
	if (!mesh)
		return 0;
	int found = 0;
	for (u32 i = 0; i < mesh->getMeshBufferCount(); ++i)
	{
		scene::IMeshBuffer* buffer = mesh->getMeshBuffer(i);
		if (buffer->getIndexType() != video::EIT_16BIT || buffer->getVertexCount() <= MAX_16BIT_POINTS)
			continue;
		zeLog(EZELL_WARN | EZELF_MESSAGE_BOX,
			"Object %d '%s' has too much points on surface %d ;\n%d points > maximum 65535.\nRender artifacts will occur.",
			id, fileName ? fileName : "", static_cast<int>(i), static_cast<int>(buffer->getVertexCount()));
		++found;
	}
	return found;
}

int zeCheckObject(int id)
{
	return findItem(id) ? 0 : -1;
}

// ---- Visibility and transforms ---------------------------------------------
int zeObjectVisible(int id)
{
	scene::ISceneNode* node = findNode(id);
	return node && node->isVisible() ? 1 : 0;
}

void zeShowObject(int id)
{
	if (scene::ISceneNode* node = findNode(id))
		node->setVisible(true);
}

void zeHideObject(int id)
{
	if (scene::ISceneNode* node = findNode(id))
		node->setVisible(false);
}

void zePositionObject(int id, float x, float y, float z)
{
	if (scene::ISceneNode* node = findNode(id))
		node->setPosition(core::vector3df(x, y, z));
}

void zeRotateObject(int id, float x, float y, float z)
{
	if (scene::ISceneNode* node = findNode(id))
		node->setRotation(core::vector3df(x, y, z));
}

void zeScaleObject(int id, float x, float y, float z)
{
	if (scene::ISceneNode* node = findNode(id))
		node->setScale(core::vector3df(x, y, z) / 100.0f);
}

int zeTotalObjectFrames(int id)
{
	scene::ISceneNode* node = findNode(id);
	if (!node)
		return 0;
	if (node->getType() == scene::ESNT_ANIMATED_MESH)
	{
		scene::IAnimatedMesh* mesh = static_cast<scene::IAnimatedMeshSceneNode*>(node)->getMesh();
		return mesh ? static_cast<int>(mesh->getFrameCount()) : 0;
	}
	if (IZeMorphMeshSceneNode* morph = morphNode(node))
		return morph->getMesh() ? static_cast<int>(morph->getMesh()->getFrameCount()) : 0;
	return 1;
}

void zeSetObjectFrame(int id, float frame)
{
	scene::ISceneNode* node = findNode(id);
	if (IZeMorphMeshSceneNode* morph = morphNode(node))
	{
		morph->setCurrentFrame(static_cast<f32>(morph->getStartFrame()) + frame);
		return;
	}
	if (!node || node->getType() != scene::ESNT_ANIMATED_MESH)
		return;
	scene::IAnimatedMeshSceneNode* animated = static_cast<scene::IAnimatedMeshSceneNode*>(node);
	animated->setCurrentFrame(static_cast<f32>(animated->getStartFrame()) + frame);
}

void zeSetObjectMorph(int id, int count, const int* indices, const float* weights)
{
	IZeMorphMeshSceneNode* morph = morphNode(findNode(id));
	if (!morph || count < 0)
		return;
	// A count of 0 clears the targets; the arrays are not read then.
	if (count == 0)
	{
		morph->setMorphTargets(0, nullptr, nullptr);
		return;
	}
	if (!indices || !weights)
		return;
	morph->setMorphTargets(static_cast<u32>(count), reinterpret_cast<const u32*>(indices), weights);
}

int zeSetObjectVertexTexture(int id, const char* textureName, int flags)
{
	scene::ISceneNode* node = findNode(id);
	if (!node)
		return -1;
	const u32 type = static_cast<u32>(node->getType());
	if (type != scene::ESNT_MESH && type != scene::ESNT_ANIMATED_MESH && type != TYPE_MORPH)
	{
		zeSetError(-1, "Object ID %d unsupported mesh type", id);
		return -1;
	}
	scene::IMesh* mesh = nodeMesh(node);
	if (!mesh)
	{
		zeSetError(-1, "Object ID %d does not have a mesh", id);
		return -1;
	}
	IZeManager* manager = zeGetManager();
	manager->getSceneManager()->setMeshVertexIndexColors(mesh);
	video::IVideoDriver* driver = zeGetContext()->driver;
	if ((flags & 1) && textureName && driver->findTexture(textureName))
		return 0;
	if (!manager->getTextureManager()->createMeshVertexTexture(mesh, textureName, (flags & 2) != 0, 1024, (flags & 4) != 0))
	{
		zeSetError(-1, "Object ID %d failed to create vertex texture", id);
		return -1;
	}
	return 0;
}

int zeGetObjectMorphCount(int id)
{
	IZeMorphMeshSceneNode* morph = morphNode(findNode(id));
	return morph && morph->getMesh() ? static_cast<int>(morph->getMesh()->getMorphCount()) : 0;
}

void zeLockObjectOn(int id)
{
	scene::ISceneNode* node = findNode(id);
	scene::ICameraSceneNode* camera = zeGetContext()->camera;
	if (node && camera)
		node->setParent(camera);
}

void zeLockObjectOff(int id)
{
	zePutUnderSceneRoot(findNode(id));
}

void zePutUnderSceneRoot(scene::ISceneNode* node)
{
	scene::ISceneManager* scene = zeGetContext()->sceneManager;
	if (!node || !scene)
		return;
	// Back under the root where its parent had carried it.
	node->updateAbsolutePosition();
	const core::matrix4 absolute = node->getAbsoluteTransformation();
	const core::vector3df scale = absolute.getScale();
	node->setParent(scene->getRootSceneNode());
	node->setPosition(absolute.getTranslation());
	node->setRotation(absolute.getRotationDegrees());
	node->setScale(scale);
	node->updateAbsolutePosition();
}

float zeGetObjectRadius(int id)
{
	scene::ISceneNode* node = findNode(id);
	if (!node)
		return 0.0f;
	const scene::ESCENE_NODE_TYPE type = node->getType();
	if (type != scene::ESNT_MESH && type != scene::ESNT_ANIMATED_MESH && static_cast<u32>(type) != TYPE_MORPH)
	{
		zeSetError(1, "Object ID %d is not of supported type", id);
		return 0.0f;
	}
	scene::IMesh* mesh = nodeMesh(node);
	if (!mesh)
	{
		zeSetError(1, "Object ID %d has no mesh", id);
		return 0.0f;
	}
	const core::vector3df scale = node->getScale();
	const f32 largest = core::max_(std::fabs(scale.X), std::fabs(scale.Y), std::fabs(scale.Z));
	return static_cast<f32>(mesh->getBoundingBox().getExtent().getLength() * 0.5f * largest);
}

// ---- Node extension ---------------------------------------------------------
void zeSetObjectShadowOn(int id)
{
	if (IZeSceneNodeExt* ext = findExt(id))
		ext->setCastShadow(true);
}

void zeSetObjectShadowOff(int id)
{
	if (IZeSceneNodeExt* ext = findExt(id))
		ext->setCastShadow(false);
}

void zeSetObjectCubeMap(int id, int cubeMapId)
{
	SZeObjectItem* item = findItem(id);
	if (!item)
		return;
	SZeIdTable* cubeMaps = zeGetIdTable(EZEIT_CUBE_MAP);
	SZeCubeMapItem* cubeMap = cubeMaps ? static_cast<SZeCubeMapItem*>(zeIdTableGet(cubeMaps, cubeMapId)) : nullptr;
	if (!cubeMap)
	{
		zeSetError(2, "CubeMap ID %d does not exist. %s", cubeMapId, zeApiTableError(EZEIT_CUBE_MAP));
		return;
	}
	if (IZeSceneNodeExt* ext = zeGetNodeExt(item->node))
		ext->setCubeMap(cubeMap->cubeMap);
}

void zeEnableObjectCubeMapBox(int id, int flag)
{
	if (IZeSceneNodeExt* ext = findExt(id))
		ext->setCubeMapAABBEnabled(flag != 0);
}

void zeSetObjectCubeMapBox(int id, float x, float y, float z, float sx, float sy, float sz)
{
	if (IZeSceneNodeExt* ext = findExt(id))
		ext->setCubeMapAABB(core::vector3df(x, y, z), core::vector3df(sx, sy, sz));
}

void zeSetObjectSelectionMask(int id, int mask)
{
	if (IZeSceneNodeExt* ext = findExt(id))
		ext->setSelectionMask(static_cast<u32>(mask));
}

void zeUnbindCubeMapFromObjects(IZeCubeMap* cubeMap)
{
	SZeIdTable* table = zeGetIdTable(EZEIT_OBJECT);
	if (!table || !cubeMap)
		return;
	for (int id = 0; id <= zeIdTableMaxId(table); ++id)
	{
		IZeSceneNodeExt* ext = zeGetNodeExt(zeGetObjectNode(id));
		if (ext && ext->getCubeMap() == cubeMap)
			ext->setCubeMap(nullptr);
	}
}

// ---- Renderer table ---------------------------------------------------------
int zeAddRenderer(int id, IZeRenderer* renderer)
{
	SZeIdTable* table = zeGetIdTable(EZEIT_RENDERER);
	if (!table || !renderer)
		return -1;
	SZeRendererItem* item = static_cast<SZeRendererItem*>(std::calloc(1, sizeof(SZeRendererItem)));
	if (!item || zeIdTableAdd(table, id, item) != 0)
	{
		std::free(item);
		return -1;
	}
	renderer->grab();
	item->renderer = renderer;
	zeDeleteApiItemsAtShutdown();
	return 0;
}

void zeUseRenderer(int id)
{
	SZeIdTable* table = zeGetIdTable(EZEIT_RENDERER);
	if (!table || id < 0 || id >= table->capacity)
		return;
	if (SZeRendererItem* item = static_cast<SZeRendererItem*>(table->slots[id]))
		zeSetCurrentRenderer(item->renderer);
}

void zeUseDefaultRenderer()
{
	zeSetCurrentRenderer(nullptr);
}

void zeDeleteRenderer(int id)
{
	SZeIdTable* table = zeGetIdTable(EZEIT_RENDERER);
	if (!table || id < 0 || id >= table->capacity)
		return;
	SZeRendererItem* item = static_cast<SZeRendererItem*>(table->slots[id]);
	if (!item)
		return;
	if (item->renderer && zeGetCurrentRenderer() == item->renderer)
		zeSetCurrentRenderer(nullptr);
	if (item->renderer)
		item->renderer->drop();
	std::free(item);
	zeIdTableRemove(table, id);
	ze::sweepMaterialExts();
}
