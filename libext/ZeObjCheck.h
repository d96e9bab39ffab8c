// OBJ text checked before the Open Asset Import Library reads it. The library
// keeps the meshes it has built when a later face names a vertex that does
// not exist (they leak), and its triangulation takes time that grows with the
// square of a face's corners. The check reads the statements as the library
// does (lines end at a line feed, carriage return, null or form feed; a
// backslash right before the line feed continues the line; a statement's
// first character names it) and refuses a face, line or point whose vertex
// index names no vertex, a face of more corners than a LightWave polygon may
// have (1023), and a line of one corner (the library writes a vertex it did
// not count for it, and gives up leaking the meshes it built).
#pragma once

#include <cstddef>
#include <string>

namespace ze
{
// Whether the import library may read the OBJ text; when not, `refusal`
// (when given) says where and why.
bool zeCheckObj(const char* data, size_t size, std::string* refusal);
} // namespace ze
