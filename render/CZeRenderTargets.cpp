#include "render/CZeRenderTargets.h"

#include "frame/ZeLog.h"
#include "libext/ZeTextureExt.h"

using namespace irr;

namespace
{
struct STarget
{
	const char* Name;
	u32 Divisor;  // of the base size
	bool R32F;    // else the requested format
};

const STarget TARGETS[] = {
	{"BackRTT[0]", 1, false}, {"BackRTT[1]", 1, false}, {"BackRTT[2]", 1, false}, {"BackRTT[3]", 1, false},
	{"DepthRTT", 1, true}, {"NormalRTT", 1, false}, {"LightRTT", 1, false},
	{"HalfScreen[0]", 2, false}, {"HalfScreen[1]", 2, false}, {"HalfScreen[2]", 2, false},
	{"QuarterScreen[0]", 4, false}, {"QuarterScreen[1]", 4, false},
	{"EighthScreen[0]", 8, false}, {"EighthScreen[1]", 8, false},
	{"SixTeenthScreen[0]", 16, false}, {"SixTeenthScreen[1]", 16, false},
	{"ThirtyTwothScreen[0]", 32, false}, {"ThirtyTwothScreen[1]", 32, false},
	{"SixtyFourthScreen[0]", 64, false}, {"SixtyFourthScreen[1]", 64, false},
	{"QuarterScreenR32F", 4, true}, {"EighthScreenR32F", 8, true},
};

struct SShadowMap
{
	const char* Name;
	u32 Size;
};

const SShadowMap SHADOW_MAPS[] = {
	{"ShadowMap.256", 256}, {"ShadowMap.512", 512}, {"ShadowMap.512.1", 512}, {"ShadowMap.1024", 1024}};

// One side of a fraction of the base size: the remainder is dropped, but a
// fraction never falls below one pixel on tiny screens.
u32 fraction(u32 side, u32 divisor)
{
	if (divisor == 1)
		return side;
	const u32 part = side / divisor;
	return part ? part : 1u;
}
} // namespace

bool CZeRenderTargets::create(video::IVideoDriver* driver, ze::ECOLOR_FORMAT format,
	const core::dimension2d<u32>* size)
{
	if (!driver)
	{
		zeLog(EZELL_ERROR, "CZeRenderTargets failed to create render targets");
		return false;
	}
	if (format == ze::ECF_UNKNOWN)
		format = ze::ECF_A8R8G8B8;
	const core::dimension2d<u32> base = size ? *size : driver->getScreenSize();

	const bool mipMaps = driver->getTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS);
	driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, false);
	bool made = true;
	for (const STarget& t : TARGETS)
	{
		const core::dimension2d<u32> dim(fraction(base.Width, t.Divisor), fraction(base.Height, t.Divisor));
		if (!ze::addRenderTargetTexture(driver, dim, t.Name, t.R32F ? ze::ECF_R32F : format))
			made = false;
	}
	driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, mipMaps);
	if (!made)
	{
		zeLog(EZELL_ERROR, "CZeRenderTargets failed to create render targets");
		return false;
	}

	driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, false);
	core::array<video::ITexture*> shadowMaps;
	for (const SShadowMap& s : SHADOW_MAPS)
		shadowMaps.push_back(ze::addRenderTargetTextureOwnZBuffer(driver, core::dimension2d<u32>(s.Size, s.Size),
			s.Name, ze::ECF_R32F));
	driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, mipMaps);
	for (u32 i = 0; i < shadowMaps.size(); ++i)
		if (!shadowMaps[i])
		{
			zeLog(EZELL_ERROR, "CZeRenderTargets failed to create shadow map render targets");
			return false;
		}
	return true;
}
