// libFuzzer target for the effect-file reader: the input is an effect file
// (preprocessing and "//ZELV_PP:" declarations), read with a few macros
// defined, and its shader code preprocessed as for the compiler. Included
// files come from a small archive mounted in memory, so inputs name only
// those. A definition that loads must keep its invariants, and so must the
// code handed to the compiler.
#include "core/ZeHlslPreprocessor.h"
#include "core/ZeHlslSource.h"
#include "effects/ZeEffectDef.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"

#include <zip.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace
{
void quiet(const char*)
{
}

// The files an input may include: plain declarations, a macro header, a
// chain, one that includes itself and one that fans out.
const std::pair<const char*, const char*> INCLUDES[] = {
	{"common.fxh", "//ZELV_PP: param float4 Tint default=1,1,1,1\n#define COMMON 3\n#ifndef QUALITY\n#define QUALITY 1\n#endif\n"},
	{"decls.fxh", "//ZELV_PP: technique included\n//ZELV_PP: pass\n//ZELV_PP: vertex vs\n//ZELV_PP: pixel ps\n"},
	{"chain.fxh", "#include \"common.fxh\"\n//ZELV_PP: include decls.fxh\n"},
	{"self.fxh", "#include \"self.fxh\"\n"},
	{"fan.fxh", "#include \"fan.fxh\"\n#include \"fan.fxh\"\n#include \"fan.fxh\"\n"},
	{"fx/sub.fxh", "#if COMMON * 2 == 6\n//ZELV_PP: sampler 2D Sub layer=1 srgb=on\n#endif\n"},
	{"twice.fxh", "#define TWICE(x) x x\n#define CAT(a, b) a##b\n#define STR(a) #a\n"},
};

std::vector<char> g_zip;

std::vector<char> buildZip()
{
	zip_error_t error;
	zip_error_init(&error);
	zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
	zip_source_keep(buffer);
	zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
	for (const auto& entry : INCLUDES)
	{
		zip_source_t* data = zip_source_buffer(archive, entry.second, std::char_traits<char>::length(entry.second), 0);
		zip_file_add(archive, entry.first, data, ZIP_FL_ENC_UTF_8);
	}
	zip_close(archive);
	zip_stat_t st;
	std::vector<char> bytes;
	if (zip_source_stat(buffer, &st) == 0 && zip_source_open(buffer) == 0)
	{
		bytes.resize(st.size);
		if (zip_source_read(buffer, bytes.data(), st.size) != static_cast<zip_int64_t>(st.size))
			bytes.clear();
		zip_source_close(buffer);
	}
	zip_source_free(buffer);
	zip_error_fini(&error);
	return bytes;
}

void check(bool condition)
{
	if (!condition)
		__builtin_trap();
}

// What a loaded definition promises its users.
void checkDefinition(const SZeFxDef& def)
{
	check(def.Techniques.size() > 0);
	for (irr::u32 t = 0; t < def.Techniques.size(); ++t)
	{
		check(def.Techniques[t].Passes.size() > 0);
		for (irr::u32 p = 0; p < def.Techniques[t].Passes.size(); ++p)
		{
			const SZeFxPass& pass = def.Techniques[t].Passes[p];
			check(!pass.VertexEntry.empty() && !pass.PixelEntry.empty());
			check(pass.Targets >= 1 && pass.Targets <= 4);
		}
	}
	for (irr::u32 i = 0; i < def.Parameters.size(); ++i)
	{
		const SZeFxParameter& p = def.Parameters[i];
		const irr::u64 perElement = p.Type == EZEFPT_MATRIX ? (p.Rows > p.Columns ? p.Rows : p.Columns) : 1;
		check(p.Elements >= 1 && p.Elements * perElement <= ZE_MAX_CONSTANT_REGISTERS);
		check(p.Default.size() <= p.getComponentCount());
		check(p.Type != EZEFPT_SAMPLER || (p.Layer >= -2 && p.Layer < 8));
	}
}
size_t lines(const std::string& text)
{
	return size_t(std::count(text.begin(), text.end(), '\n'));
}

// What the compiler would read of the code: the same lines, within the budget.
void checkShaderCode(const std::string& text, const SZeMacro* macros)
{
	std::vector<std::pair<std::string, size_t>> read;  // each include's name and lines
	const ze::HlslIncludeReader reader = [&read](const std::string& header, bool quoted, const std::string& from,
		std::string& name, std::string& contents) {
		if (!ze::readHlslInclude(header, quoted, from, name, contents))
			return false;
		contents = ze::braceFlatInitialisers(contents);
		read.emplace_back(name, lines(contents));
		return true;
	};
	const std::string preamble = ze::hlslPreamble(macros);
	const std::string source = ze::braceFlatInitialisers(text);
	ze::SHlslText out;
	std::string error;
	if (!ze::preprocessHlsl("fuzz.hlsl", preamble, source, reader, out, error))
	{
		check(!error.empty());
		return;
	}
	check(out.Expanded <= ze::HLSL_MAX_EXPANDED_TOKENS);
	check(lines(out.Source) == lines(source) && lines(out.Preamble) == lines(preamble));
	check(out.Includes.size() == read.size());
	for (size_t i = 0; i < read.size(); ++i)
		check(out.Includes[i].Name == read[i].first && lines(out.Includes[i].Text) == read[i].second);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
	zeSetLogSink(quiet);
	g_zip = buildZip();
	if (g_zip.empty() || zeMountArchiveMemory(g_zip.data(), g_zip.size()) != 0)
		abort();
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	const std::string text(reinterpret_cast<const char*>(data), size);
	static const SZeMacro macros[] = {{"USE_SHADOW", nullptr}, {"QUALITY", "2"}, {"LIMIT", "QUALITY << 4"},
		{nullptr, nullptr}};
	for (const SZeMacro* list : {static_cast<const SZeMacro*>(nullptr), macros})
	{
		SZeFxDef def;
		irr::core::stringc error;
		if (zeParseEffectText("fuzz.hlsl", text.c_str(), list, &def, &error))
			checkDefinition(def);
		else
			check(!error.empty());
		checkShaderCode(text, list);
	}
	return 0;
}
