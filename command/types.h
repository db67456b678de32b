// Types and constants that the command path, the transport and the start-up share.
#pragma once

#include <cstddef>
#include <cstdint>

// One command line as it arrives, possibly over several datagrams.
inline constexpr std::size_t PendingLineSize = 1024;
typedef char PendingLine[PendingLineSize];

// The text of one datagram (or of the command line), NUL-terminated.
inline constexpr std::size_t NewTextSize = 1024;

// Dotted-decimal IPv4 text of the requester; empty means "send no reply".
inline constexpr std::size_t ReplyAddressSize = 256;
typedef char ReplyAddress[ReplyAddressSize];

// Seconds since the Unix epoch; 0 means no deadline is armed.
typedef std::int64_t ResetDeadline;

inline constexpr std::uint16_t CommandPort = 3110;
inline constexpr std::uint16_t ReplyPort = 3111;

inline constexpr std::uint32_t GpioRed = 0;
inline constexpr std::uint32_t GpioGreen = 1;
