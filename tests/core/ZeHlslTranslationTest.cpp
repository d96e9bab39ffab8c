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

// A colour with 0-1 channels.
struct Rgb
{
	float R, G, B;
};

u32 rgba(int r, int g, int b)
{
	return 0xff000000u | static_cast<u32>(b) << 16 | static_cast<u32>(g) << 8 | static_cast<u32>(r);
}

// Every pixel within `tolerance` (0-255 steps) of what `expect` gives for it.
::testing::AssertionResult matches(const Pixels& px, const std::function<Rgb(int, int)>& expect, int tolerance = 2)
{
	int wrong = 0;
	std::string first;
	for (int y = 0; y < SIZE; ++y)
		for (int x = 0; x < SIZE; ++x)
		{
			const Rgb want = expect(x, y);
			const int r = int(std::lround(std::clamp(want.R, 0.f, 1.f) * 255));
			const int g = int(std::lround(std::clamp(want.G, 0.f, 1.f) * 255));
			const int b = int(std::lround(std::clamp(want.B, 0.f, 1.f) * 255));
			const video::SColor got = px.at(x, y);
			if (std::abs(int(got.getRed()) - r) <= tolerance && std::abs(int(got.getGreen()) - g) <= tolerance
				&& std::abs(int(got.getBlue()) - b) <= tolerance)
				continue;
			if (!wrong++)
				first = "(" + std::to_string(x) + ", " + std::to_string(y) + "): got (" + std::to_string(got.getRed())
					+ ", " + std::to_string(got.getGreen()) + ", " + std::to_string(got.getBlue()) + "), want ("
					+ std::to_string(r) + ", " + std::to_string(g) + ", " + std::to_string(b) + ")";
		}
	if (!wrong)
		return ::testing::AssertionSuccess();
	return ::testing::AssertionFailure() << wrong << " pixels differ, first at " << first;
}

// The texture coordinates the fixture's quad gives a pixel's centre.
float u(int x)
{
	return (x + 0.5f) / SIZE;
}

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

// ---- 1D samplers -----------------------------------------------------------------
const char* const RAMP = R"(
sampler1D Ramp;
float4 Where;
struct VOut { float4 Pos : POSITION; float2 Uv : TEXCOORD0; };
struct VOutColour { float4 Pos : POSITION; float4 Colour : COLOR0; };
VOut mainVS(float4 pos : POSITION, float2 uv : TEXCOORD0) { VOut o; o.Pos = pos; o.Uv = uv; return o; }
VOutColour rampVS(float4 pos : POSITION)
{
	VOutColour o;
	o.Pos = pos;
	o.Colour = tex1Dlod(Ramp, float4(Where.x, 0, 0, 0));
	return o;
}
float4 colourPS(float4 c : COLOR0) : COLOR0 { return c; }
float4 mainPS(float2 uv : TEXCOORD0) : COLOR0
{
#if VARIANT == 0
	return tex1D(Ramp, uv.x);
#elif VARIANT == 1
	return tex1Dlod(Ramp, float4(uv.x, 0, 0, 0));
#elif VARIANT == 2
	return tex1Dbias(Ramp, float4(uv.x, 0, 0, 0));
#elif VARIANT == 3
	return tex1Dgrad(Ramp, uv.x, ddx(uv.x), ddy(uv.x));
#elif VARIANT == 4
	return tex1Dproj(Ramp, float4(uv.x * 2, 0, 0, 2));
#else
	return tex1D(Ramp, uv.x, ddx(uv.x), ddy(uv.x));
#endif
}
)";

TEST_F(HlslGL, OneDimensionalSamplersReadTheMiddleRowOfA2DTexture)
{
	// Four columns of red, and rows of green 0, 200 and 50: only the middle row is right.
	std::vector<u32> texels;
	for (int row : { 0, 200, 50 })
		for (int column = 0; column < 4; ++column)
			texels.push_back(rgba(40 + 60 * column, row, 255 - 60 * column));
	image(6, 4, 3, texels);
	const std::string f = file("shaders/ramp.hlsl", RAMP);
	const auto ramp = [](int x, int) {
		const int column = x * 4 / SIZE;
		return Rgb{ (40 + 60 * column) / 255.f, 200 / 255.f, (255 - 60 * column) / 255.f };
	};
	const char* const variants[] = { "0", "1", "2", "3", "4", "5" };
	for (const char* variant : variants)
	{
		SCOPED_TRACE(std::string("variant ") + variant);
		const SZeMacro macros[] = { { "VARIANT", variant }, { nullptr, nullptr } };
		IZeShaderProgram* p = program(f, macros);
		if (!p)
			continue;
		EXPECT_EQ(bind(p, "Ramp", 6), 1);
		EXPECT_TRUE(matches(draw(p), ramp));
	}
	IZeShaderProgram* v = Gpu->createProgram(f.c_str(), "rampVS", "colourPS", nullptr);
	ASSERT_NE(v, nullptr) << Gpu->getLastError();
	Programs.push_back(v);
	EXPECT_EQ(bind(v, "Ramp", 6), 1);
	set(v, "Where", EZESS_VERTEX, { 0.6f, 0, 0, 0 });
	EXPECT_TRUE(matches(draw(v), [](int, int) { return Rgb{ 160 / 255.f, 200 / 255.f, 135 / 255.f }; }));
}

// ---- Flat initialisers ---------------------------------------------------------------
const char* const FLAT = R"(
sampler2D Source;
float2 TexelSize;
static const float2 TAPS[5] = { -2, 0,  -1, 0,
	0, 0,  // the centre
	1, 0,  2, 0 };
static const float WEIGHTS[5] = { 0.0625, 0.25, 0.375, 0.25, 0.0625 };
static const float3 VERTICAL[] = { 0, -1, 0.25, /* above */ 0, 0, 0.5, 0, 1, 0.25 };
struct VOut { float4 Pos : POSITION; float2 Uv : TEXCOORD0; };
VOut mainVS(float4 pos : POSITION, float2 uv : TEXCOORD0) { VOut o; o.Pos = pos; o.Uv = uv; return o; }
float4 mainPS(float2 uv : TEXCOORD0) : COLOR0
{
	float4 sum = 0;
	for (int i = 0; i < 5; i++)
		sum += tex2D(Source, uv + TAPS[i] * TexelSize) * WEIGHTS[i];
	return sum;
}
float4 verticalPS(float2 uv : TEXCOORD0) : COLOR0
{
	float4 sum = 0;
	for (int i = 0; i < 3; i++)
		sum += tex2D(Source, uv + VERTICAL[i].xy * TexelSize) * VERTICAL[i].z;
	return sum;
}
)";

TEST_F(HlslGL, FlatInitialisersOfVectorTablesFillTheTablesInOrder)
{
	// A red column at x = 32 and a green row at y = 20.
	auto source = [](int x, int y) { return Rgb{ x == 32 ? 1.f : 0.f, y == 20 ? 1.f : 0.f, 0 }; };
	std::vector<u32> texels;
	for (int y = 0; y < SIZE; ++y)
		for (int x = 0; x < SIZE; ++x)
			texels.push_back(rgba(x == 32 ? 255 : 0, y == 20 ? 255 : 0, 0));
	image(4, SIZE, SIZE, texels);
	const std::string f = file("shaders/flat.hlsl", FLAT);
	auto blur = [&](int dx, int dy, std::vector<std::pair<int, float>> taps) {
		return [=](int x, int y) {
			Rgb sum{ 0, 0, 0 };
			for (const auto& t : taps)
			{
				const Rgb s = source(std::clamp(x + t.first * dx, 0, SIZE - 1), std::clamp(y + t.first * dy, 0, SIZE - 1));
				sum = { sum.R + s.R * t.second, sum.G + s.G * t.second, sum.B + s.B * t.second };
			}
			return sum;
		};
	};
	IZeShaderProgram* h = program(f);
	ASSERT_NE(h, nullptr);
	EXPECT_EQ(bind(h, "Source", 4), 1);
	set(h, "TexelSize", EZESS_PIXEL, { 1.f / SIZE, 1.f / SIZE });
	EXPECT_TRUE(matches(draw(h), blur(1, 0, { { -2, 0.0625f }, { -1, 0.25f }, { 0, 0.375f }, { 1, 0.25f }, { 2, 0.0625f } })));
	IZeShaderProgram* v = program(f, nullptr, "verticalPS");
	ASSERT_NE(v, nullptr);
	EXPECT_EQ(bind(v, "Source", 4), 1);
	set(v, "TexelSize", EZESS_PIXEL, { 1.f / SIZE, 1.f / SIZE });
	EXPECT_TRUE(matches(draw(v), blur(0, 1, { { -1, 0.25f }, { 0, 0.5f }, { 1, 0.25f } })));
}

TEST_F(HlslSource, FlatInitialisersAreBracedInIncludesKeepTheirLinesAndMustAddUp)
{
	zetest::writeText(path("taps.inc"), "static const float2x2 TURNS[2] = { 1, 0, 0, 1,\n  0, -1, 1, 0 };\n"
		"static const half4 COLOURS[2] = { 1, 0, 0, 1, 0, 1, 0, 1 };\n");
	std::string log;
	EXPECT_TRUE(translate("included.hlsl", "#include \"taps.inc\"\n"
		"float4 mainPS(float2 uv : TEXCOORD0) : COLOR0 { return COLOURS[1] + mul(uv, TURNS[1]).xyxy; }\n",
		"mainPS", EZESS_PIXEL, log)) << log;

	EXPECT_FALSE(translate("lines.hlsl", "static const float2 TAPS[3] = {\n  -1, 0,\n  0, 0,\n  1, 0 };\n"
		"float4 mainPS() : COLOR0\n{\n\treturn undefinedTap + TAPS[0].x;\n}\n", "mainPS", EZESS_PIXEL, log));
	EXPECT_NE(log.find("lines.hlsl:7: 'undefinedTap' : unknown variable"), std::string::npos) << log;
	EXPECT_EQ(log.find("lines.hlsl:1:"), std::string::npos) << log;

	EXPECT_FALSE(translate("odd.hlsl", "static const float2 ODD[2] = { 1, 2, 3 };\n"
		"float4 mainPS() : COLOR0 { return ODD[1].x; }\n", "mainPS", EZESS_PIXEL, log));
}

// ---- Arrays between the stages ---------------------------------------------------
// Every vertex entry writes offset[0].x = u, offset[1].y = v, offset[2].z = 1 - u
// (TEXCOORD1 to TEXCOORD3) in its own way; every pixel entry reads them in its own.
const char* const ARRAYS = R"(
struct VOut { float4 Pos : POSITION; float2 Uv : TEXCOORD0; };
struct VOutStruct { float4 Pos : POSITION; float4 Offset[3] : TEXCOORD1; };
struct PIn { float2 Uv : TEXCOORD0; float4 Offset[3] : TEXCOORD1; };
static const float4 MASK[3] = { float4(1, 0, 0, 0), float4(0, 1, 0, 0), float4(0, 0, 1, 0) };

VOut paramVS(float4 pos : POSITION, float2 uv : TEXCOORD0, out float4 offset[3] : TEXCOORD1)
{
	VOut o;
	o.Pos = pos;
	o.Uv = uv;
	offset[0] = float4(uv.x, 0.25, 0.5, 1);
	offset[1] = float4(0.125, uv.y, 0.75, 1);
	offset[2] = float4(0.375, 0.625, 1 - uv.x, 1);
	return o;
}

VOutStruct structVS(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VOutStruct o;
	o.Pos = pos;
	const float4 values[3] = { float4(uv.x, 0.25, 0.5, 1), float4(0.125, uv.y, 0.75, 1), float4(0.375, 0.625, 1 - uv.x, 1) };
	for (int i = 0; i < 3; i++)
		o.Offset[i] = values[i];
	return o;
}

// Inputs as an array too: texture coordinates 0, then the tangent and the binormal.
VOut inputsVS(float4 pos : POSITION, float4 tc[3] : TEXCOORD0, out float4 offset[3] : TEXCOORD1)
{
	VOut o;
	o.Pos = pos;
	o.Uv = tc[0].xy;
	offset[0] = float4(tc[0].x, 0, 0, 1);
	offset[1] = float4(0, tc[0].y, 0, 1);
	offset[2] = float4(0, 0, tc[1].y * tc[2].z, 1);
	return o;
}

VOut narrowVS(float4 pos : POSITION, float2 uv : TEXCOORD0, out float2 offset[3] : TEXCOORD1)
{
	VOut o;
	o.Pos = pos;
	o.Uv = uv;
	offset[0] = float2(uv.x, 0.25);
	offset[1] = float2(0.125, uv.y);
	offset[2] = float2(0.375, 0.625);
	return o;
}

float4 arrayPS(float4 offset[3] : TEXCOORD1) : COLOR0 { return float4(offset[0].x, offset[1].y, offset[2].z, 1); }
float4 fewerPS(float4 offset[2] : TEXCOORD1) : COLOR0 { return float4(offset[0].x, offset[1].y, 0.5, 1); }
float4 splitPS(float4 a : TEXCOORD1, float4 b : TEXCOORD2, float4 c : TEXCOORD3) : COLOR0 { return float4(a.x, b.y, c.z, 1); }
float4 tailPS(float2 b : TEXCOORD2, float4 c[1] : TEXCOORD3) : COLOR0 { return float4(0.5, b.y, c[0].z, 1); }
float4 structPS(PIn i) : COLOR0 { return float4(i.Offset[0].x, i.Offset[1].y, i.Offset[2].z, 1); }
float4 loopPS(float4 offset[3] : TEXCOORD1) : COLOR0
{
	float4 sum = 0;
	for (int i = 0; i < 3; i++)
		sum += offset[i] * MASK[i];
	return float4(sum.xyz, 1);
}
float4 wPS(float4 offset[3] : TEXCOORD1) : COLOR0 { return float4(offset[0].w, offset[1].w * 0.5, offset[2].z, 1); }
)";

TEST_F(HlslGL, ArraysPassBetweenStagesElementByElementInEveryCombination)
{
	const std::string f = file("shaders/arrays.hlsl", ARRAYS);
	struct Case
	{
		const char* vs;
		const char* ps;
		std::function<Rgb(int, int)> expect;
	};
	const auto uvw = [](int x, int y) { return Rgb{ u(x), u(y), 1 - u(x) }; };
	const std::vector<Case> cases = {
		{ "paramVS", "arrayPS", uvw },
		{ "paramVS", "fewerPS", [](int x, int y) { return Rgb{ u(x), u(y), 0.5f }; } },
		{ "paramVS", "splitPS", uvw },
		{ "paramVS", "tailPS", [](int x, int y) { return Rgb{ 0.5f, u(y), 1 - u(x) }; } },
		{ "paramVS", "structPS", uvw },
		{ "paramVS", "loopPS", uvw },
		{ "paramVS", "wPS", [](int x, int) { return Rgb{ 1, 0.5f, 1 - u(x) }; } },
		{ "structVS", "arrayPS", uvw },
		{ "structVS", "splitPS", uvw },
		{ "structVS", "structPS", uvw },
		{ "structVS", "fewerPS", [](int x, int y) { return Rgb{ u(x), u(y), 0.5f }; } },
		// float2 written, float4 read: z reads 0 and w 1, element by element.
		{ "narrowVS", "arrayPS", [](int x, int y) { return Rgb{ u(x), u(y), 0 }; } },
		{ "narrowVS", "wPS", [](int, int) { return Rgb{ 1, 0.5f, 0 }; } },
		// tangent.y * binormal.z of the fixture's vertices: 0.5 * 0.375.
		{ "inputsVS", "arrayPS", [](int x, int y) { return Rgb{ u(x), u(y), 0.1875f }; } },
	};
	for (const Case& c : cases)
	{
		SCOPED_TRACE(std::string(c.vs) + " / " + c.ps);
		IZeShaderProgram* p = Gpu->createProgram(f.c_str(), c.vs, c.ps, nullptr);
		EXPECT_NE(p, nullptr) << Gpu->getLastError();
		if (!p)
			continue;
		Programs.push_back(p);
		EXPECT_TRUE(matches(draw(p, core::matrix4(), std::string(c.vs) == "inputsVS"), c.expect));
	}
}

TEST_F(HlslGL, OverlappingSemanticsAreRefusedWithTheirName)
{
	const std::string f = file("shaders/overlap.hlsl", "float4 mainVS(float4 p : POSITION, out float4 o[3] : TEXCOORD1,\n"
		"  out float4 second : TEXCOORD3) : POSITION { o[0] = o[1] = o[2] = second = 1; return p; }\n"
		"float4 mainPS(float4 o[3] : TEXCOORD1) : COLOR0 { return o[2]; }\n");
	EXPECT_EQ(Gpu->createProgram(f.c_str(), "mainVS", "mainPS", nullptr), nullptr);
	EXPECT_NE(std::string(Gpu->getLastError()).find("TEXCOORD3 is used twice by mainVS"), std::string::npos)
		<< Gpu->getLastError();
}

// ---- Post passes of our own ---------------------------------------------------------------
float luma(const Rgb& c)
{
	return 0.299f * c.R + 0.587f * c.G + 0.114f * c.B;
}

TEST_F(HlslGL, PostProcessingPassesWrittenForDirect3D9TranslateLinkAndDraw)
{
	const std::string fx = ZELV_SOURCE_DIR "/tests/core/data/PostFx.hlsl";
	// The scene: dark left half, bright right half, a white row at y = 48.
	auto scene = [](int x, int y) {
		x = std::clamp(x, 0, SIZE - 1);
		y = std::clamp(y, 0, SIZE - 1);
		if (y == 48)
			return Rgb{ 1, 1, 1 };
		return x < 32 ? Rgb{ 40 / 255.f, 60 / 255.f, 80 / 255.f } : Rgb{ 240 / 255.f, 200 / 255.f, 120 / 255.f };
	};
	auto bloom = [](int, int y) { return Rgb{ y * 4 / 255.f, 0, (255 - y * 4) / 255.f }; };
	std::vector<u32> sceneTexels, bloomTexels, rampTexels;
	for (int y = 0; y < SIZE; ++y)
		for (int x = 0; x < SIZE; ++x)
		{
			const Rgb s = scene(x, y), b = bloom(x, y);
			sceneTexels.push_back(rgba(int(std::lround(s.R * 255)), int(std::lround(s.G * 255)), int(std::lround(s.B * 255))));
			bloomTexels.push_back(rgba(int(std::lround(b.R * 255)), 0, int(std::lround(b.B * 255))));
		}
	for (int row = 0; row < 3; ++row)
		for (int column = 0; column < 8; ++column)
			rampTexels.push_back(rgba(16 + 32 * column, 255 - 32 * column, row == 1 ? 128 : 0));
	image(4, SIZE, SIZE, sceneTexels);
	image(5, SIZE, SIZE, bloomTexels);
	image(6, 8, 3, rampTexels);

	const float threshold = 0.1f, bloomThreshold = 0.5f, bloomScale = 0.5f;
	auto add = [](Rgb a, Rgb b, float k) { return Rgb{ a.R + b.R * k, a.G + b.G * k, a.B + b.B * k }; };
	struct Pass
	{
		const char* vs;
		const char* ps;
		std::function<Rgb(int, int)> expect;
	};
	const std::vector<Pass> passes = {
		{ "vsQuad", "psBlur", [&](int x, int y) {
			 const float weights[7] = { 1, 6, 15, 20, 15, 6, 1 };
			 Rgb sum{ 0, 0, 0 };
			 for (int i = 0; i < 7; ++i)
				 sum = add(sum, scene(x + i - 3, y), weights[i] / 64);
			 return sum;
		 } },
		{ "vsEdges", "psEdges", [&](int x, int y) {
			 const float centre = luma(scene(x, y));
			 auto edge = [&](int dx, int dy) { return std::fabs(centre - luma(scene(x + dx, y + dy))) >= threshold ? 1.f : 0.f; };
			 return Rgb{ edge(-1, 0), edge(0, -1), edge(1, 0) };
		 } },
		{ "vsEdges", "psSmooth", [&](int x, int y) {
			 const Rgb c = scene(x, y), l = scene(x - 1, y), t = scene(x, y - 1), r = scene(x + 1, y), b = scene(x, y + 1);
			 const float lumas[5] = { luma(c), luma(l), luma(t), luma(r), luma(b) };
			 if (*std::max_element(lumas, lumas + 5) - *std::min_element(lumas, lumas + 5) < threshold)
				 return c;
			 return add(add(add(add(add(Rgb{ 0, 0, 0 }, c, 0.5f), l, 0.125f), t, 0.125f), r, 0.125f), b, 0.125f);
		 } },
		{ "vsQuad", "psBrightPass", [&](int x, int y) {
			 const Rgb c = scene(x, y);
			 const float l = luma(c), k = std::clamp(l - bloomThreshold, 0.f, 1.f) / std::max(l, 0.0001f);
			 return Rgb{ c.R * k, c.G * k, c.B * k };
		 } },
		{ "vsQuad", "psCombine", [&](int x, int y) { return add(scene(x, y), bloom(x, y), bloomScale); } },
		{ "vsQuad", "psToneRamp", [&](int x, int y) {
			 const int column = std::min(int(luma(scene(x, y)) * 8), 7);
			 return Rgb{ (16 + 32 * column) / 255.f, (255 - 32 * column) / 255.f, 128 / 255.f };
		 } },
	};
	for (const Pass& pass : passes)
	{
		SCOPED_TRACE(std::string(pass.vs) + " / " + pass.ps);
		IZeShaderProgram* p = Gpu->createProgram(fx.c_str(), pass.vs, pass.ps, nullptr);
		EXPECT_NE(p, nullptr) << Gpu->getLastError();
		if (!p)
			continue;
		Programs.push_back(p);
		bind(p, "Colour", 4);
		bind(p, "Bloom", 5);
		bind(p, "Ramp", 6);
		setAll(p, "PixelSize", { 1.f / SIZE, 1.f / SIZE });
		setAll(p, "EdgeThreshold", { threshold });
		setAll(p, "BloomThreshold", { bloomThreshold });
		setAll(p, "BloomScale", { bloomScale });
		EXPECT_TRUE(matches(draw(p), pass.expect, 3));
	}
}
} // namespace
