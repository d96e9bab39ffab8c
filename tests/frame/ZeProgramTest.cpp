// Runs the real zelv executable and checks what a user sees: exit status and log lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace
{
struct SRun
{
	int status;
	std::string output;
};

SRun runZelv(const std::string& args)
{
	// A run that never ends (a mode that waits for a user) fails with status 124.
	const std::string command = std::string("timeout 120 " ZELV_BINARY_DIR "/zelv ") + args + " 2>&1";
	SRun run{ -1, std::string() };
	FILE* pipe = popen(command.c_str(), "r");
	if (!pipe)
		return run;
	char buffer[512];
	while (fgets(buffer, sizeof(buffer), pipe))
		run.output += buffer;
	const int status = pclose(pipe);
	run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
	return run;
}

// The number of lines that contain the needle.
int countLines(const std::string& text, const std::string& needle)
{
	int n = 0;
	size_t start = 0;
	while (start < text.size())
	{
		size_t end = text.find('\n', start);
		if (end == std::string::npos)
			end = text.size();
		if (text.substr(start, end - start).find(needle) != std::string::npos)
			++n;
		start = end + 1;
	}
	return n;
}

TEST(Program, MissingFileGivesOneLineNamingIt)
{
	const SRun run = runZelv("nosuch.demo.ini");
	EXPECT_NE(run.status, 0);
	EXPECT_EQ(run.output, "ERROR : File 'nosuch.demo.ini' does not exist\n");
}

TEST(Program, UnknownExtensionAndUnknownOptionFail)
{
	SRun run = runZelv(ZELV_SOURCE_DIR "/README.md");
	EXPECT_NE(run.status, 0);
	EXPECT_EQ(countLines(run.output, "Cannot tell how to run"), 1) << run.output;

	run = runZelv("-bogus x.demo.ini");
	EXPECT_NE(run.status, 0);
	EXPECT_EQ(countLines(run.output, "ERROR : Unknown option '-bogus'"), 1) << run.output;
}

// A display size no window can have is a bad command line: refused before
// any device is made.
TEST(Program, DisplaySizesOutsideTheBoundsAreABadCommandLine)
{
	const std::string object = ZELV_SOURCE_DIR "/samples/objects/gem.obj";
	for (const char* size : { "100000x100000", "800x600x7" })
	{
		const SRun run = runZelv(std::string("-display ") + size + " " + object);
		EXPECT_EQ(run.status, 2) << size << "\n" << run.output;
		EXPECT_EQ(countLines(run.output, std::string("ERROR : Option '-display' needs")), 1) << run.output;
		EXPECT_EQ(countLines(run.output, size), 1) << run.output;
	}
}

TEST(Program, PackingCommandsCheckTheirArgumentCount)
{
	SRun run = runZelv("-demoexe onlyone");
	EXPECT_NE(run.status, 0);
	EXPECT_EQ(countLines(run.output, "ERROR : '-demoexe' takes 2 arguments"), 1) << run.output;

	run = runZelv("-exersc a b");
	EXPECT_NE(run.status, 0);
	EXPECT_EQ(countLines(run.output, "ERROR : '-exersc' takes 1 argument"), 1) << run.output;
}

TEST(Program, ExtractWithoutPackedDataFails)
{
	const SRun run = runZelv("-extract");
	EXPECT_EQ(run.status, 1);
	EXPECT_EQ(countLines(run.output, "Resources don't exist"), 1) << run.output;
}

TEST(Program, ExistingDemoReachesItsRunMode)
{
	const SRun run = runZelv(ZELV_SOURCE_DIR "/samples/demo/sample.demo.ini");
	// Either the demo player runs, or this build says plainly it lacks one.
	if (run.status == 3)
		EXPECT_EQ(countLines(run.output, "demo player is not in this build"), 1) << run.output;
	else
		EXPECT_EQ(run.status, 0) << run.output;
}
} // namespace
