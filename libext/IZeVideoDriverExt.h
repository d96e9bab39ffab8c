// Driver states the 3D library lacks, and the device-reset callbacks.
#pragma once

#include <irrlicht.h>

// Stencil operations, numbered as the engine's data numbers them.
enum EZE_STENCIL_OP
{
	EZESO_KEEP = 1,
	EZESO_ZERO = 2,
	EZESO_REPLACE = 3,
	EZESO_INCRSAT = 4,
	EZESO_DECRSAT = 5,
	EZESO_INVERT = 6,
	EZESO_INCR = 7,
	EZESO_DECR = 8
};

// Comparisons, numbered as the library numbers its comparison functions.
enum EZE_COMPARE
{
	EZECMP_NEVER = 0,
	EZECMP_LESSEQUAL = 1,
	EZECMP_EQUAL = 2,
	EZECMP_LESS = 3,
	EZECMP_NOTEQUAL = 4,
	EZECMP_GREATEREQUAL = 5,
	EZECMP_GREATER = 6,
	EZECMP_ALWAYS = 7
};

class IZeVideoDriverExt
{
public:
	virtual ~IZeVideoDriverExt() = default;
	// Stencil test on or off; the reference value is 1 while on.
	virtual void setStencilEnable(bool enable) = 0;
	// What a passing fragment does to the stencil: 1 keep, 3 replace.
	virtual void setStencilPass(int operation) = 0;
	// The stencil comparison: 2 equal, 7 always (the engine's numbering).
	virtual void setStencilFunc(int comparison) = 0;
	// Separate blending of the alpha channel (colour: source alpha, one minus
	// source alpha; alpha: one, one minus source alpha) on or off.
	virtual void setSeparateAlphaBlend(bool enable) = 0;
	// A depth test that never passes (fragments write nothing), or back to the material's.
	virtual void setDepthNeverPass(bool enable) = 0;
};

// A driver extension over the OpenGL driver, or one that does nothing for the
// NULL driver. The caller deletes it.
IZeVideoDriverExt* zeCreateVideoDriverExt(irr::video::IVideoDriver* driver);

// Device-reset callbacks: called before and after the device is reset. On
// OpenGL the device is never lost, so only zeFireDeviceReset calls them.
typedef void (*ZeDeviceResetCallback)(void* user);
void zeSetDeviceResetCallbacks(ZeDeviceResetCallback preReset, ZeDeviceResetCallback postReset, void* user);
// Runs the pre-reset then the post-reset callback.
void zeFireDeviceReset();
