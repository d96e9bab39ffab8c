#include "api/ZeLightApi.h"

#include "api/ZeApiItems.h"
#include "core/IZeManager.h"
#include "core/IZeServices.h"
#include "frame/ZeCamera.h"
#include "frame/ZeContext.h"
#include "frame/ZeLog.h"
#include "libext/ZeMaterialExt.h"
#include "render/IZeLightSceneNodeExt.h"

#include <irrlicht.h>

#include <cmath>
#include <initializer_list>

using namespace irr;

namespace
{
// The record of the ID, or null without reporting.
SZeLightItem* findLight(int id)
{
	return static_cast<SZeLightItem*>(zePeekApiItem(EZEIT_LIGHT, id));
}

// The record of the ID; a missing one is reported as argument 1.
SZeLightItem* getLight(int id)
{
	return static_cast<SZeLightItem*>(zeFindApiItem(EZEIT_LIGHT, id, "Light ID %d does not exist. %s"));
}

// The parameter block of an existing light, or null when it has no extension.
SZeLightExtParams* paramsOf(SZeLightItem* item)
{
	IZeLightSceneNodeExt* ext = zeGetLightExt(item->node);
	return ext ? &ext->getParams() : nullptr;
}

// The light's parameter block; null when the ID is missing (reported) or the
// light has no extension.
SZeLightExtParams* getParams(int id)
{
	SZeLightItem* item = getLight(id);
	return item ? paramsOf(item) : nullptr;
}

enum EArgKind
{
	EAK_NUMBER,
	EAK_RANGE,
	EAK_CONE
};

// One float argument of a setter: what it is, its value and its rule.
struct SArg
{
	const char* What;
	f32 Value;
	EArgKind Kind = EAK_NUMBER;
};

bool takesArg(const SArg& arg)
{
	switch (arg.Kind)
	{
	case EAK_RANGE: return zeLightTakesRange(arg.Value);
	case EAK_CONE: return zeLightTakesCone(arg.Value);
	default: return zeLightTakesNumber(arg.Value);
	}
}

// True when the setter of light `id` takes every argument; else the first it
// does not take is reported as argument `first` + its position.
bool takes(int id, int first, std::initializer_list<SArg> args)
{
	static const char* const MUST_BE[] = {"a finite number", "a finite number of 0 or more",
		"an angle from 0 to 180 degrees"};
	int argument = first;
	for (const SArg& arg : args)
	{
		if (!takesArg(arg))
		{
			zeSetError(argument, "Light ID %d: %s %g is not %s", id, arg.What, static_cast<double>(arg.Value),
				MUST_BE[arg.Kind]);
			return false;
		}
		++argument;
	}
	return true;
}

const char* const POSITION[3] = {"position x", "position y", "position z"};
const char* const ROTATION[3] = {"rotation x", "rotation y", "rotation z"};

// Three numbers from argument 2 on.
bool takesVector(int id, const char* const (&names)[3], f32 x, f32 y, f32 z)
{
	return takes(id, 2, {{names[0], x}, {names[1], y}, {names[2], z}});
}

void colourToFloats(int colour, f32* out)
{
	const video::SColorf c(video::SColor(static_cast<u32>(colour)));
	out[0] = c.r;
	out[1] = c.g;
	out[2] = c.b;
	out[3] = c.a;
}

// Diffuse = intensity x raw colour, alpha 1.
void applyIntensity(SZeLightItem* item, const SZeLightExtParams& params)
{
	const f32 k = params.Intensity;
	item->node->getLightData().DiffuseColor =
		video::SColorf(k * params.Color[0], k * params.Color[1], k * params.Color[2], 1.0f);
}
} // namespace

bool zeLightTakesNumber(float value)
{
	return std::isfinite(value);
}

bool zeLightTakesRange(float range)
{
	return std::isfinite(range) && range >= 0.0f;
}

bool zeLightTakesCone(float degrees)
{
	return degrees >= 0.0f && degrees <= 180.0f;
}

IZeLightSceneNodeExt* zeGetLightExt(scene::ISceneNode* node)
{
	return zeFindLightSceneNodeExt(node);
}

int zeMakeLight(int id)
{
	SZeLightItem* item =
		static_cast<SZeLightItem*>(zeAddApiItem(EZEIT_LIGHT, id, sizeof(SZeLightItem), 1, "invalid Light ID %d : %s"));
	if (!item)
		return -1;
	scene::ISceneManager* scenes = zeGetContext()->sceneManager;
	item->node = scenes ? scenes->addLightSceneNode(nullptr, core::vector3df(0.0f, 0.0f, 0.0f),
		video::SColorf(1.0f, 1.0f, 1.0f, 1.0f), 100.0f, -1) : nullptr;
	if (!item->node)
	{
		zeSetError(-1, "failed to create light");
		zeRemoveApiItem(EZEIT_LIGHT, id, item);
		return -1;
	}
	if (IZeManager* manager = zeGetManager())
		if (IZeSceneManager* service = manager->getSceneManager())
			service->getLightSceneNodeExt(item->node);
	item->node->getLightData().Radius = 10000000.0f;
	return 0;
}

int zeLightExist(int id)
{
	return findLight(id) ? 1 : 0;
}

scene::ILightSceneNode* zeGetLightNode(int id)
{
	SZeLightItem* item = findLight(id);
	return item ? item->node : nullptr;
}

int zeLightVisible(int id)
{
	SZeLightItem* item = getLight(id);
	return item && item->node->isVisible() ? 1 : 0;
}

void zeShowLight(int id)
{
	if (SZeLightItem* item = getLight(id))
		item->node->setVisible(true);
}

void zeHideLight(int id)
{
	if (SZeLightItem* item = getLight(id))
		item->node->setVisible(false);
}

void zeDeleteLight(int id)
{
	SZeLightItem* item = findLight(id);
	if (!item)
		return;
	item->node->remove();
	zeRemoveApiItem(EZEIT_LIGHT, id, item);
	ze::sweepMaterialExts();
}

void zeSetDirectionalLight(int id, float x, float y, float z)
{
	SZeLightItem* item = getLight(id);
	if (item && takesVector(id, ROTATION, x, y, z))
	{
		item->node->setLightType(video::ELT_DIRECTIONAL);
		item->node->setRotation(core::vector3df(x, y, z));
	}
}

void zeSetPointLight(int id, float x, float y, float z)
{
	SZeLightItem* item = getLight(id);
	if (item && takesVector(id, POSITION, x, y, z))
	{
		item->node->setLightType(video::ELT_POINT);
		item->node->setPosition(core::vector3df(x, y, z));
	}
}

void zeSetSpotLight(int id, float inner, float outer)
{
	SZeLightItem* item = getLight(id);
	if (item && takes(id, 2, {{"inner cone", inner, EAK_CONE}, {"outer cone", outer, EAK_CONE}}))
	{
		item->node->setLightType(video::ELT_SPOT);
		item->node->getLightData().InnerCone = inner;
		item->node->getLightData().OuterCone = outer;
	}
}

void zePositionLight(int id, float x, float y, float z)
{
	SZeLightItem* item = getLight(id);
	if (item && takesVector(id, POSITION, x, y, z))
		item->node->setPosition(core::vector3df(x, y, z));
}

void zeRotateLight(int id, float x, float y, float z)
{
	SZeLightItem* item = getLight(id);
	if (item && takesVector(id, ROTATION, x, y, z))
		item->node->setRotation(core::vector3df(x, y, z));
}

void zeSetLightRange(int id, float range)
{
	SZeLightItem* item = getLight(id);
	if (item && takes(id, 2, {{"range", range, EAK_RANGE}}))
		item->node->getLightData().Radius = range;
}

void zeSetLightShadow(int id, int on)
{
	if (SZeLightItem* item = getLight(id))
		item->node->enableCastShadow(on != 0);
}

void zeColorLight(int id, int colour)
{
	SZeLightItem* item = getLight(id);
	if (!item)
		return;
	f32 c[4];
	colourToFloats(colour, c);
	if (SZeLightExtParams* params = paramsOf(item))
	{
		for (int i = 0; i < 4; ++i)
			params->Color[i] = c[i];
		params->Intensity = 1.0f;
	}
	item->node->getLightData().DiffuseColor = video::SColorf(c[0], c[1], c[2], c[3]);
}

void zeSetLightRawColor(int id, float r, float g, float b)
{
	SZeLightItem* item = getLight(id);
	if (!item || !takes(id, 2, {{"red", r}, {"green", g}, {"blue", b}}))
		return;
	SZeLightExtParams* params = paramsOf(item);
	if (!params)
		return;
	params->Color[0] = r;
	params->Color[1] = g;
	params->Color[2] = b;
	params->Color[3] = 1.0f;
	applyIntensity(item, *params);
}

void zeSetLightIntensity(int id, float intensity)
{
	SZeLightItem* item = getLight(id);
	if (!item || !takes(id, 2, {{"intensity", intensity}}))
		return;
	SZeLightExtParams* params = paramsOf(item);
	if (!params)
		return;
	params->Intensity = intensity;
	applyIntensity(item, *params);
}

void zeColorLightShadow(int id, int colour)
{
	if (SZeLightExtParams* params = getParams(id))
		colourToFloats(colour, params->ShadowColor);
}

void zeSetShadowMapSize(int id, int size)
{
	if (SZeLightExtParams* params = getParams(id))
		params->ShadowMapSize = static_cast<u32>(size);
}

void zeSetShadowMapFuzz(int id, float fuzz)
{
	SZeLightExtParams* params = getParams(id);
	if (params && takes(id, 2, {{"shadow-map fuzz", fuzz}}))
		params->ShadowMapFuzz = fuzz;
}

int zeSetLightProjectionImage(int id, const char* file)
{
	SZeLightItem* item = getLight(id);
	if (!item)
		return -1;
	SZeLightExtParams* params = paramsOf(item);
	if (!file || !*file)
	{
		if (params)
			params->ProjectionImage = nullptr;
		return 0;
	}
	video::IVideoDriver* driver = zeGetContext()->driver;
	video::ITexture* texture = nullptr;
	if (driver)
	{
		const bool mipMaps = driver->getTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS);
		driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, false);
		texture = driver->getTexture(file);
		driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, mipMaps);
	}
	if (!texture)
	{
		zeSetError(2, "Light ID %d failed to load projection image %s", id, file);
		return -1;
	}
	if (params)
		params->ProjectionImage = texture;
	return 0;
}

void zeSetLightVolumetric(int id, int on)
{
	if (SZeLightExtParams* params = getParams(id))
		params->Volumetric = on != 0;
}

void zeSetLightVolumetricDensity(int id, float density)
{
	SZeLightExtParams* params = getParams(id);
	if (params && takes(id, 2, {{"volumetric density", density}}))
		params->VolumetricDensity = density;
}

void zeSetLightVolumetricColor(int id, int use, float r, float g, float b)
{
	SZeLightExtParams* params = getParams(id);
	if (params && takes(id, 3, {{"volumetric red", r}, {"volumetric green", g},
		{"volumetric blue", b}}))
	{
		params->VolumetricUseColor = use != 0;
		params->VolumetricColor[0] = r;
		params->VolumetricColor[1] = g;
		params->VolumetricColor[2] = b;
		params->VolumetricColor[3] = 1.0f;
	}
}

void zeSetLightVolumetricBase(int id, float base)
{
	SZeLightExtParams* params = getParams(id);
	if (params && takes(id, 2, {{"volumetric base", base}}))
		params->VolumetricBase = base;
}

void zeSetLightVolumetricLimit(int id, int on, float value)
{
	SZeLightExtParams* params = getParams(id);
	if (params && takes(id, 3, {{"volumetric limit", value}}))
	{
		params->ClampIntensity = on != 0;
		params->IntensityClamp = value;
	}
}

void zeSetLightVolumetricFlags(int id, int flags)
{
	if (SZeLightExtParams* params = getParams(id))
		params->VolumetricQuality = static_cast<u32>(flags);
}

void zeColorAmbientLight(int colour)
{
	scene::ISceneManager* sceneManager = zeGetContext()->sceneManager;
	if (sceneManager)
		sceneManager->setAmbientLight(video::SColorf(video::SColor(static_cast<u32>(colour) | 0xFF000000u)));
}

void zeColorBackdrop(int colour)
{
	zeSetBackdropColor(colour);
}
