// Renderers made from a scene's render commands: the render targets its
// "Create Texture" commands ask for, the command renderer under a renderer
// ID, and the scene time that time-windowed commands read. The command
// renderer itself registers the builder that makes both from the commands;
// until one is registered a scene's render commands make no renderer.
#pragma once

struct SZeSceneDesc;
class IZeRenderer;

struct SZeSceneRendererBuilder
{
	// Makes the render targets of the scene's "Create Texture" commands;
	// true when all were made.
	bool (*createTextures)(const SZeSceneDesc* desc);
	// A command renderer for the scene's commands, whose effect parameters
	// are the effects firstEffectId + their index (one reference for the
	// caller); null after reporting why through zeSetError.
	IZeRenderer* (*createRenderer)(const SZeSceneDesc* desc, int firstEffectId);
};
// Null removes the builder.
void zeSetSceneRendererBuilder(const SZeSceneRendererBuilder* builder);

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
