#include "api/ZeSceneRenderer.h"

#include "api/SZeApiItems.h"
#include "api/ZeApiItems.h"
#include "core/IZeManager.h"
#include "core/IZeRenderer.h"
#include "core/IZeServices.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeIdTable.h"
#include "frame/ZeLog.h"
#include "scene/ZeSceneDesc.h"

#include <cstdlib>
#include <cstring>

namespace
{
SZeSceneRendererBuilder g_builder = {nullptr, nullptr};

bool hasTextureCommands(const SZeSceneDesc* desc)
{
	for (int i = 0; i < desc->commandCount; ++i)
		if (desc->commands[i].cmd && std::strcmp(desc->commands[i].cmd, "Create Texture") == 0)
			return true;
	return false;
}
} // namespace

void zeSetSceneRendererBuilder(const SZeSceneRendererBuilder* builder)
{
	g_builder = builder ? *builder : SZeSceneRendererBuilder{nullptr, nullptr};
}

int zeCreateRendererTextures(const SZeSceneDesc* desc)
{
	if (!desc || !hasTextureCommands(desc))
		return 0;
	if (!g_builder.createTextures)
	{
		zeSetError(-1, "no command renderer makes the render targets of render commands");
		return -1;
	}
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
	IZeRenderer* renderer = nullptr;
	if (g_builder.createRenderer)
		renderer = g_builder.createRenderer(desc, firstEffectId);
	else if (!zeGetRendererCtxAdv())
		zeSetError(-1, "Failed to create renderer, context not avaiable");
	else
		zeSetError(-1, "Failed to create renderer");
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
