// The LightWave surfaces of an object's materials, held by its node
// extension: channels by index (names: zeGetSurfaceParamIndex), effects and
// techniques per surface, the materials rebuilt from the surfaces, and a
// scene's surface records applied with each surface's effect recompiled.
// Object errors: "Object ID %d does not exist" (1), "Object ID %d unexpected
// format (no node extension)" (1), "Object ID %d has no surface %d" (2).
#pragma once

#include <irrlicht.h>

class IZeSurface;
struct SZeMacroList;
struct SZeSurfaceDesc;

// The index 0 to 38 of a channel name (exact, case-sensitive), or -1.
int zeGetSurfaceParamIndex(const char* name);
// The same as zeGetSurfaceParamIndex.
int zeFindSurfaceParam(const char* name);
// The surface of material `surface` of an object (not grabbed), or null after
// reporting an object error.
IZeSurface* zeGetObjectSurface(int objectId, int surface);

// Channel setters. Besides the object errors, a channel outside 0 to 38
// reports "Surface parameter %d does not exist" (3). A change reaches the
// drawn object with zeUpdateObjectFromSurfaces or a recompile.
// A texture file: for "ReflectionImage" a cube texture when the file holds a
// cube image, else a 2D texture with mip-maps; "Texture does not exist '%s'" (4).
void zeSetObjectSurfaceParamTex(int objectId, int surface, int channel, const char* file);
// The texture of an image ID (zeGetImageTexture); "Image %d does not exist" (4).
void zeSetObjectSurfaceParamTexImg(int objectId, int surface, int channel, int imageId);
void zeSetObjectSurfaceParamInt(int objectId, int surface, int channel, int value);
void zeSetObjectSurfaceParamFloat(int objectId, int surface, int channel, float value);
void zeSetObjectSurfaceParamFloat3(int objectId, int surface, int channel, float x, float y, float z);

// Draws the surface's material with technique 0, pass 0 of an effect ID's
// effect; "Effect ID %d does not exist. %s" (3).
void zeSetObjectSurfaceEffect(int objectId, int surface, int effectId);
// The technique the surface's effect draws with.
void zeSetObjectSurfaceEffectTechnique(int objectId, int surface, int technique);
// Gives the mesh tangents when a surface needs them and applies every
// material again from its surface and effect (a tangent copy that cannot be
// made is logged).
void zeUpdateObjectFromSurfaces(int objectId);
// Applies `count` surface records to materials 0 to count - 1: channel
// values, and with `compile` textures, sRGB flags and a new effect compiled
// from the record's shader file (or the current renderer's) with the
// surface's, the renderer's and the record's macros; then the record's shader
// textures (with compile) and parameters on the material's effect. A missing
// material ends the loop with "Object ID %d has no surface %d, cannot
// SetSurfaces" (1); other failures report with argument 3 and go on.
void zeUpdateObjectSurfaces(int objectId, int count, const SZeSurfaceDesc* records, int compile);

// Takes a texture out of every object's surface channels and material
// layers, and applies the materials of the objects whose surfaces held it
// again (before the texture leaves the driver).
void zeUnbindTextureFromObjects(irr::video::ITexture* texture);

// The macros an effect for a surface of a node is compiled with: the
// surface's, then the current renderer's for the surface's material type
// (whose effect file goes to rendererFile), appended to the list. 0; 1 when
// the surface's macros do not fit; 2 when the renderer refuses.
int zeGetSurfaceEffectMacros(IZeSurface* surface, irr::scene::ISceneNode* node, SZeMacroList& macros,
	irr::s32& materialType, irr::core::stringc& rendererFile);
