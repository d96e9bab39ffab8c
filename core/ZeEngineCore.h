// Engine start and shutdown, the frame end and the current renderer.
#pragma once

#include "frame/ZeSetup.h"

#include <irrlicht.h>

class IZeEffect;
class IZeRenderer;
class IZeRendererCtx;
class IZeRendererCtxAdv;
class IZeCubeMap;

// Starts the engine core on the system layer's device (engine set-up calls it
// through its hooks): the manager with its services, the shader cache, the
// reset callbacks, "DummyRenderTarget", the default renderer and the engine's
// shared effects. false ends the set-up (zeSetEngineInitError holds why).
// The default renderer is the light pre-pass renderer (its targets, the
// advanced context from the data files, the renderer) when the set-up asks
// for the light pre-pass and the driver draws; when it cannot start, a
// warning says so and the simple renderer is the default, as it is for the
// NULL driver and without the light pre-pass.
bool zeInitEngine(const SZeSetupParams& params);
// Drops the current renderer and context and deletes the manager.
void zeShutdownEngine();
// Joins the engine core to the system layer's set-up and frame end.
void zeInstallEngineCore();

// The frame end: nothing while minimised; the current renderer draws the
// scene; the GUI and the 2D list are drawn; present; last-frame update.
void zeEndFrame();
// Sets the flag that a device reset cannot restore rendered textures.
void zeHasPrecalcRenderTargets();
// Renders the scene into a render target (cleared first when asked) without
// presenting, then selects the back buffer again. 0 or -1.
int zeRenderToTexture(irr::video::ITexture* target, int clear);
// A frame into "DummyRenderTarget" without presenting. 0 or -1.
int zeRenderDummyFrame();
// Has the cube map capture the scene at the position through the current
// renderer, inside the frame (begun here when it is not yet), then selects
// the back buffer again and sets the rendered-textures flag. 0, or -1 when
// the window is minimised, the frame cannot begin or there is no cube map.
int zeRenderCubeMapFrame(IZeCubeMap* cubeMap, const irr::core::vector3df& position);

// The current renderer; setting null restores the engine's default renderer.
IZeRenderer* zeGetCurrentRenderer();
void zeSetCurrentRenderer(IZeRenderer* renderer);
IZeRendererCtx* zeGetCurrentRendererCtx();
// The advanced context when the light pre-pass renderer is the default, else null.
IZeRendererCtxAdv* zeGetRendererCtxAdv();
// Copies the engine context's render parameters into the advanced context's
// render settings, light streaks and antialiasing, and hands it the effects
// of the enabled camera effects (none while baking). Baking (non-zero) also
// turns glow, streaks and gamma off and sets the baking flag; otherwise the
// flag is cleared. Nothing without an advanced context. The frame end calls
// it with 0 before drawing.
void zeApplyRenderSettings(int baking);
// Where the enabled camera effects come from (the engine API registers its
// list, in enable order); null: none.
typedef void (*ZeCameraEffectSource)(irr::core::array<IZeEffect*>& effects);
void zeSetCameraEffectSource(ZeCameraEffectSource source);
// The current context's debug value.
void zeRenderSetDebug(int value);
// Recompiles the shaders built from the changed files.
void zeUpdateShaders(int count, const char* const* files);

// Improved gradient noise in -1..1 whose lattice wraps at the integer periods
// (a period of 0 does not wrap).
float zePerlinNoise3Periodic(float x, float y, float z, int px, int py, int pz);
