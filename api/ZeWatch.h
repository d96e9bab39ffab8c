// File and folder watches: a worker thread per watch raises a flag when the
// file's folder or the folder tree is written; the main thread polls it.
//
// FileWatch and FolderWatch IDs run from 0 to 99. A missing ID records the
// pending error "FileWatch ID %d does not exist. %s" / "FolderWatch ID %d does
// not exist. %s" (argument 1); queries then return 0 and the wait -1.
#pragma once

// ---- File watches -----------------------------------------------------------
// Watches one file (through its folder, not recursive); the file's current
// write time is the reference. 0, or -1 with a pending error: "invalid
// FileWatch ID %d : %s" (argument 2) or "Cannot create change notification
// handle" (argument 1, e.g. a missing folder). An ID in use is refused.
int zeMakeFileWatch(const char* path, int id);
// 1 when the file has a newer write time than the reference (or cannot be
// read any more); sticky until zeResetFileWatch. Else 0.
int zeFileWatchChanged(int id);
// 0 when the file opens for reading with no writer and no lock holder within
// timeout milliseconds (retried every 50 ms), else -1.
int zeWaitFileWatchReadable(int id, int timeout);
// Takes the file's current write time as the reference and clears the flags.
void zeResetFileWatch(int id);
// 1 when the ID holds a file watch, else 0; reports nothing.
int zeFileWatchExist(int id);
// Stops and joins the worker thread and frees the ID; a missing ID is ignored.
void zeDeleteFileWatch(int id);

// ---- Folder watches ---------------------------------------------------------
// Watches the folder and all its subfolders, including those made later; the
// watch time is now. 0, or -1 with a pending error: the ID table's text
// (argument 2) or "Cannot create change notification handle" (argument 1).
int zeMakeFolderWatch(const char* path, int id);
// 1 when a change was signalled since the last reset (sticky), else 0.
int zeFolderWatchChanged(int id);
// When changed: the number of files (at most 10; subfolders two levels deep,
// names beginning with "." skipped) written since the watch time, with their
// full paths in *outList (valid until the next call on this watch). Else 0.
// Each file beyond ten logs "zeGetFolderWatchChanges too much changes" (WARN).
int zeGetFolderWatchChanges(int id, const char*** outList);
// Clears the flags and the list; the watch time becomes now: the files
// written before do not count any more, every one written later does.
void zeResetFolderWatch(int id);
// 1 when the ID holds a folder watch, else 0; reports nothing.
int zeFolderWatchExist(int id);
// Stops and joins the worker thread and frees the ID; a missing ID is ignored.
void zeDeleteFolderWatch(int id);

// ---- Shutdown and helpers ---------------------------------------------------
// Deletes every file and folder watch (all worker threads are joined) and
// frees both tables; a later watch call starts afresh. Engine shutdown
// (zeTerm) calls it once any watch operation was used; the program calls it
// at exit for watches made without an engine.
void zeFreeAllWatches();

typedef int (*ZeInvokeFunction)(int value);
// Calls the function with the value and returns its result; a null function
// records a pending error (argument 1) and returns -1.
int zeInvoke(ZeInvokeFunction function, int value);
