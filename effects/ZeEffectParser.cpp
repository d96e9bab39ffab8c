// Effect files: the parser of the "//ZELV_PP:" declarations that the
// preprocessing keeps.
#include "effects/ZeEffectDef.h"
#include "effects/ZeFxPreprocessor.h"

#include "frame/ZeFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

using namespace irr;
using namespace zefx;

namespace
{
// ---- Declarations ---------------------------------------------------------------------
struct SDeclToken
{
	std::string Text;
	bool Quoted;
};

bool tokenizeDecl(const std::string& text, std::vector<SDeclToken>* out)
{
	size_t i = 0;
	while (i < text.size())
	{
		if (std::isspace(static_cast<unsigned char>(text[i])))
		{
			++i;
			continue;
		}
		SDeclToken token{"", false};
		while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])))
		{
			if (text[i] == '"')
			{
				const size_t end = text.find('"', i + 1);
				if (end == std::string::npos)
					return false;
				token.Text += text.substr(i + 1, end - i - 1);
				token.Quoted = true;
				i = end + 1;
				continue;
			}
			token.Text += text[i++];
		}
		out->push_back(token);
	}
	return true;
}

bool parseUnsigned(const std::string& s, u32* out)
{
	if (s.empty() || !std::isdigit(static_cast<unsigned char>(s[0])))
		return false;
	char* end = nullptr;
	errno = 0;
	const unsigned long v = std::strtoul(s.c_str(), &end, 10);
	if (*end || errno || v > 0xFFFFFFFFul)
		return false;
	*out = static_cast<u32>(v);
	return true;
}

bool parseSwitch(const std::string& s, bool* out)
{
	const std::string v = lower(s);
	if (v == "on" || v == "true" || v == "1")
		*out = true;
	else if (v == "off" || v == "false" || v == "0")
		*out = false;
	else
		return false;
	return true;
}

bool parseFloatList(const std::string& s, core::array<f32>* out)
{
	size_t start = 0;
	for (;;)
	{
		const size_t comma = s.find(',', start);
		const std::string item = lower(trim(s.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
		if (item == "true" || item == "false")
			out->push_back(item == "true" ? 1.f : 0.f);
		else
		{
			char* end = nullptr;
			const f32 v = std::strtof(item.c_str(), &end);
			if (item.empty() || *end)
				return false;
			out->push_back(v);
		}
		if (comma == std::string::npos)
			return true;
		start = comma + 1;
	}
}

bool parseBlendFactor(const std::string& s, EZE_FX_BLEND_FACTOR* out)
{
	static const char* const names[] = {"zero", "one", "srccolor", "invsrccolor", "srcalpha", "invsrcalpha",
		"destcolor", "invdestcolor", "destalpha", "invdestalpha", "srcalphasat"};
	for (u32 i = 0; i < sizeof(names) / sizeof(names[0]); ++i)
		if (lower(s) == names[i])
		{
			*out = static_cast<EZE_FX_BLEND_FACTOR>(i);
			return true;
		}
	return false;
}

template <typename T>
bool lookUp(const std::string& s, const char* const* names, u32 count, T* out)
{
	for (u32 i = 0; i < count; ++i)
		if (lower(s) == names[i])
		{
			*out = static_cast<T>(i);
			return true;
		}
	return false;
}

class CZeDeclParser
{
public:
	explicit CZeDeclParser(SZeFxDef* def) : Def(def) {}

	bool parse(const SDeclLine& line, std::string* error);
	bool finish(std::string* error);

private:
	bool fail(const std::string& text)
	{
		*Error = format(Line->File, Line->Line, text);
		return false;
	}
	SZeFxPass* pass(const std::string& keyword)
	{
		if (!Pass)
			fail(keyword + " outside a pass");
		return Pass;
	}
	bool technique(const std::vector<SDeclToken>& t);
	bool passLine(const std::vector<SDeclToken>& t);
	bool state(const std::string& keyword, const std::vector<SDeclToken>& t);
	bool parameter(const std::vector<SDeclToken>& t);
	bool sampler(const std::vector<SDeclToken>& t);
	bool addParameter(SZeFxParameter& p, const std::string& name);

	SZeFxDef* Def;
	const SDeclLine* Line = nullptr;
	std::string* Error = nullptr;
	SZeFxPass* Pass = nullptr;
};

bool CZeDeclParser::parse(const SDeclLine& line, std::string* error)
{
	Line = &line;
	Error = error;
	std::vector<SDeclToken> t;
	if (!tokenizeDecl(line.Text, &t))
		return fail("unterminated quoted text");
	if (t.empty())
		return fail("empty declaration");
	const std::string keyword = lower(t[0].Text);
	if (keyword == "technique")
		return technique(t);
	if (keyword == "annotation")
	{
		if (Def->Techniques.empty())
			return fail("annotation outside a technique");
		if (t.size() != 3 || !isIdentifier(t[1].Text))
			return fail("annotation needs a name and one value");
		SZeFxTechnique& tech = Def->Techniques.getLast();
		for (u32 i = 0; i < tech.Annotations.size(); ++i)
			if (tech.Annotations[i].Name == t[1].Text.c_str())
				return fail("annotation '" + t[1].Text + "' given twice");
		tech.Annotations.push_back(SZeFxAnnotation{t[1].Text.c_str(), t[2].Text.c_str()});
		return true;
	}
	if (keyword == "pass")
		return passLine(t);
	if (keyword == "param")
		return parameter(t);
	if (keyword == "sampler")
		return sampler(t);
	if (keyword == "include")
		return true;  // read by the preprocessor
	if (keyword == "define")
	{
		// The value is the rest of the line as written.
		const std::string rest = trim(line.Text.substr(line.Text.find_first_of(" \t") + 1));
		const size_t space = rest.find_first_of(" \t");
		const std::string value = space == std::string::npos ? "" : trim(rest.substr(space));
		Def->Macros.push_back(SZeFxMacroDef{rest.substr(0, space).c_str(), value.c_str()});
		return true;
	}
	static const char* const states[] = {"vertex", "pixel", "material", "blend", "blendop", "zwrite", "ztest", "cull",
		"targets"};
	for (const char* s : states)
		if (keyword == s)
			return state(keyword, t);
	return fail("unknown declaration '" + t[0].Text + "'");
}

bool CZeDeclParser::technique(const std::vector<SDeclToken>& t)
{
	if (t.size() != 2 || !isIdentifier(t[1].Text))
		return fail("technique needs one name");
	for (u32 i = 0; i < Def->Techniques.size(); ++i)
		if (Def->Techniques[i].Name == t[1].Text.c_str())
			return fail("technique '" + t[1].Text + "' declared twice");
	SZeFxTechnique tech;
	tech.Name = t[1].Text.c_str();
	tech.Line = Line->Line;
	Def->Techniques.push_back(tech);
	Pass = nullptr;
	return true;
}

bool CZeDeclParser::passLine(const std::vector<SDeclToken>& t)
{
	if (Def->Techniques.empty())
		return fail("pass outside a technique");
	if (t.size() > 2 || (t.size() == 2 && !isIdentifier(t[1].Text)))
		return fail("pass takes at most one name");
	SZeFxTechnique& tech = Def->Techniques.getLast();
	SZeFxPass p;
	p.Name = t.size() == 2 ? t[1].Text.c_str() : ("p" + std::to_string(tech.Passes.size())).c_str();
	p.Line = Line->Line;
	tech.Passes.push_back(p);
	Pass = &tech.Passes.getLast();
	return true;
}

bool CZeDeclParser::state(const std::string& keyword, const std::vector<SDeclToken>& t)
{
	SZeFxPass* p = pass(keyword);
	if (!p)
		return false;
	const size_t args = t.size() - 1;
	const std::string a = args ? t[1].Text : "";
	if (keyword == "vertex" || keyword == "pixel")
	{
		if (args != 1 || !isIdentifier(a))
			return fail(keyword + " needs one entry point");
		(keyword == "vertex" ? p->VertexEntry : p->PixelEntry) = a.c_str();
		return true;
	}
	if (keyword == "material")
	{
		u32 type = 0;
		if (args == 1 && parseUnsigned(a, &type) && type < video::EMT_FORCE_32BIT)
		{
			p->MaterialType = static_cast<s32>(type);
			return true;
		}
		for (u32 i = 0; args == 1 && video::sBuiltInMaterialTypeNames[i]; ++i)
			if (lower(a) == video::sBuiltInMaterialTypeNames[i])
			{
				p->MaterialType = static_cast<s32>(i);
				return true;
			}
		return fail("unknown material type '" + a + "'");
	}
	if (keyword == "blend")
	{
		p->BlendSet = true;
		p->SeparateAlpha = false;
		const std::string mode = lower(a);
		if (args == 1 && (mode == "none" || mode == "off"))
		{
			p->Blend = false;
			return true;
		}
		p->Blend = true;
		if (args == 1 && mode == "alpha")
			p->Src = EZEFB_SRC_ALPHA, p->Dst = EZEFB_INV_SRC_ALPHA;
		else if (args == 1 && mode == "add")
			p->Src = EZEFB_ONE, p->Dst = EZEFB_ONE;
		else if (args == 1 && mode == "multiply")
			p->Src = EZEFB_DEST_COLOR, p->Dst = EZEFB_ZERO;
		else if (args == 1 && mode == "premultiplied")
			p->Src = EZEFB_ONE, p->Dst = EZEFB_INV_SRC_ALPHA;
		else if ((args == 2 || args == 4) && parseBlendFactor(t[1].Text, &p->Src) && parseBlendFactor(t[2].Text, &p->Dst))
		{
			if (args == 4)
			{
				p->SeparateAlpha = true;
				if (!parseBlendFactor(t[3].Text, &p->SrcAlpha) || !parseBlendFactor(t[4].Text, &p->DstAlpha))
					return fail("unknown blend factor in '" + Line->Text + "'");
			}
		}
		else
			return fail("blend needs none, alpha, add, multiply, premultiplied, or two or four factors");
		return true;
	}
	if (keyword == "blendop")
	{
		static const char* const ops[] = {"add", "subtract", "revsubtract", "min", "max"};
		if (args != 1 || !lookUp(a, ops, 5, &p->BlendOp))
			return fail("blendop needs add, subtract, revsubtract, min or max");
		return true;
	}
	if (keyword == "zwrite")
	{
		if (args != 1 || !parseSwitch(a, &p->ZWrite))
			return fail("zwrite needs on or off");
		return true;
	}
	if (keyword == "ztest")
	{
		// The library's numbering; 0 turns the depth test off.
		static const char* const tests[] = {"off", "lessequal", "equal", "less", "notequal", "greaterequal", "greater",
			"always"};
		if (args != 1 || !lookUp(a, tests, 8, &p->ZTest))
			return fail("ztest needs off, less, lessequal, equal, notequal, greaterequal, greater or always");
		return true;
	}
	if (keyword == "cull")
	{
		static const char* const modes[] = {"none", "back", "front"};
		if (args != 1 || !lookUp(a, modes, 3, &p->Cull))
			return fail("cull needs none, back or front");
		return true;
	}
	u32 n = 0;  // targets
	if (args != 1 || !parseUnsigned(a, &n) || n < 1 || n > 4)
		return fail("targets needs a count from 1 to 4");
	p->Targets = n;
	return true;
}

// "Name" or "Name[N]" into the parameter.
bool splitArrayName(const std::string& text, std::string* name, u32* elements)
{
	const size_t open = text.find('[');
	*name = text.substr(0, open);
	*elements = 1;
	if (open == std::string::npos)
		return isIdentifier(*name);
	if (text.back() != ']' || !parseUnsigned(text.substr(open + 1, text.size() - open - 2), elements) || !*elements)
		return false;
	return isIdentifier(*name);
}

bool CZeDeclParser::addParameter(SZeFxParameter& p, const std::string& name)
{
	for (u32 i = 0; i < Def->Parameters.size(); ++i)
		if (Def->Parameters[i].Name == name.c_str())
			return fail("parameter '" + name + "' declared twice");
	p.Name = name.c_str();
	p.Declared = true;
	p.Line = Line->Line;
	Def->Parameters.push_back(p);
	return true;
}

bool CZeDeclParser::parameter(const std::vector<SDeclToken>& t)
{
	SZeFxParameter p;
	std::string name;
	if (t.size() < 3)
		return fail("param needs a type and a name");
	if (!zeParseFxType(t[1].Text.c_str(), &p))
		return fail("unknown parameter type '" + t[1].Text + "'");
	if (!splitArrayName(t[2].Text, &name, &p.Elements))
		return fail("bad parameter name '" + t[2].Text + "'");
	// Each element takes a register, a matrix element one per row or column.
	const u64 registers = static_cast<u64>(p.Elements) * (p.Type == EZEFPT_MATRIX ? std::max(p.Rows, p.Columns) : 1u);
	if (registers > Def->MaxRegisters)
		return fail("parameter '" + name + "' needs " + std::to_string(registers) + " constant registers, more than " +
			std::to_string(Def->MaxRegisters));
	for (size_t i = 3; i < t.size(); ++i)
	{
		const size_t eq = t[i].Text.find('=');
		const std::string key = lower(t[i].Text.substr(0, eq));
		const std::string value = eq == std::string::npos ? "" : t[i].Text.substr(eq + 1);
		if (key == "semantic" && isIdentifier(value))
			p.Semantic = value.c_str();
		else if (key == "default" && parseFloatList(value, &p.Default))
		{
			if (p.Default.size() > p.getComponentCount())
				return fail("too many default values for '" + name + "'");
		}
		else
			return fail("bad parameter attribute '" + t[i].Text + "'");
	}
	return addParameter(p, name);
}

bool CZeDeclParser::sampler(const std::vector<SDeclToken>& t)
{
	SZeFxParameter p;
	p.Type = EZEFPT_SAMPLER;
	std::string name;
	static const char* const kinds[] = {"", "2d", "cube", "3d"};
	if (t.size() < 3 || !lookUp(t[1].Text, kinds, 4, &p.SamplerKind) || p.SamplerKind == EZESK_NONE)
		return fail("sampler needs a kind (2D, CUBE or 3D) and a name");
	if (!splitArrayName(t[2].Text, &name, &p.Elements) || p.Elements != 1)
		return fail("bad sampler name '" + t[2].Text + "'");
	bool layerSet = false;
	for (size_t i = 3; i < t.size(); ++i)
	{
		const size_t eq = t[i].Text.find('=');
		const std::string key = lower(t[i].Text.substr(0, eq));
		const std::string value = eq == std::string::npos ? "" : t[i].Text.substr(eq + 1);
		static const char* const filters[] = {"point", "linear", "trilinear", "anisotropic"};
		static const char* const modes[] = {"wrap", "clamp", "mirror"};
		u32 layer = 0;
		bool ok = !value.empty();
		if (key == "layer" && lower(value) == "none")
			p.Layer = -1, layerSet = true;
		else if (key == "layer" && parseUnsigned(value, &layer) && layer < 8)
			p.Layer = static_cast<s32>(layer), layerSet = true;
		else if (key == "texture" && ok)
			p.Texture = value.c_str();
		else if (key == "target" && ok)
			p.Target = value.c_str();
		else if (key == "filter" && lookUp(value, filters, 4, &p.Filter))
			;
		else if (key == "address" && lookUp(value, modes, 3, &p.Address))
			;
		else if (key == "srgb" && parseSwitch(value, &p.SRGB))
			;
		else
			return fail("bad sampler attribute '" + t[i].Text + "'");
	}
	// Without a layer the sampler reads the layer of its register (set once
	// the program is linked); -2 marks that.
	if (!layerSet)
		p.Layer = -2;
	return addParameter(p, name);
}

bool CZeDeclParser::finish(std::string* error)
{
	if (Def->Techniques.empty())
	{
		*error = format(Def->File.c_str(), 0, "no technique declared");
		return false;
	}
	for (u32 i = 0; i < Def->Techniques.size(); ++i)
	{
		const SZeFxTechnique& tech = Def->Techniques[i];
		if (tech.Passes.empty())
		{
			*error = format(Def->File.c_str(), tech.Line, "technique '" + std::string(tech.Name.c_str()) + "' has no pass");
			return false;
		}
		for (u32 j = 0; j < tech.Passes.size(); ++j)
			if (tech.Passes[j].VertexEntry.empty() || tech.Passes[j].PixelEntry.empty())
			{
				*error = format(Def->File.c_str(), tech.Passes[j].Line,
					"pass '" + std::string(tech.Passes[j].Name.c_str()) + "' needs a vertex and a pixel entry point");
				return false;
			}
	}
	return true;
}
} // namespace

bool zeParseFxType(const char* name, SZeFxParameter* out)
{
	std::string s = name ? lower(name) : "";
	if (s == "matrix")
		s = "float4x4";
	EZE_FX_PARAM_TYPE base;
	std::string dims;
	if (s.compare(0, 4, "bool") == 0)
		base = EZEFPT_BOOL, dims = s.substr(4);
	else if (s.compare(0, 3, "int") == 0)
		base = EZEFPT_INT, dims = s.substr(3);
	else if (s.compare(0, 5, "float") == 0)
		base = EZEFPT_FLOAT, dims = s.substr(5);
	else if (s.compare(0, 4, "half") == 0)
		base = EZEFPT_FLOAT, dims = s.substr(4);
	else
		return false;
	auto digit = [](char c) { return c >= '1' && c <= '4'; };
	if (dims.empty())
		out->Rows = out->Columns = 1;
	else if (dims.size() == 1 && digit(dims[0]))
		out->Rows = 1, out->Columns = static_cast<u32>(dims[0] - '0');
	else if (dims.size() == 3 && digit(dims[0]) && dims[1] == 'x' && digit(dims[2]) && base == EZEFPT_FLOAT)
	{
		out->Type = EZEFPT_MATRIX;
		out->Rows = static_cast<u32>(dims[0] - '0');
		out->Columns = static_cast<u32>(dims[2] - '0');
		return true;
	}
	else
		return false;
	out->Type = base == EZEFPT_FLOAT ? static_cast<EZE_FX_PARAM_TYPE>(EZEFPT_FLOAT + out->Columns - 1) : base;
	return true;
}

bool zeParseEffectText(const char* file, const char* text, const SZeMacro* macros, SZeFxDef* def,
	core::stringc* error)
{
	const u32 maxRegisters = def->MaxRegisters;
	*def = SZeFxDef();
	def->File = file;
	def->MaxRegisters = maxRegisters;
	std::vector<SDeclLine> lines;
	std::vector<std::string> includes;
	std::string message;
	if (!preprocess(file, text ? text : "", macros, &lines, &includes, &message))
	{
		*error = message.c_str();
		return false;
	}
	for (const std::string& include : includes)
		def->Includes.push_back(include.c_str());
	CZeDeclParser parser(def);
	for (const SDeclLine& line : lines)
		if (!parser.parse(line, &message))
		{
			*error = message.c_str();
			return false;
		}
	if (!parser.finish(&message))
	{
		*error = message.c_str();
		return false;
	}
	return true;
}

bool zeParseEffectFile(const char* file, const SZeMacro* macros, SZeFxDef* def, core::stringc* error)
{
	long size = 0;
	char* data = zeReadFile(file, &size);
	if (!data)
	{
		*error = (std::string(file) + ": cannot read the effect file").c_str();
		return false;
	}
	const bool ok = zeParseEffectText(file, data, macros, def, error);
	delete[] data;
	return ok;
}
