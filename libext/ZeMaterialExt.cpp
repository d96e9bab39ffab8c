#include "libext/ZeMaterialExt.h"

#include "frame/ZeLog.h"
#include "libext/ZeGL.h"

#include <cmath>
#include <memory>
#include <vector>

using namespace irr;

namespace ze
{
namespace
{
// Side records by handle - 1. Slots are never reused, so a handle left in a
// material after its record was freed keeps reading as none.
std::vector<std::unique_ptr<SMaterialExt>> g_records;

// Handles travel in a float: integers are exact up to 2^24.
const size_t MAX_RECORDS = 1u << 24;

SMaterialExt* lookUp(f32 handle)
{
	if (!(handle >= 1.f) || handle != std::floor(handle) || handle > static_cast<f32>(g_records.size()))
		return nullptr;
	return g_records[static_cast<size_t>(handle) - 1].get();
}

void put(SMaterialLayerExt& layer, video::ITexture* texture)
{
	if (texture)
		texture->grab();
	if (layer.Texture)
		layer.Texture->drop();
	layer.Texture = texture;
}

void release(SMaterialExt& record)
{
	for (SMaterialLayerExt& layer : record.TextureLayer)
		put(layer, nullptr);
	for (SMaterialLayerExt& layer : record.VertexTextureLayer)
		put(layer, nullptr);
}

// Whether the library may hold the texture in its own layer.
bool isLibraryTexture(const video::ITexture* texture)
{
	return !dynamic_cast<const ITextureExt*>(texture);
}

bool bindOn(u32 unit, video::ITexture* texture)
{
	unsigned int target = 0;
	const unsigned int name = getGLTextureName(resolve(texture), &target);
	if (!name)
		return false;
	glActiveTexture(GL_TEXTURE0 + unit);
	glBindTexture(target, name);
	return true;
}
} // namespace

SMaterialExt* getMaterialExt(video::SMaterial& material, bool create)
{
	SMaterialExt* record = lookUp(material.MaterialTypeParam2);
	if (record || !create)
		return record;
	if (g_records.size() >= MAX_RECORDS)
	{
		zeLog(EZELL_ERROR, "Too many material records");
		return nullptr;
	}
	g_records.push_back(std::make_unique<SMaterialExt>());
	material.MaterialTypeParam2 = static_cast<f32>(g_records.size());
	return g_records.back().get();
}

const SMaterialExt* getMaterialExt(const video::SMaterial& material)
{
	return lookUp(material.MaterialTypeParam2);
}

void setMaterialTexture(video::SMaterial& material, u32 layer, video::ITexture* texture)
{
	if (layer >= MATERIAL_MAX_TEXTURES)
		return;
	const bool libraryLayer = layer < video::MATERIAL_MAX_TEXTURES;
	if (texture && libraryLayer && isLibraryTexture(texture))
	{
		material.TextureLayer[layer].Texture = texture;
		if (SMaterialExt* record = getMaterialExt(material, false))
			put(record->TextureLayer[layer], nullptr);
		return;
	}
	if (libraryLayer)
		material.TextureLayer[layer].Texture = nullptr;
	SMaterialExt* record = getMaterialExt(material, texture != nullptr);
	if (record)
		put(record->TextureLayer[layer], texture);
}

video::ITexture* getMaterialTexture(const video::SMaterial& material, u32 layer)
{
	if (layer >= MATERIAL_MAX_TEXTURES)
		return nullptr;
	if (layer < video::MATERIAL_MAX_TEXTURES && material.TextureLayer[layer].Texture)
		return material.TextureLayer[layer].Texture;
	const SMaterialExt* record = getMaterialExt(material);
	return record ? record->TextureLayer[layer].Texture : nullptr;
}

void setMaterialTextureSRGB(video::SMaterial& material, u32 layer, u32 srgb)
{
	if (layer >= MATERIAL_MAX_TEXTURES)
		return;
	if (SMaterialExt* record = getMaterialExt(material, srgb != 0))
		record->TextureLayer[layer].SRGB = srgb;
}

void setMaterialVertexTexture(video::SMaterial& material, u32 layer, video::ITexture* texture)
{
	if (layer >= MATERIAL_MAX_VERTEX_TEXTURES)
		return;
	if (SMaterialExt* record = getMaterialExt(material, texture != nullptr))
		put(record->VertexTextureLayer[layer], texture);
}

video::ITexture* getMaterialVertexTexture(const video::SMaterial& material, u32 layer)
{
	const SMaterialExt* record = getMaterialExt(material);
	return record && layer < MATERIAL_MAX_VERTEX_TEXTURES ? record->VertexTextureLayer[layer].Texture : nullptr;
}

void setMaterialUserData(video::SMaterial& material, void* userData)
{
	if (SMaterialExt* record = getMaterialExt(material, userData != nullptr))
		record->UserData = userData;
}

void* getMaterialUserData(const video::SMaterial& material)
{
	const SMaterialExt* record = getMaterialExt(material);
	return record ? record->UserData : nullptr;
}

u32 bindMaterialExtTextures(const video::SMaterial& material)
{
	const SMaterialExt* record = getMaterialExt(material);
	if (!record)
		return 0;
	u32 bound = 0;
	for (u32 i = 0; i < MATERIAL_MAX_TEXTURES; ++i)
		if (record->TextureLayer[i].Texture)
			bound += bindOn(MATERIAL_EXT_FIRST_UNIT + i, record->TextureLayer[i].Texture);
	for (u32 i = 0; i < MATERIAL_MAX_VERTEX_TEXTURES; ++i)
		if (record->VertexTextureLayer[i].Texture)
			bound += bindOn(MATERIAL_EXT_FIRST_VERTEX_UNIT + i, record->VertexTextureLayer[i].Texture);
	glActiveTexture(GL_TEXTURE0);
	return bound;
}

u32 getMaterialTextureUnit(const video::SMaterial& material, u32 layer)
{
	const SMaterialExt* record = getMaterialExt(material);
	const bool inRecord = record && layer < MATERIAL_MAX_TEXTURES && record->TextureLayer[layer].Texture;
	if (!inRecord && layer < video::MATERIAL_MAX_TEXTURES)
		return layer;
	return MATERIAL_EXT_FIRST_UNIT + layer;
}

void clearMaterialExts()
{
	for (std::unique_ptr<SMaterialExt>& record : g_records)
		if (record)
		{
			release(*record);
			record.reset();
		}
}
} // namespace ze
