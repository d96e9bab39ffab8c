// Files inside a zip archive (packed data), read whole into memory streams.
#include "frame/ZeFileBackend.h"
#include "frame/ZeLog.h"

#include <irrlicht.h>
#include <zip.h>

#include <algorithm>

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
		std::vector<char> data;
		if (!read(locate(name), data))
			return nullptr;
		return zeCreateMemoryFile(std::move(data));
	}

	irr::io::IFileArchive* createLibraryArchive(irr::io::IFileSystem* fileSystem) override;

	// The entry of a name (a leading '/' is the root): exact, else in any
	// case; -1 when none.
	zip_int64_t locate(std::string entry) const
	{
		while (!entry.empty() && entry[0] == '/')
			entry.erase(0, 1);
		if (entry.empty())
			return -1;
		zip_int64_t index = zip_name_locate(Archive, entry.c_str(), 0);
		if (index < 0)
			index = zip_name_locate(Archive, entry.c_str(), ZIP_FL_NOCASE);
		return index;
	}

	// The entry's bytes; false for a missing index or a corrupt entry.
	bool read(zip_int64_t index, std::vector<char>& data) const
	{
		if (index < 0)
			return false;
		zip_file_t* zf = zip_fopen_index(Archive, static_cast<zip_uint64_t>(index), 0);
		if (!zf)
			return false;
		// Read in chunks rather than trusting the size the directory claims.
		char chunk[65536];
		zip_int64_t got;
		while ((got = zip_fread(zf, chunk, sizeof(chunk))) > 0)
			data.insert(data.end(), chunk, chunk + got);
		zip_fclose(zf);
		if (got < 0)
		{
			const char* name = zip_get_name(Archive, static_cast<zip_uint64_t>(index), 0);
			zeLog(EZELL_ERROR, "ZeFile: corrupt archive entry '%s'", name ? name : "?");
			return false;
		}
		return true;
	}

	zip_int64_t count() const { return zip_get_num_entries(Archive, 0); }
	const char* name(zip_int64_t index) const { return zip_get_name(Archive, static_cast<zip_uint64_t>(index), 0); }

private:
	zip_t* Archive;
};

// The archive as the 3D library's file system sees it: its loaders name files
// as the file layer hands them on ("scenes/../objects/a.obj") or by absolute
// paths under the process's current directory; both are folded onto entries.
class CZeLibraryArchive : public irr::io::IFileArchive, public irr::io::IFileList
{
public:
	CZeLibraryArchive(const CZeFileBackendArchive* archive, irr::io::IFileSystem* fileSystem)
		: Archive(archive), FileSystem(fileSystem)
	{
		for (zip_int64_t i = 0; i < archive->count(); ++i)
		{
			const char* name = archive->name(i);
			Names.push_back(name ? name : "");
		}
	}

	irr::io::IReadFile* createAndOpenFile(const irr::io::path& filename) override
	{
		return open(Archive->locate(entryOf(filename)), filename);
	}
	irr::io::IReadFile* createAndOpenFile(irr::u32 index) override
	{
		return index < Names.size() ? open(index, Names[index]) : nullptr;
	}
	const irr::io::IFileList* getFileList() const override { return this; }
	irr::io::E_FILE_ARCHIVE_TYPE getType() const override { return irr::io::EFAT_ZIP; }

	irr::u32 getFileCount() const override { return Names.size(); }
	const irr::io::path& getFileName(irr::u32 index) const override { return Names[index]; }
	const irr::io::path& getFullFileName(irr::u32 index) const override { return Names[index]; }
	irr::u32 getFileSize(irr::u32) const override { return 0; }
	irr::u32 getFileOffset(irr::u32) const override { return 0; }
	irr::u32 getID(irr::u32 index) const override { return index; }
	bool isDirectory(irr::u32 index) const override
	{
		return index < Names.size() && Names[index].size() > 0 && Names[index].lastChar() == '/';
	}
	irr::s32 findFile(const irr::io::path& filename, bool isFolder) const override
	{
		const zip_int64_t index = isFolder ? -1 : Archive->locate(entryOf(filename));
		return index >= 0 && index < static_cast<zip_int64_t>(Names.size()) ? static_cast<irr::s32>(index) : -1;
	}
	const irr::io::path& getPath() const override { return Path; }
	irr::u32 addItem(const irr::io::path&, irr::u32, irr::u32, bool, irr::u32) override { return 0; }
	void sort() override {}

private:
	static std::string entryOf(const irr::io::path& filename)
	{
		std::string name = zeNormalisePath(filename.c_str());
		const std::string cwd = zeNormalisePath(zeGetCwd());
		if (cwd.size() > 1 && name.size() > cwd.size() && name.compare(0, cwd.size(), cwd) == 0 &&
			name[cwd.size()] == '/')
			name.erase(0, cwd.size() + 1);
		return name;
	}

	irr::io::IReadFile* open(zip_int64_t index, const irr::io::path& filename) const
	{
		std::vector<char> data;
		if (!Archive->read(index, data))
			return nullptr;
		irr::c8* bytes = new irr::c8[data.empty() ? 1 : data.size()];
		std::copy(data.begin(), data.end(), bytes);
		return FileSystem->createMemoryReadFile(bytes, static_cast<irr::s32>(data.size()), filename, true);
	}

	const CZeFileBackendArchive* Archive;
	irr::io::IFileSystem* FileSystem;
	std::vector<irr::io::path> Names;
	irr::io::path Path;
};

irr::io::IFileArchive* CZeFileBackendArchive::createLibraryArchive(irr::io::IFileSystem* fileSystem)
{
	return new CZeLibraryArchive(this, fileSystem);
}
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
