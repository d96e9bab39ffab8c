// The resource manager of the program: the engine's shared effects and the
// scene content's process-wide curl-noise table (ZeCurlNoise.h).
#pragma once

#include "core/IZeManager.h"
#include "render/CZeResourceManager.h"

#include <irrlicht.h>

class CZeResourceManagerScene : public CZeResourceManager
{
public:
	explicit CZeResourceManagerScene(irr::IrrlichtDevice* device);
	// Returns to the zero table.
	~CZeResourceManagerScene() override;

	bool hasCurlNoise() const override { return true; }
	bool initCurlNoiseFromImage(const char* file) override;
	bool initCurlNoise() override;
	bool loadCurlNoiseCache(const char* file) override;
	bool saveCurlNoiseCache(const char* file) override;
	void releaseCurlNoise() override;
	irr::video::IImage* createCurlNoiseImage() override;

private:
	irr::IrrlichtDevice* Device;
};

// The resource-manager factory of the program: null without a device.
IZeResourceManager* zeCreateResourceManagerScene(IZeManager* manager);
// Registers the rendering pipeline's factories with the scene content's
// scene-manager service and resource manager in place of theirs.
void zeRegisterSceneFactories();
