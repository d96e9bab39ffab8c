// For the test files that open OpenGL windows (Xvfb in the test run).
#pragma once

#include "frame/ZeSetup.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <cstdlib>

namespace zetest
{
// Xvfb refuses connections while it resets after its last client left: one
// connection held for the whole run keeps it up between tests. A test file
// registers it once:
//   ::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);
struct HoldDisplay : ::testing::Environment
{
	Display* Held = nullptr;
	void SetUp() override { Held = getenv("DISPLAY") ? XOpenDisplay(nullptr) : nullptr; }
	void TearDown() override { if (Held) XCloseDisplay(Held); }
};

// Picks the OpenGL driver (ZELV_DRIVER unset) and answers the setup of a
// width x height window without vsync, for the caller to start with zeSetup.
inline SZeSetupParams glWindowSetup(int width, int height)
{
	unsetenv("ZELV_DRIVER");
	SZeSetupParams p;
	zeInitSetupParams(&p);
	p.windowed = 1;
	p.width = width;
	p.height = height;
	p.vsync = 0;
	return p;
}
} // namespace zetest
