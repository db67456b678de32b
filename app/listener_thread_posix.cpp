#include "app/listener_thread.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>

#include "app/runtime.h"
#include "net/listener.h"

namespace {

pthread_t listener;
int listenerStarted;

void *ListenerBody(void *)
{
	ListenerThread();
	return nullptr;
}

} // namespace

int StartListener(void)
{
	// Close requests belong to the main thread; the listener inherits a
	// mask that keeps them away from it.
	sigset_t closeSignals, previous;
	sigemptyset(&closeSignals);
	sigaddset(&closeSignals, SIGTERM);
	sigaddset(&closeSignals, SIGINT);
	sigaddset(&closeSignals, SIGHUP);
	pthread_sigmask(SIG_BLOCK, &closeSignals, &previous);
	listenerStarted = pthread_create(&listener, nullptr, ListenerBody, nullptr) == 0;
	pthread_sigmask(SIG_SETMASK, &previous, nullptr);
	return listenerStarted ? 0 : 1;
}

int StopListener(void)
{
	if (!listenerStarted)
		return 0;
	RaiseStop();
	// The listener wakes on the stop within a moment, also in a SLEEP; only
	// a question still open on its terminal can hold it longer. Joining
	// also serves a listener that has ended on its own.
	timespec limit;
	clock_gettime(CLOCK_REALTIME, &limit);
	limit.tv_sec += ListenerStopLimitMilliseconds / 1000;
	if (pthread_timedjoin_np(listener, nullptr, &limit) != 0)
		return 1;
	listenerStarted = 0;
	return 0;
}
