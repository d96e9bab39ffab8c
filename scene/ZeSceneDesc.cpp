// Scene description: loading a scene file and binding its groups and keys.
#include "scene/ZeSceneDescPrivate.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

using namespace irr;

// ---- Key names --------------------------------------------------------------
namespace
{
const char* const RENDER_SETTING_NAMES[EZRS_COUNT] = {
	"CH_STREAK_ENABLE", "CH_STREAK_GLOWMIN", "CH_STREAK_COLORKEY", "CH_STREAK_COLORKEYMATCH",
	"CH_STREAK_COLORIZE", "CH_STREAK_ATTENUATION", "CH_STREAK_ANGLE", "CH_STREAK_COMPOSE",
	"CH_BLOOM_ENABLE", "CH_BLOOM_SPECULARMIN", "CH_BLOOM_COMPOSE",
	"CH_DOF_ADVANCED_ENABLE", "CH_DOF_MINFOCUSDIST", "CH_DOF_FOCUSEDDIST", "CH_DOF_MAXFOCUSDIST",
	"CH_DOF_RADIUSSCALE",
	"CH_SSAO_ENABLE", "CH_SSAO_DISTANCEREACH", "CH_SSAO_MAXDEPTHDECLINE",
	"CH_SSAO_DEPTHALIASINGEPSILON", "CH_SSAO_OUTPUTMULTIPLIER",
	"CH_SHADOW_ENABLE", "CH_SHADOW_EPSILON",
	"CH_CAMERARANGE_ENABLE", "CH_CAMERARANGE_MIN", "CH_CAMERARANGE_MAX",
	"CH_AA_JITTER", "CH_AA_LOCATION", "CH_AA_MODE", "CH_AA_BLENDING", "CH_AA_BLENDING_WEIGHT",
	"CH_AA_VLIMIT_ENABLE", "CH_AA_VLIMIT_VAL"
};

const char* const CAMERA_KEY_NAMES[EZCK_COUNT] = {
	"position", "rotation", "focalDistance", "fStop", "zoomFactor", "flags", "resolution",
	"separation", "convergencePoint", "usingConvergencePoint"
};

// The last 14 are keys of the light's "Volumetric" group.
const char* const LIGHT_KEY_NAMES[EZLK_COUNT] = {
	"position", "rotation", "type", "coneAngles", "flags", "falloff", "range", "rawColor",
	"intensity", "shadowType", "shadowColor", "shadMapSize", "shadMapFuzz", "projImage",
	"flags", "sprite", "dissolve", "shadow", "radius", "base", "height", "luminosity", "opacity",
	"attenuation", "redShift", "density", "color", "jitteredSampling"
};

const char* const EMITTER_KEY_NAMES[EZEK_COUNT] = {
	"position", "rotation", "scale",
	"particleSize", "color", "luminosity", "opacity", "density", "clipFlags", "clipAlpha",
	"clipThreshold", "clipRotation", "clipFrameOffset", "clipFilename", "clipFileExt",
	"clipFrameRate", "gradientParticleSize", "gradientColor",
	"generatorSize", "centerPosition", "particleLimit", "velocity", "parentMotion",
	"positionBlur", "gravity", "birthRate", "nozzle", "sizeEffect", "generateBy", "lifeTime",
	"lifeTime_pm", "explosion", "velocityP", "startFrame", "fixed", "weight", "weight_pm",
	"resistance", "resistance_pm", "vibration", "threshold", "size", "size_pm", "vibrationMin",
	"maxSpeed", "randomVelocity", "curlNoisePower", "curlNoiseFrequency"
};

const char* const SURFACE_CHANNEL_NAMES[EZSC_COUNT] = {
	"BaseColor", "Luminosity", "Diffuse", "Specularity", "Reflectivity", "Transparency",
	"Translucency", "IOR", "Bump", "Glossiness", "SpecialBuffer1", "SpecialBuffer2",
	"SpecialBuffer3", "SpecialBuffer4", "DiffuseSharpness", "BumpDropoff", "SmoothingAngle",
	"ReflectionSeamAngle", "RefractionSeamAngle", "ReflectionBlurring", "RefractionBlurring",
	"ColorFilter", "ColorHighlights", "AdditiveTransparency", "AlphaValue", "GlowValue",
	"LineColor", "LineSize", "AlphaOptions", "ReflectionOptions", "RefractionOptions",
	"Sidedness", "ExcludeFromVStack", "Glow", "RenderOutlines", "ReflectionImage",
	"RefractionImage", "VertexColoring", "VertexNormal"
};

const char* nameAt(const char* const* names, s32 count, s32 i)
{
	return i >= 0 && i < count ? names[i] : "";
}

char g_lastError[256] = "";
} // namespace

const char* zeSceneRenderSettingName(s32 i) { return nameAt(RENDER_SETTING_NAMES, EZRS_COUNT, i); }
const char* zeSceneCameraKeyName(s32 i) { return nameAt(CAMERA_KEY_NAMES, EZCK_COUNT, i); }
const char* zeSceneLightKeyName(s32 i) { return nameAt(LIGHT_KEY_NAMES, EZLK_COUNT, i); }
const char* zeSceneEmitterKeyName(s32 i) { return nameAt(EMITTER_KEY_NAMES, EZEK_COUNT, i); }
const char* zeSceneSurfaceChannelName(s32 i) { return nameAt(SURFACE_CHANNEL_NAMES, EZSC_COUNT, i); }

void zeSceneDescSetError(const char* text)
{
	snprintf(g_lastError, sizeof(g_lastError), "%s", text);
}

const char* zeSceneDescLastError()
{
	return g_lastError;
}

// ---- Reading keys -----------------------------------------------------------
namespace
{
bool isValue(const ZF_Node* node)
{
	return node && node->kind == ZF_VALUE;
}

bool isNumber(const ZF_Node* node)
{
	return node && node->kind != ZF_GROUP && node->type != ZF_STR && node->count > 0;
}
} // namespace

const ZF_Node* zeSceneGroup(const ZF_Node* parent, const char* name)
{
	const ZF_Node* node = ZF_GetChild(parent, name);
	return node && node->kind == ZF_GROUP ? node : nullptr;
}

s32 zeSceneChildCount(const ZF_Node* group)
{
	return group && group->kind == ZF_GROUP ? static_cast<s32>(group->count) : 0;
}

s32 zeSceneTruncate(f32 value)
{
	// 2^31 is the first float beyond the s32 range; -2^31 is exact.
	if (value >= 2147483648.0f)
		return INT32_MAX;
	if (value <= -2147483648.0f)
		return INT32_MIN;
	return value == value ? static_cast<s32>(value) : 0;
}

s32 zeSceneInt(const ZF_Node* node, s32 def)
{
	return zeSceneIntWord(node, 0, def);
}

s32 zeSceneIntWord(const ZF_Node* node, u32 word, s32 def)
{
	if (!isValue(node) || word >= node->count)
		return def;
	if (node->type == ZF_I4 || node->type == ZF_U4)
		return static_cast<const s32*>(node->data)[word];
	if (node->type == ZF_FP && word == 0)
		return zeSceneTruncate(static_cast<const f32*>(node->data)[0]);
	if (node->type == ZF_FP_C && word == 0)
		return zeSceneTruncate(ZF_GetFP(node, 0));
	return def;
}

const f32* zeSceneFloatList(const ZF_Node* node, u32* count)
{
	const bool floats = isValue(node) && node->type == ZF_FP;
	*count = floats ? node->count : 0;
	return floats ? static_cast<const f32*>(node->data) : nullptr;
}

f32 zeSceneFloat(const ZF_Node* node, f32 def)
{
	return isNumber(node) ? ZF_GetFP(node, 0) : def;
}

const char* zeSceneText(const ZF_Node* node)
{
	return isValue(node) && node->type == ZF_STR ? static_cast<const char*>(node->data) : nullptr;
}

f32 zeSceneChannelAt(const ZF_Node* node, f32 key)
{
	return node && node->kind != ZF_GROUP ? ZF_FP_Lerp(node, key) : 0.0f;
}

core::vector2df zeScenePairAt(const ZF_Node* node, f32 key)
{
	return node && node->kind != ZF_GROUP ? ZF_FP2_Lerp(node, key) : core::vector2df(0.0f, 0.0f);
}

core::vector3df zeSceneVectorAt(const ZF_Node* node, f32 key)
{
	return node && node->kind != ZF_GROUP ? ZF_FP3_Lerp(node, key) : core::vector3df(0.0f, 0.0f, 0.0f);
}

core::vector3df zeSceneRotationAt(const ZF_Node* node, f32 key)
{
	return node && node->kind != ZF_GROUP ? ZF_FP3_Slerp_HPB_To_XYZ(node, key)
	                                      : core::vector3df(0.0f, 0.0f, 0.0f);
}

video::SColor zeSceneColor(const core::vector3df& color)
{
	const auto byte = [](f32 v) -> u32 {
		const f32 scaled = v * 255.0f;
		if (!(scaled > 0.0f))
			return 0;
		return scaled >= 255.0f ? 255u : static_cast<u32>(scaled);
	};
	return video::SColor(255, byte(color.X), byte(color.Y), byte(color.Z));
}

s32 zeSceneValueKind(const ZF_Node* value)
{
	if (!value || value->kind == ZF_GROUP)
		return EZSVK_NONE;
	if (value->kind == ZF_ARRAY)
		return EZSVK_VECTOR;
	switch (value->type)
	{
	case ZF_FP:
		return value->count == 3 ? EZSVK_VECTOR : EZSVK_FLOAT;
	case ZF_FP_C:
		return EZSVK_FLOAT;
	case ZF_I4:
	case ZF_U4:
		return EZSVK_INT;
	case ZF_STR:
		return EZSVK_STRING;
	default:
		return EZSVK_NONE;
	}
}

void zeSceneBindEffect(SZeEffectRecord& record, const ZF_Node* effect)
{
	record.filename = zeSceneText(ZF_GetChild(effect, "filename"));
	record.cflags = zeSceneText(ZF_GetChild(effect, "cflags"));
	const ZF_Node* params = zeSceneGroup(effect, "Parameters");
	record.paramCount = zeSceneChildCount(params);
	record.params.clear();
	record.params.reallocate(static_cast<u32>(record.paramCount));
	for (s32 i = 0; i < record.paramCount; ++i)
	{
		const ZF_Node* param = ZF_GetChildAt(params, i);
		SZeEffectParamRecord p{};
		p.name = param->name;
		p.value = ZF_GetChild(param, "value");
		p.kind = zeSceneValueKind(p.value);
		p.colorSpace = zeSceneInt(ZF_GetChild(param, "img_colorspace"));
		p.reference = zeSceneInt(ZF_GetChild(param, "img_reference"));
		record.params.push_back(p);
	}
}

// ---- Item binding -----------------------------------------------------------
namespace
{
// The "Effect" group under a parent's "Shader" group (or under the parent).
bool bindOptionalEffect(SZeEffectRecord& record, const ZF_Node* parent)
{
	const ZF_Node* effect = zeSceneGroup(parent, "Effect");
	if (!effect)
		return false;
	zeSceneBindEffect(record, effect);
	return true;
}

void bindCamera(SZeSceneCamera& camera, const ZF_Node* group)
{
	camera.name = group->name;
	for (s32 k = 0; k < EZCK_COUNT; ++k)
		camera.keys[k] = ZF_GetChild(group, CAMERA_KEY_NAMES[k]);
	camera.flags = zeSceneInt(camera.keys[EZCK_FLAGS]);
	const ZF_Node* resolution = camera.keys[EZCK_RESOLUTION];
	camera.width = zeSceneIntWord(resolution, 0, 640);
	camera.height = zeSceneIntWord(resolution, 1, 480);
	camera.usingConvergencePoint = zeSceneInt(camera.keys[EZCK_USING_CONVERGENCE_POINT]);
}

void bindLight(SZeSceneLight& light, const ZF_Node* group)
{
	light.name = group->name;
	const ZF_Node* volumetric = zeSceneGroup(group, "Volumetric");
	for (s32 k = 0; k < EZLK_COUNT; ++k)
		light.keys[k] = ZF_GetChild(k < EZLK_VOL_FLAGS ? group : volumetric, LIGHT_KEY_NAMES[k]);
	light.type = zeSceneInt(light.keys[EZLK_TYPE]);
	light.flags = zeSceneInt(light.keys[EZLK_FLAGS]);
	light.falloff = zeSceneInt(light.keys[EZLK_FALLOFF]);
	light.shadowType = zeSceneInt(light.keys[EZLK_SHADOW_TYPE]);
	light.shadowColor = zeSceneVectorAt(light.keys[EZLK_SHADOW_COLOR], 0.0f);
	light.shadMapSize = zeSceneInt(light.keys[EZLK_SHAD_MAP_SIZE]);
	light.shadMapFuzz = zeSceneFloat(light.keys[EZLK_SHAD_MAP_FUZZ]);
	light.projImage = zeSceneText(light.keys[EZLK_PROJ_IMAGE]);
	light.volumetricFlags = zeSceneIntWord(light.keys[EZLK_VOL_FLAGS], 1);
	light.volumetricColorOn = zeSceneIntWord(light.keys[EZLK_VOL_FLAGS], 4);
	light.volumetricColor = light.volumetricColorOn
		? zeSceneVectorAt(light.keys[EZLK_VOL_COLOR], 0.0f)
		: core::vector3df(1.0f, 1.0f, 1.0f);
}

void bindEmitter(SZeSceneEmitter& emitter, const ZF_Node* group)
{
	emitter.name = zeSceneText(ZF_GetChild(group, "name"));
	emitter.type = zeSceneInt(ZF_GetChild(group, "type"));
	emitter.parentName = zeSceneText(ZF_GetChild(group, "parentName"));
	emitter.selectionMask = zeSceneInt(ZF_GetChild(group, "selectionMask"));
	const ZF_Node* hyperVoxel = zeSceneGroup(group, "HyperVoxel");
	const ZF_Node* particleFx = zeSceneGroup(group, "ParticleFx");
	for (s32 k = 0; k < EZEK_COUNT; ++k)
	{
		const ZF_Node* parent = k < EZEK_FIRST_HYPERVOXEL ? group
			: k < EZEK_FIRST_PARTICLEFX ? hyperVoxel : particleFx;
		emitter.keys[k] = ZF_GetChild(parent, EMITTER_KEY_NAMES[k]);
	}
	emitter.hasEffect = bindOptionalEffect(emitter.effect, zeSceneGroup(group, "Shader"));
}

void bindSurface(SZeSceneSurface& surface, const ZF_Node* group)
{
	surface.name = zeSceneText(ZF_GetChild(group, "name"));
	const ZF_Node* params = zeSceneGroup(group, "Parameters");
	for (s32 c = 0; c < EZSC_COUNT; ++c)
	{
		const ZF_Node* channel = zeSceneGroup(params, SURFACE_CHANNEL_NAMES[c]);
		SZeSceneChannel& out = surface.channels[c];
		out.value = ZF_GetChild(channel, "value");
		out.kind = zeSceneValueKind(out.value);
		out.imgFilename = zeSceneText(ZF_GetChild(channel, "img_filename"));
		out.imgColorSpace = zeSceneInt(ZF_GetChild(channel, "img_colorspace"));
		out.imgMipmap = zeSceneInt(ZF_GetChild(channel, "img_mipmap"), 1);
	}
	const ZF_Node* shader = zeSceneGroup(group, "Shader");
	surface.applyToSurface = zeSceneInt(ZF_GetChild(shader, "applyToSurface"));
	surface.hasEffect = bindOptionalEffect(surface.effect, shader);
}

void bindMesh(SZeSceneMesh& mesh, const ZF_Node* group)
{
	mesh.filename = zeSceneText(ZF_GetChild(group, "filename"));
	const ZF_Node* surfaces = zeSceneGroup(group, "Surfaces");
	const s32 count = zeSceneChildCount(surfaces);
	mesh.surfaces.reallocate(static_cast<u32>(count));
	for (s32 i = 0; i < count; ++i)
	{
		mesh.surfaces.push_back(SZeSceneSurface{});
		bindSurface(mesh.surfaces.getLast(), ZF_GetChildAt(surfaces, i));
	}
}

void bindCubeMapUse(SZeSceneCubeMapUse& use, const ZF_Node* group, const SZeSceneDesc* desc)
{
	use.cubeMapName = zeSceneText(ZF_GetChild(group, "renderCubeMap"));
	use.cubeMap = zeSceneFindCubeMap(desc, use.cubeMapName);
	use.aabbPosition = ZF_GetChild(group, "aabbPosition");
	use.aabbScale = ZF_GetChild(group, "aabbScale");
	use.influence = ZF_GetChild(group, "influence");
}

void bindObject(SZeSceneObject& object, const ZF_Node* group, const SZeSceneDesc* desc)
{
	object.name = zeSceneText(ZF_GetChild(group, "name"));
	object.xfilename = zeSceneText(ZF_GetChild(group, "xfilename"));
	object.filename = zeSceneText(ZF_GetChild(group, "filename"));
	object.pointCloudCount = zeSceneInt(ZF_GetChild(group, "pointCloudCount"));
	object.position = ZF_GetChild(group, "position");
	object.rotation = ZF_GetChild(group, "rotation");
	object.scale = ZF_GetChild(group, "scale");

	const ZF_Node* morphs = zeSceneGroup(group, "Morphs");
	for (s32 i = 0; i < zeSceneChildCount(morphs); ++i)
	{
		const ZF_Node* target = ZF_GetChildAt(morphs, i);
		object.morphs.push_back(SZeSceneMorph{ target->name, ZF_GetChild(target, "value") });
	}

	// Each child group of "UseCubeMaps" is one use; a group that holds the keys
	// itself is a single use.
	const ZF_Node* uses = zeSceneGroup(group, "UseCubeMaps");
	if (ZF_GetChild(uses, "renderCubeMap"))
	{
		object.cubeMapUses.push_back(SZeSceneCubeMapUse{});
		bindCubeMapUse(object.cubeMapUses.getLast(), uses, desc);
	}
	else
	{
		for (s32 i = 0; i < zeSceneChildCount(uses); ++i)
		{
			const ZF_Node* use = ZF_GetChildAt(uses, i);
			if (use->kind != ZF_GROUP)
				continue;
			object.cubeMapUses.push_back(SZeSceneCubeMapUse{});
			bindCubeMapUse(object.cubeMapUses.getLast(), use, desc);
		}
	}

	object.shadowOpts = zeSceneInt(ZF_GetChild(group, "shadowOpts"));
	object.selectionMask = zeSceneInt(ZF_GetChild(group, "selectionMask"));
	object.vertexTextureName = zeSceneText(ZF_GetChild(group, "vertexTextureName"));
	object.vertexTextureContent = zeSceneInt(ZF_GetChild(group, "vertexTextureContent"));
	object.vertexTextureFormat = zeSceneInt(ZF_GetChild(group, "vertexTextureFormat"));

	// The last mesh entry of that name carries the surfaces.
	object.mesh = -1;
	for (u32 m = 0; object.filename && m < desc->meshes.size(); ++m)
	{
		const char* meshName = desc->meshes[m].filename;
		if (meshName && strcmp(meshName, object.filename) == 0)
			object.mesh = static_cast<s32>(m);
	}
}

void bindCubeMap(SZeSceneCubeMap& cubeMap, const ZF_Node* group)
{
	cubeMap.name = zeSceneText(ZF_GetChild(group, "name"));
	cubeMap.renderType = zeSceneInt(ZF_GetChild(group, "renderType"));
	cubeMap.textureSize = zeSceneInt(ZF_GetChild(group, "textureSize"));
	cubeMap.renderTime = zeSceneFloat(ZF_GetChild(group, "renderTime"));
	cubeMap.hideObject = zeSceneInt(ZF_GetChild(group, "hideObject"));
	cubeMap.ownObject = -1;
	cubeMap.position = ZF_GetChild(group, "position");
	cubeMap.cameraOffset = ZF_GetChild(group, "cameraOffset");
	cubeMap.showVolumetric = zeSceneInt(ZF_GetChild(group, "showVolumetric"));
	cubeMap.clampVolumetric = zeSceneInt(ZF_GetChild(group, "clampVolumetric"));
	cubeMap.clampVolumetricMax = zeSceneFloat(ZF_GetChild(group, "clampVolumetricMax"));
	cubeMap.useLatLong = zeSceneInt(ZF_GetChild(group, "useLatLong"));
}

// Object indices of the names a hide or show set lists; unknown names are dropped.
void bindObjectSet(core::array<s32>& set, const ZF_Node* group, const SZeSceneDesc* desc)
{
	set.clear();
	for (s32 i = 0; i < zeSceneChildCount(group); ++i)
	{
		const s32 object = zeSceneFindObject(desc, zeSceneText(ZF_GetChildAt(group, i)));
		if (object >= 0)
			set.push_back(object);
	}
}

void bindPostProc(SZeScenePostProc& postProc, const ZF_Node* group)
{
	postProc.name = group->name;
	postProc.hasEffect = bindOptionalEffect(postProc.effect, group);
	postProc.useFrame = zeSceneInt(ZF_GetChild(group, "useframe"));
	postProc.startFrame = zeSceneInt(ZF_GetChild(group, "startframe"));
	postProc.endFrame = zeSceneInt(ZF_GetChild(group, "endframe"));
}

// The item group `name` under the scene with its child count.
const ZF_Node* itemGroup(const ZF_Node* scene, const char* name, s32& count)
{
	const ZF_Node* group = zeSceneGroup(scene, name);
	count = zeSceneChildCount(group);
	return group;
}

template <typename T>
void bindItems(core::array<T>& items, const ZF_Node* group, s32 count,
	void (*bind)(T&, const ZF_Node*))
{
	items.clear();
	items.reallocate(static_cast<u32>(count));
	for (s32 i = 0; i < count; ++i)
	{
		items.push_back(T{});
		bind(items.getLast(), ZF_GetChildAt(group, i));
	}
}
} // namespace

// ---- Binding ----------------------------------------------------------------
s32 zeSceneDescBind(SZeSceneDesc* desc, const ZF_Node* scene)
{
	if (!desc)
		return -1;
	desc->scene = scene;

	const ZF_Node* info = zeSceneGroup(scene, "SceneInfo");
	desc->frameStart = zeSceneInt(ZF_GetChild(info, "frameStart"));
	desc->frameEnd = zeSceneInt(ZF_GetChild(info, "frameEnd"));
	desc->frameStep = zeSceneInt(ZF_GetChild(info, "frameStep"));
	desc->framesPerSecond = zeSceneFloat(ZF_GetChild(info, "framesPerSecond"));

	desc->objectsGroup = itemGroup(scene, "Objects", desc->objectCount);
	desc->camerasGroup = itemGroup(scene, "Cameras", desc->cameraCount);
	desc->lightsGroup = itemGroup(scene, "Lights", desc->lightCount);
	desc->emittersGroup = itemGroup(scene, "FxEmitters", desc->emitterCount);
	desc->postProcsGroup = itemGroup(scene, "ZelvPostProcs", desc->postProcCount);
	desc->meshesGroup = itemGroup(scene, "SceneObjects", desc->meshCount);
	desc->cubeMapsGroup = itemGroup(scene, "CubeMaps", desc->cubeMapCount);

	desc->renderCamera = ZF_GetChild(info, "renderCamera");
	desc->loadAudio = ZF_GetChild(info, "loadAudio");
	desc->audioStartTime = ZF_GetChild(info, "audioStartTime");
	desc->backdropInfo = zeSceneGroup(scene, "BackdropInfo");
	desc->ambient = ZF_GetChild(zeSceneGroup(scene, "LightInfo"), "ambient");
	const ZF_Node* imageProcessing = zeSceneGroup(scene, "ImageProcessing");
	desc->glowEffect = ZF_GetChild(imageProcessing, "glowEffect");
	desc->glowIntensity = ZF_GetChild(imageProcessing, "glowIntensity");
	desc->glowRadius = ZF_GetChild(imageProcessing, "glowRadius");
	const ZF_Node* colorSpace = zeSceneGroup(scene, "ColorSpace");
	desc->colorSpaceViewer = zeSceneInt(ZF_GetChild(colorSpace, "ColorSpaceViewer"));
	desc->colorSpace8BitFiles = zeSceneInt(ZF_GetChild(colorSpace, "ColorSpace8BitFiles"));

	const ZF_Node* settings = zeSceneGroup(scene, "ZelvRenderSettings");
	for (s32 i = 0; i < EZRS_COUNT; ++i)
		desc->renderSettings[i] = ZF_GetChild(settings, RENDER_SETTING_NAMES[i]);

	bindItems(desc->cubeMaps, desc->cubeMapsGroup, desc->cubeMapCount, bindCubeMap);
	bindItems(desc->cameras, desc->camerasGroup, desc->cameraCount, bindCamera);
	bindItems(desc->lights, desc->lightsGroup, desc->lightCount, bindLight);
	bindItems(desc->emitters, desc->emittersGroup, desc->emitterCount, bindEmitter);
	bindItems(desc->meshes, desc->meshesGroup, desc->meshCount, bindMesh);

	desc->objects.clear();
	desc->objects.reallocate(static_cast<u32>(desc->objectCount));
	for (s32 i = 0; i < desc->objectCount; ++i)
	{
		desc->objects.push_back(SZeSceneObject{});
		bindObject(desc->objects.getLast(), ZF_GetChildAt(desc->objectsGroup, i), desc);
	}

	for (s32 i = 0; i < desc->cubeMapCount; ++i)
	{
		SZeSceneCubeMap& cubeMap = desc->cubeMaps[i];
		const ZF_Node* group = ZF_GetChildAt(desc->cubeMapsGroup, i);
		cubeMap.ownObject = zeSceneFindObject(desc, cubeMap.name);
		bindObjectSet(cubeMap.hideSet, zeSceneGroup(group, "hideSet"), desc);
		bindObjectSet(cubeMap.showSet, zeSceneGroup(group, "showSet"), desc);
	}

	bindItems(desc->postProcs, desc->postProcsGroup, desc->postProcCount, bindPostProc);

	return zeSceneBindCommands(desc, zeSceneGroup(zeSceneGroup(scene, "ZelvRenderCommands"), "Commands"));
}

// ---- Loading and freeing ----------------------------------------------------
SZeSceneDesc::~SZeSceneDesc()
{
	ZF_Free(document);
}

SZeSceneDesc* zeSceneDescFromDocument(ZF_Document* document)
{
	g_lastError[0] = '\0';
	if (!document)
		return nullptr;
	SZeSceneDesc* desc = new (std::nothrow) SZeSceneDesc();
	if (!desc)
	{
		ZF_Free(document);
		return nullptr;
	}
	desc->document = document;
	const ZF_Node* scene = zeSceneGroup(ZF_GetRoot(document), "Scene");
	if (!scene || zeSceneDescBind(desc, scene) != 0)
	{
		delete desc;
		return nullptr;
	}
	return desc;
}

SZeSceneDesc* zeSceneDescLoad(const char* path)
{
	g_lastError[0] = '\0';
	return zeSceneDescFromDocument(ZF_Load(path));
}

void zeSceneDescFree(SZeSceneDesc* desc)
{
	delete desc;
}

// ---- Scene-wide values and item helpers -------------------------------------
f32 zeSceneKeyIndex(const SZeSceneDesc* desc, s32 timeMs)
{
	if (desc->frameStep < 1)
		return 0.0f;
	return desc->framesPerSecond * (static_cast<f32>(timeMs) / 1000.0f) / static_cast<f32>(desc->frameStep);
}

f32 zeSceneFrame(const SZeSceneDesc* desc, s32 timeMs)
{
	return desc->framesPerSecond * static_cast<f32>(timeMs) / 1000.0f + static_cast<f32>(desc->frameStart);
}

f32 zeSceneFrameSeconds(const SZeSceneDesc* desc, f32 frame)
{
	return desc->framesPerSecond != 0.0f ? frame / desc->framesPerSecond : 0.0f;
}

s32 zeSceneCubeMapCaptureTime(const SZeSceneDesc* desc, const SZeSceneCubeMap& cubeMap)
{
	const f32 start = zeSceneFrameSeconds(desc, static_cast<f32>(desc->frameStart));
	return zeSceneTruncate((cubeMap.renderTime - start) * 1000.0f);
}

s32 zeSceneRenderCameraAt(const SZeSceneDesc* desc, f32 key)
{
	if (desc->cameraCount <= 0)
		return -1;
	const s32 camera = zeSceneTruncate(zeSceneChannelAt(desc->renderCamera, key));
	return core::clamp(camera, 0, desc->cameraCount - 1);
}

video::SColor zeSceneBackdropColor(const SZeSceneDesc* desc)
{
	const ZF_Node* zenith = ZF_GetChild(desc->backdropInfo, "zenith");
	return zenith ? zeSceneColor(zeSceneVectorAt(zenith, 0.0f)) : video::SColor(255, 0, 0, 0);
}

video::SColor zeSceneAmbientAt(const SZeSceneDesc* desc, f32 key)
{
	return zeSceneColor(zeSceneVectorAt(desc->ambient, key));
}

s32 zeSceneRenderSettingInt(const SZeSceneDesc* desc, s32 setting)
{
	if (setting < 0 || setting >= EZRS_COUNT)
		return 0;
	const s32 def = setting == EZRS_AA_LOCATION || setting == EZRS_AA_MODE ? 1 : 0;
	return zeSceneInt(desc->renderSettings[setting], def);
}

f32 zeSceneRenderSettingAt(const SZeSceneDesc* desc, s32 setting, f32 key)
{
	if (setting < 0 || setting >= EZRS_COUNT)
		return 0.0f;
	return zeSceneChannelAt(desc->renderSettings[setting], key);
}

core::vector3df zeSceneRenderSettingVectorAt(const SZeSceneDesc* desc, s32 setting, f32 key)
{
	if (setting < 0 || setting >= EZRS_COUNT)
		return core::vector3df(0.0f, 0.0f, 0.0f);
	return zeSceneVectorAt(desc->renderSettings[setting], key);
}

f32 zeSceneLightRangeAt(const SZeSceneLight& light, f32 key)
{
	return light.falloff ? zeSceneChannelAt(light.keys[EZLK_RANGE], key) : ZE_SCENE_NO_FALLOFF_RANGE;
}

bool zeScenePostProcVisible(const SZeScenePostProc& postProc, f32 frame)
{
	if (!postProc.useFrame)
		return true;
	return static_cast<f32>(postProc.startFrame) <= frame && frame < static_cast<f32>(postProc.endFrame);
}

s32 zeSceneFindObject(const SZeSceneDesc* desc, const char* name)
{
	for (u32 i = 0; name && i < desc->objects.size(); ++i)
	{
		if (desc->objects[i].name && strcmp(desc->objects[i].name, name) == 0)
			return static_cast<s32>(i);
	}
	return -1;
}

s32 zeSceneFindCubeMap(const SZeSceneDesc* desc, const char* name)
{
	for (u32 i = 0; name && i < desc->cubeMaps.size(); ++i)
	{
		if (desc->cubeMaps[i].name && strcmp(desc->cubeMaps[i].name, name) == 0)
			return static_cast<s32>(i);
	}
	return -1;
}

const SZeEffectRecord* zeSceneEmitterEffect(const SZeSceneEmitter& emitter)
{
	return emitter.hasEffect ? &emitter.effect : nullptr;
}

const SZeEffectRecord* zeScenePostProcEffect(const SZeScenePostProc& postProc)
{
	return postProc.hasEffect ? &postProc.effect : nullptr;
}

const SZeEffectRecord* zeSceneSurfaceEffect(const SZeSceneSurface& surface)
{
	return surface.hasEffect ? &surface.effect : nullptr;
}
