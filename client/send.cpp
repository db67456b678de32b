#include "client/send.h"

#include <cstdio>
#include <cstring>

#include "client/line.h"
#include "client/options.h"
#include "client/udp.h"
#include "command/types.h"

namespace {

// When the number of replies cannot be told, a reply that does not come
// within this time after the last one is taken as none to come.
constexpr std::uint32_t QuietMilliseconds = 1000;

const char Usage[] =
	"usage: tamborixel-send [options] HOST [COMMAND...]\n";

const char Help[] =
	"\n"
	"Sends one command line to the tamborixel server on HOST (UDP port 3110)\n"
	"and prints each reply, which arrives on UDP port 3111 of this machine.\n"
	"Without COMMAND it asks for the status.\n"
	"\n"
	"  -t, --timeout SECONDS  wait at most this long for the replies (default 15)\n"
	"  -h, --help             show this help\n"
	"  -V, --version          show the version\n"
	"\n"
	"Exit status: 0 every reply came and none was Error; 1 a command was\n"
	"answered with Error; 2 no reply, or a usage error.\n"
	"\n"
	"Examples:\n"
	"  tamborixel-send 127.0.0.1 GREEN ON\n"
	"  tamborixel-send 192.168.10.5 RED ON SLEEP 2 RED OFF\n"
	"  tamborixel-send --timeout 2 board7\n";

int UsageFailure(const char *error)
{
	std::fprintf(stderr, "tamborixel-send: %s\n%s", error, Usage);
	return SendNoReply;
}

void PrintReply(const char *reply, std::size_t length)
{
	std::fwrite(reply, 1, length, stdout);
	if (length == 0 || reply[length - 1] != '\n')
		std::fputc('\n', stdout);
	// Replies to a SLEEP come seconds apart: show each at once.
	std::fflush(stdout);
}

struct Tally {
	int received;
	int errors;
	int refused;
	int failed;
};

void WaitForReplies(ClientSocket socket, std::uint32_t server, int expected,
                    std::uint32_t timeout, Tally *tally)
{
	const std::uint64_t end = MonotonicMilliseconds() + timeout;
	char reply[2048];
	char message[256] = {};
	while (expected == UnknownReplyCount || tally->received < expected) {
		const std::uint64_t now = MonotonicMilliseconds();
		if (now >= end)
			return;
		std::uint64_t limit = end - now;
		// Until the first reply the server may still be busy with another
		// station's line; after it, the replies of one line follow closely.
		if (expected == UnknownReplyCount && tally->received > 0 && limit > QuietMilliseconds)
			limit = QuietMilliseconds;
		std::size_t length = 0;
		std::uint32_t source = 0;
		const ReceiveResult result = ReceiveDatagram(socket, reply, sizeof reply, &length, &source,
		                                             static_cast<std::uint32_t>(limit), message,
		                                             sizeof message);
		if (result == ReceiveTimedOut)
			return;
		if (result == ReceiveRefused) {
			tally->refused = 1;
			return;
		}
		if (result == ReceiveError) {
			std::fprintf(stderr, "tamborixel-send: receiving on UDP port %u failed: %s\n",
			             static_cast<unsigned>(ReplyPort), message);
			tally->failed = 1;
			return;
		}
		// Whatever else reaches port 3111 is not an answer to this line.
		if (source != server)
			continue;
		PrintReply(reply, length);
		tally->received++;
		if (IsErrorReply(reply, length))
			tally->errors++;
	}
}

int Report(const char *host, int expected, std::uint32_t timeout, const Tally &tally)
{
	const double seconds = timeout / 1000.0;
	if (tally.failed)
		return SendNoReply;
	if (tally.received == 0) {
		if (tally.refused)
			std::fprintf(stderr, "tamborixel-send: no reply: %s refused the command "
			             "(nothing listens on its UDP port %u; is tamborixel running?)\n",
			             host, static_cast<unsigned>(CommandPort));
		else
			std::fprintf(stderr, "tamborixel-send: no reply from %s within %g s "
			             "(is tamborixel running there, and do firewalls let UDP %u in "
			             "and the replies to UDP %u back?)\n",
			             host, seconds, static_cast<unsigned>(CommandPort),
			             static_cast<unsigned>(ReplyPort));
		return SendNoReply;
	}
	const int missing = expected != UnknownReplyCount && tally.received < expected;
	if (missing)
		std::fprintf(stderr, "tamborixel-send: only %d of %d replies came from %s within %g s\n",
		             tally.received, expected, host, seconds);
	if (tally.errors > 0) {
		std::fprintf(stderr, "tamborixel-send: %s answered Error to %d command%s\n", host,
		             tally.errors, tally.errors == 1 ? "" : "s");
		return SendCommandError;
	}
	return missing ? SendNoReply : SendOk;
}

} // namespace

int RunSend(int argc, const char *const *argv)
{
	SendOptions options;
	ParseSendArguments(argc, argv, &options);
	switch (options.action) {
	case ActionHelp:
		std::printf("%s%s", Usage, Help);
		return SendOk;
	case ActionVersion:
		std::printf("tamborixel-send %s\n", TAMBORIXEL_VERSION);
		return SendOk;
	case ActionUsageError:
		return UsageFailure(options.error);
	case ActionSend:
		break;
	}

	char line[ClientLineSize];
	const JoinResult joined = JoinWords(options.wordCount, argv + options.firstWord, line, sizeof line);
	if (joined == JoinLineEnd)
		return UsageFailure("a command word holds a line end (CR or LF), which would cut the line");
	if (joined == JoinTooLong || std::strlen(line) > DeliverableLineLength) {
		char error[120];
		std::snprintf(error, sizeof error, "the command line is longer than %u characters",
		              static_cast<unsigned>(DeliverableLineLength));
		return UsageFailure(error);
	}
	const int expected = CountReplies(line);
	if (expected == 0) {
		char error[320];
		std::snprintf(error, sizeof error,
		              "\"%.80s\" holds no command, so the server would not answer it "
		              "(commands: RED, GREEN, SLEEP, CLEAR, EXIT; none for a status request)",
		              line);
		return UsageFailure(error);
	}

	if (ClientNetStart() != 0) {
		std::fprintf(stderr, "tamborixel-send: the network library could not be started\n");
		return SendNoReply;
	}
	char message[256] = {};
	std::uint32_t server = 0;
	if (ResolveHost(options.host, &server, message, sizeof message) != 0) {
		std::fprintf(stderr, "tamborixel-send: unknown host %s: %s\n", options.host, message);
		ClientNetStop();
		return SendNoReply;
	}
	ClientSocket socket = 0;
	const ReplySocketResult opened = OpenReplySocket(ReplyPort, &socket, message, sizeof message);
	if (opened != ReplySocketOpen) {
		if (opened == ReplyPortBusy)
			std::fprintf(stderr, "tamborixel-send: UDP port %u is already in use on this machine, "
			             "so the replies cannot be received here (another tamborixel-send, "
			             "or a listener such as nc -u -l -p %u?): %s\n",
			             static_cast<unsigned>(ReplyPort), static_cast<unsigned>(ReplyPort), message);
		else
			std::fprintf(stderr, "tamborixel-send: cannot receive on UDP port %u: %s\n",
			             static_cast<unsigned>(ReplyPort), message);
		ClientNetStop();
		return SendNoReply;
	}

	// The line and its CR LF in one datagram: the server runs a line only
	// once its end has come, and runs only the first line of a datagram.
	const std::size_t length = std::strlen(line);
	line[length] = '\r';
	line[length + 1] = '\n';
	int status = SendNoReply;
	if (SendDatagram(socket, line, length + 2, server, CommandPort, message, sizeof message) != 0) {
		std::fprintf(stderr, "tamborixel-send: cannot send to %s port %u: %s\n", options.host,
		             static_cast<unsigned>(CommandPort), message);
	} else {
		Tally tally = {};
		WaitForReplies(socket, server, expected, options.timeoutMilliseconds, &tally);
		status = Report(options.host, expected, options.timeoutMilliseconds, tally);
	}
	CloseReplySocket(socket);
	ClientNetStop();
	return status;
}
