// The ".x" loader: ZeXMeshParser.cpp reads the file (through the tokens of
// ZeXMeshLexer.cpp) into tables; this file turns them into a skinned mesh (a
// joint per frame, a buffer per mesh and material, weights, animation keys)
// with the library's conventions for matrices, quaternions and key timing.
#include "libext/ZeXMesh.h"

#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "libext/ZeXMeshParser.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>
#include <vector>

using namespace irr;

namespace ze
{
namespace
{
const u32 MAX_BUFFER_VERTICES = 65536;  // 16-bit indices
const u32 MAX_BUFFERS = 65535;          // weights name buffers in 16 bits
const long MAX_FILE_BYTES = 1L << 30;
// Meshes without materials
const video::SColor DEFAULT_COLOR(255, 0x77, 0x77, 0x77);

typedef scene::ISkinnedMesh::SJoint SJoint;

class MeshBuilder
{
public:
	MeshBuilder(const xfile::File& file, scene::ISceneManager* sceneManager, const io::path& fileName)
	    : Parsed(file), Smgr(sceneManager), FileName(fileName)
	{
		Folder = Smgr->getFileSystem()->getFileDir(FileName);
	}

	const std::string& error() const { return Error; }

	// The mesh (not finalized), or null with error() set.
	scene::ISkinnedMesh* build()
	{
		Out = Smgr->createSkinnedMesh();
		if (!Out)
		{
			Error = "the scene manager made no skinned mesh";
			return nullptr;
		}
		addJoints();
		for (const xfile::Mesh& mesh : Parsed.Meshes)
			if (!addMesh(mesh))
			{
				Out->drop();
				return nullptr;
			}
		addAnimations();
		return Out;
	}

private:
	void warn(const std::string& text)
	{
		zeLog(EZELL_WARN, "ZeXMesh: '%s': %s", FileName.c_str(), text.c_str());
	}

	void addJoints()
	{
		const std::vector<xfile::Frame>& frames = Parsed.Frames;
		Joints.resize(frames.size());
		Globals.resize(frames.size());
		for (std::size_t i = 0; i < frames.size(); ++i)
		{
			const int parent = frames[i].Parent;
			SJoint* joint = Out->addJoint(parent >= 0 ? Joints[parent] : nullptr);
			joint->Name = frames[i].Name.c_str();
			joint->LocalMatrix = frames[i].Local;
			Joints[i] = joint;
			Globals[i] = parent >= 0 ? Globals[parent] * frames[i].Local : frames[i].Local;
			JointByName.emplace(frames[i].Name, int(i));
		}
	}

	int findJoint(const std::string& name) const
	{
		if (name.empty())
			return -1;
		const auto it = JointByName.find(name);
		return it == JointByName.end() ? -1 : it->second;
	}

	video::ITexture* loadTexture(const std::string& written)
	{
		std::string name = written;
		std::replace(name.begin(), name.end(), '\\', '/');
		const std::size_t slash = name.rfind('/');
		const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
		const std::string folder = Folder.c_str();
		const std::string candidates[3] = { folder + "/" + name, folder + "/" + base, name };
		io::IFileSystem* fs = Smgr->getFileSystem();
		for (const std::string& path : candidates)
			if (!path.empty() && zeIsOpenableOnDisk(path.c_str()) && fs->existFile(path.c_str()))
				return Smgr->getVideoDriver()->getTexture(path.c_str());
		warn("texture '" + written + "' not found");
		return nullptr;
	}

	video::SMaterial makeMaterial(int index)
	{
		video::SMaterial material;
		if (index < 0)
		{
			material.DiffuseColor = DEFAULT_COLOR;
			material.SpecularColor = DEFAULT_COLOR;
			material.Shininess = 0.f;
			return material;
		}
		const xfile::Material& m = Parsed.Materials[index];
		material.DiffuseColor = m.FaceColor.toSColor();
		material.SpecularColor = m.Specular.toSColor();
		material.EmissiveColor = m.Emissive.toSColor();
		material.Shininess = m.Power;
		if (!m.Texture.empty())
			material.setTexture(0, loadTexture(m.Texture));
		return material;
	}

	SSkinMeshBufferExt* newBuffer(const xfile::Mesh& mesh, u32 material)
	{
		if (Out->getMeshBuffers().size() >= MAX_BUFFERS)
		{
			Error = "too many mesh buffers";
			return nullptr;
		}
		SSkinMeshBufferExt* buffer = new SSkinMeshBufferExt();
		buffer->Material = material < mesh.Materials.size() ? makeMaterial(mesh.Materials[material]) : makeMaterial(-1);
		if (mesh.HasMaterialsUVs)
		{
			buffer->HasMeshMaterialsUVs = true;
			for (u32 i = 0; i < 2; ++i)
			{
				const u64 at = u64(material) * 2 + i;
				buffer->MeshMaterialsUVs[i] = at < mesh.MaterialsUVs.size() ? mesh.MaterialsUVs[at] : 0;
			}
		}
		const u32 index = Out->getMeshBuffers().size();
		Out->getMeshBuffers().push_back(buffer);
		if (mesh.Skins.empty() && mesh.Frame >= 0)
		{
			// Static meshes follow their frame.
			Joints[mesh.Frame]->AttachedMeshes.push_back(index);
			buffer->Transformation = Globals[mesh.Frame];
		}
		return buffer;
	}

	bool addMesh(const xfile::Mesh& mesh)
	{
		const u32 materialCount = std::max<u32>(1, u32(mesh.Materials.size()));
		std::vector<std::vector<u32>> facesOf(materialCount);
		for (u32 f = 0; f < mesh.getFaceCount(); ++f)
		{
			const u32 m = f < mesh.FaceMaterials.size() ? mesh.FaceMaterials[f] : 0;
			facesOf[m < materialCount ? m : 0].push_back(f);
		}
		// Every copy of a file vertex: vertex << 32 | buffer << 16 | buffer vertex.
		std::vector<u64> copies;
		const bool skinned = !mesh.Skins.empty();
		for (u32 m = 0; m < materialCount; ++m)
		{
			// A buffer per material, used or not, as the library's loader does.
			u32 bufferIndex = Out->getMeshBuffers().size();
			SSkinMeshBufferExt* buffer = newBuffer(mesh, m);
			if (!buffer)
				return false;
			std::unordered_map<u64, u16> vertexOf;  // file vertex << 32 | normal index
			for (const u32 f : facesOf[m])
			{
				const u32 start = mesh.FaceStart[f];
				const u32 corners = mesh.FaceStart[f + 1] - start;
				for (u32 t = 1; t + 1 < corners; ++t)
				{
					if (buffer->Vertices_Standard.size() + 3 > MAX_BUFFER_VERTICES)
					{
						// Past 16-bit indices: the material goes on in another buffer.
						buffer->recalculateBoundingBox();
						bufferIndex = Out->getMeshBuffers().size();
						buffer = newBuffer(mesh, m);
						if (!buffer)
							return false;
						vertexOf.clear();
					}
					const u32 triangle[3] = { start, start + t, start + t + 1 };
					for (const u32 corner : triangle)
					{
						const u32 v = mesh.FaceIndices[corner];
						const u32 n = mesh.HasNormals ? mesh.CornerNormals[corner] : 0;
						const u64 key = u64(v) << 32 | n;
						auto found = vertexOf.find(key);
						if (found == vertexOf.end())
						{
							const u16 local = u16(buffer->Vertices_Standard.size());
							video::S3DVertex vertex;
							vertex.Pos = mesh.Positions[v];
							vertex.Normal = mesh.HasNormals ? mesh.Normals[n] : core::vector3df(0.f, 0.f, 0.f);
							vertex.TCoords = v < mesh.TexCoords.size() ? mesh.TexCoords[v] : core::vector2df(0.f, 0.f);
							vertex.Color = mesh.HasColors ? mesh.Colors[v] : buffer->Material.DiffuseColor;
							buffer->Vertices_Standard.push_back(vertex);
							buffer->OriginalVerticesIndices.push_back(v);
							if (skinned)
								copies.push_back(u64(v) << 32 | u64(bufferIndex) << 16 | local);
							found = vertexOf.emplace(key, local).first;
						}
						buffer->Indices.push_back(found->second);
					}
				}
			}
			buffer->recalculateBoundingBox();
		}
		if (skinned)
			addWeights(mesh, copies);
		return true;
	}

	void addWeights(const xfile::Mesh& mesh, std::vector<u64>& copies)
	{
		std::sort(copies.begin(), copies.end());
		for (const xfile::SkinWeights& skin : mesh.Skins)
		{
			const int j = findJoint(skin.Bone);
			if (j < 0)
			{
				warn("weights of unknown bone '" + skin.Bone + "' ignored");
				continue;
			}
			SJoint* joint = Joints[j];
			joint->GlobalInversedMatrix = skin.Offset;
			for (std::size_t i = 0; i < skin.Vertices.size(); ++i)
			{
				const u64 v = u64(skin.Vertices[i]) << 32;
				for (auto it = std::lower_bound(copies.begin(), copies.end(), v);
				     it != copies.end() && (*it >> 32) == skin.Vertices[i]; ++it)
				{
					scene::ISkinnedMesh::SWeight* weight = Out->addWeight(joint);
					weight->buffer_id = u16(*it >> 16);
					weight->vertex_id = u32(*it & 0xFFFF);
					weight->strength = skin.Weights[i];
				}
			}
		}
	}

	// Matrix keys as the library's keys: translation, rotation, and scale when
	// the matrices scale.
	static void splitMatrix(const f32* values, core::vector3df& position, core::quaternion& rotation,
	                        core::vector3df& scale)
	{
		core::matrix4 m;
		m.setM(values);
		position = m.getTranslation();
		f32 s[3];
		for (u32 row = 0; row < 3; ++row)
		{
			s[row] = std::sqrt(m[row * 4] * m[row * 4] + m[row * 4 + 1] * m[row * 4 + 1] + m[row * 4 + 2] * m[row * 4 + 2]);
			if (s[row] > 1e-20f)
				for (u32 c = 0; c < 3; ++c)
					m[row * 4 + c] /= s[row];
		}
		scale.set(s[0], s[1], s[2]);
		m.setTranslation(core::vector3df(0.f, 0.f, 0.f));
		rotation = core::quaternion(m);
		rotation.normalize();
		rotation.X = -rotation.X;
		rotation.Y = -rotation.Y;
		rotation.Z = -rotation.Z;
	}

	void addAnimations()
	{
		const std::size_t n = Joints.size();
		std::vector<std::vector<scene::ISkinnedMesh::SPositionKey>> positions(n);
		std::vector<std::vector<scene::ISkinnedMesh::SScaleKey>> scales(n);
		std::vector<std::vector<scene::ISkinnedMesh::SRotationKey>> rotations(n);
		for (const xfile::Animation& animation : Parsed.Animations)
		{
			const int j = findJoint(animation.FrameName);
			if (j < 0)
			{
				warn("animation of unknown frame '" + animation.FrameName + "' ignored");
				continue;
			}
			for (const xfile::KeySet& set : animation.KeySets)
			{
				bool scaled = false;
				std::vector<scene::ISkinnedMesh::SScaleKey> matrixScales;
				for (std::size_t k = 0; k < set.Times.size(); ++k)
				{
					const f32 frame = f32(set.Times[k]);
					const f32* v = set.values(k);
					switch (set.Type)
					{
					case xfile::EKT_ROTATION:
						// w, x, y, z, negated as the library's skinning expects; matrix
						// keys (below) give the conjugate of the matrix's quaternion.
						rotations[j].push_back({ frame, core::quaternion(-v[1], -v[2], -v[3], -v[0]) });
						break;
					case xfile::EKT_SCALE:
						scales[j].push_back({ frame, core::vector3df(v[0], v[1], v[2]) });
						break;
					case xfile::EKT_POSITION:
						positions[j].push_back({ frame, core::vector3df(v[0], v[1], v[2]) });
						break;
					case xfile::EKT_MATRIX:
					{
						core::vector3df position, scale;
						core::quaternion rotation;
						splitMatrix(v, position, rotation, scale);
						positions[j].push_back({ frame, position });
						rotations[j].push_back({ frame, rotation });
						matrixScales.push_back({ frame, scale });
						scaled = scaled || !scale.equals(core::vector3df(1.f, 1.f, 1.f), 1e-4f);
						break;
					}
					default:
						break;
					}
				}
				if (scaled)
					scales[j].insert(scales[j].end(), matrixScales.begin(), matrixScales.end());
			}
		}
		const auto earlier = [](const auto& a, const auto& b) { return a.frame < b.frame; };
		for (std::size_t j = 0; j < n; ++j)
		{
			std::stable_sort(positions[j].begin(), positions[j].end(), earlier);
			std::stable_sort(scales[j].begin(), scales[j].end(), earlier);
			std::stable_sort(rotations[j].begin(), rotations[j].end(), earlier);
			for (const auto& key : positions[j])
				*Out->addPositionKey(Joints[j]) = key;
			for (const auto& key : scales[j])
				*Out->addScaleKey(Joints[j]) = key;
			for (const auto& key : rotations[j])
				*Out->addRotationKey(Joints[j]) = key;
		}
	}

	const xfile::File& Parsed;
	scene::ISceneManager* Smgr;
	io::path FileName;
	io::path Folder;
	scene::ISkinnedMesh* Out = nullptr;
	std::vector<SJoint*> Joints;
	std::vector<core::matrix4> Globals;
	std::unordered_map<std::string, int> JointByName;
	std::string Error;
};

class CXMeshLoader : public scene::IMeshLoader
{
public:
	// The scene manager is not grabbed: it keeps its loaders.
	explicit CXMeshLoader(scene::ISceneManager* sceneManager) : Smgr(sceneManager) {}

	bool isALoadableFileExtension(const io::path& filename) const override
	{
		return core::hasFileExtension(filename, "x");
	}

	scene::IAnimatedMesh* createMesh(io::IReadFile* file) override
	{
		if (!file)
			return nullptr;
		const io::path fileName = file->getFileName();
		const long size = file->getSize();
		if (size < 0 || size > MAX_FILE_BYTES)
			return refuse(fileName, "file too large");
		std::vector<unsigned char> data(std::size_t(size) + 1, 0);
		if (!file->seek(0) || file->read(data.data(), u32(size)) != s32(size))
			return refuse(fileName, "read error");
		xfile::File parsed;
		std::string error;
		if (!xfile::parseFile(data.data(), std::size_t(size), parsed, error))
			return refuse(fileName, error.c_str());
		for (const std::string& warning : parsed.Warnings)
			zeLog(EZELL_WARN, "ZeXMesh: '%s': %s", fileName.c_str(), warning.c_str());
		MeshBuilder builder(parsed, Smgr, fileName);
		scene::ISkinnedMesh* mesh = builder.build();
		if (!mesh)
			return refuse(fileName, builder.error().c_str());
		mesh->finalize();
		if (parsed.TicksPerSecond > 0)
			mesh->setAnimationSpeed(f32(parsed.TicksPerSecond));
		return mesh;
	}

private:
	static scene::IAnimatedMesh* refuse(const io::path& fileName, const char* reason)
	{
		zeLog(EZELL_ERROR, "ZeXMesh: cannot load '%s': %s", fileName.c_str(), reason);
		return nullptr;
	}

	scene::ISceneManager* Smgr;
};
} // namespace

const u32* getOriginalVerticesIndices(const scene::IMeshBuffer* buffer)
{
	const SSkinMeshBufferExt* ext = dynamic_cast<const SSkinMeshBufferExt*>(buffer);
	if (!ext || ext->OriginalVerticesIndices.size() != ext->getVertexCount())
		return nullptr;
	return ext->OriginalVerticesIndices.const_pointer();
}

bool getMeshMaterialsUVs(const scene::IMeshBuffer* buffer, u32* value0, u32* value1)
{
	const SSkinMeshBufferExt* ext = dynamic_cast<const SSkinMeshBufferExt*>(buffer);
	const bool has = ext && ext->HasMeshMaterialsUVs;
	if (value0)
		*value0 = has ? ext->MeshMaterialsUVs[0] : 0;
	if (value1)
		*value1 = has ? ext->MeshMaterialsUVs[1] : 0;
	return has;
}

scene::IMeshLoader* createXMeshLoader(scene::ISceneManager* sceneManager)
{
	return new CXMeshLoader(sceneManager);
}

void registerMeshLoaders(scene::ISceneManager* sceneManager)
{
	if (!sceneManager)
		return;
	// The scene manager tries the loaders added last first.
	scene::IMeshLoader* loader = createXMeshLoader(sceneManager);
	sceneManager->addExternalMeshLoader(loader);
	loader->drop();
}
} // namespace ze
