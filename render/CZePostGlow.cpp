#include "render/CZePostGlow.h"

#include "frame/ZeLog.h"
#include "libext/ZeTextureExt.h"

#include <algorithm>
#include <cmath>

using namespace irr;

// ---- Glow --------------------------------------------------------------------------------
bool CZePostGlow::load(CZePostEffect* downSample, CZePostEffect* blur, CZePostEffect* compose,
	SZeLightStreak* streak, video::ITexture* const half[3], video::ITexture* const quarter[2],
	video::ITexture* const eighth[2], video::ITexture* const sixteenth[2], video::ITexture* const thirtySecond[2],
	video::ITexture* const sixtyFourth[2], IZeEffectManager* effects, const char* file)
{
	DownSample = downSample;
	Blur = blur;
	Compose = compose;
	Streak = streak;
	video::ITexture* const* pairs[5] = {quarter, eighth, sixteenth, thirtySecond, sixtyFourth};
	for (u32 i = 0; i < 3; ++i)
		Targets[H0 + i] = half ? half[i] : nullptr;
	for (u32 level = 0; level < 5; ++level)
		for (u32 i = 0; i < 2; ++i)
			Targets[Q0 + 2 * level + i] = pairs[level] ? pairs[level][i] : nullptr;
	if (AlphaMask.load(effects, file, nullptr))
		return true;
	zeLog(EZELL_ERROR, "CZePostGlow failed to load %s", file ? file : "(null)");
	return false;
}

void CZePostGlow::render(video::IVideoDriver* driver, video::ITexture* output, video::ITexture* source,
	f32 radius, f32 intensity, bool withStreaks)
{
	if (!driver || !DownSample || !Blur || !Compose || !AlphaMask.getEffect())
		return;
	for (u32 t = H0; t <= T1; ++t)
		if (t != H2 && !Targets[t])
		{
			zeLog(EZELL_ERROR, "CZePostGlow: a glow target is missing");
			return;
		}
	video::ITexture* const* tex = Targets;

	// The first step writes H1: a source there is read from a copy.
	if (source == tex[H1])
	{
		zeLog(EZELL_ERROR, "CZePostGlow error: Half Source cannot be set to Texture Half [1]");
		if (!tex[H2] || !ze::copyTexture(tex[H1], tex[H2]))
			return;
		source = tex[H2];
	}

	const f32 h = radius / 16.0f;
	const f32 w1 = core::clamp(h - 1.0f, 0.0f, 1.0f);
	const f32 w2 = core::clamp(h - 1.5f, 0.0f, 1.0f);
	const f32 w3 = core::clamp(h - 2.0f, 0.0f, 1.0f);
	auto blurPair = [&](ETarget first, ETarget second, f32 blurRadius, f32 weight) {
		Blur->renderBlur(driver, tex[first], tex[second], true, blurRadius, weight);
		Blur->renderBlur(driver, tex[second], tex[first], false, blurRadius, weight);
	};

	AlphaMask.render(driver, tex[H1], source);
	DownSample->render(driver, tex[Q1], tex[H1]);
	if (w1 != 0.0f)
		DownSample->render(driver, tex[E1], tex[Q1]);
	if (w2 != 0.0f)
		DownSample->render(driver, tex[S1], tex[E1]);
	if (w3 != 0.0f)
	{
		DownSample->render(driver, tex[T1], tex[S1]);
		blurPair(T0, T1, 2.0f * radius, w3);
	}
	if (w2 != 0.0f)
		blurPair(S0, S1, radius, w2);
	if (w1 != 0.0f)
		blurPair(E0, E1, radius / 2.0f, w1);
	blurPair(Q0, Q1, radius / 4.0f, 1.0f);
	blurPair(H0, H1, radius / 8.0f, 1.0f);

	if (w3 != 0.0f)
		Compose->renderCompose(driver, tex[S1], tex[T1], 1.0f);
	if (w2 != 0.0f)
		Compose->renderCompose(driver, tex[E1], tex[S1], 1.0f);
	if (w1 != 0.0f)
		Compose->renderCompose(driver, tex[Q1], tex[E1], 1.0f);
	Compose->renderCompose(driver, tex[H1], tex[Q1], 1.0f);

	if (withStreaks && Streak)
		Streak->render(driver, tex[H1], source, tex[Q0], tex[Q1]);
	Compose->renderCompose(driver, output, tex[H1], intensity);
}

// ---- Light streaks -----------------------------------------------------------------------
SZeLightStreak::SZeLightStreak() = default;
SZeLightStreak::~SZeLightStreak() = default;

bool SZeLightStreak::load(CZePostEffect* compose, IZeEffectManager* effects, const char* maxIntensityFile,
	const char* drawFile)
{
	ComposeEffect = compose;
	std::unique_ptr<CZePostEffect> maxIntensity(new CZePostEffect());
	std::unique_ptr<CZePostEffect> draw(new CZePostEffect());
	if (!maxIntensity->load(effects, maxIntensityFile, nullptr) || !draw->load(effects, drawFile, nullptr))
		return false;
	OwnedMaxIntensity = std::move(maxIntensity);
	OwnedDraw = std::move(draw);
	MaxIntensityEffect = OwnedMaxIntensity.get();
	DrawEffect = OwnedDraw.get();
	return true;
}

void SZeLightStreak::render(video::IVideoDriver* driver, video::ITexture* glow, video::ITexture* source,
	video::ITexture* workA, video::ITexture* workB)
{
	IZeEffect* maxIntensity = MaxIntensityEffect ? MaxIntensityEffect->getEffect() : nullptr;
	IZeEffect* draw = DrawEffect ? DrawEffect->getEffect() : nullptr;
	if (!driver || !maxIntensity || !draw || !ComposeEffect)
		return;

	const f32 limitAlpha[2] = {std::max(GlowMin - 0.02f, 0.0f), std::min(GlowMin + 0.02f, 1.0f)};
	const f32 limitColour[2] = {std::max(KeyMatch - 0.01f, 0.0f), std::min(KeyMatch + 0.01f, 1.0f)};
	maxIntensity->setFloatArrayByName("limitalpha", limitAlpha, 2);
	maxIntensity->setFloatArrayByName("limitcolor", limitColour, 2);
	maxIntensity->setFloatArrayByName("colorkey", ColorKey, 3);
	MaxIntensityEffect->render(driver, workB, source);

	const f32 angle = Angle * core::DEGTORAD;
	f32 direction[2] = {std::cos(angle), std::sin(angle)};
	draw->setFloatArrayByName("direction", direction, 2);
	draw->setFloatArrayByName("colorize", Colorize, 3);
	draw->setFloatByName("attenuation", 1.0f - 0.1f * Attenuation);
	// Three passes each way, ping-ponging; the first way ends in A, the
	// second starts from it and ends in B.
	video::ITexture* from = workB;
	video::ITexture* to = workA;
	for (u32 way = 0; way < 2; ++way)
	{
		for (u32 n = 1; n <= 3; ++n)
		{
			draw->setFloatByName("passn", static_cast<f32>(n));
			DrawEffect->render(driver, to, from);
			std::swap(from, to);
		}
		direction[0] = -direction[0];
		direction[1] = -direction[1];
		draw->setFloatArrayByName("direction", direction, 2);
	}
	ComposeEffect->renderCompose(driver, glow, from, Compose);
}
