// The archive that the packing commands fill: a zip file written through
// libzip (deflate, level 6), files added one at a time by entry name, and the
// helpers that add a file, a file by its path relative to a base folder and
// every file of a folder that matches a pattern.
//
// Index:
//   - Archive
//   - Paths
//   - Adding files
#pragma once

#include "frame/ZeFileBackend.h"

#include <string>
#include <vector>

struct zip;

// ---- Archive -----------------------------------------------------------------------
// A new archive file; nothing is written before commit().
class CZePackArchive
{
public:
	struct SEntry
	{
		std::string name;  // entry name ('/' separators)
		std::string path;  // the file it was read from
	};

	explicit CZePackArchive(const std::string& path);
	~CZePackArchive();
	CZePackArchive(const CZePackArchive&) = delete;
	CZePackArchive& operator=(const CZePackArchive&) = delete;

	// False when the archive file could not be created (logged).
	bool isOpen() const { return Archive != nullptr; }
	const std::string& path() const { return Path; }
	// Adds the file under the entry name; its bytes are read from disk only
	// when the archive is committed, one file at a time, so packing never
	// holds more than a file's buffer. A name already in the archive is
	// skipped with a warning, the first one kept (0). -1 when the archive
	// refuses the entry.
	int addFile(const std::string& entryName, const std::string& path);
	// Reads, compresses and writes every entry; false with a log line (the
	// file is then removed). The archive is closed either way.
	bool commit();
	// The entries added, in order.
	const std::vector<SEntry>& entries() const { return Entries; }
	// A file that is never packed (a command's own target, side file or
	// temporary file); compared with links resolved.
	void exclude(const std::string& path);
	bool isExcluded(const std::string& path) const;

private:
	std::string Path;
	zip* Archive = nullptr;
	std::vector<SEntry> Entries;
	std::vector<std::string> Excluded;
};

// ---- Paths -------------------------------------------------------------------------
// The full path of `base` joined with `file` (an absolute file stays as it
// is), without a trailing separator; false when it is longer than a path may be.
bool zeCombinePath(const std::string& base, const std::string& file, std::string* out);
// The path of `file` relative to the folder `base` with '/' separators; an
// empty base keeps the path (separators turned). False when there is none.
bool zeRelativePath(const std::string& base, const std::string& file, std::string* out);
// The path with every link resolved: the file's real path when it exists,
// else its folder's real path joined with its name, else its full path. Two
// paths that name one directory entry give one string.
std::string zeCanonicalPath(const std::string& path);
// The regular files of a folder (links followed) whose names match the
// pattern ('*' and '?', any case; every file for an empty pattern), sorted by
// name. A folder whose name differs only in case is found; a missing folder
// gives none.
std::vector<std::string> zeListFiles(const std::string& folder, const std::string& pattern);
// The sub-folders of a folder, sorted by name (links not followed).
std::vector<std::string> zeListFolders(const std::string& folder);

// ---- Adding files ------------------------------------------------------------------
// Adds the file at `path` under the entry name once it is found to be a
// regular file that opens and reads; a file the archive excludes is skipped
// with a log line (0). 0, or -1 after
// "Failed to read file path=%s" or "Failed to add file %s to archive %s".
int zeZipAddFile(CZePackArchive* archive, const std::string& entryName, const std::string& path);
// The entry name of a path relative to the pack's root, as the file layer
// finds it once the pack is mounted: a ".." that climbs above the root stays
// at the root ("../music/a.mp3" is "music/a.mp3"), so files that a demo names
// outside its own folder are still found.
std::string zePackEntryName(const std::string& relative);
// Adds the file under its path relative to `base` (through zePackEntryName) ("Failed to get relative
// path for basedir=%s filename=%s"); 0 or -1.
int zeZipAddRelative(CZePackArchive* archive, const std::string& base, const std::string& file);
// Adds every file of base/folder that matches the pattern, named relative to
// base; sub-folders are not searched. 0, or -1 at the first file that fails
// ("Failed to combine basedir=%s directory=%s" when the folder's path is too long).
int zeZipAddPattern(CZePackArchive* archive, const std::string& base, const std::string& folder,
	const std::string& pattern);
// The image patterns, "*.jpg" to "*.dds", each through zeZipAddPattern; the
// patterns after a failing one still run. 0, or -1 when any failed.
int zeZipAddImages(CZePackArchive* archive, const std::string& base, const std::string& folder);
// Each pattern through zeZipAddPattern, all of them run; 0, or -1 when any failed.
int zeZipAddPatterns(CZePackArchive* archive, const std::string& base, const std::string& folder,
	const std::vector<const char*>& patterns);
