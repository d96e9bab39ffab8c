// ".lwo" and ".obj" files through the Open Asset Import Library. The library
// reads every file through our file system (so packed data and the file layer
// apply to the material libraries too); its scene is walked node by node and
// each triangle mesh becomes one mesh buffer of the 3D library.
#include "libext/CZeAssimpMeshLoader.h"

#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "libext/ZeLwoUpgrade.h"
#include "libext/ZeObjCheck.h"

#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

using namespace irr;

// The import library is built with its internal checks on, and a failed check
// ends the process; malformed files reach some of them. The executable exports
// this definition (see CMakeLists.txt), which takes the library's place for the
// whole process: a failed check is logged and the import goes on, as in the
// library's release build, where the checks are left out. (Ending the import
// there instead is not safe: the library's half-built scene is then freed.)
namespace Assimp
{
void aiAssertViolation(const char* failedExpression, const char* file, int line);
void aiAssertViolation(const char* failedExpression, const char* file, int line)
{
	zeLog(EZELL_WARN, "CZeAssimpMeshLoader: the import library's check '%s' failed at %s:%d", failedExpression ? failedExpression : "",
		file ? file : "", line);
}
} // namespace Assimp

namespace ze
{
namespace
{
const long MAX_FILE_BYTES = 1L << 30;
const unsigned MAX_BUFFER_VERTICES = 65535;  // 16-bit indices
const f32 MAX_SHININESS = 128.0f;            // what OpenGL takes

typedef std::shared_ptr<const std::string> Bytes;

// ---- Files for the import library -------------------------------------------
// The whole of a file, or null when it cannot be read or is too large.
Bytes readAll(io::IReadFile* file)
{
	const long size = file ? file->getSize() : -1;
	if (size < 0 || size > MAX_FILE_BYTES)
		return nullptr;
	std::string data(static_cast<size_t>(size), '\0');
	file->seek(0);
	if (size > 0 && file->read(&data[0], static_cast<u32>(size)) != static_cast<s32>(size))
		return nullptr;
	return std::make_shared<const std::string>(std::move(data));
}

class CMemoryStream : public Assimp::IOStream
{
public:
	explicit CMemoryStream(Bytes data) : Data(std::move(data)) {}

	size_t Read(void* buffer, size_t size, size_t count) override
	{
		if (!size || !count || Pos >= Data->size())
			return 0;
		const size_t items = std::min(count, (Data->size() - Pos) / size);
		std::memcpy(buffer, Data->data() + Pos, items * size);
		Pos += items * size;
		return items;
	}
	size_t Write(const void*, size_t, size_t) override { return 0; }
	aiReturn Seek(size_t offset, aiOrigin origin) override
	{
		size_t base = 0;
		if (origin == aiOrigin_CUR)
			base = Pos;
		else if (origin == aiOrigin_END)
			base = Data->size();
		if (offset > Data->size() || base + offset > Data->size())
			return aiReturn_FAILURE;
		Pos = base + offset;
		return aiReturn_SUCCESS;
	}
	size_t Tell() const override { return Pos; }
	size_t FileSize() const override { return Data->size(); }
	void Flush() override {}

private:
	Bytes Data;
	size_t Pos = 0;
};

// Whether a name that a file gives may be opened: one that is on disk but
// not a regular file is passed over; names inside mounted archives are not on
// disk and stay to the file system.
bool openable(io::IFileSystem* files, const std::string& name)
{
	return zeIsOpenableOnDisk(name.c_str()) && files->existFile(name.c_str());
}

std::string slashes(const char* path)
{
	std::string s(path ? path : "");
	std::replace(s.begin(), s.end(), '\\', '/');
	return s;
}

// Reading only, through the 3D library's file system; the object file itself
// is served from memory (as rewritten for the import library).
class CFileSystem : public Assimp::IOSystem
{
public:
	// `obj`: the object is an OBJ file, whose other files are material libraries.
	CFileSystem(io::IFileSystem* fileSystem, const std::string& mainName, Bytes main, bool obj)
		: Files(fileSystem), MainName(slashes(mainName.c_str())), Main(std::move(main)), Obj(obj)
	{
	}

	bool Exists(const char* file) const override { return isMain(file) || (file && openable(Files, file)); }
	char getOsSeparator() const override { return '/'; }
	Assimp::IOStream* Open(const char* file, const char* mode) override
	{
		if (!file || !mode || std::strpbrk(mode, "wa+"))
			return nullptr;
		if (isMain(file))
			return new CMemoryStream(Main);
		if (!openable(Files, file))
			return nullptr;
		io::IReadFile* opened = Files->createAndOpenFile(file);
		Bytes data = readAll(opened);
		if (opened)
			opened->drop();
		if (!data)
			return nullptr;
		// A material library starts with the default material, so that what
		// comes before its first "newmtl" has a material to go to (the library
		// writes through a null one otherwise), and ends with a line feed, so
		// that it has the 8 bytes below which the library gives up on the
		// whole object. A UTF-8 byte order mark, which would now stand before
		// the second line, goes.
		if (Obj)
		{
			const size_t mark = data->compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
			data = std::make_shared<const std::string>("newmtl\n" + data->substr(mark) + "\n");
		}
		return new CMemoryStream(data);
	}
	void Close(Assimp::IOStream* stream) override { delete stream; }

private:
	bool isMain(const char* file) const { return file && slashes(file) == MainName; }

	io::IFileSystem* Files;
	std::string MainName;
	Bytes Main;
	bool Obj;
};

// ---- Conversion -------------------------------------------------------------
// The import library's coordinates are right-handed. An OBJ file is
// right-handed too and, as the library's own loader did, becomes left-handed
// with X negated; a LightWave file is left-handed already and the import
// library negated its Z, which is undone. Both are mirrors: winding turns over.
enum E_SOURCE
{
	ES_OBJ,
	ES_LWO
};

// A finite value (0 for the others), with -0 as 0 so that equal vertices have equal bytes.
f32 finite(f32 v)
{
	return std::isfinite(v) ? v + 0.0f : 0.0f;
}

// Vertices told apart by their bytes: the import library's own joining of
// equal vertices compares every vertex at a position with every other one
// there, which takes hours for a file with many corners at one point.
static_assert(sizeof(video::S3DVertex) == 36 && sizeof(video::S3DVertex2TCoords) == 44, "vertices without padding");
template <class VertexT>
struct SVertexBytes
{
	size_t operator()(const VertexT& v) const
	{
		u32 words[sizeof(VertexT) / 4];
		std::memcpy(words, &v, sizeof(VertexT));
		uint64_t hash = 0;
		for (u32 word : words)
			hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
		return static_cast<size_t>(hash ^ (hash >> 29));
	}
	bool operator()(const VertexT& a, const VertexT& b) const { return std::memcmp(&a, &b, sizeof(VertexT)) == 0; }
};

u32 channel(f32 v)
{
	return static_cast<u32>(core::clamp(finite(v), 0.0f, 1.0f) * 255.0f + 0.5f);
}

video::SColor colour(const aiColor4D& c)
{
	return video::SColor(channel(c.a), channel(c.r), channel(c.g), channel(c.b));
}

// A material of the file with the colour its vertices take.
struct SMaterialOut
{
	video::SMaterial Material;
	video::SColor VertexColour;
	unsigned UvChannel = 0;
};

class CMeshBuilder
{
public:
	CMeshBuilder(scene::ISceneManager* sceneManager, const io::path& fileName, E_SOURCE source)
		: Smgr(sceneManager), FileName(fileName), Source(source)
	{
		Folder = slashes(Smgr->getFileSystem()->getFileDir(FileName).c_str());
	}

	// The mesh of the scene's triangles (one reference for the caller), or null when there are none.
	scene::SMesh* build(const aiScene* scene)
	{
		for (unsigned i = 0; i < scene->mNumMaterials; ++i)
			Materials.push_back(material(scene->mMaterials[i]));
		scene::SMesh* mesh = new scene::SMesh();
		// The node tree, iteratively: a file may nest layers deeply.
		std::vector<std::pair<const aiNode*, aiMatrix4x4>> pending;
		if (scene->mRootNode)
			pending.emplace_back(scene->mRootNode, scene->mRootNode->mTransformation);
		while (!pending.empty())
		{
			const aiNode* node = pending.back().first;
			const aiMatrix4x4 transform = pending.back().second;
			pending.pop_back();
			for (unsigned i = 0; i < node->mNumMeshes; ++i)
				if (node->mMeshes[i] < scene->mNumMeshes)
					addBuffers(mesh, scene->mMeshes[node->mMeshes[i]], transform);
			for (unsigned i = 0; i < node->mNumChildren; ++i)
				if (node->mChildren[i])
					pending.emplace_back(node->mChildren[i], transform * node->mChildren[i]->mTransformation);
		}
		if (mesh->getMeshBufferCount() == 0)
		{
			mesh->drop();
			return nullptr;
		}
		mesh->recalculateBoundingBox();
		mesh->setHardwareMappingHint(scene::EHM_STATIC);
		return mesh;
	}

private:
	core::vector3df point(const aiVector3D& v) const
	{
		core::vector3df p(finite(v.x), finite(v.y), finite(v.z));
		if (Source == ES_OBJ)
			p.X = -p.X;
		else
			p.Z = -p.Z;
		return p;
	}

	SMaterialOut material(const aiMaterial* in)
	{
		SMaterialOut out;
		video::SMaterial& m = out.Material;
		aiColor4D c;
		if (aiGetMaterialColor(in, AI_MATKEY_COLOR_DIFFUSE, &c) == AI_SUCCESS)
			m.DiffuseColor = colour(aiColor4D(c.r, c.g, c.b, 1.0f));
		if (aiGetMaterialColor(in, AI_MATKEY_COLOR_AMBIENT, &c) == AI_SUCCESS)
			m.AmbientColor = colour(aiColor4D(c.r, c.g, c.b, 1.0f));
		if (aiGetMaterialColor(in, AI_MATKEY_COLOR_SPECULAR, &c) == AI_SUCCESS)
			m.SpecularColor = colour(aiColor4D(c.r, c.g, c.b, 1.0f));
		if (aiGetMaterialColor(in, AI_MATKEY_COLOR_EMISSIVE, &c) == AI_SUCCESS)
			m.EmissiveColor = colour(aiColor4D(c.r, c.g, c.b, 1.0f));
		float value = 0.0f;
		if (aiGetMaterialFloat(in, AI_MATKEY_SHININESS, &value) == AI_SUCCESS)
			m.Shininess = core::clamp(finite(value), 0.0f, MAX_SHININESS);
		int twoSided = 0;
		if (aiGetMaterialInteger(in, AI_MATKEY_TWOSIDED, &twoSided) == AI_SUCCESS && twoSided)
			m.BackfaceCulling = false;

		aiString path;
		unsigned uvChannel = 0;
		if (in->GetTexture(aiTextureType_DIFFUSE, 0, &path, nullptr, &uvChannel) == AI_SUCCESS)
		{
			if (video::ITexture* texture = loadTexture(path.C_Str()))
			{
				m.setTexture(0, texture);
				out.UvChannel = uvChannel < AI_MAX_NUMBER_OF_TEXTURECOORDS ? uvChannel : 0;
				// A LightWave colour texture replaces the surface's base colour.
				if (Source == ES_LWO)
					m.DiffuseColor = video::SColor(255, 255, 255, 255);
			}
		}
		out.VertexColour = m.DiffuseColor;
		if (aiGetMaterialFloat(in, AI_MATKEY_OPACITY, &value) == AI_SUCCESS && finite(value) < 1.0f)
		{
			const u32 alpha = channel(value);
			m.DiffuseColor.setAlpha(alpha);
			out.VertexColour.setAlpha(alpha);
			m.MaterialType = video::EMT_TRANSPARENT_VERTEX_ALPHA;
		}
		return out;
	}

	// The image of a texture path as the file names it: as it is, beside the
	// object, in the content folder above the object's folder, then its file
	// name alone beside the object.
	video::ITexture* loadTexture(const char* name)
	{
		const std::string path = slashes(name);
		if (path.empty() || path[0] == '*')
			return nullptr;
		const size_t slash = path.find_last_of('/');
		const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
		const bool relative = path[0] != '/' && path.find(':') == std::string::npos;
		std::vector<std::string> candidates = {path};
		if (relative)
		{
			candidates.push_back(Folder + "/" + path);
			candidates.push_back(Folder + "/../" + path);
		}
		candidates.push_back(Folder + "/" + base);
		io::IFileSystem* files = Smgr->getFileSystem();
		for (const std::string& candidate : candidates)
			if (openable(files, candidate))
				if (video::ITexture* texture = Smgr->getVideoDriver()->getTexture(candidate.c_str()))
					return texture;
		zeLog(EZELL_WARN, "CZeAssimpMeshLoader: texture '%s' of '%s' not found", path.c_str(), FileName.c_str());
		return nullptr;
	}

	// The buffers of a triangle mesh, with its equal vertices joined: a buffer
	// holds at most 65535 vertices (16-bit indices), a mesh with more is cut
	// between triangles into several.
	template <class VertexT>
	void fill(scene::SMesh* mesh, const aiMesh* in, const aiMatrix4x4& transform, const SMaterialOut& material)
	{
		aiMatrix3x3 normals = aiMatrix3x3(transform);
		if (normals.Determinant() != 0.0f)
			normals = normals.Inverse().Transpose();
		const unsigned uv = in->HasTextureCoords(material.UvChannel) ? material.UvChannel : 0;
		scene::CMeshBuffer<VertexT>* buffer = nullptr;
		std::unordered_map<VertexT, u16, SVertexBytes<VertexT>, SVertexBytes<VertexT>> welded;
		welded.reserve(std::min<size_t>(in->mNumVertices, MAX_BUFFER_VERTICES));
		for (unsigned f = 0; f < in->mNumFaces; ++f)
		{
			const aiFace& face = in->mFaces[f];
			if (face.mNumIndices != 3 || face.mIndices[0] >= in->mNumVertices || face.mIndices[1] >= in->mNumVertices ||
				face.mIndices[2] >= in->mNumVertices)
				continue;
			if (!buffer || buffer->Vertices.size() + 3 > MAX_BUFFER_VERTICES)
			{
				finish(mesh, buffer, material);
				buffer = new scene::CMeshBuffer<VertexT>();
				welded.clear();
			}
			// Mirrored coordinates: the winding turns over.
			for (unsigned corner : {0u, 2u, 1u})
			{
				const VertexT vertex = convert<VertexT>(in, face.mIndices[corner], transform, normals, uv, material);
				const auto found = welded.emplace(vertex, static_cast<u16>(buffer->Vertices.size()));
				if (found.second)
					buffer->Vertices.push_back(vertex);
				buffer->Indices.push_back(found.first->second);
			}
		}
		finish(mesh, buffer, material);
	}

	template <class VertexT>
	VertexT convert(const aiMesh* in, unsigned v, const aiMatrix4x4& transform, const aiMatrix3x3& normals,
		unsigned uv, const SMaterialOut& material) const
	{
		VertexT vertex;
		vertex.Pos = point(transform * in->mVertices[v]);
		if (in->HasNormals())
			vertex.Normal = point(normals * in->mNormals[v]).normalize();
		vertex.Color = in->HasVertexColors(0) ? colour(in->mColors[0][v]) : material.VertexColour;
		// The file's V runs up the image, the library's down.
		if (in->HasTextureCoords(uv))
			vertex.TCoords.set(finite(in->mTextureCoords[uv][v].x), 1.0f - finite(in->mTextureCoords[uv][v].y));
		setSecondCoords(vertex, in, v);
		return vertex;
	}

	static void setSecondCoords(video::S3DVertex&, const aiMesh*, unsigned) {}
	static void setSecondCoords(video::S3DVertex2TCoords& vertex, const aiMesh* in, unsigned v)
	{
		vertex.TCoords2.set(finite(in->mTextureCoords[1][v].x), 1.0f - finite(in->mTextureCoords[1][v].y));
	}

	// Adds a filled buffer to the mesh and lets it go.
	static void finish(scene::SMesh* mesh, scene::IMeshBuffer* buffer, const SMaterialOut& material)
	{
		if (!buffer)
			return;
		buffer->getMaterial() = material.Material;
		buffer->recalculateBoundingBox();
		if (buffer->getIndexCount() > 0)
			mesh->addMeshBuffer(buffer);
		buffer->drop();
	}

	// The buffers of a triangle mesh: two texture-coordinate sets when the mesh has them.
	void addBuffers(scene::SMesh* mesh, const aiMesh* in, const aiMatrix4x4& transform)
	{
		if (!in || !in->mNumVertices || !in->mNumFaces || !(in->mPrimitiveTypes & aiPrimitiveType_TRIANGLE))
			return;
		const SMaterialOut& material =
			in->mMaterialIndex < Materials.size() ? Materials[in->mMaterialIndex] : DefaultMaterial;
		if (in->HasTextureCoords(1))
			fill<video::S3DVertex2TCoords>(mesh, in, transform, material);
		else
			fill<video::S3DVertex>(mesh, in, transform, material);
	}

	scene::ISceneManager* Smgr;
	io::path FileName;
	E_SOURCE Source;
	std::string Folder;
	std::vector<SMaterialOut> Materials;
	SMaterialOut DefaultMaterial;
};

class CZeAssimpMeshLoader : public scene::IMeshLoader
{
public:
	explicit CZeAssimpMeshLoader(scene::ISceneManager* sceneManager) : Smgr(sceneManager) {}

	bool isALoadableFileExtension(const io::path& fileName) const override
	{
		return core::hasFileExtension(fileName, "lwo", "obj");
	}

	scene::IAnimatedMesh* createMesh(io::IReadFile* file) override
	{
		if (!file)
			return nullptr;
		const io::path fileName = file->getFileName();
		Bytes data = readAll(file);
		if (!data)
			return refuse(fileName, "cannot read the file");
		const E_SOURCE source = core::hasFileExtension(fileName, "obj") ? ES_OBJ : ES_LWO;
		if (source == ES_OBJ)
		{
			std::string refusal;
			if (!zeCheckObj(data->data(), data->size(), &refusal))
				return refuseFile(fileName, refusal.c_str());
		}
		else
		{
			std::string rewritten;
			std::string refusal;
			switch (zeUpgradeLwo(reinterpret_cast<const unsigned char*>(data->data()), data->size(), &rewritten, &refusal))
			{
			case ELU_NOT_LWO:
				return refuseFile(fileName, "not a LightWave object (LWOB or LWO2)");
			case ELU_REFUSED:
				return refuseFile(fileName, refusal.c_str());
			case ELU_REWRITTEN:
				data = std::make_shared<const std::string>(std::move(rewritten));
				break;
			case ELU_UNCHANGED:
				break;
			}
		}
		try
		{
			return import(fileName, source, data);
		}
		catch (const std::exception& e)
		{
			return refuse(fileName, e.what());
		}
		catch (...)
		{
			return refuse(fileName, "the import library failed");
		}
	}

private:
	scene::IAnimatedMesh* import(const io::path& fileName, E_SOURCE source, const Bytes& data)
	{
		Assimp::Importer importer;
		importer.SetIOHandler(new CFileSystem(Smgr->getFileSystem(), fileName.c_str(), data, source == ES_OBJ));
		importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
		const aiScene* scene = importer.ReadFile(fileName.c_str(),
			aiProcess_ValidateDataStructure | aiProcess_Triangulate | aiProcess_SortByPType |
				aiProcess_GenSmoothNormals | aiProcess_GenUVCoords);
		if (!scene)
			return refuse(fileName, importer.GetErrorString());
		scene::SMesh* mesh = CMeshBuilder(Smgr, fileName, source).build(scene);
		if (!mesh)
			return refuse(fileName, "no triangles");
		scene::SAnimatedMesh* animated = new scene::SAnimatedMesh(mesh);
		mesh->drop();
		animated->recalculateBoundingBox();
		return animated;
	}

	static scene::IAnimatedMesh* refuse(const io::path& fileName, const char* reason)
	{
		zeLog(EZELL_ERROR, "CZeAssimpMeshLoader: cannot load '%s': %s", fileName.c_str(), reason);
		return nullptr;
	}

	// A file our checks keep from the import library (it would crash, hang or leak on it).
	static scene::IAnimatedMesh* refuseFile(const io::path& fileName, const char* reason)
	{
		zeLog(EZELL_ERROR, "CZeAssimpMeshLoader: refused '%s': %s", fileName.c_str(), reason);
		return nullptr;
	}

	scene::ISceneManager* Smgr;
};
} // namespace

scene::IMeshLoader* createAssimpMeshLoader(scene::ISceneManager* sceneManager)
{
	return new CZeAssimpMeshLoader(sceneManager);
}

void registerAssimpMeshLoader(scene::ISceneManager* sceneManager)
{
	if (!sceneManager)
		return;
	scene::IMeshLoader* loader = createAssimpMeshLoader(sceneManager);
	sceneManager->addExternalMeshLoader(loader);
	loader->drop();
}
} // namespace ze
