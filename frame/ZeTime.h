// Time of the application frame.
#pragma once

// Milliseconds since the first call (the first call returns 0).
unsigned int zeTimer();
// Sleeps the calling thread.
void zeSleep(int milliseconds);
