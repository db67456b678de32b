// The one clock every figure of the benchmark is read from.
#pragma once

#include <cerrno>
#include <cstdint>
#include <ctime>

inline std::int64_t NowNanoseconds(void)
{
	timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

inline void SleepNanoseconds(std::int64_t nanoseconds)
{
	if (nanoseconds <= 0)
		return;
	timespec left = {static_cast<time_t>(nanoseconds / 1000000000),
	                 static_cast<long>(nanoseconds % 1000000000)};
	while (nanosleep(&left, &left) != 0 && errno == EINTR) {
	}
}
