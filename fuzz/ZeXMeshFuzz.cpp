// libFuzzer target for the ".x" reader: the input is read as it is, and behind
// the text and the binary header (so that most inputs reach the bodies).
// Whatever loads must keep the loader's promises: indices inside their
// buffer, a source-vertex table of one entry per vertex naming a vertex the
// mesh has, weights on existing buffers and vertices.
#include "frame/ZeLog.h"
#include "libext/ZeXMesh.h"

#include <irrlicht.h>

#include <cstdint>
#include <cstring>
#include <string>

using namespace irr;

namespace
{
void quiet(const char*)
{
}

void check(bool condition)
{
	if (!condition)
		__builtin_trap();
}

void checkMesh(scene::ISkinnedMesh* mesh)
{
	const u32 buffers = mesh->getMeshBufferCount();
	for (u32 b = 0; b < buffers; ++b)
	{
		const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(b);
		const u32 vertices = buffer->getVertexCount();
		check(vertices <= 65536);
		check(buffer->getIndexCount() % 3 == 0);
		for (u32 i = 0; i < buffer->getIndexCount(); ++i)
			check(buffer->getIndices()[i] < vertices);
		const ze::SSkinMeshBufferExt* ext = dynamic_cast<const ze::SSkinMeshBufferExt*>(buffer);
		check(ext && ext->OriginalVerticesIndices.size() == vertices);
		check(vertices == 0 || ze::getOriginalVerticesIndices(buffer));
	}
	const core::array<scene::ISkinnedMesh::SJoint*>& joints = mesh->getAllJoints();
	for (u32 j = 0; j < joints.size(); ++j)
		for (u32 w = 0; w < joints[j]->Weights.size(); ++w)
		{
			const scene::ISkinnedMesh::SWeight& weight = joints[j]->Weights[w];
			check(weight.buffer_id < buffers);
			check(weight.vertex_id < mesh->getMeshBuffer(weight.buffer_id)->getVertexCount());
		}
	// Animating and skinning walks every key and weight.
	mesh->animateMesh(0.f, 1.f);
	mesh->animateMesh(f32(mesh->getFrameCount()) * 0.5f, 1.f);
	mesh->skinMesh();
}

void load(IrrlichtDevice* device, scene::IMeshLoader* loader, const std::string& bytes)
{
	io::IReadFile* file = device->getFileSystem()->createMemoryReadFile(
		const_cast<char*>(bytes.data()), s32(bytes.size()), "fuzz.x", false);
	if (!file)
		return;
	if (scene::IAnimatedMesh* mesh = loader->createMesh(file))
	{
		check(mesh->getMeshType() == scene::EAMT_SKINNED);
		checkMesh(static_cast<scene::ISkinnedMesh*>(mesh));
		mesh->drop();
	}
	file->drop();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static IrrlichtDevice* device = nullptr;
	static scene::IMeshLoader* loader = nullptr;
	if (!device)
	{
		zeSetLogSink(quiet);
		device = createDevice(video::EDT_NULL);
		device->getLogger()->setLogLevel(ELL_NONE);
		loader = ze::createXMeshLoader(device->getSceneManager());
	}
	const std::string input(reinterpret_cast<const char*>(data), size);
	load(device, loader, input);
	if (size >= 16 && std::memcmp(data, "xof ", 4) == 0)
		return 0;
	load(device, loader, "xof 0303txt 0032" + input);
	load(device, loader, "xof 0303bin 0032" + input);
	return 0;
}
