// Log, pending API error and message boxes of the application frame.
//
// Index:
//   - Levels and flags
//   - Logging
//   - Pending API error
//   - Message-box hook (installed by the system layer once a window exists)
#pragma once

#include <cstdarg>

// ---- Levels and flags -------------------------------------------------------
enum EZE_LOG_LEVEL
{
	EZELL_DEBUG = 0,
	EZELL_INFO = 1,
	EZELL_WARN = 2,
	EZELL_ERROR = 3,
	EZELL_NONE = 4
};

enum EZE_LOG_FLAG
{
	EZELF_SET_ERROR = 0x10000,   // also record the text as the pending API error
	EZELF_MESSAGE_BOX = 0x20000  // also show a message box while boxes are on
};

// ---- Logging ----------------------------------------------------------------
// Formats into a 1,024-byte buffer and writes the text to the debug output and
// the standard output.
void zeDebugPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Logs "LEVEL : text" when the level (low 16 bits) reaches the threshold; the
// flags add a pending error (argument number -1) or a message box.
void zeLog(int levelAndFlags, const char* format, ...) __attribute__((format(printf, 2, 3)));
void zeLogV(int levelAndFlags, const char* format, va_list args);

// Logs at error level with a message box; sets no pending error.
void zeLogErrorBox(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The lowest level printed; EZELL_NONE prints nothing. Default EZELL_INFO.
void zeSetLogLevel(int level);
int zeGetLogLevel();

// Turns the message boxes of error logging off (and zeAreErrorBoxesEnabled false).
void zeDisableErrorBoxes();
bool zeAreErrorBoxesEnabled();

// The level's name: "DEBUG", "INFO", "WARN", "ERROR", "NONE".
const char* zeLogLevelName(int level);

// ---- Pending API error ------------------------------------------------------
// Formats (1,024 characters), logs at error level and records the text as the
// pending error with `code`, the 1-based script argument at fault (-1: none).
void zeSetError(int code, const char* format, ...) __attribute__((format(printf, 2, 3)));
// As zeSetError, and shows a message box unless boxes are off.
void zeSetErrorBox(int code, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The pending error's text and argument number, or null with -1 when none.
const char* zeGetError(int* number);
void zeClearError();

// Records the engine start's error text; zeGetEngineInitError reads it ("" when none).
void zeSetEngineInitError(const char* format, ...) __attribute__((format(printf, 1, 2)));
const char* zeGetEngineInitError();

// ---- Message-box hook -------------------------------------------------------
// The system layer installs a function that shows a message box in the engine
// window; without one (no window, or no display) boxes are only log lines.
typedef void (*ZeMessageBoxHook)(const char* caption, const char* text);
void zeSetMessageBoxHook(ZeMessageBoxHook hook);
ZeMessageBoxHook zeGetMessageBoxHook();

// Sink for every line the log writes; tests capture output through it. Null
// restores the default (standard output).
typedef void (*ZeLogSink)(const char* line);
void zeSetLogSink(ZeLogSink sink);
