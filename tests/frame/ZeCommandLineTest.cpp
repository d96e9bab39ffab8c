#include "ZeFrameTestUtil.h"
#include "frame/ZeCommandLine.h"

#include <initializer_list>

namespace
{
class CommandLine : public ::testing::Test
{
protected:
	void SetUp() override { zeSetLogSink(zetest::captureLog); }
	void TearDown() override { zeSetLogSink(nullptr); }

	int parse(std::initializer_list<const char*> args)
	{
		Args.assign(1, "zelv");
		Args.insert(Args.end(), args);
		zetest::logLines().clear();
		return zeParseCommandLine(static_cast<int>(Args.size()), Args.data(), &Out);
	}

	// A failed parse writes exactly one line: the error starting with `text`.
	void expectFailure(std::initializer_list<const char*> args, const std::string& text)
	{
		std::string joined;
		for (const char* arg : args)
			joined += std::string(" ") + arg;
		SCOPED_TRACE(joined);
		EXPECT_EQ(parse(args), -1);
		ASSERT_EQ(zetest::logLines().size(), 1u);
		EXPECT_EQ(zetest::countLines("ERROR : " + text), 1) << zetest::logLines()[0];
	}

	// The set-up values the command line can give, in declaration order.
	std::vector<int> setup() const
	{
		const SZeSetupParams& s = Out.setup;
		return { s.width, s.height, s.bits, s.windowed, s.windowX, s.windowY, s.vsync, s.stereo };
	}

	std::vector<const char*> Args;
	SZeCommandLine Out;
};

TEST(RunMode, ChosenByExtensionInAnyCase)
{
	const std::pair<const char*, EZE_RUN_MODE> cases[] = { { "a.DEMO.INI", EZERM_DEMO },
		{ "dir/x.Lws.Ini", EZERM_SCENE }, { "s.zelv", EZERM_SCENE }, { "s.ZSCN", EZERM_SCENE },
		{ "m.X", EZERM_OBJECT }, { "m.lwo", EZERM_OBJECT }, { "m.Obj", EZERM_OBJECT }, { "run.lua", EZERM_SCRIPT },
		{ "run.ZLUA", EZERM_SCRIPT }, { "demo.ini", EZERM_UNKNOWN }, { "a.ini", EZERM_UNKNOWN },
		{ "box", EZERM_UNKNOWN }, { "a.lua.txt", EZERM_UNKNOWN }, { nullptr, EZERM_UNKNOWN } };
	for (const auto& c : cases)
		EXPECT_EQ(zeRunModeFromName(c.first), c.second) << (c.first ? c.first : "(null)");
	EXPECT_STREQ(zeRunModeName(EZERM_SCENE), "scene viewer");
}

TEST_F(CommandLine, PackingCommandsTakeExactArgumentCounts)
{
	ASSERT_EQ(parse({ "-demoexe", "out", "intro.demo.ini" }), 0);
	EXPECT_EQ(Out.command, EZECMD_DEMO_EXE);
	EXPECT_EQ(Out.commandArgCount, 2);
	EXPECT_STREQ(Out.commandArgs[0], "out");
	EXPECT_STREQ(Out.commandArgs[1], "intro.demo.ini");
	EXPECT_STREQ(zeCommandName(Out.command), "-demoexe");
	// "-console" may stand anywhere and is no command argument.
	ASSERT_EQ(parse({ "-exersc", "-console", "target" }), 0);
	EXPECT_EQ(Out.command, EZECMD_EXE_RSC);
	EXPECT_EQ(Out.commandArgCount, 1);
	EXPECT_STREQ(Out.commandArgs[0], "target");
	EXPECT_EQ(Out.flags, EZECF_CONSOLE);
	ASSERT_EQ(parse({ "-binary" }), 0);
	EXPECT_EQ(Out.command, EZECMD_BINARY);
	EXPECT_EQ(Out.file, nullptr);
	EXPECT_TRUE(Out.viewer.flags & EZEVF_BINARY);
	ASSERT_EQ(parse({ "-binary", "scene.zelv", "-console" }), 0);
	EXPECT_STREQ(Out.file, "scene.zelv");
	ASSERT_EQ(parse({ "-extract" }), 0);
	EXPECT_EQ(Out.command, EZECMD_EXTRACT);

	expectFailure({ "-demoexe", "out" }, "'-demoexe' takes 2 arguments");
	expectFailure({ "-demoexe", "out", "-console" }, "'-demoexe' takes 2 arguments");
	expectFailure({ "-exersc", "a", "b" }, "'-exersc' takes 1 argument");
	expectFailure({ "-binary", "a", "b" }, "'-binary' takes 0 to 1 arguments");
	expectFailure({ "-extract", "x" }, "'-extract' takes 0 arguments");
	expectFailure({ "scene.zelv", "-dirdat", "out", "dir" }, "'-dirdat' must be the first argument");
}

TEST_F(CommandLine, OptionsFillSetupAndViewer)
{
	ASSERT_EQ(parse({ "scene.zelv" }), 0);
	EXPECT_EQ(Out.command, EZECMD_RUN);
	EXPECT_STREQ(Out.file, "scene.zelv");
	EXPECT_EQ(Out.viewer.flags, EZEVF_COMMAND_LINE | EZEVF_MUSIC);
	EXPECT_EQ(Out.flags, 0);
	EXPECT_EQ(setup(), std::vector<int>(8, -1));

	ASSERT_EQ(parse({ "-display", "800x600", "-windowed", "first.zelv", "-vsync", "0", "-windowpos", "10", "-20",
		"-stereo", "2", "second.zelv" }), 0);
	EXPECT_STREQ(Out.file, "first.zelv");
	EXPECT_EQ(setup(), (std::vector<int>{ 800, 600, -1, 1, 10, -20, 0, 2 }));
	ASSERT_EQ(parse({ "-display", "1024x768x16", "-windowed", "0", "-vsync" }), 0);
	EXPECT_EQ(setup(), (std::vector<int>{ 1024, 768, 16, 0, -1, -1, 1, -1 }));
	EXPECT_EQ(Out.file, nullptr);
	// The bounds themselves.
	ASSERT_EQ(parse({ "-display", "1x16384x24" }), 0);
	EXPECT_EQ(setup(), (std::vector<int>{ 1, 16384, 24, -1, -1, -1, -1, -1 }));
	ASSERT_EQ(parse({ "-display", "16384x1x32" }), 0);
	EXPECT_EQ(setup(), (std::vector<int>{ 16384, 1, 32, -1, -1, -1, -1, -1 }));

	ASSERT_EQ(parse({ "-nomusic", "-paused", "-framestart", "120", "-ride", "-rideopts", "3", "-ridespeed", "7",
		"-syncupdate", "-noidleinactive", "-userlog", "-cap", "shots/frame", "-capfps", "25.5", "x.lws.ini" }), 0);
	EXPECT_EQ(Out.viewer.flags, EZEVF_COMMAND_LINE | EZEVF_PAUSED | EZEVF_FRAME_START | EZEVF_RIDE |
		EZEVF_SYNC_UPDATE | EZEVF_NO_IDLE_INACTIVE);
	EXPECT_EQ(Out.viewer.frameStart, 120);
	EXPECT_EQ(Out.viewer.rideOptions, 3);
	EXPECT_EQ(Out.viewer.rideSpeed, 7);
	EXPECT_EQ(Out.flags, EZECF_USERLOG | EZECF_CAPTURE);
	EXPECT_STREQ(Out.captureBase, "shots/frame");
	EXPECT_FLOAT_EQ(Out.captureFps, 25.5f);
	EXPECT_STREQ(Out.file, "x.lws.ini");

	ASSERT_EQ(parse({ "-paused", "-console" }), 0);  // a new parse starts from the defaults
	EXPECT_EQ(Out.flags, EZECF_CONSOLE);
	EXPECT_EQ(Out.viewer.flags, EZEVF_COMMAND_LINE | EZEVF_MUSIC | EZEVF_PAUSED);
	EXPECT_EQ(Out.viewer.frameStart, 0);
	EXPECT_EQ(Out.captureBase, nullptr);
}

TEST_F(CommandLine, BadOptionsAndValuesFail)
{
	expectFailure({ "-bogus" }, "Unknown option '-bogus'");
	expectFailure({ "-Display", "800x600" }, "Unknown option '-Display'");
	expectFailure({ "-framestart", "abc" }, "Option '-framestart' needs a whole number, not 'abc'");
	expectFailure({ "-framestart", "12x" }, "Option '-framestart' needs a whole number");
	expectFailure({ "scene.zelv", "-framestart" }, "Option '-framestart' needs a value");
	for (const char* bad : { "800", "x600", "800x", "800x+600", "800x600x", "800x600junk", "800x600x16junk" })
		expectFailure({ "-display", bad }, std::string("Option '-display' needs WIDTHxHEIGHT or WIDTHxHEIGHTxBITS, not '") + bad + "'");
	expectFailure({ "-display" }, "Option '-display' needs a value");
	// Sizes a window can have, and the colour depths the device takes.
	for (const char* bad : { "0x600", "800x0", "16385x600", "800x16385", "100000x100000", "4294967297x600",
		"99999999999999999999x2", "800x-600", "-800x600" })
		expectFailure({ "-display", bad }, std::string("Option '-display' needs a width and a height from 1 to 16384, not '") + bad + "'");
	for (const char* bad : { "800x600x0", "800x600x8", "800x600x15", "800x600x64", "800x600x4294967312" })
		expectFailure({ "-display", bad }, std::string("Option '-display' needs 16, 24 or 32 bits, not '") + bad + "'");
	expectFailure({ "-windowpos", "10" }, "Option '-windowpos' needs a value");
	expectFailure({ "-stereo", "left" }, "Option '-stereo' needs a whole number");
	expectFailure({ "-cap" }, "Option '-cap' needs a value");
	expectFailure({ "-capfps", "-5" }, "Option '-capfps' needs a frame rate");
	expectFailure({ "-capfps", "fast" }, "Option '-capfps' needs a frame rate");
	expectFailure({ "-capfps", "inf" }, "Option '-capfps' needs a frame rate");
	expectFailure({ "-capfps", "nan" }, "Option '-capfps' needs a frame rate");
	expectFailure({ "-capfps", "1001" }, "Option '-capfps' needs a frame rate");
}
} // namespace
