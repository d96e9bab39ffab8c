// libFuzzer target for skinned XM meshes: the input is read as a ".x" file by
// the engine's loader on the library's NULL device; a mesh that loads is set
// up as the XM morph mesh does (a working copy, its rest pose, the joint
// influences) and skinned, copied and reset at a few frames.
#include "frame/ZeLog.h"
#include "libext/ZeXMesh.h"
#include "scene/CZeMeshXM.h"
#include "scene/ZeMorphMapFile.h"

#include <irrlicht.h>

#include <cstdint>

namespace
{
using namespace irr;

void quiet(const char*)
{
}

// One NULL device for the whole run.
IrrlichtDevice* device()
{
	static IrrlichtDevice* const instance = [] {
		SIrrlichtCreationParameters params;
		params.DriverType = video::EDT_NULL;
		params.LoggingLevel = ELL_NONE;
		return createDevice(params.DriverType, params.WindowSize, 16, false, false, false, nullptr);
	}();
	return instance;
}

void exercise(scene::ISceneManager* smgr, scene::ISkinnedMesh* mesh)
{
	mesh->setHardwareSkinning(false);
	mesh->setHardwareSkinning(true);
	scene::SMesh* working = smgr->getMeshManipulator()->createMeshCopy(mesh);
	CZeStaticMeshBuffersXM rest;
	CZeStaticMeshBufferXM::create(rest, working);
	mesh->setHardwareSkinning(false);
	mesh->setHardwareSkinning(true);
	CZeMeshXM xm;
	if (xm.create(mesh))
	{
		const f32 last = static_cast<f32>(mesh->getFrameCount());
		for (f32 frame : { 0.0f, 0.5f, last * 0.5f, last - 1.0f, last + 3.0f })
		{
			xm.resetFromStatic(rest);
			mesh->animateMesh(frame, 1.0f);
			mesh->skinMesh();
			xm.updateJointMatrices(mesh);
			xm.skinMesh(working);
		}
		CZeMeshXM copy(xm);
		copy.resetFromStatic(rest);
		copy.copyToMesh(working);
	}
	CZeMeshXM plain;
	if (CZeMeshBufferXM::create(plain, working))
		plain.copyToMesh(working);
	working->drop();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	zeSetLogSink(quiet);
	scene::ISceneManager* smgr = device()->getSceneManager();
	scene::IMeshLoader* loader = ze::createXMeshLoader(smgr);
	io::IReadFile* file = zeCreateMemoryReadFile(data, static_cast<long>(size), "fuzz.x");
	scene::IAnimatedMesh* mesh = loader->createMesh(file);
	file->drop();
	loader->drop();
	if (mesh && mesh->getMeshType() == scene::EAMT_SKINNED)
		exercise(smgr, static_cast<scene::ISkinnedMesh*>(mesh));
	if (mesh)
		mesh->drop();
	return 0;
}
