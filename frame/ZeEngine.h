// Engine set-up and shutdown, and the hooks through which the higher
// subsystems join the system layer.
//
// The device is OpenGL in an X11 window captioned "Zelv", or the 3D library's
// NULL driver when the environment variable ZELV_DRIVER is "null" (logic tests,
// machines without a display). ZELV_BATCH=1, or no DISPLAY, makes every dialog
// and message box take its non-interactive path.
#pragma once

#include "frame/ZeSetup.h"

#include <irrlicht.h>

class IZeSceneNodeAnimatorCamera;

// Hooks that the higher subsystems set once at program start; null entries
// keep the system layer's own behaviour.
struct SZeEngineHooks
{
	// Engine core: started after the device and camera exist (false fails the
	// set-up), stopped before the device is dropped.
	bool (*startCore)(const SZeSetupParams& params);
	void (*stopCore)();
	// The frame end; null: the system layer's own (scene graph, GUI, 2D list).
	void (*endFrame)();
	// A frame drawn into the dummy render target without presenting it.
	int (*renderDummyFrame)();
	// 2D drawing through effects (colours 0xAARRGGBB); 0 or -1.
	int (*drawBoxWithEffect)(int x1, int y1, int x2, int y2, int effectId, irr::u32 colour);
	int (*drawImageWithEffect)(irr::video::ITexture* texture, int x1, int y1, int x2, int y2, irr::u32 colour, int effectId);
	// Music replay, set up after the music table exists (false fails the set-up).
	bool (*startMusic)();
	void (*stopMusic)();
	// Ends every file and folder watch (their worker threads joined, their IDs
	// freed); first thing at shutdown. The watches set it when first used.
	void (*stopWatches)();
	// Deletes every item the engine API still holds (objects, lights, ...),
	// after the watches and before the music and the engine core stop. Set
	// when the API first puts an item into a table.
	void (*deleteApiItems)();
	// The scene node of an object ID, null when there is none.
	irr::scene::ISceneNode* (*objectNode)(int objectId);
	// Makes the camera's animator; null: the system layer's own.
	IZeSceneNodeAnimatorCamera* (*createCameraAnimator)(irr::IrrlichtDevice* device);
};
SZeEngineHooks& zeGetEngineHooks();

// Starts the engine, ending a running set-up first. Unset values give 640 by
// 480 by 32, full screen only when windowed is 0, vsync, antialiasing and light
// pre-pass on unless 0, and a camera range from 0.1 to 1000 (each end unset on
// its own). 0, or -1 with the pending error "Setup failed: %s" or
// "Failed to setup music replay".
int zeSetup(const SZeSetupParams* params);
// Ends the engine when set up (the watches, what the engine API still holds,
// the music, the engine core, the device, the ID tables); nothing otherwise.
void zeTerm();
int zeIsSetup();

// Reads the set-up file (running the set-up dialog when allowed and the file is
// missing), lets the values already in `params` override it and sets the engine
// up. 0 or -1.
int zeReadSetupIni(const char* fileName, const char* folder, SZeSetupParams* params, int allowDialog);

// Runs the set-up dialog: 0 when confirmed (values kept for zeScreenModeOption),
// non-zero when cancelled. Without a display it confirms the defaults.
int zeScreenModeDialog(SZeScreenModeValues* values);

// The device's logger and the engine log. Devices log everything to their
// event receiver, which hands each line to zeLogDeviceLine; the engine log's
// threshold decides what is written.
// An engine-core line (levels 0 debug to 3 error): handed to the device's
// logger (a receiver set on the device for a while sees it there), or written
// straight to the log when there is no device.
void zeLogEngineLine(int level, const char* text);
// Writes a line of a device's logger to the log: an engine-core line at its
// own level, the library's own lines at theirs, except that its information
// (the version banner, the files it loaded) is debug.
void zeLogDeviceLine(irr::ELOG_LEVEL level, const char* text);

// Whether dialogs and message boxes must not wait for a user.
bool zeIsBatchMode();
// Whether set-up makes the NULL driver (ZELV_DRIVER=null).
bool zeUsesNullDriver();
