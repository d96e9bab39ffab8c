// Render commands: one step of a frame that a scene defines (clear a target,
// draw a full-screen shader or a list of nodes, or run one of the advanced
// context's lighting and post stages between named textures). The command
// renderer (CZeRendererCmds) makes one command per description entry, lets it
// parse its connections and parameters once, and runs all of them in list
// order every frame.
//
// Connections name "Display" (an output only: the frame's own target, the
// back buffer when the frame has none), a flip-flop pair "name[]" (the
// textures "name[0]" and "name[1]", read and written alternately) or a
// texture by name.
//
// Index:
//   - Flip-flop pairs and node lists
//   - Build and execution contexts
//   - CZeRenderCmd
//   - Factory
#pragma once

#include "core/IZeServices.h"
#include "core/SZeRendererDesc.h"
#include "libext/IZeVideoDriverExt.h"
#include "render/CZeRendererCtxAdv.h"

#include <irrlicht.h>

// ---- Flip-flop pairs and node lists ----------------------------------------------
// Two textures under one base name; the current one is read, the other written.
struct SFlipFlopEntry
{
	irr::core::stringc Name;
	irr::video::ITexture* Textures[2] = {nullptr, nullptr};
	irr::u32 Current = 0;
	bool DoNotReset = false;  // keeps its index from frame to frame

	irr::video::ITexture* current() const { return Textures[Current]; }
	void toggle() { Current = 1 - Current; }
};
typedef irr::core::array<SFlipFlopEntry> ZeFlipFlopList;

// The node lists of a frame, refilled by the renderer before its commands run.
struct SZeCommandNodeLists
{
	irr::core::array<irr::scene::ISceneNode*> Lights;
	irr::core::array<irr::scene::ISceneNode*> Solid;
	irr::core::array<irr::scene::ISceneNode*> Transparent;
	irr::core::array<irr::scene::ISceneNode*> TransparentEffect;
	irr::core::array<irr::scene::ISceneNode*> Ext;      // the visible nodes carrying an extension
	irr::core::array<irr::scene::ISceneNode*> Visible;  // every visible node but lights and cameras
};

// ---- Build and execution contexts ------------------------------------------------
struct SZeCommandBuildContext
{
	irr::video::IVideoDriver* Driver = nullptr;
	CZeRendererCtxAdv* Context = nullptr;
	ZeFlipFlopList* FlipFlops = nullptr;
	SZeCommandNodeLists* Nodes = nullptr;
};

// One per frame, shared by the commands in order.
struct SZeCommandExecContext
{
	irr::video::IVideoDriver* Driver = nullptr;
	IZeVideoDriverExt* DriverExt = nullptr;
	IZeSceneManager* SceneManager = nullptr;
	CZeRendererCtxAdv* Context = nullptr;
	IZeRenderServices* Services = nullptr;
	irr::video::ITexture* Target = nullptr;  // the frame's target, null for the back buffer
	ZeFlipFlopList* FlipFlops = nullptr;
	bool CameraCut = false;
	SZeCommandNodeLists* Nodes = nullptr;
};

// ---- CZeRenderCmd ------------------------------------------------------------------
class CZeRenderCmd
{
public:
	// A resolved input or output; a connection that was not given stays empty
	// (no texture, no pair).
	struct SConnection
	{
		irr::core::stringc Name;
		irr::core::stringc TextureName;
		irr::video::ITexture* Texture = nullptr;
		irr::s32 FlipFlop = -1;  // index into the flip-flop list
		bool Display = false;
	};

	virtual ~CZeRenderCmd() = default;
	// Keeps the command's name and kind and its "DisabledWhenBaking"; each
	// command then reads its connections and parameters. false with the
	// reason logged.
	virtual bool parse(SZeCommandBuildContext& build, const SZeRenderCommand& command);
	virtual void execute(SZeCommandExecContext& exec) = 0;

	const irr::core::stringc& getName() const { return Name; }
	const irr::core::stringc& getKind() const { return Kind; }
	bool isDisabledWhenBaking() const { return DisabledWhenBaking; }

	// Resolves a connection: "Display" (outputs), a pair "name[]" (found in
	// the list or added when both textures exist) or a texture. false with
	// "Failed to find flip flop textures ..." or "failed find texture ...".
	bool resolveConnection(SZeCommandBuildContext& build, const SZeCommandConnect& connect, bool output,
		SConnection& out) const;
	// The connection's texture in this frame: the frame's target for
	// "Display", the pair's current texture, or its texture.
	static irr::video::ITexture* connectionTexture(const SConnection& connection, const SZeCommandExecContext& exec);

protected:
	// The first input or output, which must be there ("Missing input for
	// command '%s' ", "Missing output for command '%s' ").
	bool parseFirstInput(SZeCommandBuildContext& build, const SZeRenderCommand& command, SConnection& out) const;
	bool parseFirstOutput(SZeCommandBuildContext& build, const SZeRenderCommand& command, SConnection& out) const;
	// Every input resolved; those named in `names` kept at their place in `out`.
	bool parseNamedInputs(SZeCommandBuildContext& build, const SZeRenderCommand& command,
		const char* const* names, SConnection* out, irr::u32 count) const;
	// Connections named prefix + index (0 <= index < count), kept by index;
	// "Invalid name of <what> '%s' of command '%s' " otherwise. `used` is the
	// highest index + 1.
	bool parseIndexed(SZeCommandBuildContext& build, const irr::core::array<SZeCommandConnect>& connects,
		bool output, const char* prefix, SConnection* out, irr::u32 count, irr::u32& used) const;

	static bool samePair(const SConnection& a, const SConnection& b) { return a.FlipFlop >= 0 && a.FlipFlop == b.FlipFlop; }
	static void toggle(const SConnection& connection, const SZeCommandExecContext& exec);
	// The toggle rule: the pair the output shares with the source turns, so
	// that the other texture is written.
	static void toggleShared(const SConnection& source, const SConnection& output, const SZeCommandExecContext& exec);
	// The copy rule of a stage switched off: the source copied into the
	// output, unless both are the same pair.
	static void copyThrough(const SConnection& source, const SConnection& output, const SZeCommandExecContext& exec);
	// Makes a texture (null: the back buffer) the render target without clearing.
	static void selectTarget(irr::video::ITexture* texture, const SZeCommandExecContext& exec);

	// Parameter values of the command being parsed, with a default when absent.
	static irr::s32 intParameter(const SZeRenderCommand& command, const char* name, irr::s32 fallback);
	static irr::f32 floatParameter(const SZeRenderCommand& command, const char* name, irr::f32 fallback);

	irr::core::stringc Name;
	irr::core::stringc Kind;
	bool DisabledWhenBaking = false;
};

// ---- Factory -------------------------------------------------------------------------
enum EZE_COMMAND_MADE
{
	EZCM_MADE,     // a parsed command
	EZCM_SKIPPED,  // "Create Texture": nothing to run
	EZCM_FAILED    // an unknown kind or a parse that failed (logged)
};
// The parsed command of a description entry (the caller deletes it), or
// null when skipped or failed.
CZeRenderCmd* zeCreateRenderCmd(SZeCommandBuildContext& build, const SZeRenderCommand& command,
	EZE_COMMAND_MADE* made);
