#include "render/CZePostAntialias.h"

#include "frame/ZeLog.h"

using namespace irr;

// ---- Jitter ----------------------------------------------------------------------------------
namespace
{
u32 g_jitterRandom = 0;

f32 nextRandom()
{
	g_jitterRandom = g_jitterRandom * 214013u + 2531011u;
	return static_cast<f32>((g_jitterRandom >> 16) & 0x7FFF) / 32767.0f;
}

const f32 JITTER_2[2][2] = {{-0.25f, 0.25f}, {0.25f, -0.25f}};
const f32 JITTER_4[4][2] = {{-0.375f, 0.125f}, {0.375f, -0.125f}, {0.125f, 0.375f}, {-0.125f, -0.375f}};
const f32 JITTER_8[8][2] = {{0.0804022f, -0.201951f}, {-0.0803822f, 0.198049f}, {0.319618f, 0.0804022f},
	{-0.201951f, -0.319598f}, {-0.319598f, 0.319618f}, {-0.441166f, -0.0803822f}, {0.198049f, 0.441186f},
	{0.441186f, -0.441166f}};

const u32 RANDOM_POSITIONS = 10000000;
} // namespace

core::vector3df zeJitterOffset(u32 positions, u32 frame)
{
	switch (positions)
	{
	case 0:
	case 1: return core::vector3df(0, 0, 0);
	case 2: return core::vector3df(JITTER_2[frame % 2][0], JITTER_2[frame % 2][1], 0);
	case 4: return core::vector3df(JITTER_4[frame % 4][0], JITTER_4[frame % 4][1], 0);
	case 8: return core::vector3df(JITTER_8[frame % 8][0], JITTER_8[frame % 8][1], 0);
	default:
	{
		const f32 first = nextRandom();
		const f32 second = nextRandom();
		return core::vector3df(second - 0.5f, first - 0.5f, 0);
	}
	}
}

void zeResetJitterRandom()
{
	g_jitterRandom = 0;
}

// ---- Temporal antialiasing ---------------------------------------------------------------
bool CZePostAntialias::load(CZePostSMAA* smaa, IZeEffectManager* effects, const char* file)
{
	Smaa = smaa;
	const SZeMacro reprojected[] = {{"USE_REPROJ_CAMERA", "1"}, {nullptr, nullptr}};
	const SZeMacro limited[] = {{"USE_REPROJ_CAMERA", "1"}, {"USE_VLIMIT", "1"}, {nullptr, nullptr}};
	if (PlainBlend.load(effects, file, nullptr) && ReprojectedBlend.load(effects, file, reprojected) &&
		LimitedBlend.load(effects, file, limited))
		return true;
	zeLog(EZELL_ERROR, "CZePostAntialias failed to load %s", file ? file : "(null)");
	return false;
}

void CZePostAntialias::getJitterMatrix(core::matrix4& out, u32 frame, u32 width, u32 height) const
{
	static const u32 POSITIONS[4] = {1, 2, 4, 8};
	const core::vector3df offset = zeJitterOffset(Jitter < 4 ? POSITIONS[Jitter] : RANDOM_POSITIONS, frame);
	out.makeIdentity();
	out.setTranslation(core::vector3df(width ? offset.X * 2.0f / static_cast<f32>(width) : 0.0f,
		height ? offset.Y * 2.0f / static_cast<f32>(height) : 0.0f, 0.0f));
}

f32 CZePostAntialias::getBlendFactor(bool resetHistory) const
{
	if (resetHistory)
		return 1.0f;
	static const f32 BY_JITTER[4] = {1.0f, 1.0f / 2, 1.0f / 4, 1.0f / 8};
	if (BlendingWeight == 0)
		return Jitter < 4 ? BY_JITTER[Jitter] : 1.0f / 128;
	if (BlendingWeight <= 9)
		return 1.0f / static_cast<f32>(1u << (BlendingWeight - 1));
	return 1.0f / 2;
}

CZePostEffect* CZePostAntialias::chooseBlend()
{
	if (Blending != 2)
		return &PlainBlend;
	if (!ValueLimitEnable)
		return &ReprojectedBlend;
	if (IZeEffect* effect = LimitedBlend.getEffect())
		effect->setFloatByName("VLimit", ValueLimit);
	return &LimitedBlend;
}

video::ITexture* CZePostAntialias::render(video::IVideoDriver* driver, IZeVideoDriverExt* driverExt,
	IZeRenderServices* services, video::ITexture* work, video::ITexture* source, video::ITexture* blendWork,
	video::ITexture* history, bool toDisplay, bool convertFirst, bool resetHistory)
{
	video::ITexture* result = source;
	// Whether the morphological pass drew the result onto the back buffer.
	bool shown = false;
	if (!source || !work || (Blending != 0 && !history))
	{
		zeLog(EZELL_ERROR, "CZePostAntialias: no %s texture", !source ? "source" : !work ? "work" : "history");
		show(services, source, toDisplay);
		return source;
	}
	if (Mode == 1 && Smaa && Smaa->isLoaded())
	{
		shown = toDisplay && Blending == 0;
		Smaa->render(driver, driverExt, work, source, blendWork, shown, convertFirst);
		result = work;
	}
	if (Blending != 0)
	{
		const f32 factor = getBlendFactor(resetHistory);
		if (factor < 1.0f)
		{
			video::ITexture* out = result == source ? work : source;
			CZePostEffect* blend = chooseBlend();
			if (IZeEffect* effect = blend->getEffect())
			{
				effect->setFloatByName("Blend", factor);
				if (blend != &PlainBlend && driver)
				{
					// The camera of the frame: post effects keep the driver's transforms.
					core::matrix4 viewInverse;
					driver->getTransform(video::ETS_VIEW).getInverse(viewInverse);
					effect->setMatrixByName("CameraViewInverse", viewInverse);
					effect->setMatrixByName("CameraProjection", driver->getTransform(video::ETS_PROJECTION));
				}
			}
			blend->render(driver, out, result, history);
			result = out;
		}
		if (services)
		{
			services->setRenderTargets(&history, 1);
			services->copyTexture(result);
		}
	}
	if (Mode == 0 && Blending == 0)
		zeLog(EZELL_WARN, "CZePostAntialias: nothing rendered");
	if (!shown)
		show(services, result, toDisplay);
	return result;
}

void CZePostAntialias::show(IZeRenderServices* services, video::ITexture* texture, bool toDisplay)
{
	if (!toDisplay || !services || !texture)
		return;
	services->setRenderTargets(nullptr, 0);
	services->copyTexture(texture);
}
