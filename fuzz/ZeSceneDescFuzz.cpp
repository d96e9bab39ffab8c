// libFuzzer target for scene descriptions: the input is loaded as a ZF document
// (as it is, and as text behind a line of blanks), bound as a scene and read
// the way building and animation read it: every scene-wide value, every key
// of every item at a few keys and times (float lists such as the gradients
// too), shader and surface descriptions, and the reload comparisons.
#include "frame/ZeLog.h"
#include "scene/ZeSceneDesc.h"
#include "scene/ZeShaderDesc.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace
{
using namespace irr;

void quiet(const char*)
{
}

volatile f32 g_sink = 0.0f;

void keep(f32 v)
{
	g_sink = g_sink + v;
}

void keep(const core::vector3df& v)
{
	keep(v.X + v.Y + v.Z);
}

const f32 KEYS[] = { -3.0f, 0.0f, 0.5f, 7.25f, 1.0e9f, -1.0e30f, 1.0e30f };
const s32 TIMES[] = { INT32_MIN, -1000, 0, 33, 1000, 60000, INT32_MAX };

// A key node read as every shape the scene reads.
void readKey(const ZF_Node* node)
{
	keep(static_cast<f32>(static_cast<int64_t>(zeSceneInt(node)) + zeSceneIntWord(node, 1) + zeSceneIntWord(node, 4)));
	keep(zeSceneFloat(node));
	if (const char* text = zeSceneText(node))
		keep(static_cast<f32>(strlen(text)));
	u32 count = 0;
	const f32* list = zeSceneFloatList(node, &count);
	for (u32 i = 0; i < count; ++i)
		keep(list[i]);
	for (f32 key : KEYS)
	{
		keep(zeSceneChannelAt(node, key));
		keep(zeScenePairAt(node, key).Y);
		keep(zeSceneVectorAt(node, key));
		keep(zeSceneRotationAt(node, key));
		keep(static_cast<f32>(zeSceneColor(zeSceneVectorAt(node, key)).color));
	}
}

void readEffect(const SZeEffectRecord* effect)
{
	if (!effect)
		return;
	SZeShaderDesc desc;
	for (f32 key : KEYS)
	{
		zeSceneShaderDescAt(&desc, effect, key);
		for (s32 p = 0; p < desc.paramCount; ++p)
			keep(desc.params[p].value[0] + static_cast<f32>(desc.params[p].intValue));
	}
	for (u32 p = 0; p < effect->params.size(); ++p)
		readKey(effect->params[p].value);
	keep(zeSceneEffectRecordsDiffer(effect, effect) || zeSceneEffectEntriesDiffer(effect, effect) ? 1.0f : 0.0f);
}

void readScene(const SZeSceneDesc* desc)
{
	for (s32 time : TIMES)
	{
		keep(zeSceneKeyIndex(desc, time) + zeSceneFrame(desc, time));
		keep(zeSceneFrameSeconds(desc, static_cast<f32>(time)));
	}
	for (f32 key : KEYS)
	{
		keep(static_cast<f32>(zeSceneRenderCameraAt(desc, key)));
		keep(static_cast<f32>(zeSceneAmbientAt(desc, key).color));
		for (s32 s = 0; s < EZRS_COUNT; ++s)
		{
			keep(zeSceneRenderSettingAt(desc, s, key));
			keep(zeSceneRenderSettingVectorAt(desc, s, key));
		}
	}
	keep(static_cast<f32>(zeSceneBackdropColor(desc).color));
	for (s32 s = 0; s < EZRS_COUNT; ++s)
		keep(static_cast<f32>(zeSceneRenderSettingInt(desc, s)));
	for (const ZF_Node* node : { desc->renderCamera, desc->loadAudio, desc->audioStartTime, desc->ambient,
	                             desc->glowEffect, desc->glowIntensity, desc->glowRadius })
		readKey(node);

	for (u32 i = 0; i < desc->cameras.size(); ++i)
		for (const ZF_Node* key : desc->cameras[i].keys)
			readKey(key);
	for (u32 i = 0; i < desc->lights.size(); ++i)
	{
		for (const ZF_Node* key : desc->lights[i].keys)
			readKey(key);
		for (f32 key : KEYS)
			keep(zeSceneLightRangeAt(desc->lights[i], key));
	}
	for (u32 i = 0; i < desc->emitters.size(); ++i)
	{
		for (const ZF_Node* key : desc->emitters[i].keys)
			readKey(key);
		readEffect(zeSceneEmitterEffect(desc->emitters[i]));
	}
	for (u32 i = 0; i < desc->objects.size(); ++i)
	{
		const SZeSceneObject& object = desc->objects[i];
		for (const ZF_Node* key : { object.position, object.rotation, object.scale })
			readKey(key);
		for (u32 m = 0; m < object.morphs.size(); ++m)
			readKey(object.morphs[m].weight);
		for (u32 u = 0; u < object.cubeMapUses.size(); ++u)
			for (const ZF_Node* key : { object.cubeMapUses[u].aabbPosition, object.cubeMapUses[u].aabbScale,
			                            object.cubeMapUses[u].influence })
				readKey(key);
		keep(static_cast<f32>(zeSceneFindObject(desc, object.name) + zeSceneFindCubeMap(desc, object.name)));
	}
	auto surfaces = std::make_unique<SZeSurfaceDesc[]>(256);
	for (u32 i = 0; i < desc->meshes.size(); ++i)
	{
		for (f32 key : KEYS)
			keep(static_cast<f32>(zeSceneObjectSurfacesAt(surfaces.get(), 256, &desc->meshes[i], key)));
		for (u32 s = 0; s < desc->meshes[i].surfaces.size(); ++s)
		{
			const SZeSceneSurface& surface = desc->meshes[i].surfaces[s];
			for (const SZeSceneChannel& channel : surface.channels)
				readKey(channel.value);
			readEffect(zeSceneSurfaceEffect(surface));
		}
	}
	for (u32 i = 0; i < desc->cubeMaps.size(); ++i)
	{
		keep(static_cast<f32>(zeSceneCubeMapCaptureTime(desc, desc->cubeMaps[i])));
		readKey(desc->cubeMaps[i].position);
		readKey(desc->cubeMaps[i].cameraOffset);
	}
	for (u32 i = 0; i < desc->postProcs.size(); ++i)
	{
		readEffect(zeScenePostProcEffect(desc->postProcs[i]));
		for (f32 key : KEYS)
			keep(zeScenePostProcVisible(desc->postProcs[i], key) ? 1.0f : 0.0f);
	}
	SZeShaderDesc effect;
	for (s32 i = -1; i <= desc->effectCount; ++i)
		zeSceneEffectShaderDescAt(&effect, desc, i, 0.0f);
	keep(zeSceneCommandListsDiffer(desc, desc) ? 1.0f : 0.0f);
}

void exercise(const void* data, size_t size)
{
	SZeSceneDesc* desc = zeSceneDescFromDocument(ZF_LoadMemory(data, size));
	if (desc)
		readScene(desc);
	zeSceneDescFree(desc);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	zeSetLogSink(quiet);
	exercise(data, size);
	std::string text(12, ' ');
	text.append(reinterpret_cast<const char*>(data), size);
	exercise(text.data(), text.size());
	return 0;
}
