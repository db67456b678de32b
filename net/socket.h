// The few socket operations the reply sender and the listener need, over
// Winsock or POSIX sockets.
#pragma once

#include <cstddef>
#include <cstdint>

typedef std::uintptr_t SocketHandle;
inline constexpr SocketHandle NoSocket = ~static_cast<SocketHandle>(0);

// Winsock must be started and released around every use; POSIX needs nothing.
int SocketLibraryStart(void);
void SocketLibraryRelease(void);

// The dotted-decimal conversion of the platform (inet_addr), network order.
std::uint32_t Ipv4FromText(const char *host);

SocketHandle UdpSocketCreate(void);
int SocketSetNonBlocking(SocketHandle socket);
int SocketEnableBroadcast(SocketHandle socket);
int SocketSendTo(SocketHandle socket, const char *data, std::size_t length,
                 std::uint32_t address, std::uint16_t port);
void SocketClose(SocketHandle socket);
int SocketLastError(void);

// What a reply socket needs before it may be closed.
void ReplyLingerPause(void);

// Puts a question to the person at the machine: 0 for Yes, 1 otherwise.
int AskYesNo(const char *text, const char *caption);
