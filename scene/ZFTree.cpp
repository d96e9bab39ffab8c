// ZF documents: the arena that holds a document, the tree builder of the
// readers, and building and editing trees through the public functions.
#include "scene/ZFPrivate.h"

#include "frame/ZeLog.h"

#include <algorithm>
#include <functional>
#include <new>

#include <sys/mman.h>

// ---- Arena --------------------------------------------------------------------
namespace
{
constexpr size_t FIRST_BLOCK = 64 * 1024;
constexpr size_t LARGEST_STEP = 64 * 1024 * 1024;  // blocks stop doubling here
constexpr size_t BLOCK_HEADER = 16;                // keeps the payload 16-aligned
// Large blocks come straight from the system in huge pages where it offers
// them: a node-dense document touches tens of megabytes of new memory, and
// faulting it in page by page costs more than building the tree.
constexpr size_t LARGE_BLOCK = 2 * 1024 * 1024;

void* systemAlloc(size_t bytes)
{
	if (bytes < LARGE_BLOCK)
		return malloc(bytes);
	void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
	if (p == MAP_FAILED)
		return nullptr;
#ifdef MADV_HUGEPAGE
	madvise(p, bytes, MADV_HUGEPAGE);
#endif
	return p;
}

void systemFree(void* p, size_t bytes)
{
	if (bytes < LARGE_BLOCK)
		free(p);
	else
		munmap(p, bytes);
}

size_t align8(size_t n)
{
	return (n + 7) & ~static_cast<size_t>(7);
}
} // namespace

ZF_Arena::~ZF_Arena()
{
	while (m_blocks)
	{
		Block* next = m_blocks->next;
		systemFree(m_blocks, BLOCK_HEADER + m_blocks->size);
		m_blocks = next;
	}
}

void ZF_Arena::reserve(size_t bytes)
{
	m_next = std::max(m_next, bytes);
}

void* ZF_Arena::allocBlock(size_t size)
{
	if (size > SIZE_MAX / 4)
		return nullptr;
	size = align8(size ? size : 1);
	if (size <= static_cast<size_t>(m_end - m_cur))
		return alloc(size);
	size_t payload = align8(std::max({ size, m_next, FIRST_BLOCK }));
	Block* block = static_cast<Block*>(systemAlloc(BLOCK_HEADER + payload));
	if (!block && payload > size)
	{
		// The estimate was too much to have: a block of what is asked for.
		payload = size;
		block = static_cast<Block*>(systemAlloc(BLOCK_HEADER + payload));
	}
	if (!block)
		return nullptr;
	block->next = m_blocks;
	block->size = payload;
	m_blocks = block;
	m_cur = reinterpret_cast<char*>(block) + BLOCK_HEADER;
	m_end = m_cur + payload;
	m_next = payload < LARGEST_STEP ? payload * 2 : payload;
	m_last = m_cur;
	m_cur += size;
	return m_last;
}

void ZF_Arena::shrinkLast(void* last, size_t used)
{
	if (last && last == m_last)
		m_cur = m_last + align8(used ? used : 1);
}

char* ZF_Arena::copyText(const char* text, size_t length)
{
	char* copy = static_cast<char*>(alloc(length + 1));
	if (copy)
	{
		if (length)
			memcpy(copy, text, length);
		copy[length] = 0;
	}
	return copy;
}

bool ZF_Arena::owns(const void* p) const
{
	const std::less<const void*> before;
	for (const Block* block = m_blocks; block; block = block->next)
	{
		const char* start = reinterpret_cast<const char*>(block) + BLOCK_HEADER;
		if (!before(p, start) && before(p, start + block->size))
			return true;
	}
	return false;
}

// ---- Nodes and lists ----------------------------------------------------------
namespace
{
const char ROOT_NAME[] = "root";

// Room for `capacity` items behind the word that holds the capacity.
void* newList(ZF_Arena& arena, uint32_t capacity, size_t itemSize)
{
	uint64_t* block = static_cast<uint64_t*>(arena.alloc(8 + size_t(capacity) * itemSize));
	if (!block)
		return nullptr;
	block[0] = capacity;
	return block + 1;
}

uint32_t listCapacity(const void* items)
{
	return items ? static_cast<uint32_t>(static_cast<const uint64_t*>(items)[-1]) : 0;
}

// Appends to a list of the arena, doubling its room when it is full.
template <typename T>
bool appendItem(ZF_Arena& arena, T*& items, uint32_t& count, const T& item)
{
	if (count == listCapacity(items))
	{
		if (count >= ZF_MAX_LIST)
			return false;
		const uint32_t grown = count < 4 ? 4 : count > ZF_MAX_LIST / 2 ? ZF_MAX_LIST : count * 2;
		T* moved = static_cast<T*>(newList(arena, grown, sizeof(T)));
		if (!moved)
			return false;
		if (count)
			memcpy(static_cast<void*>(moved), items, sizeof(T) * count);
		items = moved;
	}
	items[count++] = item;
	return true;
}
} // namespace

const ZF_Node** ZF_NewChildList(ZF_Arena& arena, const ZF_Node* const* items, uint32_t count)
{
	if (count == 0)
		return nullptr;
	const ZF_Node** list = static_cast<const ZF_Node**>(newList(arena, count, sizeof(ZF_Node*)));
	if (list)
		memcpy(static_cast<void*>(list), items, sizeof(ZF_Node*) * count);
	return list;
}

ZF_ArrayEntry* ZF_NewEntryList(ZF_Arena& arena, const ZF_ArrayEntry* items, uint32_t count)
{
	if (count == 0)
		return nullptr;
	ZF_ArrayEntry* list = static_cast<ZF_ArrayEntry*>(newList(arena, count, sizeof(ZF_ArrayEntry)));
	if (list)
		memcpy(static_cast<void*>(list), items, sizeof(ZF_ArrayEntry) * count);
	return list;
}

// ---- Tree builder -------------------------------------------------------------
bool ZF_TreeBuilder::begin()
{
	ZF_Node* root = ZF_NewNode(m_document, ZF_GROUP, 0, ROOT_NAME);
	if (!root)
		return false;
	m_document.root = root;
	m_group[0] = root;
	m_first[0] = 0;
	m_depth = 1;
	return true;
}

ZF_Node* ZF_TreeBuilder::openGroup(const char* name)
{
	if (m_depth >= ZF_MAX_DEPTH)
		return nullptr;
	ZF_Node* node = ZF_NewNode(m_document, ZF_GROUP, 0, name);
	if (!addChild(node))
		return nullptr;
	m_group[m_depth] = node;
	m_first[m_depth] = m_children.count;
	++m_depth;
	return node;
}

bool ZF_TreeBuilder::closeGroup()
{
	if (m_depth < 2)
		return false;
	--m_depth;
	ZF_Node* group = m_group[m_depth];
	const uint32_t first = m_first[m_depth];
	group->count = m_children.count - first;
	group->children = ZF_NewChildList(m_document.arena, m_children.items + first, group->count);
	m_children.count = first;
	return group->count == 0 || group->children;
}

ZF_Node* ZF_TreeBuilder::openArray(uint32_t type, const char* name)
{
	if (m_array && !closeArray())
		return nullptr;
	ZF_Node* node = ZF_NewNode(m_document, ZF_ARRAY, type, name);
	if (!addChild(node))
		return nullptr;
	m_array = node;
	return node;
}

bool ZF_TreeBuilder::addElement(uint32_t count, const void* data)
{
	return m_array && m_elements.push(ZF_ArrayEntry{ count, data });
}

bool ZF_TreeBuilder::closeArray()
{
	if (!m_array)
		return false;
	m_array->count = m_elements.count;
	m_array->entries = ZF_NewEntryList(m_document.arena, m_elements.items, m_elements.count);
	const bool made = m_elements.count == 0 || m_array->entries;
	m_elements.count = 0;
	m_array = nullptr;
	return made;
}

bool ZF_TreeBuilder::finish()
{
	if (m_array && !closeArray())
		return false;
	while (m_depth > 1)
	{
		if (!closeGroup())
			return false;
	}
	if (m_depth == 1)
	{
		ZF_Node* root = m_group[0];
		root->count = m_children.count;
		root->children = ZF_NewChildList(m_document.arena, m_children.items, root->count);
		m_children.count = 0;
		m_depth = 0;
		return root->count == 0 || root->children;
	}
	return true;
}

// ---- Building and editing -----------------------------------------------------
namespace
{
const char* const KIND_NAMES[] = { "a group", "a value", "an array" };

// The node as one of the document's own, writable; null (with a message) when
// it is not a node of that kind made by this document.
ZF_Node* ownNode(ZF_Document* document, const ZF_Node* node, uint32_t kind, const char* function)
{
	if (!document || !node || node->kind != kind || !document->arena.owns(node))
	{
		zeDebugPrintf("%s: not %s of this document\n", function, KIND_NAMES[kind]);
		return nullptr;
	}
	return const_cast<ZF_Node*>(node);
}

// A copy of a value's data in the arena and its count: `size` words, or for
// STR `size` characters. False (with a message) when they do not fit the type.
bool copyData(ZF_Document& document, uint32_t type, const void* data, size_t size, uint32_t& count,
	const void*& copy, const char* function)
{
	if (type > ZF_FP_C)
	{
		zeDebugPrintf("%s: unknown value type %u\n", function, type);
		return false;
	}
	if ((size && !data) || size >= ZF_MAX_CHANNEL)
	{
		zeDebugPrintf("%s: no data or too much\n", function);
		return false;
	}
	if (type == ZF_STR)
	{
		if (memchr(data, 0, size))
		{
			zeDebugPrintf("%s: text with a NUL inside\n", function);
			return false;
		}
		copy = document.arena.copyText(static_cast<const char*>(data), size);
		count = static_cast<uint32_t>(size);
		return copy != nullptr;
	}
	uint32_t* words = static_cast<uint32_t*>(document.arena.alloc(size * 4));
	if (!words)
		return false;
	if (size)
		memcpy(words, data, size * 4);
	copy = words;
	if (type != ZF_FP_C)
	{
		count = static_cast<uint32_t>(size);
		return true;
	}
	const int64_t floats = ZF_CheckChannel(words, size);
	if (floats < 0)
	{
		zeDebugPrintf("%s: invalid FP_C record\n", function);
		return false;
	}
	count = static_cast<uint32_t>(floats);
	return true;
}

// A new node with a copy of the name added to the group.
ZF_Node* addNode(ZF_Document* document, const ZF_Node* group, uint32_t kind, uint32_t type, const char* name,
	const char* function)
{
	ZF_Node* parent = ownNode(document, group, ZF_GROUP, function);
	if (!parent)
		return nullptr;
	if (!name)
	{
		zeDebugPrintf("%s: node without a name\n", function);
		return nullptr;
	}
	const char* copy = document->arena.copyText(name, strlen(name));
	ZF_Node* node = copy ? ZF_NewNode(*document, kind, type, copy) : nullptr;
	const ZF_Node** children = const_cast<const ZF_Node**>(parent->children);
	if (!node || !appendItem(document->arena, children, parent->count, static_cast<const ZF_Node*>(node)))
		return nullptr;
	parent->children = children;
	return node;
}
} // namespace

ZF_Document* ZF_Create()
{
	ZF_Document* document = new (std::nothrow) ZF_Document{};
	if (!document)
		return nullptr;
	document->form = ZF_FORM_TEXT;
	ZF_TreeBuilder builder(*document);
	if (!builder.begin() || !builder.finish())
	{
		ZF_Free(document);
		return nullptr;
	}
	return document;
}

const ZF_Node* ZF_AddGroup(ZF_Document* document, const ZF_Node* group, const char* name)
{
	return addNode(document, group, ZF_GROUP, 0, name, "ZF_AddGroup");
}

const ZF_Node* ZF_AddValue(ZF_Document* document, const ZF_Node* group, uint32_t type, const char* name,
	const void* data, size_t size)
{
	uint32_t count = 0;
	const void* copy = nullptr;
	if (!ownNode(document, group, ZF_GROUP, "ZF_AddValue") ||
	    !copyData(*document, type, data, size, count, copy, "ZF_AddValue"))
		return nullptr;
	ZF_Node* node = addNode(document, group, ZF_VALUE, type, name, "ZF_AddValue");
	if (node)
	{
		node->count = count;
		node->data = copy;
	}
	return node;
}

const ZF_Node* ZF_AddArray(ZF_Document* document, const ZF_Node* group, uint32_t type, const char* name)
{
	if (type > ZF_FP_C)
	{
		zeDebugPrintf("ZF_AddArray: unknown value type %u\n", type);
		return nullptr;
	}
	return addNode(document, group, ZF_ARRAY, type, name, "ZF_AddArray");
}

bool ZF_AddElement(ZF_Document* document, const ZF_Node* array, const void* data, size_t size)
{
	ZF_Node* node = ownNode(document, array, ZF_ARRAY, "ZF_AddElement");
	uint32_t count = 0;
	const void* copy = nullptr;
	if (!node || !copyData(*document, node->type, data, size, count, copy, "ZF_AddElement"))
		return false;
	ZF_ArrayEntry* entries = const_cast<ZF_ArrayEntry*>(node->entries);
	if (!appendItem(document->arena, entries, node->count, ZF_ArrayEntry{ count, copy }))
		return false;
	node->entries = entries;
	return true;
}

bool ZF_SetValue(ZF_Document* document, const ZF_Node* value, uint32_t type, const void* data, size_t size)
{
	ZF_Node* node = ownNode(document, value, ZF_VALUE, "ZF_SetValue");
	uint32_t count = 0;
	const void* copy = nullptr;
	if (!node || !copyData(*document, type, data, size, count, copy, "ZF_SetValue"))
		return false;
	node->type = static_cast<uint16_t>(type);
	node->count = count;
	node->data = copy;
	return true;
}
