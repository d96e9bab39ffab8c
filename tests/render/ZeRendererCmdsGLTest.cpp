// The command renderer on OpenGL (Xvfb, llvmpipe): the render targets of
// "Create Texture" commands, and whole frames drawn by command lists through
// the frame end and read back from the window.
#include "ZeRenderTestUtil.h"

#include "core/IZeRendererCtxAdv.h"
#include "render/CZeRendererCmds.h"
#include "render/IZeSceneNodeExt.h"

#include "frame/ZeTestDisplay.h"

#include <initializer_list>
#include <iostream>

using namespace irr;
using namespace zetest;

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

SZeCommandParameter integer(const char* name, s32 value)
{
	SZeCommandParameter p;
	p.Name = name;
	p.Int = value;
	return p;
}

SZeCommandParameter text(const char* name, const char* value)
{
	SZeCommandParameter p;
	p.Name = name;
	p.Kind = EZCPK_STRING;
	p.String = value;
	return p;
}

// A "Create Texture" command.
SZeRenderCommand createTexture(const char* texture, s32 format, s32 size, s32 width = 0, s32 height = 0,
	s32 ownZBuffer = 0)
{
	SZeRenderCommand c;
	c.Name = "make";
	c.Kind = "Create Texture";
	c.Parameters.push_back(text("Name", texture));
	for (const SZeCommandParameter& p : {integer("ColorFormat", format), integer("Size", size),
			 integer("SizeWidth", width), integer("SizeHeight", height), integer("OwnZBuffer", ownZBuffer)})
		c.Parameters.push_back(p);
	return c;
}

SZeRenderCommand command(const char* kind, std::initializer_list<SZeCommandConnect> inputs,
	std::initializer_list<SZeCommandConnect> outputs, std::initializer_list<SZeCommandParameter> parameters)
{
	SZeRenderCommand c;
	c.Name = kind;
	c.Kind = kind;
	for (const SZeCommandConnect& i : inputs)
		c.Inputs.push_back(i);
	for (const SZeCommandConnect& o : outputs)
		c.Outputs.push_back(o);
	for (const SZeCommandParameter& p : parameters)
		c.Parameters.push_back(p);
	return c;
}

SZeCommandParameter colour(f32 r, f32 g, f32 b)
{
	SZeCommandParameter p;
	p.Name = "ClearColor";
	p.Kind = EZCPK_FLOAT3;
	p.Float3[0] = r;
	p.Float3[1] = g;
	p.Float3[2] = b;
	return p;
}

SZeCommandParameter shader(IZeEffect* effect)
{
	SZeCommandParameter p;
	p.Name = "Shader";
	p.Kind = EZCPK_EFFECT;
	p.Effect = effect;
	return p;
}

class CmdsGL : public RenderGL
{
protected:
	CmdsGL()
	{
		WindowWidth = 96;
		WindowHeight = 20;
		LightPrePass = 1;
	}
	void SetUp() override
	{
		RenderGL::SetUp();
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
		RenderGL::TearDown();
	}

	bool make(const SZeRenderCommand& c)
	{
		logLines().clear();
		return zeCreateTextureFromCommand(Driver, c);
	}

	// Makes the description's textures and a command renderer of it, current for the frames.
	void use(const SZeRendererDesc& desc)
	{
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
	SZeRenderCommand unnamed = createTexture("", 4, 1);
	SZeRenderCommand noOwn = createTexture("N", 4, 1);
	noOwn.Parameters.erase(5);
	for (const SZeRenderCommand& c : {unnamed, noOwn, createTexture("N", 4, 0, 0, 8), createTexture("N", 4, 0, 8, -2)})
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
		SZeRenderCommand Command;
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
		// Larger than any texture the driver makes.
		EXPECT_FALSE(make(createTexture("Huge", 4, 0, 1 << 20, 1 << 20)));
		EXPECT_EQ(linesWith("Create texture 'make' : failed to add render target texture 'Huge'"), 1);
		EXPECT_EQ(Driver->getTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS), before);
	}
}

// ---- Frames -----------------------------------------------------------------------------------------
TEST_F(CmdsGL, ClearTintAndGammaToTheDisplay)
{
	IZeEffect* half = loadEffect(ZELV_RENDER_TEST_DATA "scale.hlsl");
	ASSERT_TRUE(half);
	SZeRendererDesc desc;
	desc.Commands.push_back(createTexture("Pic[0]", 4, 1));
	desc.Commands.push_back(createTexture("Pic[1]", 4, 1));
	desc.Commands.push_back(command("Clear", {}, {{"Target", "Pic[]"}}, {colour(0.2f, 0.4f, 0.6f)}));
	desc.Commands.push_back(command("Shader", {{"s0", "Pic[]"}}, {{"Color0", "Pic[]"}}, {shader(half)}));
	desc.Commands.push_back(command("Gamma", {{"Source", "Pic[]"}}, {{"Target", "Display"}}, {}));
	use(desc);
	zeEndFrame();
	// Halved to (0.1, 0.2, 0.3), then on the sRGB curve.
	EXPECT_TRUE(near(screenPixel(48, 10), 89, 124, 149, -1, 2));
	EXPECT_TRUE(near(screenPixel(2, 18), 89, 124, 149, -1, 2));
}

TEST_F(CmdsGL, TwoShaderPassesOnOnePairBothApply)
{
	IZeEffect* half = loadEffect(ZELV_RENDER_TEST_DATA "scale.hlsl");
	ASSERT_TRUE(half);
	SZeRendererDesc desc;
	desc.Commands.push_back(createTexture("Pic[0]", 4, 1));
	desc.Commands.push_back(createTexture("Pic[1]", 4, 1));
	desc.Commands.push_back(command("Clear", {}, {{"Target", "Pic[]"}}, {colour(0.8f, 0.4f, 1.0f)}));
	for (int pass = 0; pass < 2; ++pass)
		desc.Commands.push_back(command("Shader", {{"s0", "Pic[]"}}, {{"Color0", "Pic[]"}}, {shader(half)}));
	// Gamma only when the settings ask: here the picture is copied through.
	desc.Commands.push_back(command("Gamma", {{"Source", "Pic[]"}}, {{"Target", "Display"}}, {integer("When", 1)}));
	use(desc);
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
		SZeRendererDesc desc;
		desc.Commands.push_back(command("Clear", {}, {{"Target", "Display"}}, {colour(0, 0, 1)}));
		desc.Commands.push_back(command("Render Objects", {}, {{"Color0", "Display"}},
			{integer("RenderList", 0), integer("HideSet", c.Hide), integer("ShowSet", c.Show)}));
		if (Renderer)
			Renderer->drop();
		use(desc);
		zeEndFrame();
		EXPECT_TRUE(near(screenPixel(30, 10), c.LeftRed, 0, c.LeftRed ? 0 : 255));
		EXPECT_TRUE(near(screenPixel(66, 10), 0, c.RightGreen, c.RightGreen ? 0 : 255));
	}
}
