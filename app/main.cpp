// The zelv executable.
#include "app/ZeRunModes.h"
#include "core/ZeEngineCore.h"
#include "render/ZeRenderFactories.h"

int main(int argc, char** argv)
{
	zeInstallEngineCore();
	zeRegisterRenderFactories();
	SZeRunModes modes = {};
	return zeMain(argc, argv, modes);
}
