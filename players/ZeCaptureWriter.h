// Frame files of a capture written on a thread of their own, in order, so
// that the next frame draws while the last one is written. The frame layer
// reads each frame, just before its present, into GPU memory in the BMP
// file's own pixel layout; the main thread copies it out a frame later into a
// pooled buffer, and the writing thread adds the headers and writes it.
#pragma once

// Has the frame last presented written to a 24-bit BMP file (once the next
// frame is asked for, or at zeCaptureFinish), or (`repeat`) has the file
// named before copied to `fileName`. 0, or -1 when the frame cannot be taken
// ("failed to grab the screen" pending) or after logging "failed to save
// screenshot to file '%s'" when a file (this one, or one before it) could not
// be written.
int zeCaptureWriteFrame(const char* fileName, int repeat);
// Writes the frame still waiting, waits until every file asked for is written
// and ends the writing thread. 0, or -1 after logging when a file could not
// be written.
int zeCaptureFinish();
