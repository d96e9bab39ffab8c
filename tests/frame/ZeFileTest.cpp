#include "ZeFrameTestUtil.h"
#include "ZeTestFifo.h"
#include "frame/ZeFileBackend.h"

#include <cstdio>
#include <cstring>

namespace
{
const char HELLO[] = "line one\nline two\nend";

// One tree for every back end: files on disk, or the same entries in a zip.
const zetest::Entries g_tree = { { "data/hello.txt", HELLO }, { "data/empty.txt", "" },
	{ "data/folder/inner.txt", "inner" }, { "sub/file.txt", "lower file" }, { "Mixed/Case.TXT", "mixed case" },
	{ "a.txt", "small a" }, { "A.txt", "capital A" } };

enum class Source { Plain, Irrlicht, Archive };

void PrintTo(Source source, std::ostream* os)
{
	*os << static_cast<int>(source);
}

std::string readAll(const char* name)
{
	long size = -1;
	char* data = zeReadFile(name, &size);
	if (!data)
		return "<null>";
	std::string text(data, static_cast<size_t>(size));
	delete[] data;
	return text;
}

class FileBackends : public zetest::FileLayerTest, public ::testing::WithParamInterface<Source>
{
protected:
	void SetUp() override
	{
		FileLayerTest::SetUp();
		if (GetParam() == Source::Archive)
		{
			Zip = zetest::buildZip(g_tree, { "data/folder/" });
			ASSERT_EQ(zeMountArchiveMemory(Zip.data(), Zip.size()), 0);
			ASSERT_EQ(zeGetFileBackend(), EZEFB_ARCHIVE);
			return;
		}
		for (const auto& entry : g_tree)
			zetest::writeText(path(entry.first), entry.second);
		zeFileSetCurrentDir(Tmp.c_str());
		if (GetParam() == Source::Irrlicht)
		{
			irr::io::IFileSystem* fs = libraryFileSystem();
			ASSERT_NE(fs, nullptr);
			zeSetupFilesystem(fs);
		}
		ASSERT_EQ(zeGetFileBackend(), GetParam() == Source::Plain ? EZEFB_PLAIN : EZEFB_IRRLICHT);
	}
};

TEST_P(FileBackends, StreamsReadSeekAndTell)
{
	SZeFile* f = zeFileOpen("data/hello.txt", "rb");
	ASSERT_NE(f, nullptr);
	const long size = static_cast<long>(strlen(HELLO));
	char line[64];
	EXPECT_EQ(zeFileGetc(f), 'l');
	EXPECT_EQ(zeFileTell(f), 1);
	ASSERT_NE(zeFileGets(line, sizeof(line), f), nullptr);
	EXPECT_STREQ(line, "ine one\n");
	ASSERT_NE(zeFileGets(line, 4, f), nullptr);  // the size counts the zero byte
	EXPECT_STREQ(line, "lin");
	EXPECT_EQ(zeFileTell(f), 12);

	EXPECT_EQ(zeFileSeek(f, -2, 1), 0);
	EXPECT_EQ(zeFileGetc(f), 'i');
	EXPECT_NE(zeFileSeek(f, -1, 0), 0);  // before the start: refused, position kept
	EXPECT_EQ(zeFileTell(f), 11);
	EXPECT_EQ(zeFileSeek(f, 0, 2), 0);
	EXPECT_EQ(zeFileTell(f), size);
	EXPECT_EQ(zeFileGetc(f), EOF);
	EXPECT_EQ(zeFileGets(line, sizeof(line), f), nullptr);
	EXPECT_EQ(zeFileSeek(f, -3, 2), 0);
	ASSERT_NE(zeFileGets(line, sizeof(line), f), nullptr);  // last line, no '\n'
	EXPECT_STREQ(line, "end");

	// Whole items are counted; the odd byte is consumed all the same, as stdio does.
	char buffer[64] = {};
	EXPECT_EQ(zeFileSeek(f, 3, 0), 0);
	EXPECT_EQ(zeFileRead(buffer, 2, 3, f), 3u);
	EXPECT_EQ(std::string(buffer, 6), "e one\n");
	EXPECT_EQ(zeFileSeek(f, 0, 0), 0);
	EXPECT_EQ(zeFileRead(buffer, 4, 10, f), 5u);
	EXPECT_EQ(std::string(buffer, 20), std::string(HELLO, 20));
	EXPECT_EQ(zeFileTell(f), size);
	EXPECT_EQ(zeFileRead(buffer, 1, 1, f), 0u);
	zeFileClose(f);
	zeFileClose(nullptr);
	EXPECT_EQ(zeFileOpen("data/missing.txt", "rb"), nullptr);
	EXPECT_EQ(zeFileOpen("", "rb"), nullptr);
}

TEST_P(FileBackends, ExistAndWholeFiles)
{
	EXPECT_EQ(zeFileExist("data/hello.txt"), 1);
	EXPECT_EQ(zeFileExist("data/folder/inner.txt"), 1);
	EXPECT_EQ(zeFileExist("data/missing.txt"), 0);
	EXPECT_EQ(zeFileExist("data/folder"), 0);
	EXPECT_EQ(zeFileExist("data/folder/"), 0);

	long size = -1;
	char* data = zeReadFile("data/hello.txt", &size);
	ASSERT_NE(data, nullptr);
	EXPECT_EQ(size, static_cast<long>(strlen(HELLO)));
	EXPECT_STREQ(data, HELLO);  // also checks the added zero byte
	delete[] data;
	data = zeReadFile("data/empty.txt", &size);
	ASSERT_NE(data, nullptr);
	EXPECT_EQ(size, 0);
	EXPECT_EQ(data[0], 0);
	delete[] data;
	size = 99;
	EXPECT_EQ(zeReadFile("data/missing.txt", &size), nullptr);
	EXPECT_EQ(size, 0);
	EXPECT_EQ(zeReadFile("data/folder", &size), nullptr);
}

TEST_P(FileBackends, NamesAuthoredOnWindows)
{
	EXPECT_EQ(readAll("Sub\\File.TXT"), "lower file");
	EXPECT_EQ(readAll("SUB/file.txt"), "lower file");
	EXPECT_EQ(readAll("mixed\\case.txt"), "mixed case");
	EXPECT_EQ(readAll("data\\.\\folder\\..\\HELLO.txt"), HELLO);
	EXPECT_EQ(readAll("a.txt"), "small a");  // names differing only in case: exact first
	EXPECT_EQ(readAll("A.txt"), "capital A");
	EXPECT_EQ(zeFileExist("sub\\nothing.txt"), 0);
	EXPECT_EQ(zeFileExist("nosuch\\file.txt"), 0);
}

std::string sourceName(const ::testing::TestParamInfo<Source>& info)
{
	const char* names[] = { "Plain", "Irrlicht", "Archive" };
	return names[static_cast<int>(info.param)];
}
INSTANTIATE_TEST_SUITE_P(Frame, FileBackends, ::testing::Values(Source::Plain, Source::Irrlicht, Source::Archive),
	sourceName);

using FileDirs = zetest::FileLayerTest;

// A pipe, a device and a folder on disk are not files: each entry point refuses
// them at once, without waiting for a writer (the data-file search gives the
// name back unchanged).
TEST_F(FileDirs, OnlyRegularFilesOpenForReading)
{
	zetest::writeText(path("data/real.x"), "real");
	ASSERT_TRUE(zetest::makeFifo(path("data/pipe.x")));
	zeFileSetCurrentDir(Tmp.c_str());
	for (const bool library : { false, true })
	{
		SCOPED_TRACE(library ? "library file system" : "plain files");
		if (library)
		{
			irr::io::IFileSystem* fs = libraryFileSystem();
			ASSERT_NE(fs, nullptr);
			zeSetupFilesystem(fs);
		}
		ASSERT_EQ(zeGetFileBackend(), library ? EZEFB_IRRLICHT : EZEFB_PLAIN);
		for (const char* name : { "data/pipe.x", "DATA/Pipe.X", "/dev/zero", "data" })
		{
			SCOPED_TRACE(name);
			EXPECT_TRUE(zetest::returnsPromptly(path("data/pipe.x"), [&] {
				EXPECT_EQ(zeFileExist(name), 0);
				EXPECT_EQ(zeFileOpen(name, "rb"), nullptr);
				long size = 99;
				EXPECT_EQ(zeReadFile(name, &size), nullptr);
				EXPECT_EQ(size, 0);
				EXPECT_STREQ(zeFindDataFile(name), name);
			}));
		}
		EXPECT_EQ(readAll("data/real.x"), "real");
		EXPECT_EQ(zeFileExist("Data/Real.X"), 1);
	}
}

// ---- Archive mounts -----------------------------------------------------------
using Archive = zetest::FileLayerTest;

TEST_F(Archive, MountedStateAndRootNames)
{
	Zip = zetest::buildZip({ { "data/hello.txt", HELLO }, { "top.txt", "top" } });
	EXPECT_FALSE(zeIsPackedFilesystem());
	ASSERT_EQ(zeMountArchiveMemory(Zip.data(), Zip.size()), 0);
	EXPECT_TRUE(zeIsPackedFilesystem());
	zeFileSetCurrentDir("data");  // relative names follow it; a leading '/' is the root
	EXPECT_EQ(readAll("hello.txt"), HELLO);
	EXPECT_EQ(zeFileExist("top.txt"), 0);
	EXPECT_EQ(readAll("/top.txt"), "top");
	EXPECT_EQ(readAll("\\data\\hello.txt"), HELLO);
	zeUnmountArchive();
	EXPECT_FALSE(zeIsPackedFilesystem());
	EXPECT_EQ(zeGetFileBackend(), EZEFB_PLAIN);
	EXPECT_EQ(zeFileExist("/top.txt"), 0);

	// On disk, found through a path authored on Windows.
	zeFileSetCurrentDir("");
	const std::vector<char> zip = zetest::buildZip({ { "maps/level.txt", "level" }, { "readme.txt", "lower" },
		{ "README.txt", "upper" } });
	zetest::writeText(path("pack/Data.zip"), std::string(zip.begin(), zip.end()));
	ASSERT_EQ(zeMountArchiveFile(path("PACK\\data.ZIP").c_str()), 0);
	EXPECT_TRUE(zeIsPackedFilesystem());
	EXPECT_EQ(readAll("Maps\\Level.TXT"), "level");
	EXPECT_EQ(readAll("readme.txt"), "lower");
	EXPECT_EQ(readAll("README.txt"), "upper");
}

TEST_F(Archive, GarbageFailsAndKeepsThePreviousState)
{
	const char garbage[] = "this is not a zip archive at all";
	EXPECT_EQ(zeMountArchiveMemory(garbage, sizeof(garbage)), -1);
	EXPECT_EQ(zeMountArchiveMemory(nullptr, 0), -1);
	EXPECT_EQ(zeMountArchiveFile(path("missing.zip").c_str()), -1);
	EXPECT_EQ(zetest::countLines("ERROR : ZeFile: cannot open archive"), 2);
	EXPECT_EQ(zeGetFileBackend(), EZEFB_PLAIN);

	Zip = zetest::buildZip({ { "kept.txt", "kept" } });
	ASSERT_EQ(zeMountArchiveMemory(Zip.data(), Zip.size()), 0);
	EXPECT_EQ(zeMountArchiveMemory(garbage, sizeof(garbage)), -1);
	zetest::writeText(path("garbage.zip"), garbage);
	EXPECT_EQ(zeMountArchiveFile(path("garbage.zip").c_str()), -1);
	EXPECT_TRUE(zeIsPackedFilesystem());
	EXPECT_EQ(readAll("kept.txt"), "kept");
}

// A mount waits for a device, then follows the device's file system.
TEST_F(Archive, HeldUntilTheLibraryFileSystemExists)
{
	Zip = zetest::buildZip({ { "entry/name.txt", HELLO } });
	zetest::writeText(path("disk.zip"), std::string(Zip.begin(), Zip.end()));
	irr::io::IFileSystem* fs = libraryFileSystem();
	ASSERT_NE(fs, nullptr);
	for (const bool fromFile : { false, true })
	{
		SCOPED_TRACE(fromFile ? "file" : "memory");
		ASSERT_EQ(fromFile ? zeMountArchiveFile(path("disk.zip").c_str()) : zeMountArchiveMemory(Zip.data(), Zip.size()), 0);
		EXPECT_FALSE(fs->existFile("entry/name.txt"));
		zeSetupFilesystem(fs);
		EXPECT_EQ(zeGetFileBackend(), EZEFB_ARCHIVE);
		irr::io::IReadFile* file = fs->createAndOpenFile("entry/name.txt");
		ASSERT_NE(file, nullptr);
		std::string text(static_cast<size_t>(file->getSize()), '\0');
		EXPECT_EQ(file->read(&text[0], file->getSize()), file->getSize());
		EXPECT_EQ(text, HELLO);
		file->drop();

		zeSetupFilesystem(nullptr);  // the device goes; the file layer keeps the archive
		EXPECT_FALSE(fs->existFile("entry/name.txt"));
		EXPECT_EQ(zeFileExist("entry/name.txt"), 1);
		zeSetupFilesystem(fs);
		EXPECT_TRUE(fs->existFile("entry/name.txt"));
		zeUnmountArchive();
		EXPECT_FALSE(fs->existFile("entry/name.txt"));
		EXPECT_EQ(zeGetFileBackend(), EZEFB_IRRLICHT);
		EXPECT_EQ(fs->getFileArchiveCount(), 0u);
		zeSetupFilesystem(nullptr);
	}
	zeSetupFilesystem(fs);  // with a device, a new mount reaches it at once
	ASSERT_EQ(zeMountArchiveMemory(Zip.data(), Zip.size()), 0);
	EXPECT_TRUE(fs->existFile("entry/name.txt"));
}

// ---- Data-file search -----------------------------------------------------------
using DataFiles = zetest::FileLayerTest;

TEST_F(DataFiles, SearchOrder)
{
	const char* dirs[] = { "shaders", "shadersPP", "shadersPP2", "shadersSURF", "shadersSURF2", "shadersHV",
		"textures" };
	for (const bool throughLayer : { false, true })
	{
		SCOPED_TRACE(throughLayer ? "file-layer directory" : "process directory");
		ASSERT_EQ(zeSetCurrentDirectory(throughLayer ? "/" : Tmp.c_str()), 0);
		zeFileSetCurrentDir(throughLayer ? Tmp.c_str() : "");
		zeSetDataPrefix("prefix");
		zetest::writeText(path("k.fx"), "k");
		for (const char* dir : dirs)
			zetest::writeText(path(std::string(dir) + "/k.fx"), dir);
		zetest::writeText(path("prefix/k.fx"), "prefix");

		// Take the winner away each time: the next one in the order is found.
		EXPECT_STREQ(zeFindDataFile("k.fx"), "k.fx");
		std::filesystem::remove(path("k.fx"));
		for (const char* dir : dirs)
		{
			EXPECT_EQ(zeFindDataFile("k.fx"), std::string(dir) + "/k.fx");
			std::filesystem::remove(path(std::string(dir) + "/k.fx"));
		}
		EXPECT_STREQ(zeFindDataFile("k.fx"), "prefix/k.fx");
		zeSetDataPrefix("prefix/");
		EXPECT_STREQ(zeFindDataFile("k.fx"), "prefix/k.fx");
		std::filesystem::remove(path("prefix/k.fx"));
		// Then the data directories under the data root.
		zetest::writeText(path("prefix/shadersPP/k.fx"), "root pp");
		EXPECT_STREQ(zeFindDataFile("k.fx"), "prefix/shadersPP/k.fx");
		std::filesystem::remove(path("prefix/shadersPP/k.fx"));
		EXPECT_STREQ(zeFindDataFile("k.fx"), "k.fx");
		EXPECT_STREQ(zeFindDataFile("sub/none.png"), "sub/none.png");
	}
}

// ---- Path helpers ---------------------------------------------------------------
TEST(FilePaths, DirectoryAndNameParts)
{
	EXPECT_STREQ(zeFileGetDirPart("a/b/c.txt"), "a/b/");
	EXPECT_STREQ(zeFileGetDirPart("a\\b\\c.txt"), "a\\b\\");
	EXPECT_STREQ(zeFileGetDirPart("C:file.txt"), "C:");
	EXPECT_STREQ(zeFileGetDirPart("file.txt"), "");
	EXPECT_STREQ(zeFileGetNamePart("dir.v2/name.tar.gz", 1), "name.tar.gz");
	EXPECT_STREQ(zeFileGetNamePart("dir.v2/name.tar.gz", 0), "name.tar");
	EXPECT_STREQ(zeFileGetNamePart("dir.v2\\noext", 0), "noext");
	EXPECT_STREQ(zeFileGetNamePart("C:\\x\\y.png", 0), "y");
	EXPECT_STREQ(zeFileGetNamePart("d:z.png", 1), "z.png");
	const char* path = "a/b:c\\d.x";
	EXPECT_EQ(zeSkipPath(path), path + 6);
	EXPECT_EQ(zeSkipPath(path + 6), path + 6);
	EXPECT_EQ(*zeSkipPath("dir/"), 0);
	const char* dir = zeFileGetDirPart("x/y.z");  // two results used together
	const char* name = zeFileGetNamePart("x/y.z", 0);
	EXPECT_STREQ(dir, "x/");
	EXPECT_STREQ(name, "y");
}

TEST(FilePaths, CaseAndNormalForms)
{
	EXPECT_EQ(zeStricmp("Scene.ZELV", "scene.zelv"), 0);
	EXPECT_LT(zeStricmp("abc", "ABD"), 0);
	EXPECT_GT(zeStricmp("abd", "ABC"), 0);
	EXPECT_LT(zeStricmp("ab", "AbC"), 0);
	EXPECT_TRUE(zeEndsWithNoCase("intro.DEMO.ini", ".demo.INI"));
	EXPECT_TRUE(zeEndsWithNoCase("x", ""));
	EXPECT_FALSE(zeEndsWithNoCase("ini", ".ini"));
	EXPECT_FALSE(zeEndsWithNoCase("a.inf", ".ini"));
	EXPECT_EQ(zeNormalisePath("a/./b/../c"), "a/c");
	EXPECT_EQ(zeNormalisePath("a\\b\\..\\c\\"), "a/c");
	EXPECT_EQ(zeNormalisePath("a//b"), "a/b");
	EXPECT_EQ(zeNormalisePath("../x/../../y"), "../../y");
	EXPECT_EQ(zeNormalisePath("/x/../../y"), "/y");
	EXPECT_EQ(zeNormalisePath("\\root\\.\\f"), "/root/f");
	EXPECT_EQ(zeNormalisePath("./"), "");
}

TEST_F(FileDirs, CurrentDirectoryAndFullPaths)
{
	EXPECT_STREQ(zeFileGetFullPath("f.txt"), "f.txt");
	zeFileSetCurrentDir("base\\dir");
	EXPECT_STREQ(zeFileGetCurrentDir(), "base/dir/");
	EXPECT_STREQ(zeFileGetFullPath("f.txt"), "base/dir/f.txt");
	EXPECT_STREQ(zeFileGetFullPath("/abs/f.txt"), "/abs/f.txt");
	zeFileJoinCurrentDir("sub");
	zeFileJoinCurrentDir("");
	EXPECT_STREQ(zeFileGetFullPath("f.txt"), "base/dir/sub/f.txt");
	zeFileSetCurrentDir("");
	zeFileJoinCurrentDir("only");
	EXPECT_STREQ(zeFileGetCurrentDir(), "only/");

	// Relative paths are taken from the process's current directory.
	ASSERT_EQ(zeSetCurrentDirectory(Tmp.c_str()), 0);
	EXPECT_EQ(std::string(zeGetCwd()), Tmp);
	EXPECT_EQ(std::string(zeGetFileDirectory("rel/x.txt")), Tmp + "/rel/");
	EXPECT_EQ(std::string(zeGetFileDirectory("rel\\..\\y.txt")), Tmp + "/");
	EXPECT_STREQ(zeGetFileDirectory("/abs/a/../b/f.txt"), "/abs/b/");
	EXPECT_EQ(zeSetCurrentDirectory(path("missing").c_str()), -1);
	EXPECT_EQ(std::string(zeGetCwd()), Tmp);
}
} // namespace
