// Helpers of the packing tests: a scratch folder with the log captured, files
// read whole, commands run, and zip archives read back.
#pragma once

#include "frame/ZeFrameTestUtil.h"

#include <zip.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>

namespace zetest
{
inline std::string readFile(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every file under the folder, by its path relative to it.
inline std::set<std::string> filesUnder(const std::string& folder)
{
	std::set<std::string> out;
	for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
		if (!entry.is_directory())
			out.insert(std::filesystem::relative(entry.path(), folder).string());
	return out;
}

// A shell command's exit status and standard output.
inline std::pair<int, std::string> run(const std::string& command)
{
	FILE* p = popen(command.c_str(), "r");
	std::string out;
	for (int c; p && (c = fgetc(p)) != EOF;)
		out += static_cast<char>(c);
	const int status = p ? pclose(p) : -1;
	return { WIFEXITED(status) ? WEXITSTATUS(status) : -1, out };
}

// Whether a captured log line contains the text.
inline bool logged(const std::string& text)
{
	return std::any_of(logLines().begin(), logLines().end(),
		[&](const std::string& line) { return line.find(text) != std::string::npos; });
}

// The captured log, for failure messages.
inline std::string logText()
{
	std::string out;
	for (const std::string& line : logLines())
		out += line + "\n";
	return out;
}

// A zip archive's entries (name, bytes); empty when it does not open.
inline std::map<std::string, std::string> zipEntries(const std::string& bytes)
{
	std::map<std::string, std::string> out;
	zip_error_t error;
	zip_error_init(&error);
	zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
	zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error) : nullptr;
	if (!archive)
	{
		if (source)
			zip_source_free(source);
		zip_error_fini(&error);
		return out;
	}
	for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i)
	{
		zip_stat_t st;
		zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st);
		std::string data(st.size, '\0');
		zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
		if (file && zip_fread(file, &data[0], st.size) == static_cast<zip_int64_t>(st.size))
			out[st.name] = data;
		if (file)
			zip_fclose(file);
	}
	zip_discard(archive);
	zip_error_fini(&error);
	return out;
}

// The compression method and level flags of every entry are deflate.
inline bool allDeflated(const std::string& bytes)
{
	zip_error_t error;
	zip_error_init(&error);
	zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
	zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
	bool all = archive != nullptr;
	for (zip_int64_t i = 0; archive && i < zip_get_num_entries(archive, 0); ++i)
	{
		zip_stat_t st;
		all = all && zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st) == 0 &&
			  (st.comp_method == ZIP_CM_DEFLATE || st.size == 0);
	}
	if (archive)
		zip_discard(archive);
	else if (source)
		zip_source_free(source);
	zip_error_fini(&error);
	return all;
}

// A scratch folder (canonical path) that is also the process's current
// folder, with the log captured and the file layer put back afterwards;
// message boxes are log lines only (batch mode), also under a display.
class ScratchTest : public FileLayerTest
{
protected:
	void SetUp() override
	{
		setenv("ZELV_BATCH", "1", 1);
		FileLayerTest::SetUp();
		ASSERT_EQ(chdir(Tmp.c_str()), 0);
	}
};
} // namespace zetest
