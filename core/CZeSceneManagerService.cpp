#include "core/CZeSceneManagerService.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "libext/CZeAssimpMeshLoader.h"
#include "libext/CZeMeshSceneNodes.h"
#include "libext/ZeXMesh.h"

using namespace irr;


CZeSceneManagerService::CZeSceneManagerService(scene::ISceneManager* sceneManager)
	: SceneManager(sceneManager),
	  Holding([](void* scenes) { ze::markSceneMaterialExts(static_cast<scene::ISceneManager*>(scenes)); }, sceneManager)
{
}

scene::IAnimatedMesh* CZeSceneManagerService::loadMesh(scene::ISceneManager* sceneManager, const io::path& path)
{
	// The library would open a pipe or a device and wait on it.
	if (!zeIsOpenableOnDisk(path.c_str()))
		return nullptr;
	scene::IMeshLoader* loader = nullptr;
	if (zeEndsWithNoCase(path.c_str(), ".x"))
		loader = ze::createXMeshLoader(sceneManager);
	else if (zeEndsWithNoCase(path.c_str(), ".lwo") || zeEndsWithNoCase(path.c_str(), ".obj"))
		loader = ze::createAssimpMeshLoader(sceneManager);
	else
		return sceneManager->getMesh(path);
	scene::IMeshCache* cache = sceneManager->getMeshCache();
	scene::IAnimatedMesh* mesh = cache->getMeshByName(path);
	io::IReadFile* file = mesh ? nullptr : sceneManager->getFileSystem()->createAndOpenFile(path);
	if (file)
	{
		mesh = loader->createMesh(file);
		file->drop();
		if (mesh)
		{
			cache->addMesh(path, mesh);
			mesh->drop();
		}
	}
	loader->drop();
	return mesh;
}

scene::ISceneNode* CZeSceneManagerService::addMeshSceneNode(const char* file, scene::ISceneNode* parent, s32 id)
{
	if (!file || !*file)
	{
		zeLog(EZELL_ERROR, "CZeSceneManagerService: no mesh file");
		return nullptr;
	}
	const char* found = zeFindDataFile(file);
	scene::IAnimatedMesh* mesh = zeFileExist(found) ? loadMesh(SceneManager, zeFileGetFullPath(found)) : nullptr;
	if (!mesh)
	{
		zeLog(EZELL_ERROR, "CZeSceneManagerService: cannot load mesh '%s'", file);
		return nullptr;
	}
	// A mesh whose animation has frames (skinned or not) animates; a single
	// frame, skinned or not, is a static mesh.
	scene::ISceneNode* node = nullptr;
	if (mesh->getFrameCount() > 1)
		node = ze::addAnimatedMeshSceneNode(SceneManager, mesh, parent, id);
	else
		node = ze::addMeshSceneNode(SceneManager, mesh->getMesh(0), parent, id);
	if (!node)
		zeLog(EZELL_ERROR, "CZeSceneManagerService: cannot make a node for mesh '%s'", file);
	return node;
}

scene::ISceneNode* CZeSceneManagerService::cloneSceneNode(scene::ISceneNode* node)
{
	if (!node)
		return nullptr;
	scene::ISceneNode* copy = node->clone();
	if (!copy)
		zeLog(EZELL_ERROR, "CZeSceneManagerService: cannot clone node '%s'", node->getName());
	return copy;
}

IZeSceneNodeExt* CZeSceneManagerService::getSceneNodeExt(scene::ISceneNode* node)
{
	(void)node;
	zeLog(EZELL_ERROR, "CZeSceneManagerService: scene-node extensions not available");
	return nullptr;
}

IZeLightSceneNodeExt* CZeSceneManagerService::getLightSceneNodeExt(scene::ISceneNode* light)
{
	(void)light;
	zeLog(EZELL_ERROR, "CZeSceneManagerService: light extensions not available");
	return nullptr;
}

IZeCubeMap* CZeSceneManagerService::createCubeMap(u32 size, ze::ECOLOR_FORMAT format, bool withLatLong)
{
	(void)size;
	(void)format;
	(void)withLatLong;
	zeLog(EZELL_ERROR, "CZeSceneManagerService: cube maps not available");
	return nullptr;
}

// The colour of vertex n (counted over all buffers in order) is 0x00RRGGBB
// with R = bits 16-23, G = bits 8-15 and B = bits 0-7 of n: alpha 0, so
// shaders read the index back as r * 65536 + g * 256 + b from the 0-255 bytes.
void CZeSceneManagerService::setMeshVertexIndexColors(scene::IMesh* mesh)
{
	if (!mesh)
		return;
	u32 index = 0;
	for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
	{
		scene::IMeshBuffer* buffer = mesh->getMeshBuffer(b);
		const u32 count = buffer->getVertexCount();
		void* vertices = buffer->getVertices();
		for (u32 i = 0; i < count; ++i, ++index)
		{
			const video::SColor colour(index & 0x00FFFFFFu);
			switch (buffer->getVertexType())
			{
			case video::EVT_2TCOORDS:
				static_cast<video::S3DVertex2TCoords*>(vertices)[i].Color = colour;
				break;
			case video::EVT_TANGENTS:
				static_cast<video::S3DVertexTangents*>(vertices)[i].Color = colour;
				break;
			default:
				static_cast<video::S3DVertex*>(vertices)[i].Color = colour;
				break;
			}
		}
		buffer->setDirty(scene::EBT_VERTEX);
	}
}
