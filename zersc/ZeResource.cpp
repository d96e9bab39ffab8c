#include "zersc/ZeResource.h"
#include "frame/ZeCommandLine.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"

#include <zlib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace
{
const char RESOURCE_MAGIC[8] = { 'Z', 'E', 'L', 'V', 'R', 'S', 'C', '1' };

// The trailer that follows each appended block, little-endian on disk.
struct STrailer
{
	char magic[8];
	uint32_t number;
	uint32_t dataCrc;   // CRC-32 of the block as stored
	uint64_t size;      // the block's size
	uint32_t check;     // CRC-32 of the 24 bytes above
	uint32_t reserved;  // 0
};
static_assert(sizeof(STrailer) == 32, "trailer layout");
const long long TRAILER_SIZE = static_cast<long long>(sizeof(STrailer));

uint32_t crc(const void* data, size_t size, uint32_t start = 0)
{
	uLong value = start;
	const Bytef* p = static_cast<const Bytef*>(data);
	while (size > 0)
	{
		const uInt chunk = size > 0x40000000u ? 0x40000000u : static_cast<uInt>(size);
		value = crc32(value, p, chunk);
		p += chunk;
		size -= chunk;
	}
	return static_cast<uint32_t>(value);
}

uint32_t trailerCheck(const STrailer& t)
{
	return crc(&t, offsetof(STrailer, check));
}

struct SBlock
{
	uint32_t number;
	uint32_t dataCrc;
	long long offset;
	long long size;
};

// Reads exactly size bytes at offset; false on a short read.
bool readAt(int fd, void* buffer, size_t size, long long offset)
{
	char* p = static_cast<char*>(buffer);
	while (size > 0)
	{
		const ssize_t got = pread(fd, p, size, static_cast<off_t>(offset));
		if (got < 0 && errno == EINTR)
			continue;
		if (got <= 0)
			return false;
		p += got;
		size -= static_cast<size_t>(got);
		offset += got;
	}
	return true;
}


// The blocks of the file, last first, and where the program image ends. A
// tail without the magic ends the chain; a trailer with the magic that does
// not check out, or whose size does not fit before it, makes the whole chain
// unusable (false).
bool readChain(int fd, std::vector<SBlock>* blocks, long long* imageEnd)
{
	blocks->clear();
	struct stat st;
	if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
		return false;
	long long end = static_cast<long long>(st.st_size);
	while (end >= TRAILER_SIZE)
	{
		STrailer t;
		if (!readAt(fd, &t, sizeof(t), end - TRAILER_SIZE))
			return false;
		if (memcmp(t.magic, RESOURCE_MAGIC, sizeof(t.magic)) != 0)
			break;
		const uint64_t room = static_cast<uint64_t>(end - TRAILER_SIZE);
		if (t.check != trailerCheck(t) || t.reserved != 0 || t.size > room)
			return false;
		const long long start = static_cast<long long>(room - t.size);
		blocks->push_back({ t.number, t.dataCrc, start, static_cast<long long>(t.size) });
		end = start;
	}
	*imageEnd = end;
	return true;
}

int openForReading(const char* path)
{
	return path && *path ? open(path, O_RDONLY | O_CLOEXEC) : -1;
}

const SBlock* findBlock(const std::vector<SBlock>& blocks, int number)
{
	for (const SBlock& b : blocks)
		if (b.number == static_cast<uint32_t>(number))
			return &b;
	return nullptr;
}


bool appendBlock(int fd, uint32_t number, uint32_t dataCrc, uint64_t size)
{
	STrailer t;
	memcpy(t.magic, RESOURCE_MAGIC, sizeof(t.magic));
	t.number = number;
	t.dataCrc = dataCrc;
	t.size = size;
	t.check = trailerCheck(t);
	t.reserved = 0;
	return zeWriteAllFd(fd, &t, sizeof(t));
}
} // namespace

// ---- File descriptors -----------------------------------------------------------------
bool zeWriteAllFd(int fd, const void* data, size_t size)
{
	const char* p = static_cast<const char*>(data);
	while (size > 0)
	{
		const ssize_t put = write(fd, p, size);
		if (put < 0 && errno == EINTR)
			continue;
		if (put <= 0)
			return false;
		p += put;
		size -= static_cast<size_t>(put);
	}
	return true;
}

bool zeCopyFdRange(int from, int to, long long offset, long long size)
{
	static const size_t CHUNK = 1 << 20;
	std::vector<char> buffer(CHUNK);
	while (size > 0)
	{
		const size_t n = size > static_cast<long long>(CHUNK) ? CHUNK : static_cast<size_t>(size);
		if (!readAt(from, buffer.data(), n, offset) || !zeWriteAllFd(to, buffer.data(), n))
			return false;
		offset += static_cast<long long>(n);
		size -= static_cast<long long>(n);
	}
	return true;
}

// ---- Scrambling ---------------------------------------------------------------------
void zeScrambleWords(void* data, size_t size)
{
	unsigned char* p = static_cast<unsigned char*>(data);
	for (size_t i = 0; i + 4 <= size; i += 4)
	{
		p[i] ^= static_cast<unsigned char>(ZE_SCRAMBLE_KEY);
		p[i + 1] ^= static_cast<unsigned char>(ZE_SCRAMBLE_KEY >> 8);
		p[i + 2] ^= static_cast<unsigned char>(ZE_SCRAMBLE_KEY >> 16);
		p[i + 3] ^= static_cast<unsigned char>(ZE_SCRAMBLE_KEY >> 24);
	}
}

// ---- Reading ------------------------------------------------------------------------
bool zeResourceExistsIn(const char* exePath, int number)
{
	const int fd = openForReading(exePath);
	if (fd < 0)
		return false;
	std::vector<SBlock> blocks;
	long long imageEnd = 0;
	const bool found = readChain(fd, &blocks, &imageEnd) && findBlock(blocks, number);
	close(fd);
	return found;
}

bool zeResourceExists(int number)
{
	return zeResourceExistsIn(zeGetProgramPath(), number);
}

bool zeReadResourceBlock(const char* exePath, int number, std::vector<char>* out)
{
	out->clear();
	const int fd = openForReading(exePath);
	if (fd < 0)
		return false;
	std::vector<SBlock> blocks;
	long long imageEnd = 0;
	const SBlock* block = readChain(fd, &blocks, &imageEnd) ? findBlock(blocks, number) : nullptr;
	bool ok = false;
	if (block && static_cast<unsigned long long>(block->size) <= SIZE_MAX)
	{
		try
		{
			out->resize(static_cast<size_t>(block->size));
			ok = readAt(fd, out->data(), out->size(), block->offset) && crc(out->data(), out->size()) == block->dataCrc;
		}
		catch (const std::bad_alloc&)
		{
			zeLog(EZELL_ERROR, "ZeResource: no memory for resource %d (%lld bytes)", number, block->size);
		}
		if (!ok)
		{
			zeLog(EZELL_ERROR, "ZeResource: resource %d of %s does not read back whole", number, exePath);
			std::vector<char>().swap(*out);
		}
	}
	close(fd);
	return ok;
}

int zeLoadResourceFrom(const char* exePath, int number, char** outBlock, char** outData, size_t* outSize)
{
	*outBlock = *outData = nullptr;
	*outSize = 0;
	std::vector<char> bytes;
	if (!zeReadResourceBlock(exePath, number, &bytes))
		return -1;
	char* block = new (std::nothrow) char[bytes.size() ? bytes.size() : 1];
	if (!block)
		return -1;
	memcpy(block, bytes.data(), bytes.size());
	zeScrambleWords(block, bytes.size());
	*outBlock = *outData = block;
	*outSize = bytes.size();
	return 0;
}

int zeLoadResource(int number, char** outBlock, char** outData, size_t* outSize)
{
	return zeLoadResourceFrom(zeGetProgramPath(), number, outBlock, outData, outSize);
}

long long zeExecutableImageSize(const char* exePath)
{
	const int fd = openForReading(exePath);
	if (fd < 0)
		return -1;
	std::vector<SBlock> blocks;
	long long imageEnd = -1;
	if (!readChain(fd, &blocks, &imageEnd))
		imageEnd = -1;
	close(fd);
	return imageEnd;
}

// ---- Writing ------------------------------------------------------------------------
int zeWriteResourceBlock(const char* exePath, int number, const void* data, size_t size, SZeResourceWriteError* error)
{
	int from = -1, to = -1;
	std::string temporary;
	// Ends the write at the failing step, with the error code of the call that just failed.
	auto stop = [&](EZeResourceWriteStep step) {
		const SZeResourceWriteError failed = { step, errno };
		zeLog(EZELL_ERROR, "ZeResource: cannot write resource %d into %s: %s", number, exePath ? exePath : "(null)",
			strerror(failed.code));
		if (to >= 0)
			close(to);
		if (!temporary.empty())
			unlink(temporary.c_str());
		if (from >= 0)
			close(from);
		if (error)
			*error = failed;
		return -1;
	};
	// Begin: the program's blocks check out, and its copy holds the image and the blocks it keeps.
	from = openForReading(exePath);
	std::vector<SBlock> blocks;
	long long imageEnd = 0;
	struct stat st;
	if (from < 0 || !readChain(from, &blocks, &imageEnd) || fstat(from, &st) != 0)
		return stop(EZERWS_BEGIN);
	std::string pattern = std::string(exePath) + ".XXXXXX";
	to = mkostemp(&pattern[0], O_CLOEXEC);
	if (to < 0)
		return stop(EZERWS_BEGIN);
	temporary = pattern;
	if (fchmod(to, st.st_mode & 07777) != 0 || !zeCopyFdRange(from, to, 0, imageEnd))
		return stop(EZERWS_BEGIN);
	// The other blocks in their order, each with a fresh trailer.
	for (auto b = blocks.rbegin(); b != blocks.rend(); ++b)
		if (b->number != static_cast<uint32_t>(number) &&
			(!zeCopyFdRange(from, to, b->offset, b->size) || !appendBlock(to, b->number, b->dataCrc, b->size)))
			return stop(EZERWS_BEGIN);
	// Update: the block itself.
	if (!zeWriteAllFd(to, data, size) || !appendBlock(to, static_cast<uint32_t>(number), crc(data, size), size))
		return stop(EZERWS_UPDATE);
	// End: the copy on disk and in the program's place.
	if (fsync(to) != 0)
		return stop(EZERWS_END);
	const int closed = close(to);
	to = -1;
	if (closed != 0 || rename(temporary.c_str(), exePath) != 0)
		return stop(EZERWS_END);
	close(from);
	return 0;
}

// ---- Side file ------------------------------------------------------------------------
const char* zePackDatPath(const char* exePath)
{
	static char path[PATH_MAX + 8];
	snprintf(path, sizeof(path), "%s%s.dat", zeFileGetDirPart(exePath), zeFileGetNamePart(exePath, 0));
	return path;
}

bool zePackedDataExists(const char* exePath)
{
	return zeResourceExistsIn(exePath, EZERSC_PACKED_DATA) || zeFileExist(zePackDatPath(exePath));
}
