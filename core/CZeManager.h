// The engine manager: owns the nine services while the engine runs.
#pragma once

#include "core/IZeManager.h"

class CZeManager : public IZeManager
{
public:
	// Makes the manager and its services over a device; null when a service
	// that must exist cannot be made (the reason goes to *reason).
	static CZeManager* create(irr::IrrlichtDevice* device, irr::core::stringc* reason);
	~CZeManager() override;

	IZeGpuProgramming* getGpuProgramming() override { return GpuProgramming; }
	IZeEffectManager* getEffectManager() override { return EffectManager; }
	IZeSceneManager* getSceneManager() override { return SceneManager; }
	IZeTextureManager* getTextureManager() override { return TextureManager; }
	IZeSurfaceManager* getSurfaceManager() override { return SurfaceManager; }
	IZeRendererManager* getRendererManager() override { return RendererManager; }
	IZeRenderServices* getRenderServices() override { return RenderServices; }
	IZeVideoDriverExt* getVideoDriverExt() override { return VideoDriverExt; }
	IZeResourceManager* getResourceManager() override { return ResourceManager; }
	void onDeviceReset() override;

	irr::IrrlichtDevice* getDevice() const { return Device; }

private:
	explicit CZeManager(irr::IrrlichtDevice* device);
	bool createServices(irr::core::stringc* reason);

	irr::IrrlichtDevice* Device;
	IZeGpuProgramming* GpuProgramming = nullptr;
	IZeTextureManager* TextureManager = nullptr;
	IZeSceneManager* SceneManager = nullptr;
	IZeSurfaceManager* SurfaceManager = nullptr;
	IZeRendererManager* RendererManager = nullptr;
	IZeVideoDriverExt* VideoDriverExt = nullptr;
	IZeRenderServices* RenderServices = nullptr;
	IZeEffectManager* EffectManager = nullptr;
	IZeResourceManager* ResourceManager = nullptr;
	void (*DeleteEffectManager)(IZeEffectManager*) = nullptr;
	// Whether the scene service is the engine core's own (else a factory's).
	bool OwnSceneManager = false;
};

// Tests follow the services the engine core makes itself ("gpu", "texture",
// "scene", "driverext"): told right after each is made and right before it is
// deleted. Null stops it.
typedef void (*ZeServiceTrace)(const char* service, bool created);
void zeSetServiceTrace(ZeServiceTrace trace);
