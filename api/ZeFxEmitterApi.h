// Particle emitters addressed by ID (the FxEmitter table of the engine
// context, IDs 0 to 999). An FxEmitter is a particle-system node whose
// emitter spawns and moves the particles; its look is the HyperVoxel surface
// of material 0, held by the node's extension. Functions taking an ID report
// "FxEmitter ID %d does not exist. %s" (argument 1) for a missing one and do
// nothing else, except the exist, get and delete functions. Operations marked
// live only do nothing on emitters made on an object's node (static ones).
//
// Index:
//   - Making and deleting
//   - Node
//   - Emitter
//   - Look and effect
#pragma once

#include <irrlicht.h>

class IZeParticleSystemSceneNode;
struct SZeShaderDesc;

// ---- Making and deleting ------------------------------------------------------------
// A box emitter of generator size (sx, sy, sz) showing the particle image
// (null or "": "ZeDefaultParticle.png" from the data directories); it emits
// nothing until a birth rate is set (life 1 s +- 0.05, explosion 0). 0, or -1
// with "invalid FxEmitter ID %d : %s" (1), "failed to create FxEmitter node"
// (-1) or "failed to setup material image" (2); a failure frees the ID.
int zeMakeFxEmitter(int id, const char* image, float sx, float sy, float sz);
int zeMakeFxEmitterBox(int id, const char* image, float sx, float sy, float sz);
int zeMakeFxEmitterSphere(int id, const char* image, float sx, float sy, float sz);
// Emitters from an object's mesh: its vertices in order, along their normals,
// or on its triangles. An object without a mesh reports "failed to get mesh
// of object ID %d" (3) and leaves a box emitter under the ID.
int zeMakeFxEmitterMeshVertices(int id, const char* image, int objectId);
int zeMakeFxEmitterMeshNormal(int id, const char* image, int objectId);
int zeMakeFxEmitterMeshSurface(int id, const char* image, int objectId);
// Emitters from a parent emitter's live particles (nozzle 8) or from those
// that died in its last update (nozzle 9); a negative or missing parent
// leaves the emitter without one.
int zeMakeFxEmitterNozzle8(int id, const char* image, int parentId);
int zeMakeFxEmitterNozzle9(int id, const char* image, int parentId);
// A static emitter: one still particle at each vertex of a plain mesh object
// (animated and morph objects give an empty private pool). "invalid FxEmitter
// ID %d : %s" (1), "failed to create FxEmitter node" (3), "failed to setup
// material image" (2).
int zeMakeFxEmitterMeshStatic(int id, const char* image, int objectId);
int zeFxEmitterExist(int id);
IZeParticleSystemSceneNode* zeGetFxEmitterNode(int id);
// Only checks that the ID exists: 0 or -1.
int zeCheckFxEmitter(int id);
// Children of the emitter lose their parent; a missing ID is ignored.
void zeDeleteFxEmitter(int id);

// ---- Node -----------------------------------------------------------------------------
void zeShowFxEmitter(int id);
void zeHideFxEmitter(int id);
// The camera carries the node; off puts it back under the scene root where it was.
void zeLockFxEmitterOn(int id);
void zeLockFxEmitterOff(int id);
void zePositionFxEmitter(int id, float x, float y, float z);
// Degrees.
void zeRotateFxEmitter(int id, float x, float y, float z);
void zeSetFxEmitterSelectionMask(int id, int mask);

// ---- Emitter ----------------------------------------------------------------------------
// "FxEmitter ID %d : parent %d does not exist. %s" (2) for a negative or missing parent.
void zeSetFxEmitterParent(int id, int parentId);
void zeSetFxEmitterVelocity(int id, float x, float y, float z);        // live only
void zeSetFxEmitterGravity(int id, float x, float y, float z);         // live only
void zeSetFxEmitterParentMotion(int id, float value);                  // live only
void zeSetFxEmitterBirthRate(int id, float value);                     // live only
void zeSetFxEmitterWeight(int id, float value);                        // live only
void zeSetFxEmitterResistance(int id, float value);                    // live only
void zeSetFxEmitterVibration(int id, float value);                     // live only
void zeSetFxEmitterParticleLimit(int id, int count);
void zeSetFxEmitterRandomVelocity(int id, float value);                // live only
void zeSetFxEmitterCurlNoisePower(int id, float value);                // live only
void zeSetFxEmitterCurlNoiseFrequency(int id, float value);            // live only
void zeFxResetEmitter(int id);                                         // live only
void zeFxResetEmitterEmittedCount(int id);                             // live only
void zeSetFxEmitterLifeTime(int id, float life, float range);
void zeSetFxEmitterExplosion(int id, float value);

// ---- Look and effect ---------------------------------------------------------------------
// These need the node extension ("FxEmitter ID %d unexpected format (no node
// extension)", 1) and, for the HyperVoxel block, material 0's surface
// ("FxEmitter ID %d has no surface", 1).
// The emitter's size is 2 x size; the surface's particle size is size.
void zeSetFxEmitterParticleSize(int id, float size);
// A colour 0xAARRGGBB (alpha taken as 1) instead of the image's colour.
void zeSetFxEmitterColor(int id, int colour);
void zeSetFxEmitterUseImageColor(int id);
void zeSetFxEmitterRotation(int id, float value);
// 1 alpha (depth-sorted particles), 3 subtractive, any other additive.
void zeSetFxEmitterBlendMode(int id, int mode);
// Gradients as the scene gives them: `count` keys of five floats, a position
// then the value (colour: red, green, blue, alpha; size: one float and three
// unused). At most 8 keys are kept, followed by a closing key 100 further on
// with the last key's value.
void zeSetFxEmitterColorGradient(int id, int count, const float* keys);
void zeSetFxEmitterSizeGradient(int id, int count, const float* keys);
// Material 0 draws with technique 0, pass 0 of an effect ID's effect:
// "Effect ID %d does not exist. %s" (2).
void zeSetFxEmitterEffect(int id, int effectId);
void zeSetFxEmitterEffectTechnique(int id, int technique);
// Compiles a file (null or "": "Particle.dae", our Particle.hlsl) with the
// surface's macros and material type for material 0: "FxEmitter ID %d
// Failed to get the effect compile parameters" (2), and in an error box
// "FxEmitter ID %d: Failed to compile effect %s" (2).
void zeSetFxEmitterEffectFromFile(int id, const char* file);
void zeSetFxEmitterDefaultEffect(int id);
// With compile and a file: compiles the description's file with the
// surface's and the description's macros for material 0 ("Invalid surface
// for the FxEmitter ID %d" (2), "FxEmitter %d : Failed to get the effect
// compile parameters" (2), "FxEmitter %d : Failed to compile effect %s" (2,
// box)); then on material 0's effect ("FxEmitter ID %d has no effect applied
// on it" (1)) the textures (with compile, "FxEmitter ID %d: failed to set
// textures of shader '%s'" (2)) and the parameters ("FxEmitter ID %d: failed
// to set parameters of shader '%s'" (2)).
void zeSetFxEmitterShader(int id, const SZeShaderDesc* desc, int compile);

// The effect API's compile for an emitter: the file with the macros and
// material type of the HyperVoxel surface of material 0, under a new effect
// ID. 0, or -1 with "FxEmitter ID %d does not exist" (3), "FxEmitter ID %d does
// not have node extension" (3), "Invalid surface for the FxEmitter ID %d" (4),
// "Failed to get the effect compile parameters" (-1) or a load error.
int zeLoadEffectForFxEmitter(const char* file, int id, int emitterId);
