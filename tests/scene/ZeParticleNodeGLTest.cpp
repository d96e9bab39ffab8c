// Particle-system nodes drawn for real (Xvfb, llvmpipe), read back from the
// back buffer: one particle effect for the plain and the instanced node, the
// instanced draw's chunks and limits, the GL state it leaves, a buffer that
// cannot be mapped, a device reset, and the default particle effect.
#include "core/IZeManager.h"
#include "core/IZeServices.h"
#include "core/ZeEngineCore.h"
#include "effects/IZeEffectManager.h"
#include "effects/SZeMaterialExt.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "libext/IZeVideoDriverExt.h"
#include "libext/ZeGL.h"
#include "render/ZeRenderFactories.h"
#include "scene/CZeGLParticleSystemSceneNode.h"
#include "scene/CZeSceneManagerServiceScene.h"

#include "frame/ZeTestDisplay.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace irr;

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

const int SIZE = 256;  // the window; one world unit is one pixel

std::vector<std::string> g_log;
std::vector<std::pair<u32, u32>> g_draws;  // instanced draw calls: first instance, count

int linesWith(const std::string& text)
{
	int n = 0;
	for (const std::string& line : g_log)
		n += line.find(text) != std::string::npos;
	return n;
}

struct Frame
{
	std::vector<u8> Rgba;  // rows from the bottom
	video::SColor at(int x, int y) const
	{
		const u8* p = &Rgba[(static_cast<size_t>(y) * SIZE + x) * 4];
		return video::SColor(p[3], p[0], p[1], p[2]);
	}
	int lit() const
	{
		int n = 0;
		for (size_t i = 0; i < Rgba.size(); i += 4)
			n += (Rgba[i] | Rgba[i + 1] | Rgba[i + 2]) != 0;
		return n;
	}
};

::testing::AssertionResult near(video::SColor got, int r, int g, int b, int tolerance = 2)
{
	if (std::abs(int(got.getRed()) - r) <= tolerance && std::abs(int(got.getGreen()) - g) <= tolerance
		&& std::abs(int(got.getBlue()) - b) <= tolerance)
		return ::testing::AssertionSuccess();
	return ::testing::AssertionFailure() << "got (" << got.getRed() << ", " << got.getGreen() << ", " << got.getBlue()
		<< "), expected (" << r << ", " << g << ", " << b << ")";
}

class ParticleGL : public ::testing::Test
{
protected:
	void SetUp() override
	{
		if (!getenv("DISPLAY"))
			GTEST_SKIP() << "needs an X display";
		char pattern[] = "/tmp/zeparticleglXXXXXX";
		ASSERT_NE(mkdtemp(pattern), nullptr);
		Tmp = pattern;
		g_log.clear();
		g_draws.clear();
		zeSetLogSink([](const char* line) { g_log.push_back(line); });
		zeSetLogLevel(EZELL_DEBUG);
		zeInstallEngineCore();
		zeRegisterRenderFactories();
		SZeServiceFactories factories = zeGetServiceFactories();
		factories.createSceneManager = zeCreateSceneManagerServiceScene;
		zeRegisterServiceFactories(factories);
		zeFileSetCurrentDir(ZELV_SOURCE_DIR "/data/");  // the engine's own shaders
		SZeSetupParams p = zetest::glWindowSetup(SIZE, SIZE);
		p.antialias = p.lightPrePass = 0;
		p.dataPrefix = Tmp.c_str();
		ASSERT_EQ(zeSetup(&p), 0) << zeGetError(nullptr) << " " << zeGetEngineInitError();
		Device = zeGetContext()->device;
		Driver = Device->getVideoDriver();
		Smgr = Device->getSceneManager();
		ASSERT_EQ(Driver->getDriverType(), video::EDT_OPENGL);
		ASSERT_TRUE(CZeGLParticleSystemSceneNode::isAvailable(Driver));
		Device->getLogger()->setLogLevel(ELL_DEBUG);
		Device->getTimer()->stop();
		Device->getTimer()->setTime(1000);
		CZeGLParticleSystemSceneNode::setDrawTrace([](u32 first, u32 count) { g_draws.emplace_back(first, count); });
		// Looking down +Z at the window's 256 x 256 units, (0, 0) at the bottom left.
		scene::ICameraSceneNode* camera = Smgr->addCameraSceneNode(nullptr, core::vector3df(128, 128, -50),
			core::vector3df(128, 128, 0));
		core::matrix4 ortho;
		ortho.buildProjectionMatrixOrthoLH(f32(SIZE), f32(SIZE), 1.f, 100.f);
		camera->setProjectionMatrix(ortho, true);
		Smgr->setActiveCamera(camera);
		Billboard = loadEffect(ZELV_SOURCE_DIR "/tests/scene/data/billboard.hlsl");
		ASSERT_TRUE(Billboard);
	}

	void TearDown() override
	{
		CZeGLParticleSystemSceneNode::setDrawTrace(nullptr);
		for (IZeEffect* e : Effects)
			e->drop();
		zeTerm();
		zeRegisterServiceFactories(SZeServiceFactories());
		zeFileSetCurrentDir("");
		zeSetDataPrefix("");
		zeSetLogSink(nullptr);
		zeSetLogLevel(EZELL_INFO);
		std::error_code ignored;
		std::filesystem::remove_all(Tmp, ignored);
	}

	IZeEffect* loadEffect(const char* file)
	{
		IZeEffect* e = zeGetManager()->getEffectManager()->createEffect(file, -1, nullptr, nullptr);
		EXPECT_NE(e, nullptr) << zeGetManager()->getEffectManager()->getLastError();
		if (e)
			Effects.push_back(e);
		return e;
	}

	// A material of technique 0 of the effect on a node's (or a buffer's) material.
	void useEffect(video::SMaterial& material, IZeEffect* effect, scene::ISceneNode* node, s32 technique = 0)
	{
		effect->getPassMaterial(u32(technique), 0, material);
		Records.emplace_back();
		Records.back().Effect = effect;
		Records.back().Technique = technique;
		Records.back().Node = node;
		ze::setMaterialUserData(material, &Records.back());
	}

	// A node of the given class with a private pool, no births of its own,
	// holding the particles at the given centres, drawn by the effect.
	template <typename Node>
	Node* particles(const std::vector<core::vector3df>& centres, IZeEffect* effect, s32 technique = 0)
	{
		Node* node = new Node(Smgr->getRootSceneNode(), Smgr, -1, 0u);
		node->drop();
		node->getEmitter().setBirthRate(0.f);
		node->getEmitter().setResistance(0.f, 0.f);
		for (const core::vector3df& c : centres)
			node->getEmitter().addStaticParticle(c.X, c.Y, c.Z, 0, 100000);
		useEffect(node->getMaterial(0), effect, node, technique);
		return node;
	}

	// Centres of pixels (x, y) to (x + w - 1, y + h - 1), row by row.
	static std::vector<core::vector3df> grid(int x, int y, int w, int h)
	{
		std::vector<core::vector3df> centres;
		for (int j = 0; j < h; ++j)
			for (int i = 0; i < w; ++i)
				centres.emplace_back(f32(x + i) + 0.5f, f32(y + j) + 0.5f, 0.f);
		return centres;
	}

	// One frame of the scene, then `after` (drawing more), read before it is shown.
	Frame frame(const std::function<void()>& after = nullptr)
	{
		Driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
		Smgr->drawAll();
		if (after)
			after();
		Frame f;
		f.Rgba.resize(SIZE * SIZE * 4);
		glReadBuffer(GL_BACK);
		glPixelStorei(GL_PACK_ALIGNMENT, 1);
		glReadPixels(0, 0, SIZE, SIZE, GL_RGBA, GL_UNSIGNED_BYTE, f.Rgba.data());
		Driver->endScene();
		return f;
	}

	std::string Tmp;
	IrrlichtDevice* Device = nullptr;
	video::IVideoDriver* Driver = nullptr;
	scene::ISceneManager* Smgr = nullptr;
	IZeEffect* Billboard = nullptr;
	std::vector<IZeEffect*> Effects;
	std::deque<SZeMaterialExt> Records;
};

// Three particles, 8 units wide, centred on pixel corners: 64 pixels each.
const std::vector<core::vector3df> THREE = {{40, 60, 0}, {128, 128, 0}, {200, 30, 0}};

void expectThree(const Frame& f, int r, int g, int b)
{
	EXPECT_EQ(f.lit(), 3 * 64);
	for (const core::vector3df& c : THREE)
	{
		const int x = int(c.X), y = int(c.Y);
		EXPECT_TRUE(near(f.at(x - 4, y - 4), r, g, b)) << x << ", " << y;
		EXPECT_TRUE(near(f.at(x + 3, y + 3), r, g, b)) << x << ", " << y;
		EXPECT_TRUE(near(f.at(x + 4, y), 0, 0, 0)) << x << ", " << y;
	}
}
} // namespace

TEST_F(ParticleGL, OneEffectDrawsThreeParticlesWhereTheyProjectPlainAndInstanced)
{
	Billboard->setFloatByName("Size", 8.f);
	const f32 green[4] = {0.f, 1.f, 0.f, 1.f};
	Billboard->setFloatArrayByName("Color", green, 4);
	CZeParticleSystemSceneNode* plain = particles<CZeParticleSystemSceneNode>(THREE, Billboard);
	expectThree(frame(), 0, 255, 0);
	EXPECT_TRUE(g_draws.empty());
	plain->remove();

	particles<CZeGLParticleSystemSceneNode>(THREE, Billboard);
	expectThree(frame(), 0, 255, 0);
	ASSERT_EQ(g_draws.size(), 1u);
	EXPECT_EQ(g_draws[0], std::make_pair(0u, 3u));
}

TEST_F(ParticleGL, EachPathDeliversTheLifeAndOnlyTheInstancedOneTheVelocity)
{
	const s32 life = Billboard->getTechniqueIndex("life");
	ASSERT_GE(life, 0);
	Billboard->setFloatByName("Size", 8.f);
	auto make = [&](auto* kind, f32 x) {
		using Node = std::remove_pointer_t<decltype(kind)>;
		Node* node = particles<Node>({}, Billboard, life);
		node->getEmitter().addStaticParticle(x, 128.f, 0.f, 1000, 2000);
		return node;
	};
	CZeParticleSystemSceneNode* plain = make(static_cast<CZeParticleSystemSceneNode*>(nullptr), 64.f);
	CZeGLParticleSystemSceneNode* instanced = make(static_cast<CZeGLParticleSystemSceneNode*>(nullptr), 192.f);
	frame();  // the first update only notes the time
	for (CZeParticleSystemSceneNode* node : {plain, static_cast<CZeParticleSystemSceneNode*>(instanced)})
		node->getEmitter().setGravity(4.f, 0.f, 0.f);  // 0.4 units per second after 0.1 s
	Device->getTimer()->setTime(1100);
	const Frame f = frame();
	// Birth 1 s and death 2 s in red and green; the plain quads carry no velocity.
	EXPECT_NEAR(int(f.at(64, 128).getRed()), 64, 1);
	EXPECT_NEAR(int(f.at(64, 128).getGreen()), 128, 1);
	EXPECT_TRUE(near(f.at(192, 128), 64, 128, 102));
}

TEST_F(ParticleGL, InstancedDrawsGoInChunksOf4096AndShowAll65536Particles)
{
	Billboard->setFloatByName("Size", 1.f);
	CZeGLParticleSystemSceneNode* node = particles<CZeGLParticleSystemSceneNode>(grid(0, 0, 100, 100), Billboard);
	EXPECT_EQ(frame().lit(), 10000);
	const std::vector<std::pair<u32, u32>> chunks = {{0, 4096}, {4096, 4096}, {8192, 1808}};
	EXPECT_EQ(g_draws, chunks);
	node->remove();

	g_draws.clear();
	particles<CZeGLParticleSystemSceneNode>(grid(0, 0, SIZE, SIZE), Billboard);
	const Frame all = frame();
	EXPECT_EQ(all.lit(), SIZE * SIZE) << "every instance at its own pixel";
	ASSERT_EQ(g_draws.size(), 16u);
	EXPECT_EQ(g_draws.back(), std::make_pair(61440u, 4096u));

	// The plain path on the same particles stops at its 16,384 quads: the first 64 rows.
	Smgr->clear();
	particles<CZeParticleSystemSceneNode>(grid(0, 0, SIZE, SIZE), Billboard);
	Smgr->addCameraSceneNode(nullptr, core::vector3df(128, 128, -50), core::vector3df(128, 128, 0));
	core::matrix4 ortho;
	ortho.buildProjectionMatrixOrthoLH(f32(SIZE), f32(SIZE), 1.f, 100.f);
	Smgr->getActiveCamera()->setProjectionMatrix(ortho, true);
	const Frame plain = frame();
	EXPECT_EQ(plain.lit(), 16384);
	EXPECT_TRUE(near(plain.at(255, 63), 255, 255, 255));
	EXPECT_TRUE(near(plain.at(0, 64), 0, 0, 0));
}

TEST_F(ParticleGL, WhatIsDrawnAfterTheInstancedDrawIsUnaffected)
{
	// The instanced node first (farther), then the plain one with the same
	// program, then a fixed-function mesh from GL buffers and an effect mesh.
	Billboard->setFloatByName("Size", 8.f);
	const f32 green[4] = {0.f, 1.f, 0.f, 1.f};
	Billboard->setFloatArrayByName("Color", green, 4);
	IZeEffect* blue = loadEffect(ZELV_SOURCE_DIR "/tests/scene/data/billboard.hlsl");
	IZeEffect* vertexColour = loadEffect(ZELV_SOURCE_DIR "/tests/scene/data/vertexcolour.hlsl");
	ASSERT_TRUE(blue && vertexColour);
	blue->setFloatByName("Size", 8.f);
	const f32 blueColour[4] = {0.f, 0.f, 1.f, 1.f};
	blue->setFloatArrayByName("Color", blueColour, 4);
	particles<CZeGLParticleSystemSceneNode>({{40, 200, 0}}, Billboard)->setPosition(core::vector3df(0, 0, 20));
	particles<CZeParticleSystemSceneNode>({{80, 200, 0}}, blue);

	// Quads of 16 x 16 units at (x, 100), in a vertex colour.
	auto quad = [](f32 x, video::SColor colour) {
		scene::SMeshBuffer* buffer = new scene::SMeshBuffer();
		for (const core::vector2df& c : {core::vector2df(0, 0), {16, 0}, {16, 16}, {0, 16}})
			buffer->Vertices.push_back(video::S3DVertex(x + c.X, 100 + c.Y, 0, 0, 0, -1, colour, 0, 0));
		for (u16 i : {0, 1, 2, 0, 2, 3})
			buffer->Indices.push_back(i);
		buffer->recalculateBoundingBox();
		return buffer;
	};
	scene::SMeshBuffer* fixed = quad(120, video::SColor(255, 255, 0, 0));
	fixed->setHardwareMappingHint(scene::EHM_STATIC);
	fixed->Material.Lighting = false;
	fixed->Material.BackfaceCulling = false;
	scene::SMeshBuffer* effectQuad = quad(160, video::SColor(255, 255, 255, 0));
	useEffect(effectQuad->Material, vertexColour, nullptr);

	GLint state[8] = {};
	GLfloat corner[4] = {};
	auto after = [&] {
		glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &state[0]);
		glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &state[1]);
		for (u32 a = 0; a < 3; ++a)
		{
			glGetVertexAttribiv(ZE_INSTANCE_ATTRIB_CORNER + a, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &state[2 + a]);
			glGetVertexAttribiv(ZE_INSTANCE_ATTRIB_CENTRE + a, GL_VERTEX_ATTRIB_ARRAY_DIVISOR, &state[5 + a]);
		}
		glGetVertexAttribfv(ZE_INSTANCE_ATTRIB_CORNER, GL_CURRENT_VERTEX_ATTRIB, corner);
		Driver->setTransform(video::ETS_WORLD, core::IdentityMatrix);
		Driver->setMaterial(fixed->Material);
		Driver->drawMeshBuffer(fixed);
		Driver->setMaterial(effectQuad->Material);
		Driver->drawMeshBuffer(effectQuad);
	};
	for (int round = 0; round < 2; ++round)
	{
		g_draws.clear();
		const Frame f = frame(after);
		EXPECT_EQ(g_draws.size(), 1u);
		EXPECT_TRUE(near(f.at(40, 200), 0, 255, 0));
		EXPECT_TRUE(near(f.at(80, 200), 0, 0, 255));
		EXPECT_TRUE(near(f.at(128, 108), 255, 0, 0));
		EXPECT_TRUE(near(f.at(168, 108), 255, 255, 0));
		EXPECT_EQ(f.lit(), 2 * 64 + 2 * 256);
		for (GLint value : state)
			EXPECT_EQ(value, 0);
		EXPECT_EQ(corner[2], 0.f) << "the corner attribute tells plain draws apart";
		EXPECT_EQ(corner[3], 1.f);
	}
	fixed->drop();
	effectQuad->drop();
}

// The shared buffers: a map that fails draws nothing that frame; a device
// reset drops them and the next draw makes them again; the last node frees them.
TEST_F(ParticleGL, SharedBuffersOverAFailedMapADeviceResetAndTheLastNode)
{
	Billboard->setFloatByName("Size", 8.f);
	IZeParticleSystemSceneNode* made = zeGetManager()->getSceneManager()->addParticleSystemSceneNodeEx(0);
	CZeGLParticleSystemSceneNode* node = dynamic_cast<CZeGLParticleSystemSceneNode*>(made);
	ASSERT_NE(node, nullptr) << "OpenGL with instancing makes instanced nodes";
	EXPECT_EQ(node->getReferenceCount(), 1);
	EXPECT_EQ(CZeGLParticleSystemSceneNode::getSharedDataReferences(), 1);
	useEffect(node->getMaterial(0), Billboard, node);
	node->getEmitter().setBirthRate(0.f);
	for (const core::vector3df& c : THREE)
		node->getEmitter().addStaticParticle(c.X, c.Y, c.Z, 0, 100000);
	expectThree(frame(), 255, 255, 255);
	const SZeParticleInstancingData* data = CZeGLParticleSystemSceneNode::getInstancingData();
	ASSERT_NE(data, nullptr);
	EXPECT_TRUE(data->Created);
	EXPECT_EQ(data->Capacity, 65536u);

	// Mapped elsewhere, the buffer cannot be mapped for the draw.
	glBindBuffer(GL_ARRAY_BUFFER, data->InstanceBuffer);
	ASSERT_NE(glMapBufferRange(GL_ARRAY_BUFFER, 0, 36, GL_MAP_READ_BIT), nullptr);
	glBindBuffer(GL_ARRAY_BUFFER, 0);
	g_draws.clear();
	EXPECT_EQ(frame().lit(), 0);
	EXPECT_TRUE(g_draws.empty());
	EXPECT_EQ(linesWith("ERROR : CZeGLParticleSystemSceneNode: glMapBufferRange failed"), 1);
	EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
	glBindBuffer(GL_ARRAY_BUFFER, data->InstanceBuffer);
	glUnmapBuffer(GL_ARRAY_BUFFER);
	glBindBuffer(GL_ARRAY_BUFFER, 0);

	zeFireDeviceReset();
	EXPECT_EQ(linesWith("DEBUG : CZeGLParticleSystemSceneNode::onDeviceReset: remove VertexBuffer"), 1);
	EXPECT_EQ(CZeGLParticleSystemSceneNode::getInstancingData(), nullptr);
	EXPECT_EQ(CZeGLParticleSystemSceneNode::getSharedDataReferences(), 1);
	expectThree(frame(), 255, 255, 255);
	EXPECT_EQ(linesWith("DEBUG : CZeGLParticleSystemSceneNode: Allocate VertexBuffer for Particles"), 2);

	node->remove();
	EXPECT_EQ(CZeGLParticleSystemSceneNode::getSharedDataReferences(), 0);
	EXPECT_EQ(CZeGLParticleSystemSceneNode::getInstancingData(), nullptr);
	EXPECT_EQ(linesWith("DEBUG : CZeGLParticleSystemSceneNode::removeRefSharedData: remove VertexBuffer"), 1);
}

TEST_F(ParticleGL, TheDefaultParticleEffectDrawsRoundSpritesInItsColour)
{
	IZeEffect* standard = loadEffect("Particle.dae");
	ASSERT_TRUE(standard);
	EXPECT_NE(std::string(standard->getFileName()).find("shaders/Particle.hlsl"), std::string::npos);
	standard->setFloatByName("LWHV_ParticleSize", 32.f);
	const f32 orange[4] = {1.f, 0.5f, 0.f, 1.f};
	standard->setFloatArrayByName("LWHV_Color", orange, 4);
	// The engine's default particle image: a white disc fading out to its edge.
	video::ITexture* disc = Driver->getTexture(ZELV_BINARY_DIR "/data/textures/ZeDefaultParticle.png");
	ASSERT_TRUE(disc);
	ASSERT_TRUE(standard->setSamplerTexture(standard->getParameterByName("LWHV_Tex_Clip"), disc, false));
	particles<CZeGLParticleSystemSceneNode>({{64, 64, 0}}, standard);
	particles<CZeParticleSystemSceneNode>({{192, 192, 0}}, standard);
	const Frame f = frame();
	for (int c : {64, 192})
	{
		EXPECT_TRUE(near(f.at(c, c), 255, 128, 0, 3)) << c;
		EXPECT_TRUE(near(f.at(c + 15, c + 15), 0, 0, 0)) << "outside the circle";
		EXPECT_GT(f.at(c + 15, c).getRed(), 0u) << "inside the circle, faded";
		EXPECT_LT(f.at(c + 15, c).getRed(), 64u);
	}
}
