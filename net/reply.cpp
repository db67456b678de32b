#include "net/reply.h"

#include <cstdio>
#include <cstring>

#include "net/socket.h"

int IsBroadcastHost(const char *host)
{
	// Only the three characters after the last full stop count, so that
	// 10.1.1.255 and 10.1.1.2550 alike ask for the broadcast option.
	const char *dot = std::strrchr(host, '.');
	return dot != nullptr && std::strncmp(dot + 1, "255", 3) == 0;
}

int AskSocketError(const char *operation, const char *host)
{
	char text[400];
	const int error = SocketLastError();
	if (std::snprintf(text, sizeof text, "Error socket:%d %s [%s]", error, operation, host) >=
	    static_cast<int>(sizeof text))
		text[sizeof text - 1] = '\0';
	return AskYesNo(text, operation);
}

void SendReply(const char *text, const char *host, std::uint16_t port)
{
	if (host[0] == '\0')
		return;
	if (SocketLibraryStart() != 0)
		return;

	const int broadcast = IsBroadcastHost(host);
	const std::uint32_t address = Ipv4FromText(host);

	// Yes carries on as though the failed step had worked.
	int giveUp = 0;
	const SocketHandle socket = UdpSocketCreate();
	if (socket == NoSocket && AskSocketError("socket", host) != 0)
		giveUp = 1;
	if (!giveUp && SocketSetNonBlocking(socket) != 0 && AskSocketError("ioctlsocket", host) != 0)
		giveUp = 1;
	if (!giveUp && broadcast && SocketEnableBroadcast(socket) != 0 &&
	    AskSocketError("broadcast", host) != 0)
		giveUp = 1;
	if (!giveUp && SocketSendTo(socket, text, std::strlen(text), address, port) != 0)
		AskSocketError("sendto", host);

	ReplyLingerPause();
	if (socket != NoSocket)
		SocketClose(socket);
	SocketLibraryRelease();
}
