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
void zeSceneBuildLight(const SZeSceneSlot& slot, int i)
{
	const SZeSceneLight& light = slot.desc->lights[static_cast<u32>(i)];
	const int id = slot.firstLightId + i;
	zeDeleteLight(id);
	if (zeMakeLight(id) != 0)
		return;
	if (light.type == 0)
	{
		const core::vector3df r = zeSceneRotationAt(light.keys[EZLK_ROTATION], 0.0f) * ZE_SCENE_DEGREES;
		zeSetDirectionalLight(id, r.X, r.Y, r.Z);
	}
	else if (light.type == 2)
	{
		const core::vector2df cone = zeScenePairAt(light.keys[EZLK_CONE_ANGLES], 0.0f);
		zeSetSpotLight(id, (cone.X - cone.Y) * ZE_SCENE_DEGREES, cone.X * ZE_SCENE_DEGREES);
	}
	else
	{
		const core::vector3df p = zeSceneVectorAt(light.keys[EZLK_POSITION], 0.0f);
		zeSetPointLight(id, p.X, p.Y, p.Z);
	}
	zeSetLightRange(id, zeSceneLightRangeAt(light, 0.0f));
	const core::vector3df raw = zeSceneVectorAt(light.keys[EZLK_RAW_COLOR], 0.0f);
	const f32 intensity = zeSceneChannelAt(light.keys[EZLK_INTENSITY], 0.0f);
	zeColorLight(id, colour(raw * intensity));
	zeSetLightRawColor(id, raw.X, raw.Y, raw.Z);
	zeSetLightIntensity(id, intensity);
	zeSetLightShadow(id, light.shadowType);
	if (light.shadowType)
	{
		zeColorLightShadow(id, colour(light.shadowColor));
		zeSetShadowMapSize(id, light.shadMapSize);
		zeSetShadowMapFuzz(id, light.shadMapFuzz);
	}
	zeSetLightProjectionImage(id, light.projImage);
	const bool volumetric = (light.flags & 32) != 0;
	zeSetLightVolumetric(id, volumetric ? 1 : 0);
	if (!volumetric)
		return;
	const core::vector3df& c = light.volumetricColor;
	zeSetLightVolumetricColor(id, light.volumetricColorOn ? 1 : 0, c.X, c.Y, c.Z);
	if (light.keys[EZLK_VOL_FLAGS])
		zeSetLightVolumetricFlags(id, light.volumetricFlags);
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
