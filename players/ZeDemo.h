// Demos: a "*.demo.ini" description read into SZeDemo (a "setup" section and
// one section per part, every section whose name contains "part"), then
// everything its parts name loaded with a loading screen: palettes, scenes
// with their extra scenes, musics and full-screen shaders, with the parts'
// start times and musics worked out from their scenes' audio.
//
// Index:
//   - Records
//   - Parsing
//   - Loading and freeing
#pragma once

// ---- Records ---------------------------------------------------------------------
const int ZE_DEMO_MAX_PARTS = 64;
const int ZE_DEMO_MAX_EXTRAS = 15;
const int ZE_DEMO_MAX_SHADERS = 10;
const int ZE_DEMO_MAX_FADERS = 20;
// Extra, shader and fader keys are looked for at the indices 0 to 19.
const int ZE_DEMO_KEY_INDICES = 20;
// Text sizes with their terminating zero: a part's name holds 39 characters,
// the other texts 127.
const int ZE_DEMO_NAME_SIZE = 40;
const int ZE_DEMO_TEXT_SIZE = 128;

const float ZE_DEMO_DEFAULT_NEAR = 0.1f;
const float ZE_DEMO_DEFAULT_FAR = 1000.0f;

// The next-ID counters that loading advances, by index.
enum EZE_DEMO_COUNTER
{
	EZEDC_SCENE = 0,
	EZEDC_OBJECT,
	EZEDC_LIGHT,
	EZEDC_FX_EMITTER,
	EZEDC_CUBE_MAP,
	EZEDC_CAMERA_EFFECT,
	EZEDC_RENDERER,
	EZEDC_EFFECT,
	EZEDC_PALETTE,
	EZEDC_MUSIC,
	EZEDC_COUNT
};

// An extra scene shown inside a window of demo time.
struct SZeDemoExtra
{
	int shown;
	char directory[ZE_DEMO_TEXT_SIZE];
	char filename[ZE_DEMO_TEXT_SIZE];
	int time;
	int length;
	// Run time, -1 until loaded.
	int sceneId;
	int firstObjectId;
	int firstLightId;
	int firstFxEmitterId;
	int firstCubeMapId;
	int reuseObjects;
	int flushObjects;
};

// A full-screen camera effect switched on inside a window of demo time.
struct SZeDemoShader
{
	int active;
	int done;
	char name[ZE_DEMO_TEXT_SIZE];
	int time;
	int length;
	int cameraEffectId;  // -1 until loaded
};

// A screen fade started inside a window of demo time.
struct SZeDemoFader
{
	int fadeOut;
	int active;
	int done;
	int time;
	int length;
	int fadeLength;  // milliseconds
	int color;       // 0xAARRGGBB
};

struct SZeDemoPart
{
	char name[ZE_DEMO_NAME_SIZE];
	int time;       // start in demo milliseconds, -1 when the file gives none
	int timeReset;  // the demo clock starts again at this part
	int timeBase;   // 0 with timeReset, else time: the scene's time is demo time minus it
	char music[ZE_DEMO_TEXT_SIZE];
	char palette[ZE_DEMO_TEXT_SIZE];
	char directory[ZE_DEMO_TEXT_SIZE];
	char filename[ZE_DEMO_TEXT_SIZE];
	float cameraNear;
	float cameraFar;
	int reuseObjects;
	int flushObjects;
	int paletteChannel;  // -1 none, 0 red, 1 green, 2 blue
	int paletteValue;
	int extraCount;
	SZeDemoExtra extras[ZE_DEMO_MAX_EXTRAS];
	int shaderCount;
	SZeDemoShader shaders[ZE_DEMO_MAX_SHADERS];
	int faderCount;
	SZeDemoFader faders[ZE_DEMO_MAX_FADERS];
	// Run time, -1 until loaded.
	int musicId;
	int paletteId;
	int sceneId;
	int firstObjectId;
	int firstLightId;
	int firstFxEmitterId;
	int firstCubeMapId;
};

// One demo description; zero-filled before parsing.
struct SZeDemo
{
	char musicDirectory[ZE_DEMO_TEXT_SIZE];
	char paletteDirectory[ZE_DEMO_TEXT_SIZE];
	char shadersDirectory[ZE_DEMO_TEXT_SIZE];
	int partCount;
	SZeDemoPart parts[ZE_DEMO_MAX_PARTS];
};

// ---- Parsing ---------------------------------------------------------------------
// Reads the description file through the file layer into `demo` (which the
// caller zero-fills). 0, or -1 after an error box: "Fail to load %s" (no
// path), "Fail to parse ini", "Too many parts (max 64)", "No parts!". Texts
// longer than their records are cut with a warning.
int zeDemoParseIni(SZeDemo* demo, const char* path);
// Sets every run-time ID of the parts and extras to -1 and clears the extras'
// shown flags; 0.
int zeDemoResetIds(SZeDemo* demo);

// ---- Loading and freeing ---------------------------------------------------------
// Parses, resets and loads everything the description names, advancing the
// next-ID counters (EZE_DEMO_COUNTER order) by what each load made. The file
// layer's current directory is the demo file's folder before each step (a
// part's scene loads from its directory under it), and so is the process's
// for plain files (the 3D library opens the images that scenes name through
// it); both come back afterwards.
// 0; 1 when the loading screen was cancelled (Escape, or the window closed)
// during a scene load, silently; -1 after an error box. What was loaded
// before a failure stays until zeDemoFree.
int zeDemoLoad(SZeDemo* demo, const char* path, int* firstIds);
// Frees the musics, palettes, scenes and camera effects of a loaded demo, in
// that order, setting their IDs back to -1.
void zeDemoFree(SZeDemo* demo);

// The steps of zeDemoLoad and zeDemoFree. Each load returns 0 or -1 (scenes
// also 1 when cancelled).
int zeDemoLoadPalettes(SZeDemo* demo, int* firstIds);
int zeDemoLoadScenes(SZeDemo* demo, int* firstIds);
int zeDemoLoadMusics(SZeDemo* demo, int* firstIds);
int zeDemoLoadShaders(SZeDemo* demo, int* firstIds);
void zeDemoFreeMusics(SZeDemo* demo);
void zeDemoFreePalettes(SZeDemo* demo);
void zeDemoFreeScenes(SZeDemo* demo);
void zeDemoFreeShaders(SZeDemo* demo);

// Works out every part's start time and music from its scene's audio (after
// the scenes are loaded): a part without a time continues the music before it
// at its scene's audio offset; a part with a time whose scene has audio
// starts that music. 0, or -1 after an error box naming the part and the rule.
int zeDemoComputePartTimes(SZeDemo* demo);

// What the scene-load progress callback is given: the loading part and the
// number of parts.
struct SZeDemoProgress
{
	int index;
	int count;
};
// The demo's scene-load progress callback (`progress` is an SZeDemoProgress):
// shows ((percent x 1000 / 100) + index x 1000) x 100 / (count x 1000)
// percent on the loading screen, then answers 1 (cancel) when the window has
// closed or Escape was ever pressed, else 0.
int zeDemoShowProgress(int percent, void* progress);
