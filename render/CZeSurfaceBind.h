// The bind that serves the surface of the material being drawn to its
// effect: the node extension's surface of the material's index, read from
// its parameter block at every draw.
//
// LightWave surfaces answer "LW_" followed by a channel name (getLightwaveChannelName):
// the channel's three values, or its one value (integers as floats) for a
// scalar parameter. HyperVoxel surfaces answer "LWHV_UseTextureColor",
// "LWHV_Color" (4), "LWHV_ParticleSize", "LWHV_Rotation", "LWHV_BlendMode",
// "LWHV_ColorKeyCount", "LWHV_ColorKeyPosition" (9), "LWHV_ColorKeyValue" (9 x 4),
// "LWHV_SizeKeyCount", "LWHV_SizeKeyPosition" (9), "LWHV_SizeKeyValue" (9).
// A material without a surface of that kind leaves the parameter as it is.
#pragma once

class IZeEffectBind;
class IZeEffectManager;

// A new bind (the caller owns one reference).
IZeEffectBind* zeCreateSurfaceBind();
// Adds one surface bind to the effect manager's binds.
void zeRegisterSurfaceBind(IZeEffectManager* effects);
