// The ZF writer: a node tree as text or as binary, such that both forms of one
// tree load back to the same tree.
#include "scene/ZFPrivate.h"

#include "frame/ZeFile.h"
#include "frame/ZeLog.h"

#include <charconv>
#include <cstdio>

namespace
{
const char* const TYPE_TOKENS[] = { "I4", "U4", "FP", "STR", "FP_C" };

// ---- Text ----------------------------------------------------------------------
class TextWriter
{
public:
	explicit TextWriter(std::string& out) : m_out(out) {}
	bool group(const ZF_Node* node, int depth);

private:
	bool fail(const char* what, const ZF_Node* node);
	bool name(const ZF_Node* node);
	void indent(int depth) { m_out.append(static_cast<size_t>(depth - 1), '\t'); }
	void floatText(const void* word);
	// The value text of one value or element; false when text cannot hold it.
	bool valueText(const ZF_Node* node, uint32_t count, const void* data);

	std::string& m_out;
};

bool TextWriter::fail(const char* what, const ZF_Node* node)
{
	zeDebugPrintf("ZF_WriteText: %s '%s'\n", what, node->name ? node->name : "");
	return false;
}

bool TextWriter::name(const ZF_Node* node)
{
	const char* text = node->name;
	if (!text || !*text || strpbrk(text, " \t\r\n"))
		return fail("name not writable as text", node);
	m_out += text;
	return true;
}

void TextWriter::floatText(const void* word)
{
	float value;
	memcpy(&value, word, 4);
	// The shortest text that reads back to the same single: the reader rounds
	// once to the nearest single.
	char text[32];
	const std::to_chars_result shortest = std::to_chars(text, text + sizeof(text), value);
	m_out.append(text, shortest.ptr);
}

bool TextWriter::valueText(const ZF_Node* node, uint32_t count, const void* data)
{
	const uint32_t* words = static_cast<const uint32_t*>(data);
	char text[16];
	switch (node->type)
	{
	case ZF_STR:
	{
		const char* chars = static_cast<const char*>(data);
		if (memchr(chars, '\n', count) || memchr(chars, '\r', count) || memchr(chars, 0, count))
			return fail("string not writable as text", node);
		m_out += '"';
		m_out.append(chars, count);
		m_out += '"';
		return true;
	}
	case ZF_FP_C:
	{
		if (count == 0)
		{
			m_out += "DAT 0";
			return true;
		}
		const size_t length = ZF_ChannelWords(words, count);
		for (size_t at = 0; at < length;)
		{
			const uint32_t n = words[at + 1];
			if (at)
				m_out += ' ';
			m_out += words[at] == 0 ? "RUN " : "DAT ";
			m_out += std::to_string(n);
			const size_t floats = words[at] == 0 ? 1 : n;
			for (size_t i = 0; i < floats; ++i)
			{
				m_out += ' ';
				floatText(&words[at + 2 + i]);
			}
			at += 2 + floats;
		}
		return true;
	}
	default:
		if (count == 0)
			return fail("empty value not writable as text", node);
		for (uint32_t i = 0; i < count; ++i)
		{
			if (i)
				m_out += ' ';
			if (node->type == ZF_FP)
				floatText(&words[i]);
			else
			{
				if (node->type == ZF_I4)
					snprintf(text, sizeof(text), "%d", static_cast<int>(static_cast<int32_t>(words[i])));
				else
					snprintf(text, sizeof(text), "%u", static_cast<unsigned>(words[i]));
				m_out += text;
			}
		}
		return true;
	}
}

bool TextWriter::group(const ZF_Node* node, int depth)
{
	for (uint32_t i = 0; i < node->count; ++i)
	{
		const ZF_Node* child = node->children[i];
		indent(depth);
		if (child->kind == ZF_GROUP)
		{
			if (depth + 1 > ZF_MAX_DEPTH)
				return fail("groups nest too deep at", child);
			m_out += "{ ";
			if (!name(child))
				return false;
			m_out += '\n';
			if (!group(child, depth + 1))
				return false;
			indent(depth);
			m_out += "}\n";
			continue;
		}
		if (child->type > ZF_FP_C || (child->kind != ZF_VALUE && child->kind != ZF_ARRAY))
			return fail("unknown node kind or value type", child);
		m_out += TYPE_TOKENS[child->type];
		m_out += ' ';
		if (!name(child))
			return false;
		m_out += ' ';
		if (child->kind == ZF_VALUE)
		{
			if (!valueText(child, child->count, child->data))
				return false;
			m_out += '\n';
			continue;
		}
		m_out += "[\n";
		for (uint32_t e = 0; e < child->count; ++e)
		{
			indent(depth + 1);
			if (!valueText(child, child->entries[e].count, child->entries[e].data))
				return false;
			m_out += '\n';
		}
		indent(depth);
		m_out += "]\n";
	}
	return true;
}

// ---- Binary --------------------------------------------------------------------
class BinaryWriter
{
public:
	explicit BinaryWriter(std::string& out) : m_out(out) {}
	bool group(const ZF_Node* node, int depth);

private:
	bool fail(const char* what, const ZF_Node* node);
	void word(uint32_t value);
	// Starts a chunk and returns the offset of its size word.
	size_t open(const char* id);
	bool close(size_t sizeAt, const ZF_Node* node);
	void name(const char* text);
	void data(const ZF_Node* node, uint32_t count, const void* values);

	std::string& m_out;
};

bool BinaryWriter::fail(const char* what, const ZF_Node* node)
{
	zeDebugPrintf("ZF_WriteBinary: %s '%s'\n", what, node->name ? node->name : "");
	return false;
}

void BinaryWriter::word(uint32_t value)
{
	const uint32_t big = __builtin_bswap32(value);
	m_out.append(reinterpret_cast<const char*>(&big), 4);
}

size_t BinaryWriter::open(const char* id)
{
	m_out.append(id, 4);
	word(0);
	return m_out.size() - 4;
}

bool BinaryWriter::close(size_t sizeAt, const ZF_Node* node)
{
	const size_t size = m_out.size() - sizeAt - 4;
	if (size > 0xFFFFFFF0u)
		return fail("chunk larger than 4 GB at", node);
	const uint32_t big = __builtin_bswap32(static_cast<uint32_t>(size));
	memcpy(&m_out[sizeAt], &big, 4);
	return true;
}

void BinaryWriter::name(const char* text)
{
	const size_t length = strlen(text);
	m_out.append(text, length);
	m_out.append(4 - (length & 3), '\0');
}

void BinaryWriter::data(const ZF_Node* node, uint32_t count, const void* values)
{
	if (node->type == ZF_STR)
	{
		m_out.append(static_cast<const char*>(values), count);
		m_out.append(4 - (count & 3), '\0');
		return;
	}
	const uint32_t* words = static_cast<const uint32_t*>(values);
	const size_t length = node->type == ZF_FP_C ? ZF_ChannelWords(words, count) : count;
	const size_t at = m_out.size();
	m_out.resize(at + length * 4);
	char* target = &m_out[at];
	for (size_t i = 0; i < length; ++i)
	{
		const uint32_t big = __builtin_bswap32(words[i]);
		memcpy(target + i * 4, &big, 4);
	}
}

bool BinaryWriter::group(const ZF_Node* node, int depth)
{
	for (uint32_t i = 0; i < node->count; ++i)
	{
		const ZF_Node* child = node->children[i];
		if (!child->name)
			return fail("node without a name", child);
		if (child->kind == ZF_GROUP)
		{
			if (depth + 1 > ZF_MAX_DEPTH)
				return fail("groups nest too deep at", child);
			const size_t sizeAt = open("NODE");
			name(child->name);
			if (!group(child, depth + 1) || !close(sizeAt, child))
				return false;
			continue;
		}
		if (child->type > ZF_FP_C || (child->kind != ZF_VALUE && child->kind != ZF_ARRAY))
			return fail("unknown node kind or value type", child);
		const size_t sizeAt = open(child->kind == ZF_VALUE ? "NVAL" : "NARR");
		name(child->name);
		word(child->type);
		if (child->kind == ZF_VALUE)
			data(child, child->count, child->data);
		for (uint32_t e = 0; child->kind == ZF_ARRAY && e < child->count; ++e)
		{
			const size_t elementAt = open("AVAL");
			data(child, child->entries[e].count, child->entries[e].data);
			if (!close(elementAt, child))
				return false;
		}
		if (!close(sizeAt, child))
			return false;
	}
	return true;
}
} // namespace

bool ZF_WriteText(const ZF_Node* root, std::string& out)
{
	out.clear();
	if (!root || root->kind != ZF_GROUP)
		return false;
	// The comment line keeps every document at least 12 printable bytes long.
	out = "# ZF text document\n";
	TextWriter writer(out);
	return writer.group(root, 1);
}

bool ZF_WriteBinary(const ZF_Node* root, std::string& out)
{
	out.clear();
	if (!root || root->kind != ZF_GROUP)
		return false;
	out.append("FORM\0\0\0\0ZLVF", 12);
	BinaryWriter writer(out);
	if (!writer.group(root, 1))
		return false;
	if (out.size() - 8 > 0xFFFFFFFFu)
	{
		zeDebugPrintf("ZF_WriteBinary: document larger than 4 GB\n");
		return false;
	}
	const uint32_t big = __builtin_bswap32(static_cast<uint32_t>(out.size() - 8));
	memcpy(&out[4], &big, 4);
	return true;
}

bool ZF_Save(const ZF_Node* root, const char* path, int form)
{
	std::string out;
	const bool written = form == ZF_FORM_BINARY ? ZF_WriteBinary(root, out) : form == ZF_FORM_TEXT && ZF_WriteText(root, out);
	return written && path && zeWriteWholeFile(path, out.data(), out.size(), "wb") == 0;
}
