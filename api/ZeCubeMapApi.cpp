#include "api/ZeCubeMapApi.h"

#include "api/SZeApiItems.h"
#include "api/ZeApiItems.h"
#include "api/ZeObjectApi.h"
#include "core/IZeCubeMap.h"
#include "core/IZeManager.h"
#include "core/IZeServices.h"
#include "frame/ZeContext.h"
#include "frame/ZeIdTable.h"
#include "frame/ZeLog.h"

#include <cstdlib>

namespace
{
// The colour format of every cube map: red, green, blue and alpha as 16-bit floats.
const ze::ECOLOR_FORMAT CUBE_MAP_FORMAT = ze::ECF_A16B16G16R16F;

// The record of the ID, or null without reporting.
SZeCubeMapItem* peekItem(int id)
{
	SZeIdTable* table = zeGetIdTable(EZEIT_CUBE_MAP);
	if (!table || id < 0 || id >= table->capacity)
		return nullptr;
	return static_cast<SZeCubeMapItem*>(table->slots[id]);
}
} // namespace

int zeMakeCubeMap(int id, int size, int latLong)
{
	SZeIdTable* table = zeGetIdTable(EZEIT_CUBE_MAP);
	SZeCubeMapItem* item = static_cast<SZeCubeMapItem*>(std::calloc(1, sizeof(SZeCubeMapItem)));
	if (!item || !table || zeIdTableAdd(table, id, item) != 0)
	{
		zeSetError(1, "invalid CubeMap ID %d : %s", id, table ? zeGetIdTableError() : "the engine is not set up");
		std::free(item);
		return -1;
	}
	IZeManager* manager = zeGetManager();
	item->cubeMap = manager && size > 0 ?
		manager->getSceneManager()->createCubeMap(static_cast<irr::u32>(size), CUBE_MAP_FORMAT, latLong != 0) :
		nullptr;
	if (!item->cubeMap)
	{
		zeSetError(-1, "Failed to create cube map");
		zeIdTableRemove(table, id);
		std::free(item);
		return -1;
	}
	zeDeleteApiItemsAtShutdown();
	return 0;
}

int zeCubeMapExist(int id)
{
	return peekItem(id) ? 1 : 0;
}

IZeCubeMap* zeGetCubeMap(int id)
{
	SZeCubeMapItem* item = peekItem(id);
	return item ? item->cubeMap : nullptr;
}

void zeDeleteCubeMap(int id)
{
	SZeCubeMapItem* item = peekItem(id);
	if (!item)
		return;
	zeUnbindCubeMapFromObjects(item->cubeMap);
	item->cubeMap->drop();
	zeIdTableRemove(zeGetIdTable(EZEIT_CUBE_MAP), id);
	std::free(item);
}
