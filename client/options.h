// The command line of tamborixel-send: options, HOST and the command words.
#pragma once

#include <cstddef>
#include <cstdint>

// Long enough for a SLEEP 10 and the replies around it.
inline constexpr std::uint32_t DefaultTimeoutMilliseconds = 15000;
// A day: longer waits are more likely a typing error than a plan.
inline constexpr std::uint32_t MaxTimeoutMilliseconds = 86400000;

enum SendAction { ActionSend, ActionHelp, ActionVersion, ActionUsageError };

struct SendOptions {
	SendAction action;
	const char *host;
	int firstWord; // index into argv of the first command word
	int wordCount;
	std::uint32_t timeoutMilliseconds;
	char error[160]; // what is wrong, for ActionUsageError
};

// Options come before HOST; every argument after HOST is a command word,
// also one that starts with '-' ("SLEEP -1"). "--" ends the options.
void ParseSendArguments(int argc, const char *const *argv, SendOptions *options);

// A positive number of seconds, fractions allowed, up to the maximum.
// 0 on success.
int ReadTimeout(const char *text, std::uint32_t *milliseconds);
