#include "client/udp.h"

#include <cstdio>
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

namespace {

void ErrorText(int error, char *message, std::size_t size)
{
	char text[256] = {};
	const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
	                                    static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
	// System messages end in CR LF, which has no place inside ours.
	DWORD end = length;
	while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n' || text[end - 1] == '.'))
		end--;
	text[end] = '\0';
	std::snprintf(message, size, "%s (Winsock error %d)", end > 0 ? text : "unknown error", error);
}

} // namespace

int ClientNetStart(void)
{
	WSADATA data;
	return WSAStartup(MAKEWORD(2, 2), &data) == 0 ? 0 : 1;
}

void ClientNetStop(void)
{
	WSACleanup();
}

int ResolveHost(const char *host, std::uint32_t *address, char *message, std::size_t size)
{
	addrinfo hints = {};
	hints.ai_family = AF_INET;
	hints.ai_socktype = SOCK_DGRAM;
	addrinfo *found = nullptr;
	const int result = getaddrinfo(host, nullptr, &hints, &found);
	if (result != 0 || found == nullptr) {
		ErrorText(result != 0 ? result : WSAHOST_NOT_FOUND, message, size);
		return 1;
	}
	*address = reinterpret_cast<const sockaddr_in *>(found->ai_addr)->sin_addr.s_addr;
	freeaddrinfo(found);
	return 0;
}

ReplySocketResult OpenReplySocket(std::uint16_t port, ClientSocket *socket, char *message,
                                  std::size_t size)
{
	const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
	if (s == INVALID_SOCKET) {
		ErrorText(WSAGetLastError(), message, size);
		return ReplySocketFailed;
	}
	// Windows lets a later socket with SO_REUSEADDR take over a bound
	// port; exclusive use keeps the replies ours.
	const BOOL on = TRUE;
	setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char *>(&on), sizeof on);
	sockaddr_in any = {};
	any.sin_family = AF_INET;
	any.sin_addr.s_addr = htonl(INADDR_ANY);
	any.sin_port = htons(port);
	if (bind(s, reinterpret_cast<const sockaddr *>(&any), sizeof any) != 0) {
		const int error = WSAGetLastError();
		ErrorText(error, message, size);
		closesocket(s);
		// An exclusive holder makes the bind fail with "access denied".
		return error == WSAEADDRINUSE || error == WSAEACCES ? ReplyPortBusy : ReplySocketFailed;
	}
	*socket = static_cast<ClientSocket>(s);
	return ReplySocketOpen;
}

int SendDatagram(ClientSocket socket, const char *data, std::size_t length, std::uint32_t address,
                 std::uint16_t port, char *message, std::size_t size)
{
	sockaddr_in target = {};
	target.sin_family = AF_INET;
	target.sin_addr.s_addr = address;
	target.sin_port = htons(port);
	const int sent = sendto(static_cast<SOCKET>(socket), data, static_cast<int>(length), 0,
	                        reinterpret_cast<const sockaddr *>(&target), sizeof target);
	if (sent == SOCKET_ERROR || static_cast<std::size_t>(sent) != length) {
		if (sent == SOCKET_ERROR)
			ErrorText(WSAGetLastError(), message, size);
		else
			std::snprintf(message, size, "sent only in part");
		return 1;
	}
	return 0;
}

ReceiveResult ReceiveDatagram(ClientSocket socket, char *buffer, std::size_t size,
                              std::size_t *length, std::uint32_t *source, std::uint32_t milliseconds,
                              char *message, std::size_t messageSize)
{
	const SOCKET s = static_cast<SOCKET>(socket);
	const std::uint64_t end = MonotonicMilliseconds() + milliseconds;
	for (;;) {
		const std::uint64_t now = MonotonicMilliseconds();
		if (now >= end)
			return ReceiveTimedOut;
		const std::uint64_t left = end - now;
		fd_set readable;
		FD_ZERO(&readable);
		FD_SET(s, &readable);
		timeval wait = {static_cast<long>(left / 1000), static_cast<long>(left % 1000) * 1000};
		const int got = select(0, &readable, nullptr, nullptr, &wait);
		if (got == 0)
			return ReceiveTimedOut;
		if (got == SOCKET_ERROR) {
			ErrorText(WSAGetLastError(), message, messageSize);
			return ReceiveError;
		}
		sockaddr_in from = {};
		int fromLength = sizeof from;
		const int received = recvfrom(s, buffer, static_cast<int>(size - 1), 0,
		                              reinterpret_cast<sockaddr *>(&from), &fromLength);
		if (received == SOCKET_ERROR) {
			const int error = WSAGetLastError();
			// Winsock reports an ICMP "port unreachable" for an earlier
			// send as a reset of the connection, also on a UDP socket.
			if (error == WSAECONNRESET)
				return ReceiveRefused;
			// Longer than any reply: not one of them.
			if (error == WSAEMSGSIZE)
				continue;
			ErrorText(error, message, messageSize);
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
	closesocket(static_cast<SOCKET>(socket));
}

std::uint64_t MonotonicMilliseconds(void)
{
	return static_cast<std::uint64_t>(GetTickCount64());
}
