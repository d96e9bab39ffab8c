// Effect definitions: what the "//ZELV_PP:" lines of an effect file declare,
// read after a C-style preprocessing of the file with the effect's macros.
// docs/effects.md describes the format.
#pragma once

#include "core/IZeGpuProgramming.h"
#include "effects/IZeEffect.h"

#include <irrlicht.h>

struct SZeFxTechnique
{
	irr::core::stringc Name;
	irr::core::array<SZeFxAnnotation> Annotations;
	irr::core::array<SZeFxPass> Passes;
	irr::u32 Line = 0;
};

struct SZeFxMacroDef
{
	irr::core::stringc Name;
	irr::core::stringc Value;
};

struct SZeFxDef
{
	irr::core::stringc File;
	irr::core::array<SZeFxTechnique> Techniques;
	irr::core::array<SZeFxParameter> Parameters;  // declared ones, in order
	irr::core::array<irr::core::stringc> Includes;  // files read for declarations, in order
	irr::core::array<SZeFxMacroDef> Macros;         // "define" lines, for the compiler too
	// Set before parsing: a parameter needing more float4 registers is refused.
	irr::u32 MaxRegisters = ZE_MAX_CONSTANT_REGISTERS;
};

// Reads an effect file through the file layer and parses its declarations.
// false with "file:line: reason" in `error`.
bool zeParseEffectFile(const char* file, const SZeMacro* macros, SZeFxDef* def, irr::core::stringc* error);
// The same over text already read; included files are read through the file
// layer, relative to the folder of `file` first.
bool zeParseEffectText(const char* file, const char* text, const SZeMacro* macros, SZeFxDef* def,
	irr::core::stringc* error);

// An HLSL type name ("bool", "int3", "float", "float4", "float4x4", "matrix",
// "half2", ...) into Type, Rows and Columns; false when unknown.
bool zeParseFxType(const char* name, SZeFxParameter* out);
