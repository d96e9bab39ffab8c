// Support for the sanitizer builds.
#pragma once

// Sanitizer builds: keeps the GL driver that the process has loaded mapped
// until exit. The driver is unloaded with its last context otherwise, and what
// it keeps for the whole process (reachable only from its own data) is then
// taken for leaks by the leak check at exit. Does nothing in other builds.
void zeKeepGLDriverLoaded();
