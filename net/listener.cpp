#include "net/listener.h"

#include <cstdio>
#include <cstring>

#include "app/runtime.h"
#include "command/processor.h"
#include "net/listen_socket.h"

namespace {

// A server that was told to stop a moment ago may still hold the port.
constexpr std::uint32_t BindRetryMilliseconds = 2000;
constexpr std::uint32_t BindRetryStep = 50;
constexpr std::uint32_t WaitMilliseconds = 100;

int OpenWithRetry(ListenSocket *listen)
{
	for (std::uint32_t waited = 0;; waited += BindRetryStep) {
		const ListenOpenResult result = ListenSocketOpen(listen, CommandPort);
		if (result == ListenOpened)
			return 0;
		if (result == ListenFailed || waited >= BindRetryMilliseconds)
			return 1;
		if (PauseMilliseconds(BindRetryStep) != 0)
			return 1;
	}
}

void AddressText(std::uint32_t source, char *text)
{
	const unsigned char *bytes = reinterpret_cast<const unsigned char *>(&source);
	std::snprintf(text, ReplyAddressSize, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
}

} // namespace

void ListenerThread(void)
{
	if (SocketLibraryStart() != 0)
		return;

	char receive[NewTextSize] = {};
	PendingLine pending = {};
	ReplyAddress reply = {};
	ResetDeadline deadline = 0;
	ListenSocket listen = {NoSocket, 0};

	if (OpenWithRetry(&listen) == 0) {
		while (!StopRaised()) {
			if (deadline != 0 && CurrentTime() > deadline) {
				std::memcpy(pending, "RESET", sizeof "RESET");
				deadline = 0;
				ProcessCommandData(receive, pending, reply, &deadline);
			}
			// A datagram that is queued already needs no wait: a client
			// that sends its next command as soon as a reply is in finds
			// the listener here, not asleep, and a busy listener saves a
			// system call per command.
			std::size_t length = 0;
			std::uint32_t source = 0;
			ListenReceiveResult received =
				ListenSocketReceive(&listen, receive, sizeof receive, &length, &source);
			if (received == ReceivePassOver) {
				const ListenWaitResult waited = ListenSocketWait(&listen, WaitMilliseconds);
				if (waited == ListenTimedOut)
					continue;
				if (waited == ListenStopping)
					break;
				received = ListenSocketReceive(&listen, receive, sizeof receive, &length, &source);
			}
			if (received == ReceivePassOver)
				continue;
			if (received == ReceiveFailed)
				break;
			// Nothing to do for an empty datagram, and one that leaves no
			// room for its terminating NUL would arrive cut: drop both.
			if (length == 0 || length >= sizeof receive)
				continue;
			AddressText(source, reply);
			receive[length] = '\0';
			ProcessCommandData(receive, pending, reply, &deadline);
		}
	}
	ListenSocketClose(&listen);
	SocketLibraryRelease();
}
