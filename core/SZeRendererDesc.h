// What a renderer is made from: the effect file that materials drawn solid
// compile with and the one for transparent materials (IZeRenderer::
// getMaterialEffect hands them out), and for the command renderer the list of
// render commands a scene defines.
//
// Index:
//   - SZeCommandConnect
//   - SZeCommandParameter
//   - SZeRenderCommand
//   - SZeRendererDesc
#pragma once

#include <irrlicht.h>

class IZeEffect;

// ---- SZeCommandConnect -----------------------------------------------------------
// One input or output of a command: its connection name ("Source", "s0",
// "Color0", ...) and the texture it names: "Display" (the frame's own target,
// for outputs), a flip-flop pair "name[]" or a texture by name.
struct SZeCommandConnect
{
	irr::core::stringc Name;
	irr::core::stringc Texture;
};

// ---- SZeCommandParameter ---------------------------------------------------------
enum EZE_COMMAND_PARAMETER_KIND
{
	EZCPK_FLOAT = 0,
	EZCPK_FLOAT3 = 1,
	EZCPK_INT = 2,
	EZCPK_STRING = 3,
	EZCPK_EFFECT = 4
};

// One named value; only the member of its kind is meaningful, the others
// stay zero. Commands read ints and switches from Int, floats from Float,
// colours from Float3, texts from String, effects from Effect (not held by
// the record: the command that keeps it takes a reference).
struct SZeCommandParameter
{
	irr::core::stringc Name;
	irr::s32 Kind = EZCPK_INT;
	irr::f32 Float3[3] = {0.0f, 0.0f, 0.0f};
	irr::f32 Float = 0.0f;
	irr::s32 Int = 0;
	irr::core::stringc String;
	IZeEffect* Effect = nullptr;
};

// ---- SZeRenderCommand ------------------------------------------------------------
struct SZeRenderCommand
{
	irr::core::stringc Name;
	irr::core::stringc Kind;  // "Clear", "Shader", ..., "Create Texture"
	irr::core::array<SZeCommandConnect> Inputs;
	irr::core::array<SZeCommandConnect> Outputs;
	irr::core::array<SZeCommandParameter> Parameters;

	// The first parameter of that name, or null.
	const SZeCommandParameter* findParameter(const char* name) const
	{
		for (irr::u32 i = 0; i < Parameters.size(); ++i)
			if (Parameters[i].Name == name)
				return &Parameters[i];
		return nullptr;
	}
};

// ---- SZeRendererDesc -------------------------------------------------------------
struct SZeRendererDesc
{
	irr::core::stringc FirstEffectFile = "Lpp.hlsl";
	irr::core::stringc SecondEffectFile = "Forward.hlsl";
	// The command renderer's commands, in list order.
	irr::core::array<SZeRenderCommand> Commands;
};
