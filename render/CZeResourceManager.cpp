#include "render/CZeResourceManager.h"

#include "core/IZeManager.h"
#include "effects/IZeEffectManager.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"

namespace
{
const char* const CUBE_TO_LAT_LONG = "cubemaptolatlong.hlsl";
}

CZeResourceManager::~CZeResourceManager()
{
	if (CubeToLatLong)
		CubeToLatLong->drop();
}

bool CZeResourceManager::loadEngineEffects()
{
	IZeManager* manager = zeGetManager();
	IZeEffectManager* effects = manager ? manager->getEffectManager() : nullptr;
	if (!effects)
	{
		zeLog(EZELL_ERROR, "CZeResourceManager: there is no effect manager");
		return false;
	}
	IZeEffect* effect = effects->createEffect(zeFindDataFile(CUBE_TO_LAT_LONG), -1, nullptr, nullptr);
	if (!effect)
	{
		zeLog(EZELL_ERROR, "CZeResourceManager failed to load %s", CUBE_TO_LAT_LONG);
		return false;
	}
	if (CubeToLatLong)
		CubeToLatLong->drop();
	CubeToLatLong = effect;
	return true;
}
