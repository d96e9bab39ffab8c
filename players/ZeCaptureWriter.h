// Frame files of a capture written on a thread of their own, in order, so
// that the next frame draws while the last one is written: the main thread
// only takes the frame from the window.
#pragma once

// Takes the frame last presented and has it written to a 24-bit BMP file, or
// (`repeat`) has the file named before copied to `fileName`. 0, or -1 after
// logging when the frame cannot be taken or a file (this one, or one before
// it) could not be written: "failed to save screenshot to file '%s'".
int zeCaptureWriteFrame(const char* fileName, int repeat);
// Waits until every file asked for is written and ends the writing thread.
// 0, or -1 after logging when a file could not be written.
int zeCaptureFinish();
