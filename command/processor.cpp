#include "command/processor.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/control.h"
#include "app/runtime.h"
#include "net/reply.h"
#include "outputs/signal_outputs.h"

namespace {

int IsCSpace(char c)
{
	return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// "%s %s OK\n": an argument too long for the reply text is cut so that the
// reply still ends in " OK\n".
void ReplyOk(const char *keyword, const char *argument, const char *replyAddress)
{
	char reply[ReplyTextSize];
	const int room = static_cast<int>(ReplyTextSize - 1 - std::strlen(keyword) - 1 - 4);
	std::snprintf(reply, sizeof reply, "%s %.*s OK\n", keyword, room, argument);
	SendReply(reply, replyAddress, ReplyPort);
}

void SendStatus(const char *replyAddress, ResetDeadline deadline)
{
	char reply[ReplyTextSize];
	if (deadline == 0) {
		SendReply("Status OK\n", replyAddress, ReplyPort);
		return;
	}
	// The client has always been shown the low 32 bits of both times.
	const std::uint32_t left = static_cast<std::uint32_t>(deadline) -
	                           static_cast<std::uint32_t>(CurrentTime());
	std::snprintf(reply, sizeof reply, "Status OK, time to reset: %d sek\n",
	              static_cast<int>(static_cast<std::int32_t>(left)));
	SendReply(reply, replyAddress, ReplyPort);
}

// RED or GREEN with its argument t; the result decides the reply.
void SwitchOutput(const char *keyword, std::uint32_t gpioId, const char *t,
                  const char *replyAddress, ResetDeadline *deadline)
{
	int result = 1;
	if (t != nullptr && std::strcmp(t, "ON") == 0)
		result = SetSignalOutput(gpioId, 1);
	else if (t != nullptr && std::strcmp(t, "OFF") == 0)
		result = SetSignalOutput(gpioId, 0);
	if (result == 0)
		ReplyOk(keyword, t, replyAddress);
	else
		SendReply("Error\n", replyAddress, ReplyPort);
	*deadline = 0;
}

// Returns 1 when the program began to stop during the pause: the command
// then ends without a reply and nothing after it runs.
int RunSleep(const char *t, const char *replyAddress, ResetDeadline *deadline)
{
	int ok = 0;
	if (t != nullptr) {
		// strtod reads exactly what atof reads; NAN fails both comparisons.
		const double seconds = std::strtod(t, nullptr);
		if (seconds >= 0.0 && seconds <= 10.0) {
			ok = 1;
			if (PauseMilliseconds(static_cast<std::uint32_t>(seconds * 1000.0)) != 0)
				return 1;
		}
	}
	if (ok)
		ReplyOk("SLEEP", t, replyAddress);
	else
		SendReply("Error\n", replyAddress, ReplyPort);
	*deadline = 0;
	return 0;
}

void Interpret(char **tokens, const char *replyAddress, ResetDeadline *deadline)
{
	if (tokens[0] == nullptr) {
		SendStatus(replyAddress, *deadline);
		return;
	}
	for (int i = 0; i < TokenSlots; i++) {
		if (StopRaised())
			return;
		char *t = tokens[i];
		if (t == nullptr)
			return;
		// Each test hands its argument on to the tests after it.
		if (std::strcmp(t, "CLEAR") == 0) {
			const char *keyword = t;
			if (++i >= TokenSlots)
				return;
			t = tokens[i];
			if (t == nullptr) {
				*deadline = CurrentTime();
				char reply[ReplyTextSize];
				std::snprintf(reply, sizeof reply, "%s NOW OK\n", keyword);
				SendReply(reply, replyAddress, ReplyPort);
			} else {
				*deadline = CurrentTime() + ReadWholeNumber(t);
				ReplyOk(keyword, t, replyAddress);
			}
		}
		if (t != nullptr && std::strcmp(t, "SLEEP") == 0) {
			if (++i >= TokenSlots)
				return;
			t = tokens[i];
			if (RunSleep(t, replyAddress, deadline) != 0)
				return;
		}
		if (t != nullptr && std::strcmp(t, "RED") == 0) {
			if (++i >= TokenSlots)
				return;
			t = tokens[i];
			SwitchOutput("RED", GpioRed, t, replyAddress, deadline);
		}
		if (t != nullptr && std::strcmp(t, "GREEN") == 0) {
			if (++i >= TokenSlots)
				return;
			t = tokens[i];
			SwitchOutput("GREEN", GpioGreen, t, replyAddress, deadline);
		}
	}
}

} // namespace

void UpperCaseText(char *text)
{
	for (; *text != '\0'; text++)
		if (*text >= 'a' && *text <= 'z')
			*text = static_cast<char>(*text - 'a' + 'A');
}

std::int32_t ReadWholeNumber(const char *text)
{
	while (IsCSpace(*text))
		text++;
	int negative = 0;
	if (*text == '+' || *text == '-')
		negative = *text++ == '-';
	// Accumulate as a negative number so that INT32_MIN fits.
	std::int64_t value = 0;
	for (; *text >= '0' && *text <= '9'; text++) {
		value = value * 10 - (*text - '0');
		if (value < -static_cast<std::int64_t>(INT32_MAX) - 1)
			return negative ? INT32_MIN : INT32_MAX;
	}
	if (!negative) {
		if (value < -static_cast<std::int64_t>(INT32_MAX))
			return INT32_MAX;
		return static_cast<std::int32_t>(-value);
	}
	return static_cast<std::int32_t>(value);
}

void SplitTokens(char *text, char **tokenList)
{
	int n = 0;
	if (*text != '\0') {
		char *cursor = text;
		for (;;) {
			tokenList[n] = cursor;
			if (*cursor == '"') {
				std::memmove(cursor, cursor + 1, std::strlen(cursor + 1) + 1);
				char *close = std::strchr(cursor, '"');
				if (close == nullptr) {
					// An unclosed quote takes the rest of the line.
					n++;
					break;
				}
				*close = '\0';
				cursor = close + 1;
			}
			n++;
			char *space = std::strchr(cursor, ' ');
			if (space == nullptr)
				break;
			*space = '\0';
			cursor = space + 1;
			if (n == MaxTokens)
				break;
		}
	}
	tokenList[n] = nullptr;
}

int ProcessCommandData(char *newText, char *pendingLine, char *replyAddress,
                       ResetDeadline *resetDeadline)
{
	if (std::strstr(pendingLine, "RESET") != nullptr) {
		SetSignalOutput(GpioGreen, 0);
		SetSignalOutput(GpioRed, 0);
		newText[0] = '\0';
		pendingLine[0] = '\0';
		replyAddress[0] = '\0';
		*resetDeadline = 0;
		return 0;
	}

	if (std::strlen(pendingLine) + std::strlen(newText) >= PendingLineSize - 1) {
		std::memset(pendingLine, 0, PendingLineSize);
		return 1;
	}
	std::strcat(pendingLine, newText);

	int complete = 0;
	char *end = std::strchr(pendingLine, '\n');
	if (end != nullptr) {
		*end = '\0';
		complete = 1;
	}
	end = std::strchr(pendingLine, '\r');
	if (end != nullptr) {
		*end = '\0';
		complete = 1;
	}
	UpperCaseText(pendingLine);

	if (std::strstr(pendingLine, "EXIT") != nullptr) {
		SendReply("Exiting...\n", replyAddress, ReplyPort);
		SendQuitRequest();
		return 0;
	}
	if (!complete)
		return 0;

	char workingLine[WorkingLineSize];
	const std::size_t length = std::strlen(pendingLine);
	const int fits = length < sizeof workingLine;
	if (fits)
		std::memcpy(workingLine, pendingLine, length + 1);
	std::memset(pendingLine, 0, PendingLineSize);
	if (!fits) {
		// Running only the part that fits could switch something the
		// sender did not ask for.
		SendReply("Error\n", replyAddress, ReplyPort);
		return 0;
	}

	char *tokens[TokenSlots] = {};
	SplitTokens(workingLine, tokens);
	Interpret(tokens, replyAddress, resetDeadline);
	return 0;
}
