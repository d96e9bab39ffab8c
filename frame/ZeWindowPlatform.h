// Internal to the system layer: the X11 side of the engine window.
#pragma once

// Moves the window; -1, -1 centres it on the screen.
void zePlaceWindow(int x, int y);
// Lets error logging show message boxes in the engine window.
void zeInstallMessageBoxHook();
// Asks the GL driver to wait for vertical sync; refusals are logged, not fatal.
void zeEnableVsync();
// Forgets the frame presented and any copy kept for screenshots (the device
// is going away).
void zeResetFrameGrab();
// Whether screenshots take the swap to keep the back buffer: 1 always, 0
// never, -1 as the driver says (the default). Tests run both ways with it.
void zeSetSwapKeepsBackBufferForTests(int keeps);
// Lets the window manager's close button end the device: the window offers
// WM_DELETE_WINDOW, which the library's X11 device reports as a user event.
void zeAdvertiseWindowClose();
// Closes the device when a user event is the window manager's close request.
bool zeHandleWindowCloseEvent(int userData1);
