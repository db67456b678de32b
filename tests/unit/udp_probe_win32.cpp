#include "tests/unit/udp_probe.h"

#include <winsock2.h>

int ProbeOpen(UdpProbe *probe, const char *address)
{
	WSADATA data;
	if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
		return 1;
	const SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
	sockaddr_in local = {};
	local.sin_family = AF_INET;
	local.sin_addr.s_addr = inet_addr(address);
	int length = sizeof local;
	if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0 ||
	    getsockname(s, reinterpret_cast<sockaddr *>(&local), &length) != 0)
		return 1;
	probe->socket = static_cast<std::uintptr_t>(s);
	probe->port = ntohs(local.sin_port);
	return 0;
}

int ProbeReceive(UdpProbe *probe, std::string *datagram, int milliseconds)
{
	const SOCKET s = static_cast<SOCKET>(probe->socket);
	fd_set readable;
	FD_ZERO(&readable);
	FD_SET(s, &readable);
	timeval limit = {milliseconds / 1000, (milliseconds % 1000) * 1000};
	if (select(0, &readable, nullptr, nullptr, &limit) <= 0)
		return 1;
	static char buffer[70000];
	const int got = recv(s, buffer, sizeof buffer, 0);
	if (got < 0)
		return 1;
	datagram->assign(buffer, static_cast<std::size_t>(got));
	return 0;
}

void ProbeClose(UdpProbe *probe)
{
	closesocket(static_cast<SOCKET>(probe->socket));
	WSACleanup();
}
