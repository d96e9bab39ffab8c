#include "frame/ZeSignals.h"

#include <csignal>
#include <cstring>

namespace
{
volatile sig_atomic_t g_terminate = 0;
bool g_installed = false;

void onTerminate(int)
{
	g_terminate = 1;
}
} // namespace

void zeInstallSignalHandlers()
{
	if (g_installed)
		return;
	struct sigaction action;
	memset(&action, 0, sizeof(action));
	action.sa_handler = onTerminate;
	sigemptyset(&action.sa_mask);
	action.sa_flags = SA_RESTART;
	sigaction(SIGTERM, &action, nullptr);
	sigaction(SIGINT, &action, nullptr);
	g_installed = true;
}

int zeTerminationRequested()
{
	return g_terminate ? 1 : 0;
}

void zeClearTerminationRequest()
{
	g_terminate = 0;
}
