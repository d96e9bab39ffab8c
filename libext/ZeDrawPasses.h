// Scene drawing by pass mask, by our own traversal of the scene graph, with
// this frame's render lists readable.
#pragma once

#include <irrlicht.h>

namespace ze
{
enum E_DRAW_ALL_PASS
{
	EDAP_PREPARE = 0x1,  // animate and register the scene graph
	EDAP_CAMERA = 0x2,   // set the active camera's transforms
	EDAP_LIGHT = 0x4,    // set the lights
	EDAP_FINISH = 0x100  // light manager's post-render, statistics, empty the lists and the deletion queue
};

// This frame's render lists, filled by EDAP_PREPARE.
struct SRenderLists
{
	irr::core::array<irr::scene::ISceneNode*> Lights;
	irr::core::array<irr::scene::ISceneNode*> Solid;
	irr::core::array<irr::scene::ISceneNode*> Transparent;        // back to front
	irr::core::array<irr::scene::ISceneNode*> TransparentEffect;  // back to front
	irr::core::array<irr::scene::ISceneNode*> SkyBoxes;
	irr::core::array<irr::scene::ISceneNode*> Shadows;
};

// Runs the steps of a mask over the scene manager's graph; draws no geometry.
void drawAllPasses(irr::scene::ISceneManager* sceneManager, irr::u32 mask);
// The lists of the scene manager's current frame (empty after EDAP_FINISH).
const SRenderLists& getRenderLists(irr::scene::ISceneManager* sceneManager);
// Draws the nodes of one list in its pass (the pass getCurrentRenderPass
// answers meanwhile); returns how many were drawn.
irr::u32 drawRenderList(irr::scene::ISceneManager* sceneManager, irr::scene::E_SCENE_NODE_RENDER_PASS pass);

// The pass drawRenderList is drawing; ESNRP_NONE outside it.
irr::scene::E_SCENE_NODE_RENDER_PASS getCurrentRenderPass();
// Makes getCurrentRenderPass answer `pass` while a list of one's own is drawn
// in it; returns the pass answered before, to be put back afterwards.
irr::scene::E_SCENE_NODE_RENDER_PASS setCurrentRenderPass(irr::scene::E_SCENE_NODE_RENDER_PASS pass);

// Removes the node from its graph at the next EDAP_FINISH (held until then).
void addToDeletionQueue(irr::scene::ISceneNode* node);

// The light manager of EDAP_LIGHT and EDAP_FINISH, also handed to the scene
// manager for its own drawAll (which offers no getter); null for none.
void setLightManager(irr::scene::ISceneManager* sceneManager, irr::scene::ILightManager* lightManager);

// Whether the material is drawn in the transparent pass: its renderer's
// answer, or the built-in transparent types on the NULL driver, whose
// stand-in renderers call every type solid.
bool isTransparentMaterial(irr::video::IVideoDriver* driver, const irr::video::SMaterial& material);

// Our own scene nodes that choose their lists themselves (effects, sky boxes)
// also derive from this.
class IZeRenderPassNode
{
public:
	virtual ~IZeRenderPassNode() = default;
	// E_SCENE_NODE_RENDER_PASS bits (light, sky box, solid, transparent,
	// transparent effect, shadow); 0 lets the materials decide.
	virtual irr::u32 getRenderPasses() const = 0;
};
} // namespace ze
