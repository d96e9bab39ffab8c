// The engine started on an OpenGL window (Xvfb in the test run) with the
// rendering pipeline's services, scenes of effect meshes, and readback.
#pragma once

#include "core/IZeManager.h"
#include "core/IZeServices.h"
#include "core/ZeEngineCore.h"
#include "effects/IZeEffectManager.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "libext/CZeMeshSceneNodes.h"
#include "libext/ZeMaterialExt.h"
#include "libext/ZeTextureExt.h"
#include "render/ZeRenderFactories.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#define ZELV_RENDER_TEST_DATA ZELV_SOURCE_DIR "/tests/render/data/"

namespace zetest
{
using namespace irr;

inline std::vector<std::string>& logLines()
{
	static std::vector<std::string> lines;
	return lines;
}
inline int linesWith(const std::string& text)
{
	int n = 0;
	for (const std::string& line : logLines())
		n += line.find(text) != std::string::npos;
	return n;
}

struct Rgba
{
	int R, G, B, A;
};
// Texel (x, y) of a float readback `width` texels wide, in 8-bit steps.
inline Rgba texel(const std::vector<float>& rgba, u32 width, u32 x, u32 y)
{
	const float* t = &rgba[(static_cast<size_t>(y) * width + x) * 4];
	return {int(std::lround(t[0] * 255)), int(std::lround(t[1] * 255)), int(std::lround(t[2] * 255)),
		int(std::lround(t[3] * 255))};
}
// Alpha is compared when a >= 0.
inline ::testing::AssertionResult near(const Rgba& got, int r, int g, int b, int a = -1, int tolerance = 2)
{
	if (std::abs(got.R - r) <= tolerance && std::abs(got.G - g) <= tolerance && std::abs(got.B - b) <= tolerance &&
		(a < 0 || std::abs(got.A - a) <= tolerance))
		return ::testing::AssertionSuccess();
	return ::testing::AssertionFailure() << "got (" << got.R << ", " << got.G << ", " << got.B << ", " << got.A
		<< "), expected (" << r << ", " << g << ", " << b << ", " << a << ")";
}

class RenderGL : public ::testing::Test
{
protected:
	void SetUp() override
	{
		if (!getenv("DISPLAY"))
			GTEST_SKIP() << "needs an X display";
		unsetenv("ZELV_DRIVER");
		char pattern[] = "/tmp/zelv-render-XXXXXX";
		ASSERT_NE(mkdtemp(pattern), nullptr);
		Tmp = pattern;
		logLines().clear();
		zeSetLogSink([](const char* line) { logLines().push_back(line); });
		zeInstallEngineCore();
		zeRegisterRenderFactories();
		zeFileSetCurrentDir(ZELV_SOURCE_DIR "/data/");  // the engine's own shaders
		SZeSetupParams p;
		zeInitSetupParams(&p);
		p.windowed = 1;
		p.width = static_cast<s32>(WindowWidth);
		p.height = static_cast<s32>(WindowHeight);
		p.vsync = 0;
		p.antialias = Antialias;
		p.lightPrePass = LightPrePass;
		p.dataPrefix = Tmp.c_str();
		ASSERT_EQ(zeSetup(&p), 0) << zeGetError(nullptr) << " " << zeGetEngineInitError();
		Driver = zeGetContext()->driver;
		Smgr = zeGetContext()->sceneManager;
		Manager = zeGetManager();
		ASSERT_TRUE(Manager && Manager->getRendererManager() && Manager->getRenderServices() &&
			Manager->getEffectManager() && Manager->getResourceManager());
		Services = Manager->getRenderServices();
	}

	void TearDown() override
	{
		for (IZeEffect* e : Effects)
			e->drop();
		zeTerm();
		zeRegisterServiceFactories(SZeServiceFactories());
		zeFileSetCurrentDir("");
		zeSetDataPrefix("");
		zeSetLogSink(nullptr);
		std::error_code ignored;
		std::filesystem::remove_all(Tmp, ignored);
	}

	IZeEffect* loadEffect(const char* file)
	{
		IZeEffect* e = Manager->getEffectManager()->createEffect(file, -1, nullptr, nullptr);
		EXPECT_NE(e, nullptr) << Manager->getEffectManager()->getLastError();
		if (e)
			Effects.push_back(e);
		return e;
	}

	scene::ICameraSceneNode* camera(const core::vector3df& from)
	{
		scene::ICameraSceneNode* c = Smgr->addCameraSceneNode(nullptr, from, core::vector3df(0, 0, 0));
		Smgr->setActiveCamera(c);
		return c;
	}

	// A node of one rectangle (corner and two edges) with one normal and colour.
	scene::IMeshSceneNode* rectangle(const core::vector3df& corner, const core::vector3df& u,
		const core::vector3df& v, const core::vector3df& normal, video::SColor colour)
	{
		scene::SMeshBuffer* buffer = new scene::SMeshBuffer();
		for (const core::vector3df& p : {corner, corner + u, corner + u + v, corner + v})
			buffer->Vertices.push_back(video::S3DVertex(p, normal, colour, core::vector2df(0, 0)));
		for (u16 i : {0, 1, 2, 0, 2, 3})
			buffer->Indices.push_back(i);
		buffer->recalculateBoundingBox();
		scene::SMesh* mesh = new scene::SMesh();
		mesh->addMeshBuffer(buffer);
		mesh->recalculateBoundingBox();
		buffer->drop();
		scene::IMeshSceneNode* node = ze::addMeshSceneNode(Smgr, mesh);
		mesh->drop();
		return node;
	}

	// A rectangle (corner and two edges) in one colour, drawn by technique 0 of the effect.
	scene::IMeshSceneNode* quad(IZeEffect* effect, const core::vector3df& corner, const core::vector3df& u,
		const core::vector3df& v, video::SColor colour)
	{
		scene::IMeshSceneNode* node = rectangle(corner, u, v, core::vector3df(0, 0, -1), colour);
		effect->getPassMaterial(0, 0, node->getMaterial(0));
		Records.emplace_back();
		Records.back().Effect = effect;
		Records.back().Node = node;
		ze::setMaterialUserData(node->getMaterial(0), &Records.back());
		return node;
	}

	// The window's pixel (x, y) counted from the top.
	Rgba screenPixel(int x, int y)
	{
		unsigned char p[4] = {};
		glReadBuffer(GL_BACK);
		glPixelStorei(GL_PACK_ALIGNMENT, 1);
		glReadPixels(x, static_cast<int>(WindowHeight) - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
		return {p[0], p[1], p[2], p[3]};
	}

	std::vector<float> read(video::ITexture* texture, u32 face = 0)
	{
		std::vector<float> rgba;
		EXPECT_TRUE(ze::readTexture(texture, &rgba, face));
		return rgba;
	}

	// The window's size and the set-up's switches; a fixture may change them before SetUp.
	u32 WindowWidth = 64;
	u32 WindowHeight = 48;
	int LightPrePass = 0;
	int Antialias = 0;
	std::string Tmp;
	video::IVideoDriver* Driver = nullptr;
	scene::ISceneManager* Smgr = nullptr;
	IZeManager* Manager = nullptr;
	IZeRenderServices* Services = nullptr;
	std::vector<IZeEffect*> Effects;
	std::deque<SZeMaterialExt> Records;
};
} // namespace zetest
