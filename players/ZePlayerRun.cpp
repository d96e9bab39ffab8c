#include "players/ZePlayerRun.h"

#include "api/ZeObjectApi.h"
#include "frame/ZeEngine.h"
#include "frame/ZeSignals.h"

int zeRunPlayer(const SZeCommandLine& commandLine, int (*player)(const SZeCommandLine& commandLine))
{
	zeInstallSignalHandlers();
	zeInstallObjectApi();
	SZeSetupParams params = commandLine.setup;
	if (zeReadSetupIni("zelv-setup.ini", zeGetProgramDir(), &params, 1) != 0)
	{
		zeTerm();
		return 1;
	}
	const int status = player(commandLine);
	zeTerm();
	return status == 0 ? 0 : 1;
}
