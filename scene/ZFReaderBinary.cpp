// The binary ZF reader: big-endian chunks read in place over the file buffer.
// Every size is checked against what remains at its level before the payload
// is touched, so a damaged file fails with a message instead of reading past
// its chunk.
#include "scene/ZFPrivate.h"

#include "frame/ZeLog.h"

namespace
{
constexpr uint32_t ID_NODE = 0x4E4F4445;  // "NODE"
constexpr uint32_t ID_NVAL = 0x4E56414C;  // "NVAL"
constexpr uint32_t ID_NARR = 0x4E415252;  // "NARR"
constexpr uint32_t ID_AVAL = 0x4156414C;  // "AVAL"

class BinaryReader
{
public:
	BinaryReader(ZF_TreeBuilder& builder, ZF_Document& document, char* data)
	    : m_builder(builder), m_document(document), m_data(data)
	{
	}

	bool read(size_t size);

private:
	// The size of the name field at [at, end): the name, its NUL and padding to
	// 4 bytes; 0 (message given) when it does not fit.
	size_t nameField(size_t at, size_t end);
	// The value type word at `at`, checked; -1 (message given) when unknown.
	int64_t typeWord(size_t at);
	// The name field's size and the type word that follows it; -1 when the
	// chunk is too small for both or the type is unknown.
	int64_t nameAndType(size_t payload, size_t end, size_t& field);
	// Count and host-order data of `bytes` bytes of one value or element.
	bool readData(uint32_t type, size_t at, size_t bytes, uint32_t& count, const void*& data);
	bool readValue(size_t payload, size_t end);
	bool readArray(size_t payload, size_t end);

	ZF_TreeBuilder& m_builder;
	ZF_Document& m_document;
	char* m_data;
	int m_level = 0;
	size_t m_end[ZF_MAX_DEPTH] = {};
};

size_t BinaryReader::nameField(size_t at, size_t end)
{
	// Names are short and padded to whole words: look a word at a time for the
	// one that holds the NUL, then for the NUL in it.
	const char* name = m_data + at;
	const size_t size = end - at;
	size_t length = 0;
	for (; length + 4 <= size; length += 4)
	{
		uint32_t word;
		memcpy(&word, name + length, 4);
		if ((word - 0x01010101u) & ~word & 0x80808080u)
			break;
	}
	while (length < size && name[length])
		++length;
	if (length == size)
	{
		zeDebugPrintf("chunk name without terminator at level %d\n", m_level);
		return 0;
	}
	const size_t field = (length + 4) & ~static_cast<size_t>(3);
	if (field > end - at)
	{
		zeDebugPrintf("chunk too small for its name at level %d\n", m_level);
		return 0;
	}
	return field;
}

int64_t BinaryReader::typeWord(size_t at)
{
	const uint32_t type = ZF_LoadBE32(m_data + at);
	if (type > ZF_FP_C)
	{
		zeDebugPrintf("unknown value type %u at level %d\n", type, m_level);
		return -1;
	}
	return type;
}

bool BinaryReader::readData(uint32_t type, size_t at, size_t bytes, uint32_t& count, const void*& data)
{
	char* start = m_data + at;
	if (type == ZF_STR)
	{
		const void* nul = memchr(start, 0, bytes);
		if (!nul)
		{
			zeDebugPrintf("string without terminator at level %d\n", m_level);
			return false;
		}
		count = static_cast<uint32_t>(static_cast<const char*>(nul) - start);
		data = start;
		return true;
	}
	const size_t words = bytes / 4;
	// Words stay in the buffer when aligned; a chunk after an unpadded one is
	// copied so that the data can be read as words.
	char* target = start;
	if (reinterpret_cast<uintptr_t>(start) & 3)
	{
		target = static_cast<char*>(m_document.arena.alloc(words * 4));
		if (!target)
			return false;
	}
	for (size_t i = 0; i < words; ++i)
	{
		const uint32_t word = ZF_LoadBE32(start + i * 4);
		memcpy(target + i * 4, &word, 4);
	}
	data = target;
	if (type != ZF_FP_C)
	{
		count = static_cast<uint32_t>(words);
		return true;
	}
	const int64_t floats = ZF_CheckChannel(reinterpret_cast<const uint32_t*>(target), words);
	if (floats < 0)
	{
		zeDebugPrintf("invalid FP_C record at level %d\n", m_level);
		return false;
	}
	count = static_cast<uint32_t>(floats);
	return true;
}

int64_t BinaryReader::nameAndType(size_t payload, size_t end, size_t& field)
{
	field = nameField(payload, end);
	if (!field)
		return -1;
	if (end - payload - field < 4)
	{
		zeDebugPrintf("chunk too small for its name and type at level %d\n", m_level);
		return -1;
	}
	return typeWord(payload + field);
}

bool BinaryReader::readValue(size_t payload, size_t end)
{
	size_t field = 0;
	const int64_t type = nameAndType(payload, end, field);
	if (type < 0)
		return false;
	const size_t at = payload + field + 4;
	uint32_t count = 0;
	const void* data = nullptr;
	if (!readData(static_cast<uint32_t>(type), at, end - at, count, data))
		return false;
	return m_builder.addValue(static_cast<uint32_t>(type), m_data + payload, count, data) != nullptr;
}

bool BinaryReader::readArray(size_t payload, size_t end)
{
	size_t field = 0;
	const int64_t type = nameAndType(payload, end, field);
	if (type < 0)
		return false;
	if (!m_builder.openArray(static_cast<uint32_t>(type), m_data + payload))
		return false;
	size_t at = payload + field + 4;
	while (at < end)
	{
		if (end - at < 8)
		{
			zeDebugPrintf("exceed array size at level %d\n", m_level);
			return false;
		}
		const uint32_t id = ZF_LoadBE32(m_data + at);
		if (id != ID_AVAL)
		{
			zeDebugPrintf("expected AVAL chunk, found 0x%8x\n", id);
			return false;
		}
		const size_t size = ZF_LoadBE32(m_data + at + 4);
		if (size > end - at - 8)
		{
			zeDebugPrintf("exceed array size at level %d\n", m_level);
			return false;
		}
		uint32_t count = 0;
		const void* data = nullptr;
		if (!readData(static_cast<uint32_t>(type), at + 8, size, count, data) || !m_builder.addElement(count, data))
			return false;
		at += 8 + size;
	}
	return m_builder.closeArray();
}

bool BinaryReader::read(size_t size)
{
	size_t pos = 12;
	m_level = 0;
	m_end[0] = size;
	while (pos < m_end[0])
	{
		const size_t levelEnd = m_end[m_level];
		if (levelEnd - pos < 8)
		{
			zeDebugPrintf("exceed chunk size at level %d\n", m_level);
			return false;
		}
		const uint32_t id = ZF_LoadBE32(m_data + pos);
		const size_t chunkSize = ZF_LoadBE32(m_data + pos + 4);
		const size_t payload = pos + 8;
		if (chunkSize > levelEnd - payload)
		{
			zeDebugPrintf("exceed chunk size at level %d\n", m_level);
			return false;
		}
		const size_t chunkEnd = payload + chunkSize;
		if (id == ID_NODE)
		{
			const size_t field = nameField(payload, chunkEnd);
			if (!field)
				return false;
			if (m_level + 1 >= ZF_MAX_DEPTH)
			{
				zeDebugPrintf("nesting deeper than %d groups at level %d\n", ZF_MAX_DEPTH, m_level);
				return false;
			}
			if (!m_builder.openGroup(m_data + payload))
				return false;
			++m_level;
			m_end[m_level] = chunkEnd;
			pos = payload + field;
		}
		else if (id == ID_NVAL)
		{
			if (!readValue(payload, chunkEnd))
				return false;
			pos = chunkEnd;
		}
		else if (id == ID_NARR)
		{
			if (!readArray(payload, chunkEnd))
				return false;
			pos = chunkEnd;
		}
		else
		{
			zeDebugPrintf("unknown chunk ID 0x%8x\n", id);
			return false;
		}
		// Close every level that ends here; level 0 ends the document.
		for (; m_level > 0 && pos == m_end[m_level]; --m_level)
		{
			if (!m_builder.closeGroup())
				return false;
		}
	}
	return true;
}
} // namespace

bool ZF_ReadBinary(ZF_TreeBuilder& builder, ZF_Document& document, char* data, size_t size)
{
	if (size < 12)
		return false;
	BinaryReader reader(builder, document, data);
	return reader.read(size);
}
