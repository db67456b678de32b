#include "app/listener_thread.h"

#include <process.h>
#include <windows.h>

#include "app/runtime.h"
#include "net/listener.h"

namespace {

HANDLE listener;

unsigned __stdcall ListenerBody(void *)
{
	ListenerThread();
	return 0;
}

} // namespace

int StartListener(void)
{
	listener = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ListenerBody, nullptr, 0, nullptr));
	return listener != nullptr ? 0 : 1;
}

int StopListener(void)
{
	if (listener == nullptr)
		return 0;
	RaiseStop();
	// The listener wakes on the stop within a moment, also in a SLEEP; only
	// a question still open on its thread can hold it longer.
	const DWORD waited = WaitForSingleObject(listener, ListenerStopLimitMilliseconds);
	CloseHandle(listener);
	listener = nullptr;
	return waited == WAIT_OBJECT_0 ? 0 : 1;
}
