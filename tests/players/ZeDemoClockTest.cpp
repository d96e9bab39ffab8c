// The capture clock on the real engine (NULL driver): while the demo holds
// it, everything a frame moves by time reads the held time however much
// wall-clock time passes, and part starts seed the random generators.
#include "core/IZeManager.h"
#include "core/IZeRenderer.h"
#include "core/IZeServices.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeContext.h"
#include "frame/ZeDraw2D.h"
#include "frame/ZeEngine.h"
#include "frame/ZeTime.h"
#include "frame/ZeWindow.h"
#include "players/ZeDemoCalls.h"
#include "render/ZeRenderFactories.h"
#include "scene/CZeFxEmitter.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace irr;

namespace
{
class DemoClockTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		setenv("ZELV_DRIVER", "null", 1);
		setenv("ZELV_BATCH", "1", 1);
		zeInstallEngineCore();
		zeRegisterRenderFactories();
		SZeSetupParams params;
		zeInitSetupParams(&params);
		params.windowed = 1;
		params.width = 64;
		params.height = 48;
		ASSERT_EQ(zeSetup(&params), 0);
		Timer = zeGetContext()->device->getTimer();
	}
	void TearDown() override
	{
		zeDemoCalls().releaseFrameClock();
		zeTerm();
		zeRegisterServiceFactories(SZeServiceFactories());
	}
	// Frames the device runs while wall-clock time passes.
	static void passFrames(int count)
	{
		for (int i = 0; i < count; ++i)
		{
			zeRun();
			zeSleep(15);
		}
	}
	static IZeLastFrameInfo* lastFrame() { return zeGetManager()->getRendererManager()->getLastFrameInfo(); }

	ITimer* Timer = nullptr;
};
} // namespace

TEST_F(DemoClockTest, FadersAndFrameTimesReadTheHeldClock)
{
	SZeDemoCalls& calls = zeDemoCalls();
	calls.holdFrameClock(1000);
	zeFadeIn(500, 0);
	gui::IGUIInOutFader* fader = zeGetContext()->fader;
	ASSERT_NE(fader, nullptr);
	zeSync();
	passFrames(4);
	EXPECT_EQ(Timer->getTime(), 1000u);
	calls.holdFrameClock(1499);
	EXPECT_FALSE(fader->isReady());
	zeSync();
	passFrames(4);
	calls.holdFrameClock(1600);
	EXPECT_TRUE(fader->isReady());
	// Frames ended at 1000, 1499 and 1600: the last-frame times are the held
	// steps, not the wall clock's.
	zeSync();
	EXPECT_FLOAT_EQ(lastFrame()->getAverageFps(), 3 / 0.6f);

	// Released, the device's time runs with the wall clock again.
	calls.releaseFrameClock();
	const u32 before = Timer->getTime();
	passFrames(4);
	EXPECT_GT(Timer->getTime(), before + 30);
	EXPECT_FALSE(Timer->isStopped());
}

TEST_F(DemoClockTest, PartStartsSeedTheParticles)
{
	zeParticleRandom();
	zeDemoCalls().seedRandom(3);
	EXPECT_EQ(zeParticleRandomState(), 3u);
	const u32 first = zeParticleRandom();
	zeParticleRandom();
	zeDemoCalls().seedRandom(3);
	EXPECT_EQ(zeParticleRandom(), first);
}
