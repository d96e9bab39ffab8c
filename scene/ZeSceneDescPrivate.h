// Scene description internals shared by the binding and the command list.
#pragma once

#include "scene/ZeSceneDesc.h"

// The child group `name` of a group; null when absent or not a group.
const ZF_Node* zeSceneGroup(const ZF_Node* parent, const char* name);
// The children of a group; 0 for null or a node that is no group.
irr::s32 zeSceneChildCount(const ZF_Node* group);
// EZE_SCENE_VALUE_KIND of a "value" node.
irr::s32 zeSceneValueKind(const ZF_Node* value);
// Fills an effect record from an "Effect" group.
void zeSceneBindEffect(SZeEffectRecord& record, const ZF_Node* effect);
// Puts a message as the reader's last error.
void zeSceneDescSetError(const char* text);
// Binds the render-command list from a "Commands" group (null: no list); 0,
// or -1 with the last error set when the list is refused.
irr::s32 zeSceneBindCommands(SZeSceneDesc* desc, const ZF_Node* commands);
