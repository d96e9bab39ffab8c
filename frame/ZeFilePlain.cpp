// Plain POSIX files, with the case fallback for data authored on Windows.
#include "frame/ZeFileBackend.h"

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
FILE* fp(SZeFile* file)
{
	return static_cast<FILE*>(file->handle);
}

int plainSeek(SZeFile* file, long offset, int origin)
{
	static const int whence[] = { SEEK_SET, SEEK_CUR, SEEK_END };
	if (origin < 0 || origin > 2)
		return -1;
	return fseek(fp(file), offset, whence[origin]);
}

long plainTell(SZeFile* file)
{
	return ftell(fp(file));
}

size_t plainRead(void* buffer, size_t size, size_t count, SZeFile* file)
{
	return fread(buffer, size, count, fp(file));
}

size_t plainWrite(const void* buffer, size_t size, size_t count, SZeFile* file)
{
	return fwrite(buffer, size, count, fp(file));
}

int plainGetc(SZeFile* file)
{
	return fgetc(fp(file));
}

char* plainGets(char* buffer, int size, SZeFile* file)
{
	return fgets(buffer, size, fp(file));
}

void plainClose(SZeFile* file)
{
	fclose(fp(file));
}

const SZeFileOps g_plainOps = { plainSeek, plainTell, plainRead, plainWrite, plainGetc, plainGets, plainClose };

bool isRegularFile(const std::string& path)
{
	struct stat st;
	return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool exists(const std::string& path)
{
	struct stat st;
	return stat(path.c_str(), &st) == 0;
}

// The entry of `dir` whose name equals `name` without regard to case, or "".
std::string findNoCase(const std::string& dir, const std::string& name)
{
	DIR* d = opendir(dir.empty() ? "." : dir.c_str());
	if (!d)
		return std::string();
	std::string found;
	while (dirent* e = readdir(d))
	{
		if (strcasecmp(e->d_name, name.c_str()) == 0)
		{
			found = e->d_name;
			break;
		}
	}
	closedir(d);
	return found;
}

bool isWriteMode(const char* mode)
{
	return strchr(mode, 'w') || strchr(mode, 'a') || strchr(mode, '+');
}

// Opens a file for reading only when it is a regular one. The open does not
// wait (a pipe without a writer would hold it forever), and the type is taken
// from what was opened, so a file swapped for a pipe after a look is refused too.
FILE* openRegularForReading(const std::string& path, const char* mode)
{
	const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
	if (fd < 0)
		return nullptr;
	struct stat st;
	const int flags = fcntl(fd, F_GETFL);
	FILE* f = nullptr;
	if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0)
		f = fdopen(fd, mode);
	if (!f)
		close(fd);
	return f;
}

class CZeFileBackendPlain : public IZeFileBackend
{
public:
	SZeFile* open(const std::string& name, const char* mode) override
	{
		return zeOpenPlainFile(name, mode);
	}
	bool exists(const std::string& name) override
	{
		const std::string path = zeResolvePlainPath(name);
		return !path.empty() && isRegularFile(path);
	}
};
} // namespace

std::string zeResolvePlainPath(const std::string& path)
{
	if (path.empty())
		return std::string();
	if (exists(path))
		return path;

	// Walk the components, taking each one as it is when it exists, else the
	// entry that matches it without regard to case.
	std::string resolved;
	size_t start = 0;
	if (path[0] == '/')
	{
		resolved = "/";
		start = 1;
	}
	while (start <= path.size())
	{
		size_t end = path.find('/', start);
		if (end == std::string::npos)
			end = path.size();
		const std::string part = path.substr(start, end - start);
		if (!part.empty())
		{
			const std::string dir = resolved;
			std::string candidate = dir + part;
			if (!exists(candidate))
			{
				const std::string match = findNoCase(dir, part);
				if (match.empty())
					return std::string();
				candidate = dir + match;
			}
			resolved = candidate;
			if (end < path.size())
				resolved += '/';
		}
		start = end + 1;
	}
	return resolved;
}

SZeFile* zeOpenPlainFile(const std::string& name, const char* mode)
{
	std::string path;
	if (isWriteMode(mode))
	{
		// A new file keeps its name; an existing folder of another case is reused.
		const size_t slash = name.rfind('/');
		path = name;
		if (slash != std::string::npos && slash > 0)
		{
			const std::string dir = zeResolvePlainPath(name.substr(0, slash));
			if (!dir.empty())
			{
				const std::string existing = zeResolvePlainPath(name);
				path = existing.empty() ? dir + name.substr(slash) : existing;
			}
		}
	}
	else
	{
		path = zeResolvePlainPath(name);
		FILE* f = path.empty() ? nullptr : openRegularForReading(path, mode);
		return f ? new SZeFile{ f, &g_plainOps } : nullptr;
	}
	FILE* f = fopen(path.c_str(), mode);
	if (!f)
		return nullptr;
	return new SZeFile{ f, &g_plainOps };
}

IZeFileBackend* zeCreatePlainBackend()
{
	return new CZeFileBackendPlain();
}
