#include "render/CZeRendererCmds.h"

#include "core/ZeGpuState.h"
#include "libext/IZeVideoDriverExt.h"
#include "libext/ZeDrawPasses.h"
#include "render/ZeRendererSteps.h"

using namespace irr;

namespace
{
const char* const TARGET_NAMES[] = {"DepthRTT", "NormalRTT", "LightRTT", "HalfScreen[0]", "HalfScreen[1]",
	"HalfScreen[2]", "QuarterScreen[0]", "QuarterScreen[1]"};

// The jitter sequence's frame counter of the command renderers, one for the process.
u32 g_frameCounter = 0;
} // namespace

u32 zeGetCmdsFrameCounter()
{
	return g_frameCounter;
}

CZeRendererCmds::CZeRendererCmds(IrrlichtDevice* device, IZeManager* manager, CZeRendererCtxAdv* context)
	: CZeRendererAdvBase(device, manager, context, "CZeRendererCmds")
{
}

CZeRendererCmds::~CZeRendererCmds()
{
	Commands.clear();
	FlipFlops.clear();
	zeReleaseCommandTextures(UsedTextures);
}

bool CZeRendererCmds::init(const SZeRendererDesc& description)
{
	if (Ready)
		return false;
	if (!takeDescription(description, TARGET_NAMES, Targets, TARGET_COUNT))
		return false;
	if (!buildCommands(description))
		return false;
	UsedTextures = zeUseCommandTextures(Device->getVideoDriver(), description);
	Ready = true;
	return true;
}

bool CZeRendererCmds::buildCommands(const SZeRendererDesc& description)
{
	SZeCommandBuildContext build;
	build.Driver = Device->getVideoDriver();
	build.Context = Context;
	build.FlipFlops = &FlipFlops;
	build.Nodes = &Nodes;
	for (u32 i = 0; i < description.Commands.size(); ++i)
	{
		EZE_COMMAND_MADE made = EZCM_FAILED;
		CZeRenderCmd* command = zeCreateRenderCmd(build, description.Commands[i], &made);
		if (made == EZCM_FAILED)
		{
			Commands.clear();
			FlipFlops.clear();
			return false;
		}
		if (command)
			Commands.emplace_back(command);
	}

	// "DoNotReset" 1 after "Name" keeps the pair holding that texture from frame to frame.
	for (u32 i = 0; i < description.Commands.size(); ++i)
	{
		const SZeRenderCommand& command = description.Commands[i];
		if (command.Kind != "Create Texture")
			continue;
		const core::stringc* name = nullptr;
		for (u32 p = 0; p < command.Parameters.size(); ++p)
		{
			const SZeCommandParameter& parameter = command.Parameters[p];
			if (parameter.Name == "Name")
				name = &parameter.String;
			if (parameter.Name != "DoNotReset")
				continue;
			for (u32 f = 0; name && parameter.Int == 1 && f < FlipFlops.size(); ++f)
				if (FlipFlops[f].Textures[0]->getName().getPath() == *name ||
					FlipFlops[f].Textures[1]->getName().getPath() == *name)
					FlipFlops[f].DoNotReset = true;
			break;
		}
	}
	return true;
}

bool CZeRendererCmds::render(video::ITexture* target)
{
	if (!Ready)
		return false;

	SZeCommandExecContext exec;
	exec.Driver = Device->getVideoDriver();
	exec.DriverExt = Manager->getVideoDriverExt();
	exec.SceneManager = Manager->getSceneManager();
	exec.Context = Context;
	exec.Services = Manager->getRenderServices();
	exec.Target = target;
	exec.FlipFlops = &FlipFlops;
	exec.Nodes = &Nodes;
	video::IVideoDriver* driver = exec.Driver;
	IZeRenderServices* services = exec.Services;
	const SZeClearRecord clear = *Context->getClearColor();
	CZePostAntialias* antialias = Context->getAntialias();
	Context->setPostParameters();

	ze::drawAllPasses(Device->getSceneManager(), ze::EDAP_PREPARE | ze::EDAP_CAMERA | ze::EDAP_LIGHT);

	services->getLightList(Nodes.Lights);
	services->getSolidNodeList(Nodes.Solid);
	services->getTransparentNodeList(Nodes.Transparent);
	services->getTransparentEffectNodeList(Nodes.TransparentEffect);
	services->getVisibleNodes(Nodes.Visible);
	services->filterExtNodes(Nodes.Ext, Nodes.Visible);

	exec.CameraCut = zeRendererCameraCut(Manager, driver, target);

	const core::matrix4 projection = driver->getTransform(video::ETS_PROJECTION);
	if (!target && Context->isAntialiasEnabled() && antialias->isActive())
		zeRendererJitter(driver, antialias, ++g_frameCounter, projection);

	Context->resetShadowBinds();
	for (u32 i = 0; i < FlipFlops.size(); ++i)
		if (!FlipFlops[i].DoNotReset)
			FlipFlops[i].Current = 0;

	for (const std::unique_ptr<CZeRenderCmd>& command : Commands)
		command->execute(exec);

	ze::drawAllPasses(Device->getSceneManager(), ze::EDAP_FINISH);
	if (clear.Debug && !target)
	{
		// Over the window, whatever the last command drew into.
		services->setRenderTargets(nullptr, 0);
		zeSetRenderTargetFlip(false);
		drawDebugTargets();
	}
	driver->setTransform(video::ETS_PROJECTION, projection);
	return true;
}

bool CZeRendererCmds::drawDebugTargets()
{
	drawThumbnails(Targets[NORMAL], Targets[DEPTH], Targets[LIGHT], Targets[HALF1], Targets[QUARTER0],
		Targets[QUARTER1]);
	return true;
}
