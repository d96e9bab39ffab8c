#include "api/ZeMusic.h"

#include "api/CZeMp3Player.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

struct SZeMusic
{
	char path[2048];
	CZeMp3Player* player;
	int playing;
};

namespace
{
SZeIdTable* musicTable()
{
	return zeGetContext()->musics;
}

// The table's error text, or why there is no table.
const char* tableError(const SZeIdTable* table)
{
	return table ? zeGetIdTableError() : "music list not created";
}

SZeMusic* peekMusic(int id)
{
	SZeIdTable* table = musicTable();
	return table ? static_cast<SZeMusic*>(zeIdTableGet(table, id)) : nullptr;
}

// The music of an ID, or null with the pending look-up error (argument 1).
SZeMusic* findMusic(int id)
{
	SZeMusic* music = peekMusic(id);
	if (!music)
		zeSetError(1, "Music ID %d does not exist. %s", id, tableError(musicTable()));
	return music;
}

void freeMusic(int id, SZeMusic* music)
{
	if (music->player)
	{
		music->player->release();
		CZeMp3Player::destroy(music->player);
	}
	zeIdTableRemove(musicTable(), id);
	delete music;
}

bool startMusicReplay()
{
	if (zeInitMusics() != 0)
		return false;
	// Without a sound device the players run silently: set-up still succeeds.
	CZeMp3Player::startAudio();
	return true;
}

void stopMusicReplay()
{
	SZeIdTable* table = musicTable();
	if (table)
	{
		for (int id = 0; id <= zeIdTableMaxId(table); ++id)
			if (peekMusic(id))
				zeDeleteMusic(id);
	}
	zeTermMusics();
	CZeMp3Player::stopAudio();
}
} // namespace

void zeInstallMusic()
{
	SZeEngineHooks& hooks = zeGetEngineHooks();
	hooks.startMusic = startMusicReplay;
	hooks.stopMusic = stopMusicReplay;
}

// ---- table ----------------------------------------------------------------------
int zeInitMusics()
{
	SZeContext* context = zeGetContext();
	if (context->musics)
		return 0;
	context->musics = zeCreateIdTable(ZE_MUSIC_TABLE_CAPACITY);
	if (!context->musics)
	{
		zeLog(EZELL_ERROR, "fails to create music list");
		return -1;
	}
	return 0;
}

void zeTermMusics()
{
	SZeContext* context = zeGetContext();
	zeFreeIdTable(context->musics);
	context->musics = nullptr;
}

// ---- loading and deleting -------------------------------------------------------
int zeLoadMusic(const char* path, int id)
{
	SZeIdTable* table = musicTable();
	SZeMusic* music = new (std::nothrow) SZeMusic();
	if (!music || !table || zeIdTableAdd(table, id, music) != 0)
	{
		zeSetError(2, "invalid Music ID %d : %s", id, tableError(table));
		delete music;
		return -1;
	}
	snprintf(music->path, sizeof(music->path), "%s", path ? path : "");
	music->player = CZeMp3Player::create();
	if (!music->player)
	{
		zeSetError(-1, "Failed to create mp3 renderer");
		freeMusic(id, music);
		return -1;
	}
	long size = 0;
	char* bytes = path ? zeReadFile(path, &size) : nullptr;
	const bool opened = bytes && music->player->open(bytes, static_cast<size_t>(size));
	delete[] bytes;
	if (!opened)
	{
		zeSetError(-1, "Failed to load mp3");
		freeMusic(id, music);
		return -1;
	}
	return 0;
}

int zeDeleteMusic(int id)
{
	SZeMusic* music = peekMusic(id);
	if (!music)
		return -1;
	if (music->playing)
		music->player->stop();
	freeMusic(id, music);
	return 0;
}

int zeMusicExist(int id)
{
	return peekMusic(id) ? 1 : 0;
}

// ---- transport --------------------------------------------------------------------
int zePlayMusic(int id)
{
	SZeMusic* music = findMusic(id);
	if (!music)
		return -1;
	if (music->playing)
		music->player->stop();
	music->player->run();
	music->playing = 1;
	return 0;
}

int zeStopMusic(int id)
{
	SZeMusic* music = findMusic(id);
	if (!music)
		return -1;
	music->player->stop();
	music->playing = 0;
	return 0;
}

int zePauseMusic(int id)
{
	SZeMusic* music = findMusic(id);
	if (!music)
		return -1;
	if (music->playing)
		music->player->pause();
	return 0;
}

int zeResumeMusic(int id)
{
	SZeMusic* music = findMusic(id);
	if (!music)
		return -1;
	music->player->run();
	music->playing = 1;
	return 0;
}

int zeSetMusicPosition(int id, int ms)
{
	SZeMusic* music = findMusic(id);
	return music ? music->player->setPosition(ms) : -1;
}

int zeGetMusicPosition(int id)
{
	SZeMusic* music = findMusic(id);
	return music ? music->player->getPosition() : -1;
}

// ---- volume -------------------------------------------------------------------------
void zeSetMusicVolume(int id, int percent)
{
	SZeMusic* music = findMusic(id);
	if (music)
		music->player->setVolume(zeMusicPercentToLevel(percent));
}

int zeMusicVolume(int id)
{
	SZeMusic* music = findMusic(id);
	return music ? zeMusicLevelToPercent(music->player->getVolume()) : 0;
}

int zeMusicPercentToLevel(int percent)
{
	float level = 100.0f * 20.0f * zeFastLog10(static_cast<float>(percent) / 100.0f);
	if (level < -10000.0f)
		level = -10000.0f;
	if (level > 0.0f)
		level = 0.0f;
	return static_cast<int>(level);
}

int zeMusicLevelToPercent(int level)
{
	return static_cast<int>(100.0f * zeFastPow10(static_cast<float>(level) / 100.0f / 20.0f));
}

float zeFastLog10(float x)
{
	uint32_t bits;
	memcpy(&bits, &x, sizeof(bits));
	const int exponent = static_cast<int>((bits >> 23) & 0xFF) - 127;
	const uint32_t mantissaBits = (bits & 0x7FFFFFu) | 0x3F800000u;  // as a number in [1, 2)
	float m;
	memcpy(&m, &mantissaBits, sizeof(m));
	return (m * (2.0f - m / 3.0f) - 5.0f / 3.0f + static_cast<float>(exponent)) * 0.30103f;
}

float zeFastPow10(float x)
{
	const float y = x * 3.321928f;
	const int i = static_cast<int>(y);
	const float f = y - static_cast<float>(i);
	float result = f * (0.25f * f + 0.75f) + 1.0f;
	uint32_t bits;
	memcpy(&bits, &result, sizeof(bits));
	bits += static_cast<uint32_t>(i) << 23;  // multiplies by 2^i
	memcpy(&result, &bits, sizeof(result));
	return result;
}
