#include "scene/CZeResourceManagerScene.h"

#include "core/CZeManager.h"
#include "frame/ZeContext.h"
#include "render/ZeRenderFactories.h"
#include "scene/CZeSceneManagerServiceScene.h"
#include "scene/ZeCurlNoise.h"

using namespace irr;

CZeResourceManagerScene::CZeResourceManagerScene(IrrlichtDevice* device) : Device(device)
{
}

CZeResourceManagerScene::~CZeResourceManagerScene()
{
	zeCurlNoiseFree();
}

bool CZeResourceManagerScene::initCurlNoiseFromImage(const char* file)
{
	return zeCurlNoiseFromImage(Device->getVideoDriver(), file);
}

bool CZeResourceManagerScene::initCurlNoise()
{
	return zeCurlNoiseCreateDefault();
}

bool CZeResourceManagerScene::loadCurlNoiseCache(const char* file)
{
	return zeCurlNoiseLoad(Device, file);
}

bool CZeResourceManagerScene::saveCurlNoiseCache(const char* file)
{
	return zeCurlNoiseSave(Device, file);
}

void CZeResourceManagerScene::releaseCurlNoise()
{
	zeCurlNoiseFree();
}

video::IImage* CZeResourceManagerScene::createCurlNoiseImage()
{
	return zeCurlNoiseCreateImage(Device->getVideoDriver());
}

IZeResourceManager* zeCreateResourceManagerScene(IZeManager* manager)
{
	CZeManager* own = dynamic_cast<CZeManager*>(manager);
	IrrlichtDevice* device = own ? own->getDevice() : zeGetContext()->device;
	return device ? new CZeResourceManagerScene(device) : nullptr;
}

void zeRegisterSceneFactories()
{
	zeRegisterRenderFactories();
	SZeServiceFactories factories = zeGetServiceFactories();
	factories.createSceneManager = zeCreateSceneManagerServiceScene;
	factories.createResourceManager = zeCreateResourceManagerScene;
	zeRegisterServiceFactories(factories);
}
