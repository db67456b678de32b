// One text, one datagram, one socket, forgotten at once.
#pragma once

#include <cstdint>

void SendReply(const char *text, const char *host, std::uint16_t port);

// 0 when the person chose to carry on, 1 to give up.
int AskSocketError(const char *operation, const char *host);

// Whether a reply to host needs the broadcast option.
int IsBroadcastHost(const char *host);
