// The zelv executable.
#include "app/ZeRunModes.h"
#include "core/ZeEngineCore.h"

int main(int argc, char** argv)
{
	zeInstallEngineCore();
	SZeRunModes modes = {};
	return zeMain(argc, argv, modes);
}
