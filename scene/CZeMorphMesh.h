// Morph meshes: a ".zmorph" morph map over the ".x" source-vertex tables
// (CZeMorphMeshMorphMapXM) or a numbered series of whole meshes
// (CZeMorphMeshMorphMap), and the loader that picks one for an object file.
#pragma once

#include "IZeMorphMesh.h"
#include "CZeMeshXM.h"
#include "ZeAlignedStore.h"

#include <irrlicht.h>
#include <vector>

// ---- Morph map of the XM kind ------------------------------------------------
// One displaced vertex: its index in the buffer, position and normal deltas.
struct alignas(16) SZeMorphRecordXM
{
	irr::u32 Index;
	irr::u32 Pad[3];
	irr::f32 Position[4];
	irr::f32 Normal[4];
};
static_assert(sizeof(SZeMorphRecordXM) == 48, "XM morph record is 48 bytes");

// The records of one mesh buffer for one morph.
class CZeMeshBufferMorphMapXM
{
public:
	// Room for capacity records, none used; false (logged) when it cannot be had.
	bool create(irr::u32 capacity);
	// Appends a record; false when full.
	bool add(irr::u32 index, const irr::f32* position, const irr::f32* normal);
	irr::u32 getCapacity() const { return irr::u32(Records.size()); }
	irr::u32 getCount() const { return Count; }
	const SZeMorphRecordXM* getRecords() const { return Records.data(); }

private:
	ze::TZeAlignedStore<SZeMorphRecordXM> Records;
	irr::u32 Count = 0;
};

typedef std::vector<CZeMeshBufferMorphMapXM> CZeMeshMorphMapXM;   // one morph, per buffer
typedef std::vector<CZeMeshMorphMapXM> CZeMorphMapXM;              // all morphs, file order

// ---- Morph map of the series kind ----------------------------------------------
// Pos/Normal/Tangent/Binormal are deltas, Color the vertex index.
typedef irr::core::array<irr::video::S3DVertexTangents> CZeMeshBufferMorphMap;
typedef std::vector<CZeMeshBufferMorphMap> CZeMeshMorphMap;
typedef std::vector<CZeMeshMorphMap> CZeMorphMap;

// ---- Loading ---------------------------------------------------------------------
class CZeMorphMapLoader
{
public:
	// Reads a ".zmorph" file and maps it onto the mesh; false (logged) on failure.
	static bool load(CZeMorphMapXM*& map, irr::io::IFileSystem* fileSystem, const char* fileName,
	                 irr::scene::IMesh* mesh);
	static bool createMorphMap(CZeMorphMapXM*& map, irr::io::IReadFile* file, irr::scene::IMesh* mesh);
};

// The morph-map file name of an object ("head.x" -> "head.zmorph").
irr::core::stringc zeMorphMapFileName(const char* objectName);
// Series member i (1-based) of an object ("head.x" -> "head.morph1.x"); empty
// when the name has no extension.
irr::core::stringc zeMorphSeriesFileName(const char* objectName, irr::u32 i);
// True when the first series member or the morph-map file exists.
bool zeMorphFileExists(irr::io::IFileSystem* fileSystem, const char* objectName);
// The morph mesh of an object (reference count 1), or null.
IZeMorphMesh* zeLoadMorphMesh(irr::IrrlichtDevice* device, const char* objectName);

// ---- CZeMorphMeshMorphMapXM -------------------------------------------------------
// Both kinds below: a skinned mesh is shared through the mesh cache and only
// animates its joints; every instance, clones included, morphs and skins its
// own working copy, whose buffers and bounding box it shows.
class CZeMorphMeshMorphMapXM : public IZeMorphMesh
{
public:
	explicit CZeMorphMeshMorphMapXM(irr::scene::IMeshManipulator* manipulator);
	~CZeMorphMeshMorphMapXM() override;

	irr::u32 getMeshBufferCount() const override;
	irr::scene::IMeshBuffer* getMeshBuffer(irr::u32 nr) const override;
	irr::scene::IMeshBuffer* getMeshBuffer(const irr::video::SMaterial& material) const override;
	const irr::core::aabbox3d<irr::f32>& getBoundingBox() const override;
	void setBoundingBox(const irr::core::aabbox3df& box) override;
	void setMaterialFlag(irr::video::E_MATERIAL_FLAG flag, bool newvalue) override;
	void setHardwareMappingHint(irr::scene::E_HARDWARE_MAPPING newMappingHint,
	                            irr::scene::E_BUFFER_TYPE buffer = irr::scene::EBT_VERTEX_AND_INDEX) override;
	void setDirty(irr::scene::E_BUFFER_TYPE buffer = irr::scene::EBT_VERTEX_AND_INDEX) override;

	void applyMorphs(irr::u32 count, const irr::u32* indices, const irr::f32* weights, irr::f32 frame) override;
	irr::u32 getMorphCount() const override;
	irr::u32 getFrameCount() const override;
	IZeMorphMesh* clone() const override;

	// Both take ownership of the map (may be null).
	virtual bool initFromStaticMesh(irr::scene::IMesh* mesh, CZeMorphMapXM* map);
	virtual bool initFromSkinnedMesh(irr::scene::ISkinnedMesh* mesh, CZeMorphMapXM* map);
	virtual irr::scene::ISkinnedMesh* getSkinnedMesh() const { return SkinnedMesh; }
	virtual void clear();

private:
	irr::scene::IMeshManipulator* Manipulator;
	irr::scene::IMesh* Working = nullptr;
	irr::core::aabbox3df Box;
	irr::scene::ISkinnedMesh* SkinnedMesh = nullptr;
	CZeStaticMeshBuffersXM* StaticBuffers = nullptr;
	CZeMeshXM* MeshXM = nullptr;
	CZeMorphMapXM* Map = nullptr;
};

// ---- CZeMorphMeshMorphMap ------------------------------------------------------------
class CZeMorphMeshMorphMap : public IZeMorphMesh
{
public:
	explicit CZeMorphMeshMorphMap(irr::scene::IMeshManipulator* manipulator);
	~CZeMorphMeshMorphMap() override;

	irr::u32 getMeshBufferCount() const override;
	irr::scene::IMeshBuffer* getMeshBuffer(irr::u32 nr) const override;
	irr::scene::IMeshBuffer* getMeshBuffer(const irr::video::SMaterial& material) const override;
	const irr::core::aabbox3d<irr::f32>& getBoundingBox() const override;
	void setBoundingBox(const irr::core::aabbox3df& box) override;
	void setMaterialFlag(irr::video::E_MATERIAL_FLAG flag, bool newvalue) override;
	void setHardwareMappingHint(irr::scene::E_HARDWARE_MAPPING newMappingHint,
	                            irr::scene::E_BUFFER_TYPE buffer = irr::scene::EBT_VERTEX_AND_INDEX) override;
	void setDirty(irr::scene::E_BUFFER_TYPE buffer = irr::scene::EBT_VERTEX_AND_INDEX) override;

	void applyMorphs(irr::u32 count, const irr::u32* indices, const irr::f32* weights, irr::f32 frame) override;
	irr::u32 getMorphCount() const override;
	irr::u32 getFrameCount() const override;
	IZeMorphMesh* clone() const override;

	// Both take ownership of the map (may be null). False when the mesh's
	// buffers do not match the map's (buffer count).
	virtual bool initFromStaticMesh(irr::scene::IMesh* mesh, CZeMorphMap* map);
	virtual bool initFromSkinnedMesh(irr::scene::ISkinnedMesh* mesh, CZeMorphMap* map);
	virtual irr::scene::ISkinnedMesh* getSkinnedMesh() const { return SkinnedMesh; }
	virtual void clear();
	// Pos and Normal of every destination buffer's vertices from the source
	// buffer of the same index; false when the layouts differ.
	virtual bool copyPositionsAndNormals(irr::scene::IMesh* destination, irr::scene::IMesh* source);

private:
	irr::scene::IMeshManipulator* Manipulator;
	irr::scene::IMesh* Working = nullptr;
	irr::scene::IMesh* Source = nullptr;
	irr::scene::IMesh* Rest = nullptr; // a static clone's rest pose (it has no source)
	irr::core::aabbox3df Box;
	irr::scene::ISkinnedMesh* SkinnedMesh = nullptr;
	// Skinned meshes only: the rest pose and the vertices that we skin.
	CZeStaticMeshBuffersXM* StaticBuffers = nullptr;
	CZeMeshXM* MeshXM = nullptr;
	CZeMorphMap* Map = nullptr;
};

// Builds the series morph map from members (the first is the rest shape).
// False (logged) when members differ in buffer count, vertex counts or types.
bool zeBuildSeriesMorphMap(CZeMorphMap& map, const irr::core::array<irr::scene::IMesh*>& members);
