// Equipment for the end-to-end tests: the real program started through a
// launcher script, UDP endpoints on loopback, and the simulated board's trace.
//
// The launcher decides which build runs (Linux, or Windows under Wine), so
// nothing here may assume how fast a program starts: every wait has a
// generous limit and ends as soon as what it waits for has happened.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

inline constexpr std::uint16_t CommandPort = 3110;
inline constexpr std::uint16_t ReplyPort = 3111;

// A fresh Wine prefix can take half a minute before the program runs.
inline constexpr Milliseconds StartLimit{60000};
inline constexpr Milliseconds ReplyLimit{10000};
inline constexpr Milliseconds ExitLimit{20000};
// How long silence must last before a missing reply counts as not sent. Only
// used where no later reply can prove the silence (see Barrier).
inline constexpr Milliseconds QuietTime{300};

Milliseconds Since(Clock::time_point start);

// One UDP socket bound on loopback.
class Udp {
public:
	Udp() = default;
	Udp(const Udp &) = delete;
	Udp &operator=(const Udp &) = delete;
	~Udp();

	// port 0 picks an ephemeral port. reuse sets SO_REUSEADDR, so that the
	// reply port can be bound again at once by the next test.
	bool Bind(const char *address, std::uint16_t port, bool reuse);
	void Close(void);
	bool IsOpen(void) const { return fd >= 0; }
	// Room for a burst of replies that nobody reads while it arrives.
	void ReceiveBuffer(int bytes);

	bool Send(std::string_view data, const char *host = "127.0.0.1",
	          std::uint16_t port = CommandPort);
	// One datagram, or nothing when none came within limit.
	std::optional<std::string> Receive(Milliseconds limit);

private:
	int fd = -1;
};

// Whether the program could bind port 3110 now.
bool CommandPortFree(void);

// A program started through the launcher, in a process group of its own so
// that whatever the launcher starts can be ended with it.
class Process {
public:
	Process() = default;
	Process(const Process &) = delete;
	Process &operator=(const Process &) = delete;
	~Process();

	bool Start(const std::vector<std::string> &argv, const std::vector<std::string> &environment);
	pid_t Pid(void) const { return pid; }
	bool Running(void);
	// The raw wait status, or nothing when the process still runs at limit.
	std::optional<int> WaitExit(Milliseconds limit);
	void Signal(int signal);
	void Kill(void);
	// What the program wrote on standard output so far.
	const std::string &Output(void);

private:
	void Drain(void);
	void Reap(int options);

	pid_t pid = -1;
	bool reaped = false;
	int status = 0;
	int outputFd = -1;
	std::string output;
};

struct LaunchOptions {
	std::vector<std::string> args;
	bool noBoard = false;
	std::string fail;               // EAPI_SIM_FAIL, when not empty
	bool infoLog = true;            // plant an Info.log in the working directory
};

// One datagram and the replies it must get, in order.
struct Step {
	std::string datagram;
	std::vector<std::string> replies;
};

inline LaunchOptions WithArgs(std::vector<std::string> args)
{
	LaunchOptions options;
	options.args = std::move(args);
	return options;
}

// One started program with its own working directory and trace file.
struct Instance {
	std::string dir;
	std::string trace;
	Process process;
	Clock::time_point started;
};

std::vector<std::string> Trace(const Instance &instance);
bool TraceExists(const Instance &instance);
bool InfoLogExists(const Instance &instance);

// The simulated board's trace lines for the calls the program makes. Inline,
// so that they are ready before the tables of every test file.
inline const std::vector<std::string> StartTrace = {
	"EApiLibInitialize -> 0x00000000",
	"EApiGPIOGetDirectionCaps 0 -> 0x00000000",
};
inline const std::string EndTrace = "EApiLibUnInitialize -> 0x00000000";
std::vector<std::string> Switched(int gpio, int level);
std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts);

// Names parameterised tests after the name field of their table rows.
template <typename Case>
std::string CaseName(const testing::TestParamInfo<Case> &row)
{
	return row.param.name;
}

class E2e : public ::testing::Test {
protected:
	void SetUp(void) override;
	void TearDown(void) override;

	bool Windows(void) const { return windows; }

	// Starts the launcher; does not wait for anything.
	Instance &Launch(const LaunchOptions &options = {});
	// Launch, then wait until the server answers a status request.
	Instance &StartServer(const LaunchOptions &options = {});
	// Status requests from an address of their own until one is answered,
	// so that late answers to early requests reach no test's receiver.
	bool WaitReady(Instance &instance);

	// Sends from the test's client to 127.0.0.1:3110.
	void Send(std::string_view data);
	void ExpectReply(const std::string &expected, Udp *receiver = nullptr);
	// Sends each step's datagram and expects its replies before the next.
	void SendSteps(const std::vector<Step> &steps);
	void ExpectQuiet(Milliseconds time, Udp *receiver = nullptr);
	// A status request answered with "Status OK\n": since datagrams are
	// handled in order, it proves that nothing before it sent a reply
	// beyond those already taken.
	void Barrier(void);

	void ExpectCleanExit(Instance &instance, Milliseconds limit = ExitLimit);
	// "EXIT\r\n", "Exiting...\n", exit code 0, library released last.
	void StopWithExit(Instance &instance);
	// Waits until the trace has at least count lines.
	bool WaitTrace(const Instance &instance, std::size_t count, Milliseconds limit);

	Udp replies; // 127.0.0.1:3111
	Udp client;  // ephemeral port on 127.0.0.1

private:
	bool windows = false;
	std::string launcher;
	std::string root;
	std::deque<Instance> instances;
	Udp readyClient;
	Udp readyReplies;
};
