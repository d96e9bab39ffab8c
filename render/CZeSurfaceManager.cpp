#include "render/CZeSurfaceManager.h"

#include "render/CZeSurfaceLightwave.h"
#include "render/CZeSurfaceLightwaveHV.h"

#include <cstring>

using namespace irr;

IZeSurface* CZeSurfaceManager::createSurfaceByType(u32 typeCode)
{
	if (typeCode == ZE_SURFACE_LIGHTWAVE)
		return new CZeSurfaceLightwave();
	if (typeCode == ZE_SURFACE_LIGHTWAVE_HV)
		return new CZeSurfaceLightwaveHV();
	return nullptr;
}

IZeSurface* CZeSurfaceManager::createSurfaceByName(const char* name)
{
	const u32 code = getTypeCodeOfName(name);
	return code ? createSurfaceByType(code) : nullptr;
}

u32 CZeSurfaceManager::getTypeCodeOfName(const char* name)
{
	if (!name)
		return 0;
	if (!std::strcmp(name, "lightwave"))
		return ZE_SURFACE_LIGHTWAVE;
	if (!std::strcmp(name, "lightwave_hv"))
		return ZE_SURFACE_LIGHTWAVE_HV;
	return 0;
}

IZeSurfaceManager* zeCreateSurfaceManager(IZeManager*)
{
	return new CZeSurfaceManager();
}
