// The zelv executable.
#include "api/ZeMusic.h"
#include "api/ZeWatch.h"
#include "app/ZeRunModes.h"
#include "core/IZeManager.h"
#include "core/ZeEngineCore.h"
#include "players/ZeDemoPlayer.h"
#include "players/ZeObjectViewer.h"
#include "players/ZeSceneViewer.h"
#include "scene/CZeResourceManagerScene.h"
#include "script/ZeScript.h"
#include "zersc/ZePack.h"

int main(int argc, char** argv)
{
	zeInstallEngineCore();
	// The scene content's services: morph, skinned and point-cloud nodes, and
	// the curl noise.
	zeRegisterSceneFactories();
	zeInstallMusic();
	SZeRunModes modes = {};
	modes.demo = zeRunDemoPlayer;
	modes.object = zeRunObjectViewer;
	modes.scene = zeRunSceneViewer;
	modes.binary = zeRunSceneViewer;
	modes.script = zeRunScriptMode;
	modes.packed = zeRunPackedMode;
	modes.command = zeRunPackCommand;
	const int status = zeMain(argc, argv, modes);
	zeFreeAllWatches();
	return status;
}
