#include "app/runtime.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

std::atomic<int> stopRaised{0};

// A pipe that becomes readable for good once the stop is raised, so that
// every wait can watch it next to its own descriptor.
int StopReadEnd(int *writeEnd)
{
	static int fds[2] = {-1, -1};
	static const int made = pipe2(fds, O_CLOEXEC | O_NONBLOCK);
	(void)made;
	if (writeEnd != nullptr)
		*writeEnd = fds[1];
	return fds[0];
}

std::int64_t MonotonicMilliseconds(void)
{
	timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace

int PauseMilliseconds(std::uint32_t milliseconds)
{
	const std::int64_t end = MonotonicMilliseconds() + milliseconds;
	pollfd stop = {StopReadEnd(nullptr), POLLIN, 0};
	for (;;) {
		if (StopRaised())
			return 1;
		const std::int64_t left = end - MonotonicMilliseconds();
		if (left <= 0)
			return 0;
		// Signals interrupt poll; the loop takes up the rest of the pause.
		if (poll(&stop, 1, static_cast<int>(left)) < 0 && errno != EINTR)
			return 0;
	}
}

void RaiseStop(void)
{
	int writeEnd;
	StopReadEnd(&writeEnd);
	stopRaised.store(1);
	const char byte = 's';
	if (write(writeEnd, &byte, 1) < 0) {
		// The pipe holds a byte already: every waiter has been woken.
	}
}

int StopRaised(void)
{
	return stopRaised.load();
}

std::uintptr_t StopWaitHandle(void)
{
	return static_cast<std::uintptr_t>(StopReadEnd(nullptr));
}
