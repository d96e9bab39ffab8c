#include "api/ZeObjectSurfaceApi.h"

#include "api/SZeApiItems.h"
#include "api/ZeApiItems.h"
#include "api/ZeImageApi.h"
#include "api/ZeObjectApi.h"
#include "api/ZeShaderDescApi.h"
#include "core/IZeManager.h"
#include "core/IZeRenderer.h"
#include "core/IZeServices.h"
#include "core/ZeEngineCore.h"
#include "effects/IZeEffectManager.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "libext/ZeMaterialExt.h"
#include "render/IZeSceneNodeExt.h"
#include "render/IZeSurfaceLightwave.h"
#include "scene/ZeShaderDesc.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace irr;

static_assert(EZSC_COUNT == static_cast<int>(ZE_LIGHTWAVE_CHANNEL_COUNT), "scene surfaces carry every channel");

namespace
{
// The object's node extension, or null after reporting.
IZeSceneNodeExt* findExt(int objectId)
{
	scene::ISceneNode* node = zeGetObjectNode(objectId);
	if (!node)
	{
		zeSetError(1, "Object ID %d does not exist", objectId);
		return nullptr;
	}
	IZeSceneNodeExt* ext = zeGetNodeExt(node);
	if (!ext)
		zeSetError(1, "Object ID %d unexpected format (no node extension)", objectId);
	return ext;
}

IZeSurfaceLightwave* lightwave(IZeSurface* surface)
{
	return surface && surface->getType() == ZE_SURFACE_LIGHTWAVE ? static_cast<IZeSurfaceLightwave*>(surface) : nullptr;
}

// The LightWave surface of a channel setter, or null after reporting.
IZeSurfaceLightwave* channelSurface(int objectId, int surface, int channel)
{
	IZeSurface* found = zeGetObjectSurface(objectId, surface);
	if (!found)
		return nullptr;
	IZeSurfaceLightwave* result = lightwave(found);
	if (!result)
		zeSetError(2, "Object ID %d has no surface %d", objectId, surface);
	else if (channel < 0 || channel >= static_cast<int>(ZE_LIGHTWAVE_CHANNEL_COUNT))
	{
		zeSetError(3, "Surface parameter %d does not exist", channel);
		result = nullptr;
	}
	return result;
}

// A channel's texture as the texture service loads it.
video::ITexture* channelTexture(u32 channel, const char* file, bool mipMaps)
{
	IZeManager* manager = zeGetManager();
	if (!manager || !file || !*file)
		return nullptr;
	IZeTextureManager* textures = manager->getTextureManager();
	return channel == EZELW_REFLECTION_IMAGE ? textures->getTextureAuto(file, mipMaps) : textures->getTexture(file, mipMaps);
}

// Copies a record's channel values (and with compile its textures and sRGB flags).
void copyChannels(IZeSurfaceLightwave* surface, const SZeSurfaceDesc& record, bool compile, int objectId, int index)
{
	for (u32 c = 0; c < ZE_LIGHTWAVE_CHANNEL_COUNT; ++c)
	{
		const SZeSurfaceChannel& channel = record.channels[c];
		if (channel.kind == EZSVK_VECTOR)
			surface->setParamFloat3(c, channel.value[0], channel.value[1], channel.value[2]);
		else if (channel.kind == EZSVK_FLOAT)
			surface->setParamFloat(c, channel.value[0]);
		else if (channel.kind == EZSVK_INT)
			surface->setParamInt(c, channel.intValue);
		if (!compile)
			continue;
		video::ITexture* texture = nullptr;
		if (channel.imgFilename && *channel.imgFilename)
		{
			texture = channelTexture(c, channel.imgFilename, channel.imgMipmap != 0);
			if (!texture)
				zeSetErrorBox(3, "Object ID %d, Surf %d, Param %d: texture '%s' not found", objectId, index,
					static_cast<int>(c), channel.imgFilename);
		}
		surface->setParamTexture(c, texture);
		surface->setParamFlag(c, channel.imgColorSpace == 1 ? 1 : 0);
	}
}

// Compiles material `index`'s effect for its surface and gives it to the material.
void compileSurface(IZeSceneNodeExt* ext, IZeSurfaceLightwave* surface, const SZeSurfaceDesc& record, int objectId,
	int index)
{
	if (!surface->getParamTexture(EZELW_REFLECTION_IMAGE) && ext->getCubeMap())
	{
		surface->setParamTexture(EZELW_REFLECTION_IMAGE, ext->getCubeMapTexture());
		surface->setParamFlag(EZELW_REFLECTION_IMAGE, 0);
	}
	SZeMacroList macros(ZE_SHADER_MACRO_PAIRS);
	s32 materialType = 0;
	core::stringc rendererFile;
	const int refused = zeGetSurfaceEffectMacros(surface, ext->getSceneNode(), macros, materialType, rendererFile);
	if (refused)
	{
		zeSetError(3, refused == 1 ? "Object ID %d, Surf %d : Failed to get the effect compile parameters" :
			"Object ID %d, Surf %d : Failed to get the renderer effect", objectId, index);
		return;
	}
	const char* name = record.hasEffect ? record.effect.filename : rendererFile.c_str();
	if (!name || !*name)
		return;
	const char* found = zeFindDataFile(name);
	const std::string file = found ? found : name;
	if (record.hasEffect && record.effect.cflags && *record.effect.cflags)
		zeParseShaderMacros(macros, record.effect.cflags);
	IZeManager* manager = zeGetManager();
	IZeEffectManager* effects = manager ? manager->getEffectManager() : nullptr;
	IZeEffect* effect = effects ? effects->createEffect(file.c_str(), materialType, macros.data(), nullptr) : nullptr;
	if (!effect)
	{
		zeSetErrorBox(3, "Object ID %d, Surf %d : Failed to compile effect %s", objectId, index, file.c_str());
		return;
	}
	ext->setMaterialEffect(static_cast<u32>(index), effect, 0, 0);
	effect->drop();
}
} // namespace

int zeGetSurfaceParamIndex(const char* name)
{
	if (!name)
		return -1;
	for (u32 i = 0; i < ZE_LIGHTWAVE_CHANNEL_COUNT; ++i)
		if (std::strcmp(name, getLightwaveChannelName(i)) == 0)
			return static_cast<int>(i);
	return -1;
}

int zeFindSurfaceParam(const char* name)
{
	return zeGetSurfaceParamIndex(name);
}

IZeSurface* zeGetObjectSurface(int objectId, int surface)
{
	IZeSceneNodeExt* ext = findExt(objectId);
	if (!ext)
		return nullptr;
	IZeSurface* found = surface >= 0 ? ext->getMaterialSurface(static_cast<u32>(surface)) : nullptr;
	if (!found)
		zeSetError(2, "Object ID %d has no surface %d", objectId, surface);
	return found;
}

void zeSetObjectSurfaceParamTex(int objectId, int surface, int channel, const char* file)
{
	IZeSurfaceLightwave* target = channelSurface(objectId, surface, channel);
	if (!target)
		return;
	video::ITexture* texture = channelTexture(static_cast<u32>(channel), file, true);
	if (!texture)
	{
		zeSetError(4, "Texture does not exist '%s'", file ? file : "");
		return;
	}
	target->setParamTexture(static_cast<u32>(channel), texture);
}

void zeSetObjectSurfaceParamTexImg(int objectId, int surface, int channel, int imageId)
{
	IZeSurfaceLightwave* target = channelSurface(objectId, surface, channel);
	if (!target)
		return;
	video::ITexture* texture = zeGetImageTexture(imageId);
	if (!texture)
	{
		zeSetError(4, "Image %d does not exist", imageId);
		return;
	}
	target->setParamTexture(static_cast<u32>(channel), texture);
}

void zeSetObjectSurfaceParamInt(int objectId, int surface, int channel, int value)
{
	if (IZeSurfaceLightwave* target = channelSurface(objectId, surface, channel))
		target->setParamInt(static_cast<u32>(channel), value);
}

void zeSetObjectSurfaceParamFloat(int objectId, int surface, int channel, float value)
{
	if (IZeSurfaceLightwave* target = channelSurface(objectId, surface, channel))
		target->setParamFloat(static_cast<u32>(channel), value);
}

void zeSetObjectSurfaceParamFloat3(int objectId, int surface, int channel, float x, float y, float z)
{
	if (IZeSurfaceLightwave* target = channelSurface(objectId, surface, channel))
		target->setParamFloat3(static_cast<u32>(channel), x, y, z);
}

void zeSetObjectSurfaceEffect(int objectId, int surface, int effectId)
{
	if (!zeGetObjectSurface(objectId, surface))
		return;
	const SZeEffectItem* effect =
		static_cast<SZeEffectItem*>(zeFindApiItem(EZEIT_EFFECT, effectId, "Effect ID %d does not exist. %s", 3));
	if (effect)
		zeGetNodeExt(zeGetObjectNode(objectId))->setMaterialEffect(static_cast<u32>(surface), effect->effect, 0, 0);
}

void zeSetObjectSurfaceEffectTechnique(int objectId, int surface, int technique)
{
	if (zeGetObjectSurface(objectId, surface))
		zeGetNodeExt(zeGetObjectNode(objectId))->setMaterialTechnique(static_cast<u32>(surface), technique);
}

void zeUpdateObjectFromSurfaces(int objectId)
{
	IZeSceneNodeExt* ext = findExt(objectId);
	if (ext && !ext->updateFromSurfaces())
		zeLog(EZELL_ERROR, "Object ID %d: the mesh with tangents its surfaces need could not be made", objectId);
}

void zeUpdateObjectSurfaces(int objectId, int count, const SZeSurfaceDesc* records, int compile)
{
	IZeSceneNodeExt* ext = findExt(objectId);
	if (!ext || !records)
		return;
	for (int i = 0; i < count; ++i)
	{
		IZeSurfaceLightwave* surface = lightwave(ext->getMaterialSurface(static_cast<u32>(i)));
		if (!surface)
		{
			zeSetError(1, "Object ID %d has no surface %d, cannot SetSurfaces", objectId, i);
			return;
		}
		const SZeSurfaceDesc& record = records[i];
		copyChannels(surface, record, compile != 0, objectId, i);
		if (compile)
			compileSurface(ext, surface, record, objectId, i);
		IZeEffect* effect = ext->getMaterialEffect(static_cast<u32>(i));
		if (effect && record.hasEffect)
		{
			char owner[48];
			std::snprintf(owner, sizeof(owner), "Object ID %d Surface %d", objectId, i);
			zeApplyShaderParams(effect, &record.effect, compile, owner, 3);
		}
	}
}

void zeUnbindTextureFromObjects(video::ITexture* texture)
{
	SZeIdTable* table = zeGetIdTable(EZEIT_OBJECT);
	if (!table || !texture)
		return;
	for (int id = 0; id <= zeIdTableMaxId(table); ++id)
	{
		scene::ISceneNode* node = zeGetObjectNode(id);
		if (!node)
			continue;
		IZeSceneNodeExt* ext = zeGetNodeExt(node);
		bool surfaceHeldIt = false;
		for (u32 i = 0; i < node->getMaterialCount(); ++i)
		{
			if (IZeSurfaceLightwave* surface = lightwave(ext ? ext->getMaterialSurface(i) : nullptr))
				for (u32 c = 0; c < ZE_LIGHTWAVE_CHANNEL_COUNT; ++c)
					if (surface->getParamTexture(c) == texture)
					{
						surface->setParamTexture(c, nullptr);
						surfaceHeldIt = true;
					}
			video::SMaterial& material = node->getMaterial(i);
			for (u32 l = 0; l < ze::MATERIAL_MAX_TEXTURES; ++l)
				if (ze::getMaterialTexture(material, l) == texture)
					ze::setMaterialTexture(material, l, nullptr);
			for (u32 l = 0; l < ze::MATERIAL_MAX_VERTEX_TEXTURES; ++l)
				if (ze::getMaterialVertexTexture(material, l) == texture)
					ze::setMaterialVertexTexture(material, l, nullptr);
		}
		if (surfaceHeldIt && !ext->updateFromSurfaces())
			zeLog(EZELL_ERROR, "Object ID %d: the mesh with tangents its surfaces need could not be made", id);
	}
}

int zeGetSurfaceEffectMacros(IZeSurface* surface, scene::ISceneNode* node, SZeMacroList& macros, s32& materialType,
	core::stringc& rendererFile)
{
	const u32 first = macros.count();
	u32 count = macros.capacity() - first;
	if (!surface->getEffectCompileParameters(materialType, macros.data() + first, count, node))
		return 1;
	rendererFile = "";
	IZeRenderer* renderer = zeGetCurrentRenderer();
	if (!renderer)
		return 0;
	u32 room = macros.capacity() - first - count;
	return renderer->getMaterialEffect(rendererFile, macros.data() + first + count, room,
		static_cast<video::E_MATERIAL_TYPE>(materialType)) ? 0 : 2;
}
