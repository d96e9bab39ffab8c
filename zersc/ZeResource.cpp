#include "zersc/ZeResource.h"
#include "frame/ZeCommandLine.h"
#include "frame/ZeFile.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace
{
const char RESOURCE_MAGIC[8] = { 'Z', 'E', 'L', 'V', 'R', 'S', 'C', '1' };

// The trailer that follows each appended block.
struct STrailer
{
	char magic[8];
	uint32_t number;
	uint32_t reserved;
	uint64_t size;
};
static_assert(sizeof(STrailer) == 24, "trailer layout");

// Walks the blocks from the end of the file; the offset of the block's data
// or -1. Sizes are checked against the room that is left before each trailer.
long findResource(FILE* f, int number)
{
	if (fseek(f, 0, SEEK_END) != 0)
		return -1;
	long end = ftell(f);
	while (end >= static_cast<long>(sizeof(STrailer)))
	{
		STrailer trailer;
		if (fseek(f, end - static_cast<long>(sizeof(trailer)), SEEK_SET) != 0 ||
			fread(&trailer, sizeof(trailer), 1, f) != 1 || memcmp(trailer.magic, RESOURCE_MAGIC, 8) != 0)
			return -1;
		const uint64_t room = static_cast<uint64_t>(end) - sizeof(trailer);
		if (trailer.size > room)
			return -1;
		const long start = static_cast<long>(room - trailer.size);
		if (trailer.number == static_cast<uint32_t>(number))
			return start;
		end = start;
	}
	return -1;
}
} // namespace

bool zeResourceExistsIn(const char* exePath, int number)
{
	FILE* f = exePath ? fopen(exePath, "rb") : nullptr;
	if (!f)
		return false;
	const bool found = findResource(f, number) >= 0;
	fclose(f);
	return found;
}

bool zeResourceExists(int number)
{
	return zeResourceExistsIn(zeGetProgramPath(), number);
}

const char* zePackDatPath(const char* exePath)
{
	static char path[2048];
	snprintf(path, sizeof(path), "%s%s.dat", zeFileGetDirPart(exePath), zeFileGetNamePart(exePath, 0));
	return path;
}

bool zePackedDataExists(const char* exePath)
{
	return zeResourceExistsIn(exePath, EZERSC_PACKED_DATA) || zeFileExist(zePackDatPath(exePath));
}
