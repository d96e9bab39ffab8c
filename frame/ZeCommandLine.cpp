#include "frame/ZeCommandLine.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <iterator>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace
{
char g_programPath[PATH_MAX];
char g_programDir[PATH_MAX];

struct SCommandInfo
{
	const char* option;
	EZE_COMMAND command;
	int minArgs;
	int maxArgs;
};

const SCommandInfo g_commands[] = {
	{ "-binary", EZECMD_BINARY, 0, 1 },
	{ "-demoexe", EZECMD_DEMO_EXE, 2, 2 },
	{ "-demodat", EZECMD_DEMO_DAT, 2, 2 },
	{ "-direxe", EZECMD_DIR_EXE, 2, 2 },
	{ "-dirdat", EZECMD_DIR_DAT, 2, 2 },
	{ "-dirlistexe", EZECMD_DIR_LIST_EXE, 2, 2 },
	{ "-exersc", EZECMD_EXE_RSC, 1, 1 },
	{ "-extract", EZECMD_EXTRACT, 0, 0 },
};

bool parseInt(const char* text, int* out)
{
	if (!text || !*text)
		return false;
	char* end = nullptr;
	const long value = strtol(text, &end, 10);
	if (*end || value < INT_MIN || value > INT_MAX)
		return false;
	*out = static_cast<int>(value);
	return true;
}

bool parseFloat(const char* text, float* out)
{
	if (!text || !*text)
		return false;
	char* end = nullptr;
	const float value = strtof(text, &end);
	if (*end)
		return false;
	*out = value;
	return true;
}

// Display sizes a window can have, and the colour depths the device takes.
const long MAX_DISPLAY_SIZE = 16384;
const int DISPLAY_BITS[] = { 16, 24, 32 };

enum EDisplayText
{
	EDT_OK,
	EDT_BAD_FORM,
	EDT_BAD_SIZE,
	EDT_BAD_BITS
};

// A decimal whole number, with an optional '-', at *text, which moves past it;
// LONG_MIN or LONG_MAX when it does not fit. False when there is none.
bool readNumber(const char** text, long* value)
{
	const char* start = *text;
	const bool negative = *start == '-';
	const char* digits = negative ? start + 1 : start;
	if (*digits < '0' || *digits > '9')
		return false;
	errno = 0;
	char* end = nullptr;
	*value = strtol(start, &end, 10);
	if (errno == ERANGE)
		*value = negative ? LONG_MIN : LONG_MAX;
	*text = end;
	return true;
}

// "WIDTHxHEIGHT" or "WIDTHxHEIGHTxBITS", and nothing after it; width and
// height from 1 to 16384, bits 16, 24 or 32.
EDisplayText parseDisplay(const char* text, SZeSetupParams* setup)
{
	long w = 0, h = 0, b = -1;
	const char* p = text;
	if (!readNumber(&p, &w) || *p++ != 'x' || !readNumber(&p, &h))
		return EDT_BAD_FORM;
	if (*p == 'x')
	{
		++p;
		if (!readNumber(&p, &b))
			return EDT_BAD_FORM;
	}
	if (*p)
		return EDT_BAD_FORM;
	if (w < 1 || w > MAX_DISPLAY_SIZE || h < 1 || h > MAX_DISPLAY_SIZE)
		return EDT_BAD_SIZE;
	if (b != -1 && std::find(std::begin(DISPLAY_BITS), std::end(DISPLAY_BITS), b) == std::end(DISPLAY_BITS))
		return EDT_BAD_BITS;
	setup->width = static_cast<int>(w);
	setup->height = static_cast<int>(h);
	if (b != -1)
		setup->bits = static_cast<int>(b);
	return EDT_OK;
}

bool isBoolText(const char* text)
{
	return text && (strcmp(text, "0") == 0 || strcmp(text, "1") == 0);
}

// Options that take values; each consumes its value arguments from argv.
class COptionReader
{
public:
	COptionReader(int argc, const char* const* argv, SZeCommandLine* out) : Argc(argc), Argv(argv), Out(out) {}

	int run()
	{
		for (I = 1; I < Argc; ++I)
		{
			const char* arg = Argv[I];
			if (arg[0] != '-' || arg[1] == 0)
			{
				if (!Out->file)
					Out->file = arg;
				continue;
			}
			if (!option(arg))
				return -1;
		}
		return 0;
	}

private:
	const char* value(const char* option)
	{
		if (I + 1 >= Argc)
		{
			zeLog(EZELL_ERROR, "Option '%s' needs a value", option);
			return nullptr;
		}
		return Argv[++I];
	}

	bool intValue(const char* option, int* target)
	{
		const char* text = value(option);
		if (!text)
			return false;
		if (!parseInt(text, target))
		{
			zeLog(EZELL_ERROR, "Option '%s' needs a whole number, not '%s'", option, text);
			return false;
		}
		return true;
	}

	// A flag that may be followed by "0" or "1"; alone it means 1.
	void switchValue(int* target)
	{
		if (I + 1 < Argc && isBoolText(Argv[I + 1]))
			*target = Argv[++I][0] - '0';
		else
			*target = 1;
	}

	bool option(const char* arg)
	{
		SZeViewerOptions& v = Out->viewer;
		SZeSetupParams& s = Out->setup;
		if (!strcmp(arg, "-console"))
			Out->flags |= EZECF_CONSOLE;
		else if (!strcmp(arg, "-userlog"))
			Out->flags |= EZECF_USERLOG;
		else if (!strcmp(arg, "-paused"))
			v.flags |= EZEVF_PAUSED;
		else if (!strcmp(arg, "-ride"))
			v.flags |= EZEVF_RIDE;
		else if (!strcmp(arg, "-nomusic"))
			v.flags &= ~EZEVF_MUSIC;
		else if (!strcmp(arg, "-syncupdate"))
			v.flags |= EZEVF_SYNC_UPDATE;
		else if (!strcmp(arg, "-noidleinactive"))
			v.flags |= EZEVF_NO_IDLE_INACTIVE;
		else if (!strcmp(arg, "-framestart"))
		{
			if (!intValue(arg, &v.frameStart))
				return false;
			v.flags |= EZEVF_FRAME_START;
		}
		else if (!strcmp(arg, "-rideopts"))
			return intValue(arg, &v.rideOptions);
		else if (!strcmp(arg, "-ridespeed"))
			return intValue(arg, &v.rideSpeed);
		else if (!strcmp(arg, "-display"))
		{
			const char* text = value(arg);
			if (!text)
				return false;
			switch (parseDisplay(text, &s))
			{
			case EDT_OK:
				break;
			case EDT_BAD_FORM:
				zeLog(EZELL_ERROR, "Option '-display' needs WIDTHxHEIGHT or WIDTHxHEIGHTxBITS, not '%s'", text);
				return false;
			case EDT_BAD_SIZE:
				zeLog(EZELL_ERROR, "Option '-display' needs a width and a height from 1 to %ld, not '%s'",
					MAX_DISPLAY_SIZE, text);
				return false;
			case EDT_BAD_BITS:
				zeLog(EZELL_ERROR, "Option '-display' needs 16, 24 or 32 bits, not '%s'", text);
				return false;
			}
		}
		else if (!strcmp(arg, "-windowed"))
			switchValue(&s.windowed);
		else if (!strcmp(arg, "-vsync"))
			switchValue(&s.vsync);
		else if (!strcmp(arg, "-windowpos"))
			return intValue(arg, &s.windowX) && intValue(arg, &s.windowY);
		else if (!strcmp(arg, "-stereo"))
			return intValue(arg, &s.stereo);
		else if (!strcmp(arg, "-cap"))
		{
			Out->captureBase = value(arg);
			if (!Out->captureBase)
				return false;
			Out->flags |= EZECF_CAPTURE;
		}
		else if (!strcmp(arg, "-capfps"))
		{
			const char* text = value(arg);
			if (!text)
				return false;
			// A frame time must stay a whole number of milliseconds that moves on.
			if (!parseFloat(text, &Out->captureFps) || !(Out->captureFps >= 0.0f && Out->captureFps <= 1000.0f))
			{
				zeLog(EZELL_ERROR, "Option '-capfps' needs a frame rate, not '%s'", text);
				return false;
			}
		}
		else
		{
			for (const SCommandInfo& info : g_commands)
				if (!strcmp(arg, info.option))
				{
					zeLog(EZELL_ERROR, "'%s' must be the first argument", arg);
					return false;
				}
			zeLog(EZELL_ERROR, "Unknown option '%s'", arg);
			return false;
		}
		return true;
	}

	int Argc;
	const char* const* Argv;
	SZeCommandLine* Out;
	int I = 0;
};
} // namespace

EZE_RUN_MODE zeRunModeFromName(const char* name)
{
	if (!name)
		return EZERM_UNKNOWN;
	if (zeEndsWithNoCase(name, ".demo.ini"))
		return EZERM_DEMO;
	if (zeEndsWithNoCase(name, ".lws.ini") || zeEndsWithNoCase(name, ".zelv") || zeEndsWithNoCase(name, ".zscn"))
		return EZERM_SCENE;
	if (zeEndsWithNoCase(name, ".x") || zeEndsWithNoCase(name, ".lwo") || zeEndsWithNoCase(name, ".obj"))
		return EZERM_OBJECT;
	if (zeEndsWithNoCase(name, ".lua") || zeEndsWithNoCase(name, ".zlua"))
		return EZERM_SCRIPT;
	return EZERM_UNKNOWN;
}

const char* zeRunModeName(EZE_RUN_MODE mode)
{
	switch (mode)
	{
	case EZERM_DEMO: return "demo player";
	case EZERM_SCENE: return "scene viewer";
	case EZERM_OBJECT: return "object viewer";
	case EZERM_SCRIPT: return "script runner";
	default: return "unknown";
	}
}

const char* zeCommandName(EZE_COMMAND command)
{
	for (const SCommandInfo& info : g_commands)
		if (info.command == command)
			return info.option;
	return "";
}

int zeParseCommandLine(int argc, const char* const* argv, SZeCommandLine* out)
{
	*out = SZeCommandLine();
	out->command = EZECMD_RUN;
	zeInitSetupParams(&out->setup);
	out->viewer.flags = EZEVF_COMMAND_LINE | EZEVF_MUSIC;

	// "-console" may stand anywhere, also beside a packing command.
	for (int i = 1; i < argc; ++i)
		if (!strcmp(argv[i], "-console"))
			out->flags |= EZECF_CONSOLE;

	if (argc > 1)
	{
		for (const SCommandInfo& info : g_commands)
		{
			if (strcmp(argv[1], info.option) != 0)
				continue;
			int count = 0;
			for (int i = 2; i < argc; ++i)
			{
				if (!strcmp(argv[i], "-console"))
					continue;
				if (count < 2)
					out->commandArgs[count] = argv[i];
				++count;
			}
			if (count < info.minArgs || count > info.maxArgs)
			{
				if (info.minArgs == info.maxArgs)
					zeLog(EZELL_ERROR, "'%s' takes %d argument%s", info.option, info.minArgs, info.minArgs == 1 ? "" : "s");
				else
					zeLog(EZELL_ERROR, "'%s' takes %d to %d arguments", info.option, info.minArgs, info.maxArgs);
				return -1;
			}
			out->command = info.command;
			out->commandArgCount = count;
			if (info.command == EZECMD_BINARY)
			{
				out->viewer.flags |= EZEVF_BINARY;
				out->file = count ? out->commandArgs[0] : nullptr;
			}
			return 0;
		}
	}
	return COptionReader(argc, argv, out).run();
}

void zeSetProgramPath(const char* argv0)
{
	const ssize_t n = readlink("/proc/self/exe", g_programPath, sizeof(g_programPath) - 1);
	if (n > 0)
		g_programPath[n] = 0;
	else if (!argv0 || !realpath(argv0, g_programPath))
		snprintf(g_programPath, sizeof(g_programPath), "%s", argv0 ? argv0 : "");
	snprintf(g_programDir, sizeof(g_programDir), "%s", zeFileGetDirPart(g_programPath));
}

const char* zeGetProgramPath()
{
	return g_programPath;
}

const char* zeGetProgramDir()
{
	return g_programDir;
}
