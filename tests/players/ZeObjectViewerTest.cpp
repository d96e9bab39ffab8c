// The object viewer run for real: the zelv program on small object files under
// the test run's X display, driven with xdotool as a user would, watched through
// window screenshots, its log and its exit status.
#include "ZeZelvProcess.h"
#include "frame/ZeTestFifo.h"
#include "libext/ZeObjectFileWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace
{
const unsigned BACKDROP_R = 0x11, BACKDROP_G = 0x33, BACKDROP_B = 0x66;
const int TAKEN_FRAMES = zetest::ZelvProcess::TAKEN_FRAMES;
// Frames presented between two pictures that must be equal.
const int LATER_FRAMES = 5;

using zetest::zelvWindows;

struct SImage : zetest::SZelvShot
{
	SImage(const zetest::SZelvShot& shot) : zetest::SZelvShot(shot) {}
	bool isBackdrop(int x, int y) const
	{
		const unsigned char* p = at(x, y);
		return std::abs(p[0] - int(BACKDROP_R)) <= 3 && std::abs(p[1] - int(BACKDROP_G)) <= 3 &&
			std::abs(p[2] - int(BACKDROP_B)) <= 3;
	}
	// Clearly red: the test objects' material under the light.
	bool isRed(int x, int y) const
	{
		const unsigned char* p = at(x, y);
		return p[0] > p[1] + 40 && p[0] > p[2] + 40;
	}
	// The smallest rectangle holding every pixel that is not backdrop; false when there is none.
	bool objectBox(int* x0, int* y0, int* x1, int* y1) const
	{
		*x0 = width, *y0 = height, *x1 = -1, *y1 = -1;
		for (int y = 0; y < height; ++y)
			for (int x = 0; x < width; ++x)
				if (!isBackdrop(x, y))
				{
					*x0 = std::min(*x0, x), *y0 = std::min(*y0, y), *x1 = std::max(*x1, x), *y1 = std::max(*y1, y);
				}
		return *x1 >= 0;
	}
	int objectPixels() const
	{
		int n = 0;
		for (int y = 0; y < height; ++y)
			for (int x = 0; x < width; ++x)
				n += isBackdrop(x, y) ? 0 : 1;
		return n;
	}
};

using zetest::differingPixels;

class Viewer : public zetest::ZelvProcess
{
public:
	using ZelvProcess::ZelvProcess;
	SImage screenshot(const std::string& path) const { return ZelvProcess::screenshot(path); }
	SImage freshShot(const std::string& path, int frames) const { return ZelvProcess::freshShot(path, frames); }
	// A key held down until a shot meets `met`.
	SImage holdUntilShown(const std::string& name, const std::string& path, const std::function<bool(const SImage&)>& met)
	{
		return ZelvProcess::holdUntilShown(name, path, [&](const zetest::SZelvShot& s) { return met(SImage(s)); });
	}
};

class ObjectViewerTest : public zetest::ZelvTest
{
protected:
	// The viewer's window, focused, and its first picture of the object: the
	// first shot with the backdrop in its four corners (the objects here are
	// framed in the middle). Empty when the window or the picture does not come.
	SImage shown(Viewer& v, const std::string& name)
	{
		if (v.window().empty())
			return SImage(zetest::SZelvShot());
		return v.shotUntil(
			shot(name),
			[](const zetest::SZelvShot& s) {
				const SImage image(s);
				return image.isBackdrop(2, 2) && image.isBackdrop(s.width - 3, 2) && image.isBackdrop(2, s.height - 3) &&
					image.isBackdrop(s.width - 3, s.height - 3);
			},
			Viewer::FIRST_FRAME_SECONDS);
	}

	// A diamond (octahedron) of radius 1 around the origin: the corners of the
	// view stay clear, its faces are turned towards the camera at an angle.
	std::string diamond() const
	{
		return write("diamond.obj", "v 1 0 0\nv -1 0 0\nv 0 1 0\nv 0 -1 0\nv 0 0 1\nv 0 0 -1\n"
									"f 1 3 5\nf 3 2 5\nf 2 4 5\nf 4 1 5\nf 3 1 6\nf 2 3 6\nf 4 2 6\nf 1 4 6\n");
	}

	// A red box from `low` to `high` (OBJ, with its material file).
	std::string redBox(const std::string& name, float lx, float ly, float lz, float hx, float hy, float hz) const
	{
		write("red.mtl", "newmtl red\nKd 1 0.1 0.1\nKa 0.3 0 0\n");
		std::ostringstream obj;
		obj << "mtllib red.mtl\nusemtl red\n";
		for (int i = 0; i < 8; ++i)
			obj << "v " << ((i & 1) ? hx : lx) << ' ' << ((i & 2) ? hy : ly) << ' ' << ((i & 4) ? hz : lz) << '\n';
		// Counter-clockwise seen from outside, as OBJ files have them.
		obj << "f 3 4 2 1\nf 8 7 5 6\nf 4 8 6 2\nf 7 3 1 5\nf 7 8 4 3\nf 1 2 6 5\n";
		return write(name, obj.str());
	}

	// A red box from (2, 0, 0) to (4, 3, 2) in a ".x" file, placed by two
	// frames that turn and move it: "Inner" (turned about Z, moved up) inside
	// "Outer" (turned about Y, moved aside). The mesh sits in "Inner", or, when
	// `skinned`, outside the frames with its vertices bound to "Inner"; `posed`
	// adds an animation that holds "Outer" elsewhere than its frame puts it.
	std::string framedXBox(const std::string& name, bool skinned, bool posed = false) const
	{
		const std::string outer = "0.8660254,0.0,-0.5,0.0, 0.0,1.0,0.0,0.0, 0.5,0.0,0.8660254,0.0, 6.0,3.0,-2.0,1.0;;";
		const std::string inner = "0.7071068,0.7071068,0.0,0.0, -0.7071068,0.7071068,0.0,0.0, 0.0,0.0,1.0,0.0, "
								  "0.0,4.0,0.0,1.0;;";
		std::ostringstream mesh;
		mesh << "Mesh Box {\n 8;\n";
		for (int i = 0; i < 8; ++i)
			mesh << ' ' << ((i & 1) ? 4 : 2) << ".0;" << ((i & 2) ? 3 : 0) << ".0;" << ((i & 4) ? 2 : 0) << ".0;"
				 << (i < 7 ? "," : ";") << '\n';
		mesh << " 6; 4;0,2,3,1;, 4;4,5,7,6;, 4;0,1,5,4;, 4;2,6,7,3;, 4;0,4,6,2;, 4;1,3,7,5;;\n"
				" MeshNormals { 6; 0.0;0.0;-1.0;, 0.0;0.0;1.0;, 0.0;-1.0;0.0;, 0.0;1.0;0.0;, -1.0;0.0;0.0;, 1.0;0.0;0.0;;\n"
				"  6; 4;0,0,0,0;, 4;1,1,1,1;, 4;2,2,2,2;, 4;3,3,3,3;, 4;4,4,4,4;, 4;5,5,5,5;; }\n"
				" MeshMaterialList { 1; 6; 0,0,0,0,0,0;; Material { 1.0;0.1;0.1;1.0;; 2.0; 0.0;0.0;0.0;; 0.3;0.0;0.0;; } }\n";
		if (skinned)
			mesh << " XSkinMeshHeader { 1; 1; 1; }\n"
					" SkinWeights { \"Inner\"; 8; 0,1,2,3,4,5,6,7; 1.0,1.0,1.0,1.0,1.0,1.0,1.0,1.0;"
					" 1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0;; }\n";
		mesh << "}\n";
		const std::string frames = "Frame Outer {\n FrameTransformMatrix { " + outer + " }\n Frame Inner {\n"
								   "  FrameTransformMatrix { " + inner + " }\n" + (skinned ? "" : mesh.str()) + " }\n}\n";
		const std::string held = "1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, -8.0,-6.0,3.0,1.0;;";
		const std::string animation = "AnimationSet Hold {\n Animation { {Outer}\n  AnimationKey { 4; 2; 0;16;" + held +
									  ", 30;16;" + held + "; }\n }\n}\n";
		return write(name, "xof 0303txt 0032\n" + frames + (skinned ? mesh.str() : "") + (posed ? animation : ""));
	}

	// A 2 by 0.5 plate facing both ways, bound to one bone; `animated` adds a
	// two-second turn of the bone about the view axis.
	std::string plate(const std::string& name, bool animated) const
	{
		const std::string identity = "1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0;;";
		std::string text = "xof 0303txt 0032\n";
		if (animated)
			text += "AnimTicksPerSecond { 30; }\n";
		text += "Frame Root {\n FrameTransformMatrix { " + identity + " }\n"
				" Mesh Plate { 4; -1.0;-0.25;0.0;, 1.0;-0.25;0.0;, 1.0;0.25;0.0;, -1.0;0.25;0.0;;\n"
				"  2; 4;0,3,2,1;, 4;0,1,2,3;;\n"
				"  MeshNormals { 2; 0.0;0.0;-1.0;, 0.0;0.0;1.0;; 2; 4;0,0,0,0;, 4;1,1,1,1;; }\n"
				"  MeshMaterialList { 1; 2; 0,0;; Material { 0.8;0.8;0.8;1.0;; 2.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; } }\n";
		if (animated)
			text += "  XSkinMeshHeader { 1; 1; 1; }\n"
					"  SkinWeights { \"Root\"; 4; 0,1,2,3; 1.0,1.0,1.0,1.0; " + identity + " }\n";
		text += " }\n}\n";
		if (animated)
			text += "AnimationSet Spin {\n Animation { {Root}\n"
					"  AnimationKey { 0; 3; 0;4;1.0,0.0,0.0,0.0;;, 30;4;0.7071068,0.0,0.0,0.7071068;;, "
					"60;4;0.0,0.0,0.0,1.0;;; }\n }\n}\n";
		return write(name, text);
	}
};
} // namespace

TEST_F(ObjectViewerTest, ShowsTheLitObjectOnTheBackdropAndEscapeEndsIt)
{
	Viewer v(Folder, diamond());
	const SImage image = shown(v, "diamond");
	ASSERT_GT(image.width, 20) << "no picture\n" << v.log();
	const std::string id = v.id();
	const int w = image.width, h = image.height;
	for (int corner = 0; corner < 4; ++corner)
	{
		const int x = corner % 2 ? w - 3 : 2, y = corner / 2 ? h - 3 : 2;
		const unsigned char* p = image.at(x, y);
		EXPECT_TRUE(image.isBackdrop(x, y)) << "corner " << x << "," << y << ": " << int(p[0]) << " " << int(p[1])
											<< " " << int(p[2]);
	}
	// The face towards the camera (and the light) is lit: neither backdrop nor dark.
	const unsigned char* centre = image.at(w / 2, h / 2);
	EXPECT_FALSE(image.isBackdrop(w / 2, h / 2));
	EXPECT_GT(int(centre[0]) + centre[1] + centre[2], 3 * 60)
		<< int(centre[0]) << " " << int(centre[1]) << " " << int(centre[2]);
	v.key("key", "Escape");
	EXPECT_EQ(v.exitStatus(), 0) << v.log();
	EXPECT_FALSE(zelvWindows().count(id));
}

// The set-up file beside the program chooses the renderer: the light
// pre-pass renderer unless it says lightprepass = 0.
TEST_F(ObjectViewerTest, TheLightPrePassRendererDrawsUnlessTheSetupFileTurnsItOff)
{
	{
		Viewer v(Folder, diamond());
		ASSERT_FALSE(v.window().empty()) << v.log();
		v.key("key", "Escape");
		EXPECT_EQ(v.exitStatus(), 0) << v.log();
		EXPECT_NE(v.log().find("the light pre-pass renderer draws the frames"), std::string::npos) << v.log();
	}
	// A copy of the program with the build's data beside it and its own set-up file.
	const std::string copy = Folder + "/program";
	ASSERT_EQ(std::system(("mkdir -p " + copy + " && cp " + ZELV_BINARY_DIR + "/zelv " + copy + "/ && ln -s " +
							  ZELV_BINARY_DIR + "/data " + copy + "/data").c_str()),
		0);
	std::ifstream setup(std::string(ZELV_BINARY_DIR) + "/zelv-setup.ini");
	std::string text((std::istreambuf_iterator<char>(setup)), std::istreambuf_iterator<char>());
	const size_t at = text.find("lightprepass = 1");
	ASSERT_NE(at, std::string::npos) << text;
	std::ofstream(copy + "/zelv-setup.ini") << text.replace(at, 16, "lightprepass = 0");

	Viewer v(Folder, diamond(), false, copy + "/zelv");
	const SImage image = shown(v, "simple");
	ASSERT_GT(image.width, 20) << "no picture\n" << v.log();
	EXPECT_TRUE(image.isBackdrop(2, 2));
	const unsigned char* centre = image.at(image.width / 2, image.height / 2);
	EXPECT_GT(int(centre[0]) + centre[1] + centre[2], 3 * 60)
		<< int(centre[0]) << " " << int(centre[1]) << " " << int(centre[2]);
	v.key("key", "Escape");
	EXPECT_EQ(v.exitStatus(), 0) << v.log();
	EXPECT_NE(v.log().find("the simple renderer draws the frames"), std::string::npos) << v.log();
	EXPECT_EQ(v.log().find("light pre-pass"), std::string::npos) << v.log();
}

TEST_F(ObjectViewerTest, LeftArrowAndDragTurnTheObject)
{
	Viewer v(Folder, diamond());
	const SImage still = shown(v, "still");
	ASSERT_GT(still.width, 20) << "no picture\n" << v.log();
	const std::string id = v.id();
	EXPECT_EQ(differingPixels(still, v.freshShot(shot("again"), LATER_FRAMES)), 0) << "the view changes by itself";

	const int turn = still.width * still.height / 50;
	v.holdUntilShown("Left", shot("turning"), [&](const SImage& s) { return differingPixels(still, s) > turn; });
	const SImage turned = v.freshShot(shot("turned"), TAKEN_FRAMES);
	EXPECT_GT(differingPixels(still, turned), turn);

	// Dragging with the left button turns it further, also about the
	// horizontal axis, which no key does: half a degree a pixel. The button
	// is down for a pass before the pointer moves.
	v.send("windowraise " + id + " mousemove --window " + id + " 200 240 mousedown 1");
	ASSERT_GT(v.freshShot(shot("pressed"), TAKEN_FRAMES).width, 20) << "no frame with the button down";
	v.send("mousemove --window " + id + " 300 200");
	const SImage dragged = v.shotUntil(shot("dragged"), [&](const zetest::SZelvShot& s) {
		return differingPixels(turned, s) > turn;
	});
	v.send("mouseup 1");
	EXPECT_GT(differingPixels(turned, dragged), turn);

	v.key("key", "Escape");
	EXPECT_EQ(v.exitStatus(), 0) << v.log();
	const std::string log = v.log();
	const size_t at = log.find("ZeObjectViewer: object turned to (");
	ASSERT_NE(at, std::string::npos) << log;
	float x = 0, y = 0;
	ASSERT_EQ(std::sscanf(log.c_str() + at, "ZeObjectViewer: object turned to (%f, %f, 0)", &x, &y), 2) << log;
	EXPECT_EQ(x, 20.0f) << "40 pixels up";
}

TEST_F(ObjectViewerTest, WheelAndUpDownChangeTheSizeOnScreen)
{
	Viewer v(Folder, diamond());
	const int start = shown(v, "start").objectPixels();
	ASSERT_GT(start, 0) << v.log();
	const std::string id = v.id();
	// Wheel forward brings the camera nearer.
	v.send("windowraise " + id + " mousemove --window " + id + " 320 240 click --repeat 4 --delay 100 4");
	const int nearer = v.freshShot(shot("nearer"), TAKEN_FRAMES).objectPixels();
	EXPECT_GT(nearer, start + start / 10) << start << " -> " << nearer;
	v.send("mousemove --window " + id + " 320 240 click --repeat 8 --delay 100 5");
	const int farther = v.freshShot(shot("farther"), TAKEN_FRAMES).objectPixels();
	EXPECT_LT(farther, start - start / 10) << start << " -> " << farther;
	// Up moves the camera away, Down back towards the object.
	v.holdUntilShown("Up", shot("up"), [&](const SImage& s) { return s.objectPixels() < farther; });
	const int up = v.freshShot(shot("up"), TAKEN_FRAMES).objectPixels();
	EXPECT_LT(up, farther) << farther << " -> " << up;
	v.holdUntilShown("Down", shot("down"), [&](const SImage& s) { return s.objectPixels() > up; });
	const int down = v.freshShot(shot("down"), TAKEN_FRAMES).objectPixels();
	EXPECT_GT(down, up) << up << " -> " << down;
	v.key("key", "Escape");
	EXPECT_EQ(v.exitStatus(), 0) << v.log();
}

TEST_F(ObjectViewerTest, AnAnimatedObjectMovesAndAStaticOneDoesNot)
{
	for (const bool animated : {true, false})
	{
		SCOPED_TRACE(animated ? "animated" : "static");
		Viewer v(Folder, plate(animated ? "spin.x" : "plate.x", animated));
		const SImage a = shown(v, "a");
		ASSERT_GT(a.width, 20) << "no picture\n" << v.log();
		EXPECT_GT(a.objectPixels(), 0);
		if (animated)
		{
			const int moved = a.width * a.height / 100;
			const SImage b =
				v.shotUntil(shot("b"), [&](const zetest::SZelvShot& s) { return differingPixels(a, s) > moved; });
			EXPECT_GT(differingPixels(a, b), moved);
		}
		else
			EXPECT_EQ(differingPixels(a, v.freshShot(shot("b"), LATER_FRAMES)), 0);
		v.key("key", "Escape");
		EXPECT_EQ(v.exitStatus(), 0) << v.log();
	}
}

TEST_F(ObjectViewerTest, TerminationSignalsEndItCleanly)
{
	for (const int signal : {SIGTERM, SIGINT})
	{
		SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGINT");
		Viewer v(Folder, diamond());
		ASSERT_GT(shown(v, "shown").width, 20) << "no picture\n" << v.log();
		const std::string id = v.id();
		kill(v.pid(), signal);
		EXPECT_EQ(v.exitStatus(), 0) << v.log();
		EXPECT_FALSE(zelvWindows().count(id));
	}
}

TEST_F(ObjectViewerTest, ClosingTheWindowEndsItCleanly)
{
	Viewer v(Folder, diamond());
	ASSERT_GT(shown(v, "shown").width, 20) << "no picture\n" << v.log();
	const std::string id = v.id();
	// What a window manager's close button sends: WM_DELETE_WINDOW.
	const std::string close =
		"import ctypes as c\n"
		"x = c.CDLL('libX11.so.6')\n"
		"x.XOpenDisplay.restype = c.c_void_p\n"
		"x.XInternAtom.restype = c.c_ulong\n"
		"x.XInternAtom.argtypes = [c.c_void_p, c.c_char_p, c.c_int]\n"
		"x.XSendEvent.argtypes = [c.c_void_p, c.c_ulong, c.c_int, c.c_long, c.c_void_p]\n"
		"x.XFlush.argtypes = [c.c_void_p]\n"
		"class E(c.Structure):\n"
		"    _fields_ = [('type', c.c_int), ('serial', c.c_ulong), ('send_event', c.c_int), ('display', c.c_void_p),\n"
		"                ('window', c.c_ulong), ('message_type', c.c_ulong), ('format', c.c_int),\n"
		"                ('data', c.c_long * 5), ('pad', c.c_char * 128)]\n"
		"d = x.XOpenDisplay(None)\n"
		"e = E(type=33, window=" + id + ", format=32)\n"
		"e.message_type = x.XInternAtom(d, b'WM_PROTOCOLS', 0)\n"
		"e.data[0] = x.XInternAtom(d, b'WM_DELETE_WINDOW', 0)\n"
		"x.XSendEvent(d, " + id + ", 0, 0, c.byref(e))\n"
		"x.XFlush(d)\n";
	std::ofstream(Folder + "/close.py") << close;
	ASSERT_EQ(std::system(("timeout 10 python3 " + Folder + "/close.py").c_str()), 0);
	EXPECT_EQ(v.exitStatus(), 0) << v.log();
}

TEST_F(ObjectViewerTest, AnUnreadableFileFailsWithItsNameAndAMissingOneFailsToo)
{
	const std::string broken = write("broken.lwo", "not an object\n");
	{
		Viewer v(Folder, broken, true);
		EXPECT_EQ(v.exitStatus(), 1) << v.log();
		EXPECT_NE(v.log().find("Failed to load object " + broken), std::string::npos) << v.log();
	}
	{
		const std::string missing = Folder + "/missing.obj";
		Viewer v(Folder, missing, true);
		EXPECT_EQ(v.exitStatus(), 1) << v.log();
		EXPECT_NE(v.log().find("Failed to load object " + missing), std::string::npos) << v.log();
	}
}

// A pipe named as an object file is refused at once, as an unreadable file is.
TEST_F(ObjectViewerTest, APipeNamedAsAnObjectFileIsRefused)
{
	for (const char* name : {"pipe.obj", "pipe.lwo"})
	{
		SCOPED_TRACE(name);
		const std::string pipe = Folder + "/" + name;
		ASSERT_TRUE(zetest::makeFifo(pipe));
		Viewer v(Folder, pipe, true);
		EXPECT_EQ(v.exitStatus(), 1) << v.log();
		EXPECT_NE(v.log().find("Failed to load object " + pipe), std::string::npos) << v.log();
	}
}

// A textured LightWave box (its still-image clip named with a padding byte):
// the face towards the camera shows the image's four quadrants where
// LightWave's texture coordinates put them.
TEST_F(ObjectViewerTest, ATexturedLightwaveBoxShowsItsImageTheRightWayUp)
{
	using zetest::bmp;
	zetest::writeFile(Folder + "/tex0.bmp", bmp(8, 8, [](int x, int y) {
		return y < 4 ? (x < 4 ? 0xFF0000u : 0x00FF00u) : (x < 4 ? 0x0000FFu : 0xFFFF00u);
	}));
	const std::string box = Folder + "/box.lwo";
	zetest::writeFile(box, zetest::lwo2(zetest::boxPoints(), zetest::boxFaces(), 1, 1, 1, "tex0.bmp"));
	Viewer v(Folder, box);
	const SImage image = shown(v, "textured");
	ASSERT_GT(image.width, 20) << "no picture\n" << v.log();
	int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
	ASSERT_TRUE(image.objectBox(&x0, &y0, &x1, &y1)) << "only the backdrop";
	// The quadrants' middles, a quarter of the box in from each side.
	const int left = x0 + (x1 - x0) / 4, right = x1 - (x1 - x0) / 4;
	const int top = y0 + (y1 - y0) / 4, bottom = y1 - (y1 - y0) / 4;
	auto is = [&](int x, int y, int r, int g, int b) {
		const unsigned char* p = image.at(x, y);
		return ::testing::AssertionResult(std::abs(p[0] - r) < 60 && std::abs(p[1] - g) < 60 && std::abs(p[2] - b) < 60)
			<< "(" << x << ", " << y << ") is " << int(p[0]) << " " << int(p[1]) << " " << int(p[2]);
	};
	EXPECT_TRUE(is(left, top, 255, 0, 0));
	EXPECT_TRUE(is(right, top, 0, 255, 0));
	EXPECT_TRUE(is(left, bottom, 0, 0, 255));
	EXPECT_TRUE(is(right, bottom, 255, 255, 0));
	v.key("key", "Escape");
	EXPECT_EQ(v.exitStatus(), 0) << v.log();
}

// Nothing to draw: one point, triangles without area, lines only. Each is
// refused like a file that cannot be read, not shown as an empty window.
TEST_F(ObjectViewerTest, AnObjectWithNothingToDrawIsRefused)
{
	const std::vector<std::string> files = {
		write("point.x", "xof 0303txt 0032\nMesh Point { 1; 0.5;0.5;0.5;; 1; 3;0,0,0;; }\n"),
		write("flat.obj", "v 0 0 0\nv 1 1 1\nv 2 2 2\nf 1 2 3\nf 3 2 1\n"),
		write("lines.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nl 1 2 3\n"),
	};
	for (const std::string& file : files)
	{
		SCOPED_TRACE(file);
		Viewer v(Folder, file, true);
		EXPECT_EQ(v.exitStatus(), 1) << v.log();
		EXPECT_NE(v.log().find("Failed to load object " + file), std::string::npos) << v.log();
	}
}

// Objects that do not sit around the origin, are far larger than the set-up's
// camera range, or are tall and deep: each turns about the centre of its box,
// the camera's range covers it and the camera stands where the object's sphere
// fits the view, so it shows whole in the middle of the window.
TEST_F(ObjectViewerTest, ObjectsAwayFromTheOriginOrHugeShowWholeInTheMiddle)
{
	const std::vector<std::pair<std::string, std::string>> objects = {
		{"feet", redBox("feet.obj", -1, 0, -1, 1, 2, 1)},
		{"away", redBox("away.obj", 49, 29, -41, 51, 31, -39)},
		{"huge", redBox("huge.obj", -1000, -1000, -1000, 1000, 1000, 1000)},
		{"huge and away", redBox("far.obj", 4000, 0, 2000, 6000, 2000, 4000)},
		{"tall", redBox("tall.obj", -0.2f, -2, -2, 0.2f, 2, 2)},
		{"deep", redBox("deep.obj", -0.2f, -2, -3, 0.2f, 2, 3)},
	};
	for (const auto& object : objects)
	{
		SCOPED_TRACE(object.first);
		Viewer v(Folder, object.second);
		const SImage image = shown(v, "framed");
		ASSERT_GT(image.width, 20) << "no picture\n" << v.log();
		const int w = image.width, h = image.height;
		const unsigned char* middle = image.at(w / 2, h / 2);
		EXPECT_TRUE(image.isRed(w / 2, h / 2))
			<< "the middle of the window: " << int(middle[0]) << " " << int(middle[1]) << " " << int(middle[2]);
		int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
		ASSERT_TRUE(image.objectBox(&x0, &y0, &x1, &y1)) << "only the backdrop";
		EXPECT_TRUE(x0 > 0 && y0 > 0 && x1 < w - 1 && y1 < h - 1)
			<< "cut off by the window: " << x0 << "," << y0 << " to " << x1 << "," << y1;
		EXPECT_NEAR((x0 + x1) / 2.0, w / 2.0, w / 10.0);
		EXPECT_NEAR((y0 + y1) / 2.0, h / 2.0, h / 10.0);
		v.key("key", "Escape");
		EXPECT_EQ(v.exitStatus(), 0) << v.log();
	}
}

// A ".x" box that its frames turn and move, held by a frame or carried by a
// bone, at rest or posed by an animation: the box framed is the box drawn, so
// it shows whole in the middle.
TEST_F(ObjectViewerTest, AnXFileIsFramedWhereItsFramesDrawIt)
{
	const std::vector<std::pair<std::string, std::string>> objects = {
		{"held by a frame", framedXBox("framed.x", false)},
		{"bound to a bone", framedXBox("skinned.x", true)},
		{"posed by its animation", framedXBox("posed.x", true, true)},
	};
	for (const auto& object : objects)
	{
		SCOPED_TRACE(object.first);
		Viewer v(Folder, object.second);
		const SImage image = shown(v, "framed");
		ASSERT_GT(image.width, 20) << "no picture\n" << v.log();
		const int w = image.width, h = image.height;
		int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
		ASSERT_TRUE(image.objectBox(&x0, &y0, &x1, &y1)) << "only the backdrop";
		EXPECT_TRUE(x0 > 0 && y0 > 0 && x1 < w - 1 && y1 < h - 1)
			<< "cut off by the window: " << x0 << "," << y0 << " to " << x1 << "," << y1;
		EXPECT_NEAR((x0 + x1) / 2.0, w / 2.0, w / 10.0) << x0 << " to " << x1;
		EXPECT_NEAR((y0 + y1) / 2.0, h / 2.0, h / 10.0) << y0 << " to " << y1;
		v.key("key", "Escape");
		EXPECT_EQ(v.exitStatus(), 0) << v.log();
	}
}

// Keys turn and move at a rate in time, not per pass: held for a measured
// time, Left turns the object by 60 degrees a second and Up moves the camera
// away by 1.5 radii a second (one degree and a fortieth of the radius a pass
// at 60 passes a second), however fast the focused viewer runs. The viewer
// logs where the camera started and where the object and the camera ended.
TEST_F(ObjectViewerTest, HeldKeysTurnAndMoveAtARateInTime)
{
	Viewer v(Folder, diamond());
	ASSERT_GT(shown(v, "shown").width, 20) << "no picture\n" << v.log();
	// Held as a user holds a key, for a time the test measures.
	auto hold = [&](const char* key, int ms) {
		v.key("keydown", key);
		const auto down = std::chrono::steady_clock::now();
		zetest::pause(ms);
		v.key("keyup", key);
		return std::chrono::duration<double>(std::chrono::steady_clock::now() - down).count();
	};
	const double left = hold("Left", 1500);
	const double up = hold("Up", 1000);
	v.key("key", "Escape");
	EXPECT_EQ(v.exitStatus(), 0) << v.log();
	const std::string log = v.log();
	const size_t start = log.find("ZeObjectViewer: radius ");
	const size_t at = log.find("ZeObjectViewer: object turned to (");
	ASSERT_NE(start, std::string::npos) << log;
	ASSERT_NE(at, std::string::npos) << log;
	float radius = 0, startRadii = 0, x = 0, y = 0, radii = 0;
	ASSERT_EQ(std::sscanf(log.c_str() + start, "ZeObjectViewer: radius %f, camera %f radii away", &radius, &startRadii), 2)
		<< log.substr(start, 120);
	ASSERT_EQ(std::sscanf(log.c_str() + at, "ZeObjectViewer: object turned to (%f, %f, 0) degrees, camera %f radii away", &x,
				  &y, &radii), 3) << log.substr(at, 120);
	EXPECT_NEAR(y, 60.0 * left, 0.3 * 60.0 * left + 5.0) << "Left held " << left << " s";
	EXPECT_EQ(x, 0.0f);
	EXPECT_NEAR(radii, startRadii + 1.5 * up, 0.3 * 1.5 * up + 0.1) << "Up held " << up << " s";
}
