// ZF documents: the engine's scene documents, a tree of named groups, typed
// values and arrays, loaded from a text or a big-endian chunked binary form,
// with typed getters and the interpolation of keyed channels. A document holds
// its whole tree in a few blocks of its own; trees can also be built and
// changed, and written in either form.
//
// Index:
//   - Types: node kinds, value types, nodes
//   - Loading and the tree
//   - Building and editing
//   - Typed getters
//   - Interpolation
//   - Writing
#pragma once

#include <vector2d.h>
#include <vector3d.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---- Types ------------------------------------------------------------------
enum EZF_NodeKind
{
	ZF_GROUP = 0,
	ZF_VALUE = 1,
	ZF_ARRAY = 2
};

// The type word of the binary form and the type token of the text form.
enum EZF_ValueType
{
	ZF_I4 = 0,    // "I4": signed 32-bit integers
	ZF_U4 = 1,    // "U4": unsigned 32-bit integers
	ZF_FP = 2,    // "FP": single floats
	ZF_STR = 3,   // "STR": NUL-terminated text; count is its length
	ZF_FP_C = 4   // "FP_C": run-packed float channel; count is its number of floats
};

enum EZF_Form
{
	ZF_FORM_BINARY = 0,
	ZF_FORM_TEXT = 1
};

// One element of an array: its count (as for a value) and its data.
struct ZF_ArrayEntry
{
	uint32_t count;
	const void* data;
};

// One node. FP_C data is a sequence of 32-bit records: {0, n, v} stands for n
// copies of v, {flag != 0, n, v1 ... vn} for the n floats given. Of the three
// pointers only the one of the node's kind is set.
struct ZF_Node
{
	uint16_t kind;                      // EZF_NodeKind
	uint16_t type;                      // value or array: EZF_ValueType; group: 0
	uint32_t count;                     // group: children; value: count; array: elements
	const char* name;
	union
	{
		const ZF_Node* const* children; // group: `count` child pointers
		const void* data;               // value: int32_t, uint32_t, float, char or FP_C words
		const ZF_ArrayEntry* entries;   // array: `count` element entries
	};
};

struct ZF_Document;

// ---- Loading and the tree ---------------------------------------------------
// Reads the whole file through the file layer and builds its tree. A new
// document that ZF_Free frees, or null (missing, empty or invalid file).
ZF_Document* ZF_Load(const char* path);
// As ZF_Load over a copy of size bytes of memory.
ZF_Document* ZF_LoadMemory(const void* data, size_t size);
// Frees the document and every node; null is allowed.
void ZF_Free(ZF_Document* document);
// The root group "root", whose children are the file's top-level nodes.
const ZF_Node* ZF_GetRoot(const ZF_Document* document);
// ZF_FORM_BINARY or ZF_FORM_TEXT; -1 for null.
int ZF_GetForm(const ZF_Document* document);
// The groups (the root not counted) and the array a text document left open
// at its end, which the reader closed: more than 0 when the text was cut
// short. 0 for a complete document, the binary form (whose reader refuses a
// cut file) and null.
int ZF_GetUnclosed(const ZF_Document* document);
// Tells the forms apart by the first 12 bytes: ZF_FORM_BINARY, ZF_FORM_TEXT, or
// -1 with the reason logged.
int ZF_GetFormat(const char* data, size_t size);

// The first child named exactly `name`; null when the group is null, has no
// children or none matches.
const ZF_Node* ZF_GetChild(const ZF_Node* group, const char* name);
// The i-th child of a group; null when out of range or not a group.
const ZF_Node* ZF_GetChildAt(const ZF_Node* group, int i);
// Children, count or elements as ZF_Node::count; 0 for null.
uint32_t ZF_GetCount(const ZF_Node* node);

// ---- Building and editing ---------------------------------------------------
// Nodes added to a document live in it (names and data are copied) and go
// when it is freed; `group` and `array` must be nodes of that document, loaded
// or added. Pointers to a group's children or an array's entries taken before
// an addition may be stale after it.

// A new document holding only the root group (form ZF_FORM_TEXT); ZF_Free
// frees it. Null when out of memory.
ZF_Document* ZF_Create();
// A new group, value or array added as the last child of `group`; null (with a
// message) when `group` is no group of the document, the data do not fit the
// type, or out of memory. Value data are `size` 32-bit words for I4, U4, FP and
// FP_C (whole FP_C records), or `size` characters without NUL for STR.
const ZF_Node* ZF_AddGroup(ZF_Document* document, const ZF_Node* group, const char* name);
const ZF_Node* ZF_AddValue(ZF_Document* document, const ZF_Node* group, uint32_t type, const char* name,
                           const void* data, size_t size);
const ZF_Node* ZF_AddArray(ZF_Document* document, const ZF_Node* group, uint32_t type, const char* name);
// Adds an element of the array's type, data as for ZF_AddValue; false (with a
// message) on failure.
bool ZF_AddElement(ZF_Document* document, const ZF_Node* array, const void* data, size_t size);
// Gives a value of the document a new type and data; false (with a message)
// on failure, the value unchanged.
bool ZF_SetValue(ZF_Document* document, const ZF_Node* value, uint32_t type, const void* data, size_t size);

// ---- Typed getters ----------------------------------------------------------
// One, two or three floats at key index i. An FP value gives its first floats
// whatever i is; another value is read as a channel at i clamped to its last
// float (integers as numbers, strings as 0 with a message). An FP array gives
// the first float of elements 0, 1, 2; another array element 0, 1, 2 read as
// channels at i. Anything missing reads as 0; null gives 0.
float ZF_GetFP(const ZF_Node* node, int i);
irr::core::vector2df ZF_GetFP2(const ZF_Node* node, int i);
irr::core::vector3df ZF_GetFP3(const ZF_Node* node, int i);

// Word i (clamped to the last) of an I4 or U4 value; 0 for any other node.
int32_t ZF_GetI4(const ZF_Node* node, int i);
uint32_t ZF_GetU4(const ZF_Node* node, int i);
// The text of an STR value, or of element i of an STR array; null otherwise.
const char* ZF_GetSTR(const ZF_Node* node, int i = 0);
// The numbers of a value, or of element j of an array, in key order as runs
// of keys holding one number: a packed run of an FP_C channel is one run,
// every other number a run of one key (integers as numbers). None for a
// group, a string or a missing element. The runs are never more than the
// numbers stored, however many keys they stand for.
struct ZF_Run
{
	uint32_t first;  // the run's first key
	uint32_t count;  // its keys
	float value;
};
std::vector<ZF_Run> ZF_GetRuns(const ZF_Node* node, uint32_t j = 0);

// ---- Interpolation ----------------------------------------------------------
// The channel value at a fractional frame by linear interpolation between the
// keys around it (frames below 0 give the first key, beyond the last the last).
// ZF_FP_Lerp: an FP value gives its first float, another value is one channel;
// an array gives a message and 0.
float ZF_FP_Lerp(const ZF_Node* node, float frame);
// An FP value (its first two or three floats) or an FP_C array of exactly 2 or
// 3 elements; anything else gives a message and zeros.
irr::core::vector2df ZF_FP2_Lerp(const ZF_Node* node, float frame);
irr::core::vector3df ZF_FP3_Lerp(const ZF_Node* node, float frame);
// A rotation (Euler angles in radians about x, y, z) interpolated on the unit
// quaternion sphere; an FP value or an FP_C array of exactly 3 elements, else a
// message and (0, 0, 0).
irr::core::vector3df ZF_FP3_Slerp_HPB_To_XYZ(const ZF_Node* node, float frame);

// ---- Writing ----------------------------------------------------------------
// Write the children of `root` as a document's top level into `out`. False,
// with a message, when the tree cannot be written in that form (the text form
// holds no names with blanks or line breaks, no strings with line breaks, no
// empty I4, U4 or FP values; groups nest at most 20 deep counting the root).
bool ZF_WriteText(const ZF_Node* root, std::string& out);
bool ZF_WriteBinary(const ZF_Node* root, std::string& out);
// Writes the tree to a plain file in the given EZF_Form; false on failure.
bool ZF_Save(const ZF_Node* root, const char* path, int form);
