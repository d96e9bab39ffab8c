#include "api/ZeSceneRenderer.h"

#include "api/SZeApiItems.h"
#include "api/ZeApiItems.h"
#include "api/ZeEffectApi.h"
#include "core/IZeManager.h"
#include "core/IZeRenderer.h"
#include "core/IZeServices.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeContext.h"
#include "frame/ZeFile.h"
#include "frame/ZeIdTable.h"
#include "frame/ZeLog.h"
#include "scene/ZeSceneDesc.h"

#include <cstdlib>
#include <cstring>

namespace
{
bool engineCreateTextures(const SZeSceneDesc* desc);
IZeRenderer* engineCreateRenderer(const SZeSceneDesc* desc, int firstEffectId);

const SZeSceneRendererBuilder ENGINE_BUILDER = {engineCreateTextures, engineCreateRenderer};
SZeSceneRendererBuilder g_builder = ENGINE_BUILDER;

bool hasTextureCommands(const SZeSceneDesc* desc)
{
	for (int i = 0; i < desc->commandCount; ++i)
		if (desc->commands[i].cmd && std::strcmp(desc->commands[i].cmd, "Create Texture") == 0)
			return true;
	return false;
}

const char* text(const char* s)
{
	return s ? s : "";
}

IZeRendererManager* rendererManager()
{
	IZeManager* manager = zeGetManager();
	return manager ? manager->getRendererManager() : nullptr;
}

bool engineCreateTextures(const SZeSceneDesc* desc)
{
	SZeRendererDesc description;
	zeReadRenderCommands(description.Commands, desc->commands, desc->commandCount, true, 0);
	IZeRendererManager* renderers = rendererManager();
	if (renderers && renderers->createCommandTextures(description))
		return true;
	zeSetError(-1, "a \"Create Texture\" command failed (the log says why)");
	return false;
}

IZeRenderer* engineCreateRenderer(const SZeSceneDesc* desc, int firstEffectId)
{
	SZeRendererDesc description;
	description.FirstEffectFile = zeFindDataFile("Lpp.hlsl");
	description.SecondEffectFile = zeFindDataFile("Forward.hlsl");
	zeReadRenderCommands(description.Commands, desc->commands, desc->commandCount, false, firstEffectId);
	IZeRendererCtxAdv* context = zeGetRendererCtxAdv();
	if (!context)
	{
		zeSetError(-1, "Failed to create renderer, context not avaiable");
		return nullptr;
	}
	IZeRendererManager* renderers = rendererManager();
	IZeRenderer* renderer = renderers ?
		renderers->createRendererCmds(zeGetContext()->device, zeGetManager(), context, description) : nullptr;
	if (!renderer)
		zeSetError(-1, "Failed to create renderer");
	return renderer;
}
} // namespace

void zeSetSceneRendererBuilder(const SZeSceneRendererBuilder* builder)
{
	g_builder = builder ? *builder : ENGINE_BUILDER;
}

int zeReadCommandParameter(const SZeSceneCommandParam& param, SZeCommandParameter& out, int firstEffectId)
{
	out = SZeCommandParameter();
	out.Name = text(param.name);
	switch (param.kind)
	{
	case EZSPK_FLOAT:
		out.Kind = EZCPK_FLOAT;
		out.Float = param.value[0];
		return 0;
	case EZSPK_FLOAT3:
		out.Kind = EZCPK_FLOAT3;
		for (int i = 0; i < 3; ++i)
			out.Float3[i] = param.value[i];
		return 0;
	case EZSPK_INT:
		out.Kind = EZCPK_INT;
		out.Int = param.intValue;
		return 0;
	case EZSPK_STRING:
		out.Kind = EZCPK_STRING;
		out.String = text(param.text);
		return 0;
	case EZSPK_EFFECT:
		out.Kind = EZCPK_EFFECT;
		out.Effect = zeGetEffect(firstEffectId + param.effect);
		if (out.Effect)
			return 0;
		zeLog(EZELL_WARN | EZELF_MESSAGE_BOX, "Renderer Command : missing effect for param '%s'", out.Name.c_str());
		return -1;
	default:
		return -1;
	}
}

int zeReadRenderCommands(irr::core::array<SZeRenderCommand>& commands, const SZeSceneCommand* records, int count,
	bool onlyCreateTexture, int firstEffectId)
{
	for (int i = 0; i < count; ++i)
	{
		const SZeSceneCommand& record = records[i];
		if (onlyCreateTexture && std::strcmp(text(record.cmd), "Create Texture") != 0)
			continue;
		SZeRenderCommand command;
		command.Name = text(record.name);
		command.Kind = text(record.cmd);
		for (int j = 0; j < record.inputCount; ++j)
			command.Inputs.push_back(SZeCommandConnect{text(record.inputs[j].name), text(record.inputs[j].value)});
		for (int j = 0; j < record.outputCount; ++j)
			command.Outputs.push_back(SZeCommandConnect{text(record.outputs[j].name), text(record.outputs[j].value)});
		for (int j = 0; j < record.paramCount; ++j)
		{
			SZeCommandParameter parameter;
			if (zeReadCommandParameter(record.params[j], parameter, firstEffectId) == 0)
				command.Parameters.push_back(parameter);
		}
		commands.push_back(command);
	}
	return 0;
}

int zeCreateRendererTextures(const SZeSceneDesc* desc)
{
	if (!desc || !hasTextureCommands(desc))
		return 0;
	return g_builder.createTextures(desc) ? 0 : -1;
}

int zeLoadRendererFromScene(int rendererId, int sceneId, const SZeSceneDesc* desc, int firstEffectId)
{
	(void)sceneId;
	SZeIdTable* table = zeGetIdTable(EZEIT_RENDERER);
	SZeRendererItem* item = static_cast<SZeRendererItem*>(std::calloc(1, sizeof(SZeRendererItem)));
	if (!item || !table || zeIdTableAdd(table, rendererId, item) != 0)
	{
		zeSetError(1, "invalid Renderer ID %d : %s", rendererId, zeApiTableError(EZEIT_RENDERER));
		std::free(item);
		return -1;
	}
	IZeRenderer* renderer = g_builder.createRenderer(desc, firstEffectId);
	if (!renderer)
	{
		zeIdTableRemove(table, rendererId);
		std::free(item);
		return -1;
	}
	item->renderer = renderer;
	zeDeleteApiItemsAtShutdown();
	return 0;
}

void zeSetSceneTime(int sceneId, int timeMs)
{
	(void)sceneId;
	IZeManager* manager = zeGetManager();
	if (manager && manager->getSceneManager())
		manager->getSceneManager()->setSceneTime(static_cast<irr::u32>(timeMs < 0 ? 0 : timeMs));
}
