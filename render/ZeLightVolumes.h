// What the light buffer and the volumetric lights share: the meshes of the
// light volumes and the frame of a light.
#pragma once

#include <irrlicht.h>

// The light volumes, one reference each for the caller: a sphere of radius 1
// (8 x 8 segments) around the origin, and a cone of 4 sides with its apex at
// the origin opening along +z to a base of radius 1 at z = 1. false, with
// "<owner>: failed to create LightSphereMesh" (or "LightConeMesh") logged and
// nothing kept, when the scene manager cannot make one.
bool zeCreateLightVolumes(irr::scene::ISceneManager* sceneManager, const char* owner, irr::scene::IMesh** sphere,
	irr::scene::IMesh** cone);

// Volumes are larger than the light's reach, so that their flat faces hold
// the whole round shape of the light: the factor on the radius.
const irr::f32 ZE_LIGHT_VOLUME_SCALE = 1.15f;

// Whether a light's radius reaches anywhere: a finite number above 0. A light
// of another radius lights nothing and has no volume.
bool zeLightRadiusReaches(irr::f32 radius);

// The half angle (radians) of a spot light's cone volume: 1.1 times its outer
// cone (degrees), at most 89 degrees so that the cone never turns inside out.
irr::f32 zeLightVolumeConeAngle(irr::f32 outerConeDegrees);

// The light's world orientation (its own rotation turned by its parents'),
// without scale or translation.
irr::core::matrix4 zeGetLightRotation(const irr::scene::ILightSceneNode* light);
// That orientation with the translation to its absolute position: the cone's frame.
irr::core::matrix4 zeGetLightFrame(const irr::scene::ILightSceneNode* light);
