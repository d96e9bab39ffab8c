// The per-ID records of the engine API's object, cube-map and renderer tables.
#pragma once

#include <irrlicht.h>

class IZeCubeMap;
class IZeRenderer;

// An object: the scene graph owns the node, the record only points at it.
struct SZeObjectItem
{
	irr::scene::ISceneNode* node;
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
