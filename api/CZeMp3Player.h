// The mp3 player behind each music: the file image is decoded by libmpg123
// from memory and played through an SDL2 audio device of its own. Without a
// sound device the player is silent and its position follows the clock.
//
// The decoder is used by the audio thread (the device callback) and by the
// main thread (seeks), always under the player's lock.
#pragma once

#include <cstddef>

struct SZeMp3PlayerState;

class CZeMp3Player
{
public:
	// A closed player, or null when the decoder cannot be made.
	static CZeMp3Player* create();
	// Releases and frees the player.
	static void destroy(CZeMp3Player* player);

	// Copies the file image, checks that it decodes and opens the output.
	// False leaves the player closed.
	bool open(const void* data, size_t size);
	bool isOpen() const;
	// Whether the player keeps time on the clock instead of a device.
	bool isSilent() const;

	// Plays from the current position. 0, or -1 when not open.
	int run();
	// Holds the current position. 0, or -1 when not open.
	int pause();
	// Stops and rewinds to 0. 0, or -1 when not open.
	int stop();

	// Position of the audio being heard, in ms; -1 when not open.
	int getPosition() const;
	// Seeks (clamped to the music's length). 0, or -1 when not open.
	int setPosition(int ms);
	// Length in ms; -1 when not open.
	int getLength() const;

	// Volume in hundredths of a decibel, -10000 (silence) to 0.
	int getVolume() const;
	void setVolume(int level);

	// Stops, closes the device and frees the decoder and the bytes.
	void release();

	// SDL's audio subsystem, started once for all players. False: no sound
	// device, every player opened until stopAudio is silent.
	static bool startAudio();
	static void stopAudio();
	// Players that exist (created and not destroyed).
	static int liveCount();

private:
	CZeMp3Player();
	~CZeMp3Player();
	CZeMp3Player(const CZeMp3Player&) = delete;
	CZeMp3Player& operator=(const CZeMp3Player&) = delete;

	SZeMp3PlayerState* State;
};
