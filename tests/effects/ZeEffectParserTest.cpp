// Effect files without a display: the "//ZELV_PP:" declarations, the
// preprocessing that switches them, errors with file and line, and the
// LightWave channel names.
#include "effects/IZeEffectManager.h"
#include "effects/ZeEffectDef.h"
#include "effects/ZeFxPreprocessor.h"
#include "frame/ZeLog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>

using namespace irr;

namespace
{
const char* const SAMPLE = R"(// A sample effect.
//ZELV_PP: param float4x4 WorldViewProj semantic=WorldViewProjection
//ZELV_PP: param float4 Tint default=1,0.5,0.25,1
//ZELV_PP: param float Lights[3] default=1,2
//ZELV_PP: sampler 2D BaseMap layer=0 texture="base map.png" filter=point address=clamp srgb=on
//ZELV_PP: sampler CUBE Reflection layer=5 target=CubeRTT address=mirror
//ZELV_PP: sampler 3D Noise
//ZELV_PP: technique main
//ZELV_PP: annotation render "lightpost"
//ZELV_PP: annotation rendertarget "HalfScreen[1]"
//ZELV_PP:   pass base
//ZELV_PP:     vertex vsMain
//ZELV_PP:     pixel psMain
//ZELV_PP:     material trans_alphach
//ZELV_PP:     zwrite off
//ZELV_PP:     ztest always
//ZELV_PP:     cull front
//ZELV_PP:   pass
//ZELV_PP:     vertex vsMain
//ZELV_PP:     pixel psAdd
//ZELV_PP:     blend add
//ZELV_PP: technique depth
//ZELV_PP:   pass
//ZELV_PP:     vertex vsDepth
//ZELV_PP:     pixel psDepth
//ZELV_PP:     blend srcalpha invsrcalpha one invsrcalpha
//ZELV_PP:     blendop revsubtract
//ZELV_PP:     ztest off
//ZELV_PP:     targets 2
float4 psMain() : COLOR { return Tint; }
)";

SZeFxDef parse(const std::string& text, const SZeMacro* macros = nullptr, core::stringc* error = nullptr)
{
	SZeFxDef def;
	core::stringc message;
	EXPECT_TRUE(zeParseEffectText("sample.hlsl", text.c_str(), macros, &def, &message)) << message.c_str();
	if (error)
		*error = message;
	return def;
}

std::string parseError(const std::string& text, const char* file = "bad.hlsl")
{
	SZeFxDef def;
	core::stringc error;
	EXPECT_FALSE(zeParseEffectText(file, text.c_str(), nullptr, &def, &error)) << text;
	return error.c_str();
}

std::string names(const SZeFxDef& def)
{
	std::string out;
	for (u32 i = 0; i < def.Techniques.size(); ++i)
		out += std::string(i ? " " : "") + def.Techniques[i].Name.c_str();
	return out;
}

const char* const MINIMAL = "//ZELV_PP: technique main\n//ZELV_PP: pass\n//ZELV_PP: vertex vs\n//ZELV_PP: pixel ps\n";
} // namespace

TEST(EffectParser, SampleTechniquesPassesAndStates)
{
	const SZeFxDef def = parse(SAMPLE);
	ASSERT_EQ(def.Techniques.size(), 2u);
	const SZeFxTechnique& main = def.Techniques[0];
	EXPECT_STREQ(main.Name.c_str(), "main");
	ASSERT_EQ(main.Annotations.size(), 2u);
	EXPECT_STREQ(main.Annotations[0].Name.c_str(), "render");
	EXPECT_STREQ(main.Annotations[0].Value.c_str(), "lightpost");
	EXPECT_STREQ(main.Annotations[1].Value.c_str(), "HalfScreen[1]");
	ASSERT_EQ(main.Passes.size(), 2u);

	const SZeFxPass& base = main.Passes[0];
	EXPECT_STREQ(base.Name.c_str(), "base");
	EXPECT_STREQ(base.VertexEntry.c_str(), "vsMain");
	EXPECT_STREQ(base.PixelEntry.c_str(), "psMain");
	EXPECT_EQ(base.MaterialType, video::EMT_TRANSPARENT_ALPHA_CHANNEL);
	EXPECT_FALSE(base.ZWrite);
	EXPECT_EQ(base.ZTest, video::ECFN_ALWAYS);
	EXPECT_EQ(base.Cull, EZEFC_FRONT);
	EXPECT_FALSE(base.BlendSet);
	EXPECT_EQ(base.Line, 11u);

	const SZeFxPass& add = main.Passes[1];
	EXPECT_STREQ(add.Name.c_str(), "p1");
	EXPECT_STREQ(add.PixelEntry.c_str(), "psAdd");
	EXPECT_TRUE(add.BlendSet && add.Blend);
	EXPECT_EQ(add.Src, EZEFB_ONE);
	EXPECT_EQ(add.Dst, EZEFB_ONE);
	EXPECT_FALSE(add.SeparateAlpha);
	EXPECT_TRUE(add.ZWrite);
	EXPECT_EQ(add.Cull, EZEFC_BACK);
	EXPECT_EQ(add.Targets, 1u);

	const SZeFxPass& depth = def.Techniques[1].Passes[0];
	EXPECT_STREQ(def.Techniques[1].Name.c_str(), "depth");
	EXPECT_TRUE(depth.Blend && depth.SeparateAlpha);
	EXPECT_EQ(depth.Src, EZEFB_SRC_ALPHA);
	EXPECT_EQ(depth.Dst, EZEFB_INV_SRC_ALPHA);
	EXPECT_EQ(depth.SrcAlpha, EZEFB_ONE);
	EXPECT_EQ(depth.DstAlpha, EZEFB_INV_SRC_ALPHA);
	EXPECT_EQ(depth.BlendOp, EZEFBO_REV_SUBTRACT);
	EXPECT_EQ(depth.ZTest, 0);
	EXPECT_EQ(depth.Targets, 2u);
	EXPECT_EQ(depth.MaterialType, -1);
}

TEST(EffectParser, SampleParametersAndSamplers)
{
	const SZeFxDef def = parse(SAMPLE);
	ASSERT_EQ(def.Parameters.size(), 6u);
	const SZeFxParameter& wvp = def.Parameters[0];
	EXPECT_STREQ(wvp.Name.c_str(), "WorldViewProj");
	EXPECT_EQ(wvp.Type, EZEFPT_MATRIX);
	EXPECT_EQ(wvp.Rows * wvp.Columns, 16u);
	EXPECT_STREQ(wvp.Semantic.c_str(), "WorldViewProjection");
	EXPECT_TRUE(wvp.Declared);

	const SZeFxParameter& tint = def.Parameters[1];
	EXPECT_EQ(tint.Type, EZEFPT_FLOAT4);
	ASSERT_EQ(tint.Default.size(), 4u);
	EXPECT_FLOAT_EQ(tint.Default[1], 0.5f);
	EXPECT_FLOAT_EQ(tint.Default[2], 0.25f);

	const SZeFxParameter& lights = def.Parameters[2];
	EXPECT_EQ(lights.Type, EZEFPT_FLOAT);
	EXPECT_EQ(lights.Elements, 3u);
	EXPECT_EQ(lights.Default.size(), 2u);

	const SZeFxParameter& base = def.Parameters[3];
	EXPECT_EQ(base.Type, EZEFPT_SAMPLER);
	EXPECT_EQ(base.SamplerKind, EZESK_2D);
	EXPECT_EQ(base.Layer, 0);
	EXPECT_STREQ(base.Texture.c_str(), "base map.png");
	EXPECT_EQ(base.Filter, EZEFF_POINT);
	EXPECT_EQ(base.Address, EZEFA_CLAMP);
	EXPECT_TRUE(base.SRGB);

	const SZeFxParameter& cube = def.Parameters[4];
	EXPECT_EQ(cube.SamplerKind, EZESK_CUBE);
	EXPECT_EQ(cube.Layer, 5);
	EXPECT_STREQ(cube.Target.c_str(), "CubeRTT");
	EXPECT_EQ(cube.Address, EZEFA_MIRROR);
	EXPECT_EQ(cube.Filter, EZEFF_LINEAR);
	EXPECT_FALSE(cube.SRGB);

	const SZeFxParameter& noise = def.Parameters[5];
	EXPECT_EQ(noise.SamplerKind, EZESK_3D);
	EXPECT_EQ(noise.Layer, -2);  // the layer of its register, once linked
}

TEST(EffectParser, MacrosSwitchDeclarationLines)
{
	const std::string text = std::string(MINIMAL) +
		"#ifdef USE_SHADOW\n//ZELV_PP: technique shadow\n//ZELV_PP: pass\n//ZELV_PP: vertex vs\n//ZELV_PP: pixel ps\n#endif\n"
		"#if defined(QUALITY) && QUALITY >= 2\n//ZELV_PP: technique reflection\n//ZELV_PP: pass\n"
		"//ZELV_PP: vertex vs\n//ZELV_PP: pixel ps\n#elif QUALITY == 1\n//ZELV_PP: technique low\n"
		"//ZELV_PP: pass\n//ZELV_PP: vertex vs\n//ZELV_PP: pixel ps\n#endif\n"
		"/* //ZELV_PP: technique commented\n*/\n";
	EXPECT_EQ(names(parse(text)), "main");
	const SZeMacro shadow[] = {{"USE_SHADOW", nullptr}, {nullptr, nullptr}};
	EXPECT_EQ(names(parse(text, shadow)), "main shadow");
	const SZeMacro high[] = {{"QUALITY", "1 + 1"}, {nullptr, nullptr}};
	EXPECT_EQ(names(parse(text, high)), "main reflection");
	const SZeMacro low[] = {{"QUALITY", "1"}, {"USE_SHADOW", ""}, {nullptr, nullptr}};
	EXPECT_EQ(names(parse(text, low)), "main shadow low");

	// A "define" line switches what follows and reaches the compiler's macros;
	// #undef and #define of the file itself count as well.
	const std::string defines = std::string(MINIMAL) +
		"//ZELV_PP: define USE_BLEND 1\n#define LEVEL 3\n#undef USE_SHADOW\n"
		"#if USE_BLEND && LEVEL > 2\n//ZELV_PP: blend alpha\n#endif\n"
		"#ifndef USE_SHADOW\n//ZELV_PP: zwrite off\n#endif\n";
	const SZeFxDef def = parse(defines, shadow);
	ASSERT_EQ(def.Macros.size(), 1u);
	EXPECT_STREQ(def.Macros[0].Name.c_str(), "USE_BLEND");
	EXPECT_STREQ(def.Macros[0].Value.c_str(), "1");
	EXPECT_TRUE(def.Techniques[0].Passes[0].Blend);
	EXPECT_FALSE(def.Techniques[0].Passes[0].ZWrite);
}

TEST(EffectParser, MalformedLinesNameFileAndLine)
{
	const std::string head = MINIMAL;  // four lines
	const struct
	{
		std::string Text;
		const char* Expected;
	} cases[] = {
		{head + "//ZELV_PP: shine bright\n", "bad.hlsl:5: unknown declaration 'shine'"},
		{head + "\n//ZELV_PP: blend srcalpha nowhere\n", "bad.hlsl:6: blend needs"},
		{head + "//ZELV_PP: ztest sometimes\n", "bad.hlsl:5: ztest needs"},
		{head + "//ZELV_PP: targets 9\n", "bad.hlsl:5: targets needs"},
		{head + "//ZELV_PP: param float5 X\n", "bad.hlsl:5: unknown parameter type 'float5'"},
		{head + "//ZELV_PP: param float2 X default=1,2,3\n", "bad.hlsl:5: too many default values"},
		{head + "//ZELV_PP: sampler 2D S layer=9\n", "bad.hlsl:5: bad sampler attribute 'layer=9'"},
		{head + "//ZELV_PP: sampler 1D S\n", "bad.hlsl:5: sampler needs a kind"},
		{head + "//ZELV_PP: param float A\n//ZELV_PP: param float A\n", "bad.hlsl:6: parameter 'A' declared twice"},
		{head + "//ZELV_PP: annotation render \"a\" \"b\"\n", "bad.hlsl:5: annotation needs"},
		{"//ZELV_PP: pass\n", "bad.hlsl:1: pass outside a technique"},
		{"//ZELV_PP: technique t\n//ZELV_PP: cull back\n", "bad.hlsl:2: cull outside a pass"},
		{"//ZELV_PP: technique t\n//ZELV_PP: pass p\n//ZELV_PP: vertex vs\n", "bad.hlsl:2: pass 'p' needs a vertex"},
		{"//ZELV_PP: technique t\n", "bad.hlsl:1: technique 't' has no pass"},
		{"int x;\n", "bad.hlsl: no technique declared"},
		{head + "#if 1 +\n#endif\n", "bad.hlsl:5: malformed #if expression"},
		{head + "\n#ifdef X\n", "bad.hlsl:6: #if without #endif"},
		{head + "#else\n", "bad.hlsl:5: #else without #if"},
		{head + "#if 0\n#else\n#else\n#endif\n", "bad.hlsl:7: #else without #if"},
		{head + "#include \"missing.fxh\"\n", "bad.hlsl:5: cannot open include file 'missing.fxh'"},
		{head + "#error stop here\n", "bad.hlsl:5: #error stop here"},
		{head + "//ZELV_PP: annotation render \"open\n", "bad.hlsl:5: unterminated quoted text"},
	};
	for (const auto& c : cases)
	{
		const std::string error = parseError(c.Text);
		EXPECT_EQ(error.rfind(c.Expected, 0), 0u) << "got: " << error << "\nfor:\n" << c.Text;
	}
	// Lines joined by a backslash report the first one.
	EXPECT_EQ(parseError(head + "#if 1 + \\\n  + \n#endif\n").rfind("bad.hlsl:5:", 0), 0u);
}

TEST(EffectParser, ParameterArraysStayWithinTheConstantRegisters)
{
	// Every element takes a register, a matrix element one per row or column.
	const struct
	{
		const char* Declaration;
		u32 Elements;
	} fits[] = {{"float4 X[4096]", 4096}, {"float X[4096]", 4096}, {"float4x4 X[1024]", 1024},
		{"float4x3 X[1024]", 1024}, {"float2x2 X[2048]", 2048}, {"bool X[4096]", 4096}};
	for (const auto& c : fits)
	{
		const SZeFxDef def = parse(std::string(MINIMAL) + "//ZELV_PP: param " + c.Declaration + "\n");
		ASSERT_EQ(def.Parameters.size(), 1u) << c.Declaration;
		EXPECT_EQ(def.Parameters[0].Elements, c.Elements) << c.Declaration;
	}
	const struct
	{
		const char* Declaration;
		const char* Expected;
	} refused[] = {
		{"float4 X[4097]", "bad.hlsl:5: parameter 'X' needs 4097 constant registers, more than 4096"},
		{"float4x4 X[1025]", "bad.hlsl:5: parameter 'X' needs 4100 constant registers, more than 4096"},
		{"float3x4 X[1025]", "bad.hlsl:5: parameter 'X' needs 4100 constant registers, more than 4096"},
		{"float4 X[1000000000]", "bad.hlsl:5: parameter 'X' needs 1000000000 constant registers, more than 4096"},
		// 16 x 2^28 components wrap to none in 32 bits.
		{"float4x4 X[268435456] default=1", "bad.hlsl:5: parameter 'X' needs 1073741824 constant registers, more than 4096"},
		{"float4x4 X[4294967295]", "bad.hlsl:5: parameter 'X' needs 17179869180 constant registers, more than 4096"},
	};
	for (const auto& c : refused)
		EXPECT_EQ(parseError(std::string(MINIMAL) + "//ZELV_PP: param " + c.Declaration + "\n"), c.Expected);

	// A driver with fewer registers: its own limit holds.
	for (const auto& c : {std::make_pair("float4 X[256]", true), std::make_pair("float4 X[257]", false),
			 std::make_pair("float4x4 X[64]", true), std::make_pair("float4x4 X[65]", false)})
	{
		SZeFxDef def;
		def.MaxRegisters = 256;
		core::stringc error;
		const std::string text = std::string(MINIMAL) + "//ZELV_PP: param " + c.first + "\n";
		EXPECT_EQ(zeParseEffectText("small.hlsl", text.c_str(), nullptr, &def, &error), c.second) << c.first;
		if (!c.second)
		{
			EXPECT_NE(std::string(error.c_str()).find("more than 256"), std::string::npos) << error.c_str();
		}
	}
}

// Whether "#if EXPR" keeps the lines it guards.
bool ifTaken(const std::string& expr)
{
	const std::string text = "#if " + expr + "\n" + MINIMAL + "#else\n//ZELV_PP: technique no\n//ZELV_PP: pass\n"
		"//ZELV_PP: vertex vs\n//ZELV_PP: pixel ps\n#endif\n";
	return names(parse(text)) == "main";
}

TEST(EffectParser, IfExpressionsComputeEdgeValuesExactly)
{
	const struct
	{
		std::string Expr;
		bool Taken;
	} cases[] = {
		{"-9223372036854775807 - 1 < -9223372036854775807", true},  // the smallest value
		{"(-9223372036854775807 - 1) % -1 == 0", true},
		{"(-9223372036854775807 - 1) / 1 == -9223372036854775807 - 1", true},
		{"9223372036854775807 / -1 == -9223372036854775807", true},
		{"-7 / 2 == -3 && -7 % 2 == -1", true},
		{"0x7fffffffffffffff == 9223372036854775807", true},
		{"-(-9223372036854775807) == 9223372036854775807", true},
		{"3037000499 * 3037000499 == 9223372030926249001", true},
		{"1 << 62 == 4611686018427387904", true},
		{"-1 << 63 == -9223372036854775807 - 1", true},
		{"-3 << 2 == -12 && -8 >> 1 == -4 && 1 >> 63 == 0", true},
		{"0 && 1 / 0", false},                       // operands C leaves unevaluated do not fail
		{"1 || 9223372036854775807 + 1", true},
		{"0 ? 1 % 0 : 1 << 2 == 4", true},
		{"1 ? 2 : (-9223372036854775807 - 1) / -1", true},
		{std::string(63, '(') + "1" + std::string(63, ')'), true},
	};
	for (const auto& c : cases)
		EXPECT_EQ(ifTaken(c.Expr), c.Taken) << c.Expr;
}

TEST(EffectParser, IfExpressionsFailWithClearMessages)
{
	const std::string head = MINIMAL;  // four lines
	std::string doubling = "#define A0 1\n";  // A40 would be 2^40 ones
	for (int i = 1; i <= 40; ++i)
		doubling += "#define A" + std::to_string(i) + " A" + std::to_string(i - 1) + " + A" + std::to_string(i - 1) + "\n";
	std::string chain = "#define M0 1\n";
	for (int i = 1; i <= 100000; ++i)
		chain += "#define M" + std::to_string(i) + " M" + std::to_string(i - 1) + "\n";
	const struct
	{
		std::string Text;
		std::string Expected;
	} cases[] = {
		{"#if 1 / 0\n#endif\n", "bad.hlsl:1: division by zero in #if expression '1 / 0'"},
		{"#if 7 % (2 - 2)\n#endif\n", "bad.hlsl:1: division by zero in #if expression '7 % (2 - 2)'"},
		{"#if 0\n#elif 1 / 0\n#endif\n", "bad.hlsl:2: division by zero in #if expression '1 / 0'"},
		{"#if (-9223372036854775807 - 1) / -1\n#endif\n",
			"bad.hlsl:1: integer overflow in #if expression '(-9223372036854775807 - 1) / -1'"},
		{"#if 9223372036854775807 + 1\n#endif\n", "bad.hlsl:1: integer overflow in #if expression '9223372036854775807 + 1'"},
		{"#if -9223372036854775807 - 2\n#endif\n", "bad.hlsl:1: integer overflow in #if expression '-9223372036854775807 - 2'"},
		{"#if 4611686018427387904 * 2\n#endif\n", "bad.hlsl:1: integer overflow in #if expression '4611686018427387904 * 2'"},
		{"#if -(-9223372036854775807 - 1)\n#endif\n",
			"bad.hlsl:1: integer overflow in #if expression '-(-9223372036854775807 - 1)'"},
		{"#if 1 << 63\n#endif\n", "bad.hlsl:1: integer overflow in #if expression '1 << 63'"},
		{"#if 3 << 62\n#endif\n", "bad.hlsl:1: integer overflow in #if expression '3 << 62'"},
		{"#if 1 << -1\n#endif\n", "bad.hlsl:1: shift count out of range in #if expression '1 << -1'"},
		{"#if 1 >> 64\n#endif\n", "bad.hlsl:1: shift count out of range in #if expression '1 >> 64'"},
		{"#if 99999999999999999999 > 0\n#endif\n",
			"bad.hlsl:1: integer constant out of range in #if expression '99999999999999999999 > 0'"},
		{"#if " + std::string(64, '(') + "1" + std::string(64, ')') + "\n#endif\n",
			"bad.hlsl:1: #if expression nests deeper than 63 levels"},
		{"#if " + std::string(100000, '(') + "1" + std::string(100000, ')') + "\n#endif\n",
			"bad.hlsl:1: #if expression nests deeper than 63 levels"},
		{"#if " + std::string(100000, '-') + "1\n#endif\n", "bad.hlsl:1: #if expression nests deeper than 63 levels"},
		{"#if " + std::string(100000, '!') + "1\n#endif\n", "bad.hlsl:1: #if expression nests deeper than 63 levels"},
		{"#if " + [] {
			std::string s;
			for (int i = 0; i < 100000; ++i)
				s += "0 ? 1 : ";
			return s;
		}() + "0\n#endif\n", "bad.hlsl:1: #if expression nests deeper than 63 levels"},
		{doubling + "#if A40\n#endif\n",
			"bad.hlsl:42: macros in #if expressions expand to more than 65536 tokens in the file and its includes"},
		{chain + "#if M100000\n#endif\n", "bad.hlsl:100002: macros in #if expression nest deeper than 256 levels"},
	};
	for (const auto& c : cases)
	{
		const std::string error = parseError(head + c.Text);
		// The head's four lines come first.
		std::string expected = c.Expected;
		const size_t colon = expected.find(':', 9);
		expected = "bad.hlsl:" + std::to_string(std::stoul(expected.substr(9, colon - 9)) + 4) + expected.substr(colon);
		EXPECT_EQ(error, expected) << "for: " << c.Text.substr(0, 120);
	}
}

TEST(EffectParser, MacroExpansionHasOneBudgetForTheFileAndItsIncludes)
{
	char pattern[] = "/tmp/zelv-fx-XXXXXX";
	ASSERT_NE(mkdtemp(pattern), nullptr);
	const std::string dir = pattern;
	// A13 replaces itself by 2^13 ones: the budget holds two of them.
	std::string doubling = "#define A0 1\n";
	for (int i = 1; i <= 13; ++i)
		doubling += "#define A" + std::to_string(i) + " A" + std::to_string(i - 1) + " + A" + std::to_string(i - 1) + "\n";
	auto ifs = [](const char* expr) {
		std::string out;
		for (int i = 0; i < 2000; ++i)
			out += std::string("#if ") + expr + "\n#endif\n";
		return out;
	};
	std::string args;  // 20003 tokens
	for (int i = 0; i < 20000; ++i)
		args += "1 ";
	std::ofstream(dir + "/two.fxh") << "#if A13\n#endif\n#if A13\n#endif\n";
	const std::string message = "macros in #if expressions expand to more than 65536 tokens in the file and its includes";
	const struct
	{
		std::string Text;
		std::string Error;  // "" when it preprocesses
	} cases[] = {
		{doubling + ifs("A13"), "main.hlsl:19: " + message},
		{doubling + "#include \"two.fxh\"\n#if A13\n#endif\n", "main.hlsl:16: " + message},
		// The arguments of a function-like macro are read at every use, and count.
		{"#define F(x) 0\n#define CALL F(" + args + ")\n" + ifs("CALL"), "main.hlsl:9: " + message},
		// A long value of few tokens is read once, however often it is used.
		{"#define W 1" + std::string(100000, ' ') + "+ 1\n" + ifs("W == 2"), ""},
	};
	for (const auto& c : cases)
	{
		std::vector<zefx::SDeclLine> declarations;
		std::vector<std::string> includes;
		std::string error;
		size_t work = 0;
		const bool ok = zefx::preprocess(dir + "/main.hlsl", c.Text, nullptr, &declarations, &includes, &error, &work);
		EXPECT_EQ(ok, c.Error.empty()) << c.Text.substr(0, 80);
		EXPECT_EQ(ok ? "" : error, ok ? "" : dir + "/" + c.Error);
		// The work follows the text's size and the budget, not the number of lines.
		EXPECT_LE(work, 2 * c.Text.size() + 4 * 65536) << c.Text.substr(0, 80);
	}
	std::filesystem::remove_all(dir);
}

TEST(EffectParser, IncludedFilesDeclareToo)
{
	char pattern[] = "/tmp/zelv-fx-XXXXXX";
	ASSERT_NE(mkdtemp(pattern), nullptr);
	const std::string dir = pattern;
	std::ofstream(dir + "/common.fxh") << "//ZELV_PP: param float3 LightColor semantic=Light\n"
		"#ifdef WITH_EXTRA\n#include \"extra.fxh\"\n#endif\n";
	std::ofstream(dir + "/extra.fxh") << "//ZELV_PP: sampler 2D Extra layer=2\n";
	std::ofstream(dir + "/decls.fxh") << "//ZELV_PP: technique fromInclude\n//ZELV_PP: pass\n"
		"//ZELV_PP: vertex vs\n//ZELV_PP: pixel ps\n";
	std::ofstream(dir + "/main.hlsl") << "#include \"common.fxh\"\n//ZELV_PP: include decls.fxh\n" << MINIMAL;

	SZeFxDef def;
	core::stringc error;
	const std::string file = dir + "/main.hlsl";
	ASSERT_TRUE(zeParseEffectFile(file.c_str(), nullptr, &def, &error)) << error.c_str();
	EXPECT_EQ(names(def), "fromInclude main");
	ASSERT_EQ(def.Parameters.size(), 1u);
	EXPECT_STREQ(def.Parameters[0].Name.c_str(), "LightColor");
	EXPECT_EQ(def.Includes.size(), 2u);

	const SZeMacro extra[] = {{"WITH_EXTRA", nullptr}, {nullptr, nullptr}};
	ASSERT_TRUE(zeParseEffectFile(file.c_str(), extra, &def, &error)) << error.c_str();
	ASSERT_EQ(def.Parameters.size(), 2u);
	EXPECT_EQ(def.Parameters[1].Layer, 2);
	EXPECT_EQ(def.Includes.size(), 3u);

	// An error inside an included file names that file.
	std::ofstream(dir + "/extra.fxh") << "\n//ZELV_PP: sampler 2D Extra layer=x\n";
	EXPECT_FALSE(zeParseEffectFile(file.c_str(), extra, &def, &error));
	EXPECT_EQ(std::string(error.c_str()).rfind(dir + "/extra.fxh:2:", 0), 0u) << error.c_str();
	EXPECT_FALSE(zeParseEffectFile((dir + "/none.hlsl").c_str(), nullptr, &def, &error));
	std::filesystem::remove_all(dir);
}

TEST(EffectParser, IncludesStopAtTheirDepthAndCountLimits)
{
	char pattern[] = "/tmp/zelv-fx-XXXXXX";
	ASSERT_NE(mkdtemp(pattern), nullptr);
	const std::string dir = pattern;
	// Level i includes level i + 1 three times: 3^14 reads without a limit.
	for (int i = 0; i < 15; ++i)
	{
		std::ofstream out(dir + "/l" + std::to_string(i) + ".fxh");
		for (int k = 0; i < 14 && k < 3; ++k)
			out << "#include \"l" << i + 1 << ".fxh\"\n";
	}
	std::ofstream(dir + "/self.fxh") << "#include \"self.fxh\"\n";
	std::ofstream(dir + "/fan.hlsl") << "#include \"l0.fxh\"\n" << MINIMAL;
	std::ofstream(dir + "/loop.hlsl") << "#include \"self.fxh\"\n" << MINIMAL;
	SZeFxDef def;
	core::stringc error;
	EXPECT_FALSE(zeParseEffectFile((dir + "/fan.hlsl").c_str(), nullptr, &def, &error));
	const std::string limit = ".fxh:1: includes read more than 256 files";
	EXPECT_EQ(std::string(error.c_str()).rfind(dir + "/l"), 0u) << error.c_str();
	EXPECT_EQ(std::string(error.c_str()).rfind(limit), error.size() - limit.size()) << error.c_str();
	EXPECT_FALSE(zeParseEffectFile((dir + "/loop.hlsl").c_str(), nullptr, &def, &error));
	EXPECT_EQ(std::string(error.c_str()), dir + "/self.fxh:1: includes nest too deep") << error.c_str();
	std::filesystem::remove_all(dir);
}

TEST(EffectParser, TypeNames)
{
	const struct
	{
		const char* Name;
		EZE_FX_PARAM_TYPE Type;
		u32 Rows, Columns;
	} ok[] = {{"bool", EZEFPT_BOOL, 1, 1}, {"int3", EZEFPT_INT, 1, 3}, {"float", EZEFPT_FLOAT, 1, 1},
		{"half2", EZEFPT_FLOAT2, 1, 2}, {"float3", EZEFPT_FLOAT3, 1, 3}, {"float4", EZEFPT_FLOAT4, 1, 4},
		{"float4x3", EZEFPT_MATRIX, 4, 3}, {"matrix", EZEFPT_MATRIX, 4, 4}};
	for (const auto& c : ok)
	{
		SZeFxParameter p;
		ASSERT_TRUE(zeParseFxType(c.Name, &p)) << c.Name;
		EXPECT_EQ(p.Type, c.Type) << c.Name;
		EXPECT_EQ(p.Rows, c.Rows) << c.Name;
		EXPECT_EQ(p.Columns, c.Columns) << c.Name;
	}
	for (const char* bad : {"float0", "float5", "int4x4", "double", "", "float4x"})
	{
		SZeFxParameter p;
		EXPECT_FALSE(zeParseFxType(bad, &p)) << bad;
	}
}

TEST(EffectParser, LightwaveChannelNames)
{
	std::set<std::string> seen;
	for (u32 i = 0; i < 39; ++i)
	{
		const std::string name = getLightwaveChannelName(i);
		EXPECT_FALSE(name.empty()) << i;
		EXPECT_TRUE(seen.insert(name).second) << name;
	}
	EXPECT_STREQ(getLightwaveChannelName(0), "BaseColor");
	EXPECT_STREQ(getLightwaveChannelName(8), "Bump");
	EXPECT_STREQ(getLightwaveChannelName(29), "ReflectionOptions");
	EXPECT_STREQ(getLightwaveChannelName(38), "VertexNormal");
	EXPECT_STREQ(getLightwaveChannelName(39), "");
	EXPECT_STREQ(getLightwaveChannelName(0xFFFFFFFFu), "");
}
