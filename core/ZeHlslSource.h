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

// The source with flat initialisers of vector and matrix arrays, as in
// "static const float2 taps[2] = { -1, 0, 1, 0 };", turned into one
// constructor per element. Lists that do not add up to whole elements, that
// are already braced, or that hold preprocessor lines stay as they are. Text
// is only inserted, never moved, so every line keeps its number.
std::string braceFlatInitialisers(const std::string& source);
} // namespace ze
