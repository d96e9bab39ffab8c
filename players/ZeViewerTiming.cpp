#include "players/ZeViewerTiming.h"
#include "frame/ZeLog.h"

#include <climits>
#include <cmath>
#include <cstdio>

void CZeViewerTiming::set(int first, int fps, int end)
{
	First = first;
	Fps = fps;
	End = end;
}

double CZeViewerTiming::frameOf(int timeMs) const
{
	return First + static_cast<double>(Fps) * timeMs / 1000.0;
}

int CZeViewerTiming::timeOf(double frame)
{
	if (Fps == 0)
	{
		if (!ZeroRateLogged)
			zeLog(EZELL_WARN, "ZeSceneViewer: the scene has a frame rate of 0, every frame shows time 0");
		ZeroRateLogged = true;
		return 0;
	}
	const double t = std::trunc((frame - First) * 1000.0 / Fps);
	if (!(t > INT_MIN))
		return INT_MIN;
	return t < INT_MAX ? static_cast<int>(t) : INT_MAX;
}

std::string CZeViewerTiming::timeText(int timeMs) const
{
	char text[128];
	snprintf(text, sizeof(text), "Frame=%4.2f time=%dmn%dsec%d millisec=%d", frameOf(timeMs), timeMs / 1000 / 60,
		timeMs / 1000 % 60, timeMs / 100 % 600 % 10, timeMs);
	return text;
}

std::string zeViewerFpsText(unsigned int ms)
{
	const double d = ms ? ms : 1;
	char text[64];
	snprintf(text, sizeof(text), "FPS=%.2f (%.2f ms/frm)", 30000.0 / d, d / 30.0);
	return text;
}
