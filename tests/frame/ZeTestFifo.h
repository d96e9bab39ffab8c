// A named pipe for tests of code that must refuse it, and a guard that keeps
// a regression from hanging the suite: when the guarded call has not returned
// after a few seconds, the guard opens the pipe's writing end and closes it
// again, which releases a reader waiting in open() or read(); the call then
// returns and the test fails.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace zetest
{
// Makes the pipe; false (and a test failure) when it cannot.
inline bool makeFifo(const std::string& path)
{
	const bool made = mkfifo(path.c_str(), 0600) == 0;
	EXPECT_TRUE(made) << "mkfifo " << path;
	return made;
}

// Runs `call`; false when it had to be released from the pipe at `fifo`.
template <typename F>
::testing::AssertionResult returnsPromptly(const std::string& fifo, F call, int seconds = 5)
{
	std::atomic<bool> done{ false };
	std::atomic<bool> released{ false };
	std::thread watchdog([&] {
		const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
		while (!done && std::chrono::steady_clock::now() < deadline)
			std::this_thread::sleep_for(std::chrono::milliseconds(20));
		while (!done)
		{
			// Succeeds only while a reader has the pipe open or waits in open().
			const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
			if (fd >= 0)
			{
				released = true;
				close(fd);
			}
			std::this_thread::sleep_for(std::chrono::milliseconds(20));
		}
	});
	call();
	done = true;
	watchdog.join();
	if (released)
		return ::testing::AssertionFailure() << "the call waited on the pipe " << fifo << " until released";
	return ::testing::AssertionSuccess();
}
} // namespace zetest
