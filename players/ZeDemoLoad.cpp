// Loading what a demo description names, its parts' times, and freeing it.
#include "players/ZeDemo.h"

#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "players/ZeDemoCalls.h"

#include <string>

namespace
{
// "folder/name"; the name alone when there is no folder.
std::string joinPath(const char* folder, const char* name)
{
	return *folder ? std::string(folder) + "/" + name : std::string(name);
}

// Makes a folder the file layer's current directory and, for plain files,
// the process's too: the 3D library opens the images that scenes and effects
// name relative to the process's folder.
void enterFolder(const std::string& folder)
{
	zeFileSetCurrentDir(folder.c_str());
	if (!zeIsPackedFilesystem())
		zeSetCurrentDirectory(folder.c_str());
}

// Loads one scene file (a part's or an extra's) from `directory` under the
// demo's folder with the counters as first IDs, then advances the counters
// by what the scene holds. The load's result.
int loadScene(const std::string& demoFolder, const char* directory, const char* filename, int reuseObjects,
	int extraMode, int* ids, int* sceneId, int* firstIds4)
{
	SZeDemoCalls& calls = zeDemoCalls();
	zeFileSetCurrentDir(demoFolder.c_str());
	zeFileJoinCurrentDir(directory);
	enterFolder(zeFileGetCurrentDir());
	*sceneId = ids[EZEDC_SCENE];
	const int result = calls.loadScene(filename, ids[EZEDC_SCENE], ids[EZEDC_OBJECT], ids[EZEDC_LIGHT],
		ids[EZEDC_FX_EMITTER], ids[EZEDC_CUBE_MAP], ids[EZEDC_CAMERA_EFFECT], ids[EZEDC_RENDERER], ids[EZEDC_EFFECT],
		reuseObjects, directory, extraMode);
	if (result != 0)
		return result;
	firstIds4[0] = ids[EZEDC_OBJECT];
	firstIds4[1] = ids[EZEDC_LIGHT];
	firstIds4[2] = ids[EZEDC_FX_EMITTER];
	firstIds4[3] = ids[EZEDC_CUBE_MAP];
	const int scene = ids[EZEDC_SCENE];
	ids[EZEDC_OBJECT] += calls.sceneTotalObjects(scene);
	ids[EZEDC_LIGHT] += calls.sceneTotalLights(scene);
	ids[EZEDC_FX_EMITTER] += calls.sceneTotalFxEmitters(scene);
	ids[EZEDC_CUBE_MAP] += calls.sceneTotalCubeMaps(scene);
	ids[EZEDC_CAMERA_EFFECT] += calls.sceneTotalCameraShaders(scene);
	ids[EZEDC_RENDERER] += calls.sceneHasRenderer(scene) ? 1 : 0;
	ids[EZEDC_EFFECT] += calls.sceneTotalEffects(scene);
	ids[EZEDC_SCENE] += 1;
	return 0;
}

// The folder of the demo file; a full path for plain files, so that it holds
// when the process's folder changes.
std::string demoFolderOf(const char* path)
{
	const std::string full = zeFileGetFullPath(path);
	return zeIsPackedFilesystem() ? zeFileGetDirPart(full.c_str()) : zeGetFileDirectory(full.c_str());
}

std::string g_demoFolder;

// The scene's music: its audio file's name without folder and extension,
// then ".mp3"; "" when the scene has no audio.
std::string sceneMusic(int sceneId)
{
	const char* audio = sceneId >= 0 ? zeDemoCalls().getSceneAudio(sceneId) : nullptr;
	return audio && *audio ? std::string(zeFileGetNamePart(audio, 0)) + ".mp3" : std::string();
}

// The nearest earlier part with a music, or -1; -2 when a part with a time
// reset lies between (after logging message 4 for `part`).
int previousMusicPart(const SZeDemo* demo, int index)
{
	for (int j = index - 1; j >= 0; --j)
	{
		if (demo->parts[j].music[0])
			return j;
		if (demo->parts[j].timeReset)
		{
			zeLogErrorBox("Part %s: timereset no supported before a part that has a music within the scene",
				demo->parts[index].name);
			return -2;
		}
	}
	return -1;
}

int partTimeFailure(const char* format, const char* part)
{
	zeLogErrorBox(format, part);
	return -1;
}
} // namespace

int zeDemoShowProgress(int percent, void* progress)
{
	SZeDemoCalls& calls = zeDemoCalls();
	const SZeDemoProgress* p = static_cast<const SZeDemoProgress*>(progress);
	if (p && p->count > 0)
		calls.loadingScreenProgress(((percent * 1000 / 100) + p->index * 1000) * 100 / (p->count * 1000));
	return (!calls.run() || calls.escapeKeyEverPressed()) ? 1 : 0;
}

int zeDemoLoadPalettes(SZeDemo* demo, int* firstIds)
{
	for (int p = 0; p < demo->partCount; ++p)
	{
		SZeDemoPart& part = demo->parts[p];
		if (!part.palette[0])
			continue;
		// Palettes do nothing in this engine: the part only takes its ID.
		part.paletteId = firstIds[EZEDC_PALETTE]++;
	}
	return 0;
}

int zeDemoLoadScenes(SZeDemo* demo, int* firstIds)
{
	SZeDemoCalls& calls = zeDemoCalls();
	SZeDemoProgress progress = {0, demo->partCount};
	int result = 0;
	for (int p = 0; p < demo->partCount && result == 0; ++p)
	{
		SZeDemoPart& part = demo->parts[p];
		if (!part.filename[0])
			continue;
		progress.index = p;
		calls.setLoadSceneCallback(zeDemoShowProgress, &progress);
		int first[4];
		result = loadScene(g_demoFolder, part.directory, part.filename, part.reuseObjects, 0, firstIds, &part.sceneId,
			first);
		calls.setLoadSceneCallback(nullptr, nullptr);
		if (result == 0)
		{
			part.firstObjectId = first[0], part.firstLightId = first[1];
			part.firstFxEmitterId = first[2], part.firstCubeMapId = first[3];
		}
		else if (result != 1)
			zeLogErrorBox("Fail to load scene %s", part.filename);
		for (int e = 0; e < part.extraCount && result == 0; ++e)
		{
			SZeDemoExtra& extra = part.extras[e];
			if (!extra.filename[0])
				continue;
			result = loadScene(g_demoFolder, extra.directory, extra.filename, extra.reuseObjects, 1, firstIds,
				&extra.sceneId, first);
			if (result == 0)
			{
				extra.firstObjectId = first[0], extra.firstLightId = first[1];
				extra.firstFxEmitterId = first[2], extra.firstCubeMapId = first[3];
			}
			else if (result != 1)
				zeLogErrorBox("Fail to load in scene %s the extra id=%d %s", part.filename, e, extra.filename);
		}
	}
	calls.setLoadSceneCallback(nullptr, nullptr);
	return result;
}

int zeDemoComputePartTimes(SZeDemo* demo)
{
	for (int i = 0; i < demo->partCount; ++i)
	{
		SZeDemoPart& part = demo->parts[i];
		const std::string music = sceneMusic(part.sceneId);
		if (part.time == -1)
		{
			if (part.music[0])
				return partTimeFailure("Part %s: no time, but music specified in the part, impossible to determine "
									   "time begin of the part", part.name);
			if (music.empty())
				return partTimeFailure("Part %s: no time, and no music specified in scene, impossible to determine "
									   "time begin of the part", part.name);
			const int previous = previousMusicPart(demo, i);
			if (previous == -2)
				return -1;
			if (previous < 0)
				return partTimeFailure("Part %s: when no time in part and a music in the scene, there must be a "
									   "music before", part.name);
			if (zeStricmp(demo->parts[previous].music, music.c_str()) != 0)
				return partTimeFailure("Part %s: when no time in part, the music in the scene must be the same than "
									   "the previous music", part.name);
			part.time = part.timeBase =
				zeDemoCalls().getSceneAudioOffset(part.sceneId) + demo->parts[previous].timeBase;
		}
		else if (!part.music[0] && !music.empty())
		{
			const int previous = previousMusicPart(demo, i);
			if (previous == -2)
				return -1;
			if (previous >= 0 && zeStricmp(demo->parts[previous].music, music.c_str()) == 0)
				return partTimeFailure("Part %s: music within the scene, with a time in the part :the music must not "
									   "be the same music than previous", part.name);
			if (zeDemoCalls().getSceneAudioOffset(part.sceneId) != 0)
				return partTimeFailure("Part %s: music within the scene, with a time in the part :the music offset "
									   "within the scene must be zero", part.name);
			snprintf(part.music, sizeof(part.music), "%s", music.c_str());
		}
	}
	return 0;
}

int zeDemoLoadMusics(SZeDemo* demo, int* firstIds)
{
	SZeDemoCalls& calls = zeDemoCalls();
	for (int p = 0; p < demo->partCount; ++p)
	{
		SZeDemoPart& part = demo->parts[p];
		if (!part.music[0])
			continue;
		enterFolder(g_demoFolder);
		const int id = firstIds[EZEDC_MUSIC]++;
		calls.loadMusic(joinPath(demo->musicDirectory, part.music).c_str(), id);
		if (!calls.musicExist(id))
		{
			zeLogErrorBox("Fail to load music %s", part.music);
			return -1;
		}
		part.musicId = id;
	}
	return 0;
}

int zeDemoLoadShaders(SZeDemo* demo, int* firstIds)
{
	SZeDemoCalls& calls = zeDemoCalls();
	for (int p = 0; p < demo->partCount; ++p)
		for (int s = 0; s < demo->parts[p].shaderCount; ++s)
		{
			SZeDemoShader& shader = demo->parts[p].shaders[s];
			if (shader.cameraEffectId != -1)
				continue;  // named earlier: shared
			enterFolder(g_demoFolder);
			const std::string path = joinPath(demo->shadersDirectory, shader.name);
			const int id = firstIds[EZEDC_CAMERA_EFFECT]++;
			calls.makeCameraEffectFromFile(id, path.c_str());
			if (!calls.cameraEffectExist(id))
			{
				zeLogErrorBox("Failed to load shader %s", path.c_str());
				return -1;
			}
			for (int q = p; q < demo->partCount; ++q)
				for (int t = 0; t < demo->parts[q].shaderCount; ++t)
					if (zeStricmp(demo->parts[q].shaders[t].name, shader.name) == 0)
						demo->parts[q].shaders[t].cameraEffectId = id;
		}
	return 0;
}

int zeDemoLoad(SZeDemo* demo, const char* path, int* firstIds)
{
	SZeDemoCalls& calls = zeDemoCalls();
	if (zeDemoParseIni(demo, path) != 0)
		return -1;
	if (zeDemoResetIds(demo) != 0)
	{
		zeLogErrorBox("Failed to prepare");
		return -1;
	}
	calls.setSceneLoadWarnings(1);
	const std::string before = zeFileGetCurrentDir();
	const std::string beforeCwd = zeGetCwd();
	g_demoFolder = demoFolderOf(path);
	calls.loadingScreenBegin();
	int result = zeDemoLoadPalettes(demo, firstIds);
	if (result == 0)
		result = zeDemoLoadScenes(demo, firstIds);
	if (result == 0)
		result = zeDemoComputePartTimes(demo);
	if (result == 0)
		result = zeDemoLoadMusics(demo, firstIds);
	if (result == 0)
		result = zeDemoLoadShaders(demo, firstIds);
	if (result == 0)
		calls.loadingScreenEnd();
	zeFileSetCurrentDir(before.c_str());
	zeSetCurrentDirectory(beforeCwd.c_str());
	return result;
}

void zeDemoFreeMusics(SZeDemo* demo)
{
	for (int p = 0; p < demo->partCount; ++p)
	{
		SZeDemoPart& part = demo->parts[p];
		if (part.music[0] && part.musicId != -1)
			zeDemoCalls().deleteMusic(part.musicId);
		part.musicId = -1;
	}
}

void zeDemoFreePalettes(SZeDemo* demo)
{
	// Palettes hold nothing: their IDs only go.
	for (int p = 0; p < demo->partCount; ++p)
		demo->parts[p].paletteId = -1;
}

void zeDemoFreeScenes(SZeDemo* demo)
{
	SZeDemoCalls& calls = zeDemoCalls();
	for (int p = 0; p < demo->partCount; ++p)
	{
		SZeDemoPart& part = demo->parts[p];
		if (part.filename[0] && part.sceneId != -1)
			calls.deleteScene(part.sceneId);
		part.sceneId = -1;
		for (int e = 0; e < part.extraCount; ++e)
		{
			SZeDemoExtra& extra = part.extras[e];
			if (extra.filename[0] && extra.sceneId != -1)
				calls.deleteScene(extra.sceneId);
			extra.sceneId = -1;
		}
	}
}

void zeDemoFreeShaders(SZeDemo* demo)
{
	SZeDemoCalls& calls = zeDemoCalls();
	for (int p = 0; p < demo->partCount; ++p)
		for (int s = 0; s < demo->parts[p].shaderCount; ++s)
		{
			SZeDemoShader& shader = demo->parts[p].shaders[s];
			if (shader.cameraEffectId != -1)
				calls.deleteCameraEffect(shader.cameraEffectId);
			shader.cameraEffectId = -1;
		}
}

void zeDemoFree(SZeDemo* demo)
{
	zeDemoFreeMusics(demo);
	zeDemoFreePalettes(demo);
	zeDemoFreeScenes(demo);
	zeDemoFreeShaders(demo);
}
