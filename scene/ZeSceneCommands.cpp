// Scene description: the render-command list of "ZelvRenderCommands" and its
// effect table.
#include "scene/ZeSceneDescPrivate.h"

using namespace irr;

namespace
{
// Texts of the "name" and "value" keys of each child of an "Inputs" or "Outputs" group.
void bindConnections(SZeSceneCommandConnect* out, s32 count, const ZF_Node* group)
{
	for (s32 i = 0; i < count; ++i)
	{
		const ZF_Node* connection = ZF_GetChildAt(group, i);
		out[i].name = zeSceneText(ZF_GetChild(connection, "name"));
		out[i].value = zeSceneText(ZF_GetChild(connection, "value"));
	}
}

// One child of a command's "Parameters" group; false with the last error set
// when it is refused.
bool bindParam(SZeSceneDesc* desc, SZeSceneCommandParam& out, const ZF_Node* param)
{
	out = SZeSceneCommandParam{};
	out.name = zeSceneText(ZF_GetChild(param, "name"));

	const ZF_Node* effect = ZF_GetChild(param, "Effect");
	if (effect)
	{
		if (desc->effectCount >= ZE_SCENE_MAX_EFFECTS)
		{
			zeSceneDescSetError("Renderer: too much shaders");
			return false;
		}
		if (effect->kind != ZF_GROUP)
		{
			zeSceneDescSetError("Renderer: failed to create effect");
			return false;
		}
		zeSceneBindEffect(desc->effects[desc->effectCount], effect);
		out.kind = EZSPK_EFFECT;
		out.effect = desc->effectCount++;
		return true;
	}

	const ZF_Node* value = ZF_GetChild(param, "value");
	if (!value || value->kind != ZF_VALUE)
	{
		zeSceneDescSetError("Renderer: unknown param type");
		return false;
	}
	switch (value->type)
	{
	case ZF_FP:
		if (value->count == 3)
		{
			const core::vector3df v = ZF_GetFP3(value, 0);
			out.kind = EZSPK_FLOAT3;
			out.value[0] = v.X;
			out.value[1] = v.Y;
			out.value[2] = v.Z;
		}
		else
		{
			out.kind = EZSPK_FLOAT;
			out.value[0] = zeSceneFloat(value);
		}
		return true;
	case ZF_I4:
	case ZF_U4:
		out.kind = EZSPK_INT;
		out.intValue = zeSceneInt(value);
		return true;
	case ZF_STR:
		out.kind = EZSPK_STRING;
		out.text = zeSceneText(value);
		return true;
	default:
		zeSceneDescSetError("Renderer: unknown param value type");
		return false;
	}
}

bool bindCommand(SZeSceneDesc* desc, SZeSceneCommand& out, const ZF_Node* command)
{
	out.name = zeSceneText(ZF_GetChild(command, "name"));
	out.cmd = zeSceneText(ZF_GetChild(command, "cmd"));

	const ZF_Node* inputs = zeSceneGroup(command, "Inputs");
	out.inputCount = zeSceneChildCount(inputs);
	if (out.inputCount > ZE_SCENE_MAX_INPUTS)
	{
		zeSceneDescSetError("Renderer: too much inputs");
		return false;
	}
	bindConnections(out.inputs, out.inputCount, inputs);

	const ZF_Node* outputs = zeSceneGroup(command, "Outputs");
	out.outputCount = zeSceneChildCount(outputs);
	if (out.outputCount > ZE_SCENE_MAX_OUTPUTS)
	{
		zeSceneDescSetError("Renderer: too much outputs");
		return false;
	}
	bindConnections(out.outputs, out.outputCount, outputs);

	const ZF_Node* params = zeSceneGroup(command, "Parameters");
	out.paramCount = zeSceneChildCount(params);
	if (out.paramCount > ZE_SCENE_MAX_PARAMETERS)
	{
		zeSceneDescSetError("Renderer: too much parameters");
		return false;
	}
	for (s32 i = 0; i < out.paramCount; ++i)
	{
		if (!bindParam(desc, out.params[i], ZF_GetChildAt(params, i)))
			return false;
	}
	return true;
}
} // namespace

s32 zeSceneBindCommands(SZeSceneDesc* desc, const ZF_Node* commands)
{
	desc->hasCommands = false;
	desc->commandCount = 0;
	desc->effectCount = 0;
	if (!commands)
		return 0;

	const s32 count = zeSceneChildCount(commands);
	if (count > ZE_SCENE_MAX_COMMANDS)
	{
		zeSceneDescSetError("Renderer: too much commands");
		return -1;
	}
	for (s32 i = 0; i < count; ++i)
	{
		desc->commands[i] = SZeSceneCommand{};
		if (!bindCommand(desc, desc->commands[i], ZF_GetChildAt(commands, i)))
		{
			desc->commandCount = 0;
			return -1;
		}
		desc->commandCount = i + 1;
	}
	desc->hasCommands = true;
	return 0;
}
