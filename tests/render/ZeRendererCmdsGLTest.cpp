// The command renderer on OpenGL (Xvfb, llvmpipe): the render targets of
// "Create Texture" commands, and whole frames drawn by command lists through
// the frame end and read back from the window, one of them through every
// kind of command.
#include "ZeRenderCommandText.h"
#include "ZeSurfaceSceneGL.h"

#include "core/IZeRendererCtxAdv.h"
#include "render/CZeRendererCmds.h"
#include "render/IZeSceneNodeExt.h"

#include "frame/ZeDraw2D.h"
#include "frame/ZeTestDisplay.h"

#include <initializer_list>
#include <iostream>
#include <vector>

using namespace irr;
using namespace zetest;

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

// A "Create Texture" command.
Cmd createTexture(const char* texture, s32 format, s32 size, s32 width = 0, s32 height = 0, s32 ownZBuffer = 0)
{
	return Cmd("Create Texture", "make").s("Name", texture).i("ColorFormat", format).i("Size", size).i("SizeWidth",
		width).i("SizeHeight", height).i("OwnZBuffer", ownZBuffer);
}

class CmdsGL : public SurfaceGL
{
protected:
	CmdsGL()
	{
		WindowWidth = 96;
		WindowHeight = 20;
	}
	void SetUp() override
	{
		SurfaceGL::SetUp();
		if (IsSkipped() || HasFatalFailure())
			return;
		ASSERT_NE(zeGetRendererCtxAdv(), nullptr) << "the light pre-pass did not start";
		zeGetContext()->backdrop = video::SColor(255, 0, 0, 0);
	}
	void TearDown() override
	{
		if (Renderer)
		{
			zeSetCurrentRenderer(nullptr);
			Renderer->drop();
		}
		if (HasFailure())
			for (const std::string& line : logLines())
				std::cerr << line << "\n";
		zeSetCameraEffectSource(nullptr);
		SurfaceGL::TearDown();
	}

	bool make(const Cmd& c)
	{
		logLines().clear();
		return zeCreateTextureFromCommand(Driver, c.C);
	}

	// Makes the description's textures and a command renderer of it, current for the frames.
	void use(const std::vector<Cmd>& commands)
	{
		SZeRendererDesc desc;
		for (const Cmd& c : commands)
			desc.Commands.push_back(c.C);
		ASSERT_TRUE(zeCreateRenderCommandTextures(zeGetContext()->device, desc));
		Renderer = Manager->getRendererManager()->createRendererCmds(zeGetContext()->device, Manager,
			zeGetRendererCtxAdv(), desc);
		ASSERT_NE(Renderer, nullptr);
		zeSetCurrentRenderer(Renderer);
	}

	IZeRenderer* Renderer = nullptr;
};
} // namespace

// ---- Render targets of "Create Texture" ------------------------------------------------------
TEST_F(CmdsGL, TexturesTakeTheirFormatAndSizeByCode)
{
	const ze::ECOLOR_FORMAT back = ze::getTextureFormat(ze::findTexture(Driver, "BackRTT[0]"));
	ASSERT_EQ(back, ze::ECF_A16B16G16R16F);
	const ze::ECOLOR_FORMAT formats[] = {back, ze::ECF_A1R5G5B5, ze::ECF_R5G6B5, ze::ECF_R8G8B8, ze::ECF_A8R8G8B8,
		ze::ECF_R16F, ze::ECF_G16R16F, ze::ECF_A16B16G16R16F, ze::ECF_R32F, ze::ECF_G32R32F, ze::ECF_A32B32G32R32F,
		ze::ECF_A8R8G8B8};
	for (s32 code = 0; code < 12; ++code)
	{
		const std::string name = "F" + std::to_string(code);
		ASSERT_TRUE(make(createTexture(name.c_str(), code, 5))) << code;
		video::ITexture* t = ze::findTexture(Driver, name.c_str());
		ASSERT_TRUE(t && t->isRenderTarget());
		EXPECT_EQ(ze::getTextureFormat(t), formats[code]) << code;
		EXPECT_FALSE(t->hasMipMaps());
	}
	// The window is 96 by 20; a side is at least one pixel.
	const struct
	{
		s32 Size, Width, Height;
		u32 W, H;
	} sizes[] = {{0, 5, 7, 5, 7}, {1, 0, 0, 96, 20}, {2, 0, 0, 48, 10}, {3, 0, 0, 24, 5}, {4, 0, 0, 12, 2},
		{5, 0, 0, 6, 1}, {6, 0, 0, 3, 1}, {9, 0, 0, 96, 20}, {-1, 0, 0, 96, 20}};
	for (const auto& s : sizes)
	{
		const std::string name = "S" + std::to_string(s.Size);
		ASSERT_TRUE(make(createTexture(name.c_str(), 4, s.Size, s.Width, s.Height))) << s.Size;
		EXPECT_EQ(ze::findTexture(Driver, name.c_str())->getSize(), core::dimension2d<u32>(s.W, s.H)) << s.Size;
	}

	// Every parameter is needed, and an explicit size must be positive.
	Cmd noOwn = createTexture("N", 4, 1);
	noOwn.C.Parameters.erase(5);
	for (const Cmd& c : {createTexture("", 4, 1), noOwn, createTexture("N", 4, 0, 0, 8), createTexture("N", 4, 0, 8, -2)})
	{
		EXPECT_FALSE(make(c));
		EXPECT_EQ(linesWith("Create texture 'make' failed : missing parameters"), 1);
		EXPECT_EQ(ze::findTexture(Driver, "N"), nullptr);
	}
}

TEST_F(CmdsGL, AnExistingTextureIsKeptOnlyWhenItMatchesAndTheFirstMismatchIsReported)
{
	ASSERT_TRUE(make(createTexture("R", 4, 2)));
	video::ITexture* r = ze::findTexture(Driver, "R");
	Driver->addTexture(core::dimension2d<u32>(4, 4), "Plain");
	const struct
	{
		Cmd Command;
		const char* Message;
	} cases[] = {
		{createTexture("R", 4, 2), nullptr},
		{createTexture("Plain", 4, 2), "Create texture 'make' failed: texture 'Plain' already exist but is not a render "
			"target. Use another name"},
		{createTexture("R", 7, 3, 0, 0, 1), "Create texture 'make' failed: texture 'R' already exist with different "
			"color format. Restart engine may be necessary"},
		{createTexture("R", 4, 3, 0, 0, 1), "Create texture 'make' failed: texture 'R' already exist with different "
			"dimension. Restart engine may be necessary"},
		{createTexture("R", 4, 0, 48, 10, 1), "Create texture 'make' failed: texture 'R' already exist with different "
			"own z-buffer.  Restart engine may be necessary"},
	};
	for (const auto& c : cases)
	{
		EXPECT_EQ(make(c.Command), !c.Message);
		EXPECT_EQ(logLines().size(), c.Message ? 1u : 0u);
		EXPECT_EQ(linesWith(c.Message ? c.Message : "Create texture"), c.Message ? 1 : 0);
		EXPECT_EQ(ze::findTexture(Driver, "R"), r);
	}

	// Any non-zero "OwnZBuffer" is one: a scene asking for 2 loads again.
	ASSERT_TRUE(make(createTexture("Z", 4, 2, 0, 0, 2)));
	EXPECT_TRUE(ze::hasOwnZBuffer(ze::findTexture(Driver, "Z")));
	EXPECT_TRUE(make(createTexture("Z", 4, 2, 0, 0, 2)));
	EXPECT_TRUE(make(createTexture("Z", 4, 2, 0, 0, 1)));
	EXPECT_FALSE(make(createTexture("Z", 4, 2)));
}

TEST_F(CmdsGL, TheMipMapFlagIsPutBackAfterSuccessAndFailure)
{
	for (const bool before : {true, false})
	{
		Driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, before);
		EXPECT_TRUE(make(createTexture(before ? "M1" : "M0", 4, 2)));
		EXPECT_EQ(Driver->getTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS), before);
		// Larger than any texture the driver makes, or than a texture may take.
		EXPECT_FALSE(make(createTexture("Huge", 4, 0, 1 << 20, 1 << 20)));
		EXPECT_EQ(linesWith("Create texture 'make' failed : size 1048576x1048576 too large"), 1);
		EXPECT_FALSE(make(createTexture("Wide", 10, 0, 16384, 16384)));
		EXPECT_EQ(linesWith("Create texture 'make' failed : size 16384x16384 too large"), 1);
		EXPECT_EQ(ze::findTexture(Driver, "Wide"), nullptr);
		EXPECT_EQ(Driver->getTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS), before);
	}
}

// A made target lives while a command renderer makes or connects it; the
// made targets together stay within their budget.
TEST_F(CmdsGL, MadeTargetsLiveWhileARendererUsesThemAndStayWithinTheirBudget)
{
	const u32 before = Driver->getTextureCount();
	use({createTexture("Shared", 4, 2), createTexture("Own", 7, 3, 0, 0, 1),
		Cmd("Clear").out("Target", "Shared").rgb("ClearColor", 1, 0, 0)});
	SZeRendererDesc second;
	second.Commands.push_back(Cmd("Clear").out("Target", "Shared").rgb("ClearColor", 0, 1, 0).C);
	IZeRenderer* other = Manager->getRendererManager()->createRendererCmds(zeGetContext()->device, Manager,
		zeGetRendererCtxAdv(), second);
	ASSERT_NE(other, nullptr);
	EXPECT_EQ(Driver->getTextureCount(), before + 2);
	EXPECT_EQ(zeGetCommandTextureBytes(), 48u * 10 * 4 + 24u * 5 * (8 + 4));

	zeSetCurrentRenderer(nullptr);
	Renderer->drop();
	Renderer = nullptr;
	EXPECT_EQ(ze::findTexture(Driver, "Own"), nullptr) << "nothing uses it any more";
	ASSERT_NE(ze::findTexture(Driver, "Shared"), nullptr) << "the other renderer draws into it";
	other->drop();
	EXPECT_EQ(ze::findTexture(Driver, "Shared"), nullptr);
	EXPECT_EQ(Driver->getTextureCount(), before);

	// Targets made for a renderer that does not build go at once; a failed
	// list leaves none of its targets behind.
	SZeRendererDesc broken;
	broken.Commands.push_back(createTexture("Lone", 4, 1).C);
	broken.Commands.push_back(Cmd("Unknown").C);
	ASSERT_TRUE(zeCreateRenderCommandTextures(zeGetContext()->device, broken));
	EXPECT_EQ(Manager->getRendererManager()->createRendererCmds(zeGetContext()->device, Manager,
		zeGetRendererCtxAdv(), broken), nullptr);
	EXPECT_EQ(ze::findTexture(Driver, "Lone"), nullptr);
	broken.Commands[1] = createTexture("Bad", 4, 0, 0, 8).C;
	EXPECT_FALSE(zeCreateRenderCommandTextures(zeGetContext()->device, broken));
	EXPECT_EQ(ze::findTexture(Driver, "Lone"), nullptr);
	EXPECT_EQ(Driver->getTextureCount(), before);

	// 8192 x 8192 at 16 bytes a texel is the whole budget: with 64 MB made it is refused.
	ASSERT_TRUE(make(createTexture("Some", 10, 0, 2048, 2048)));
	EXPECT_FALSE(make(createTexture("Most", 10, 0, 8192, 8192)));
	EXPECT_EQ(linesWith("Create texture 'make' failed : texture 'Most' would take the render command textures to "
		"1088 MB, more than the 1024 MB they may take"), 1);
	EXPECT_EQ(ze::findTexture(Driver, "Most"), nullptr);
	zeFreeUnusedCommandTextures();
	EXPECT_EQ(zeGetCommandTextureBytes(), 0u);
}

// ---- Frames -----------------------------------------------------------------------------------------
TEST_F(CmdsGL, ClearTintAndGammaToTheDisplay)
{
	IZeEffect* half = loadEffect(ZELV_RENDER_TEST_DATA "scale.hlsl");
	ASSERT_TRUE(half);
	use({createTexture("Pic[0]", 4, 1), createTexture("Pic[1]", 4, 1),
		Cmd("Clear").out("Target", "Pic[]").rgb("ClearColor", 0.2f, 0.4f, 0.6f),
		Cmd("Shader").in("s0", "Pic[]").out("Color0", "Pic[]").fx(half),
		Cmd("Gamma").in("Source", "Pic[]").out("Target", "Display")});
	zeEndFrame();
	// Halved to (0.1, 0.2, 0.3), then on the sRGB curve.
	EXPECT_TRUE(near(screenPixel(48, 10), 89, 124, 149, -1, 2));
	EXPECT_TRUE(near(screenPixel(2, 18), 89, 124, 149, -1, 2));
}

TEST_F(CmdsGL, TwoShaderPassesOnOnePairBothApply)
{
	IZeEffect* half = loadEffect(ZELV_RENDER_TEST_DATA "scale.hlsl");
	ASSERT_TRUE(half);
	const Cmd pass = Cmd("Shader").in("s0", "Pic[]").out("Color0", "Pic[]").fx(half);
	// Gamma only when the settings ask: here the picture is copied through.
	use({createTexture("Pic[0]", 4, 1), createTexture("Pic[1]", 4, 1),
		Cmd("Clear").out("Target", "Pic[]").rgb("ClearColor", 0.8f, 0.4f, 1.0f), pass, pass,
		Cmd("Gamma").in("Source", "Pic[]").out("Target", "Display").i("When", 1)});
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(48, 10), 51, 26, 64, -1, 2));
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(48, 10), 51, 26, 64, -1, 2)) << "the pair starts again each frame";
}

TEST_F(CmdsGL, RenderObjectsLeaveOutTheHiddenSet)
{
	IZeEffect* colours = loadEffect(ZELV_RENDER_TEST_DATA "colour.hlsl");
	ASSERT_TRUE(colours);
	camera(core::vector3df(0, 0, -4));
	// Each fills its half of the window.
	scene::ISceneNode* left = quad(colours, {-20, -4, 0}, {20, 0, 0}, {0, 8, 0}, video::SColor(255, 255, 0, 0));
	scene::ISceneNode* right = quad(colours, {0, -4, 0}, {20, 0, 0}, {0, 8, 0}, video::SColor(255, 0, 255, 0));
	Manager->getSceneManager()->getSceneNodeExt(left)->setSelectionMask(1);
	Manager->getSceneManager()->getSceneNodeExt(right)->setSelectionMask(2);
	// Hiding the right one, then showing it alone.
	const struct
	{
		s32 Hide, Show;
		int LeftRed, RightGreen;
	} cases[] = {{2, 0, 255, 0}, {0, 2, 0, 255}};
	for (const auto& c : cases)
	{
		if (Renderer)
			Renderer->drop();
		use({Cmd("Clear").out("Target", "Display").rgb("ClearColor", 0, 0, 1), Cmd("Render Objects").out("Color0",
			"Display").i("RenderList", 0).i("HideSet", c.Hide).i("ShowSet", c.Show)});
		zeEndFrame();
		EXPECT_TRUE(near(screenPixel(30, 10), c.LeftRed, 0, c.LeftRed ? 0 : 255));
		EXPECT_TRUE(near(screenPixel(66, 10), 0, c.RightGreen, c.RightGreen ? 0 : 255));
	}
}

// The library's own materials drawn into a texture are turned over: a culling
// override turns with them, so back-face culling keeps the faces that face
// the camera.
TEST_F(CmdsGL, ACullingOverrideKeepsTheLibrarysFacesTowardTheCamera)
{
	camera(core::vector3df(0, 0, -4));
	scene::SMeshBuffer* buffer = new scene::SMeshBuffer();
	const video::SColor red(255, 255, 0, 0);
	for (const core::vector3df& p : {core::vector3df(-20, -4, 0), core::vector3df(-20, 4, 0), core::vector3df(20, 4, 0),
		     core::vector3df(20, -4, 0)})
		buffer->Vertices.push_back(video::S3DVertex(p, core::vector3df(0, 0, -1), red, core::vector2df(0, 0)));
	for (u16 i : {0, 1, 2, 0, 2, 3})
		buffer->Indices.push_back(i);
	buffer->recalculateBoundingBox();
	scene::SMesh* mesh = new scene::SMesh();
	mesh->addMeshBuffer(buffer);
	mesh->recalculateBoundingBox();
	buffer->drop();
	scene::IMeshSceneNode* node = ze::addMeshSceneNode(Smgr, mesh);
	mesh->drop();
	node->getMaterial(0).Lighting = false;
	node->getMaterial(0).BackfaceCulling = true;
	for (s32 culling : {0, 1})
	{
		if (Renderer)
			Renderer->drop();
		use({createTexture("Pic", 4, 1), Cmd("Clear").out("Target", "Pic").rgb("ClearColor", 0, 0, 1),
			Cmd("Render Objects").out("Color0", "Pic").i("RenderList", 0).i("BackFaceCulling", culling),
			Cmd("Gamma").in("Source", "Pic").out("Target", "Display").i("When", 1)});
		zeEndFrame();
		EXPECT_TRUE(near(screenPixel(48, 10), 255, 0, 0)) << "back-face culling override " << culling;
	}
}

// A frame whose last command draws into a texture still ends on the display:
// the 2D list lands in the window.
TEST_F(CmdsGL, TheFrameEndsOnItsOwnTarget)
{
	use({createTexture("Pic", 4, 1), Cmd("Clear").out("Target", "Display").rgb("ClearColor", 0, 0, 1),
		Cmd("Clear", "last").out("Target", "Pic").rgb("ClearColor", 1, 0, 0)});
	zeInk(0x00FF00);
	zeInkAlpha(255);
	ASSERT_EQ(zeBox(0, 0, 20, 20), 0);
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(10, 10), 0, 255, 0)) << "the box";
	EXPECT_TRUE(near(screenPixel(60, 10), 0, 0, 255)) << "the display's clear";
}

// ---- One chain of every kind of command ---------------------------------------------------------
namespace
{
IZeEffect* g_cameraEffect = nullptr;

class CmdChain : public CmdsGL
{
protected:
	CmdChain()
	{
		WindowWidth = 160;
		WindowHeight = 120;
		Antialias = 1;
	}

	// The frame: a pair cleared to the backdrop, depth and normals, the light
	// buffer, the solid surfaces, volumetric lights, a halving shader while
	// the scene time is 1 to 2 s, glow, depth of field, the camera effects
	// written back into the pair, antialiasing at location 1 into the pair or
	// another texture, and gamma onto the display; or the antialiasing onto
	// the display itself.
	enum EOutput
	{
		ONTO_DISPLAY,
		INTO_PAIR,
		INTO_TEXTURE
	};
	void useChain(EOutput output)
	{
		if (Renderer)
			Renderer->drop();
		std::vector<Cmd> chain = {createTexture("Pic[0]", 0, 1), createTexture("Pic[1]", 0, 1), createTexture("Out", 0, 1),
			Cmd("Clear").out("Target", "Pic[]").i("UseBgColor", 1),
			Cmd("Shader").out("Color0", "NormalRTT").out("Color1", "DepthRTT").fx(DepthClear),
			Cmd("Render Objects").out("Color0", "NormalRTT").out("Color1", "DepthRTT").i("RenderList", 1).s("Technique",
				"depth"),
			Cmd("Light Pass").out("Target", "LightRTT"),
			Cmd("Render Objects").out("Color0", "Pic[]").i("RenderList", 1).i("ZBuffer", 2),
			Cmd("Light Volumetric").out("Target", "Pic[]"),
			Cmd("Shader").in("s0", "Pic[]").out("Color0", "Pic[]").fx(Half).i("UseStartEnd", 1).f("StartTime", 1).f(
				"EndTime", 2),
			Cmd("DownSample").in("Source", "Pic[]").out("Target", "HalfScreen[2]").i("When", 1),
			Cmd("Glow").in("Source", "HalfScreen[2]").out("Target", "Pic[]").i("When", 1),
			Cmd("Depth of Field").in("Source", "Pic[]").in("Depth", "DepthRTT").in("Work", "BackRTT[2]").out("Target",
				"Pic[]"),
			Cmd("Post Processing").in("Source", "Pic[]").out("Target", "Pic[]"),
			Cmd("Antialias").in("Source", "Pic[]").in("Work", "BackRTT[2]").in("History", "BackRTT[3]")};
		if (output == ONTO_DISPLAY)
			chain.back().out("Target", "Display");
		else
		{
			const char* target = output == INTO_PAIR ? "Pic[]" : "Out";
			chain.back().out("Target", target).i("When", 1);
			chain.push_back(Cmd("Gamma").in("Source", target).out("Target", "Display").i("When", 1));
		}
		use(chain);
	}

	// Pixels along rows through the turned square strictly between its
	// picture and the background's.
	int mixed(int darkest, int brightest)
	{
		int n = 0;
		for (int y = 44; y < 78; y += 3)
			for (int x = 28; x < 78; ++x)
				n += grey(x, y) > darkest + 20 && grey(x, y) < brightest - 20;
		return n;
	}

	IZeEffect* DepthClear = nullptr;
	IZeEffect* Half = nullptr;
};
} // namespace

TEST_F(CmdChain, EveryStageLeavesItsMarkAndTheAntialiasingKeepsThePostStep)
{
	DepthClear = loadEffect(zeFindDataFile("LppDepthClear.hlsl"));
	Half = loadEffect(ZELV_RENDER_TEST_DATA "scale.hlsl");
	g_cameraEffect = loadEffect(ZELV_RENDER_TEST_DATA "invert.hlsl");
	ASSERT_TRUE(DepthClear && Half && g_cameraEffect);
	camera(core::vector3df(0, 0, -6));
	Smgr->setAmbientLight(video::SColorf(0, 0, 0, 0));
	zeGetContext()->backdrop = video::SColor(0, 51, 102, 153);
	// Left a white square turned by 30 degrees, lit by the sun; right a
	// glowing one (x 94 to 121, y 46 to 74); a volumetric point light above.
	scene::IMeshSceneNode* turned = surfaceNode(rectangle({-1, -1, 0}, {2, 0, 0}, {0, 2, 0}), [](IZeSurfaceLightwave* s) {
		s->setParamFloat3(EZELW_BASE_COLOR, 1, 1, 1);
		s->setParamFloat(EZELW_SPECULARITY, 0.0f);
	});
	turned->setPosition({-2, 0, 0});
	turned->setRotation({0, 0, 30});
	surfaceNode(rectangle({1, -1, 0}, {2, 0, 0}, {0, 2, 0}), [](IZeSurfaceLightwave* s) {
		emissive(1, 1, 1)(s);
		s->setParamFloat(EZELW_GLOW, 1.0f);
		s->setParamFloat(EZELW_GLOW_VALUE, 1.0f);
	});
	scene::ILightSceneNode* sun = light(video::ELT_DIRECTIONAL, {0, 0, 0}, {0, 0, 0}, 100.0f);
	scene::ILightSceneNode* point = light(video::ELT_POINT, {0, 2.8f, 0}, {0, 0, 0}, 1.2f);
	SZeRenderParams& p = zeGetContext()->render;
	useChain(INTO_PAIR);
	zeEndFrame();
	// Cleared to the backdrop; the lit square and the glowing one drawn sharp.
	const Rgba backdrop = screenPixel(3, 3);
	EXPECT_TRUE(near(backdrop, 51, 102, 153));
	EXPECT_GT(grey(52, 60), 200);
	EXPECT_GT(grey(107, 60), 250);
	const int beside = grey(125, 60), inside = grey(119, 60), belowLight = grey(80, 22);
	EXPECT_EQ(beside, grey(3, 3));
	EXPECT_EQ(belowLight, grey(3, 3));

	// The light pass lights the left square: without the sun it is black.
	sun->setVisible(false);
	zeEndFrame();
	EXPECT_LT(grey(52, 60), 5);
	EXPECT_GT(grey(107, 60), 250);
	sun->setVisible(true);
	// The volumetric light shines through the air above.
	zeFindLightSceneNodeExt(point)->getParams().Volumetric = true;
	zeEndFrame();
	EXPECT_GT(grey(80, 22), belowLight + 20);
	EXPECT_TRUE(near(screenPixel(3, 3), backdrop.R, backdrop.G, backdrop.B));
	zeFindLightSceneNodeExt(point)->getParams().Volumetric = false;
	// The shader halves the picture while the scene time is within its window.
	Manager->getSceneManager()->setSceneTime(1500);
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(3, 3), 26, 51, 77));
	Manager->getSceneManager()->setSceneTime(2000);
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(3, 3), backdrop.R, backdrop.G, backdrop.B));
	// The glow brightens around the glowing square only.
	p.glowEnable = 1;
	p.glowIntensity = 1.0f;
	p.glowRadius = 16.0f;
	zeEndFrame();
	EXPECT_GT(grey(125, 60), beside + 20);
	EXPECT_TRUE(near(screenPixel(3, 3), backdrop.R, backdrop.G, backdrop.B));
	p.glowEnable = 0;
	// Focused far before everything, the depth of field softens the square's edge.
	p.dofMode = 1;
	p.dofFocalDistance = 1.0f;
	p.dofFStop = 0.1f;
	zeEndFrame();
	EXPECT_GT(grey(125, 60), beside + 10);
	EXPECT_LT(grey(119, 60), inside - 10);
	p.dofMode = 0;

	// The camera effect inverts the pair in place; antialiasing after it,
	// off, drawing (mode 1) or not (mode 3), keeps that picture.
	zeSetCameraEffectSource([](core::array<IZeEffect*>& out) { out.push_back(g_cameraEffect); });
	int* aa = p.antialias;
	aa[0] = aa[3] = aa[4] = aa[5] = 0;
	aa[1] = 1;
	for (EOutput output : {ONTO_DISPLAY, INTO_PAIR, INTO_TEXTURE})
	{
		useChain(output);
		for (int mode : {3, 1, 0})
		{
			aa[2] = mode;
			zeEndFrame();
			const std::string what = "mode " + std::to_string(mode) + " into " + std::to_string(output);
			EXPECT_TRUE(near(screenPixel(3, 3), 204, 153, 102)) << what;
			EXPECT_LT(grey(52, 60), 55) << what;
			EXPECT_LT(grey(107, 60), 5) << what;
			// Intermediate pixels along the turned square's edges with mode 1 only.
			const int n = mixed(grey(52, 60), grey(3, 3));
			if (mode == 1)
				EXPECT_GT(n, 10) << what;
			else
				EXPECT_EQ(n, 0) << what;
		}
	}
	aa[2] = 0;
	zeSetCameraEffectSource(nullptr);

	// Gamma lifts the backdrop onto the sRGB curve.
	useChain(INTO_PAIR);
	p.colorSpaceViewer = 1;
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(3, 3), 124, 170, 203, -1, 3));
}
