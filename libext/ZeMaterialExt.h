// The engine's view of a material: 8 texture layers, each with an sRGB flag
// word and a level-of-detail bias, then 4 vertex-texture layers, and the user
// data that points to the effect record of the material.
//
// The library's SMaterial has 4 layers and no user data, and its layout cannot
// change, so the rest lives in a side record that the material reaches through
// a handle kept in MaterialTypeParam2. Copies of a material share the record.
#pragma once

#include "libext/ZeTextureExt.h"

#include <irrlicht.h>

namespace ze
{
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
	void* UserData;  // SZeMaterialExt
};

// The material's side record; made on first use when `create`, else null when
// it has none.
SMaterialExt* getMaterialExt(irr::video::SMaterial& material, bool create);
const SMaterialExt* getMaterialExt(const irr::video::SMaterial& material);

// Texture layers 0 to 7: a library 2D texture on layers 0 to 3 goes into the
// library's own layer; every other texture is kept in the side record. Null
// clears the layer.
void setMaterialTexture(irr::video::SMaterial& material, irr::u32 layer, irr::video::ITexture* texture);
irr::video::ITexture* getMaterialTexture(const irr::video::SMaterial& material, irr::u32 layer);
void setMaterialTextureSRGB(irr::video::SMaterial& material, irr::u32 layer, irr::u32 srgb);
void setMaterialVertexTexture(irr::video::SMaterial& material, irr::u32 layer, irr::video::ITexture* texture);
irr::video::ITexture* getMaterialVertexTexture(const irr::video::SMaterial& material, irr::u32 layer);
void setMaterialUserData(irr::video::SMaterial& material, void* userData);
void* getMaterialUserData(const irr::video::SMaterial& material);

// Binds the side record's textures: texture layer i on unit
// MATERIAL_EXT_FIRST_UNIT + i, vertex layer i on MATERIAL_EXT_FIRST_VERTEX_UNIT + i;
// leaves unit 0 active. Returns how many were bound.
irr::u32 bindMaterialExtTextures(const irr::video::SMaterial& material);
// The unit a layer's texture is bound on for a material: 0-3 for the library's
// layers, else the side record's unit.
irr::u32 getMaterialTextureUnit(const irr::video::SMaterial& material, irr::u32 layer);

// Frees every side record (device shutdown); materials keeping a handle then read as having none.
void clearMaterialExts();
} // namespace ze
