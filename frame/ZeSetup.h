// The set-up record, the set-up file "zelv-setup.ini" and the set-up dialog's
// kept values.
#pragma once

// Sixteen values; -1 (or a null prefix, or a negative camera distance) means unset.
struct SZeSetupParams
{
	const char* dataPrefix;
	float cameraNear;
	float cameraFar;
	int width;
	int height;
	int bits;
	int windowed;
	int windowX;
	int windowY;
	int vsync;
	int fps;
	int antialias;
	int lightPrePass;
	int hideMouse;
	int shaders;
	int stereo;
};

// Every value unset.
void zeInitSetupParams(SZeSetupParams* params);

// Reads the set-up file `fileName` in `folder` (null or "" for the file layer's
// current directory; "/" is the root of packed data) through the file layer and
// fills every value that `params` leaves unset, so command-line values win.
// 0 when read, 1 when the file does not exist, -1 when it cannot be parsed.
int zeLoadSetupIni(const char* fileName, const char* folder, SZeSetupParams* params);

// The values of a confirmed set-up dialog.
struct SZeScreenModeValues
{
	int width;
	int height;
	int windowed;
	int bpp;
	int vsync;
	int fps;
	int antialias;
	int shaders;
	int stereo;
	int centered;
};

// Keeps confirmed dialog values for zeScreenModeOption.
void zeKeepScreenModeValues(const SZeScreenModeValues& values);
// The kept value for "width", "height", "windowed", "bpp", "vsync", "fps",
// "antialias", "shaders", "stereo" or "centered" (any case); -1 for any other
// key, or when no dialog was confirmed.
int zeScreenModeOption(const char* key);
// Copies confirmed dialog values into unset entries of the set-up record.
void zeApplyScreenModeValues(const SZeScreenModeValues& values, SZeSetupParams* params);
