// The engine's view of a material: 8 texture layers, each with an sRGB flag
// word and a level-of-detail bias, then 4 vertex-texture layers, and the user
// data that points to the effect record of the material.
//
// The library's SMaterial has 4 layers and no user data, and its layout cannot
// change, so the rest lives in a side record that the material reaches through
// a handle kept in MaterialTypeParam2 (the bit pattern of a positive normal
// float; 0 is none). Copies of a material copy the handle and read the same
// record until they write; the library gives no word when a material is
// copied, so a copy that has not written yet also sees later writes through
// the material it was copied from.
//
// Ownership: a record belongs to the material it was made for; a copy that writes first gets a record of its own; whoever owns a material releases its record (releaseMaterialExt) before the material goes, and clearMaterialExts frees the rest at device shutdown.
//
// Index:
//   - Layers and side records
//   - User data
//   - Texture layers
//   - Binding
//   - Lifetime
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
	irr::video::ITexture* Texture;  // a reference is held while set
	irr::u32 SRGB;
	irr::f32 LODBias;
};

struct SMaterialExt
{
	SMaterialLayerExt TextureLayer[MATERIAL_MAX_TEXTURES];
	SMaterialLayerExt VertexTextureLayer[MATERIAL_MAX_VERTEX_TEXTURES];
};

// The record the material reads (its own, or the one it shares with the
// material it was copied from); null when it has none.
const SMaterialExt* getMaterialExt(const irr::video::SMaterial& material);
// The material's own record, for writing: a copy of the record it shares
// when it has not written yet, a new one when it has none and `create`; null
// when it has none and not `create`, or when no record can be made.
SMaterialExt* getMaterialExt(irr::video::SMaterial& material, bool create);

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

// ---- Lifetime ------------------------------------------------------------------------
// Frees the material's record when the material owns it (its textures are
// dropped) and clears the material's handle; a record it only shares stays
// with its owner.
void releaseMaterialExt(irr::video::SMaterial& material);
// The handle of the record the material reads, 0 when none. An owner that
// cannot reach its material when it goes keeps this to release the record.
irr::u32 getMaterialExtHandle(const irr::video::SMaterial& material);
// Frees the record behind a handle; 0 or a handle whose record has gone does
// nothing. A handle is never given out again.
void releaseMaterialExtHandle(irr::u32 handle);
// Frees every side record (device shutdown); materials keeping a handle then read as having none.
void clearMaterialExts();
// The number of side records alive.
irr::u32 getMaterialExtCount();
} // namespace ze
