#include "net/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

int SocketLibraryStart(void)
{
	return 0;
}

void SocketLibraryRelease(void)
{
}

std::uint32_t Ipv4FromText(const char *host)
{
	return inet_addr(host);
}

SocketHandle UdpSocketCreate(void)
{
	// Non-blocking from birth: making it so afterwards took two fcntl calls
	// per reply, more than a quarter of the server's system calls per command.
	const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
	return fd < 0 ? NoSocket : static_cast<SocketHandle>(fd);
}

int SocketSetNonBlocking(SocketHandle)
{
	// UdpSocketCreate, the only source of sockets here, made it so already.
	return 0;
}

int SocketEnableBroadcast(SocketHandle socket)
{
	// Linux wants a whole int for a boolean option, not one byte.
	const int on = 1;
	return setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0 ? 0 : 1;
}

int SocketSendTo(SocketHandle socket, const char *data, std::size_t length,
                 std::uint32_t address, std::uint16_t port)
{
	sockaddr_in target = {};
	target.sin_family = AF_INET;
	target.sin_addr.s_addr = address;
	target.sin_port = htons(port);
	const ssize_t sent = sendto(static_cast<int>(socket), data, length, MSG_NOSIGNAL,
	                            reinterpret_cast<const sockaddr *>(&target), sizeof target);
	return sent < 0 ? 1 : 0;
}

void SocketClose(SocketHandle socket)
{
	close(static_cast<int>(socket));
}

int SocketLastError(void)
{
	return errno;
}

void ReplyLingerPause(void)
{
	// A datagram is queued in the kernel once sendto has returned, and close
	// cannot lose it, so there is nothing to wait for here.
}

int AskYesNo(const char *text, const char *caption)
{
	// Only a person at a terminal can answer; a service must never hang on
	// a question, so there the answer is No.
	if (!isatty(STDIN_FILENO) || !isatty(STDERR_FILENO)) {
		std::fprintf(stderr, "tamborixel: %s: %s\n", caption, text);
		return 1;
	}
	std::fprintf(stderr, "tamborixel: %s: %s\nCarry on? [y/n] ", caption, text);
	char answer[16];
	if (std::fgets(answer, sizeof answer, stdin) == nullptr)
		return 1;
	return answer[0] == 'y' || answer[0] == 'Y' ? 0 : 1;
}
