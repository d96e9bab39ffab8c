// Music by ID: mp3 files read whole through the file layer and played by
// CZeMp3Player (libmpg123 decoding, SDL2 audio output). Positions are in
// milliseconds, volumes in percent. All functions run on the main thread.
//
// Errors: an ID holding no music gives the pending error
// "Music ID %d does not exist. %s" for argument 1 (not zeMusicExist, and
// zeDeleteMusic fails silently).
#pragma once

// Sets the engine hooks so that set-up starts music replay (SDL audio, or a
// silent clock-driven player without a sound device) and shutdown frees every
// music. Call once before zeSetup.
void zeInstallMusic();

// Creates the music table (capacity 50) unless it exists; 0, or -1 after
// logging "fails to create music list".
int zeInitMusics();
// Frees the music table, not the musics.
void zeTermMusics();

// Loads an mp3 file as music `id`; never replaces an ID. 0 or -1 with
// "invalid Music ID %d : %s" (2), "Failed to create mp3 renderer" or
// "Failed to load mp3" (-1).
int zeLoadMusic(const char* path, int id);
// Stops and frees the music. 0, or -1 without an error when there is none.
int zeDeleteMusic(int id);
// 1 when `id` holds a music, else 0; never an error.
int zeMusicExist(int id);

// Plays from the current position; a playing music restarts from 0. 0 or -1.
int zePlayMusic(int id);
// Stops and rewinds to 0. 0 or -1.
int zeStopMusic(int id);
// Pauses a playing music (it still counts as playing); else nothing. 0 or -1.
int zePauseMusic(int id);
// Plays on from the current position. 0 or -1.
int zeResumeMusic(int id);

// Seeks: 0, or -1 (missing ID, player not open).
int zeSetMusicPosition(int id, int ms);
// The position of the audio being heard in ms; -1 when not open or missing.
int zeGetMusicPosition(int id);

// Volume in percent; 100 is no attenuation, the sign is ignored.
void zeSetMusicVolume(int id, int percent);
// Current volume in percent; 0 for a missing ID.
int zeMusicVolume(int id);

// Volume conversions of the music API (fast single-precision approximations):
// percent to hundredths of a decibel (clamped to -10000..0) and back.
int zeMusicPercentToLevel(int percent);
int zeMusicLevelToPercent(int level);
// log10 from the float's exponent and mantissa (the sign is not read).
float zeFastLog10(float x);
// 10^x through 2^(x log2 10) with a quadratic for the fraction.
float zeFastPow10(float x);
