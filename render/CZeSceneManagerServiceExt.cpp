#include "render/CZeSceneManagerServiceExt.h"

#include "core/CZeManager.h"
#include "effects/IZeEffectManager.h"
#include "frame/ZeContext.h"
#include "frame/ZeLog.h"
#include "render/CZeCubeMap.h"
#include "render/CZeLightSceneNodeExt.h"
#include "render/CZeSceneNodeExt.h"

using namespace irr;

namespace
{
// The library copies each cloned node's materials after cloning its animators,
// children included: every extension of the copy applies its materials again.
void applyExtensionsBelow(scene::ISceneNode* node)
{
	if (CZeSceneNodeExt* ext = dynamic_cast<CZeSceneNodeExt*>(zeFindSceneNodeExt(node)))
		ext->applyAllMaterials();
	const core::list<scene::ISceneNode*>& children = node->getChildren();
	for (core::list<scene::ISceneNode*>::ConstIterator it = children.begin(); it != children.end(); ++it)
		applyExtensionsBelow(*it);
}
} // namespace

CZeSceneManagerServiceExt::CZeSceneManagerServiceExt(IrrlichtDevice* device, IZeManager* manager)
	: CZeSceneManagerService(device->getSceneManager()), Device(device), Manager(manager)
{
}

scene::ISceneNode* CZeSceneManagerServiceExt::cloneSceneNode(scene::ISceneNode* node)
{
	scene::ISceneNode* copy = CZeSceneManagerService::cloneSceneNode(node);
	if (copy)
		applyExtensionsBelow(copy);
	return copy;
}

void CZeSceneManagerServiceExt::setMeshVertexIndexColors(scene::IMesh* mesh)
{
	zeWriteVertexIndicesToColor(mesh);
}

IZeSceneNodeExt* CZeSceneManagerServiceExt::getSceneNodeExt(scene::ISceneNode* node)
{
	if (!node)
		return nullptr;
	if (IZeSceneNodeExt* ext = zeFindSceneNodeExt(node))
		return ext;
	CZeSceneNodeExt* ext = new CZeSceneNodeExt(node);
	node->addAnimator(ext);
	ext->drop();
	return ext;
}

IZeLightSceneNodeExt* CZeSceneManagerServiceExt::getLightSceneNodeExt(scene::ISceneNode* light)
{
	if (!light)
		return nullptr;
	if (IZeLightSceneNodeExt* ext = zeFindLightSceneNodeExt(light))
		return ext;
	CZeLightSceneNodeExt* ext = new CZeLightSceneNodeExt(light);
	light->addAnimator(ext);
	ext->drop();
	return ext;
}

// The engine's cube maps are half floats, whatever format is asked for.
IZeCubeMap* CZeSceneManagerServiceExt::createCubeMap(u32 size, ze::ECOLOR_FORMAT format, bool withLatLong)
{
	(void)format;
	CZeCubeMap* cubeMap = new CZeCubeMap(Device->getVideoDriver(), Manager);
	if (!cubeMap->create(size, ze::ECF_A16B16G16R16F, withLatLong))
	{
		cubeMap->drop();
		return nullptr;
	}
	return cubeMap;
}

IZeSceneManager* zeCreateSceneManagerServiceExt(IZeManager* manager)
{
	CZeManager* own = dynamic_cast<CZeManager*>(manager);
	IrrlichtDevice* device = own ? own->getDevice() : zeGetContext()->device;
	return device ? new CZeSceneManagerServiceExt(device, manager) : nullptr;
}

void zeRegisterNodeExtValues(IZeEffectManager* effects)
{
	static CZeNodeExtValues values;
	if (effects)
		effects->setNodeExtValues(&values);
}
