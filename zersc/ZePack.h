// Packed data: running a demo, a scene or a script from the data an executable
// carries (resource 500, scrambled, or the plain zip side file beside it),
// telling scene packs, extracting them, and the packing commands that make
// such executables.
//
// Index:
//   - Running from packed data
//   - Scene packs and extraction
//   - Packing commands
//   - Content of the packing commands
#pragma once

#include "frame/ZeCommandLine.h"

#include <cstddef>

class CZePackArchive;

// ---- Running from packed data ------------------------------------------------------
// Packed mode: mounts the packed data of the executable (resource 500 from
// memory, else the side file), reads "zelv-setup.ini" from the root of the
// pack (the set-up dialog allowed), sets the engine up and runs the first of
// "zelv.demo.ini" (demo), "zelv.zscn" (scene viewer, options all 0) and
// "main.lua" (script, read through the file layer) that the pack holds; then
// ends the engine and unmounts. 0, or -1 when there is no packed data, it
// cannot be loaded, set-up fails, or what ran failed. Error boxes:
// "Resources don't exist", "Failed to load resources from executable",
// "Failed to open the packed data of %s".
int zeRunPacked(const char* exePath);
// What packed mode runs from the mounted pack: the first of "zelv.demo.ini",
// "zelv.zscn" and "main.lua" that it holds, or null.
const char* zePackStartFile();
// The executable's packed mode: zeRunPacked on the running program; exit
// status 0 or 1.
int zeRunPackedMode(const SZeCommandLine& commandLine);

// ---- Scene packs and extraction ----------------------------------------------------------
// Whether the archive in memory holds an entry whose name contains
// "scene_backup/", one containing "zelv.zscn" and none containing
// "zelv.demo.ini". Message boxes "Failed to open archive", "Failed to stat file".
bool zeIsScenePack(const void* data, size_t size);
// Extracts a scene pack into "<outRoot>/ExeExtract": root entries other than
// ".x", ".zscn" and ".zelv" into "Images", "scene_backup/" entries ".lwo" into
// "Objects" and ".lws" into "Scenes", each under its name after the last
// separator ('/' or '\\'); anything else, names without an extension and
// names that cannot be file names are skipped. Nothing is written outside the
// folders: links in them are never followed, each file is written under a
// short temporary name beside it and renamed over it. An entry above maxEntry bytes, or
// bytes beyond what deflate can make of the archive's size, stop it.
// 0, or -1 after a message box ("Failed to create directory %s", "Failed to
// open archive", "Failed to stat file", "Failed to extract file %s",
// "Failed to write file %s", "File %s is too large to extract").
// The largest entry that extraction writes by default.
const unsigned long long ZE_EXTRACT_MAX_ENTRY = 1ull << 30;
int zeExtractPack(const void* data, size_t size, const char* outRoot,
	unsigned long long maxEntry = ZE_EXTRACT_MAX_ENTRY);
// "-extract": the packed data of the executable (resource 500, else the side
// file), extracted under the current directory when it is a scene pack.
// 0, or -1 ("Resources don't exist", "Failed to load resources from
// executable", "Failed to read the side file %s"; a pack that is no scene
// pack extracts nothing).
int zeExtractPacked(const char* exePath);

// ---- Packing commands ----------------------------------------------------------------
// Every command copies the running program's image (without the blocks it
// carries) beside the target, fills the archive at the target's side-file
// path + ".tmp", adds the engine's data from the "data" folder beside the
// program and then stores the archive as resource 500 (or 501) of the copy, or
// as the side file; only a whole result is renamed into place, with the
// program's mode, so a failure leaves no partial target. A target that is the
// running program, or the program copied, is refused. 0 or -1; every message
// is an error box.

// The program the commands copy and whose "data" folder they pack: the
// running program, unless another one is set (null sets the running one back).
void zeSetPackProgram(const char* path);

// "-demoexe" (datFile 0) and "-demodat" (1): a demo file, or a scene file when
// the path contains ".zscn"; with the shader cache, shaders and textures.
int zePackDemo(const char* target, const char* demoPath, int datFile);
// "-direxe" and "-dirdat": every file of the folder and of its sub-folders
// (one level); with the shader cache, shaders and textures.
int zePackDirectory(const char* target, const char* folder, int datFile);
// "-dirlistexe": the folders and patterns listed in the file; with the shader
// cache, shaders and textures.
int zePackDirListCommand(const char* target, const char* listPath);
// "-exersc": the engine's shaders and textures as resource 501.
int zePackEngineData(const char* target);
// Runs the command line's packing command or "-extract"; exit status 0 or 1.
int zeRunPackCommand(const SZeCommandLine& commandLine);

// Reads the archive file, scrambles it and stores it as resource `number` of
// the executable. 0, or -1 after "Failed to read  %s", "Failed to BeginUpdate
// %s", "Failed to UpdateResource %s" or "Failed to EndUpdate %s lastError=%d"
// (the error code of the call that failed).
int zeWriteResource(const char* exe, const char* archiveFile, int number);

// ---- Content of the packing commands ---------------------------------------------------
// Demo content, named relative to the demo file's folder: from every folder
// of the parts and extras (at most 255, repeats in any case once) and every
// folder that their scene descriptions name, the objects (".x", ".obj",
// ".mtl", ".lwo", ".zmorph"), scenes, images and effect files; the demo
// shaders folder's effects; the demo file as "zelv.demo.ini"; the music
// folder's music; "loading.png" and "loading.hlsl" when they exist.
int zePackDemoFiles(CZePackArchive* archive, const char* iniPath);
// Scene content: objects and images beside the scene, the scene as
// "zelv.zscn", "*.lwo" and "*.lws" of its "scene_backup" folder.
int zePackSceneFiles(CZePackArchive* archive, const char* scenePath);
// Every file of each sub-folder of the folder (by name, links to folders not
// followed), then every file of the folder, named relative to it; folders
// deeper down are left out, each with a warning. -1 when the folder is
// missing or holds no file to pack.
int zePackDirectoryTree(CZePackArchive* archive, const char* folder);
// The list file's lines, each "folder/pattern" or "pattern" relative to the
// current directory; blanks and line ends before a line are skipped; a
// folder or pattern longer than 199 characters is an error.
int zePackDirList(CZePackArchive* archive, const char* listPath);
// The engine's shader folders' effect files and the image files of
// "textures", from the data folder.
int zePackShaders(CZePackArchive* archive, const char* dataFolder);
// The shader cache's files of "shadersCache" in the data folder.
int zePackShaderCache(CZePackArchive* archive, const char* dataFolder);
