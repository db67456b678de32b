#include "tests/unit/udp_probe.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

int ProbeOpen(UdpProbe *probe, const char *address)
{
	const int fd = socket(AF_INET, SOCK_DGRAM, 0);
	sockaddr_in local = {};
	local.sin_family = AF_INET;
	local.sin_addr.s_addr = inet_addr(address);
	socklen_t length = sizeof local;
	if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0 ||
	    getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length) != 0)
		return 1;
	probe->socket = static_cast<std::uintptr_t>(fd);
	probe->port = ntohs(local.sin_port);
	return 0;
}

int ProbeReceive(UdpProbe *probe, std::string *datagram, int milliseconds)
{
	pollfd ready = {static_cast<int>(probe->socket), POLLIN, 0};
	if (poll(&ready, 1, milliseconds) <= 0)
		return 1;
	char buffer[70000];
	const ssize_t got = recv(static_cast<int>(probe->socket), buffer, sizeof buffer, 0);
	if (got < 0)
		return 1;
	datagram->assign(buffer, static_cast<std::size_t>(got));
	return 0;
}

void ProbeClose(UdpProbe *probe)
{
	close(static_cast<int>(probe->socket));
}
