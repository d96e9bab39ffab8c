#include "frame/ZeLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
std::vector<std::string> g_lines;
std::vector<std::string> g_boxes;

void captureLine(const char* line)
{
	g_lines.push_back(line);
}

void captureBox(const char* caption, const char* text)
{
	g_boxes.push_back(std::string(caption) + "|" + text);
}

class Log : public ::testing::Test
{
protected:
	void SetUp() override
	{
		g_lines.clear();
		g_boxes.clear();
		zeSetLogSink(captureLine);
		zeSetLogLevel(EZELL_INFO);
		zeClearError();
	}
	void TearDown() override
	{
		zeSetLogSink(nullptr);
		zeSetMessageBoxHook(nullptr);
		zeSetLogLevel(EZELL_INFO);
	}
};

TEST_F(Log, ThresholdFiltersByLevelAndFormatsLines)
{
	zeLog(EZELL_DEBUG, "hidden %d", 1);
	zeLog(EZELL_INFO, "shown %d", 2);
	zeLog(EZELL_ERROR, "bad %s", "thing");
	ASSERT_EQ(g_lines.size(), 2u);
	EXPECT_EQ(g_lines[0], "INFO : shown 2\n");
	EXPECT_EQ(g_lines[1], "ERROR : bad thing\n");

	// "-userlog" raises the threshold to WARN; NONE silences everything.
	g_lines.clear();
	zeSetLogLevel(EZELL_WARN);
	zeLog(EZELL_INFO, "info");
	zeLog(EZELL_WARN, "warn");
	zeSetLogLevel(EZELL_NONE);
	zeLog(EZELL_ERROR, "error");
	ASSERT_EQ(g_lines.size(), 1u);
	EXPECT_EQ(g_lines[0], "WARN : warn\n");
}

TEST_F(Log, PendingErrorCarriesArgumentNumberUntilCleared)
{
	int number = 0;
	EXPECT_EQ(zeGetError(&number), nullptr);
	EXPECT_EQ(number, -1);

	zeSetError(3, "Object ID %d does not exist. %s", 7, "id 7 does not exist");
	const char* text = zeGetError(&number);
	ASSERT_NE(text, nullptr);
	EXPECT_STREQ(text, "Object ID 7 does not exist. id 7 does not exist");
	EXPECT_EQ(number, 3);
	ASSERT_EQ(g_lines.size(), 1u);
	EXPECT_EQ(g_lines[0], "ERROR : Object ID 7 does not exist. id 7 does not exist\n");

	zeClearError();
	EXPECT_EQ(zeGetError(&number), nullptr);
	EXPECT_EQ(number, -1);
}

TEST_F(Log, SetErrorFlagRecordsWithoutArgumentAndEvenWhenSilenced)
{
	zeSetLogLevel(EZELL_NONE);
	zeLog(EZELL_WARN | EZELF_SET_ERROR, "soft %s", "failure");
	int number = 0;
	ASSERT_NE(zeGetError(&number), nullptr);
	EXPECT_STREQ(zeGetError(nullptr), "soft failure");
	EXPECT_EQ(number, -1);
	EXPECT_TRUE(g_lines.empty());
}

TEST_F(Log, LongTextsAreCutToTheBuffer)
{
	const std::string longText(3000, 'x');
	zeSetError(1, "%s", longText.c_str());
	EXPECT_EQ(std::string(zeGetError(nullptr)).size(), 1023u);
}

TEST_F(Log, MessageBoxesGoThroughTheHookUntilDisabled)
{
	zeLogErrorBox("first %d", 1);
	EXPECT_TRUE(g_boxes.empty()) << "no window: the box is only a log line";
	EXPECT_EQ(zeGetError(nullptr), nullptr) << "an error box sets no pending error";

	zeSetMessageBoxHook(captureBox);
	zeSetErrorBox(2, "second");
	zeLog(EZELL_INFO | EZELF_MESSAGE_BOX, "third");
	ASSERT_EQ(g_boxes.size(), 2u);
	EXPECT_EQ(g_boxes[0], "Zelv|second");
	EXPECT_EQ(g_boxes[1], "Zelv|third");

	zeDisableErrorBoxes();
	zeLogErrorBox("fourth");
	EXPECT_EQ(g_boxes.size(), 2u);
	EXPECT_FALSE(zeAreErrorBoxesEnabled());
}

TEST_F(Log, DebugPrintfIgnoresTheThreshold)
{
	zeSetLogLevel(EZELL_NONE);
	zeDebugPrintf("Extract File '%s'\n", "a/b.png");
	ASSERT_EQ(g_lines.size(), 1u);
	EXPECT_EQ(g_lines[0], "Extract File 'a/b.png'\n");
}
} // namespace
