#include "render/CZePostChain.h"

#include "frame/ZeLog.h"
#include "libext/ZeTextureExt.h"

#include <cstring>

using namespace irr;

namespace
{
const char* const GLOW_TARGET = "HalfScreen[1]";

bool makeCurrent(IZeRenderServices* services, video::ITexture* target)
{
	return target ? services->setRenderTargets(&target, 1) : services->setRenderTargets(nullptr, 0);
}

const char* annotation(IZeEffect* effect, const char* name)
{
	const SZeFxAnnotation* a = effect->getTechniqueAnnotation(0, name);
	return a ? effect->getAnnotationString(a) : nullptr;
}
} // namespace

CZePostChain::~CZePostChain()
{
	for (u32 i = 0; i < Effects.size(); ++i)
		Effects[i]->drop();
}

u32 CZePostChain::setEffects(const core::array<IZeEffect*>& effects)
{
	core::array<IZeEffect*> kept;
	kept.reallocate(effects.size());
	for (u32 i = 0; i < effects.size(); ++i)
		if (effects[i])
		{
			effects[i]->grab();
			kept.push_back(effects[i]);
		}
	for (u32 i = 0; i < Effects.size(); ++i)
		Effects[i]->drop();
	Effects = kept;
	return Effects.size();
}

CZePostChain::EApplied CZePostChain::apply(video::IVideoDriver* driver, IZeRenderServices* services,
	IZeEffect* effect, video::ITexture* input, video::ITexture* output, const char* stage, bool glowAvailable)
{
	const char* wanted = annotation(effect, "render");
	if ((wanted && !stage) || (!wanted && stage) || (wanted && strcmp(wanted, stage) != 0))
		return EA_SKIPPED;
	EApplied applied = EA_DRAWN;
	if (const char* name = annotation(effect, "rendertarget"))
		if (video::ITexture* redirect = ze::findTexture(driver, name))
		{
			// Reading and writing one texture in one pass has no defined result.
			if (redirect == input)
			{
				zeLog(EZELL_ERROR, "CZePostChain: effect %s renders into %s, which it reads", effect->getFileName(), name);
				return EA_SKIPPED;
			}
			// Redirected to where the pair writes anyway: the pair moves on as usual.
			if (redirect != output)
				applied = EA_REDIRECTED;
			output = redirect;
		}
	if (const SZeFxParameter* glow = effect->getParameterByName("GlowRTT"))
	{
		if (!glowAvailable)
			return EA_SKIPPED;
		effect->setSamplerTexture(glow, ze::findTexture(driver, GLOW_TARGET), false);
	}
	makeCurrent(services, output);
	services->drawScreenQuad(effect, 0, 0, input);
	return applied;
}

video::ITexture* CZePostChain::render(video::IVideoDriver* driver, IZeRenderServices* services,
	video::ITexture* target, video::ITexture* source, video::ITexture* second, const char* stage, bool copyToTarget,
	bool glowAvailable)
{
	if (Effects.empty() || !driver || !services || !source)
		return source;
	video::ITexture* other = target && target != source ? target : second;
	if (!other)
	{
		zeLog(EZELL_ERROR, "CZePostChain: cannot set second flipflop texture");
		return source;
	}
	video::ITexture* current = source;
	for (u32 i = 0; i < Effects.size(); ++i)
	{
		video::ITexture* output = current == source ? other : source;
		// A redirected effect wrote elsewhere: the pair stays where it was.
		if (apply(driver, services, Effects[i], current, output, stage, glowAvailable) == EA_DRAWN)
			current = output;
	}
	if (current != target && (source == target || copyToTarget))
	{
		makeCurrent(services, target);
		services->copyTexture(current);
		makeCurrent(services, target);
		return target;
	}
	makeCurrent(services, current);
	return current;
}
