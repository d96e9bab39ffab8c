// Internal to the file layer: the back-end interface and stream helpers.
#pragma once

#include "frame/ZeFile.h"

#include <string>
#include <vector>

namespace irr { namespace io { class IFileArchive; class IFileSystem; } }

// One source of files. `open` receives a normalised name ('/' separators,
// joined with the file layer's current directory).
class IZeFileBackend
{
public:
	virtual ~IZeFileBackend() = default;
	// A new handle or null.
	virtual SZeFile* open(const std::string& name, const char* mode) = 0;
	// Whether the name opens for reading, learnt without opening it where the
	// back end can; the default opens and closes it.
	virtual bool exists(const std::string& name);
	// An archive of the 3D library that serves this back end's files to its
	// loaders (new reference), or null when the back end has none to offer.
	virtual irr::io::IFileArchive* createLibraryArchive(irr::io::IFileSystem* fileSystem) { return nullptr; }
};

// A stream over bytes held in memory (archive entries).
SZeFile* zeCreateMemoryFile(std::vector<char>&& data);

// Plain files: finds a path whose components differ in case from the request,
// exact match first. Returns the path found, or "" when none exists.
std::string zeResolvePlainPath(const std::string& path);
SZeFile* zeOpenPlainFile(const std::string& name, const char* mode);

// Back ends. The archive back end reads a zip from memory (which must outlive
// it) or from a file; null when the archive does not open.
IZeFileBackend* zeCreatePlainBackend();
IZeFileBackend* zeCreateIrrlichtBackend(irr::io::IFileSystem* fileSystem);
IZeFileBackend* zeCreateArchiveBackend(const void* data, size_t size, const char* path);

// '\\' to '/', "./" and "a/../" folded; keeps a leading '/'.
std::string zeNormalisePath(const char* name);
// The absolute, normalised form of a path ('\\' taken as '/'; a relative path
// is taken from the process's current directory).
std::string zeFullPath(const char* path);
// zeFileGetDirPart and zeFileGetNamePart at any length.
std::string zeDirPart(const char* path);
std::string zeNamePart(const char* path, int keepExtension);
