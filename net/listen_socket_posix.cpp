#include "net/listen_socket.h"

#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "app/runtime.h"

ListenOpenResult ListenSocketOpen(ListenSocket *listen, std::uint16_t port)
{
	const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
	if (fd < 0)
		return ListenFailed;
	sockaddr_in any = {};
	any.sin_family = AF_INET;
	any.sin_addr.s_addr = htonl(INADDR_ANY);
	any.sin_port = htons(port);
	if (bind(fd, reinterpret_cast<const sockaddr *>(&any), sizeof any) != 0) {
		const int error = errno;
		close(fd);
		return error == EADDRINUSE ? ListenPortBusy : ListenFailed;
	}
	// Beyond net.core.rmem_max only a privileged process may go; otherwise
	// the kernel's ceiling is taken, and the listener works with that.
	const int bytes = ListenReceiveBufferBytes;
	if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
		setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
	listen->socket = static_cast<SocketHandle>(fd);
	return ListenOpened;
}

ListenWaitResult ListenSocketWait(ListenSocket *listen, std::uint32_t milliseconds)
{
	pollfd fds[2] = {
		{static_cast<int>(listen->socket), POLLIN, 0},
		{static_cast<int>(StopWaitHandle()), POLLIN, 0},
	};
	const int ready = poll(fds, 2, static_cast<int>(milliseconds));
	if (ready == 0)
		return ListenTimedOut;
	if (ready > 0 && fds[1].revents != 0)
		return ListenStopping;
	// A failed wait goes on to the receive, which tells what is wrong.
	return ListenReady;
}

ListenReceiveResult ListenSocketReceive(ListenSocket *listen, char *buffer, std::size_t size,
                                        std::size_t *length, std::uint32_t *source)
{
	sockaddr_in from = {};
	socklen_t fromLength = sizeof from;
	// MSG_TRUNC makes recvfrom tell the whole length of a datagram that did
	// not fit, so that the caller can drop it instead of acting on a part.
	const ssize_t got = recvfrom(static_cast<int>(listen->socket), buffer, size, MSG_TRUNC,
	                             reinterpret_cast<sockaddr *>(&from), &fromLength);
	if (got < 0) {
		// ECONNREFUSED is an ICMP answer to an earlier reply, not a fault
		// of this socket.
		if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNREFUSED)
			return ReceivePassOver;
		return ReceiveFailed;
	}
	*length = static_cast<std::size_t>(got);
	*source = from.sin_addr.s_addr;
	return Received;
}

void ListenSocketClose(ListenSocket *listen)
{
	if (listen->socket != NoSocket)
		close(static_cast<int>(listen->socket));
	listen->socket = NoSocket;
}
