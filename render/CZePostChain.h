// The post chain: the scene's camera effects applied one after the other,
// ping-ponging between two textures. An effect's first technique may name
// the stage of the frame it runs at (annotation "render"), redirect its
// output to a texture found by name (annotation "rendertarget"), and read the
// glow result through a sampler "GlowRTT".
#pragma once

#include "core/IZeServices.h"
#include "effects/IZeEffect.h"

#include <irrlicht.h>

class CZePostChain
{
public:
	CZePostChain() = default;
	virtual ~CZePostChain();
	CZePostChain(const CZePostChain&) = delete;
	CZePostChain& operator=(const CZePostChain&) = delete;

	// Holds the effects of the list, in order, and lets the old ones go (an
	// effect in both lists lives on); returns the new count.
	virtual irr::u32 setEffects(const irr::core::array<IZeEffect*>& effects);

	// Runs the effects of the stage (null: those without a stage) from
	// `source`, alternating between it and the target (or `second` when the
	// target is the source or null). The result ends in the target when the
	// source was the target or copyToTarget is set; the texture holding the
	// result is returned and left current. Without effects: the source.
	// Without a second texture to alternate with: "CZePostChain: cannot set
	// second flipflop texture", the source.
	virtual irr::video::ITexture* render(irr::video::IVideoDriver* driver, IZeRenderServices* services,
		irr::video::ITexture* target, irr::video::ITexture* source, irr::video::ITexture* second, const char* stage,
		bool copyToTarget, bool glowAvailable);

	const irr::core::array<IZeEffect*>& getEffects() const { return Effects; }

private:
	enum EApplied
	{
		EA_SKIPPED,
		EA_DRAWN,        // into the output
		EA_REDIRECTED    // into the texture its "rendertarget" names
	};
	EApplied apply(irr::video::IVideoDriver* driver, IZeRenderServices* services, IZeEffect* effect,
		irr::video::ITexture* input, irr::video::ITexture* output, const char* stage, bool glowAvailable);

	irr::core::array<IZeEffect*> Effects;
};
