// The shader cache: translated stages in plain files of a folder on disk.
//
// File layout (integers little-endian u32; a string is its u32 length and bytes):
//   "ZGSC", format version, payload size, SHA-1 of the payload (20 bytes), payload:
//   stage, entry point, macro text,
//   source count, per source: name, SHA-1 of its content (20 bytes),
//   register count,
//   constant count, per constant: name, GLSL name, type, register index,
//     register count, rows, columns, elements, row_major (0/1),
//   varying count, per varying: semantic, qualifiers, GLSL type,
//   GLSL text.
// An entry is used only when all of it checks out and every source still
// hashes the same through the file layer; anything else is rebuilt. Sources
// inside the folder that holds the cache are named relative to it (with the
// mark "<data>/"), so a cache moved with its data, or packed with it, still
// serves; entries are read through the file layer.
#include "core/ZeShaderCache.h"

#include "frame/ZeFile.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

namespace ze
{
namespace
{
const char MAGIC[4] = { 'Z', 'G', 'S', 'C' };
const irr::u32 FORMAT_VERSION = 2;  // 2: varying arrays pass element by element
const size_t HEADER_SIZE = 4 + 4 + 4 + 20;

class CWriter
{
public:
	void u32(irr::u32 v)
	{
		for (int i = 0; i < 4; ++i)
			Bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
	}
	void bytes(const void* data, size_t size)
	{
		Bytes.append(static_cast<const char*>(data), size);
	}
	void str(const std::string& s)
	{
		u32(static_cast<irr::u32>(s.size()));
		Bytes += s;
	}
	std::string Bytes;
};

class CReader
{
public:
	CReader(const char* data, size_t size) : Data(data), Size(size) {}
	irr::u32 u32()
	{
		if (!take(4))
			return 0;
		irr::u32 v = 0;
		for (int i = 0; i < 4; ++i)
			v |= static_cast<irr::u32>(static_cast<unsigned char>(Data[At - 4 + i])) << (8 * i);
		return v;
	}
	void bytes(void* out, size_t size)
	{
		if (take(size))
			memcpy(out, Data + At - size, size);
	}
	std::string str()
	{
		const irr::u32 size = u32();
		return take(size) ? std::string(Data + At - size, size) : std::string();
	}
	// A count of records of at least `minimum` bytes each that can still be read.
	irr::u32 count(size_t minimum)
	{
		const irr::u32 n = u32();
		if (Ok && n > (Size - At) / minimum)
			Ok = false;
		return Ok ? n : 0;
	}
	bool done() const { return Ok && At == Size; }
	bool Ok = true;

private:
	bool take(size_t n)
	{
		if (!Ok || n > Size - At)
			return Ok = false;
		At += n;
		return true;
	}
	const char* Data;
	size_t Size;
	size_t At = 0;
};

std::string lastFolder(const std::string& file)
{
	std::string dir = zeFileGetDirPart(file.c_str());
	if (dir.empty())
		dir = zeFileGetCurrentDir();
	while (!dir.empty() && (dir.back() == '/' || dir.back() == '\\'))
		dir.pop_back();
	return zeFileGetNamePart(dir.c_str(), 1);
}

const std::string DATA_MARK = "<data>/";

bool readThroughFileLayer(const std::string& name, std::string& data)
{
	long size = 0;
	char* bytes = zeReadFile(name.c_str(), &size);
	if (!bytes)
		return false;
	data.assign(bytes, static_cast<size_t>(size));
	delete[] bytes;
	return true;
}

// Written beside, then renamed over, so that a reader never sees half a file.
bool writePlainFile(const std::string& name, const std::string& data)
{
	const std::string temporary = name + ".tmp";
	FILE* f = fopen(temporary.c_str(), "wb");
	if (!f)
		return false;
	bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
	ok = fclose(f) == 0 && ok;
	if (ok && rename(temporary.c_str(), name.c_str()) != 0)
		ok = false;
	if (!ok)
		remove(temporary.c_str());
	return ok;
}
} // namespace

std::string base32(const unsigned char* data, size_t size)
{
	static const char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
	std::string out;
	irr::u32 buffer = 0;
	int bits = 0;
	for (size_t i = 0; i < size; ++i)
	{
		buffer = (buffer << 8) | data[i];
		bits += 8;
		while (bits >= 5)
		{
			out += ALPHABET[(buffer >> (bits - 5)) & 31];
			bits -= 5;
		}
	}
	if (bits > 0)
		out += ALPHABET[(buffer << (5 - bits)) & 31];
	return out;
}

std::string cacheFileName(const std::string& file, const char* entry, EZE_SHADER_STAGE stage,
	const std::string& macroText)
{
	unsigned char key[20];
	sha1(macroText.data(), macroText.size(), key);
	return lastFolder(file) + "!" + zeFileGetNamePart(file.c_str(), 0) + "!" + (entry ? entry : "") + "!"
		+ base32(key, sizeof(key)) + (stage == EZESS_VERTEX ? ".vso" : ".pso");
}

void CShaderCache::setFolder(const char* folder, bool readOnly)
{
	Folder = folder ? folder : "";
	while (Folder.size() > 1 && (Folder.back() == '/' || Folder.back() == '\\'))
		Folder.pop_back();
	Root = zeFileGetDirPart(Folder.c_str());
	ReadOnly = readOnly;
	if (!Folder.empty() && !ReadOnly)
	{
		std::error_code ignored;
		std::filesystem::create_directories(Folder, ignored);
	}
}

std::string CShaderCache::storedName(const std::string& source) const
{
	return source.compare(0, Root.size(), Root) == 0 ? DATA_MARK + source.substr(Root.size()) : source;
}

std::string CShaderCache::sourceName(const std::string& stored) const
{
	return stored.compare(0, DATA_MARK.size(), DATA_MARK) == 0 ? Root + stored.substr(DATA_MARK.size()) : stored;
}

bool CShaderCache::read(const std::string& file, const char* entry, EZE_SHADER_STAGE stage,
	const std::string& macroText, SStageCode& out, std::string& why) const
{
	std::string data;
	if (!readThroughFileLayer(path(cacheFileName(file, entry, stage, macroText)), data))
	{
		why = "missing";
		return false;
	}
	unsigned char hash[20];
	CReader header(data.data(), std::min(data.size(), HEADER_SIZE));
	char magic[4] = {};
	header.bytes(magic, 4);
	const irr::u32 version = header.u32();
	const irr::u32 size = header.u32();
	header.bytes(hash, 20);
	if (!header.Ok || memcmp(magic, MAGIC, 4) != 0 || version != FORMAT_VERSION)
	{
		why = "not a cache file of this version";
		return false;
	}
	unsigned char actual[20];
	sha1(data.data() + HEADER_SIZE, data.size() - HEADER_SIZE, actual);
	if (size != data.size() - HEADER_SIZE || memcmp(hash, actual, 20) != 0)
	{
		why = "corrupt";
		return false;
	}
	CReader r(data.data() + HEADER_SIZE, data.size() - HEADER_SIZE);
	SStageCode code;
	code.Stage = static_cast<EZE_SHADER_STAGE>(r.u32());
	code.Entry = r.str();
	const std::string macros = r.str();
	for (irr::u32 n = r.count(24); n > 0; --n)
	{
		SSourceFile source;
		source.Name = sourceName(r.str());
		r.bytes(source.Hash, 20);
		code.Sources.push_back(source);
	}
	code.RegisterCount = r.u32();
	for (irr::u32 n = r.count(36); n > 0; --n)
	{
		SStageConstant c;
		c.Name = r.str();
		c.GlslName = r.str();
		const irr::u32 type = r.u32();
		c.Type = type <= EZECT_SAMPLER_3D ? static_cast<EZE_CONSTANT_TYPE>(type) : EZECT_FLOAT;
		r.Ok = r.Ok && type <= EZECT_SAMPLER_3D;
		c.RegisterIndex = r.u32();
		c.RegisterCount = r.u32();
		c.Rows = r.u32();
		c.Columns = r.u32();
		c.Elements = r.u32();
		c.RowMajor = r.u32() != 0;
		code.Constants.push_back(c);
	}
	for (irr::u32 n = r.count(12); n > 0; --n)
	{
		SStageVarying v;
		v.Semantic = r.str();
		v.Qualifiers = r.str();
		v.Type = r.str();
		code.Varyings.push_back(v);
	}
	code.Glsl = r.str();
	if (!r.done())
	{
		why = "corrupt";
		return false;
	}
	if (code.Stage != stage || code.Entry != (entry ? entry : "") || macros != macroText || code.Sources.empty()
		|| code.Sources[0].Name != file)
	{
		why = "made for another shader";
		return false;
	}
	for (const SSourceFile& source : code.Sources)
	{
		if (!hashFile(source.Name.c_str(), actual) || memcmp(actual, source.Hash, 20) != 0)
		{
			why = "stale: " + source.Name + " changed";
			return false;
		}
	}
	out = std::move(code);
	return true;
}

bool CShaderCache::write(const SStageCode& code, const std::string& macroText) const
{
	if (!isOn() || ReadOnly || code.Sources.empty())
		return false;
	CWriter w;
	w.u32(code.Stage);
	w.str(code.Entry);
	w.str(macroText);
	w.u32(static_cast<irr::u32>(code.Sources.size()));
	for (const SSourceFile& source : code.Sources)
	{
		w.str(storedName(source.Name));
		w.bytes(source.Hash, 20);
	}
	w.u32(code.RegisterCount);
	w.u32(static_cast<irr::u32>(code.Constants.size()));
	for (const SStageConstant& c : code.Constants)
	{
		w.str(c.Name);
		w.str(c.GlslName);
		for (irr::u32 v : { static_cast<irr::u32>(c.Type), c.RegisterIndex, c.RegisterCount, c.Rows, c.Columns,
				 c.Elements, static_cast<irr::u32>(c.RowMajor) })
			w.u32(v);
	}
	w.u32(static_cast<irr::u32>(code.Varyings.size()));
	for (const SStageVarying& v : code.Varyings)
	{
		w.str(v.Semantic);
		w.str(v.Qualifiers);
		w.str(v.Type);
	}
	w.str(code.Glsl);

	CWriter file;
	file.bytes(MAGIC, 4);
	file.u32(FORMAT_VERSION);
	file.u32(static_cast<irr::u32>(w.Bytes.size()));
	unsigned char hash[20];
	sha1(w.Bytes.data(), w.Bytes.size(), hash);
	file.bytes(hash, 20);
	file.Bytes += w.Bytes;
	const std::string name = path(cacheFileName(code.Sources[0].Name, code.Entry.c_str(), code.Stage, macroText));
	return writePlainFile(name, file.Bytes) && writePlainFile(name + ".inf", macroText);
}
} // namespace ze
