#include "client/udp.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

int ClientNetStart(void)
{
	return 0;
}

void ClientNetStop(void)
{
}

int ResolveHost(const char *host, std::uint32_t *address, char *message, std::size_t size)
{
	addrinfo hints = {};
	hints.ai_family = AF_INET;
	hints.ai_socktype = SOCK_DGRAM;
	addrinfo *found = nullptr;
	const int result = getaddrinfo(host, nullptr, &hints, &found);
	if (result != 0 || found == nullptr) {
		std::snprintf(message, size, "%s", result == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(result));
		return 1;
	}
	*address = reinterpret_cast<const sockaddr_in *>(found->ai_addr)->sin_addr.s_addr;
	freeaddrinfo(found);
	return 0;
}

ReplySocketResult OpenReplySocket(std::uint16_t port, ClientSocket *socket, char *message,
                                  std::size_t size)
{
	const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
	if (fd < 0) {
		std::snprintf(message, size, "%s", std::strerror(errno));
		return ReplySocketFailed;
	}
	// Without it Linux keeps an ICMP "port unreachable" for the command
	// datagram from an unconnected socket to itself.
	const int on = 1;
	setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
	sockaddr_in any = {};
	any.sin_family = AF_INET;
	any.sin_addr.s_addr = htonl(INADDR_ANY);
	any.sin_port = htons(port);
	if (bind(fd, reinterpret_cast<const sockaddr *>(&any), sizeof any) != 0) {
		const int error = errno;
		std::snprintf(message, size, "%s", std::strerror(error));
		close(fd);
		return error == EADDRINUSE ? ReplyPortBusy : ReplySocketFailed;
	}
	*socket = static_cast<ClientSocket>(fd);
	return ReplySocketOpen;
}

int SendDatagram(ClientSocket socket, const char *data, std::size_t length, std::uint32_t address,
                 std::uint16_t port, char *message, std::size_t size)
{
	sockaddr_in target = {};
	target.sin_family = AF_INET;
	target.sin_addr.s_addr = address;
	target.sin_port = htons(port);
	const ssize_t sent = sendto(static_cast<int>(socket), data, length, MSG_NOSIGNAL,
	                            reinterpret_cast<const sockaddr *>(&target), sizeof target);
	if (sent < 0 || static_cast<std::size_t>(sent) != length) {
		std::snprintf(message, size, "%s", sent < 0 ? std::strerror(errno) : "sent only in part");
		return 1;
	}
	return 0;
}

ReceiveResult ReceiveDatagram(ClientSocket socket, char *buffer, std::size_t size,
                              std::size_t *length, std::uint32_t *source, std::uint32_t milliseconds,
                              char *message, std::size_t messageSize)
{
	const int fd = static_cast<int>(socket);
	const std::uint64_t end = MonotonicMilliseconds() + milliseconds;
	for (;;) {
		const std::uint64_t now = MonotonicMilliseconds();
		if (now >= end)
			return ReceiveTimedOut;
		pollfd ready = {fd, POLLIN, 0};
		const int got = poll(&ready, 1, static_cast<int>(end - now));
		if (got < 0 && errno == EINTR)
			continue;
		if (got == 0)
			return ReceiveTimedOut;
		sockaddr_in from = {};
		socklen_t fromLength = sizeof from;
		const ssize_t received = recvfrom(fd, buffer, size - 1, MSG_DONTWAIT,
		                                  reinterpret_cast<sockaddr *>(&from), &fromLength);
		if (received < 0) {
			if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
				continue;
			if (errno == ECONNREFUSED)
				return ReceiveRefused;
			std::snprintf(message, messageSize, "%s", std::strerror(errno));
			return ReceiveError;
		}
		buffer[received] = '\0';
		*length = static_cast<std::size_t>(received);
		*source = from.sin_addr.s_addr;
		return DatagramReceived;
	}
}

void CloseReplySocket(ClientSocket socket)
{
	close(static_cast<int>(socket));
}

std::uint64_t MonotonicMilliseconds(void)
{
	timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return static_cast<std::uint64_t>(now.tv_sec) * 1000 + static_cast<std::uint64_t>(now.tv_nsec) / 1000000;
}
