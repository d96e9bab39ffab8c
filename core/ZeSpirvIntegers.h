// Internal to the HLSL translator: Direct3D 9 keeps every constant in float4
// registers, so int and bool globals are stored as floats in the global
// block of a SPIR-V module and converted where they are loaded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ze
{
// Rewrites the module in place; false with the reason in `error` for a
// malformed module or an int or bool array global read whole.
bool storeIntegerGlobalsAsFloats(std::vector<uint32_t>& spirv, std::string& error);
} // namespace ze
