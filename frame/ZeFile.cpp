#include "frame/ZeFile.h"
#include "frame/ZeFileBackend.h"
#include "frame/ZeLog.h"

#include <irrlicht.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
const int PATH_BUFFER = 2048;

struct SFileLayer
{
	std::unique_ptr<IZeFileBackend> plain{ zeCreatePlainBackend() };
	std::unique_ptr<IZeFileBackend> irrlicht;
	std::unique_ptr<IZeFileBackend> archive;
	irr::io::IFileSystem* fileSystem = nullptr;  // the device's, while one exists

	// The mounted archive as the library's file system sees it.
	irr::io::IFileArchive* irrArchive = nullptr;

	std::string currentDir;
	std::string dataPrefix;
};

SFileLayer& layer()
{
	static SFileLayer instance;
	return instance;
}

IZeFileBackend* current()
{
	SFileLayer& l = layer();
	if (l.archive)
		return l.archive.get();
	if (l.irrlicht)
		return l.irrlicht.get();
	return l.plain.get();
}

bool isAbsolute(const char* name)
{
	return name[0] == '/' || name[0] == '\\';
}

// The name as the back ends take it: joined with the current directory, normalised.
std::string layerPath(const char* name)
{
	const std::string full = isAbsolute(name) ? std::string(name) : layer().currentDir + name;
	return zeNormalisePath(full.c_str());
}

void mountIntoLibrary()
{
	SFileLayer& l = layer();
	if (!l.fileSystem || l.irrArchive || !l.archive)
		return;
	// The library's file system takes the archive's reference without a grab
	// of its own and drops it when the archive is removed.
	irr::io::IFileArchive* archive = l.archive->createLibraryArchive(l.fileSystem);
	if (archive && l.fileSystem->addFileArchive(archive))
		l.irrArchive = archive;
	else
	{
		zeLog(EZELL_WARN, "ZeFile: the 3D library could not mount the packed data");
		if (archive)
			archive->drop();
	}
}

void unmountFromLibrary()
{
	SFileLayer& l = layer();
	if (l.fileSystem && l.irrArchive)
		l.fileSystem->removeFileArchive(l.irrArchive);
	l.irrArchive = nullptr;
}

int mount(IZeFileBackend* backend)
{
	if (!backend)
		return -1;
	zeUnmountArchive();
	SFileLayer& l = layer();
	l.archive.reset(backend);
	mountIntoLibrary();
	return 0;
}

char* pathBuffer()
{
	// The path helpers return one of a few rotating 2 KB buffers, so that two
	// results can be used in one expression; each call overwrites the oldest.
	static char buffers[4][PATH_BUFFER];
	static int next = 0;
	next = (next + 1) % 4;
	return buffers[next];
}

const char* toBuffer(const std::string& text)
{
	char* buffer = pathBuffer();
	snprintf(buffer, PATH_BUFFER, "%s", text.c_str());
	return buffer;
}

bool isSeparator(char c)
{
	return c == '/' || c == '\\' || c == ':';
}
} // namespace

// ---- Names -------------------------------------------------------------------
std::string zeNormalisePath(const char* name)
{
	std::string in(name ? name : "");
	for (char& c : in)
		if (c == '\\')
			c = '/';
	const bool absolute = !in.empty() && in[0] == '/';
	std::vector<std::string> parts;
	size_t start = 0;
	while (start <= in.size())
	{
		size_t end = in.find('/', start);
		if (end == std::string::npos)
			end = in.size();
		const std::string part = in.substr(start, end - start);
		if (part == "..")
		{
			if (!parts.empty() && parts.back() != "..")
				parts.pop_back();
			else if (!absolute)
				parts.push_back(part);
		}
		else if (!part.empty() && part != ".")
			parts.push_back(part);
		start = end + 1;
	}
	std::string out = absolute ? "/" : "";
	for (size_t i = 0; i < parts.size(); ++i)
	{
		if (i)
			out += '/';
		out += parts[i];
	}
	return out;
}

// ---- Streams -----------------------------------------------------------------
SZeFile* zeFileOpen(const char* name, const char* mode)
{
	if (!name || !*name || !mode)
		return nullptr;
	return current()->open(layerPath(name), mode);
}

int zeFileSeek(SZeFile* file, long offset, int origin)
{
	return file ? file->ops->seek(file, offset, origin) : -1;
}

long zeFileTell(SZeFile* file)
{
	return file ? file->ops->tell(file) : -1;
}

size_t zeFileRead(void* buffer, size_t size, size_t count, SZeFile* file)
{
	return file && buffer ? file->ops->read(buffer, size, count, file) : 0;
}

size_t zeFileWrite(const void* buffer, size_t size, size_t count, SZeFile* file)
{
	return file && buffer ? file->ops->write(buffer, size, count, file) : 0;
}

int zeFileGetc(SZeFile* file)
{
	return file ? file->ops->getc(file) : EOF;
}

char* zeFileGets(char* buffer, int size, SZeFile* file)
{
	return file ? file->ops->gets(buffer, size, file) : nullptr;
}

void zeFileClose(SZeFile* file)
{
	if (!file)
		return;
	file->ops->close(file);
	delete file;
}

int zeFileExist(const char* name)
{
	if (!name || !*name)
		return 0;
	return current()->exists(layerPath(name)) ? 1 : 0;
}

bool zeIsOpenableOnDisk(const char* name)
{
	struct stat st;
	return !name || stat(name, &st) != 0 || S_ISREG(st.st_mode);
}

bool IZeFileBackend::exists(const std::string& name)
{
	SZeFile* file = open(name, "rb");
	if (!file)
		return false;
	zeFileClose(file);
	return true;
}

char* zeReadFile(const char* name, long* size)
{
	if (size)
		*size = 0;
	SZeFile* file = zeFileOpen(name, "rb");
	if (!file)
		return nullptr;
	char* data = nullptr;
	long length = -1;
	if (zeFileSeek(file, 0, 2) == 0)
		length = zeFileTell(file);
	if (length >= 0 && zeFileSeek(file, 0, 0) == 0)
	{
		data = new (std::nothrow) char[static_cast<size_t>(length) + 1];
		if (data && zeFileRead(data, 1, static_cast<size_t>(length), file) != static_cast<size_t>(length))
		{
			delete[] data;
			data = nullptr;
		}
	}
	zeFileClose(file);
	if (!data)
		return nullptr;
	data[length] = 0;
	if (size)
		*size = length;
	return data;
}

int zeWriteWholeFile(const char* name, const void* data, size_t size, const char* mode)
{
	SZeFile* file = zeOpenPlainFile(zeNormalisePath(name), mode);
	if (!file)
		return -1;
	const size_t written = size ? file->ops->write(data, size, 1, file) : 1;
	file->ops->close(file);
	delete file;
	return written == 1 ? 0 : -1;
}

// ---- Back ends -----------------------------------------------------------------
void zeSetupFilesystem(irr::io::IFileSystem* fileSystem)
{
	SFileLayer& l = layer();
	if (l.fileSystem == fileSystem)
		return;
	unmountFromLibrary();
	l.irrlicht.reset();
	l.fileSystem = fileSystem;
	if (fileSystem)
	{
		l.irrlicht.reset(zeCreateIrrlichtBackend(fileSystem));
		mountIntoLibrary();
	}
}

EZE_FILE_BACKEND zeGetFileBackend()
{
	SFileLayer& l = layer();
	if (l.archive)
		return EZEFB_ARCHIVE;
	return l.irrlicht ? EZEFB_IRRLICHT : EZEFB_PLAIN;
}

int zeMountArchiveMemory(const void* data, size_t size)
{
	if (!data || size == 0)
		return -1;
	return mount(zeCreateArchiveBackend(data, size, nullptr));
}

int zeMountArchiveFile(const char* path)
{
	if (!path)
		return -1;
	const std::string resolved = zeResolvePlainPath(zeNormalisePath(path));
	if (resolved.empty())
	{
		zeLog(EZELL_ERROR, "ZeFile: cannot open archive %s", path);
		return -1;
	}
	return mount(zeCreateArchiveBackend(nullptr, 0, resolved.c_str()));
}

void zeUnmountArchive()
{
	SFileLayer& l = layer();
	unmountFromLibrary();
	l.archive.reset();
}

bool zeIsPackedFilesystem()
{
	return layer().archive != nullptr;
}

// ---- Data-file search ----------------------------------------------------------
void zeSetDataPrefix(const char* prefix)
{
	layer().dataPrefix = prefix ? prefix : "";
}

const char* zeGetDataPrefix()
{
	return layer().dataPrefix.c_str();
}

const char* zeFindDataFile(const char* name)
{
	static char found[PATH_BUFFER];
	static const char* const dirs[] = { "shaders", "shadersPP", "shadersPP2", "shadersSURF",
		"shadersSURF2", "shadersHV", "textures" };
	if (!name)
		return nullptr;
	std::string candidate = name;
	bool ok = zeFileExist(name) != 0;
	for (size_t i = 0; !ok && i < sizeof(dirs) / sizeof(dirs[0]); ++i)
	{
		candidate = std::string(dirs[i]) + "/" + name;
		ok = zeFileExist(candidate.c_str()) != 0;
	}
	if (!ok && !layer().dataPrefix.empty())
	{
		// The data root, then its data directories.
		std::string prefix = layer().dataPrefix;
		if (prefix.back() != '/' && prefix.back() != '\\')
			prefix += '/';
		candidate = prefix + name;
		ok = zeFileExist(candidate.c_str()) != 0;
		for (size_t i = 0; !ok && i < sizeof(dirs) / sizeof(dirs[0]); ++i)
		{
			candidate = prefix + dirs[i] + "/" + name;
			ok = zeFileExist(candidate.c_str()) != 0;
		}
	}
	snprintf(found, sizeof(found), "%s", ok ? candidate.c_str() : name);
	return found;
}

// ---- Current directory and paths -----------------------------------------------
void zeFileSetCurrentDir(const char* dir)
{
	std::string d = dir ? dir : "";
	for (char& c : d)
		if (c == '\\')
			c = '/';
	if (!d.empty() && d.back() != '/')
		d += '/';
	layer().currentDir = d;
}

const char* zeFileGetCurrentDir()
{
	return layer().currentDir.c_str();
}

void zeFileJoinCurrentDir(const char* name)
{
	if (!name || !*name)
		return;
	zeFileSetCurrentDir((layer().currentDir + name).c_str());
}

const char* zeFileGetFullPath(const char* name)
{
	if (!name)
		name = "";
	return toBuffer(isAbsolute(name) ? std::string(name) : layer().currentDir + name);
}

std::string zeDirPart(const char* path)
{
	if (!path)
		path = "";
	const char* rest = zeSkipPath(path);
	return std::string(path, static_cast<size_t>(rest - path));
}

std::string zeNamePart(const char* path, int keepExtension)
{
	std::string name = zeSkipPath(path ? path : "");
	if (!keepExtension)
	{
		const size_t dot = name.rfind('.');
		if (dot != std::string::npos)
			name.erase(dot);
	}
	return name;
}

const char* zeFileGetDirPart(const char* path)
{
	return toBuffer(zeDirPart(path));
}

const char* zeFileGetNamePart(const char* path, int keepExtension)
{
	return toBuffer(zeNamePart(path, keepExtension));
}

std::string zeFullPath(const char* path)
{
	std::string full = path ? path : "";
	for (char& c : full)
		if (c == '\\')
			c = '/';
	if (full.empty() || full[0] != '/')
		full = std::string(zeGetCwd()) + "/" + full;
	return zeNormalisePath(full.c_str());
}

const char* zeGetFileDirectory(const char* path)
{
	const std::string full = zeFullPath(path);
	const size_t slash = full.rfind('/');
	return toBuffer(full.substr(0, slash + 1));
}

int zeSetCurrentDirectory(const char* dir)
{
	return dir && chdir(zeNormalisePath(dir).c_str()) == 0 ? 0 : -1;
}

const char* zeGetCwd()
{
	static char cwd[PATH_MAX];
	if (!getcwd(cwd, sizeof(cwd)))
		cwd[0] = 0;
	return cwd;
}

const char* zeSkipPath(const char* path)
{
	if (!path)
		return nullptr;
	const char* rest = path;
	for (const char* p = path; *p; ++p)
		if (isSeparator(*p))
			rest = p + 1;
	return rest;
}

int zeStricmp(const char* a, const char* b)
{
	for (;; ++a, ++b)
	{
		const int ca = tolower(static_cast<unsigned char>(*a));
		const int cb = tolower(static_cast<unsigned char>(*b));
		if (ca != cb || ca == 0)
			return ca - cb;
	}
}

bool zeEndsWithNoCase(const char* name, const char* suffix)
{
	const size_t n = strlen(name);
	const size_t s = strlen(suffix);
	return n >= s && zeStricmp(name + n - s, suffix) == 0;
}
