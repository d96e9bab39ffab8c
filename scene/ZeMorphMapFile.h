// Morph-map files (".zmorph"): a big-endian IFF chunk reader and the reader
// that delivers the morphs of one file one after the other.
//
// Index:
//   - Limits
//   - CZeIffChunkReader
//   - CZeLWZMorphReader
//   - Memory read files
#pragma once

#include <irrlicht.h>

// ---- Limits -------------------------------------------------------------------
// Deepest chunk nesting the chunk reader keeps.
const irr::u32 ZE_IFF_MAX_DEPTH = 32;
// Size of a morph's name field, NUL included.
const irr::u32 ZE_MORPH_NAME_SIZE = 128;

// ---- CZeIffChunkReader --------------------------------------------------------
// Reads big-endian IFF chunks (4-byte identifier, 4-byte size, no pad byte).
// Every read is checked against the file and the innermost open chunk; the
// first failure is kept as the error text and makes every later read fail.
class CZeIffChunkReader
{
public:
	CZeIffChunkReader();
	~CZeIffChunkReader();

	// False when a file is already open (or null); grabs the file, depth 0.
	bool open(irr::io::IReadFile* file);
	// Drops the file; harmless when closed.
	void close();

	// Reads a chunk header and pushes its end; returns the identifier, 0 on failure.
	irr::u32 beginChunk();
	// Pops the innermost chunk and seeks to its end.
	void endChunk();

	// Reads count big-endian words; returns count, 0 on failure or count < 1.
	irr::s32 readU4(irr::u32* destination, irr::s32 count);
	// Reads count big-endian words as floats; false on failure.
	bool readF4(irr::f32* destination, irr::s32 count);
	// Reads bytes up to and including the NUL; returns the length without it.
	// Fails when no NUL comes within size bytes or before the chunk end.
	irr::u32 readString(char* destination, irr::u32 size);

	irr::u32 getDepth() const { return Depth; }
	// Bytes left before the innermost chunk's end (or the file's end at depth 0).
	long getBytesLeft() const;
	bool hasError() const { return !Error.empty(); }
	const irr::core::stringc& getError() const { return Error; }

	// Four characters as one big-endian word.
	static irr::u32 makeId(const char* fourChars);

private:
	bool readBytes(void* destination, long size);
	void fail(const char* text);

	irr::io::IReadFile* File;
	long FileSize;
	long Ends[ZE_IFF_MAX_DEPTH];
	irr::u32 Depth;
	irr::core::stringc Error;
};

// ---- CZeLWZMorphReader --------------------------------------------------------
// Reads "FORM" "ZMOR" morph_count max_points, then one "VMOR" chunk ("NAME",
// "MMAP") per call of readNext. Failures leave their text in getError, until
// the next call of readNext.
class CZeLWZMorphReader
{
public:
	CZeLWZMorphReader();
	~CZeLWZMorphReader();

	// Opens the morph map on a read file; false (and closed) on failure.
	bool open(irr::io::IReadFile* file);
	// Opens a file by name through the file layer.
	bool openFile(const char* name);
	irr::s32 getMorphCount() const { return (irr::s32)MorphCount; }
	irr::u32 getMaxPoints() const { return MaxPoints; }

	// Reads the next morph; false when all are read (no error text) or on failure.
	// A morph refused for what it holds (more points than max_points, point
	// indices that do not ascend) is passed whole: canReadOn then tells that
	// the next call reads the morph after it.
	bool readNext();
	bool canReadOn() const { return ReadOn; }
	irr::s32 getCurrentIndex() const { return Current; }
	const char* getName() const { return Name; }
	irr::u32 getNumPoints() const { return NumPoints; }
	const irr::u32* getPointIndices() const { return Indices; }
	const irr::f32* getFirstVectors() const { return FirstVectors; }
	const irr::f32* getSecondVectors() const { return SecondVectors; }

	// Closes the file and frees the buffers; always true.
	bool close();
	// Ends the FORM chunk after the last morph.
	void endForm();

	const irr::core::stringc& getError() const { return Error; }

private:
	bool fail(const char* text);
	bool failFromChunks(const char* text);
	bool refuseMorph(const char* text);
	void freeBuffers();

	CZeIffChunkReader* Chunks;
	irr::u32 MorphCount;
	irr::u32 MaxPoints;
	irr::s32 Current;
	char Name[ZE_MORPH_NAME_SIZE];
	irr::u32 NumPoints;
	irr::u32* Indices;
	irr::f32* FirstVectors;
	irr::f32* SecondVectors;
	irr::core::stringc Error;
	bool ReadOn;
};

// ---- Memory read files --------------------------------------------------------
// A read file over a copy of size bytes (reference count 1; drop it).
irr::io::IReadFile* zeCreateMemoryReadFile(const void* data, long size, const char* name);
