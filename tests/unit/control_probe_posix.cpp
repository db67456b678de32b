#include "tests/unit/control_probe.h"

#include <csignal>
#include <cstddef>
#include <cstdio>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

int MakeForeignMark(const char *name)
{
	sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	const int length = std::snprintf(address.sun_path + 1, sizeof address.sun_path - 1, "%s:%ld",
	                                 name, static_cast<long>(getpid()));
	const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
	if (fd < 0 || length <= 0)
		return 1;
	return bind(fd, reinterpret_cast<const sockaddr *>(&address),
	            static_cast<socklen_t>(offsetof(struct sockaddr_un, sun_path) + 1 +
	                                   static_cast<std::size_t>(length))) == 0
	           ? 0
	           : 1;
}

void SendCloseRequest(ControlHandle)
{
	kill(getpid(), SIGTERM);
}
