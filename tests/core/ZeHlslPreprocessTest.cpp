// The shader code's own preprocessing: macros that multiply fail within the
// expansion budget (in a child process whose memory is limited), the
// compiler reads only the lines the conditionals keep, at their numbers, and
// it makes of them the program it made when it read the code whole.
#include "core/ZeHlslPreprocessor.h"
#include "core/ZeHlslSource.h"
#include "core/ZeHlslTranslator.h"

#include "frame/ZeFile.h"
#include "frame/ZeFrameTestUtil.h"

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/SPIRV/GlslangToSpv.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>

namespace
{
// M0 is "+1" and each of M1..M40 doubles the one before: M40 stands for 2^40
// tokens. `keyword` writes the directives.
std::string doubling(const std::string& keyword = "#define")
{
	std::string text = keyword + " M0 +1\n";
	for (int i = 1; i <= 40; ++i)
		text += keyword + " M" + std::to_string(i) + " M" + std::to_string(i - 1) + " M" + std::to_string(i - 1) + "\n";
	return text;
}

std::string shader(const std::string& value)
{
	return "float4 main() : COLOR0\n{\n\treturn float4(" + value + ", 0, 0, 1);\n}\n";
}

struct SHostile
{
	const char* What;
	std::string Text;
	std::vector<std::pair<std::string, std::string>> Macros;
	std::string Message;   // a part of the translation's log
};

class HlslPreprocess : public zetest::FileLayerTest
{
protected:
	// Translates `text` as the pixel stage with the caller's macros; the log.
	// `seen` receives what the compiler was to read.
	std::string translate(const std::string& text, const std::vector<std::pair<std::string, std::string>>& macros,
		bool* ok, ze::SHlslText* seen)
	{
		zetest::writeText(path("main.hlsl"), text);
		std::vector<SZeMacro> list;
		for (const auto& m : macros)
			list.push_back({ m.first.c_str(), m.second.c_str() });
		list.push_back({ nullptr, nullptr });
		ze::SStageCode code;
		std::string log, ignored;
		*ok = ze::translateHlsl(path("main.hlsl").c_str(), "main", EZESS_PIXEL, list.data(), code, log);
		ze::preprocessHlsl(path("main.hlsl"), ze::hlslPreamble(list.data()), text, ze::readHlslInclude, *seen, ignored);
		return log;
	}

	// Run in a child whose address space may grow by 1 GiB only: expanding
	// any of these files whole takes many gigabytes and minutes.
	void expandHostileFiles(const std::vector<SHostile>& cases)
	{
#if !defined(__SANITIZE_ADDRESS__)
		long pages = 0;
		std::ifstream("/proc/self/statm") >> pages;
		rlimit limit{};
		getrlimit(RLIMIT_AS, &limit);
		limit.rlim_cur = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t(1) << 30);
		setrlimit(RLIMIT_AS, &limit);
#endif
		int failures = 0;
		for (const SHostile& c : cases)
		{
			bool ok = true;
			ze::SHlslText seen;
			const std::string log = translate(c.Text, c.Macros, &ok, &seen);
			// The work stays within a few times the budget and the text.
			const size_t bound = 4 * ze::HLSL_MAX_EXPANDED_TOKENS + 4 * (c.Text.size() + ze::hlslPreamble(nullptr).size());
			if (ok || log.find(c.Message) == std::string::npos || seen.Work > bound)
			{
				std::fprintf(stderr, "%s: ok %d, work %zu (bound %zu), log: %s\n", c.What, ok, seen.Work, bound,
					log.c_str());
				++failures;
			}
		}
		std::_Exit(failures ? 1 : 0);
	}
};

// Hands glslang included files: read as it asks for them, or the ones the
// preprocessing read, in their order.
class CIncludes : public glslang::TShader::Includer
{
public:
	explicit CIncludes(const std::vector<ze::SHlslInclude>* read) : Read(read) {}

	IncludeResult* includeLocal(const char* header, const char* from, size_t) override
	{
		return find(header, true, from);
	}
	IncludeResult* includeSystem(const char* header, const char* from, size_t) override
	{
		return find(header, false, from);
	}
	void releaseInclude(IncludeResult* result) override { delete result; }

private:
	IncludeResult* find(const char* header, bool quoted, const char* from)
	{
		if (Read)
			return Next < Read->size() && (*Read)[Next].Header == header ? result((*Read)[Next++]) : nullptr;
		ze::SHlslInclude include{ header, "", "" };
		std::string contents;
		if (!ze::readHlslInclude(header, quoted, from, include.Name, contents))
			return nullptr;
		include.Text = ze::braceFlatInitialisers(contents);
		Texts.push_back(include);
		return result(Texts.back());
	}
	IncludeResult* result(const ze::SHlslInclude& include)
	{
		return new IncludeResult(include.Name, include.Text.data(), include.Text.size(), nullptr);
	}

	const std::vector<ze::SHlslInclude>* Read;
	size_t Next = 0;
	std::deque<ze::SHlslInclude> Texts;  // outlive the parse
};

// The SPIR-V glslang makes of a pixel stage; empty with its log when it fails.
std::vector<uint32_t> compile(const std::string& file, const std::string& preamble, const std::string& source,
	CIncludes& includes, std::string& log)
{
	const EShMessages messages = static_cast<EShMessages>(EShMsgReadHlsl | EShMsgHlslDX9Compatible | EShMsgSpvRules);
	glslang::TShader shader(EShLangFragment);
	const char* strings[] = { source.c_str() };
	const int lengths[] = { static_cast<int>(source.size()) };
	const char* names[] = { file.c_str() };
	shader.setStringsWithLengthsAndNames(strings, lengths, names, 1);
	shader.setPreamble(preamble.c_str());
	shader.setEntryPoint("main");
	shader.setEnvInput(glslang::EShSourceHlsl, EShLangFragment, glslang::EShClientOpenGL, 100);
	shader.setEnvClient(glslang::EShClientOpenGL, glslang::EShTargetOpenGL_450);
	shader.setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
	std::vector<uint32_t> spirv;
	glslang::TProgram program;
	if (!shader.parse(GetDefaultResources(), 100, false, messages, includes))
	{
		log = shader.getInfoLog();
		return spirv;
	}
	program.addShader(&shader);
	if (!program.link(messages))
	{
		log = program.getInfoLog();
		return spirv;
	}
	glslang::SpvOptions options;
	options.disableOptimizer = true;
	glslang::GlslangToSpv(*program.getIntermediate(EShLangFragment), spirv, &options);
	return spirv;
}

struct SCompatible
{
	const char* What;
	std::string Text;
	std::vector<std::pair<std::string, std::string>> Includes;  // name, text
	std::vector<std::pair<std::string, std::string>> Macros;
};
} // namespace

TEST_F(HlslPreprocess, MacrosThatMultiplyFailWithinTheBudgetAndBoundedMemory)
{
	const std::string budget = "macros in the shader code expand to more than 65536 tokens in the file and its includes";
	std::vector<std::pair<std::string, std::string>> callerMacros = { { "M0", "+1" } };
	for (int i = 1; i <= 40; ++i)
		callerMacros.push_back({ "M" + std::to_string(i), "M" + std::to_string(i - 1) + " M" + std::to_string(i - 1) });
	std::string nested = "1";
	for (int i = 0; i < 40; ++i)
		nested = "D(" + nested + ")";
	const std::vector<SHostile> cases = {
		{ "object-like", doubling() + shader("0 M40"), {}, path("main.hlsl") + ":44: " + budget },
		{ "function-like", "#define D(x) x +x\n" + shader(nested), {}, budget },
		{ "caller's macros", shader("0 M40"), callerMacros, budget },
		{ "#if line", doubling() + "#if 0 M40\n#endif\n" + shader("0"), {}, budget },
		{ "spliced directives", doubling("#def\\\nine") + shader("0 M40"), {}, budget },
		// The compiler replaces every argument whole, also one it does not use,
		// stringizes or joins with '##', and the macros of #line.
		{ "unused argument", doubling() + "#define NONE(x) 0\n" + shader("NONE(M40)"), {}, budget },
		{ "stringized argument", doubling() + "#define STR(x) #x\n" + shader("0 STR(M40)"), {}, budget },
		{ "joined argument", doubling() + "#define CAT(a, b) a ## b\n" + shader("0 CAT(1, M40)"), {}, budget },
		{ "#line", doubling() + "#line M40\n" + shader("0"), {}, budget },
		// 1 << 32 is not 1 here, though it is in the compiler's own 32-bit
		// arithmetic: the compiler must not see the definitions either.
		{ "condition", "#if (1 << 32) == 1\n" + doubling() + "#endif\n" + shader("M40"), {}, "'M40' : unknown variable" },
	};
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	EXPECT_EXIT(expandHostileFiles(cases), ::testing::ExitedWithCode(0), "");
}

TEST_F(HlslPreprocess, TheCompilerReadsTheKeptLinesAtTheirNumbers)
{
	zetest::writeText(path("inc/part.hlsl"), "#ifdef FROM_MAIN\nfloat4 Part;\n#else\nfloat4 NotPart;\n#endif\n");
	const std::string code = "float4 main() : COLOR0 { return Part + Missing; }\n";
	const std::string text = "#define ON 1\n"
		"#if ON /* a comment that\n"
		"   goes on */ && defined(ON)\n"
		"#define FROM_MAIN\n"
		"#el\\\nse\n"
		"#error not taken\n"
		"#endif\n"
		"#include \"inc/part.hlsl\"\n" + code;
	bool ok = true;
	ze::SHlslText seen;
	const std::string log = translate(text, {}, &ok, &seen);
	EXPECT_FALSE(ok);
	EXPECT_NE(log.find(path("main.hlsl") + ":10: 'Missing'"), std::string::npos) << log;
	EXPECT_EQ(seen.Source, "#define ON 1\n\n\n#define FROM_MAIN\n\n\n\n\n#include \"inc/part.hlsl\"\n" + code);
	ASSERT_EQ(seen.Includes.size(), 1u);
	EXPECT_EQ(seen.Includes[0].Header, "inc/part.hlsl");
	EXPECT_EQ(seen.Includes[0].Name, path("inc/part.hlsl"));
	EXPECT_EQ(seen.Includes[0].Text, "\nfloat4 Part;\n\n\n\n");
	EXPECT_EQ(seen.Expanded, 1u);  // ON in the #if line

	// A real surface shader with every texture macro of its surfaces.
	const std::string forward = std::string(ZELV_SOURCE_DIR) + "/data/shaders/Forward.hlsl";
	std::vector<SZeMacro> every;
	for (const char* name : { "USE_TEX_COLOR", "USE_TEX_LUMINOSITY", "USE_TEX_DIFFUSE", "USE_TEX_SPECULAR",
			 "USE_TEX_GLOSSINESS", "USE_TEX_REFLECIMG", "USE_TEX_REFLECTIVITY", "USE_TEX_TRANSPARENCY",
			 "USE_TEX_TRANSLUCENCY", "USE_TEX_NORMAL", "USE_UV2", "USE_UV2_TEX_COLOR", "USE_UV2_TEX_NORMAL" })
		every.push_back({ name, "1" });
	every.push_back({ nullptr, nullptr });
	for (const auto& entry : { std::make_pair("zeLwVertex", EZESS_VERTEX), std::make_pair("psForward", EZESS_PIXEL) })
	{
		ze::SStageCode stage;
		std::string stageLog;
		EXPECT_TRUE(ze::translateHlsl(forward.c_str(), entry.first, entry.second, every.data(), stage, stageLog))
			<< stageLog;
	}
	std::string source, error;
	source.assign(std::istreambuf_iterator<char>(std::ifstream(forward).rdbuf()), {});
	ASSERT_TRUE(ze::preprocessHlsl(forward, ze::hlslPreamble(every.data()), source, ze::readHlslInclude, seen, error))
		<< error;
	EXPECT_GT(seen.Expanded, 0u);
	EXPECT_LT(seen.Expanded, ze::HLSL_MAX_EXPANDED_TOKENS / 8);
}

// Shaders whose code the compiler read whole before: made of the lines the
// preprocessing keeps, the program is the same. R and G are what the
// conditionals decide.
TEST_F(HlslPreprocess, TheCompilerMakesTheProgramItMadeOfTheWholeCode)
{
	const std::string main = "float4 main() : COLOR0 { return float4(R, G, 0, 1); }\n";
	const std::vector<SCompatible> cases = {
		{ "carriage returns alone end lines",
			"#define R 1 \\\r+ 1\n// note\r#ifdef R\r\n#define G 1\r#else\n#define G 0\r\n#endif\r" + main, {}, {} },
		{ "#line numbers the lines after it", "#line 100\n#if __LINE__ == 100\n#define R 1\n#endif\n"
			"#line 10 + 5 \"other.fx\"\n#if __LINE__ == 15\n#define G 1\n#endif\n" + main, {}, {} },
		{ "the compiler's version", "#if __VERSION__ > 100\n#define R 1\n#else\n#define R 0\n#endif\n"
			"#define __LINE__ 1\n#if __LINE__ == 1 || __FILE__ != 0\n#define G 1\n#else\n#define G 0\n#endif\n" + main,
			{}, {} },
		{ "character constants", "#if 'A' == 65 && '\\n' == 10 && '\\\'' == 39\n#define R 1\n#define G 1\n#endif\n" + main,
			{}, {} },
		{ "hexadecimal e before a sign", "#if 0x1E+1 == 31\n#define R 1\n#endif\n#define G 0\n" + main, {}, {} },
		{ "defined from a macro", "#define ON\n#define HAS_ON defined(ON)\n#define HAS defined ON\n"
			"#if HAS_ON && HAS\n#define R 1\n#define G 1\n#endif\n" + main, {}, {} },
		{ "conditionals across includes",
			"#if 1\n#include \"inc/end.hlsl\"\n#include \"inc/begin.hlsl\"\n#define G 1\n#endif\n" + main,
			{ { "inc/end.hlsl", "#endif\n" }, { "inc/begin.hlsl", "\n#if __LINE__ == 2\n#define R 1\n" } }, {} },
		{ "braces group arguments", "#define SECOND(a, b) b\n#if SECOND({1, 2}, 3) == 3\n#define R 1\n#endif\n"
			"static const float2 g = SECOND(0, {1, 0});\n#define G g.x\n" + main, {}, {} },
		{ "'##' joins replaced arguments", "#define CAT(a, b) a ## b\n#define X x\nstatic const float xy = 1, abc = 0;\n"
			"#define R CAT(X, y)\n#define G CAT(CAT(a, b), c)\n" + main, {}, {} },
		{ "'##' at a replacement's end, unused",
			"#define JOIN(a) a ##\n#define BAD ## b\n#define R 1\n#define G 0\n" + main, {}, {} },
		{ "a macro named defined",
			"#define defined 5\n#define ON\n#if defined(ON)\n#define R 1\n#define G 1\n#endif\n" + main, {}, {} },
		{ "the caller's macros",
			"#ifndef QUALITY\n#define QUALITY 1\n#endif\n#if QUALITY == 3 && TWICE(2) == 4 && !defined(GL_ES)\n"
			"#define R 1\n#endif\n#ifdef VULKAN\n#define G 1\n#else\n#define G 0\n#endif\n" + main,
			{}, { { "QUALITY", "3" }, { "TWICE(x)", "(x + x)" }, { "VULKAN", "" } } },
	};
	glslang::InitializeProcess();
	for (const SCompatible& c : cases)
	{
		for (const auto& include : c.Includes)
			zetest::writeText(path(include.first), include.second);
		zetest::writeText(path("main.hlsl"), c.Text);
		std::vector<SZeMacro> macros;
		for (const auto& m : c.Macros)
			macros.push_back({ m.first.c_str(), m.second.c_str() });
		macros.push_back({ nullptr, nullptr });
		const std::string preamble = ze::hlslPreamble(macros.data());
		const std::string source = ze::braceFlatInitialisers(c.Text);
		std::string wholeLog, keptLog, error;
		CIncludes asked(nullptr);
		const std::vector<uint32_t> whole = compile(path("main.hlsl"), preamble, source, asked, wholeLog);
		ASSERT_FALSE(whole.empty()) << c.What << ": " << wholeLog;
		ze::SHlslText text;
		std::vector<uint32_t> kept;
		if (ze::preprocessHlsl(path("main.hlsl"), preamble, source, ze::readHlslInclude, text, error))
		{
			CIncludes read(&text.Includes);
			kept = compile(path("main.hlsl"), text.Preamble, text.Source, read, keptLog);
		}
		EXPECT_TRUE(kept == whole) << c.What << ": " << error << keptLog;
	}
	glslang::FinalizeProcess();
}
