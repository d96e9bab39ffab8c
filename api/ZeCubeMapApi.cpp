#include "api/ZeCubeMapApi.h"

#include "api/SZeApiItems.h"
#include "api/ZeApiItems.h"
#include "api/ZeObjectApi.h"
#include "core/IZeCubeMap.h"
#include "core/IZeManager.h"
#include "core/IZeServices.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeLog.h"

namespace
{
// The colour format of every cube map: red, green, blue and alpha as 16-bit floats.
const ze::ECOLOR_FORMAT CUBE_MAP_FORMAT = ze::ECF_A16B16G16R16F;

SZeCubeMapItem* peekItem(int id)
{
	return static_cast<SZeCubeMapItem*>(zePeekApiItem(EZEIT_CUBE_MAP, id));
}

IZeCubeMap* findMap(int id)
{
	SZeCubeMapItem* item =
		static_cast<SZeCubeMapItem*>(zeFindApiItem(EZEIT_CUBE_MAP, id, "CubeMap ID %d does not exist. %s"));
	return item ? item->cubeMap : nullptr;
}
} // namespace

int zeMakeCubeMap(int id, int size, int latLong)
{
	SZeCubeMapItem* item = static_cast<SZeCubeMapItem*>(
		zeAddApiItem(EZEIT_CUBE_MAP, id, sizeof(SZeCubeMapItem), 1, "invalid CubeMap ID %d : %s"));
	if (!item)
		return -1;
	IZeManager* manager = zeGetManager();
	item->cubeMap = manager && size > 0 ?
		manager->getSceneManager()->createCubeMap(static_cast<irr::u32>(size), CUBE_MAP_FORMAT, latLong != 0) :
		nullptr;
	if (!item->cubeMap)
	{
		zeSetError(-1, "Failed to create cube map");
		zeRemoveApiItem(EZEIT_CUBE_MAP, id, item);
		return -1;
	}
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
	zeRemoveApiItem(EZEIT_CUBE_MAP, id, item);
}

void zeCubeMapUpdate(int id)
{
	if (IZeCubeMap* map = findMap(id))
		map->clear();
}

int zeCubeMapIsRendered(int id)
{
	IZeCubeMap* map = findMap(id);
	return map && map->isRendered() ? 1 : 0;
}

int zeRenderCubeMap(int id, float x, float y, float z)
{
	IZeCubeMap* map = findMap(id);
	if (!map)
		return -1;
	if (zeRenderCubeMapFrame(map, irr::core::vector3df(x, y, z)) != 0 || !map->isRendered())
	{
		zeSetError(-1, "Failed to render cube map");
		return -1;
	}
	return 0;
}
