// Renderers made from a scene's render commands: the render targets its
// "Create Texture" commands ask for, the command renderer under a renderer
// ID, and the scene time that time-windowed commands read. The scene's
// command records become the renderer description here; the engine's
// builder hands it to the renderer manager. Tests may register a builder of
// their own.
#pragma once

#include "core/SZeRendererDesc.h"

struct SZeSceneDesc;
struct SZeSceneCommand;
struct SZeSceneCommandParam;
class IZeRenderer;

struct SZeSceneRendererBuilder
{
	// Makes the render targets of the scene's "Create Texture" commands;
	// true when all were made, else false with the reason as the pending error.
	bool (*createTextures)(const SZeSceneDesc* desc);
	// A command renderer for the scene's commands, whose effect parameters
	// are the effects firstEffectId + their index (one reference for the
	// caller); null after reporting why through zeSetError.
	IZeRenderer* (*createRenderer)(const SZeSceneDesc* desc, int firstEffectId);
};
// Null puts the engine's own builder back.
void zeSetSceneRendererBuilder(const SZeSceneRendererBuilder* builder);

// Appends one command per scene record, in order; with onlyCreateTexture the
// records of other kinds are skipped. A parameter that
// zeReadCommandParameter refuses is left out and the command stays. Returns 0.
int zeReadRenderCommands(irr::core::array<SZeRenderCommand>& commands, const SZeSceneCommand* records, int count,
	bool onlyCreateTexture, int firstEffectId);
// One parameter by its scene kind (1 float, 2 float3, 3 int, 4 string, 5 the
// effect of ID firstEffectId + index): 0, or -1 for another kind and for an
// effect ID without an effect ("Renderer Command : missing effect for param
// '%s'", a warning with a message box).
int zeReadCommandParameter(const SZeSceneCommandParam& param, SZeCommandParameter& out, int firstEffectId);

// Makes the render targets of the "Create Texture" commands: 0 when all were
// made (or there are none), else -1 with the reason as the pending error.
int zeCreateRendererTextures(const SZeSceneDesc* desc);
// Makes the command renderer of a scene's commands under a renderer ID: 0, or
// -1 with "invalid Renderer ID %d : %s" (1), "Failed to create renderer,
// context not avaiable" (-1) or "Failed to create renderer" (-1), the ID
// freed again. The scene ID is not used.
int zeLoadRendererFromScene(int rendererId, int sceneId, const SZeSceneDesc* desc, int firstEffectId);
// Hands the time to the engine's scene time (negative times count 0); the
// last scene animated sets the time every command renderer reads.
void zeSetSceneTime(int sceneId, int timeMs);
