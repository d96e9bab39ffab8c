// GL with every entry point declared: the system's libGL exports the whole
// API, so libext calls it directly.
#pragma once

#ifndef GL_GLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES 1
#endif
#include <GL/gl.h>
#include <GL/glext.h>
