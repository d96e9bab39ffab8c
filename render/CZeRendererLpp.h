// The light pre-pass renderer, the engine's default renderer whenever the
// light pre-pass is on. A frame: the depth and normal of the solid geometry,
// the lights added into the light buffer from them (with shadow maps), the
// solid geometry again reading the light buffer, the transparent geometry,
// volumetric lights, antialiasing, glow, depth of field, the camera's post
// effects and gamma. Effects, lights and post passes all belong to the
// advanced context (CZeRendererCtxAdv); the named targets to the render-target
// set (CZeRenderTargets).
//
// Materials drawn without an effect (the library's own, as objects have
// before an effect is compiled for their surfaces) take part as well: their
// depth and normal are drawn through the solid effect file's "depth"
// technique, and their colour reaches the colour target alone, through a
// projection turned upside down like the effects' pictures in targets.
#pragma once

#include "effects/SZeMaterialExt.h"
#include "render/CZeRendererAdvBase.h"
#include "render/ZeRendererSteps.h"

#include <irrlicht.h>

#include <deque>
#include <vector>

class CZeRendererLpp : public CZeRendererAdvBase
{
public:
	// The steps of render, numbered from 1 in their order.
	static const irr::u32 STEP_COUNT = 31;
	// Called at the start of each step that runs; the bench times steps with it.
	typedef void (*StepHook)(void* user, irr::u32 step);

	// Holds a reference on the context.
	CZeRendererLpp(irr::IrrlichtDevice* device, IZeManager* manager, CZeRendererCtxAdv* context);
	~CZeRendererLpp() override;
	CZeRendererLpp(const CZeRendererLpp&) = delete;
	CZeRendererLpp& operator=(const CZeRendererLpp&) = delete;

	// Draws a frame into the target (null: the back buffer); false, drawing
	// nothing, before a successful init.
	bool render(irr::video::ITexture* target) override;

	// Keeps the description's effect files and finds the twelve targets;
	// false with "CZeRendererLpp failed to find render targets" when one is
	// missing, and false when already done.
	virtual bool init(const SZeRendererDesc& description);
	// Seven 160 x 120 thumbnails of the buffers over the back buffer; true.
	virtual bool drawDebugTargets();

	void setStepHook(StepHook hook, void* user);
	bool isReady() const { return Ready; }

private:
	enum ETarget
	{
		BACK0, BACK1, BACK2, BACK3, DEPTH, NORMAL, LIGHT, HALF0, HALF1, HALF2, QUARTER0, QUARTER1, TARGET_COUNT
	};

	void step(irr::u32 number);
	// "BackRTT[1]" for "BackRTT[0]", else "BackRTT[0]".
	irr::video::ITexture* other(irr::video::ITexture* texture) const;
	// The depth pass: materials without a "depth" technique draw through the
	// solid effect file's one for the call.
	void drawDepth(IZeRenderServices* services);
	// Nodes into a colour target and DepthRTT: those whose every material
	// writes both through its effect, then the others into the colour target
	// alone (the library's materials upside down, their depth pulled forward
	// a little so that they meet the depth their fallback drew).
	void drawColour(IZeRenderServices* services, const irr::core::array<irr::scene::ISceneNode*>& nodes,
		irr::scene::E_SCENE_NODE_RENDER_PASS pass, irr::video::ITexture* colour,
		const irr::video::SOverrideMaterial& overrides);
	// Loads the fallback depth effect once; null when it does not load.
	IZeEffect* getFallbackDepth();

	bool Ready = false;
	irr::video::ITexture* Targets[TARGET_COUNT] = {};
	irr::core::array<irr::scene::ISceneNode*> Lights;
	irr::core::array<irr::scene::ISceneNode*> SolidNodes;
	irr::core::array<irr::scene::ISceneNode*> TransparentNodes;
	irr::core::array<irr::scene::ISceneNode*> TransparentEffectNodes;
	irr::core::array<irr::scene::ISceneNode*> ExtNodes;
	irr::video::SOverrideMaterial NoZWrite;
	irr::video::SOverrideMaterial DepthTest;
	StepHook Hook = nullptr;
	void* HookUser = nullptr;

	// Scratch of the drawing helpers, kept between frames.
	irr::core::array<irr::scene::ISceneNode*> EffectNodes;
	irr::core::array<irr::scene::ISceneNode*> ColourOnlyNodes;
	irr::core::array<irr::scene::ISceneNode*> LibraryNodes;
	IZeEffect* FallbackDepth = nullptr;
	bool FallbackDepthTried = false;
	std::deque<SZeMaterialExt> FallbackRecords;
	struct SSwapped
	{
		irr::video::SMaterial* Material;
		irr::video::E_MATERIAL_TYPE Type;
		ze::SMaterialUserData* UserData;
	};
	std::vector<SSwapped> Swapped;
	CZeLibraryNodeDraw LibraryDraw;
};

// The frame counter of the jitter sequence, shared by every light pre-pass renderer.
irr::u32 zeGetLppFrameCounter();
