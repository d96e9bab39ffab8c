#include "effects/IZeEffectManager.h"

namespace
{
// The channels of a LightWave surface, in channel order.
const char* const g_channelNames[] = {
	"BaseColor", "Luminosity", "Diffuse", "Specularity", "Reflectivity", "Transparency", "Translucency", "IOR",
	"Bump", "Glossiness", "SpecialBuffer1", "SpecialBuffer2", "SpecialBuffer3", "SpecialBuffer4",
	"DiffuseSharpness", "BumpDropoff", "SmoothingAngle", "ReflectionSeamAngle", "RefractionSeamAngle",
	"ReflectionBlurring", "RefractionBlurring", "ColorFilter", "ColorHighlights", "AdditiveTransparency",
	"AlphaValue", "GlowValue", "LineColor", "LineSize", "AlphaOptions", "ReflectionOptions", "RefractionOptions",
	"Sidedness", "ExcludeFromVStack", "Glow", "RenderOutlines", "ReflectionImage", "RefractionImage",
	"VertexColoring", "VertexNormal"};
const irr::u32 CHANNEL_COUNT = sizeof(g_channelNames) / sizeof(g_channelNames[0]);
static_assert(sizeof(g_channelNames) / sizeof(g_channelNames[0]) == 39, "39 LightWave channels");
} // namespace

const char* getLightwaveChannelName(irr::u32 index)
{
	return index < CHANNEL_COUNT ? g_channelNames[index] : "";
}
