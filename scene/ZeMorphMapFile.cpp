// Morph-map files: IFF chunk reader and morph-map reader.
#include "scene/ZeMorphMapFile.h"

#include "frame/ZeFile.h"
#include "frame/ZeLog.h"

#include <cstring>

using namespace irr;

namespace
{
	// A read file over its own copy of the bytes.
	class CZeMemoryReadFile : public io::IReadFile
	{
	public:
		CZeMemoryReadFile(const void* data, long size, const char* name)
			: Data(new u8[data && size > 0 ? size : 1]), Size(data && size > 0 ? size : 0), Pos(0),
			  Name(name ? name : "")
		{
			if (Size > 0)
				memcpy(Data, data, (size_t)Size);
		}
		~CZeMemoryReadFile() override { delete[] Data; }

		s32 read(void* buffer, u32 sizeToRead) override
		{
			long count = Size - Pos;
			if ((long)sizeToRead < count)
				count = (long)sizeToRead;
			if (count <= 0)
				return 0;
			memcpy(buffer, Data + Pos, (size_t)count);
			Pos += count;
			return (s32)count;
		}
		bool seek(long finalPos, bool relativeMovement) override
		{
			long target = relativeMovement ? Pos + finalPos : finalPos;
			if (target < 0 || target > Size)
				return false;
			Pos = target;
			return true;
		}
		long getSize() const override { return Size; }
		long getPos() const override { return Pos; }
		const io::path& getFileName() const override { return Name; }

	private:
		u8* Data;
		long Size;
		long Pos;
		io::path Name;
	};

	u32 bigEndian(const u8* b)
	{
		return ((u32)b[0] << 24) | ((u32)b[1] << 16) | ((u32)b[2] << 8) | (u32)b[3];
	}

	// Bytes of one point in "MMAP": index and two vectors.
	const u64 MMAP_POINT_BYTES = 4 + 12 + 12;
	// Smallest "VMOR": its header, "NAME" with a NUL, "MMAP" with a zero count.
	const u64 MIN_VMOR_BYTES = 8 + 9 + 12;
}

io::IReadFile* zeCreateMemoryReadFile(const void* data, long size, const char* name)
{
	return new CZeMemoryReadFile(data, size, name);
}

// ---- CZeIffChunkReader ----------------------------------------------------------

CZeIffChunkReader::CZeIffChunkReader() : File(0), FileSize(0), Depth(0)
{
	memset(Ends, 0, sizeof(Ends));
}

CZeIffChunkReader::~CZeIffChunkReader()
{
	close();
}

u32 CZeIffChunkReader::makeId(const char* fourChars)
{
	return bigEndian((const u8*)fourChars);
}

bool CZeIffChunkReader::open(io::IReadFile* file)
{
	if (File || !file)
		return false;
	File = file;
	File->grab();
	FileSize = File->getSize();
	Depth = 0;
	Error = "";
	return true;
}

void CZeIffChunkReader::close()
{
	if (File)
		File->drop();
	File = 0;
	Depth = 0;
}

void CZeIffChunkReader::fail(const char* text)
{
	if (Error.empty())
		Error = text;
}

long CZeIffChunkReader::getBytesLeft() const
{
	if (!File)
		return 0;
	long end = FileSize;
	if (Depth > 0 && Ends[Depth - 1] < end)
		end = Ends[Depth - 1];
	long left = end - File->getPos();
	return left > 0 ? left : 0;
}

bool CZeIffChunkReader::readBytes(void* destination, long size)
{
	if (!File || hasError())
		return false;
	long pos = File->getPos();
	if (Depth > 0 && pos + size > Ends[Depth - 1])
	{
		fail(pos + size > FileSize ? "unexpected end of file" : "read past the end of the chunk");
		return false;
	}
	if (File->read(destination, (u32)size) != (s32)size)
	{
		fail("unexpected end of file");
		return false;
	}
	return true;
}

u32 CZeIffChunkReader::beginChunk()
{
	if (!File || hasError())
		return 0;
	if (Depth >= ZE_IFF_MAX_DEPTH)
	{
		fail("chunks nested deeper than 32 levels");
		return 0;
	}
	u8 header[8];
	if (!readBytes(header, 8))
		return 0;
	const long end = File->getPos() + (long)bigEndian(header + 4);
	if (Depth > 0 && end > Ends[Depth - 1])
	{
		fail("chunk ends after its parent");
		return 0;
	}
	Ends[Depth++] = end;
	return bigEndian(header);
}

void CZeIffChunkReader::endChunk()
{
	if (!File || Depth == 0)
		return;
	--Depth;
	if (hasError())
		return;
	if (Ends[Depth] > FileSize || !File->seek(Ends[Depth]))
		fail("unexpected end of file");
}

s32 CZeIffChunkReader::readU4(u32* destination, s32 count)
{
	if (count < 1)
		return 0;
	for (s32 i = 0; i < count; ++i)
	{
		u8 b[4];
		if (!readBytes(b, 4))
			return 0;
		destination[i] = bigEndian(b);
	}
	return count;
}

bool CZeIffChunkReader::readF4(f32* destination, s32 count)
{
	for (s32 i = 0; i < count; ++i)
	{
		u32 word;
		if (readU4(&word, 1) != 1)
			return false;
		memcpy(&destination[i], &word, 4);
	}
	return true;
}

u32 CZeIffChunkReader::readString(char* destination, u32 size)
{
	if (size == 0)
	{
		fail("string field of size 0");
		return 0;
	}
	destination[0] = 0;
	for (u32 i = 0; i < size; ++i)
	{
		char c;
		if (!readBytes(&c, 1))
		{
			destination[i] = 0;
			return 0;
		}
		destination[i] = c;
		if (c == 0)
			return i;
	}
	destination[size - 1] = 0;
	fail(core::stringc("string longer than ").append(core::stringc(size - 1)).append(" characters").c_str());
	return 0;
}

// ---- CZeLWZMorphReader ----------------------------------------------------------

CZeLWZMorphReader::CZeLWZMorphReader()
	: Chunks(0), MorphCount(0), MaxPoints(0), Current(-1), NumPoints(0),
	  Indices(0), FirstVectors(0), SecondVectors(0), ReadOn(false)
{
	Name[0] = 0;
}

CZeLWZMorphReader::~CZeLWZMorphReader()
{
	close();
}

bool CZeLWZMorphReader::fail(const char* text)
{
	Error = text;
	return false;
}

bool CZeLWZMorphReader::failFromChunks(const char* text)
{
	return fail(Chunks && Chunks->hasError() ? Chunks->getError().c_str() : text);
}

bool CZeLWZMorphReader::refuseMorph(const char* text)
{
	NumPoints = 0;
	Chunks->endChunk();
	Chunks->endChunk();
	ReadOn = !Chunks->hasError();
	return fail(text);
}

void CZeLWZMorphReader::freeBuffers()
{
	delete[] Indices;
	delete[] FirstVectors;
	delete[] SecondVectors;
	Indices = 0;
	FirstVectors = 0;
	SecondVectors = 0;
}

bool CZeLWZMorphReader::open(io::IReadFile* file)
{
	if (Chunks)
		return false;
	Error = "";
	Chunks = new CZeIffChunkReader();
	if (!Chunks->open(file))
	{
		fail("Failed to open Lightwave Load");
		close();
		return false;
	}
	if (Chunks->beginChunk() != CZeIffChunkReader::makeId("FORM"))
	{
		failFromChunks("ID_FORM not found");
		close();
		return false;
	}
	u32 formType = 0;
	if (Chunks->readU4(&formType, 1) != 1 || formType != CZeIffChunkReader::makeId("ZMOR"))
	{
		failFromChunks("ID_ZMOR not found");
		close();
		return false;
	}
	u32 counts[2] = {0, 0};
	if (Chunks->readU4(counts, 2) != 2)
	{
		failFromChunks("unexpected end of file");
		close();
		return false;
	}
	MorphCount = counts[0];
	MaxPoints = counts[1];
	zeLog(EZELL_DEBUG, "CZeLWZMorphReader::open: morph_count = %d, max_points = %d", (s32)MorphCount, (s32)MaxPoints);

	// Both maxima must fit into what is left, so that no count sizes buffers
	// beyond the file.
	const u64 left = (u64)Chunks->getBytesLeft();
	if ((u64)MorphCount * MIN_VMOR_BYTES > left)
	{
		fail("morph_count cannot fit the file");
		close();
		return false;
	}
	if ((u64)MaxPoints * MMAP_POINT_BYTES > left)
	{
		fail("max_points cannot fit the file");
		close();
		return false;
	}
	const u32 entries = MaxPoints > 0 ? MaxPoints : 1;
	Indices = new u32[entries];
	FirstVectors = new f32[entries * 3];
	SecondVectors = new f32[entries * 3];
	Current = -1;
	NumPoints = 0;
	Name[0] = 0;
	return true;
}

bool CZeLWZMorphReader::openFile(const char* name)
{
	long size = 0;
	char* data = name ? zeReadFile(name, &size) : 0;
	if (!data)
		return fail("Failed to open Lightwave Load");
	io::IReadFile* file = zeCreateMemoryReadFile(data, size, name);
	delete[] data;
	const bool ok = open(file);
	file->drop();
	return ok;
}

bool CZeLWZMorphReader::readNext()
{
	ReadOn = false;
	Error = "";
	if (!Chunks || (s64)Current >= (s64)MorphCount - 1)
		return false;
	++Current;
	NumPoints = 0;
	Name[0] = 0;
	if (Chunks->beginChunk() != CZeIffChunkReader::makeId("VMOR"))
		return failFromChunks("ID_VMOR not found");
	if (Chunks->beginChunk() != CZeIffChunkReader::makeId("NAME"))
		return failFromChunks("ID_NAME not found");
	Chunks->readString(Name, ZE_MORPH_NAME_SIZE);
	if (Chunks->hasError())
		return failFromChunks("");
	Chunks->endChunk();
	if (Chunks->beginChunk() != CZeIffChunkReader::makeId("MMAP"))
		return failFromChunks("ID_MMAP not found");
	u32 count = 0;
	if (Chunks->readU4(&count, 1) != 1)
		return failFromChunks("");
	zeLog(EZELL_DEBUG, "CZeLWZMorph::readNext: Morph %d: Name='%s' NumPoints=%d", Current, Name, (s32)count);
	if (count > MaxPoints)
		return refuseMorph("NumPoints exceeds max_points");
	if (count > 0)
	{
		const s32 n = (s32)count;
		if (Chunks->readU4(Indices, n) != n || !Chunks->readF4(FirstVectors, n * 3) ||
			!Chunks->readF4(SecondVectors, n * 3))
			return failFromChunks("");
		for (u32 i = 1; i < count; ++i)
			if (Indices[i] <= Indices[i - 1])
				return refuseMorph("point indices do not ascend");
	}
	NumPoints = count;
	Chunks->endChunk();
	Chunks->endChunk();
	if (Chunks->hasError())
	{
		NumPoints = 0;
		return failFromChunks("");
	}
	return true;
}

void CZeLWZMorphReader::endForm()
{
	if (Chunks)
		Chunks->endChunk();
}

bool CZeLWZMorphReader::close()
{
	if (Chunks)
	{
		Chunks->close();
		delete Chunks;
		Chunks = 0;
	}
	freeBuffers();
	Current = -1;
	NumPoints = 0;
	ReadOn = false;
	return true;
}
