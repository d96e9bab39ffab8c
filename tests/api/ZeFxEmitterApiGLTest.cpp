// FxEmitters drawn for real (Xvfb, llvmpipe): an emitter made through the API
// with the engine's default image and particle effect, its HyperVoxel values
// reaching the effect through the surface bind.
#include "api/ZeFxEmitterApi.h"
#include "core/IZeManager.h"
#include "core/ZeEngineCore.h"
#include "effects/IZeEffectManager.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "scene/CZeResourceManagerScene.h"
#include "scene/ZeShaderDesc.h"

#include <gtest/gtest.h>

#include <GL/gl.h>
#include "frame/ZeTestDisplay.h"

#include <cstdlib>
#include <string>
#include <vector>

using namespace irr;

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

const int SIZE = 64;

class FxEmitterGL : public ::testing::Test
{
protected:
	void SetUp() override
	{
		if (!getenv("DISPLAY"))
			GTEST_SKIP() << "needs an X display";
		setenv("ZELV_BATCH", "1", 1);
		zeInstallEngineCore();
		zeRegisterSceneFactories();
		zeDisableErrorBoxes();
		zeFileSetCurrentDir(ZELV_SOURCE_DIR "/data/");  // the engine's shaders
		SZeSetupParams p = zetest::glWindowSetup(SIZE, SIZE);
		p.antialias = p.lightPrePass = 0;
		p.dataPrefix = ZELV_BINARY_DIR "/data";  // the default particle image
		ASSERT_EQ(zeSetup(&p), 0) << zeGetError(nullptr) << " " << zeGetEngineInitError();
		scene::ISceneManager* smgr = zeGetContext()->sceneManager;
		smgr->setActiveCamera(smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, -10), core::vector3df(0, 0, 0)));
	}
	void TearDown() override
	{
		zeTerm();
		zeRegisterServiceFactories(SZeServiceFactories());
		zeFileSetCurrentDir("");
		zeSetDataPrefix("");
	}
	// Draws the scene at `t` ms and returns the centre pixel.
	video::SColor frame(u32 t)
	{
		IrrlichtDevice* device = zeGetContext()->device;
		device->getTimer()->setTime(t);
		video::IVideoDriver* driver = zeGetContext()->driver;
		driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
		zeGetContext()->sceneManager->drawAll();
		unsigned char p[4] = {};
		glReadBuffer(GL_BACK);
		glReadPixels(SIZE / 2, SIZE / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
		driver->endScene();
		return video::SColor(255, p[0], p[1], p[2]);
	}
};

TEST_F(FxEmitterGL, AnEmitterDrawsItsParticlesInItsColourThroughTheDefaultEffect)
{
	ASSERT_EQ(zeMakeFxEmitterBox(1, nullptr, 0, 0, 0), 0) << zeGetError(nullptr);
	zeSetFxEmitterParticleSize(1, 3);
	zeSetFxEmitterColor(1, static_cast<int>(0xFFFF0000));
	zeSetFxEmitterLifeTime(1, 10, 0);
	zeSetFxEmitterDefaultEffect(1);
	ASSERT_EQ(zeGetError(nullptr), nullptr) << zeGetError(nullptr);
	EXPECT_EQ(frame(1000).getRed(), 0u) << "no particles before a birth rate";
	zeSetFxEmitterBirthRate(1, 100);
	const video::SColor red = frame(1100);
	EXPECT_GT(red.getRed(), 200u);
	EXPECT_EQ(red.getGreen(), 0u);
	EXPECT_EQ(red.getBlue(), 0u);

	// A new colour reaches the effect at the next draw.
	zeSetFxEmitterColor(1, static_cast<int>(0xFF00FF00));
	const video::SColor green = frame(1200);
	EXPECT_EQ(green.getRed(), 0u);
	EXPECT_GT(green.getGreen(), 200u);
	zeHideFxEmitter(1);
	EXPECT_EQ(frame(1300).getGreen(), 0u);
}

// Every variant the HyperVoxel surface can ask for builds.
TEST_F(FxEmitterGL, TheDefaultParticleEffectBuildsForEverySurfaceMacro)
{
	IZeEffectManager* effects = zeGetManager()->getEffectManager();
	const char* const switches[] = {"USE_TEX_COLOR", "USE_COLOR_GRADIENT", "USE_SIZE_GRADIENT", "USE_ROTATION"};
	const char* const blends[] = {nullptr, "USE_BLEND_ALPHA", "USE_BLEND_ADD", "USE_BLEND_SUB"};
	for (const char* blend : blends)
		for (int mask = 0; mask < 16; ++mask)
		{
			std::vector<SZeMacro> macros;
			for (int i = 0; i < 4; ++i)
				if (mask & (1 << i))
					macros.push_back({switches[i], nullptr});
			if (blend)
				macros.push_back({blend, nullptr});
			macros.push_back({nullptr, nullptr});
			IZeEffect* effect = effects->createEffect("Particle.dae", blend ? 12 : -1, macros.data(), nullptr);
			EXPECT_NE(effect, nullptr) << (blend ? blend : "no blend") << " mask " << mask << ": "
				<< effects->getLastError();
			if (effect)
				effect->drop();
		}
}
} // namespace
