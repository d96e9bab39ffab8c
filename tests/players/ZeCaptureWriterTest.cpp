// The capture writer on a real OpenGL window (Xvfb in the test run): its files
// against screenshots of the same frames, on a swap that keeps the back
// buffer and on one that loses it (painted green after every present), and
// the memory it takes per frame.
#include "frame/ZeCamera.h"
#include "frame/ZeDraw2D.h"
#include "frame/ZeEngine.h"
#include "frame/ZeLog.h"
#include "frame/ZeWindow.h"
#include "frame/ZeWindowPlatform.h"
#include "players/ZeCaptureWriter.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>

#include "frame/ZeTestDisplay.h"

namespace
{
// Blocks of at least g_bigBlock bytes the program asked for.
std::atomic<size_t> g_bigBlocks{0};
std::atomic<size_t> g_bigBlock{~size_t(0)};

void* countedNew(size_t size) noexcept
{
	if (size >= g_bigBlock)
		++g_bigBlocks;
	return malloc(size ? size : 1);
}
} // namespace

// Every form of new and delete in the program goes through these (the
// sanitizer checks that blocks are freed the way they were made).
void* operator new(size_t size)
{
	if (void* block = countedNew(size))
		return block;
	throw std::bad_alloc();
}
void* operator new[](size_t size)
{
	return operator new(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept
{
	return countedNew(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
	return countedNew(size);
}
void operator delete(void* block) noexcept
{
	free(block);
}
void operator delete[](void* block) noexcept
{
	free(block);
}
void operator delete(void* block, size_t) noexcept
{
	free(block);
}
void operator delete[](void* block, size_t) noexcept
{
	free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept
{
	free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept
{
	free(block);
}

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

std::string readFile(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The parameter: whether the swap keeps the back buffer.
class CaptureWriter : public ::testing::TestWithParam<bool>
{
protected:
	void SetUp() override
	{
		setenv("ZELV_BATCH", "1", 1);
		zeSetSwapKeepsBackBufferForTests(GetParam() ? 1 : 0);
		char pattern[] = "/tmp/zelv-capture-XXXXXX";
		ASSERT_NE(mkdtemp(pattern), nullptr);
		Dir = pattern;
	}
	void TearDown() override
	{
		zeCaptureFinish();
		zeTerm();
		zeSetSwapKeepsBackBufferForTests(-1);
		std::error_code ignored;
		std::filesystem::remove_all(Dir, ignored);
	}
	void start(int width, int height)
	{
		SZeSetupParams p = zetest::glWindowSetup(width, height);
		ASSERT_EQ(zeSetup(&p), 0) << zeGetError(nullptr);
	}
	// Frame n: its own backdrop and a box that moves down and right.
	void present(int n)
	{
		zeSetBackdropColor(0x102030 + n * 0x203010);
		zeInk(0xFFFFFF - n * 0x111111);
		zeBox(2 + n * 5, 1 + n * 3, 12 + n * 7, 9 + n * 4);
		zeRun();
		zeSync();
		if (!GetParam())
		{
			glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
			glClear(GL_COLOR_BUFFER_BIT);
		}
	}
	std::string file(const char* kind, int n) const { return Dir + "/" + kind + std::to_string(n) + ".bmp"; }

	std::string Dir;
};

std::string swapName(const ::testing::TestParamInfo<bool>& info)
{
	return info.param ? "SwapKeepsTheBackBuffer" : "SwapLosesTheBackBuffer";
}
} // namespace

INSTANTIATE_TEST_SUITE_P(Swaps, CaptureWriter, ::testing::Values(true, false), swapName);

// An odd width pads every row. Each frame's file is its screenshot byte for
// byte, the last one too although nothing follows it; a repeat copies the
// frame before it, in a capture begun afresh.
TEST_P(CaptureWriter, WritesEachFrameAsItsScreenshotUpToTheLast)
{
	start(61, 47);
	const int frames = 6;
	for (int n = 0; n < frames; ++n)
	{
		present(n);
		ASSERT_EQ(zeCaptureWriteFrame(file("capture", n).c_str(), 0), 0) << n;
		ASSERT_EQ(zeScreenShot(file("shot", n).c_str()), 0) << zeGetError(nullptr);
	}
	ASSERT_EQ(zeCaptureFinish(), 0);
	for (int n = 0; n < frames; ++n)
	{
		const std::string shot = readFile(file("shot", n));
		ASSERT_EQ(shot.size(), 54u + (61u * 3 + 3) / 4 * 4 * 47u);
		EXPECT_TRUE(readFile(file("capture", n)) == shot) << "frame " << n;
	}

	present(frames);
	ASSERT_EQ(zeCaptureWriteFrame(file("again", 0).c_str(), 0), 0);
	ASSERT_EQ(zeCaptureWriteFrame(file("again", 1).c_str(), 1), 0);
	ASSERT_EQ(zeScreenShot(file("shot", frames).c_str()), 0);
	ASSERT_EQ(zeCaptureFinish(), 0);
	EXPECT_TRUE(readFile(file("again", 0)) == readFile(file("shot", frames)));
	EXPECT_TRUE(readFile(file("again", 1)) == readFile(file("shot", frames)));
}

// Frames go to the writer in buffers it hands back, not in blocks made anew
// for each frame.
TEST_P(CaptureWriter, TakesNoNewFrameSizedBlocksPerFrame)
{
	start(160, 120);
	const int frames = 24;
	g_bigBlocks = 0;
	g_bigBlock = 160 * 120 * 3;
	for (int n = 0; n < frames; ++n)
	{
		present(n % 8);
		ASSERT_EQ(zeCaptureWriteFrame(file("capture", n).c_str(), 0), 0) << n;
	}
	ASSERT_EQ(zeCaptureFinish(), 0);
	g_bigBlock = ~size_t(0);
	EXPECT_TRUE(std::filesystem::exists(file("capture", frames - 1)));
	EXPECT_LT(g_bigBlocks, static_cast<size_t>(frames / 2));
}
