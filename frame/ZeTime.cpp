#include "frame/ZeTime.h"

#include <chrono>
#include <thread>

unsigned int zeTimer()
{
	using Clock = std::chrono::steady_clock;
	static const Clock::time_point start = Clock::now();
	return static_cast<unsigned int>(
		std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

void zeSleep(int milliseconds)
{
	if (milliseconds > 0)
		std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
