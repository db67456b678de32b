// The client's few network steps over POSIX sockets or Winsock. Messages for
// the person are written into the caller's buffer (message, size bytes).
#pragma once

#include <cstddef>
#include <cstdint>

typedef std::uintptr_t ClientSocket;

int ClientNetStart(void);
void ClientNetStop(void);

// A dotted IPv4 address or a host name; *address in network order. 0 on success.
int ResolveHost(const char *host, std::uint32_t *address, char *message, std::size_t size);

enum ReplySocketResult { ReplySocketOpen, ReplyPortBusy, ReplySocketFailed };

// Binds port on every local address, alone: a second receiver on the port
// would take replies away unseen, so sharing it is refused.
ReplySocketResult OpenReplySocket(std::uint16_t port, ClientSocket *socket, char *message,
                                  std::size_t size);

int SendDatagram(ClientSocket socket, const char *data, std::size_t length, std::uint32_t address,
                 std::uint16_t port, char *message, std::size_t size);

enum ReceiveResult { DatagramReceived, ReceiveTimedOut, ReceiveRefused, ReceiveError };

// One datagram within milliseconds; *length is what was stored (at most size
// - 1, followed by a NUL), *source the sender in network order.
// ReceiveRefused: the host answered the command datagram with "port
// unreachable", so no server listens there.
ReceiveResult ReceiveDatagram(ClientSocket socket, char *buffer, std::size_t size,
                              std::size_t *length, std::uint32_t *source, std::uint32_t milliseconds,
                              char *message, std::size_t messageSize);

void CloseReplySocket(ClientSocket socket);

std::uint64_t MonotonicMilliseconds(void);
