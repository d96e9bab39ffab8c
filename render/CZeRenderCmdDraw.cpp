// The drawing commands: "Clear", "Shader" and "Render Objects".
#include "render/CZeRenderCmdKinds.h"

#include "core/ZeGpuState.h"
#include "frame/ZeLog.h"

using namespace irr;

namespace
{
// Textures of a frame as render targets: none (or one that is the back
// buffer) selects the back buffer. false when the services refuse the list.
bool selectTargets(video::ITexture* const* textures, u32 count, const SZeCommandExecContext& exec)
{
	if (count == 1 && !textures[0])
		count = 0;
	return exec.Services->setRenderTargets(textures, count);
}

u8 channel(f32 value)
{
	return static_cast<u8>(core::clamp(value, 0.0f, 1.0f) * 255.0f + 0.5f);
}
} // namespace

// ---- Clear -------------------------------------------------------------------------------
bool CZeRenderCmd_Clear::parse(SZeCommandBuildContext& build, const SZeRenderCommand& command)
{
	if (!CZeRenderCmd::parse(build, command) || !parseFirstOutput(build, command, Output))
		return false;
	ClearTarget = intParameter(command, "ClearTarget", 1) != 0;
	ClearZBuffer = intParameter(command, "ClearZBuffer", 1) != 0;
	UseBgColor = intParameter(command, "UseBgColor", 0) != 0;
	if (const SZeCommandParameter* c = command.findParameter("ClearColor"))
		Color = video::SColor(255, channel(c->Float3[0]), channel(c->Float3[1]), channel(c->Float3[2]));
	return true;
}

void CZeRenderCmd_Clear::execute(SZeCommandExecContext& exec)
{
	const video::SColor color = UseBgColor ? video::SColor(exec.Context->getClearColor()->Color) : Color;
	video::ITexture* target = connectionTexture(Output, exec);
	exec.Driver->setRenderTarget(target, ClearTarget, ClearZBuffer, color);
	zeSetRenderTargetFlip(target != nullptr);
}

// ---- Shader ------------------------------------------------------------------------------
CZeRenderCmd_Shader::~CZeRenderCmd_Shader()
{
	if (Effect)
		Effect->drop();
}

bool CZeRenderCmd_Shader::parse(SZeCommandBuildContext& build, const SZeRenderCommand& command)
{
	if (!CZeRenderCmd::parse(build, command) ||
		!parseIndexed(build, command.Inputs, false, "s", Inputs, MAX_INPUTS, InputCount) ||
		!parseIndexed(build, command.Outputs, true, "Color", Outputs, MAX_OUTPUTS, OutputCount))
		return false;
	if (const SZeCommandParameter* shader = command.findParameter("Shader"))
	{
		if (shader->Effect)
			shader->Effect->grab();
		if (Effect)
			Effect->drop();
		Effect = shader->Effect;
	}
	UseStartEnd = intParameter(command, "UseStartEnd", 0) != 0;
	StartTime = floatParameter(command, "StartTime", 0.0f);
	EndTime = floatParameter(command, "EndTime", 0.0f);
	return true;
}

void CZeRenderCmd_Shader::execute(SZeCommandExecContext& exec)
{
	if (DisabledWhenBaking && exec.Context->getRenderSettings()->Baking)
		return;
	if (UseStartEnd)
	{
		const f64 t = (exec.SceneManager ? exec.SceneManager->getSceneTime() : 0u) / 1000.0;
		if (t < static_cast<f64>(StartTime) || t >= static_cast<f64>(EndTime))
			return;
	}
	if (!Effect)
		return;
	video::ITexture* inputs[MAX_INPUTS] = {};
	for (u32 i = 0; i < InputCount; ++i)
		inputs[i] = connectionTexture(Inputs[i], exec);
	video::ITexture* outputs[MAX_OUTPUTS] = {};
	for (u32 o = 0; o < OutputCount; ++o)
	{
		for (u32 i = 0; i < InputCount; ++i)
			if (samePair(Inputs[i], Outputs[o]))
				toggle(Outputs[o], exec);
		outputs[o] = connectionTexture(Outputs[o], exec);
	}
	if (selectTargets(outputs, OutputCount, exec))
		exec.Services->drawScreenQuadTextures(Effect, 0, 0, inputs, InputCount);
}

// ---- Render Objects ----------------------------------------------------------------------
bool CZeRenderCmd_RenderObjects::parse(SZeCommandBuildContext& build, const SZeRenderCommand& command)
{
	if (!CZeRenderCmd::parse(build, command) ||
		!parseIndexed(build, command.Outputs, true, "Color", Outputs, CZeRenderCmd_Shader::MAX_OUTPUTS, OutputCount))
		return false;

	SZeCommandNodeLists& nodes = *build.Nodes;
	const core::array<scene::ISceneNode*>* const lists[] = {&nodes.Visible, &nodes.Solid, &nodes.Transparent,
		&nodes.TransparentEffect, &nodes.Ext};
	const s32 list = intParameter(command, "RenderList", -1);
	List = list >= 0 && list < 5 ? lists[list] : nullptr;
	if (!List)
	{
		zeLog(EZELL_ERROR, "Missing node list of command '%s' ", Name.c_str());
		return false;
	}

	const scene::E_SCENE_NODE_RENDER_PASS passes[] = {scene::ESNRP_SOLID, scene::ESNRP_TRANSPARENT,
		scene::ESNRP_TRANSPARENT_EFFECT};
	const s32 pass = intParameter(command, "RenderPass", 0);
	Pass = pass >= 0 && pass < 3 ? passes[pass] : scene::ESNRP_SOLID;

	const SZeCommandParameter* technique = command.findParameter("Technique");
	Technique = technique && !technique->String.equals_ignore_case("Default") ? technique->String : "";

	const s32 zbuffer = intParameter(command, "ZBuffer", 0);
	if (zbuffer != 0)
	{
		const video::E_COMPARISON_FUNC compares[] = {video::ECFN_NEVER, video::ECFN_LESSEQUAL, video::ECFN_EQUAL,
			video::ECFN_LESS, video::ECFN_NOTEQUAL, video::ECFN_GREATEREQUAL, video::ECFN_GREATER};
		Override.Material.ZBuffer = zbuffer >= 1 && zbuffer <= 7 ? compares[zbuffer - 1] : video::ECFN_ALWAYS;
		Override.EnableFlags |= video::EMF_ZBUFFER;
		// The library draws "never" as no depth test at all: nothing is drawn instead.
		NeverPasses = zbuffer == 1;
	}
	const struct
	{
		const char* Name;
		video::E_MATERIAL_FLAG Flag;
	} switches[] = {{"ZWrite", video::EMF_ZWRITE_ENABLE}, {"BackFaceCulling", video::EMF_BACK_FACE_CULLING},
		{"FrontFaceCulling", video::EMF_FRONT_FACE_CULLING}};
	for (const auto& s : switches)
	{
		const s32 value = intParameter(command, s.Name, 0);
		if (value == 0)
			continue;
		Override.Material.setFlag(s.Flag, value == 1);
		Override.EnableFlags |= s.Flag;
	}
	Override.Enabled = Override.EnableFlags != 0;
	HideSet = static_cast<u32>(intParameter(command, "HideSet", 0));
	ShowSet = static_cast<u32>(intParameter(command, "ShowSet", 0));
	return true;
}

void CZeRenderCmd_RenderObjects::execute(SZeCommandExecContext& exec)
{
	video::ITexture* outputs[CZeRenderCmd_Shader::MAX_OUTPUTS] = {};
	for (u32 o = 0; o < OutputCount; ++o)
		outputs[o] = connectionTexture(Outputs[o], exec);
	if (!selectTargets(outputs, OutputCount, exec) || NeverPasses)
		return;
	const video::SOverrideMaterial* overrides = Override.Enabled ? &Override : nullptr;
	const bool intoTexture = OutputCount > 0 && outputs[0];
	if (!Technique.empty() || !intoTexture)
	{
		exec.Services->renderNodes(*List, Pass, Technique.empty() ? nullptr : Technique.c_str(), overrides, HideSet,
			ShowSet, nullptr);
		return;
	}
	// The library's own materials come out upside down in a texture unless
	// drawn turned over.
	EffectNodes.set_used(0);
	LibraryNodes.set_used(0);
	for (u32 n = 0; n < List->size(); ++n)
		(zeIsLibraryNode((*List)[n]) ? LibraryNodes : EffectNodes).push_back((*List)[n]);
	exec.Services->renderNodes(EffectNodes, Pass, nullptr, overrides, HideSet, ShowSet, nullptr);
	LibraryDraw.render(exec.Driver, exec.Services, LibraryNodes, Pass, overrides, HideSet, ShowSet);
}
