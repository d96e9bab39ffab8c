// The resource manager: the engine's shared effects.
#pragma once

#include "core/IZeServices.h"

class CZeResourceManager : public IZeResourceManager
{
public:
	CZeResourceManager() = default;
	~CZeResourceManager() override;
	CZeResourceManager(const CZeResourceManager&) = delete;
	CZeResourceManager& operator=(const CZeResourceManager&) = delete;

	// Loads "cubemaptolatlong.hlsl" through the engine's effect manager.
	bool loadEngineEffects() override;
	IZeEffect* getCubeToLatLongEffect() override { return CubeToLatLong; }

private:
	IZeEffect* CubeToLatLong = nullptr;
};
