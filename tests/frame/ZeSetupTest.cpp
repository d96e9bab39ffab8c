#include "ZeFrameTestUtil.h"
#include "frame/ZeSetup.h"

namespace
{
const char SETUP_INI[] = "; written by the set-up dialog\n[Setup]\n"
						 "Width = 1024\nHEIGHT = 768\nbpp = 16\nWindowed = 0\nwindowX = 12\nwindowy = 34\n"
						 "vsync = 1\nfps = 60\nantialias = 4\nLightPrePass = 0\nhidemouse = 1\nshaders = 2\n"
						 "near = 0.5\nfar = 2500.0\n";

// The whole values in declaration order, width to stereo.
std::vector<int> ints(const SZeSetupParams& p)
{
	return { p.width, p.height, p.bits, p.windowed, p.windowX, p.windowY, p.vsync, p.fps, p.antialias,
		p.lightPrePass, p.hideMouse, p.shaders, p.stereo };
}

SZeSetupParams unset()
{
	SZeSetupParams p;
	zeInitSetupParams(&p);
	return p;
}

using SetupFile = zetest::FileLayerTest;

TEST_F(SetupFile, FillsOnlyUnsetValues)
{
	zetest::writeText(path("zelv-setup.ini"), SETUP_INI);
	SZeSetupParams p = unset();
	p.width = 800;  // given on the command line
	p.windowed = 1;
	p.cameraFar = 90.0f;
	ASSERT_EQ(zeLoadSetupIni("zelv-setup.ini", Tmp.c_str(), &p), 0);
	EXPECT_EQ(ints(p), (std::vector<int>{ 800, 768, 16, 1, 12, 34, 1, 60, 4, 0, 1, 2, -1 }));
	EXPECT_FLOAT_EQ(p.cameraNear, 0.5f);
	EXPECT_FLOAT_EQ(p.cameraFar, 90.0f);
	EXPECT_EQ(p.dataPrefix, nullptr);

	// Null folder: the file layer's current directory.
	p = unset();
	zeFileSetCurrentDir(Tmp.c_str());
	ASSERT_EQ(zeLoadSetupIni("zelv-setup.ini", nullptr, &p), 0);
	EXPECT_EQ(p.width, 1024);
	EXPECT_FLOAT_EQ(p.cameraFar, 2500.0f);

	p = unset();
	p.height = 600;
	EXPECT_EQ(zeLoadSetupIni("missing.ini", (Tmp + "/").c_str(), &p), 1);
	SZeSetupParams expected = unset();
	expected.height = 600;
	EXPECT_EQ(ints(p), ints(expected));
	EXPECT_LT(p.cameraNear, 0.0f);
}

TEST_F(SetupFile, ReadsFromPackedDataRoot)
{
	Zip = zetest::buildZip({ { "zelv-setup.ini", SETUP_INI }, { "demo/zelv-setup.ini", "[Setup]\nwidth = 1\n" } });
	ASSERT_EQ(zeMountArchiveMemory(Zip.data(), Zip.size()), 0);
	zeFileSetCurrentDir("demo");
	SZeSetupParams p = unset();
	ASSERT_EQ(zeLoadSetupIni("zelv-setup.ini", "/", &p), 0);
	EXPECT_EQ(ints(p), (std::vector<int>{ 1024, 768, 16, 0, 12, 34, 1, 60, 4, 0, 1, 2, -1 }));
	p = unset();
	ASSERT_EQ(zeLoadSetupIni("zelv-setup.ini", "", &p), 0);
	EXPECT_EQ(p.width, 1);
	EXPECT_EQ(zeLoadSetupIni("other.ini", "/", &p), 1);
}

// The only test that confirms dialog values, which are kept process-wide.
TEST(ScreenMode, KeptDialogValues)
{
	EXPECT_EQ(zeScreenModeOption("width"), -1);
	zeKeepScreenModeValues({ 1280, 720, 1, 32, 0, 75, 8, 3, 2, 1 });
	const char* keys[] = { "WIDTH", "height", "Windowed", "bpp", "vsync", "FPS", "antiAlias", "shaders", "stereo",
		"Centered" };
	const int values[] = { 1280, 720, 1, 32, 0, 75, 8, 3, 2, 1 };
	for (int i = 0; i < 10; ++i)
		EXPECT_EQ(zeScreenModeOption(keys[i]), values[i]) << keys[i];
	EXPECT_EQ(zeScreenModeOption("depth"), -1);
	EXPECT_EQ(zeScreenModeOption("widths"), -1);
	EXPECT_EQ(zeScreenModeOption(nullptr), -1);
}

TEST(ScreenMode, ApplyFillsOnlyUnsetEntries)
{
	SZeSetupParams p = unset();
	p.width = 640;
	p.vsync = 0;
	zeApplyScreenModeValues({ 1280, 720, 0, 32, 1, 75, 8, 3, 2, 1 }, &p);
	// Width and vsync kept; the dialog has no window position, light pass or mouse.
	EXPECT_EQ(ints(p), (std::vector<int>{ 640, 720, 32, 0, -1, -1, 0, 75, 8, -1, -1, 3, 2 }));
}
} // namespace
