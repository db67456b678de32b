#include "client/options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void UsageError(SendOptions *options, const char *format, const char *argument)
{
	options->action = ActionUsageError;
	std::snprintf(options->error, sizeof options->error, format, argument);
}

} // namespace

int ReadTimeout(const char *text, std::uint32_t *milliseconds)
{
	if (*text == '\0')
		return 1;
	char *end = nullptr;
	const double seconds = std::strtod(text, &end);
	if (*end != '\0' || !std::isfinite(seconds) || seconds <= 0.0 ||
	    seconds * 1000.0 > static_cast<double>(MaxTimeoutMilliseconds))
		return 1;
	const double rounded = std::ceil(seconds * 1000.0);
	*milliseconds = static_cast<std::uint32_t>(rounded);
	return 0;
}

void ParseSendArguments(int argc, const char *const *argv, SendOptions *options)
{
	*options = {};
	options->action = ActionSend;
	options->timeoutMilliseconds = DefaultTimeoutMilliseconds;

	int i = 1;
	for (; i < argc; i++) {
		const char *arg = argv[i];
		if (arg[0] != '-' || arg[1] == '\0')
			break;
		if (std::strcmp(arg, "--") == 0) {
			i++;
			break;
		}
		if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
			options->action = ActionHelp;
			return;
		}
		if (std::strcmp(arg, "-V") == 0 || std::strcmp(arg, "--version") == 0) {
			options->action = ActionVersion;
			return;
		}
		const char *value = nullptr;
		if (std::strcmp(arg, "-t") == 0 || std::strcmp(arg, "--timeout") == 0) {
			if (i + 1 >= argc) {
				UsageError(options, "%s needs a number of seconds", arg);
				return;
			}
			value = argv[++i];
		} else if (std::strncmp(arg, "--timeout=", 10) == 0) {
			value = arg + 10;
		} else {
			UsageError(options, "unknown option %s", arg);
			return;
		}
		if (ReadTimeout(value, &options->timeoutMilliseconds) != 0) {
			UsageError(options, "timeout \"%.60s\" is not a number of seconds above 0 (at most 86400)",
			           value);
			return;
		}
	}
	if (i >= argc) {
		UsageError(options, "%s", "no HOST given");
		return;
	}
	options->host = argv[i];
	if (options->host[0] == '\0') {
		UsageError(options, "%s", "HOST is empty");
		return;
	}
	options->firstWord = i + 1;
	options->wordCount = argc - (i + 1);
}
