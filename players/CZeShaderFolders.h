// The scene viewer's watch on the engine's shader folders: FolderWatch i on
// the i-th of "shaders", "shadersHV", "shadersPP", "shadersPP2", "shadersSURF"
// and "shadersSURF2" under the data prefix; when files in them change, the
// shaders built from those files are rebuilt. The watches are made once and
// kept: a folder made after the start is watched from the first poll that
// finds it, and a later run of the viewer goes on with the watches it finds.
#pragma once

#include <string>
#include <vector>

// The calls the watch makes, so that tests can put fakes in their place;
// zeShaderFolderCalls() gives the engine's.
struct SZeShaderFolderCalls
{
	bool (*folderExists)(const char* path);
	int (*makeFolderWatch)(const char* path, int id);
	int (*folderWatchExist)(int id);
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

	// Watches the six folders under the data prefix, those that exist; a
	// watch made by an earlier call on the same folder is kept while it
	// exists. The number watched.
	int watch(const char* dataPrefix);
	// First watches the folders that were missing and exist now. Then nothing
	// until a watch reports a change; then, after 200 ms for the writes to
	// end, hands the changed files of every changed watch (the first 100) to
	// the shader update and re-arms every watch. The number handed.
	int poll();

private:
	enum EFolderState
	{
		EFS_MISSING,  // looked for on every poll
		EFS_WATCHED,
		EFS_REFUSED   // there, but the watch could not be made
	};
	static const int FOLDER_COUNT = 6;

	// Watches the folder when it exists.
	void tryWatch(int id);
	bool watched(int id) const { return States[id] == EFS_WATCHED; }

	SZeShaderFolderCalls Calls;
	std::string Paths[FOLDER_COUNT];
	EFolderState States[FOLDER_COUNT];
};
