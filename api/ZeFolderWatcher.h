// Worker threads of the watches: an active object owns one thread; a folder
// watcher waits on inotify and a stop event and raises a byte flag on change.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <unordered_map>

// Why a watcher could not be made: the errno value and what failed.
struct SZeSystemError
{
	int code;
	const char* text;
};

class ActiveObject
{
public:
	// Joins the thread if a derived class left it running.
	virtual ~ActiveObject();
	ActiveObject(const ActiveObject&) = delete;
	ActiveObject& operator=(const ActiveObject&) = delete;

protected:
	ActiveObject();
	virtual void prepareThread() {}
	virtual void run() = 0;
	// Makes run return soon; called on the owner's thread.
	virtual void signalStop() = 0;

	// Starts the thread on threadEntry; false with the error filled in.
	bool startThread(SZeSystemError* error);
	// Sets the dying flag, signals the stop and joins the thread, warning when
	// it takes longer than 2,000 ms. Does nothing when no thread runs.
	void stopThread();
	bool isDying() const { return Dying.load(std::memory_order_acquire); }

private:
	static int threadEntry(ActiveObject* self);

	std::thread Thread;
	std::atomic<bool> Dying;
	std::atomic<bool> Finished;
};

class FolderWatcher : public ActiveObject
{
public:
	// Watches the folder (with recursive: every subfolder, also those made
	// later) for writes, creations, deletions and renames; each change stores 1
	// into *flag. Null with the error filled in when the watch cannot be made.
	static FolderWatcher* create(const char* folder, bool recursive, std::atomic<uint8_t>* flag,
		SZeSystemError* error);
	~FolderWatcher() override;

	const char* getFolder() const { return Folder.c_str(); }
	// The errno value that ended the thread early, handed out once; else 0.
	// For the owner's thread only.
	int takeFailure();

protected:
	void run() override;
	void signalStop() override;

private:
	FolderWatcher(const char* folder, bool recursive, std::atomic<uint8_t>* flag);
	// Adds a watch on the folder and, when recursive, on its subfolders; the
	// errno value of the folder's own watch, or 0.
	int watchTree(const std::string& folder);
	// Drains pending events; false with errno set on a read failure.
	bool readEvents(bool* changed);

	int Notify;     // inotify descriptor
	int StopEvent;  // eventfd; reading it resets it
	std::atomic<uint8_t>* Flag;
	std::string Folder;
	bool Recursive;
	std::unordered_map<int, std::string> Folders;  // watch descriptor to folder
	std::atomic<int> Failure;
	bool FailureTaken;
};
