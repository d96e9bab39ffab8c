// What each packing command puts into the archive.
#include "zersc/ZePack.h"
#include "zersc/ZePackArchive.h"

#include "frame/ZeFile.h"
#include "frame/ZeFileBackend.h"
#include "frame/ZeLog.h"
#include "players/ZeDemo.h"
#include "scene/ZF.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{
const int MAX_DEMO_DIRECTORIES = 255;
// A folder or a pattern of a folder-list line holds at most this many characters.
const size_t MAX_LIST_PART = 199;

const std::vector<const char*> OBJECT_PATTERNS = { "*.x", "*.obj", "*.mtl", "*.lwo" };
const std::vector<const char*> EFFECT_PATTERNS = { "*.hlsl", "*.vsh", "*.psh", "*.fx", "*.dae", "*.xml", "*.h" };

const char* const ENGINE_SHADER_FOLDERS[] = { "shaders", "shadersPP", "shadersPP2", "shadersSURF", "shadersSURF2",
	"shadersSURF2/include", "shadersHV", "shadersHV/include" };

// The folder part of a path, without its trailing separator.
std::string folderOf(const std::string& path)
{
	std::string dir = zeFileGetDirPart(path.c_str());
	while (!dir.empty() && (dir.back() == '/' || dir.back() == '\\'))
		dir.pop_back();
	return dir;
}

// Adds the folder unless it is there already in any case; false when the list is full.
bool gather(std::vector<std::string>* folders, const std::string& folder, size_t limit)
{
	for (const std::string& f : *folders)
		if (zeStricmp(f.c_str(), folder.c_str()) == 0)
			return true;
	if (folders->size() >= limit)
		return false;
	folders->push_back(folder);
	return true;
}

// Every text of the document that is a relative path with a folder.
void collectPathFolders(const ZF_Node* node, std::vector<std::string>* out)
{
	if (!node)
		return;
	auto take = [out](const char* text) {
		if (!text || !*text || text[0] == '/' || text[0] == '\\' || strchr(text, ':'))
			return;
		if (strchr(text, '/') || strchr(text, '\\'))
			out->push_back(folderOf(text));
	};
	if (node->kind == ZF_GROUP)
	{
		for (uint32_t i = 0; i < node->count; ++i)
			collectPathFolders(ZF_GetChildAt(node, static_cast<int>(i)), out);
	}
	else if (node->type == ZF_STR)
	{
		const uint32_t count = node->kind == ZF_ARRAY ? node->count : 1;
		for (uint32_t i = 0; i < count; ++i)
			take(ZF_GetSTR(node, static_cast<int>(i)));
	}
}

// The folders that a scene file names (its objects, images, effects), relative
// to `base`: the scene's folder joined with each named folder.
void sceneFolders(const std::string& base, const std::string& sceneFolder, const std::string& sceneFile,
	std::vector<std::string>* out)
{
	std::string path;
	if (!zeCombinePath(base, sceneFolder + "/" + sceneFile, &path))
		return;
	ZF_Document* document = ZF_Load(path.c_str());
	if (!document)
	{
		zeLog(EZELL_WARN, "ZePack: cannot read the scene %s for the folders it names", path.c_str());
		return;
	}
	std::vector<std::string> named;
	collectPathFolders(ZF_GetRoot(document), &named);
	ZF_Free(document);
	for (const std::string& folder : named)
		out->push_back(zeNormalisePath((sceneFolder + "/" + folder).c_str()));
}

int addFolderContent(CZePackArchive* archive, const std::string& base, const std::string& folder)
{
	int result = zeZipAddPatterns(archive, base, folder, OBJECT_PATTERNS);
	result |= zeZipAddPatterns(archive, base, folder, { "*.zmorph", "*.lws.ini.bin", "*.zelv", "*.zscn" });
	result |= zeZipAddImages(archive, base, folder);
	result |= zeZipAddPatterns(archive, base, folder, EFFECT_PATTERNS);
	return result;
}

// Adds base/file under a fixed entry name.
int addNamed(CZePackArchive* archive, const char* entryName, const std::string& base, const std::string& file)
{
	std::string path;
	if (!zeCombinePath(base, file, &path))
	{
		zeLogErrorBox("Failed to combine basedir=%s filename=%s", base.c_str(), file.c_str());
		return -1;
	}
	return zeZipAddFile(archive, entryName, path);
}

// Every file of the folder, named relative to `top`; the files after a
// failing one still run. 0, or -1 when any failed.
int addFiles(CZePackArchive* archive, const std::string& top, const std::string& folder)
{
	int result = 0;
	for (const std::string& file : zeListFiles(folder, ""))
		if (zeZipAddRelative(archive, top, file) != 0)
			result = -1;
	return result;
}
} // namespace

int zePackDemoFiles(CZePackArchive* archive, const char* iniPath)
{
	std::unique_ptr<SZeDemo> demo(new SZeDemo());
	if (zeDemoParseIni(demo.get(), iniPath) != 0)
	{
		zeLogErrorBox("Failed to load ini file %s", iniPath);
		return -1;
	}
	std::vector<std::string> folders;
	std::vector<std::pair<std::string, std::string>> scenes;  // folder and file
	for (int p = 0; p < demo->partCount; ++p)
	{
		const SZeDemoPart& part = demo->parts[p];
		if (part.directory[0] && !gather(&folders, part.directory, MAX_DEMO_DIRECTORIES))
		{
			zeLogErrorBox("Reached max directories");
			return -1;
		}
		if (part.filename[0])
			scenes.emplace_back(part.directory, part.filename);
		for (int e = 0; e < part.extraCount; ++e)
		{
			const SZeDemoExtra& extra = part.extras[e];
			if (extra.directory[0] && !gather(&folders, extra.directory, MAX_DEMO_DIRECTORIES))
			{
				zeLogErrorBox("Reached max directories");
				return -1;
			}
			if (extra.filename[0])
				scenes.emplace_back(extra.directory, extra.filename);
		}
	}
	const std::string base = zeGetFileDirectory(iniPath);
	std::vector<std::string> named;
	for (const auto& scene : scenes)
		sceneFolders(base, scene.first, scene.second, &named);
	for (const std::string& folder : named)
		gather(&folders, folder, static_cast<size_t>(-1));

	int result = 0;
	for (const std::string& folder : folders)
		result |= addFolderContent(archive, base, folder);
	if (demo->shadersDirectory[0])
		result |= zeZipAddPatterns(archive, base, demo->shadersDirectory, { "*.fx", "*.hlsl", "*.h" });
	if (addNamed(archive, "zelv.demo.ini", "", iniPath) != 0)
		return -1;
	result |= zeZipAddPatterns(archive, base, demo->musicDirectory, { "*.mp3", "*.mpg", "*.mpeg" });
	for (const char* name : { "loading.png", "loading.hlsl" })
		if (zeFileExist(name) && addNamed(archive, name, "", name) != 0)
			result = -1;
	return result;
}

int zePackSceneFiles(CZePackArchive* archive, const char* scenePath)
{
	const std::string base = zeGetFileDirectory(scenePath);
	int result = zeZipAddPatterns(archive, base, "", OBJECT_PATTERNS);
	result |= zeZipAddPatterns(archive, base, "", { "*.zmorph" });
	result |= zeZipAddImages(archive, base, "");
	if (addNamed(archive, "zelv.zscn", "", scenePath) != 0)
		return -1;
	result |= zeZipAddPatterns(archive, base, "scene_backup", { "*.lwo", "*.lws" });
	return result;
}

int zePackDirectoryTree(CZePackArchive* archive, const char* folder)
{
	const std::string top = zeFullPath(folder);
	const size_t before = archive->entries().size();
	int result = 0;
	for (const std::string& sub : zeListFolders(top))
	{
		for (const std::string& deeper : zeListFolders(sub))
		{
			std::string name;
			zeRelativePath(top, deeper, &name);
			zeLog(EZELL_WARN, "ZePack: left out the folder %s of %s: only the folder's files and those of its "
							  "sub-folders are packed",
				name.c_str(), folder);
		}
		result |= addFiles(archive, top, sub);
	}
	result |= addFiles(archive, top, top);
	if (result == 0 && archive->entries().size() == before)
	{
		zeLogErrorBox("Folder %s is missing or holds no file to pack", folder);
		return -1;
	}
	return result;
}

int zePackDirList(CZePackArchive* archive, const char* listPath)
{
	const std::string base = zeGetCwd();
	long size = 0;
	std::unique_ptr<char[]> text(zeReadFile(listPath, &size));
	if (!text)
	{
		zeLogErrorBox("Failed to read  %s", listPath);
		return -1;
	}
	const char* p = text.get();
	const char* end = p + size;
	while (p < end)
	{
		while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n'))
			++p;
		if (p >= end)
			break;
		const char* lineEnd = p;
		while (lineEnd < end && *lineEnd != '\r' && *lineEnd != '\n')
			++lineEnd;
		const std::string line(p, lineEnd);
		p = lineEnd;
		const size_t split = line.find_last_of("/\\");
		const std::string folder = split == std::string::npos ? "" : line.substr(0, split);
		const std::string pattern = split == std::string::npos ? line : line.substr(split + 1);
		if (folder.size() > MAX_LIST_PART || pattern.size() > MAX_LIST_PART)
		{
			zeLogErrorBox("Line too long in %s (%zu characters at most in a folder or a pattern): %.60s...", listPath,
				MAX_LIST_PART, line.c_str());
			return -1;
		}
		if (zeZipAddPattern(archive, base, folder, pattern) != 0)
			return -1;
	}
	return 0;
}

int zePackShaders(CZePackArchive* archive, const char* dataFolder)
{
	int result = 0;
	for (const char* folder : ENGINE_SHADER_FOLDERS)
		result |= zeZipAddPatterns(archive, dataFolder, folder, EFFECT_PATTERNS);
	result |= zeZipAddImages(archive, dataFolder, "textures");
	return result;
}

int zePackShaderCache(CZePackArchive* archive, const char* dataFolder)
{
	return zeZipAddPatterns(archive, dataFolder, "shadersCache", { "*.vso", "*.pso", "*.vso.inf", "*.pso.inf" });
}
