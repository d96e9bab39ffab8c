#include "render/CZeRendererAdvBase.h"

#include "core/IZeGpuProgramming.h"
#include "frame/ZeLog.h"
#include "libext/ZeTextureExt.h"

using namespace irr;

CZeRendererAdvBase::CZeRendererAdvBase(IrrlichtDevice* device, IZeManager* manager, CZeRendererCtxAdv* context,
	const char* owner)
	: Device(device), Manager(manager), Context(context), Owner(owner)
{
	if (Context)
		Context->grab();
}

CZeRendererAdvBase::~CZeRendererAdvBase()
{
	if (Context)
		Context->drop();
}

bool CZeRendererAdvBase::getMaterialEffect(core::stringc& effectFile, SZeMacro* macros, u32& macroCount,
	video::E_MATERIAL_TYPE materialType)
{
	if (!macros || macroCount < 2)
	{
		zeLog(EZELL_ERROR, "%s::getMaterialEffect not enough space for macros", Owner);
		return false;
	}
	const bool transparent = materialType >= video::EMT_TRANSPARENT_ADD_COLOR &&
		materialType <= video::EMT_TRANSPARENT_VERTEX_ALPHA;
	effectFile = transparent ? SecondEffectFile : FirstEffectFile;
	macros[0] = SZeMacro{"USE_OUTDEPTH", nullptr};
	macros[1] = SZeMacro{nullptr, nullptr};
	macroCount = 1;
	return true;
}

bool CZeRendererAdvBase::takeDescription(const SZeRendererDesc& description, const char* const* names,
	video::ITexture** targets, u32 count)
{
	FirstEffectFile = description.FirstEffectFile;
	SecondEffectFile = description.SecondEffectFile;
	video::IVideoDriver* driver = Device ? Device->getVideoDriver() : nullptr;
	bool found = driver && Context && Manager;
	for (u32 i = 0; found && i < count; ++i)
		found = (targets[i] = ze::findTexture(driver, names[i])) != nullptr;
	if (!found)
		zeLog(EZELL_ERROR, "%s failed to find render targets", Owner);
	return found;
}

void CZeRendererAdvBase::drawThumbnails(video::ITexture* normal, video::ITexture* depth, video::ITexture* light,
	video::ITexture* half1, video::ITexture* quarter0, video::ITexture* quarter1)
{
	const s32 w = 160, h = 120;
	drawDebugTexture(normal, 0, 0, w, h);
	drawDebugTexture(depth, 180, 0, w, h);
	drawDebugTexture(light, 360, 0, w, h);
	const core::array<SZeShadowTexBind>& bindings = Context->getShadowBinds();
	if (bindings.size() > 1)
		drawDebugTexture(bindings[1].ShadowMap, 540, 0, w, h);
	drawDebugTexture(half1, 0, 140, w, h);
	drawDebugTexture(quarter0, 0, 270, w, h);
	drawDebugTexture(quarter1, 0, 400, w, h);
}

bool CZeRendererAdvBase::drawDebugTexture(video::ITexture* texture, s32 x, s32 y, s32 width, s32 height)
{
	video::IVideoDriver* driver = Device ? Device->getVideoDriver() : nullptr;
	if (!driver || !texture || dynamic_cast<ze::ITextureExt*>(texture))
		return false;
	// The library turns its render targets over when it draws them, and ours
	// hold their pictures top row first: the source rectangle turns them back.
	const core::dimension2d<u32> size = texture->getSize();
	const s32 tw = static_cast<s32>(size.Width), th = static_cast<s32>(size.Height);
	const core::rect<s32> source = texture->isRenderTarget() ? core::rect<s32>(0, th, tw, 0) :
		core::rect<s32>(0, 0, tw, th);
	driver->draw2DImage(texture, core::rect<s32>(x, y, x + width, y + height), source, nullptr, nullptr, false);
	return true;
}
