// The zelv executable.
#include "api/ZeMusic.h"
#include "api/ZeWatch.h"
#include "app/ZeRunModes.h"
#include "core/ZeEngineCore.h"
#include "players/ZeObjectViewer.h"
#include "render/ZeRenderFactories.h"

int main(int argc, char** argv)
{
	zeInstallEngineCore();
	zeRegisterRenderFactories();
	zeInstallMusic();
	SZeRunModes modes = {};
	modes.object = zeRunObjectViewer;
	const int status = zeMain(argc, argv, modes);
	zeFreeAllWatches();
	return status;
}
