// Without a window system, a running instance is marked by an abstract Unix
// socket named "TAMBORIXEL:<pid>": it needs no file, is visible to every
// process in /proc/net/unix, and goes away with its process however that
// ends. The main loop waits on a pipe that the close signals and the quit
// request write to.
#include "app/control.h"

#include "app/runtime.h"

#include <cerrno>
#include <cstddef>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const char MarkName[] = "TAMBORIXEL";

enum LoopState { LoopNotStarted, LoopRunning, LoopEnded };

int markSocket = -1;
int wakePipe[2] = {-1, -1};
volatile sig_atomic_t closeRequested;

pthread_mutex_t loopLock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t loopEnded = PTHREAD_COND_INITIALIZER;
LoopState loopState = LoopNotStarted;
int quitRequested;

void Wake(void)
{
	const char byte = 'w';
	if (write(wakePipe[1], &byte, 1) < 0) {
		// A full pipe has woken the loop already.
	}
}

// Also raises the stop, so that a one-shot run, which has no loop, ends its
// command line at once too (its pause is cut short, nothing more runs).
void OnCloseSignal(int)
{
	const int savedErrno = errno;
	closeRequested = 1;
	Wake();
	RaiseStop();
	errno = savedErrno;
}

int QuitTaken(void)
{
	pthread_mutex_lock(&loopLock);
	const int taken = quitRequested;
	pthread_mutex_unlock(&loopLock);
	return taken;
}

} // namespace

void RegisterControlClass(void)
{
}

ControlHandle CreateControlWindow(InstanceHandle)
{
	sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	// Abstract names start with a NUL byte and are not NUL-terminated.
	const int nameLength = std::snprintf(address.sun_path + 1, sizeof address.sun_path - 1,
	                                     "%s:%ld", MarkName, static_cast<long>(getpid()));
	if (nameLength <= 0 || static_cast<std::size_t>(nameLength) >= sizeof address.sun_path - 1)
		return 0;
	const socklen_t addressLength =
		static_cast<socklen_t>(offsetof(struct sockaddr_un, sun_path) + 1 + static_cast<std::size_t>(nameLength));

	markSocket = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
	if (markSocket < 0)
		return 0;
	if (bind(markSocket, reinterpret_cast<const sockaddr *>(&address), addressLength) != 0 ||
	    pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
		close(markSocket);
		markSocket = -1;
		return 0;
	}

	// Close requests are taken from the moment the instance is marked, as a
	// window queues its messages before any loop reads them. The stop's pipe
	// is made here, not in the handler.
	StopWaitHandle();
	struct sigaction action = {};
	action.sa_handler = OnCloseSignal;
	sigemptyset(&action.sa_mask);
	sigaction(SIGTERM, &action, nullptr);
	sigaction(SIGINT, &action, nullptr);
	sigaction(SIGHUP, &action, nullptr);
	return static_cast<ControlHandle>(markSocket) + 1;
}

int FindRunningInstance(void)
{
	FILE *table = std::fopen("/proc/net/unix", "r");
	if (table == nullptr)
		return 0;
	// Abstract names are listed as "@TAMBORIXEL:<pid>" in the last column.
	char wanted[32];
	std::snprintf(wanted, sizeof wanted, "@%s:", MarkName);
	const std::size_t wantedLength = std::strlen(wanted);
	char line[512];
	int found = 0;
	while (!found && std::fgets(line, sizeof line, table) != nullptr) {
		const char *path = std::strrchr(line, ' ');
		if (path != nullptr && std::strncmp(path + 1, wanted, wantedLength) == 0)
			found = 1;
		// A line longer than the buffer: skip the rest of it.
		while (std::strchr(line, '\n') == nullptr &&
		       std::fgets(line, sizeof line, table) != nullptr) {
		}
	}
	std::fclose(table);
	return found;
}

int RunMessageLoop(void)
{
	pthread_mutex_lock(&loopLock);
	loopState = LoopRunning;
	pthread_mutex_unlock(&loopLock);

	pollfd wake = {wakePipe[0], POLLIN, 0};
	while (!closeRequested && !QuitTaken()) {
		if (poll(&wake, 1, -1) > 0) {
			char drain[64];
			while (read(wakePipe[0], drain, sizeof drain) > 0) {
			}
		}
	}

	pthread_mutex_lock(&loopLock);
	loopState = LoopEnded;
	pthread_cond_broadcast(&loopEnded);
	pthread_mutex_unlock(&loopLock);
	return 0;
}

void SendQuitRequest(void)
{
	pthread_mutex_lock(&loopLock);
	if (loopState == LoopRunning) {
		quitRequested = 1;
		Wake();
		while (loopState == LoopRunning)
			pthread_cond_wait(&loopEnded, &loopLock);
	}
	pthread_mutex_unlock(&loopLock);
}
