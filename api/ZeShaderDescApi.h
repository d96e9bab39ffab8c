// What the effect, camera-effect, emitter and object-surface APIs share: macro
// lists with the macro texts parsed into them, and a scene's shader
// description applied to any effect (its parameters, its textures).
#pragma once

#include "core/IZeGpuProgramming.h"

#include <irrlicht.h>

#include <deque>
#include <string>
#include <vector>

class IZeEffect;
struct SZeFxParameter;
struct SZeShaderDesc;

// Pairs of the lists made for shader descriptions and for surfaces.
const irr::u32 ZE_SHADER_MACRO_PAIRS = 100;
const irr::u32 ZE_SURFACE_MACRO_PAIRS = 20;
// Characters of one macro text that are parsed; the rest is left out (logged).
const irr::u32 ZE_SHADER_MACRO_TEXT = 1000;

// A macro list as the effect service takes it: {name, definition} pairs ended
// by a pair of two nulls. It has room for a fixed number of pairs, the last
// of which is always kept for the terminator, and owns the texts parsed into
// it; names and definitions others put in must outlive the list.
struct SZeMacroList
{
	// Room for `pairs` pairs, terminator included (at least 1); all null.
	explicit SZeMacroList(irr::u32 pairs = ZE_SHADER_MACRO_PAIRS);
	// The pairs point into the list's own texts: a copy would share them.
	SZeMacroList(const SZeMacroList&) = delete;
	SZeMacroList& operator=(const SZeMacroList&) = delete;

	// The pairs, for the effect service or to be filled in place.
	SZeMacro* data() { return Pairs.data(); }
	const SZeMacro* data() const { return Pairs.data(); }
	// Pairs in all, the terminator's included.
	irr::u32 capacity() const { return static_cast<irr::u32>(Pairs.size()); }
	// The pairs before the first one without a name.
	irr::u32 count() const;
	// Appends a pair when there is room for it and the terminator; false
	// otherwise. Both texts are kept by the list.
	bool append(const char* name, irr::u32 nameLength, const char* value, irr::u32 valueLength);

private:
	const char* keep(const char* text, irr::u32 length);

	std::vector<SZeMacro> Pairs;
	std::deque<std::string> Texts;
};

// Appends the macros of a text after the list's last named pair: tokens
// split at blanks, each split at its first "=" into a name and a value (no
// value without one), so "A B=1 C=x=y" gives {A}, {B, 1}, {C, x=y}. Only the
// first ZE_SHADER_MACRO_TEXT characters are read and only the pairs that fit
// are kept; either cut is logged. Returns the number of pairs appended.
irr::u32 zeParseShaderMacros(SZeMacroList& list, const char* text);

// Sets the description's parameters on the effect (technique 0 by name):
// three floats, a float or an integer; textures are left to
// zeSetShaderTextures. Every parameter is tried; each failure reports (-1)
// "%s: no effect param with name '%s'" or "%s: shader param '%s' unknown type
// %d" with the description's file (a value the effect refuses is only
// warned about). 1 when any failed, else 0.
int zeSetShaderParams(IZeEffect* effect, const SZeShaderDesc* desc);
// Sets the description's textures on the samplers it names that the effect
// has: none for an empty value, a texture found by name, or a file found
// through the data directories and loaded for the sampler's kind; each with
// the parameter's sRGB flag. Every parameter is tried; failures report (-1)
// "%s: failed to find texture '%s' of shader param %s" or "%s: failed to load
// texture '%s' of shader param %s" (the sampler then gets no texture) and
// "%s: failed to set texture '%s' of shader param %s". 1 when any failed.
int zeSetShaderTextures(IZeEffect* effect, const SZeShaderDesc* desc);

// Applies a description's textures (when withTextures) and then its
// parameters; failures report "<owner>: failed to set textures of shader
// '%s'" and "<owner>: failed to set parameters of shader '%s'" (the
// description's file) with the argument number.
void zeApplyShaderParams(IZeEffect* effect, const SZeShaderDesc* desc, int withTextures, const char* owner, int argument);

// Loads a texture file through the texture service as the kind of texture
// the effect's sampler reads (cube, volume or 2D); null when it cannot.
irr::video::ITexture* zeLoadSamplerTexture(IZeEffect* effect, const SZeFxParameter* sampler, const char* file);
