// Helpers shared by the frame tests: log capture, zip building, and a fixture
// with a scratch folder that puts the file layer back as it found it.
#pragma once

#include "frame/ZeFile.h"
#include "frame/ZeLog.h"

#include <gtest/gtest.h>
#include <irrlicht.h>
#include <zip.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace zetest
{
inline std::vector<std::string>& logLines()
{
	static std::vector<std::string> lines;
	return lines;
}

inline void captureLog(const char* line)
{
	logLines().push_back(line);
}

inline int countLines(const std::string& start)
{
	int n = 0;
	for (const std::string& line : logLines())
		n += line.compare(0, start.size(), start) == 0;
	return n;
}

inline void writeText(const std::string& path, const std::string& text)
{
	std::filesystem::create_directories(std::filesystem::path(path).parent_path());
	std::ofstream(path, std::ios::binary) << text;
}

// A zip archive built in memory: the folders, then the (name, bytes) entries.
using Entries = std::vector<std::pair<std::string, std::string>>;
inline std::vector<char> buildZip(const Entries& entries, const std::vector<std::string>& folders = {})
{
	zip_error_t error;
	zip_error_init(&error);
	zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
	zip_source_keep(buffer);
	zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
	EXPECT_NE(archive, nullptr);
	for (const std::string& folder : folders)
		EXPECT_GE(zip_dir_add(archive, folder.c_str(), ZIP_FL_ENC_UTF_8), 0);
	for (const auto& entry : entries)
	{
		zip_source_t* data = zip_source_buffer(archive, entry.second.data(), entry.second.size(), 0);
		EXPECT_GE(zip_file_add(archive, entry.first.c_str(), data, ZIP_FL_ENC_UTF_8), 0) << entry.first;
	}
	EXPECT_EQ(zip_close(archive), 0);
	zip_stat_t st;
	std::vector<char> bytes;
	if (zip_source_stat(buffer, &st) == 0 && zip_source_open(buffer) == 0)
	{
		bytes.resize(st.size);
		EXPECT_EQ(zip_source_read(buffer, bytes.data(), st.size), static_cast<zip_int64_t>(st.size));
		zip_source_close(buffer);
	}
	zip_source_free(buffer);
	zip_error_fini(&error);
	EXPECT_FALSE(bytes.empty());
	return bytes;
}

class FileLayerTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		char cwd[PATH_MAX];
		ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
		StartDir = cwd;
		char pattern[] = "/tmp/zelv-frame-XXXXXX";
		ASSERT_NE(mkdtemp(pattern), nullptr);
		Tmp = std::filesystem::canonical(pattern).string();
		logLines().clear();
		zeSetLogSink(captureLog);
	}

	void TearDown() override
	{
		zeUnmountArchive();
		zeSetupFilesystem(nullptr);
		if (Device)
			Device->drop();
		zeFileSetCurrentDir("");
		zeSetDataPrefix("");
		zeSetLogSink(nullptr);
		EXPECT_EQ(chdir(StartDir.c_str()), 0);
		std::error_code ignored;
		std::filesystem::remove_all(Tmp, ignored);
	}

	// A device with the null driver, for the 3D library's file system.
	irr::io::IFileSystem* libraryFileSystem()
	{
		Device = irr::createDevice(irr::video::EDT_NULL);
		return Device ? Device->getFileSystem() : nullptr;
	}

	std::string path(const std::string& name) const { return Tmp + "/" + name; }

	std::string StartDir;
	std::string Tmp;
	std::vector<char> Zip;  // outlives the mount
	irr::IrrlichtDevice* Device = nullptr;
};
} // namespace zetest
