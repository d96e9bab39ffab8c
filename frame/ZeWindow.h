// Frame, window and time of the system layer.
#pragma once

#include <irrlicht.h>

// Pumps the window's messages once; non-zero while the device runs.
int zeRun();
// Ends the frame (the engine core's frame end when there is one).
void zeSync();
// The system layer's own frame end: nothing while minimised; begin scene with
// the backdrop colour, scene graph, GUI, 2D list, end scene and present.
void zeEndFrameDefault();
// A frame drawn into the dummy render target; -1 when there is no renderer.
int zeRenderDummy();

void zeHideWindow();
void zeShowWindow();
void zeMaximizeWindow();
void zeMinimizeWindow();
void zeRestoreWindow();
int zeIsWindowActive();
// 1 full screen, 0 windowed.
int zeWindowMode();
int zeScreenWidth();
int zeScreenHeight();
// 16, 24, 32 or 64.
int zeScreenDepth();

// Makes the LightWave Layout window (a top-level window whose title contains
// "Layout") the owner of the engine window: 0, or -1 without device or Layout.
int zeAttachToLayoutWindow();
void zeSetWindowTopmost();

// The user event that carries the host's frame number.
const int ZE_SYNC_FRAME_EVENT = 0x7000;
// The last frame number the host sent; 0x0FFFFFFF until one came.
int zeGetSyncFrame();
// Records a frame number (the event receiver calls it).
void zeSetSyncFrame(int frame);

// Open-file dialog over the current directory, which it restores. The chosen
// path (static, 260 characters) or null when cancelled.
const char* zeFileRequester(const char* text, const char* filter);
// Formats at most 1,023 characters and shows them in a message box captioned
// "Zelv"; in batch mode only the log line.
void zeMessageBox(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes the last presented frame, as it was drawn, to an image file (by
// extension, BMP or PNG). 0, or non-zero with the pending error "failed to
// grab the screen\n" (no OpenGL device, or no frame presented yet) or
// "failed to save screenshot to file '%s'\n" (argument 1).
int zeScreenShot(const char* fileName);
// Keeps the frame for screenshots; every frame end calls it just before presenting.
void zeGrabFrameBeforePresent();
