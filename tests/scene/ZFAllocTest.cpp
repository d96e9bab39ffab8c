// ZF documents live in a few blocks: loading, editing and freeing a document
// of many nodes calls the C allocator a number of times that does not grow
// with the nodes. The library's calls to malloc and realloc are counted
// through the linker (--wrap), so only the engine's own objects are seen.
#include "frame/ZeLog.h"
#include "scene/ZF.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace
{
size_t g_calls = 0;
} // namespace

extern "C" void* __real_malloc(size_t size);
extern "C" void* __real_realloc(void* p, size_t size);

extern "C" void* __wrap_malloc(size_t size)
{
	++g_calls;
	return __real_malloc(size);
}

extern "C" void* __wrap_realloc(void* p, size_t size)
{
	++g_calls;
	return __real_realloc(p, size);
}

namespace
{
// A document of `objects` groups, each with a group, values of every type and
// an array: 9 nodes an object.
std::string textDocument(int objects)
{
	std::string text = "# many small nodes\n{ Scene\n";
	for (int i = 0; i < objects; ++i)
	{
		text += "{ Object" + std::to_string(i) + "\n{ Shader\nSTR filename \"a.hlsl\"\n}\n";
		text += "I4 flags 1 2\nU4 mask 7\nFP pivot 1 2 3\nFP_C fade RUN 4 1\n";
		text += "FP_C position [\nRUN 2 0\nDAT 2 1 2\nRUN 1 5\n]\n}\n";
	}
	return text + "}\n";
}

// Allocator calls while loading and freeing the bytes.
size_t callsToLoad(const std::string& bytes, const ZF_Node** check)
{
	g_calls = 0;
	ZF_Document* document = ZF_LoadMemory(bytes.data(), bytes.size());
	const size_t calls = g_calls;
	EXPECT_NE(document, nullptr);
	*check = ZF_GetChild(ZF_GetChild(ZF_GetChild(ZF_GetRoot(document), "Scene"), "Object99999"), "pivot");
	EXPECT_EQ(ZF_GetFP3(*check, 0), irr::core::vector3df(1, 2, 3));
	ZF_Free(document);
	return calls;
}
} // namespace

TEST(ZFAlloc, LoadingAHundredThousandObjectsTakesAFewBlocks)
{
	zeSetLogLevel(EZELL_WARN);
	const std::string text = textDocument(100000);
	const ZF_Node* check = nullptr;
	EXPECT_LT(callsToLoad(text, &check), 64u);
	EXPECT_NE(check, nullptr);

	ZF_Document* document = ZF_LoadMemory(text.data(), text.size());
	ASSERT_NE(document, nullptr);
	std::string binary;
	ASSERT_TRUE(ZF_WriteBinary(ZF_GetRoot(document), binary));
	ZF_Free(document);
	check = nullptr;
	EXPECT_LT(callsToLoad(binary, &check), 64u);
	EXPECT_NE(check, nullptr);
}

TEST(ZFAlloc, NodesAddedToADocumentComeFromItsBlocks)
{
	ZF_Document* document = ZF_Create();
	ASSERT_NE(document, nullptr);
	g_calls = 0;
	const ZF_Node* scene = ZF_AddGroup(document, ZF_GetRoot(document), "Scene");
	const int values[] = { 1, 2, 3 };
	for (int i = 0; i < 100000; ++i)
	{
		const ZF_Node* object = ZF_AddGroup(document, scene, ("Object" + std::to_string(i)).c_str());
		ASSERT_NE(ZF_AddValue(document, object, ZF_I4, "flags", values, 3), nullptr);
		const ZF_Node* array = ZF_AddArray(document, object, ZF_I4, "keys");
		ASSERT_TRUE(ZF_AddElement(document, array, values, 2));
		ASSERT_TRUE(ZF_AddElement(document, array, values, 1));
	}
	EXPECT_LT(g_calls, 64u);
	EXPECT_EQ(ZF_GetCount(scene), 100000u);
	EXPECT_EQ(ZF_GetI4(ZF_GetChild(ZF_GetChild(scene, "Object77777"), "flags"), 2), 3);
	ZF_Free(document);
}
