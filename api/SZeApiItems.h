// The per-ID records of the engine API's tables.
#pragma once

#include <irrlicht.h>

class IZeCubeMap;
class IZeEffect;
class IZeParticleSystemSceneNode;
class IZeRenderer;

// An object: the scene graph owns the node, the record only points at it.
struct SZeObjectItem
{
	irr::scene::ISceneNode* node;
};

// An FxEmitter: its particle-system node, held by the record as well as by the
// scene graph; isStatic is 1 for emitters made on an object's node, whose
// live-only operations do nothing.
struct SZeFxEmitterItem
{
	IZeParticleSystemSceneNode* node;
	int isStatic;
};

// A cube map; the record holds its creation reference.
struct SZeCubeMapItem
{
	IZeCubeMap* cubeMap;
};

// A renderer made from a scene; the item holds one reference.
struct SZeRendererItem
{
	IZeRenderer* renderer;
};

// A camera effect: one reference on its effect, whether it is in the enabled
// list, and a priority that is only stored.
struct SZeCameraEffectItem
{
	IZeEffect* effect;
	int enabled;
	int priority;
};

// An effect loaded by ID; the record holds its creation reference.
struct SZeEffectItem
{
	int id;
	IZeEffect* effect;
};

// An image: the texture belongs to the video driver. made is 1 for render
// targets made by zeMakeImage, which leave the driver with the image.
struct SZeImageItem
{
	irr::video::ITexture* texture;
	int made;
};
