#include "api/ZeScreenQuadApi.h"

#include "api/ZeEffectApi.h"
#include "core/IZeManager.h"
#include "effects/IZeEffectManager.h"
#include "effects/SZeMaterialExt.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "libext/ZeMaterialExt.h"

#include <memory>

using namespace irr;

namespace
{
// The quad and the one record its material's user data points to while it
// draws: each draw writes the same material, so it reads the same side record.
struct SEffectQuad
{
	FxDrawScreenQuad Quad;
	SZeMaterialExt Record;
};

std::unique_ptr<SEffectQuad>& sharedQuad()
{
	static std::unique_ptr<SEffectQuad> quad;
	return quad;
}

void setFloats(IZeEffect* effect, const char* name, f32 a, f32 b, f32 c, f32 d)
{
	if (const SZeFxParameter* parameter = effect->getParameterByName(name))
	{
		const f32 values[4] = {a, b, c, d};
		effect->setFloatArray(parameter, values, 4);
	}
}

int drawWithEffect(const core::rect<s32>& rect, int effectId, u32 colour, video::ITexture* image, bool withImage)
{
	std::unique_ptr<SEffectQuad>& shared = sharedQuad();
	if (!shared)
		shared.reset(new SEffectQuad());
	IZeEffect* effect = zeGetEffect(effectId);
	video::IVideoDriver* driver = zeGetContext()->driver;
	if (!effect || !driver)
		return -1;
	const SZeFxParameter* imageSampler = withImage ? effect->getParameterByName("Image") : nullptr;
	if (imageSampler)
		effect->setSamplerTexture(imageSampler, image, imageSampler->SRGB);
	const core::position2d<s32>& a = rect.UpperLeftCorner;
	const core::position2d<s32>& b = rect.LowerRightCorner;
	setFloats(effect, "Rectangle", f32(a.X), f32(a.Y), f32(b.X - a.X), f32(b.Y - a.Y));
	const video::SColor c(colour);
	setFloats(effect, "Color", c.getRed() / 255.f, c.getGreen() / 255.f, c.getBlue() / 255.f, c.getAlpha() / 255.f);

	video::SMaterial& material = shared->Quad.getMaterial();
	effect->getPassMaterial(0, 0, material);
	shared->Record.Effect = effect;
	ze::setMaterialUserData(material, &shared->Record);
	shared->Quad.render(driver);

	// The quad keeps nothing of the draw: no textures, no effect, no image.
	shared->Record.Effect = nullptr;
	ze::setMaterialUserData(material, nullptr);
	for (u32 layer = 0; layer < ze::MATERIAL_MAX_TEXTURES; ++layer)
		ze::setMaterialTexture(material, layer, nullptr);
	if (imageSampler)
		effect->setSamplerTexture(imageSampler, nullptr, imageSampler->SRGB);
	if (IZeManager* manager = zeGetManager())
		if (IZeEffectManager* effects = manager->getEffectManager())
			effects->releaseTextureUnits();
	return 0;
}

int hookBox(int x1, int y1, int x2, int y2, int effectId, u32 colour)
{
	return zeDrawBoxWithEffect(core::rect<s32>(x1, y1, x2, y2), effectId, colour);
}

int hookImage(video::ITexture* texture, int x1, int y1, int x2, int y2, u32 colour, int effectId)
{
	return zeDrawImageWithEffect(core::rect<s32>(x1, y1, x2, y2), effectId, colour, texture);
}
} // namespace

int zeDrawBoxWithEffect(const core::rect<s32>& rect, int effectId, u32 colour)
{
	return drawWithEffect(rect, effectId, colour, nullptr, false);
}

int zeDrawImageWithEffect(const core::rect<s32>& rect, int effectId, u32 colour, video::ITexture* image)
{
	return drawWithEffect(rect, effectId, colour, image, true);
}

void zeFreeScreenQuad()
{
	sharedQuad().reset();
}

void zeInstallScreenQuadApi()
{
	SZeEngineHooks& hooks = zeGetEngineHooks();
	hooks.drawBoxWithEffect = hookBox;
	hooks.drawImageWithEffect = hookImage;
}
