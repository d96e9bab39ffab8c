#include "api/ZeEffectApi.h"

#include "api/SZeApiItems.h"
#include "api/ZeApiItems.h"
#include "api/ZeImageApi.h"
#include "api/ZeObjectApi.h"
#include "api/ZeObjectSurfaceApi.h"
#include "api/ZeScreenQuadApi.h"
#include "api/ZeShaderDescApi.h"
#include "core/IZeManager.h"
#include "effects/IZeEffectManager.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "render/IZeSceneNodeExt.h"
#include "render/IZeSurface.h"
#include "scene/ZeShaderDesc.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace irr;

namespace
{
const char* const LOOKUP = "Effect ID %d does not exist. %s";

IZeEffect* findEffect(int id)
{
	SZeEffectItem* item = static_cast<SZeEffectItem*>(zeFindApiItem(EZEIT_EFFECT, id, LOOKUP));
	return item ? item->effect : nullptr;
}

// The first line of the effect service's last error, never empty.
std::string loadError(IZeEffectManager* effects)
{
	const char* text = effects ? effects->getLastError() : "";
	std::string line(text, std::strcspn(text, "\r\n"));
	if (line.empty())
		line = effects ? "the effect could not be built" : "the engine is not set up";
	return line;
}

// The effect parameter of a constant setter: "Unknown constant '%s'" (2) when none.
const SZeFxParameter* constant(IZeEffect* effect, const char* name)
{
	const SZeFxParameter* parameter = effect ? effect->getParameterByName(name ? name : "") : nullptr;
	if (effect && !parameter)
		zeSetError(2, "Unknown constant '%s'", name ? name : "");
	return parameter;
}

void refused(bool set, const char* name)
{
	if (!set)
		zeSetError(2, "failed to set value for constant '%s'", name ? name : "");
}
} // namespace

int zeLoadEffectFile(int id, const char* file, int baseMaterialType, const SZeMacro* macros)
{
	SZeEffectItem* item = static_cast<SZeEffectItem*>(
		zeAddApiItem(EZEIT_EFFECT, id, sizeof(SZeEffectItem), 2, "invalid effect ID %d : %s"));
	if (!item)
		return -1;
	item->id = id;
	IZeManager* manager = zeGetManager();
	IZeEffectManager* effects = manager ? manager->getEffectManager() : nullptr;
	// Compilation errors are logged even while the log is silenced.
	const int level = zeGetLogLevel();
	if (level > EZELL_ERROR)
		zeSetLogLevel(EZELL_ERROR);
	item->effect = effects ? effects->createEffect(file, baseMaterialType, macros, nullptr) : nullptr;
	if (level > EZELL_ERROR)
		zeSetLogLevel(level);
	if (!item->effect)
	{
		zeSetError(1, "Failed to load effect '%s' : %s", file ? file : "", loadError(effects).c_str());
		zeRemoveApiItem(EZEIT_EFFECT, id, item);
		return -1;
	}
	zeInstallScreenQuadApi();
	return 0;
}

int zeLoadEffect(const char* file, int id)
{
	return zeLoadEffectFile(id, file, -1, nullptr);
}

int zeLoadEffectForObjectSurface(const char* file, int id, int objectId, int surface)
{
	scene::ISceneNode* node = zeGetObjectNode(objectId);
	if (!node)
	{
		zeSetError(3, "Object ID %d does not exist", objectId);
		return -1;
	}
	IZeSceneNodeExt* ext = zeGetNodeExt(node);
	if (!ext)
	{
		zeSetError(3, "Object ID %d does not have node extension", objectId);
		return -1;
	}
	IZeSurface* material = surface >= 0 ? ext->getMaterialSurface(static_cast<u32>(surface)) : nullptr;
	if (!material)
	{
		zeSetError(4, "Invalid surface ID %d for the Object ID %d", surface, objectId);
		return -1;
	}
	SZeMacroList macros(ZE_SURFACE_MACRO_PAIRS);
	s32 materialType = 0;
	core::stringc rendererFile;  // not used: the file is the caller's
	const int refused = zeGetSurfaceEffectMacros(material, node, macros, materialType, rendererFile);
	if (refused)
	{
		zeSetError(-1, refused == 1 ? "Failed to get the effect compile parameters" : "Failed to get the renderer effect");
		return -1;
	}
	return zeLoadEffectFile(id, file, materialType, macros.data());
}

int zeEffectExist(int id)
{
	return zePeekApiItem(EZEIT_EFFECT, id) ? 1 : 0;
}

IZeEffect* zeGetEffect(int id)
{
	SZeEffectItem* item = static_cast<SZeEffectItem*>(zePeekApiItem(EZEIT_EFFECT, id));
	return item ? item->effect : nullptr;
}

void zeDeleteEffect(int id)
{
	SZeEffectItem* item = static_cast<SZeEffectItem*>(zePeekApiItem(EZEIT_EFFECT, id));
	if (!item)
		return;
	if (item->effect)
		item->effect->drop();
	zeRemoveApiItem(EZEIT_EFFECT, id, item);
}

// ---- Constants and textures -----------------------------------------------------
void zeSetEffectConstantBoolean(int id, const char* name, int value)
{
	IZeEffect* effect = findEffect(id);
	if (const SZeFxParameter* parameter = constant(effect, name))
		refused(effect->setBool(parameter, value != 0), name);
}

void zeSetEffectConstantInteger(int id, const char* name, int value)
{
	IZeEffect* effect = findEffect(id);
	if (const SZeFxParameter* parameter = constant(effect, name))
		refused(effect->setInt(parameter, value), name);
}

void zeSetEffectConstantFloat(int id, const char* name, float value)
{
	IZeEffect* effect = findEffect(id);
	if (const SZeFxParameter* parameter = constant(effect, name))
		refused(effect->setFloat(parameter, value), name);
}

void zeSetEffectConstantFloatN(int id, const char* name, const float* values, int count)
{
	IZeEffect* effect = findEffect(id);
	if (const SZeFxParameter* parameter = constant(effect, name))
		refused(values && count >= 0 && effect->setFloatArray(parameter, values, static_cast<u32>(count)), name);
}

namespace
{
// The named sampler of an effect ID, or null after reporting.
const SZeFxParameter* findSampler(int id, const char* name, IZeEffect*& effect)
{
	effect = findEffect(id);
	if (!effect)
		return nullptr;
	const SZeFxParameter* sampler = effect->getParameterByName(name ? name : "");
	if (!sampler)
		zeSetError(2, "Unknown texture '%s'", name ? name : "");
	return sampler;
}
} // namespace

void zeSetEffectTexture(int id, const char* name, const char* file)
{
	IZeEffect* effect = nullptr;
	const SZeFxParameter* sampler = findSampler(id, name, effect);
	if (!sampler)
		return;
	video::ITexture* texture = zeLoadSamplerTexture(effect, sampler, file);
	if (!texture)
	{
		zeSetError(3, "failed to load texture '%s' ", file ? file : "");
		effect->setSamplerTexture(sampler, nullptr, sampler->SRGB);
		return;
	}
	if (!effect->setSamplerTexture(sampler, texture, sampler->SRGB))
		zeSetError(2, "failed to set texture '%s'", file);
}

void zeSetEffectTextureImage(int id, const char* name, int imageId)
{
	IZeEffect* effect = nullptr;
	const SZeFxParameter* sampler = findSampler(id, name, effect);
	if (!sampler)
		return;
	video::ITexture* texture = zeGetImageTexture(imageId);
	if (!texture)
		zeSetError(3, "Image %d does not exist", imageId);
	if (!effect->setSamplerTexture(sampler, texture, sampler->SRGB) && texture)
		zeSetError(2, "failed to set texture '%s'", name ? name : "");
}

// ---- Shader descriptions --------------------------------------------------------
void zeSetEffectShaderParams(int id, const SZeShaderDesc* desc, int withTextures)
{
	IZeEffect* effect = findEffect(id);
	char owner[32];
	std::snprintf(owner, sizeof(owner), "Effect ID %d", id);
	zeApplyShaderParams(effect, desc, withTextures, owner, 2);
}

int zeApplyShaderDescription(int id, const SZeShaderDesc* desc)
{
	if (!desc)
		return -1;
	SZeMacroList macros(ZE_SHADER_MACRO_PAIRS);
	if (desc->cflags && *desc->cflags)
		zeParseShaderMacros(macros, desc->cflags);
	const char* found = zeFindDataFile(desc->filename ? desc->filename : "");
	const std::string file = found ? found : "";
	if (zeLoadEffectFile(id, file.c_str(), -1, macros.data()) != 0)
		return -1;
	zeSetEffectShaderParams(id, desc, 1);
	return 0;
}
