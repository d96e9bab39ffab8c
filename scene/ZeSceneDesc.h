// Scene description: a scene file (the "Scene" group of a ZF document) bound
// into one record per item that keeps the ZF nodes of the item's keys, so that
// building, animation and shader evaluation read keys without a search by name.
// Texts (const char*) point into the document and live as long as the
// description; null means the key is absent.
//
// Index:
//   - Limits and kinds
//   - Key orders (render settings, cameras, lights, emitters, surface channels)
//   - Effect records
//   - Item records (cameras, lights, emitters, objects, meshes, cube maps, post processes)
//   - Render-command records
//   - SZeSceneDesc
//   - Loading and freeing
//   - Reading keys
//   - Scene-wide values and item helpers
#pragma once

#include "scene/ZF.h"

#include <irrlicht.h>

// ---- Limits and kinds -------------------------------------------------------
const irr::s32 ZE_SCENE_MAX_COMMANDS = 50;
const irr::s32 ZE_SCENE_MAX_INPUTS = 10;
const irr::s32 ZE_SCENE_MAX_OUTPUTS = 5;
const irr::s32 ZE_SCENE_MAX_PARAMETERS = 20;
const irr::s32 ZE_SCENE_MAX_EFFECTS = 50;
const irr::s32 ZE_SCENE_MAX_CAMERA_SHADERS = 20;
// Range of a light without falloff.
const irr::f32 ZE_SCENE_NO_FALLOFF_RANGE = 10000000.0f;

// Kind of an effect parameter or a surface channel, from the shape of its "value".
enum EZE_SCENE_VALUE_KIND
{
	EZSVK_NONE = -1,   // no "value"
	EZSVK_VECTOR = 0,  // an array, or an FP value of exactly three floats
	EZSVK_FLOAT = 1,   // another FP value, or an FP_C channel
	EZSVK_INT = 2,     // I4 or U4
	EZSVK_STRING = 3   // STR (an image file or a texture name)
};

// Kind of a render-command parameter.
enum EZE_SCENE_PARAM_KIND
{
	EZSPK_NONE = 0,    // not bound (a bound parameter has a value or an effect)
	EZSPK_FLOAT = 1,
	EZSPK_FLOAT3 = 2,
	EZSPK_INT = 3,
	EZSPK_STRING = 4,
	EZSPK_EFFECT = 5   // index into the description's effect table
};

// ---- Key orders -------------------------------------------------------------
// The 33 "ZelvRenderSettings" keys, in order.
enum EZE_RENDER_SETTING
{
	EZRS_STREAK_ENABLE, EZRS_STREAK_GLOWMIN, EZRS_STREAK_COLORKEY, EZRS_STREAK_COLORKEYMATCH,
	EZRS_STREAK_COLORIZE, EZRS_STREAK_ATTENUATION, EZRS_STREAK_ANGLE, EZRS_STREAK_COMPOSE,
	EZRS_BLOOM_ENABLE, EZRS_BLOOM_SPECULARMIN, EZRS_BLOOM_COMPOSE,
	EZRS_DOF_ADVANCED_ENABLE, EZRS_DOF_MINFOCUSDIST, EZRS_DOF_FOCUSEDDIST, EZRS_DOF_MAXFOCUSDIST,
	EZRS_DOF_RADIUSSCALE,
	EZRS_SSAO_ENABLE, EZRS_SSAO_DISTANCEREACH, EZRS_SSAO_MAXDEPTHDECLINE,
	EZRS_SSAO_DEPTHALIASINGEPSILON, EZRS_SSAO_OUTPUTMULTIPLIER,
	EZRS_SHADOW_ENABLE, EZRS_SHADOW_EPSILON,
	EZRS_CAMERARANGE_ENABLE, EZRS_CAMERARANGE_MIN, EZRS_CAMERARANGE_MAX,
	EZRS_AA_JITTER, EZRS_AA_LOCATION, EZRS_AA_MODE, EZRS_AA_BLENDING, EZRS_AA_BLENDING_WEIGHT,
	EZRS_AA_VLIMIT_ENABLE, EZRS_AA_VLIMIT_VAL,
	EZRS_COUNT
};

// The 10 camera keys, in order.
enum EZE_CAMERA_KEY
{
	EZCK_POSITION, EZCK_ROTATION, EZCK_FOCAL_DISTANCE, EZCK_FSTOP, EZCK_ZOOM_FACTOR, EZCK_FLAGS,
	EZCK_RESOLUTION, EZCK_SEPARATION, EZCK_CONVERGENCE_POINT, EZCK_USING_CONVERGENCE_POINT,
	EZCK_COUNT
};

// The 28 light keys, in order: 14 of the light, then 14 of its "Volumetric" group.
enum EZE_LIGHT_KEY
{
	EZLK_POSITION, EZLK_ROTATION, EZLK_TYPE, EZLK_CONE_ANGLES, EZLK_FLAGS, EZLK_FALLOFF, EZLK_RANGE,
	EZLK_RAW_COLOR, EZLK_INTENSITY, EZLK_SHADOW_TYPE, EZLK_SHADOW_COLOR, EZLK_SHAD_MAP_SIZE,
	EZLK_SHAD_MAP_FUZZ, EZLK_PROJ_IMAGE,
	EZLK_VOL_FLAGS, EZLK_VOL_SPRITE, EZLK_VOL_DISSOLVE, EZLK_VOL_SHADOW, EZLK_VOL_RADIUS,
	EZLK_VOL_BASE, EZLK_VOL_HEIGHT, EZLK_VOL_LUMINOSITY, EZLK_VOL_OPACITY, EZLK_VOL_ATTENUATION,
	EZLK_VOL_RED_SHIFT, EZLK_VOL_DENSITY, EZLK_VOL_COLOR, EZLK_VOL_JITTERED_SAMPLING,
	EZLK_COUNT
};

// The 48 emitter keys, in order: 3 of the emitter, 15 of "HyperVoxel", 30 of "ParticleFx".
enum EZE_EMITTER_KEY
{
	EZEK_POSITION, EZEK_ROTATION, EZEK_SCALE,
	EZEK_PARTICLE_SIZE, EZEK_COLOR, EZEK_LUMINOSITY, EZEK_OPACITY, EZEK_DENSITY, EZEK_CLIP_FLAGS,
	EZEK_CLIP_ALPHA, EZEK_CLIP_THRESHOLD, EZEK_CLIP_ROTATION, EZEK_CLIP_FRAME_OFFSET,
	EZEK_CLIP_FILENAME, EZEK_CLIP_FILE_EXT, EZEK_CLIP_FRAME_RATE, EZEK_GRADIENT_PARTICLE_SIZE,
	EZEK_GRADIENT_COLOR,
	EZEK_GENERATOR_SIZE, EZEK_CENTER_POSITION, EZEK_PARTICLE_LIMIT, EZEK_VELOCITY,
	EZEK_PARENT_MOTION, EZEK_POSITION_BLUR, EZEK_GRAVITY, EZEK_BIRTH_RATE, EZEK_NOZZLE,
	EZEK_SIZE_EFFECT, EZEK_GENERATE_BY, EZEK_LIFE_TIME, EZEK_LIFE_TIME_PM, EZEK_EXPLOSION,
	EZEK_VELOCITY_P, EZEK_START_FRAME, EZEK_FIXED, EZEK_WEIGHT, EZEK_WEIGHT_PM, EZEK_RESISTANCE,
	EZEK_RESISTANCE_PM, EZEK_VIBRATION, EZEK_THRESHOLD, EZEK_SIZE, EZEK_SIZE_PM,
	EZEK_VIBRATION_MIN, EZEK_MAX_SPEED, EZEK_RANDOM_VELOCITY, EZEK_CURL_NOISE_POWER,
	EZEK_CURL_NOISE_FREQUENCY,
	EZEK_COUNT
};
// The first key of each emitter group in EZE_EMITTER_KEY.
const irr::s32 EZEK_FIRST_HYPERVOXEL = EZEK_PARTICLE_SIZE;
const irr::s32 EZEK_FIRST_PARTICLEFX = EZEK_GENERATOR_SIZE;

// The 39 LightWave surface channels; a channel's index is its position.
enum EZE_SURFACE_CHANNEL
{
	EZSC_BASE_COLOR, EZSC_LUMINOSITY, EZSC_DIFFUSE, EZSC_SPECULARITY, EZSC_REFLECTIVITY,
	EZSC_TRANSPARENCY, EZSC_TRANSLUCENCY, EZSC_IOR, EZSC_BUMP, EZSC_GLOSSINESS,
	EZSC_SPECIAL_BUFFER1, EZSC_SPECIAL_BUFFER2, EZSC_SPECIAL_BUFFER3, EZSC_SPECIAL_BUFFER4,
	EZSC_DIFFUSE_SHARPNESS, EZSC_BUMP_DROPOFF, EZSC_SMOOTHING_ANGLE, EZSC_REFLECTION_SEAM_ANGLE,
	EZSC_REFRACTION_SEAM_ANGLE, EZSC_REFLECTION_BLURRING, EZSC_REFRACTION_BLURRING,
	EZSC_COLOR_FILTER, EZSC_COLOR_HIGHLIGHTS, EZSC_ADDITIVE_TRANSPARENCY, EZSC_ALPHA_VALUE,
	EZSC_GLOW_VALUE, EZSC_LINE_COLOR, EZSC_LINE_SIZE, EZSC_ALPHA_OPTIONS,
	EZSC_REFLECTION_OPTIONS, EZSC_REFRACTION_OPTIONS, EZSC_SIDEDNESS, EZSC_EXCLUDE_FROM_VSTACK,
	EZSC_GLOW, EZSC_RENDER_OUTLINES, EZSC_REFLECTION_IMAGE, EZSC_REFRACTION_IMAGE,
	EZSC_VERTEX_COLORING, EZSC_VERTEX_NORMAL,
	EZSC_COUNT
};

// Key names as the scene file writes them; "" for an index out of range.
const char* zeSceneRenderSettingName(irr::s32 i);
const char* zeSceneCameraKeyName(irr::s32 i);
const char* zeSceneLightKeyName(irr::s32 i);
const char* zeSceneEmitterKeyName(irr::s32 i);
const char* zeSceneSurfaceChannelName(irr::s32 i);

// ---- Effect records ---------------------------------------------------------
// One child of an effect's "Parameters" group.
struct SZeEffectParamRecord
{
	const char* name;      // the child's group name
	irr::s32 kind;         // EZE_SCENE_VALUE_KIND
	const ZF_Node* value;  // "value"
	irr::s32 colorSpace;   // "img_colorspace" (sRGB flag)
	irr::s32 reference;    // "img_reference" (the value names a texture)
};

// An "Effect" group.
struct SZeEffectRecord
{
	const char* filename = nullptr;  // "filename"
	const char* cflags = nullptr;    // "cflags": macro text for the effect compiler
	irr::s32 paramCount = 0;         // children of "Parameters"
	irr::core::array<SZeEffectParamRecord> params;
};

// ---- Item records -----------------------------------------------------------
struct SZeSceneCamera
{
	const char* name;                 // the camera's group name
	const ZF_Node* keys[EZCK_COUNT];
	irr::s32 flags;                   // bit value 1 stereo, 8 depth of field
	irr::s32 width, height;           // "resolution"; 640 x 480 without data
	irr::s32 usingConvergencePoint;
};

struct SZeSceneLight
{
	const char* name;                 // the light's group name
	const ZF_Node* keys[EZLK_COUNT];
	irr::s32 type;                    // 0 distant, 2 spot, other values point
	irr::s32 flags;                   // bit value 32: volumetric
	irr::s32 falloff;                 // non-zero: "range" applies
	irr::s32 shadowType;              // 0 no shadow
	irr::core::vector3df shadowColor;
	irr::s32 shadMapSize;
	irr::f32 shadMapFuzz;
	const char* projImage;
	irr::s32 volumetricFlags;         // word 1 of "Volumetric" "flags"
	irr::s32 volumetricColorOn;       // word 4 of "Volumetric" "flags"
	irr::core::vector3df volumetricColor;  // "color", white while the colour is off
};

struct SZeSceneEmitter
{
	const char* name;
	irr::s32 type;                    // 0 particle emitter, 1 emitter on a mesh object
	const char* parentName;
	irr::s32 selectionMask;
	const ZF_Node* keys[EZEK_COUNT];
	bool hasEffect;                   // "Shader" "Effect"
	SZeEffectRecord effect;
};

// One morph target of an object.
struct SZeSceneMorph
{
	const char* name;                 // the target's group name
	const ZF_Node* weight;            // its "value" channel
};

// One child of an object's "UseCubeMaps" group.
struct SZeSceneCubeMapUse
{
	const char* cubeMapName;          // "renderCubeMap"
	irr::s32 cubeMap;                 // index of that cube map, -1 when not found
	const ZF_Node* aabbPosition;
	const ZF_Node* aabbScale;
	const ZF_Node* influence;
};

struct SZeSceneObject
{
	const char* name;
	const char* xfilename;            // mesh file to load
	const char* filename;             // name of the "SceneObjects" entry
	irr::s32 pointCloudCount;
	const ZF_Node* position;
	const ZF_Node* rotation;
	const ZF_Node* scale;
	irr::core::array<SZeSceneMorph> morphs;
	irr::core::array<SZeSceneCubeMapUse> cubeMapUses;
	irr::s32 shadowOpts;              // bit value 2: casts shadows
	irr::s32 selectionMask;
	const char* vertexTextureName;
	irr::s32 vertexTextureContent;
	irr::s32 vertexTextureFormat;
	irr::s32 mesh;                    // index into SZeSceneDesc::meshes, -1 when none
};

// One channel of a surface's "Parameters" group.
struct SZeSceneChannel
{
	irr::s32 kind;                    // EZE_SCENE_VALUE_KIND
	const ZF_Node* value;
	const char* imgFilename;
	irr::s32 imgColorSpace;
	irr::s32 imgMipmap;               // 1 when absent
};

struct SZeSceneSurface
{
	const char* name;
	SZeSceneChannel channels[EZSC_COUNT];
	irr::s32 applyToSurface;          // "Shader" "applyToSurface"
	bool hasEffect;                   // "Shader" "Effect"
	SZeEffectRecord effect;
};

// One "SceneObjects" entry: a mesh file with its surfaces.
struct SZeSceneMesh
{
	const char* filename;
	irr::core::array<SZeSceneSurface> surfaces;
};

struct SZeSceneCubeMap
{
	const char* name;
	irr::s32 renderType;              // 1 every frame, else once when prepared
	irr::s32 textureSize;
	irr::f32 renderTime;              // seconds
	irr::s32 hideObject;
	irr::s32 ownObject;               // index of the object named like the cube map, -1
	irr::core::array<irr::s32> hideSet;   // object indices; unknown names dropped
	irr::core::array<irr::s32> showSet;
	const ZF_Node* position;
	const ZF_Node* cameraOffset;
	irr::s32 showVolumetric;
	irr::s32 clampVolumetric;
	irr::f32 clampVolumetricMax;
	irr::s32 useLatLong;
};

// One camera effect of "ZelvPostProcs".
struct SZeScenePostProc
{
	const char* name;                 // the group's name
	bool hasEffect;
	SZeEffectRecord effect;
	irr::s32 useFrame;
	irr::s32 startFrame;
	irr::s32 endFrame;
};

// ---- Render-command records -------------------------------------------------
struct SZeSceneCommandConnect
{
	const char* name;
	const char* value;                // texture name
};

struct SZeSceneCommandParam
{
	const char* name;
	irr::s32 kind;                    // EZE_SCENE_PARAM_KIND
	irr::f32 value[3];                // float: value[0]; float3: all three
	irr::s32 intValue;
	const char* text;
	irr::s32 effect;                  // index into the effect table
};

struct SZeSceneCommand
{
	const char* name;
	const char* cmd;                  // the command kind, e.g. "Clear"
	irr::s32 inputCount;
	SZeSceneCommandConnect inputs[ZE_SCENE_MAX_INPUTS];
	irr::s32 outputCount;
	SZeSceneCommandConnect outputs[ZE_SCENE_MAX_OUTPUTS];
	irr::s32 paramCount;
	SZeSceneCommandParam params[ZE_SCENE_MAX_PARAMETERS];
};

// ---- SZeSceneDesc -----------------------------------------------------------
struct SZeSceneDesc
{
	SZeSceneDesc() = default;
	SZeSceneDesc(const SZeSceneDesc&) = delete;
	SZeSceneDesc& operator=(const SZeSceneDesc&) = delete;

	ZF_Document* document = nullptr;  // owned
	const ZF_Node* scene = nullptr;

	irr::s32 frameStart = 0;
	irr::s32 frameEnd = 0;
	irr::s32 frameStep = 0;
	irr::f32 framesPerSecond = 0.0f;

	irr::s32 objectCount = 0;
	irr::s32 cameraCount = 0;
	irr::s32 lightCount = 0;
	irr::s32 emitterCount = 0;
	irr::s32 postProcCount = 0;
	irr::s32 meshCount = 0;
	irr::s32 cubeMapCount = 0;
	const ZF_Node* objectsGroup = nullptr;
	const ZF_Node* camerasGroup = nullptr;
	const ZF_Node* lightsGroup = nullptr;
	const ZF_Node* emittersGroup = nullptr;
	const ZF_Node* postProcsGroup = nullptr;
	const ZF_Node* meshesGroup = nullptr;
	const ZF_Node* cubeMapsGroup = nullptr;

	const ZF_Node* renderCamera = nullptr;    // "SceneInfo" channel
	const ZF_Node* loadAudio = nullptr;
	const ZF_Node* audioStartTime = nullptr;
	const ZF_Node* backdropInfo = nullptr;    // the group; its "zenith" is the colour
	const ZF_Node* ambient = nullptr;         // "LightInfo" vector channel
	const ZF_Node* glowEffect = nullptr;      // "ImageProcessing"
	const ZF_Node* glowIntensity = nullptr;
	const ZF_Node* glowRadius = nullptr;
	irr::s32 colorSpaceViewer = 0;            // "ColorSpace"
	irr::s32 colorSpace8BitFiles = 0;

	const ZF_Node* renderSettings[EZRS_COUNT] = {};

	irr::core::array<SZeSceneCamera> cameras;
	irr::core::array<SZeSceneLight> lights;
	irr::core::array<SZeSceneEmitter> emitters;
	irr::core::array<SZeSceneObject> objects;
	irr::core::array<SZeScenePostProc> postProcs;
	irr::core::array<SZeSceneMesh> meshes;
	irr::core::array<SZeSceneCubeMap> cubeMaps;

	// The render-command list; valid only when the scene has "ZelvRenderCommands" "Commands".
	bool hasCommands = false;
	irr::s32 commandCount = 0;
	SZeSceneCommand commands[ZE_SCENE_MAX_COMMANDS] = {};

	// The effects that command parameters refer to.
	irr::s32 effectCount = 0;
	SZeEffectRecord effects[ZE_SCENE_MAX_EFFECTS];

	~SZeSceneDesc();
};

// ---- Loading and freeing ----------------------------------------------------
// Loads a scene file and binds its "Scene" group. Returns a new description
// that zeSceneDescFree frees, or null when the document cannot be loaded, has
// no "Scene" group or its command list is refused (see zeSceneDescLastError).
SZeSceneDesc* zeSceneDescLoad(const char* path);
// As zeSceneDescLoad over a document already loaded; takes ownership of it
// (it is freed with the description, or at once on failure).
SZeSceneDesc* zeSceneDescFromDocument(ZF_Document* document);
// Fills every field from a "Scene" group; 0, or -1 when the command list is refused.
irr::s32 zeSceneDescBind(SZeSceneDesc* desc, const ZF_Node* scene);
// Frees the description with its document; null is allowed.
void zeSceneDescFree(SZeSceneDesc* desc);
// The last error text of the reader; "" after each load starts.
const char* zeSceneDescLastError();

// ---- Reading keys -----------------------------------------------------------
// A float truncated toward zero and kept in the s32 range (NaN reads 0).
irr::s32 zeSceneTruncate(irr::f32 value);
// The first word of an I4 or U4 value (a number value is truncated with
// zeSceneTruncate); `def` when the node is absent or has no data.
irr::s32 zeSceneInt(const ZF_Node* node, irr::s32 def = 0);
// Word `word` (0-based) of an I4 or U4 value; `def` when it has fewer words.
irr::s32 zeSceneIntWord(const ZF_Node* node, irr::u32 word, irr::s32 def = 0);
// The floats of an FP value and their number; null (count 0) for any other node.
const irr::f32* zeSceneFloatList(const ZF_Node* node, irr::u32* count);
// A float: the value read at index 0; `def` when absent or not a number.
irr::f32 zeSceneFloat(const ZF_Node* node, irr::f32 def = 0.0f);
// The text of an STR value; null otherwise.
const char* zeSceneText(const ZF_Node* node);
// A channel, a pair, a vector or a rotation (radians) at a key index; zeros when absent.
irr::f32 zeSceneChannelAt(const ZF_Node* node, irr::f32 key);
irr::core::vector2df zeScenePairAt(const ZF_Node* node, irr::f32 key);
irr::core::vector3df zeSceneVectorAt(const ZF_Node* node, irr::f32 key);
irr::core::vector3df zeSceneRotationAt(const ZF_Node* node, irr::f32 key);
// A 0..1 colour as SColor: each component x 255, truncated and kept in 0..255; alpha 255.
irr::video::SColor zeSceneColor(const irr::core::vector3df& color);

// ---- Scene-wide values and item helpers -------------------------------------
// Key index of a scene time: framesPerSecond x (t / 1000) / frameStep; 0 for
// a frame step below 1.
irr::f32 zeSceneKeyIndex(const SZeSceneDesc* desc, irr::s32 timeMs);
// Frame of a scene time: framesPerSecond x t / 1000 + frameStart.
irr::f32 zeSceneFrame(const SZeSceneDesc* desc, irr::s32 timeMs);
// Seconds of a frame (frame / framesPerSecond); 0 when the frame rate is 0.
irr::f32 zeSceneFrameSeconds(const SZeSceneDesc* desc, irr::f32 frame);
// Capture time of a cube map in milliseconds: (renderTime - frameStart seconds) x 1000.
irr::s32 zeSceneCubeMapCaptureTime(const SZeSceneDesc* desc, const SZeSceneCubeMap& cubeMap);
// Camera in use at a key: "renderCamera" truncated and clamped to the cameras; -1 without cameras.
irr::s32 zeSceneRenderCameraAt(const SZeSceneDesc* desc, irr::f32 key);
// "BackdropInfo" "zenith" at key 0; black without it.
irr::video::SColor zeSceneBackdropColor(const SZeSceneDesc* desc);
// "LightInfo" "ambient" at a key.
irr::video::SColor zeSceneAmbientAt(const SZeSceneDesc* desc, irr::f32 key);
// An integer render setting (the "_ENABLE" keys and six "CH_AA_" ints) with its default.
irr::s32 zeSceneRenderSettingInt(const SZeSceneDesc* desc, irr::s32 setting);
// A float render setting at a key (0 when absent).
irr::f32 zeSceneRenderSettingAt(const SZeSceneDesc* desc, irr::s32 setting, irr::f32 key);
// A vector render setting ("CH_STREAK_COLORKEY", "CH_STREAK_COLORIZE") at a key.
irr::core::vector3df zeSceneRenderSettingVectorAt(const SZeSceneDesc* desc, irr::s32 setting, irr::f32 key);
// A light's range at a key: "range" when "falloff" is set, 10,000,000 otherwise.
irr::f32 zeSceneLightRangeAt(const SZeSceneLight& light, irr::f32 key);
// Whether a camera effect shows at a frame: always without "useframe", else
// while startframe <= frame < endframe.
bool zeScenePostProcVisible(const SZeScenePostProc& postProc, irr::f32 frame);
// The object whose "name" equals `name` exactly; -1 when none.
irr::s32 zeSceneFindObject(const SZeSceneDesc* desc, const char* name);
// The cube map whose "name" equals `name` exactly; -1 when none.
irr::s32 zeSceneFindCubeMap(const SZeSceneDesc* desc, const char* name);
// The effect of a record or null (no effect).
const SZeEffectRecord* zeSceneEmitterEffect(const SZeSceneEmitter& emitter);
const SZeEffectRecord* zeScenePostProcEffect(const SZeScenePostProc& postProc);
const SZeEffectRecord* zeSceneSurfaceEffect(const SZeSceneSurface& surface);
