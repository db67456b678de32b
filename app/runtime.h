// The clock, the pause and the stop signal: the only ways the command path
// and the listener learn about time and shutdown. Tests replace them.
#pragma once

#include <cstdint>

// Seconds since the Unix epoch.
std::int64_t CurrentTime(void);

// Returns 0 after the whole pause, 1 when the program began to stop
// meanwhile (the pause is cut short then).
int PauseMilliseconds(std::uint32_t milliseconds);

// The main thread raises the stop once its loop has ended; it is never lowered.
void RaiseStop(void);
int StopRaised(void);

// What a platform wait can watch for the stop: a descriptor on POSIX, an
// event handle on Windows.
std::uintptr_t StopWaitHandle(void);
