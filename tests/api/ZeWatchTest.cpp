#include "api/ZeWatch.h"
#include "frame/ZeEngine.h"
#include "frame/ZeLog.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{
std::vector<std::string> g_lines;

void captureLine(const char* line)
{
	g_lines.push_back(line);
}

int countLines(const std::string& text)
{
	int count = 0;
	for (const std::string& line : g_lines)
		count += line.find(text) != std::string::npos;
	return count;
}

// Polls until the condition holds; generous so slow sanitizer runs pass.
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 10000)
{
	const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
	while (!condition())
	{
		if (std::chrono::steady_clock::now() > end)
			return false;
		std::this_thread::sleep_for(std::chrono::milliseconds(5));
	}
	return true;
}

void writeFile(const fs::path& path, const char* text, const char* mode = "wb")
{
	FILE* file = fopen(path.c_str(), mode);
	ASSERT_NE(file, nullptr) << path;
	fputs(text, file);
	fclose(file);
}

int countEntries(const char* folder)
{
	int count = 0;
	for (const auto& entry : fs::directory_iterator(folder))
	{
		(void)entry;
		++count;
	}
	return count;
}

std::string pendingError(int* number)
{
	const char* text = zeGetError(number);
	return text ? text : "";
}

std::set<std::string> changes(int id)
{
	const char** list = nullptr;
	const int count = zeGetFolderWatchChanges(id, &list);
	std::set<std::string> names;
	for (int i = 0; i < count; ++i)
		names.insert(list[i]);
	return names;
}

class Watch : public ::testing::Test
{
protected:
	void SetUp() override
	{
		char pattern[] = "/tmp/zelv-watch-XXXXXX";
		ASSERT_NE(mkdtemp(pattern), nullptr);
		Root = pattern;
		g_lines.clear();
		zeSetLogSink(captureLine);
		zeClearError();
	}
	void TearDown() override
	{
		zeFreeAllWatches();
		zeSetLogSink(nullptr);
		zeClearError();
		fs::remove_all(Root);
	}
	fs::path Root;
};

using FileWatch = Watch;
using FolderWatch = Watch;
using WatchApi = Watch;

TEST_F(FileWatch, WritingTheFileSetsTheWatchUntilReset)
{
	const fs::path file = Root / "scene.zf";
	writeFile(file, "one");
	ASSERT_EQ(zeMakeFileWatch(file.c_str(), 0), 0);
	ASSERT_EQ(zeMakeFolderWatch(Root.c_str(), 0), 0);
	EXPECT_EQ(zeFileWatchChanged(0), 0);

	// Another file in the folder wakes the watcher but is not this file.
	writeFile(Root / "other.txt", "x");
	ASSERT_TRUE(waitFor([] { return zeFolderWatchChanged(0) == 1; }));
	EXPECT_FALSE(waitFor([] { return zeFileWatchChanged(0) == 1; }, 200));

	writeFile(file, " two", "ab");
	ASSERT_TRUE(waitFor([] { return zeFileWatchChanged(0) == 1; }));
	EXPECT_EQ(zeFileWatchChanged(0), 1) << "the change is sticky";
	zeResetFileWatch(0);
	EXPECT_EQ(zeFileWatchChanged(0), 0);

	writeFile(file, " three", "ab");
	ASSERT_TRUE(waitFor([] { return zeFileWatchChanged(0) == 1; }));
	zeResetFileWatch(0);

	fs::remove(file);
	EXPECT_TRUE(waitFor([] { return zeFileWatchChanged(0) == 1; })) << "a deleted file counts as changed";
	EXPECT_EQ(zeGetError(nullptr), nullptr);
}

TEST_F(FileWatch, WaitsWhileTheFileIsHeldOpenForWritingOrLocked)
{
	const fs::path file = Root / "shader.fx";
	writeFile(file, "float4 x;");
	ASSERT_EQ(zeMakeFileWatch(file.c_str(), 1), 0);
	EXPECT_EQ(zeWaitFileWatchReadable(1, 1000), 0);

	for (const bool lock : { false, true })
	{
		SCOPED_TRACE(lock ? "locked" : "open for writing");
		int fd = open(file.c_str(), lock ? O_RDONLY : O_WRONLY | O_APPEND);
		ASSERT_GE(fd, 0);
		if (lock)
		{
			ASSERT_EQ(flock(fd, LOCK_EX), 0);
		}
		auto start = std::chrono::steady_clock::now();
		EXPECT_EQ(zeWaitFileWatchReadable(1, 300), -1);
		EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));

		// Released while waiting: the wait ends well before its time-out.
		std::thread release([fd] {
			std::this_thread::sleep_for(std::chrono::milliseconds(150));
			close(fd);
		});
		start = std::chrono::steady_clock::now();
		EXPECT_EQ(zeWaitFileWatchReadable(1, 20000), 0);
		EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(15000));
		release.join();
	}

	fs::remove(file);
	EXPECT_EQ(zeWaitFileWatchReadable(1, 100), -1) << "a missing file never opens";
}

TEST_F(FolderWatch, ListsFilesMadeChangedAndDeletedTwoFoldersDown)
{
	fs::create_directories(Root / "a" / "b" / "c");
	fs::create_directories(Root / ".hidden");
	ASSERT_EQ(zeMakeFolderWatch(Root.c_str(), 2), 0);
	EXPECT_EQ(zeFolderWatchChanged(2), 0);
	EXPECT_EQ(zeGetFolderWatchChanges(2, nullptr), 0) << "nothing changed yet";

	const fs::path deep = Root / "a" / "b" / "light.fx";
	writeFile(deep, "made");
	ASSERT_TRUE(waitFor([] { return zeFolderWatchChanged(2) == 1; }));
	EXPECT_EQ(changes(2), std::set<std::string>{ deep.string() });

	// Deeper than the scan or in a dot folder: signalled, not listed.
	zeResetFolderWatch(2);
	writeFile(Root / "a" / "b" / "c" / "too-deep.fx", "x");
	writeFile(Root / ".hidden" / "swap.fx", "x");
	ASSERT_TRUE(waitFor([] { return zeFolderWatchChanged(2) == 1; }));
	EXPECT_TRUE(changes(2).empty());

	zeResetFolderWatch(2);
	EXPECT_EQ(zeFolderWatchChanged(2), 0);
	writeFile(deep, "changed", "ab");
	ASSERT_TRUE(waitFor([] { return zeFolderWatchChanged(2) == 1; }));
	EXPECT_EQ(changes(2), std::set<std::string>{ deep.string() });

	zeResetFolderWatch(2);
	fs::remove(deep);
	ASSERT_TRUE(waitFor([] { return zeFolderWatchChanged(2) == 1; }));
	EXPECT_TRUE(changes(2).empty()) << "a deleted file has nothing to list";
}

TEST_F(FolderWatch, WatchesSubfoldersMadeAfterItStarted)
{
	ASSERT_EQ(zeMakeFolderWatch(Root.c_str(), 3), 0);
	// Made back to back: the inner folder may exist before the outer is watched.
	ASSERT_EQ(mkdir((Root / "new").c_str(), 0755), 0);
	ASSERT_EQ(mkdir((Root / "new" / "inner").c_str(), 0755), 0);
	ASSERT_TRUE(waitFor([] { return zeFolderWatchChanged(3) == 1; }));
	zeResetFolderWatch(3);

	for (const fs::path& file : { Root / "new" / "inner" / "late.fx", Root / "new" / "late2.fx" })
	{
		SCOPED_TRACE(file.string());
		writeFile(file, "late");
		ASSERT_TRUE(waitFor([] { return zeFolderWatchChanged(3) == 1; }));
		EXPECT_EQ(changes(3), std::set<std::string>{ file.string() });
		zeResetFolderWatch(3);
	}
}

TEST_F(FolderWatch, ReportsEachFileOnceAndAtMostTen)
{
	ASSERT_EQ(zeMakeFolderWatch(Root.c_str(), 4), 0);
	const fs::path twice = Root / "twice.fx";
	writeFile(twice, "1");
	writeFile(twice, "2", "ab");
	ASSERT_TRUE(waitFor([] { return zeFolderWatchChanged(4) == 1; }));
	EXPECT_EQ(changes(4), std::set<std::string>{ twice.string() });

	// After a reset only later writes count.
	zeResetFolderWatch(4);
	std::set<std::string> written;
	for (int i = 0; i < 12; ++i)
	{
		const fs::path file = Root / ("f" + std::to_string(i) + ".fx");
		writeFile(file, "x");
		written.insert(file.string());
	}
	ASSERT_TRUE(waitFor([] { return zeFolderWatchChanged(4) == 1; }));
	g_lines.clear();
	const std::set<std::string> listed = changes(4);
	EXPECT_EQ(listed.size(), 10u);
	for (const std::string& name : listed)
		EXPECT_EQ(written.count(name), 1u) << name;
	EXPECT_EQ(countLines("WARN : zeGetFolderWatchChanges too much changes\n"), 2);
}

// A reset draws an exact line: a file written just before it is not listed
// again, one written just after it is, though both fall in one tick of the
// clock that stamps files.
TEST_F(FolderWatch, AfterAResetExactlyTheLaterWritesCount)
{
	ASSERT_EQ(zeMakeFolderWatch(Root.c_str(), 5), 0);
	for (int i = 0; i < 20; ++i)
	{
		SCOPED_TRACE(i);
		const fs::path before = Root / ("before" + std::to_string(i) + ".fx");
		// Every other round the file written after is the one written before.
		const fs::path after = i % 2 ? before : Root / ("after" + std::to_string(i) + ".fx");
		writeFile(before, "x");
		ASSERT_TRUE(waitFor([] { return zeFolderWatchChanged(5) == 1; }));
		EXPECT_EQ(changes(5), std::set<std::string>{ before.string() });
		zeResetFolderWatch(5);
		writeFile(after, "y", "ab");
		ASSERT_TRUE(waitFor([] { return zeFolderWatchChanged(5) == 1; }));
		EXPECT_EQ(changes(5), std::set<std::string>{ after.string() });
		zeResetFolderWatch(5);
	}
	// Where files are stamped from the coarse clock alone, files written in
	// one tick share their time: given the time of the file written before
	// the reset, the one written after it still counts. (A round whose reset
	// came after a tick of that clock proves nothing and is not counted.)
	int ties = 0;
	for (int i = 0; i < 10; ++i)
	{
		const fs::path before = Root / ("tie" + std::to_string(i) + ".fx");
		const fs::path after = Root / ("tied" + std::to_string(i) + ".fx");
		writeFile(before, "x");
		timespec times[2] = { { 0, UTIME_OMIT }, {} };
		clock_gettime(CLOCK_REALTIME, &times[1]);
		ASSERT_EQ(utimensat(AT_FDCWD, before.c_str(), times, 0), 0);
		zeResetFolderWatch(5);
		timespec coarse;
		clock_gettime(CLOCK_REALTIME_COARSE, &coarse);
		writeFile(after, "y");
		ASSERT_EQ(utimensat(AT_FDCWD, after.c_str(), times, 0), 0);
		ASSERT_TRUE(waitFor([] { return zeFolderWatchChanged(5) == 1; }));
		if (coarse.tv_sec < times[1].tv_sec || (coarse.tv_sec == times[1].tv_sec && coarse.tv_nsec <= times[1].tv_nsec))
		{
			++ties;
			EXPECT_EQ(changes(5), std::set<std::string>{ after.string() }) << i;
		}
		zeResetFolderWatch(5);
	}
	EXPECT_GT(ties, 0);
}

TEST_F(WatchApi, MissingIdsReportTheirErrorForArgumentOne)
{
	ASSERT_EQ(zeMakeFileWatch((Root / "x").c_str(), 6), 0);
	ASSERT_EQ(zeMakeFolderWatch(Root.c_str(), 6), 0);
	const std::string fileMissing = "FileWatch ID 5 does not exist. id 5 does not exist";
	const std::string folderMissing = "FolderWatch ID 7 does not exist. id 7 does not exist";
	const char* sentinel = "";
	const char** list = &sentinel;
	const std::vector<std::pair<std::function<int()>, std::string>> calls = {
		{ [] { return zeFileWatchChanged(5); }, fileMissing },
		{ [] { return zeWaitFileWatchReadable(5, 0) + 1; }, fileMissing },
		{ [] { zeResetFileWatch(5); return 0; }, fileMissing },
		{ [] { return zeFolderWatchChanged(7); }, folderMissing },
		{ [&] { return zeGetFolderWatchChanges(7, &list) + (list != nullptr); }, folderMissing },
		{ [] { zeResetFolderWatch(7); return 0; }, folderMissing },
		{ [] { return zeFileWatchChanged(100); }, "FileWatch ID 100 does not exist. invalid ID 100 greater or equals than 100" },
		{ [] { return zeFolderWatchChanged(-1); }, "FolderWatch ID -1 does not exist. invalid negative ID -1" },
	};
	for (const auto& call : calls)
	{
		SCOPED_TRACE(call.second);
		zeClearError();
		EXPECT_EQ(call.first(), 0);
		int number = 0;
		EXPECT_EQ(pendingError(&number), call.second);
		EXPECT_EQ(number, 1);
	}
	zeClearError();
	EXPECT_EQ(zeFileWatchExist(5) + zeFolderWatchExist(7) + zeFileWatchExist(100), 0);
	EXPECT_EQ(zeFileWatchExist(6) + zeFolderWatchExist(6), 2);
	EXPECT_EQ(zeGetError(nullptr), nullptr) << "exist functions report nothing";
}

TEST_F(WatchApi, CreationNeverReplacesAnIdAndRefusesOutOfRangeIds)
{
	const fs::path first = Root / "first.zf";
	writeFile(first, "1");
	ASSERT_EQ(zeMakeFileWatch(first.c_str(), 3), 0);
	ASSERT_EQ(zeMakeFolderWatch(Root.c_str(), 3), 0);
	fs::create_directory(Root / "other");

	int number = 0;
	EXPECT_EQ(zeMakeFileWatch((Root / "other" / "second.zf").c_str(), 3), -1);
	EXPECT_EQ(pendingError(&number), "invalid FileWatch ID 3 : id 3 already exist");
	EXPECT_EQ(number, 2);
	EXPECT_EQ(zeMakeFolderWatch((Root / "other").c_str(), 3), -1);
	EXPECT_EQ(pendingError(&number), "id 3 already exist");
	EXPECT_EQ(number, 2);
	EXPECT_EQ(zeMakeFileWatch(first.c_str(), 100), -1);
	EXPECT_EQ(pendingError(&number), "invalid FileWatch ID 100 : invalid ID 100 greater or equals than 100");
	EXPECT_EQ(number, 2);
	EXPECT_EQ(zeMakeFolderWatch(Root.c_str(), -2), -1);
	EXPECT_EQ(pendingError(&number), "invalid negative ID -2");
	EXPECT_EQ(number, 2);
	EXPECT_EQ(zeMakeFolderWatch(Root.c_str(), 99), 0) << "99 is the last ID";

	// The first watches still watch their own targets.
	writeFile(first, "2", "ab");
	EXPECT_TRUE(waitFor([] { return zeFileWatchChanged(3) == 1; }));
	ASSERT_TRUE(waitFor([] { return zeFolderWatchChanged(3) == 1; }));
	EXPECT_EQ(changes(3), std::set<std::string>{ first.string() });
}

TEST_F(WatchApi, MissingFolderFailsCleanlyAndLeavesTheIdFree)
{
	const int threads = countEntries("/proc/self/task");
	const fs::path missing = Root / "missing";
	int number = 0;
	EXPECT_EQ(zeMakeFolderWatch(missing.c_str(), 0), -1);
	EXPECT_EQ(pendingError(&number), "Cannot create change notification handle");
	EXPECT_EQ(number, 1);
	zeClearError();
	EXPECT_EQ(zeMakeFileWatch((missing / "scene.zf").c_str(), 0), -1);
	EXPECT_EQ(pendingError(&number), "Cannot create change notification handle");
	EXPECT_EQ(number, 1);
	writeFile(Root / "plain-file", "x");
	EXPECT_EQ(zeMakeFolderWatch((Root / "plain-file").c_str(), 1), -1) << "a file is no folder";
	EXPECT_EQ(zeFileWatchExist(0) + zeFolderWatchExist(0) + zeFolderWatchExist(1), 0);
	EXPECT_EQ(countEntries("/proc/self/task"), threads);

	fs::create_directory(missing);
	EXPECT_EQ(zeMakeFolderWatch(missing.c_str(), 0), 0) << "the failed creation left the ID free";
	writeFile(missing / "now.fx", "x");
	EXPECT_TRUE(waitFor([] { return zeFolderWatchChanged(0) == 1; }));
}

TEST_F(WatchApi, DeletingIsSilentForMissingIdsAndWatchesCanBeMadeAgain)
{
	ASSERT_EQ(zeMakeFileWatch((Root / "a").c_str(), 8), 0);
	ASSERT_EQ(zeMakeFolderWatch(Root.c_str(), 8), 0);
	for (int round = 0; round < 2; ++round)
	{
		zeDeleteFileWatch(8);
		zeDeleteFolderWatch(8);
	}
	zeDeleteFileWatch(500);
	zeDeleteFolderWatch(-3);
	EXPECT_EQ(zeGetError(nullptr), nullptr);
	EXPECT_EQ(zeFileWatchExist(8) + zeFolderWatchExist(8), 0);
	EXPECT_EQ(zeMakeFolderWatch(Root.c_str(), 8), 0);
}

TEST_F(WatchApi, StartingAndStoppingLeaksNoThreadOrDescriptor)
{
	const fs::path file = Root / "scene.zf";
	writeFile(file, "x");
	const int threads = countEntries("/proc/self/task");
	const int fds = countEntries("/proc/self/fd");
	for (int i = 0; i < 200; ++i)
	{
		ASSERT_EQ(zeMakeFileWatch(file.c_str(), i % 100), 0) << i;
		ASSERT_EQ(zeMakeFolderWatch(Root.c_str(), 99 - i % 100), 0) << i;
		if (i == 0)
		{
			EXPECT_EQ(countEntries("/proc/self/task"), threads + 2) << "one thread per watch";
		}
		if (i % 2)
		{
			zeDeleteFileWatch(i % 100);
			zeDeleteFolderWatch(99 - i % 100);
		}
		else
			zeFreeAllWatches();
	}
	EXPECT_TRUE(waitFor([&] { return countEntries("/proc/self/task") == threads; }));
	EXPECT_EQ(countEntries("/proc/self/fd"), fds);
}

// Engine shutdown ends every watch: no worker thread runs on, and the IDs are
// free again for the next set-up.
TEST_F(WatchApi, EngineShutdownEndsEveryWatch)
{
	setenv("ZELV_DRIVER", "null", 1);
	const fs::path file = Root / "scene.zf";
	writeFile(file, "x");
	const int threads = countEntries("/proc/self/task");
	ASSERT_EQ(zeSetup(nullptr), 0) << pendingError(nullptr);
	ASSERT_EQ(zeMakeFileWatch(file.c_str(), 0), 0);
	ASSERT_EQ(zeMakeFolderWatch(Root.c_str(), 0), 0);
	ASSERT_EQ(zeMakeFolderWatch(Root.c_str(), 5), 0);
	EXPECT_EQ(countEntries("/proc/self/task"), threads + 3);
	zeTerm();
	EXPECT_TRUE(waitFor([&] { return countEntries("/proc/self/task") == threads; }, 3000))
		<< countEntries("/proc/self/task") - threads << " threads left";
	EXPECT_EQ(zeFileWatchExist(0) + zeFolderWatchExist(0) + zeFolderWatchExist(5), 0);

	ASSERT_EQ(zeSetup(nullptr), 0) << pendingError(nullptr);
	EXPECT_EQ(zeMakeFileWatch(file.c_str(), 0), 0) << pendingError(nullptr);
	EXPECT_EQ(zeMakeFolderWatch(Root.c_str(), 5), 0) << pendingError(nullptr);
	zeTerm();
	EXPECT_EQ(zeFileWatchExist(0) + zeFolderWatchExist(5), 0);
	unsetenv("ZELV_DRIVER");
}

int g_invokedWith = 0;

int tripleAndRemember(int value)
{
	g_invokedWith = value;
	return value * 3;
}

TEST_F(WatchApi, InvokeCallsTheFunctionWithTheValue)
{
	EXPECT_EQ(zeInvoke(tripleAndRemember, 14), 42);
	EXPECT_EQ(g_invokedWith, 14);
	EXPECT_EQ(zeGetError(nullptr), nullptr);
	int number = 0;
	EXPECT_EQ(zeInvoke(nullptr, 1), -1);
	EXPECT_NE(zeGetError(&number), nullptr);
	EXPECT_EQ(number, 1);
}
} // namespace
