// The command renderer and its render commands on the NULL driver with the
// recording fakes: building (connections, messages, no partial lists),
// flip-flop pairs from frame to frame, every command's parameters and what
// each command asks of the services and the context's parts.
#include "ZeRenderCommandText.h"
#include "ZeRenderRecorders.h"

#include "render/CZeRenderCmdKinds.h"
#include "render/CZeRendererCmds.h"

#include <gtest/gtest.h>

#include <initializer_list>

using namespace irr;
using namespace zerec;

namespace
{
class RecordingCmds : public CZeRendererCmds
{
public:
	RecordingCmds(IrrlichtDevice* device, IZeManager* manager, CZeRendererCtxAdv* ctx, Recorder* r)
		: CZeRendererCmds(device, manager, ctx), R(r)
	{
	}
	bool drawDebugTargets() override
	{
		R->log("thumbnails");
		return true;
	}

private:
	Recorder* R;
};

class CmdsLogic : public RecordingFixture
{
protected:
	void SetUp() override
	{
		RecordingFixture::SetUp();
		if (HasFatalFailure())
			return;
		for (const char* target : TARGETS)
			Driver->addTexture(core::dimension2d<u32>(8, 8), target);
		for (const char* texture : {"A", "B", "C", "P[0]", "P[1]", "Q[0]", "Q[1]", "Half[0]"})
			Driver->addTexture(core::dimension2d<u32>(8, 8), texture);
		Ctx = new RecordingCtx(Device, Manager.get(), &R);
		Effect = Manager->Effects.createEffect("tint.hlsl", -1, nullptr, nullptr);
	}
	void TearDown() override
	{
		if (Renderer)
			Renderer->drop();
		if (Ctx)
			Ctx->drop();
		if (Effect)
			Effect->drop();
		RecordingFixture::TearDown();
	}

	// A new renderer of the commands; the result of its init.
	bool build(std::initializer_list<Cmd> commands)
	{
		if (Renderer)
			Renderer->drop();
		SZeRendererDesc desc;
		for (const Cmd& c : commands)
			desc.Commands.push_back(c.C);
		Renderer = new RecordingCmds(Device, Manager.get(), Ctx, &R);
		g_lines.clear();
		return Renderer->init(desc);
	}
	// The trace of one frame into the target, without the frame's own steps.
	Trace frame(video::ITexture* target = nullptr)
	{
		R.Lines.clear();
		EXPECT_TRUE(Renderer->render(target));
		Trace out;
		for (const std::string& line : R.Lines)
			if (line != "0 post values" && line != "0 cut 1 20" && line != "0 free shadow maps")
				out.push_back(line.substr(2));
		return out;
	}
	video::ITexture* texture(const char* name) { return Driver->findTexture(name); }
	scene::ISceneNode* node() { return Device->getSceneManager()->addEmptySceneNode(); }

	RecordingCtx* Ctx = nullptr;
	RecordingCmds* Renderer = nullptr;
	IZeEffect* Effect = nullptr;
};
} // namespace

// ---- Building ---------------------------------------------------------------------------------
TEST_F(CmdsLogic, ConnectionsNameDisplayPairsOrTexturesAndTheirFailuresLeaveNoCommands)
{
	struct SCase
	{
		Cmd Command;
		const char* Message;
	};
	const SCase failures[] = {
		{Cmd("Shader").in("s0", "Display"), "failed find texture 'Display' for input 's0' of command 'c' "},
		{Cmd("Gamma").in("x", "A").out("y", "Nope"), "failed find texture 'Nope' for output 'y' of command 'c' "},
		{Cmd("Gamma").in("x", "Half[]").out("y", "A"),
			"Failed to find flip flop textures 'Half[]' for input 'x' of command 'c' "},
		{Cmd("Shader").in("t0", "A"), "Invalid name of input 't0' of command 'c' "},
		{Cmd("Shader").in("s20", "A"), "Invalid name of input 's20' of command 'c' "},
		{Cmd("Shader").out("Color5", "A"), "Invalid name of output 'Color5' of command 'c' "},
		{Cmd("Gamma").out("y", "A"), "Missing input for command 'c' "},
		{Cmd("Gamma").in("x", "A"), "Missing output for command 'c' "},
		{Cmd("Render Objects").i("RenderList", 7), "Missing node list of command 'c' "},
		{Cmd("Blur"), "CZeRendererCmds command 'Blur' is not supported"},
	};
	for (const SCase& c : failures)
	{
		SCOPED_TRACE(c.Message);
		// A good command with a pair first: nothing of it stays.
		EXPECT_FALSE(build({Cmd("Gamma", "ok").in("x", "P[]").out("y", "P[]"), c.Command}));
		EXPECT_EQ(g_lines.size(), 1u);
		EXPECT_EQ(linesWith(c.Message), 1);
		EXPECT_EQ(Renderer->getCommandCount(), 0u);
		EXPECT_EQ(Renderer->getFlipFlops().size(), 0u);
		EXPECT_FALSE(Renderer->render(nullptr));
	}

	// "Display" is a texture's name like any other for an input; one pair
	// for every use of its name; "Create Texture" runs nothing.
	Driver->addTexture(core::dimension2d<u32>(8, 8), "Display");
	ASSERT_TRUE(build({Cmd("Create Texture"), Cmd("Shader").in("s0", "Display").in("s1", "P[]").out("Color0", "Display"),
		Cmd("Gamma").in("Source", "P[]").out("Target", "Q[]"), Cmd("Clear").out("Target", "P[]")}));
	EXPECT_EQ(Renderer->getCommandCount(), 3u);
	ASSERT_EQ(Renderer->getFlipFlops().size(), 2u);
	EXPECT_EQ(Renderer->getFlipFlops()[0].Name, "P");
	EXPECT_EQ(Renderer->getFlipFlops()[1].Textures[1], texture("Q[1]"));
	EXPECT_FALSE(Renderer->init(SZeRendererDesc())) << "once only";

	Driver->removeTexture(texture("LightRTT"));
	EXPECT_FALSE(build({}));
	EXPECT_EQ(linesWith("CZeRendererCmds failed to find render targets"), 1);
}

TEST_F(CmdsLogic, MaterialEffectsAndAnEmptyListThatOnlyPreparesTheFrame)
{
	ASSERT_TRUE(build({}));
	SZeMacro macros[2] = {};
	core::stringc file;
	u32 count = 1;
	EXPECT_FALSE(Renderer->getMaterialEffect(file, macros, count, video::EMT_SOLID));
	EXPECT_EQ(linesWith("CZeRendererCmds::getMaterialEffect not enough space for macros"), 1);
	count = 2;
	EXPECT_TRUE(Renderer->getMaterialEffect(file, macros, count, video::EMT_TRANSPARENT_ALPHA_CHANNEL));
	EXPECT_EQ(file, "Forward.hlsl");

	// Into the back buffer the frame asks for a cut, jitters with the
	// antialiasing and shows the thumbnails; into a texture none of them.
	Ctx->getClearColor()->Debug = 1;
	Ctx->AntialiasOn = true;
	const u32 frames = zeGetCmdsFrameCounter();
	const core::matrix4 projection = Driver->getTransform(video::ETS_PROJECTION);
	R.Lines.clear();
	ASSERT_TRUE(Renderer->render(nullptr));
	// The thumbnails go over the window, whatever the last command drew into.
	EXPECT_EQ(R.Lines, (Trace{"0 post values", "0 cut 1 20", "0 free shadow maps", "0 targets display", "0 thumbnails"}));
	EXPECT_EQ(zeGetCmdsFrameCounter(), frames + 1);
	EXPECT_EQ(Driver->getTransform(video::ETS_PROJECTION), projection);
	R.Lines.clear();
	ASSERT_TRUE(Renderer->render(texture("A")));
	EXPECT_EQ(R.Lines, (Trace{"0 post values", "0 free shadow maps"}));
	EXPECT_EQ(zeGetCmdsFrameCounter(), frames + 1);
}

// ---- Flip-flop pairs ---------------------------------------------------------------------------
TEST_F(CmdsLogic, PairsAlternateAndStartAgainEachFrameUnlessKept)
{
	const Cmd twice[] = {Cmd("Shader").fx(Effect).in("s0", "P[]").out("Color0", "P[]"),
		Cmd("Gamma").in("x", "P[]").out("y", "P[]")};
	const Trace each = {"targets P[1]", "quad tint.hlsl 0.0 P[0]", "gamma P[1]>P[0]"};
	ASSERT_TRUE(build({twice[0], twice[1]}));
	EXPECT_EQ(frame(), each);
	EXPECT_EQ(frame(), each);

	// "DoNotReset" 1 after "Name" keeps the pair holding that texture; before it, it is not seen.
	const Trace first = {"targets P[1]", "quad tint.hlsl 0.0 P[0]"};
	ASSERT_TRUE(build({Cmd("Create Texture").s("Name", "P[1]").i("DoNotReset", 1), twice[0]}));
	EXPECT_EQ(frame(), first);
	EXPECT_EQ(frame(), (Trace{"targets P[0]", "quad tint.hlsl 0.0 P[1]"}));
	for (const Cmd& create : {Cmd("Create Texture").i("DoNotReset", 1).s("Name", "P[1]"),
			 Cmd("Create Texture").s("Name", "P[1]").i("DoNotReset", 2)})
	{
		ASSERT_TRUE(build({create, twice[0]}));
		frame();
		EXPECT_EQ(frame(), first);
	}
}

// ---- Drawing commands ----------------------------------------------------------------------------
TEST_F(CmdsLogic, ClearColoursAreClampedAndRounded)
{
	ASSERT_TRUE(build({Cmd("Clear").out("Target", "A").rgb("ClearColor", 1.5f, -0.2f, 0.5f), Cmd("Clear").out("T", "A")}));
	EXPECT_EQ(static_cast<CZeRenderCmd_Clear*>(Renderer->getCommand(0))->getColor(), video::SColor(255, 255, 0, 128));
	EXPECT_EQ(static_cast<CZeRenderCmd_Clear*>(Renderer->getCommand(1))->getColor(), video::SColor(255, 0, 0, 0));
}

TEST_F(CmdsLogic, AShaderDrawsItsInputsByIndexInItsWindowAndTurnsPairsOncePerReadingInput)
{
	ASSERT_TRUE(build({Cmd("Shader").fx(Effect).in("s2", "A").in("s0", "B").out("Color1", "C").out("Color0", "Display")}));
	EXPECT_EQ(Effect->getReferenceCount(), 2);
	EXPECT_EQ(frame(), (Trace{"targets display,C", "quad tint.hlsl 0.0 B,-,A"}));
	EXPECT_EQ(frame(texture("A")), (Trace{"targets A,C", "quad tint.hlsl 0.0 B,-,A"}));

	// Two inputs reading the pair that the output writes turn it twice.
	ASSERT_TRUE(build({Cmd("Shader").fx(Effect).in("s0", "P[]").in("s1", "P[]").out("Color0", "P[]")}));
	EXPECT_EQ(frame(), (Trace{"targets P[0]", "quad tint.hlsl 0.0 P[0],P[0]"}));
	EXPECT_EQ(Effect->getReferenceCount(), 2) << "the first renderer let go of it";

	// The window of scene time: StartTime <= t < EndTime, in seconds.
	ASSERT_TRUE(build({Cmd("Shader").fx(Effect).out("Color0", "A").i("UseStartEnd", 1).f("StartTime", 2.0f).f(
		"EndTime", 5.0f)}));
	for (const u32 ms : {1999u, 2000u, 4999u, 5000u})
	{
		Manager->Scene.setSceneTime(ms);
		EXPECT_EQ(frame().size(), ms >= 2000 && ms < 5000 ? 2u : 0u) << ms;
	}

	// Baking skips only shaders that ask for it; without an effect nothing is drawn.
	Ctx->getRenderSettings()->Baking = true;
	ASSERT_TRUE(build({Cmd("Shader").fx(Effect).out("Color0", "A").i("DisabledWhenBaking", 1),
		Cmd("Shader").fx(Effect).out("Color0", "B").i("DisabledWhenBaking", 0), Cmd("Shader").out("Color0", "C")}));
	EXPECT_EQ(frame(), (Trace{"targets B", "quad tint.hlsl 0.0 "}));
	Ctx->getRenderSettings()->Baking = false;
	EXPECT_EQ(frame().size(), 4u);
}

TEST_F(CmdsLogic, RenderObjectsDrawTheirListInTheirPassWithTheirOverrides)
{
	scene::ISceneNode* visible = node();
	Manager->Services.Visible.push_back(visible);
	Manager->Services.Ext.push_back(visible);
	Manager->Services.Visible.push_back(node());
	for (u32 i = 0; i < 2; ++i)
		Manager->Services.Solid.push_back(node());
	for (u32 i = 0; i < 3; ++i)
		Manager->Services.Transparent.push_back(node());
	for (u32 i = 0; i < 4; ++i)
		Manager->Services.TransparentEffect.push_back(node());
	struct SCase
	{
		Cmd Command;
		const char* Line;
	};
	const SCase cases[] = {
		{Cmd("Render Objects").i("RenderList", 0), "nodes solid - n2"},
		{Cmd("Render Objects").i("RenderList", 1).i("RenderPass", 1), "nodes transparent - n2"},
		{Cmd("Render Objects").i("RenderList", 2).i("RenderPass", 2).s("Technique", "DeFault"), "nodes effects - n3"},
		{Cmd("Render Objects").i("RenderList", 3).i("RenderPass", 9).s("Technique", "depth"), "nodes solid depth n4"},
		{Cmd("Render Objects").i("RenderList", 4).i("HideSet", 3).i("ShowSet", 4).i("ZBuffer", 2).i("ZWrite", 2),
			"nodes solid - ztest nozwrite hide3 show4 n1"},
	};
	for (const SCase& c : cases)
	{
		ASSERT_TRUE(build({c.Command}));
		EXPECT_EQ(frame(), (Trace{"targets display", c.Line}));
	}

	// Depth compares by code ("never" draws nothing), switches 1 on and others off.
	const video::E_COMPARISON_FUNC compares[] = {video::ECFN_NEVER, video::ECFN_LESSEQUAL, video::ECFN_EQUAL,
		video::ECFN_LESS, video::ECFN_NOTEQUAL, video::ECFN_GREATEREQUAL, video::ECFN_GREATER, video::ECFN_ALWAYS};
	for (s32 code = 1; code <= 8; ++code)
	{
		ASSERT_TRUE(build({Cmd("Render Objects").i("RenderList", 1).i("ZBuffer", code).out("Color0", "A")}));
		const auto* objects = static_cast<CZeRenderCmd_RenderObjects*>(Renderer->getCommand(0));
		EXPECT_EQ(objects->getOverride().Material.ZBuffer, compares[code - 1]) << code;
		EXPECT_EQ(frame().size(), code == 1 ? 1u : 2u) << code;
	}
	// Into a texture the library's own materials draw apart, turned over, and come back as they were.
	scene::ISceneNode* cube = Device->getSceneManager()->addCubeSceneNode();
	cube->getMaterial(0).BackfaceCulling = true;
	Manager->Services.Solid.push_back(cube);
	ASSERT_TRUE(build({Cmd("Render Objects").i("RenderList", 1).out("Color0", "A")}));
	const core::matrix4 projection = Driver->getTransform(video::ETS_PROJECTION);
	EXPECT_EQ(frame(), (Trace{"targets A", "nodes solid - n2", "nodes solid - n1"}));
	EXPECT_EQ(Driver->getTransform(video::ETS_PROJECTION), projection);
	EXPECT_TRUE(cube->getMaterial(0).BackfaceCulling && !cube->getMaterial(0).FrontfaceCulling);
	ASSERT_TRUE(build({Cmd("Render Objects").i("RenderList", 1), Cmd("Render Objects").i("RenderList", 1).i("ZWrite", 1).i(
		"BackFaceCulling", 2).i("FrontFaceCulling", 1)}));
	const auto* plain = static_cast<CZeRenderCmd_RenderObjects*>(Renderer->getCommand(0));
	const auto* culled = static_cast<CZeRenderCmd_RenderObjects*>(Renderer->getCommand(1));
	EXPECT_FALSE(plain->getOverride().Enabled);
	EXPECT_TRUE(culled->getOverride().Enabled);
	EXPECT_EQ(culled->getOverride().EnableFlags,
		u32(video::EMF_ZWRITE_ENABLE | video::EMF_BACK_FACE_CULLING | video::EMF_FRONT_FACE_CULLING));
	EXPECT_TRUE(culled->getOverride().Material.ZWriteEnable && !culled->getOverride().Material.BackfaceCulling &&
		culled->getOverride().Material.FrontfaceCulling);
}

// ---- Stages --------------------------------------------------------------------------------------
TEST_F(CmdsLogic, GammaDownSampleAndGlowRunByTheirWhenOrCopyThrough)
{
	SZeRenderSettings& s = *Ctx->getRenderSettings();
	s.GlowRadius = 24.0f;
	s.StreakEnable = true;
	ASSERT_TRUE(build({Cmd("Gamma").in("x", "A").out("y", "B").i("When", 1), Cmd("Gamma").in("x", "P[]").out("y", "P[]").i(
		"When", 1), Cmd("DownSample").in("x", "A").out("y", "Half[0]").i("When", 1), Cmd("Glow").in("x", "A").out("y", "B").i(
		"When", 1), Cmd("Glow").in("x", "A").out("y", "C").f("Radius", 8.0f)}));
	// Everything switched off: gamma copies (not onto its own pair), the glow of When 0 runs.
	EXPECT_EQ(frame(), (Trace{"targets B", "copy A", "glow A>C r8 i1"}));
	// The glow flag without intensity is no glow.
	s.GlowEnable = true;
	EXPECT_EQ(frame().size(), 3u);
	s.GlowIntensity = 2.0f;
	s.GammaEnable = true;
	EXPECT_EQ(frame(), (Trace{"gamma A>B", "gamma P[0]>P[1]", "downsample A>Half[0]", "glow A>B r24 i2 streaks",
		"glow A>C r8 i1"}));
}

TEST_F(CmdsLogic, DepthOfFieldAndAntialiasTakeTheirNamedInputs)
{
	SZeRenderSettings& s = *Ctx->getRenderSettings();
	ASSERT_TRUE(build({Cmd("Depth of Field").in("Work", "C").in("Other", "Q[]").in("Depth", "B").in("Source", "P[]").out(
		"Target", "P[]"), Cmd("Depth of Field").in("Source", "A").out("Target", "Display")}));
	EXPECT_EQ(frame(), (Trace{"targets display", "copy A"}));
	s.DofEnable = true;
	EXPECT_EQ(frame(), (Trace{"dof physical P[0]>P[1] B C", "dof physical A>display display display"}));
	s.DofMode = 1.0f;
	s.DofRadiusScale = 2.0f;
	EXPECT_EQ(frame().front(), "dof artist P[0]>P[1] B C x2");

	// "When" 0 whenever ready, 1 and 2 at that location; "SourceColorSpace" 1, or 2 with gamma, converts.
	ASSERT_TRUE(build({Cmd("Antialias").in("Source", "A").in("Work", "B").in("History", "C").out("T", "Q[0]").i(
		"SourceColorSpace", 2), Cmd("Antialias").in("Source", "A").out("T", "B").i("When", 2).i("SourceColorSpace", 1),
		Cmd("Antialias").in("Source", "A").out("T", "B").i("When", 3)}));
	EXPECT_EQ(frame(), (Trace{"targets Q[0]", "copy A", "targets B", "copy A", "targets B", "copy A"}));
	Ctx->AntialiasOn = true;
	s.AntialiasLocation = 2;
	s.GammaEnable = true;
	EXPECT_EQ(frame(), (Trace{"antialias A>Q[0] B C convert", "antialias A>B display display convert", "targets B",
		"copy A"}));

	// Onto the display: a pair source gives its other texture as the output.
	Manager->Renderers.Info.Cut = true;
	ASSERT_TRUE(build({Cmd("Antialias").in("Source", "P[]").in("History", "C").out("T", "Display"),
		Cmd("Gamma").in("x", "P[]").out("y", "A"), Cmd("Antialias").in("Source", "B").out("T", "Display")}));
	EXPECT_EQ(frame(), (Trace{"antialias P[0]>P[1] display C display reset", "gamma P[1]>A",
		"antialias B>display display display display reset"}));
	EXPECT_EQ(linesWith("CZeRenderCmd_Antialias command 'c' : Failed. Use flipflop texture([]) as input when output "
		"is Display"), 1);
	// The source handed back (the antialiasing showed it on the display): a
	// pair it came from turns back to it, a texture output gets a copy.
	Ctx->Antialias.ReturnsSource = true;
	Manager->Renderers.Info.Cut = false;
	EXPECT_EQ(frame(), (Trace{"antialias P[0]>P[1] display C display", "gamma P[0]>A",
		"antialias B>display display display display"}));
	ASSERT_TRUE(build({Cmd("Antialias").in("Source", "P[]").out("T", "P[]"), Cmd("Gamma").in("x", "P[]").out("y", "A"),
		Cmd("Antialias").in("Source", "P[]").out("T", "B")}));
	EXPECT_EQ(frame(), (Trace{"antialias P[0]>P[1] display display", "gamma P[0]>A",
		"antialias P[0]>B display display", "targets B", "copy P[0]"}));
}

TEST_F(CmdsLogic, PostProcessingRunsTheChainAndFinishesInItsOutput)
{
	Ctx->getRenderSettings()->GlowEnable = true;
	Ctx->getRenderSettings()->GlowIntensity = 1.0f;
	ASSERT_TRUE(build({Cmd("Post Processing").in("Source", "P[]").out("T", "Display").s("Render", "solidpost"),
		Cmd("Post Processing").in("Source", "Q[]").out("T", "Q[]"), Cmd("Post Processing").in("Source", "A").in(
		"Work", "B").out("T", "C"), Cmd("Post Processing").in("Source", "A").out("T", "Display"),
		Cmd("Post Processing").in("Source", "A").out("T", "A")}));
	// Without effects the chain hands the source back.
	EXPECT_EQ(frame(), (Trace{"chain solidpost P[0]>P[1] - copy glow", "targets display", "copy P[0]",
		"chain camera Q[0]>Q[1] - glow", "chain camera A>C B copy glow", "targets C", "copy A",
		"chain camera A>display - copy glow", "targets display", "copy A", "chain camera A>A - copy glow"}));
	EXPECT_EQ(linesWith("CZeRenderCmd_PostProc command 'c' : Failed. when output is Display, need to use flipflop "
		"texture([]) as source or set a Work"), 1);
	EXPECT_EQ(linesWith("CZeRenderCmd_PostProc command 'c' : Failed. when source=target need to use a work texture"), 1);
	// Applied: the display gets the pair's other texture; the pair written in place stays turned.
	Ctx->Chain.Applies = true;
	ASSERT_TRUE(build({Cmd("Post Processing").in("Source", "P[]").out("T", "Display"), Cmd("Post Processing").in("Source",
		"Q[]").out("T", "Q[]"), Cmd("Gamma").in("x", "Q[]").out("y", "A")}));
	EXPECT_EQ(frame(), (Trace{"chain camera P[0]>P[1] - copy glow", "targets display", "copy P[1]",
		"chain camera Q[0]>Q[1] - glow", "gamma Q[1]>A"}));
}

TEST_F(CmdsLogic, LightsGoIntoTheirOutput)
{
	Manager->Services.Lights.push_back(node());
	Manager->Services.Visible.push_back(node());
	Manager->Services.Ext = Manager->Services.Visible;
	ASSERT_TRUE(build({Cmd("Light Pass").out("T", "A"), Cmd("Light Volumetric").out("T", "P[]")}));
	EXPECT_EQ(frame(), (Trace{"lights 1 casters 1>A", "volumetric >P[0]"}));
}
