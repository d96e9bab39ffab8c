// Internal to the HLSL translator: what is done to Direct3D 9 HLSL text
// before glslang's HLSL front end reads it, so that the front end accepts
// what the Direct3D 9 compiler accepts.
#pragma once

#include "core/IZeGpuProgramming.h"

#include <string>

namespace ze
{
// The text read before every shader: the GLSL macros the front end predefines
// undefined (HLSL sources test them to pick code for other compilers), 1D
// samplers turned into 2D samplers read at v = 0.5 (Direct3D 9 binds 2D
// textures there), then the caller's macros in list order (a null value
// counts as "1").
std::string hlslPreamble(const SZeMacro* macros);
} // namespace ze
