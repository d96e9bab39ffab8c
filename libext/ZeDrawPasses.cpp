// Scene drawing by pass mask. The state of each scene manager (its lists, the
// deletion queue and the light manager) sits in a map keyed by the manager's
// address; a mark in the manager's parameters tells a manager made later at a
// reused address from the one the state belongs to.
#include "libext/ZeDrawPasses.h"

#include "frame/ZeContext.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <utility>
#include <vector>

using namespace irr;

namespace ze
{
namespace
{
struct SPassState
{
	SRenderLists Lists;
	core::array<scene::ISceneNode*> DeletionQueue;  // grabbed
	scene::ILightManager* LightManager = nullptr;   // grabbed
	bool LightsPrepared = false;                    // OnPreRender called, OnPostRender owed
	s32 Serial = 0;
};

const char* const STATE_MARK = "ZE_DrawPassesState";

std::map<scene::ISceneManager*, SPassState> g_states;
s32 g_nextSerial = 1;
scene::E_SCENE_NODE_RENDER_PASS g_currentPass = scene::ESNRP_NONE;

void clearLists(SRenderLists& lists)
{
	lists.Lights.set_used(0);
	lists.Solid.set_used(0);
	lists.Transparent.set_used(0);
	lists.TransparentEffect.set_used(0);
	lists.SkyBoxes.set_used(0);
	lists.Shadows.set_used(0);
}

// Releases what a state holds whose scene manager is gone: its nodes have
// already been detached by their destroyed parents.
void releaseStale(SPassState& state)
{
	for (u32 i = 0; i < state.DeletionQueue.size(); ++i)
		state.DeletionQueue[i]->drop();
	if (state.LightManager)
		state.LightManager->drop();
}

SPassState* findState(scene::ISceneManager* sceneManager, bool create)
{
	if (!sceneManager)
		return nullptr;
	io::IAttributes* parameters = sceneManager->getParameters();
	auto it = g_states.find(sceneManager);
	if (it != g_states.end())
	{
		if (parameters->existsAttribute(STATE_MARK) && parameters->getAttributeAsInt(STATE_MARK) == it->second.Serial)
			return &it->second;
		releaseStale(it->second);
		g_states.erase(it);
	}
	if (!create)
		return nullptr;
	SPassState& state = g_states[sceneManager];
	state.Serial = g_nextSerial++;
	parameters->setAttribute(STATE_MARK, state.Serial);
	return &state;
}

// The clock the library's own drawAll animates with: every device reads the
// same one, so the engine's device serves any scene manager.
u32 sceneTime()
{
	SZeContext* context = zeGetContext();
	if (context->device)
		return context->device->getTimer()->getTime();
	static const auto start = std::chrono::steady_clock::now();
	return static_cast<u32>(
		std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

core::vector3df eyePosition(scene::ISceneManager* sceneManager)
{
	scene::ICameraSceneNode* camera = sceneManager->getActiveCamera();
	return camera ? camera->getAbsolutePosition() : core::vector3df(0.0f, 0.0f, 0.0f);
}

// Light data follows the node, as the library's light node updates it when
// registering.
void followTransform(scene::ILightSceneNode* light)
{
	video::SLight& data = light->getLightData();
	if (data.Type == video::ELT_SPOT || data.Type == video::ELT_DIRECTIONAL)
	{
		core::vector3df direction(0.0f, 0.0f, 1.0f);
		light->getAbsoluteTransformation().rotateVect(direction);
		data.Direction = direction.normalize();
	}
	if (data.Type == video::ELT_SPOT || data.Type == video::ELT_POINT)
		data.Position = light->getAbsolutePosition();
}

u32 materialPasses(video::IVideoDriver* driver, scene::ISceneNode* node)
{
	const u32 count = node->getMaterialCount();
	if (count == 0)
		return scene::ESNRP_SOLID;
	u32 passes = 0;
	for (u32 i = 0; i < count && passes != (scene::ESNRP_SOLID | scene::ESNRP_TRANSPARENT); ++i)
		passes |= isTransparentMaterial(driver, node->getMaterial(i)) ? scene::ESNRP_TRANSPARENT : scene::ESNRP_SOLID;
	return passes;
}

void classify(scene::ISceneManager* sceneManager, video::IVideoDriver* driver, SRenderLists& lists, scene::ISceneNode* node)
{
	u32 passes = 0;
	if (const IZeRenderPassNode* own = dynamic_cast<const IZeRenderPassNode*>(node))
		passes = own->getRenderPasses();
	if (!passes)
	{
		switch (node->getType())
		{
		case scene::ESNT_CAMERA:
			return;
		case scene::ESNT_LIGHT:
			passes = scene::ESNRP_LIGHT;
			break;
		case scene::ESNT_SKY_BOX:
		case scene::ESNT_SKY_DOME:
			passes = scene::ESNRP_SKY_BOX;
			break;
		case scene::ESNT_PARTICLE_SYSTEM:
		case scene::ESNT_BILLBOARD:
			passes = scene::ESNRP_TRANSPARENT_EFFECT;
			break;
		case scene::ESNT_SHADOW_VOLUME:
			passes = scene::ESNRP_SHADOW;
			break;
		default:
			passes = materialPasses(driver, node);
			break;
		}
	}
	// Lights, sky boxes and shadows are never culled, like in drawAll.
	if (passes & scene::ESNRP_LIGHT)
	{
		if (scene::ILightSceneNode* light = dynamic_cast<scene::ILightSceneNode*>(node))
			followTransform(light);
		lists.Lights.push_back(node);
	}
	if (passes & scene::ESNRP_SKY_BOX)
		lists.SkyBoxes.push_back(node);
	if (passes & scene::ESNRP_SHADOW)
		lists.Shadows.push_back(node);
	const u32 culledPasses = scene::ESNRP_SOLID | scene::ESNRP_TRANSPARENT | scene::ESNRP_TRANSPARENT_EFFECT;
	if (!(passes & culledPasses) || sceneManager->isCulled(node))
		return;
	if (passes & scene::ESNRP_SOLID)
		lists.Solid.push_back(node);
	if (passes & scene::ESNRP_TRANSPARENT)
		lists.Transparent.push_back(node);
	if (passes & scene::ESNRP_TRANSPARENT_EFFECT)
		lists.TransparentEffect.push_back(node);
}

// Pre-order over visible nodes; a culled node's children are still visited.
void collect(scene::ISceneManager* sceneManager, video::IVideoDriver* driver, SRenderLists& lists, scene::ISceneNode* parent)
{
	const core::list<scene::ISceneNode*>& children = parent->getChildren();
	for (core::list<scene::ISceneNode*>::ConstIterator it = children.begin(); it != children.end(); ++it)
	{
		scene::ISceneNode* node = *it;
		if (!node->isVisible())
			continue;
		node->updateAbsolutePosition();
		classify(sceneManager, driver, lists, node);
		collect(sceneManager, driver, lists, node);
	}
}

// farthest first when `backToFront`, nearest first otherwise; stable for ties
void sortByDistance(core::array<scene::ISceneNode*>& list, const core::vector3df& eye, bool backToFront)
{
	std::vector<std::pair<f64, scene::ISceneNode*>> keyed;
	keyed.reserve(list.size());
	for (u32 i = 0; i < list.size(); ++i)
	{
		const core::vector3df centre = list[i]->getTransformedBoundingBox().getCenter();
		keyed.emplace_back(centre.getDistanceFromSQ(eye), list[i]);
	}
	std::stable_sort(keyed.begin(), keyed.end(), [backToFront](const auto& a, const auto& b) {
		return backToFront ? a.first > b.first : a.first < b.first;
	});
	for (u32 i = 0; i < list.size(); ++i)
		list[i] = keyed[i].second;
}

void endLights(SPassState& state)
{
	if (state.LightsPrepared && state.LightManager)
		state.LightManager->OnPostRender();
	state.LightsPrepared = false;
}

void prepare(scene::ISceneManager* sceneManager, SPassState& state)
{
	endLights(state);
	clearLists(state.Lists);
	scene::ISceneNode* root = sceneManager->getRootSceneNode();
	root->OnAnimate(sceneTime());
	// The frustum must be this frame's for culling, as in drawAll.
	scene::ICameraSceneNode* camera = sceneManager->getActiveCamera();
	if (camera)
		camera->render();
	if (!root->isVisible())
		return;
	collect(sceneManager, sceneManager->getVideoDriver(), state.Lists, root);
	const core::vector3df eye = eyePosition(sceneManager);
	sortByDistance(state.Lists.Transparent, eye, true);
	sortByDistance(state.Lists.TransparentEffect, eye, true);
}

void setLights(scene::ISceneManager* sceneManager, SPassState& state)
{
	video::IVideoDriver* driver = sceneManager->getVideoDriver();
	scene::ILightManager* manager = state.LightManager;
	if (manager)
	{
		if (!state.LightsPrepared)
			manager->OnPreRender(state.Lists.Lights);
		state.LightsPrepared = true;
		manager->OnRenderPassPreRender(scene::ESNRP_LIGHT);
	}
	else
	{
		// the nearest first, for drivers with few hardware lights
		sortByDistance(state.Lists.Lights, eyePosition(sceneManager), false);
	}
	driver->deleteAllDynamicLights();
	driver->setAmbientLight(sceneManager->getAmbientLight());
	for (u32 i = 0; i < state.Lists.Lights.size(); ++i)
		state.Lists.Lights[i]->render();
	if (manager)
		manager->OnRenderPassPostRender(scene::ESNRP_LIGHT);
}

void finish(SPassState& state)
{
	endLights(state);
	clearLists(state.Lists);
	core::array<scene::ISceneNode*> queue;
	queue.swap(state.DeletionQueue);
	for (u32 i = 0; i < queue.size(); ++i)
	{
		queue[i]->remove();
		queue[i]->drop();
	}
}

core::array<scene::ISceneNode*>* listOf(SRenderLists& lists, scene::E_SCENE_NODE_RENDER_PASS pass)
{
	switch (pass)
	{
	case scene::ESNRP_SOLID:
		return &lists.Solid;
	case scene::ESNRP_TRANSPARENT:
		return &lists.Transparent;
	case scene::ESNRP_TRANSPARENT_EFFECT:
		return &lists.TransparentEffect;
	case scene::ESNRP_SKY_BOX:
		return &lists.SkyBoxes;
	case scene::ESNRP_SHADOW:
		return &lists.Shadows;
	default:
		return nullptr;
	}
}
} // namespace

void drawAllPasses(scene::ISceneManager* sceneManager, u32 mask)
{
	SPassState* state = findState(sceneManager, true);
	if (!state)
		return;
	if (mask & EDAP_PREPARE)
		prepare(sceneManager, *state);
	if (mask & EDAP_CAMERA)
	{
		if (scene::ICameraSceneNode* camera = sceneManager->getActiveCamera())
		{
			camera->updateAbsolutePosition();
			camera->render();
		}
	}
	if (mask & EDAP_LIGHT)
		setLights(sceneManager, *state);
	if (mask & EDAP_FINISH)
		finish(*state);
}

const SRenderLists& getRenderLists(scene::ISceneManager* sceneManager)
{
	static const SRenderLists empty;
	const SPassState* state = findState(sceneManager, false);
	return state ? state->Lists : empty;
}

u32 drawRenderList(scene::ISceneManager* sceneManager, scene::E_SCENE_NODE_RENDER_PASS pass)
{
	SPassState* state = findState(sceneManager, false);
	if (!state)
		return 0;
	core::array<scene::ISceneNode*>* list = listOf(state->Lists, pass);
	if (!list || list->empty())
		return 0;
	video::IVideoDriver* driver = sceneManager->getVideoDriver();
	video::SOverrideMaterial& overrideMaterial = driver->getOverrideMaterial();
	const bool overrideWas = overrideMaterial.Enabled;
	overrideMaterial.Enabled = (overrideMaterial.EnablePasses & pass) != 0;
	scene::ILightManager* manager = state->LightManager;
	const scene::E_SCENE_NODE_RENDER_PASS outer = g_currentPass;
	g_currentPass = pass;
	if (manager)
		manager->OnRenderPassPreRender(pass);
	const u32 count = list->size();
	for (u32 i = 0; i < count; ++i)
	{
		scene::ISceneNode* node = (*list)[i];
		if (manager)
			manager->OnNodePreRender(node);
		node->render();
		if (manager)
			manager->OnNodePostRender(node);
	}
	if (manager)
		manager->OnRenderPassPostRender(pass);
	g_currentPass = outer;
	overrideMaterial.Enabled = overrideWas;
	return count;
}

scene::E_SCENE_NODE_RENDER_PASS getCurrentRenderPass()
{
	return g_currentPass;
}

scene::E_SCENE_NODE_RENDER_PASS setCurrentRenderPass(scene::E_SCENE_NODE_RENDER_PASS pass)
{
	const scene::E_SCENE_NODE_RENDER_PASS previous = g_currentPass;
	g_currentPass = pass;
	return previous;
}

void addToDeletionQueue(scene::ISceneNode* node)
{
	if (!node)
		return;
	SPassState* state = findState(node->getSceneManager(), true);
	if (!state || state->DeletionQueue.linear_search(node) >= 0)
		return;
	node->grab();
	state->DeletionQueue.push_back(node);
}

void setLightManager(scene::ISceneManager* sceneManager, scene::ILightManager* lightManager)
{
	SPassState* state = findState(sceneManager, true);
	if (!state)
		return;
	if (lightManager == state->LightManager)
	{
		sceneManager->setLightManager(lightManager);
		return;
	}
	endLights(*state);
	if (lightManager)
		lightManager->grab();
	if (state->LightManager)
		state->LightManager->drop();
	state->LightManager = lightManager;
	sceneManager->setLightManager(lightManager);
}

bool isTransparentMaterial(video::IVideoDriver* driver, const video::SMaterial& material)
{
	if (!driver)
		return material.isTransparent();
	const video::IMaterialRenderer* renderer = driver->getMaterialRenderer(material.MaterialType);
	if (renderer && renderer->isTransparent())
		return true;
	return driver->getDriverType() == video::EDT_NULL && material.isTransparent();
}
} // namespace ze
