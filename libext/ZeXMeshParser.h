// The ".x" file reader behind ZeXMesh.cpp: text and binary files into plain
// tables (frames, meshes, materials, animation keys), every count and index
// checked against the data present. Building the skinned mesh is ZeXMesh.cpp's.
#pragma once

#include <irrlicht.h>

#include <cstddef>
#include <string>
#include <vector>

namespace ze
{
namespace xfile
{
struct Material
{
	std::string Name;
	// Colours clamped to 0..1.
	irr::video::SColorf FaceColor{ 1.f, 1.f, 1.f, 1.f };
	irr::f32 Power = 0.f;
	irr::video::SColorf Specular{ 0.f, 0.f, 0.f, 1.f };
	irr::video::SColorf Emissive{ 0.f, 0.f, 0.f, 1.f };
	std::string Texture;  // as written in the file; empty: none
};

struct SkinWeights
{
	std::string Bone;
	std::vector<irr::u32> Vertices;  // each below the mesh's vertex count
	std::vector<irr::f32> Weights;   // one per entry of Vertices
	irr::core::matrix4 Offset;       // mesh space to bone space
};

struct Mesh
{
	std::string Name;
	int Frame = -1;  // index in File::Frames; -1: at the top level
	std::vector<irr::core::vector3df> Positions;
	// Faces: corners of face f are FaceIndices[FaceStart[f] .. FaceStart[f+1]).
	std::vector<irr::u32> FaceStart{ 0 };
	std::vector<irr::u32> FaceIndices;
	bool HasNormals = false;
	std::vector<irr::core::vector3df> Normals;
	std::vector<irr::u32> CornerNormals;          // laid out as FaceIndices
	std::vector<irr::core::vector2df> TexCoords;  // empty, or one per vertex
	bool HasColors = false;
	std::vector<irr::video::SColor> Colors;  // one per vertex when HasColors (clamped)
	std::vector<irr::u32> FaceMaterials;     // one per face, or empty: material 0
	// One entry per material of the mesh: index in File::Materials, -1 default.
	// Materials the list declares but does not give share one default entry.
	std::vector<int> Materials;
	std::vector<std::string> MaterialRefs;  // per material; resolved at the end
	std::vector<SkinWeights> Skins;
	bool HasMaterialsUVs = false;
	std::vector<irr::u32> MaterialsUVs;

	irr::u32 getFaceCount() const { return irr::u32(FaceStart.size() - 1); }
};

struct Frame
{
	std::string Name;
	int Parent = -1;  // parents come before their children
	irr::core::matrix4 Local;
};

enum EKeyType
{
	EKT_ROTATION = 0,
	EKT_SCALE = 1,
	EKT_POSITION = 2,
	EKT_MATRIX = 4
};

// Keys of one type, stored tightly: key k has the time Times[k] and the
// values Values[k * Width .. (k + 1) * Width).
struct KeySet
{
	int Type = 0;
	irr::u32 Width = 0;  // 4 (w, x, y, z), 3 or 16 values by type
	std::vector<irr::u32> Times;
	std::vector<irr::f32> Values;

	const irr::f32* values(std::size_t key) const { return Values.data() + key * Width; }
};

struct Animation
{
	std::string FrameName;
	std::vector<KeySet> KeySets;
};

struct File
{
	std::vector<Frame> Frames;
	std::vector<Mesh> Meshes;
	std::vector<Material> Materials;
	std::vector<Animation> Animations;
	irr::u32 TicksPerSecond = 0;  // 0: not given
	std::vector<std::string> Warnings;
};

// Reads a whole ".x" file; false with the reason in `error` when it is refused.
bool parseFile(const unsigned char* data, std::size_t size, File& file, std::string& error);
} // namespace xfile
} // namespace ze
