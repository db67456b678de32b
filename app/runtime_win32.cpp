#include "app/runtime.h"

#include <windows.h>

namespace {

// Manual reset: once raised, every wait sees it at once.
HANDLE StopEvent(void)
{
	static const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
	return event;
}

} // namespace

int PauseMilliseconds(std::uint32_t milliseconds)
{
	return WaitForSingleObject(StopEvent(), milliseconds) == WAIT_OBJECT_0 ? 1 : 0;
}

void RaiseStop(void)
{
	SetEvent(StopEvent());
}

int StopRaised(void)
{
	return WaitForSingleObject(StopEvent(), 0) == WAIT_OBJECT_0 ? 1 : 0;
}

std::uintptr_t StopWaitHandle(void)
{
	return reinterpret_cast<std::uintptr_t>(StopEvent());
}
