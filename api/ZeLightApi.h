// Lights addressed by ID (the light table of the engine context, IDs 0 to 999).
// A light is a light scene node with an attached light extension whose
// parameter block the light buffer, shadow maps and volumetric lights read.
//
// Every function taking an ID reports "Light ID %d does not exist. %s"
// (argument 1) through zeSetError when the ID holds no light, and does nothing
// else. Angles are degrees; colours are 0xAARRGGBB.
#pragma once

namespace irr { namespace scene { class ISceneNode; class ILightSceneNode; } }
class IZeLightSceneNodeExt;

// Values the setters take: every float a setter takes is a finite number, a
// range also 0 or more, a cone angle 0 to 180 degrees. A setter given another
// value reports "Light ID %d: %s %g is not %s" (the ID, what the value is, the
// value, what it must be) with that value's argument number and changes
// nothing. Scenes test their values with the same rules.
bool zeLightTakesNumber(float value);
bool zeLightTakesRange(float range);
bool zeLightTakesCone(float degrees);

// The record the light table stores for each ID.
struct SZeLightItem
{
	irr::scene::ILightSceneNode* node;
};

// The light extension of a node (the first animator of type 4322), or null.
IZeLightSceneNodeExt* zeGetLightExt(irr::scene::ISceneNode* node);

// Creates a visible point light at the origin with radius 1e7 and the
// extension's default parameters; 0, or -1 with "invalid Light ID %d : %s" (1)
// when the ID is refused or in use, or "failed to create light" (-1).
int zeMakeLight(int id);
// 1 when the ID holds a light, else 0; never reports.
int zeLightExist(int id);
// The light's node, or null (no error).
irr::scene::ILightSceneNode* zeGetLightNode(int id);
// The node's visible flag, 0 or 1 (0 when missing).
int zeLightVisible(int id);
void zeShowLight(int id);
void zeHideLight(int id);
// Removes the node from the scene and frees the ID; a missing ID is ignored.
void zeDeleteLight(int id);

// Directional light (type 2) with node rotation (x, y, z).
void zeSetDirectionalLight(int id, float x, float y, float z);
// Point light (type 0) at node position (x, y, z).
void zeSetPointLight(int id, float x, float y, float z);
// Spot light (type 1) with the inner and outer cone angles (0 to 180 degrees).
void zeSetSpotLight(int id, float inner, float outer);
void zePositionLight(int id, float x, float y, float z);
void zeRotateLight(int id, float x, float y, float z);
// The light's radius (0 or more).
void zeSetLightRange(int id, float range);
// The node's cast-shadow switch (on != 0).
void zeSetLightShadow(int id, int on);

// Raw colour = the components / 255, intensity 1.0, diffuse = raw colour.
void zeColorLight(int id, int colour);
// Raw colour = (r, g, b, 1); diffuse = intensity x (r, g, b), alpha 1.
void zeSetLightRawColor(int id, float r, float g, float b);
// Intensity; diffuse = intensity x raw (r, g, b), alpha 1.
void zeSetLightIntensity(int id, float intensity);
// Shadow colour = the components / 255.
void zeColorLightShadow(int id, int colour);
void zeSetShadowMapSize(int id, int size);
void zeSetShadowMapFuzz(int id, float fuzz);
// Loads the image without mip-maps as the projection image; null or "" clears
// it. 0, or -1 with "Light ID %d failed to load projection image %s" (2).
int zeSetLightProjectionImage(int id, const char* file);
void zeSetLightVolumetric(int id, int on);
void zeSetLightVolumetricDensity(int id, float density);
// Volumetric colour in use (use != 0) and colour (r, g, b, 1).
void zeSetLightVolumetricColor(int id, int use, float r, float g, float b);
void zeSetLightVolumetricBase(int id, float base);
void zeSetLightVolumetricLimit(int id, int on, float value);
// Volumetric quality: 0 standard, 1 to 4 the quality levels.
void zeSetLightVolumetricFlags(int id, int flags);

// The scene manager's ambient light, alpha forced to 255.
void zeColorAmbientLight(int colour);
// Forwards to zeSetBackdropColor.
void zeColorBackdrop(int colour);
