// The file layer: every data file the engine reads goes through it.
//
// Index:
//   - Handles and stream operations
//   - Back ends and packed data
//   - Data-file search
//   - Current directory and path helpers
#pragma once

#include <cstddef>

namespace irr { namespace io { class IFileSystem; } }

// ---- Handles and stream operations ------------------------------------------
struct SZeFileOps;

// A file-layer handle: the back end's implementation handle and its operations.
struct SZeFile
{
	void* handle;
	const SZeFileOps* ops;
};

struct SZeFileOps
{
	int (*seek)(SZeFile* file, long offset, int origin);  // 0 on success
	long (*tell)(SZeFile* file);
	size_t (*read)(void* buffer, size_t size, size_t count, SZeFile* file);
	size_t (*write)(const void* buffer, size_t size, size_t count, SZeFile* file);  // 0 when read-only
	int (*getc)(SZeFile* file);                           // EOF (-1) at the end
	char* (*gets)(char* buffer, int size, SZeFile* file); // null at the end
	void (*close)(SZeFile* file);
};

// Opens through the current back end ("r", "rb"; "w", "wb" and "a" write plain
// files only). Returns a new handle that zeFileClose frees, or null.
SZeFile* zeFileOpen(const char* name, const char* mode);
// origin 0 start, 1 current, 2 end; 0 on success, non-zero on failure.
int zeFileSeek(SZeFile* file, long offset, int origin);
long zeFileTell(SZeFile* file);
// The number of whole items read.
size_t zeFileRead(void* buffer, size_t size, size_t count, SZeFile* file);
size_t zeFileWrite(const void* buffer, size_t size, size_t count, SZeFile* file);
int zeFileGetc(SZeFile* file);
char* zeFileGets(char* buffer, int size, SZeFile* file);
// Closes and frees the handle; null is allowed.
void zeFileClose(SZeFile* file);
// 1 when the name opens for reading through the file layer, else 0. Only
// regular files (and archive members) open for reading; existence is learnt
// from the directory, so a pipe or a device is never opened to find out.
int zeFileExist(const char* name);
// False when the name is on disk and is not a regular file (a pipe, a device,
// a folder): a reader opening it could wait for a writer forever or never
// reach its end. Names not on disk (archive members, missing files) pass.
bool zeIsOpenableOnDisk(const char* name);

// Reads a whole file into a new buffer (plus one zero byte, not counted) that
// the caller frees with delete[]; null on failure.
char* zeReadFile(const char* name, long* size);
// Writes size bytes to a plain file with the given mode ("wb"); 0 or -1.
int zeWriteWholeFile(const char* name, const void* data, size_t size, const char* mode);

// ---- Back ends and packed data ----------------------------------------------
enum EZE_FILE_BACKEND
{
	EZEFB_PLAIN = 0,     // POSIX files
	EZEFB_IRRLICHT = 1,  // the 3D library's file system
	EZEFB_ARCHIVE = 2    // a mounted zip archive
};

// Re-applies the file layer over the 3D library's file system of a new device:
// held archive mounts are applied to it, and without an archive the back end
// becomes the library's file system. Null (device gone) returns to plain files
// or keeps the archive.
void zeSetupFilesystem(irr::io::IFileSystem* fileSystem);
EZE_FILE_BACKEND zeGetFileBackend();

// Mount a zip archive as the data source; the memory must outlive the mount.
// The file layer reads it at once; the 3D library's file system gets it when a
// device exists. 0, or -1 when the archive cannot be opened.
int zeMountArchiveMemory(const void* data, size_t size);
int zeMountArchiveFile(const char* path);
// Unmounts the archive (also from the library's file system).
void zeUnmountArchive();
// True while the data comes from a mounted archive.
bool zeIsPackedFilesystem();

// ---- Data-file search -------------------------------------------------------
// The data-prefix folder text ("" when none); the set-up record provides it.
void zeSetDataPrefix(const char* prefix);
const char* zeGetDataPrefix();
// The first name that opens: the name, the name in each data directory
// ("shaders", "shadersPP", "shadersPP2", "shadersSURF", "shadersSURF2",
// "shadersHV", "textures"), the name under the data prefix, then in each data
// directory under it; else the name unchanged. Static buffer.
const char* zeFindDataFile(const char* name);

// ---- Current directory and path helpers -------------------------------------
// The file layer's current directory, against which relative names open
// ("" is the process's current directory, or the archive's root).
void zeFileSetCurrentDir(const char* dir);
const char* zeFileGetCurrentDir();
// Appends a folder to the file layer's current directory.
void zeFileJoinCurrentDir(const char* name);
// The file layer's current directory joined with the name (static 2 KB buffer).
const char* zeFileGetFullPath(const char* name);
// Up to and including the last separator, "" when none (static 2 KB buffer).
const char* zeFileGetDirPart(const char* path);
// The part after the last '\\', '/' or ':', without its extension when
// keepExtension is 0 (static 2 KB buffer).
const char* zeFileGetNamePart(const char* path, int keepExtension);
// The directory of the path's absolute form, with its trailing '/' (static).
const char* zeGetFileDirectory(const char* path);
// The process's current directory; 0 or -1.
int zeSetCurrentDirectory(const char* dir);
// The process's current directory (static buffer).
const char* zeGetCwd();
// Pointer just past the last '\\', '/' or ':' (the whole path when none).
const char* zeSkipPath(const char* path);
// Case-insensitive comparison; 0 when equal.
int zeStricmp(const char* a, const char* b);
// True when name ends with suffix, without regard to case.
bool zeEndsWithNoCase(const char* name, const char* suffix);
