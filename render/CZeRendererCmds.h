// The command renderer: draws a frame by running, in list order, the render
// commands a scene defines (CZeRenderCmdKinds.h) over named textures and
// flip-flop pairs. It prepares the scene graph and the node lists once per
// frame and clears nothing itself. Like the light pre-pass renderer it stands
// on the advanced context, whose lights, shadow maps, post effects and
// settings the commands use.
#pragma once

#include "render/CZeRenderCmd.h"
#include "render/CZeRendererAdvBase.h"

#include <irrlicht.h>

#include <memory>
#include <vector>

class CZeRendererCmds : public CZeRendererAdvBase
{
public:
	// Holds a reference on the context.
	CZeRendererCmds(irr::IrrlichtDevice* device, IZeManager* manager, CZeRendererCtxAdv* context);
	// Lets go of the made targets it used; those that no renderer uses any more are freed.
	~CZeRendererCmds() override;

	// Runs the commands into the target (null: the back buffer); false,
	// drawing nothing, before a successful init.
	bool render(irr::video::ITexture* target) override;

	// Keeps the effect files, finds the eight targets of the debug thumbnails
	// ("CZeRendererCmds failed to find render targets") and builds the
	// commands; false on any failure, and when already done.
	virtual bool init(const SZeRendererDesc& description);
	// One command per entry ("Create Texture" entries make none), then the
	// pairs that "Create Texture" entries keep from frame to frame; false at
	// the first entry that fails, leaving no command.
	virtual bool buildCommands(const SZeRendererDesc& description);
	// The light pre-pass renderer's seven thumbnails; true.
	virtual bool drawDebugTargets();

	bool isReady() const { return Ready; }
	irr::u32 getCommandCount() const { return static_cast<irr::u32>(Commands.size()); }
	CZeRenderCmd* getCommand(irr::u32 index) const { return Commands[index].get(); }
	const ZeFlipFlopList& getFlipFlops() const { return FlipFlops; }

private:
	enum ETarget
	{
		DEPTH, NORMAL, LIGHT, HALF0, HALF1, HALF2, QUARTER0, QUARTER1, TARGET_COUNT
	};

	ZeFlipFlopList FlipFlops;
	bool Ready = false;
	irr::video::ITexture* Targets[TARGET_COUNT] = {};
	std::vector<std::unique_ptr<CZeRenderCmd>> Commands;
	SZeCommandNodeLists Nodes;
	std::vector<irr::video::ITexture*> UsedTextures;
};

// The frame counter of the command renderers' jitter sequence.
irr::u32 zeGetCmdsFrameCounter();

// ---- Textures of "Create Texture" commands ------------------------------------------
// What the targets that the commands made may take together, in bytes
// (texels, plus the depth buffer of a target that has its own).
const irr::u64 ZE_COMMAND_TEXTURE_BUDGET = irr::u64(1) << 30;

// Makes the render target of a "Create Texture" command: "Name" (text),
// "ColorFormat", "Size", "SizeWidth", "SizeHeight" and "OwnZBuffer" (ints),
// all required. A texture of that name is kept when it is a render target of
// the same format, size and own depth buffer (any non-zero "OwnZBuffer"
// counts as one). A new target past the budget is refused. false with the
// reason logged.
bool zeCreateTextureFromCommand(irr::video::IVideoDriver* driver, const SZeRenderCommand& command);
// Runs the procedure for every "Create Texture" command in order; false at
// the first failure. Targets that no command renderer uses are freed first,
// and again on a failure.
bool zeCreateRenderCommandTextures(irr::IrrlichtDevice* device, const SZeRendererDesc& description);
// Counts a command renderer as a user of every made target that its
// description makes or connects; the targets it now uses, for the release.
std::vector<irr::video::ITexture*> zeUseCommandTextures(irr::video::IVideoDriver* driver,
	const SZeRendererDesc& description);
// Lets go of those targets and frees every made target that nothing uses.
void zeReleaseCommandTextures(const std::vector<irr::video::ITexture*>& used);
// Frees every made target that no command renderer uses.
void zeFreeUnusedCommandTextures();
// Forgets the made targets without touching them (their driver is going).
void zeForgetCommandTextures();
// What the made targets take now, in bytes.
irr::u64 zeGetCommandTextureBytes();
