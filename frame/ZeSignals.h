// Termination requests from outside (SIGTERM, SIGINT): the handlers only raise
// a flag, and the frame loop (zeRun) ends the program's window when it is set.
#pragma once

// Installs the handlers; calling it again does nothing more.
void zeInstallSignalHandlers();
// Non-zero once SIGTERM or SIGINT arrived.
int zeTerminationRequested();
// Forgets an earlier request.
void zeClearTerminationRequest();
