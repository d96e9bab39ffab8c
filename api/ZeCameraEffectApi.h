// Camera effects addressed by ID (the camera-effect table of the engine
// context, IDs 0 to 999): full-screen effects applied after the scene, made
// from a loaded effect or an effect file, given a scene's shader description
// and switched on and off. The switched-on ones form one enabled list for the
// whole engine, in the order they were switched on, which the frame hands to
// the post chain. Functions taking an ID report "Camera Effect ID %d does not
// exist. %s" (argument 1) for a missing one, except the exist and delete
// functions.
#pragma once

#include <irrlicht.h>

class IZeEffect;
struct SZeShaderDesc;

// A camera effect on the effect of an effect ID, holding its own reference;
// created off, priority 0. 0, or -1 with "Effect ID %d does not exist. %s" (2)
// or "invalid Camera Effect ID %d : %s" (1).
int zeMakeCameraEffect(int id, int effectId);
// Compiles an effect file (found through the data directories) with the
// macros of a text (null or "" for none) into a new camera effect. 0, or -1
// with "invalid Camera Effect ID %d : %s" (1) or, also in a message box,
// "Camera Effect ID %d : Failed to compile effect %s" (2).
int zeCompileCameraEffect(int id, const char* file, const char* macros);
// zeCompileCameraEffect without macros.
int zeMakeCameraEffectFromFile(int id, const char* file);
// 1 when the ID holds a camera effect, else 0; never reports.
int zeCameraEffectExist(int id);
// Stores the priority; the enabled order alone decides the order of drawing.
void zeSetCameraEffectPriority(int id, int priority);
// Applies a description's textures (when withTextures) and parameters to the
// camera effect's effect: "Camera Effect ID %d: failed to set textures of
// shader '%s'" (2), "Camera Effect ID %d: failed to set parameters of shader
// '%s'" (2).
void zeSetCameraEffectShaderParams(int id, const SZeShaderDesc* desc, int withTextures);
// Switches the camera effect on: appended to the enabled list unless on already.
void zeShowCameraEffect(int id);
// Switches it off: taken out of the enabled list, the later ones moving up.
void zeHideCameraEffect(int id);
// Switches it off, drops its effect and frees the ID; a missing ID is ignored.
void zeDeleteCameraEffect(int id);
// Empties the array, then appends the effect of every enabled camera effect
// in the enabled order (not grabbed); IDs whose camera effect is gone are
// skipped.
void zeGetEnabledCameraEffects(irr::core::array<IZeEffect*>& effects);
// Empties the enabled list (engine shutdown, after the camera effects are deleted).
void zeClearEnabledCameraEffects();
