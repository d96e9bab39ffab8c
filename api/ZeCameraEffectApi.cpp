#include "api/ZeCameraEffectApi.h"

#include "api/SZeApiItems.h"
#include "api/ZeApiItems.h"
#include "api/ZeShaderDescApi.h"
#include "core/IZeManager.h"
#include "core/ZeEngineCore.h"
#include "effects/IZeEffectManager.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace irr;

namespace
{
const char* const LOOKUP = "Camera Effect ID %d does not exist. %s";
const char* const CREATION = "invalid Camera Effect ID %d : %s";

// The IDs of the enabled camera effects, in the order they were enabled.
std::vector<int>& enabledList()
{
	static std::vector<int> list;
	return list;
}

SZeCameraEffectItem* findItem(int id)
{
	return static_cast<SZeCameraEffectItem*>(zeFindApiItem(EZEIT_CAMERA_EFFECT, id, LOOKUP));
}

SZeCameraEffectItem* addItem(int id)
{
	return static_cast<SZeCameraEffectItem*>(
		zeAddApiItem(EZEIT_CAMERA_EFFECT, id, sizeof(SZeCameraEffectItem), 1, CREATION));
}

void disable(int id, SZeCameraEffectItem* item)
{
	if (!item->enabled)
		return;
	item->enabled = 0;
	std::vector<int>& list = enabledList();
	const std::vector<int>::iterator at = std::find(list.begin(), list.end(), id);
	if (at == list.end())
	{
		zeLogErrorBox("remove enabled FAILED to find ID=%d in enabled list", id);
		return;
	}
	list.erase(at);
}
} // namespace

int zeMakeCameraEffect(int id, int effectId)
{
	const SZeEffectItem* source =
		static_cast<SZeEffectItem*>(zeFindApiItem(EZEIT_EFFECT, effectId, "Effect ID %d does not exist. %s", 2));
	if (!source)
		return -1;
	IZeEffect* effect = source->effect;
	SZeCameraEffectItem* item = addItem(id);
	if (!item)
		return -1;
	effect->grab();
	item->effect = effect;
	return 0;
}

int zeCompileCameraEffect(int id, const char* file, const char* macros)
{
	SZeCameraEffectItem* item = addItem(id);
	if (!item)
		return -1;
	SZeMacroList list(ZE_SHADER_MACRO_PAIRS);
	if (macros && *macros)
		zeParseShaderMacros(list, macros);
	const char* found = zeFindDataFile(file ? file : "");
	const std::string path = found ? found : "";
	IZeManager* manager = zeGetManager();
	IZeEffectManager* effects = manager ? manager->getEffectManager() : nullptr;
	item->effect = effects ? effects->createEffect(path.c_str(), -1, list.data(), nullptr) : nullptr;
	if (!item->effect)
	{
		zeSetErrorBox(2, "Camera Effect ID %d : Failed to compile effect %s", id, file ? file : "");
		zeRemoveApiItem(EZEIT_CAMERA_EFFECT, id, item);
		return -1;
	}
	return 0;
}

int zeMakeCameraEffectFromFile(int id, const char* file)
{
	return zeCompileCameraEffect(id, file, nullptr);
}

int zeCameraEffectExist(int id)
{
	return zePeekApiItem(EZEIT_CAMERA_EFFECT, id) ? 1 : 0;
}

void zeSetCameraEffectPriority(int id, int priority)
{
	if (SZeCameraEffectItem* item = findItem(id))
		item->priority = priority;
}

void zeSetCameraEffectShaderParams(int id, const SZeShaderDesc* desc, int withTextures)
{
	SZeCameraEffectItem* item = findItem(id);
	if (!item)
		return;
	char owner[40];
	std::snprintf(owner, sizeof(owner), "Camera Effect ID %d", id);
	zeApplyShaderParams(item->effect, desc, withTextures, owner, 2);
}

void zeShowCameraEffect(int id)
{
	SZeCameraEffectItem* item = findItem(id);
	if (!item || item->enabled)
		return;
	item->enabled = 1;
	// The frame end hands the enabled list to the advanced context.
	zeSetCameraEffectSource(zeGetEnabledCameraEffects);
	std::vector<int>& list = enabledList();
	if (list.capacity() < 100)
		list.reserve(100);
	list.push_back(id);
}

void zeHideCameraEffect(int id)
{
	if (SZeCameraEffectItem* item = findItem(id))
		disable(id, item);
}

void zeDeleteCameraEffect(int id)
{
	SZeCameraEffectItem* item = static_cast<SZeCameraEffectItem*>(zePeekApiItem(EZEIT_CAMERA_EFFECT, id));
	if (!item)
		return;
	disable(id, item);
	if (item->effect)
		item->effect->drop();
	zeRemoveApiItem(EZEIT_CAMERA_EFFECT, id, item);
}

void zeGetEnabledCameraEffects(core::array<IZeEffect*>& effects)
{
	effects.set_used(0);
	for (int id : enabledList())
	{
		const SZeCameraEffectItem* item = static_cast<SZeCameraEffectItem*>(zePeekApiItem(EZEIT_CAMERA_EFFECT, id));
		if (item && item->effect)
			effects.push_back(item->effect);
	}
}

void zeClearEnabledCameraEffects()
{
	enabledList().clear();
}
