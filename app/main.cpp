// The zelv executable.
#include "api/ZeMusic.h"
#include "api/ZeWatch.h"
#include "app/ZeRunModes.h"
#include "core/IZeManager.h"
#include "core/ZeEngineCore.h"
#include "players/ZeObjectViewer.h"
#include "render/ZeRenderFactories.h"
#include "scene/CZeSceneManagerServiceScene.h"

int main(int argc, char** argv)
{
	zeInstallEngineCore();
	zeRegisterRenderFactories();
	// The scene content's service makes morph, skinned and point-cloud nodes.
	SZeServiceFactories factories = zeGetServiceFactories();
	factories.createSceneManager = zeCreateSceneManagerServiceScene;
	zeRegisterServiceFactories(factories);
	zeInstallMusic();
	SZeRunModes modes = {};
	modes.object = zeRunObjectViewer;
	const int status = zeMain(argc, argv, modes);
	zeFreeAllWatches();
	return status;
}
