// The effect, screen-quad, cube-map and object surface APIs drawing for real
// (Xvfb, llvmpipe), read back from the window or the targets.
#include "render/ZeRenderTestUtil.h"

#include "api/ZeCubeMapApi.h"
#include "api/ZeEffectApi.h"
#include "api/ZeObjectApi.h"
#include "api/ZeObjectSurfaceApi.h"
#include "api/ZeScreenQuadApi.h"
#include "core/IZeCubeMap.h"
#include "core/IZeRenderer.h"
#include "frame/ZeDraw2D.h"
#include "libext/ZeMaterialExt.h"
#include "render/IZeSceneNodeExt.h"
#include "render/IZeSurfaceLightwave.h"
#include "scene/ZeShaderDesc.h"

#include "frame/ZeTestDisplay.h"

#include <fstream>

#include <unistd.h>

using namespace irr;
using namespace zetest;

#define ZELV_API_TEST_DATA ZELV_SOURCE_DIR "/tests/api/data/"

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

const int W = 64;
const int H = 48;

std::string takeError(int* code = nullptr)
{
	const char* text = zeGetError(code);
	const std::string result = text ? text : "";
	zeClearError();
	return result;
}

class EngineApiGL : public RenderGL
{
protected:
	// The whole back buffer, rows from the top.
	std::vector<Rgba> window()
	{
		std::vector<unsigned char> bytes(static_cast<size_t>(W) * H * 4);
		glReadBuffer(GL_BACK);
		glPixelStorei(GL_PACK_ALIGNMENT, 1);
		glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
		std::vector<Rgba> pixels(static_cast<size_t>(W) * H);
		for (int y = 0; y < H; ++y)
			for (int x = 0; x < W; ++x)
			{
				const unsigned char* p = &bytes[(static_cast<size_t>(H - 1 - y) * W + x) * 4];
				pixels[static_cast<size_t>(y) * W + x] = {p[0], p[1], p[2], p[3]};
			}
		return pixels;
	}
	// The pixels outside `inside` are black, those inside pass `check`.
	template <typename Check>
	void expectOnlyInside(const core::rect<s32>& inside, Check check)
	{
		const std::vector<Rgba> pixels = window();
		int wrong = 0;
		for (int y = 0; y < H; ++y)
			for (int x = 0; x < W; ++x)
			{
				const Rgba& p = pixels[static_cast<size_t>(y) * W + x];
				const bool in = inside.isPointInside(core::position2di(x, y)) && x < inside.LowerRightCorner.X &&
					y < inside.LowerRightCorner.Y;
				const bool ok = in ? bool(check(x, y, p)) : bool(near(p, 0, 0, 0));
				if (!ok && ++wrong <= 5)
					ADD_FAILURE() << "pixel " << x << "," << y << (in ? " inside" : " outside") << ": "
						<< near(p, 0, 0, 0).message();
			}
		EXPECT_EQ(wrong, 0);
	}
	std::vector<f32> values(IZeEffect* effect, const char* name)
	{
		std::vector<f32> v(4, -1.f);
		v.resize(effect->getFloatArray(effect->getParameterByName(name), v.data(), 4));
		return v;
	}
};

TEST_F(EngineApiGL, ABoxWithEffectFillsExactlyItsRectangle)
{
	ASSERT_EQ(zeLoadEffect(ZELV_API_TEST_DATA "box.hlsl", 1), 0) << takeError();
	IZeEffect* effect = zeGetEffect(1);
	Driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
	EXPECT_EQ(zeDrawBoxWithEffect(core::rect<s32>(10, 20, 30, 35), 1, 0xFF00FF00), 0);
	expectOnlyInside(core::rect<s32>(10, 20, 30, 35), [](int, int, const Rgba& p) { return near(p, 0, 255, 0); });
	Driver->endScene();
	EXPECT_EQ(values(effect, "Rectangle"), (std::vector<f32>{10, 20, 20, 15}));

	// Through the frame's 2D list, in the ink's colour.
	Driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
	zeInk(0x0000FF);
	zeInkAlpha(255);
	ASSERT_EQ(zeBoxWithEffect(40, 2, 63, 47, 1), 0);
	zeDraw2DList();
	expectOnlyInside(core::rect<s32>(40, 2, 63, 47), [](int, int, const Rgba& p) { return near(p, 0, 0, 255); });
	Driver->endScene();

	Driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
	EXPECT_EQ(zeDrawBoxWithEffect(core::rect<s32>(10, 20, 110, 70), 1, 0x80FF0000), 0);
	Driver->endScene();
	EXPECT_EQ(values(effect, "Rectangle"), (std::vector<f32>{10, 20, 100, 50}));
	const std::vector<f32> colour = values(effect, "Color");
	ASSERT_EQ(colour.size(), 4u);
	EXPECT_FLOAT_EQ(colour[0], 1.f);
	EXPECT_FLOAT_EQ(colour[1], 0.f);
	EXPECT_FLOAT_EQ(colour[2], 0.f);
	EXPECT_NEAR(colour[3], 0.502f, 0.0005f);

	EXPECT_EQ(zeDrawBoxWithEffect(core::rect<s32>(0, 0, 8, 8), 2, 0xFFFFFFFF), -1);
	EXPECT_EQ(takeError(), "") << "a missing effect draws nothing and says nothing";

	// An effect without "Rectangle" and "Color" still draws the quad.
	ASSERT_EQ(zeLoadEffect(ZELV_API_TEST_DATA "fill.hlsl", 2), 0) << takeError();
	Driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
	EXPECT_EQ(zeDrawBoxWithEffect(core::rect<s32>(0, 0, 8, 8), 2, 0xFFFFFFFF), 0);
	expectOnlyInside(core::rect<s32>(0, 0, W, H), [](int, int, const Rgba& p) { return near(p, 255, 255, 0); });
	Driver->endScene();
}

// The process's resident memory in bytes.
long residentBytes()
{
	long pages = 0, resident = 0;
	std::ifstream("/proc/self/statm") >> pages >> resident;
	return resident * sysconf(_SC_PAGESIZE);
}
#if defined(__SANITIZE_ADDRESS__)
const bool QUARANTINE = true;  // the sanitizer's allocator keeps freed memory resident for a while
#else
const bool QUARANTINE = false;
#endif

// Frames of a thousand boxes through an effect, ended without the engine's
// frame end, so that no collection of side records runs between them.
TEST_F(EngineApiGL, BoxesWithEffectLeaveNoSideRecordsBehind)
{
	ASSERT_EQ(zeLoadEffect(ZELV_API_TEST_DATA "box.hlsl", 1), 0) << takeError();
	const core::rect<s32> box(10, 20, 30, 35);
	auto frames = [&](int count) {
		for (int f = 0; f < count; ++f)
		{
			Driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
			for (int i = 0; i < 1000; ++i)
				ASSERT_EQ(zeDrawBoxWithEffect(box, 1, 0xFF00FF00), 0);
			Driver->endScene();
		}
	};
	frames(2);
	const u32 records = ze::getMaterialExtCount();
	const long resident = residentBytes();
	frames(100);
	EXPECT_EQ(ze::getMaterialExtCount(), records);
	if (!QUARANTINE)
	{
		EXPECT_LT(residentBytes() - resident, 4L << 20);
	}

	// More boxes than there are records to be had still draw their colour.
	ze::setMaterialExtLimitForTests(ze::getMaterialExtCount() + 16);
	Driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
	for (int i = 0; i < 64; ++i)
		zeDrawBoxWithEffect(box, 1, 0xFF0000FF);
	ze::setMaterialExtLimitForTests(0);
	expectOnlyInside(box, [](int, int, const Rgba& p) { return near(p, 0, 0, 255); });
	Driver->endScene();
}

TEST_F(EngineApiGL, AnImageWithEffectShowsTheImageThroughTheEffectAndIsNotKept)
{
	ASSERT_EQ(zeLoadEffect(ZELV_API_TEST_DATA "image.hlsl", 3), 0) << takeError();
	IZeEffect* effect = zeGetEffect(3);
	video::IImage* image = Driver->createImage(video::ECF_A8R8G8B8, core::dimension2d<u32>(2, 1));
	image->setPixel(0, 0, video::SColor(255, 255, 0, 0));
	image->setPixel(1, 0, video::SColor(255, 0, 255, 0));
	video::ITexture* texture = Driver->addTexture("halves", image);
	image->drop();
	ASSERT_TRUE(texture);
	const s32 references = texture->getReferenceCount();

	Driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
	EXPECT_EQ(zeDrawImageWithEffect(core::rect<s32>(8, 8, 40, 24), 3, 0xFFFFFFFF, texture), 0);
	expectOnlyInside(core::rect<s32>(8, 8, 40, 24), [](int x, int, const Rgba& p) {
		return x < 24 ? near(p, 0, 255, 255) : near(p, 255, 0, 255);
	});
	Driver->endScene();
	EXPECT_EQ(effect->getSamplerTexture(effect->getParameterByName("Image")), nullptr);
	EXPECT_EQ(texture->getReferenceCount(), references) << "nothing holds the image after the draw";

	// Queued through the frame's 2D list, tinted by its colour.
	Driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
	ASSERT_EQ(zeDrawListAddImageWithEffect(texture, 0, 0, 64, 48, 0xFFFFFF00, 3), 0);
	zeDraw2DList();
	expectOnlyInside(core::rect<s32>(0, 0, W, H), [](int x, int, const Rgba& p) {
		return x < 32 ? near(p, 0, 255, 0) : near(p, 255, 0, 0);
	});
	Driver->endScene();
	zeDraw2DList();  // the next frame's list: the last one lets its image go
	EXPECT_EQ(texture->getReferenceCount(), references);
	Driver->removeTexture(texture);
}

const video::SColor WALLS[6] = {{255, 255, 0, 0}, {255, 0, 255, 0}, {255, 0, 0, 255}, {255, 255, 255, 0},
	{255, 0, 255, 255}, {255, 255, 0, 255}};

TEST_F(EngineApiGL, RenderingACubeMapByIdCapturesTheSceneUntilUpdated)
{
	IZeEffect* colour = loadEffect(ZELV_RENDER_TEST_DATA "colour.hlsl");
	ASSERT_TRUE(colour);
	const f32 s = 5.f;
	quad(colour, {s, -s, -s}, {0, 2 * s, 0}, {0, 0, 2 * s}, WALLS[0]);
	quad(colour, {-s, -s, -s}, {0, 2 * s, 0}, {0, 0, 2 * s}, WALLS[1]);
	quad(colour, {-s, s, -s}, {2 * s, 0, 0}, {0, 0, 2 * s}, WALLS[2]);
	quad(colour, {-s, -s, -s}, {2 * s, 0, 0}, {0, 0, 2 * s}, WALLS[3]);
	quad(colour, {-s, -s, s}, {2 * s, 0, 0}, {0, 2 * s, 0}, WALLS[4]);
	quad(colour, {-s, -s, -s}, {2 * s, 0, 0}, {0, 2 * s, 0}, WALLS[5]);
	camera(core::vector3df(0, 0, -1));

	ASSERT_EQ(zeMakeCubeMap(4, 32, 0), 0) << takeError();
	EXPECT_EQ(zeCubeMapIsRendered(4), 0);
	ASSERT_EQ(zeRenderCubeMap(4, 0, 0, 0), 0) << takeError();
	zeEndFrame();
	EXPECT_EQ(zeCubeMapIsRendered(4), 1);
	video::ITexture* cube = zeGetCubeMap(4)->getCubeTexture();
	for (u32 face = 0; face < 6; ++face)
	{
		const std::vector<float> texels = read(cube, face);
		ASSERT_EQ(texels.size(), 32u * 32u * 4u);
		EXPECT_TRUE(near(texel(texels, 32, 16, 16), WALLS[face].getRed(), WALLS[face].getGreen(),
			WALLS[face].getBlue())) << "face " << face;
	}
	zeCubeMapUpdate(4);
	EXPECT_EQ(zeCubeMapIsRendered(4), 0);
	EXPECT_EQ(takeError(), "");

	// A renderer that draws nothing captures nothing.
	struct Idle : IZeRenderer
	{
		bool render(video::ITexture*) override { return false; }
	};
	Idle* idle = new Idle();
	zeSetCurrentRenderer(idle);
	int code = 0;
	EXPECT_EQ(zeRenderCubeMap(4, 0, 0, 0), -1);
	EXPECT_EQ(takeError(&code), "Failed to render cube map");
	EXPECT_EQ(code, -1);
	EXPECT_EQ(zeCubeMapIsRendered(4), 0);
	zeEndFrame();
	zeSetCurrentRenderer(nullptr);
	idle->drop();

	EXPECT_EQ(zeRenderCubeMap(7, 0, 0, 0), -1);
	EXPECT_EQ(takeError(&code), "CubeMap ID 7 does not exist. id 7 does not exist");
	EXPECT_EQ(code, 1);
	EXPECT_EQ(zeCubeMapIsRendered(7), 0);
	EXPECT_EQ(takeError(&code), "CubeMap ID 7 does not exist. id 7 does not exist");
	zeCubeMapUpdate(7);
	EXPECT_EQ(takeError(&code), "CubeMap ID 7 does not exist. id 7 does not exist");
}

// A quad facing the camera as an object.
class ObjectSurfaceGL : public EngineApiGL
{
protected:
	void SetUp() override
	{
		EngineApiGL::SetUp();
		if (IsSkipped() || HasFatalFailure())
			return;
		Quad = Tmp + "/quad.obj";
		std::ofstream(Quad) << "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\nf 1 2 3\nf 1 3 4\n";
		Smgr->setAmbientLight(video::SColorf(0, 0, 0));
		camera(core::vector3df(0, 0, -4));
	}
	Rgba centre()
	{
		Driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
		zeGetCurrentRenderer()->render(nullptr);
		const Rgba p = screenPixel(W / 2, H / 2);
		Driver->endScene();
		return p;
	}
	std::string Quad;
};

TEST_F(ObjectSurfaceGL, AChannelChangeShowsOnceTheObjectIsUpdatedFromItsSurfaces)
{
	ASSERT_EQ(zeLoadObject(Quad.c_str(), 1), 0) << takeError();
	zeSetObjectSurfaceParamFloat3(1, 0, zeGetSurfaceParamIndex("BaseColor"), 1, 0, 0);
	zeSetObjectSurfaceParamFloat(1, 0, zeGetSurfaceParamIndex("Luminosity"), 1);
	zeSetObjectSurfaceParamFloat(1, 0, zeGetSurfaceParamIndex("Diffuse"), 0);
	zeSetObjectSurfaceParamInt(1, 0, zeGetSurfaceParamIndex("Sidedness"), 3);
	zeUpdateObjectFromSurfaces(1);
	EXPECT_EQ(takeError(), "");
	EXPECT_TRUE(near(centre(), 255, 0, 0));

	zeSetObjectSurfaceParamFloat3(1, 0, zeGetSurfaceParamIndex("BaseColor"), 0, 0, 1);
	EXPECT_TRUE(near(centre(), 255, 0, 0)) << "the material follows the surface only when updated";
	zeUpdateObjectFromSurfaces(1);
	EXPECT_TRUE(near(centre(), 0, 0, 255));
}

// A recompile of an object with a cube map and no reflection image reflects
// the cube map: the surface compiles with "USE_NODECUBEMAP".
TEST_F(ObjectSurfaceGL, ARecompileBindsTheNodesCubeMapAsTheReflectionImage)
{
	ASSERT_EQ(zeLoadObject(Quad.c_str(), 1), 0) << takeError();
	ASSERT_EQ(zeLoadObject(Quad.c_str(), 2), 0) << takeError();
	ASSERT_EQ(zeMakeCubeMap(1, 16, 0), 0) << takeError();
	zeSetObjectCubeMap(1, 1);
	SZeSurfaceDesc record = {};
	for (SZeSurfaceChannel& c : record.channels)
		c.kind = EZSVK_NONE;
	record.channels[EZELW_REFLECTION_OPTIONS].kind = EZSVK_INT;
	record.channels[EZELW_REFLECTION_OPTIONS].intValue = 2;
	record.channels[EZELW_REFLECTIVITY].kind = EZSVK_FLOAT;
	record.channels[EZELW_REFLECTIVITY].value[0] = 1;
	record.hasEffect = 1;
	record.effect.filename = ZELV_API_TEST_DATA "surface.hlsl";
	record.effect.paramCount = 1;
	record.effect.params[0] = {"Tint", EZSVK_VECTOR, {0, 1, 0}, 0, nullptr, 0, 0};

	zeUpdateObjectSurfaces(1, 1, &record, 1);
	zeUpdateObjectSurfaces(2, 1, &record, 1);
	EXPECT_EQ(takeError(), "");
	IZeSceneNodeExt* mirrored = zeGetNodeExt(zeGetObjectNode(1));
	IZeEffect* withMap = mirrored->getMaterialEffect(0);
	IZeEffect* without = zeGetNodeExt(zeGetObjectNode(2))->getMaterialEffect(0);
	ASSERT_TRUE(withMap && without);
	EXPECT_NE(withMap->getParameterByName("NodeCubeMap"), nullptr);
	EXPECT_NE(withMap->getParameterByName("ReflectionImage"), nullptr);
	EXPECT_EQ(without->getParameterByName("NodeCubeMap"), nullptr);
	EXPECT_EQ(without->getParameterByName("ReflectionImage"), nullptr);
	EXPECT_EQ(static_cast<IZeSurfaceLightwave*>(mirrored->getMaterialSurface(0))->getParamTexture(EZELW_REFLECTION_IMAGE),
		mirrored->getCubeMapTexture());

	// The compiled effect draws with the record's parameters.
	zeHideObject(2);
	EXPECT_TRUE(near(centre(), 0, 255, 0));
}

TEST_F(EngineApiGL, AnEffectThatDoesNotCompileReportsTheTranslatorsFirstLine)
{
	int code = 0;
	const std::string file = ZELV_API_TEST_DATA "broken.hlsl";
	EXPECT_EQ(zeLoadEffect(file.c_str(), 5), -1);
	const std::string error = takeError(&code);
	EXPECT_EQ(code, 1);
	const std::string prefix = "Failed to load effect '" + file + "' : ";
	ASSERT_EQ(error.rfind(prefix, 0), 0u) << error;
	const std::string reason = error.substr(prefix.size());
	const std::string full = Manager->getEffectManager()->getLastError();
	EXPECT_FALSE(reason.empty());
	EXPECT_EQ(reason, full.substr(0, full.find('\n')));
	EXPECT_NE(reason.find("broken.hlsl"), std::string::npos) << reason;
	EXPECT_EQ(zeEffectExist(5), 0);
}
} // namespace
