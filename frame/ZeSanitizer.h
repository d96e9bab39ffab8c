// Support for the sanitizer builds.
#pragma once

// Sanitizer builds: keeps the GL driver that the process has loaded mapped
// until exit, so that the leak check at exit can still name the driver's own
// allocations (the driver is unloaded with its last context otherwise). Does
// nothing in other builds.
void zeKeepGLDriverLoaded();
