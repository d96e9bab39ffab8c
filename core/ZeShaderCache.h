// Internal to the GPU-programming service: the on-disk shader cache, one
// file per translated stage.
#pragma once

#include "core/ZeHlslTranslator.h"

#include <string>

namespace ze
{
// RFC 4648 base32 (A-Z2-7), no padding.
std::string base32(const unsigned char* data, size_t size);

// "<last folder of the file>!<file name without extension>!<entry>!<key>.vso"
// (".pso" for pixel shaders); key: base32 of the SHA-1 of macroText().
std::string cacheFileName(const std::string& file, const char* entry, EZE_SHADER_STAGE stage,
	const std::string& macroText);

class CShaderCache
{
public:
	// "" turns the cache off; a writable folder is created when missing.
	void setFolder(const char* folder, bool readOnly);
	bool isOn() const { return !Folder.empty(); }
	bool isReadOnly() const { return ReadOnly; }
	std::string path(const std::string& name) const { return Folder + "/" + name; }

	// Reads a stage of `file` (resolved name); false when the entry is missing,
	// corrupt, of another format, for other sources or stale (why says which).
	bool read(const std::string& file, const char* entry, EZE_SHADER_STAGE stage, const std::string& macroText,
		SStageCode& out, std::string& why) const;
	// Writes the entry and its ".inf" side file (the macro text); false on failure.
	bool write(const SStageCode& code, const std::string& macroText) const;

private:
	// A source's name as an entry stores it, and back.
	std::string storedName(const std::string& source) const;
	std::string sourceName(const std::string& stored) const;

	std::string Folder;
	std::string Root;  // the folder that holds the cache, with its separator
	bool ReadOnly = false;
};
} // namespace ze
