#include "players/CZeShaderFolders.h"
#include "api/ZeWatch.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeLog.h"
#include "frame/ZeTime.h"

#include <filesystem>
#include <string>
#include <system_error>

namespace
{
const char* const SHADER_FOLDERS[] = { "shaders", "shadersHV", "shadersPP", "shadersPP2", "shadersSURF",
	"shadersSURF2" };
// Editors write a file in several steps: the update waits for them to end.
const int SETTLE_MS = 200;

int watchFolderIfPresent(const char* path, int id)
{
	std::error_code error;
	if (!std::filesystem::is_directory(path, error))
	{
		zeLog(EZELL_DEBUG, "ZeSceneViewer: no shader folder '%s' to watch", path);
		return -1;
	}
	return zeMakeFolderWatch(path, id);
}
} // namespace

SZeShaderFolderCalls zeShaderFolderCalls()
{
	SZeShaderFolderCalls calls;
	calls.makeFolderWatch = watchFolderIfPresent;
	calls.folderWatchChanged = zeFolderWatchChanged;
	calls.getFolderWatchChanges = zeGetFolderWatchChanges;
	calls.resetFolderWatch = zeResetFolderWatch;
	calls.updateShaders = zeUpdateShaders;
	calls.sleep = zeSleep;
	return calls;
}

CZeShaderFolders::CZeShaderFolders(const SZeShaderFolderCalls& calls) : Calls(calls)
{
}

int CZeShaderFolders::watch(const char* dataPrefix)
{
	std::string prefix = dataPrefix ? dataPrefix : "";
	if (!prefix.empty() && prefix.back() != '/' && prefix.back() != '\\')
		prefix += '/';
	const int count = static_cast<int>(sizeof(SHADER_FOLDERS) / sizeof(SHADER_FOLDERS[0]));
	for (int id = 0; id < count; ++id)
		if (Calls.makeFolderWatch((prefix + SHADER_FOLDERS[id]).c_str(), id) == 0)
			Watches.push_back(id);
	return static_cast<int>(Watches.size());
}

int CZeShaderFolders::poll()
{
	bool changed = false;
	for (int id : Watches)
		changed = changed || Calls.folderWatchChanged(id);
	if (!changed)
		return 0;
	Calls.sleep(SETTLE_MS);
	std::vector<const char*> files;
	for (int id : Watches)
	{
		if (!Calls.folderWatchChanged(id))
			continue;
		const char** list = nullptr;
		const int count = Calls.getFolderWatchChanges(id, &list);
		for (int i = 0; list && i < count && static_cast<int>(files.size()) < ZE_SHADER_UPDATE_MAX_FILES; ++i)
			files.push_back(list[i]);
	}
	// The names point into the watches' lists, which live until their next scan.
	Calls.updateShaders(static_cast<int>(files.size()), files.data());
	for (int id : Watches)
		Calls.resetFolderWatch(id);
	return static_cast<int>(files.size());
}
