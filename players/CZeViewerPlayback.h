// The scene viewer's playback: where the animation stands in time, running
// from a clock (or from its music) or paused, stepped and looped by keys,
// paused at either end, and moved by a rebuilt scene or a host's frame.
//
// Times are integer milliseconds of animation time; `now` is the clock. While
// running, animation time 0 lies at the clock value `base`.
#pragma once

#include "players/ZeViewerTiming.h"

// The ride speed (cm/s) the viewer starts with: 1000 for none or a negative
// one, at most ZE_VIEWER_MAX_RIDE_SPEED.
const int ZE_VIEWER_MAX_RIDE_SPEED = 1000000;
int zeViewerRideSpeed(int requested);
// The ride speed changed by a step of the speed keys, kept within 1 and
// ZE_VIEWER_MAX_RIDE_SPEED.
int zeViewerRideSpeedStep(int speed, int step);

// The music that plays along, as the playback drives it.
class IZeViewerMusic
{
public:
	virtual ~IZeViewerMusic() = default;
	// The position heard, in ms; -1 when unknown.
	virtual int position() = 0;
	virtual void seek(int ms) = 0;
	// Plays from the position (a playing music restarts from 0).
	virtual void play() = 0;
	virtual void pause() = 0;
	virtual void resume() = 0;
};

// The keys of one pass: Enter and Space as they are now (the playback acts
// when they go down), the others held.
struct SZeViewerKeys
{
	bool enter;
	bool space;
	bool shift;    // steps ten times as far
	bool forward;  // Right (when not riding), plus
	bool back;     // Left (when not riding), minus
};

class CZeViewerPlayback
{
public:
	// `music` plays along when not null (the caller keeps it alive).
	explicit CZeViewerPlayback(IZeViewerMusic* music = nullptr);

	CZeViewerTiming& timing() { return Timing; }
	// Where the music stands against animation time 0: music = time + offset.
	void setAudioOffset(int ms) { AudioOffset = ms; }

	// Starts at time 0 running; at the time of `frame` (within 0..end) when
	// `atFrame`; paused when `paused`, else the music plays from there.
	void start(long long now, bool paused, bool atFrame, double frame);

	// The time of a pass, before the keys: the clock's (or the music's, while
	// it reports one) when running, the paused time when paused; at most end.
	int passTime(long long now);
	// Acts on the keys and on the ends of the animation; returns the time to
	// show this pass.
	int update(long long now, int time, const SZeViewerKeys& keys);
	// Whether this pass animates the scene (running, the paused time moved, or
	// a refresh was asked); clears the refresh.
	bool takeAnimate();

	// Shows `time` from now on, keeping the state (a host's frame, a rebuilt
	// scene): the paused time, or the clock and the music while running.
	void moveTo(long long now, int time);
	// After the scene was rebuilt with this timing: keeps the frame shown
	// last pass (its time under the old timing) under the new one.
	void keepFrame(long long now, int first, int fps, int end);

	// A pass of a paused viewer whose window is inactive and that has nothing
	// to refresh: true (skip it) for nine such passes in a row, false on the
	// tenth and on any other pass, which restart the count.
	bool skipIdlePass(bool windowActive);

	bool paused() const { return Paused; }
	bool looping() const { return Looping; }
	int pausedTime() const { return PausedTime; }
	// The time the last update returned.
	int shownTime() const { return Shown; }

private:
	void pauseAt(int time);
	void seekMusic(long long now);

	IZeViewerMusic* Music;
	CZeViewerTiming Timing;
	long long Base = 0;
	bool Paused = false;
	int PausedTime = 0;
	int LastPausedTime = 0;
	bool Looping = false;
	bool MusicPausedByViewer = false;
	int AudioOffset = 0;
	bool Refresh = true;
	bool EnterDown = false;
	bool SpaceDown = false;
	int IdleCount = 0;
	int Shown = 0;
};
