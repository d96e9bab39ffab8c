// The render services: render targets, screen quads, drawing node lists
// with techniques, override materials and selection masks, the frame's
// render lists, and cube-map capture.
#pragma once

#include "core/CZeScreenQuad.h"
#include "core/IZeManager.h"
#include "core/IZeServices.h"
#include "effects/IZeEffect.h"
#include "effects/SZeMaterialExt.h"

#include <irrlicht.h>

#include <vector>

class CZeRenderServices : public IZeRenderServices
{
public:
	// The manager (may be null) is asked for the driver extension, the effect
	// manager and the resource manager when they are needed.
	CZeRenderServices(irr::IrrlichtDevice* device, IZeManager* manager);
	~CZeRenderServices() override;
	CZeRenderServices(const CZeRenderServices&) = delete;
	CZeRenderServices& operator=(const CZeRenderServices&) = delete;

	bool setRenderTargets(irr::video::ITexture* const* textures, irr::u32 count) override;
	bool drawScreenQuad(IZeEffect* effect, irr::u32 technique, irr::u32 pass, irr::video::ITexture* texture) override;
	bool drawScreenQuadTextures(IZeEffect* effect, irr::u32 technique, irr::u32 pass,
		irr::video::ITexture* const* textures, irr::u32 count) override;
	// Through the engine's copy effect ("copytexture.hlsl").
	bool copyTexture(irr::video::ITexture* texture) override;
	bool renderNodes(const irr::core::array<irr::scene::ISceneNode*>& nodes, irr::scene::E_SCENE_NODE_RENDER_PASS pass,
		const char* technique, const irr::video::SOverrideMaterial* overrideMaterial, irr::u32 hideMask,
		irr::u32 showMask, irr::u32* count) override;
	void getLightList(irr::core::array<irr::scene::ISceneNode*>& out) override;
	void getSolidNodeList(irr::core::array<irr::scene::ISceneNode*>& out) override;
	void getTransparentNodeList(irr::core::array<irr::scene::ISceneNode*>& out) override;
	void getTransparentEffectNodeList(irr::core::array<irr::scene::ISceneNode*>& out) override;
	void getVisibleNodes(irr::core::array<irr::scene::ISceneNode*>& out) override;
	void getVisibleExtNodes(irr::core::array<irr::scene::ISceneNode*>& out) override;
	void filterExtNodes(irr::core::array<irr::scene::ISceneNode*>& out,
		const irr::core::array<irr::scene::ISceneNode*>& in) override;
	bool renderCubeMap(ze::ITextureCUBE* cube, irr::video::ITexture* work, const irr::core::vector3df& position,
		IZeRenderer* renderer) override;
	bool clearCubeMap(ze::ITextureCUBE* cube) override;
	bool cubeToLatLong(ze::ITextureCUBE* cube, irr::video::ITexture* target) override;

private:
	// A sampler given a screen-quad input for one draw, and its own texture (held).
	struct SLent
	{
		const SZeFxParameter* Parameter;
		irr::video::ITexture* Own;
	};

	irr::video::IVideoDriver* driver() const { return Device ? Device->getVideoDriver() : nullptr; }
	void lendInputs(IZeEffect* effect, irr::video::ITexture* const* textures, irr::u32 count,
		const irr::video::SMaterial& material);
	void returnInputs(IZeEffect* effect);

	irr::IrrlichtDevice* Device;
	IZeManager* Manager;
	CZeScreenQuad Quad;
	SZeMaterialExt Record;
	IZeEffect* CopyEffect = nullptr;
	bool CopyEffectTried = false;
	std::vector<SLent> Lent;
};
