// Effects addressed by ID (the effect table of the engine context, IDs 0 to
// 999): loading effect files, optionally compiled for an object's surface,
// and setting their constants, textures and a scene's shader description.
// Every function taking an effect ID reports "Effect ID %d does not exist. %s"
// (argument 1) for a missing one, except the exist, get and delete functions.
#pragma once

#include "core/IZeGpuProgramming.h"

class IZeEffect;
struct SZeShaderDesc;

// Loads and builds an effect file under a new ID, over a base material type
// (-1: the passes' own) with a macro list (may be null). While it loads, a
// log silenced above error level logs errors. 0, or -1 with "invalid effect
// ID %d : %s" (2) or "Failed to load effect '%s' : %s" (1, the first line of
// the effect service's error).
int zeLoadEffectFile(int id, const char* file, int baseMaterialType, const SZeMacro* macros);
// zeLoadEffectFile with no base type and no macros.
int zeLoadEffect(const char* file, int id);
// Compiles the file for surface `surface` of an object: the surface's macros
// (at most 19) followed by the current renderer's for the surface's material
// type, over that material type. 0, or -1 with "Object ID %d does not exist"
// (3), "Object ID %d does not have node extension" (3), "Invalid surface ID
// %d for the Object ID %d" (4), "Failed to get the effect compile parameters"
// (-1), "Failed to get the renderer effect" (-1) or a load error.
int zeLoadEffectForObjectSurface(const char* file, int id, int objectId, int surface);
// 1 when the ID holds an effect, else 0; never reports.
int zeEffectExist(int id);
// The effect of the ID, or null; never reports.
IZeEffect* zeGetEffect(int id);
// Drops the effect and frees the ID; a missing ID is ignored.
void zeDeleteEffect(int id);

// Constants by name (technique 0): "Unknown constant '%s'" (2) when the
// effect has none of that name, "failed to set value for constant '%s'" (2)
// when it refuses the value.
void zeSetEffectConstantBoolean(int id, const char* name, int value);
void zeSetEffectConstantInteger(int id, const char* name, int value);
void zeSetEffectConstantFloat(int id, const char* name, float value);
void zeSetEffectConstantFloatN(int id, const char* name, const float* values, int count);
// Loads a texture file for the named sampler's kind and binds it: "Unknown
// texture '%s'" (2); "failed to load texture '%s' " (3, the sampler then
// cleared); "failed to set texture '%s'" (2).
void zeSetEffectTexture(int id, const char* name, const char* file);
// Binds the texture of an image ID to the named sampler: "Unknown texture
// '%s'" (2); "Image %d does not exist" (3, the sampler then cleared); "failed
// to set texture '%s'" (2).
void zeSetEffectTextureImage(int id, const char* name, int imageId);

// Applies a description's textures (when withTextures) and parameters:
// "Effect ID %d: failed to set textures of shader '%s'" (2), "Effect ID %d:
// failed to set parameters of shader '%s'" (2).
void zeSetEffectShaderParams(int id, const SZeShaderDesc* desc, int withTextures);
// Loads the description's file (found through the data directories) with its
// macro text under a new ID, then applies its textures and parameters. 0 or -1.
int zeApplyShaderDescription(int id, const SZeShaderDesc* desc);
