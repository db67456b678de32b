// The listening socket of one platform: open, wait, receive, close.
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/socket.h"

struct ListenSocket {
	SocketHandle socket;
	std::uintptr_t event; // Winsock's readable-data event; unused on POSIX
};

// Room for commands that arrive while one runs (a SLEEP holds the listener
// up to 10 seconds): a small datagram costs the kernel about 1 KiB of
// receive buffer, so this keeps well over a thousand of them.
inline constexpr int ListenReceiveBufferBytes = 2 * 1024 * 1024;

enum ListenOpenResult { ListenOpened, ListenPortBusy, ListenFailed };
enum ListenWaitResult { ListenTimedOut, ListenReady, ListenStopping };
enum ListenReceiveResult { Received, ReceivePassOver, ReceiveFailed };

// Creates the socket and binds it to any local address on port; on
// ListenPortBusy the caller may try again later.
ListenOpenResult ListenSocketOpen(ListenSocket *listen, std::uint16_t port);

// Waits for readable data or the stop, at most milliseconds.
ListenWaitResult ListenSocketWait(ListenSocket *listen, std::uint32_t milliseconds);

// Receives one datagram. *length is its whole length, which may exceed
// size when it did not fit; *source is the sender's IPv4 address in network
// order. ReceivePassOver: nothing usable now, but the socket is sound.
ListenReceiveResult ListenSocketReceive(ListenSocket *listen, char *buffer, std::size_t size,
                                        std::size_t *length, std::uint32_t *source);

void ListenSocketClose(ListenSocket *listen);
