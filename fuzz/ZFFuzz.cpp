// libFuzzer target for the ZF readers: the input is loaded as it is, behind a
// binary header (binary reader) and behind a line of blanks (text reader).
// Every loaded tree is read through all getters and written back in both
// forms, and what the writer gives must load again to the same tree; then
// nodes are added to the loaded tree and its first value is changed, and the
// edited tree must write and load back the same way.
#include "frame/ZeLog.h"
#include "scene/ZF.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace
{
void quiet(const char*)
{
}

void readAll(const ZF_Node* node)
{
	volatile float sink = 0.0f;
	const int indices[] = { -1, 0, 1, 7, 1 << 30 };
	const float frames[] = { -2.0f, 0.0f, 0.5f, 3.75f, 1.0e9f };
	for (int i : indices)
	{
		sink = sink + ZF_GetFP(node, i) + ZF_GetFP2(node, i).X + ZF_GetFP3(node, i).Z;
		sink = sink + static_cast<float>(ZF_GetI4(node, i));
		if (const char* text = ZF_GetSTR(node, i))
			sink = sink + static_cast<float>(strlen(text));
	}
	for (uint32_t j : { 0u, 1u, 2u, 9u })
		for (const ZF_Run& run : ZF_GetRuns(node, j))
			sink = sink + run.value + static_cast<float>(run.first) + static_cast<float>(run.count);
	for (float f : frames)
	{
		sink = sink + ZF_FP_Lerp(node, f) + ZF_FP2_Lerp(node, f).Y + ZF_FP3_Lerp(node, f).Z;
		sink = sink + ZF_FP3_Slerp_HPB_To_XYZ(node, f).Y;
	}
	for (uint32_t i = 0; i < ZF_GetCount(node) && node->kind == ZF_GROUP; ++i)
		readAll(ZF_GetChildAt(node, static_cast<int>(i)));
}

bool sameWord(uint32_t a, uint32_t b, bool isFloat)
{
	if (a == b)
		return true;
	float fa;
	float fb;
	memcpy(&fa, &a, 4);
	memcpy(&fb, &b, 4);
	return isFloat && fa != fa && fb != fb;
}

bool sameData(uint32_t type, uint32_t count, const void* a, const void* b)
{
	if (type == ZF_STR)
		return memcmp(a, b, count) == 0;
	const uint32_t* wa = static_cast<const uint32_t*>(a);
	const uint32_t* wb = static_cast<const uint32_t*>(b);
	if (type != ZF_FP_C)
	{
		for (uint32_t i = 0; i < count; ++i)
			if (!sameWord(wa[i], wb[i], type == ZF_FP))
				return false;
		return true;
	}
	for (uint64_t floats = 0; floats < count;)
	{
		const uint32_t n = wa[1];
		if ((wa[0] == 0) != (wb[0] == 0) || n != wb[1])
			return false;
		const uint32_t values = wa[0] == 0 ? 1 : n;
		for (uint32_t i = 0; i < values; ++i)
			if (!sameWord(wa[2 + i], wb[2 + i], true))
				return false;
		wa += 2 + values;
		wb += 2 + values;
		floats += n;
	}
	return true;
}

bool sameTree(const ZF_Node* a, const ZF_Node* b)
{
	if (a->kind != b->kind || a->type != b->type || a->count != b->count || strcmp(a->name, b->name) != 0)
		return false;
	if (a->kind == ZF_VALUE)
		return sameData(a->type, a->count, a->data, b->data);
	for (uint32_t i = 0; i < a->count; ++i)
	{
		const bool same = a->kind == ZF_GROUP
		                      ? sameTree(a->children[i], b->children[i])
		                      : a->entries[i].count == b->entries[i].count &&
		                            sameData(a->type, a->entries[i].count, a->entries[i].data, b->entries[i].data);
		if (!same)
			return false;
	}
	return true;
}

// What the writer gives loads again, whole, to the same tree.
void reload(const std::string& bytes, const ZF_Node* original)
{
	ZF_Document* document = ZF_LoadMemory(bytes.data(), bytes.size());
	if (!document || ZF_GetUnclosed(document) != 0 || !sameTree(original, ZF_GetRoot(document)))
		__builtin_trap();
	ZF_Free(document);
}

void writeAndReload(const ZF_Node* root)
{
	std::string out;
	if (ZF_WriteBinary(root, out))
		reload(out, root);
	if (ZF_WriteText(root, out))
		reload(out, root);
}

// The first value of the tree, depth first; null when it has none.
const ZF_Node* firstValue(const ZF_Node* node)
{
	if (node->kind == ZF_VALUE)
		return node;
	for (uint32_t i = 0; node->kind == ZF_GROUP && i < node->count; ++i)
		if (const ZF_Node* value = firstValue(node->children[i]))
			return value;
	return nullptr;
}

// Adds to the root and to its first child group, fills an array, and gives the
// first value new data; every step must succeed on a loaded tree.
void edit(ZF_Document* document)
{
	const ZF_Node* root = ZF_GetRoot(document);
	const ZF_Node* group = root;
	for (uint32_t i = 0; i < root->count && group == root; ++i)
		group = root->children[i]->kind == ZF_GROUP ? root->children[i] : root;
	const uint32_t words[] = { 0, 3, 0x3F800000u, 1, 2, 0x40000000u, 0x7F7FFFFFu };
	const ZF_Node* added = ZF_AddGroup(document, group, "added");
	const ZF_Node* array = ZF_AddArray(document, root, ZF_FP_C, "keys");
	const ZF_Node* value = firstValue(root);
	if (!added || !ZF_AddValue(document, added, ZF_FP_C, "chan", words, 7) || !array ||
	    !ZF_AddElement(document, array, words, 3) || !ZF_AddElement(document, array, words + 3, 4) ||
	    (value && !ZF_SetValue(document, value, ZF_STR, "text", 4)))
		__builtin_trap();
}

void exercise(const void* data, size_t size)
{
	ZF_Document* document = ZF_LoadMemory(data, size);
	if (!document)
		return;
	const ZF_Node* root = ZF_GetRoot(document);
	readAll(root);
	writeAndReload(root);
	edit(document);
	readAll(root);
	writeAndReload(root);
	ZF_Free(document);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	zeSetLogSink(quiet);
	exercise(data, size);

	std::string binary("FORM\0\0\0\0ZLVF", 12);
	const uint32_t formSize = __builtin_bswap32(static_cast<uint32_t>(size + 4));
	memcpy(&binary[4], &formSize, 4);
	binary.append(reinterpret_cast<const char*>(data), size);
	exercise(binary.data(), binary.size());

	std::string text(12, ' ');
	text.append(reinterpret_cast<const char*>(data), size);
	exercise(text.data(), text.size());
	return 0;
}
