// The listener's thread, started and stopped by the main thread only.
#pragma once

// 0 when the thread runs, 1 when it could not be started.
int StartListener(void);

// Raises the stop and waits for the listener to end; after that no command
// runs. Does nothing when no listener was started.
void StopListener(void);
