#include "frame/ZeIni.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"

#include <iniparser.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

dictionary* zeIniLoad(const char* name)
{
	long size = 0;
	char* data = zeReadFile(name, &size);
	if (!data)
		return nullptr;
	// iniparser reads only named files: hand it a private copy of the bytes,
	// which may have come from packed data.
	char path[] = "/tmp/zelv-ini-XXXXXX";
	const int fd = mkstemp(path);
	if (fd < 0)
	{
		delete[] data;
		zeLog(EZELL_ERROR, "ZeIni: cannot make a temporary file for '%s'", name);
		return nullptr;
	}
	const bool written = write(fd, data, static_cast<size_t>(size)) == size;
	close(fd);
	delete[] data;
	dictionary* dict = written ? iniparser_load(path) : nullptr;
	unlink(path);
	return dict;
}
