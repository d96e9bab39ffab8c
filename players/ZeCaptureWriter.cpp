#include "players/ZeCaptureWriter.h"

#include "frame/ZeLog.h"
#include "frame/ZeWindow.h"

#include <irrlicht.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace irr;

namespace
{
// Frames handed over but not yet written, at most: each holds a whole picture.
const size_t MAX_PENDING = 4;
// The file header and the information header of a 24-bit BMP file.
const size_t HEADER_BYTES = 14 + 40;

// One file to write: the headers' room and a frame's RGBA pixels (a pooled
// buffer the writer takes back), or, without bytes, a copy of the file
// written before.
struct SJob
{
	std::vector<u8> bytes;
	int width = 0;
	int height = 0;
	std::string path;
};

void put16(u8* out, u32 value)
{
	out[0] = static_cast<u8>(value);
	out[1] = static_cast<u8>(value >> 8);
}

void put32(u8* out, u32 value)
{
	put16(out, value & 0xFFFF);
	put16(out + 2, value >> 16);
}

// The bytes of a BMP row: three a pixel, padded to 4.
size_t bmpRowBytes(u32 width)
{
	return (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
}

// Turns a frame into a 24-bit BMP file in place: the headers, then the rows
// as they are (bottom up) in blue, green, red, padded with zeros to 4 bytes.
// Each pixel moves to where nothing still unread lies. The file's size.
size_t makeBmp(SJob& job)
{
	const u32 width = static_cast<u32>(job.width);
	const u32 height = static_cast<u32>(job.height);
	const size_t stride = bmpRowBytes(width);
	u8* out = job.bytes.data();
	for (u32 y = 0; y < height; ++y)
	{
		const u8* in = out + HEADER_BYTES + static_cast<size_t>(y) * width * 4;
		u8* row = out + HEADER_BYTES + stride * y;
		for (u32 x = 0; x < width; ++x, in += 4, row += 3)
		{
			const u8 red = in[0], green = in[1], blue = in[2];
			row[0] = blue;
			row[1] = green;
			row[2] = red;
		}
		for (size_t pad = static_cast<size_t>(width) * 3; pad < stride; ++pad)
			*row++ = 0;
	}
	const size_t bytes = HEADER_BYTES + stride * height;
	memset(out, 0, HEADER_BYTES);
	out[0] = 'B', out[1] = 'M';
	put32(out + 2, static_cast<u32>(bytes));
	put32(out + 10, HEADER_BYTES);
	put32(out + 14, 40);
	put32(out + 18, width);
	put32(out + 22, height);
	put16(out + 26, 1);
	put16(out + 28, 24);
	put32(out + 34, static_cast<u32>(stride * height));
	return bytes;
}

bool writeWhole(const std::string& path, const u8* bytes, size_t size)
{
	FILE* file = fopen(path.c_str(), "wb");
	if (!file)
		return false;
	const bool written = fwrite(bytes, 1, size, file) == size;
	return fclose(file) == 0 && written;
}

class CWriter
{
public:
	~CWriter() { finish(); }

	// A buffer of `bytes` for a frame, from the pool when one is free.
	std::vector<u8> take(size_t bytes)
	{
		std::vector<u8> buffer;
		{
			std::lock_guard<std::mutex> lock(Lock);
			if (!Pool.empty())
			{
				buffer.swap(Pool.back());
				Pool.pop_back();
			}
		}
		buffer.resize(bytes);
		return buffer;
	}
	void giveBack(std::vector<u8> buffer)
	{
		std::lock_guard<std::mutex> lock(Lock);
		Pool.push_back(std::move(buffer));
	}
	// Queues a job, waiting while too many are pending; false when a file
	// failed before.
	bool push(SJob job)
	{
		std::unique_lock<std::mutex> lock(Lock);
		if (!Thread.joinable())
			Thread = std::thread([this] { work(); });
		Room.wait(lock, [this] { return Jobs.size() < MAX_PENDING; });
		Jobs.push_back(std::move(job));
		Ready.notify_one();
		return Failed.empty();
	}
	// Waits for the queue to empty and ends the thread; the first path that
	// failed ("" when none), which is then forgotten. The pool is freed.
	std::string finish()
	{
		{
			std::lock_guard<std::mutex> lock(Lock);
			Stopping = true;
			Ready.notify_one();
		}
		if (Thread.joinable())
			Thread.join();
		std::lock_guard<std::mutex> lock(Lock);
		Stopping = false;
		LastPath.clear();
		Pool.clear();
		std::string failed;
		failed.swap(Failed);
		return failed;
	}
	std::string failed()
	{
		std::lock_guard<std::mutex> lock(Lock);
		return Failed;
	}

private:
	void work()
	{
		std::unique_lock<std::mutex> lock(Lock);
		for (;;)
		{
			Ready.wait(lock, [this] { return !Jobs.empty() || Stopping; });
			if (Jobs.empty())
				return;
			SJob job = std::move(Jobs.front());
			Jobs.pop_front();
			Room.notify_one();
			const std::string from = LastPath;
			lock.unlock();
			bool ok = false;
			if (!job.bytes.empty())
			{
				ok = writeWhole(job.path, job.bytes.data(), makeBmp(job));
			}
			else
			{
				std::error_code error;
				ok = !from.empty() &&
					std::filesystem::copy_file(from, job.path, std::filesystem::copy_options::overwrite_existing, error);
			}
			lock.lock();
			if (!job.bytes.empty())
				Pool.push_back(std::move(job.bytes));
			// A repeat copies the last file that was written.
			if (ok)
				LastPath = job.path;
			else if (Failed.empty())
				Failed = job.path;
		}
	}

	std::mutex Lock;
	std::condition_variable Ready;
	std::condition_variable Room;
	std::deque<SJob> Jobs;
	std::vector<std::vector<u8>> Pool;  // buffers of frames written, for the next ones
	std::thread Thread;
	std::string LastPath;  // of the job written last, which a repeat copies
	std::string Failed;
	bool Stopping = false;
};

CWriter& writer()
{
	static CWriter w;
	return w;
}

// The file whose failure this capture has reported.
std::string g_reported;

// Logs a file that could not be written, once per capture.
int reportFailure(const std::string& path)
{
	if (path != g_reported)
		zeLog(EZELL_ERROR, "failed to save screenshot to file '%s'", path.c_str());
	g_reported = path;
	return -1;
}

// The frame kept on the GPU until the next one is asked for: copying it out
// then finds the read done.
struct SWaiting
{
	SZeKeptFrame frame{};
	std::string path;
	bool waiting = false;
} g_waiting;
// This capture turned the frame layer's stream on.
bool g_streaming = false;

// Hands the waiting frame to the writer; -1 after reporting when it cannot be
// copied out or a file failed before.
int handOver()
{
	if (!g_waiting.waiting)
		return 0;
	g_waiting.waiting = false;
	SJob job;
	job.width = g_waiting.frame.width;
	job.height = g_waiting.frame.height;
	job.path = g_waiting.path;
	job.bytes = writer().take(HEADER_BYTES + static_cast<size_t>(job.width) * static_cast<size_t>(job.height) * 4);
	if (!zeCopyKeptFrame(g_waiting.frame, job.bytes.data() + HEADER_BYTES))
	{
		writer().giveBack(std::move(job.bytes));
		return reportFailure(job.path);
	}
	return writer().push(std::move(job)) ? 0 : reportFailure(writer().failed());
}
} // namespace

int zeCaptureWriteFrame(const char* fileName, int repeat)
{
	// On at every frame: a device made anew since the last one starts it again.
	zeStreamFrames(true);
	g_streaming = true;
	if (handOver() != 0)
		return -1;
	if (repeat)
	{
		SJob job;
		job.path = fileName;
		return writer().push(std::move(job)) ? 0 : reportFailure(writer().failed());
	}
	if (!zeKeepPresentedFrame(&g_waiting.frame))
		return -1;
	g_waiting.path = fileName;
	g_waiting.waiting = true;
	const std::string failed = writer().failed();
	return failed.empty() ? 0 : reportFailure(failed);
}

int zeCaptureFinish()
{
	const int handed = handOver();
	if (g_streaming)
	{
		zeStreamFrames(false);
		g_streaming = false;
	}
	const std::string failed = writer().finish();
	const int result = failed.empty() ? handed : reportFailure(failed);
	g_reported.clear();
	return result;
}
