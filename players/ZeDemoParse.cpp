// Reading a demo description file into SZeDemo.
#include "players/ZeDemo.h"

#include "frame/ZeIni.h"
#include "frame/ZeLog.h"

#include <iniparser.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace
{
// "section:key" as the ini reader looks keys up.
std::string key(const char* section, const char* name)
{
	return std::string(section) + ":" + name;
}

// "section:prefix.index.name".
std::string indexedKey(const char* section, const char* prefix, int index, const char* name)
{
	return key(section, (std::string(prefix) + "." + std::to_string(index) + "." + name).c_str());
}

bool present(const dictionary* ini, const std::string& name)
{
	return iniparser_find_entry(ini, name.c_str()) != 0;
}

// Copies a text into a record of `size` bytes; a longer text is cut, with a warning.
void copyText(char* out, int size, const char* text, const std::string& from)
{
	const size_t length = strlen(text);
	if (length >= static_cast<size_t>(size))
		zeLog(EZELL_WARN, "ZeDemo: '%s' is longer than %d characters, cut", from.c_str(), size - 1);
	snprintf(out, static_cast<size_t>(size), "%s", text);
}

void readText(const dictionary* ini, const std::string& name, char* out, int size)
{
	copyText(out, size, iniparser_getstring(ini, name.c_str(), ""), name);
}

int readInt(const dictionary* ini, const std::string& name, int absent)
{
	return iniparser_getint(ini, name.c_str(), absent);
}

void readExtras(const dictionary* ini, const char* section, SZeDemoPart* part)
{
	for (int i = 0; i < ZE_DEMO_KEY_INDICES && part->extraCount < ZE_DEMO_MAX_EXTRAS; ++i)
	{
		const std::string directory = indexedKey(section, "extra", i, "directory");
		const std::string filename = indexedKey(section, "extra", i, "filename");
		if (!present(ini, directory) || !present(ini, filename))
			continue;
		SZeDemoExtra& e = part->extras[part->extraCount++];
		readText(ini, directory, e.directory, ZE_DEMO_TEXT_SIZE);
		readText(ini, filename, e.filename, ZE_DEMO_TEXT_SIZE);
		e.time = readInt(ini, indexedKey(section, "extra", i, "time"), 0);
		e.length = readInt(ini, indexedKey(section, "extra", i, "length"), 0);
		e.reuseObjects = readInt(ini, indexedKey(section, "extra", i, "reuseobjects"), 0);
		e.flushObjects = readInt(ini, indexedKey(section, "extra", i, "flushobjects"), 0);
	}
}

void readShaders(const dictionary* ini, const char* section, SZeDemoPart* part)
{
	for (int i = 0; i < ZE_DEMO_KEY_INDICES && part->shaderCount < ZE_DEMO_MAX_SHADERS; ++i)
	{
		const std::string name = indexedKey(section, "shader", i, "name");
		if (!present(ini, name))
			continue;
		SZeDemoShader& s = part->shaders[part->shaderCount++];
		readText(ini, name, s.name, ZE_DEMO_TEXT_SIZE);
		s.time = readInt(ini, indexedKey(section, "shader", i, "time"), 0);
		s.length = readInt(ini, indexedKey(section, "shader", i, "length"), 0);
	}
}

void readFaders(const dictionary* ini, const char* section, SZeDemoPart* part)
{
	for (int i = 0; i < ZE_DEMO_KEY_INDICES && part->faderCount < ZE_DEMO_MAX_FADERS; ++i)
	{
		const int time = readInt(ini, indexedKey(section, "fader", i, "time"), -1);
		if (time == -1)
			continue;
		SZeDemoFader& f = part->faders[part->faderCount++];
		f.time = time;
		f.length = readInt(ini, indexedKey(section, "fader", i, "length"), 1000);
		f.fadeLength = readInt(ini, indexedKey(section, "fader", i, "fadelength"), 1000);
		f.color = readInt(ini, indexedKey(section, "fader", i, "color"), 0);
		f.fadeOut = present(ini, indexedKey(section, "fader", i, "fadein")) ? 0 : 1;
	}
}

void readPart(const dictionary* ini, const char* section, SZeDemoPart* part)
{
	*part = SZeDemoPart();
	copyText(part->name, ZE_DEMO_NAME_SIZE, section, section);
	part->time = readInt(ini, key(section, "time"), -1);
	part->timeReset = readInt(ini, key(section, "timereset"), 0);
	part->timeBase = part->timeReset ? 0 : part->time;
	readText(ini, key(section, "music"), part->music, ZE_DEMO_TEXT_SIZE);
	readText(ini, key(section, "palette"), part->palette, ZE_DEMO_TEXT_SIZE);
	part->paletteChannel = -1;
	const char* const channels[] = {"palette.r", "palette.g", "palette.b"};
	for (int c = 0; c < 3 && part->paletteChannel < 0; ++c)
	{
		const int value = readInt(ini, key(section, channels[c]), -1);
		if (value != -1)
		{
			part->paletteChannel = c;
			part->paletteValue = value;
		}
	}
	readText(ini, key(section, "directory"), part->directory, ZE_DEMO_TEXT_SIZE);
	readText(ini, key(section, "filename"), part->filename, ZE_DEMO_TEXT_SIZE);
	part->cameraNear = ZE_DEMO_DEFAULT_NEAR;
	part->cameraFar = ZE_DEMO_DEFAULT_FAR;
	const char* range = iniparser_getstring(ini, key(section, "camerarange").c_str(), nullptr);
	if (range)
		sscanf(range, "%f %f", &part->cameraNear, &part->cameraFar);
	part->reuseObjects = readInt(ini, key(section, "reuseobjects"), 0);
	part->flushObjects = readInt(ini, key(section, "flushobjects"), 0);
	readExtras(ini, section, part);
	readShaders(ini, section, part);
	readFaders(ini, section, part);
}

bool isPartSection(const char* name)
{
	return name && strstr(name, "part") != nullptr;
}
} // namespace

int zeDemoParseIni(SZeDemo* demo, const char* path)
{
	if (!path)
	{
		zeLogErrorBox("Fail to load %s", "(null)");
		return -1;
	}
	dictionary* ini = zeIniLoad(path);
	if (!ini)
	{
		zeLogErrorBox("Fail to parse ini");
		return -1;
	}
	readText(ini, "setup:musicdirectory", demo->musicDirectory, ZE_DEMO_TEXT_SIZE);
	readText(ini, "setup:palettedirectory", demo->paletteDirectory, ZE_DEMO_TEXT_SIZE);
	readText(ini, "setup:shadersdirectory", demo->shadersDirectory, ZE_DEMO_TEXT_SIZE);

	const int sections = iniparser_getnsec(ini);
	int parts = 0;
	for (int i = 0; i < sections; ++i)
		parts += isPartSection(iniparser_getsecname(ini, i)) ? 1 : 0;
	if (parts > ZE_DEMO_MAX_PARTS)
	{
		iniparser_freedict(ini);
		zeLogErrorBox("Too many parts (max %d)", ZE_DEMO_MAX_PARTS);
		return -1;
	}
	demo->partCount = 0;
	for (int i = 0; i < sections; ++i)
	{
		const char* section = iniparser_getsecname(ini, i);
		if (isPartSection(section))
			readPart(ini, section, &demo->parts[demo->partCount++]);
	}
	iniparser_freedict(ini);
	if (demo->partCount == 0)
	{
		zeLogErrorBox("No parts!");
		return -1;
	}
	return 0;
}

int zeDemoResetIds(SZeDemo* demo)
{
	for (int p = 0; p < demo->partCount; ++p)
	{
		SZeDemoPart& part = demo->parts[p];
		part.musicId = part.paletteId = part.sceneId = -1;
		part.firstObjectId = part.firstLightId = part.firstFxEmitterId = part.firstCubeMapId = -1;
		for (int e = 0; e < part.extraCount; ++e)
		{
			SZeDemoExtra& extra = part.extras[e];
			extra.shown = 0;
			extra.sceneId = extra.firstObjectId = extra.firstLightId = -1;
			extra.firstFxEmitterId = extra.firstCubeMapId = -1;
		}
		for (int s = 0; s < part.shaderCount; ++s)
			part.shaders[s].cameraEffectId = -1;
	}
	return 0;
}
