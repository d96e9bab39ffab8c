// ZF library internals shared by the readers, the document and the writer.
//
// Index:
//   - Limits
//   - ZF_List: growable scratch lists
//   - ZF_Arena: the document's memory
//   - ZF_Document
//   - ZF_TreeBuilder: the tree as a reader meets it
//   - Readers and FP_C channels
#pragma once

#include "scene/ZF.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

// ---- Limits -------------------------------------------------------------------
// Groups open at a time counting the root, in both forms.
constexpr int ZF_MAX_DEPTH = 20;
// Longest channel (floats) a document may hold, so indices fit an int.
constexpr uint64_t ZF_MAX_CHANNEL = 0x7FFFFFFF;
// Most children of a group or elements of an array.
constexpr uint32_t ZF_MAX_LIST = 0x7FFFFFFF;

// ---- ZF_List ------------------------------------------------------------------
// A growable list of plain records: when full it grows to count + 1 + extra,
// extra being 5 below a capacity of 5, else the count below 500, else a
// quarter of the count.
template <typename T>
struct ZF_List
{
	T* items = nullptr;
	uint32_t count = 0;
	uint32_t capacity = 0;

	ZF_List() = default;
	ZF_List(const ZF_List&) = delete;
	ZF_List& operator=(const ZF_List&) = delete;
	~ZF_List() { free(items); }

	bool push(const T& item)
	{
		if (count == capacity && !grow())
			return false;
		items[count++] = item;
		return true;
	}

private:
	bool grow()
	{
		const uint32_t extra = capacity < 5 ? 5 : capacity < 500 ? count : count / 4;
		const uint64_t grown = uint64_t(count) + 1 + extra;
		if (grown > ZF_MAX_LIST)
			return false;
		T* moved = static_cast<T*>(realloc(static_cast<void*>(items), sizeof(T) * grown));
		if (!moved)
			return false;
		items = moved;
		capacity = static_cast<uint32_t>(grown);
		return true;
	}
};

// ---- ZF_Arena -----------------------------------------------------------------
// Bump allocator that holds a document: its nodes, child and element lists,
// the text form's names and data, realigned binary data and everything added
// by editing. Blocks double in size, so a document takes a few blocks; all go
// at once when the document is freed.
class ZF_Arena
{
public:
	ZF_Arena() = default;
	ZF_Arena(const ZF_Arena&) = delete;
	ZF_Arena& operator=(const ZF_Arena&) = delete;
	~ZF_Arena();
	// Size of the next block when the current one is full (an estimate of what
	// a document will need); nothing is allocated yet.
	void reserve(size_t bytes);
	// size bytes aligned to 8; null when out of memory.
	void* alloc(size_t size)
	{
		const size_t rounded = (size + 7) & ~static_cast<size_t>(7);
		if (size == 0 || size > SIZE_MAX / 4 || rounded > static_cast<size_t>(m_end - m_cur))
			return allocBlock(size);
		m_last = m_cur;
		m_cur += rounded;
		return m_last;
	}
	// Gives back the unused tail of the most recent allocation.
	void shrinkLast(void* last, size_t used);
	char* copyText(const char* text, size_t length);
	// Whether p lies in one of the arena's blocks.
	bool owns(const void* p) const;

private:
	// alloc of sizes 0 and beyond the current block.
	void* allocBlock(size_t size);

	struct Block
	{
		Block* next;
		size_t size;  // payload bytes
	};
	Block* m_blocks = nullptr;
	char* m_cur = nullptr;
	char* m_end = nullptr;
	char* m_last = nullptr;  // newest allocation of the current block
	size_t m_next = 0;       // payload of the next block
};

// ---- ZF_Document --------------------------------------------------------------
struct ZF_Document
{
	ZF_Node* root;
	int form;        // EZF_Form
	char* buffer;    // the file, kept for the binary form (names and data stay in it)
	int unclosed;    // groups and array the text left open at its end
	ZF_Arena arena;
};

// A new node of the document (name not copied); null when out of memory.
inline ZF_Node* ZF_NewNode(ZF_Document& document, uint32_t kind, uint32_t type, const char* name)
{
	ZF_Node* node = static_cast<ZF_Node*>(document.arena.alloc(sizeof(ZF_Node)));
	if (node)
	{
		node->kind = static_cast<uint16_t>(kind);
		node->type = static_cast<uint16_t>(type);
		node->count = 0;
		node->name = name;
		node->data = nullptr;
	}
	return node;
}

// Child pointers and array entries live in the arena behind one word that
// holds their capacity; a list of exactly `count` items made in one go.
const ZF_Node** ZF_NewChildList(ZF_Arena& arena, const ZF_Node* const* items, uint32_t count);
ZF_ArrayEntry* ZF_NewEntryList(ZF_Arena& arena, const ZF_ArrayEntry* items, uint32_t count);

// ---- ZF_TreeBuilder -----------------------------------------------------------
// Builds a document's tree in document order, the way a reader meets it: nodes
// go straight into the arena; the children of every open group and the
// elements of the open array wait in two scratch lists and move into the
// arena, exactly sized, when their group or array closes.
class ZF_TreeBuilder
{
public:
	explicit ZF_TreeBuilder(ZF_Document& document) : m_document(document) {}
	ZF_TreeBuilder(const ZF_TreeBuilder&) = delete;
	ZF_TreeBuilder& operator=(const ZF_TreeBuilder&) = delete;

	// Makes the root group "root" and opens it; false out of memory.
	bool begin();
	// A group added to the innermost open group and opened; null when out of
	// memory or ZF_MAX_DEPTH groups are open.
	ZF_Node* openGroup(const char* name);
	// Closes the innermost group (never the root); false out of memory.
	bool closeGroup();
	// A value added to the innermost open group; null out of memory.
	ZF_Node* addValue(uint32_t type, const char* name, uint32_t count, const void* data)
	{
		ZF_Node* node = ZF_NewNode(m_document, ZF_VALUE, type, name);
		if (!addChild(node))
			return nullptr;
		node->count = count;
		node->data = data;
		return node;
	}
	// An array added to the innermost open group and opened for its elements
	// (one array at a time); null out of memory.
	ZF_Node* openArray(uint32_t type, const char* name);
	bool addElement(uint32_t count, const void* data);
	bool closeArray();
	// Closes the open array and groups, the root last; false out of memory.
	bool finish();
	// Open groups counting the root.
	int depth() const { return m_depth; }
	bool arrayOpen() const { return m_array != nullptr; }

private:
	bool addChild(ZF_Node* node) { return node && m_children.push(node); }

	ZF_Document& m_document;
	ZF_List<const ZF_Node*> m_children;  // of every open group, the innermost last
	ZF_List<ZF_ArrayEntry> m_elements;   // of the open array
	ZF_Node* m_group[ZF_MAX_DEPTH] = {};
	uint32_t m_first[ZF_MAX_DEPTH] = {};  // the group's first child in m_children
	int m_depth = 0;
	ZF_Node* m_array = nullptr;
};

// ---- Readers and FP_C channels ------------------------------------------------
// The readers fill the builder; false (with the message logged) on failure.
// The binary reader works in place on the whole file (header included); the
// text reader over NUL-terminated text, copying into the document's arena.
bool ZF_ReadBinary(ZF_TreeBuilder& builder, ZF_Document& document, char* data, size_t size);
bool ZF_ReadText(ZF_TreeBuilder& builder, ZF_Document& document, const char* text);

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
