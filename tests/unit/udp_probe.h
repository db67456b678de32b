// A bound UDP socket for tests to receive what the program sends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct UdpProbe {
	std::uintptr_t socket;
	std::uint16_t port;
};

// Binds to address (dotted text) on an ephemeral port; 0 on success.
int ProbeOpen(UdpProbe *probe, const char *address);

// One datagram, or nothing when none came within milliseconds.
int ProbeReceive(UdpProbe *probe, std::string *datagram, int milliseconds);

void ProbeClose(UdpProbe *probe);
