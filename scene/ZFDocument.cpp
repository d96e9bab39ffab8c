// ZF documents: loading, look-ups, getters and interpolation.
#include "scene/ZFPrivate.h"

#include "frame/ZeFile.h"
#include "frame/ZeLog.h"

#include <cmath>
#include <new>

// ---- FP_C channels -------------------------------------------------------------
int64_t ZF_CheckChannel(const uint32_t* words, size_t wordCount)
{
	uint64_t floats = 0;
	size_t at = 0;
	while (at < wordCount)
	{
		if (wordCount - at < 2)
			return -1;
		const uint32_t n = words[at + 1];
		const uint64_t length = words[at] == 0 ? 3 : 2 + static_cast<uint64_t>(n);
		if (length > wordCount - at)
			return -1;
		floats += n;
		if (floats > ZF_MAX_CHANNEL)
			return -1;
		at += static_cast<size_t>(length);
	}
	return static_cast<int64_t>(floats);
}

size_t ZF_ChannelWords(const uint32_t* words, uint32_t count)
{
	size_t at = 0;
	uint64_t floats = 0;
	while (floats < count)
	{
		const uint32_t n = words[at + 1];
		floats += n;
		at += words[at] == 0 ? 3 : 2 + static_cast<size_t>(n);
	}
	return at;
}

float ZF_FPCGet(ZF_ChannelCursor& cursor, uint32_t i)
{
	for (;;)
	{
		const uint32_t* record = cursor.record;
		const uint32_t n = record[1];
		if (i - cursor.first < n)
		{
			float value;
			memcpy(&value, record[0] == 0 ? &record[2] : &record[2 + (i - cursor.first)], 4);
			return value;
		}
		cursor.first += n;
		cursor.record = record + (record[0] == 0 ? 3 : 2 + static_cast<size_t>(n));
	}
}

// ---- Loading -------------------------------------------------------------------
int ZF_GetFormat(const char* data, size_t size)
{
	if (!data || size < 12)
	{
		zeDebugPrintf("Error, file size < 12 bytes\n");
		return -1;
	}
	if (memcmp(data, "FORM", 4) == 0 && memcmp(data + 8, "ZLVF", 4) == 0)
	{
		if (static_cast<uint64_t>(ZF_LoadBE32(data + 4)) + 8 == size)
			return ZF_FORM_BINARY;
		zeDebugPrintf("Error, ZF binary FORM size mismatch file size\n");
		return -1;
	}
	for (int i = 0; i < 12; ++i)
	{
		if (static_cast<unsigned char>(data[i]) < 9)
		{
			zeDebugPrintf("Error, file is not ZF format\n");
			return -1;
		}
	}
	return ZF_FORM_TEXT;
}

namespace
{
// Builds the document over a buffer of size + 1 bytes (NUL last) that it takes.
ZF_Document* loadBuffer(char* buffer, size_t size)
{
	const int form = ZF_GetFormat(buffer, size);
	if (form < 0)
	{
		zeDebugPrintf("Error, Not a ZF file\n");
		delete[] buffer;
		return nullptr;
	}
	ZF_Document* document = new (std::nothrow) ZF_Document{};
	if (!document)
	{
		delete[] buffer;
		return nullptr;
	}
	document->form = form;
	// A node-dense document needs about as much again as its file.
	document->arena.reserve(size);
	bool ok;
	{
		ZF_TreeBuilder builder(*document);
		ok = builder.begin() &&
		     (form == ZF_FORM_BINARY ? ZF_ReadBinary(builder, *document, buffer, size)
		                             : ZF_ReadText(builder, *document, buffer)) &&
		     builder.finish();
	}
	if (ok && form == ZF_FORM_BINARY)
		document->buffer = buffer;
	else
		delete[] buffer;
	if (!ok)
	{
		ZF_Free(document);
		return nullptr;
	}
	return document;
}
} // namespace

ZF_Document* ZF_Load(const char* path)
{
	long size = 0;
	char* buffer = path ? zeReadFile(path, &size) : nullptr;
	if (!buffer || size <= 0)
	{
		delete[] buffer;
		return nullptr;
	}
	return loadBuffer(buffer, static_cast<size_t>(size));
}

ZF_Document* ZF_LoadMemory(const void* data, size_t size)
{
	if (!data || size == 0)
		return nullptr;
	char* buffer = new (std::nothrow) char[size + 1];
	if (!buffer)
		return nullptr;
	memcpy(buffer, data, size);
	buffer[size] = 0;
	return loadBuffer(buffer, size);
}

void ZF_Free(ZF_Document* document)
{
	if (!document)
		return;
	delete[] document->buffer;
	delete document;
}

const ZF_Node* ZF_GetRoot(const ZF_Document* document)
{
	return document ? document->root : nullptr;
}

int ZF_GetForm(const ZF_Document* document)
{
	return document ? document->form : -1;
}

int ZF_GetUnclosed(const ZF_Document* document)
{
	return document ? document->unclosed : 0;
}

// ---- Look-ups ------------------------------------------------------------------
const ZF_Node* ZF_GetChild(const ZF_Node* group, const char* name)
{
	if (!group || !name || group->kind != ZF_GROUP)
		return nullptr;
	for (uint32_t i = 0; i < group->count; ++i)
	{
		if (strcmp(group->children[i]->name, name) == 0)
			return group->children[i];
	}
	return nullptr;
}

const ZF_Node* ZF_GetChildAt(const ZF_Node* group, int i)
{
	if (!group || group->kind != ZF_GROUP || i < 0 || static_cast<uint32_t>(i) >= group->count)
		return nullptr;
	return group->children[i];
}

uint32_t ZF_GetCount(const ZF_Node* node)
{
	return node ? node->count : 0;
}

// ---- Getters -------------------------------------------------------------------
namespace
{
// One value or array element seen as a list of numbers.
struct Channel
{
	uint32_t type;
	uint32_t count;
	const void* data;
};

Channel valueChannel(const ZF_Node* node)
{
	return Channel{ node->type, node->count, node->data };
}

// Element j of an array, or an empty channel when the array is shorter.
Channel elementChannel(const ZF_Node* node, uint32_t j)
{
	if (j >= node->count)
		return Channel{ node->type, 0, nullptr };
	return Channel{ node->type, node->entries[j].count, node->entries[j].data };
}

// Number k (k < count) of a numeric channel; strings read as 0.
float numberAt(const Channel& channel, ZF_ChannelCursor& cursor, uint32_t k)
{
	switch (channel.type)
	{
	case ZF_FP:
		return static_cast<const float*>(channel.data)[k];
	case ZF_I4:
		return static_cast<float>(static_cast<const int32_t*>(channel.data)[k]);
	case ZF_U4:
		return static_cast<float>(static_cast<const uint32_t*>(channel.data)[k]);
	case ZF_FP_C:
		return ZF_FPCGet(cursor, k);
	default:
		return 0.0f;
	}
}

// The number at index i clamped to the channel; 0 for an empty channel.
float sampleAt(const Channel& channel, int i)
{
	if (channel.count == 0)
		return 0.0f;
	uint32_t k = i < 0 ? 0 : static_cast<uint32_t>(i);
	if (k >= channel.count)
		k = channel.count - 1;
	ZF_ChannelCursor cursor{ static_cast<const uint32_t*>(channel.data), 0 };
	return numberAt(channel, cursor, k);
}

// Float j of an FP constant; 0 beyond its count.
float constantAt(const Channel& channel, uint32_t j)
{
	return j < channel.count ? static_cast<const float*>(channel.data)[j] : 0.0f;
}

// True when the node can be read as numbers; groups and strings give a message.
bool isNumeric(const char* function, const ZF_Node* node)
{
	if (node->kind == ZF_GROUP)
	{
		zeDebugPrintf("%s: group '%s' read as a number\n", function, node->name);
		return false;
	}
	if (node->type == ZF_STR)
	{
		zeDebugPrintf("%s: string '%s' read as a number\n", function, node->name);
		return false;
	}
	return true;
}

// Components 0 to n - 1 of a getter at key index i.
void getComponents(const char* function, const ZF_Node* node, int i, float* out, uint32_t n)
{
	for (uint32_t j = 0; j < n; ++j)
		out[j] = 0.0f;
	if (!node || !isNumeric(function, node))
		return;
	if (node->kind == ZF_VALUE)
	{
		const Channel channel = valueChannel(node);
		if (channel.type == ZF_FP)
		{
			for (uint32_t j = 0; j < n; ++j)
				out[j] = constantAt(channel, j);
			return;
		}
		const float value = sampleAt(channel, i);
		for (uint32_t j = 0; j < n; ++j)
			out[j] = value;
		return;
	}
	for (uint32_t j = 0; j < n; ++j)
	{
		const Channel element = elementChannel(node, j);
		out[j] = element.type == ZF_FP ? constantAt(element, 0) : sampleAt(element, i);
	}
}
} // namespace

float ZF_GetFP(const ZF_Node* node, int i)
{
	float v[1];
	getComponents("ZF_GetFP", node, i, v, 1);
	return v[0];
}

irr::core::vector2df ZF_GetFP2(const ZF_Node* node, int i)
{
	float v[2];
	getComponents("ZF_GetFP2", node, i, v, 2);
	return irr::core::vector2df(v[0], v[1]);
}

irr::core::vector3df ZF_GetFP3(const ZF_Node* node, int i)
{
	float v[3];
	getComponents("ZF_GetFP3", node, i, v, 3);
	return irr::core::vector3df(v[0], v[1], v[2]);
}

int32_t ZF_GetI4(const ZF_Node* node, int i)
{
	if (!node || node->kind != ZF_VALUE || (node->type != ZF_I4 && node->type != ZF_U4) || node->count == 0)
		return 0;
	const uint32_t k = i <= 0 ? 0 : static_cast<uint32_t>(i) >= node->count ? node->count - 1 : static_cast<uint32_t>(i);
	return static_cast<const int32_t*>(node->data)[k];
}

uint32_t ZF_GetU4(const ZF_Node* node, int i)
{
	return static_cast<uint32_t>(ZF_GetI4(node, i));
}

const char* ZF_GetSTR(const ZF_Node* node, int i)
{
	if (!node || node->type != ZF_STR)
		return nullptr;
	if (node->kind == ZF_VALUE)
		return static_cast<const char*>(node->data);
	if (node->kind == ZF_ARRAY && i >= 0 && static_cast<uint32_t>(i) < node->count)
		return static_cast<const char*>(node->entries[i].data);
	return nullptr;
}

std::vector<ZF_Run> ZF_GetRuns(const ZF_Node* node, uint32_t j)
{
	std::vector<ZF_Run> runs;
	if (!node || node->kind == ZF_GROUP || node->type == ZF_STR)
		return runs;
	const Channel channel = node->kind == ZF_VALUE ? valueChannel(node) : elementChannel(node, j);
	if (channel.type != ZF_FP_C)
	{
		ZF_ChannelCursor cursor{ nullptr, 0 };
		for (uint32_t k = 0; k < channel.count; ++k)
			runs.push_back(ZF_Run{ k, 1, numberAt(channel, cursor, k) });
		return runs;
	}
	// A checked channel: its records hold exactly `count` floats.
	const uint32_t* record = static_cast<const uint32_t*>(channel.data);
	for (uint32_t first = 0; first < channel.count;)
	{
		const uint32_t n = record[1];
		float value;
		if (record[0] == 0)
		{
			memcpy(&value, &record[2], 4);
			if (n > 0)
				runs.push_back(ZF_Run{ first, n, value });
			record += 3;
		}
		else
		{
			for (uint32_t i = 0; i < n; ++i)
			{
				memcpy(&value, &record[2 + i], 4);
				runs.push_back(ZF_Run{ first + i, 1, value });
			}
			record += 2 + static_cast<size_t>(n);
		}
		first += n;
	}
	return runs;
}

// ---- Interpolation -------------------------------------------------------------
namespace
{
// Keys a and b around the frame f of a channel, and the fraction between them.
// Clamps f to [0, count - 1] as it goes; an empty channel gives zeros.
float ZF_FrameToIndex(const Channel& channel, float& f, float& a, float& b)
{
	a = b = 0.0f;
	if (channel.count == 0)
		return 0.0f;
	ZF_ChannelCursor cursor{ static_cast<const uint32_t*>(channel.data), 0 };
	if (!(f > 0.0f))
	{
		f = 0.0f;
		a = b = numberAt(channel, cursor, 0);
		return 0.0f;
	}
	const uint32_t last = channel.count - 1;
	if (static_cast<double>(f) >= static_cast<double>(last))
	{
		f = static_cast<float>(last);
		a = b = numberAt(channel, cursor, last);
		return 0.0f;
	}
	const uint32_t k = static_cast<uint32_t>(std::floor(f));
	a = numberAt(channel, cursor, k);
	b = numberAt(channel, cursor, k + 1);
	return f - static_cast<float>(k);
}

float lerpChannel(const Channel& channel, float& f)
{
	float a;
	float b;
	const float t = ZF_FrameToIndex(channel, f, a, b);
	// A key is returned as it is, infinite ones included.
	return t == 0.0f || a == b ? a : a + t * (b - a);
}

// An FP value, or an FP_C array of exactly n elements, at the frame.
bool lerpComponents(const ZF_Node* node, float frame, float* out, uint32_t n)
{
	for (uint32_t j = 0; j < n; ++j)
		out[j] = 0.0f;
	if (node->kind == ZF_VALUE && node->type == ZF_FP)
	{
		for (uint32_t j = 0; j < n; ++j)
			out[j] = constantAt(valueChannel(node), j);
		return true;
	}
	if (node->kind != ZF_ARRAY || node->type != ZF_FP_C || node->count != n)
		return false;
	for (uint32_t j = 0; j < n; ++j)
		out[j] = lerpChannel(elementChannel(node, j), frame);
	return true;
}

struct Quat
{
	float x, y, z, w;
};

Quat fromEuler(float ax, float ay, float az)
{
	const double sr = std::sin(ax * 0.5);
	const double cr = std::cos(ax * 0.5);
	const double sp = std::sin(ay * 0.5);
	const double cp = std::cos(ay * 0.5);
	const double sy = std::sin(az * 0.5);
	const double cy = std::cos(az * 0.5);
	Quat q;
	q.x = static_cast<float>(sr * cp * cy - cr * sp * sy);
	q.y = static_cast<float>(cr * sp * cy + sr * cp * sy);
	q.z = static_cast<float>(cr * cp * sy - sr * sp * cy);
	q.w = static_cast<float>(cr * cp * cy + sr * sp * sy);
	const float length2 = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
	if (length2 != 1.0f && length2 > 0.0f)
	{
		const float scale = 1.0f / std::sqrt(length2);
		q.x *= scale;
		q.y *= scale;
		q.z *= scale;
		q.w *= scale;
	}
	return q;
}

Quat slerp(Quat q1, Quat q2, float t)
{
	const float threshold = 0.05f;
	float d = q1.x * q2.x + q1.y * q2.y + q1.z * q2.z + q1.w * q2.w;
	if (d < 0.0f)
	{
		q1 = Quat{ -q1.x, -q1.y, -q1.z, -q1.w };
		d = -d;
	}
	float s1;
	float s2;
	if (d + 1.0f > threshold)
	{
		if (1.0f - d >= threshold)
		{
			const float theta = std::acos(d);
			const float sinTheta = std::sin(theta);
			s1 = std::sin(theta * (1.0f - t)) / sinTheta;
			s2 = std::sin(theta * t) / sinTheta;
		}
		else
		{
			s1 = 1.0f - t;
			s2 = t;
		}
	}
	else
	{
		const float pi = 3.14159265358979f;
		q2 = Quat{ -q1.y, q1.x, -q1.w, q1.z };
		s1 = std::sin(pi * (0.5f - t));
		s2 = std::sin(pi * t);
	}
	return Quat{ q1.x * s1 + q2.x * s2, q1.y * s1 + q2.y * s2, q1.z * s1 + q2.z * s2, q1.w * s1 + q2.w * s2 };
}

irr::core::vector3df toEuler(const Quat& q)
{
	const double x = q.x;
	const double y = q.y;
	const double z = q.z;
	const double w = q.w;
	double s = -2.0 * (x * z - y * w);
	s = s < -1.0 ? -1.0 : s > 1.0 ? 1.0 : s;
	return irr::core::vector3df(static_cast<float>(std::atan2(2.0 * (y * z + x * w), -x * x - y * y + z * z + w * w)),
	                            static_cast<float>(std::asin(s)),
	                            static_cast<float>(std::atan2(2.0 * (x * y + z * w), x * x - y * y - z * z + w * w)));
}
} // namespace

float ZF_FP_Lerp(const ZF_Node* node, float frame)
{
	if (!node)
		return 0.0f;
	if (node->kind == ZF_ARRAY)
	{
		zeDebugPrintf("ZF_FP_Lerp not supported on array\n");
		return 0.0f;
	}
	if (!isNumeric("ZF_FP_Lerp", node))
		return 0.0f;
	const Channel channel = valueChannel(node);
	if (channel.type == ZF_FP)
		return constantAt(channel, 0);
	return lerpChannel(channel, frame);
}

irr::core::vector2df ZF_FP2_Lerp(const ZF_Node* node, float frame)
{
	float v[2] = { 0.0f, 0.0f };
	if (node && !lerpComponents(node, frame, v, 2))
		zeDebugPrintf("ZF_FP2_Lerp: unsupported value/valtype/array size\n");
	return irr::core::vector2df(v[0], v[1]);
}

irr::core::vector3df ZF_FP3_Lerp(const ZF_Node* node, float frame)
{
	float v[3] = { 0.0f, 0.0f, 0.0f };
	if (node && !lerpComponents(node, frame, v, 3))
		zeDebugPrintf("ZF_FP3_Lerp: unsupported value/valtype/array size\n");
	return irr::core::vector3df(v[0], v[1], v[2]);
}

irr::core::vector3df ZF_FP3_Slerp_HPB_To_XYZ(const ZF_Node* node, float frame)
{
	if (!node)
		return irr::core::vector3df(0.0f, 0.0f, 0.0f);
	if (node->kind == ZF_VALUE && node->type == ZF_FP)
	{
		const Channel channel = valueChannel(node);
		return toEuler(fromEuler(constantAt(channel, 0), constantAt(channel, 1), constantAt(channel, 2)));
	}
	if (node->kind != ZF_ARRAY || node->type != ZF_FP_C || node->count != 3)
	{
		zeDebugPrintf("ZF_FP3_Slerp_HPB_To_XYZ: unsupported value/valtype/array size\n");
		return irr::core::vector3df(0.0f, 0.0f, 0.0f);
	}
	float a[3];
	float b[3];
	float t = 0.0f;
	for (uint32_t j = 0; j < 3; ++j)
		t = ZF_FrameToIndex(elementChannel(node, j), frame, a[j], b[j]);
	return toEuler(slerp(fromEuler(a[0], a[1], a[2]), fromEuler(b[0], b[1], b[2]), t));
}
