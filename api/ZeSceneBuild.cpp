// The builders of a scene's items, which loading and reloading in place share.
#include "api/ZeScenePrivate.h"

#include "api/ZeCameraEffectApi.h"
#include "api/ZeCubeMapApi.h"
#include "api/ZeEffectApi.h"
#include "api/ZeFxEmitterApi.h"
#include "api/ZeLightApi.h"
#include "api/ZeObjectApi.h"
#include "api/ZeObjectSurfaceApi.h"
#include "api/ZeSceneCalls.h"
#include "api/ZeSceneRenderer.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "scene/ZeParticleGenerators.h"

#include <cmath>
#include <string>

using namespace irr;

namespace
{
const int CUBE_MAP_UNUSED = -1;

int colour(const core::vector3df& rgb)
{
	return static_cast<int>(zeSceneColor(rgb).color);
}

const char* text(const char* value)
{
	return value ? value : "";
}

// The text of the pending error, or the scene reader's last error.
std::string reason()
{
	int code = 0;
	const char* pending = zeGetError(&code);
	return pending ? pending : zeSceneDescLastError();
}

// An object of this scene named `name` (without regard to case) that
// exists; its ID, or -1.
int findSceneObject(const SZeSceneSlot& slot, const char* name)
{
	const SZeSceneDesc* d = slot.desc;
	for (int j = 0; name && *name && j < d->objectCount; ++j)
	{
		const char* other = d->objects[j].name;
		if (other && zeStricmp(other, name) == 0 && zeObjectExist(slot.firstObjectId + j))
			return slot.firstObjectId + j;
	}
	return -1;
}

// An object of the sharing group loaded from the same file (without regard
// to case): the first in slot order, then object order; -1. Of the scene's
// own objects only those built before object i count (a later ID may hold an
// item the scene has not taken over yet).
int findSharedObject(const SZeSceneSlot& slot, const char* file, int i)
{
	const int id = slot.firstObjectId + i;
	for (int s = 0; s < ZE_SCENE_SLOTS; ++s)
	{
		const SZeSceneSlot* other = zeFindSceneSlot(s);
		if (!other || zeStricmp(other->shareGroup.c_str(), slot.shareGroup.c_str()) != 0)
			continue;
		const SZeSceneDesc* d = other->desc;
		const int count = other == &slot ? i : d->objectCount;
		for (int j = 0; j < count; ++j)
		{
			const int candidate = other->firstObjectId + j;
			const char* xfile = d->objects[j].xfilename;
			if (candidate != id && xfile && zeStricmp(xfile, file) == 0 && zeObjectExist(candidate))
				return candidate;
		}
	}
	return -1;
}

// The first use whose cube map exists, preferring one with a whole box.
int initialCubeMapUse(const SZeSceneSlot& slot, const SZeSceneObject& object)
{
	int first = CUBE_MAP_UNUSED;
	for (u32 u = 0; u < object.cubeMapUses.size(); ++u)
	{
		const SZeSceneCubeMapUse& use = object.cubeMapUses[u];
		if (use.cubeMap < 0 || !zeSceneCalls().cubeMapExist(slot.firstCubeMapId + use.cubeMap))
			continue;
		if (use.aabbPosition && use.aabbScale)
			return static_cast<int>(u);
		if (first == CUBE_MAP_UNUSED)
			first = static_cast<int>(u);
	}
	return first;
}

// The emitter's image file as the messages name it.
const char* imageName(const SZeSceneEmitter& emitter)
{
	const char* image = zeSceneText(emitter.keys[EZEK_CLIP_FILENAME]);
	return image && *image ? image : "<no clip file>";
}

void setGradient(int id, const ZF_Node* node, void (*set)(int, int, const float*))
{
	u32 count = 0;
	const f32* keys = zeSceneFloatList(node, &count);
	if (count >= 5)
		set(id, static_cast<int>(count / 5), keys);
}
} // namespace

// ---- Cube maps and objects ----------------------------------------------------------------------
void zeSceneMakeCubeMap(const SZeSceneSlot& slot, int i)
{
	const SZeSceneCubeMap& cubeMap = slot.desc->cubeMaps[static_cast<u32>(i)];
	const int id = slot.firstCubeMapId + i;
	zeDeleteCubeMap(id);
	zeMakeCubeMap(id, cubeMap.textureSize, cubeMap.useLatLong);
	if (!zeCubeMapExist(id) && zeSceneWarningsOn())
		zeLog(EZELL_ERROR | EZELF_MESSAGE_BOX, "The cubemap id=%d cannot be created", id);
}

int zeSceneBuildObject(const SZeSceneSlot& slot, int i, bool search, int instanceObjects)
{
	const SZeSceneObject& object = slot.desc->objects[static_cast<u32>(i)];
	const int id = slot.firstObjectId + i;
	const char* file = text(object.xfilename);
	SZeSceneCalls& calls = zeSceneCalls();
	zeDeleteObject(id);
	const int source = search ? findSharedObject(slot, file, i) : -1;
	if (source >= 0)
		instanceObjects ? calls.instanceObject(id, source) : calls.cloneObject(id, source);
	else if (object.pointCloudCount)
		calls.loadObjectPointCloud(file, id, object.pointCloudCount);
	else
		calls.loadObject(file, id);
	if (!zeObjectExist(id))
	{
		if (zeSceneWarningsOn())
			zeLog(EZELL_ERROR | EZELF_MESSAGE_BOX, "The object id=%d '%s' cannot be loaded", id, file);
		return -1;
	}
	const int use = initialCubeMapUse(slot, object);
	if (use != CUBE_MAP_UNUSED)
		zeSceneApplyCubeMapUse(slot, id, object.cubeMapUses[static_cast<u32>(use)], 0.0f);
	return 0;
}

void zeSceneApplyCubeMapUse(const SZeSceneSlot& slot, int id, const SZeSceneCubeMapUse& use, float key)
{
	SZeSceneCalls& calls = zeSceneCalls();
	const int cubeMapId = slot.firstCubeMapId + use.cubeMap;
	if (use.cubeMap < 0 || !calls.cubeMapExist(cubeMapId))
		return;
	calls.setObjectCubeMap(id, cubeMapId);
	const bool box = use.aabbPosition && use.aabbScale;
	calls.enableObjectCubeMapBox(id, box ? 1 : 0);
	if (!box)
		return;
	const core::vector3df position = zeSceneVectorAt(use.aabbPosition, key);
	const core::vector3df scale = zeSceneVectorAt(use.aabbScale, key);
	calls.setObjectCubeMapBox(id, position.X, position.Y, position.Z, scale.X, scale.Y, scale.Z);
}

void zeSceneApplyObjectSettings(const SZeSceneSlot& slot, int i)
{
	const SZeSceneObject& object = slot.desc->objects[static_cast<u32>(i)];
	const int id = slot.firstObjectId + i;
	if (object.shadowOpts & 2)
		zeSetObjectShadowOn(id);
	else
		zeSetObjectShadowOff(id);
	zeSetObjectSelectionMask(id, object.selectionMask);
	if (object.vertexTextureName && *object.vertexTextureName)
	{
		const int flags = (slot.reloaded ? 1 : 0) | (object.vertexTextureFormat ? 2 : 0) |
			(object.vertexTextureContent > 0 ? 4 : 0);
		zeSetObjectVertexTexture(id, object.vertexTextureName, flags);
	}
}

int zeSceneSurfacesAt(std::vector<SZeSurfaceDesc>& out, const SZeSceneMesh& mesh, float key)
{
	const u32 count = core::min_(mesh.surfaces.size(), static_cast<u32>(NOF_SURFACE_MAX));
	if (out.size() < count)
		out.resize(count);
	return count ? zeSceneObjectSurfacesAt(out.data(), static_cast<s32>(count), &mesh, key) : 0;
}

void zeSceneApplyObjectSurfaces(const SZeSceneSlot& slot, int i)
{
	const SZeSceneObject& object = slot.desc->objects[static_cast<u32>(i)];
	const int id = slot.firstObjectId + i;
	if (object.mesh < 0 || !zeObjectExist(id))
		return;
	const SZeSceneMesh& mesh = slot.desc->meshes[static_cast<u32>(object.mesh)];
	if (mesh.surfaces.size() > static_cast<u32>(NOF_SURFACE_MAX))
		zeLog(EZELL_ERROR | EZELF_MESSAGE_BOX,
			"The object id=%d '%s' numSurfaces=%d > NOF_SURFACE_MAX=%d. Only the first %d are used", id,
			text(object.xfilename), static_cast<int>(mesh.surfaces.size()), NOF_SURFACE_MAX, NOF_SURFACE_MAX);
	std::vector<SZeSurfaceDesc> surfaces;
	const int count = zeSceneSurfacesAt(surfaces, mesh, 0.0f);
	zeUpdateObjectSurfaces(id, count, surfaces.data(), 1);
	zeUpdateObjectFromSurfaces(id);
}

// ---- Lights -------------------------------------------------------------------------------------------
namespace
{
bool finite(const core::vector3df& v)
{
	return zeLightTakesNumber(v.X) && zeLightTakesNumber(v.Y) && zeLightTakesNumber(v.Z);
}

// A key of a channel holding a number that the light API refuses.
struct SRefused
{
	u32 Key;
	f32 Value;
};

// The first refused number of each component of a channel (the elements of an
// array, else the value alone) by `takes`; false when every number is taken.
bool findRefused(const ZF_Node* channel, bool (*takes)(float), SRefused& out)
{
	const u32 components = channel && channel->kind == ZF_ARRAY ? channel->count : 1;
	for (u32 j = 0; j < components; ++j)
		for (const ZF_Run& run : ZF_GetRuns(channel, j))
			if (!takes(run.value))
			{
				out = SRefused{run.first, run.value};
				return true;
			}
	return false;
}

const u64 NO_KEY = ~0ull;

// A channel's runs read key by key in ascending order: past its last run the
// number stays, as the interpolation keeps the last key; no runs read 0.
struct SRunWalk
{
	std::vector<ZF_Run> Runs;
	size_t At = 0;

	// The number at key k, and the next key at which it may change (NO_KEY).
	f32 at(u64 k, u64& next)
	{
		next = NO_KEY;
		if (Runs.empty())
			return 0.0f;
		while (At + 1 < Runs.size() && Runs[At + 1].first <= k)
			++At;
		if (At + 1 < Runs.size())
			next = Runs[At + 1].first;
		return Runs[At].value;
	}
};

// The inner angle of a spot: its cone less the soft edge, where an edge wider
// than the cone softens the whole cone (0). Not a number stays one.
f32 innerCone(f32 cone, f32 edge)
{
	const f32 inner = cone - edge;
	return inner < 0.0f ? 0.0f : inner;
}

// The first key whose inner or outer angle (innerCone, and cone, in degrees)
// the light API refuses; false when none. An FP value is one key of its first
// two numbers, an array of a cone and an edge channel one key per key.
bool findRefusedCone(const ZF_Node* channel, SRefused& out)
{
	if (!channel || channel->kind == ZF_GROUP || (channel->kind == ZF_VALUE && channel->type != ZF_FP))
		return false;
	SRunWalk cones{ZF_GetRuns(channel, 0)}, edges;
	if (channel->kind == ZF_ARRAY)
		edges.Runs = ZF_GetRuns(channel, 1);
	else
	{
		if (cones.Runs.size() > 1)
			edges.Runs.assign(1, ZF_Run{0, 1, cones.Runs[1].value});
		cones.Runs.resize(core::min_(cones.Runs.size(), static_cast<size_t>(1)));
	}
	for (u64 k = 0; k != NO_KEY;)
	{
		u64 nextCone = NO_KEY, nextEdge = NO_KEY;
		const f32 cone = cones.at(k, nextCone);
		const f32 outer = cone * ZE_SCENE_DEGREES;
		const f32 inner = innerCone(cone, edges.at(k, nextEdge)) * ZE_SCENE_DEGREES;
		if (!zeLightTakesCone(outer) || !zeLightTakesCone(inner))
		{
			out = SRefused{static_cast<u32>(k), zeLightTakesCone(outer) ? inner : outer};
			return true;
		}
		k = core::min_(nextCone, nextEdge);
	}
	return false;
}

void reportRefused(int id, const SZeSceneLight& light, const char* channel, const SRefused& refused)
{
	zeLog(EZELL_ERROR, "Light ID %d '%s': \"%s\" gives %g at key %u, which a light cannot take; the light keeps its "
		"last value wherever it does", id, text(light.name), channel, static_cast<double>(refused.Value),
		refused.Key);
}
} // namespace

void zeSceneLightValuesAt(SZeSceneLightValues& out, const SZeSceneLight& light, f32 key)
{
	const ZF_Node* const* k = light.keys;
	out.position = zeSceneVectorAt(k[EZLK_POSITION], key);
	out.rotation = zeSceneRotationAt(k[EZLK_ROTATION], key) * ZE_SCENE_DEGREES;
	out.rawColor = zeSceneVectorAt(k[EZLK_RAW_COLOR], key);
	out.intensity = zeSceneChannelAt(k[EZLK_INTENSITY], key);
	out.range = zeSceneLightRangeAt(light, key);
	out.sound[EZLV_POSITION] = finite(out.position);
	out.sound[EZLV_ROTATION] = finite(out.rotation);
	out.sound[EZLV_COLOR] = finite(out.rawColor) && zeLightTakesNumber(out.intensity);
	out.sound[EZLV_RANGE] = zeLightTakesRange(out.range);
	const bool spot = light.type == 2;
	const core::vector2df cone = spot ? zeScenePairAt(k[EZLK_CONE_ANGLES], key) : core::vector2df(0.0f, 0.0f);
	out.inner = innerCone(cone.X, cone.Y) * ZE_SCENE_DEGREES;
	out.outer = cone.X * ZE_SCENE_DEGREES;
	out.sound[EZLV_CONE] = spot && zeLightTakesCone(out.inner) && zeLightTakesCone(out.outer);
	const bool volumetric = (light.flags & 32) != 0;
	out.density = volumetric ? zeSceneChannelAt(k[EZLK_VOL_DENSITY], key) : 0.0f;
	out.base = volumetric ? zeSceneChannelAt(k[EZLK_VOL_BASE], key) : 0.0f;
	out.sound[EZLV_DENSITY] = volumetric && zeLightTakesNumber(out.density);
	out.sound[EZLV_BASE] = volumetric && zeLightTakesNumber(out.base);
}

void zeSceneBuildLight(const SZeSceneSlot& slot, int i)
{
	const SZeSceneLight& light = slot.desc->lights[static_cast<u32>(i)];
	const int id = slot.firstLightId + i;
	zeDeleteLight(id);
	if (zeMakeLight(id) != 0)
		return;
	SZeSceneLightValues v;
	zeSceneLightValuesAt(v, light, 0.0f);
	const scene::ILightSceneNode* node = zeGetLightNode(id);
	if (light.type == 0)
	{
		const core::vector3df r = v.sound[EZLV_ROTATION] ? v.rotation : node->getRotation();
		zeSetDirectionalLight(id, r.X, r.Y, r.Z);
	}
	else if (light.type == 2)
	{
		const video::SLight& data = node->getLightData();
		const bool cone = v.sound[EZLV_CONE];
		zeSetSpotLight(id, cone ? v.inner : data.InnerCone, cone ? v.outer : data.OuterCone);
	}
	else
	{
		const core::vector3df p = v.sound[EZLV_POSITION] ? v.position : node->getPosition();
		zeSetPointLight(id, p.X, p.Y, p.Z);
	}
	if (v.sound[EZLV_RANGE])
		zeSetLightRange(id, v.range);
	if (v.sound[EZLV_COLOR])
	{
		zeColorLight(id, colour(v.rawColor * v.intensity));
		zeSetLightRawColor(id, v.rawColor.X, v.rawColor.Y, v.rawColor.Z);
		zeSetLightIntensity(id, v.intensity);
	}
	zeSetLightShadow(id, light.shadowType);
	if (light.shadowType)
	{
		zeColorLightShadow(id, colour(light.shadowColor));
		zeSetShadowMapSize(id, light.shadMapSize);
		if (zeLightTakesNumber(light.shadMapFuzz))
			zeSetShadowMapFuzz(id, light.shadMapFuzz);
	}
	zeSetLightProjectionImage(id, light.projImage);
	const bool volumetric = (light.flags & 32) != 0;
	zeSetLightVolumetric(id, volumetric ? 1 : 0);
	if (!volumetric)
		return;
	const core::vector3df& c = light.volumetricColor;
	if (finite(c))
		zeSetLightVolumetricColor(id, light.volumetricColorOn ? 1 : 0, c.X, c.Y, c.Z);
	if (light.keys[EZLK_VOL_FLAGS])
		zeSetLightVolumetricFlags(id, light.volumetricFlags);
}

void zeSceneReportRefusedLightValues(const SZeSceneSlot& slot)
{
	const SZeSceneDesc* d = slot.desc;
	if (slot.extraMode)
		return;
	for (int i = 0; i < d->lightCount; ++i)
	{
		const SZeSceneLight& light = d->lights[static_cast<u32>(i)];
		const int id = slot.firstLightId + i;
		const bool volumetric = (light.flags & 32) != 0;
		const struct
		{
			s32 Key;
			bool Used;
			bool (*Takes)(float);
		} channels[] = {{EZLK_POSITION, true, zeLightTakesNumber}, {EZLK_ROTATION, true, zeLightTakesNumber},
			{EZLK_RAW_COLOR, true, zeLightTakesNumber}, {EZLK_INTENSITY, true, zeLightTakesNumber},
			{EZLK_RANGE, light.falloff != 0, zeLightTakesRange}, {EZLK_VOL_DENSITY, volumetric, zeLightTakesNumber},
			{EZLK_VOL_BASE, volumetric, zeLightTakesNumber}};
		SRefused refused{};
		for (const auto& c : channels)
			if (c.Used && findRefused(light.keys[c.Key], c.Takes, refused))
				reportRefused(id, light, zeSceneLightKeyName(c.Key), refused);
		if (light.type == 2 && findRefusedCone(light.keys[EZLK_CONE_ANGLES], refused))
			reportRefused(id, light, zeSceneLightKeyName(EZLK_CONE_ANGLES), refused);
		// Values the build reads once.
		if (light.shadowType && !zeLightTakesNumber(light.shadMapFuzz))
			reportRefused(id, light, zeSceneLightKeyName(EZLK_SHAD_MAP_FUZZ), SRefused{0, light.shadMapFuzz});
		const core::vector3df& c = light.volumetricColor;
		if (volumetric && !finite(c))
			reportRefused(id, light, zeSceneLightKeyName(EZLK_VOL_COLOR),
				SRefused{0, !zeLightTakesNumber(c.X) ? c.X : !zeLightTakesNumber(c.Y) ? c.Y : c.Z});
	}
	SRefused refused{};
	if (zeSceneRenderSettingInt(d, EZRS_SHADOW_ENABLE) &&
		findRefused(d->renderSettings[EZRS_SHADOW_EPSILON], zeLightTakesNumber, refused))
		zeLog(EZELL_ERROR, "\"%s\" gives %g at key %u, which is not a finite number; the shadows keep their last "
			"epsilon wherever it does", zeSceneRenderSettingName(EZRS_SHADOW_EPSILON),
			static_cast<double>(refused.Value), refused.Key);
}

// ---- Emitters -----------------------------------------------------------------------------------------
int zeSceneBuildEmitter(const SZeSceneSlot& slot, int i)
{
	const SZeSceneEmitter& emitter = slot.desc->emitters[static_cast<u32>(i)];
	const int id = slot.firstFxEmitterId + i;
	const char* image = zeSceneText(emitter.keys[EZEK_CLIP_FILENAME]);
	const int nozzle = zeSceneInt(emitter.keys[EZEK_NOZZLE]);
	zeDeleteFxEmitter(id);
	int object = -1;
	if (emitter.type == 1 || (emitter.type == 0 && (nozzle == 2 || nozzle == 3 || nozzle == 5)))
	{
		object = findSceneObject(slot, emitter.name);
		if (object < 0)
			zeLog(EZELL_ERROR | EZELF_MESSAGE_BOX, "fxemitter mesh id=%d image file='%s' cannot find object ", id,
				imageName(emitter));
	}
	if (emitter.type == 1 && object >= 0)
		zeMakeFxEmitterMeshStatic(id, image, object);
	else if (emitter.type == 0 && zeGeneratorTypeForNozzle(nozzle, id, image) >= 0)
	{
		const core::vector3df size = zeSceneVectorAt(emitter.keys[EZEK_GENERATOR_SIZE], 0.0f);
		switch (nozzle)
		{
		case 0: zeMakeFxEmitterBox(id, image, size.X, size.Y, size.Z); break;
		case 1: zeMakeFxEmitterSphere(id, image, size.X, size.Y, size.Z); break;
		case 2: if (object >= 0) zeMakeFxEmitterMeshVertices(id, image, object); break;
		case 3: if (object >= 0) zeMakeFxEmitterMeshNormal(id, image, object); break;
		case 5: if (object >= 0) zeMakeFxEmitterMeshSurface(id, image, object); break;
		case 8: zeMakeFxEmitterNozzle8(id, image, -1); break;
		case 9: zeMakeFxEmitterNozzle9(id, image, -1); break;
		default: break;
		}
	}
	if (zeFxEmitterExist(id))
		return 0;
	if (zeSceneWarningsOn())
		zeLog(EZELL_ERROR | EZELF_MESSAGE_BOX, "The fxemitter id=%d (image file='%s') cannot be created", id,
			imageName(emitter));
	return -1;
}

void zeSceneApplyEmitterSettings(const SZeSceneSlot& slot, int i)
{
	const SZeSceneEmitter& emitter = slot.desc->emitters[static_cast<u32>(i)];
	const ZF_Node* const* k = emitter.keys;
	const int id = slot.firstFxEmitterId + i;
	zeSetFxEmitterSelectionMask(id, emitter.selectionMask);
	zeSetFxEmitterParticleSize(id, zeSceneFloat(k[EZEK_PARTICLE_SIZE]));
	zeSetFxEmitterLifeTime(id, zeSceneChannelAt(k[EZEK_LIFE_TIME], 0.0f), zeSceneChannelAt(k[EZEK_LIFE_TIME_PM], 0.0f));
	zeSetFxEmitterExplosion(id, zeSceneChannelAt(k[EZEK_EXPLOSION], 0.0f));
	zeSetFxEmitterParticleLimit(id, zeSceneInt(k[EZEK_PARTICLE_LIMIT]));
	zeSetFxEmitterBlendMode(id, zeSceneInt(k[EZEK_CLIP_ALPHA]));
	if (zeSceneInt(k[EZEK_CLIP_FLAGS]) & 2)
		zeSetFxEmitterUseImageColor(id);
	else
		zeSetFxEmitterColor(id, colour(zeSceneVectorAt(k[EZEK_COLOR], 0.0f)));
	zeSetFxEmitterRotation(id, zeSceneFloat(k[EZEK_CLIP_ROTATION]));
	setGradient(id, k[EZEK_GRADIENT_PARTICLE_SIZE], zeSetFxEmitterSizeGradient);
	setGradient(id, k[EZEK_GRADIENT_COLOR], zeSetFxEmitterColorGradient);
	zeSetFxEmitterDefaultEffect(id);
	if (const SZeEffectRecord* effect = zeSceneEmitterEffect(emitter))
	{
		SZeShaderDesc desc;
		zeSceneShaderDescAt(&desc, effect, 0.0f);
		zeSetFxEmitterShader(id, &desc, 1);
	}
}

void zeSceneSetEmitterParent(const SZeSceneSlot& slot, int i)
{
	const SZeSceneDesc* d = slot.desc;
	const SZeSceneEmitter& emitter = d->emitters[static_cast<u32>(i)];
	const int nozzle = zeSceneInt(emitter.keys[EZEK_NOZZLE]);
	const int id = slot.firstFxEmitterId + i;
	if (emitter.type != 0 || nozzle < 7 || nozzle > 9 || !zeFxEmitterExist(id))
		return;
	int parent = -1;
	for (int j = 0; emitter.parentName && *emitter.parentName && j < d->emitterCount; ++j)
	{
		const char* name = d->emitters[static_cast<u32>(j)].name;
		if (name && zeStricmp(name, emitter.parentName) == 0 && zeFxEmitterExist(slot.firstFxEmitterId + j))
		{
			parent = slot.firstFxEmitterId + j;
			break;
		}
	}
	if (parent < 0)
		zeLog(EZELL_ERROR, "fxemitter parent-emitter id=%d cannot find parent emitter", id);
	zeSetFxEmitterParent(id, parent);
}

// ---- Camera shaders and the command renderer ------------------------------------------------------------
int zeSceneCompileCameraShader(SZeSceneSlot& slot, int i)
{
	const SZeScenePostProc& postProc = slot.desc->postProcs[static_cast<u32>(i)];
	const int id = slot.firstCameraShaderId + i;
	const SZeEffectRecord* effect = zeScenePostProcEffect(postProc);
	const char* file = effect ? effect->filename : nullptr;
	zeDeleteCameraEffect(id);
	slot.shaderShown[i] = 0;
	if (file && *file)
		zeCompileCameraEffect(id, file, effect->cflags);
	if (zeCameraEffectExist(id))
		return 0;
	zeLog(EZELL_INFO, "The camera shader id=%d file='%s' cannot be loaded", id, text(file));
	return -1;
}

void zeSceneApplyCameraShaderDesc(const SZeSceneSlot& slot, int i)
{
	SZeShaderDesc desc;
	zeSceneShaderDescAt(&desc, zeScenePostProcEffect(slot.desc->postProcs[static_cast<u32>(i)]), 0.0f);
	zeSetCameraEffectShaderParams(slot.firstCameraShaderId + i, &desc, 1);
}

int zeSceneBuildRenderer(SZeSceneSlot& slot, int sceneId)
{
	const SZeSceneDesc* d = slot.desc;
	if (!d->hasCommands)
	{
		zeLog(EZELL_WARN | EZELF_MESSAGE_BOX, "Load renderer from scene failed : %s", zeSceneDescLastError());
		return -1;
	}
	zeClearError();
	if (zeCreateRendererTextures(d) != 0)
	{
		zeLog(EZELL_WARN | EZELF_MESSAGE_BOX, "Create renderer textures failed : %s", reason().c_str());
		return -1;
	}
	for (int i = 0; i < d->effectCount; ++i)
	{
		const int id = slot.firstEffectId + i;
		SZeShaderDesc desc;
		zeSceneEffectShaderDescAt(&desc, d, i, 0.0f);
		zeDeleteEffect(id);
		if (zeApplyShaderDescription(id, &desc) != 0)
		{
			zeLog(EZELL_WARN | EZELF_MESSAGE_BOX, "Load renderer from scene failed : %s", reason().c_str());
			return -1;
		}
	}
	if (zeLoadRendererFromScene(slot.rendererId, sceneId, d, slot.firstEffectId) != 0)
	{
		zeLog(EZELL_WARN | EZELF_MESSAGE_BOX, "Load renderer from scene failed : %s", reason().c_str());
		return -1;
	}
	slot.madeRenderer = 1;
	return 0;
}

void zeSceneDeleteRenderer(SZeSceneSlot& slot, const SZeSceneDesc* desc)
{
	if (slot.madeRenderer)
		zeDeleteRenderer(slot.rendererId);
	slot.madeRenderer = 0;
	for (int i = 0; i < desc->effectCount; ++i)
		zeDeleteEffect(slot.firstEffectId + i);
}
