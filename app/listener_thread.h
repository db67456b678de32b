// The listener's thread, started and stopped by the main thread only.
#pragma once

// How long the main thread waits for the listener to end at shutdown.
inline constexpr unsigned ListenerStopLimitMilliseconds = 15000;

// 0 when the thread runs, 1 when it could not be started.
int StartListener(void);

// Raises the stop and waits for the listener to end (also one that has
// ended on its own). Returns 0 when no listener runs any more, 1 when it is
// still held after the limit, by a question to the person at the machine.
int StopListener(void);
