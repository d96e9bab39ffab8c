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

// Writes the frame last presented to an image file (by extension, BMP or PNG).
// 0, or non-zero with the pending error "failed to grab the screen\n" (no
// OpenGL device, or no frame presented yet) or "failed to save screenshot to
// file '%s'\n" (argument 1).
//
// Frames cost nothing extra until a screenshot is asked for. The shot is read
// from the window's back buffer when the driver says the swap left the frame
// there (a back buffer of age 1, or a copying swap). Otherwise the back buffer
// may hold an older frame or nothing, and the front buffer reads black on
// some X servers: the first such shot has the frame drawn again, without
// presenting it, by what drew it (the frame end or the loading screen). That
// drawing uses the last frame's 2D list but the engine's state as it is now,
// so what changed since the present (nodes moved, the time of a later device
// run, the backdrop) shows in it. The drawing is kept, and from then on every
// frame is read into GPU memory just before it is presented: later shots,
// and shots asked again before the next present, are exact copies. A window
// resized since the present also has its frame drawn again, at the new size.
int zeScreenShot(const char* fileName);
// The frame last presented, as zeScreenShot takes it, in an image (one
// reference for the caller); null with the pending error "failed to grab the
// screen\n".
irr::video::IImage* zeGrabScreen();

// A frame kept in GPU memory: the present that showed it, and its size. Its
// pixels are red, green, blue, alpha bytes, rows from the bottom up.
struct SZeKeptFrame
{
	unsigned int serial;
	int width;
	int height;
};
// For a capture: while on, every frame is read just before its present into
// the next of a ring of three pixel buffers on the GPU, so that copying it out
// a frame later does not wait for the read. Off frees the ring (screenshots
// keep their one buffer).
void zeStreamFrames(bool on);
// The frame last presented, kept while the stream is on: when its present did
// not read it (the stream began after it), it is read now as a screenshot
// takes it, from the back buffer or drawn again. False with the pending error
// "failed to grab the screen\n" when it cannot be (stream off, no OpenGL
// device, no frame presented, no room).
bool zeKeepPresentedFrame(SZeKeptFrame* frame);
// Copies a kept frame's pixels into `pixels` (width x height x 4 bytes); false
// when its buffer has been read into again since, or on a GL error.
bool zeCopyKeptFrame(const SZeKeptFrame& frame, void* pixels);

// Draws the frame last presented again into the back buffer, without
// presenting it; false when it cannot.
typedef bool (*ZeFrameRedraw)();
// Presents the frame drawn into the back buffer (the driver's end of scene),
// keeping a copy first when screenshots need one; `redraw` is how it can be
// drawn again. Every frame end presents through it. The driver's result.
bool zePresentFrame(ZeFrameRedraw redraw);
