// The mark of a running instance, the main loop and the quit request.
#pragma once

#include <cstdint>

typedef std::uintptr_t InstanceHandle;
typedef std::uintptr_t ControlHandle;

void RegisterControlClass(void);

// Returns 0 when the control window (or its stand-in) could not be made.
ControlHandle CreateControlWindow(InstanceHandle instance);

// Runs until the quit request or a close request; returns the exit value, 0.
int RunMessageLoop(void);

// 1 when some process holds the mark of a running instance, else 0.
int FindRunningInstance(void);

// Synchronous: returns once the main thread has taken the request. Without a
// running loop it has no effect and returns at once.
void SendQuitRequest(void);
