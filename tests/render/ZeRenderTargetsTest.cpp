// The named render targets: names, sizes, formats, own depth buffers, the
// mip-map flag, and the failure message.
#include "ZeRenderTestUtil.h"

using namespace irr;
using namespace zetest;

namespace
{
const char* const NAMES[26] = {"BackRTT[0]", "BackRTT[1]", "BackRTT[2]", "BackRTT[3]", "DepthRTT", "NormalRTT",
	"LightRTT", "HalfScreen[0]", "HalfScreen[1]", "HalfScreen[2]", "QuarterScreen[0]", "QuarterScreen[1]",
	"EighthScreen[0]", "EighthScreen[1]", "SixTeenthScreen[0]", "SixTeenthScreen[1]", "ThirtyTwothScreen[0]",
	"ThirtyTwothScreen[1]", "SixtyFourthScreen[0]", "SixtyFourthScreen[1]", "QuarterScreenR32F", "EighthScreenR32F",
	"ShadowMap.256", "ShadowMap.512", "ShadowMap.512.1", "ShadowMap.1024"};
// Each target's size: 0 the whole base size, 1 half ... 6 a sixty-fourth; 7 to 10 the shadow maps.
const int SIZE_OF[26] = {0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 2, 3, 7, 8, 8, 9};
const bool R32F[26] = {false, false, false, false, true, false, false, false, false, false, false, false, false,
	false, false, false, false, false, false, false, true, true, true, true, true, true};
const u32 SHADOW_SIZES[3] = {256, 512, 1024};

struct SCase
{
	bool ScreenSize;
	core::dimension2d<u32> Base;
	ze::ECOLOR_FORMAT Requested, Expected;
	bool MipMaps;
	u32 Sizes[7][2];  // whole, half ... sixty-fourth
};

class RenderTargetsGL : public RenderGL
{
protected:
	void removeTargets()
	{
		for (const char* name : NAMES)
			if (video::ITexture* t = Driver->findTexture(name))
				Driver->removeTexture(t);
	}
};
} // namespace

TEST_F(RenderTargetsGL, NamesSizesAndFormatsFollowTheBaseSizeAndKeepTheMipMapFlag)
{
	const SCase cases[] = {
		{true, {64, 48}, ze::ECF_A16B16G16R16F, ze::ECF_A16B16G16R16F, true,
			{{64, 48}, {32, 24}, {16, 12}, {8, 6}, {4, 3}, {2, 1}, {1, 1}}},
		{false, {100, 75}, ze::ECF_UNKNOWN, ze::ECF_A8R8G8B8, false,
			{{100, 75}, {50, 37}, {25, 18}, {12, 9}, {6, 4}, {3, 2}, {1, 1}}},
		{false, {640, 480}, ze::ECF_A8R8G8B8, ze::ECF_A8R8G8B8, true,
			{{640, 480}, {320, 240}, {160, 120}, {80, 60}, {40, 30}, {20, 15}, {10, 7}}},
	};
	IZeRendererManager* renderers = Manager->getRendererManager();
	for (const SCase& c : cases)
	{
		SCOPED_TRACE(std::to_string(c.Base.Width) + " x " + std::to_string(c.Base.Height));
		removeTargets();
		Driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, c.MipMaps);
		ASSERT_TRUE(renderers->createRenderTargets(c.Requested, c.ScreenSize ? nullptr : &c.Base));
		EXPECT_EQ(Driver->getTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS), c.MipMaps);
		for (u32 i = 0; i < 26; ++i)
		{
			video::ITexture* t = ze::findTexture(Driver, NAMES[i]);
			ASSERT_NE(t, nullptr) << NAMES[i];
			EXPECT_TRUE(t->isRenderTarget()) << NAMES[i];
			const int level = SIZE_OF[i];
			const u32 w = level < 7 ? c.Sizes[level][0] : SHADOW_SIZES[level - 7];
			const u32 h = level < 7 ? c.Sizes[level][1] : SHADOW_SIZES[level - 7];
			EXPECT_EQ(t->getSize(), core::dimension2d<u32>(w, h)) << NAMES[i];
			EXPECT_EQ(ze::getTextureFormat(t), R32F[i] ? ze::ECF_R32F : c.Expected) << NAMES[i];
			EXPECT_EQ(ze::hasOwnZBuffer(t), level >= 7) << NAMES[i];
			EXPECT_FALSE(t->hasMipMaps()) << NAMES[i];
		}
	}
	EXPECT_EQ(linesWith("CZeRenderTargets failed"), 0);
}

TEST_F(RenderTargetsGL, FailingTargetsAreReportedAndTheMipMapFlagStaysAsItWas)
{
	removeTargets();
	const core::dimension2d<u32> none(0, 0);
	for (bool mipMaps : {true, false})
	{
		Driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, mipMaps);
		EXPECT_FALSE(Manager->getRendererManager()->createRenderTargets(ze::ECF_A8R8G8B8, &none));
		EXPECT_EQ(Driver->getTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS), mipMaps);
	}
	EXPECT_EQ(linesWith("ERROR : CZeRenderTargets failed to create render targets"), 2);
	EXPECT_EQ(linesWith("CZeRenderTargets failed to create shadow map render targets"), 0);
	// The fractions that could be made stay.
	EXPECT_NE(ze::findTexture(Driver, "HalfScreen[0]"), nullptr);
	EXPECT_EQ(ze::findTexture(Driver, "BackRTT[0]"), nullptr);
}
