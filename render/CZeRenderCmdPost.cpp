// The commands that run the advanced context's stages: gamma, down-sampling,
// glow, depth of field, antialiasing, the post chain and the lights.
#include "render/CZeRenderCmdKinds.h"

#include "frame/ZeLog.h"

using namespace irr;

namespace
{
bool glowOn(const SZeRenderSettings& settings)
{
	return settings.GlowEnable && settings.GlowIntensity != 0.0f;
}
} // namespace

// ---- Gamma, DownSample, Glow -----------------------------------------------------------
bool CZeRenderCmd_Stage::parse(SZeCommandBuildContext& build, const SZeRenderCommand& command)
{
	if (!CZeRenderCmd::parse(build, command) || !parseFirstInput(build, command, Input) ||
		!parseFirstOutput(build, command, Output))
		return false;
	When = intParameter(command, "When", 0);
	return true;
}

void CZeRenderCmd_Gamma::execute(SZeCommandExecContext& exec)
{
	if (When != 0 && !exec.Context->getRenderSettings()->GammaEnable)
	{
		copyThrough(Input, Output, exec);
		return;
	}
	video::ITexture* input = connectionTexture(Input, exec);
	toggleShared(Input, Output, exec);
	exec.Context->getGamma()->render(exec.Driver, connectionTexture(Output, exec), input);
}

void CZeRenderCmd_DownSample::execute(SZeCommandExecContext& exec)
{
	if (When != 0 && !glowOn(*exec.Context->getRenderSettings()))
		return;
	video::ITexture* input = connectionTexture(Input, exec);
	toggleShared(Input, Output, exec);
	exec.Context->getDownSampleBlur()->render(exec.Driver, connectionTexture(Output, exec), input);
}

bool CZeRenderCmd_Glow::parse(SZeCommandBuildContext& build, const SZeRenderCommand& command)
{
	if (!CZeRenderCmd_Stage::parse(build, command))
		return false;
	Intensity = floatParameter(command, "Intensity", 1.0f);
	Radius = floatParameter(command, "Radius", 16.0f);
	return true;
}

void CZeRenderCmd_Glow::execute(SZeCommandExecContext& exec)
{
	const SZeRenderSettings& settings = *exec.Context->getRenderSettings();
	if (When != 0 && !glowOn(settings))
		return;
	video::ITexture* input = connectionTexture(Input, exec);
	toggleShared(Input, Output, exec);
	video::ITexture* output = connectionTexture(Output, exec);
	// The streak switch stands for the glow's flag byte, as in the light pre-pass frame.
	if (When == 0)
		exec.Context->getGlow()->render(exec.Driver, output, input, Radius, Intensity, false);
	else
		exec.Context->getGlow()->render(exec.Driver, output, input, settings.GlowRadius, settings.GlowIntensity,
			settings.StreakEnable);
}

// ---- Depth of Field ------------------------------------------------------------------------
bool CZeRenderCmd_DepthOfField::parse(SZeCommandBuildContext& build, const SZeRenderCommand& command)
{
	static const char* const NAMES[INPUT_COUNT] = {"Source", "Depth", "Work"};
	return CZeRenderCmd::parse(build, command) && parseNamedInputs(build, command, NAMES, Inputs, INPUT_COUNT) &&
		parseFirstOutput(build, command, Output);
}

void CZeRenderCmd_DepthOfField::execute(SZeCommandExecContext& exec)
{
	const SZeRenderSettings& settings = *exec.Context->getRenderSettings();
	if (!settings.DofEnable)
	{
		copyThrough(Inputs[SOURCE], Output, exec);
		return;
	}
	video::ITexture* source = connectionTexture(Inputs[SOURCE], exec);
	toggleShared(Inputs[SOURCE], Output, exec);
	video::ITexture* output = connectionTexture(Output, exec);
	video::ITexture* depth = connectionTexture(Inputs[DEPTH], exec);
	video::ITexture* work = connectionTexture(Inputs[WORK], exec);
	SZePostDof* dof = exec.Context->getDof();
	if (settings.DofMode != 0.0f)
		dof->renderArtist(exec.Driver, output, source, depth, work, settings.DofRadiusScale);
	else
		dof->renderPhysical(exec.Driver, output, source, depth, work);
}

// ---- Antialias -------------------------------------------------------------------------------
bool CZeRenderCmd_Antialias::parse(SZeCommandBuildContext& build, const SZeRenderCommand& command)
{
	static const char* const NAMES[INPUT_COUNT] = {"Source", "Work", "History"};
	if (!CZeRenderCmd::parse(build, command) || !parseNamedInputs(build, command, NAMES, Inputs, INPUT_COUNT) ||
		!parseFirstOutput(build, command, Output))
		return false;
	When = intParameter(command, "When", 0);
	SourceColorSpace = intParameter(command, "SourceColorSpace", 0);
	return true;
}

void CZeRenderCmd_Antialias::execute(SZeCommandExecContext& exec)
{
	const SZeRenderSettings& settings = *exec.Context->getRenderSettings();
	CZePostAntialias* antialias = exec.Context->getAntialias();
	const bool ready = exec.Context->isAntialiasEnabled() && antialias->isActive();
	const bool active = ready && (When == 0 || (When == 1 && settings.AntialiasLocation == 1) ||
		(When == 2 && settings.AntialiasLocation == 2));
	const bool gamma = SourceColorSpace == 1 || (SourceColorSpace == 2 && settings.GammaEnable);
	const SConnection& source = Inputs[SOURCE];
	if (!active)
	{
		copyThrough(source, Output, exec);
		return;
	}
	video::ITexture* work = connectionTexture(Inputs[WORK], exec);
	video::ITexture* history = connectionTexture(Inputs[HISTORY], exec);
	video::ITexture* from = connectionTexture(source, exec);
	toggleShared(source, Output, exec);
	video::ITexture* output = connectionTexture(Output, exec);
	const bool toDisplay = !output;
	if (toDisplay)
	{
		if (source.FlipFlop >= 0)
		{
			toggle(source, exec);
			output = connectionTexture(source, exec);
		}
		else
			zeLog(EZELL_ERROR, "CZeRenderCmd_Antialias command '%s' : Failed. Use flipflop texture([]) as input when "
				"output is Display", Name.c_str());
	}
	video::ITexture* result = antialias->render(exec.Driver, exec.DriverExt, exec.Services, output, from, work,
		history, toDisplay, gamma, exec.CameraCut);
	if (result == output)
		return;
	// The source came back as it was (nothing drawn into the output, a blend
	// written back into the source): the back buffer already shows it, and a
	// pair it came from is turned back to it; any other output gets a copy.
	if (toDisplay || samePair(source, Output))
	{
		if (source.FlipFlop >= 0)
			toggle(source, exec);
	}
	else
	{
		selectTarget(output, exec);
		exec.Services->copyTexture(result);
	}
}

// ---- Post Processing -----------------------------------------------------------------------
bool CZeRenderCmd_PostProc::parse(SZeCommandBuildContext& build, const SZeRenderCommand& command)
{
	static const char* const NAMES[INPUT_COUNT] = {"Source", "Work"};
	if (!CZeRenderCmd::parse(build, command) || !parseNamedInputs(build, command, NAMES, Inputs, INPUT_COUNT) ||
		!parseFirstOutput(build, command, Output))
		return false;
	const SZeCommandParameter* stage = command.findParameter("Render");
	Stage = stage ? stage->String : "";
	return true;
}

void CZeRenderCmd_PostProc::execute(SZeCommandExecContext& exec)
{
	const bool glow = glowOn(*exec.Context->getRenderSettings());
	const SConnection& source = Inputs[SOURCE];
	video::ITexture* work = connectionTexture(Inputs[WORK], exec);
	video::ITexture* from = connectionTexture(source, exec);
	const bool inPlace = samePair(source, Output);
	if (inPlace)
		toggle(source, exec);
	// The output as its connection names it (null: the back buffer), and the
	// texture the chain ends in.
	video::ITexture* const named = connectionTexture(Output, exec);
	video::ITexture* output = named;
	if (!output && !work)
	{
		if (source.FlipFlop >= 0)
		{
			toggle(source, exec);
			output = connectionTexture(source, exec);
		}
		else
			zeLog(EZELL_ERROR, "CZeRenderCmd_PostProc command '%s' : Failed. when output is Display, need to use "
				"flipflop texture([]) as source or set a Work", Name.c_str());
	}
	if (output == from && !work)
		zeLog(EZELL_ERROR, "CZeRenderCmd_PostProc command '%s' : Failed. when source=target need to use a work "
			"texture", Name.c_str());
	video::ITexture* result = exec.Context->getPostChain()->render(exec.Driver, exec.Services, output, from, work,
		Stage.empty() ? nullptr : Stage.c_str(), !inPlace, glow);
	if (result == named)
		return;
	if (inPlace)
		toggle(source, exec);
	else
	{
		selectTarget(named, exec);
		exec.Services->copyTexture(result);
	}
}

// ---- Light Pass, Light Volumetric ----------------------------------------------------------
bool CZeRenderCmd_LightPass::parse(SZeCommandBuildContext& build, const SZeRenderCommand& command)
{
	return CZeRenderCmd::parse(build, command) && parseFirstOutput(build, command, Output);
}

void CZeRenderCmd_LightPass::execute(SZeCommandExecContext& exec)
{
	exec.Context->getLightPass()->render(connectionTexture(Output, exec), exec.Nodes->Lights, exec.Nodes->Ext,
		exec.Context->getShadowBinds());
}

void CZeRenderCmd_LightVolumetric::execute(SZeCommandExecContext& exec)
{
	exec.Context->getVolumetric()->render(connectionTexture(Output, exec), exec.Nodes->Lights,
		exec.Context->getShadowBinds());
}
