// The GPU-programming service: programs built from HLSL through the
// translator and the shader cache, linked into GL programs whose float4
// registers are uploaded when they change.
#include "core/IZeGpuProgramming.h"
#include "core/ZeGpuState.h"
#include "core/ZeHlslTranslator.h"
#include "core/ZeShaderCache.h"

#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "libext/ZeGL.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

using irr::s32;
using irr::u32;
using irr::u64;
using irr::f32;

namespace
{
// The library's OpenGL driver makes clockwise faces the front ones when it
// starts and never changes that.
const GLenum LIBRARY_FRONT_FACE = GL_CW;

// The GL state the programs set, kept here so that nothing is asked of the
// driver: the render-target flip, whether our winding is swapped in, and
// the program in use (0 when unknown or none).
bool g_flip = false;
bool g_frontFaceSwapped = false;
GLuint g_programInUse = 0;

void applyFrontFace()
{
	if (g_flip == g_frontFaceSwapped)
		return;
	glFrontFace(g_flip ? (LIBRARY_FRONT_FACE == GL_CW ? GL_CCW : GL_CW) : LIBRARY_FRONT_FACE);
	g_frontFaceSwapped = g_flip;
}

// A new GL context starts with nothing of ours in place.
void resetGLState()
{
	g_frontFaceSwapped = false;
	g_programInUse = 0;
}

void deleteProgram(GLuint program)
{
	if (program == g_programInUse)
		g_programInUse = 0;
	glDeleteProgram(program);
}

const char* stageName(EZE_SHADER_STAGE stage)
{
	return stage == EZESS_VERTEX ? "vertex" : "pixel";
}

// Separators to '/', lower case: how changed-file names are compared.
std::string comparableName(const std::string& name)
{
	std::string out;
	for (char c : name)
		out += c == '\\' ? '/' : static_cast<char>(tolower(static_cast<unsigned char>(c)));
	while (out.compare(0, 2, "./") == 0)
		out.erase(0, 2);
	return out;
}

bool sameFile(const std::string& a, const std::string& b)
{
	auto endsWith = [](const std::string& s, const std::string& tail) {
		return s.size() > tail.size() && s[s.size() - tail.size() - 1] == '/'
			&& s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
	};
	return a == b || endsWith(a, b) || endsWith(b, a);
}

// What makes two program requests the same: the file as resolved, both entry
// points and the macros in order.
std::string programKey(const std::string& resolved, const char* vertexEntry, const char* pixelEntry,
	const SZeMacro* macros)
{
	std::string key = resolved;
	for (const char* part : { vertexEntry, pixelEntry })
		(key += '\n') += part ? part : "";
	return key + '\n' + ze::macroText(macros);
}

// ---- sRGB decoding ---------------------------------------------------------------
// Direct3D 9 decodes sRGB texels when a sampler asks, whatever the texture's
// format; GL decodes only textures of sRGB formats, and the library's are
// linear. So the programs decode themselves: each sampler becomes a struct of
// the sampler and a flag, and each texture read goes through a function that
// decodes the colour (not alpha) after filtering when the flag is set.

struct SSamplerKind
{
	const char* Type;
	const char* Coord;
	const char* Proj[2];  // coordinates of the projective reads, null: none
	const char* Grad;
	const char* Fetch;    // null: no texel fetch
	const char* Size;
};

const SSamplerKind SAMPLER_KINDS[] = {
	{ "sampler1D", "float", { "vec2", "vec4" }, "float", "int", "int" },
	{ "sampler2D", "vec2", { "vec3", "vec4" }, "vec2", "ivec2", "ivec2" },
	{ "sampler3D", "vec3", { "vec4", nullptr }, "vec3", "ivec3", "ivec3" },
	{ "samplerCube", "vec3", { nullptr, nullptr }, "vec3", nullptr, "ivec2" },
};

// The built-in reads the wrappers stand for; "ze_" + name is the wrapper.
const char* const SAMPLER_READS[] = { "texture", "textureLod", "textureProj", "textureProjLod", "textureGrad",
	"textureProjGrad", "texelFetch", "textureSize" };

const char* const SRGB_DECODE = "vec4 ze_decode(vec4 c, float srgb)\n{\n"
								"    if (srgb != 0.0)\n"
								"        c.rgb = mix(c.rgb / 12.92, pow(max((c.rgb + 0.055) / 1.055, vec3(0.0)), vec3(2.4)),\n"
								"            step(vec3(0.04045), c.rgb));\n"
								"    return c;\n}\n";

// The struct of a sampler kind and its wrappers (reads with a bias only in
// pixel shaders).
std::string samplerWrappers(const SSamplerKind& k, EZE_SHADER_STAGE stage)
{
	const std::string t = std::string("ze_") + k.Type;
	std::string out = "struct " + t + " { " + k.Type + " s; float srgb; };\n";
	auto read = [&](const char* name, const std::string& params, const std::string& args) {
		out += std::string("vec4 ze_") + name + "(" + t + " t, " + params + ") { return ze_decode(" + name + "(t.s, "
			+ args + "), t.srgb); }\n";
	};
	const bool bias = stage == EZESS_PIXEL;
	read("texture", std::string(k.Coord) + " p", "p");
	if (bias)
		read("texture", std::string(k.Coord) + " p, float b", "p, b");
	read("textureLod", std::string(k.Coord) + " p, float l", "p, l");
	read("textureGrad", std::string(k.Coord) + " p, " + k.Grad + " x, " + k.Grad + " y", "p, x, y");
	for (const char* proj : k.Proj)
	{
		if (!proj)
			continue;
		read("textureProj", std::string(proj) + " p", "p");
		if (bias)
			read("textureProj", std::string(proj) + " p, float b", "p, b");
		read("textureProjLod", std::string(proj) + " p, float l", "p, l");
		read("textureProjGrad", std::string(proj) + " p, " + k.Grad + " x, " + k.Grad + " y", "p, x, y");
	}
	if (k.Fetch)
		read("texelFetch", std::string(k.Fetch) + " p, int l", "p, l");
	out += std::string(k.Size) + " ze_textureSize(" + t + " t, int l) { return textureSize(t.s, l); }\n";
	return out;
}

// Whether a word is one of GLSL's sampler types ("sampler2DShadow",
// "isampler3D", ...).
bool isGlslSamplerType(const std::string& word)
{
	static const char* const shapes[] = { "1D", "2D", "3D", "Cube", "2DRect", "1DArray", "2DArray", "CubeArray",
		"Buffer", "2DMS", "2DMSArray" };
	const size_t at = word.compare(0, 7, "sampler") == 0 ? 7
		: (word[0] == 'i' || word[0] == 'u') && word.compare(1, 7, "sampler") == 0 ? 8 : std::string::npos;
	if (at == std::string::npos)
		return false;
	std::string shape = word.substr(at);
	if (shape.size() > 6 && shape.compare(shape.size() - 6, 6, "Shadow") == 0)
		shape.resize(shape.size() - 6);
	return std::find(std::begin(shapes), std::end(shapes), shape) != std::end(shapes);
}

// A stage's GLSL with its samplers able to decode sRGB texels; as it is when
// it has none, or samplers of a kind Direct3D 9 shaders do not have.
std::string decodingSamplers(const std::string& glsl, EZE_SHADER_STAGE stage)
{
	std::string out;
	std::vector<bool> used(std::size(SAMPLER_KINDS), false);
	size_t i = 0;
	while (i < glsl.size())
	{
		if (!(std::isalpha(static_cast<unsigned char>(glsl[i])) || glsl[i] == '_'))
		{
			out += glsl[i++];
			continue;
		}
		size_t end = i;
		while (end < glsl.size() && (std::isalnum(static_cast<unsigned char>(glsl[end])) || glsl[end] == '_'))
			++end;
		const std::string word = glsl.substr(i, end - i);
		size_t next = end;
		while (next < glsl.size() && (glsl[next] == ' ' || glsl[next] == '\t'))
			++next;
		bool wrapped = false;
		for (size_t k = 0; k < std::size(SAMPLER_KINDS) && !wrapped; ++k)
			if (word == SAMPLER_KINDS[k].Type)
				wrapped = used[k] = true;
		for (const char* read : SAMPLER_READS)
			wrapped = wrapped || (word == read && next < glsl.size() && glsl[next] == '(');
		if (!wrapped && isGlslSamplerType(word))
			return glsl;  // another kind of sampler
		out += (wrapped ? "ze_" : "") + word;
		i = end;
	}
	if (std::find(used.begin(), used.end(), true) == used.end())
		return glsl;
	std::string prelude = SRGB_DECODE;
	for (size_t k = 0; k < std::size(SAMPLER_KINDS); ++k)
		if (used[k])
			prelude += samplerWrappers(SAMPLER_KINDS[k], stage);
	// After the #version and #extension lines.
	size_t at = 0;
	while (at < out.size() && (out[at] == '#' || out[at] == '\n'))
	{
		const size_t eol = out.find('\n', at);
		at = eol == std::string::npos ? out.size() : eol + 1;
	}
	return out.insert(at, prelude);
}

// A linked program and what the service needs to rebuild it.
struct SBuilt
{
	GLuint Program = 0;
	ze::SStageCode Stages[EZESS_COUNT];
};

class CZeGpuProgramming;

class CZeShaderProgram : public IZeShaderProgram
{
public:
	CZeShaderProgram(CZeGpuProgramming* owner, irr::video::IVideoDriver* driver, const char* file,
		const std::string& resolved, const char* vertexEntry, const char* pixelEntry, const SZeMacro* macros)
		: Owner(owner), Driver(driver), File(file), Resolved(resolved)
	{
		Entries[EZESS_VERTEX] = vertexEntry ? vertexEntry : "";
		Entries[EZESS_PIXEL] = pixelEntry ? pixelEntry : "";
		for (const SZeMacro* m = macros; m && m->Name; ++m)
			MacroText.emplace_back(m->Name, m->Definition ? m->Definition : "1");
	}
	~CZeShaderProgram() override;

	unsigned int getGLProgram() const override { return Program; }
	const irr::core::array<SZeShaderConstant>& getConstants() const override { return Constants; }

	s32 findConstant(const char* name, EZE_SHADER_STAGE stage) const override
	{
		for (u32 i = 0; name && i < Constants.size(); ++i)
			if (Constants[i].Stage == stage && Constants[i].Name == name)
				return static_cast<s32>(i);
		return -1;
	}

	void setRegisters(EZE_SHADER_STAGE stage, u32 firstRegister, const f32* values, u32 float4Count) override
	{
		if (stage >= EZESS_COUNT || !values)
			return;
		SStageState& s = Stages[stage];
		const u32 size = static_cast<u32>(s.Registers.size() / 4);
		if (firstRegister >= size)
			return;
		const u32 count = std::min(float4Count, size - firstRegister);
		f32* shadow = &s.Registers[firstRegister * 4];
		if (std::equal(values, values + count * 4, shadow))
			return;  // as uploaded, or about to be
		std::copy(values, values + count * 4, shadow);
		s.DirtyFirst = std::min(s.DirtyFirst, firstRegister);
		s.DirtyEnd = std::max(s.DirtyEnd, firstRegister + count);
	}

	void setSamplerUnit(u32 constantIndex, u32 unit) override
	{
		for (SSampler& s : Samplers)
			if (s.Constant == constantIndex && s.Unit != unit)
			{
				s.Unit = unit;
				s.Dirty = true;
			}
	}

	void setSamplerSRGB(u32 constantIndex, bool srgb) override
	{
		for (SSampler& s : Samplers)
			if (s.Constant == constantIndex && s.Srgb != srgb)
			{
				s.Srgb = srgb;
				s.SrgbDirty = true;
			}
	}

	void use() override
	{
		if (g_programInUse != Program)
		{
			glUseProgram(Program);
			g_programInUse = Program;
		}
		for (SStageState& s : Stages)
		{
			const u32 end = std::min(s.DirtyEnd, static_cast<u32>(s.Locations.size()));
			if (s.DirtyFirst < end)
				glUniform4fv(s.Locations[s.DirtyFirst], static_cast<GLsizei>(end - s.DirtyFirst),
					&s.Registers[s.DirtyFirst * 4]);
			s.DirtyFirst = ~0u;
			s.DirtyEnd = 0;
		}
		for (SSampler& s : Samplers)
		{
			if (s.Dirty)
				for (size_t i = 0; i < s.Units.size(); ++i)
					glUniform1i(s.Units[i], static_cast<GLint>(s.Unit + i));
			if (s.SrgbDirty)
				for (GLint flag : s.Flags)
					glUniform1f(flag, s.Srgb ? 1.f : 0.f);
			s.Dirty = s.SrgbDirty = false;
		}
		const f32 flip = g_flip ? -1.f : 1.f;
		if (FlipLocation >= 0 && flip != Flip)
			glUniform1f(FlipLocation, Flip = flip);
		if (HeightLocation >= 0)
		{
			const f32 height = static_cast<f32>(Driver->getCurrentRenderTargetSize().Height);
			if (height != Height)
				glUniform1f(HeightLocation, Height = height);
		}
		applyFrontFace();
	}

	const char* getFileName() const override { return File.c_str(); }
	const char* getEntryPoint(EZE_SHADER_STAGE stage) const override
	{
		return stage < EZESS_COUNT ? Entries[stage].c_str() : "";
	}
	u32 getRevision() const override { return Revision; }
	const irr::core::array<irr::core::stringc>& getSourceFiles() const override { return SourceFiles; }

	// Takes over a freshly linked program; registers and sampler units set
	// before keep their values.
	void adopt(SBuilt& built)
	{
		const irr::core::array<SZeShaderConstant> previous = Constants;
		const std::vector<SSampler> previousSamplers = Samplers;
		if (Program)
		{
			deleteProgram(Program);
			++Revision;
		}
		Program = built.Program;
		built.Program = 0;
		Constants.clear();
		Samplers.clear();
		SourceFiles.clear();
		for (u32 stage = 0; stage < EZESS_COUNT; ++stage)
		{
			const ze::SStageCode& code = built.Stages[stage];
			SStageState& s = Stages[stage];
			s.Registers.resize(code.RegisterCount * 4, 0.f);
			s.DirtyFirst = 0;
			s.DirtyEnd = code.RegisterCount;
			s.Locations.clear();
			const std::string array = stage == EZESS_VERTEX ? "ze_vs_c" : "ze_ps_c";
			for (u32 i = 0; i < code.RegisterCount; ++i)
			{
				const GLint location = glGetUniformLocation(Program, (array + "[" + std::to_string(i) + "]").c_str());
				if (location < 0)
					break;  // the tail the GL compiler dropped
				s.Locations.push_back(location);
			}
			for (const ze::SStageConstant& c : code.Constants)
			{
				SZeShaderConstant k;
				k.Name = c.Name.c_str();
				k.Stage = static_cast<EZE_SHADER_STAGE>(stage);
				k.Type = c.Type;
				k.RegisterIndex = c.RegisterIndex;
				k.RegisterCount = c.RegisterCount;
				k.Rows = c.Rows;
				k.Columns = c.Columns;
				k.Elements = c.Elements;
				k.RowMajor = c.RowMajor;
				if (c.Type >= EZECT_SAMPLER_2D)
				{
					SSampler sampler;
					sampler.Constant = Constants.size();
					sampler.Unit = k.RegisterIndex;
					for (const SSampler& before : previousSamplers)
					{
						const SZeShaderConstant& p = previous[before.Constant];
						if (p.Stage == k.Stage && p.Name == k.Name && p.Type == k.Type)
						{
							sampler.Unit = before.Unit;
							sampler.Srgb = before.Srgb;
						}
					}
					locateSampler(c, sampler);
					if (!sampler.Units.empty())
						Samplers.push_back(sampler);
				}
				Constants.push_back(k);
			}
			for (const ze::SSourceFile& f : code.Sources)
			{
				bool known = false;
				for (u32 i = 0; i < SourceFiles.size() && !known; ++i)
					known = SourceFiles[i] == f.Name.c_str();
				if (!known)
					SourceFiles.push_back(f.Name.c_str());
			}
		}
		FlipLocation = glGetUniformLocation(Program, "ze_FlipY");
		HeightLocation = glGetUniformLocation(Program, "ze_TargetHeight");
		Flip = Height = NAN;
	}

	const std::string& resolvedFile() const { return Resolved; }
	const std::string& key() const { return Key; }
	void setKey(const std::string& key) { Key = key; }
	const std::string& entry(u32 stage) const { return Entries[stage]; }
	std::vector<SZeMacro> macros() const
	{
		std::vector<SZeMacro> list;
		for (const auto& m : MacroText)
			list.push_back({ m.first.c_str(), m.second.c_str() });
		list.push_back({ nullptr, nullptr });
		return list;
	}
	void detach() { Owner = nullptr; }

private:
	struct SStageState
	{
		std::vector<f32> Registers;   // four per register
		std::vector<GLint> Locations; // per register the GL compiler kept
		u32 DirtyFirst = ~0u;
		u32 DirtyEnd = 0;
	};
	// A sampler constant: the texture unit it reads (its elements the units
	// after), and per element the location of its unit and of its sRGB flag
	// (none when the stage's samplers do not decode). The unit is the
	// holders' to set; the constant table keeps the register.
	struct SSampler
	{
		u32 Constant = 0;
		u32 Unit = 0;
		std::vector<GLint> Units;
		std::vector<GLint> Flags;
		bool Dirty = true;
		bool Srgb = false;
		bool SrgbDirty = true;
	};

	void locateSampler(const ze::SStageConstant& c, SSampler& sampler) const
	{
		for (u32 i = 0; i < std::max(c.Elements, 1u); ++i)
		{
			const std::string element = c.Elements > 1 ? c.GlslName + "[" + std::to_string(i) + "]" : c.GlslName;
			GLint unit = glGetUniformLocation(Program, (element + ".s").c_str());
			if (unit < 0)
				unit = glGetUniformLocation(Program, element.c_str());
			const GLint flag = glGetUniformLocation(Program, (element + ".srgb").c_str());
			if (unit >= 0)
				sampler.Units.push_back(unit);
			if (flag >= 0)
				sampler.Flags.push_back(flag);
		}
	}

	CZeGpuProgramming* Owner;
	irr::video::IVideoDriver* Driver;
	std::string File;
	std::string Resolved;
	std::string Key;
	std::string Entries[EZESS_COUNT];
	std::vector<std::pair<std::string, std::string>> MacroText;
	GLuint Program = 0;
	u32 Revision = 0;
	irr::core::array<SZeShaderConstant> Constants;
	irr::core::array<irr::core::stringc> SourceFiles;
	SStageState Stages[EZESS_COUNT];
	std::vector<SSampler> Samplers;
	GLint FlipLocation = -1;
	GLint HeightLocation = -1;
	f32 Flip = NAN;
	f32 Height = NAN;
};

class CZeGpuProgramming : public IZeGpuProgramming
{
public:
	explicit CZeGpuProgramming(irr::video::IVideoDriver* driver) : Driver(driver) { resetGLState(); }

	~CZeGpuProgramming() override
	{
		for (CZeShaderProgram* p : Live)
			p->detach();
		resetGLState();
	}

	IZeShaderProgram* createProgram(const char* file, const char* vertexEntry, const char* pixelEntry,
		const SZeMacro* macros) override
	{
		const std::string resolved = ze::resolveShaderFile(file);
		const std::string key = programKey(resolved, vertexEntry, pixelEntry, macros);
		for (CZeShaderProgram* live : Live)
			if (live->key() == key)
			{
				live->grab();
				return live;
			}
		CZeShaderProgram* program
			= new CZeShaderProgram(this, Driver, file ? file : "", resolved, vertexEntry, pixelEntry, macros);
		program->setKey(key);
		SBuilt built;
		if (!build(*program, built))
		{
			program->detach();
			program->drop();
			return nullptr;
		}
		program->adopt(built);
		Live.push_back(program);
		return program;
	}

	void setShaderCache(const char* folder, bool readOnly) override { Cache.setFolder(folder, readOnly); }

	irr::core::stringc getCacheFileName(const char* file, const char* entry, EZE_SHADER_STAGE stage,
		const SZeMacro* macros) const override
	{
		return ze::cacheFileName(ze::resolveShaderFile(file), entry, stage, ze::macroText(macros)).c_str();
	}

	u32 updateShaders(u32 count, const char* const* files) override
	{
		std::vector<std::string> changed;
		for (u32 i = 0; files && i < count; ++i)
			if (files[i])
			{
				zeLog(EZELL_INFO, "ZeGPU: shader file changed: %s", files[i]);
				changed.push_back(comparableName(files[i]));
			}
		u32 rebuilt = 0;
		const std::vector<CZeShaderProgram*> programs = Live;
		for (CZeShaderProgram* program : programs)
		{
			const irr::core::array<irr::core::stringc>& sources = program->getSourceFiles();
			bool affected = false;
			for (u32 i = 0; i < sources.size() && !affected; ++i)
				for (const std::string& name : changed)
					affected = affected || sameFile(comparableName(sources[i].c_str()), name);
			if (!affected)
				continue;
			SBuilt built;
			if (build(*program, built))
			{
				program->adopt(built);
				++rebuilt;
			}
			else
				zeLog(EZELL_ERROR, "ZeGPU: kept the previous program of %s", program->getFileName());
		}
		return rebuilt;
	}

	const char* getLastError() const override { return LastError.c_str(); }
	SZeGpuStats getStats() const override { return Stats; }

	irr::u32 getMaxConstantRegisters() const override
	{
		if (!Driver || Driver->getDriverType() != irr::video::EDT_OPENGL)
			return ZE_MAX_CONSTANT_REGISTERS;
		GLint vertex = 0;
		GLint fragment = 0;
		glGetIntegerv(GL_MAX_VERTEX_UNIFORM_VECTORS, &vertex);
		glGetIntegerv(GL_MAX_FRAGMENT_UNIFORM_VECTORS, &fragment);
		const GLint least = std::min(vertex, fragment);
		return least > 0 ? static_cast<irr::u32>(least) : ZE_MAX_CONSTANT_REGISTERS;
	}

	void forget(CZeShaderProgram* program) { Live.erase(std::remove(Live.begin(), Live.end(), program), Live.end()); }

private:
	void fail(const std::string& headline, const std::string& messages)
	{
		zeLog(EZELL_ERROR, "%s", headline.c_str());
		size_t at = 0;
		while (at < messages.size())
		{
			size_t end = messages.find('\n', at);
			if (end == std::string::npos)
				end = messages.size();
			if (end > at)
				zeLog(EZELL_ERROR, "%s", messages.substr(at, end - at).c_str());
			at = end + 1;
		}
		LastError = headline + "\n" + messages;
	}

	void failStage(EZE_SHADER_STAGE stage, const char* file, const std::string& messages)
	{
		fail(std::string("ZeGPU: Failed to Compile ") + stageName(stage) + " shader " + file, messages);
	}

	// The texture units a stage's samplers may read: from its first unit up to
	// the driver's units for the stage, within its units for all stages.
	static u32 unitEnd(EZE_SHADER_STAGE stage)
	{
		GLint units = 0, combined = 0;
		glGetIntegerv(stage == EZESS_VERTEX ? GL_MAX_VERTEX_TEXTURE_IMAGE_UNITS : GL_MAX_TEXTURE_IMAGE_UNITS, &units);
		glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &combined);
		const u32 first = stage == EZESS_VERTEX ? ze::VERTEX_SAMPLER_FIRST_UNIT : 0;
		return std::min(first + static_cast<u32>(std::max(units, 0)), static_cast<u32>(std::max(combined, 0)));
	}

	// Whether the translated stages keep to the driver's constant registers
	// and texture units (arrays of any size translate, and GL drops what a
	// stage does not read, so its compiler alone does not refuse them). A
	// constant the stages read is named before registers no stage reads.
	bool withinLimits(const CZeShaderProgram& program, const ze::SStageCode (&stages)[EZESS_COUNT])
	{
		const u32 registers = getMaxConstantRegisters();
		auto range = [](char kind, u64 from, u64 count) {
			return " (" + (kind + std::to_string(from)) + " to " + kind + std::to_string(from + count - 1) + ")";
		};
		std::string message;
		u32 failing = 0;
		for (u32 stage = 0; stage < EZESS_COUNT && message.empty(); ++stage)
		{
			const u32 first = stage == EZESS_VERTEX ? ze::VERTEX_SAMPLER_FIRST_UNIT : 0;
			const u32 end = unitEnd(static_cast<EZE_SHADER_STAGE>(stage));
			for (const ze::SStageConstant& c : stages[stage].Constants)
			{
				const u32 count = std::max(c.RegisterCount, 1u);
				const u64 past = static_cast<u64>(c.RegisterIndex) + count;
				if (c.Type >= EZECT_SAMPLER_2D && past > end)
					message = "'" + c.Name + "' reads texture units past the " + stageName(static_cast<EZE_SHADER_STAGE>(stage))
						+ " stage's " + std::to_string(end > first ? end - first : 0) + range('s', c.RegisterIndex - first, count);
				else if (c.Type < EZECT_SAMPLER_2D && past > registers)
					message = "'" + c.Name + "' takes constant registers past the stage's " + std::to_string(registers)
						+ range('c', c.RegisterIndex, count);
				if (!message.empty())
				{
					failing = stage;
					break;
				}
			}
		}
		for (u32 stage = 0; stage < EZESS_COUNT && message.empty(); ++stage)
			if (stages[stage].RegisterCount > registers)
			{
				message = "the constants take registers past the stage's " + std::to_string(registers)
					+ range('c', 0, stages[stage].RegisterCount);
				failing = stage;
			}
		if (message.empty())
			return true;
		failStage(static_cast<EZE_SHADER_STAGE>(failing), program.getFileName(), message);
		return false;
	}

	// A stage from the cache, else translated (and cached).
	bool loadStage(const CZeShaderProgram& program, EZE_SHADER_STAGE stage, ze::SStageCode& code)
	{
		const std::vector<SZeMacro> macros = program.macros();
		const std::string text = ze::macroText(macros.data());
		const std::string& file = program.resolvedFile();
		const char* entry = program.entry(stage).c_str();
		std::string why;
		if (Cache.isOn())
		{
			if (Cache.read(file, entry, stage, text, code, why))
			{
				++Stats.CacheHits;
				return true;
			}
			if (why == "corrupt" || why.compare(0, 5, "not a") == 0)
				zeLog(EZELL_WARN, "ZeGPU: refused the cache entry of %s (%s): %s", file.c_str(), entry, why.c_str());
			else if (why != "missing")
				zeLog(EZELL_DEBUG, "ZeGPU: cache entry of %s (%s) not used: %s", file.c_str(), entry, why.c_str());
		}
		std::string log;
		if (!ze::translateHlsl(file.c_str(), entry, stage, macros.data(), code, log))
		{
			failStage(stage, program.getFileName(), log);
			return false;
		}
		++Stats.Translations;
		if (Cache.isOn() && !Cache.isReadOnly())
		{
			if (Cache.write(code, text))
				++Stats.CacheWrites;
			else
				zeLog(EZELL_WARN, "ZeGPU: could not write the shader cache in %s", Cache.path("").c_str());
		}
		return true;
	}

	GLuint compile(GLenum type, const std::string& text, std::string& log)
	{
		const GLuint shader = glCreateShader(type);
		const char* source = text.c_str();
		glShaderSource(shader, 1, &source, nullptr);
		glCompileShader(shader);
		GLint ok = 0, length = 0;
		glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
		if (!ok)
		{
			glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
			log.assign(static_cast<size_t>(std::max(length, 1)), '\0');
			glGetShaderInfoLog(shader, length, nullptr, &log[0]);
			log.resize(log.find('\0') == std::string::npos ? log.size() : log.find('\0'));
			glDeleteShader(shader);
			zeLog(EZELL_DEBUG, "ZeGPU: the GLSL refused:\n%s", text.c_str());
			return 0;
		}
		return shader;
	}

	bool build(CZeShaderProgram& program, SBuilt& built)
	{
		if (!Driver || Driver->getDriverType() != irr::video::EDT_OPENGL)
		{
			failStage(EZESS_VERTEX, program.getFileName(), "programs need the OpenGL driver");
			return false;
		}
		for (u32 stage = 0; stage < EZESS_COUNT; ++stage)
			if (!loadStage(program, static_cast<EZE_SHADER_STAGE>(stage), built.Stages[stage]))
				return false;
		if (!withinLimits(program, built.Stages))
			return false;
		const std::string texts[EZESS_COUNT] = { decodingSamplers(built.Stages[EZESS_VERTEX].Glsl, EZESS_VERTEX),
			decodingSamplers(ze::matchPixelInputs(built.Stages[EZESS_VERTEX], built.Stages[EZESS_PIXEL]), EZESS_PIXEL) };
		GLuint shaders[EZESS_COUNT] = {};
		for (u32 stage = 0; stage < EZESS_COUNT; ++stage)
		{
			std::string log;
			shaders[stage] = compile(stage == EZESS_VERTEX ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER, texts[stage], log);
			if (!shaders[stage])
			{
				if (stage)
					glDeleteShader(shaders[0]);
				failStage(static_cast<EZE_SHADER_STAGE>(stage), program.getFileName(), log);
				return false;
			}
		}
		const GLuint linked = glCreateProgram();
		for (GLuint shader : shaders)
			glAttachShader(linked, shader);
		glLinkProgram(linked);
		for (GLuint shader : shaders)
		{
			glDetachShader(linked, shader);
			glDeleteShader(shader);
		}
		GLint ok = 0, length = 0;
		glGetProgramiv(linked, GL_LINK_STATUS, &ok);
		if (!ok)
		{
			glGetProgramiv(linked, GL_INFO_LOG_LENGTH, &length);
			std::string log(static_cast<size_t>(std::max(length, 1)), '\0');
			glGetProgramInfoLog(linked, length, nullptr, &log[0]);
			glDeleteProgram(linked);
			fail(std::string("ZeGPU: Failed to link ") + program.getFileName() + " (" + program.entry(EZESS_VERTEX)
					+ ", " + program.entry(EZESS_PIXEL) + ")",
				log.c_str());
			return false;
		}
		++Stats.Links;
		built.Program = linked;
		return true;
	}

	irr::video::IVideoDriver* Driver;
	ze::CShaderCache Cache;
	std::vector<CZeShaderProgram*> Live;
	SZeGpuStats Stats = {};
	std::string LastError;
};

CZeShaderProgram::~CZeShaderProgram()
{
	if (Owner)
		Owner->forget(this);
	if (Program)
		deleteProgram(Program);
}
} // namespace

void zeSetRenderTargetFlip(bool flip)
{
	g_flip = flip;
}

bool zeGetRenderTargetFlip()
{
	return g_flip;
}

void zeUnbindProgram()
{
	glUseProgram(0);
	g_programInUse = 0;
	glActiveTexture(GL_TEXTURE0);
	if (g_frontFaceSwapped)
	{
		glFrontFace(LIBRARY_FRONT_FACE);
		g_frontFaceSwapped = false;
	}
}

IZeGpuProgramming* zeCreateGpuProgramming(irr::video::IVideoDriver* driver)
{
	return new CZeGpuProgramming(driver);
}
