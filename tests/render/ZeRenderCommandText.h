// Render-command descriptions put together in place for the tests.
#pragma once

#include "core/SZeRendererDesc.h"

namespace zetest
{
using namespace irr;

// A description entry put together in place.
struct Cmd
{
	SZeRenderCommand C;
	explicit Cmd(const char* kind, const char* name = "c")
	{
		C.Name = name;
		C.Kind = kind;
	}
	Cmd& in(const char* connection, const char* texture)
	{
		C.Inputs.push_back({connection, texture});
		return *this;
	}
	Cmd& out(const char* connection, const char* texture)
	{
		C.Outputs.push_back({connection, texture});
		return *this;
	}
	Cmd& i(const char* name, s32 value)
	{
		SZeCommandParameter p;
		p.Name = name;
		p.Int = value;
		C.Parameters.push_back(p);
		return *this;
	}
	Cmd& f(const char* name, f32 value)
	{
		SZeCommandParameter p;
		p.Name = name;
		p.Kind = EZCPK_FLOAT;
		p.Float = value;
		C.Parameters.push_back(p);
		return *this;
	}
	Cmd& rgb(const char* name, f32 r, f32 g, f32 b)
	{
		SZeCommandParameter p;
		p.Name = name;
		p.Kind = EZCPK_FLOAT3;
		p.Float3[0] = r;
		p.Float3[1] = g;
		p.Float3[2] = b;
		C.Parameters.push_back(p);
		return *this;
	}
	Cmd& s(const char* name, const char* text)
	{
		SZeCommandParameter p;
		p.Name = name;
		p.Kind = EZCPK_STRING;
		p.String = text;
		C.Parameters.push_back(p);
		return *this;
	}
	Cmd& fx(IZeEffect* effect)
	{
		SZeCommandParameter p;
		p.Name = "Shader";
		p.Kind = EZCPK_EFFECT;
		p.Effect = effect;
		C.Parameters.push_back(p);
		return *this;
	}
};
} // namespace zetest
