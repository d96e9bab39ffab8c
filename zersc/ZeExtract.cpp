// Scene packs: telling them and extracting them into "ExeExtract".
#include "zersc/ZePack.h"
#include "zersc/ZeResource.h"

#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "frame/ZeWindow.h"

#include <zip.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{
const char* const EXTRACT_ROOT = "ExeExtract";
const char* const IMAGES = "Images";
const char* const OBJECTS = "Objects";
const char* const SCENES = "Scenes";
// Deflate makes at most about 1032 bytes of one: more than that from an
// archive is a lie.
const unsigned long long DEFLATE_MAX_RATIO = 1032;

struct SArchiveCloser
{
	void operator()(zip_t* archive) const { zip_discard(archive); }
};
typedef std::unique_ptr<zip_t, SArchiveCloser> ArchivePtr;

struct SFd
{
	int fd = -1;
	explicit SFd(int f) : fd(f) {}
	~SFd()
	{
		if (fd >= 0)
			close(fd);
	}
	SFd(const SFd&) = delete;
	SFd& operator=(const SFd&) = delete;
};

ArchivePtr openArchive(const void* data, size_t size)
{
	zip_error_t error;
	zip_error_init(&error);
	zip_source_t* source = data && size ? zip_source_buffer_create(data, size, 0, &error) : nullptr;
	zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
	if (source && !archive)
		zip_source_free(source);
	zip_error_fini(&error);
	return ArchivePtr(archive);
}

bool isDirectoryEntry(const std::string& name)
{
	return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

// The entry's name with '\\' taken as '/'.
std::string entryName(const char* name)
{
	std::string out = name ? name : "";
	for (char& c : out)
		if (c == '\\')
			c = '/';
	return out;
}

// A name that a file in the output folder can have.
bool isSafeFileName(const std::string& name)
{
	if (name.empty() || name == "." || name == "..")
		return false;
	for (unsigned char c : name)
		if (c < 0x20 || c == 0x7f || c == '/')
			return false;
	return true;
}

// The sub-folder of an entry (IMAGES, OBJECTS, SCENES) or null to skip it.
const char* folderFor(const std::string& name)
{
	const size_t dot = name.rfind('.');
	if (dot == std::string::npos)
		return nullptr;
	const char* extension = name.c_str() + dot;
	if (name.find('/') == std::string::npos)
		return zeStricmp(extension, ".x") && zeStricmp(extension, ".zscn") && zeStricmp(extension, ".zelv") ? IMAGES
																											 : nullptr;
	if (name.find("scene_backup/") == std::string::npos)
		return nullptr;
	if (!zeStricmp(extension, ".lwo"))
		return OBJECTS;
	if (!zeStricmp(extension, ".lws"))
		return SCENES;
	return nullptr;
}

// Creates (or keeps) the folder `name` in `parent` and opens it, refusing a
// link; -1 on failure.
int openFolder(int parent, const char* name)
{
	if (mkdirat(parent, name, 0755) != 0 && errno != EEXIST)
		return -1;
	return openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// A new file with a short unique name in the folder (so that a file name up
// to the longest allowed still has room beside it), never through a link;
// its name in *name, -1 on failure.
int createTemporary(int folder, std::string* name)
{
	static unsigned counter = 0;
	for (int attempt = 0; attempt < 64; ++attempt)
	{
		timespec now;
		clock_gettime(CLOCK_REALTIME, &now);
		const unsigned mix = static_cast<unsigned>(getpid()) * 2654435761u ^ static_cast<unsigned>(now.tv_nsec) ^
							 (++counter * 40503u);
		char buffer[16];
		snprintf(buffer, sizeof(buffer), ".zx%08x", mix);
		const int fd = openat(folder, buffer, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
		if (fd >= 0)
		{
			*name = buffer;
			return fd;
		}
		if (errno != EEXIST)
			return -1;
	}
	return -1;
}

enum EStreamResult
{
	ESR_OK,
	ESR_READ_FAILED,
	ESR_WRITE_FAILED,
	ESR_TOO_LARGE
};

// Streams an entry into the file, counting its bytes against the size the
// entry claims and against what is left of the archive's budget.
EStreamResult streamEntry(zip_t* archive, zip_uint64_t index, zip_uint64_t claimed, int fd,
	unsigned long long* budget, unsigned long long maxEntry)
{
	zip_file_t* file = zip_fopen_index(archive, index, 0);
	if (!file)
		return ESR_READ_FAILED;
	char chunk[65536];
	zip_uint64_t total = 0;
	EStreamResult result = ESR_OK;
	for (;;)
	{
		const zip_int64_t got = zip_fread(file, chunk, sizeof(chunk));
		if (got < 0)
		{
			result = ESR_READ_FAILED;
			break;
		}
		if (got == 0)
			break;
		total += static_cast<zip_uint64_t>(got);
		if (total > claimed || total > maxEntry || static_cast<unsigned long long>(got) > *budget)
		{
			result = ESR_TOO_LARGE;
			break;
		}
		*budget -= static_cast<unsigned long long>(got);
		if (!zeWriteAllFd(fd, chunk, static_cast<size_t>(got)))
		{
			result = ESR_WRITE_FAILED;
			break;
		}
	}
	zip_fclose(file);
	if (result == ESR_OK && total != claimed)
		result = ESR_READ_FAILED;
	return result;
}
} // namespace

bool zeIsScenePack(const void* data, size_t size)
{
	ArchivePtr archive = openArchive(data, size);
	if (!archive)
	{
		zeMessageBox("Failed to open archive");
		return false;
	}
	bool backup = false, scene = false, demo = false;
	const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
	for (zip_int64_t i = 0; i < count; ++i)
	{
		zip_stat_t st;
		if (zip_stat_index(archive.get(), static_cast<zip_uint64_t>(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME))
		{
			zeMessageBox("Failed to stat file");
			return false;
		}
		const std::string name = entryName(st.name);
		if (isDirectoryEntry(st.name))
			continue;
		backup = backup || name.find("scene_backup/") != std::string::npos;
		scene = scene || name.find("zelv.zscn") != std::string::npos;
		demo = demo || name.find("zelv.demo.ini") != std::string::npos;
	}
	return backup && scene && !demo;
}

int zeExtractPack(const void* data, size_t size, const char* outRoot, unsigned long long maxEntry)
{
	const std::string root = std::string(outRoot ? outRoot : ".") + "/" + EXTRACT_ROOT;
	SFd top(open(outRoot ? outRoot : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
	SFd extract(top.fd >= 0 ? openFolder(top.fd, EXTRACT_ROOT) : -1);
	if (extract.fd < 0)
	{
		zeMessageBox("Failed to create directory %s", root.c_str());
		return -1;
	}
	const char* const names[] = { IMAGES, OBJECTS, SCENES };
	int folders[3] = { -1, -1, -1 };
	std::vector<std::unique_ptr<SFd>> held;
	for (int i = 0; i < 3; ++i)
	{
		held.emplace_back(new SFd(openFolder(extract.fd, names[i])));
		folders[i] = held.back()->fd;
		if (folders[i] < 0)
		{
			zeMessageBox("Failed to create directory %s/%s", root.c_str(), names[i]);
			return -1;
		}
	}
	ArchivePtr archive = openArchive(data, size);
	if (!archive)
	{
		zeMessageBox("Failed to open archive");
		return -1;
	}
	unsigned long long budget = static_cast<unsigned long long>(size) * DEFLATE_MAX_RATIO;
	const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
	for (zip_int64_t i = 0; i < count; ++i)
	{
		const zip_uint64_t index = static_cast<zip_uint64_t>(i);
		zip_stat_t st;
		if (zip_stat_index(archive.get(), index, 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME) ||
			!(st.valid & ZIP_STAT_SIZE))
		{
			zeMessageBox("Failed to stat file");
			return -1;
		}
		if (isDirectoryEntry(st.name))
			continue;
		const std::string name = entryName(st.name);
		const char* folder = folderFor(name);
		if (!folder)
			continue;
		const std::string file = name.substr(name.rfind('/') + 1);
		if (!isSafeFileName(file))
		{
			zeLog(EZELL_WARN, "ZePack: skipped the entry '%s': no file can have its name", name.c_str());
			continue;
		}
		const std::string out = root + "/" + folder + "/" + file;
		if (st.size > maxEntry)
		{
			zeMessageBox("File %s is too large to extract", st.name);
			return -1;
		}
		zeDebugPrintf("Extract File '%s'\n", out.c_str());
		const int dir = folder == IMAGES ? folders[0] : folder == OBJECTS ? folders[1] : folders[2];
		std::string temporary;
		SFd fd(createTemporary(dir, &temporary));
		if (fd.fd < 0)
		{
			zeMessageBox("Failed to write file %s", out.c_str());
			return -1;
		}
		const EStreamResult streamed = streamEntry(archive.get(), index, st.size, fd.fd, &budget, maxEntry);
		const bool closed = close(fd.fd) == 0;
		fd.fd = -1;
		if (streamed != ESR_OK || !closed || renameat(dir, temporary.c_str(), dir, file.c_str()) != 0)
		{
			unlinkat(dir, temporary.c_str(), 0);
			if (streamed == ESR_TOO_LARGE)
				zeMessageBox("File %s is too large to extract", st.name);
			else if (streamed == ESR_READ_FAILED)
				zeMessageBox("Failed to extract file %s", st.name);
			else
				zeMessageBox("Failed to write file %s", out.c_str());
			return -1;
		}
	}
	return 0;
}

int zeExtractPacked(const char* exePath)
{
	if (!zePackedDataExists(exePath))
	{
		zeLogErrorBox("Resources don't exist");
		return -1;
	}
	std::unique_ptr<char[]> block;
	size_t size = 0;
	if (zeResourceExistsIn(exePath, EZERSC_PACKED_DATA))
	{
		char* raw = nullptr;
		char* data = nullptr;
		if (zeLoadResourceFrom(exePath, EZERSC_PACKED_DATA, &raw, &data, &size) != 0)
		{
			zeLogErrorBox("Failed to load resources from executable");
			return -1;
		}
		block.reset(raw);
	}
	else
	{
		const char* side = zePackDatPath(exePath);
		long length = 0;
		block.reset(zeReadFile(side, &length));
		if (!block)
		{
			zeLogErrorBox("Failed to read the side file %s", side);
			return -1;
		}
		size = static_cast<size_t>(length);
	}
	if (!zeIsScenePack(block.get(), size))
	{
		zeLog(EZELL_INFO, "ZePack: the packed data is no scene pack; nothing extracted");
		return -1;
	}
	return zeExtractPack(block.get(), size, zeGetCwd());
}
