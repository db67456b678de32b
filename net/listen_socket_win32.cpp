#include "net/listen_socket.h"

#include <winsock2.h>

#include "app/runtime.h"

ListenOpenResult ListenSocketOpen(ListenSocket *listen, std::uint16_t port)
{
	const SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
	if (s == INVALID_SOCKET)
		return ListenFailed;
	sockaddr_in any = {};
	any.sin_family = AF_INET;
	any.sin_addr.s_addr = htonl(INADDR_ANY);
	any.sin_port = htons(port);
	if (bind(s, reinterpret_cast<const sockaddr *>(&any), sizeof any) != 0) {
		const int error = WSAGetLastError();
		closesocket(s);
		return error == WSAEADDRINUSE ? ListenPortBusy : ListenFailed;
	}
	// A smaller buffer than asked for still works: the result is not checked.
	const int bytes = ListenReceiveBufferBytes;
	setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char *>(&bytes), sizeof bytes);
	const WSAEVENT event = WSACreateEvent();
	if (event == WSA_INVALID_EVENT) {
		closesocket(s);
		return ListenFailed;
	}
	// Selecting the event also makes the socket non-blocking.
	if (WSAEventSelect(s, event, FD_READ) != 0) {
		WSACloseEvent(event);
		closesocket(s);
		return ListenFailed;
	}
	listen->socket = static_cast<SocketHandle>(s);
	listen->event = reinterpret_cast<std::uintptr_t>(event);
	return ListenOpened;
}

ListenWaitResult ListenSocketWait(ListenSocket *listen, std::uint32_t milliseconds)
{
	const WSAEVENT events[2] = {
		reinterpret_cast<WSAEVENT>(listen->event),
		reinterpret_cast<WSAEVENT>(StopWaitHandle()),
	};
	const DWORD waited = WSAWaitForMultipleEvents(2, events, FALSE, milliseconds, FALSE);
	if (waited == WSA_WAIT_TIMEOUT)
		return ListenTimedOut;
	if (waited == WSA_WAIT_EVENT_0 + 1)
		return ListenStopping;
	// A failed wait goes on to the receive, which tells what is wrong.
	WSAResetEvent(events[0]);
	return ListenReady;
}

ListenReceiveResult ListenSocketReceive(ListenSocket *listen, char *buffer, std::size_t size,
                                        std::size_t *length, std::uint32_t *source)
{
	sockaddr_in from = {};
	int fromLength = sizeof from;
	const int got = recvfrom(static_cast<SOCKET>(listen->socket), buffer, static_cast<int>(size), 0,
	                         reinterpret_cast<sockaddr *>(&from), &fromLength);
	if (got == SOCKET_ERROR) {
		const int error = WSAGetLastError();
		// WSAEMSGSIZE: a datagram larger than the buffer, dropped; the
		// socket itself is sound.
		if (error == WSAECONNRESET || error == WSAEWOULDBLOCK || error == WSAEMSGSIZE)
			return ReceivePassOver;
		return ReceiveFailed;
	}
	*length = static_cast<std::size_t>(got);
	*source = from.sin_addr.s_addr;
	return Received;
}

void ListenSocketClose(ListenSocket *listen)
{
	if (listen->event != 0)
		WSACloseEvent(reinterpret_cast<WSAEVENT>(listen->event));
	if (listen->socket != NoSocket)
		closesocket(static_cast<SOCKET>(listen->socket));
	listen->event = 0;
	listen->socket = NoSocket;
}
