// The client side of the protocol as the benchmark plays it: commands go to
// 127.0.0.1:3110 from an ephemeral port, replies are taken on port 3111. The
// same code measures the server and the bare responder, so that the two
// differ only in what answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct Client {
	int commands;
	int replies;
};

// What happened to the commands of one measurement.
struct Tally {
	std::uint64_t sent;
	std::uint64_t answered;
	std::uint64_t lost;  // no reply within a second
	std::uint64_t wrong; // a reply other than the one the command asks for
};

void AddTally(Tally *total, const Tally &part);

// A cycle of commands and the replies they must get; expected is null when
// any reply will do (the bare responder answers every datagram alike).
struct Workload {
	const char *const *commands;
	const char *const *expected;
	std::size_t kinds;
};

// 0 when both sockets are ready.
int ClientOpen(Client *client);
void ClientClose(Client *client);

int SendCommand(const Client *client, const char *text);

// Whether a status request gets any reply within milliseconds: some other
// program already serves the port.
int SomethingAnswers(const Client *client, int milliseconds);

// Reads and forgets replies until none has come for quietMilliseconds.
void DrainReplies(const Client *client, int quietMilliseconds);

// count commands one at a time, each sent only once the reply to the one
// before it is in; appends each round trip in microseconds to micros.
void MeasureLatency(const Client *client, const Workload &work, std::size_t count,
                    std::vector<double> *micros, Tally *tally);

// Closed loop: window commands in flight, each reply sends the next one,
// for durationNanoseconds; then the replies still owed are collected.
// Returns the answered commands per second.
double MeasureThroughput(const Client *client, const Workload &work, std::size_t window,
                         std::int64_t durationNanoseconds, Tally *tally);

// Sends a status request every intervalNanoseconds until a reply equal to
// wanted arrives, other replies passed over. Returns the time from since to
// that reply, or -1 when limitNanoseconds passed without one.
std::int64_t ProbeUntilReply(const Client *client, const char *wanted, std::int64_t since,
                             std::int64_t intervalNanoseconds, std::int64_t limitNanoseconds);
