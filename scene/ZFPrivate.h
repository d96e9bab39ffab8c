// ZF library internals shared by the readers, the document and the writer.
#pragma once

#include "scene/ZF.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

// Groups open at a time counting the root, in both forms.
constexpr int ZF_MAX_DEPTH = 20;
// Longest channel (floats) a document may hold, so indices fit an int.
constexpr uint64_t ZF_MAX_CHANNEL = 0x7FFFFFFF;

// A growable list of plain records: when full it grows to count + 1 + extra,
// extra being 5 below a capacity of 5, else the count below 500, else a
// quarter of the count.
template <typename T>
struct ZF_List
{
	T* items;
	uint32_t count;
	uint32_t capacity;

	bool init(uint32_t initial)
	{
		count = 0;
		capacity = initial;
		items = initial ? static_cast<T*>(malloc(sizeof(T) * initial)) : nullptr;
		return items || !initial;
	}
	bool push(const T& item)
	{
		if (count == capacity)
		{
			const uint32_t extra = capacity < 5 ? 5 : capacity < 500 ? count : count / 4;
			const uint32_t grown = count + 1 + extra;
			T* moved = static_cast<T*>(realloc(static_cast<void*>(items), sizeof(T) * grown));
			if (!moved)
				return false;
			items = moved;
			capacity = grown;
		}
		items[count++] = item;
		return true;
	}
	void release()
	{
		free(items);
		items = nullptr;
		count = capacity = 0;
	}
};

// Bump allocator for the text form's names and data and for realigned binary
// data; everything goes at once when the document is freed.
class ZF_Arena
{
public:
	ZF_Arena() = default;
	ZF_Arena(const ZF_Arena&) = delete;
	ZF_Arena& operator=(const ZF_Arena&) = delete;
	~ZF_Arena();
	// size bytes aligned to 8; null when out of memory.
	void* alloc(size_t size);
	// Gives back the unused tail of the most recent allocation.
	void shrinkLast(void* last, size_t used);
	char* copyText(const char* text, size_t length);

private:
	struct Block
	{
		Block* next;
	};
	Block* m_blocks = nullptr;
	char* m_cur = nullptr;
	char* m_end = nullptr;
	char* m_last = nullptr;  // newest allocation of the current block
};

struct ZF_Document
{
	ZF_Node* root;
	int form;                   // EZF_Form
	char* buffer;               // the file, kept for the binary form
	ZF_Node* nodes;             // depth-first, the root first
	const ZF_Node** childBlock; // every group's child pointers
	ZF_ArrayEntry* entryBlock;  // every array's entries
	ZF_Arena arena;
};

// A node while parsing; `kids` holds node indices (groups), `elements` the
// array's entries.
struct ZF_TmpNode
{
	ZF_Node node;
	ZF_List<uint32_t> kids;
	ZF_List<ZF_ArrayEntry> elements;
};

// The tree under construction: the nodes in document order (depth-first).
struct ZF_Builder
{
	ZF_List<ZF_TmpNode> nodes;

	bool init();
	void release();
	// A new node added to the group `parent`; its index, or -1 out of memory.
	int32_t addNode(uint32_t parent, uint32_t kind, uint32_t type, const char* name);
	bool addElement(uint32_t array, uint32_t count, const void* data);
};

// Adds `child` to the child list of `group`.
bool ZF_AddChild(ZF_TmpNode& group, uint32_t child);
// Moves the parsed tree into the document's three blocks.
bool ZF_Flatten(ZF_Builder& builder, ZF_Document& document);

// The readers fill the builder; false (with the message logged) on failure.
// The binary reader works in place on the whole file (header included); the
// text reader over NUL-terminated text, copying into the document's arena.
bool ZF_ReadBinary(ZF_Builder& builder, ZF_Document& document, char* data, size_t size);
bool ZF_ReadText(ZF_Builder& builder, ZF_Document& document, const char* text);

// Walks FP_C records of `wordCount` 32-bit words: the number of floats they
// stand for, or -1 when a record runs past the data or the channel is too long.
int64_t ZF_CheckChannel(const uint32_t* words, size_t wordCount);
// Number of words of the records that make up the first `count` floats.
size_t ZF_ChannelWords(const uint32_t* words, uint32_t count);

// Reads a checked FP_C channel: the cursor starts at the first record and only
// moves forward, so ascending look-ups walk the records once.
struct ZF_ChannelCursor
{
	const uint32_t* record;
	uint32_t first;   // index of the record's first float
};
// The float at index i (cursor's first <= i < count).
float ZF_FPCGet(ZF_ChannelCursor& cursor, uint32_t i);

inline uint32_t ZF_LoadBE32(const char* p)
{
	uint32_t v;
	memcpy(&v, p, 4);
	return __builtin_bswap32(v);
}
