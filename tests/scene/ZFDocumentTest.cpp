#include "frame/ZeLog.h"
#include "scene/ZF.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace
{
std::vector<std::string> g_lines;

void capture(const char* line)
{
	g_lines.push_back(line);
}

class ZF : public ::testing::Test
{
protected:
	void SetUp() override
	{
		g_lines.clear();
		zeSetLogSink(capture);
	}
	void TearDown() override { zeSetLogSink(nullptr); }
	// Loads the bytes; the test owns the document.
	ZF_Document* load(const std::string& bytes)
	{
		ZF_Document* document = ZF_LoadMemory(bytes.data(), bytes.size());
		m_documents.push_back(document);
		return document;
	}
	const ZF_Node* root(const std::string& bytes) { return ZF_GetRoot(load(bytes)); }
	ZF_Document* last() const { return m_documents.back(); }
	// The lines a failing load logs.
	std::vector<std::string> failure(const std::string& bytes)
	{
		g_lines.clear();
		EXPECT_EQ(load(bytes), nullptr);
		return g_lines;
	}
	~ZF() override
	{
		for (ZF_Document* document : m_documents)
			ZF_Free(document);
	}

private:
	std::vector<ZF_Document*> m_documents;
};

// ---- Binary assembly by hand ---------------------------------------------------
std::string be(uint32_t v)
{
	const char bytes[4] = { char(v >> 24), char(v >> 16), char(v >> 8), char(v) };
	return std::string(bytes, 4);
}
std::string words(std::initializer_list<uint32_t> list)
{
	std::string out;
	for (uint32_t w : list)
		out += be(w);
	return out;
}
uint32_t bits(float f)
{
	uint32_t w;
	memcpy(&w, &f, 4);
	return w;
}
std::string nameField(const std::string& name)
{
	return name + std::string(4 - name.size() % 4, '\0');
}
std::string chunk(const char* id, const std::string& payload)
{
	return std::string(id, 4) + be(static_cast<uint32_t>(payload.size())) + payload;
}
std::string form(const std::string& chunks)
{
	return "FORM" + be(static_cast<uint32_t>(chunks.size() + 4)) + "ZLVF" + chunks;
}
std::string nval(const std::string& name, uint32_t type, const std::string& data)
{
	return chunk("NVAL", nameField(name) + be(type) + data);
}

std::string writeText(const ZF_Node* root)
{
	std::string out;
	return ZF_WriteText(root, out) ? out : "(not written)";
}
std::string writeBinary(const ZF_Node* root)
{
	std::string out;
	return ZF_WriteBinary(root, out) ? out : "(not written)";
}

// Node by path of child names.
const ZF_Node* at(const ZF_Node* node, std::initializer_list<const char*> path)
{
	for (const char* name : path)
		node = ZF_GetChild(node, name);
	return node;
}

// Two trees with the same shape, names, types, counts and data words.
::testing::AssertionResult sameTree(const ZF_Node* a, const ZF_Node* b, const std::string& where = "root")
{
	if (!a || !b)
		return ::testing::AssertionFailure() << where << ": missing node";
	if (a->kind != b->kind || a->type != b->type || a->count != b->count || strcmp(a->name, b->name) != 0)
		return ::testing::AssertionFailure() << where << ": kind, type, count or name differ";
	auto sameData = [&](uint32_t count, const void* x, const void* y) {
		if (a->type == ZF_STR)
			return memcmp(x, y, count + 1) == 0;
		if (a->type != ZF_FP_C)
			return memcmp(x, y, count * 4) == 0;
		// Record by record: the same runs and literal floats.
		const uint32_t* wx = static_cast<const uint32_t*>(x);
		const uint32_t* wy = static_cast<const uint32_t*>(y);
		for (uint64_t floats = 0; floats < count;)
		{
			const uint32_t length = wx[0] == 0 ? 3 : 2 + wx[1];
			if ((wx[0] == 0) != (wy[0] == 0) || memcmp(wx + 1, wy + 1, (length - 1) * 4) != 0)
				return false;
			floats += wx[1];
			wx += length;
			wy += length;
		}
		return true;
	};
	for (uint32_t i = 0; a->kind != ZF_VALUE && i < a->count; ++i)
	{
		const std::string path = where + "/" + std::to_string(i);
		if (a->kind == ZF_GROUP)
		{
			auto child = sameTree(a->children[i], b->children[i], path);
			if (!child)
				return child;
		}
		else if (a->entries[i].count != b->entries[i].count || !sameData(a->entries[i].count, a->entries[i].data, b->entries[i].data))
			return ::testing::AssertionFailure() << path << ": element differs";
	}
	if (a->kind == ZF_VALUE && !sameData(a->count, a->data, b->data))
		return ::testing::AssertionFailure() << where << ": data differs";
	return ::testing::AssertionSuccess();
}

const char* const TWIN_TEXT =
    "# every value type, arrays and nesting\n"
    "I4 ints -7 0 2147483647 -2147483648\n"
    "U4 big 4000000000 1 2147483649\n"
    "FP floats 1.5 -0.25 3e-5 1e20\n"
    "STR quoted   \"say \"hi\" there\"   \n"
    "STR plain rest of the line\n"
    "FP_C chan RUN 4 0.5 DAT 3 1 2 4 RUN 2 -3\n"
    "{ Scene\n"
    "\t{ Objects\n"
    "\t\t{ Obj1\n"
    "\t\t\tFP_C Position [\n"
    "\t\t\t\tDAT 3 0 10 20\n"
    "\t\t\t\tRUN 3 5\n"
    "\t\t\t\tDAT 2 1 2\n"
    "\t\t\t]\n"
    "\t\t\tSTR Names [\n"
    "\t\t\t\t\"a \"quoted\" one\"\n"
    "\t\t\t\tplain\n"
    "\t\t\t]\n"
    "\t\t\tI4 Flags [\n"
    "\t\t\t\t1 -2 3\n"
    "\t\t\t\t4\n"
    "\t\t\t]\n"
    "\t\t}\n"
    "\t\t{ Empty\n"
    "\t\t}\n"
    "\t}\n"
    "\tU4 Count 3000000000\n"
    "}\n";
} // namespace

// ---- Twins: text and binary forms of one tree ----------------------------------
TEST_F(ZF, TextAndBinaryTwinsLoadToIdenticalTrees)
{
	const ZF_Node* text = root(TWIN_TEXT);
	ASSERT_NE(text, nullptr);
	EXPECT_EQ(ZF_GetForm(last()), ZF_FORM_TEXT);
	const std::string binaryBytes = writeBinary(text);
	const ZF_Node* binary = root(binaryBytes);
	ASSERT_NE(binary, nullptr);
	EXPECT_EQ(ZF_GetForm(last()), ZF_FORM_BINARY);
	EXPECT_TRUE(sameTree(text, binary));
	// Back to text and to binary again: the same tree, the same bytes.
	const ZF_Node* again = root(writeText(binary));
	EXPECT_TRUE(sameTree(text, again));
	EXPECT_EQ(writeBinary(again), binaryBytes);

	for (const ZF_Node* r : { text, binary })
	{
		EXPECT_EQ(ZF_GetI4(ZF_GetChild(r, "ints"), 0), -7);
		EXPECT_EQ(ZF_GetI4(ZF_GetChild(r, "ints"), 3), INT32_MIN);
		EXPECT_EQ(ZF_GetU4(ZF_GetChild(r, "big"), 0), 4000000000u);
		EXPECT_EQ(ZF_GetU4(ZF_GetChild(r, "big"), 2), 2147483649u);
		EXPECT_EQ(ZF_GetFP(ZF_GetChild(r, "floats"), 0), 1.5f);
		EXPECT_EQ(ZF_GetCount(ZF_GetChild(r, "floats")), 4u);
		EXPECT_STREQ(ZF_GetSTR(ZF_GetChild(r, "quoted")), "say \"hi\" there");
		EXPECT_STREQ(ZF_GetSTR(ZF_GetChild(r, "plain")), "rest of the line");
		EXPECT_EQ(ZF_GetCount(ZF_GetChild(r, "chan")), 9u);
		const ZF_Node* obj = at(r, { "Scene", "Objects", "Obj1" });
		EXPECT_EQ(ZF_GetCount(ZF_GetChild(obj, "Position")), 3u);
		EXPECT_EQ(ZF_GetFP3(ZF_GetChild(obj, "Position"), 1), irr::core::vector3df(10, 5, 2));
		EXPECT_STREQ(ZF_GetSTR(ZF_GetChild(obj, "Names"), 0), "a \"quoted\" one");
		EXPECT_STREQ(ZF_GetSTR(ZF_GetChild(obj, "Names"), 1), "plain");
		EXPECT_EQ(ZF_GetCount(at(r, { "Scene", "Objects", "Empty" })), 0u);
		EXPECT_EQ(ZF_GetU4(at(r, { "Scene", "Count" }), 0), 3000000000u);
	}
}

TEST_F(ZF, BinaryLayoutMatchesHandAssembledChunks)
{
	// A 3-letter name takes a 4-byte field, a 4-letter name an 8-byte one.
	const std::string bytes = form(
	    chunk("NODE", nameField("grp") + nval("abcd", ZF_I4, words({ uint32_t(-5), 6 })) +
	                      chunk("NARR", nameField("arr") + be(ZF_FP_C) +
	                                        chunk("AVAL", words({ 0, 4, bits(2.5f) })) +
	                                        chunk("AVAL", words({ 1, 2, bits(1.0f), bits(3.0f) })))) +
	    nval("s", ZF_STR, std::string("hi\0\0", 4)));
	EXPECT_EQ(nameField("abc").size(), 4u);
	EXPECT_EQ(nameField("abcd").size(), 8u);
	const ZF_Node* r = root(bytes);
	ASSERT_NE(r, nullptr);
	EXPECT_EQ(ZF_GetI4(at(r, { "grp", "abcd" }), 0), -5);
	EXPECT_EQ(ZF_GetI4(at(r, { "grp", "abcd" }), 1), 6);
	EXPECT_EQ(ZF_GetFP2(at(r, { "grp", "arr" }), 1), irr::core::vector2df(2.5f, 3.0f));
	EXPECT_STREQ(ZF_GetSTR(ZF_GetChild(r, "s")), "hi");
	EXPECT_EQ(writeBinary(r), bytes);
}

TEST_F(ZF, UnpaddedChunksAndLineEndingsStillRead)
{
	// A string chunk without padding shifts the next chunk off word alignment.
	const ZF_Node* r = root(form(nval("s", ZF_STR, std::string("abc\0", 4) + "x") + nval("f", ZF_FP, words({ bits(7.25f) }))));
	ASSERT_NE(r, nullptr);
	EXPECT_EQ(ZF_GetFP(ZF_GetChild(r, "f"), 0), 7.25f);
	// CR LF endings, comments after blanks, open groups and arrays at the end.
	r = root("  # c\r\n\t/ c\r\n{ G\r\n  FP_C A [\r\n DAT 2 1 2\r\n");
	ASSERT_NE(r, nullptr);
	EXPECT_EQ(ZF_GetFP(at(r, { "G", "A" }), 1), 2.0f);
	EXPECT_EQ(ZF_GetChild(r, "g"), nullptr);
	EXPECT_EQ(ZF_GetChild(nullptr, "G"), nullptr);
	// Exactly 12 printable bytes are a text document with an empty root.
	r = root("# 12 bytes\t\n");
	ASSERT_NE(r, nullptr);
	EXPECT_EQ(ZF_GetCount(r), 0u);
	EXPECT_STREQ(r->name, "root");
	// The first of two children of one name.
	r = root("I4 a 1\nI4 a 2\n");
	EXPECT_EQ(ZF_GetI4(ZF_GetChild(r, "a"), 0), 1);
}

// ---- Messages ------------------------------------------------------------------
TEST_F(ZF, FormatMessages)
{
	using V = std::vector<std::string>;
	EXPECT_EQ(failure("I4 a 1\n    "), (V{ "Error, file size < 12 bytes\n", "Error, Not a ZF file\n" }));
	std::string offByOne = form("");
	offByOne[7] = 5;
	EXPECT_EQ(failure(offByOne), (V{ "Error, ZF binary FORM size mismatch file size\n", "Error, Not a ZF file\n" }));
	EXPECT_EQ(failure(std::string("I4 a\x01 1\n    x", 13)), (V{ "Error, file is not ZF format\n", "Error, Not a ZF file\n" }));
	// "FORM" with another form type is not binary, and its size word is not text.
	std::string otherType = form(nval("v", ZF_I4, words({ 1 })));
	otherType.replace(8, 4, "ZLVX");
	EXPECT_EQ(failure(otherType), (V{ "Error, file is not ZF format\n", "Error, Not a ZF file\n" }));
}

TEST_F(ZF, BinaryMessages)
{
	using V = std::vector<std::string>;
	const std::string value = nval("v", ZF_I4, words({ 1 }));
	std::string inner = chunk("NODE", nameField("g") + value);
	inner[7] = char(inner[7] - 2);  // the group ends inside its value
	EXPECT_EQ(failure(form(inner)), (V{ "exceed chunk size at level 1\n" }));
	std::string longer = chunk("NARR", nameField("a") + be(ZF_I4) + chunk("AVAL", words({ 1 })));
	longer[longer.size() - 5] = 9;  // AVAL size 9 in an array of 4 bytes
	EXPECT_EQ(failure(form(longer)), (V{ "exceed array size at level 0\n" }));
	EXPECT_EQ(failure(form(chunk("NARR", nameField("a") + be(ZF_I4) + value))), (V{ "expected AVAL chunk, found 0x4e56414c\n" }));
	EXPECT_EQ(failure(form(chunk("XYZW", "abcd"))), (V{ "unknown chunk ID 0x58595a57\n" }));
	EXPECT_EQ(failure(form(std::string("\0\0\0\x41", 4) + be(0))), (V{ "unknown chunk ID 0x      41\n" }));
	// Refusals of damaged chunks.
	EXPECT_EQ(failure(form(chunk("NVAL", "name"))), (V{ "chunk name without terminator at level 0\n" }));
	EXPECT_EQ(failure(form(chunk("NODE", std::string("abcd\0", 5)))), (V{ "chunk too small for its name at level 0\n" }));
	EXPECT_EQ(failure(form(chunk("NVAL", nameField("ab")))), (V{ "chunk too small for its name and type at level 0\n" }));
	EXPECT_EQ(failure(form(nval("v", 5, words({ 1 })))), (V{ "unknown value type 5 at level 0\n" }));
	EXPECT_EQ(failure(form(nval("v", ZF_STR, "abcd"))), (V{ "string without terminator at level 0\n" }));
	EXPECT_EQ(failure(form(nval("v", ZF_FP_C, words({ 1, 3, 0, 0 })))), (V{ "invalid FP_C record at level 0\n" }));
	EXPECT_EQ(failure(form(nval("v", ZF_FP_C, words({ 0, 3 })))), (V{ "invalid FP_C record at level 0\n" }));
	EXPECT_EQ(failure(form(nval("v", ZF_FP_C, words({ 0, 0x7FFFFFFF, 0, 0, 1, 0 })))), (V{ "invalid FP_C record at level 0\n" }));
	// 20 open groups counting the root load; 21 do not.
	auto nest = [](int depth) {
		std::string body = nval("v", ZF_I4, words({ 1 }));
		for (int i = 0; i < depth; ++i)
			body = chunk("NODE", nameField("g") + body);
		return form(body);
	};
	EXPECT_NE(load(nest(19)), nullptr);
	EXPECT_EQ(failure(nest(20)), (V{ "nesting deeper than 20 groups at level 19\n" }));
}

TEST_F(ZF, TextMessages)
{
	using V = std::vector<std::string>;
	EXPECT_EQ(failure("} closing first\n"), (V{ "line 1: too many }\n" }));
	// Empty lines between breaks do not count; comment lines do.
	EXPECT_EQ(failure("# one\n\n\n\r\nI4 x 1\n\n  lonely\n"), (V{ "Line does not have enough token\n", "line 3: Invalid line\n" }));
	EXPECT_EQ(failure("{ G\nFP name   \n}\n"), (V{ "Line value does not have enough token\n", "line 2: Invalid line\n" }));
	EXPECT_EQ(failure("I4 a 1\nFLOAT b 1.0\n"), (V{ "line 2: unknown value type FLOAT\n" }));
	EXPECT_EQ(failure("I4 a 1\n{ G\n}\n}\n"), (V{ "line 4: too many }\n" }));
	EXPECT_EQ(failure("FP_C a RUN 3\n      \n"), (V{ "line 1: invalid FP_C record\n" }));
	EXPECT_EQ(failure("#########\nFP_C a [\nDAT 3 1 2\n]\n"), (V{ "line 3: invalid FP_C record\n" }));
	std::string deep;
	for (int i = 0; i < 19; ++i)
		deep += "{ g\n";
	EXPECT_NE(load(deep), nullptr);
	EXPECT_EQ(failure(deep + "{ g\n"), (V{ "line 20: nesting deeper than 20 groups\n" }));
}

// A text cut after any of its lines loads as it stands; the groups and the
// array it leaves open are counted, and reported in one warning.
TEST_F(ZF, TextCutShortLoadsAndCountsWhatItLeftOpen)
{
	const std::string text = TWIN_TEXT;
	int groups = 0, line = 0, cuts = 0;
	bool array = false;
	for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', end + 1))
	{
		const size_t start = text.find_first_not_of('\t', text.rfind('\n', end - 1) + 1);
		groups += text[start] == '{' ? 1 : text[start] == '}' ? -1 : 0;
		array = text[end - 1] == '[' || (array && text[start] != ']');
		++line;
		const int open = groups + (array ? 1 : 0);
		g_lines.clear();
		ZF_Document* document = load(text.substr(0, end + 1));
		ASSERT_NE(document, nullptr) << line;
		EXPECT_EQ(ZF_GetUnclosed(document), open) << line;
		const std::string warning = "WARN : ZF_ReadText: Warning, the text ends at line " + std::to_string(line) +
			" with " + std::to_string(groups) + " group(s)" + (array ? " and an array" : "") + " left open\n";
		EXPECT_EQ(g_lines, open ? std::vector<std::string>{ warning } : std::vector<std::string>{}) << line;
		cuts += open > 0;
	}
	EXPECT_EQ(groups, 0);
	EXPECT_GT(cuts, 10);
	// The binary reader refuses a cut file: what it loads is whole.
	EXPECT_EQ(ZF_GetUnclosed(load(writeBinary(root(TWIN_TEXT)))), 0);
	EXPECT_EQ(ZF_GetUnclosed(nullptr), 0);
}

TEST_F(ZF, GetterAndInterpolationMessages)
{
	using V = std::vector<std::string>;
	const ZF_Node* r = root("FP_C three [\nRUN 2 1\nRUN 2 1\nRUN 2 1\n]\nFP_C two [\nRUN 2 1\nRUN 2 1\n]\nI4 i 4\nSTR s text\n{ G\n}\n");
	ASSERT_NE(r, nullptr);
	g_lines.clear();
	EXPECT_EQ(ZF_FP_Lerp(ZF_GetChild(r, "three"), 0.5f), 0.0f);
	EXPECT_EQ(ZF_FP2_Lerp(ZF_GetChild(r, "three"), 0.5f), irr::core::vector2df(0, 0));
	EXPECT_EQ(ZF_FP3_Lerp(ZF_GetChild(r, "two"), 0.5f), irr::core::vector3df(0, 0, 0));
	EXPECT_EQ(ZF_FP3_Slerp_HPB_To_XYZ(ZF_GetChild(r, "i"), 0.5f), irr::core::vector3df(0, 0, 0));
	EXPECT_EQ(ZF_GetFP(ZF_GetChild(r, "s"), 0), 0.0f);
	EXPECT_EQ(ZF_FP_Lerp(ZF_GetChild(r, "G"), 0.0f), 0.0f);
	EXPECT_EQ(g_lines, (V{ "ZF_FP_Lerp not supported on array\n", "ZF_FP2_Lerp: unsupported value/valtype/array size\n",
	                       "ZF_FP3_Lerp: unsupported value/valtype/array size\n",
	                       "ZF_FP3_Slerp_HPB_To_XYZ: unsupported value/valtype/array size\n",
	                       "ZF_GetFP: string 's' read as a number\n", "ZF_FP_Lerp: group 'G' read as a number\n" }));
	// Integers read as channels are numbers; absent keys are 0 without a message.
	g_lines.clear();
	EXPECT_EQ(ZF_FP_Lerp(ZF_GetChild(r, "i"), 3.0f), 4.0f);
	EXPECT_EQ(ZF_GetFP(nullptr, 0), 0.0f);
	EXPECT_EQ(ZF_FP3_Lerp(nullptr, 1.0f), irr::core::vector3df(0, 0, 0));
	EXPECT_TRUE(g_lines.empty());
}

// ---- Getters and interpolation -------------------------------------------------
TEST_F(ZF, GettersIndexKeysAndClamp)
{
	const ZF_Node* r = root(
	    "FP_C run RUN 10 2.5\n"
	    "FP constant 1 2 3\n"
	    "FP_C mixed RUN 3 1.5 DAT 2 7 8 RUN 2 -1\n"
	    "FP_C empty DAT 0\n"
	    "FP short 4\n"
	    "FP pairs [\n5 6\n7\n]\n"
	    "FP_C keys [\nDAT 3 0 1 2\nDAT 2 10 20\n]\n"
	    "I4 ints [\n-3 9\n]\n");
	ASSERT_NE(r, nullptr);
	const ZF_Node* run = ZF_GetChild(r, "run");
	EXPECT_EQ(ZF_GetCount(run), 10u);
	for (int i : { 0, 9, 50, -4 })
		EXPECT_EQ(ZF_GetFP(run, i), 2.5f) << i;
	EXPECT_EQ(ZF_FP_Lerp(run, -3.0f), 2.5f);
	for (int i : { 0, 1, 7 })
		EXPECT_EQ(ZF_GetFP(ZF_GetChild(r, "constant"), i), 1.0f);
	EXPECT_EQ(ZF_GetFP3(ZF_GetChild(r, "constant"), 5), irr::core::vector3df(1, 2, 3));
	const float mixed[] = { 1.5f, 1.5f, 1.5f, 7, 8, -1, -1, -1 };
	for (int i = 0; i < 8; ++i)
		EXPECT_EQ(ZF_GetFP(ZF_GetChild(r, "mixed"), i), mixed[i]) << i;
	EXPECT_EQ(ZF_GetFP2(ZF_GetChild(r, "mixed"), 4), irr::core::vector2df(8, 8));
	EXPECT_EQ(ZF_GetFP(ZF_GetChild(r, "empty"), 3), 0.0f);
	EXPECT_EQ(ZF_FP_Lerp(ZF_GetChild(r, "empty"), 3.0f), 0.0f);
	EXPECT_EQ(ZF_GetFP3(ZF_GetChild(r, "short"), 0), irr::core::vector3df(4, 0, 0));
	EXPECT_EQ(ZF_FP3_Lerp(ZF_GetChild(r, "short"), 2.0f), irr::core::vector3df(4, 0, 0));
	EXPECT_EQ(ZF_GetFP3(ZF_GetChild(r, "pairs"), 9), irr::core::vector3df(5, 7, 0));
	// Each element clamps the index to its own count.
	EXPECT_EQ(ZF_GetFP3(ZF_GetChild(r, "keys"), 2), irr::core::vector3df(2, 20, 0));
	EXPECT_EQ(ZF_GetFP2(ZF_GetChild(r, "ints"), 1), irr::core::vector2df(9, 0));
	EXPECT_EQ(ZF_GetI4(ZF_GetChild(r, "constant"), 0), 0);
	EXPECT_EQ(ZF_GetSTR(ZF_GetChild(r, "constant")), nullptr);
}

TEST_F(ZF, LinearInterpolationFollowsTheKeys)
{
	const ZF_Node* r = root(
	    "FP_C c DAT 3 0 10 20\n"
	    "FP_C mixed RUN 3 1.5 DAT 2 7 8 RUN 2 -1\n"
	    "FP_C pair [\nDAT 3 0 1 2\nDAT 10 0 10 20 30 40 50 60 70 80 90\n]\n"
	    "FP_C vec [\nDAT 2 0 4\nDAT 2 1 3\nRUN 2 6\n]\n"
	    "FP c3 1 2 3\n");
	ASSERT_NE(r, nullptr);
	const ZF_Node* c = ZF_GetChild(r, "c");
	EXPECT_FLOAT_EQ(ZF_FP_Lerp(c, 0.5f), 5.0f);
	EXPECT_FLOAT_EQ(ZF_FP_Lerp(c, 1.25f), 12.5f);
	EXPECT_FLOAT_EQ(ZF_FP_Lerp(c, 2.0f), 20.0f);
	EXPECT_FLOAT_EQ(ZF_FP_Lerp(c, 7.0f), 20.0f);
	EXPECT_FLOAT_EQ(ZF_FP_Lerp(c, NAN), 0.0f);
	EXPECT_FLOAT_EQ(ZF_FP_Lerp(c, 1e30f), 20.0f);
	EXPECT_FLOAT_EQ(ZF_FP_Lerp(ZF_GetChild(r, "mixed"), 2.5f), 4.25f);  // 1.5 + 0.5 (7 - 1.5)
	EXPECT_FLOAT_EQ(ZF_FP_Lerp(ZF_GetChild(r, "mixed"), 4.5f), 3.5f);   // 8 + 0.5 (-1 - 8)
	// The frame clamped by element 0 (to 2) is the frame of element 1.
	EXPECT_EQ(ZF_FP2_Lerp(ZF_GetChild(r, "pair"), 5.0f), irr::core::vector2df(2, 20));
	EXPECT_EQ(ZF_FP2_Lerp(ZF_GetChild(r, "pair"), 1.5f), irr::core::vector2df(1.5f, 15));
	EXPECT_EQ(ZF_FP3_Lerp(ZF_GetChild(r, "vec"), 0.25f), irr::core::vector3df(1, 1.5f, 6));
	EXPECT_EQ(ZF_FP3_Lerp(ZF_GetChild(r, "c3"), 0.25f), irr::core::vector3df(1, 2, 3));
	EXPECT_EQ(ZF_FP2_Lerp(ZF_GetChild(r, "c3"), 9.0f), irr::core::vector2df(1, 2));
	// Infinite keys come back as they are, at and between equal keys.
	r = root("FP_C held RUN 3 inf\nFP_C edge DAT 3 -inf 5 inf\n");
	ASSERT_NE(r, nullptr);
	EXPECT_EQ(ZF_FP_Lerp(ZF_GetChild(r, "held"), 0.0f), INFINITY);
	EXPECT_EQ(ZF_FP_Lerp(ZF_GetChild(r, "held"), 1.5f), INFINITY);
	EXPECT_EQ(ZF_FP_Lerp(ZF_GetChild(r, "edge"), 0.0f), -INFINITY);
	EXPECT_EQ(ZF_FP_Lerp(ZF_GetChild(r, "edge"), 1.0f), 5.0f);
	EXPECT_EQ(ZF_FP_Lerp(ZF_GetChild(r, "edge"), 9.0f), INFINITY);
}

TEST_F(ZF, SlerpTakesTheShortArcAndReturnsEulerAngles)
{
	const double pi = 3.14159265358979;
	const ZF_Node* r = root(
	    "FP_C z [\nRUN 2 0\nRUN 2 0\nDAT 2 0 1.5707963\n]\n"
	    "FP_C x [\nDAT 2 0.2 1.0\nRUN 2 0\nRUN 2 0\n]\n"
	    "FP_C wrap [\nRUN 2 0\nRUN 2 0\nDAT 2 0 3.5\n]\n"
	    "FP_C keys [\nDAT 2 0.3 1.1\nDAT 2 -0.2 0.4\nDAT 2 0.5 -0.7\n]\n"
	    "FP constant 0.1 0.2 4.0\n");
	ASSERT_NE(r, nullptr);
	auto near = [](irr::core::vector3df v, double x, double y, double z) {
		return std::fabs(v.X - x) < 1e-5 && std::fabs(v.Y - y) < 1e-5 && std::fabs(v.Z - z) < 1e-5;
	};
	// One axis: the angle moves linearly with t.
	EXPECT_TRUE(near(ZF_FP3_Slerp_HPB_To_XYZ(ZF_GetChild(r, "z"), 0.5f), 0, 0, pi / 4));
	EXPECT_TRUE(near(ZF_FP3_Slerp_HPB_To_XYZ(ZF_GetChild(r, "x"), 0.75f), 0.8, 0, 0));
	// 0 to 3.5 rad goes the short way, through 3.5 - 2 pi.
	EXPECT_TRUE(near(ZF_FP3_Slerp_HPB_To_XYZ(ZF_GetChild(r, "wrap"), 0.5f), 0, 0, (3.5 - 2 * pi) / 2));
	// The keys come back at whole frames, the last beyond the end.
	const ZF_Node* keys = ZF_GetChild(r, "keys");
	EXPECT_TRUE(near(ZF_FP3_Slerp_HPB_To_XYZ(keys, 0.0f), 0.3, -0.2, 0.5));
	EXPECT_TRUE(near(ZF_FP3_Slerp_HPB_To_XYZ(keys, 6.0f), 1.1, 0.4, -0.7));
	// A constant passes through the conversion: 4 rad comes back as 4 - 2 pi.
	EXPECT_TRUE(near(ZF_FP3_Slerp_HPB_To_XYZ(ZF_GetChild(r, "constant"), 3.0f), 0.1, 0.2, 4.0 - 2 * pi));
}

// ---- Floats in the text form ---------------------------------------------------
namespace
{
// The word that the text reader stores for one FP token.
uint32_t textFloat(const std::string& token)
{
	const std::string text = "# one float\nFP v " + token + "\n";
	ZF_Document* document = ZF_LoadMemory(text.data(), text.size());
	const ZF_Node* v = ZF_GetChild(ZF_GetRoot(document), "v");
	const uint32_t word = v && v->count == 1 ? *static_cast<const uint32_t*>(v->data) : 0xDEADBEEF;
	ZF_Free(document);
	return word;
}
} // namespace

TEST_F(ZF, TextFloatsRoundTripAtTheEdgesOfTheRange)
{
	const float values[] = { FLT_MAX, -FLT_MAX, std::nextafter(FLT_MAX, 0.0f), FLT_MIN, -FLT_MIN,
		std::numeric_limits<float>::denorm_min(), -std::numeric_limits<float>::denorm_min(),
		std::nextafter(FLT_MIN, 0.0f), 3 * std::numeric_limits<float>::denorm_min(), 0.0f, -0.0f, 1.0f / 3.0f,
		16777216.0f, 0.1f, -2.5e-40f, INFINITY, -INFINITY };
	std::string data;
	for (float value : values)
		data += be(bits(value));
	const ZF_Node* binary = root(form(nval("v", ZF_FP, data)));
	ASSERT_NE(binary, nullptr);
	const std::string text = writeText(binary);
	const ZF_Node* back = root(text);
	ASSERT_NE(back, nullptr) << text;
	const ZF_Node* v = ZF_GetChild(back, "v");
	ASSERT_EQ(ZF_GetCount(v), std::size(values)) << text;
	for (size_t i = 0; i < std::size(values); ++i)
		EXPECT_EQ(static_cast<const uint32_t*>(v->data)[i], bits(values[i])) << i << ": " << text;
	EXPECT_TRUE(sameTree(binary, back));
}

TEST_F(ZF, TextFloatsReadAsTheNearestSingle)
{
	// The largest single is 2^128 - 2^104; halfway to the next step, 2^128 - 2^103
	// = 340282356779733661637539395458142568448, values round up to infinity.
	const struct
	{
		const char* text;
		float value;
	} edges[] = {
		{ "3.4028235e38", FLT_MAX },
		{ "3.40282347e+38", FLT_MAX },
		{ "340282356779733661637539395458142568447", FLT_MAX },
		{ "3.40282356779733661637539395458142568447e38", FLT_MAX },
		{ "3.4028235677973366e38", FLT_MAX },
		{ "340282356779733661637539395458142568448", INFINITY },
		{ "3.40282356779733661637539395458142568448e38", INFINITY },
		{ "3.4028236e38", INFINITY },
		{ "1e39", INFINITY },
		{ "1e400", INFINITY },
		{ "1e99999999999", INFINITY },
		// Denormals, and the halfway point below the smallest one.
		{ "1.4e-45", std::numeric_limits<float>::denorm_min() },
		{ "7.0064923216240862e-46", std::numeric_limits<float>::denorm_min() },
		{ "7.0064923216240853e-46", 0.0f },
		{ "1e-50", 0.0f },
		{ "1e-400", 0.0f },
		{ "0.00000000000000000000000000000000000000000000000000001", 0.0f },
		{ "1.1754942e-38", std::nextafter(FLT_MIN, 0.0f) },
	};
	for (const auto& edge : edges)
	{
		EXPECT_EQ(textFloat(edge.text), bits(edge.value)) << edge.text;
		EXPECT_EQ(textFloat(std::string("-") + edge.text), bits(-edge.value)) << edge.text;
	}
	// Decimal strings near a rounding boundary, against the C library's
	// correctly rounded reader; a reader that rounds twice (to double, then to
	// single) gets several of them wrong.
	const char* const tricky[] = {
		"1.000000059604644775390625",             // halfway: ties to even (1)
		"1.0000000596046447753906250000000001",   // just above halfway
		"1.0000000596046447753906249999999999",   // just below halfway
		"1.00000017881393432617187499",           // just below the halfway point above 1 + 2^-23
		"7.038531e-26",
		"8.589973e9",
		"16777217",
		"16777219",
		"0.1",
		"1e38",
		"4.7019774e-38",
		"1.17549435e-38",
		"2.2250738585072014e-308",
		"9007199791611905",
		"1.4012984643e-45",
		"3.0517578125e-05",
		"123456789012345678901234567890",
		"0.000000000000000000000000000000000000011754943508222875",
	};
	for (const char* text : tricky)
	{
		const float expected = strtof(text, nullptr);
		EXPECT_EQ(textFloat(text), bits(expected)) << text;
		EXPECT_EQ(textFloat(std::string("-") + text), bits(-expected)) << text;
	}
	// Tokens that are no number read 0; infinities and NaN are read as written.
	EXPECT_EQ(textFloat("x1"), 0u);
	EXPECT_EQ(textFloat("+-1"), 0u);
	EXPECT_EQ(textFloat("+2.5"), bits(2.5f));
	EXPECT_EQ(textFloat("inf"), bits(INFINITY));
	EXPECT_EQ(textFloat("-inf"), bits(-INFINITY));
	const uint32_t nan = textFloat("nan");
	EXPECT_EQ(nan & 0x7F800000u, 0x7F800000u);
	EXPECT_NE(nan & 0x007FFFFFu, 0u);
}

// ---- Writer, files and the zfwrite tool ----------------------------------------
TEST_F(ZF, WriterRefusesWhatTextCannotHold)
{
	const std::string bad[] = { form(nval("two words", ZF_I4, words({ 1 }))), form(nval("v", ZF_STR, std::string("a\nb\0", 4))),
		                        form(nval("v", ZF_FP, "")) };
	for (const std::string& bytes : bad)
	{
		const ZF_Node* r = root(bytes);
		ASSERT_NE(r, nullptr);
		std::string out;
		g_lines.clear();
		EXPECT_FALSE(ZF_WriteText(r, out));
		EXPECT_EQ(g_lines.size(), 1u);
		EXPECT_TRUE(ZF_WriteBinary(r, out));
		EXPECT_EQ(out, bytes);
	}
}

TEST_F(ZF, LoadsThroughTheFileLayerAndZfwriteConverts)
{
	const std::string dir = ::testing::TempDir();
	const std::string textPath = dir + "zf_twin.zscn";
	const std::string binaryPath = dir + "zf_twin_bin.zscn";
	const std::string backPath = dir + "zf_twin_back.zscn";
	std::ofstream(textPath, std::ios::binary) << TWIN_TEXT;
	std::ofstream(dir + "zf_empty.zscn", std::ios::binary).flush();
	g_lines.clear();
	EXPECT_EQ(ZF_Load((dir + "zf_missing.zscn").c_str()), nullptr);
	EXPECT_EQ(ZF_Load((dir + "zf_empty.zscn").c_str()), nullptr);
	EXPECT_TRUE(g_lines.empty());

	const std::string tool = std::string(ZELV_BINARY_DIR) + "/tools/zfwrite";
	ASSERT_EQ(std::system((tool + " " + textPath + " " + binaryPath + " --binary").c_str()), 0);
	ASSERT_EQ(std::system((tool + " " + binaryPath + " " + backPath + " --text").c_str()), 0);
	EXPECT_NE(std::system((tool + " " + dir + "zf_missing.zscn " + backPath + " --text > /dev/null 2>&1").c_str()), 0);
	ZF_Document* text = ZF_Load(textPath.c_str());
	ZF_Document* binary = ZF_Load(binaryPath.c_str());
	ZF_Document* back = ZF_Load(backPath.c_str());
	ASSERT_TRUE(text && binary && back);
	EXPECT_EQ(ZF_GetForm(binary), ZF_FORM_BINARY);
	EXPECT_EQ(ZF_GetForm(back), ZF_FORM_TEXT);
	EXPECT_TRUE(sameTree(ZF_GetRoot(text), ZF_GetRoot(binary)));
	EXPECT_TRUE(sameTree(ZF_GetRoot(text), ZF_GetRoot(back)));
	for (ZF_Document* document : { text, binary, back })
		ZF_Free(document);
}

// ---- Building and editing ------------------------------------------------------
TEST_F(ZF, TreesBuiltByHandWriteAndLoadBackInBothForms)
{
	ZF_Document* document = ZF_Create();
	ASSERT_NE(document, nullptr);
	EXPECT_EQ(ZF_GetForm(document), ZF_FORM_TEXT);
	const ZF_Node* r = ZF_GetRoot(document);
	EXPECT_STREQ(r->name, "root");
	EXPECT_EQ(ZF_GetCount(r), 0u);
	const int32_t ints[] = { -7, 0, INT32_MAX };
	const uint32_t fps[] = { bits(1.5f), bits(-0.25f), bits(FLT_MAX) };
	const uint32_t channel[] = { 0, 4, bits(0.5f), 1, 3, bits(1), bits(2), bits(4) };
	std::string name = "scene";
	const ZF_Node* scene = ZF_AddGroup(document, r, name.c_str());
	name = "changed";  // names are copied
	ASSERT_NE(scene, nullptr);
	EXPECT_NE(ZF_AddValue(document, scene, ZF_I4, "ints", ints, 3), nullptr);
	EXPECT_NE(ZF_AddValue(document, scene, ZF_FP, "fps", fps, 3), nullptr);
	EXPECT_NE(ZF_AddValue(document, scene, ZF_STR, "text", "say \"hi\"", 8), nullptr);
	EXPECT_NE(ZF_AddValue(document, scene, ZF_FP_C, "chan", channel, 8), nullptr);
	const ZF_Node* array = ZF_AddArray(document, scene, ZF_FP_C, "position");
	ASSERT_NE(array, nullptr);
	for (int e = 0; e < 3; ++e)
		EXPECT_TRUE(ZF_AddElement(document, array, channel, 3 + 5 * (e % 2)));
	const ZF_Node* names = ZF_AddArray(document, r, ZF_STR, "names");
	EXPECT_TRUE(ZF_AddElement(document, names, "a b", 3));
	EXPECT_TRUE(ZF_AddElement(document, names, "", 0));
	EXPECT_NE(ZF_AddGroup(document, scene, "empty"), nullptr);

	EXPECT_EQ(ZF_GetChildAt(r, 0), scene);
	EXPECT_STREQ(scene->name, "scene");
	EXPECT_EQ(ZF_GetI4(ZF_GetChild(scene, "ints"), 2), INT32_MAX);
	EXPECT_EQ(ZF_GetCount(ZF_GetChild(scene, "chan")), 7u);
	EXPECT_FLOAT_EQ(ZF_FP_Lerp(ZF_GetChild(scene, "chan"), 4.5f), 1.5f);
	EXPECT_STREQ(ZF_GetSTR(ZF_GetChild(scene, "text")), "say \"hi\"");
	EXPECT_EQ(ZF_GetFP3(array, 6), irr::core::vector3df(0.5f, 4, 0.5f));
	EXPECT_STREQ(ZF_GetSTR(names, 1), "");

	const std::string text = writeText(r);
	const std::string binary = writeBinary(r);
	EXPECT_TRUE(sameTree(r, root(text))) << text;
	EXPECT_TRUE(sameTree(r, root(binary)));
	ZF_Free(document);
}

TEST_F(ZF, LoadedDocumentsTakeNewNodesAndValues)
{
	const ZF_Node* text = root(TWIN_TEXT);
	ASSERT_NE(text, nullptr);
	const std::string bytes = writeBinary(text);
	for (ZF_Document* document : { last(), load(bytes) })
	{
		ASSERT_NE(document, nullptr);
		const ZF_Node* r = ZF_GetRoot(document);
		const ZF_Node* objects = at(r, { "Scene", "Objects" });
		const ZF_Node* obj1 = ZF_GetChild(objects, "Obj1");
		ASSERT_TRUE(objects && obj1);
		// A loaded group holds exactly its children: the first addition moves
		// the list, thousands more grow it.
		for (int i = 0; i < 3000; ++i)
			ASSERT_NE(ZF_AddGroup(document, objects, ("Obj" + std::to_string(i + 2)).c_str()), nullptr);
		EXPECT_EQ(ZF_GetCount(objects), 3002u);
		EXPECT_EQ(ZF_GetChildAt(objects, 0), obj1);
		EXPECT_STREQ(ZF_GetChildAt(objects, 3001)->name, "Obj3001");
		// Loaded arrays and values change as well.
		const ZF_Node* flags = ZF_GetChild(obj1, "Flags");
		const int32_t more[] = { 8, 9 };
		EXPECT_TRUE(ZF_AddElement(document, flags, more, 2));
		EXPECT_EQ(ZF_GetCount(flags), 3u);
		EXPECT_EQ(static_cast<const int32_t*>(flags->entries[2].data)[1], 9);
		const ZF_Node* count = at(r, { "Scene", "Count" });
		EXPECT_TRUE(ZF_SetValue(document, count, ZF_STR, "three", 5));
		EXPECT_STREQ(ZF_GetSTR(count), "three");
		const uint32_t run[] = { 0, 5, bits(2.0f) };
		EXPECT_TRUE(ZF_SetValue(document, ZF_GetChild(r, "ints"), ZF_FP_C, run, 3));
		EXPECT_EQ(ZF_GetCount(ZF_GetChild(r, "ints")), 5u);

		// Written and loaded again, the edits are there.
		const ZF_Node* again = root(writeText(r));
		EXPECT_TRUE(sameTree(r, again));
		EXPECT_EQ(ZF_GetCount(at(again, { "Scene", "Objects" })), 3002u);
		EXPECT_STREQ(ZF_GetSTR(at(again, { "Scene", "Count" })), "three");
		EXPECT_FLOAT_EQ(ZF_GetFP(ZF_GetChild(again, "ints"), 4), 2.0f);
		EXPECT_TRUE(sameTree(r, root(writeBinary(r))));
	}
}

TEST_F(ZF, EditsOutsideTheDocumentOrOfTheWrongShapeAreRefused)
{
	using V = std::vector<std::string>;
	ZF_Document* document = ZF_Create();
	ZF_Document* other = ZF_Create();
	ASSERT_TRUE(document && other);
	const ZF_Node* r = ZF_GetRoot(document);
	const ZF_Node* group = ZF_AddGroup(document, r, "g");
	const int32_t one = 1;
	const ZF_Node* value = ZF_AddValue(document, r, ZF_I4, "v", &one, 1);
	const ZF_Node* array = ZF_AddArray(document, r, ZF_I4, "a");
	ASSERT_TRUE(group && value && array);
	ZF_Node copy = *group;
	g_lines.clear();
	EXPECT_EQ(ZF_AddGroup(other, group, "x"), nullptr);
	EXPECT_EQ(ZF_AddGroup(document, &copy, "x"), nullptr);
	EXPECT_EQ(ZF_AddGroup(document, value, "x"), nullptr);
	EXPECT_EQ(ZF_AddValue(document, array, ZF_I4, "x", &one, 1), nullptr);
	EXPECT_EQ(ZF_AddArray(nullptr, r, ZF_I4, "x"), nullptr);
	EXPECT_FALSE(ZF_AddElement(document, value, &one, 1));
	EXPECT_FALSE(ZF_SetValue(document, array, ZF_I4, &one, 1));
	EXPECT_EQ(g_lines, (V{ "ZF_AddGroup: not a group of this document\n", "ZF_AddGroup: not a group of this document\n",
	                       "ZF_AddGroup: not a group of this document\n", "ZF_AddValue: not a group of this document\n",
	                       "ZF_AddArray: not a group of this document\n", "ZF_AddElement: not an array of this document\n",
	                       "ZF_SetValue: not a value of this document\n" }));
	g_lines.clear();
	const uint32_t badRun[] = { 1, 3, 0 };
	EXPECT_EQ(ZF_AddValue(document, group, ZF_FP_C, "c", badRun, 3), nullptr);
	EXPECT_EQ(ZF_AddValue(document, group, 5, "t", &one, 1), nullptr);
	EXPECT_EQ(ZF_AddArray(document, group, 7, "t"), nullptr);
	EXPECT_EQ(ZF_AddValue(document, group, ZF_STR, "s", "a\0b", 3), nullptr);
	EXPECT_EQ(ZF_AddValue(document, group, ZF_I4, "n", nullptr, 2), nullptr);
	EXPECT_EQ(ZF_AddGroup(document, group, nullptr), nullptr);
	EXPECT_FALSE(ZF_SetValue(document, value, ZF_FP_C, badRun, 3));
	EXPECT_EQ(g_lines, (V{ "ZF_AddValue: invalid FP_C record\n", "ZF_AddValue: unknown value type 5\n",
	                       "ZF_AddArray: unknown value type 7\n", "ZF_AddValue: text with a NUL inside\n",
	                       "ZF_AddValue: no data or too much\n", "ZF_AddGroup: node without a name\n",
	                       "ZF_SetValue: invalid FP_C record\n" }));
	// Nothing refused was added, and the refused change left the value as it was.
	EXPECT_EQ(ZF_GetCount(group), 0u);
	EXPECT_EQ(ZF_GetCount(r), 3u);
	EXPECT_EQ(ZF_GetI4(value, 0), 1);
	EXPECT_EQ(value->type, ZF_I4);
	ZF_Free(document);
	ZF_Free(other);
}

// ---- Damaged input -------------------------------------------------------------
namespace
{
// Reads every node through every getter at a few keys and frames.
void readAll(const ZF_Node* node)
{
	volatile float sink = 0;
	for (int i : { -1, 0, 2, 1000 })
		sink = sink + ZF_GetFP(node, i) + ZF_GetFP3(node, i).Y + float(ZF_GetI4(node, i)) + (ZF_GetSTR(node, i) ? 1.0f : 0.0f);
	for (float f : { -1.0f, 0.3f, 2.5f, 1e9f })
		sink = sink + ZF_FP_Lerp(node, f) + ZF_FP2_Lerp(node, f).X + ZF_FP3_Lerp(node, f).Z + ZF_FP3_Slerp_HPB_To_XYZ(node, f).X;
	for (uint32_t i = 0; node->kind == ZF_GROUP && i < node->count; ++i)
		readAll(node->children[i]);
}

// Loads damaged bytes: a failure logs why (an empty file fails quietly); a
// success reads safely and writes back to the same tree. Returns whether it
// loaded.
bool loadDamaged(const std::string& bytes)
{
	g_lines.clear();
	ZF_Document* document = ZF_LoadMemory(bytes.data(), bytes.size());
	if (!document)
	{
		EXPECT_TRUE(bytes.empty() || !g_lines.empty()) << ::testing::PrintToString(bytes);
		return false;
	}
	readAll(ZF_GetRoot(document));
	std::string out;
	EXPECT_TRUE(ZF_WriteBinary(ZF_GetRoot(document), out));
	ZF_Document* again = ZF_LoadMemory(out.data(), out.size());
	EXPECT_TRUE(again && sameTree(ZF_GetRoot(document), ZF_GetRoot(again)));
	ZF_Free(again);
	ZF_Free(document);
	return true;
}
} // namespace

TEST_F(ZF, BinaryReaderSurvivesTruncationAndCorruption)
{
	const ZF_Node* r = root(TWIN_TEXT);
	ASSERT_NE(r, nullptr);
	const std::string valid = writeBinary(r);
	int loaded = 0;
	for (size_t size = 0; size < valid.size(); ++size)
	{
		std::string cut = valid.substr(0, size);
		EXPECT_FALSE(loadDamaged(cut)) << size;
		if (size < 12)
			continue;
		// With the header fixed the reader meets the cut chunk itself; what
		// still loads is a run of whole top-level chunks, written back as is.
		const std::string fixed = form(cut.substr(12));
		if (loadDamaged(fixed))
		{
			++loaded;
			std::string out;
			ZF_WriteBinary(ZF_GetRoot(load(fixed)), out);
			EXPECT_EQ(out, fixed) << size;
		}
	}
	EXPECT_EQ(loaded, 7);  // no chunk, then after each of the six top-level chunks but the last
	int failed = 0;
	for (size_t i = 0; i < valid.size(); ++i)
	{
		const unsigned char original = static_cast<unsigned char>(valid[i]);
		for (unsigned value : { 0x00u, 0xFFu, 0x7Fu, original ^ 0x01u, original ^ 0x80u, original + 4u })
		{
			std::string damaged = valid;
			damaged[i] = static_cast<char>(value);
			failed += loadDamaged(damaged) ? 0 : 1;
		}
	}
	EXPECT_GT(failed, 0);
}

TEST_F(ZF, TextReaderSurvivesMutations)
{
	std::mt19937 random(20240611u);
	const std::string valid = TWIN_TEXT;
	const std::string alphabet = "{}[]\"#/ \t\r\n-+.eE019RUNDATFP_CI4U4STR\x01";
	int loaded = 0;
	for (int n = 0; n < 400; ++n)
	{
		std::string text = valid;
		for (int edits = 1 + n % 4; edits > 0; --edits)
		{
			const size_t at = random() % text.size();
			const char c = alphabet[random() % alphabet.size()];
			switch (random() % 4)
			{
			case 0: text.erase(at, 1 + random() % 8); break;
			case 1: text.insert(at, 1, c); break;
			case 2: text[at] = c; break;
			default: text.resize(at); break;
			}
			if (text.empty())
				text = valid;
		}
		loaded += loadDamaged(text) ? 1 : 0;
	}
	EXPECT_GT(loaded, 0);
	EXPECT_LT(loaded, 400);
}
