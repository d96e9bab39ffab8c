#include "api/ZeApiItems.h"

#include "api/ZeCameraEffectApi.h"
#include "api/ZeCubeMapApi.h"
#include "api/ZeEffectApi.h"
#include "api/ZeFxEmitterApi.h"
#include "api/ZeImageApi.h"
#include "api/ZeJoystickApi.h"
#include "api/ZeLightApi.h"
#include "api/ZeObjectApi.h"
#include "api/ZeScene.h"
#include "api/ZeScreenQuadApi.h"
#include "frame/ZeEngine.h"
#include "frame/ZeIdTable.h"
#include "frame/ZeLog.h"
#include "libext/ZeMaterialExt.h"

#include <cstdlib>

void* zeAddApiItem(EZE_ID_TABLE kind, int id, size_t size, int argument, const char* creationFormat)
{
	SZeIdTable* table = zeGetIdTable(kind);
	void* item = std::calloc(1, size);
	if (!item || !table || zeIdTableAdd(table, id, item) != 0)
	{
		zeSetError(argument, creationFormat, id, zeApiTableError(kind));
		std::free(item);
		return nullptr;
	}
	zeDeleteApiItemsAtShutdown();
	return item;
}

void* zeFindApiItem(EZE_ID_TABLE kind, int id, const char* lookupFormat, int argument)
{
	SZeIdTable* table = zeGetIdTable(kind);
	void* item = table ? zeIdTableGet(table, id) : nullptr;
	if (!item)
		zeSetError(argument, lookupFormat, id, zeApiTableError(kind));
	return item;
}

void* zePeekApiItem(EZE_ID_TABLE kind, int id)
{
	SZeIdTable* table = zeGetIdTable(kind);
	if (!table || id < 0 || id >= table->capacity)
		return nullptr;
	return table->slots[id];
}

void zeRemoveApiItem(EZE_ID_TABLE kind, int id, void* item)
{
	if (SZeIdTable* table = zeGetIdTable(kind))
		zeIdTableRemove(table, id);
	std::free(item);
}

const char* zeApiTableError(EZE_ID_TABLE kind)
{
	return zeGetIdTable(kind) ? zeGetIdTableError() : "the engine is not set up";
}

namespace
{
void deleteAll(EZE_ID_TABLE kind, void (*remove)(int id))
{
	const SZeIdTable* table = zeGetIdTable(kind);
	const int last = table ? zeIdTableMaxId(table) : -1;
	for (int id = 0; id <= last; ++id)
		remove(id);
}
} // namespace

void zeDeleteAllApiItems()
{
	// One collection of material side records once everything has gone.
	ze::CMaterialExtSweepBatch batch;
	// Scenes first: they free their descriptions with their items.
	zeDeleteAllScenes();
	// Objects first: deleting a cube map takes it off the objects that remain.
	deleteAll(EZEIT_OBJECT, zeDeleteObject);
	deleteAll(EZEIT_LIGHT, zeDeleteLight);
	deleteAll(EZEIT_FX_EMITTER, zeDeleteFxEmitter);
	deleteAll(EZEIT_CAMERA_EFFECT, zeDeleteCameraEffect);
	deleteAll(EZEIT_EFFECT, zeDeleteEffect);
	deleteAll(EZEIT_CUBE_MAP, zeDeleteCubeMap);
	deleteAll(EZEIT_RENDERER, zeDeleteRenderer);
	deleteAll(EZEIT_IMAGE, zeDeleteImage);
	zeReleaseJoysticks();
	zeClearEnabledCameraEffects();
	zeFreeScreenQuad();
}

void zeDeleteApiItemsAtShutdown()
{
	zeGetEngineHooks().deleteApiItems = zeDeleteAllApiItems;
}
