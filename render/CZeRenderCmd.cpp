#include "render/CZeRenderCmd.h"

#include "frame/ZeLog.h"
#include "libext/ZeTextureExt.h"
#include "render/CZeRenderCmdKinds.h"

#include <cstring>
#include <memory>

using namespace irr;

// ---- Parsing -----------------------------------------------------------------------------
bool CZeRenderCmd::parse(SZeCommandBuildContext& build, const SZeRenderCommand& command)
{
	(void)build;
	Name = command.Name;
	Kind = command.Kind;
	DisabledWhenBaking = intParameter(command, "DisabledWhenBaking", 0) != 0;
	return true;
}

bool CZeRenderCmd::resolveConnection(SZeCommandBuildContext& build, const SZeCommandConnect& connect, bool output,
	SConnection& out) const
{
	out = SConnection();
	out.Name = connect.Name;
	out.TextureName = connect.Texture;
	const char* what = output ? "output" : "input";
	if (output && connect.Texture == "Display")
	{
		out.Display = true;
		return true;
	}
	const s32 brackets = connect.Texture.find("[]");
	if (brackets >= 0)
	{
		const core::stringc base = connect.Texture.subString(0, static_cast<u32>(brackets));
		ZeFlipFlopList& pairs = *build.FlipFlops;
		for (u32 i = 0; i < pairs.size(); ++i)
			if (pairs[i].Name == base)
			{
				out.FlipFlop = static_cast<s32>(i);
				return true;
			}
		SFlipFlopEntry pair;
		pair.Name = base;
		pair.Textures[0] = ze::findTexture(build.Driver, base + "[0]");
		pair.Textures[1] = ze::findTexture(build.Driver, base + "[1]");
		if (!pair.Textures[0] || !pair.Textures[1])
		{
			zeLog(EZELL_ERROR, "Failed to find flip flop textures '%s' for %s '%s' of command '%s' ",
				connect.Texture.c_str(), what, connect.Name.c_str(), Name.c_str());
			return false;
		}
		out.FlipFlop = static_cast<s32>(pairs.size());
		pairs.push_back(pair);
		return true;
	}
	out.Texture = ze::findTexture(build.Driver, connect.Texture);
	if (!out.Texture)
	{
		zeLog(EZELL_ERROR, "failed find texture '%s' for %s '%s' of command '%s' ", connect.Texture.c_str(), what,
			connect.Name.c_str(), Name.c_str());
		return false;
	}
	return true;
}

bool CZeRenderCmd::parseFirstInput(SZeCommandBuildContext& build, const SZeRenderCommand& command,
	SConnection& out) const
{
	if (command.Inputs.empty())
	{
		zeLog(EZELL_ERROR, "Missing input for command '%s' ", Name.c_str());
		return false;
	}
	return resolveConnection(build, command.Inputs[0], false, out);
}

bool CZeRenderCmd::parseFirstOutput(SZeCommandBuildContext& build, const SZeRenderCommand& command,
	SConnection& out) const
{
	if (command.Outputs.empty())
	{
		zeLog(EZELL_ERROR, "Missing output for command '%s' ", Name.c_str());
		return false;
	}
	return resolveConnection(build, command.Outputs[0], true, out);
}

bool CZeRenderCmd::parseNamedInputs(SZeCommandBuildContext& build, const SZeRenderCommand& command,
	const char* const* names, SConnection* out, u32 count) const
{
	for (u32 i = 0; i < command.Inputs.size(); ++i)
	{
		SConnection input;
		if (!resolveConnection(build, command.Inputs[i], false, input))
			return false;
		for (u32 n = 0; n < count; ++n)
			if (input.Name == names[n])
				out[n] = input;
	}
	return true;
}

namespace
{
// The index of a name made of the prefix and decimal digits, below `count`; -1 otherwise.
s32 indexOf(const core::stringc& name, const char* prefix, u32 count)
{
	const size_t length = std::strlen(prefix);
	if (name.size() <= length || name.size() > length + 2 || std::strncmp(name.c_str(), prefix, length) != 0)
		return -1;
	u32 index = 0;
	for (u32 i = static_cast<u32>(length); i < name.size(); ++i)
	{
		if (name[i] < '0' || name[i] > '9')
			return -1;
		index = index * 10 + static_cast<u32>(name[i] - '0');
	}
	return index < count ? static_cast<s32>(index) : -1;
}
} // namespace

bool CZeRenderCmd::parseIndexed(SZeCommandBuildContext& build, const core::array<SZeCommandConnect>& connects,
	bool output, const char* prefix, SConnection* out, u32 count, u32& used) const
{
	used = 0;
	for (u32 i = 0; i < connects.size(); ++i)
	{
		const s32 index = indexOf(connects[i].Name, prefix, count);
		if (index < 0)
		{
			zeLog(EZELL_ERROR, "Invalid name of %s '%s' of command '%s' ", output ? "output" : "input",
				connects[i].Name.c_str(), Name.c_str());
			return false;
		}
		if (!resolveConnection(build, connects[i], output, out[index]))
			return false;
		used = core::max_(used, static_cast<u32>(index) + 1);
	}
	return true;
}

s32 CZeRenderCmd::intParameter(const SZeRenderCommand& command, const char* name, s32 fallback)
{
	const SZeCommandParameter* p = command.findParameter(name);
	return p ? p->Int : fallback;
}

f32 CZeRenderCmd::floatParameter(const SZeRenderCommand& command, const char* name, f32 fallback)
{
	const SZeCommandParameter* p = command.findParameter(name);
	return p ? p->Float : fallback;
}

// ---- Executing -------------------------------------------------------------------------
video::ITexture* CZeRenderCmd::connectionTexture(const SConnection& connection, const SZeCommandExecContext& exec)
{
	if (connection.Display)
		return exec.Target;
	if (connection.FlipFlop >= 0)
		return (*exec.FlipFlops)[static_cast<u32>(connection.FlipFlop)].current();
	return connection.Texture;
}

void CZeRenderCmd::toggle(const SConnection& connection, const SZeCommandExecContext& exec)
{
	if (connection.FlipFlop >= 0)
		(*exec.FlipFlops)[static_cast<u32>(connection.FlipFlop)].toggle();
}

void CZeRenderCmd::toggleShared(const SConnection& source, const SConnection& output,
	const SZeCommandExecContext& exec)
{
	if (samePair(source, output))
		toggle(source, exec);
}

void CZeRenderCmd::copyThrough(const SConnection& source, const SConnection& output,
	const SZeCommandExecContext& exec)
{
	if (samePair(source, output))
		return;
	video::ITexture* from = connectionTexture(source, exec);
	selectTarget(connectionTexture(output, exec), exec);
	exec.Services->copyTexture(from);
}

void CZeRenderCmd::selectTarget(video::ITexture* texture, const SZeCommandExecContext& exec)
{
	exec.Services->setRenderTargets(&texture, texture ? 1 : 0);
}

// ---- Factory -----------------------------------------------------------------------------
namespace
{
template <class T>
CZeRenderCmd* make()
{
	return new T();
}

struct SKind
{
	const char* Name;
	CZeRenderCmd* (*Make)();
};
const SKind KINDS[] = {
	{"Clear", make<CZeRenderCmd_Clear>},
	{"Shader", make<CZeRenderCmd_Shader>},
	{"Render Objects", make<CZeRenderCmd_RenderObjects>},
	{"Gamma", make<CZeRenderCmd_Gamma>},
	{"DownSample", make<CZeRenderCmd_DownSample>},
	{"Glow", make<CZeRenderCmd_Glow>},
	{"Depth of Field", make<CZeRenderCmd_DepthOfField>},
	{"Antialias", make<CZeRenderCmd_Antialias>},
	{"Post Processing", make<CZeRenderCmd_PostProc>},
	{"Light Pass", make<CZeRenderCmd_LightPass>},
	{"Light Volumetric", make<CZeRenderCmd_LightVolumetric>},
};
} // namespace

CZeRenderCmd* zeCreateRenderCmd(SZeCommandBuildContext& build, const SZeRenderCommand& command, EZE_COMMAND_MADE* made)
{
	*made = EZCM_FAILED;
	if (command.Kind == "Create Texture")
	{
		*made = EZCM_SKIPPED;
		return nullptr;
	}
	for (const SKind& kind : KINDS)
	{
		if (command.Kind != kind.Name)
			continue;
		std::unique_ptr<CZeRenderCmd> cmd(kind.Make());
		if (!cmd->parse(build, command))
			return nullptr;
		*made = EZCM_MADE;
		return cmd.release();
	}
	zeLog(EZELL_ERROR, "CZeRendererCmds command '%s' is not supported", command.Kind.c_str());
	return nullptr;
}
