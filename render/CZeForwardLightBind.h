// The bind that serves the lights of the frame to effects that light their
// surfaces themselves (the forward pass of transparent surfaces), and the
// scene's ambient light. The lights are the driver's dynamic lights, which
// the scene's light nodes set when a frame begins; at most eight are served.
//
// Parameters, by name or semantic (world space):
//   ForwardLightCount       float     the number of lights served (0 to 8)
//   ForwardLightPosition    float4[8] position, and the type in w (0 point, 1 spot, 2 directional)
//   ForwardLightDirection   float4[8] the way the light shines (unit), and 1 / radius^2 in w
//   ForwardLightColor       float4[8] the diffuse colour, alpha in w
//   ForwardLightCone        float4[8] cos(inner cone), cos(outer cone) of spot lights, 0, 0
//   AmbientLight            float3    the scene manager's ambient light
#pragma once

class IZeEffectBind;
class IZeEffectManager;

// The most lights the bind serves.
const unsigned ZE_FORWARD_LIGHTS = 8;

// A new bind (the caller owns one reference).
IZeEffectBind* zeCreateForwardLightBind();
// Adds one forward-light bind to the effect manager's binds.
void zeRegisterForwardLightBind(IZeEffectManager* effects);
