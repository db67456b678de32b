#include "bench/udp_client.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "bench/clock.h"
#include "command/types.h"

namespace {

constexpr std::int64_t ReplyLimitNanoseconds = 1000000000;
constexpr std::uint64_t GiveUpAfterLost = 3;
// Larger than any reply the server sends, so that a reply is never cut.
constexpr std::size_t ReplyBufferSize = 2048;

sockaddr_in Ipv4Address(std::uint32_t host, std::uint16_t port)
{
	sockaddr_in address = {};
	address.sin_family = AF_INET;
	address.sin_addr.s_addr = htonl(host);
	address.sin_port = htons(port);
	return address;
}

// A blocking receive with the socket's one-second limit: one system call per
// reply, the same for both targets, keeps the client's share of a round trip
// small. Returns the length, or -1 when nothing came.
long ReceiveBlocking(const Client *client, char *buffer, std::size_t size)
{
	for (;;) {
		const ssize_t got = recv(client->replies, buffer, size - 1, 0);
		if (got >= 0) {
			buffer[got] = '\0';
			return static_cast<long>(got);
		}
		if (errno != EINTR)
			return -1;
	}
}

long ReceiveNow(const Client *client, char *buffer, std::size_t size)
{
	const ssize_t got = recv(client->replies, buffer, size - 1, MSG_DONTWAIT);
	if (got < 0)
		return -1;
	buffer[got] = '\0';
	return static_cast<long>(got);
}

int WaitReadable(const Client *client, std::int64_t nanoseconds)
{
	if (nanoseconds < 0)
		nanoseconds = 0;
	pollfd ready = {client->replies, POLLIN, 0};
	const timespec limit = {static_cast<time_t>(nanoseconds / 1000000000),
	                        static_cast<long>(nanoseconds % 1000000000)};
	return ppoll(&ready, 1, &limit, nullptr) > 0;
}

void Check(const Workload &work, std::uint64_t index, const char *reply, Tally *tally)
{
	tally->answered++;
	if (work.expected != nullptr && std::strcmp(reply, work.expected[index % work.kinds]) != 0)
		tally->wrong++;
}

} // namespace

void AddTally(Tally *total, const Tally &part)
{
	total->sent += part.sent;
	total->answered += part.answered;
	total->lost += part.lost;
	total->wrong += part.wrong;
}

int ClientOpen(Client *client)
{
	client->commands = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
	client->replies = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
	if (client->commands < 0 || client->replies < 0)
		return 1;
	const timeval limit = {static_cast<time_t>(ReplyLimitNanoseconds / 1000000000),
	                       static_cast<suseconds_t>(ReplyLimitNanoseconds % 1000000000 / 1000)};
	const sockaddr_in any = Ipv4Address(INADDR_ANY, ReplyPort);
	// No SO_REUSEADDR: a second socket on the reply port would take a
	// share of the replies, so a busy port must fail here instead.
	if (setsockopt(client->replies, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0 ||
	    bind(client->replies, reinterpret_cast<const sockaddr *>(&any), sizeof any) != 0)
		return 1;
	return 0;
}

void ClientClose(Client *client)
{
	if (client->commands >= 0)
		close(client->commands);
	if (client->replies >= 0)
		close(client->replies);
	client->commands = -1;
	client->replies = -1;
}

int SendCommand(const Client *client, const char *text)
{
	const sockaddr_in server = Ipv4Address(INADDR_LOOPBACK, CommandPort);
	const ssize_t sent = sendto(client->commands, text, std::strlen(text), 0,
	                            reinterpret_cast<const sockaddr *>(&server), sizeof server);
	return sent < 0 ? 1 : 0;
}

int SomethingAnswers(const Client *client, int milliseconds)
{
	SendCommand(client, "\r\n");
	const int answered = WaitReadable(client, static_cast<std::int64_t>(milliseconds) * 1000000);
	DrainReplies(client, 0);
	return answered;
}

void DrainReplies(const Client *client, int quietMilliseconds)
{
	char buffer[ReplyBufferSize];
	while (WaitReadable(client, static_cast<std::int64_t>(quietMilliseconds) * 1000000))
		ReceiveNow(client, buffer, sizeof buffer);
}

void MeasureLatency(const Client *client, const Workload &work, std::size_t count,
                    std::vector<double> *micros, Tally *tally)
{
	char buffer[ReplyBufferSize];
	micros->reserve(micros->size() + count);
	std::uint64_t lostInARow = 0;
	// A target that has stopped answering would cost a second per command.
	for (std::size_t i = 0; i < count && lostInARow < GiveUpAfterLost; i++) {
		const std::int64_t start = NowNanoseconds();
		tally->sent++;
		if (SendCommand(client, work.commands[i % work.kinds]) != 0) {
			tally->lost++;
			lostInARow++;
			continue;
		}
		const long got = ReceiveBlocking(client, buffer, sizeof buffer);
		const std::int64_t end = NowNanoseconds();
		if (got < 0) {
			tally->lost++;
			lostInARow++;
			continue;
		}
		lostInARow = 0;
		Check(work, i, buffer, tally);
		micros->push_back(static_cast<double>(end - start) / 1000.0);
	}
}

double MeasureThroughput(const Client *client, const Workload &work, std::size_t window,
                         std::int64_t durationNanoseconds, Tally *tally)
{
	char buffer[ReplyBufferSize];
	std::uint64_t sent = 0;
	std::uint64_t received = 0;
	const std::int64_t start = NowNanoseconds();
	const std::int64_t end = start + durationNanoseconds;
	for (; sent < window; sent++)
		SendCommand(client, work.commands[sent % work.kinds]);
	while (received < sent) {
		if (ReceiveBlocking(client, buffer, sizeof buffer) < 0) {
			// One reply lost stalls the window; what is still owed is lost.
			tally->lost += sent - received;
			break;
		}
		Check(work, received, buffer, tally);
		received++;
		if (NowNanoseconds() < end) {
			SendCommand(client, work.commands[sent % work.kinds]);
			sent++;
		}
	}
	const std::int64_t elapsed = NowNanoseconds() - start;
	tally->sent += sent;
	return static_cast<double>(received) * 1e9 / static_cast<double>(elapsed);
}

std::int64_t ProbeUntilReply(const Client *client, const char *wanted, std::int64_t since,
                             std::int64_t intervalNanoseconds, std::int64_t limitNanoseconds)
{
	char buffer[ReplyBufferSize];
	std::int64_t nextProbe = NowNanoseconds();
	for (;;) {
		std::int64_t now = NowNanoseconds();
		if (now - since > limitNanoseconds)
			return -1;
		if (now >= nextProbe) {
			// Until the program has bound the port a request is simply
			// dropped; only the ones after that get answered.
			SendCommand(client, "\r\n");
			nextProbe = now + intervalNanoseconds;
		}
		if (!WaitReadable(client, nextProbe - now))
			continue;
		while (ReceiveNow(client, buffer, sizeof buffer) >= 0) {
			now = NowNanoseconds();
			if (std::strcmp(buffer, wanted) == 0)
				return now - since;
		}
	}
}
