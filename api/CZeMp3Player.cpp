#include "api/CZeMp3Player.h"

#include "frame/ZeLog.h"

#include <SDL.h>
#include <mpg123.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

using Clock = std::chrono::steady_clock;

struct SZeMp3PlayerState
{
	// file image and the decoder's read position in it
	unsigned char* bytes = nullptr;
	size_t size = 0;
	size_t readPos = 0;
	mpg123_handle* decoder = nullptr;
	SDL_AudioDeviceID device = 0;  // 0: silent, the clock keeps time
	bool open = false;

	long rate = 0;
	int channels = 0;
	int64_t length = 0;  // frames

	// Guards everything below and the decoder.
	mutable std::mutex lock;
	bool running = false;
	// The audio heard: from frame `base`, handed out at `baseTime`, `span`
	// frames of it so far real. Paused or stopped: `base` alone.
	int64_t base = 0;
	int64_t span = 0;
	Clock::time_point baseTime;
	int64_t decodePos = 0;  // next frame the decoder gives
	int level = 0;
	float gain = 1.0f;
};

namespace
{
std::atomic<int> g_liveCount{0};
bool g_audioStarted = false;
bool g_silentLogged = false;

void logSilentOnce(const char* reason)
{
	if (g_silentLogged)
		return;
	g_silentLogged = true;
	zeLog(EZELL_INFO, "CZeMp3Player: no sound device (%s); music plays silently on the clock", reason);
}

// ---- libmpg123 reader over the file image ----------------------------------
mpg123_ssize_t readBytes(void* handle, void* buffer, size_t count)
{
	SZeMp3PlayerState* s = static_cast<SZeMp3PlayerState*>(handle);
	const size_t n = std::min(count, s->size - s->readPos);
	memcpy(buffer, s->bytes + s->readPos, n);
	s->readPos += n;
	return static_cast<mpg123_ssize_t>(n);
}

off_t seekBytes(void* handle, off_t offset, int whence)
{
	SZeMp3PlayerState* s = static_cast<SZeMp3PlayerState*>(handle);
	off_t origin = 0;
	if (whence == SEEK_CUR)
		origin = static_cast<off_t>(s->readPos);
	else if (whence == SEEK_END)
		origin = static_cast<off_t>(s->size);
	else if (whence != SEEK_SET)
		return -1;
	const off_t target = origin + offset;
	if (target < 0 || target > static_cast<off_t>(s->size))
		return -1;
	s->readPos = static_cast<size_t>(target);
	return target;
}

// ---- position ----------------------------------------------------------------
int64_t currentFrame(const SZeMp3PlayerState* s)
{
	if (!s->running)
		return s->base;
	const int64_t us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - s->baseTime).count();
	const int64_t elapsed = us * s->rate / 1000000;
	return s->base + std::min(std::max<int64_t>(elapsed, 0), s->span);
}

// Starts the heard audio at `frame`; with a device the decoder follows.
void startAt(SZeMp3PlayerState* s, int64_t frame)
{
	s->base = frame;
	s->baseTime = Clock::now();
	if (!s->running)
		s->span = 0;
	else if (s->device)
	{
		mpg123_seek(s->decoder, static_cast<off_t>(frame), SEEK_SET);
		s->decodePos = frame;
		s->span = 0;  // the next buffer handed to the device starts here
	}
	else
		s->span = s->length - frame;
}

// ---- device callback (audio thread) ----------------------------------------
void fillAudio(void* user, Uint8* stream, int len)
{
	SZeMp3PlayerState* s = static_cast<SZeMp3PlayerState*>(user);
	std::lock_guard<std::mutex> guard(s->lock);
	const size_t frameBytes = 2 * static_cast<size_t>(s->channels);
	size_t got = 0;
	if (s->running && s->open)
	{
		while (got < static_cast<size_t>(len))
		{
			size_t done = 0;
			const int r = mpg123_read(s->decoder, stream + got, static_cast<size_t>(len) - got, &done);
			got += done;
			if ((r != MPG123_OK && r != MPG123_NEW_FORMAT) || (r == MPG123_OK && done == 0))
				break;
		}
	}
	const size_t frames = got / frameBytes;
	got = frames * frameBytes;
	if (s->gain < 1.0f)
	{
		int16_t* samples = reinterpret_cast<int16_t*>(stream);
		for (size_t i = 0; i < got / 2; ++i)
			samples[i] = static_cast<int16_t>(std::lrint(samples[i] * s->gain));
	}
	memset(stream + got, 0, static_cast<size_t>(len) - got);
	if (s->running)
	{
		s->base = s->decodePos;
		s->span = static_cast<int64_t>(frames);
		s->baseTime = Clock::now();
		s->decodePos += static_cast<int64_t>(frames);
	}
}

// About 10 ms of audio, a power of two.
Uint16 bufferFrames(long rate)
{
	Uint16 n = 64;
	while (n < rate / 100 && n < 4096)
		n = static_cast<Uint16>(n * 2);
	return n;
}

void closeDecoderInput(SZeMp3PlayerState* s)
{
	mpg123_close(s->decoder);
	delete[] s->bytes;
	s->bytes = nullptr;
	s->size = 0;
	s->readPos = 0;
}
} // namespace

// ---- life ---------------------------------------------------------------------
CZeMp3Player::CZeMp3Player() : State(new SZeMp3PlayerState)
{
	++g_liveCount;
}

CZeMp3Player::~CZeMp3Player()
{
	release();
	mpg123_delete(State->decoder);
	delete State;
	--g_liveCount;
}

CZeMp3Player* CZeMp3Player::create()
{
	CZeMp3Player* player = new (std::nothrow) CZeMp3Player;
	if (!player)
		return nullptr;
	int error = MPG123_OK;
	player->State->decoder = mpg123_new(nullptr, &error);
	if (!player->State->decoder)
	{
		delete player;
		return nullptr;
	}
	mpg123_param(player->State->decoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
	return player;
}

void CZeMp3Player::destroy(CZeMp3Player* player)
{
	delete player;
}

int CZeMp3Player::liveCount()
{
	return g_liveCount;
}

// ---- opening ------------------------------------------------------------------
bool CZeMp3Player::open(const void* data, size_t size)
{
	release();
	SZeMp3PlayerState* s = State;
	s->bytes = new (std::nothrow) unsigned char[size ? size : 1];
	if (!s->bytes)
	{
		fprintf(stderr, "Could not allocate %d bytes\n", static_cast<int>(size));
		return false;
	}
	memcpy(s->bytes, data, size);
	s->size = size;
	s->readPos = 0;

	// 16-bit output at the file's own rate and channel count.
	mpg123_handle* d = s->decoder;
	const long* rates = nullptr;
	size_t rateCount = 0;
	mpg123_rates(&rates, &rateCount);
	mpg123_format_none(d);
	for (size_t i = 0; i < rateCount; ++i)
		mpg123_format(d, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
	int encoding = 0;
	bool decodes = mpg123_replace_reader_handle(d, readBytes, seekBytes, nullptr) == MPG123_OK
		&& mpg123_open_handle(d, s) == MPG123_OK
		&& mpg123_getformat(d, &s->rate, &s->channels, &encoding) == MPG123_OK
		&& encoding == MPG123_ENC_SIGNED_16 && s->rate > 0 && s->channels > 0
		&& mpg123_scan(d) == MPG123_OK;
	if (decodes)
	{
		s->length = mpg123_length(d);
		mpg123_format_none(d);
		mpg123_format(d, s->rate, s->channels, encoding);
		decodes = s->length > 0 && mpg123_seek(d, 0, SEEK_SET) == 0;
	}
	if (!decodes)
	{
		fprintf(stderr, "Could not decode mp3 - %s\n", mpg123_strerror(d));
		closeDecoderInput(s);
		return false;
	}

	if (g_audioStarted)
	{
		SDL_AudioSpec want;
		SDL_zero(want);
		want.freq = static_cast<int>(s->rate);
		want.format = AUDIO_S16SYS;
		want.channels = static_cast<Uint8>(s->channels);
		want.samples = bufferFrames(s->rate);
		want.callback = fillAudio;
		want.userdata = s;
		SDL_AudioSpec have;
		s->device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
		if (!s->device)
			logSilentOnce(SDL_GetError());
	}
	else
		logSilentOnce("audio not started");

	std::lock_guard<std::mutex> guard(s->lock);
	s->running = false;
	s->base = 0;
	s->span = 0;
	s->decodePos = 0;
	s->open = true;
	return true;
}

bool CZeMp3Player::isOpen() const
{
	std::lock_guard<std::mutex> guard(State->lock);
	return State->open;
}

bool CZeMp3Player::isSilent() const
{
	return State->device == 0;
}

void CZeMp3Player::release()
{
	SZeMp3PlayerState* s = State;
	{
		std::lock_guard<std::mutex> guard(s->lock);
		s->running = false;
		s->open = false;
	}
	// Closing joins the audio thread; never while holding the lock it takes.
	if (s->device)
	{
		SDL_CloseAudioDevice(s->device);
		s->device = 0;
	}
	std::lock_guard<std::mutex> guard(s->lock);
	if (s->bytes)
		closeDecoderInput(s);
	s->base = 0;
	s->span = 0;
	s->length = 0;
}

// ---- transport ----------------------------------------------------------------
int CZeMp3Player::run()
{
	SZeMp3PlayerState* s = State;
	{
		std::lock_guard<std::mutex> guard(s->lock);
		if (!s->open)
			return -1;
		if (s->running)
			return 0;
		s->running = true;
		startAt(s, s->base);
	}
	if (s->device)
		SDL_PauseAudioDevice(s->device, 0);
	return 0;
}

int CZeMp3Player::pause()
{
	SZeMp3PlayerState* s = State;
	{
		std::lock_guard<std::mutex> guard(s->lock);
		if (!s->open)
			return -1;
		s->base = currentFrame(s);
		s->span = 0;
		s->running = false;
	}
	if (s->device)
		SDL_PauseAudioDevice(s->device, 1);
	return 0;
}

int CZeMp3Player::stop()
{
	SZeMp3PlayerState* s = State;
	{
		std::lock_guard<std::mutex> guard(s->lock);
		if (!s->open)
			return -1;
		s->running = false;
		s->base = 0;
		s->span = 0;
	}
	if (s->device)
		SDL_PauseAudioDevice(s->device, 1);
	return 0;
}

int CZeMp3Player::getPosition() const
{
	std::lock_guard<std::mutex> guard(State->lock);
	if (!State->open)
		return -1;
	return static_cast<int>(currentFrame(State) * 1000 / State->rate);
}

int CZeMp3Player::setPosition(int ms)
{
	std::lock_guard<std::mutex> guard(State->lock);
	if (!State->open)
		return -1;
	const int64_t frame = static_cast<int64_t>(ms) * State->rate / 1000;
	startAt(State, std::clamp<int64_t>(frame, 0, State->length));
	return 0;
}

int CZeMp3Player::getLength() const
{
	std::lock_guard<std::mutex> guard(State->lock);
	return State->open ? static_cast<int>(State->length * 1000 / State->rate) : -1;
}

// ---- volume -------------------------------------------------------------------
int CZeMp3Player::getVolume() const
{
	std::lock_guard<std::mutex> guard(State->lock);
	return State->level;
}

void CZeMp3Player::setVolume(int level)
{
	std::lock_guard<std::mutex> guard(State->lock);
	State->level = std::clamp(level, -10000, 0);
	State->gain = State->level <= -10000 ? 0.0f : std::pow(10.0f, static_cast<float>(State->level) / 2000.0f);
}

// ---- audio subsystem ----------------------------------------------------------
bool CZeMp3Player::startAudio()
{
	g_silentLogged = false;
	if (g_audioStarted)
		return true;
	// The engine handles its own signals; SDL's events part must not take them.
	SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
	SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Zelv");
	if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
	{
		logSilentOnce(SDL_GetError());
		return false;
	}
	g_audioStarted = true;
	return true;
}

void CZeMp3Player::stopAudio()
{
	if (!g_audioStarted)
		return;
	SDL_QuitSubSystem(SDL_INIT_AUDIO);
	g_audioStarted = false;
}
