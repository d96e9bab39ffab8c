// The engine's view of a material: 8 texture layers, each with an sRGB flag
// word and a level-of-detail bias, then 4 vertex-texture layers, and the user
// data that points to the effect record of the material.
//
// The library's SMaterial has 4 layers and no user data, and its layout cannot
// change, so the rest lives in a side record that the material reaches through
// a handle kept in MaterialTypeParam2 (the bit pattern of a positive normal
// float, copied bit for bit with the material; 0 is none). The library copies
// materials without a word, so a record never changes once made: a write finds
// or makes the record holding the new contents (records are kept by content,
// so equal materials share one) and points the writing material at it. A copy,
// the original, a material that moved and a material built where another one
// was never see each other's writes.
//
// Ownership: records belong to no material. Each holds a reference to its
// textures until a collection (sweepMaterialExts) finds that no material the
// engine holds reads it; holders of materials report them while they live
// (CMaterialExtHolder). Collections run where things are deleted and at frame
// ends once the store has grown. clearMaterialExts frees every record at shutdown. A
// handle to a record that has gone reads as none.
//
// Index:
//   - Layers and side records
//   - User data
//   - Texture layers
//   - Binding
//   - Collection
#pragma once

#include "libext/ZeTextureExt.h"

#include <irrlicht.h>

namespace ze
{
// ---- Layers and side records ---------------------------------------------------------
const irr::u32 MATERIAL_MAX_TEXTURES = 8;
const irr::u32 MATERIAL_MAX_VERTEX_TEXTURES = 4;
// Texture units: the library binds units 0 to 3; ours start here.
const irr::u32 MATERIAL_EXT_FIRST_UNIT = 4;
const irr::u32 MATERIAL_EXT_FIRST_VERTEX_UNIT = MATERIAL_EXT_FIRST_UNIT + MATERIAL_MAX_TEXTURES;

struct SMaterialLayerExt
{
	irr::video::ITexture* Texture = nullptr;  // a record holds a reference
	irr::u32 SRGB = 0;
	irr::f32 LODBias = 0.f;
};

struct SMaterialExt
{
	SMaterialLayerExt TextureLayer[MATERIAL_MAX_TEXTURES];
	SMaterialLayerExt VertexTextureLayer[MATERIAL_MAX_VERTEX_TEXTURES];
};

// The record the material reads, null when it has none. The record stays
// as it is until a collection finds no held material reading it.
const SMaterialExt* getMaterialExt(const irr::video::SMaterial& material);
// Gives the material side layers with these contents, its user data kept
// (all-empty layers and no user data leave it no record). When no record can
// be made the material keeps what it had.
void setMaterialExt(irr::video::SMaterial& material, const SMaterialExt& layers);

// ---- User data -----------------------------------------------------------------------
// A record a material's user data may point at. Every one is registered while
// it lives: a material, or any copy of it, whose user data is a record that
// has gone answers none, so a dangling record is never handed out.
struct SMaterialUserData
{
	SMaterialUserData();
	// A copy is a record of its own, registered apart from the original.
	SMaterialUserData(const SMaterialUserData& other);
	SMaterialUserData& operator=(const SMaterialUserData& other);
	~SMaterialUserData();

private:
	friend class CMaterialUserDataRegistry;
	irr::u32 RegistrySlot;
};

// Null clears the user data.
void setMaterialUserData(irr::video::SMaterial& material, SMaterialUserData* userData);
// The record set while it lives, else null.
SMaterialUserData* getMaterialUserData(const irr::video::SMaterial& material);

// ---- Texture layers ------------------------------------------------------------------
// Texture layers 0 to 7: a library 2D texture on layers 0 to 3 goes into the
// library's own layer; every other texture is kept in the side record. Null
// clears the layer.
void setMaterialTexture(irr::video::SMaterial& material, irr::u32 layer, irr::video::ITexture* texture);
irr::video::ITexture* getMaterialTexture(const irr::video::SMaterial& material, irr::u32 layer);
void setMaterialTextureSRGB(irr::video::SMaterial& material, irr::u32 layer, irr::u32 srgb);
void setMaterialVertexTexture(irr::video::SMaterial& material, irr::u32 layer, irr::video::ITexture* texture);
irr::video::ITexture* getMaterialVertexTexture(const irr::video::SMaterial& material, irr::u32 layer);
void setMaterialVertexTextureSRGB(irr::video::SMaterial& material, irr::u32 layer, irr::u32 srgb);

// ---- Binding -------------------------------------------------------------------------
// Binds the side record's textures: texture layer i on unit
// MATERIAL_EXT_FIRST_UNIT + i, vertex layer i on MATERIAL_EXT_FIRST_VERTEX_UNIT + i;
// leaves unit 0 active. Returns how many were bound.
irr::u32 bindMaterialExtTextures(const irr::video::SMaterial& material);
// The unit a layer's texture is bound on for a material: 0-3 for the library's
// layers, else the side record's unit.
irr::u32 getMaterialTextureUnit(const irr::video::SMaterial& material, irr::u32 layer);

// ---- Collection ----------------------------------------------------------------------
// The handle of the record the material reads, 0 when none. Materials reading
// equal contents have the same handle.
irr::u32 getMaterialExtHandle(const irr::video::SMaterial& material);

// Reports one material as held during a collection.
void markMaterialExt(const irr::video::SMaterial& material);
// The materials of every mesh buffer (of every frame mesh of a plain animated mesh).
void markMeshMaterialExts(irr::scene::IMesh* mesh);
// Everything a scene manager holds: the materials of the nodes below its
// root and of their meshes, of the meshes in its mesh cache, and its driver's
// override and 2D materials.
void markSceneMaterialExts(irr::scene::ISceneManager* sceneManager);

// Reports what a holder holds: calls markMaterialExt (or the mark functions
// above) for each material it holds. Runs only inside a collection; writes
// nothing.
typedef void (*MaterialExtMarker)(void* holder);

// Registers a holder of materials for as long as it lives; a member of the
// holding object, built after the materials it reports.
class CMaterialExtHolder
{
public:
	CMaterialExtHolder(MaterialExtMarker mark, void* holder);
	// A holder of one material.
	explicit CMaterialExtHolder(const irr::video::SMaterial& material);
	~CMaterialExtHolder();
	CMaterialExtHolder(const CMaterialExtHolder&) = delete;
	CMaterialExtHolder& operator=(const CMaterialExtHolder&) = delete;

private:
	MaterialExtMarker Mark;
	void* Holder;
};

// The collection: marks what every registered holder holds and frees the
// other records, dropping their textures. Runs where objects, scenes and
// renderers are deleted. Returns how many records went (0 while deferred).
irr::u32 sweepMaterialExts();
// The frame end's collection: runs one only when the records alive have grown
// well past what the last collection left (more than twice as many, and some
// thousands more), so that materials written on every frame stay bounded
// while a frame that writes none costs a comparison. Every material the
// engine reads after its frame end must then be held by a registered holder.
irr::u32 collectGrownMaterialExts();
// While one lives, collections wait; the last to go runs one if any was asked
// for (deleting many objects at once collects once).
class CMaterialExtSweepBatch
{
public:
	CMaterialExtSweepBatch();
	~CMaterialExtSweepBatch();
	CMaterialExtSweepBatch(const CMaterialExtSweepBatch&) = delete;
	CMaterialExtSweepBatch& operator=(const CMaterialExtSweepBatch&) = delete;
};

// Frees every side record (device shutdown); materials keeping a handle then
// read as having none.
void clearMaterialExts();
// The number of side records alive.
irr::u32 getMaterialExtCount();
// The number of slots records were ever made in (alive or free).
irr::u32 getMaterialExtSlotCount();
// At most this many side records alive at once (0: as many as there are
// slots), so that tests can spend them all.
void setMaterialExtLimitForTests(irr::u32 records);
} // namespace ze
