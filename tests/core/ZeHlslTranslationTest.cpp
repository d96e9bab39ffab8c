// HLSL written the Direct3D 9 way, as post-processing shaders are: arrays
// passed between the stages, GLSL macros kept out of HLSL sources, 1D
// samplers reading 2D textures, flat initialisers of vector tables, and a
// file of post passes of our own, each drawn for real (Xvfb, llvmpipe).
#include "core/ZeGpuTestUtil.h"
#include "core/ZeHlslTranslator.h"

#include <algorithm>
#include <cmath>
#include <functional>

using namespace irr;
using namespace zegputest;

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

class HlslGL : public GpuGL
{
protected:
	// An RGBA8 texture of w x h texels, rows from the top (v = 0), on a unit;
	// nearest filtering, clamped at the edges.
	void image(u32 unit, int w, int h, const std::vector<u32>& texels)
	{
		texture(GL_TEXTURE_2D, unit);
		glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
		glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
		glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
		glActiveTexture(GL_TEXTURE0);
	}

	// Points the sampler `name` of each stage that reads it at a unit; how many stages do.
	int bind(IZeShaderProgram* p, const char* name, u32 unit)
	{
		int stages = 0;
		for (EZE_SHADER_STAGE stage : { EZESS_VERTEX, EZESS_PIXEL })
		{
			const s32 i = p->findConstant(name, stage);
			if (i < 0)
				continue;
			EXPECT_EQ(p->getConstants()[i].Type, EZECT_SAMPLER_2D) << name;
			p->setSamplerUnit(static_cast<u32>(i), unit);
			++stages;
		}
		return stages;
	}

	// Writes a float constant in each stage that reads it.
	void setAll(IZeShaderProgram* p, const char* name, const std::vector<f32>& values)
	{
		for (EZE_SHADER_STAGE stage : { EZESS_VERTEX, EZESS_PIXEL })
			if (p->findConstant(name, stage) >= 0)
				set(p, name, stage, values);
	}
};

// Translation alone, without a display.
class HlslSource : public zetest::FileLayerTest
{
protected:
	bool translate(const std::string& name, const std::string& text, const char* entry, EZE_SHADER_STAGE stage,
		std::string& log)
	{
		zetest::writeText(path(name), text);
		ze::SStageCode code;
		return ze::translateHlsl(path(name).c_str(), entry, stage, nullptr, code, log);
	}
};

// ---- GLSL macros ------------------------------------------------------------------
const char* const GL_PATHS = R"(
#ifdef GL_ARB_gpu_shader5
layout(location = 0) out vec4 glslOnly;
#endif
float4 mainVS(float4 p : POSITION) : POSITION
{
#if defined(GL_VERTEX_SHADER) || defined(GL_SPIRV)
	return float4(p.xy * 0.25, p.zw);
#else
	return p;
#endif
}
float4 mainPS() : COLOR0
{
#if defined(GL_core_profile) || defined(GL_FRAGMENT_SHADER) || defined(GL_ARB_texture_gather) || defined(GL_GOOGLE_include_directive)
	return float4(1, 0, 0, 1);
#else
	return float4(0, 1, 0, 1);
#endif
}
)";

TEST_F(HlslGL, GlslMacrosAreHiddenFromHlslButTheCallersMacrosStillCount)
{
	const std::string f = file("shaders/glpaths.hlsl", GL_PATHS);
	IZeShaderProgram* p = program(f);
	ASSERT_NE(p, nullptr);
	const Pixels plain = draw(p);
	EXPECT_TRUE(near(plain.at(2, 2), 0, 255, 0));  // the whole quad, in the HLSL colour
	EXPECT_TRUE(near(plain.at(32, 32), 0, 255, 0));
	const SZeMacro caller[] = { { "GL_core_profile", "1" }, { nullptr, nullptr } };
	IZeShaderProgram* q = program(f, caller);
	ASSERT_NE(q, nullptr);
	EXPECT_TRUE(near(draw(q).at(2, 2), 255, 0, 0));
}

TEST_F(HlslSource, NoneOfTheGlslFrontEndsMacrosIsDefinedInEitherStage)
{
	const char* const names[] = { "GL_ARB_gpu_shader5", "GL_ARB_texture_gather", "GL_core_profile", "GL_SPIRV",
		"GL_FRAGMENT_SHADER", "GL_VERTEX_SHADER", "GL_FRAGMENT_PRECISION_HIGH", "GL_ARB_shader_texture_lod",
		"GL_ARB_derivative_control", "GL_ARB_gpu_shader_fp64", "GL_ARB_shading_language_420pack",
		"GL_GOOGLE_include_directive", "GL_GOOGLE_cpp_style_line_directive", "GL_KHR_shader_subgroup_basic",
		"GL_EXT_control_flow_attributes", "GL_NV_shader_sm_builtins", "GL_OVR_multiview" };
	for (const char* name : names)
	{
		const std::string text = std::string("#ifdef ") + name + "\n#error " + name + " is defined\n#endif\n" + PASS_VS
			+ "float4 mainPS() : COLOR0 { return 1; }\n";
		std::string log;
		EXPECT_TRUE(translate("gl.hlsl", text, "mainVS", EZESS_VERTEX, log)) << log;
		EXPECT_TRUE(translate("gl.hlsl", text, "mainPS", EZESS_PIXEL, log)) << log;
	}
}

} // namespace
