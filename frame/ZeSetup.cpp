#include "frame/ZeSetup.h"
#include "frame/ZeFile.h"
#include "frame/ZeIni.h"
#include "frame/ZeLog.h"

#include <iniparser.h>

#include <string>

namespace
{
bool g_haveDialogValues = false;
SZeScreenModeValues g_dialogValues;

void takeInt(dictionary* ini, const char* key, int* value)
{
	if (*value == -1)
		*value = iniparser_getint(ini, key, -1);
}

void takeFloat(dictionary* ini, const char* key, float* value)
{
	if (*value < 0.0f)
		*value = static_cast<float>(iniparser_getdouble(ini, key, -1.0));
}
} // namespace

void zeInitSetupParams(SZeSetupParams* params)
{
	params->dataPrefix = nullptr;
	params->cameraNear = -1.0f;
	params->cameraFar = -1.0f;
	params->width = -1;
	params->height = -1;
	params->bits = -1;
	params->windowed = -1;
	params->windowX = -1;
	params->windowY = -1;
	params->vsync = -1;
	params->fps = -1;
	params->antialias = -1;
	params->lightPrePass = -1;
	params->hideMouse = -1;
	params->shaders = -1;
	params->stereo = -1;
}

int zeLoadSetupIni(const char* fileName, const char* folder, SZeSetupParams* params)
{
	std::string path = folder ? folder : "";
	if (!path.empty() && path.back() != '/' && path.back() != '\\')
		path += '/';
	path += fileName;
	if (!zeFileExist(path.c_str()))
		return 1;
	dictionary* ini = zeIniLoad(path.c_str());
	if (!ini)
	{
		zeLog(EZELL_ERROR, "ZeSetup: cannot read the set-up file '%s'", path.c_str());
		return -1;
	}
	takeInt(ini, "setup:width", &params->width);
	takeInt(ini, "setup:height", &params->height);
	takeInt(ini, "setup:bpp", &params->bits);
	takeInt(ini, "setup:windowed", &params->windowed);
	takeInt(ini, "setup:windowx", &params->windowX);
	takeInt(ini, "setup:windowy", &params->windowY);
	takeInt(ini, "setup:vsync", &params->vsync);
	takeInt(ini, "setup:fps", &params->fps);
	takeInt(ini, "setup:antialias", &params->antialias);
	takeInt(ini, "setup:lightprepass", &params->lightPrePass);
	takeInt(ini, "setup:hidemouse", &params->hideMouse);
	takeInt(ini, "setup:shaders", &params->shaders);
	takeInt(ini, "setup:stereo", &params->stereo);
	takeFloat(ini, "setup:near", &params->cameraNear);
	takeFloat(ini, "setup:far", &params->cameraFar);
	iniparser_freedict(ini);
	zeLog(EZELL_INFO, "ZeSetup: read '%s'", path.c_str());
	return 0;
}

void zeKeepScreenModeValues(const SZeScreenModeValues& values)
{
	g_dialogValues = values;
	g_haveDialogValues = true;
}

int zeScreenModeOption(const char* key)
{
	if (!key || !g_haveDialogValues)
		return -1;
	const SZeScreenModeValues& v = g_dialogValues;
	const struct
	{
		const char* name;
		int value;
	} options[] = { { "width", v.width }, { "height", v.height }, { "windowed", v.windowed }, { "bpp", v.bpp },
		{ "vsync", v.vsync }, { "fps", v.fps }, { "antialias", v.antialias }, { "shaders", v.shaders },
		{ "stereo", v.stereo }, { "centered", v.centered } };
	for (const auto& option : options)
		if (zeStricmp(key, option.name) == 0)
			return option.value;
	return -1;
}

void zeApplyScreenModeValues(const SZeScreenModeValues& values, SZeSetupParams* params)
{
	const struct
	{
		int value;
		int* target;
	} fields[] = { { values.width, &params->width }, { values.height, &params->height },
		{ values.bpp, &params->bits }, { values.windowed, &params->windowed }, { values.vsync, &params->vsync },
		{ values.fps, &params->fps }, { values.antialias, &params->antialias },
		{ values.shaders, &params->shaders }, { values.stereo, &params->stereo } };
	for (const auto& field : fields)
		if (*field.target == -1)
			*field.target = field.value;
}
