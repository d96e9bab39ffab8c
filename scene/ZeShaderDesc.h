// Shader and surface descriptions: an effect record or a mesh surface of the
// scene description evaluated at a key index into a flat record that the
// effect, camera-effect, emitter and object-surface APIs take, and the
// comparisons with which a reload tells what changed. Texts point into the
// scene document and live as long as its description.
//
// Index:
//   - SZeShaderDesc
//   - SZeSurfaceDesc
//   - Evaluation
//   - Comparisons
#pragma once

#include "scene/ZeSceneDesc.h"

// Parameters an effect description holds; later ones are left out.
const irr::s32 ZE_SHADER_MAX_PARAMS = 30;
// Surfaces of one mesh the scene evaluates.
const irr::s32 NOF_SURFACE_MAX = 256;

// ---- SZeShaderDesc ----------------------------------------------------------
// One parameter; which value field counts follows the kind.
struct SZeShaderParam
{
	const char* name;
	irr::s32 kind;          // EZE_SCENE_VALUE_KIND
	irr::f32 value[3];      // vector: three floats; float: value[0]
	irr::s32 intValue;      // integer: the first data word as it is
	const char* text;       // texture: image file or texture name
	irr::s32 colorSpace;    // texture: sRGB flag
	irr::s32 reference;     // texture: the text names a texture
};

struct SZeShaderDesc
{
	const char* filename;   // effect file
	irr::s32 reserved[2];   // always 0
	const char* cflags;     // compile flags; null for none
	irr::s32 paramCount;    // at most ZE_SHADER_MAX_PARAMS
	SZeShaderParam params[ZE_SHADER_MAX_PARAMS];
};

// ---- SZeSurfaceDesc ---------------------------------------------------------
struct SZeSurfaceChannel
{
	irr::s32 kind;          // EZE_SCENE_VALUE_KIND
	irr::f32 value[3];      // vector: three floats; float: value[0]
	irr::s32 intValue;      // integer
	const char* text;       // string
	const char* imgFilename;
	irr::s32 imgColorSpace;
	irr::s32 imgMipmap;     // 1 unless the scene says otherwise
};

struct SZeSurfaceDesc
{
	const char* name;
	SZeSurfaceChannel channels[EZSC_COUNT];
	irr::s32 hasEffect;
	SZeShaderDesc effect;   // all zero while hasEffect is 0
};

// ---- Evaluation -------------------------------------------------------------
// Fills `out` from an effect record at a key index; null gives an all-zero record.
void zeSceneShaderDescAt(SZeShaderDesc* out, const SZeEffectRecord* effect, irr::f32 key);
// Fills `out` from one surface at a key index. The forced effect wins over the
// surface's own, which wins over the default; "applyToSurface" 3 takes none.
void zeSceneSurfaceDescAt(SZeSurfaceDesc* out, const SZeSceneSurface* surface, irr::f32 key,
	const SZeEffectRecord* defaultEffect, const SZeEffectRecord* forcedEffect);
// Fills one record per surface of a mesh entry, at most `max`; returns how many.
// The default and forced effects come from the last surfaces whose
// "applyToSurface" is 1 and 2 and that have an effect.
irr::s32 zeSceneObjectSurfacesAt(SZeSurfaceDesc* out, irr::s32 max, const SZeSceneMesh* mesh, irr::f32 key);
// zeSceneShaderDescAt on effect i of the description's effect table (all zero
// for an index out of range).
void zeSceneEffectShaderDescAt(SZeShaderDesc* out, const SZeSceneDesc* desc, irr::s32 i, irr::f32 key);

// ---- Comparisons (true when the two sides differ) ---------------------------
// Two effect records at key 0: presence, file names, parameter counts and
// kinds, and for string parameters their texts and colour spaces.
bool zeSceneEffectRecordsDiffer(const SZeEffectRecord* a, const SZeEffectRecord* b);
// Two command lists: valid flags, effect counts, command counts, and per
// command its name, kind, inputs, outputs and parameters with kinds and values.
bool zeSceneCommandListsDiffer(const SZeSceneDesc* a, const SZeSceneDesc* b);
// Two effect-table entries: file names, "cflags", parameter counts, and per
// parameter its kind and, for strings, text, colour space and reference.
bool zeSceneEffectEntriesDiffer(const SZeEffectRecord* a, const SZeEffectRecord* b);
