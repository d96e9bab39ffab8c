// The packing commands' common frame: the program copied beside the target,
// the archive filled and stored as a resource of the copy or as its side
// file, and only whole results renamed into place.
#include "zersc/ZePack.h"
#include "zersc/ZePackArchive.h"
#include "zersc/ZeResource.h"

#include "frame/ZeFile.h"
#include "frame/ZeFileBackend.h"
#include "frame/ZeLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace
{
enum EPackWhere
{
	EPW_RESOURCE,
	EPW_SIDE_FILE
};

struct SPackCommand
{
	const char* targetArg;
	EPackWhere where;
	int resourceNumber;
	bool withShaderCache;
	std::function<int(CZePackArchive*)> content;
};

std::string g_packProgram;

bool sameFile(const std::string& a, const std::string& b)
{
	struct stat sa, sb;
	return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Whether writing the target or its side file would replace one of the
// programs or a side file of one (that side file would be run instead of the
// program's own data, an executable there would break it), through links too.
bool writesOverProgram(const std::string& target, const std::vector<std::string>& programs)
{
	std::vector<std::string> guarded;
	for (const std::string& program : programs)
	{
		guarded.push_back(program);
		guarded.push_back(zePackDatPath(program.c_str()));
	}
	for (const std::string& written : { target, std::string(zePackDatPath(target.c_str())) })
		for (const std::string& path : guarded)
			if (zeCanonicalPath(written) == zeCanonicalPath(path) || sameFile(written, path))
				return true;
	return false;
}

// Copies the program's image (the file without its appended blocks) to a new
// file beside the target with the program's mode; its path, or "" on failure.
std::string copyProgramBeside(const std::string& program, const std::string& target)
{
	const long long image = zeExecutableImageSize(program.c_str());
	struct stat st;
	const int from = image >= 0 ? open(program.c_str(), O_RDONLY | O_CLOEXEC) : -1;
	if (from < 0 || fstat(from, &st) != 0)
	{
		if (from >= 0)
			close(from);
		return "";
	}
	std::string temporary = target + ".XXXXXX";
	const int to = mkostemp(&temporary[0], O_CLOEXEC);
	bool ok = to >= 0 && fchmod(to, st.st_mode & 07777) == 0 && zeCopyFdRange(from, to, 0, image);
	if (to >= 0)
		ok = close(to) == 0 && ok;
	close(from);
	if (!ok)
	{
		if (to >= 0)
			unlink(temporary.c_str());
		return "";
	}
	return temporary;
}

bool removeIfThere(const std::string& path)
{
	return unlink(path.c_str()) == 0 || errno == ENOENT;
}

int runPackCommand(const SPackCommand& command)
{
	const std::string target = zeFullPath(command.targetArg);
	const std::string running = zeGetProgramPath();
	const std::string program = g_packProgram.empty() ? running : g_packProgram;
	if (writesOverProgram(target, { running, program }))
	{
		zeLogErrorBox("Cannot pack into the running program %s", target.c_str());
		return -1;
	}
	const std::string copy = copyProgramBeside(program, target);
	if (copy.empty())
	{
		zeLogErrorBox("Failed to copy %s to %s", program.c_str(), target.c_str());
		return -1;
	}
	const std::string dataFolder = std::string(zeFileGetDirPart(program.c_str())) + "data";
	const std::string sidePath = zePackDatPath(target.c_str());
	const std::string archivePath = sidePath + ".tmp";
	bool ok = removeIfThere(archivePath);
	if (!ok)
		zeLogErrorBox("Failed to delete archive file %s", archivePath.c_str());
	if (ok)
	{
		CZePackArchive archive(archivePath);
		for (const std::string& own : { target, sidePath, archivePath, copy })
			archive.exclude(own);
		ok = archive.isOpen() && command.content(&archive) == 0;
		if (ok && command.withShaderCache)
			ok = zePackShaderCache(&archive, dataFolder.c_str()) == 0;
		ok = ok && zePackShaders(&archive, dataFolder.c_str()) == 0;
		const size_t entries = archive.entries().size();
		ok = ok && archive.commit();
		if (ok)
			zeLog(EZELL_INFO, "ZePack: %zu files packed for %s", entries, target.c_str());
	}
	if (ok && command.where == EPW_RESOURCE)
		ok = zeWriteResource(copy.c_str(), archivePath.c_str(), command.resourceNumber) == 0;
	if (ok && command.where == EPW_SIDE_FILE && rename(archivePath.c_str(), sidePath.c_str()) != 0)
	{
		zeLogErrorBox("Failed to write the side file %s: %s", sidePath.c_str(), strerror(errno));
		ok = false;
	}
	if (ok && rename(copy.c_str(), target.c_str()) != 0)
	{
		zeLogErrorBox("Failed to copy %s to %s", program.c_str(), target.c_str());
		ok = false;
	}
	unlink(archivePath.c_str());
	if (!ok)
		unlink(copy.c_str());
	return ok ? 0 : -1;
}
} // namespace

void zeSetPackProgram(const char* path)
{
	g_packProgram = path ? zeFullPath(path) : std::string();
}

int zeWriteResource(const char* exe, const char* archiveFile, int number)
{
	long size = 0;
	std::unique_ptr<char[]> data(zeReadFile(archiveFile, &size));
	if (!data)
	{
		zeLogErrorBox("Failed to read  %s", archiveFile);
		return -1;
	}
	zeScrambleWords(data.get(), static_cast<size_t>(size));
	SZeResourceWriteError error;
	if (zeWriteResourceBlock(exe, number, data.get(), static_cast<size_t>(size), &error) == 0)
		return 0;
	if (error.step == EZERWS_BEGIN)
		zeLogErrorBox("Failed to BeginUpdate %s", exe);
	else if (error.step == EZERWS_UPDATE)
		zeLogErrorBox("Failed to UpdateResource %s", exe);
	else
		zeLogErrorBox("Failed to EndUpdate %s lastError=%d", exe, error.code);
	return -1;
}

int zePackDemo(const char* target, const char* demoPath, int datFile)
{
	const std::string path = demoPath ? demoPath : "";
	return runPackCommand({ target, datFile ? EPW_SIDE_FILE : EPW_RESOURCE, EZERSC_PACKED_DATA, true,
		[&path](CZePackArchive* archive) {
			return path.find(".zscn") != std::string::npos ? zePackSceneFiles(archive, path.c_str())
														   : zePackDemoFiles(archive, path.c_str());
		} });
}

int zePackDirectory(const char* target, const char* folder, int datFile)
{
	return runPackCommand({ target, datFile ? EPW_SIDE_FILE : EPW_RESOURCE, EZERSC_PACKED_DATA, true,
		[folder](CZePackArchive* archive) { return zePackDirectoryTree(archive, folder); } });
}

int zePackDirListCommand(const char* target, const char* listPath)
{
	return runPackCommand({ target, EPW_RESOURCE, EZERSC_PACKED_DATA, true,
		[listPath](CZePackArchive* archive) { return zePackDirList(archive, listPath); } });
}

int zePackEngineData(const char* target)
{
	return runPackCommand({ target, EPW_RESOURCE, EZERSC_ENGINE_DATA, false, [](CZePackArchive*) { return 0; } });
}

int zeRunPackCommand(const SZeCommandLine& commandLine)
{
	const char* a = commandLine.commandArgs[0];
	const char* b = commandLine.commandArgs[1];
	int result = -1;
	switch (commandLine.command)
	{
	case EZECMD_DEMO_EXE: result = zePackDemo(a, b, 0); break;
	case EZECMD_DEMO_DAT: result = zePackDemo(a, b, 1); break;
	case EZECMD_DIR_EXE: result = zePackDirectory(a, b, 0); break;
	case EZECMD_DIR_DAT: result = zePackDirectory(a, b, 1); break;
	case EZECMD_DIR_LIST_EXE: result = zePackDirListCommand(a, b); break;
	case EZECMD_EXE_RSC: result = zePackEngineData(a); break;
	case EZECMD_EXTRACT: result = zeExtractPacked(zeGetProgramPath()); break;
	default: zeLog(EZELL_ERROR, "ZePack: '%s' is no packing command", zeCommandName(commandLine.command)); break;
	}
	return result == 0 ? 0 : 1;
}
