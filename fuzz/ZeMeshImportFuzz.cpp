// libFuzzer target for the whole path of a user's ".lwo" or ".obj" file: an
// input that starts with "FORM" is a LightWave object, any other an OBJ file;
// it is read from memory by the engine's loader (LightWave files rewritten and
// checked first, OBJ files checked, then the import library, then the
// conversion into the 3D library's mesh) on the NULL device. What follows a
// line "#mtl" in an OBJ input is its material library "fuzz.mtl", served from
// a zip archive in memory (seeds name it with "mtllib fuzz.mtl"). A mesh that
// loads must keep the loader's promises: triangles only, 16-bit indices
// inside their buffer, finite positions, normals and texture coordinates, a
// bounding box around them.
#include "frame/ZeLog.h"
#include "libext/CZeAssimpMeshLoader.h"

#include <irrlicht.h>

#include <cmath>
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

bool finite(const core::vector3df& v)
{
	return std::isfinite(v.X) && std::isfinite(v.Y) && std::isfinite(v.Z);
}

bool finite(const core::vector2df& v)
{
	return std::isfinite(v.X) && std::isfinite(v.Y);
}

void checkBuffer(const scene::IMeshBuffer* buffer, const core::aabbox3df& meshBox)
{
	check(buffer->getIndexType() == video::EIT_16BIT);
	const u32 vertices = buffer->getVertexCount();
	check(vertices > 0 && vertices <= 65535);
	const u32 indices = buffer->getIndexCount();
	check(indices > 0 && indices % 3 == 0);
	for (u32 i = 0; i < indices; ++i)
		check(buffer->getIndices()[i] < vertices);
	const video::E_VERTEX_TYPE type = buffer->getVertexType();
	check(type == video::EVT_STANDARD || type == video::EVT_2TCOORDS);
	for (u32 v = 0; v < vertices; ++v)
	{
		const core::vector3df position = buffer->getPosition(v);
		check(finite(position) && finite(buffer->getNormal(v)) && finite(buffer->getTCoords(v)));
		check(buffer->getBoundingBox().isPointInside(position) && meshBox.isPointInside(position));
		if (type == video::EVT_2TCOORDS)
			check(finite(static_cast<const video::S3DVertex2TCoords*>(buffer->getVertices())[v].TCoords2));
	}
	const video::SMaterial& material = buffer->getMaterial();
	check(std::isfinite(material.Shininess));
}

// A zip archive of one stored file.
std::string storedZip(const std::string& name, const std::string& data)
{
	uint32_t crc = 0xFFFFFFFFu;
	for (unsigned char c : data)
	{
		crc ^= c;
		for (int k = 0; k < 8; ++k)
			crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
	}
	crc = ~crc;
	std::string out;
	auto le = [&out](uint32_t v, int bytes) {
		for (int i = 0; i < bytes; ++i)
			out += static_cast<char>((v >> (8 * i)) & 0xFF);
	};
	const uint32_t size = static_cast<uint32_t>(data.size());
	const uint32_t nameSize = static_cast<uint32_t>(name.size());
	le(0x04034B50, 4), le(10, 2), le(0, 2), le(0, 2), le(0, 2), le(0, 2), le(crc, 4), le(size, 4), le(size, 4);
	le(nameSize, 2), le(0, 2);
	out += name + data;
	const uint32_t directory = static_cast<uint32_t>(out.size());
	le(0x02014B50, 4), le(20, 2), le(10, 2), le(0, 2), le(0, 2), le(0, 2), le(0, 2), le(crc, 4), le(size, 4);
	le(size, 4), le(nameSize, 2), le(0, 2), le(0, 2), le(0, 2), le(0, 2), le(0, 4), le(0, 4);
	out += name;
	const uint32_t directorySize = static_cast<uint32_t>(out.size()) - directory;
	le(0x06054B50, 4), le(0, 2), le(0, 2), le(1, 2), le(1, 2), le(directorySize, 4), le(directory, 4), le(0, 2);
	return out;
}

void load(IrrlichtDevice* device, scene::IMeshLoader* loader, const uint8_t* data, size_t size, const char* name)
{
	io::IReadFile* file = device->getFileSystem()->createMemoryReadFile(
		const_cast<uint8_t*>(data), static_cast<s32>(size), name, false);
	if (!file)
		return;
	if (scene::IAnimatedMesh* animated = loader->createMesh(file))
	{
		check(animated->getFrameCount() == 1);
		scene::IMesh* mesh = animated->getMesh(0);
		check(mesh && mesh->getMeshBufferCount() > 0);
		for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
			checkBuffer(mesh->getMeshBuffer(b), mesh->getBoundingBox());
		animated->drop();
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
		loader = ze::createAssimpMeshLoader(device->getSceneManager());
	}
	if (size > 0x7FFFFFFF)
		return 0;
	if (size >= 4 && std::memcmp(data, "FORM", 4) == 0)
	{
		load(device, loader, data, size, "fuzz.lwo");
		return 0;
	}
	const std::string input(reinterpret_cast<const char*>(data), size);
	const size_t split = input.find("\n#mtl\n");
	if (split == std::string::npos)
	{
		load(device, loader, data, size, "fuzz.obj");
		return 0;
	}
	io::IFileSystem* files = device->getFileSystem();
	const std::string zip = storedZip("fuzz.mtl", input.substr(split + 6));
	io::IReadFile* archive = files->createMemoryReadFile(const_cast<char*>(zip.data()), static_cast<s32>(zip.size()), "fuzz.zip", false);
	io::IFileArchive* mounted = nullptr;
	if (archive && files->addFileArchive(archive, true, true, io::EFAT_ZIP, "", &mounted))
	{
		load(device, loader, data, split + 1, "fuzz.obj");
		files->removeFileArchive(mounted);
	}
	if (archive)
		archive->drop();
	return 0;
}
