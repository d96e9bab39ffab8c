// Files inside a zip archive (packed data), read whole into memory streams.
#include "frame/ZeFileBackend.h"
#include "frame/ZeLog.h"

#include <zip.h>

#include <cstring>

namespace
{
struct SMemoryStream
{
	std::vector<char> data;
	long pos;
};

SMemoryStream* ms(SZeFile* file)
{
	return static_cast<SMemoryStream*>(file->handle);
}

int memSeek(SZeFile* file, long offset, int origin)
{
	SMemoryStream* s = ms(file);
	long base;
	switch (origin)
	{
	case 0: base = 0; break;
	case 1: base = s->pos; break;
	case 2: base = static_cast<long>(s->data.size()); break;
	default: return -1;
	}
	const long target = base + offset;
	if (target < 0)
		return -1;
	s->pos = target;
	return 0;
}

long memTell(SZeFile* file)
{
	return ms(file)->pos;
}

size_t memRead(void* buffer, size_t size, size_t count, SZeFile* file)
{
	SMemoryStream* s = ms(file);
	if (size == 0 || count == 0)
		return 0;
	const size_t total = s->data.size();
	const size_t pos = static_cast<size_t>(s->pos);
	if (pos >= total)
		return 0;
	// As stdio does, a partial last item is copied and consumed but not counted.
	const size_t left = total - pos;
	const size_t bytes = count > left / size ? left : count * size;
	memcpy(buffer, s->data.data() + pos, bytes);
	s->pos += static_cast<long>(bytes);
	return bytes / size;
}

size_t memWrite(const void*, size_t, size_t, SZeFile*)
{
	return 0;
}

int memGetc(SZeFile* file)
{
	SMemoryStream* s = ms(file);
	if (static_cast<size_t>(s->pos) >= s->data.size())
		return EOF;
	return static_cast<unsigned char>(s->data[s->pos++]);
}

char* memGets(char* buffer, int size, SZeFile* file)
{
	if (size <= 0)
		return nullptr;
	int n = 0;
	while (n < size - 1)
	{
		const int c = memGetc(file);
		if (c == EOF)
			break;
		buffer[n++] = static_cast<char>(c);
		if (c == '\n')
			break;
	}
	if (n == 0)
		return nullptr;
	buffer[n] = 0;
	return buffer;
}

void memClose(SZeFile* file)
{
	delete ms(file);
}

const SZeFileOps g_memoryOps = { memSeek, memTell, memRead, memWrite, memGetc, memGets, memClose };

bool isWriteMode(const char* mode)
{
	return strchr(mode, 'w') || strchr(mode, 'a') || strchr(mode, '+');
}

class CZeFileBackendArchive : public IZeFileBackend
{
public:
	explicit CZeFileBackendArchive(zip_t* archive) : Archive(archive) {}
	~CZeFileBackendArchive() override { zip_discard(Archive); }

	SZeFile* open(const std::string& name, const char* mode) override
	{
		if (isWriteMode(mode))
			return zeOpenPlainFile(name, mode);
		std::string entry = name;
		while (!entry.empty() && entry[0] == '/')
			entry.erase(0, 1);
		if (entry.empty())
			return nullptr;
		zip_int64_t index = zip_name_locate(Archive, entry.c_str(), 0);
		if (index < 0)
			index = zip_name_locate(Archive, entry.c_str(), ZIP_FL_NOCASE);
		if (index < 0)
			return nullptr;
		zip_file_t* zf = zip_fopen_index(Archive, static_cast<zip_uint64_t>(index), 0);
		if (!zf)
			return nullptr;
		// Read in chunks rather than trusting the size the directory claims.
		std::vector<char> data;
		char chunk[65536];
		zip_int64_t got;
		while ((got = zip_fread(zf, chunk, sizeof(chunk))) > 0)
			data.insert(data.end(), chunk, chunk + got);
		zip_fclose(zf);
		if (got < 0)
		{
			zeLog(EZELL_ERROR, "ZeFile: corrupt archive entry '%s'", entry.c_str());
			return nullptr;
		}
		return zeCreateMemoryFile(std::move(data));
	}

private:
	zip_t* Archive;
};
} // namespace

SZeFile* zeCreateMemoryFile(std::vector<char>&& data)
{
	return new SZeFile{ new SMemoryStream{ std::move(data), 0 }, &g_memoryOps };
}

IZeFileBackend* zeCreateArchiveBackend(const void* data, size_t size, const char* path)
{
	zip_error_t error;
	zip_error_init(&error);
	zip_t* archive = nullptr;
	if (data)
	{
		zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
		if (source)
		{
			archive = zip_open_from_source(source, ZIP_RDONLY, &error);
			if (!archive)
				zip_source_free(source);
		}
	}
	else if (path)
	{
		int code = 0;
		archive = zip_open(path, ZIP_RDONLY, &code);
		if (!archive)
			zip_error_init_with_code(&error, code);
	}
	if (!archive)
	{
		zeLog(EZELL_ERROR, "ZeFile: cannot open archive %s: %s", path ? path : "(memory)", zip_error_strerror(&error));
		zip_error_fini(&error);
		return nullptr;
	}
	zip_error_fini(&error);
	return new CZeFileBackendArchive(archive);
}
