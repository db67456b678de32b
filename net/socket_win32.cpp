#include "net/socket.h"

#include <winsock2.h>
#include <windows.h>

int SocketLibraryStart(void)
{
	WSADATA data;
	return WSAStartup(MAKEWORD(2, 2), &data) == 0 ? 0 : 1;
}

void SocketLibraryRelease(void)
{
	WSACleanup();
}

std::uint32_t Ipv4FromText(const char *host)
{
	return inet_addr(host);
}

SocketHandle UdpSocketCreate(void)
{
	const SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
	return s == INVALID_SOCKET ? NoSocket : static_cast<SocketHandle>(s);
}

int SocketSetNonBlocking(SocketHandle socket)
{
	u_long on = 1;
	return ioctlsocket(static_cast<SOCKET>(socket), static_cast<long>(FIONBIO), &on) == 0 ? 0 : 1;
}

int SocketEnableBroadcast(SocketHandle socket)
{
	const char on = 1;
	return setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_BROADCAST, &on, 1) == 0 ? 0 : 1;
}

int SocketSendTo(SocketHandle socket, const char *data, std::size_t length,
                 std::uint32_t address, std::uint16_t port)
{
	sockaddr_in target = {};
	target.sin_family = AF_INET;
	target.sin_addr.s_addr = address;
	target.sin_port = htons(port);
	const int sent = sendto(static_cast<SOCKET>(socket), data, static_cast<int>(length), 0,
	                        reinterpret_cast<const sockaddr *>(&target), sizeof target);
	return sent == SOCKET_ERROR ? 1 : 0;
}

void SocketClose(SocketHandle socket)
{
	closesocket(static_cast<SOCKET>(socket));
}

int SocketLastError(void)
{
	return WSAGetLastError();
}

void ReplyLingerPause(void)
{
	// Closing a non-blocking socket at once can discard a datagram that
	// Winsock has not handed to the network yet.
	Sleep(10);
}

int AskYesNo(const char *text, const char *caption)
{
	return MessageBoxA(nullptr, text, caption, MB_YESNO) == IDYES ? 0 : 1;
}
