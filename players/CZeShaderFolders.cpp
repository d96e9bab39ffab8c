#include "players/CZeShaderFolders.h"
#include "api/ZeWatch.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeLog.h"
#include "frame/ZeTime.h"

#include <filesystem>
#include <system_error>

namespace
{
const char* const SHADER_FOLDERS[] = { "shaders", "shadersHV", "shadersPP", "shadersPP2", "shadersSURF",
	"shadersSURF2" };
// Editors write a file in several steps: the update waits for them to end.
const int SETTLE_MS = 200;

bool isFolder(const char* path)
{
	std::error_code error;
	return std::filesystem::is_directory(path, error);
}
} // namespace

SZeShaderFolderCalls zeShaderFolderCalls()
{
	SZeShaderFolderCalls calls;
	calls.folderExists = isFolder;
	calls.makeFolderWatch = zeMakeFolderWatch;
	calls.folderWatchExist = zeFolderWatchExist;
	calls.folderWatchChanged = zeFolderWatchChanged;
	calls.getFolderWatchChanges = zeGetFolderWatchChanges;
	calls.resetFolderWatch = zeResetFolderWatch;
	calls.updateShaders = zeUpdateShaders;
	calls.sleep = zeSleep;
	return calls;
}

CZeShaderFolders::CZeShaderFolders(const SZeShaderFolderCalls& calls) : Calls(calls)
{
	for (EFolderState& state : States)
		state = EFS_MISSING;
}

int CZeShaderFolders::watch(const char* dataPrefix)
{
	std::string prefix = dataPrefix ? dataPrefix : "";
	if (!prefix.empty() && prefix.back() != '/' && prefix.back() != '\\')
		prefix += '/';
	int count = 0;
	for (int id = 0; id < FOLDER_COUNT; ++id)
	{
		const std::string path = prefix + SHADER_FOLDERS[id];
		if (!(watched(id) && Paths[id] == path && Calls.folderWatchExist(id)))
		{
			Paths[id] = path;
			States[id] = EFS_MISSING;
			tryWatch(id);
			if (States[id] == EFS_MISSING)
				zeLog(EZELL_DEBUG, "ZeSceneViewer: no shader folder '%s' to watch yet", path.c_str());
		}
		count += watched(id) ? 1 : 0;
	}
	return count;
}

void CZeShaderFolders::tryWatch(int id)
{
	if (!Calls.folderExists(Paths[id].c_str()))
		return;
	States[id] = Calls.makeFolderWatch(Paths[id].c_str(), id) == 0 ? EFS_WATCHED : EFS_REFUSED;
	if (watched(id))
		zeLog(EZELL_DEBUG, "ZeSceneViewer: watching the shader folder '%s'", Paths[id].c_str());
}

int CZeShaderFolders::poll()
{
	bool changed = false;
	for (int id = 0; id < FOLDER_COUNT; ++id)
	{
		if (States[id] == EFS_MISSING && !Paths[id].empty())
			tryWatch(id);
		changed = changed || (watched(id) && Calls.folderWatchChanged(id));
	}
	if (!changed)
		return 0;
	Calls.sleep(SETTLE_MS);
	std::vector<const char*> files;
	for (int id = 0; id < FOLDER_COUNT; ++id)
	{
		if (!watched(id) || !Calls.folderWatchChanged(id))
			continue;
		const char** list = nullptr;
		const int count = Calls.getFolderWatchChanges(id, &list);
		for (int i = 0; list && i < count && static_cast<int>(files.size()) < ZE_SHADER_UPDATE_MAX_FILES; ++i)
			files.push_back(list[i]);
	}
	// The names point into the watches' lists, which live until their next scan.
	Calls.updateShaders(static_cast<int>(files.size()), files.data());
	for (int id = 0; id < FOLDER_COUNT; ++id)
		if (watched(id))
			Calls.resetFolderWatch(id);
	return static_cast<int>(files.size());
}
