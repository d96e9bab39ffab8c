#include "players/ZeCaptureWriter.h"

#include "frame/ZeLog.h"
#include "frame/ZeWindow.h"

#include <irrlicht.h>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace irr;

namespace
{
// Frames taken but not yet written, at most: each holds a whole picture.
const size_t MAX_PENDING = 4;

// One file to write: a picture (the writer drops it), or a copy of the file
// written before.
struct SJob
{
	video::IImage* image;
	std::string path;
};

void put16(std::vector<u8>& out, size_t at, u32 value)
{
	out[at] = static_cast<u8>(value);
	out[at + 1] = static_cast<u8>(value >> 8);
}

void put32(std::vector<u8>& out, size_t at, u32 value)
{
	put16(out, at, value & 0xFFFF);
	put16(out, at + 2, value >> 16);
}

// The picture as a 24-bit BMP file: the file header, the information header,
// then the rows from the bottom up, blue, green, red, each padded to 4 bytes.
std::vector<u8> encodeBmp(video::IImage* image)
{
	const u32 width = image->getDimension().Width;
	const u32 height = image->getDimension().Height;
	const u32 stride = (width * 3 + 3) & ~3u;
	const u32 headers = 14 + 40;
	std::vector<u8> out(headers + static_cast<size_t>(stride) * height, 0);
	out[0] = 'B', out[1] = 'M';
	put32(out, 2, static_cast<u32>(out.size()));
	put32(out, 10, headers);
	put32(out, 14, 40);
	put32(out, 18, width);
	put32(out, 22, height);
	put16(out, 26, 1);
	put16(out, 28, 24);
	put32(out, 34, stride * height);
	const bool argb = image->getColorFormat() == video::ECF_A8R8G8B8;
	const u8* pixels = static_cast<const u8*>(image->lock());
	for (u32 y = 0; y < height; ++y)
	{
		u8* row = &out[headers + static_cast<size_t>(stride) * (height - 1 - y)];
		const u8* in = pixels + static_cast<size_t>(image->getPitch()) * y;
		for (u32 x = 0; x < width; ++x, row += 3)
		{
			// A8R8G8B8 words lie in memory as blue, green, red, alpha.
			const video::SColor c = argb ? video::SColor(255, in[x * 4 + 2], in[x * 4 + 1], in[x * 4]) : image->getPixel(x, y);
			row[0] = static_cast<u8>(c.getBlue());
			row[1] = static_cast<u8>(c.getGreen());
			row[2] = static_cast<u8>(c.getRed());
		}
	}
	image->unlock();
	return out;
}

bool writeWhole(const std::string& path, const std::vector<u8>& bytes)
{
	FILE* file = fopen(path.c_str(), "wb");
	if (!file)
		return false;
	const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
	return fclose(file) == 0 && written;
}

class CWriter
{
public:
	~CWriter() { finish(); }

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
	// failed ("" when none), which is then forgotten.
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
			if (job.image)
			{
				ok = writeWhole(job.path, encodeBmp(job.image));
				job.image->drop();
			}
			else
			{
				std::error_code error;
				ok = !from.empty() &&
					std::filesystem::copy_file(from, job.path, std::filesystem::copy_options::overwrite_existing, error);
			}
			lock.lock();
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
} // namespace

int zeCaptureWriteFrame(const char* fileName, int repeat)
{
	video::IImage* image = nullptr;
	if (!repeat && !(image = zeGrabScreen()))
		return -1;
	if (!writer().push(SJob{image, fileName}))
		return reportFailure(writer().failed());
	return 0;
}

int zeCaptureFinish()
{
	const std::string failed = writer().finish();
	const int result = failed.empty() ? 0 : reportFailure(failed);
	g_reported.clear();
	return result;
}
