#include "zersc/ZePackArchive.h"
#include "frame/ZeFile.h"
#include "frame/ZeFileBackend.h"
#include "frame/ZeLog.h"

#include <zip.h>

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace
{
const int COMPRESSION_LEVEL = 6;

const char* const IMAGE_PATTERNS[] = { "*.jpg", "*.png", "*.jpeg", "*.bmp", "*.tga", "*.gif", "*.raw", "*.dds" };

bool isDirectory(const std::string& path, bool followLinks)
{
	struct stat st;
	const int result = followLinks ? stat(path.c_str(), &st) : lstat(path.c_str(), &st);
	return result == 0 && S_ISDIR(st.st_mode);
}

bool isRegularFile(const std::string& path)
{
	struct stat st;
	return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The folder as it is on disk, found without regard to case; "" when missing.
std::string findFolder(const std::string& folder)
{
	if (isDirectory(folder, true))
		return folder;
	const std::string resolved = zeResolvePlainPath(folder);
	return !resolved.empty() && isDirectory(resolved, true) ? resolved : std::string();
}

// The names of a folder's entries that pass the test, sorted.
template <typename Test> std::vector<std::string> listFolder(const std::string& folder, Test test)
{
	std::vector<std::string> out;
	DIR* dir = opendir(folder.c_str());
	if (!dir)
		return out;
	while (const dirent* entry = readdir(dir))
	{
		const char* name = entry->d_name;
		if (!strcmp(name, ".") || !strcmp(name, ".."))
			continue;
		const std::string path = folder + "/" + name;
		if (test(name, path))
			out.push_back(path);
	}
	closedir(dir);
	std::sort(out.begin(), out.end());
	return out;
}

// A regular file that opens and reads (a FIFO is not waited for).
bool isReadableFile(const std::string& path)
{
	const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
	if (fd < 0)
		return false;
	struct stat st;
	char byte;
	const bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && pread(fd, &byte, 1, 0) >= 0;
	close(fd);
	return ok;
}
} // namespace

// ---- Archive -----------------------------------------------------------------------
CZePackArchive::CZePackArchive(const std::string& path) : Path(path)
{
	int error = 0;
	Archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
	if (!Archive)
	{
		zip_error_t e;
		zip_error_init_with_code(&e, error);
		zeLog(EZELL_ERROR, "ZePack: cannot create the archive %s: %s", path.c_str(), zip_error_strerror(&e));
		zip_error_fini(&e);
	}
}

CZePackArchive::~CZePackArchive()
{
	if (Archive)
		zip_discard(Archive);
}

int CZePackArchive::addFile(const std::string& entryName, const std::string& path)
{
	if (!Archive)
		return -1;
	if (zip_name_locate(Archive, entryName.c_str(), 0) >= 0)
	{
		zeLog(EZELL_WARN, "ZePack: skipped %s: the archive already holds an entry %s", path.c_str(),
			entryName.c_str());
		return 0;
	}
	// The archive reads the file when it is committed; length 0 is "to its end".
	zip_source_t* source = zip_source_file(Archive, path.c_str(), 0, 0);
	if (!source)
		return -1;
	const zip_int64_t index = zip_file_add(Archive, entryName.c_str(), source, ZIP_FL_ENC_UTF_8);
	if (index < 0)
	{
		zip_source_free(source);
		return -1;
	}
	if (zip_set_file_compression(Archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, COMPRESSION_LEVEL) != 0)
		return -1;
	Entries.push_back({ entryName, path });
	return 0;
}

bool CZePackArchive::commit()
{
	if (!Archive)
		return false;
	if (Entries.empty())
	{
		zeLogErrorBox("Nothing to pack into %s", Path.c_str());
		zip_discard(Archive);
		Archive = nullptr;
		return false;
	}
	const bool ok = zip_close(Archive) == 0;
	if (!ok)
	{
		zeLogErrorBox("Failed to write archive %s: %s", Path.c_str(), zip_strerror(Archive));
		zip_discard(Archive);
		unlink(Path.c_str());
	}
	Archive = nullptr;
	return ok;
}

void CZePackArchive::exclude(const std::string& path)
{
	Excluded.push_back(zeCanonicalPath(path));
}

bool CZePackArchive::isExcluded(const std::string& path) const
{
	return !Excluded.empty() && std::find(Excluded.begin(), Excluded.end(), zeCanonicalPath(path)) != Excluded.end();
}

// ---- Paths -------------------------------------------------------------------------
bool zeCombinePath(const std::string& base, const std::string& file, std::string* out)
{
	std::string f = file;
	for (char& c : f)
		if (c == '\\')
			c = '/';
	const std::string joined = !f.empty() && f[0] == '/' ? f : zeFullPath(base.c_str()) + "/" + f;
	*out = zeNormalisePath(joined.c_str());
	return out->size() < PATH_MAX;
}

bool zeRelativePath(const std::string& base, const std::string& file, std::string* out)
{
	if (base.empty())
	{
		*out = file;
		for (char& c : *out)
			if (c == '\\')
				c = '/';
		return !out->empty();
	}
	const std::filesystem::path relative =
		std::filesystem::path(zeFullPath(file.c_str())).lexically_relative(zeFullPath(base.c_str()));
	*out = relative.generic_string();
	while (out->compare(0, 2, "./") == 0)
		out->erase(0, 2);
	return !out->empty() && *out != "." && out->back() != '/';
}

std::string zeCanonicalPath(const std::string& path)
{
	const std::string full = zeFullPath(path.c_str());
	char resolved[PATH_MAX];
	if (realpath(full.c_str(), resolved))
		return resolved;
	const size_t slash = full.rfind('/');
	if (slash == std::string::npos || !realpath(slash ? full.substr(0, slash).c_str() : "/", resolved))
		return full;
	const std::string folder = resolved;
	return (folder == "/" ? "" : folder) + full.substr(slash);
}

std::vector<std::string> zeListFiles(const std::string& folder, const std::string& pattern)
{
	const std::string found = findFolder(folder);
	if (found.empty())
		return {};
	return listFolder(found, [&](const char* name, const std::string& path) {
		return isRegularFile(path) && (pattern.empty() || fnmatch(pattern.c_str(), name, FNM_CASEFOLD) == 0);
	});
}

std::vector<std::string> zeListFolders(const std::string& folder)
{
	const std::string found = findFolder(folder);
	if (found.empty())
		return {};
	return listFolder(found, [](const char*, const std::string& path) { return isDirectory(path, false); });
}

// ---- Adding files ------------------------------------------------------------------
int zeZipAddFile(CZePackArchive* archive, const std::string& entryName, const std::string& path)
{
	if (archive->isExcluded(path))
	{
		zeLog(EZELL_INFO, "ZePack: %s is not packed: the command itself writes it", path.c_str());
		return 0;
	}
	if (!isReadableFile(path))
	{
		zeLogErrorBox("Failed to read file path=%s", path.c_str());
		return -1;
	}
	if (archive->addFile(entryName, path) != 0)
	{
		zeLogErrorBox("Failed to add file %s to archive %s", path.c_str(), archive->path().c_str());
		return -1;
	}
	return 0;
}

std::string zePackEntryName(const std::string& relative)
{
	const std::string rooted = zeNormalisePath(("/" + relative).c_str());
	return rooted.substr(1);
}

int zeZipAddRelative(CZePackArchive* archive, const std::string& base, const std::string& file)
{
	std::string name;
	if (!zeRelativePath(base, file, &name) || zePackEntryName(name).empty())
	{
		zeLogErrorBox("Failed to get relative path for basedir=%s filename=%s", base.c_str(), file.c_str());
		return -1;
	}
	return zeZipAddFile(archive, zePackEntryName(name), file);
}

int zeZipAddPattern(CZePackArchive* archive, const std::string& base, const std::string& folder,
	const std::string& pattern)
{
	std::string search;
	if (!zeCombinePath(base, folder, &search))
	{
		zeLogErrorBox("Failed to combine basedir=%s directory=%s", base.c_str(), folder.c_str());
		return -1;
	}
	for (const std::string& file : zeListFiles(search, pattern))
		if (zeZipAddRelative(archive, base, file) != 0)
			return -1;
	return 0;
}

int zeZipAddPatterns(CZePackArchive* archive, const std::string& base, const std::string& folder,
	const std::vector<const char*>& patterns)
{
	int result = 0;
	for (const char* pattern : patterns)
		if (zeZipAddPattern(archive, base, folder, pattern) != 0)
			result = -1;
	return result;
}

int zeZipAddImages(CZePackArchive* archive, const std::string& base, const std::string& folder)
{
	return zeZipAddPatterns(archive, base, folder,
		std::vector<const char*>(std::begin(IMAGE_PATTERNS), std::end(IMAGE_PATTERNS)));
}
