// HLSL text before glslang reads it: the preamble, and flat initialisers
// braced per element.
#include "core/ZeHlslSource.h"

#include <cctype>
#include <cstring>
#include <utility>
#include <vector>

namespace ze
{
namespace
{
// ---- Preamble -----------------------------------------------------------------------
// Every macro that glslang's preamble defines for some stage, profile or client
// (the HLSL front end gets the desktop GLSL set plus GL_SPIRV and its stage's
// name). #undef of a macro that is not defined is harmless.
const char* const GLSL_MACROS =
	"GL_AMD_gcn_shader GL_AMD_gpu_shader_half_float GL_AMD_gpu_shader_half_float_fetch "
	"GL_AMD_gpu_shader_int16 GL_AMD_shader_ballot GL_AMD_shader_explicit_vertex_parameter "
	"GL_AMD_shader_fragment_mask GL_AMD_shader_image_load_store_lod GL_AMD_shader_trinary_minmax "
	"GL_AMD_texture_gather_bias_lod GL_ANDROID_extension_pack_es31a GL_ANY_HIT_SHADER_EXT "
	"GL_ARB_bindless_texture GL_ARB_compute_shader GL_ARB_derivative_control GL_ARB_draw_instanced "
	"GL_ARB_enhanced_layouts GL_ARB_explicit_attrib_location GL_ARB_explicit_uniform_location "
	"GL_ARB_fragment_coord_conventions GL_ARB_fragment_shader_interlock GL_ARB_gpu_shader5 "
	"GL_ARB_gpu_shader_fp64 GL_ARB_gpu_shader_int64 GL_ARB_post_depth_coverage GL_ARB_sample_shading "
	"GL_ARB_separate_shader_objects GL_ARB_shader_atomic_counters GL_ARB_shader_ballot "
	"GL_ARB_shader_bit_encoding GL_ARB_shader_draw_parameters GL_ARB_shader_group_vote "
	"GL_ARB_shader_image_load_store GL_ARB_shader_image_size GL_ARB_shader_stencil_export "
	"GL_ARB_shader_storage_buffer_object GL_ARB_shader_texture_image_samples GL_ARB_shader_texture_lod "
	"GL_ARB_shading_language_420pack GL_ARB_shading_language_packing GL_ARB_sparse_texture2 "
	"GL_ARB_sparse_texture_clamp GL_ARB_tessellation_shader GL_ARB_texture_cube_map_array "
	"GL_ARB_texture_gather GL_ARB_texture_multisample GL_ARB_texture_query_lod GL_ARB_texture_rectangle "
	"GL_ARB_uniform_buffer_object GL_ARB_vertex_attrib_64bit GL_ARB_viewport_array "
	"GL_CALLABLE_SHADER_EXT GL_CLOSEST_HIT_SHADER_EXT GL_COMPUTE_SHADER GL_ES GL_EXT_YUV_target "
	"GL_EXT_blend_func_extended GL_EXT_buffer_reference GL_EXT_buffer_reference2 "
	"GL_EXT_buffer_reference_uvec2 GL_EXT_control_flow_attributes GL_EXT_debug_printf "
	"GL_EXT_demote_to_helper_invocation GL_EXT_device_group GL_EXT_frag_depth "
	"GL_EXT_fragment_invocation_density GL_EXT_fragment_shader_barycentric GL_EXT_fragment_shading_rate "
	"GL_EXT_geometry_point_size GL_EXT_geometry_shader GL_EXT_gpu_shader5 GL_EXT_mesh_shader "
	"GL_EXT_multiview GL_EXT_nonuniform_qualifier GL_EXT_null_initializer GL_EXT_post_depth_coverage "
	"GL_EXT_primitive_bounding_box GL_EXT_ray_cull_mask GL_EXT_ray_flags_primitive_culling "
	"GL_EXT_ray_query GL_EXT_ray_tracing GL_EXT_samplerless_texture_functions GL_EXT_scalar_block_layout "
	"GL_EXT_shader_16bit_storage GL_EXT_shader_8bit_storage GL_EXT_shader_atomic_float "
	"GL_EXT_shader_atomic_float2 GL_EXT_shader_atomic_int64 GL_EXT_shader_explicit_arithmetic_types "
	"GL_EXT_shader_explicit_arithmetic_types_float16 GL_EXT_shader_explicit_arithmetic_types_float32 "
	"GL_EXT_shader_explicit_arithmetic_types_float64 GL_EXT_shader_explicit_arithmetic_types_int16 "
	"GL_EXT_shader_explicit_arithmetic_types_int32 GL_EXT_shader_explicit_arithmetic_types_int64 "
	"GL_EXT_shader_explicit_arithmetic_types_int8 GL_EXT_shader_image_int64 "
	"GL_EXT_shader_image_load_formatted GL_EXT_shader_implicit_conversions GL_EXT_shader_integer_mix "
	"GL_EXT_shader_io_blocks GL_EXT_shader_non_constant_global_initializers GL_EXT_shader_realtime_clock "
	"GL_EXT_shader_subgroup_extended_types_float16 GL_EXT_shader_subgroup_extended_types_int16 "
	"GL_EXT_shader_subgroup_extended_types_int64 GL_EXT_shader_subgroup_extended_types_int8 "
	"GL_EXT_shader_texture_lod GL_EXT_shadow_samplers GL_EXT_shared_memory_block GL_EXT_spirv_intrinsics "
	"GL_EXT_subgroup_uniform_control_flow GL_EXT_terminate_invocation GL_EXT_tessellation_point_size "
	"GL_EXT_tessellation_shader GL_EXT_texture_buffer GL_EXT_texture_cube_map_array "
	"GL_FRAGMENT_PRECISION_HIGH GL_FRAGMENT_SHADER GL_GEOMETRY_SHADER GL_GOOGLE_cpp_style_line_directive "
	"GL_GOOGLE_include_directive GL_INTEL_shader_integer_functions2 GL_INTERSECTION_SHADER_EXT "
	"GL_KHR_blend_equation_advanced GL_KHR_shader_subgroup_arithmetic GL_KHR_shader_subgroup_ballot "
	"GL_KHR_shader_subgroup_basic GL_KHR_shader_subgroup_clustered GL_KHR_shader_subgroup_quad "
	"GL_KHR_shader_subgroup_shuffle GL_KHR_shader_subgroup_shuffle_relative GL_KHR_shader_subgroup_vote "
	"GL_MESH_SHADER_NV GL_MISS_SHADER_EXT GL_NV_compute_shader_derivatives "
	"GL_NV_conservative_raster_underestimation GL_NV_cooperative_matrix "
	"GL_NV_fragment_shader_barycentric GL_NV_geometry_shader_passthrough "
	"GL_NV_integer_cooperative_matrix GL_NV_mesh_shader GL_NV_ray_tracing GL_NV_ray_tracing_motion_blur "
	"GL_NV_sample_mask_override_coverage GL_NV_shader_atomic_int64 GL_NV_shader_execution_reorder "
	"GL_NV_shader_noperspective_interpolation GL_NV_shader_sm_builtins GL_NV_shader_subgroup_partitioned "
	"GL_NV_shader_texture_footprint GL_NV_shading_rate_image GL_NV_viewport_array2 "
	"GL_OES_EGL_image_external GL_OES_EGL_image_external_essl3 GL_OES_geometry_point_size "
	"GL_OES_geometry_shader GL_OES_gpu_shader5 GL_OES_primitive_bounding_box GL_OES_sample_variables "
	"GL_OES_shader_image_atomic GL_OES_shader_io_blocks GL_OES_shader_multisample_interpolation "
	"GL_OES_standard_derivatives GL_OES_tessellation_point_size GL_OES_tessellation_shader "
	"GL_OES_texture_3D GL_OES_texture_buffer GL_OES_texture_cube_map_array "
	"GL_OES_texture_storage_multisample_2d_array GL_OVR_multiview GL_OVR_multiview2 "
	"GL_RAY_GENERATION_SHADER_EXT GL_SPIRV GL_TASK_SHADER_NV GL_TESSELLATION_CONTROL_SHADER "
	"GL_TESSELLATION_EVALUATION_SHADER GL_VERTEX_SHADER GL_compatibility_profile GL_core_profile VULKAN";

// Direct3D 9 binds 2D textures to 1D samplers: the 1D intrinsics read them at
// v = 0.5. The intrinsics' names are object-like macros so that every
// overload reaches the function of its signature; the functions are only
// compiled into a stage that calls them.
const char* const SAMPLER_1D =
	"#define sampler1D sampler2D\n"
	"#define tex1D ze_tex1D\n"
	"#define tex1Dbias ze_tex1Dbias\n"
	"#define tex1Dgrad ze_tex1Dgrad\n"
	"#define tex1Dlod ze_tex1Dlod\n"
	"#define tex1Dproj ze_tex1Dproj\n"
	"float4 ze_tex1D(sampler2D s, float u) { return tex2D(s, float2(u, 0.5)); }\n"
	"float4 ze_tex1D(sampler2D s, float u, float dx, float dy)\n"
	"{ return tex2Dgrad(s, float2(u, 0.5), float2(dx, 0), float2(dy, 0)); }\n"
	"float4 ze_tex1Dbias(sampler2D s, float4 t) { return tex2Dbias(s, float4(t.x, 0.5, 0, t.w)); }\n"
	"float4 ze_tex1Dgrad(sampler2D s, float u, float dx, float dy)\n"
	"{ return tex2Dgrad(s, float2(u, 0.5), float2(dx, 0), float2(dy, 0)); }\n"
	"float4 ze_tex1Dlod(sampler2D s, float4 t) { return tex2Dlod(s, float4(t.x, 0.5, 0, t.w)); }\n"
	"float4 ze_tex1Dproj(sampler2D s, float4 t) { return tex2D(s, float2(t.x / t.w, 0.5)); }\n";

const std::string& fixedPreamble()
{
	static const std::string text = [] {
		std::string out;
		for (const char* at = GLSL_MACROS; *at;)
		{
			const size_t length = strcspn(at, " ");
			out += "#undef " + std::string(at, length) + "\n";
			at += length;
			at += *at == ' ';
		}
		return out + SAMPLER_1D;
	}();
	return text;
}

// ---- Flat initialisers ------------------------------------------------------------------
bool inSet(const char* set, char c)
{
	return c != '\0' && strchr(set, c) != nullptr;
}

bool isWordChar(char c)
{
	return isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// The end of a comment starting at `at`, or `at` when none starts there.
size_t skipComment(const std::string& s, size_t at)
{
	if (s.compare(at, 2, "//") == 0)
	{
		const size_t end = s.find('\n', at);
		return end == std::string::npos ? s.size() : end;
	}
	if (s.compare(at, 2, "/*") == 0)
	{
		const size_t end = s.find("*/", at + 2);
		return end == std::string::npos ? s.size() : end + 2;
	}
	return at;
}

// The first position from `at` that is neither blank nor in a comment.
size_t skipBlank(const std::string& s, size_t at)
{
	while (at < s.size())
	{
		if (isspace(static_cast<unsigned char>(s[at])))
			++at;
		else if (skipComment(s, at) != at)
			at = skipComment(s, at);
		else
			break;
	}
	return at;
}

// Scalars per element of a vector or matrix type name ("float2" 2,
// "half3x4" 12); 0 for any other name.
size_t componentsOf(const std::string& type)
{
	static const char* const scalars[] = { "bool", "int", "uint", "dword", "half", "float", "double",
		"min16float", "min10float", "min16int", "min12int", "min16uint" };
	for (const char* scalar : scalars)
	{
		const size_t n = strlen(scalar);
		if (type.compare(0, n, scalar) != 0)
			continue;
		const std::string shape = type.substr(n);
		auto digit = [](char c) { return c >= '1' && c <= '4'; };
		if (shape.size() == 1 && digit(shape[0]))
			return static_cast<size_t>(shape[0] - '0');
		if (shape.size() == 3 && digit(shape[0]) && shape[1] == 'x' && digit(shape[2]))
			return static_cast<size_t>((shape[0] - '0') * (shape[2] - '0'));
	}
	return 0;
}

// "TYPE NAME[DIMENSION]" ending just before `end`: the type and the dimension
// ("" when unsized); false for anything else.
bool arrayDeclaration(const std::string& s, size_t end, std::string& type, std::string& dimension)
{
	size_t at = end;
	while (at > 0 && isspace(static_cast<unsigned char>(s[at - 1])))
		--at;
	if (at == 0 || s[at - 1] != ']')
		return false;
	const size_t close = at - 1, open = s.rfind('[', close);
	if (open == std::string::npos || s.find_first_of("];{}", open + 1) != close)
		return false;
	dimension = s.substr(open + 1, close - open - 1);
	dimension.erase(0, dimension.find_first_not_of(" \t"));
	dimension.erase(dimension.find_last_not_of(" \t") + 1);
	at = open;
	while (at > 0 && isspace(static_cast<unsigned char>(s[at - 1])))
		--at;
	const size_t nameEnd = at;
	while (at > 0 && isWordChar(s[at - 1]))
		--at;
	if (at == nameEnd)
		return false;
	while (at > 0 && isspace(static_cast<unsigned char>(s[at - 1])))
		--at;
	const size_t typeEnd = at;
	while (at > 0 && isWordChar(s[at - 1]))
		--at;
	type = s.substr(at, typeEnd - at);
	return componentsOf(type) > 1;
}

// An item made of number literals and arithmetic only (no names that could be vectors).
bool isScalarLiteral(const std::string& s, size_t begin, size_t end)
{
	for (size_t at = begin; at < end;)
	{
		if (skipComment(s, at) != at)
			at = skipComment(s, at);
		else if (!inSet("0123456789.eEfFhHlL+-*/() \t\r\n", s[at++]))
			return false;
	}
	return true;
}

class CBracer
{
public:
	explicit CBracer(const std::string& source) : S(source) {}

	std::string run()
	{
		bool lineStart = true;
		for (size_t at = 0; at < S.size();)
		{
			const char c = S[at];
			if (skipComment(S, at) != at)
				at = skipComment(S, at);
			else if (c == '\n')
			{
				lineStart = true;
				++at;
			}
			else if (isspace(static_cast<unsigned char>(c)))
				++at;
			else if (lineStart && c == '#')
				at = directiveEnd(at);
			else
			{
				lineStart = false;
				at = c == '=' && isAssignment(at) ? initialiser(at) : at + 1;
			}
		}
		std::string out;
		size_t from = 0;
		for (const auto& insertion : Insertions)
		{
			out.append(S, from, insertion.first - from);
			out += insertion.second;
			from = insertion.first;
		}
		return out.append(S, from, std::string::npos);
	}

private:
	size_t directiveEnd(size_t at) const
	{
		while (at < S.size() && S[at] != '\n')
			at += S[at] == '\\' && at + 1 < S.size() ? 2 : 1;
		return at;
	}

	bool isAssignment(size_t at) const
	{
		return (at == 0 || !inSet("=<>!+-*/%&|^", S[at - 1])) && (at + 1 >= S.size() || S[at + 1] != '=');
	}

	// Braces the list after the '=' at `equals` when it is a flat initialiser
	// of a vector or matrix array; the position to go on scanning from.
	size_t initialiser(size_t equals)
	{
		const size_t open = skipBlank(S, equals + 1);
		std::string type, dimension;
		if (open >= S.size() || S[open] != '{' || !arrayDeclaration(S, equals, type, dimension))
			return equals + 1;
		std::vector<std::pair<size_t, size_t>> items;  // [begin, end) of each
		size_t begin = open + 1, at = open + 1;
		int depth = 0;
		bool lineStart = false;
		for (;; ++at)
		{
			at = skipBlankKeepingLines(at, lineStart);
			if (at >= S.size() || S[at] == '{' || S[at] == ';' || (lineStart && S[at] == '#'))
				return equals + 1;
			lineStart = false;
			const char c = S[at];
			depth += (c == '(' || c == '[') - (c == ')' || c == ']');
			if (depth == 0 && (c == ',' || c == '}'))
			{
				items.emplace_back(begin, at);
				begin = at + 1;
				if (c == '}')
					break;
			}
		}
		if (items.size() > 1 && skipBlank(S, items.back().first) >= items.back().second)
			items.pop_back();  // a trailing comma
		const size_t per = componentsOf(type), count = items.size();
		bool literals = true;
		for (const auto& item : items)
		{
			if (skipBlank(S, item.first) >= item.second)
				return equals + 1;
			literals = literals && isScalarLiteral(S, item.first, item.second);
		}
		const bool sized = !dimension.empty() && dimension.size() < 10
			&& dimension.find_first_not_of("0123456789") == std::string::npos;
		if (count % per != 0 || (sized ? std::stoul(dimension) * per != count : !literals))
			return equals + 1;
		for (size_t first = 0; first < count; first += per)
		{
			Insertions.emplace_back(items[first].first, type + "(");
			Insertions.emplace_back(items[first + per - 1].second, ")");
		}
		return at + 1;
	}

	// Like skipBlank, noting whether a new line began on the way.
	size_t skipBlankKeepingLines(size_t at, bool& lineStart) const
	{
		while (at < S.size())
		{
			const size_t after = skipComment(S, at);
			if (after != at)
				at = after;
			else if (isspace(static_cast<unsigned char>(S[at])))
				lineStart = S[at++] == '\n' || lineStart;
			else
				break;
		}
		return at;
	}

	const std::string& S;
	std::vector<std::pair<size_t, std::string>> Insertions;  // in text order
};
} // namespace

std::string hlslPreamble(const SZeMacro* macros)
{
	std::string preamble = fixedPreamble();
	for (const SZeMacro* m = macros; m && m->Name; ++m)
		preamble += std::string("#define ") + m->Name + " " + (m->Definition ? m->Definition : "1") + "\n";
	return preamble;
}

std::string braceFlatInitialisers(const std::string& source)
{
	return CBracer(source).run();
}
} // namespace ze
