#include "api/ZeApiItems.h"

#include "api/ZeCubeMapApi.h"
#include "api/ZeLightApi.h"
#include "api/ZeObjectApi.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeIdTable.h"
#include "libext/ZeMaterialExt.h"

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
	// Objects first: deleting a cube map takes it off the objects that remain.
	deleteAll(EZEIT_OBJECT, zeDeleteObject);
	deleteAll(EZEIT_LIGHT, zeDeleteLight);
	deleteAll(EZEIT_CUBE_MAP, zeDeleteCubeMap);
	deleteAll(EZEIT_RENDERER, zeDeleteRenderer);
}

void zeDeleteApiItemsAtShutdown()
{
	zeGetEngineHooks().deleteApiItems = zeDeleteAllApiItems;
}
