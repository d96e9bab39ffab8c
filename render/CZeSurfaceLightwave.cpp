#include "render/CZeSurfaceLightwave.h"

#include "core/IZeManager.h"
#include "effects/IZeEffect.h"
#include "effects/IZeEffectManager.h"
#include "libext/ZeMaterialExt.h"
#include "libext/ZeTextureExt.h"
#include "render/IZeSceneNodeExt.h"

using namespace irr;

namespace
{
// Channels that carry a texture, in channel order.
const u32 TEXTURED_CHANNELS[ZE_LIGHTWAVE_TEXTURED_CHANNEL_COUNT] = {EZELW_BASE_COLOR, EZELW_LUMINOSITY,
	EZELW_DIFFUSE, EZELW_SPECULARITY, EZELW_REFLECTIVITY, EZELW_TRANSPARENCY, EZELW_TRANSLUCENCY, EZELW_IOR,
	EZELW_BUMP, EZELW_GLOSSINESS, EZELW_REFLECTION_IMAGE, EZELW_REFRACTION_IMAGE};
const u32 TEXTURED_COUNT = ZE_LIGHTWAVE_TEXTURED_CHANNEL_COUNT;

// More samplers than a program has texture units to read them with are not bound.
const u32 MAX_SAMPLERS = 32;
// The textured channel (0 to TEXTURED_COUNT - 1) of a channel, -1 when it
// carries no texture.
s32 texturedIndexOf(s32 channel)
{
	for (u32 k = 0; k < TEXTURED_COUNT; ++k)
		if (static_cast<s32>(TEXTURED_CHANNELS[k]) == channel)
			return static_cast<s32>(k);
	return -1;
}

// Macro bits.
enum
{
	BIT_TEX_COLOR = 0,
	BIT_TEX_LUMINOSITY,
	BIT_TEX_DIFFUSE,
	BIT_TEX_SPECULAR,
	BIT_TEX_GLOSSINESS,
	BIT_TEX_REFLECIMG,
	BIT_TEX_REFLECTIVITY,
	BIT_TEX_TRANSPARENCY,
	BIT_TEX_TRANSLUCENCY,
	BIT_TEX_NORMAL,
	BIT_TRANSPARENT,
	BIT_TRANSLUCENCY,
	BIT_TEX_REFLECCUBE,
	BIT_COMPTANGENT,
	BIT_UV2,
	BIT_UV2INTEX2,
	BIT_UV2_TEX_COLOR,
	BIT_UV2_TEX_LUMINOSITY,
	BIT_UV2_TEX_DIFFUSE,
	BIT_UV2_TEX_SPECULAR,
	BIT_UV2_TEX_GLOSSINESS,
	BIT_UV2_TEX_REFLECTIVITY,
	BIT_UV2_TEX_TRANSPARENCY,
	BIT_UV2_TEX_TRANSLUCENCY,
	BIT_UV2_TEX_NORMAL,
	BIT_CUBEMAPAABB,
	BIT_NODECUBEMAP,
	BIT_COUNT
};

const char* const MACRO_NAMES[BIT_COUNT] = {"USE_TEX_COLOR", "USE_TEX_LUMINOSITY", "USE_TEX_DIFFUSE",
	"USE_TEX_SPECULAR", "USE_TEX_GLOSSINESS", "USE_TEX_REFLECIMG", "USE_TEX_REFLECTIVITY", "USE_TEX_TRANSPARENCY",
	"USE_TEX_TRANSLUCENCY", "USE_TEX_NORMAL", "USE_TRANSPARENT", "USE_TRANSLUCENCY", "USE_TEX_REFLECCUBE",
	"USE_COMPTANGENT", "USE_UV2", "USE_UV2INTEX2", "USE_UV2_TEX_COLOR", "USE_UV2_TEX_LUMINOSITY",
	"USE_UV2_TEX_DIFFUSE", "USE_UV2_TEX_SPECULAR", "USE_UV2_TEX_GLOSSINESS", "USE_UV2_TEX_REFLECTIVITY",
	"USE_UV2_TEX_TRANSPARENCY", "USE_UV2_TEX_TRANSLUCENCY", "USE_UV2_TEX_NORMAL", "USE_CUBEMAPAABB",
	"USE_NODECUBEMAP"};

// The second-UV mask of a material: mask bit value and the macro bit it sets.
struct SUv2Bit
{
	u32 Mask;
	u32 Bit;
};
const SUv2Bit UV2_BITS[] = {{1, BIT_UV2_TEX_COLOR}, {2, BIT_UV2_TEX_DIFFUSE}, {4, BIT_UV2_TEX_LUMINOSITY},
	{8, BIT_UV2_TEX_SPECULAR}, {16, BIT_UV2_TEX_REFLECTIVITY}, {32, BIT_UV2_TEX_TRANSPARENCY},
	{64, BIT_UV2_TEX_NORMAL}, {128, BIT_UV2_TEX_TRANSLUCENCY}, {256, BIT_UV2_TEX_GLOSSINESS}};

const f32 BYTE_TO_UNIT = 1.0f / 255.0f;
const f32 PARALLAX_SCALE = 0.035f;

f32 luminance(const video::SColor& c)
{
	return (0.3f * c.getRed() + 0.59f * c.getGreen() + 0.11f * c.getBlue()) * BYTE_TO_UNIT;
}

video::SColor opaqueColor(f32 r, f32 g, f32 b)
{
	return video::SColorf(core::clamp(r, 0.0f, 1.0f), core::clamp(g, 0.0f, 1.0f), core::clamp(b, 0.0f, 1.0f), 1.0f)
		.toSColor();
}

bool isParallax(s32 type)
{
	return type == video::EMT_PARALLAX_MAP_SOLID || type == video::EMT_PARALLAX_MAP_TRANSPARENT_VERTEX_ALPHA;
}

} // namespace

CZeSurfaceLightwave::CZeSurfaceLightwave()
{
	std::memset(Channels, 0, sizeof(Channels));
	for (f32& v : Channels[EZELW_BASE_COLOR].Value)
		v = 0.78f;
	Channels[EZELW_DIFFUSE].Value[0] = 1.0f;
	Channels[EZELW_BUMP].Value[0] = 1.0f;
	Channels[EZELW_GLOSSINESS].Value[0] = 0.4f;
	Channels[EZELW_LINE_SIZE].Value[0] = 1.0f;
	Channels[EZELW_VERTEX_COLORING].Value[0] = 1.0f;
}

CZeSurfaceLightwave::CZeSurfaceLightwave(const CZeSurfaceLightwave& other) : IZeSurfaceLightwave()
{
	std::memcpy(Channels, other.Channels, sizeof(Channels));
}

IZeSurface* CZeSurfaceLightwave::clone() const
{
	return new CZeSurfaceLightwave(*this);
}

// ---- Channels ----------------------------------------------------------------------
void CZeSurfaceLightwave::setParams(const SZeLightwaveChannel* channels)
{
	if (channels)
		std::memcpy(Channels, channels, sizeof(Channels));
}

void CZeSurfaceLightwave::setParamFloat(u32 i, f32 value)
{
	if (i < ZE_LIGHTWAVE_CHANNEL_COUNT)
		Channels[i].Value[0] = value;
}

void CZeSurfaceLightwave::setParamInt(u32 i, s32 value)
{
	if (i < ZE_LIGHTWAVE_CHANNEL_COUNT)
		Channels[i].setInt(value);
}

void CZeSurfaceLightwave::setParamFloat3(u32 i, f32 x, f32 y, f32 z)
{
	if (i >= ZE_LIGHTWAVE_CHANNEL_COUNT)
		return;
	Channels[i].Value[0] = x;
	Channels[i].Value[1] = y;
	Channels[i].Value[2] = z;
}

void CZeSurfaceLightwave::setParamTexture(u32 i, video::ITexture* texture)
{
	if (i < ZE_LIGHTWAVE_CHANNEL_COUNT)
		Channels[i].Texture = texture;
}

void CZeSurfaceLightwave::setParamFlag(u32 i, u8 srgb)
{
	if (i < ZE_LIGHTWAVE_CHANNEL_COUNT)
		Channels[i].SRGB = srgb;
}

const SZeLightwaveChannel& CZeSurfaceLightwave::getParam(u32 i) const
{
	static const SZeLightwaveChannel none = {};
	return i < ZE_LIGHTWAVE_CHANNEL_COUNT ? Channels[i] : none;
}

// ---- Materials ---------------------------------------------------------------------
void CZeSurfaceLightwave::initFromMaterial(const video::SMaterial& material)
{
	std::memset(Channels, 0, sizeof(Channels));
	const s32 type = material.MaterialType;

	SZeLightwaveChannel& base = Channels[EZELW_BASE_COLOR];
	base.Value[0] = material.DiffuseColor.getRed() * BYTE_TO_UNIT;
	base.Value[1] = material.DiffuseColor.getGreen() * BYTE_TO_UNIT;
	base.Value[2] = material.DiffuseColor.getBlue() * BYTE_TO_UNIT;
	base.Texture = ze::getMaterialTexture(material, 0);

	Channels[EZELW_LUMINOSITY].Value[0] = luminance(material.EmissiveColor);
	Channels[EZELW_DIFFUSE].Value[0] = 1.0f;
	Channels[EZELW_SPECULARITY].Value[0] = luminance(material.SpecularColor);
	Channels[EZELW_GLOSSINESS].Value[0] = material.Shininess * 0.0078125f;

	if (type == video::EMT_REFLECTION_2_LAYER)
	{
		Channels[EZELW_REFLECTIVITY].Value[0] = 1.0f;
		Channels[EZELW_REFLECTION_OPTIONS].setInt(2);
		Channels[EZELW_REFLECTION_IMAGE].Texture = ze::getMaterialTexture(material, 1);
	}
	if (type == video::EMT_TRANSPARENT_ALPHA_CHANNEL)
		Channels[EZELW_TRANSPARENCY].Texture = ze::getMaterialTexture(material, 0);
	else if (type == video::EMT_TRANSPARENT_VERTEX_ALPHA || type == video::EMT_TRANSPARENT_REFLECTION_2_LAYER ||
		type == video::EMT_PARALLAX_MAP_TRANSPARENT_VERTEX_ALPHA)
		Channels[EZELW_TRANSPARENCY].Value[0] = 1.0f;
	if (isParallax(type))
	{
		Channels[EZELW_BUMP].Texture = ze::getMaterialTexture(material, 1);
		Channels[EZELW_BUMP].Value[0] = material.MaterialTypeParam / PARALLAX_SCALE;
	}

	Channels[EZELW_SIDEDNESS].setInt(material.BackfaceCulling ? 0 : 3);
	if (material.PointCloud)
	{
		Channels[EZELW_RENDER_OUTLINES].Value[0] = 1.0f;
		Channels[EZELW_LINE_SIZE].Value[0] = material.Thickness;
	}
	else if (material.Wireframe)
	{
		Channels[EZELW_RENDER_OUTLINES].Value[0] = 1.0f;
		Channels[EZELW_LINE_SIZE].Value[0] = 0.5f;
	}
	if (material.ColorMaterial == video::ECM_DIFFUSE)
		Channels[EZELW_VERTEX_COLORING].Value[0] = 1.0f;
}

bool CZeSurfaceLightwave::usesReflectionImage() const
{
	return Channels[EZELW_REFLECTION_OPTIONS].getInt() >= 2 && Channels[EZELW_REFLECTION_IMAGE].Texture;
}

bool CZeSurfaceLightwave::isReflective() const
{
	const SZeLightwaveChannel& reflectivity = Channels[EZELW_REFLECTIVITY];
	return usesReflectionImage() && (reflectivity.Value[0] != 0.0f || reflectivity.Texture);
}

void CZeSurfaceLightwave::applyToMaterial(video::SMaterial& material) const
{
	const bool reflective = isReflective();
	const bool bumpTexture = Channels[EZELW_BUMP].Texture != nullptr;
	const SZeLightwaveChannel& transparency = Channels[EZELW_TRANSPARENCY];
	video::E_MATERIAL_TYPE type;
	if (transparency.Texture)
		type = bumpTexture ? video::EMT_PARALLAX_MAP_TRANSPARENT_VERTEX_ALPHA
			: reflective   ? video::EMT_TRANSPARENT_REFLECTION_2_LAYER
						   : video::EMT_TRANSPARENT_ALPHA_CHANNEL;
	else if (transparency.Value[0] != 0.0f)
		type = bumpTexture ? video::EMT_PARALLAX_MAP_TRANSPARENT_VERTEX_ALPHA
			: reflective   ? video::EMT_TRANSPARENT_REFLECTION_2_LAYER
						   : video::EMT_TRANSPARENT_VERTEX_ALPHA;
	else
		type = bumpTexture ? video::EMT_PARALLAX_MAP_SOLID : reflective ? video::EMT_REFLECTION_2_LAYER : video::EMT_SOLID;
	material.MaterialType = type;
	if (isParallax(type))
		material.MaterialTypeParam = Channels[EZELW_BUMP].Value[0] * PARALLAX_SCALE;

	if (type == video::EMT_TRANSPARENT_VERTEX_ALPHA || type == video::EMT_PARALLAX_MAP_TRANSPARENT_VERTEX_ALPHA)
		material.ColorMaterial = video::ECM_DIFFUSE;
	else
		material.ColorMaterial = Channels[EZELW_VERTEX_COLORING].Value[0] != 0.0f ? video::ECM_DIFFUSE : video::ECM_AMBIENT;

	const f32* base = Channels[EZELW_BASE_COLOR].Value;
	const f32 diffuse = Channels[EZELW_DIFFUSE].Value[0];
	const f32 luminosity = Channels[EZELW_LUMINOSITY].Value[0];
	const f32 specularity = Channels[EZELW_SPECULARITY].Value[0];
	material.DiffuseColor = opaqueColor(base[0] * diffuse, base[1] * diffuse, base[2] * diffuse);
	material.EmissiveColor = opaqueColor(base[0] * luminosity, base[1] * luminosity, base[2] * luminosity);
	material.SpecularColor = opaqueColor(specularity, specularity, specularity);
	material.Shininess = Channels[EZELW_GLOSSINESS].Value[0] * 128.0f;

	if (Channels[EZELW_RENDER_OUTLINES].Value[0] != 0.0f)
	{
		const f32 lineSize = Channels[EZELW_LINE_SIZE].Value[0];
		material.PointCloud = lineSize >= 1.0f;
		material.Wireframe = lineSize > 0.0f && lineSize < 1.0f;
		if (material.PointCloud)
			material.Thickness = lineSize;
	}
	material.BackfaceCulling = Channels[EZELW_SIDEDNESS].getInt() != 3;

	auto putLayer = [&material](u32 layer, const SZeLightwaveChannel& channel) {
		ze::setMaterialTexture(material, layer, channel.Texture);
		ze::setMaterialTextureSRGB(material, layer, channel.SRGB);
	};
	putLayer(0, Channels[EZELW_BASE_COLOR]);
	if (type == video::EMT_REFLECTION_2_LAYER || type == video::EMT_TRANSPARENT_REFLECTION_2_LAYER)
		putLayer(1, Channels[EZELW_REFLECTION_IMAGE]);
	else if (isParallax(type))
		putLayer(1, Channels[EZELW_BUMP]);

	material.NormalizeNormals = true;
	for (u32 i = 0; i < video::MATERIAL_MAX_TEXTURES; ++i)
		material.TextureLayer[i].LODBias = -8;
	const ze::SMaterialExt* record = ze::getMaterialExt(material);
	ze::SMaterialExt layers = record ? *record : ze::SMaterialExt();
	for (ze::SMaterialLayerExt& layer : layers.TextureLayer)
		layer.LODBias = -8.0f;
	ze::setMaterialExt(material, layers);
}

// ---- Effect macros -----------------------------------------------------------------
u32 CZeSurfaceLightwave::macroBits(scene::ISceneNode* node) const
{
	u32 bits = 0;
	auto set = [&bits](u32 bit, bool on) {
		if (on)
			bits |= 1u << bit;
	};
	const SZeLightwaveChannel* c = Channels;
	set(BIT_TEX_COLOR, c[EZELW_BASE_COLOR].Texture);
	set(BIT_TEX_LUMINOSITY, c[EZELW_LUMINOSITY].Texture);
	set(BIT_TEX_DIFFUSE, c[EZELW_DIFFUSE].Texture);
	set(BIT_TEX_SPECULAR, c[EZELW_SPECULARITY].Texture);
	set(BIT_TEX_GLOSSINESS, c[EZELW_GLOSSINESS].Texture);
	const bool reflection = usesReflectionImage();
	set(BIT_TEX_REFLECIMG, reflection);
	set(BIT_TEX_REFLECTIVITY, reflection && c[EZELW_REFLECTIVITY].Texture);
	set(BIT_TEX_TRANSPARENCY, c[EZELW_TRANSPARENCY].Texture);
	set(BIT_TEX_TRANSLUCENCY, c[EZELW_TRANSLUCENCY].Texture);
	set(BIT_TEX_NORMAL, c[EZELW_BUMP].Texture);
	set(BIT_TRANSPARENT, c[EZELW_TRANSPARENCY].Texture || c[EZELW_TRANSPARENCY].Value[0] != 0.0f);
	set(BIT_TRANSLUCENCY, c[EZELW_TRANSLUCENCY].Texture || c[EZELW_TRANSLUCENCY].Value[0] != 0.0f);
	video::ITexture* reflectionImage = c[EZELW_REFLECTION_IMAGE].Texture;
	set(BIT_TEX_REFLECCUBE, reflection && ze::getTextureKind(ze::resolve(reflectionImage)) == ze::ETK_CUBE);

	IZeSceneNodeExt* ext = zeFindSceneNodeExt(node);
	if (!ext)
		return bits;
	const bool tangents = ext->needTangents();
	const bool uv2 = ext->hasMeshMaterialsUVs();
	set(BIT_COMPTANGENT, hasNormalMap() && !tangents);
	set(BIT_UV2, uv2);
	set(BIT_UV2INTEX2, tangents && uv2);
	const s32 index = ext->findMaterialSurfaceIndex(this);
	u32 uvs[2] = {0, 0};
	if (index >= 0 && ext->getMeshMaterialsUVs(static_cast<u32>(index), &uvs[0], &uvs[1]))
		for (const SUv2Bit& b : UV2_BITS)
			set(b.Bit, (uvs[1] & b.Mask) != 0);
	const bool nodeCube = reflection && reflectionImage == ext->getCubeMapTexture();
	set(BIT_NODECUBEMAP, nodeCube);
	set(BIT_CUBEMAPAABB, nodeCube && ext->isCubeMapAABBEnabled());
	return bits;
}

bool CZeSurfaceLightwave::getEffectCompileParameters(s32& materialType, SZeMacro* macros, u32& count,
	scene::ISceneNode* node)
{
	const u32 bits = macroBits(node);
	materialType = (bits & (1u << BIT_TRANSPARENT)) ? video::EMT_TRANSPARENT_ALPHA_CHANNEL : video::EMT_SOLID;
	if (count == 0 || !macros)
		return true;
	const u32 capacity = count;
	u32 appended = 0;
	for (u32 bit = 0; bit < BIT_COUNT; ++bit)
	{
		if (bits & (1u << bit))
			macros[appended++] = SZeMacro{MACRO_NAMES[bit], nullptr};
		if (appended >= capacity)
		{
			zeEngineLog(3, "CZeSurfaceLightwave::getEffectCompileParameters Not enough space for macros");
			return false;
		}
	}
	macros[appended] = SZeMacro{nullptr, nullptr};
	count = appended;
	return true;
}

// ---- Effect textures ---------------------------------------------------------------
// One pass over the effect's parameters finds the channels' samplers (the effect
// resolved their names when it was built); they are then bound in channel order.
bool CZeSurfaceLightwave::bindTextures(IZeEffect* effect, video::SMaterial* material, u32 technique, u32 pass)
{
	if (!effect)
		return false;
	struct SFound
	{
		const SZeFxParameter* Sampler;
		u32 Channel;  // textured channel index
	};
	SFound found[MAX_SAMPLERS];
	u32 count = 0;
	const u32 parameters = effect->getParameterCount();
	for (u32 i = 0; i < parameters && count < MAX_SAMPLERS; ++i)
	{
		const SZeFxParameter* parameter = effect->getParameter(i);
		const s32 k = parameter && parameter->LightwaveChannel >= 0 ? texturedIndexOf(parameter->LightwaveChannel) : -1;
		if (k < 0)
			continue;
		found[count++] = {parameter, static_cast<u32>(k)};
	}
	for (u32 k = 0; k < TEXTURED_COUNT; ++k)
	{
		const SZeLightwaveChannel& c = Channels[TEXTURED_CHANNELS[k]];
		for (u32 i = 0; i < count; ++i)
		{
			if (found[i].Channel != k)
				continue;
			const char* name = found[i].Sampler->Name.c_str();
			if (!material)
			{
				if (!effect->setSamplerTexture(found[i].Sampler, c.Texture, c.SRGB != 0))
				{
					zeEngineLog(3, "CZeSurfaceLightwave::setEffectTextures setSamplerTexture failed for %s", name);
					return false;
				}
			}
			else if (!effect->setSamplerTextureOnMaterial(technique, pass, found[i].Sampler, *material, c.Texture,
				c.SRGB != 0))
			{
				zeEngineLog(3,
					"CZeSurfaceLightwave::setEffectTextureOnMaterial setSamplerTextureOnMaterial failed for %s", name);
				return false;
			}
		}
	}
	return true;
}

bool CZeSurfaceLightwave::setEffectTextures(IZeEffect* effect)
{
	return bindTextures(effect, nullptr, 0, 0);
}

bool CZeSurfaceLightwave::setEffectTextureOnMaterial(video::SMaterial& material, IZeEffect* effect, u32 technique,
	u32 pass)
{
	return bindTextures(effect, &material, technique, pass);
}
