// Shader and surface descriptions evaluated at a key, and their comparisons.
#include "scene/ZeShaderDesc.h"

#include <cstring>

using namespace irr;

namespace
{
// Texts compare equal when both are absent or empty.
bool sameText(const char* a, const char* b)
{
	return strcmp(a ? a : "", b ? b : "") == 0;
}

// The first data word of an integer value, as it is; 0 without data.
s32 firstWord(const ZF_Node* value)
{
	if (!value || value->kind != ZF_VALUE || value->count == 0
		|| (value->type != ZF_I4 && value->type != ZF_U4))
		return 0;
	return static_cast<const s32*>(value->data)[0];
}

// The value words of a parameter or a channel of the given kind at a key.
void evaluate(s32 kind, const ZF_Node* value, f32 key, f32* floats, s32& intValue, const char*& text)
{
	switch (kind)
	{
	case EZSVK_VECTOR:
	{
		const core::vector3df v = zeSceneVectorAt(value, key);
		floats[0] = v.X;
		floats[1] = v.Y;
		floats[2] = v.Z;
		break;
	}
	case EZSVK_FLOAT:
		floats[0] = zeSceneChannelAt(value, key);
		break;
	case EZSVK_INT:
		intValue = firstWord(value);
		break;
	case EZSVK_STRING:
		text = zeSceneText(value);
		break;
	default:
		break;
	}
}

// Shader descriptions at key 0 compared; `entries` adds "cflags" and the reference flags.
bool shaderDescsDiffer(const SZeShaderDesc& a, const SZeShaderDesc& b, bool entries)
{
	if (!sameText(a.filename, b.filename) || a.paramCount != b.paramCount)
		return true;
	if (entries && !sameText(a.cflags, b.cflags))
		return true;
	for (s32 i = 0; i < a.paramCount; ++i)
	{
		const SZeShaderParam& pa = a.params[i];
		const SZeShaderParam& pb = b.params[i];
		if (pa.kind != pb.kind)
			return true;
		if (pa.kind != EZSVK_STRING)
			continue;
		if (!sameText(pa.text, pb.text) || pa.colorSpace != pb.colorSpace)
			return true;
		if (entries && pa.reference != pb.reference)
			return true;
	}
	return false;
}

bool effectsDiffer(const SZeEffectRecord* a, const SZeEffectRecord* b, bool entries)
{
	if (!a || !b)
		return a != b;
	SZeShaderDesc da;
	SZeShaderDesc db;
	zeSceneShaderDescAt(&da, a, 0.0f);
	zeSceneShaderDescAt(&db, b, 0.0f);
	return shaderDescsDiffer(da, db, entries);
}

bool connectionsDiffer(const SZeSceneCommandConnect* a, const SZeSceneCommandConnect* b, s32 count)
{
	for (s32 i = 0; i < count; ++i)
	{
		if (!sameText(a[i].name, b[i].name) || !sameText(a[i].value, b[i].value))
			return true;
	}
	return false;
}

bool paramsDiffer(const SZeSceneCommandParam& a, const SZeSceneCommandParam& b)
{
	if (a.kind != b.kind || !sameText(a.name, b.name))
		return true;
	switch (a.kind)
	{
	case EZSPK_FLOAT:
		return a.value[0] != b.value[0];
	case EZSPK_FLOAT3:
		return a.value[0] != b.value[0] || a.value[1] != b.value[1] || a.value[2] != b.value[2];
	case EZSPK_INT:
		return a.intValue != b.intValue;
	case EZSPK_STRING:
		return !sameText(a.text, b.text);
	case EZSPK_EFFECT:
		return a.effect != b.effect;
	default:
		return false;
	}
}

bool commandsDiffer(const SZeSceneCommand& a, const SZeSceneCommand& b)
{
	if (!sameText(a.name, b.name) || !sameText(a.cmd, b.cmd))
		return true;
	if (a.inputCount != b.inputCount || connectionsDiffer(a.inputs, b.inputs, a.inputCount))
		return true;
	if (a.outputCount != b.outputCount || connectionsDiffer(a.outputs, b.outputs, a.outputCount))
		return true;
	if (a.paramCount != b.paramCount)
		return true;
	for (s32 i = 0; i < a.paramCount; ++i)
	{
		if (paramsDiffer(a.params[i], b.params[i]))
			return true;
	}
	return false;
}
} // namespace

// ---- Evaluation -------------------------------------------------------------
void zeSceneShaderDescAt(SZeShaderDesc* out, const SZeEffectRecord* effect, f32 key)
{
	memset(out, 0, sizeof(*out));
	if (!effect)
		return;
	out->filename = effect->filename;
	out->cflags = effect->cflags;
	out->paramCount = core::min_(effect->paramCount, ZE_SHADER_MAX_PARAMS);
	for (s32 i = 0; i < out->paramCount; ++i)
	{
		const SZeEffectParamRecord& record = effect->params[static_cast<u32>(i)];
		SZeShaderParam& param = out->params[i];
		param.name = record.name;
		param.kind = record.kind;
		evaluate(record.kind, record.value, key, param.value, param.intValue, param.text);
		if (record.kind == EZSVK_STRING)
		{
			param.colorSpace = record.colorSpace;
			param.reference = record.reference;
		}
	}
}

void zeSceneSurfaceDescAt(SZeSurfaceDesc* out, const SZeSceneSurface* surface, f32 key,
	const SZeEffectRecord* defaultEffect, const SZeEffectRecord* forcedEffect)
{
	memset(out, 0, sizeof(*out));
	if (!surface)
		return;
	out->name = surface->name;
	for (s32 c = 0; c < EZSC_COUNT; ++c)
	{
		const SZeSceneChannel& record = surface->channels[c];
		SZeSurfaceChannel& channel = out->channels[c];
		channel.kind = record.kind;
		evaluate(record.kind, record.value, key, channel.value, channel.intValue, channel.text);
		channel.imgFilename = record.imgFilename;
		channel.imgColorSpace = record.imgColorSpace;
		channel.imgMipmap = record.imgMipmap;
	}

	if (surface->applyToSurface == 3)
		return;
	const SZeEffectRecord* effect = forcedEffect ? forcedEffect
		: surface->hasEffect ? &surface->effect : defaultEffect;
	if (!effect)
		return;
	out->hasEffect = 1;
	zeSceneShaderDescAt(&out->effect, effect, key);
}

s32 zeSceneObjectSurfacesAt(SZeSurfaceDesc* out, s32 max, const SZeSceneMesh* mesh, f32 key)
{
	if (!out || !mesh || max <= 0)
		return 0;
	const SZeEffectRecord* defaultEffect = nullptr;
	const SZeEffectRecord* forcedEffect = nullptr;
	for (u32 i = 0; i < mesh->surfaces.size(); ++i)
	{
		const SZeSceneSurface& surface = mesh->surfaces[i];
		if (!surface.hasEffect)
			continue;
		if (surface.applyToSurface == 1)
			defaultEffect = &surface.effect;
		else if (surface.applyToSurface == 2)
			forcedEffect = &surface.effect;
	}
	const s32 count = core::min_(static_cast<s32>(mesh->surfaces.size()), max);
	for (s32 i = 0; i < count; ++i)
		zeSceneSurfaceDescAt(&out[i], &mesh->surfaces[static_cast<u32>(i)], key, defaultEffect, forcedEffect);
	return count;
}

void zeSceneEffectShaderDescAt(SZeShaderDesc* out, const SZeSceneDesc* desc, s32 i, f32 key)
{
	const bool valid = desc && i >= 0 && i < desc->effectCount;
	zeSceneShaderDescAt(out, valid ? &desc->effects[i] : nullptr, key);
}

// ---- Comparisons ------------------------------------------------------------
bool zeSceneEffectRecordsDiffer(const SZeEffectRecord* a, const SZeEffectRecord* b)
{
	return effectsDiffer(a, b, false);
}

bool zeSceneEffectEntriesDiffer(const SZeEffectRecord* a, const SZeEffectRecord* b)
{
	return effectsDiffer(a, b, true);
}

bool zeSceneCommandListsDiffer(const SZeSceneDesc* a, const SZeSceneDesc* b)
{
	if (!a || !b)
		return a != b;
	if (a->hasCommands != b->hasCommands || a->effectCount != b->effectCount
		|| a->commandCount != b->commandCount)
		return true;
	for (s32 i = 0; i < a->commandCount; ++i)
	{
		if (commandsDiffer(a->commands[i], b->commands[i]))
			return true;
	}
	return false;
}
