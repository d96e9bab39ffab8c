// Binds: objects that give effect parameters engine values by parameter name
// or semantic, registered with the effect manager. Each pass lists the binds
// that answer its parameters, and the default effect callback lets each of
// them refresh its parameters whenever a material is drawn with the pass.
//
// Index:
//   - Binds and their draw context
//   - The semantic map
//   - Providers of the previous frame and of node-extension values
#pragma once

#include "core/IZeRenderer.h"
#include "effects/IZeEffect.h"

#include <irrlicht.h>

// ---- Binds and their draw context ---------------------------------------------------
struct SZeBindContext
{
	irr::IrrlichtDevice* Device;
	irr::video::IVideoDriver* Driver;
	const irr::video::SMaterial* Material;
	const SZeMaterialExt* Record;
};

class IZeEffectBind : public virtual irr::IReferenceCounted
{
public:
	// A key (0 or more) when the bind answers the parameter, else -1.
	virtual irr::s32 match(const SZeFxParameter& parameter) const = 0;
	// Sets the parameter's value for the draw about to happen.
	virtual void update(irr::s32 key, IZeEffect* effect, const SZeFxParameter* parameter, const SZeBindContext& context) = 0;
};

// ---- The semantic map -----------------------------------------------------------------
// Values published under semantic names (the post values of the renderers);
// a parameter declared with one of these semantics gets the value at every draw.
class IZeEffectBindSemanticMap : public IZeEffectBind
{
public:
	// false when the name exists or the type is not numeric (EZE_FX_PARAM_TYPE;
	// EZEFPT_FLOAT is 2). The value starts at zero.
	virtual bool addSemantic(const char* name, irr::s32 type) = 0;
	// false when the name is not registered.
	virtual bool setSemanticFloat(const char* name, irr::f32 value) = 0;
	virtual bool setSemanticFloatArray(const char* name, const irr::f32* values, irr::u32 count) = 0;
};

// ---- Providers of the previous frame and of node-extension values -------------------
// The previous frame's camera (IZeLastFrameInfo of the engine core: getPrevView,
// getPrevProjection), or null when there is none yet.
typedef IZeLastFrameInfo* (*ZeLastFrameInfoProvider)(void* user);

enum EZE_NODE_EXT_VALUE
{
	EZENEV_CUBEMAP_POSITION = 0,  // "CubeMapPosition"
	EZENEV_CUBEMAP_AABB_POSITION, // "CubeMapAABBPosition"
	EZENEV_CUBEMAP_AABB_SCALE     // "CubeMapAABBScale"
};

// Values the node extensions keep for their nodes.
class IZeNodeExtValues
{
public:
	virtual ~IZeNodeExtValues() = default;
	// false when the node has no such value (the bind then gives zeros).
	virtual bool getNodeExtValue(irr::scene::ISceneNode* node, EZE_NODE_EXT_VALUE value, irr::core::vector3df* out) const = 0;
};
