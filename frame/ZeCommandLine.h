// Program entry's command line: packing commands, options, the file and its run mode.
#pragma once

#include "frame/ZeSetup.h"

// How a file is run, chosen by its name's extension (any case).
enum EZE_RUN_MODE
{
	EZERM_UNKNOWN = 0,
	EZERM_DEMO,    // ".demo.ini"
	EZERM_SCENE,   // ".lws.ini", ".zelv", ".zscn"
	EZERM_OBJECT,  // ".x", ".lwo", ".obj"
	EZERM_SCRIPT   // ".lua", ".zlua"
};
EZE_RUN_MODE zeRunModeFromName(const char* name);
const char* zeRunModeName(EZE_RUN_MODE mode);

// The scene viewer's options: four words in this order.
struct SZeViewerOptions
{
	int flags;
	int frameStart;
	int rideSpeed;
	int rideOptions;
};

enum EZE_VIEWER_FLAG
{
	EZEVF_COMMAND_LINE = 0x01,
	EZEVF_BINARY = 0x02,
	EZEVF_PAUSED = 0x04,
	EZEVF_FRAME_START = 0x08,
	EZEVF_RIDE = 0x10,
	EZEVF_MUSIC = 0x20,
	EZEVF_SYNC_UPDATE = 0x40,
	EZEVF_NO_IDLE_INACTIVE = 0x80
};

// The flag word of the options that are neither set-up nor viewer values.
enum EZE_COMMAND_FLAG
{
	EZECF_CONSOLE = 0x01,
	EZECF_USERLOG = 0x02,
	EZECF_CAPTURE = 0x04
};

// A command that runs alone, chosen by the first argument.
enum EZE_COMMAND
{
	EZECMD_RUN = 0,      // run the file by its run mode
	EZECMD_BINARY,       // "-binary [scene]"
	EZECMD_DEMO_EXE,     // "-demoexe target demo"
	EZECMD_DEMO_DAT,     // "-demodat target demo"
	EZECMD_DIR_EXE,      // "-direxe target folder"
	EZECMD_DIR_DAT,      // "-dirdat target folder"
	EZECMD_DIR_LIST_EXE, // "-dirlistexe target listfile"
	EZECMD_EXE_RSC,      // "-exersc target"
	EZECMD_EXTRACT       // "-extract"
};

struct SZeCommandLine
{
	EZE_COMMAND command;
	const char* commandArgs[2];  // the packing command's paths
	int commandArgCount;
	SZeSetupParams setup;
	int flags;                   // EZE_COMMAND_FLAG bits
	SZeViewerOptions viewer;
	const char* file;            // the first argument that is not an option, or null
	const char* captureBase;     // "-cap"
	float captureFps;            // "-capfps", 0 for the default
};

// Fills `out` from the arguments (argv[0] is the program). 0, or -1 after
// logging one error line (unknown option, missing or bad value, wrong count).
int zeParseCommandLine(int argc, const char* const* argv, SZeCommandLine* out);

// The command's option text ("-demoexe", ...), "" for EZECMD_RUN.
const char* zeCommandName(EZE_COMMAND command);

// Records the program's path (from /proc/self/exe, else argv0) and folder.
void zeSetProgramPath(const char* argv0);
// The program's absolute path, and its folder with a trailing '/'.
const char* zeGetProgramPath();
const char* zeGetProgramDir();
