// Renderers, render services, post effects and cube maps drawn for real
// (Xvfb, llvmpipe) and read back. Render targets hold images top row first.
#include "ZeRenderTestUtil.h"

#include "render/CZePostEffect.h"
#include "render/CZeRendererSimple.h"
#include "render/IZeSceneNodeExt.h"
#include "libext/ZeDrawPasses.h"

#include "frame/ZeTestDisplay.h"

using namespace irr;
using namespace zetest;

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

const video::SColor YELLOW(255, 255, 255, 0);

class RenderScene : public RenderGL
{
protected:
	void SetUp() override
	{
		RenderGL::SetUp();
		if (IsSkipped() || HasFatalFailure())
			return;
		Colour = loadEffect(ZELV_RENDER_TEST_DATA "colour.hlsl");
		ASSERT_TRUE(Colour);
		ASSERT_TRUE(Manager->getRendererManager()->createRenderTargets(ze::ECF_A8R8G8B8, nullptr));
		Back0 = ze::findTexture(Driver, "BackRTT[0]");
		Back1 = ze::findTexture(Driver, "BackRTT[1]");
		ASSERT_TRUE(Back0 && Back1);
	}

	// Fills the part of a target left of `cover` (0..1 of its width) with a value.
	void fill(video::ITexture* target, f32 r, f32 g, f32 b, f32 cover = 1.f)
	{
		const f32 colour[4] = {r, g, b, 1.f};
		Colour->setFloatArrayByName("Color", colour, 4);
		Colour->setFloatByName("Cover", cover);
		ASSERT_TRUE(Services->setRenderTargets(&target, 1));
		ASSERT_TRUE(Services->drawScreenQuad(Colour, static_cast<u32>(Colour->getTechniqueIndex("fill")), 0, nullptr));
	}

	IZeEffect* Colour = nullptr;
	video::ITexture* Back0 = nullptr;
	video::ITexture* Back1 = nullptr;
};
} // namespace

// ---- Renderers ---------------------------------------------------------------------------
TEST_F(RenderScene, SimpleRendererDrawsTheEffectMeshInPlaceAndClearsToTheContextColour)
{
	// The engine's default renderer, through the frame end: a square in the
	// upper half of the window on the backdrop.
	ASSERT_NE(dynamic_cast<CZeRendererSimple*>(zeGetCurrentRenderer()), nullptr);
	camera(core::vector3df(0, 0, -10));
	quad(Colour, core::vector3df(-2, 1, 0), core::vector3df(4, 0, 0), core::vector3df(0, 2, 0), YELLOW);
	zeGetContext()->backdrop = video::SColor(255, 10, 20, 30);
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(32, 24 - 8), 255, 255, 0));
	EXPECT_TRUE(near(screenPixel(32, 24 + 8), 10, 20, 30));
	EXPECT_TRUE(near(screenPixel(2, 2), 10, 20, 30));

	// Into a target: the same picture, top row first.
	zeRenderToTexture(Back0, 0);
	std::vector<float> image = read(Back0);
	EXPECT_TRUE(near(texel(image, 64, 32, 24 - 8), 255, 255, 0));
	EXPECT_TRUE(near(texel(image, 64, 32, 24 + 8), 10, 20, 30, 255));

	// Without a context: cleared to 0, alpha included; with one, to its colour.
	IZeRendererManager* renderers = Manager->getRendererManager();
	IZeRenderer* bare = renderers->createRendererSimple(zeGetContext()->device, nullptr);
	IZeRendererCtx* ctx = renderers->createRendererCtx();
	ASSERT_TRUE(bare && ctx);
	EXPECT_EQ(ctx->getClearColor()->Color, 0u);
	EXPECT_EQ(ctx->getClearColor()->Debug, 0u);
	ctx->getClearColor()->Color = 0x80102030u;
	IZeRenderer* withCtx = renderers->createRendererSimple(zeGetContext()->device, ctx);
	ctx->drop();  // the renderer holds it
	EXPECT_TRUE(bare->render(Back0));
	image = read(Back0);
	EXPECT_TRUE(near(texel(image, 64, 2, 2), 0, 0, 0, 0, 0));
	EXPECT_TRUE(near(texel(image, 64, 32, 24 - 8), 255, 255, 0, 255));
	EXPECT_TRUE(withCtx->render(Back0));
	EXPECT_TRUE(near(texel(read(Back0), 64, 2, 2), 0x10, 0x20, 0x30, 0x80));
	bare->drop();
	withCtx->drop();
}

TEST_F(RenderScene, RenderNodesHonoursTechniquesOverridesAndCounts)
{
	camera(core::vector3df(0, 0, -10));
	core::array<scene::ISceneNode*> nodes;
	nodes.push_back(quad(Colour, {-4, -1, 0}, {2, 0, 0}, {0, 2, 0}, YELLOW));
	nodes.push_back(quad(Colour, {2, -1, 0}, {2, 0, 0}, {0, 2, 0}, YELLOW));
	struct Drawn
	{
		bool Ok;
		u32 Count;
		Rgba Left, Right, Between;
	};
	// Into a cleared target, with every node hidden by the masks were it to have an extension.
	auto draw = [&](const char* technique, const video::SOverrideMaterial* overrides) {
		Driver->setRenderTarget(Back0, true, true, video::SColor(255, 0, 0, 0));
		EXPECT_TRUE(Services->setRenderTargets(&Back0, 1));
		ze::drawAllPasses(Smgr, ze::EDAP_CAMERA);
		Drawn d = {false, 99, {}, {}, {}};
		d.Ok = Services->renderNodes(nodes, scene::ESNRP_SOLID, technique, overrides, 0xFFFFFFFFu, 0x1u, &d.Count);
		const std::vector<float> image = read(Back0);
		d.Left = texel(image, 64, 22, 24), d.Right = texel(image, 64, 42, 24), d.Between = texel(image, 64, 32, 24);
		return d;
	};
	u32 count = 99;
	EXPECT_TRUE(Services->renderNodes({}, scene::ESNRP_SOLID, "glow", nullptr, 0, 0, &count));
	EXPECT_EQ(count, 0u);
	Drawn d = draw("glow", nullptr);  // only none, "depth", "shadow" and "reflection" draw
	EXPECT_TRUE(!d.Ok && d.Count == 0u && near(d.Left, 0, 0, 0));
	d = draw(nullptr, nullptr);
	EXPECT_TRUE(d.Ok && d.Count == 2u);
	EXPECT_TRUE(near(d.Left, 255, 255, 0) && near(d.Right, 255, 255, 0) && near(d.Between, 0, 0, 0));
	// A technique and an override material hold for the call only.
	d = draw("depth", nullptr);
	EXPECT_TRUE(d.Ok && d.Count == 2u && near(d.Left, 0, 255, 0) && near(d.Right, 0, 255, 0));
	d = draw("shadow", nullptr);  // the effect has none: its own technique draws
	EXPECT_TRUE(d.Ok && d.Count == 2u && near(d.Left, 255, 255, 0));
	// Only the states its flags name: the left quad's own yellow loses green
	// and keeps its culling (a culled override would hide the quads).
	video::SOverrideMaterial redOnly;
	redOnly.Material.ColorMask = video::ECP_RED;
	redOnly.Material.FrontfaceCulling = true;
	redOnly.Material.BackfaceCulling = true;
	redOnly.EnableFlags = video::EMF_COLOR_MASK;
	d = draw(nullptr, &redOnly);
	EXPECT_TRUE(d.Ok && d.Count == 2u && near(d.Left, 255, 0, 0) && near(d.Right, 255, 0, 0));
	EXPECT_FALSE(Driver->getOverrideMaterial().Enabled);
	d = draw(nullptr, nullptr);
	EXPECT_TRUE(near(d.Left, 255, 255, 0) && near(d.Right, 255, 255, 0));

	// The frame's lists and the visible nodes, without lights, cameras and hidden nodes.
	scene::ISceneNode* light = Smgr->addLightSceneNode();
	quad(Colour, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, YELLOW)->setVisible(false);
	core::array<scene::ISceneNode*> list;
	ze::drawAllPasses(Smgr, ze::EDAP_PREPARE);
	Services->getSolidNodeList(list);
	EXPECT_TRUE(list.size() == 2u && list.linear_search(nodes[0]) >= 0 && list.linear_search(nodes[1]) >= 0);
	Services->getLightList(list);
	EXPECT_TRUE(list.size() == 1u && list[0] == light);
	ze::drawAllPasses(Smgr, ze::EDAP_FINISH);
	Services->getVisibleNodes(list);
	EXPECT_TRUE(list.size() == 2u && list[0] == nodes[0] && list[1] == nodes[1]);
	Services->getVisibleExtNodes(list);
	EXPECT_EQ(list.size(), 0u);
}

// ---- Post effects ------------------------------------------------------------------------
TEST_F(RenderScene, PostEffectInvertsTheFrameAndNeverClearsWhatItDoesNotCover)
{
	camera(core::vector3df(0, 0, -10));
	quad(Colour, core::vector3df(-6, 0, 0), core::vector3df(4, 0, 0), core::vector3df(0, 3, 0), video::SColor(255, 200, 60, 0));
	zeGetContext()->backdrop = video::SColor(255, 0, 0, 100);
	ASSERT_EQ(zeRenderToTexture(Back0, 1), 0);
	const std::vector<float> picture = read(Back0);
	EXPECT_TRUE(near(texel(picture, 64, 12, 16), 200, 60, 0));  // upper left
	EXPECT_TRUE(near(texel(picture, 64, 12, 32), 0, 0, 100));

	CZePostEffect invert;
	EXPECT_FALSE(invert.render(Driver, Back1, Back0));  // nothing loaded yet
	EXPECT_FALSE(invert.load(Manager->getEffectManager(), ZELV_RENDER_TEST_DATA "missing.hlsl", nullptr));
	EXPECT_EQ(linesWith("CZePostEffect failed to load " ZELV_RENDER_TEST_DATA "missing.hlsl"), 1);
	ASSERT_TRUE(invert.load(Manager->getEffectManager(), ZELV_RENDER_TEST_DATA "invert.hlsl", nullptr));
	IZeEffect* first = invert.getEffect();
	first->grab();
	ASSERT_TRUE(invert.load(Manager->getEffectManager(), ZELV_RENDER_TEST_DATA "invert.hlsl", nullptr));
	EXPECT_NE(invert.getEffect(), first);
	EXPECT_EQ(first->getReferenceCount(), 1);  // released by the second load
	first->drop();
	ASSERT_TRUE(Services->setRenderTargets(nullptr, 0));  // as after drawing into the window
	ASSERT_TRUE(invert.render(Driver, Back1, Back0));
	const std::vector<float> inverted = read(Back1);
	int wrong = 0;
	for (u32 y = 0; y < 48; ++y)
		for (u32 x = 0; x < 64; ++x)
		{
			const Rgba a = texel(picture, 64, x, y);
			wrong += !near(texel(inverted, 64, x, y), 255 - a.R, 255 - a.G, 255 - a.B, 255);
		}
	EXPECT_EQ(wrong, 0);

	// Covering the left half only: the right half keeps the green it had.
	fill(Back1, 0, 1, 0);
	invert.getEffect()->setFloatByName("Cover", 0.5f);
	ASSERT_TRUE(invert.render(Driver, Back1, Back0));
	const std::vector<float> half = read(Back1);
	EXPECT_TRUE(near(texel(half, 64, 12, 16), 55, 195, 255));
	EXPECT_TRUE(near(texel(half, 64, 12, 32), 255, 255, 155));
	EXPECT_TRUE(near(texel(half, 64, 48, 16), 0, 255, 0));
	EXPECT_TRUE(near(texel(half, 64, 48, 40), 0, 255, 0));

	// The aligned quad covers the target exactly.
	CZeScreenQuadAligned aligned;
	Driver->setRenderTarget(Back1, true, true, video::SColor(255, 0, 0, 0));
	Driver->setTransform(video::ETS_VIEW, core::IdentityMatrix);
	Driver->setTransform(video::ETS_PROJECTION, core::IdentityMatrix);
	aligned.render(Driver);
	const std::vector<float> covered = read(Back1);
	int uncovered = 0;
	for (size_t i = 0; i < covered.size(); i += 4)
		uncovered += covered[i] < 0.99f || covered[i + 1] < 0.99f || covered[i + 2] < 0.99f;
	EXPECT_EQ(uncovered, 0);

	// copyTexture draws the picture over the back buffer as it is.
	ASSERT_TRUE(Services->setRenderTargets(nullptr, 0));
	ASSERT_TRUE(Services->copyTexture(Back0));
	EXPECT_TRUE(near(screenPixel(12, 16), 200, 60, 0));
	EXPECT_TRUE(near(screenPixel(12, 32), 0, 0, 100));
}

TEST_F(RenderScene, DepthOfFieldKeepsTheFocusSharpAndBlursOutOfFocus)
{
	video::ITexture* depth = ze::findTexture(Driver, "DepthRTT");
	video::ITexture* work = ze::findTexture(Driver, "BackRTT[2]");
	video::ITexture* output = ze::findTexture(Driver, "BackRTT[3]");
	SZePostDof dof;
	EXPECT_FALSE(dof.load(Manager->getEffectManager(), "NoSuchDof.hlsl", "DofCocPhysical.hlsl", "Dof.hlsl"));
	EXPECT_EQ(dof.CocPhysical.getEffect(), nullptr);  // stopped at the first failure
	const std::string artistFile = zeFindDataFile("DofCocArtist.hlsl");
	const std::string physicalFile = zeFindDataFile("DofCocPhysical.hlsl");
	ASSERT_TRUE(dof.load(Manager->getEffectManager(), artistFile.c_str(), physicalFile.c_str(), zeFindDataFile("Dof.hlsl")));
	dof.CocArtist.getEffect()->setFloatByName("DofFocalRangeMin", 1.f);
	dof.CocArtist.getEffect()->setFloatByName("DofFocalRangeFocused", 10.f);
	dof.CocArtist.getEffect()->setFloatByName("DofFocalRangeMax", 20.f);
	dof.CocPhysical.getEffect()->setFloatByName("FocalDistance", 10.f);
	// White left of the middle, black right of it, all at one depth; the
	// two pixels beside the edge.
	auto edge = [&](f32 at, bool artist) {
		fill(Back0, 0, 0, 0);
		fill(Back0, 1, 1, 1, 0.5f);
		fill(depth, at, 0, 0);
		const bool ok = artist ? dof.renderArtist(Driver, output, Back0, depth, work, 1.f)
		                       : dof.renderPhysical(Driver, output, Back0, depth, work);
		EXPECT_TRUE(ok);
		const std::vector<float> image = read(output);
		return std::make_pair(texel(image, 64, 31, 24).R, texel(image, 64, 32, 24).R);
	};
	for (bool artist : {true, false})
	{
		EXPECT_EQ(edge(10.f, artist), std::make_pair(255, 0)) << "artist " << artist;
		const std::pair<int, int> blurred = edge(artist ? 20.f : 1.f, artist);
		EXPECT_LT(blurred.first, 230) << "artist " << artist;
		EXPECT_GT(blurred.second, 25) << "artist " << artist;
	}
}

// ---- Cube maps ---------------------------------------------------------------------------
TEST_F(RenderScene, RenderCubeMapCapturesEachDirectionAndRestoresTheCamera)
{
	// A closed box of six walls around the origin, and a white mark on the
	// +Z wall above the middle.
	const video::SColor walls[6] = {{255, 255, 0, 0}, {255, 0, 255, 0}, {255, 0, 0, 255}, {255, 255, 255, 0},
		{255, 0, 255, 255}, {255, 255, 0, 255}};
	const f32 s = 5.f;
	quad(Colour, {s, -s, -s}, {0, 2 * s, 0}, {0, 0, 2 * s}, walls[0]);
	quad(Colour, {-s, -s, -s}, {0, 2 * s, 0}, {0, 0, 2 * s}, walls[1]);
	quad(Colour, {-s, s, -s}, {2 * s, 0, 0}, {0, 0, 2 * s}, walls[2]);
	quad(Colour, {-s, -s, -s}, {2 * s, 0, 0}, {0, 0, 2 * s}, walls[3]);
	quad(Colour, {-s, -s, s}, {2 * s, 0, 0}, {0, 2 * s, 0}, walls[4]);
	quad(Colour, {-s, -s, -s}, {2 * s, 0, 0}, {0, 2 * s, 0}, walls[5]);
	quad(Colour, {-1, 2, s - 0.1f}, {2, 0, 0}, {0, 2, 0}, video::SColor(255, 255, 255, 255));
	scene::ICameraSceneNode* viewer = camera(core::vector3df(0, 0, -1));
	const u32 cameras = Smgr->getRootSceneNode()->getChildren().size();

	ze::ITextureCUBE* cube = ze::createTextureCUBE(Driver, "TestCube", 32, ze::ECF_A8R8G8B8, true);
	video::ITexture* work = ze::addRenderTargetTexture(Driver, {32, 32}, "CubeWork", ze::ECF_A8R8G8B8);
	ASSERT_TRUE(cube && work);
	ASSERT_TRUE(Services->renderCubeMap(cube, work, core::vector3df(0, 0, 0), zeGetCurrentRenderer()));
	EXPECT_EQ(Smgr->getActiveCamera(), viewer);
	EXPECT_EQ(Smgr->getRootSceneNode()->getChildren().size(), cameras);
	for (u32 face = 0; face < 6; ++face)
		EXPECT_TRUE(near(texel(read(cube, face), 32, 16, 24), walls[face].getRed(), walls[face].getGreen(),
			walls[face].getBlue())) << "face " << face;
	// Sampled by direction: the lat-long image has +Z in the middle, +X to
	// its right, +Y along the top, and the mark above the middle.
	video::ITexture* latLong = ze::addRenderTargetTexture(Driver, {64, 32}, "LatLong", ze::ECF_A8R8G8B8);
	ASSERT_TRUE(Services->cubeToLatLong(cube, latLong));
	const std::vector<float> image = read(latLong);
	const struct { u32 X, Y; video::SColor C; } probes[] = {{32, 20, walls[4]}, {48, 16, walls[0]}, {16, 16, walls[1]},
		{2, 16, walls[5]}, {32, 0, walls[2]}, {32, 31, walls[3]}, {32, 10, video::SColor(255, 255, 255, 255)}};
	for (const auto& p : probes)
		EXPECT_TRUE(near(texel(image, 64, p.X, p.Y), p.C.getRed(), p.C.getGreen(), p.C.getBlue())) << p.X << ", " << p.Y;

	// A renderer that fails ends the capture; the camera comes back all the same.
	struct Failing : IZeRenderer
	{
		int Calls = 0;
		bool render(video::ITexture*) override { return ++Calls < 3; }
	} failing;
	EXPECT_FALSE(Services->renderCubeMap(cube, work, core::vector3df(0, 0, 0), &failing));
	EXPECT_EQ(failing.Calls, 3);
	EXPECT_EQ(Smgr->getActiveCamera(), viewer);
	EXPECT_FALSE(Services->renderCubeMap(cube, nullptr, core::vector3df(0, 0, 0), &failing));

	ASSERT_TRUE(Services->clearCubeMap(cube));
	for (u32 face = 0; face < 6; ++face)
		EXPECT_TRUE(near(texel(read(cube, face), 32, 16, 16), 0, 0, 0, 0, 0)) << "face " << face;
	cube->drop();
}

// ---- A lit mesh through the engine's frame end ---------------------------------------------
TEST_F(RenderScene, LitMeshIsShadedByItsLightThroughTheFrameEnd)
{
	camera(core::vector3df(0, 0, -4));
	Smgr->setAmbientLight(video::SColorf(0.f, 0.f, 0.f));
	scene::IMeshSceneNode* sphere = Smgr->addSphereSceneNode(1.2f, 32);
	ASSERT_TRUE(sphere);
	video::SMaterial& m = sphere->getMaterial(0);
	m.Lighting = true;
	m.AmbientColor = video::SColor(255, 0, 0, 0);
	m.DiffuseColor = video::SColor(255, 255, 255, 255);
	m.EmissiveColor = video::SColor(255, 0, 0, 0);
	m.SpecularColor = video::SColor(255, 0, 0, 0);
	// A white directional light shining along -X: the sphere's right side faces it.
	scene::ILightSceneNode* light = Smgr->addLightSceneNode(nullptr, core::vector3df(0, 0, 0), video::SColorf(1, 1, 1), 10.f);
	ASSERT_TRUE(light);
	light->setLightType(video::ELT_DIRECTIONAL);
	light->setRotation(core::vector3df(0, -90, 0));
	zeGetContext()->backdrop = video::SColor(255, 0, 0, 64);
	zeEndFrame();

	const Rgba lit = screenPixel(32 + 8, 24);
	const Rgba dark = screenPixel(32 - 8, 24);
	EXPECT_GT(lit.R, 120) << "the side facing the light";
	EXPECT_NEAR(lit.R, lit.G, 2) << "white light on a white surface stays grey";
	EXPECT_LT(dark.R, 20) << "the side turned away, without ambient light";
	EXPECT_TRUE(near(screenPixel(1, 1), 0, 0, 64));

	// Turning the light around lights the other side.
	light->setRotation(core::vector3df(0, 90, 0));
	zeEndFrame();
	EXPECT_LT(screenPixel(32 + 8, 24).R, 20);
	EXPECT_GT(screenPixel(32 - 8, 24).R, 120);
}

// ---- Hide and show sets against node extensions' selection masks -------------------------
TEST_F(RenderScene, RenderNodesSelectsNodesByTheirExtensionMask)
{
	camera(core::vector3df(0, 0, -10));
	core::array<scene::ISceneNode*> nodes;
	nodes.push_back(quad(Colour, {-4, -1, 0}, {2, 0, 0}, {0, 2, 0}, YELLOW));
	nodes.push_back(quad(Colour, {2, -1, 0}, {2, 0, 0}, {0, 2, 0}, YELLOW));
	IZeSceneNodeExt* ext = Manager->getSceneManager()->getSceneNodeExt(nodes[0]);
	ASSERT_TRUE(ext);
	ext->setSelectionMask(0x2);
	ASSERT_TRUE(Services->setRenderTargets(&Back0, 1));
	// The second node has no extension and is always drawn.
	const struct
	{
		u32 Hide, Show, Drawn;
	} cases[] = { { 0x2, 0, 1 }, { 0x4, 0, 2 }, { 0, 0x2, 2 }, { 0, 0x4, 1 }, { 0x2, 0x2, 1 }, { 0, 0, 2 } };
	for (const auto& c : cases)
	{
		u32 count = 99;
		EXPECT_TRUE(Services->renderNodes(nodes, scene::ESNRP_SOLID, nullptr, nullptr, c.Hide, c.Show, &count));
		EXPECT_EQ(count, c.Drawn) << "hide " << c.Hide << " show " << c.Show;
	}
}

// ---- Render passes, extension nodes and screen-quad inputs ------------------------------
TEST_F(RenderScene, RenderNodesDrawsOnlyTheBuffersOfTheAskedPass)
{
	// One node of two buffers: a solid yellow square left of the middle and a
	// transparent blue one right of it.
	camera(core::vector3df(0, 0, -10));
	scene::SMesh* mesh = new scene::SMesh();
	const struct { f32 X; video::SColor C; video::E_MATERIAL_TYPE Type; } halves[] = {
		{-4, YELLOW, video::EMT_SOLID}, {2, video::SColor(255, 0, 0, 255), video::EMT_TRANSPARENT_VERTEX_ALPHA}};
	for (const auto& h : halves)
	{
		scene::SMeshBuffer* buffer = new scene::SMeshBuffer();
		const core::vector3df corner(h.X, -1, 0);
		for (const core::vector3df& p : {corner, corner + core::vector3df(2, 0, 0), corner + core::vector3df(2, 2, 0),
			corner + core::vector3df(0, 2, 0)})
			buffer->Vertices.push_back(video::S3DVertex(p, core::vector3df(0, 0, -1), h.C, core::vector2df(0, 0)));
		for (u16 i : {0, 1, 2, 0, 2, 3})
			buffer->Indices.push_back(i);
		buffer->Material.MaterialType = h.Type;
		buffer->Material.Lighting = false;
		buffer->Material.BackfaceCulling = false;
		buffer->recalculateBoundingBox();
		mesh->addMeshBuffer(buffer);
		buffer->drop();
	}
	mesh->recalculateBoundingBox();
	core::array<scene::ISceneNode*> nodes;
	nodes.push_back(ze::addMeshSceneNode(Smgr, mesh));
	mesh->drop();

	const struct { scene::E_SCENE_NODE_RENDER_PASS Pass; int Left[3], Right[3]; } passes[] = {
		{scene::ESNRP_SOLID, {255, 255, 0}, {0, 0, 0}}, {scene::ESNRP_TRANSPARENT, {0, 0, 0}, {0, 0, 255}}};
	for (const auto& p : passes)
	{
		Driver->setRenderTarget(Back0, true, true, video::SColor(255, 0, 0, 0));
		ASSERT_TRUE(Services->setRenderTargets(&Back0, 1));
		ze::drawAllPasses(Smgr, ze::EDAP_CAMERA);
		u32 count = 0;
		EXPECT_TRUE(Services->renderNodes(nodes, p.Pass, nullptr, nullptr, 0, 0, &count));
		EXPECT_EQ(count, 1u);
		EXPECT_EQ(ze::getCurrentRenderPass(), scene::ESNRP_NONE);
		const std::vector<float> image = read(Back0);
		EXPECT_TRUE(near(texel(image, 64, 22, 24), p.Left[0], p.Left[1], p.Left[2])) << "pass " << p.Pass;
		EXPECT_TRUE(near(texel(image, 64, 42, 24), p.Right[0], p.Right[1], p.Right[2])) << "pass " << p.Pass;
	}
}

TEST_F(RenderScene, VisibleExtNodesAreTheNodesAndLightsThatCarryAnExtension)
{
	IZeSceneManager* engineScene = Manager->getSceneManager();
	scene::ISceneNode* plain = Smgr->addEmptySceneNode();
	scene::ISceneNode* extended = Smgr->addEmptySceneNode();
	scene::ISceneNode* child = Smgr->addEmptySceneNode(plain);
	scene::ISceneNode* hidden = Smgr->addEmptySceneNode();
	scene::ISceneNode* lightWithExt = Smgr->addLightSceneNode();
	scene::ISceneNode* bareLight = Smgr->addLightSceneNode();
	for (scene::ISceneNode* n : {extended, child, hidden})
		ASSERT_TRUE(engineScene->getSceneNodeExt(n));
	ASSERT_TRUE(engineScene->getLightSceneNodeExt(lightWithExt));
	hidden->setVisible(false);

	core::array<scene::ISceneNode*> list;
	list.push_back(plain);  // emptied first
	Services->getVisibleExtNodes(list);
	ASSERT_EQ(list.size(), 2u);
	EXPECT_TRUE(list.linear_search(extended) >= 0 && list.linear_search(child) >= 0);

	// Filtering keeps the order of what it is given, lights included.
	core::array<scene::ISceneNode*> in;
	for (scene::ISceneNode* n : {bareLight, child, plain, lightWithExt, hidden})
		in.push_back(n);
	in.push_back(nullptr);
	Services->filterExtNodes(list, in);
	ASSERT_EQ(list.size(), 3u);
	EXPECT_TRUE(list[0] == child && list[1] == lightWithExt && list[2] == hidden);
}

TEST_F(RenderScene, ScreenQuadReadsEachOfTwentyInputsAndLetsThemGoAfterTheDraw)
{
	IZeEffect* show = loadEffect(ZELV_RENDER_TEST_DATA "inputs.hlsl");
	ASSERT_TRUE(show);
	const u32 COUNT = 20;
	video::SColor colours[COUNT];
	for (u32 i = 0; i < COUNT; ++i)
		colours[i] = video::SColor(255, 10 * i + 5, 250 - 12 * i, (i * 67) % 256);
	auto makeInputs = [&](const std::string& prefix, video::ITexture** inputs) {
		for (u32 i = 0; i < COUNT; ++i)
		{
			video::IImage* image = Driver->createImage(video::ECF_A8R8G8B8, core::dimension2du(4, 4));
			image->fill(colours[i]);
			inputs[i] = Driver->addTexture((prefix + std::to_string(i)).c_str(), image);
			image->drop();
			ASSERT_TRUE(inputs[i]);
		}
	};
	auto shown = [&](video::ITexture* const* inputs, u32 pick, u32 count) {
		show->setFloatByName("Pick", static_cast<f32>(pick));
		EXPECT_TRUE(Services->setRenderTargets(&Back0, 1));
		EXPECT_TRUE(Services->drawScreenQuadTextures(show, 0, 0, inputs, count));
		return texel(read(Back0), 64, 20, 30);
	};
	auto isColour = [](const Rgba& got, const video::SColor& c) {
		return near(got, c.getRed(), c.getGreen(), c.getBlue(), 255);
	};

	// The first draw of new inputs, which looks their GL textures up.
	video::ITexture* fresh[COUNT];
	makeInputs("Fresh", fresh);
	EXPECT_TRUE(isColour(shown(fresh, 0, COUNT), colours[0]));

	// Every input is read through its own sampler and let go after each draw.
	// Their GL textures are looked up first (the registry keeps a note) and a
	// fill empties the library's units 0-3, whose inputs are not counted: the
	// library keeps the last texture of each.
	video::ITexture* inputs[COUNT];
	makeInputs("Input", inputs);
	for (video::ITexture* t : inputs)
		ASSERT_NE(ze::getGLTextureName(t), 0u);
	fill(Back1, 0, 0, 0);
	s32 held[COUNT];
	for (u32 i = 0; i < COUNT; ++i)
		held[i] = inputs[i]->getReferenceCount();
	for (u32 pick = 0; pick < COUNT; ++pick)
	{
		EXPECT_TRUE(isColour(shown(inputs, pick, COUNT), colours[pick])) << "input " << pick;
		for (u32 i = 4; i < COUNT; ++i)
			EXPECT_EQ(inputs[i]->getReferenceCount(), held[i]) << "input " << i << " kept after drawing " << pick;
	}

	// A sampler past the inputs given keeps the texture set on it.
	const SZeFxParameter* last = show->getParameterByName("Input19");
	ASSERT_TRUE(show->setSamplerTexture(last, inputs[3], false));
	EXPECT_TRUE(isColour(shown(inputs, 19, 10), colours[3]));
	EXPECT_TRUE(isColour(shown(inputs, 19, COUNT), colours[19]));
	EXPECT_TRUE(isColour(shown(inputs, 19, 10), colours[3]));
	EXPECT_EQ(show->getSamplerTexture(last), inputs[3]);
	ASSERT_TRUE(show->setSamplerTexture(last, nullptr, false));
}

TEST_F(RenderScene, ScreenQuadLetsGoOfACubeAfterTheLatLongCopy)
{
	ze::ITextureCUBE* cube = ze::createTextureCUBE(Driver, "LatLongSource", 16, ze::ECF_A8R8G8B8, true);
	video::ITexture* latLong = ze::addRenderTargetTexture(Driver, {32, 16}, "LatLongCopy", ze::ECF_A8R8G8B8);
	ASSERT_TRUE(cube && latLong);
	const s32 held = cube->getReferenceCount();
	ASSERT_TRUE(Services->cubeToLatLong(cube, latLong));
	EXPECT_EQ(cube->getReferenceCount(), held);
	ASSERT_TRUE(Services->drawScreenQuadTextures(Manager->getResourceManager()->getCubeToLatLongEffect(), 0, 0,
		reinterpret_cast<video::ITexture* const*>(&cube), 1));
	EXPECT_EQ(cube->getReferenceCount(), held);
	ze::removeTexture(cube);
	cube->drop();
}
