// The demo player: plays a demo description in real time, in time with its
// music, or captures it frame by frame at a fixed frame rate into numbered
// BMP files ("%s_%06d.bmp"). While capturing, frame n is drawn at demo time
// trunc(n x 1000 / fps) and everything that moves by time reads that time, so
// two captures of one demo are equal file for file.
#pragma once

#include "frame/ZeCommandLine.h"
#include "players/ZeDemo.h"

// What is playing, seven integers.
struct SZeDemoPlayState
{
	int startTime;      // clock value of demo time 0; a part with a time reset moves it
	int musicPartTime;  // the time of the part whose switch last started a music
	int partIndex;      // the current part, -1 before the first
	int musicId;        // -1 when none
	int paletteId;
	int sceneId;
	int ended;          // set when the last part is reached: it only marks the end
};

// Loads the demo (the first IDs: scene 0, object 1, palette 1, music 1, all
// others 0), prepares every part's scene, waits 200 ms, then captures when a
// base name is given and fps is not 0, else plays; frees everything. 0 when
// the demo ended, Escape was pressed or the window closed; -1 on any failure,
// a cancelled load included.
int zeDemoRun(const char* path, const char* baseName, float fps);
// zeDemoRun(path, null, 0).
int zeDemoPlay(const char* path);
// Captures at `fps` frames per second (0 means 30); -1 at once, with a
// message, for a negative rate.
int zeDemoCapture(const char* path, const char* baseName, float fps);

// The real-time loop: frames at the clock's time until the demo ends, Escape
// or the window closes. 0.
int zeDemoRunLoop(SZeDemo* demo);
// The capture loop: frame n at demo time trunc(n x 1000 / fps), written to
// "%s_%06d.bmp" (the frame that ends the demo as a copy of the last frame
// drawn). 0, or -1 when a file cannot be written.
int zeDemoCaptureLoop(SZeDemo* demo, const char* baseName, float fps);

// One frame at a demo time (-1: from the clock, or from the current part's
// music while it plays): part switch, extras, palette, shaders and faders in
// their windows, the scene animated, the frame ended. 0.
int zeDemoFrame(SZeDemo* demo, SZeDemoPlayState* state, int time);

// Sets the engine up from "zelv-setup.ini" in the program's folder (the
// command line's set-up values win), plays or, with "-cap", captures the
// command line's demo, and ends the engine. The exit status: 0, or 1 when the
// demo fails (loading failed or was cancelled, a file not written).
int zeRunDemoPlayer(const SZeCommandLine& commandLine);
