// Cube maps drawn for real (Xvfb, llvmpipe): creation and sizes, capture of a
// box of coloured walls through the engine's frame, the lat-long copy, and
// clearing.
#include "ZeRenderTestUtil.h"

#include "libext/IZeVideoDriverExt.h"
#include "render/CZeCubeMap.h"
#include "render/CZeSceneManagerServiceExt.h"
#include "render/CZeSceneNodeExt.h"

#include <X11/Xlib.h>

using namespace irr;
using namespace zetest;

namespace
{
// Xvfb refuses connections while it resets after its last client left.
struct HoldDisplay : ::testing::Environment
{
	Display* Held = nullptr;
	void SetUp() override { Held = getenv("DISPLAY") ? XOpenDisplay(nullptr) : nullptr; }
	void TearDown() override { if (Held) XCloseDisplay(Held); }
};
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new HoldDisplay);

// The engine log reaches the device's logger: this receiver keeps its lines
// and passes every other event on.
struct LogCapture : IEventReceiver
{
	IEventReceiver* Next = nullptr;
	bool OnEvent(const SEvent& event) override
	{
		if (event.EventType != EET_LOG_TEXT_EVENT)
			return Next && Next->OnEvent(event);
		logLines().push_back(event.LogEvent.Text);
		return true;
	}
};

const video::SColor WALLS[6] = {{255, 255, 0, 0}, {255, 0, 255, 0}, {255, 0, 0, 255}, {255, 255, 255, 0},
	{255, 0, 255, 255}, {255, 255, 0, 255}};

class CubeMapGL : public RenderGL
{
protected:
	void SetUp() override
	{
		RenderGL::SetUp();
		if (IsSkipped() || HasFatalFailure())
			return;
		Service = static_cast<CZeSceneManagerServiceExt*>(zeCreateSceneManagerServiceExt(Manager));
		ASSERT_TRUE(Service);
	}
	void TearDown() override
	{
		for (IZeCubeMap* map : Maps)
			map->drop();
		delete Service;
		RenderGL::TearDown();
	}
	IZeCubeMap* make(u32 size, bool latLong)
	{
		IZeCubeMap* map = Service->createCubeMap(size, ze::ECF_A16B16G16R16F, latLong);
		if (map)
			Maps.push_back(map);
		return map;
	}
	// Six walls around the origin, each a colour of WALLS (+X, -X, +Y, -Y, +Z,
	// -Z), and a white mark on the +Z wall above the middle.
	void buildBox()
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
		quad(colour, {-1, 2, s - 0.1f}, {2, 0, 0}, {0, 2, 0}, video::SColor(255, 255, 255, 255));
		camera(core::vector3df(0, 0, -1));
	}

	CZeSceneManagerServiceExt* Service = nullptr;
	std::vector<IZeCubeMap*> Maps;
};
} // namespace

TEST_F(CubeMapGL, CreationSizesTheTexturesAndRefusesASecondCreate)
{
	IrrlichtDevice* device = zeGetContext()->device;
	LogCapture capture;
	capture.Next = device->getEventReceiver();
	device->setEventReceiver(&capture);
	IZeCubeMap* plain = make(64, false);
	ASSERT_TRUE(plain);
	EXPECT_EQ(ze::getTextureKind(plain->getTexture()), ze::ETK_CUBE);
	EXPECT_EQ(plain->getTexture()->getSize(), core::dimension2d<u32>(64, 64));
	EXPECT_EQ(plain->getLatLongTexture(), nullptr);
	EXPECT_FALSE(plain->isRendered());

	const struct { u32 Size, Height; } sizes[] = {{256, 160}, {512, 352}, {32, 1}};
	for (const auto& s : sizes)
	{
		IZeCubeMap* map = make(s.Size, true);
		ASSERT_TRUE(map) << s.Size;
		EXPECT_EQ(map->getTexture(), map->getLatLongTexture());
		EXPECT_EQ(ze::getTextureKind(map->getTexture()), ze::ETK_2D);
		EXPECT_EQ(map->getTexture()->getSize(), core::dimension2d<u32>(2 * s.Height, s.Height)) << s.Size;
		EXPECT_EQ(map->getCubeTexture()->getSize(), core::dimension2d<u32>(s.Size, s.Size));
		EXPECT_EQ(ze::getTextureFormat(map->getTexture()), ze::ECF_A16B16G16R16F);
	}

	video::ITexture* cube = plain->getCubeTexture();
	EXPECT_FALSE(plain->create(32, ze::ECF_A8R8G8B8, true));
	EXPECT_EQ(linesWith("cubemap texture already created"), 1);
	EXPECT_EQ(plain->getCubeTexture(), cube);
	EXPECT_EQ(plain->getLatLongTexture(), nullptr);

	// A texture still held elsewhere is left to its holder.
	video::ITexture* latLong = Maps.back()->getLatLongTexture();
	latLong->grab();
	Maps.back()->drop();
	Maps.pop_back();
	EXPECT_EQ(linesWith("Cannot remove texture of cubemap latlong still references 2 on it!"), 1);
	EXPECT_EQ(linesWith("Cannot remove texture of cubemap still"), 0);
	EXPECT_TRUE(Driver->getTextureCount() > 0 && Driver->findTexture("rt"));
	bool kept = false;
	for (u32 i = 0; i < Driver->getTextureCount(); ++i)
		kept = kept || Driver->getTextureByIndex(i) == latLong;
	EXPECT_TRUE(kept);
	latLong->drop();
	device->setEventReceiver(capture.Next);
}

TEST_F(CubeMapGL, FrameCaptureFillsEachFaceAndTheLatLongCopyThenClearEmptiesThem)
{
	buildBox();
	IZeCubeMap* map = make(64, true);
	ASSERT_TRUE(map);
	ASSERT_EQ(map->getLatLongTexture()->getSize(), core::dimension2d<u32>(64, 32));
	scene::ICameraSceneNode* viewer = Smgr->getActiveCamera();

	EXPECT_EQ(zeRenderCubeMapFrame(nullptr, core::vector3df(0, 0, 0)), -1);
	EXPECT_EQ(zeRenderCubeMapFrame(map, core::vector3df(0, 0, 0)), 0);
	EXPECT_TRUE(map->isRendered());
	EXPECT_EQ(map->getPosition(), core::vector3df(0, 0, 0));
	EXPECT_EQ(Smgr->getActiveCamera(), viewer);
	for (u32 face = 0; face < 6; ++face)
		EXPECT_TRUE(near(texel(read(map->getCubeTexture(), face), 64, 32, 48), WALLS[face].getRed(),
			WALLS[face].getGreen(), WALLS[face].getBlue())) << "face " << face;
	// +Z in the middle of the lat-long copy, +X to its right, +Y along the
	// top, and the mark above the middle.
	const std::vector<float> image = read(map->getLatLongTexture());
	const struct { u32 X, Y; video::SColor C; } probes[] = {{32, 20, WALLS[4]}, {48, 16, WALLS[0]},
		{16, 16, WALLS[1]}, {2, 16, WALLS[5]}, {32, 0, WALLS[2]}, {32, 31, WALLS[3]},
		{32, 10, video::SColor(255, 255, 255, 255)}};
	for (const auto& p : probes)
		EXPECT_TRUE(near(texel(image, 64, p.X, p.Y), p.C.getRed(), p.C.getGreen(), p.C.getBlue())) << p.X << ", " << p.Y;

	// A node extension serves the capture position to the effects.
	scene::ISceneNode* node = Smgr->addEmptySceneNode();
	Service->getSceneNodeExt(node)->setCubeMap(map);
	EXPECT_EQ(ze::resolve(Service->getSceneNodeExt(node)->getCubeMapTexture()), map->getTexture());
	EXPECT_EQ(zeRenderCubeMapFrame(map, core::vector3df(1, 0, 0)), 0);
	core::vector3df at;
	ASSERT_TRUE(CZeNodeExtValues().getNodeExtValue(node, EZENEV_CUBEMAP_POSITION, &at));
	EXPECT_EQ(at, core::vector3df(1, 0, 0));

	map->clear();
	EXPECT_FALSE(map->isRendered());
	for (u32 face = 0; face < 6; ++face)
		EXPECT_TRUE(near(texel(read(map->getCubeTexture(), face), 64, 32, 48), 0, 0, 0, 0, 0)) << "face " << face;
	const std::vector<float> cleared = read(map->getLatLongTexture());
	for (const auto& p : probes)
		EXPECT_TRUE(near(texel(cleared, 64, p.X, p.Y), 0, 0, 0, 0, 0)) << p.X << ", " << p.Y;
}

TEST_F(CubeMapGL, FrameCaptureMarksRenderedTexturesAndSkipsAMinimisedWindow)
{
	buildBox();
	IZeCubeMap* map = make(32, false);
	ASSERT_TRUE(map);
	// Hidden, the window counts as minimised: nothing is captured.
	const video::SExposedVideoData& data = Driver->getExposedVideoData();
	::Display* display = static_cast<::Display*>(data.OpenGLLinux.X11Display);
	const Window window = static_cast<Window>(data.OpenGLLinux.X11Window);
	XUnmapWindow(display, window);
	XSync(display, False);
	for (int i = 0; i < 50 && !zeGetContext()->device->isWindowMinimized(); ++i)
		zeGetContext()->device->run();
	ASSERT_TRUE(zeGetContext()->device->isWindowMinimized());
	EXPECT_EQ(zeRenderCubeMapFrame(map, core::vector3df(0, 0, 0)), -1);
	EXPECT_FALSE(map->isRendered());
	XMapWindow(display, window);
	XSync(display, False);
	for (int i = 0; i < 50 && zeGetContext()->device->isWindowMinimized(); ++i)
		zeGetContext()->device->run();
	ASSERT_FALSE(zeGetContext()->device->isWindowMinimized());

	// A device reset is survived until a frame has captured a cube map.
	zeFireDeviceReset();
	zeEndFrame();
	EXPECT_EQ(linesWith("Graphic Device lost"), 0);
	EXPECT_EQ(zeRenderCubeMapFrame(map, core::vector3df(0, 0, 0)), 0);
	EXPECT_TRUE(map->isRendered());
	zeEndFrame();  // the frame the capture began ends and presents
	EXPECT_EQ(linesWith("Graphic Device lost"), 0);
	zeFireDeviceReset();
	zeEndFrame();
	EXPECT_EQ(linesWith("ERROR : Graphic Device lost, cannot re-create rendered textures, exiting"), 1);
}
