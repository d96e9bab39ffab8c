#include "api/ZeFolderWatcher.h"

#include "frame/ZeLog.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <system_error>

#include <dirent.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
const uint32_t WATCH_MASK = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
	IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
const int STOP_WAIT_MS = 2000;

bool isSubfolder(const std::string& parent, const dirent* entry, std::string* path)
{
	if (!strcmp(entry->d_name, ".") || !strcmp(entry->d_name, ".."))
		return false;
	*path = parent + "/" + entry->d_name;
	if (entry->d_type == DT_DIR)
		return true;
	if (entry->d_type != DT_UNKNOWN)
		return false;
	struct stat st;
	return lstat(path->c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
} // namespace

// ---- ActiveObject -------------------------------------------------------------
ActiveObject::ActiveObject()
	: Dying(false), Finished(false)
{
}

ActiveObject::~ActiveObject()
{
	if (Thread.joinable())
		Thread.join();
}

bool ActiveObject::startThread(SZeSystemError* error)
{
	try
	{
		Thread = std::thread(threadEntry, this);
	}
	catch (const std::system_error& e)
	{
		error->code = e.code().value();
		error->text = "Cannot create watcher thread";
		return false;
	}
	return true;
}

void ActiveObject::stopThread()
{
	if (!Thread.joinable())
		return;
	Dying.store(true, std::memory_order_release);
	signalStop();
	const auto start = std::chrono::steady_clock::now();
	while (!Finished.load(std::memory_order_acquire))
	{
		if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(STOP_WAIT_MS))
		{
			// The thread still uses this object: waiting on is the only safe way.
			zeLog(EZELL_WARN, "watcher thread did not end within %d ms", STOP_WAIT_MS);
			break;
		}
		std::this_thread::sleep_for(std::chrono::microseconds(100));
	}
	Thread.join();
}

int ActiveObject::threadEntry(ActiveObject* self)
{
	self->prepareThread();
	self->run();
	self->Finished.store(true, std::memory_order_release);
	return 0;
}

// ---- FolderWatcher ------------------------------------------------------------
FolderWatcher::FolderWatcher(const char* folder, bool recursive, std::atomic<uint8_t>* flag)
	: Notify(-1), StopEvent(-1), Flag(flag), Folder(folder), Recursive(recursive), Failure(0),
	  FailureTaken(false)
{
}

FolderWatcher* FolderWatcher::create(const char* folder, bool recursive, std::atomic<uint8_t>* flag,
	SZeSystemError* error)
{
	error->code = 0;
	error->text = "Cannot create change notification handle";
	FolderWatcher* watcher = nullptr;
	try
	{
		watcher = new FolderWatcher(folder, recursive, flag);
		watcher->Notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
		if (watcher->Notify < 0)
			error->code = errno;
		else
			error->code = watcher->watchTree(watcher->Folder);
		if (!error->code)
		{
			watcher->StopEvent = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
			if (watcher->StopEvent < 0)
			{
				error->code = errno;
				error->text = "Cannot create stop event";
			}
		}
		if (!error->code && watcher->startThread(error))
			return watcher;
	}
	catch (const std::bad_alloc&)
	{
		error->code = ENOMEM;
	}
	delete watcher;
	return nullptr;
}

FolderWatcher::~FolderWatcher()
{
	stopThread();
	if (Notify >= 0)
		close(Notify);
	if (StopEvent >= 0)
		close(StopEvent);
}

int FolderWatcher::takeFailure()
{
	if (FailureTaken)
		return 0;
	const int failure = Failure.load(std::memory_order_acquire);
	FailureTaken = failure != 0;
	return failure;
}

int FolderWatcher::watchTree(const std::string& folder)
{
	// The top folder may be a link; subfolders are never followed.
	const uint32_t follow = folder == Folder ? 0 : IN_DONT_FOLLOW;
	const int wd = inotify_add_watch(Notify, folder.c_str(), WATCH_MASK | follow);
	if (wd < 0)
		return errno;
	Folders[wd] = folder;
	if (!Recursive)
		return 0;
	DIR* dir = opendir(folder.c_str());
	if (!dir)
		return 0;
	std::string path;
	while (const dirent* entry = readdir(dir))
		if (isSubfolder(folder, entry, &path))
			watchTree(path);  // a subfolder that vanished or is unreadable is skipped
	closedir(dir);
	return 0;
}

bool FolderWatcher::readEvents(bool* changed)
{
	alignas(inotify_event) char buffer[16384];
	for (;;)
	{
		const ssize_t size = read(Notify, buffer, sizeof(buffer));
		if (size < 0)
		{
			if (errno == EINTR)
				continue;
			return errno == EAGAIN || errno == EWOULDBLOCK;
		}
		if (size == 0)
		{
			errno = EIO;
			return false;
		}
		for (ssize_t at = 0; at < size;)
		{
			const inotify_event* event = reinterpret_cast<const inotify_event*>(buffer + at);
			at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
			if (event->mask & IN_Q_OVERFLOW)
			{
				// Events were lost, new subfolders among them perhaps.
				*changed = true;
				if (Recursive)
					watchTree(Folder);
				continue;
			}
			if (event->mask & IN_IGNORED)
			{
				Folders.erase(event->wd);
				continue;
			}
			*changed = true;
			if (Recursive && (event->mask & IN_ISDIR) && (event->mask & (IN_CREATE | IN_MOVED_TO)) &&
				event->len > 0)
			{
				const auto found = Folders.find(event->wd);
				if (found != Folders.end())
					watchTree(found->second + "/" + event->name);
			}
		}
	}
}

void FolderWatcher::run()
{
	pollfd fds[2] = { { Notify, POLLIN, 0 }, { StopEvent, POLLIN, 0 } };
	for (;;)
	{
		if (poll(fds, 2, -1) < 0)
		{
			if (errno == EINTR)
				continue;
			Failure.store(errno, std::memory_order_release);
			return;
		}
		if (fds[0].revents & POLLIN)
		{
			bool changed = false;
			if (!readEvents(&changed))
			{
				Failure.store(errno, std::memory_order_release);
				return;
			}
			// New subfolders are watched before the flag is raised.
			if (changed && !isDying())
				Flag->store(1, std::memory_order_release);
		}
		else if (fds[0].revents & (POLLERR | POLLNVAL))
		{
			Failure.store(EIO, std::memory_order_release);
			return;
		}
		if (fds[1].revents & (POLLIN | POLLERR | POLLNVAL))
		{
			uint64_t count;
			while (read(StopEvent, &count, sizeof(count)) < 0 && errno == EINTR)
			{
			}
			return;
		}
	}
}

void FolderWatcher::signalStop()
{
	const uint64_t one = 1;
	while (write(StopEvent, &one, sizeof(one)) < 0 && errno == EINTR)
	{
	}
}
