// Internal to the GPU-programming service: HLSL (Direct3D 9 style) to GLSL
// for one stage, with the stage's constant table and interface.
//
// Names in the GLSL text:
//   ze_vs_c[N], ze_ps_c[N]   the stage's float4 registers
//   ze_vs_sK, ze_ps_sK       the stage's K-th sampler; pixel samplers take texture
//                            unit N for register(sN), vertex samplers unit 16 + N
//   ze_v_SEM / ze_p_SEM      a vertex output / pixel input of semantic SEM; arrays
//                            pass as one of these per element (TEXCOORD1[3] is
//                            TEXCOORD1, TEXCOORD2 and TEXCOORD3)
//   ze_va_SEM / ze_pa_SEM    the array a vertex shader writes / a pixel shader
//                            reads at semantic SEM, copied from / to its elements
//   ze_FlipY                 +1, or -1 while a render target is bound
//   ze_TargetHeight          the render target's height (pixel shaders reading VPOS)
#pragma once

#include "core/IZeGpuProgramming.h"

#include <string>
#include <vector>

namespace ze
{
// Vertex-stage samplers take texture units from here on (Direct3D 9 keeps
// them apart from the pixel stage's).
const irr::u32 VERTEX_SAMPLER_FIRST_UNIT = 16;

struct SStageConstant
{
	std::string Name;      // as declared in HLSL
	std::string GlslName;  // samplers: the GLSL uniform
	EZE_CONSTANT_TYPE Type = EZECT_FLOAT;
	irr::u32 RegisterIndex = 0;  // samplers: the texture unit
	irr::u32 RegisterCount = 0;
	irr::u32 Rows = 1;
	irr::u32 Columns = 1;
	irr::u32 Elements = 1;
	bool RowMajor = false;
};

// A vertex output or pixel input: its declaration in the GLSL text.
struct SStageVarying
{
	std::string Semantic;    // normalised: upper case with its index, "TEXCOORD0"
	std::string Qualifiers;  // interpolation qualifiers before in/out, "" when none
	std::string Type;        // "float", "vec2"...
};

struct SSourceFile
{
	std::string Name;  // as the file layer opened it
	unsigned char Hash[20];
};

struct SStageCode
{
	EZE_SHADER_STAGE Stage = EZESS_VERTEX;
	std::string Entry;
	std::string Glsl;
	irr::u32 RegisterCount = 0;
	std::vector<SStageConstant> Constants;
	std::vector<SStageVarying> Varyings;
	std::vector<SSourceFile> Sources;  // the shader file first, then its includes
};

// SHA-1 of bytes.
void sha1(const void* data, size_t size, unsigned char hash[20]);
// The SHA-1 of a file read through the file layer; false when it does not open.
bool hashFile(const char* name, unsigned char hash[20]);

// "NAME=VALUE\n" per macro in list order (a null value counts as "1").
std::string macroText(const SZeMacro* macros);

// The name a shader file opens by: as given when it exists, else as the data
// search finds it.
std::string resolveShaderFile(const char* file);

// Translates an entry point of a shader file (a resolved name). False with the
// compiler's messages in `log`.
bool translateHlsl(const char* file, const char* entry, EZE_SHADER_STAGE stage, const SZeMacro* macros,
	SStageCode& out, std::string& log);

// The pixel stage's GLSL with its inputs declared as the vertex stage writes
// them (Direct3D 9 reads a float4 output as float2, GLSL does not).
std::string matchPixelInputs(const SStageCode& vertex, const SStageCode& pixel);
} // namespace ze
