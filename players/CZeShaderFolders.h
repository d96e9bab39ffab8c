// The scene viewer's watch on the engine's shader folders: FolderWatch i on
// the i-th of "shaders", "shadersHV", "shadersPP", "shadersPP2", "shadersSURF"
// and "shadersSURF2" under the data prefix; when files in them change, the
// shaders built from those files are rebuilt.
#pragma once

#include <vector>

// The calls the watch makes, so that tests can put fakes in their place;
// zeShaderFolderCalls() gives the engine's (a folder that does not exist is
// not watched).
struct SZeShaderFolderCalls
{
	int (*makeFolderWatch)(const char* path, int id);
	int (*folderWatchChanged)(int id);
	int (*getFolderWatchChanges)(int id, const char*** list);
	void (*resetFolderWatch)(int id);
	void (*updateShaders)(int count, const char* const* files);
	void (*sleep)(int ms);
};
SZeShaderFolderCalls zeShaderFolderCalls();

// At most this many changed files go to one shader update.
const int ZE_SHADER_UPDATE_MAX_FILES = 100;

class CZeShaderFolders
{
public:
	explicit CZeShaderFolders(const SZeShaderFolderCalls& calls = zeShaderFolderCalls());

	// Watches the six folders under the data prefix; the number watched.
	int watch(const char* dataPrefix);
	// Nothing until a watch reports a change; then, after 200 ms for the
	// writes to end, hands the changed files of every changed watch (the first
	// 100) to the shader update and re-arms every watch. The number handed.
	int poll();

private:
	SZeShaderFolderCalls Calls;
	std::vector<int> Watches;
};
