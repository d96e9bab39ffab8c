// The engine manager and its nine services.
//
// The services are made in the order GPU programming, texture, scene, surface,
// renderer, video-driver extension, render services, effect, resource, and
// deleted in the order resource, effect, render services, video-driver
// extension, renderer, surface, scene, texture, GPU programming. Services that
// live in higher folders (effects, render, scene) are made through factories
// that the program registers (zeRegisterServiceFactories).
#pragma once

#include <irrlicht.h>

class IZeGpuProgramming;
class IZeEffectManager;
class IZeSceneManager;
class IZeTextureManager;
class IZeSurfaceManager;
class IZeRendererManager;
class IZeRenderServices;
class IZeVideoDriverExt;
class IZeResourceManager;

class IZeManager
{
public:
	virtual ~IZeManager() = default;
	virtual IZeGpuProgramming* getGpuProgramming() = 0;
	virtual IZeEffectManager* getEffectManager() = 0;
	virtual IZeSceneManager* getSceneManager() = 0;
	virtual IZeTextureManager* getTextureManager() = 0;
	virtual IZeSurfaceManager* getSurfaceManager() = 0;
	virtual IZeRendererManager* getRendererManager() = 0;
	virtual IZeRenderServices* getRenderServices() = 0;
	virtual IZeVideoDriverExt* getVideoDriverExt() = 0;
	virtual IZeResourceManager* getResourceManager() = 0;
	// Before the device is reset: lets services drop device-bound buffers.
	virtual void onDeviceReset() = 0;
};

// The engine manager while the engine runs, else null.
IZeManager* zeGetManager();

// Factories of the services that live above the engine core; each returns a
// new service (with a virtual destructor) that the manager deletes, or null.
struct SZeServiceFactories
{
	// Null: the engine core's own scene-manager service (plain meshes, clones,
	// scene time).
	IZeSceneManager* (*createSceneManager)(IZeManager* manager);
	IZeSurfaceManager* (*createSurfaceManager)(IZeManager* manager);
	IZeRendererManager* (*createRendererManager)(IZeManager* manager);
	IZeRenderServices* (*createRenderServices)(IZeManager* manager);
	IZeEffectManager* (*createEffectManager)(IZeManager* manager);
	IZeResourceManager* (*createResourceManager)(IZeManager* manager);
	// Deletes what createEffectManager made (its interface lives above the
	// engine core); without it the effect-manager factory is not used.
	void (*deleteEffectManager)(IZeEffectManager* manager);
};
void zeRegisterServiceFactories(const SZeServiceFactories& factories);
// The factories registered so far (to replace one of them).
SZeServiceFactories zeGetServiceFactories();

// The engine-core log: formats into 1,024 bytes and hands the text to the
// device's logger, from which it reaches the engine log with its level
// prefix when the level reaches the log's threshold (0 debug, 1 information,
// 2 warning, 3 error); without a device, straight to the engine log.
void zeEngineLog(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
