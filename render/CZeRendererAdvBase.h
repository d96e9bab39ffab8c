// What the light pre-pass and the command renderers share: the device, the
// engine manager and the advanced context they stand on, the two material
// effect files of their description, the targets they find by name and the
// debug thumbnails of the buffers.
#pragma once

#include "core/IZeManager.h"
#include "core/IZeRenderer.h"
#include "core/SZeRendererDesc.h"
#include "render/CZeRendererCtxAdv.h"

#include <irrlicht.h>

class CZeRendererAdvBase : public IZeRenderer
{
public:
	// Holds a reference on the context; `owner` is the class name that
	// prefixes the messages.
	CZeRendererAdvBase(irr::IrrlichtDevice* device, IZeManager* manager, CZeRendererCtxAdv* context,
		const char* owner);
	~CZeRendererAdvBase() override;
	CZeRendererAdvBase(const CZeRendererAdvBase&) = delete;
	CZeRendererAdvBase& operator=(const CZeRendererAdvBase&) = delete;

	// The first effect file for solid material types, the second for the
	// transparent ones (12 to 15), each with the macro "USE_OUTDEPTH"; false
	// with "<owner>::getMaterialEffect not enough space for macros" when the
	// array holds fewer than two pairs (nothing is written then).
	bool getMaterialEffect(irr::core::stringc& effectFile, SZeMacro* macros, irr::u32& macroCount,
		irr::video::E_MATERIAL_TYPE materialType) override;
	// The whole texture stretched into the rectangle, as it is (no alpha);
	// false without a texture or for our own texture kinds.
	virtual bool drawDebugTexture(irr::video::ITexture* texture, irr::s32 x, irr::s32 y, irr::s32 width,
		irr::s32 height);

	const irr::core::stringc& getEffectFile(irr::u32 which) const { return which ? SecondEffectFile : FirstEffectFile; }

protected:
	// Keeps the description's effect files and finds the targets by name;
	// false with "<owner> failed to find render targets" when one is missing.
	bool takeDescription(const SZeRendererDesc& description, const char* const* names, irr::video::ITexture** targets,
		irr::u32 count);
	// Seven 160 x 120 thumbnails over the back buffer: normal, depth, light,
	// the second shadow map (when there is one), the glow's half screen and
	// both quarter screens.
	void drawThumbnails(irr::video::ITexture* normal, irr::video::ITexture* depth, irr::video::ITexture* light,
		irr::video::ITexture* half1, irr::video::ITexture* quarter0, irr::video::ITexture* quarter1);

	irr::IrrlichtDevice* Device;
	IZeManager* Manager;
	CZeRendererCtxAdv* Context;
	irr::core::stringc FirstEffectFile;
	irr::core::stringc SecondEffectFile;

private:
	const char* Owner;
};
