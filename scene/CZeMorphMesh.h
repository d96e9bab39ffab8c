// Morph meshes: a ".zmorph" morph map over the ".x" source-vertex tables
// (CZeMorphMeshMorphMapXM) or a numbered series of whole meshes
// (CZeMorphMeshMorphMap), both over the instance they share (CZeMorphMeshBase),
// and the loader that picks one for an object file.
#pragma once

#include "IZeMorphMesh.h"
#include "CZeMeshXM.h"
#include "ZeAlignedStore.h"
#include "libext/ZeMaterialExt.h"

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

// ---- CZeMorphMeshBase ----------------------------------------------------------------
// What both kinds below share. A skinned mesh is shared through the mesh cache
// and only animates its joints; every instance, clones included, morphs and
// skins its own working copy, whose buffers and bounding box it shows. Each
// kind adds its morph map and how it applies it.
class CZeMorphMeshBase : public IZeMorphMesh
{
public:
	~CZeMorphMeshBase() override;

	irr::u32 getMeshBufferCount() const override;
	irr::scene::IMeshBuffer* getMeshBuffer(irr::u32 nr) const override;
	irr::scene::IMeshBuffer* getMeshBuffer(const irr::video::SMaterial& material) const override;
	const irr::core::aabbox3d<irr::f32>& getBoundingBox() const override;
	void setBoundingBox(const irr::core::aabbox3df& box) override;
	void setMaterialFlag(irr::video::E_MATERIAL_FLAG flag, bool newvalue) override;
	void setHardwareMappingHint(irr::scene::E_HARDWARE_MAPPING newMappingHint,
	                            irr::scene::E_BUFFER_TYPE buffer = irr::scene::EBT_VERTEX_AND_INDEX) override;
	void setDirty(irr::scene::E_BUFFER_TYPE buffer = irr::scene::EBT_VERTEX_AND_INDEX) override;

	// The skinned mesh's frame count, 0 for a static instance.
	irr::u32 getFrameCount() const override;

	// The shared skinned mesh, null for a static instance.
	virtual irr::scene::ISkinnedMesh* getSkinnedMesh() const { return SkinnedMesh; }
	// Releases everything held.
	virtual void clear();

protected:
	explicit CZeMorphMeshBase(irr::scene::IMeshManipulator* manipulator);

	// Working copy and box from a static mesh; false without mesh or manipulator.
	bool initStaticInstance(irr::scene::IMesh* mesh);
	// Puts the skinned mesh in its rest pose (hardware skinning on: the library
	// then only animates the joints) and takes working copy, box, rest pose and
	// XM vertices with their influences from it; grabs it when all went well.
	// False without mesh or manipulator, or when the XM vertices cannot be had.
	bool initSkinnedInstance(irr::scene::ISkinnedMesh* mesh);
	// The rest pose back into the XM vertices, then the kind's morphs on them;
	// false when the instance has no XM vertices.
	bool morphXM(irr::u32 count, const irr::u32* indices, const irr::f32* weights);
	// Animates the shared skinned mesh's joints at the frame and skins the XM
	// vertices into the working copy, whose box becomes the instance's.
	void skinWorking(irr::f32 frame);
	// Gives a new instance its own working copy, the box, and copies of the rest
	// pose and XM vertices; a skinned one animates through the same skinned mesh.
	void cloneInto(CZeMorphMeshBase& copy) const;
	// Adds the weighted morphs of the kind's map to the XM vertices.
	virtual void addMorphsXM(CZeMeshXM& mesh, irr::u32 count, const irr::u32* indices,
	                         const irr::f32* weights) const = 0;

	irr::scene::IMeshManipulator* Manipulator;
	irr::scene::IMesh* Working = nullptr;
	irr::core::aabbox3df Box;
	irr::scene::ISkinnedMesh* SkinnedMesh = nullptr;
	// The rest pose and the vertices that we morph and skin; a static series
	// instance morphs its working copy directly and has neither.
	CZeStaticMeshBuffersXM* StaticBuffers = nullptr;
	CZeMeshXM* MeshXM = nullptr;

private:
	// The working copy's buffer materials, which nodes and clones copy, are
	// reported to the collection of material side records.
	ze::CMaterialExtHolder Holding{
		[](void* mesh) { ze::markMeshMaterialExts(static_cast<CZeMorphMeshBase*>(mesh)); }, this};
};

// ---- CZeMorphMeshMorphMapXM -------------------------------------------------------
// Morphs and skins on the XM vertices, static meshes included.
class CZeMorphMeshMorphMapXM : public CZeMorphMeshBase
{
public:
	explicit CZeMorphMeshMorphMapXM(irr::scene::IMeshManipulator* manipulator);
	~CZeMorphMeshMorphMapXM() override;

	void applyMorphs(irr::u32 count, const irr::u32* indices, const irr::f32* weights, irr::f32 frame) override;
	irr::u32 getMorphCount() const override;
	IZeMorphMesh* clone() const override;

	// Both take ownership of the map (may be null).
	virtual bool initFromStaticMesh(irr::scene::IMesh* mesh, CZeMorphMapXM* map);
	virtual bool initFromSkinnedMesh(irr::scene::ISkinnedMesh* mesh, CZeMorphMapXM* map);
	void clear() override;

protected:
	void addMorphsXM(CZeMeshXM& mesh, irr::u32 count, const irr::u32* indices,
	                 const irr::f32* weights) const override;

private:
	CZeMorphMapXM* Map = nullptr;
};

// ---- CZeMorphMeshMorphMap ------------------------------------------------------------
// Morphs a static mesh's library vertices directly (tangents included) and a
// skinned mesh's XM vertices before skinning.
class CZeMorphMeshMorphMap : public CZeMorphMeshBase
{
public:
	explicit CZeMorphMeshMorphMap(irr::scene::IMeshManipulator* manipulator);
	~CZeMorphMeshMorphMap() override;

	void applyMorphs(irr::u32 count, const irr::u32* indices, const irr::f32* weights, irr::f32 frame) override;
	irr::u32 getMorphCount() const override;
	IZeMorphMesh* clone() const override;

	// Both take ownership of the map (may be null). False when the mesh's
	// buffers do not match the map's (buffer count).
	virtual bool initFromStaticMesh(irr::scene::IMesh* mesh, CZeMorphMap* map);
	virtual bool initFromSkinnedMesh(irr::scene::ISkinnedMesh* mesh, CZeMorphMap* map);
	void clear() override;
	// Pos and Normal of every destination buffer's vertices from the source
	// buffer of the same index; false when the layouts differ.
	virtual bool copyPositionsAndNormals(irr::scene::IMesh* destination, irr::scene::IMesh* source);

protected:
	void addMorphsXM(CZeMeshXM& mesh, irr::u32 count, const irr::u32* indices,
	                 const irr::f32* weights) const override;

private:
	irr::scene::IMesh* Source = nullptr;
	irr::scene::IMesh* Rest = nullptr; // a static clone's rest pose (it has no source)
	CZeMorphMap* Map = nullptr;
};

// Builds the series morph map from members (the first is the rest shape).
// False (logged) when members differ in buffer count, vertex counts or types.
bool zeBuildSeriesMorphMap(CZeMorphMap& map, const irr::core::array<irr::scene::IMesh*>& members);
