// Files through the 3D library's file system (real files and its archives).
#include "frame/ZeFileBackend.h"

#include <irrlicht.h>

#include <cstring>

using namespace irr;

namespace
{
io::IReadFile* rf(SZeFile* file)
{
	return static_cast<io::IReadFile*>(file->handle);
}

int irrSeek(SZeFile* file, long offset, int origin)
{
	io::IReadFile* f = rf(file);
	long target;
	switch (origin)
	{
	case 0: target = offset; break;
	case 1: target = f->getPos() + offset; break;
	case 2: target = f->getSize() + offset; break;
	default: return -1;
	}
	if (target < 0)
		return -1;
	return f->seek(target) ? 0 : -1;
}

long irrTell(SZeFile* file)
{
	return rf(file)->getPos();
}

size_t irrRead(void* buffer, size_t size, size_t count, SZeFile* file)
{
	if (size == 0 || count == 0)
		return 0;
	io::IReadFile* f = rf(file);
	const long left = f->getSize() - f->getPos();
	if (left <= 0)
		return 0;
	// As stdio does, a partial last item is read and consumed but not counted.
	const size_t available = static_cast<size_t>(left);
	const size_t bytes = count > available / size ? available : count * size;
	const s32 got = f->read(buffer, static_cast<u32>(bytes));
	return got > 0 ? static_cast<size_t>(got) / size : 0;
}

size_t irrWrite(const void*, size_t, size_t, SZeFile*)
{
	return 0;
}

int irrGetc(SZeFile* file)
{
	unsigned char c;
	return rf(file)->read(&c, 1) == 1 ? c : EOF;
}

char* irrGets(char* buffer, int size, SZeFile* file)
{
	if (size <= 0)
		return nullptr;
	int n = 0;
	while (n < size - 1)
	{
		const int c = irrGetc(file);
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

void irrClose(SZeFile* file)
{
	rf(file)->drop();
}

const SZeFileOps g_irrOps = { irrSeek, irrTell, irrRead, irrWrite, irrGetc, irrGets, irrClose };

class CZeFileBackendIrrlicht : public IZeFileBackend
{
public:
	explicit CZeFileBackendIrrlicht(io::IFileSystem* fileSystem) : FileSystem(fileSystem) { FileSystem->grab(); }
	~CZeFileBackendIrrlicht() override { FileSystem->drop(); }

	SZeFile* open(const std::string& name, const char* mode) override
	{
		if (strchr(mode, 'w') || strchr(mode, 'a') || strchr(mode, '+'))
			return zeOpenPlainFile(name, mode);
		// Exact name first (also finds files in the library's archives), then
		// a plain file whose case differs. The library opens whatever is on
		// disk and waits on a pipe: only regular files go to it.
		if (!zeIsOpenableOnDisk(name.c_str()))
			return nullptr;
		io::IReadFile* f = nullptr;
		if (FileSystem->existFile(name.c_str()))
			f = FileSystem->createAndOpenFile(name.c_str());
		if (!f)
		{
			const std::string resolved = zeResolvePlainPath(name);
			if (resolved.empty() || resolved == name)
				return nullptr;
			return zeOpenPlainFile(resolved, mode);
		}
		return new SZeFile{ f, &g_irrOps };
	}
	bool exists(const std::string& name) override
	{
		if (!zeIsOpenableOnDisk(name.c_str()))
			return false;
		if (FileSystem->existFile(name.c_str()))
			return true;
		const std::string resolved = zeResolvePlainPath(name);
		return !resolved.empty() && resolved != name && zeIsOpenableOnDisk(resolved.c_str());
	}

private:
	io::IFileSystem* FileSystem;
};
} // namespace

IZeFileBackend* zeCreateIrrlichtBackend(io::IFileSystem* fileSystem)
{
	return new CZeFileBackendIrrlicht(fileSystem);
}
