#include "frame/ZeLog.h"

#include <cstdio>
#include <cstring>

namespace
{
const int TEXT_SIZE = 1024;

int g_threshold = EZELL_INFO;
bool g_errorBoxes = true;
ZeMessageBoxHook g_boxHook = nullptr;
ZeLogSink g_sink = nullptr;

bool g_errorPending = false;
int g_errorCode = -1;
char g_errorText[TEXT_SIZE];

char g_initError[TEXT_SIZE];

void writeLine(const char* line)
{
	if (g_sink)
	{
		g_sink(line);
		return;
	}
	fputs(line, stdout);
	fflush(stdout);
}

void showBox(const char* text)
{
	if (g_errorBoxes && g_boxHook)
		g_boxHook("Zelv", text);
}

void recordError(int code, const char* text)
{
	g_errorPending = true;
	g_errorCode = code;
	snprintf(g_errorText, sizeof(g_errorText), "%s", text);
}

void logText(int levelAndFlags, const char* text)
{
	const int level = levelAndFlags & 0xFFFF;
	if (level >= g_threshold && level < EZELL_NONE)
	{
		char line[TEXT_SIZE + 16];
		snprintf(line, sizeof(line), "%s : %s\n", zeLogLevelName(level), text);
		writeLine(line);
	}
	if (levelAndFlags & EZELF_SET_ERROR)
		recordError(-1, text);
	if (levelAndFlags & EZELF_MESSAGE_BOX)
		showBox(text);
}
} // namespace

const char* zeLogLevelName(int level)
{
	static const char* const names[] = { "DEBUG", "INFO", "WARN", "ERROR", "NONE" };
	if (level < EZELL_DEBUG || level > EZELL_NONE)
		return "NONE";
	return names[level];
}

void zeDebugPrintf(const char* format, ...)
{
	char text[TEXT_SIZE];
	va_list args;
	va_start(args, format);
	vsnprintf(text, sizeof(text), format, args);
	va_end(args);
	writeLine(text);
}

void zeLogV(int levelAndFlags, const char* format, va_list args)
{
	char text[TEXT_SIZE];
	vsnprintf(text, sizeof(text), format, args);
	logText(levelAndFlags, text);
}

void zeLog(int levelAndFlags, const char* format, ...)
{
	va_list args;
	va_start(args, format);
	zeLogV(levelAndFlags, format, args);
	va_end(args);
}

void zeLogErrorBox(const char* format, ...)
{
	va_list args;
	va_start(args, format);
	zeLogV(EZELL_ERROR | EZELF_MESSAGE_BOX, format, args);
	va_end(args);
}

void zeSetLogLevel(int level)
{
	g_threshold = level;
}

int zeGetLogLevel()
{
	return g_threshold;
}

void zeDisableErrorBoxes()
{
	g_errorBoxes = false;
}

bool zeAreErrorBoxesEnabled()
{
	return g_errorBoxes;
}

static void setErrorV(int code, bool box, const char* format, va_list args)
{
	char text[TEXT_SIZE];
	vsnprintf(text, sizeof(text), format, args);
	logText(EZELL_ERROR | (box ? EZELF_MESSAGE_BOX : 0), text);
	recordError(code, text);
}

void zeSetError(int code, const char* format, ...)
{
	va_list args;
	va_start(args, format);
	setErrorV(code, false, format, args);
	va_end(args);
}

void zeSetErrorBox(int code, const char* format, ...)
{
	va_list args;
	va_start(args, format);
	setErrorV(code, true, format, args);
	va_end(args);
}

const char* zeGetError(int* number)
{
	if (!g_errorPending)
	{
		if (number)
			*number = -1;
		return nullptr;
	}
	if (number)
		*number = g_errorCode;
	return g_errorText;
}

void zeClearError()
{
	g_errorPending = false;
	g_errorCode = -1;
	g_errorText[0] = 0;
}

void zeSetEngineInitError(const char* format, ...)
{
	va_list args;
	va_start(args, format);
	vsnprintf(g_initError, sizeof(g_initError), format, args);
	va_end(args);
}

const char* zeGetEngineInitError()
{
	return g_initError;
}

void zeSetMessageBoxHook(ZeMessageBoxHook hook)
{
	g_boxHook = hook;
}

ZeMessageBoxHook zeGetMessageBoxHook()
{
	return g_boxHook;
}

void zeSetLogSink(ZeLogSink sink)
{
	g_sink = sink;
}
