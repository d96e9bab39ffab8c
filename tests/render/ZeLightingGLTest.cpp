// The light buffer, shadow maps and volumetric lights drawn for real (Xvfb,
// llvmpipe) over depth and normal targets that a small test pass fills from
// real geometry, read back and compared with the lighting model the shaders
// document (data/shaders/LppBuffers.hlsl, LppLightPass.hlsl,
// VolumetricPointLight.hlsl).
#include "ZeRenderTestUtil.h"

#include "core/ZeGpuState.h"
#include "render/CZeRenderLightPass.h"
#include "render/CZeRenderLightVolumetric.h"
#include "render/IZeLightSceneNodeExt.h"
#include "render/IZeSceneNodeExt.h"
#include "libext/ZeDrawPasses.h"

#include "frame/ZeTestDisplay.h"

#include <iostream>
#include <limits>
#include <memory>

using namespace irr;
using namespace zetest;

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

// The pipeline's screen-size targets, larger than the window for finer probes.
const u32 W = 256, H = 192;

class Lighting : public RenderGL
{
protected:
	void SetUp() override
	{
		RenderGL::SetUp();
		if (IsSkipped() || HasFatalFailure())
			return;
		const core::dimension2du size(W, H);
		ASSERT_TRUE(Manager->getRendererManager()->createRenderTargets(ze::ECF_A16B16G16R16F, &size));
		for (const char* name : {"ShadowMap.256", "ShadowMap.512", "ShadowMap.512.1", "ShadowMap.1024"})
		{
			SZeShadowTexBind binding;
			binding.ShadowMap = ze::findTexture(Driver, name);
			ASSERT_TRUE(binding.ShadowMap) << name;
			Bindings.push_back(binding);
		}
		Normal = ze::findTexture(Driver, "NormalRTT");
		Depth = ze::findTexture(Driver, "DepthRTT");
		Light = ze::findTexture(Driver, "LightRTT");
		Back = ze::findTexture(Driver, "BackRTT[0]");
		ASSERT_TRUE(Normal && Depth && Light && Back);
		DepthNormal = loadEffect(ZELV_RENDER_TEST_DATA "depthnormal.hlsl");
		ASSERT_TRUE(DepthNormal);
		IrrlichtDevice* device = zeGetContext()->device;
		LightBuffer = std::make_unique<CZeRenderLightBuffer>(device);
		ShadowMaps = std::make_unique<CZeRenderLightShadowMap>(device);
		Pass = std::make_unique<CZeRenderLightPass>(device);
		IZeEffectManager* effects = Manager->getEffectManager();
		ASSERT_TRUE(LightBuffer->init(effects, zeFindDataFile("LppLightPass.hlsl")));
		ASSERT_TRUE(ShadowMaps->init(effects, zeFindDataFile("LppShadowDepth.hlsl")));
		ASSERT_TRUE(Pass->init(LightBuffer.get(), ShadowMaps.get()));
	}

	void TearDown() override
	{
		if (HasFailure())
			for (const std::string& line : logLines())
				std::cerr << line << "\n";
		Pass.reset();
		ShadowMaps.reset();
		LightBuffer.reset();
		RenderGL::TearDown();
	}

	// An empty scene.
	void clearScene()
	{
		Smgr->getRootSceneNode()->removeAll();
		Nodes.clear();
		Lights.clear();
	}

	// A rectangle (corner and two edges) with the normal u x v (left-handed),
	// drawn in the depth-normal pass, casting shadows or not.
	scene::ISceneNode* rectangle(const core::vector3df& corner, const core::vector3df& u, const core::vector3df& v,
		bool castShadow)
	{
		const core::vector3df normal = u.crossProduct(v).normalize();
		scene::SMeshBuffer* buffer = new scene::SMeshBuffer();
		for (const core::vector3df& p : {corner, corner + u, corner + u + v, corner + v})
			buffer->Vertices.push_back(video::S3DVertex(p, normal, video::SColor(255, 255, 255, 255), {0, 0}));
		for (u16 i : {0, 1, 2, 0, 2, 3})
			buffer->Indices.push_back(i);
		buffer->recalculateBoundingBox();
		scene::SMesh* mesh = new scene::SMesh();
		mesh->addMeshBuffer(buffer);
		mesh->recalculateBoundingBox();
		buffer->drop();
		scene::IMeshSceneNode* node = ze::addMeshSceneNode(Smgr, mesh);
		mesh->drop();
		IZeSceneNodeExt* ext = Manager->getSceneManager()->getSceneNodeExt(node);
		ext->setMaterialEffect(0, DepthNormal, 0, 0);
		ext->setCastShadow(castShadow);
		node->updateAbsolutePosition();
		Nodes.push_back(node);
		return node;
	}

	scene::ILightSceneNode* light(video::E_LIGHT_TYPE type, const core::vector3df& position, f32 radius,
		const video::SColorf& colour)
	{
		scene::ILightSceneNode* l = Smgr->addLightSceneNode(nullptr, position, colour, radius);
		l->setLightType(type);
		l->getLightData().Radius = radius;
		Manager->getSceneManager()->getLightSceneNodeExt(l);
		Lights.push_back(l);
		return l;
	}

	// A camera looking straight down at the origin, +x to the right and +z up the picture.
	void cameraAbove(f32 height)
	{
		camera(core::vector3df(0, height, 0))->setUpVector(core::vector3df(0, 0, 1));
	}

	// The plane y = 0 seen by the camera above: half the height it shows, and a pixel's size.
	f32 halfHeightShown()
	{
		scene::ICameraSceneNode* c = Smgr->getActiveCamera();
		return c->getAbsolutePosition().Y * std::tan(c->getFOV() / 2);
	}
	f32 unitsPerPixel() { return 2 * halfHeightShown() / H; }

	// Fills the normal and depth targets from the nodes given (the others
	// still cast shadows), registering the scene's lights on the way.
	void fillDepthNormal(const std::vector<scene::ISceneNode*>& drawn)
	{
		ze::drawAllPasses(Smgr, ze::EDAP_PREPARE | ze::EDAP_CAMERA);
		core::array<video::IRenderTarget> targets;
		targets.push_back(video::IRenderTarget(Normal));
		targets.push_back(video::IRenderTarget(Depth));
		ASSERT_TRUE(Driver->setRenderTarget(targets, false, true));
		zeSetRenderTargetFlip(true);
		ASSERT_TRUE(Services->drawScreenQuad(DepthNormal, static_cast<u32>(DepthNormal->getTechniqueIndex("clear")), 0,
			nullptr));
		core::array<scene::ISceneNode*> nodes;
		for (scene::ISceneNode* n : drawn)
			nodes.push_back(n);
		ASSERT_TRUE(Services->renderNodes(nodes, scene::ESNRP_SOLID, nullptr, nullptr, 0, 0, nullptr));
		ze::drawAllPasses(Smgr, ze::EDAP_FINISH);
	}

	bool initVolumetric(CZeRenderLightVolumetric& volumetric)
	{
		const std::string spot = zeFindDataFile("VolumetricSpotLight.hlsl");
		return volumetric.init(Manager->getEffectManager(), spot.c_str(), zeFindDataFile("VolumetricPointLight.hlsl"));
	}

	// The light pass over every light and casting node, read back.
	std::vector<float> lightPass()
	{
		for (u32 i = 0; i < Bindings.size(); ++i)
			Bindings[i].Light = nullptr;
		EXPECT_TRUE(Pass->render(Light, Lights, Nodes, Bindings));
		return read(Light);
	}

	// The world point of the plane y = 0 under pixel (x, y) of a camera above the origin.
	core::vector3df groundUnder(f32 x, f32 y)
	{
		const f32 halfHeight = halfHeightShown();
		const f32 halfWidth = halfHeight * Smgr->getActiveCamera()->getAspectRatio();
		return core::vector3df(((x + 0.5f) / W * 2 - 1) * halfWidth, 0, (1 - (y + 0.5f) / H * 2) * halfHeight);
	}

	static const float* at(const std::vector<float>& image, u32 x, u32 y) { return &image[(y * W + x) * 4]; }

	core::array<SZeShadowTexBind> Bindings;
	video::ITexture* Normal = nullptr;
	video::ITexture* Depth = nullptr;
	video::ITexture* Light = nullptr;
	video::ITexture* Back = nullptr;
	IZeEffect* DepthNormal = nullptr;
	std::unique_ptr<CZeRenderLightBuffer> LightBuffer;
	std::unique_ptr<CZeRenderLightShadowMap> ShadowMaps;
	std::unique_ptr<CZeRenderLightPass> Pass;
	core::array<scene::ISceneNode*> Nodes;
	core::array<scene::ISceneNode*> Lights;
};
} // namespace

// ---- Light buffer ------------------------------------------------------------------------
TEST_F(Lighting, PointLightLightsThePlaneWithinItsRadiusByTheDocumentedFalloff)
{
	const f32 height = 2.f;
	for (const f32 radius : {6.f, 30.f})  // a sphere volume, then the camera inside the light: full screen
	{
		SCOPED_TRACE(radius);
		clearScene();
		cameraAbove(20);
		light(video::ELT_POINT, {0, height, 0}, radius, video::SColorf(1.f, 0.5f, 0.25f));
		fillDepthNormal({rectangle({-50, 0, -50}, {0, 0, 100}, {100, 0, 0}, false)});
		const std::vector<float> image = lightPass();
		EXPECT_EQ(LightBuffer->getStats().PointLights, 1u);
		EXPECT_EQ(LightBuffer->getStats().FullScreenDraws, radius > 10 ? 1u : 0u);
		int wrong = 0;
		for (u32 y = 4; y < H; y += 8)
			for (u32 x = 4; x < W; x += 8)
			{
				// Diffuse: colour x N.L x (1 - d^2 / r^2)^2 inside the radius.
				const core::vector3df toLight = core::vector3df(0, height, 0) - groundUnder(x, y);
				const f32 d2 = toLight.getLengthSQ();
				const f32 fade = std::max(0.f, 1 - d2 / (radius * radius));
				const f32 expected = height / std::sqrt(d2) * fade * fade;
				const float* t = at(image, x, y);
				wrong += std::fabs(t[0] - expected) > 0.02f || std::fabs(t[1] - 0.5f * expected) > 0.02f ||
					std::fabs(t[2] - 0.25f * expected) > 0.02f;
				if (expected == 0.f)
					wrong += t[0] != 0.f || t[1] != 0.f || t[2] != 0.f || t[3] != 0.f;
			}
		EXPECT_EQ(wrong, 0);
		EXPECT_GT(at(image, W / 2, H / 2)[0], 0.6f);
	}
}

TEST_F(Lighting, SpotLightLightsADiscThatFollowsItsCone)
{
	cameraAbove(60);  // outside the cone volumes
	rectangle({-100, 0, -100}, {0, 0, 200}, {200, 0, 0}, false);
	scene::ILightSceneNode* spot = light(video::ELT_SPOT, {0, 10, 0}, 25, video::SColorf(1, 1, 1));
	spot->setRotation(core::vector3df(90, 0, 0));  // straight down
	for (const f32 outer : {20.f, 40.f})
	{
		SCOPED_TRACE(outer);
		spot->getLightData().OuterCone = outer;
		spot->getLightData().InnerCone = outer - 2;
		fillDepthNormal({Nodes[0]});
		const std::vector<float> image = lightPass();
		EXPECT_EQ(LightBuffer->getStats().FullScreenDraws, 0u);
		u32 lit = 0;
		for (u32 x = 0; x < W; ++x)
			lit += at(image, x, H / 2)[0] > 0.f;
		const f32 expected = 2 * 10 * std::tan(outer * core::DEGTORAD) / unitsPerPixel();
		EXPECT_NEAR(lit, expected, 2.5f);
		EXPECT_EQ(at(image, 0, H / 2)[0], 0.f);
	}
}

// ---- Shadow maps -------------------------------------------------------------------------
TEST_F(Lighting, OccluderShadowsThePlaneBehindItAndNotBesideIt)
{
	cameraAbove(60);
	scene::ISceneNode* ground = rectangle({-100, 0, -100}, {0, 0, 200}, {200, 0, 0}, true);
	rectangle({-1.5f, 5, -1.5f}, {0, 0, 3}, {3, 0, 0}, true);  // casts, not drawn in the depth pass
	scene::ILightSceneNode* spot = light(video::ELT_SPOT, {0, 10, 0}, 25, video::SColorf(1, 1, 1));
	spot->setRotation(core::vector3df(90, 0, 0));
	spot->getLightData().OuterCone = 40;
	spot->getLightData().InnerCone = 38;
	SZeLightExtParams& params = zeFindLightSceneNodeExt(spot)->getParams();
	const f32 grey[4] = {0.1f, 0.1f, 0.1f, 1};
	std::copy(grey, grey + 4, params.ShadowColor);
	fillDepthNormal({ground});
	spot->enableCastShadow(false);
	const std::vector<float> unshadowed = lightPass();
	EXPECT_EQ(LightBuffer->getStats().ShadowedLights, 0u);
	spot->enableCastShadow(true);
	// The shadow spans +-3 units; the disc of light +-8.4.
	const u32 inside = W / 2 + static_cast<u32>(1.5f / unitsPerPixel());
	const u32 beside = W / 2 + static_cast<u32>(5.5f / unitsPerPixel());
	const core::matrix4 view = Driver->getTransform(video::ETS_VIEW);
	const core::matrix4 projection = Driver->getTransform(video::ETS_PROJECTION);
	for (const f32 fuzz : {0.f, 1.f, 2.f, 4.f, 8.f, 16.f, 32.f})
	{
		SCOPED_TRACE(fuzz);
		params.ShadowMapFuzz = fuzz;
		const std::vector<float> image = lightPass();
		// The shadow map was drawn from the light; the camera's transforms are back.
		EXPECT_EQ(Driver->getTransform(video::ETS_VIEW), view);
		EXPECT_EQ(Driver->getTransform(video::ETS_PROJECTION), projection);
		EXPECT_FALSE(Driver->getOverrideMaterial().Enabled);
		EXPECT_EQ(LightBuffer->getStats().ShadowedLights, 1u);
		EXPECT_EQ(Bindings[1].Light, spot);  // "ShadowMap.512" for the default size
		for (u32 x : {W / 2, inside})
			EXPECT_NEAR(at(image, x, H / 2)[0], 0.1f * at(unshadowed, x, H / 2)[0], 0.01f) << x;
		EXPECT_NEAR(at(image, beside, H / 2)[0], at(unshadowed, beside, H / 2)[0], 0.01f);
		EXPECT_GT(at(unshadowed, beside, H / 2)[0], 0.2f);
	}
}

TEST_F(Lighting, SlopedSurfaceNeverShadowsItselfAtAnySoftness)
{
	cameraAbove(60);
	const f32 c = std::cos(30 * core::DEGTORAD), sn = std::sin(30 * core::DEGTORAD);
	scene::ISceneNode* slope = rectangle({-100 * c, -100 * sn, -100}, {0, 0, 200}, {200 * c, 200 * sn, 0}, true);
	scene::ILightSceneNode* spot = light(video::ELT_SPOT, {0, 10, 0}, 25, video::SColorf(1, 1, 1));
	spot->setRotation(core::vector3df(90, 0, 0));
	spot->getLightData().OuterCone = 40;
	spot->getLightData().InnerCone = 38;
	fillDepthNormal({slope});
	spot->enableCastShadow(false);
	const std::vector<float> unshadowed = lightPass();
	spot->enableCastShadow(true);
	for (const f32 fuzz : {0.f, 1.f, 2.f, 4.f, 8.f, 16.f, 32.f})
	{
		zeFindLightSceneNodeExt(spot)->getParams().ShadowMapFuzz = fuzz;
		const std::vector<float> image = lightPass();
		int lit = 0, darker = 0;
		for (u32 x = 0; x < W; ++x)
		{
			lit += at(unshadowed, x, H / 2)[0] > 0.f;
			darker += std::fabs(at(image, x, H / 2)[0] - at(unshadowed, x, H / 2)[0]) > 0.01f;
		}
		EXPECT_GT(lit, 30) << fuzz;
		EXPECT_EQ(darker, 0) << fuzz;
	}
}

// ---- Volumetric lights -------------------------------------------------------------------
TEST_F(Lighting, PointVolumetricLightBrightensAroundTheLightUpToTheSceneDepth)
{
	CZeRenderLightVolumetric volumetric(zeGetContext()->device);
	ASSERT_TRUE(initVolumetric(volumetric));
	scene::ICameraSceneNode* viewer = camera(core::vector3df(0, 0, -20));
	const f32 radius = 4;
	scene::ILightSceneNode* point = light(video::ELT_POINT, {0, 0, 0}, radius, video::SColorf(1, 0.5f, 0.25f));
	zeFindLightSceneNodeExt(point)->getParams().Volumetric = true;
	// What a ray passing h from the light collects up to `stop` along it
	// beyond its closest point, divided by 4r/3.
	auto glow = [&](f32 h, f32 stop) {
		const f32 r2 = radius * radius;
		if (h >= radius)
			return 0.f;
		const f32 half = std::sqrt(r2 - h * h);
		const f32 s0 = -half, s1 = std::min(half, stop);
		return ((s1 - s0) * (1 - h * h / r2) - (s1 * s1 * s1 - s0 * s0 * s0) / (3 * r2)) / (4 * radius / 3);
	};
	auto draw = [&](const std::vector<scene::ISceneNode*>& walls) {
		fillDepthNormal(walls);
		Driver->setRenderTarget(Back, true, false, video::SColor(0));
		ze::drawAllPasses(Smgr, ze::EDAP_CAMERA);
		EXPECT_TRUE(volumetric.render(Back, Lights, Bindings));
		return read(Back);
	};
	// Rays through the middle row, h from the light at their pixel's angle.
	const f32 halfWidth = std::tan(viewer->getFOV() / 2) * viewer->getAspectRatio();
	auto rayMiss = [&](u32 x) {
		const f32 across = ((x + 0.5f) / W * 2 - 1) * halfWidth;
		return 20 * across / std::sqrt(1 + across * across);
	};

	const std::vector<float> open = draw({rectangle({-100, -100, 30}, {200, 0, 0}, {0, 200, 0}, false)});
	int wrong = 0;
	for (u32 x = 0; x < W; x += 4)
		wrong += std::fabs(at(open, x, H / 2)[0] - glow(rayMiss(x), 1e9f)) > 0.02f;
	EXPECT_EQ(wrong, 0);
	EXPECT_NEAR(at(open, W / 2, H / 2)[1], 0.5f * glow(rayMiss(W / 2), 1e9f), 0.02f);
	EXPECT_EQ(at(open, 0, 0)[0], 0.f);

	// A wall through the light stops the rays there.
	clearScene();
	viewer = camera(core::vector3df(0, 0, -20));
	point = light(video::ELT_POINT, {0, 0, 0}, radius, video::SColorf(1, 0.5f, 0.25f));
	zeFindLightSceneNodeExt(point)->getParams().Volumetric = true;
	const std::vector<float> halved = draw({rectangle({-100, -100, 0}, {200, 0, 0}, {0, 200, 0}, false)});
	EXPECT_NEAR(at(halved, W / 2, H / 2)[0], glow(rayMiss(W / 2), 0), 0.02f);

	// With the camera's far plane nearer than the light's diameter the whole
	// screen is drawn: the same light where nothing stops the rays.
	viewer->setFarValue(7);
	const std::vector<float> fullScreen = draw({});
	wrong = 0;
	for (u32 x = 0; x < W; x += 4)
		wrong += std::fabs(at(fullScreen, x, H / 2)[0] - at(open, x, H / 2)[0]) > 0.02f;
	EXPECT_EQ(wrong, 0);
}

TEST_F(Lighting, SpotVolumetricVariantsGlowInTheConeAndTheirShadowMapDarkensIt)
{
	CZeRenderLightVolumetric volumetric(zeGetContext()->device);
	ASSERT_TRUE(initVolumetric(volumetric));
	camera(core::vector3df(0, 0, -20));
	// Shining along +x from the left of the picture.
	scene::ILightSceneNode* spot = light(video::ELT_SPOT, {-8, 0, 0}, 16, video::SColorf(1, 1, 1));
	spot->setRotation(core::vector3df(0, 90, 0));
	spot->getLightData().OuterCone = 20;
	spot->getLightData().InnerCone = 15;
	SZeLightExtParams& params = zeFindLightSceneNodeExt(spot)->getParams();
	params.Volumetric = true;
	fillDepthNormal({});
	video::ITexture* map = Bindings[1].ShadowMap;
	auto draw = [&](u32 quality, f32 mapDepth) {
		Driver->setRenderTarget(map, true, true, video::SColorf(mapDepth, mapDepth, mapDepth, 1).toSColor());
		Bindings[1].Light = spot;
		params.VolumetricQuality = quality;
		Driver->setRenderTarget(Back, true, false, video::SColor(0));
		ze::drawAllPasses(Smgr, ze::EDAP_CAMERA);
		EXPECT_TRUE(volumetric.render(Back, Lights, Bindings));
		return read(Back);
	};
	const u32 ahead = W / 2 + 10, behind = W / 2 - 66;  // the light sits near W / 2 - 53
	for (u32 quality = 0; quality <= 4; ++quality)
	{
		SCOPED_TRACE(quality);
		const std::vector<float> lit = draw(quality, 1.f);
		EXPECT_GT(at(lit, ahead, H / 2)[0], 0.05f);
		EXPECT_EQ(at(lit, behind, H / 2)[0], 0.f);
		EXPECT_EQ(at(lit, ahead, 10)[0], 0.f);  // outside the cone
		const std::vector<float> shadowed = draw(quality, 0.f);
		EXPECT_EQ(at(shadowed, ahead, H / 2)[0] == 0.f, quality > 0);
	}
}

TEST_F(Lighting, VolumetricLightsWhoseValuesAreNoNumbersAreLeftOut)
{
	CZeRenderLightVolumetric volumetric(zeGetContext()->device);
	ASSERT_TRUE(initVolumetric(volumetric));
	camera(core::vector3df(0, 0, -20));
	scene::ILightSceneNode* point = light(video::ELT_POINT, {4, 0, 0}, 4, video::SColorf(1, 1, 1));
	scene::ILightSceneNode* spot = light(video::ELT_SPOT, {-8, 0, 0}, 16, video::SColorf(1, 1, 1));
	spot->setRotation(core::vector3df(0, 90, 0));
	spot->getLightData().OuterCone = 20;
	SZeLightExtParams& pointParams = zeFindLightSceneNodeExt(point)->getParams();
	SZeLightExtParams& spotParams = zeFindLightSceneNodeExt(spot)->getParams();
	pointParams.Volumetric = spotParams.Volumetric = true;
	fillDepthNormal({});
	// The values drawn that are not 0, those that are not numbers among them.
	auto lit = [&] {
		Driver->setRenderTarget(Back, true, false, video::SColor(0));
		ze::drawAllPasses(Smgr, ze::EDAP_CAMERA);
		EXPECT_TRUE(volumetric.render(Back, Lights, Bindings));
		int count = 0;
		for (float v : read(Back))
			count += !(v == 0.0f);
		return count;
	};
	ASSERT_GT(lit(), 1000);

	// One light at a time, the other switched off.
	const f32 nan = std::numeric_limits<f32>::quiet_NaN();
	const struct
	{
		SZeLightExtParams& Other;
		f32* Value;
		f32 Bad;
	} cases[] = {{spotParams, &point->getLightData().Radius, nan}, {spotParams, &pointParams.VolumetricDensity, nan},
		{pointParams, &spot->getLightData().Radius, nan},
		{pointParams, &spotParams.VolumetricDensity, std::numeric_limits<f32>::infinity()},
		{pointParams, &spotParams.VolumetricBase, nan}};
	for (const auto& c : cases)
	{
		const f32 kept = *c.Value;
		*c.Value = c.Bad;
		c.Other.Volumetric = false;
		EXPECT_EQ(lit(), 0) << &c - cases;
		*c.Value = kept;
		c.Other.Volumetric = true;
	}
}
