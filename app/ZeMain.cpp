#include "app/ZeRunModes.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "frame/ZeWindow.h"
#include "zersc/ZeResource.h"

#include <cstdio>
#include <cstring>

namespace
{
void printUsage()
{
	fputs("usage: zelv [options] FILE\n"
		  "  FILE: *.demo.ini (demo), *.zscn|*.zelv|*.lws.ini (scene viewer),\n"
		  "        *.x|*.lwo|*.obj (object viewer), *.lua|*.zlua (script)\n"
		  "  zelv -demoexe|-demodat|-direxe|-dirdat|-dirlistexe TARGET SOURCE\n"
		  "  zelv -exersc TARGET | -binary [SCENE] | -extract\n"
		  "See README.md for the options.\n",
		stdout);
}

int notBuilt(const char* what)
{
	zeLog(EZELL_ERROR, "The %s is not in this build yet", what);
	return ZE_EXIT_NOT_BUILT;
}

ZeRunFile modeRunner(const SZeRunModes& modes, EZE_RUN_MODE mode)
{
	switch (mode)
	{
	case EZERM_DEMO: return modes.demo;
	case EZERM_SCENE: return modes.scene;
	case EZERM_OBJECT: return modes.object;
	case EZERM_SCRIPT: return modes.script;
	default: return nullptr;
	}
}

// Whether the first argument is a command that runs alone ("-demoexe", ...).
bool firstIsCommand(int argc, const char* const* argv)
{
	for (int c = EZECMD_BINARY; argc > 1 && c <= EZECMD_EXTRACT; ++c)
		if (!strcmp(argv[1], zeCommandName(static_cast<EZE_COMMAND>(c))))
			return true;
	return false;
}
} // namespace

int zeMain(int argc, const char* const* argv, const SZeRunModes& modes)
{
	zeSetProgramPath(argc > 0 ? argv[0] : nullptr);

	// Packed data carried by the executable runs at once: no option is read,
	// so none is refused either. A command as first argument still runs alone.
	if (!firstIsCommand(argc, argv) && zePackedDataExists(zeGetProgramPath()))
	{
		SZeCommandLine none;
		zeParseCommandLine(1, argv, &none);
		return modes.packed ? modes.packed(none) : notBuilt("player of packed data");
	}

	SZeCommandLine commandLine;
	if (zeParseCommandLine(argc, argv, &commandLine) != 0)
	{
		printUsage();
		return 2;
	}
	if (commandLine.flags & EZECF_USERLOG)
	{
		zeSetLogLevel(EZELL_WARN);
		zeDisableErrorBoxes();
	}

	// Packing commands, "-extract" and "-binary" run alone.
	if (commandLine.command == EZECMD_BINARY)
		return modes.binary ? modes.binary(commandLine) : notBuilt("scene conversion (-binary)");
	if (commandLine.command != EZECMD_RUN)
	{
		if (modes.command)
			return modes.command(commandLine);
		if (commandLine.command != EZECMD_EXTRACT)
			return notBuilt("packing of data");
		zeLogErrorBox("Resources don't exist");
		return 1;
	}

	if (!commandLine.file)
		commandLine.file = zeFileRequester("Open a Zelv demo, scene, object or script", "Zelv files");
	if (!commandLine.file)
	{
		zeLog(EZELL_ERROR, "No file to open");
		printUsage();
		return 2;
	}
	const EZE_RUN_MODE mode = zeRunModeFromName(commandLine.file);
	if (mode == EZERM_UNKNOWN)
	{
		zeLog(EZELL_ERROR, "Cannot tell how to run '%s': the name must end in .demo.ini, .zscn, .zelv, .lws.ini, "
						   ".x, .lwo, .obj, .lua or .zlua",
			commandLine.file);
		return 1;
	}
	// The object viewer reports a missing object itself.
	if (mode != EZERM_OBJECT && !zeFileExist(commandLine.file))
	{
		zeLog(EZELL_ERROR, "File '%s' does not exist", commandLine.file);
		return 1;
	}
	const ZeRunFile run = modeRunner(modes, mode);
	if (!run)
		return notBuilt(zeRunModeName(mode));
	return run(commandLine);
}
