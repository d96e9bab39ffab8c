#include "api/ZeWatch.h"

#include "api/ZeFolderWatcher.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "frame/ZeIdTable.h"
#include "frame/ZeLog.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace
{
const int ZE_WATCH_TABLE_CAPACITY = 100;
const int ZE_MAX_CHANGED_FILES = 10;
const int ZE_CHANGE_SCAN_DEPTH = 2;
const int ZE_READABLE_RETRY_MS = 50;

// What a file watch compares: the write time (nanoseconds since 1970, UTC),
// and the size and inode for writes within one tick of the file-system clock.
struct SZeFileStamp
{
	int64_t time;
	int64_t size;
	uint64_t inode;
};

struct SZeFileWatch
{
	int id;
	std::string path;
	FolderWatcher* watcher;
	std::atomic<uint8_t> pending;  // set by the watcher thread
	uint8_t changed;               // sticky until reset
	SZeFileStamp lastWrite;
};

// A file stamped exactly at a folder watch's time when it was taken.
struct SZeStampedFile
{
	std::string path;
	SZeFileStamp stamp;
};

struct SZeFolderWatch
{
	int id;
	std::string path;
	FolderWatcher* watcher;
	int64_t watchTime;
	// Written before the watch time although stamped with it: not changes.
	std::vector<SZeStampedFile> atWatchTime;
	std::atomic<uint8_t> pending;
	uint8_t changed;
	int count;
	std::string files[ZE_MAX_CHANGED_FILES];
	const char* list[ZE_MAX_CHANGED_FILES];
};

SZeIdTable* g_fileWatches = nullptr;
SZeIdTable* g_folderWatches = nullptr;

// The tables, made on first use; from then on engine shutdown ends the watches.
void ensureTables()
{
	if (g_fileWatches && g_folderWatches)
		return;
	if (!g_fileWatches)
		g_fileWatches = zeCreateIdTable(ZE_WATCH_TABLE_CAPACITY);
	if (!g_folderWatches)
		g_folderWatches = zeCreateIdTable(ZE_WATCH_TABLE_CAPACITY);
	zeGetEngineHooks().stopWatches = zeFreeAllWatches;
}

int64_t toFileTime(const timespec& t)
{
	return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

int64_t nowFileTime(clockid_t clock)
{
	timespec now;
	clock_gettime(clock, &now);
	return toFileTime(now);
}

SZeFileStamp stampOf(const struct stat& st)
{
	return SZeFileStamp{ toFileTime(st.st_mtim), static_cast<int64_t>(st.st_size), static_cast<uint64_t>(st.st_ino) };
}

bool readStamp(const std::string& path, SZeFileStamp* stamp)
{
	struct stat st;
	if (stat(path.c_str(), &st) != 0)
	{
		*stamp = SZeFileStamp{ 0, 0, 0 };
		return false;
	}
	*stamp = stampOf(st);
	return true;
}

bool sameStamp(const SZeFileStamp& a, const SZeFileStamp& b)
{
	return a.time == b.time && a.size == b.size && a.inode == b.inode;
}

bool isNewer(const SZeFileStamp& now, const SZeFileStamp& recorded)
{
	if (now.time != recorded.time)
		return now.time > recorded.time;
	return now.size != recorded.size || now.inode != recorded.inode;
}

// The absolute form of a name as the file layer resolves it, '/' separated,
// without trailing separators.
std::string fullPath(const char* name)
{
	std::string path = zeFileGetFullPath(name);
	for (char& c : path)
		if (c == '\\')
			c = '/';
	if (path.empty() || path[0] != '/')
		path = std::string(zeGetCwd()) + "/" + path;
	while (path.size() > 1 && path.back() == '/')
		path.pop_back();
	return path;
}

std::string folderOf(const std::string& path)
{
	const size_t slash = path.rfind('/');
	return slash == 0 ? std::string("/") : path.substr(0, slash);
}

void reportCreateFailure(const std::string& folder, const SZeSystemError& error)
{
	zeLog(EZELL_ERROR, "FolderWatcher '%s' : %s", folder.c_str(), strerror(error.code));
	zeSetError(1, "%s", error.text);
}

// A watcher thread that ended on a failure is reported once, here on the
// main thread, where the message-box hook may run.
void reportWatcherFailure(FolderWatcher* watcher)
{
	const int code = watcher->takeFailure();
	if (!code)
		return;
	char text[1024];
	snprintf(text, sizeof(text), "%s\nFile: '%s'\nSystem reports: %s", "Cannot detect changes in folder",
		watcher->getFolder(), strerror(code));
	zeLog(EZELL_ERROR, "%s", text);
	ZeMessageBoxHook hook = zeGetMessageBoxHook();
	if (hook && zeAreErrorBoxesEnabled())
		hook("File Operation Problem", text);
}

SZeFileWatch* getFileWatch(int id)
{
	ensureTables();
	SZeFileWatch* watch = static_cast<SZeFileWatch*>(zeIdTableGet(g_fileWatches, id));
	if (!watch)
		zeSetError(1, "FileWatch ID %d does not exist. %s", id, zeGetIdTableError());
	return watch;
}

SZeFolderWatch* getFolderWatch(int id)
{
	ensureTables();
	SZeFolderWatch* watch = static_cast<SZeFolderWatch*>(zeIdTableGet(g_folderWatches, id));
	if (!watch)
		zeSetError(1, "FolderWatch ID %d does not exist. %s", id, zeGetIdTableError());
	return watch;
}

void destroy(SZeFileWatch* watch)
{
	delete watch->watcher;  // joins the thread that writes watch->pending
	delete watch;
}

void destroy(SZeFolderWatch* watch)
{
	delete watch->watcher;
	delete watch;
}

bool openExclusive(const std::string& path)
{
	const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
	if (fd < 0)
		return false;
	struct stat st;
	bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0;
	if (ok)
	{
		// A read lease is refused while any process has the file open for
		// writing; file systems without leases only get the lock test.
		if (fcntl(fd, F_SETLEASE, F_RDLCK) == 0)
			fcntl(fd, F_SETLEASE, F_UNLCK);
		else if (errno == EAGAIN)
			ok = false;
		flock(fd, LOCK_UN);
	}
	close(fd);
	return ok;
}

// The folder watch's sticky state, taking up what the thread signalled.
bool folderChanged(SZeFolderWatch* watch)
{
	reportWatcherFailure(watch->watcher);
	if (!watch->changed && watch->pending.exchange(0, std::memory_order_acq_rel))
		watch->changed = 1;
	return watch->changed != 0;
}

typedef void (*ZeFoundFile)(const std::string& path, const struct stat& st, void* user);

// Calls found for every file of the folder matching the pattern: first those
// of the subfolders not beginning with "." (walked to depth - 1, while depth
// is positive), then the folder's own.
void zeFindFilesRecursive(const std::string& folder, const char* pattern, int depth, ZeFoundFile found, void* user)
{
	DIR* dir = opendir(folder.c_str());
	if (!dir)
		return;
	std::vector<std::string> subfolders;
	std::vector<std::pair<std::string, struct stat>> files;
	while (const dirent* entry = readdir(dir))
	{
		const char* name = entry->d_name;
		if (!strcmp(name, ".") || !strcmp(name, ".."))
			continue;
		const std::string path = folder + "/" + name;
		struct stat st;
		if (stat(path.c_str(), &st) != 0)
			continue;
		if (S_ISDIR(st.st_mode))
		{
			if (name[0] != '.' && depth > 0)
				subfolders.push_back(path);
		}
		else if (S_ISREG(st.st_mode) && fnmatch(pattern, name, 0) == 0)
			files.emplace_back(path, st);
	}
	closedir(dir);
	for (const std::string& subfolder : subfolders)
		zeFindFilesRecursive(subfolder, pattern, depth - 1, found, user);
	for (const auto& file : files)
		found(file.first, file.second, user);
}

// Whether a file of the watched tree was written after the watch time.
bool writtenSinceWatchTime(const SZeFolderWatch* watch, const std::string& path, const SZeFileStamp& stamp)
{
	if (stamp.time != watch->watchTime)
		return stamp.time > watch->watchTime;
	// Files written in one tick of the coarse clock share their time.
	for (const SZeStampedFile& file : watch->atWatchTime)
		if (file.path == path && sameStamp(file.stamp, stamp))
			return false;
	return true;
}

void zeCollectChangedFile(const std::string& path, const struct stat& st, void* user)
{
	SZeFolderWatch* watch = static_cast<SZeFolderWatch*>(user);
	if (!writtenSinceWatchTime(watch, path, stampOf(st)))
		return;
	if (watch->count >= ZE_MAX_CHANGED_FILES)
	{
		zeLog(EZELL_WARN, "zeGetFolderWatchChanges too much changes\n");
		return;
	}
	watch->files[watch->count++] = path;
}

// What the watch time's scan gathers: the newest write time up to the
// moment the scan began, and the files stamped with it.
struct SZeNewestWrite
{
	int64_t limit;
	int64_t time;
	std::vector<SZeStampedFile> files;
};

void zeCollectNewestWrite(const std::string& path, const struct stat& st, void* user)
{
	SZeNewestWrite* newest = static_cast<SZeNewestWrite*>(user);
	const SZeFileStamp stamp = stampOf(st);
	if (stamp.time > newest->limit || stamp.time < newest->time)
		return;
	if (stamp.time > newest->time)
	{
		newest->time = stamp.time;
		newest->files.clear();
	}
	newest->files.push_back(SZeStampedFile{ path, stamp });
}

// Sets the watch time to now, such that exactly the writes from now on are
// later. File systems stamp files from the coarse clock, but also with finer
// times that run ahead of it (a file written in the last tick may be stamped
// later than the coarse now): the watch time is then the newest of those
// stamps, and the files stamped with it are remembered, so that a file
// written afterwards in the same tick, stamped alike, still counts. A file
// stamped in the future counts as later.
void takeWatchTime(SZeFolderWatch* watch)
{
	SZeNewestWrite newest;
	newest.time = nowFileTime(CLOCK_REALTIME_COARSE);
	newest.limit = nowFileTime(CLOCK_REALTIME);
	zeFindFilesRecursive(watch->path, "*", ZE_CHANGE_SCAN_DEPTH, zeCollectNewestWrite, &newest);
	watch->watchTime = newest.time;
	watch->atWatchTime.swap(newest.files);
}
} // namespace

// ---- File watches -------------------------------------------------------------
int zeMakeFileWatch(const char* path, int id)
{
	ensureTables();
	SZeFileWatch* watch = new SZeFileWatch();
	if (zeIdTableAdd(g_fileWatches, id, watch) != 0)
	{
		zeSetError(2, "invalid FileWatch ID %d : %s", id, zeGetIdTableError());
		delete watch;
		return -1;
	}
	watch->id = id;
	SZeSystemError error = { EINVAL, "Cannot create change notification handle" };
	if (path)
	{
		watch->path = fullPath(path);
		readStamp(watch->path, &watch->lastWrite);
		watch->watcher = FolderWatcher::create(folderOf(watch->path).c_str(), false, &watch->pending, &error);
	}
	if (!watch->watcher)
	{
		reportCreateFailure(path ? folderOf(watch->path) : std::string(), error);
		zeIdTableRemove(g_fileWatches, id);
		delete watch;
		return -1;
	}
	return 0;
}

int zeFileWatchChanged(int id)
{
	SZeFileWatch* watch = getFileWatch(id);
	if (!watch)
		return 0;
	reportWatcherFailure(watch->watcher);
	if (watch->changed)
		return 1;
	if (!watch->pending.exchange(0, std::memory_order_acq_rel))
		return 0;
	SZeFileStamp now;
	if (readStamp(watch->path, &now) && !isNewer(now, watch->lastWrite))
		return 0;
	watch->lastWrite = now;
	watch->changed = 1;
	return 1;
}

int zeWaitFileWatchReadable(int id, int timeout)
{
	SZeFileWatch* watch = getFileWatch(id);
	if (!watch)
		return -1;
	const auto start = std::chrono::steady_clock::now();
	for (;;)
	{
		if (openExclusive(watch->path))
			return 0;
		std::this_thread::sleep_for(std::chrono::milliseconds(ZE_READABLE_RETRY_MS));
		if (std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(timeout))
			return -1;
	}
}

void zeResetFileWatch(int id)
{
	SZeFileWatch* watch = getFileWatch(id);
	if (!watch)
		return;
	readStamp(watch->path, &watch->lastWrite);
	watch->pending.store(0, std::memory_order_release);
	watch->changed = 0;
}

int zeFileWatchExist(int id)
{
	ensureTables();
	return zeIdTableGet(g_fileWatches, id) ? 1 : 0;
}

void zeDeleteFileWatch(int id)
{
	ensureTables();
	SZeFileWatch* watch = static_cast<SZeFileWatch*>(zeIdTableGet(g_fileWatches, id));
	if (!watch)
		return;
	zeIdTableRemove(g_fileWatches, id);
	destroy(watch);
}

// ---- Folder watches -----------------------------------------------------------
int zeMakeFolderWatch(const char* path, int id)
{
	ensureTables();
	SZeFolderWatch* watch = new SZeFolderWatch();
	if (zeIdTableAdd(g_folderWatches, id, watch) != 0)
	{
		zeSetError(2, "%s", zeGetIdTableError());
		delete watch;
		return -1;
	}
	watch->id = id;
	SZeSystemError error = { EINVAL, "Cannot create change notification handle" };
	if (path)
	{
		watch->path = fullPath(path);
		watch->watcher = FolderWatcher::create(watch->path.c_str(), true, &watch->pending, &error);
	}
	if (!watch->watcher)
	{
		reportCreateFailure(watch->path, error);
		zeIdTableRemove(g_folderWatches, id);
		delete watch;
		return -1;
	}
	takeWatchTime(watch);
	return 0;
}

int zeFolderWatchChanged(int id)
{
	SZeFolderWatch* watch = getFolderWatch(id);
	return watch && folderChanged(watch) ? 1 : 0;
}

int zeGetFolderWatchChanges(int id, const char*** outList)
{
	SZeFolderWatch* watch = getFolderWatch(id);
	if (!watch)
	{
		if (outList)
			*outList = nullptr;
		return 0;
	}
	if (outList)
		*outList = watch->list;
	if (!folderChanged(watch))
		return 0;
	watch->count = 0;
	zeFindFilesRecursive(watch->path, "*", ZE_CHANGE_SCAN_DEPTH, zeCollectChangedFile, watch);
	for (int i = 0; i < watch->count; ++i)
		watch->list[i] = watch->files[i].c_str();
	return watch->count;
}

void zeResetFolderWatch(int id)
{
	SZeFolderWatch* watch = getFolderWatch(id);
	if (!watch)
		return;
	// Cleared first: a write during the scan is signalled again.
	watch->pending.store(0, std::memory_order_release);
	watch->changed = 0;
	watch->count = 0;
	takeWatchTime(watch);
}

int zeFolderWatchExist(int id)
{
	ensureTables();
	return zeIdTableGet(g_folderWatches, id) ? 1 : 0;
}

void zeDeleteFolderWatch(int id)
{
	ensureTables();
	SZeFolderWatch* watch = static_cast<SZeFolderWatch*>(zeIdTableGet(g_folderWatches, id));
	if (!watch)
		return;
	zeIdTableRemove(g_folderWatches, id);
	destroy(watch);
}

// ---- Shutdown and helpers -----------------------------------------------------
void zeFreeAllWatches()
{
	if (g_fileWatches)
	{
		for (int id = 0; id <= zeIdTableMaxId(g_fileWatches); ++id)
			zeDeleteFileWatch(id);
		zeFreeIdTable(g_fileWatches);
		g_fileWatches = nullptr;
	}
	if (g_folderWatches)
	{
		for (int id = 0; id <= zeIdTableMaxId(g_folderWatches); ++id)
			zeDeleteFolderWatch(id);
		zeFreeIdTable(g_folderWatches);
		g_folderWatches = nullptr;
	}
}

int zeInvoke(ZeInvokeFunction function, int value)
{
	if (!function)
	{
		zeSetError(1, "zeInvoke has no function to call");
		return -1;
	}
	return function(value);
}
