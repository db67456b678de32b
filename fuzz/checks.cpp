#include "fuzz/checks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/control.h"
#include "app/runtime.h"
#include "command/processor.h"
#include "net/reply.h"
#include "outputs/signal_outputs.h"

namespace {

std::int64_t now;

int AllDigits(const char *text, std::size_t length)
{
	if (length == 0)
		return 0;
	for (std::size_t i = 0; i < length; i++)
		if (text[i] < '0' || text[i] > '9')
			return 0;
	return 1;
}

// Whether text is one of the replies the command language has.
int KnownReply(const char *text)
{
	static const char *const fixed[] = {"Status OK\n", "Error\n", "Exiting...\n", "CLEAR NOW OK\n"};
	for (const char *reply : fixed)
		if (std::strcmp(text, reply) == 0)
			return 1;
	const std::size_t length = std::strlen(text);
	static const char status[] = "Status OK, time to reset: ";
	if (std::strncmp(text, status, sizeof status - 1) == 0) {
		const char *number = text + sizeof status - 1;
		if (*number == '-')
			number++;
		const char *end = std::strstr(number, " sek\n");
		return end != nullptr && end[5] == '\0' && AllDigits(number, static_cast<std::size_t>(end - number));
	}
	if (length < 4 || std::strcmp(text + length - 4, " OK\n") != 0)
		return 0;
	if (std::strncmp(text, "CLEAR ", 6) == 0 || std::strncmp(text, "SLEEP ", 6) == 0)
		return 1;
	static const char *const switches[] = {"RED ON OK\n", "RED OFF OK\n", "GREEN ON OK\n", "GREEN OFF OK\n"};
	for (const char *reply : switches)
		if (std::strcmp(text, reply) == 0)
			return 1;
	return 0;
}

} // namespace

void FuzzCheck(bool condition, const char *message)
{
	if (!condition) {
		std::fprintf(stderr, "broken invariant: %s\n", message);
		std::abort();
	}
}

void FuzzWorldReset(void)
{
	now = 1700000000;
}

void FuzzAdvanceClock(unsigned seconds)
{
	now += seconds;
}

std::int64_t FuzzNow(void)
{
	return now;
}

int SetSignalOutput(std::uint32_t gpioId, std::uint32_t level)
{
	FuzzCheck(gpioId <= 1, "switch of a pin other than 0 and 1");
	FuzzCheck(level <= 1, "switch to a level other than 0 and 1");
	return 0;
}

void SendReply(const char *text, const char *host, std::uint16_t port)
{
	FuzzCheck(port == ReplyPort, "reply to another port");
	FuzzCheck(std::strcmp(host, "10.0.0.7") == 0, "reply to another address");
	const std::size_t length = std::strlen(text);
	FuzzCheck(length > 0 && length <= ReplyTextSize - 1, "reply longer than 255 characters");
	FuzzCheck(text[length - 1] == '\n', "reply does not end in LF");
	FuzzCheck(KnownReply(text), "reply of no known form");
}

std::int64_t CurrentTime(void)
{
	return now;
}

int PauseMilliseconds(std::uint32_t milliseconds)
{
	FuzzCheck(milliseconds <= 10000, "pause longer than 10 seconds");
	now += milliseconds / 1000;
	return 0;
}

int StopRaised(void)
{
	return 0;
}

void SendQuitRequest(void)
{
}
