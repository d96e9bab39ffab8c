#include "effects/CZeEffect.h"
#include "effects/IZeEffectManager.h"

#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "libext/ZeGL.h"
#include "libext/ZeImageExt.h"
#include "libext/ZeMaterialExt.h"
#include "libext/ZeTextureExt.h"

#include <algorithm>
#include <cstring>
#include <cstdint>
#include <map>

using namespace irr;

namespace
{
// Samplers without a material layer read from units past the side record's.
const u32 EXTRA_FIRST_UNIT = ze::MATERIAL_EXT_FIRST_VERTEX_UNIT + ze::MATERIAL_MAX_VERTEX_TEXTURES;
const u32 MAX_UNITS = 32;

EZE_SAMPLER_KIND samplerKindOf(EZE_CONSTANT_TYPE type)
{
	switch (type)
	{
	case EZECT_SAMPLER_2D:
		return EZESK_2D;
	case EZECT_SAMPLER_CUBE:
		return EZESK_CUBE;
	case EZECT_SAMPLER_3D:
		return EZESK_3D;
	default:
		return EZESK_NONE;
	}
}

const char* kindName(EZE_SAMPLER_KIND kind)
{
	static const char* const names[] = {"none", "2D", "CUBE", "3D"};
	return names[kind];
}

GLenum glTarget(EZE_SAMPLER_KIND kind)
{
	return kind == EZESK_CUBE ? GL_TEXTURE_CUBE_MAP : kind == EZESK_3D ? GL_TEXTURE_3D : GL_TEXTURE_2D;
}

// The texture kind a sampler of the kind reads; ETK_INDIRECT for none.
ze::E_TEXTURE_KIND textureKindOf(EZE_SAMPLER_KIND kind)
{
	return kind == EZESK_2D ? ze::ETK_2D : kind == EZESK_CUBE ? ze::ETK_CUBE : kind == EZESK_3D ? ze::ETK_3D
		: ze::ETK_INDIRECT;
}

// Whether a texture (null included) may feed a sampler of the kind.
bool kindFits(video::ITexture* texture, EZE_SAMPLER_KIND kind)
{
	video::ITexture* real = ze::resolve(texture);
	return !real || ze::getTextureKind(real) == textureKindOf(kind);
}

// What a sampler of the kind is given for a texture: the stand-in of its kind
// when the texture names one (a cube map's cube or lat-long copy).
video::ITexture* forKind(video::ITexture* texture, EZE_SAMPLER_KIND kind)
{
	return ze::forSamplerKind(texture, textureKindOf(kind));
}

// A parameter for a constant the file does not declare.
SZeFxParameter parameterOf(const SZeShaderConstant& c)
{
	SZeFxParameter p;
	p.Name = c.Name;
	p.Rows = std::max(c.Rows, 1u);
	p.Columns = std::max(c.Columns, 1u);
	p.Elements = std::max(c.Elements, 1u);
	p.SamplerKind = samplerKindOf(c.Type);
	if (p.SamplerKind != EZESK_NONE)
	{
		p.Type = EZEFPT_SAMPLER;
		p.Rows = p.Columns = 1;
		p.Layer = -2;
	}
	else if (c.Type == EZECT_BOOL)
		p.Type = EZEFPT_BOOL;
	else if (c.Type == EZECT_INT)
		p.Type = EZEFPT_INT;
	else if (p.Rows > 1)
		p.Type = EZEFPT_MATRIX;
	else
		p.Type = static_cast<EZE_FX_PARAM_TYPE>(EZEFPT_FLOAT + std::min(p.Columns, 4u) - 1);
	return p;
}

// The blending a base material type implies when a pass sets none.
void baseBlending(s32 type, SZeFxPass* pass)
{
	switch (type)
	{
	case video::EMT_TRANSPARENT_ADD_COLOR:
	case video::EMT_NORMAL_MAP_TRANSPARENT_ADD_COLOR:
	case video::EMT_PARALLAX_MAP_TRANSPARENT_ADD_COLOR:
		pass->Blend = true, pass->Src = EZEFB_ONE, pass->Dst = EZEFB_INV_SRC_COLOR;
		break;
	case video::EMT_TRANSPARENT_ALPHA_CHANNEL:
	case video::EMT_TRANSPARENT_VERTEX_ALPHA:
	case video::EMT_TRANSPARENT_REFLECTION_2_LAYER:
	case video::EMT_NORMAL_MAP_TRANSPARENT_VERTEX_ALPHA:
	case video::EMT_PARALLAX_MAP_TRANSPARENT_VERTEX_ALPHA:
	case video::EMT_ONETEXTURE_BLEND:
		pass->Blend = true, pass->Src = EZEFB_SRC_ALPHA, pass->Dst = EZEFB_INV_SRC_ALPHA;
		break;
	default:
		pass->Blend = false;
	}
	pass->SeparateAlpha = false;
	pass->BlendSet = true;
}

GLenum glFactor(EZE_FX_BLEND_FACTOR f)
{
	static const GLenum factors[] = {GL_ZERO, GL_ONE, GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR, GL_SRC_ALPHA,
		GL_ONE_MINUS_SRC_ALPHA, GL_DST_COLOR, GL_ONE_MINUS_DST_COLOR, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA,
		GL_SRC_ALPHA_SATURATE};
	return factors[f];
}

void applyBlending(const SZeFxPass& p)
{
	if (!p.Blend)
	{
		glDisable(GL_BLEND);
		return;
	}
	static const GLenum ops[] = {GL_FUNC_ADD, GL_FUNC_SUBTRACT, GL_FUNC_REVERSE_SUBTRACT, GL_MIN, GL_MAX};
	glEnable(GL_BLEND);
	glBlendFuncSeparate(glFactor(p.Src), glFactor(p.Dst), glFactor(p.SeparateAlpha ? p.SrcAlpha : p.Src),
		glFactor(p.SeparateAlpha ? p.DstAlpha : p.Dst));
	glBlendEquation(ops[p.BlendOp]);
}

// A constant's registers from a parameter's values: vectors and row_major
// matrices one row per register, column_major matrices one column per register.
void fillRegisters(const SZeShaderConstant& c, const SZeFxParameter& p, const std::vector<f32>& v, std::vector<f32>* regs)
{
	regs->assign(static_cast<size_t>(c.RegisterCount) * 4, 0.f);
	const u32 rows = std::max(c.Rows, 1u), cols = std::max(c.Columns, 1u);
	const bool byColumns = rows > 1 && !c.RowMajor;
	const u32 perElement = byColumns ? cols : rows;
	const u32 elements = std::min(std::max(c.Elements, 1u), p.Elements);
	for (u32 e = 0; e < elements; ++e)
		for (u32 r = 0; r < rows && r < p.Rows; ++r)
			for (u32 k = 0; k < cols && k < p.Columns; ++k)
			{
				const u32 reg = e * perElement + (byColumns ? k : r);
				if (reg < c.RegisterCount)
					(*regs)[reg * 4 + (byColumns ? r : k)] = v[(e * p.Rows + r) * p.Columns + k];
			}
}

// The LightWave channel a sampler's name is for ("LW_Tex_" and the channel's
// name), -1 for any other name.
s32 lightwaveChannelOf(const core::stringc& name)
{
	static const char PREFIX[] = "LW_Tex_";
	const size_t prefix = sizeof(PREFIX) - 1;
	if (name.size() <= prefix || std::strncmp(name.c_str(), PREFIX, prefix) != 0)
		return -1;
	for (u32 channel = 0; *getLightwaveChannelName(channel); ++channel)
		if (!std::strcmp(name.c_str() + prefix, getLightwaveChannelName(channel)))
			return static_cast<s32>(channel);
	return -1;
}
} // namespace

CZeEffect::CZeEffect(CZeEffectContext* context, IZeEffectCallback* callback) : Context(context), Callback(callback)
{
	Context->grab();
	if (Callback)
		Callback->grab();
}

CZeEffect::~CZeEffect()
{
	for (SValue& v : Values)
		if (v.Texture)
			v.Texture->drop();
	for (IZeShaderProgram* program : Programs)
		program->drop();
	if (Callback)
		Callback->drop();
	Context->drop();
}

bool CZeEffect::build(const SZeFxDef& def, s32 baseType, const SZeMacro* macros, core::stringc* error)
{
	File = def.File;
	Params = def.Parameters;

	// The caller's macros, then the file's own "define" lines.
	std::vector<SZeMacro> all;
	for (const SZeMacro* m = macros; m && m->Name; ++m)
		all.push_back(*m);
	for (u32 i = 0; i < def.Macros.size(); ++i)
		all.push_back(SZeMacro{def.Macros[i].Name.c_str(), def.Macros[i].Value.c_str()});
	all.push_back(SZeMacro{nullptr, nullptr});

	std::map<std::string, IZeShaderProgram*> linked;
	for (u32 t = 0; t < def.Techniques.size(); ++t)
	{
		const SZeFxTechnique& td = def.Techniques[t];
		STechnique tech;
		tech.Name = td.Name;
		tech.Annotations = td.Annotations;
		for (u32 p = 0; p < td.Passes.size(); ++p)
		{
			SPass pass;
			pass.Def = td.Passes[p];
			const std::string key = std::string(pass.Def.VertexEntry.c_str()) + "/" + pass.Def.PixelEntry.c_str();
			IZeShaderProgram*& program = linked[key];
			if (!program)
			{
				program = Context->Gpu->createProgram(File.c_str(), pass.Def.VertexEntry.c_str(),
					pass.Def.PixelEntry.c_str(), all.data());
				if (!program)
				{
					*error = File + ":" + core::stringc(pass.Def.Line) + ": pass '" + pass.Def.Name + "' of technique '" +
						tech.Name + "': " + Context->Gpu->getLastError();
					return false;
				}
				Programs.push_back(program);
			}
			pass.Program = program;
			if (baseType >= 0)
				pass.Def.MaterialType = baseType;
			if (!pass.Def.BlendSet)
				baseBlending(pass.Def.MaterialType, &pass.Def);
			pass.MaterialType = Context->getMaterialType(pass.Def.MaterialType);
			if (pass.MaterialType < 0)
			{
				*error = File + ":" + core::stringc(pass.Def.Line) + ": no material renderer for base type " +
					core::stringc(pass.Def.MaterialType);
				return false;
			}
			tech.Passes.push_back(pass);
		}
		Techniques.push_back(tech);
	}
	for (STechnique& tech : Techniques)
		for (SPass& pass : tech.Passes)
			if (!mapConstants(pass, true, error))
				return false;

	Values.resize(Params.size());
	for (u32 i = 0; i < Params.size(); ++i)
	{
		SZeFxParameter& p = Params[i];
		if (p.Layer == -2)
			p.Layer = -1;  // never linked: reads no layer
		Values[i].Values.assign(p.getComponentCount(), 0.f);
		for (u32 k = 0; k < p.Default.size() && k < p.getComponentCount(); ++k)
			Values[i].Values[k] = p.Default[k];
		Values[i].SRGB = p.SRGB;
		if (p.Type == EZEFPT_SAMPLER)
			p.LightwaveChannel = lightwaveChannelOf(p.Name);
		if (p.Type == EZEFPT_SAMPLER && !p.Texture.empty())
			Values[i].Texture = loadDefaultTexture(p);
	}
	return true;
}

video::ITexture* CZeEffect::loadDefaultTexture(const SZeFxParameter& param) const
{
	video::IVideoDriver* driver = Context->Driver;
	video::ITexture* texture = ze::findTexture(driver, param.Texture);
	if (texture)
	{
		texture->grab();
		return kindFits(texture, param.SamplerKind) ? texture : (texture->drop(), nullptr);
	}
	const char* path = zeFindDataFile(param.Texture.c_str());
	// A pipe or a device named as a texture would keep the reader waiting.
	if (!zeIsOpenableOnDisk(path))
		return nullptr;
	if (param.SamplerKind == EZESK_2D)
	{
		texture = driver->getTexture(path);
		if (texture)
			texture->grab();
	}
	else if (io::IReadFile* file = Context->Device->getFileSystem()->createAndOpenFile(path))
	{
		// Cube and volume textures come from DDS files.
		ze::IImageExt* image = ze::loadDDS(file);
		file->drop();
		if (image && param.SamplerKind == EZESK_CUBE && image->isCubeMap())
		{
			ze::ITextureCUBE* cube = ze::createTextureCUBE(driver, param.Texture, image->getDimension().Width,
				image->getFormat(), false);
			for (u32 face = 0; cube && face < 6; ++face)
				cube->uploadFace(face, image->getMipLevelData(face, 0), image->getSliceSize());
			texture = cube;
		}
		else if (image && param.SamplerKind == EZESK_3D && image->getDepth() > 1 && !image->isCubeMap())
		{
			ze::ITexture3D* volume = ze::createTexture3D(driver, param.Texture, image->getDimension().Width,
				image->getDimension().Height, image->getDepth(), image->getFormat());
			if (volume)
				volume->upload(image->getMipLevelData(0, 0), image->getSliceSize() * image->getDepth());
			texture = volume;
		}
		if (image)
			image->drop();
	}
	if (!texture)
		zeLog(EZELL_WARN, "%s:%u: cannot load texture '%s' of sampler %s", File.c_str(), param.Line,
			param.Texture.c_str(), param.Name.c_str());
	return texture;
}

bool CZeEffect::mapConstants(SPass& pass, bool building, core::stringc* error)
{
	const core::array<SZeShaderConstant>& constants = pass.Program->getConstants();
	pass.ConstantParams.assign(constants.size(), -1);
	for (u32 i = 0; i < constants.size(); ++i)
		Registers.reserve(static_cast<size_t>(constants[i].RegisterCount) * 4);
	pass.ProgramRevision = pass.Program->getRevision();
	pass.BindRevision = 0;
	for (u32 i = 0; i < constants.size(); ++i)
	{
		const SZeShaderConstant& c = constants[i];
		s32 index = getParameterIndex(c.Name.c_str());
		if (index < 0)
		{
			if (!building)
				continue;  // a rebuilt program's new constant: never set
			Params.push_back(parameterOf(c));
			index = static_cast<s32>(Params.size()) - 1;
		}
		SZeFxParameter& p = Params[index];
		const EZE_SAMPLER_KIND kind = samplerKindOf(c.Type);
		if (building && p.Declared && kind != p.SamplerKind)
		{
			*error = File + ":" + core::stringc(p.Line) + ": '" + p.Name + "' is declared " +
				(p.SamplerKind ? core::stringc("a ") + kindName(p.SamplerKind) + " sampler" : core::stringc("a number")) +
				" but the shader reads " + (kind ? core::stringc("a ") + kindName(kind) + " sampler" : core::stringc("a number"));
			return false;
		}
		if (kind != p.SamplerKind)
			continue;
		if (kind != EZESK_NONE && p.Layer == -2)
		{
			p.Layer = c.RegisterIndex < ze::MATERIAL_MAX_TEXTURES ? static_cast<s32>(c.RegisterIndex) : -1;
			p.Register = c.Stage == EZESS_PIXEL ? static_cast<s32>(c.RegisterIndex) : -1;
		}
		pass.ConstantParams[i] = index;
	}
	return true;
}

// ---- Lookups --------------------------------------------------------------------------
s32 CZeEffect::indexOf(const SZeFxParameter* parameter) const
{
	if (!parameter || Params.empty())
		return -1;
	const auto first = reinterpret_cast<std::uintptr_t>(Params.const_pointer());
	const auto at = reinterpret_cast<std::uintptr_t>(parameter);
	if (at < first || (at - first) % sizeof(SZeFxParameter) || (at - first) / sizeof(SZeFxParameter) >= Params.size())
		return -1;
	return static_cast<s32>((at - first) / sizeof(SZeFxParameter));
}

CZeEffect::SPass* CZeEffect::findPass(u32 technique, u32 pass)
{
	return technique < Techniques.size() && pass < Techniques[technique].Passes.size()
		? &Techniques[technique].Passes[pass] : nullptr;
}

const CZeEffect::SPass* CZeEffect::findPass(u32 technique, u32 pass) const
{
	return technique < Techniques.size() && pass < Techniques[technique].Passes.size()
		? &Techniques[technique].Passes[pass] : nullptr;
}

s32 CZeEffect::getTechniqueIndex(const char* name) const
{
	for (u32 i = 0; name && i < Techniques.size(); ++i)
		if (Techniques[i].Name == name)
			return static_cast<s32>(i);
	return -1;
}

const char* CZeEffect::getTechniqueName(u32 technique) const
{
	return technique < Techniques.size() ? Techniques[technique].Name.c_str() : nullptr;
}

u32 CZeEffect::getPassCount(u32 technique) const
{
	return technique < Techniques.size() ? static_cast<u32>(Techniques[technique].Passes.size()) : 0;
}

const SZeFxPass* CZeEffect::getPass(u32 technique, u32 pass) const
{
	const SPass* p = findPass(technique, pass);
	return p ? &p->Def : nullptr;
}

IZeShaderProgram* CZeEffect::getProgram(u32 technique, u32 pass) const
{
	const SPass* p = findPass(technique, pass);
	return p ? p->Program : nullptr;
}

const SZeFxAnnotation* CZeEffect::getTechniqueAnnotation(u32 technique, const char* name) const
{
	if (technique >= Techniques.size() || !name)
		return nullptr;
	const core::array<SZeFxAnnotation>& list = Techniques[technique].Annotations;
	for (u32 i = 0; i < list.size(); ++i)
		if (list[i].Name == name)
			return &list[i];
	return nullptr;
}

const char* CZeEffect::getAnnotationString(const SZeFxAnnotation* annotation) const
{
	return annotation ? annotation->Value.c_str() : nullptr;
}

const SZeFxParameter* CZeEffect::getParameter(u32 index) const
{
	return index < Params.size() ? &Params[index] : nullptr;
}

const SZeFxParameter* CZeEffect::getParameterByName(const char* name) const
{
	const s32 index = getParameterIndex(name);
	return index < 0 ? nullptr : &Params[index];
}

s32 CZeEffect::getParameterIndex(const char* name) const
{
	for (u32 i = 0; name && i < Params.size(); ++i)
		if (Params[i].Name == name)
			return static_cast<s32>(i);
	return -1;
}

u32 CZeEffect::getParametersByName(const char* name, core::array<const SZeFxParameter*>& out) const
{
	u32 found = 0;
	for (u32 i = 0; name && i < Params.size(); ++i)
		if (Params[i].Name == name)
		{
			out.push_back(&Params[i]);
			++found;
		}
	return found;
}

EZE_SAMPLER_KIND CZeEffect::getSamplerKind(const SZeFxParameter* parameter) const
{
	const s32 index = indexOf(parameter);
	return index < 0 ? EZESK_NONE : Params[index].SamplerKind;
}

// ---- Values ----------------------------------------------------------------------------
bool CZeEffect::setFloatArray(const SZeFxParameter* parameter, const f32* values, u32 count)
{
	const s32 index = indexOf(parameter);
	if (index < 0 || !values || !count || Params[index].Type == EZEFPT_SAMPLER ||
		count > Values[index].Values.size())
		return false;
	std::copy(values, values + count, Values[index].Values.begin());
	return true;
}

bool CZeEffect::setBool(const SZeFxParameter* parameter, bool value)
{
	const f32 v = value ? 1.f : 0.f;
	return setFloatArray(parameter, &v, 1);
}

bool CZeEffect::setInt(const SZeFxParameter* parameter, s32 value)
{
	const f32 v = static_cast<f32>(value);
	return setFloatArray(parameter, &v, 1);
}

bool CZeEffect::setFloat(const SZeFxParameter* parameter, f32 value)
{
	return setFloatArray(parameter, &value, 1);
}

bool CZeEffect::setMatrix(const SZeFxParameter* parameter, const core::matrix4& value)
{
	const s32 index = indexOf(parameter);
	if (index < 0 || Params[index].Type != EZEFPT_MATRIX || Params[index].Rows > 4 || Params[index].Columns > 4)
		return false;
	const SZeFxParameter& p = Params[index];
	f32 v[16];
	for (u32 r = 0; r < p.Rows; ++r)
		for (u32 c = 0; c < p.Columns; ++c)
			v[r * p.Columns + c] = value(static_cast<s32>(r), static_cast<s32>(c));
	return setFloatArray(parameter, v, p.Rows * p.Columns);
}

u32 CZeEffect::getFloatArray(const SZeFxParameter* parameter, f32* values, u32 count) const
{
	const s32 index = indexOf(parameter);
	if (index < 0 || !values)
		return 0;
	const u32 n = std::min(count, static_cast<u32>(Values[index].Values.size()));
	std::copy(Values[index].Values.begin(), Values[index].Values.begin() + n, values);
	return n;
}

void CZeEffect::setFloatByName(const char* name, f32 value)
{
	setFloat(getParameterByName(name), value);
}

void CZeEffect::setFloatArrayByName(const char* name, const f32* values, u32 count)
{
	setFloatArray(getParameterByName(name), values, count);
}

void CZeEffect::setMatrixByName(const char* name, const core::matrix4& value)
{
	setMatrix(getParameterByName(name), value);
}

// ---- Samplers and materials --------------------------------------------------------------
bool CZeEffect::setSamplerTexture(const SZeFxParameter* parameter, video::ITexture* texture, bool srgb)
{
	const s32 index = indexOf(parameter);
	if (index < 0 || Params[index].Type != EZEFPT_SAMPLER)
		return false;
	texture = forKind(texture, Params[index].SamplerKind);
	if (!kindFits(texture, Params[index].SamplerKind))
		return false;
	SValue& v = Values[index];
	if (texture)
		texture->grab();
	if (v.Texture)
		v.Texture->drop();
	v.Texture = texture;
	v.SRGB = srgb;
	return true;
}

bool CZeEffect::setSamplerTextureByIndex(s32 index, video::ITexture* texture)
{
	return index >= 0 && setSamplerTexture(getParameter(static_cast<u32>(index)), texture, false);
}

video::ITexture* CZeEffect::getSamplerTexture(const SZeFxParameter* parameter) const
{
	const s32 index = indexOf(parameter);
	return index < 0 ? nullptr : Values[index].Texture;
}

bool CZeEffect::setSamplerTextureOnMaterial(u32 technique, u32 pass, const SZeFxParameter* parameter,
	video::SMaterial& material, video::ITexture* texture, bool srgb)
{
	const s32 index = indexOf(parameter);
	if (!findPass(technique, pass) || index < 0 || Params[index].Type != EZEFPT_SAMPLER || Params[index].Layer < 0)
		return false;
	texture = forKind(texture, Params[index].SamplerKind);
	if (!kindFits(texture, Params[index].SamplerKind))
		return false;
	const u32 layer = static_cast<u32>(Params[index].Layer);
	ze::setMaterialTexture(material, layer, texture);
	ze::setMaterialTextureSRGB(material, layer, srgb ? 1 : 0);
	return true;
}

bool CZeEffect::applyMaterial(const SPass& pass, video::SMaterial& material, bool clearTextures) const
{
	const SZeFxPass& d = pass.Def;
	material.MaterialType = static_cast<video::E_MATERIAL_TYPE>(pass.MaterialType);
	material.MaterialTypeParam = 0.f;
	material.Lighting = false;
	material.ZBuffer = d.ZTest;
	material.ZWriteEnable = d.ZWrite;
	material.BackfaceCulling = d.Cull == EZEFC_BACK;
	material.FrontfaceCulling = d.Cull == EZEFC_FRONT;
	material.BlendOperation = video::EBO_NONE;
	if (clearTextures)
		for (u32 layer = 0; layer < ze::MATERIAL_MAX_TEXTURES; ++layer)
		{
			ze::setMaterialTexture(material, layer, nullptr);
			ze::setMaterialTextureSRGB(material, layer, 0);
		}
	// The layers' sampling follows the samplers that read them.
	for (size_t i = 0; i < pass.ConstantParams.size(); ++i)
	{
		if (pass.ConstantParams[i] < 0)
			continue;
		const SZeFxParameter& p = Params[pass.ConstantParams[i]];
		if (p.Type != EZEFPT_SAMPLER || p.Layer < 0)
			continue;
		if (p.Layer < static_cast<s32>(video::MATERIAL_MAX_TEXTURES))
		{
			video::SMaterialLayer& layer = material.TextureLayer[p.Layer];
			layer.BilinearFilter = p.Filter != EZEFF_POINT;
			layer.TrilinearFilter = p.Filter >= EZEFF_TRILINEAR;
			layer.AnisotropicFilter = p.Filter == EZEFF_ANISOTROPIC ? 16 : 0;
			const u8 wrap = p.Address == EZEFA_CLAMP ? video::ETC_CLAMP_TO_EDGE
				: p.Address == EZEFA_MIRROR ? video::ETC_MIRROR : video::ETC_REPEAT;
			layer.TextureWrapU = layer.TextureWrapV = wrap;
		}
		if (p.SRGB)
			ze::setMaterialTextureSRGB(material, static_cast<u32>(p.Layer), 1);
	}
	return true;
}

bool CZeEffect::getPassMaterial(u32 technique, u32 pass, video::SMaterial& material) const
{
	const SPass* p = findPass(technique, pass);
	return p && applyMaterial(*p, material, true);
}

bool CZeEffect::setupMaterial(u32 technique, u32 pass, video::SMaterial& material) const
{
	const SPass* p = findPass(technique, pass);
	return p && applyMaterial(*p, material, false);
}

// ---- Drawing ------------------------------------------------------------------------------
bool CZeEffect::refreshBinds(u32 technique, u32 pass, const SZeBindContext& context)
{
	SPass* p = findPass(technique, pass);
	if (!p || !Context->isAlive())
		return false;
	if (p->ProgramRevision != p->Program->getRevision())
		mapConstants(*p, false, nullptr);
	if (p->BindRevision != Context->getBindRevision())
	{
		// List the binds answering the pass's parameters again.
		p->Binds.clear();
		std::vector<bool> seen(Params.size(), false);
		for (s32 index : p->ConstantParams)
		{
			if (index < 0 || seen[index])
				continue;
			seen[index] = true;
			s32 key = -1;
			if (IZeEffectBind* bind = Context->findBind(Params[index], &key))
				p->Binds.push_back(SBound{bind, key, static_cast<u32>(index)});
		}
		p->BindRevision = Context->getBindRevision();
	}
	for (const SBound& b : p->Binds)
		b.Bind->update(b.Key, this, &Params[b.Param], context);
	return true;
}

void CZeEffect::bindSampler(u32 constant, const SZeFxParameter& param, const SValue& value,
	const video::SMaterial& material, u32* extraUnit, IZeShaderProgram* program)
{
	video::ITexture* texture = param.Layer >= 0 ? ze::getMaterialTexture(material, static_cast<u32>(param.Layer)) : nullptr;
	u32 unit = 0;
	bool srgb = value.SRGB;
	if (texture)
	{
		unit = ze::getMaterialTextureUnit(material, static_cast<u32>(param.Layer));
		const ze::SMaterialExt* record = ze::getMaterialExt(material);
		srgb = record && record->TextureLayer[param.Layer].SRGB != 0;
	}
	else
	{
		// The sampler's own texture, on the unit its layer would have in the side record.
		texture = value.Texture;
		unit = param.Layer >= 0 ? ze::MATERIAL_EXT_FIRST_UNIT + static_cast<u32>(param.Layer) : (*extraUnit)++;
		if (unit >= MAX_UNITS)
			return;
		Context->bindUnitTexture(unit, kindFits(texture, param.SamplerKind) ? ze::resolve(texture) : nullptr,
			glTarget(param.SamplerKind));
	}
	if (unit >= ze::MATERIAL_EXT_FIRST_UNIT)
	{
		// The library sets the sampling of its own units from the material layer.
		EZE_FX_FILTER filter = param.Filter;
		if (filter >= EZEFF_TRILINEAR && !(texture && texture->hasMipMaps()))
			filter = EZEFF_LINEAR;
		Context->bindUnitSampler(unit, Context->getSampler(filter, param.Address));
	}
	program->setSamplerUnit(constant, unit);
	program->setSamplerSRGB(constant, srgb);
}

void CZeEffect::bindMaterialTextures(const video::SMaterial& material)
{
	// The side record's layers; the library binds its own.
	for (u32 layer = 0; layer < ze::MATERIAL_MAX_TEXTURES; ++layer)
	{
		const u32 unit = ze::getMaterialTextureUnit(material, layer);
		video::ITexture* texture = ze::getMaterialTexture(material, layer);
		if (unit >= ze::MATERIAL_EXT_FIRST_UNIT && texture)
			Context->bindUnitTexture(unit, ze::resolve(texture), GL_TEXTURE_2D);
	}
	for (u32 layer = 0; layer < ze::MATERIAL_MAX_VERTEX_TEXTURES; ++layer)
		if (video::ITexture* texture = ze::getMaterialVertexTexture(material, layer))
			Context->bindUnitTexture(ze::MATERIAL_EXT_FIRST_VERTEX_UNIT + layer, ze::resolve(texture), GL_TEXTURE_2D);
}

bool CZeEffect::commit(u32 technique, u32 pass, const video::SMaterial& material)
{
	SPass* p = findPass(technique, pass);
	if (!p || !Context->isAlive())
		return false;
	IZeShaderProgram* program = p->Program;
	const core::array<SZeShaderConstant>& constants = program->getConstants();
	if (p->ConstantParams.size() != constants.size())
		mapConstants(*p, false, nullptr);
	bindMaterialTextures(material);
	u32 extraUnit = EXTRA_FIRST_UNIT;
	for (u32 i = 0; i < constants.size(); ++i)
	{
		const s32 index = p->ConstantParams[i];
		if (index < 0)
			continue;
		const SZeShaderConstant& c = constants[i];
		const SZeFxParameter& param = Params[index];
		if (param.Type == EZEFPT_SAMPLER)
		{
			bindSampler(i, param, Values[index], material, &extraUnit, program);
			continue;
		}
		fillRegisters(c, param, Values[index].Values, &Registers);
		program->setRegisters(c.Stage, c.RegisterIndex, Registers.data(), c.RegisterCount);
	}
	Context->restoreActiveUnit();
	applyBlending(p->Def);
	program->use();
	return true;
}
