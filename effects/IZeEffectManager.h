// The effect manager: builds effects from effect files, keeps the binds and
// the material renderers through which materials draw with effects.
#pragma once

#include "core/IZeGpuProgramming.h"
#include "effects/IZeEffect.h"
#include "effects/IZeEffectBind.h"

#include <irrlicht.h>

class IZeEffectManager
{
public:
	virtual ~IZeEffectManager() = default;

	// Reads an effect file, compiles its passes with the macros (null: none)
	// and returns a new effect holding one reference, or null with the reason
	// in getLastError. A base material type of 0 or more replaces the passes'
	// own ("material" lines); -1 keeps them. A null callback: the default one.
	virtual IZeEffect* createEffect(const char* file, irr::s32 baseMaterialType, const SZeMacro* macros,
		IZeEffectCallback* callback) = 0;
	// The text of the last load or creation error ("" when none).
	virtual const char* getLastError() const = 0;

	// Binds: added ones are held and asked, in order, after the built-in ones.
	virtual void addEffectBind(IZeEffectBind* bind) = 0;
	virtual bool removeEffectBind(IZeEffectBind* bind) = 0;
	// A new semantic map already added to the binds (the caller owns one
	// reference), or null.
	virtual IZeEffectBindSemanticMap* createEffectBindSemanticMap() = 0;

	// The previous frame for the "LastView"/"LastProjection" semantics; without
	// a provider (or while it answers null) they give the current matrices.
	virtual void setLastFrameInfoProvider(ZeLastFrameInfoProvider provider, void* user) = 0;
	// Node-extension values (not held); without one they are zero.
	virtual void setNodeExtValues(IZeNodeExtValues* values) = 0;

	// Lets go of the textures that effect draws left bound on the units past
	// the library's (the next draw binds again); for a caller whose inputs
	// must not outlive its draw.
	virtual void releaseTextureUnits() = 0;

	virtual IZeEffectCallback* getDefaultCallback() const = 0;
	// The library material type drawing effects over a base material type
	// (-1: solid); registered with the driver on first use. -1 on failure.
	virtual irr::s32 getMaterialType(irr::s32 baseMaterialType) = 0;
};

// A manager over a device and the GPU-programming service (neither owned; both
// must outlive it). The caller deletes it, before the device.
IZeEffectManager* zeCreateEffectManager(irr::IrrlichtDevice* device, IZeGpuProgramming* gpu);

// The name of LightWave surface channel 0 to 38; "" for any other index.
const char* getLightwaveChannelName(irr::u32 index);
