// Packed mode: the executable's packed data mounted as the file layer's source
// and its demo, scene or script run from it.
#include "zersc/ZePack.h"
#include "zersc/ZeResource.h"

#include "api/ZeObjectApi.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "frame/ZeSignals.h"
#include "players/ZeDemoPlayer.h"
#include "players/ZeSceneViewer.h"
#include "script/ZeScript.h"

#include <memory>

namespace
{
const char* const SETUP_FILE = "zelv-setup.ini";
const char* const DEMO_FILE = "zelv.demo.ini";
const char* const SCENE_FILE = "zelv.zscn";
const char* const SCRIPT_FILE = "main.lua";

// Runs what the mounted pack holds; 0 or -1.
int runPackContent()
{
	const char* start = zePackStartFile();
	if (start == DEMO_FILE)
		return zeDemoPlay(DEMO_FILE) == 0 ? 0 : -1;
	if (start == SCENE_FILE)
	{
		const SZeViewerOptions options = {};
		return zeSceneViewer(SCENE_FILE, &options) == 0 ? 0 : -1;
	}
	// A script that fails makes the run fail, so that its exit status tells.
	if (start == SCRIPT_FILE)
		return zeRunScript(SCRIPT_FILE, 1) == 0 ? 0 : -1;
	zeLog(EZELL_INFO, "ZePack: the packed data holds none of %s, %s and %s", DEMO_FILE, SCENE_FILE, SCRIPT_FILE);
	return 0;
}
} // namespace

const char* zePackStartFile()
{
	for (const char* name : { DEMO_FILE, SCENE_FILE, SCRIPT_FILE })
		if (zeFileExist(name))
			return name;
	return nullptr;
}

int zeRunPacked(const char* exePath)
{
	if (!zePackedDataExists(exePath))
	{
		zeLogErrorBox("Resources don't exist");
		return -1;
	}
	// The unscrambled archive lives until packed mode ends.
	std::unique_ptr<char[]> block;
	int mounted;
	if (zeResourceExistsIn(exePath, EZERSC_PACKED_DATA))
	{
		char* raw = nullptr;
		char* data = nullptr;
		size_t size = 0;
		if (zeLoadResourceFrom(exePath, EZERSC_PACKED_DATA, &raw, &data, &size) != 0)
		{
			zeLogErrorBox("Failed to load resources from executable");
			return -1;
		}
		block.reset(raw);
		mounted = zeMountArchiveMemory(data, size);
	}
	else
		mounted = zeMountArchiveFile(zePackDatPath(exePath));
	if (mounted != 0)
	{
		zeLogErrorBox("Failed to open the packed data of %s", exePath);
		return -1;
	}
	zeInstallSignalHandlers();
	zeInstallObjectApi();
	// The root of the pack is the current folder and the engine's data folder.
	zeFileSetCurrentDir("/");
	SZeSetupParams params;
	zeInitSetupParams(&params);
	params.dataPrefix = "/";
	const int result = zeReadSetupIni(SETUP_FILE, "/", &params, 1) == 0 ? runPackContent() : -1;
	zeTerm();
	zeUnmountArchive();
	return result;
}

int zeRunPackedMode(const SZeCommandLine&)
{
	return zeRunPacked(zeGetProgramPath()) == 0 ? 0 : 1;
}
