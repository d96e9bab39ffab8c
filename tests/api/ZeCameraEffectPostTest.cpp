// Camera effects made and switched through the engine API, run by the post
// chain (Xvfb, llvmpipe): the frame changes while an effect is enabled, in
// the order of enabling, and no longer once it is hidden.
#include "render/ZeRenderTestUtil.h"

#include "api/ZeCameraEffectApi.h"
#include "render/CZePostChain.h"

#include "frame/ZeTestDisplay.h"

using namespace irr;
using namespace zetest;

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

class CameraEffectPostGL : public RenderGL
{
protected:
	void SetUp() override
	{
		RenderGL::SetUp();
		if (IsSkipped() || HasFatalFailure())
			return;
		ASSERT_TRUE(Manager->getRendererManager()->createRenderTargets(ze::ECF_A8R8G8B8, nullptr));
		Frame = ze::findTexture(Driver, "BackRTT[0]");
		Second = ze::findTexture(Driver, "BackRTT[1]");
		Fill = loadEffect(ZELV_RENDER_TEST_DATA "colour.hlsl");
		ASSERT_TRUE(Frame && Second && Fill);
	}

	// Draws the frame (one colour), hands the enabled camera effects to the
	// chain as the frame end does, runs it over the frame and reads the result.
	Rgba runFrame()
	{
		const f32 colour[4] = {0.8f, 0.4f, 0.2f, 1.0f};
		Fill->setFloatArrayByName("Color", colour, 4);
		Services->setRenderTargets(&Frame, 1);
		Services->drawScreenQuad(Fill, static_cast<u32>(Fill->getTechniqueIndex("fill")), 0, nullptr);
		core::array<IZeEffect*> enabled;
		zeGetEnabledCameraEffects(enabled);
		Chain.setEffects(enabled);
		EXPECT_EQ(Chain.render(Driver, Services, Frame, Frame, Second, nullptr, false, false), Frame);
		return texel(read(Frame), 64, 20, 20);
	}

	video::ITexture* Frame = nullptr;
	video::ITexture* Second = nullptr;
	IZeEffect* Fill = nullptr;
	CZePostChain Chain;
};
} // namespace

TEST_F(CameraEffectPostGL, EnabledCameraEffectsChangeTheFrameUntilHidden)
{
	ASSERT_EQ(zeMakeCameraEffectFromFile(1, ZELV_RENDER_TEST_DATA "invert.hlsl"), 0);
	ASSERT_EQ(zeMakeCameraEffectFromFile(2, ZELV_RENDER_TEST_DATA "scale.hlsl"), 0);
	EXPECT_TRUE(near(runFrame(), 204, 102, 51));  // made, not enabled

	zeShowCameraEffect(1);
	EXPECT_TRUE(near(runFrame(), 51, 153, 204));  // inverted

	zeShowCameraEffect(2);
	EXPECT_TRUE(near(runFrame(), 26, 76, 102));  // inverted, then halved

	zeHideCameraEffect(1);
	zeShowCameraEffect(1);
	EXPECT_TRUE(near(runFrame(), 153, 204, 230));  // halved, then inverted

	zeHideCameraEffect(1);
	zeHideCameraEffect(2);
	EXPECT_TRUE(near(runFrame(), 204, 102, 51));
	EXPECT_EQ(Chain.getEffects().size(), 0u);

	// A deleted camera effect leaves the chain's list at the next frame; the
	// chain held it until then.
	zeShowCameraEffect(1);
	runFrame();
	zeDeleteCameraEffect(1);
	EXPECT_TRUE(near(runFrame(), 204, 102, 51));
	zeDeleteCameraEffect(2);
}
