// Feeds a sequence of datagrams through one pending line, reply address and
// reset deadline, as the listener does, and checks after every call what
// must always hold: the pending line stays terminated and within its length
// rule, and everything the processor does (switches, replies, pauses) is
// something the command language allows.
//
// Input: datagrams separated by the byte 0xFF. A datagram that starts with
// 0xFE lets the clock pass its second byte in seconds and then runs the
// deadline check as the listener does, instead of being received.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "command/processor.h"
#include "fuzz/checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
	PendingLine pending = {};
	ReplyAddress reply = {};
	ResetDeadline deadline = 0;
	char text[NewTextSize];
	FuzzWorldReset();

	std::size_t start = 0;
	while (start <= size) {
		std::size_t end = start;
		while (end < size && data[end] != 0xFF)
			end++;
		const std::uint8_t *datagram = data + start;
		const std::size_t length = end - start;
		start = end + 1;

		if (length >= 2 && datagram[0] == 0xFE) {
			FuzzAdvanceClock(datagram[1]);
			if (deadline != 0 && FuzzNow() > deadline) {
				std::memcpy(pending, "RESET", sizeof "RESET");
				deadline = 0;
				ProcessCommandData(text, pending, reply, &deadline);
				FuzzCheck(reply[0] == '\0' && deadline == 0, "reset left state behind");
			}
		} else if (length > 0 && length < NewTextSize) {
			std::memcpy(text, datagram, length);
			text[length] = '\0';
			std::strcpy(reply, "10.0.0.7");
			ProcessCommandData(text, pending, reply, &deadline);
		}
		FuzzCheck(std::memchr(pending, '\0', PendingLineSize) != nullptr, "pending line not terminated");
		FuzzCheck(std::strlen(pending) <= PendingLineSize - 2, "pending line beyond its length rule");
		for (const char *c = pending; *c != '\0'; c++)
			FuzzCheck(!(*c >= 'a' && *c <= 'z'), "pending line not upper case");
	}
	return 0;
}
