// HLSL to GLSL: glslang's HLSL front end makes SPIR-V, SPIRV-Cross writes
// GLSL 3.30 (compatibility profile, so that vertices arrive through the
// fixed-function arrays), and the text is then fitted to the engine's
// conventions (see ZeHlslTranslator.h).
#include "core/ZeHlslTranslator.h"
#include "core/ZeHlslPreprocessor.h"
#include "core/ZeHlslSource.h"
#include "core/ZeSpirvIntegers.h"

#include "frame/ZeFile.h"

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/SPIRV/GlslangToSpv.h>
#include <openssl/sha.h>
#include <spirv_cross/spirv_cross_c.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

namespace ze
{
namespace
{
using irr::u32;
using irr::u64;

// Sizes past what SPIR-V's 32-bit layout holds: a constant of HUGE_REGISTERS
// registers is past any driver's.
const u64 HUGE_BYTES = u64(1) << 32;
const u32 HUGE_REGISTERS = ~u32(0);

// ---- Sources ----------------------------------------------------------------------
// Hands glslang the included files the preprocessing read, in the order it
// meets their #include lines.
class CIncluder : public glslang::TShader::Includer
{
public:
	explicit CIncluder(const std::vector<SHlslInclude>& includes) : Includes(includes) {}

	IncludeResult* includeLocal(const char* header, const char*, size_t) override { return next(header); }
	IncludeResult* includeSystem(const char* header, const char*, size_t) override { return next(header); }
	void releaseInclude(IncludeResult* result) override { delete result; }

private:
	IncludeResult* next(const char* header)
	{
		if (Next >= Includes.size() || Includes[Next].Header != header)
			return nullptr;
		const SHlslInclude& include = Includes[Next++];
		return new IncludeResult(include.Name, include.Text.data(), include.Text.size(), nullptr);
	}

	const std::vector<SHlslInclude>& Includes;
	size_t Next = 0;
};

// Reads an include through the file layer for the preprocessing, recording
// each file once with the hash of its contents.
bool readInclude(const std::string& header, bool quoted, const std::string& from, std::string& name,
	std::string& text, std::vector<SSourceFile>& sources)
{
	std::string contents;
	if (!readHlslInclude(header, quoted, from, name, contents))
		return false;
	if (std::none_of(sources.begin(), sources.end(), [&](const SSourceFile& s) { return s.Name == name; }))
	{
		SSourceFile file;
		file.Name = name;
		sha1(contents.data(), contents.size(), file.Hash);
		sources.push_back(file);
	}
	text = braceFlatInitialisers(contents);
	return true;
}

void initGlslang()
{
	static std::once_flag once;
	std::call_once(once, [] { glslang::InitializeProcess(); });
}

// ---- Semantics and GLSL text ------------------------------------------------------
struct SSemantic
{
	std::string Base;  // "TEXCOORD"
	u32 Index = 0;
	std::string text() const { return Base + std::to_string(Index); }
};

SSemantic parseSemantic(const char* text)
{
	std::string s(text ? text : "");
	for (char& c : s)
		c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
	size_t digits = s.size();
	while (digits > 0 && isdigit(static_cast<unsigned char>(s[digits - 1])))
		--digits;
	SSemantic r;
	r.Base = s.substr(0, digits);
	r.Index = digits < s.size() ? static_cast<u32>(std::stoul(s.substr(digits))) : 0;
	if (r.Base == "SV_POSITION")
		r.Base = "POSITION";
	else if (r.Base == "SV_TARGET")
		r.Base = "COLOR";
	else if (r.Base == "SV_DEPTH")
		r.Base = "DEPTH";
	else if (r.Base == "SV_ISFRONTFACE")
		r.Base = "VFACE";
	return r;
}

u32 components(const std::string& type)
{
	const char last = type.empty() ? '1' : type.back();
	return last >= '2' && last <= '4' ? static_cast<u32>(last - '0') : 1;
}

// A float expression of `from` components as a value of GLSL type `type`;
// missing components read 0, and w reads 1, as Direct3D 9 fills them.
std::string adapt(const std::string& expr, u32 from, const std::string& type)
{
	const u32 to = components(type);
	std::string value = expr;
	if (to < from)
		value = expr + "." + std::string("xyzw").substr(0, to);
	else if (to > from)
	{
		value = (to == 1 ? std::string("float") : "vec" + std::to_string(to)) + "(" + expr;
		for (u32 c = from; c < to; ++c)
			value += c == 3 ? ", 1.0" : ", 0.0";
		value += ")";
	}
	const bool isFloat = type == "float" || type.compare(0, 3, "vec") == 0;
	return "(" + (isFloat ? value : type + "(" + value + ")") + ")";
}

// What a vertex input of a semantic reads from the fixed-function arrays.
std::string vertexInput(const SSemantic& s, u32& count)
{
	count = 4;
	if (s.Base == "POSITION" && s.Index == 0)
		return "gl_Vertex";
	if (s.Base == "NORMAL" && s.Index == 0)
	{
		count = 3;
		return "gl_Normal";
	}
	if (s.Base == "COLOR" && s.Index <= 1)
		return s.Index ? "gl_SecondaryColor" : "gl_Color";
	if (s.Base == "TEXCOORD" && s.Index < 8)
		return "gl_MultiTexCoord" + std::to_string(s.Index);
	if (s.Base == "TANGENT" && s.Index == 0)
		return "gl_MultiTexCoord1";
	if (s.Base == "BINORMAL" && s.Index == 0)
		return "gl_MultiTexCoord2";
	return "vec4(0.0, 0.0, 0.0, 1.0)";  // not fed by the engine's vertex formats
}

// What a vertex input of an instanced particle pass reads (ZE_INSTANCED_MACRO):
// the instance attribute during an instanced draw, marked by the corner's z,
// else the fixed-function array. Empty for the inputs instancing leaves alone.
// `declarations` receives the attributes to declare that are not declared yet.
std::string instanceInput(const SSemantic& s, u32& count, std::set<std::string>& declared, std::string& declarations)
{
	struct SInput
	{
		const char* Semantic;
		u32 Location;
		const char* Instanced;  // read from the attribute ze_ia_SEMANTIC
		u32 Count;
	};
	static const SInput inputs[] = {
		{"TEXCOORD0", ZE_INSTANCE_ATTRIB_CORNER, "vec4(ze_ia_TEXCOORD0.xy, 0.0, 1.0)", 4},
		{"POSITION0", ZE_INSTANCE_ATTRIB_CENTRE, "ze_ia_POSITION0", 4},
		{"NORMAL0", ZE_INSTANCE_ATTRIB_LIFE, "ze_ia_NORMAL0.xyz", 3},
		{"TANGENT0", ZE_INSTANCE_ATTRIB_VELOCITY, "ze_ia_TANGENT0", 4},
	};
	const std::string semantic = s.text();
	const SInput* input = nullptr;
	for (const SInput& i : inputs)
		if (semantic == i.Semantic)
			input = &i;
	if (!input)
		return "";
	auto declare = [&](const SInput& i) {
		if (declared.insert(i.Semantic).second)
			declarations += "layout(location = " + std::to_string(i.Location) + ") in vec4 ze_ia_" + i.Semantic + ";\n";
	};
	declare(inputs[0]);  // the corner tells the draws apart
	declare(*input);
	u32 fixedCount = 4;
	const std::string fixed = vertexInput(s, fixedCount);
	count = input->Count;
	return std::string("(ze_ia_TEXCOORD0.z != 0.0 ? ") + input->Instanced + " : "
		+ adapt(fixed, fixedCount, input->Count == 3 ? "vec3" : "vec4") + ")";
}

// "[qualifiers] in|out TYPE NAME;" split (NAME without ';'); false for any other line.
bool parseDeclaration(const std::string& line, const char* keyword, std::string& qualifiers, std::string& type,
	std::string& name)
{
	size_t end = line.find_last_not_of(" \t\r");
	if (end == std::string::npos || line[end] != ';')
		return false;
	std::vector<std::string> words;
	size_t at = 0;
	while (at < end)
	{
		at = line.find_first_not_of(" \t", at);
		if (at >= end)
			break;
		size_t stop = std::min(line.find_first_of(" \t", at), end);
		words.push_back(line.substr(at, stop - at));
		at = stop;
	}
	if (words.size() < 3 || words[words.size() - 3] != keyword)
		return false;
	name = words.back();
	type = words[words.size() - 2];
	qualifiers.clear();
	for (size_t i = 0; i + 3 < words.size(); ++i)
		qualifiers += words[i] + " ";
	return true;
}

std::vector<std::string> splitLines(const std::string& text)
{
	std::vector<std::string> lines;
	size_t at = 0;
	while (at < text.size())
	{
		size_t end = text.find('\n', at);
		if (end == std::string::npos)
			end = text.size();
		lines.push_back(text.substr(at, end - at));
		at = end + 1;
	}
	return lines;
}

std::string joinLines(const std::vector<std::string>& lines)
{
	std::string text;
	for (const std::string& line : lines)
		text += line + "\n";
	return text;
}

// ---- SPIR-V to GLSL -----------------------------------------------------------------
struct SContext
{
	spvc_context Context = nullptr;
	~SContext()
	{
		if (Context)
			spvc_context_destroy(Context);
	}
};

// What glslang's reflection knows and SPIR-V no longer tells.
struct SGlobalsInfo
{
	std::map<std::string, int> GlType;   // global name -> GL type enum
	std::map<std::string, int> Binding;  // sampler name -> register(sN), -1 when none
};

EZE_CONSTANT_TYPE constantType(int glType)
{
	if (glType >= 0x8B56 && glType <= 0x8B59)  // GL_BOOL .. GL_BOOL_VEC4
		return EZECT_BOOL;
	if (glType == 0x1404 || glType == 0x1405 || (glType >= 0x8B53 && glType <= 0x8B55)
		|| (glType >= 0x8DC6 && glType <= 0x8DC8))  // int, uint and their vectors
		return EZECT_INT;
	return EZECT_FLOAT;
}

class CCrossCompiler
{
public:
	CCrossCompiler(spvc_compiler compiler, EZE_SHADER_STAGE stage, const SGlobalsInfo& info, SStageCode& out)
		: C(compiler), Stage(stage), Info(info), Out(out)
	{
	}

	bool run(std::string& log)
	{
		const char* prefix = Stage == EZESS_VERTEX ? "ze_vs_" : "ze_ps_";
		spvc_resources resources = nullptr;
		if (spvc_compiler_create_shader_resources(C, &resources) != SPVC_SUCCESS)
			return false;
		const spvc_reflected_resource* list = nullptr;
		size_t count = 0;
		spvc_resources_get_resource_list_for_type(resources, SPVC_RESOURCE_TYPE_UNIFORM_BUFFER, &list, &count);
		if (count > 1)
		{
			log = "cbuffer blocks are not supported: declare the constants as globals";
			return false;
		}
		if (count == 1)
			globals(list[0], (std::string(prefix) + "c").c_str());
		for (spvc_resource_type kind : {SPVC_RESOURCE_TYPE_SEPARATE_IMAGE, SPVC_RESOURCE_TYPE_STORAGE_BUFFER,
				 SPVC_RESOURCE_TYPE_STORAGE_IMAGE})
		{
			spvc_resources_get_resource_list_for_type(resources, kind, &list, &count);
			if (count)
			{
				log = std::string("'") + list[0].name + "': only sampler2D, samplerCUBE and sampler3D are supported";
				return false;
			}
		}
		spvc_resources_get_resource_list_for_type(resources, SPVC_RESOURCE_TYPE_SAMPLED_IMAGE, &list, &count);
		if (!samplers(list, count, prefix, log))
			return false;
		spvc_resources_get_resource_list_for_type(resources, SPVC_RESOURCE_TYPE_STAGE_INPUT, &list, &count);
		if (!interface(list, count, true, log))
			return false;
		spvc_resources_get_resource_list_for_type(resources, SPVC_RESOURCE_TYPE_STAGE_OUTPUT, &list, &count);
		return interface(list, count, false, log);
	}

	bool UsesVPos = false;

private:
	// At most how many bytes a type takes, counted in 64 bits and saturating:
	// SPIR-V's sizes and offsets are 32-bit and wrap around for huge arrays.
	u64 upperBytes(spvc_type_id id) const
	{
		const spvc_type type = spvc_compiler_get_type_handle(C, id);
		// A register per vector, or per column or row of a matrix.
		const unsigned columns = spvc_type_get_columns(type);
		u64 bytes = 16 * (columns > 1 ? std::max(columns, spvc_type_get_vector_size(type)) : 1);
		if (spvc_type_get_basetype(type) == SPVC_BASETYPE_STRUCT)
		{
			bytes = 0;
			for (unsigned i = 0; i < spvc_type_get_num_member_types(type); ++i)
				bytes = std::min(bytes + upperBytes(spvc_type_get_member_type(type, i)), HUGE_BYTES);
		}
		for (unsigned d = 0; d < spvc_type_get_num_array_dimensions(type); ++d)
			if (spvc_type_array_dimension_is_literal(type, d))
				bytes = std::min(bytes * std::max<u64>(spvc_type_get_array_dimension(type, d), 1), HUGE_BYTES);
		return bytes;
	}

	// The registers of a member of a structure (HUGE_REGISTERS for one whose
	// size SPIR-V cannot hold).
	u32 memberRegisters(spvc_type parent, unsigned member) const
	{
		if (upperBytes(spvc_type_get_member_type(parent, member)) >= HUGE_BYTES)
			return HUGE_REGISTERS;
		size_t size = 0;
		spvc_compiler_get_declared_struct_member_size(C, parent, member, &size);
		return static_cast<u32>((size + 15) / 16);
	}

	// The global block: one float4 register array; every global starts a register.
	void globals(const spvc_reflected_resource& block, const char* name)
	{
		const spvc_type type = spvc_compiler_get_type_handle(C, block.base_type_id);
		const unsigned members = spvc_type_get_num_member_types(type);
		std::vector<unsigned> offsets(members);
		std::vector<bool> used;
		bool huge = false;
		auto take = [&](unsigned first, unsigned n) {
			if (used.size() < first + n)
				used.resize(first + n, false);
			std::fill(used.begin() + first, used.begin() + first + n, true);
		};
		for (unsigned i = 0; i < members; ++i)
		{
			spvc_compiler_type_struct_member_offset(C, type, i, &offsets[i]);
			const u32 registers = memberRegisters(type, i);
			huge = huge || registers == HUGE_REGISTERS;
			if (offsets[i] % 16 == 0 && registers != HUGE_REGISTERS)
				take(offsets[i] / 16, registers);
		}
		// Globals packed into another's register move to the first free one.
		unsigned r = 0;
		for (unsigned i = 0; i < members; ++i)
		{
			if (offsets[i] % 16 == 0)
				continue;
			while (r < used.size() && used[r])
				++r;
			take(r, 1);
			offsets[i] = r * 16;
			spvc_compiler_set_member_decoration(C, block.base_type_id, i, SpvDecorationOffset, offsets[i]);
		}
		// The table lists what the stage reads, as Direct3D 9's does.
		const spvc_buffer_range* ranges = nullptr;
		size_t rangeCount = 0;
		std::vector<bool> active(members, false);
		spvc_compiler_get_active_buffer_ranges(C, block.id, &ranges, &rangeCount);
		for (size_t i = 0; i < rangeCount; ++i)
			if (ranges[i].index < members)
				active[ranges[i].index] = true;
		for (unsigned i = 0; i < members; ++i)
			if (active[i])
				addConstant(type, block.base_type_id, i, offsets[i], "");
		size_t bytes = 0;
		if (members && spvc_compiler_get_declared_struct_size(C, type, &bytes) == SPVC_SUCCESS)
			Out.RegisterCount = huge || upperBytes(block.base_type_id) >= HUGE_BYTES ? HUGE_REGISTERS
				: static_cast<u32>((bytes + 15) / 16);
		spvc_compiler_set_name(C, block.id, name);
		spvc_compiler_set_name(C, block.base_type_id, name);
		spvc_compiler_unset_decoration(C, block.id, SpvDecorationBinding);
		spvc_compiler_unset_decoration(C, block.id, SpvDecorationDescriptorSet);
		spvc_compiler_flatten_buffer_block(C, block.id);
	}

	void addConstant(spvc_type parent, spvc_type_id parentId, unsigned member, unsigned offset, const std::string& scope)
	{
		const std::string name = scope + spvc_compiler_get_member_name(C, parentId, member);
		const spvc_type_id typeId = spvc_type_get_member_type(parent, member);
		const spvc_type type = spvc_compiler_get_type_handle(C, typeId);
		u64 elements = 1;
		for (unsigned d = 0; d < spvc_type_get_num_array_dimensions(type); ++d)
			if (spvc_type_array_dimension_is_literal(type, d))
				elements = std::min<u64>(elements * spvc_type_get_array_dimension(type, d), HUGE_REGISTERS);
		if (spvc_type_get_basetype(type) == SPVC_BASETYPE_STRUCT && elements == 1)
		{
			for (unsigned i = 0; i < spvc_type_get_num_member_types(type); ++i)
			{
				unsigned inner = 0;
				spvc_compiler_type_struct_member_offset(C, type, i, &inner);
				addConstant(type, typeId, i, offset + inner, name + ".");
			}
			return;
		}
		SStageConstant c;
		c.Name = name;
		auto glType = Info.GlType.find(name);
		if (glType == Info.GlType.end())
			glType = Info.GlType.find(name + "[0]");
		c.Type = glType == Info.GlType.end() ? EZECT_FLOAT : constantType(glType->second);
		c.RegisterIndex = offset / 16;
		c.RegisterCount = memberRegisters(parent, member);
		c.Elements = static_cast<u32>(elements);
		if (spvc_type_get_basetype(type) == SPVC_BASETYPE_STRUCT)
			c.Columns = 4;  // an array of structures: its registers as a whole
		else if (spvc_type_get_columns(type) > 1)
		{
			// glslang turns an HLSL RxC matrix into R SPIR-V columns and swaps the layout names.
			c.Rows = spvc_type_get_columns(type);
			c.Columns = spvc_type_get_vector_size(type);
			c.RowMajor = spvc_compiler_has_member_decoration(C, parentId, member, SpvDecorationColMajor);
		}
		else
			c.Columns = spvc_type_get_vector_size(type);
		Out.Constants.push_back(c);
	}

	// Texture units: the register(sN) given, else the first free ones (units
	// counted in 64 bits, as arrays may be of any size: the GPU-programming
	// service holds them to the driver's units). Samplers the stage does not
	// read get none and stay out of the table.
	bool samplers(const spvc_reflected_resource* list, size_t count, const char* prefix, std::string& log)
	{
		std::vector<std::pair<u64, u64>> taken;  // [first, end), in order
		std::vector<u64> units(count, ~u64(0));
		std::vector<u64> sizes(count, 1);
		std::vector<bool> live(count, false);
		auto take = [&](u64 first, u64 n) {
			taken.insert(std::upper_bound(taken.begin(), taken.end(), std::make_pair(first, first + n)),
				std::make_pair(first, first + n));
		};
		for (size_t i = 0; i < count; ++i)
		{
			const spvc_type type = spvc_compiler_get_type_handle(C, list[i].type_id);
			const unsigned dimensions = spvc_type_get_num_array_dimensions(type);
			if (dimensions > 1)
			{
				// (GL names their elements otherwise, and they would read no unit set.)
				log = std::string("'") + list[i].name + "': sampler arrays have one dimension";
				return false;
			}
			if (dimensions == 1 && spvc_type_array_dimension_is_literal(type, 0))
				sizes[i] = std::max<u64>(spvc_type_get_array_dimension(type, 0), 1);
			auto binding = Info.Binding.find(list[i].name);
			if (binding == Info.Binding.end())
				binding = Info.Binding.find(std::string(list[i].name) + "[0]");
			live[i] = binding != Info.Binding.end();
			if (live[i] && binding->second >= 0)
			{
				units[i] = static_cast<u64>(binding->second);
				take(units[i], sizes[i]);
			}
		}
		for (size_t i = 0; i < count; ++i)
		{
			const std::string glslName = prefix + ("s" + std::to_string(i));
			spvc_compiler_set_name(C, list[i].id, glslName.c_str());
			spvc_compiler_unset_decoration(C, list[i].id, SpvDecorationBinding);
			spvc_compiler_unset_decoration(C, list[i].id, SpvDecorationDescriptorSet);
			if (!live[i])
				continue;
			if (units[i] == ~u64(0))
			{
				u64 first = 0;
				for (const auto& t : taken)
				{
					if (t.first >= first + sizes[i])
						break;  // a gap before it
					first = std::max(first, t.second);
				}
				units[i] = first;
				take(first, sizes[i]);
			}
			const spvc_type type = spvc_compiler_get_type_handle(C, list[i].base_type_id);
			SStageConstant c;
			c.Name = list[i].name;
			c.GlslName = glslName;
			const SpvDim dim = spvc_type_get_image_dimension(type);
			c.Type = dim == SpvDimCube ? EZECT_SAMPLER_CUBE : dim == SpvDim3D ? EZECT_SAMPLER_3D : EZECT_SAMPLER_2D;
			const u64 unit = units[i] + (Stage == EZESS_VERTEX ? VERTEX_SAMPLER_FIRST_UNIT : 0);
			c.RegisterIndex = static_cast<u32>(std::min<u64>(unit, HUGE_REGISTERS));
			c.RegisterCount = c.Elements = static_cast<u32>(std::min<u64>(sizes[i], HUGE_REGISTERS));
			Out.Constants.push_back(c);
		}
		return true;
	}

	// Inputs and outputs are named by semantic; some become built-ins. An array
	// takes the semantic indices from its own on (float4 o[3] : TEXCOORD1 is
	// TEXCOORD1 to TEXCOORD3); an element that glslang split out of a structure
	// ("@entryPointOutput.offset[1]") adds its place to its member's index.
	bool interface(const spvc_reflected_resource* list, size_t count, bool input, std::string& log)
	{
		std::set<std::string> written;  // outputs, one semantic per element
		for (size_t i = 0; i < count; ++i)
		{
			const spvc_variable_id id = list[i].id;
			const char* text = spvc_compiler_get_decoration_string(C, id, SpvDecorationHlslSemanticGOOGLE);
			if (!text || !*text)
			{
				const bool result = strncmp(list[i].name, "@entryPointOutput", 17) == 0;
				log = (result ? std::string("the return value") : std::string("'") + list[i].name + "'") + " of "
					+ Out.Entry + " has no semantic";
				return false;
			}
			SSemantic s = parseSemantic(text);
			s.Index += splitElement(list[i].name);
			const spvc_type type = spvc_compiler_get_type_handle(C, list[i].type_id);
			const unsigned dimensions = spvc_type_get_num_array_dimensions(type);
			if (dimensions > 1 || (dimensions == 1 && !spvc_type_array_dimension_is_literal(type, 0)))
			{
				log = std::string("'") + list[i].name + "' of " + Out.Entry + ": only arrays of one size pass between stages";
				return false;
			}
			const u32 elements = dimensions ? spvc_type_get_array_dimension(type, 0) : 1;
			for (u32 e = 0; e < elements && !input; ++e)
				if (!written.insert(s.Base + std::to_string(s.Index + e)).second)
				{
					log = "semantic " + s.Base + std::to_string(s.Index + e) + " is used twice by " + Out.Entry;
					return false;
				}
			std::string name;
			spvc_compiler_unset_decoration(C, id, SpvDecorationLocation);
			if (Stage == EZESS_VERTEX && input)
				name = "ze_in_" + s.text();
			else if (Stage == EZESS_VERTEX && s.Base == "POSITION" && s.Index == 0)
				spvc_compiler_set_decoration(C, id, SpvDecorationBuiltIn, SpvBuiltInPosition);
			else if (Stage == EZESS_VERTEX && s.Base == "PSIZE")
				spvc_compiler_set_decoration(C, id, SpvDecorationBuiltIn, SpvBuiltInPointSize);
			else if (Stage == EZESS_PIXEL && !input && s.Base == "DEPTH")
				spvc_compiler_set_decoration(C, id, SpvDecorationBuiltIn, SpvBuiltInFragDepth);
			else if (Stage == EZESS_PIXEL && !input)
			{
				name = "ze_out_" + s.text();
				spvc_compiler_set_decoration(C, id, SpvDecorationLocation, s.Index);
			}
			else
			{
				// Arrays are split into one varying per element by fitText.
				name = std::string(input ? "ze_p" : "ze_v") + (dimensions ? "a_" : "_") + s.text();
				UsesVPos = UsesVPos || s.Base == "VPOS";
			}
			if (!name.empty())
				spvc_compiler_set_name(C, id, name.c_str());
		}
		return true;
	}

	// The element index at the end of a split-out variable's name, else 0.
	static u32 splitElement(const char* name)
	{
		const std::string n(name);
		const size_t open = n.rfind('[');
		if (n.empty() || n.back() != ']' || open == std::string::npos || n.size() - open > 6)
			return 0;
		const std::string digits = n.substr(open + 1, n.size() - open - 2);
		return !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos
			? static_cast<u32>(std::stoul(digits))
			: 0;
	}

	spvc_compiler C;
	EZE_SHADER_STAGE Stage;
	const SGlobalsInfo& Info;
	SStageCode& Out;
};

// "NAME[N]" split into NAME and N; false for a name without a size.
bool arrayName(const std::string& declared, std::string& name, u32& length)
{
	const size_t open = declared.find('[');
	if (open == std::string::npos || declared.back() != ']' || declared.size() - open > 6)
		return false;
	const std::string digits = declared.substr(open + 1, declared.size() - open - 2);
	if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
		return false;
	name = declared.substr(0, open);
	length = static_cast<u32>(std::stoul(digits));
	return length > 0;
}

// The semantic of element `element` of an array declared at `semantic`.
std::string elementSemantic(const std::string& semantic, u32 element)
{
	SSemantic s = parseSemantic(semantic.c_str());
	s.Index += element;
	return s.text();
}

// Varyings pass element by element, as Direct3D 9 registers do, so that the
// other stage may read them as an array, as single semantics or only in
// part. A vertex output array becomes a plain array copied into one output
// per element at the end of main; a pixel input array becomes one input per
// element gathered back by an array constructor.
bool splitVaryingArray(const std::string& qualifiers, const std::string& type, const std::string& declared,
	SStageCode& out, std::vector<std::string>& copies, std::string& line)
{
	std::string name;
	u32 length = 0;
	if (!arrayName(declared, name, length))
		return false;
	const bool vertex = out.Stage == EZESS_VERTEX;
	const std::string semantic = name.substr(6);  // after "ze_va_" / "ze_pa_"
	std::string text = vertex ? type + " " + declared + ";" : "";
	std::string gather = "#define " + name + " " + type + "[" + std::to_string(length) + "](";
	for (u32 e = 0; e < length; ++e)
	{
		const std::string element = elementSemantic(semantic, e);
		const std::string varying = (vertex ? "ze_v_" : "ze_p_") + element;
		text += (text.empty() ? "" : "\n") + qualifiers + (vertex ? "out " : "in ") + type + " " + varying + ";";
		out.Varyings.push_back({ element, qualifiers, type });
		if (vertex)
			copies.push_back("    " + varying + " = " + name + "[" + std::to_string(e) + "];");
		gather += (e ? ", " : "") + varying;
	}
	line = vertex ? text : text + "\n" + gather + ")";
	return true;
}

// A vertex input array read from the fixed-function arrays, element by element.
bool vertexInputArray(const std::string& type, const std::string& declared, std::string& line)
{
	std::string name;
	u32 length = 0;
	if (!arrayName(declared, name, length))
		return false;
	std::string text = "#define " + name + " " + type + "[" + std::to_string(length) + "](";
	for (u32 e = 0; e < length; ++e)
	{
		u32 count = 4;
		const std::string source = vertexInput(parseSemantic(elementSemantic(name.substr(6), e).c_str()), count);
		text += (e ? ", " : "") + adapt(source, count, type);
	}
	line = text + ")";
	return true;
}

// Fits SPIRV-Cross's text to the engine: the profile, vertex inputs from the
// fixed-function arrays, pixel inputs that are built-ins, varying arrays
// split into elements, the render-target flip.
bool fitText(const std::string& text, bool instanced, SStageCode& out, std::string& log)
{
	std::vector<std::string> lines = splitLines(text);
	if (lines.empty() || lines[0].compare(0, 9, "#version ") != 0)
	{
		log = "unexpected GLSL";
		return false;
	}
	lines[0] = "#version 330 compatibility";
	bool flipped = false;
	std::vector<std::string> copies;  // vertex output arrays into their elements
	std::set<std::string> instanceAttributes;  // declared ones, instanced passes
	for (std::string& line : lines)
	{
		std::string qualifiers, type, name;
		bool fitted = true;
		if (out.Stage == EZESS_VERTEX && line.find("gl_Position.y = -gl_Position.y;") != std::string::npos)
		{
			line = "    gl_Position.y *= ze_FlipY;";
			flipped = true;
		}
		else if (parseDeclaration(line, "out", qualifiers, type, name) && name.compare(0, 5, "ze_v_") == 0)
			out.Varyings.push_back({ name.substr(5), qualifiers, type });
		else if (parseDeclaration(line, "out", qualifiers, type, name) && name.compare(0, 6, "ze_va_") == 0)
			fitted = splitVaryingArray(qualifiers, type, name, out, copies, line);
		else if (parseDeclaration(line, "in", qualifiers, type, name))
		{
			if (name.compare(0, 6, "ze_in_") == 0 && name.back() == ']')
				fitted = vertexInputArray(type, name, line);
			else if (name.compare(0, 6, "ze_in_") == 0)
			{
				const SSemantic semantic = parseSemantic(name.substr(6).c_str());
				u32 count = 4;
				std::string declarations;
				std::string source = instanced ? instanceInput(semantic, count, instanceAttributes, declarations) : "";
				if (source.empty())
					source = vertexInput(semantic, count);
				line = declarations + "#define " + name + " " + adapt(source, count, type);
			}
			else if (name.compare(0, 6, "ze_pa_") == 0)
				fitted = splitVaryingArray(qualifiers, type, name, out, copies, line);
			else if (name == "ze_p_VPOS0")  // the pixel's corner, from the target's top
				line = "#define " + name + " " + adapt("vec2(gl_FragCoord.x - 0.5, (ze_FlipY < 0.0 ? gl_FragCoord.y "
					": ze_TargetHeight - gl_FragCoord.y) - 0.5)", 2, type);
			else if (name == "ze_p_VFACE0")
				line = "#define " + name + " " + adapt("(gl_FrontFacing ? 1.0 : -1.0)", 1, type);
			else if (name == "ze_p_POSITION0")
				line = "#define " + name + " " + adapt("gl_FragCoord", 4, type);
			else if (name.compare(0, 5, "ze_p_") == 0)
				out.Varyings.push_back({ name.substr(5), qualifiers, type });
		}
		if (!fitted)
		{
			log = "unexpected GLSL declaration of " + name;
			return false;
		}
	}
	if (out.Stage == EZESS_VERTEX && !flipped && text.find("gl_Position") != std::string::npos)
	{
		log = "the position output was not found";
		return false;
	}
	if (!copies.empty())
	{
		auto main = std::find(lines.begin(), lines.end(), "void main()");
		auto end = std::find(main, lines.end(), "}");
		if (end == lines.end())
		{
			log = "the main function was not found";
			return false;
		}
		lines.insert(end, copies.begin(), copies.end());
	}
	out.Glsl = joinLines(lines);
	return true;
}

bool crossCompile(const std::vector<uint32_t>& spirv, const SGlobalsInfo& info, bool instanced, SStageCode& out,
	std::string& log)
{
	SContext context;
	spvc_parsed_ir ir = nullptr;
	spvc_compiler compiler = nullptr;
	spvc_compiler_options options = nullptr;
	const char* text = nullptr;
	auto fail = [&](const char* what) {
		log = std::string(what) + ": " + (context.Context ? spvc_context_get_last_error_string(context.Context) : "");
		return false;
	};
	if (spvc_context_create(&context.Context) != SPVC_SUCCESS)
		return fail("SPIRV-Cross");
	if (spvc_context_parse_spirv(context.Context, spirv.data(), spirv.size(), &ir) != SPVC_SUCCESS
		|| spvc_context_create_compiler(context.Context, SPVC_BACKEND_GLSL, ir, SPVC_CAPTURE_MODE_TAKE_OWNERSHIP,
			   &compiler) != SPVC_SUCCESS)
		return fail("SPIR-V");
	CCrossCompiler cross(compiler, out.Stage, info, out);
	if (!cross.run(log))
		return log.empty() ? fail("reflection") : false;
	spvc_compiler_create_compiler_options(compiler, &options);
	spvc_compiler_options_set_uint(options, SPVC_COMPILER_OPTION_GLSL_VERSION, 330);
	spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_ES, SPVC_FALSE);
	spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_ENABLE_420PACK_EXTENSION, SPVC_FALSE);
	spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_FLIP_VERTEX_Y, out.Stage == EZESS_VERTEX);
	spvc_compiler_install_compiler_options(compiler, options);
	if (out.Stage == EZESS_VERTEX || cross.UsesVPos)
		spvc_compiler_add_header_line(compiler, "uniform float ze_FlipY;");
	if (cross.UsesVPos)
		spvc_compiler_add_header_line(compiler, "uniform float ze_TargetHeight;");
	if (spvc_compiler_compile(compiler, &text) != SPVC_SUCCESS)
		return fail("GLSL");
	return fitText(text, instanced, out, log);
}
} // namespace

// ---- Helpers ----------------------------------------------------------------------------
void sha1(const void* data, size_t size, unsigned char hash[20])
{
	SHA1(static_cast<const unsigned char*>(data), size, hash);
}

bool hashFile(const char* name, unsigned char hash[20])
{
	long size = 0;
	char* data = zeReadFile(name, &size);
	if (!data)
		return false;
	sha1(data, static_cast<size_t>(size), hash);
	delete[] data;
	return true;
}

std::string macroText(const SZeMacro* macros)
{
	std::string text;
	for (const SZeMacro* m = macros; m && m->Name; ++m)
		text += std::string(m->Name) + "=" + (m->Definition ? m->Definition : "1") + "\n";
	return text;
}

std::string resolveShaderFile(const char* file)
{
	if (!file)
		return "";
	return zeFileExist(file) ? std::string(file) : std::string(zeFindDataFile(file));
}

bool translateHlsl(const char* file, const char* entry, EZE_SHADER_STAGE stage, const SZeMacro* macros,
	SStageCode& out, std::string& log)
{
	initGlslang();
	out = SStageCode();
	out.Stage = stage;
	out.Entry = entry ? entry : "";
	long size = 0;
	char* data = zeReadFile(file, &size);
	if (!data)
	{
		log = std::string("cannot open ") + file;
		return false;
	}
	const std::string original(data, static_cast<size_t>(size));
	delete[] data;
	SSourceFile main;
	main.Name = file;
	sha1(original.data(), original.size(), main.Hash);
	out.Sources.push_back(main);

	// glslang reads the text with its conditionals resolved and its macros'
	// expansion bounded by our own preprocessing.
	SHlslText text;
	const HlslIncludeReader read = [&out](const std::string& header, bool quoted, const std::string& from,
		std::string& name, std::string& contents) { return readInclude(header, quoted, from, name, contents, out.Sources); };
	if (!preprocessHlsl(file, hlslPreamble(macros), braceFlatInitialisers(original), read, text, log))
		return false;
	const EShLanguage language = stage == EZESS_VERTEX ? EShLangVertex : EShLangFragment;
	const EShMessages messages = static_cast<EShMessages>(EShMsgReadHlsl | EShMsgHlslDX9Compatible | EShMsgSpvRules);
	CIncluder includer(text.Includes);
	glslang::TShader shader(language);
	const char* strings[] = { text.Source.c_str() };
	const int lengths[] = { static_cast<int>(text.Source.size()) };
	const char* names[] = { file };
	shader.setStringsWithLengthsAndNames(strings, lengths, names, 1);
	shader.setPreamble(text.Preamble.c_str());
	shader.setEntryPoint(out.Entry.c_str());
	shader.setEnvInput(glslang::EShSourceHlsl, language, glslang::EShClientOpenGL, 100);
	shader.setEnvClient(glslang::EShClientOpenGL, glslang::EShTargetOpenGL_450);
	shader.setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
	shader.setEnvTargetHlslFunctionality1();
	if (!shader.parse(GetDefaultResources(), 100, false, messages, includer))
	{
		log = shader.getInfoLog();
		return false;
	}
	glslang::TProgram program;
	program.addShader(&shader);
	if (!program.link(messages) || strstr(program.getInfoLog(), "Entry point not found"))
	{
		log = program.getInfoLog();
		return false;
	}
	SGlobalsInfo info;
	program.buildReflection(EShReflectionAllBlockVariables);
	for (int i = 0; i < program.getNumUniformVariables(); ++i)
	{
		const glslang::TObjectReflection& u = program.getUniform(i);
		info.GlType[u.name] = u.glDefineType;
		info.Binding[u.name] = u.getBinding();
	}
	std::vector<uint32_t> spirv;
	spv::SpvBuildLogger logger;
	glslang::SpvOptions options;
	options.disableOptimizer = true;
	glslang::GlslangToSpv(*program.getIntermediate(language), spirv, &logger, &options);
	if (spirv.empty())
	{
		log = logger.getAllMessages();
		return false;
	}
	bool instanced = false;
	for (const SZeMacro* m = macros; m && m->Name; ++m)
		instanced = instanced || strcmp(m->Name, ZE_INSTANCED_MACRO) == 0;
	return storeIntegerGlobalsAsFloats(spirv, log) && crossCompile(spirv, info, instanced, out, log);
}

std::string matchPixelInputs(const SStageCode& vertex, const SStageCode& pixel)
{
	std::vector<std::string> lines = splitLines(pixel.Glsl);
	for (std::string& line : lines)
	{
		std::string qualifiers, type, name;
		if (!parseDeclaration(line, "in", qualifiers, type, name) || name.compare(0, 5, "ze_p_") != 0)
			continue;
		const std::string semantic = name.substr(5);
		auto written = std::find_if(vertex.Varyings.begin(), vertex.Varyings.end(),
			[&](const SStageVarying& v) { return v.Semantic == semantic; });
		if (written == vertex.Varyings.end())
			line = "#define " + name + " (" + type + "(0.0))";  // not written: zero
		else
			line = written->Qualifiers + "in " + written->Type + " ze_v_" + semantic + ";\n#define " + name + " "
				+ adapt("ze_v_" + semantic, components(written->Type), type);
	}
	return joinLines(lines);
}
} // namespace ze
