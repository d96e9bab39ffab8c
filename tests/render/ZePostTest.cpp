// Post-processing drawn for real (Xvfb, llvmpipe) and read back: the
// morphological and temporal antialiasing, glow and streaks, and the post
// chain. Targets hold images top row first.
#include "ZeRenderTestUtil.h"

#include "render/CZePostAntialias.h"
#include "render/CZePostChain.h"
#include "render/CZePostGlow.h"
#include "render/CZePostSMAA.h"

#include "frame/ZeTestDisplay.h"

using namespace irr;
using namespace zetest;

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

const u32 W = 128;
const u32 H = 96;

struct Colour
{
	f32 R, G, B;
};
const Colour INSIDE = {1.0f, 0.8f, 0.2f};
const Colour OUTSIDE = {0.1f, 0.2f, 0.6f};

class PostGL : public RenderGL
{
protected:
	PostGL()
	{
		WindowWidth = W;
		WindowHeight = H;
	}

	void SetUp() override
	{
		RenderGL::SetUp();
		if (IsSkipped() || HasFatalFailure())
			return;
		ASSERT_TRUE(Manager->getRendererManager()->createRenderTargets(ze::ECF_A16B16G16R16F, nullptr));
		for (u32 i = 0; i < 4; ++i)
		{
			Back[i] = ze::findTexture(Driver, (std::string("BackRTT[") + std::to_string(i) + "]").c_str());
			ASSERT_TRUE(Back[i]);
		}
		Shapes = loadEffect(ZELV_RENDER_TEST_DATA "shapes.hlsl");
		ASSERT_TRUE(Shapes);
		DriverExt = zeCreateVideoDriverExt(Driver);
	}

	void TearDown() override
	{
		delete DriverExt;
		RenderGL::TearDown();
	}

	void setColour(const char* name, const Colour& c, f32 alpha = 1.0f)
	{
		const f32 v[4] = {c.R, c.G, c.B, alpha};
		Shapes->setFloatArrayByName(name, v, 4);
	}

	// Inside where a x + b y + c < 0 (pixel centres, from the top left).
	void halfPlane(video::ITexture* target, f32 a, f32 b, f32 c)
	{
		const f32 line[3] = {a, b, c};
		Shapes->setFloatArrayByName("Line", line, 3);
		ASSERT_TRUE(Services->setRenderTargets(&target, 1));
		ASSERT_TRUE(Services->drawScreenQuad(Shapes, static_cast<u32>(Shapes->getTechniqueIndex("halfplane")), 0,
			nullptr));
	}

	// Inside within the rectangle (pixels), Outside elsewhere, or only the
	// rectangle with `only`.
	void rect(video::ITexture* target, f32 x0, f32 y0, f32 x1, f32 y1, bool only = false)
	{
		const f32 r[4] = {x0, y0, x1, y1};
		Shapes->setFloatArrayByName("Rect", r, 4);
		ASSERT_TRUE(Services->setRenderTargets(&target, 1));
		ASSERT_TRUE(Services->drawScreenQuad(Shapes,
			static_cast<u32>(Shapes->getTechniqueIndex(only ? "spot" : "rect")), 0, nullptr));
	}

	// The share of pixel (x, y) where a x + b y + c < 0, by 32 x 32 samples.
	static f32 coverage(u32 x, u32 y, f32 a, f32 b, f32 c)
	{
		int in = 0;
		for (int j = 0; j < 32; ++j)
			for (int i = 0; i < 32; ++i)
				in += a * (x + (i + 0.5f) / 32) + b * (y + (j + 0.5f) / 32) + c < 0;
		return in / 1024.0f;
	}

	// The engine's data file of a name (its own copy: the finder's buffer is shared).
	static std::string data(const char* name) { return zeFindDataFile(name); }

	bool loadSmaa(CZePostSMAA& smaa)
	{
		return smaa.load(Driver, Manager->getEffectManager(), Manager->getTextureManager(),
			data("SMAA-1-LumaEdgeDetection.fx").c_str(), data("SMAA-2-BlendingWeightCalculation.fx").c_str(),
			data("SMAA-3-NeighborhoodBlending.fx").c_str(), data("Gamma.hlsl").c_str(), "AreaTexDX9.png",
			"SearchTex.png");
	}

	static f32 red(const std::vector<float>& image, u32 x, u32 y) { return image[(y * W + x) * 4]; }

	video::ITexture* Back[4] = {};
	IZeEffect* Shapes = nullptr;
	IZeVideoDriverExt* DriverExt = nullptr;
};
} // namespace

// ---- Shader files ----------------------------------------------------------------------------
TEST_F(PostGL, EveryPostShaderFileLoadsThroughTheTranslator)
{
	for (const char* file : {"GaussianBlur.hlsl", "DownSampleBlur.hlsl", "ComposeUpSample.hlsl",
			 "LightStreakMaxInt.hlsl", "LightStreakDraw.hlsl", "GlowAlphaMul.hlsl", "Gamma.hlsl", "BlendAntialias.hlsl",
			 "SMAA-1-LumaEdgeDetection.fx", "SMAA-2-BlendingWeightCalculation.fx", "SMAA-3-NeighborhoodBlending.fx"})
		EXPECT_TRUE(loadEffect(zeFindDataFile(file))) << file;
	CZePostSMAA smaa;
	ASSERT_TRUE(loadSmaa(smaa));
	CZePostAntialias antialias;
	ASSERT_TRUE(antialias.load(&smaa, Manager->getEffectManager(), data("BlendAntialias.hlsl").c_str()));
}

// ---- Morphological antialiasing --------------------------------------------------------------
TEST_F(PostGL, SmaaBlendsADiagonalEdgeTowardsItsCoverageAndKeepsFlatAreas)
{
	CZePostSMAA smaa;
	ASSERT_TRUE(loadSmaa(smaa));
	setColour("Inside", INSIDE);
	setColour("Outside", OUTSIDE);
	struct SLine
	{
		f32 A, B, C;
		f32 ErrorShare;  // of the aliased picture's error at most left
	};
	// Shallow and steep edges, so that both the horizontal and the vertical
	// searches run; at 45 degrees the steps are single pixels, which the
	// orthogonal patterns soften less.
	for (const SLine& l : {SLine{0.25f, -1.0f, 30.0f, 0.35f}, SLine{-1.0f, 0.3f, 40.0f, 0.35f},
			 SLine{1.0f, -1.0f, -20.3f, 0.8f}})
	{
		SCOPED_TRACE(std::to_string(l.A) + " x + " + std::to_string(l.B) + " y");
		halfPlane(Back[0], l.A, l.B, l.C);
		const std::vector<float> input = read(Back[0]);
		smaa.render(Driver, DriverExt, Back[1], Back[0], Back[2], false, false);
		const std::vector<float> output = read(Back[1]);
		int flatChanged = 0, edgePixels = 0, partial = 0, intermediate = 0, intermediateBefore = 0;
		f32 inputError = 0, outputError = 0;
		for (u32 y = 2; y < H - 2; ++y)
			for (u32 x = 2; x < W - 2; ++x)
			{
				const f32 cov = coverage(x, y, l.A, l.B, l.C);
				bool flat = true;
				for (int dy = -2; dy <= 2; ++dy)
					for (int dx = -2; dx <= 2; ++dx)
						flat = flat && red(input, x + dx, y + dy) == red(input, x, y);
				const f32 in = red(input, x, y), out = red(output, x, y);
				if (flat)
				{
					flatChanged += std::fabs(out - in) > 1.0f / 512;
					continue;
				}
				++edgePixels;
				partial += cov > 0.05f && cov < 0.95f;
				intermediate += out > OUTSIDE.R + 0.02f && out < INSIDE.R - 0.02f;
				intermediateBefore += in > OUTSIDE.R + 0.02f && in < INSIDE.R - 0.02f;
				const f32 truth = OUTSIDE.R + (INSIDE.R - OUTSIDE.R) * cov;
				inputError += std::fabs(in - truth);
				outputError += std::fabs(out - truth);
			}
		EXPECT_EQ(flatChanged, 0);
		ASSERT_GT(edgePixels, 0);
		EXPECT_EQ(intermediateBefore, 0);
		EXPECT_GT(intermediate, partial * 3 / 4);
		EXPECT_LT(outputError, inputError * l.ErrorShare);
	}
}

// ---- Temporal antialiasing -------------------------------------------------------------------
TEST_F(PostGL, FourJitteredFramesOfAStillSceneBlendIntoASmootherEdge)
{
	IZeEffect* colour = loadEffect(ZELV_RENDER_TEST_DATA "colour.hlsl");
	ASSERT_TRUE(colour);
	scene::ICameraSceneNode* cam = camera(core::vector3df(0, 0, -10));
	scene::IMeshSceneNode* square = quad(colour, core::vector3df(-4, -4, 0), core::vector3df(8, 0, 0),
		core::vector3df(0, 8, 0), video::SColor(255, 255, 255, 255));
	square->setRotation(core::vector3df(0, 0, 17));
	zeGetContext()->backdrop = video::SColor(255, 0, 0, 0);
	const core::matrix4 projection = cam->getProjectionMatrix();

	CZePostAntialias antialias;
	ASSERT_TRUE(antialias.load(nullptr, Manager->getEffectManager(), data("BlendAntialias.hlsl").c_str()));
	antialias.Mode = 0;
	antialias.Blending = 1;
	antialias.Jitter = 2;  // 4 positions
	const f32 b = antialias.getBlendFactor(false);
	ASSERT_FLOAT_EQ(b, 0.25f);

	// Each jittered frame on its own, and the blend the history should hold.
	std::vector<float> expected;
	std::vector<std::vector<float>> frames;
	for (u32 frame = 0; frame < 4; ++frame)
	{
		core::matrix4 jitter;
		antialias.getJitterMatrix(jitter, frame, W, H);
		cam->setProjectionMatrix(jitter * projection);
		ASSERT_EQ(zeRenderToTexture(Back[0], 1), 0);
		frames.push_back(read(Back[0]));
		if (frame == 0)
			expected = frames.back();
		else
			for (size_t i = 0; i < expected.size(); ++i)
				expected[i] = b * frames.back()[i] + (1 - b) * expected[i];
		video::ITexture* result =
			antialias.render(Driver, DriverExt, Services, Back[1], Back[0], Back[2], Back[3], false, false, frame == 0);
		EXPECT_EQ(result, frame == 0 ? Back[0] : Back[1]);  // the first frame is only copied
	}
	const std::vector<float> history = read(Back[3]);
	int wrong = 0, smooth = 0, aliased = 0, moved = 0;
	for (u32 y = 0; y < H; ++y)
		for (u32 x = 0; x < W; ++x)
		{
			const size_t i = (y * W + x) * 4;
			wrong += std::fabs(history[i] - expected[i]) > 2.0f / 255;
			smooth += history[i] > 0.05f && history[i] < 0.95f;
			aliased += frames[0][i] > 0.05f && frames[0][i] < 0.95f;
			moved += frames[0][i] != frames[2][i];
		}
	EXPECT_GT(moved, 20);  // the jitter moves the edge
	EXPECT_EQ(aliased, 0);
	EXPECT_EQ(wrong, 0);
	EXPECT_GT(smooth, moved / 2);
	// A camera cut starts the history again from the frame as it is.
	antialias.render(Driver, DriverExt, Services, Back[1], Back[0], Back[2], Back[3], false, false, true);
	const std::vector<float> restarted = read(Back[3]);
	int changed = 0;
	for (size_t i = 0; i < restarted.size(); ++i)
		changed += std::fabs(restarted[i] - frames[3][i]) > 1.0f / 1024;
	EXPECT_EQ(changed, 0);
}

TEST_F(PostGL, SmaaWithoutBlendingGoesStraightToTheBackBuffer)
{
	CZePostSMAA smaa;
	ASSERT_TRUE(loadSmaa(smaa));
	CZePostAntialias antialias;
	ASSERT_TRUE(antialias.load(&smaa, Manager->getEffectManager(), data("BlendAntialias.hlsl").c_str()));
	setColour("Inside", INSIDE);
	setColour("Outside", OUTSIDE);
	halfPlane(Back[0], 0.25f, -1.0f, 30.0f);
	// The same through the work target first, then to the display.
	EXPECT_EQ(antialias.render(Driver, DriverExt, Services, Back[1], Back[0], Back[2], Back[3], false, false, false),
		Back[1]);
	const std::vector<float> reference = read(Back[1]);
	Services->setRenderTargets(nullptr, 0);
	Driver->beginScene(true, false, video::SColor(255, 255, 0, 255));
	antialias.render(Driver, DriverExt, Services, Back[1], Back[0], Back[2], Back[3], true, false, false);
	int wrong = 0;
	for (u32 y = 0; y < H; y += 3)
		for (u32 x = 0; x < W; x += 3)
		{
			const Rgba expected = texel(reference, W, x, y);
			wrong += !near(screenPixel(static_cast<int>(x), static_cast<int>(y)), expected.R, expected.G, expected.B);
		}
	EXPECT_EQ(wrong, 0);
	Driver->endScene();
}

// ---- Glow and streaks -------------------------------------------------------------------------
namespace
{
class GlowGL : public PostGL
{
protected:
	void SetUp() override
	{
		PostGL::SetUp();
		if (IsSkipped() || HasFatalFailure())
			return;
		IZeEffectManager* effects = Manager->getEffectManager();
		ASSERT_TRUE(Down.load(effects, data("DownSampleBlur.hlsl").c_str(), nullptr));
		ASSERT_TRUE(Blur.load(effects, data("GaussianBlur.hlsl").c_str(), nullptr));
		ASSERT_TRUE(Compose.load(effects, data("ComposeUpSample.hlsl").c_str(), nullptr));
		ASSERT_TRUE(Streak.load(&Compose, effects, data("LightStreakMaxInt.hlsl").c_str(),
			data("LightStreakDraw.hlsl").c_str()));
		const char* names[13] = {"HalfScreen[0]", "HalfScreen[1]", "HalfScreen[2]", "QuarterScreen[0]",
			"QuarterScreen[1]", "EighthScreen[0]", "EighthScreen[1]", "SixTeenthScreen[0]", "SixTeenthScreen[1]",
			"ThirtyTwothScreen[0]", "ThirtyTwothScreen[1]", "SixtyFourthScreen[0]", "SixtyFourthScreen[1]"};
		for (u32 i = 0; i < 13; ++i)
		{
			Targets[i] = ze::findTexture(Driver, names[i]);
			ASSERT_TRUE(Targets[i]) << names[i];
		}
		ASSERT_TRUE(Glow.load(&Down, &Blur, &Compose, &Streak, Targets, Targets + 3, Targets + 5, Targets + 7,
			Targets + 9, Targets + 11, effects, data("GlowAlphaMul.hlsl").c_str()));
		setColour("Outside", Colour{0, 0, 0});
	}

	// Black everywhere.
	void clear(video::ITexture* target) { rect(target, 0, 0, 0, 0); }

	CZePostEffect Down, Blur, Compose;
	SZeLightStreak Streak;
	CZePostGlow Glow;
	video::ITexture* Targets[13] = {};
};
} // namespace

TEST_F(GlowGL, GlowSpreadsAroundABrightSquareFallingOffWithDistance)
{
	// A white square that glows fully, and one that does not glow (alpha 0).
	setColour("Inside", Colour{1, 1, 1}, 1.0f);
	clear(Back[0]);
	rect(Back[0], 30, 44, 38, 52);
	setColour("Inside", Colour{1, 1, 1}, 0.0f);
	rect(Back[0], 100, 10, 108, 18, true);
	std::vector<float> glow16, glow40;
	for (f32 radius : {16.0f, 40.0f})
	{
		clear(Back[1]);
		Glow.render(Driver, Back[1], Back[0], radius, 1.0f, false);
		(radius == 16.0f ? glow16 : glow40) = read(Back[1]);
	}
	// Rightwards from the lit square's edge at x = 38 on its middle row.
	for (const std::vector<float>* g : {&glow16, &glow40})
	{
		EXPECT_GT(red(*g, 34, 48), 0.1f);
		f32 last = red(*g, 38, 48);
		EXPECT_GT(last, 0.02f);
		for (u32 x = 39; x < 80; ++x)
		{
			EXPECT_LE(red(*g, x, 48), last + 1e-3f) << x;
			last = red(*g, x, 48);
		}
		EXPECT_LT(red(*g, 60, 48), red(*g, 40, 48) / 4);
	}
	// Far away, and around the square without glow, nothing at the smaller
	// radius (the larger one reaches the 1/32 level, which spreads over the
	// whole of this small screen).
	for (u32 y : {0u, 95u})
		for (u32 x = 0; x < W; x += 5)
			EXPECT_LT(red(glow16, x, y), 1.0f / 255) << x << "," << y;
	EXPECT_LT(red(glow16, 104, 14), 1.0f / 255);
	EXPECT_LT(red(glow40, 104, 14), red(glow40, 60, 48));
	// The wider radius reaches farther.
	EXPECT_GT(red(glow40, 56, 48), red(glow16, 56, 48) + 0.01f);
}

TEST_F(GlowGL, GlowOfTheHalfScreenItWritesFirstReadsACopy)
{
	video::ITexture* half1 = Targets[1];
	setColour("Inside", Colour{1, 1, 1}, 1.0f);
	clear(half1);
	rect(half1, 15, 22, 19, 26);  // the square of the last test at half size
	clear(Back[1]);
	Glow.render(Driver, Back[1], half1, 16.0f, 1.0f, false);
	EXPECT_EQ(linesWith("CZePostGlow error: Half Source cannot be set to Texture Half [1]"), 1);
	const std::vector<float> glow = read(Back[1]);
	EXPECT_GT(red(glow, 34, 48), 0.1f);
	EXPECT_GT(red(glow, 42, 48), 0.02f);
	EXPECT_LT(red(glow, 100, 48), 1.0f / 255);
}

TEST_F(GlowGL, StreaksDrawALineThroughABrightPointAlongTheirAngle)
{
	video::ITexture* half1 = Targets[1];
	setColour("Inside", Colour{8, 8, 8}, 1.0f);
	clear(Back[0]);
	rect(Back[0], 64, 48, 68, 52);  // quarter-size pixel (16, 12)
	for (f32 angle : {0.0f, 90.0f})
	{
		SCOPED_TRACE(angle);
		Streak.Angle = angle;
		clear(half1);
		Streak.render(Driver, half1, Back[0], Targets[3], Targets[4]);
		const std::vector<float> streak = read(half1);  // 64 x 48, the point at (32..33, 24..25)
		auto at = [&](int along, int across) {
			const u32 x = angle == 0.0f ? static_cast<u32>(32 + along) : static_cast<u32>(32 + across);
			const u32 y = angle == 0.0f ? static_cast<u32>(24 + across) : static_cast<u32>(24 + along);
			return streak[(y * 64 + x) * 4 + 2];  // blue: colorize keeps it
		};
		for (int d : {6, 12, -6, -12})
		{
			EXPECT_GT(at(d, 0), 0.01f) << "along " << d;
			EXPECT_LT(at(0, d), 1e-4f) << "across " << d;
		}
		EXPECT_GT(at(6, 0), at(14, 0));
	}
}

// ---- Post chain --------------------------------------------------------------------------------
TEST_F(PostGL, PostChainOfInvertThenHalfGivesTheComposedColour)
{
	IZeEffect* invert = loadEffect(ZELV_RENDER_TEST_DATA "invert.hlsl");
	IZeEffect* half = loadEffect(ZELV_RENDER_TEST_DATA "scale.hlsl");
	ASSERT_TRUE(invert && half);
	setColour("Inside", Colour{0.8f, 0.4f, 0.2f});
	setColour("Outside", Colour{0, 0.5f, 1});
	CZePostChain chain;
	core::array<IZeEffect*> list;
	list.push_back(invert);
	list.push_back(half);
	ASSERT_EQ(chain.setEffects(list), 2u);
	rect(Back[0], 0, 0, 64, 96);
	EXPECT_EQ(chain.render(Driver, Services, Back[0], Back[0], Back[1], nullptr, false, false), Back[0]);
	std::vector<float> image = read(Back[0]);
	EXPECT_TRUE(near(texel(image, W, 10, 10), 26, 76, 102));  // (1 - c) / 2
	EXPECT_TRUE(near(texel(image, W, 100, 10), 128, 64, 0));

	// Three effects end in the second texture and are copied back.
	list.push_back(invert);
	ASSERT_EQ(chain.setEffects(list), 3u);
	rect(Back[0], 0, 0, 64, 96);
	EXPECT_EQ(chain.render(Driver, Services, Back[0], Back[0], Back[1], nullptr, false, false), Back[0]);
	image = read(Back[0]);
	EXPECT_TRUE(near(texel(image, W, 10, 10), 230, 179, 153));
	EXPECT_TRUE(near(texel(image, W, 100, 10), 128, 191, 255));
}
