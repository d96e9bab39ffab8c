// Cube maps drawn for real (Xvfb, llvmpipe): creation and sizes, capture of a
// box of coloured walls through the engine's frame, the lat-long copy,
// clearing, and a mirror that reads the map through its node extension.
#include "ZeRenderTestUtil.h"

#include "libext/IZeVideoDriverExt.h"
#include "render/CZeCubeMap.h"
#include "render/CZeSceneManagerServiceExt.h"
#include "render/CZeSceneNodeExt.h"
#include "render/IZeSurfaceLightwave.h"

#include "frame/ZeTestDisplay.h"

using namespace irr;
using namespace zetest;

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

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

	// A 2 by 2 square at the origin facing +X; added after a capture, the map
	// does not see it.
	scene::IMeshSceneNode* addMirror()
	{
		return rectangle(core::vector3df(0, -1, -1), core::vector3df(0, 2, 0), core::vector3df(0, 0, 2),
			core::vector3df(1, 0, 0), video::SColor(255, 0, 0, 0));
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
	EXPECT_EQ(Driver->findTexture(latLong->getName()), latLong);
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

TEST_F(CubeMapGL, AMirrorDrawnWithTheNodeCubeMapShowsTheWallItFaces)
{
	buildBox();
	IZeCubeMap* map = make(64, false);
	ASSERT_TRUE(map);
	ASSERT_EQ(zeRenderCubeMapFrame(map, core::vector3df(0, 0, 0)), 0);
	zeEndFrame();
	scene::IMeshSceneNode* mirror = addMirror();

	IZeEffect* effect = loadEffect(ZELV_RENDER_TEST_DATA "mirror.hlsl");
	ASSERT_TRUE(effect);
	IZeSceneNodeExt* ext = Service->getSceneNodeExt(mirror);
	ASSERT_TRUE(ext);
	ext->setCubeMap(map);
	ext->setMaterialEffect(0, effect, 0, 0);
	ze::setMaterialTexture(mirror->getMaterial(0), 4, ext->getCubeMapTexture());
	ASSERT_EQ(ze::resolve(ext->getCubeMapTexture()), map->getCubeTexture());
	ASSERT_EQ(ze::getMaterialUserData(mirror->getMaterial(0)), ext->getMaterialRecord(0));

	// Looked at from +X, the mirror sends the view back to the +X wall; the
	// -X wall is seen around it.
	camera(core::vector3df(3, 0, 0));
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(32, 24), WALLS[0].getRed(), WALLS[0].getGreen(), WALLS[0].getBlue()));
	EXPECT_TRUE(near(screenPixel(48, 24), WALLS[1].getRed(), WALLS[1].getGreen(), WALLS[1].getBlue()));

	// Turned to face -Z and looked at from there, it shows the -Z wall.
	core::vector3df facing(1, 0, 0);
	for (f32 angle : {90.f, -90.f})
	{
		core::matrix4 turn;
		turn.setRotationDegrees(core::vector3df(0, angle, 0));
		facing.set(1, 0, 0);
		turn.rotateVect(facing);
		if (facing.equals(core::vector3df(0, 0, -1)))
		{
			mirror->setRotation(core::vector3df(0, angle, 0));
			break;
		}
	}
	ASSERT_TRUE(facing.equals(core::vector3df(0, 0, -1)));
	camera(core::vector3df(0, 0, -3));
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(32, 24), WALLS[5].getRed(), WALLS[5].getGreen(), WALLS[5].getBlue()));
	EXPECT_TRUE(near(screenPixel(48, 24), WALLS[4].getRed(), WALLS[4].getGreen(), WALLS[4].getBlue()));

	// The extension's texture follows the map it is given: an emptied map
	// shows black, the first one its wall again, the material untouched.
	IZeCubeMap* other = make(64, false);
	ASSERT_TRUE(other);
	other->clear();
	ext->setCubeMap(other);
	EXPECT_EQ(ze::resolve(ext->getCubeMapTexture()), other->getCubeTexture());
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(32, 24), 0, 0, 0));
	ext->setCubeMap(map);
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(32, 24), WALLS[5].getRed(), WALLS[5].getGreen(), WALLS[5].getBlue()));
}

TEST_F(CubeMapGL, ACubeReflectionSamplerReadsTheCubeOfALatLongMapItsNodeIsGiven)
{
	buildBox();
	IZeCubeMap* plain = make(64, false);
	IZeCubeMap* latLong = make(64, true);
	ASSERT_TRUE(plain && latLong);
	plain->clear();
	ASSERT_EQ(zeRenderCubeMapFrame(latLong, core::vector3df(0, 0, 0)), 0);
	zeEndFrame();

	// The surface's reflection image is the node's cube map, bound to the
	// effect's cube sampler while the node holds the plain map.
	scene::IMeshSceneNode* mirror = addMirror();
	IZeSceneNodeExt* ext = Service->getSceneNodeExt(mirror);
	ASSERT_TRUE(ext);
	IZeSurface* surface = Manager->getSurfaceManager()->createSurfaceByType(ZE_SURFACE_LIGHTWAVE);
	ASSERT_TRUE(surface);
	static_cast<IZeSurfaceLightwave*>(surface)->setParamTexture(EZELW_REFLECTION_IMAGE, ext->getCubeMapTexture());
	ext->setMaterialSurface(0, surface);
	surface->drop();
	ext->setCubeMap(plain);
	IZeEffect* effect = loadEffect(ZELV_RENDER_TEST_DATA "mirror.hlsl");
	ASSERT_TRUE(effect);
	ext->setMaterialEffect(0, effect, 0, 0);
	camera(core::vector3df(3, 0, 0));
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(32, 24), 0, 0, 0));

	// Given the lat-long map, the cube sampler reads its cube, also once the
	// material is bound again each frame as the light pre-pass does.
	ext->setCubeMap(latLong);
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(32, 24), WALLS[0].getRed(), WALLS[0].getGreen(), WALLS[0].getBlue()));
	for (int frame = 0; frame < 3; ++frame)
	{
		ext->setMaterialTechniquePass(0, 0, 0);
		zeEndFrame();
	}
	EXPECT_TRUE(near(screenPixel(32, 24), WALLS[0].getRed(), WALLS[0].getGreen(), WALLS[0].getBlue()));
	EXPECT_EQ(linesWith("failed for LW_Tex_ReflectionImage"), 0);
}

TEST_F(CubeMapGL, TexturesHaveNamesOfTheirOwnAndGoWithTheMapAfterALatLongCopy)
{
	IrrlichtDevice* device = zeGetContext()->device;
	LogCapture capture;
	capture.Next = device->getEventReceiver();
	device->setEventReceiver(&capture);
	buildBox();
	IZeCubeMap* first = make(64, true);
	IZeCubeMap* second = make(64, true);
	ASSERT_TRUE(first && second);
	video::ITexture* textures[4] = {first->getCubeTexture(), first->getLatLongTexture(), second->getCubeTexture(),
		second->getLatLongTexture()};
	for (u32 i = 0; i < 4; ++i)
	{
		const std::string name = textures[i]->getName().getPath().c_str();
		EXPECT_EQ(ze::findTexture(Driver, textures[i]->getName()), textures[i]) << name;
		for (u32 j = 0; j < i; ++j)
			EXPECT_NE(name, textures[j]->getName().getPath().c_str()) << i << " and " << j;
	}

	// Captured and copied, then dropped: both textures leave the driver.
	ASSERT_EQ(zeRenderCubeMapFrame(first, core::vector3df(0, 0, 0)), 0);
	zeEndFrame();
	ASSERT_TRUE(first->isRendered());
	const io::path cubeName = textures[0]->getName();
	const io::path latLongName = textures[1]->getName();
	Maps.erase(Maps.begin());
	first->drop();
	EXPECT_EQ(linesWith("Cannot remove texture of cubemap"), 0);
	EXPECT_EQ(ze::findTexture(Driver, cubeName), nullptr);
	EXPECT_EQ(ze::findTexture(Driver, latLongName), nullptr);
	EXPECT_EQ(ze::findTexture(Driver, textures[2]->getName()), textures[2]);
	device->setEventReceiver(capture.Next);
}

TEST_F(CubeMapGL, OnlyAWholeCaptureCountsAsRenderedAndIsCopiedToLatLong)
{
	buildBox();
	IZeCubeMap* map = make(64, true);
	ASSERT_TRUE(map);
	map->clear();
	// A renderer that refuses the third face.
	struct Failing : IZeRenderer
	{
		IZeRenderer* Real = nullptr;
		int Calls = 0;
		bool render(video::ITexture* target) override { return ++Calls < 3 && Real->render(target); }
	} failing;
	failing.Real = zeGetCurrentRenderer();
	EXPECT_FALSE(map->render(&failing, core::vector3df(0, 0, 0)));
	EXPECT_EQ(failing.Calls, 3);
	EXPECT_FALSE(map->isRendered());
	EXPECT_TRUE(near(texel(read(map->getCubeTexture(), 0), 64, 32, 48), WALLS[0].getRed(), WALLS[0].getGreen(),
		WALLS[0].getBlue())) << "the faces before the refusal were drawn";
	const std::vector<float> untouched = read(map->getLatLongTexture());
	int copied = 0;
	for (size_t i = 0; i < untouched.size(); ++i)
		copied += untouched[i] != 0.f;
	EXPECT_EQ(copied, 0) << "no lat-long copy of a partial capture";

	// A whole capture counts; a later refused one does not.
	EXPECT_TRUE(map->render(zeGetCurrentRenderer(), core::vector3df(0, 0, 0)));
	EXPECT_TRUE(map->isRendered());
	EXPECT_TRUE(near(texel(read(map->getLatLongTexture()), 64, 48, 16), WALLS[0].getRed(), WALLS[0].getGreen(),
		WALLS[0].getBlue()));
	failing.Calls = 0;
	EXPECT_FALSE(map->render(&failing, core::vector3df(1, 0, 0)));
	EXPECT_FALSE(map->isRendered());

	// The engine's cube maps are half floats whatever the caller asks for.
	IZeCubeMap* bytes = Service->createCubeMap(32, ze::ECF_A8R8G8B8, true);
	ASSERT_TRUE(bytes);
	EXPECT_EQ(ze::getTextureFormat(bytes->getCubeTexture()), ze::ECF_A16B16G16R16F);
	EXPECT_EQ(ze::getTextureFormat(bytes->getLatLongTexture()), ze::ECF_A16B16G16R16F);
	bytes->drop();
}
