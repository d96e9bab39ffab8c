// The eleven render commands. Parameters are matched by exact name; one a
// command does not know is ignored. Every command accepts
// "DisabledWhenBaking"; only "Shader" tests it.
//
// Index:
//   - Drawing: Clear, Shader, Render Objects
//   - Stages of the context: Gamma, DownSample, Glow, Depth of Field,
//     Antialias, Post Processing, Light Pass, Light Volumetric
#pragma once

#include "effects/IZeEffect.h"
#include "render/CZeRenderCmd.h"
#include "render/ZeRendererSteps.h"

// ---- Drawing -----------------------------------------------------------------------
// "Clear": the first output becomes the render target, cleared as
// "ClearTarget" and "ClearZBuffer" say (both on by default) to "ClearColor"
// (red, green, blue in 0..1, black by default) or, with "UseBgColor", to the
// context's clear colour.
class CZeRenderCmd_Clear : public CZeRenderCmd
{
public:
	bool parse(SZeCommandBuildContext& build, const SZeRenderCommand& command) override;
	void execute(SZeCommandExecContext& exec) override;
	irr::video::SColor getColor() const { return Color; }

private:
	SConnection Output;
	bool ClearTarget = true;
	bool ClearZBuffer = true;
	bool UseBgColor = false;
	irr::video::SColor Color{255, 0, 0, 0};
};

// "Shader": the screen quad through technique 0 of the "Shader" effect with
// the inputs "s0" to "s19" on the samplers of those registers, into the
// outputs "Color0" to "Color4"; with "UseStartEnd" only while
// "StartTime" <= scene time < "EndTime" (seconds).
class CZeRenderCmd_Shader : public CZeRenderCmd
{
public:
	static const irr::u32 MAX_INPUTS = 20;
	static const irr::u32 MAX_OUTPUTS = 5;

	CZeRenderCmd_Shader() = default;
	~CZeRenderCmd_Shader() override;
	CZeRenderCmd_Shader(const CZeRenderCmd_Shader&) = delete;
	CZeRenderCmd_Shader& operator=(const CZeRenderCmd_Shader&) = delete;

	bool parse(SZeCommandBuildContext& build, const SZeRenderCommand& command) override;
	void execute(SZeCommandExecContext& exec) override;

private:
	SConnection Inputs[MAX_INPUTS];
	SConnection Outputs[MAX_OUTPUTS];
	irr::u32 InputCount = 0;
	irr::u32 OutputCount = 0;
	IZeEffect* Effect = nullptr;  // held
	bool UseStartEnd = false;
	irr::f32 StartTime = 0.0f;
	irr::f32 EndTime = 0.0f;
};

// "Render Objects": a node list of the frame drawn into the outputs
// "Color0" to "Color4" in a render pass, with an optional technique, depth,
// culling overrides and hide and show sets of selection bits. A depth
// compare of 1 ("never") draws nothing.
class CZeRenderCmd_RenderObjects : public CZeRenderCmd
{
public:
	bool parse(SZeCommandBuildContext& build, const SZeRenderCommand& command) override;
	void execute(SZeCommandExecContext& exec) override;

	const irr::core::array<irr::scene::ISceneNode*>* getList() const { return List; }
	irr::scene::E_SCENE_NODE_RENDER_PASS getPass() const { return Pass; }
	const irr::video::SOverrideMaterial& getOverride() const { return Override; }

private:
	SConnection Outputs[CZeRenderCmd_Shader::MAX_OUTPUTS];
	irr::u32 OutputCount = 0;
	const irr::core::array<irr::scene::ISceneNode*>* List = nullptr;
	irr::scene::E_SCENE_NODE_RENDER_PASS Pass = irr::scene::ESNRP_SOLID;
	irr::core::stringc Technique;  // empty: none
	irr::video::SOverrideMaterial Override;
	bool NeverPasses = false;
	irr::u32 HideSet = 0;
	irr::u32 ShowSet = 0;
	irr::core::array<irr::scene::ISceneNode*> EffectNodes;
	irr::core::array<irr::scene::ISceneNode*> LibraryNodes;
	CZeLibraryNodeDraw LibraryDraw;
};

// ---- Stages of the context -------------------------------------------------------
// A stage from the first input into the first output, run when "When" is 0
// or the stage's switch in the render settings is on.
class CZeRenderCmd_Stage : public CZeRenderCmd
{
public:
	bool parse(SZeCommandBuildContext& build, const SZeRenderCommand& command) override;

protected:
	SConnection Input;
	SConnection Output;
	irr::s32 When = 0;
};

// "Gamma": the context's gamma effect; switched off, the copy rule.
class CZeRenderCmd_Gamma : public CZeRenderCmd_Stage
{
public:
	void execute(SZeCommandExecContext& exec) override;
};

// "DownSample": the context's down-sample blur while the glow is on.
class CZeRenderCmd_DownSample : public CZeRenderCmd_Stage
{
public:
	void execute(SZeCommandExecContext& exec) override;
};

// "Glow": the context's glow composed onto the output, with the command's
// "Radius" (16) and "Intensity" (1) when "When" is 0, else the settings'.
class CZeRenderCmd_Glow : public CZeRenderCmd_Stage
{
public:
	bool parse(SZeCommandBuildContext& build, const SZeRenderCommand& command) override;
	void execute(SZeCommandExecContext& exec) override;

private:
	irr::f32 Intensity = 1.0f;
	irr::f32 Radius = 16.0f;
};

// "Depth of Field": inputs "Source", "Depth", "Work".
class CZeRenderCmd_DepthOfField : public CZeRenderCmd
{
public:
	bool parse(SZeCommandBuildContext& build, const SZeRenderCommand& command) override;
	void execute(SZeCommandExecContext& exec) override;

private:
	enum { SOURCE, DEPTH, WORK, INPUT_COUNT };
	SConnection Inputs[INPUT_COUNT];
	SConnection Output;
};

// "Antialias": inputs "Source", "Work", "History"; "When" 0 runs whenever
// the antialiasing is ready, 1 and 2 only at that location;
// "SourceColorSpace" 1 converts the source first, 2 as the gamma switch.
class CZeRenderCmd_Antialias : public CZeRenderCmd
{
public:
	bool parse(SZeCommandBuildContext& build, const SZeRenderCommand& command) override;
	void execute(SZeCommandExecContext& exec) override;

private:
	enum { SOURCE, WORK, HISTORY, INPUT_COUNT };
	SConnection Inputs[INPUT_COUNT];
	SConnection Output;
	irr::s32 When = 0;
	irr::s32 SourceColorSpace = 0;
};

// "Post Processing": the post chain's effects of the stage "Render" (none
// named: those without a stage) from "Source", alternating with "Work".
class CZeRenderCmd_PostProc : public CZeRenderCmd
{
public:
	bool parse(SZeCommandBuildContext& build, const SZeRenderCommand& command) override;
	void execute(SZeCommandExecContext& exec) override;

private:
	enum { SOURCE, WORK, INPUT_COUNT };
	SConnection Inputs[INPUT_COUNT];
	SConnection Output;
	irr::core::stringc Stage;
};

// "Light Pass": the frame's lights added into the output.
class CZeRenderCmd_LightPass : public CZeRenderCmd
{
public:
	bool parse(SZeCommandBuildContext& build, const SZeRenderCommand& command) override;
	void execute(SZeCommandExecContext& exec) override;

protected:
	SConnection Output;
};

// "Light Volumetric": the frame's volumetric lights drawn over the output.
class CZeRenderCmd_LightVolumetric : public CZeRenderCmd_LightPass
{
public:
	void execute(SZeCommandExecContext& exec) override;
};
