// Resources carried by the executable: numbered data blocks appended to a copy
// of the ELF file. Each block is followed by its trailer (magic, resource
// number, CRC-32 of the block, block size, CRC-32 of the trailer), so the
// blocks chain backwards from the end of the file to the end of the program
// image; the program runs unchanged with them appended. Every size read from
// a trailer is checked against the room left before it, and a trailer that
// does not check out ends the chain as "no resources".
//
// Index:
//   - Resource numbers and scrambling
//   - Reading
//   - Writing
//   - Side file
//   - File descriptors
#pragma once

#include <cstddef>
#include <vector>

// ---- Resource numbers and scrambling --------------------------------------------
enum EZE_RESOURCE
{
	EZERSC_PACKED_DATA = 500,  // the packed demo, scene or script data (scrambled zip)
	EZERSC_ENGINE_DATA = 501   // the engine's shaders and textures (scrambled zip, written only)
};

// The key that the packed data's 32-bit words are XORed with.
const unsigned ZE_SCRAMBLE_KEY = 0x4B515648u;

// XORs every whole little-endian 32-bit word with ZE_SCRAMBLE_KEY; the last
// size % 4 bytes stay as they are. Its own inverse.
void zeScrambleWords(void* data, size_t size);

// ---- Reading ----------------------------------------------------------------------
// Whether the executable at `exePath` carries the resource.
bool zeResourceExistsIn(const char* exePath, int number);
// Whether the running executable carries the resource.
bool zeResourceExists(int number);
// The resource's bytes as stored; false when the file cannot be read, the
// resource is missing, its trailer chain is broken or its CRC does not match.
bool zeReadResourceBlock(const char* exePath, int number, std::vector<char>* out);
// Loads the resource of the executable at `exePath` into a new block (freed
// with delete[]) and unscrambles it; block and data are the same pointer.
// 0, or -1 when it is missing or cannot be read.
int zeLoadResourceFrom(const char* exePath, int number, char** outBlock, char** outData, size_t* outSize);
// zeLoadResourceFrom on the running executable.
int zeLoadResource(int number, char** outBlock, char** outData, size_t* outSize);
// The size of the program image: the file's size without its appended blocks;
// -1 when the file cannot be read or a trailer does not check out.
long long zeExecutableImageSize(const char* exePath);

// ---- Writing ----------------------------------------------------------------------
// The steps of a resource write: beginning (the program opened, its blocks
// checked and its copy started with the image and the blocks it keeps),
// updating (the block written into the copy) and ending (the copy flushed
// and renamed over the program).
enum EZeResourceWriteStep
{
	EZERWS_NONE,
	EZERWS_BEGIN,
	EZERWS_UPDATE,
	EZERWS_END
};
// Where a failed write stopped, and the system error code of the failing call.
struct SZeResourceWriteError
{
	EZeResourceWriteStep step = EZERWS_NONE;
	int code = 0;
};
// Stores `data` as resource `number` of the executable, replacing a block of
// that number and keeping the others; the file is rewritten beside itself and
// renamed over the old one, keeping its mode. 0, or -1 with a log line and,
// when asked for, the step that failed.
int zeWriteResourceBlock(const char* exePath, int number, const void* data, size_t size,
	SZeResourceWriteError* error = nullptr);

// ---- Side file ----------------------------------------------------------------------
// The side file of an executable: its folder, its name without extension and
// ".dat" (program-wide buffer).
const char* zePackDatPath(const char* exePath);
// Resource 500 exists, or the side file of `exePath` opens through the file layer.
bool zePackedDataExists(const char* exePath);

// ---- File descriptors -------------------------------------------------------------
// Writes all the bytes, again after an interruption; false on failure.
bool zeWriteAllFd(int fd, const void* data, size_t size);
// Copies size bytes from `offset` of `from` to the end of `to`; false on a
// short read or a failed write.
bool zeCopyFdRange(int from, int to, long long offset, long long size);
