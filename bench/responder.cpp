#include "bench/responder.h"

#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "bench/clock.h"
#include "command/types.h"

namespace {

// The same retry the server makes, for the same reason: the program of the
// round before may hold the port a moment longer than its exit suggests.
constexpr int BindAttempts = 40;
constexpr std::int64_t BindRetryNanoseconds = 50000000;

// As long as the server's status reply, so that both send the same bytes.
const char Answer[] = "Status OK\n";

int BindCommandPort(void)
{
	sockaddr_in any = {};
	any.sin_family = AF_INET;
	any.sin_addr.s_addr = htonl(INADDR_ANY);
	any.sin_port = htons(CommandPort);
	for (int attempt = 0; attempt < BindAttempts; attempt++) {
		const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
		if (fd < 0)
			return -1;
		if (bind(fd, reinterpret_cast<const sockaddr *>(&any), sizeof any) == 0)
			return fd;
		const int error = errno;
		close(fd);
		if (error != EADDRINUSE)
			return -1;
		SleepNanoseconds(BindRetryNanoseconds);
	}
	return -1;
}

} // namespace

int RunBareResponder(void)
{
	const int listen = BindCommandPort();
	if (listen < 0)
		return 1;
	char datagram[NewTextSize];
	for (;;) {
		sockaddr_in from = {};
		socklen_t fromLength = sizeof from;
		if (recvfrom(listen, datagram, sizeof datagram, 0, reinterpret_cast<sockaddr *>(&from),
		             &fromLength) < 0)
			continue;
		from.sin_port = htons(ReplyPort);
		const int reply = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
		if (reply < 0)
			continue;
		sendto(reply, Answer, sizeof Answer - 1, 0, reinterpret_cast<const sockaddr *>(&from),
		       sizeof from);
		close(reply);
	}
}
