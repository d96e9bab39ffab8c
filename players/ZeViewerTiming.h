// The scene viewer's times and frames: a scene's first frame, its frame rate
// and its length turn animation times (integer milliseconds) into frame
// numbers and back, and into the texts of the viewer's overlay.
#pragma once

#include <string>

class CZeViewerTiming
{
public:
	// first: the scene's first frame; fps: its frames per second (whole
	// number); end: its length in milliseconds.
	void set(int first, int fps, int end);

	int first() const { return First; }
	int fps() const { return Fps; }
	int end() const { return End; }

	// first + fps x time / 1000.
	double frameOf(int timeMs) const;
	// (frame - first) x 1000 / fps, truncated toward zero; 0 when the frame
	// rate is 0 (logged the first time).
	int timeOf(double frame);

	// "Frame=%4.2f time=%dmn%dsec%d millisec=%d": the frame, minutes, seconds,
	// tenths and milliseconds of the time.
	std::string timeText(int timeMs) const;

private:
	int First = 0;
	int Fps = 0;
	int End = 0;
	bool ZeroRateLogged = false;
};

// "FPS=%.2f (%.2f ms/frm)" for 30 frames drawn in `ms` milliseconds (at
// least 1 counts).
std::string zeViewerFpsText(unsigned int ms);
