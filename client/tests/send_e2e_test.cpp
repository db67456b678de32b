// tamborixel-send against the real server on the simulated board, over
// loopback on the fixed ports. Each test starts its own server in a working
// directory of its own and stops it with SIGTERM.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace {

// Names parameterised tests after the name field of their table rows.
template <typename Case>
std::string CaseName(const testing::TestParamInfo<Case> &row)
{
	return row.param.name;
}

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// Limits against a hang, never expectations of speed.
constexpr Milliseconds StartLimit{20000};
constexpr Milliseconds RunLimit{60000};
constexpr Milliseconds ExitLimit{20000};

std::string Env(const char *name)
{
	const char *value = std::getenv(name);
	return value == nullptr ? std::string() : std::string(value);
}

// Whether some socket is bound to the UDP port, from the kernel's table:
// looking does not disturb the program that binds it.
bool UdpPortBound(unsigned port)
{
	std::ifstream table("/proc/net/udp");
	char wanted[8];
	std::snprintf(wanted, sizeof wanted, ":%04X", port);
	std::string line;
	std::getline(table, line);
	while (std::getline(table, line)) {
		// "  sl  local_address rem_address ...": the port ends the second field.
		const std::size_t colon = line.find(':');
		const std::size_t local = line.find_first_not_of(' ', colon + 1);
		const std::size_t end = line.find(' ', local);
		if (local != std::string::npos && end != std::string::npos &&
		    line.compare(end - 5, 5, wanted) == 0)
			return true;
	}
	return false;
}

bool WaitFor(bool (*condition)(unsigned), unsigned port, bool wanted, Milliseconds limit)
{
	const Clock::time_point end = Clock::now() + limit;
	while (condition(port) != wanted) {
		if (Clock::now() >= end)
			return false;
		std::this_thread::sleep_for(Milliseconds(10));
	}
	return true;
}

// A child process with its standard output and error collected.
class Child {
public:
	Child() = default;
	Child(const Child &) = delete;
	Child &operator=(const Child &) = delete;
	~Child()
	{
		if (pid > 0 && !reaped) {
			kill(pid, SIGKILL);
			waitpid(pid, nullptr, 0);
		}
		for (int fd : fds)
			if (fd >= 0)
				close(fd);
	}

	bool Start(const std::vector<std::string> &argv, const std::vector<std::string> &env,
	           const std::string &dir)
	{
		int outPipe[2], errPipe[2];
		if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)
			return false;
		std::vector<char *> args, envp;
		for (const std::string &arg : argv)
			args.push_back(const_cast<char *>(arg.c_str()));
		args.push_back(nullptr);
		for (const std::string &entry : env)
			envp.push_back(const_cast<char *>(entry.c_str()));
		envp.push_back(nullptr);
		pid = fork();
		if (pid == 0) {
			// A test ended by its time limit must not leave a server
			// holding the ports.
			prctl(PR_SET_PDEATHSIG, SIGKILL);
			const int null = open("/dev/null", O_RDONLY);
			dup2(null, STDIN_FILENO);
			dup2(outPipe[1], STDOUT_FILENO);
			dup2(errPipe[1], STDERR_FILENO);
			if (!dir.empty() && chdir(dir.c_str()) != 0)
				_exit(126);
			execve(args[0], args.data(), envp.data());
			_exit(127);
		}
		close(outPipe[1]);
		close(errPipe[1]);
		fds[0] = outPipe[0];
		fds[1] = errPipe[0];
		return pid > 0;
	}

	// Collects the output until the child ends; false at the limit.
	bool Finish(Milliseconds limit)
	{
		const Clock::time_point end = Clock::now() + limit;
		while (fds[0] >= 0 || fds[1] >= 0) {
			pollfd ready[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
			const auto left = std::chrono::duration_cast<Milliseconds>(end - Clock::now()).count();
			if (left <= 0)
				return false;
			if (poll(ready, 2, static_cast<int>(left)) <= 0)
				continue;
			for (int i = 0; i < 2; i++) {
				if (ready[i].revents == 0)
					continue;
				char buffer[4096];
				const ssize_t got = read(fds[i], buffer, sizeof buffer);
				if (got > 0) {
					(i == 0 ? out : err).append(buffer, static_cast<std::size_t>(got));
				} else {
					close(fds[i]);
					fds[i] = -1;
				}
			}
		}
		while (Clock::now() < end) {
			if (waitpid(pid, &status, WNOHANG) == pid) {
				reaped = true;
				return true;
			}
			std::this_thread::sleep_for(Milliseconds(5));
		}
		return false;
	}

	void Signal(int signal) { kill(pid, signal); }

	// The exit code, or -1 for a child that did not exit normally.
	int ExitCode() const { return reaped && WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

	std::string out, err;

private:
	pid_t pid = -1;
	int fds[2] = {-1, -1};
	int status = 0;
	bool reaped = false;
};

struct SendResult {
	bool finished;
	int exitCode;
	std::string out, err;
};

std::vector<std::string> SendArgv(const std::vector<std::string> &args)
{
	std::vector<std::string> argv = {Env("TAMBORIXEL_SEND")};
	argv.insert(argv.end(), args.begin(), args.end());
	return argv;
}

// The client with a plain environment: it must need nothing from it.
SendResult Send(const std::vector<std::string> &args)
{
	Child child;
	SendResult result = {false, -1, "", ""};
	if (!child.Start(SendArgv(args), {"PATH=/usr/bin:/bin"}, ""))
		return result;
	result.finished = child.Finish(RunLimit);
	result.exitCode = child.ExitCode();
	result.out = child.out;
	result.err = child.err;
	return result;
}

class SendE2e : public testing::Test {
protected:
	void SetUp() override
	{
		ASSERT_FALSE(Env("TAMBORIXEL_PROGRAM").empty()) << "run through ctest";
		// Another server or client still on the ports would answer instead.
		ASSERT_TRUE(WaitFor(UdpPortBound, 3110, false, ExitLimit)) << "UDP 3110 is taken";
		ASSERT_TRUE(WaitFor(UdpPortBound, 3111, false, ExitLimit)) << "UDP 3111 is taken";
		char pattern[] = "/tmp/tamborixel-send-e2e.XXXXXX";
		ASSERT_NE(mkdtemp(pattern), nullptr);
		dir = pattern;
		trace = dir + "/eapi-trace.txt";
	}

	void TearDown() override
	{
		if (server != nullptr && serverRunning) {
			server->Signal(SIGTERM);
			EXPECT_TRUE(server->Finish(ExitLimit));
			EXPECT_EQ(server->ExitCode(), 0) << "the server's exit after SIGTERM";
		}
		server.reset();
		std::filesystem::remove_all(dir);
	}

	// Starts the server and waits until it holds UDP 3110; from then on a
	// datagram to it waits in its socket until it is read.
	void StartServer(bool board = true)
	{
		std::vector<std::string> env = {"EAPI_SIM_TRACE=" + trace};
		if (board)
			env.push_back("LD_LIBRARY_PATH=" + Env("TAMBORIXEL_SIM_DIR"));
		server = std::make_unique<Child>();
		ASSERT_TRUE(server->Start({Env("TAMBORIXEL_PROGRAM")}, env, dir));
		serverRunning = true;
		ASSERT_TRUE(WaitFor(UdpPortBound, 3110, true, StartLimit)) << "the server never bound UDP 3110";
	}

	std::string Trace() const
	{
		std::ifstream file(trace);
		return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
	}

	std::string dir, trace;
	std::unique_ptr<Child> server;
	bool serverRunning = false;
};

// --- The replies of one line -------------------------------------------------

struct LineCase {
	const char *name;
	std::vector<std::string> words;
	const char *out;
	int exitCode;
	std::vector<std::string> trace; // lines the board must have seen
};

const LineCase LineCases[] = {
	{"status", {}, "Status OK\n", 0, {}},
	{"green_on", {"GREEN", "ON"}, "GREEN ON OK\n", 0, {"EApiGPIOSetLevel 1 0xFFFFFFFF 1 -> 0x00000000"}},
	{"lower_case", {"red", "on"}, "RED ON OK\n", 0, {"EApiGPIOSetLevel 0 0xFFFFFFFF 1 -> 0x00000000"}},
	{"three_commands", {"RED", "ON", "SLEEP", "0.2", "RED", "OFF"}, "RED ON OK\nSLEEP 0.2 OK\nRED OFF OK\n", 0,
	 {"EApiGPIOSetLevel 0 0xFFFFFFFF 1 -> 0x00000000", "EApiGPIOSetLevel 0 0xFFFFFFFF 0 -> 0x00000000"}},
	{"clear_hands_on_sleep", {"CLEAR", "SLEEP", "0"}, "CLEAR SLEEP OK\nSLEEP 0 OK\n", 0, {}},
	{"red_hands_on_green", {"RED", "GREEN", "ON"}, "Error\nGREEN ON OK\n", 1,
	 {"EApiGPIOSetLevel 1 0xFFFFFFFF 1 -> 0x00000000"}},
	{"error", {"RED", "BLINK"}, "Error\n", 1, {}},
	{"sleep_out_of_range", {"SLEEP", "11"}, "Error\n", 1, {}},
	{"clear_now", {"CLEAR"}, "CLEAR NOW OK\n", 0, {}},
	{"words_around_a_command", {"PLEASE", "GREEN", "ON", "NOW"}, "GREEN ON OK\n", 0, {}},
	{"quoted_command", {"\"GREEN\"", "OFF"}, "GREEN OFF OK\n", 0, {}},
	// Lines on which servers differ: the client waits for quiet after
	// the replies of this one.
	{"longer_than_runnable", {"RED", "ON", std::string(253, 'X')}, "Error\n", 1, {}},
	{"unclosed_quote", {"RED", "\"ON"}, "RED ON OK\n", 0, {"EApiGPIOSetLevel 0 0xFFFFFFFF 1 -> 0x00000000"}},
	{"exit", {"exit"}, "Exiting...\n", 0, {}},
	{"exit_ends_the_line", {"GREEN", "ON", "EXIT"}, "Exiting...\n", 0, {}},
};

class Lines : public SendE2e, public testing::WithParamInterface<LineCase> {};

TEST_P(Lines, PrintEveryReplyAndTellTheOutcome)
{
	const LineCase &row = GetParam();
	StartServer();
	std::vector<std::string> args = {"127.0.0.1"};
	args.insert(args.end(), row.words.begin(), row.words.end());
	const SendResult sent = Send(args);
	ASSERT_TRUE(sent.finished);
	EXPECT_EQ(sent.out, row.out);
	EXPECT_EQ(sent.exitCode, row.exitCode) << sent.err;
	if (row.exitCode == 1) {
		EXPECT_NE(sent.err.find("Error"), std::string::npos) << sent.err;
	} else {
		EXPECT_EQ(sent.err, "");
	}
	const std::string seen = Trace();
	for (const std::string &line : row.trace)
		EXPECT_NE(seen.find(line), std::string::npos) << line << " not in\n" << seen;
	if (row.out == std::string("Exiting...\n")) {
		EXPECT_TRUE(server->Finish(ExitLimit));
		EXPECT_EQ(server->ExitCode(), 0);
		serverRunning = false;
		EXPECT_EQ(seen.find("SetLevel"), std::string::npos) << "switched before EXIT:\n" << seen;
	}
}

INSTANTIATE_TEST_SUITE_P(Table, Lines, testing::ValuesIn(LineCases),
                         CaseName<LineCase>);

// --- The rest of the user's path ------------------------------------------

TEST_F(SendE2e, StatusShowsAnArmedDeadline)
{
	StartServer();
	const SendResult armed = Send({"127.0.0.1", "CLEAR", "30"});
	EXPECT_EQ(armed.out, "CLEAR 30 OK\n");
	const SendResult status = Send({"127.0.0.1"});
	const std::string prefix = "Status OK, time to reset: ";
	const std::string suffix = " sek\n";
	ASSERT_GT(status.out.size(), prefix.size() + suffix.size()) << status.out;
	EXPECT_EQ(status.out.substr(0, prefix.size()), prefix) << status.out;
	EXPECT_EQ(status.out.substr(status.out.size() - suffix.size()), suffix) << status.out;
	const std::string seconds = status.out.substr(prefix.size(), status.out.size() - prefix.size() - suffix.size());
	EXPECT_EQ(seconds.find_first_not_of("0123456789"), std::string::npos) << status.out;
	EXPECT_EQ(status.exitCode, 0);
}

TEST_F(SendE2e, HostByName)
{
	StartServer();
	const SendResult sent = Send({"localhost", "RED", "OFF"});
	EXPECT_EQ(sent.out, "RED OFF OK\n");
	EXPECT_EQ(sent.exitCode, 0) << sent.err;
}

// No EAPI library on the machine: the server runs and answers, every switch fails.
TEST_F(SendE2e, WithoutTheBoardSwitchesAnswerError)
{
	StartServer(false);
	const SendResult status = Send({"127.0.0.1"});
	EXPECT_EQ(status.out, "Status OK\n");
	EXPECT_EQ(status.exitCode, 0);
	const SendResult sent = Send({"127.0.0.1", "RED", "ON", "GREEN", "ON"});
	EXPECT_EQ(sent.out, "Error\nError\n");
	EXPECT_EQ(sent.exitCode, 1);
	EXPECT_NE(sent.err.find("Error to 2 commands"), std::string::npos) << sent.err;
}

TEST_F(SendE2e, TimeoutEndsTheWaitWithTheRepliesSoFar)
{
	StartServer();
	const SendResult sent = Send({"--timeout", "0.5", "127.0.0.1", "RED", "ON", "SLEEP", "5"});
	EXPECT_EQ(sent.out, "RED ON OK\n");
	EXPECT_EQ(sent.exitCode, 2);
	EXPECT_NE(sent.err.find("only 1 of 2 replies"), std::string::npos) << sent.err;
}

TEST_F(SendE2e, NoServerIsNoReply)
{
	const SendResult sent = Send({"--timeout", "3", "127.0.0.1"});
	ASSERT_TRUE(sent.finished);
	EXPECT_EQ(sent.out, "");
	EXPECT_EQ(sent.exitCode, 2);
	EXPECT_NE(sent.err.find("no reply"), std::string::npos) << sent.err;
}

// Only the server's address answers: another sender's datagram on port
// 3111 is neither printed nor counted.
TEST_F(SendE2e, DatagramsFromElsewhereAreNoReplies)
{
	StartServer();
	Child client;
	ASSERT_TRUE(client.Start(SendArgv({"127.0.0.1", "SLEEP", "2"}), {}, ""));
	ASSERT_TRUE(WaitFor(UdpPortBound, 3111, true, StartLimit));
	const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
	sockaddr_in from = {}, to = {};
	from.sin_family = to.sin_family = AF_INET;
	from.sin_addr.s_addr = inet_addr("127.0.0.5");
	to.sin_addr.s_addr = inet_addr("127.0.0.1");
	to.sin_port = htons(3111);
	ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from), 0);
	EXPECT_EQ(sendto(fd, "Error\n", 6, 0, reinterpret_cast<sockaddr *>(&to), sizeof to), 6);
	close(fd);
	ASSERT_TRUE(client.Finish(RunLimit));
	EXPECT_EQ(client.out, "SLEEP 2 OK\n");
	EXPECT_EQ(client.ExitCode(), 0) << client.err;
}

struct HolderCase {
	const char *name;
	int option; // set on the holder's socket, 0 for none
};

class PortTaken : public SendE2e, public testing::WithParamInterface<HolderCase> {};

// Also a holder that allows sharing must not lose the replies to it, nor
// leave the client waiting.
TEST_P(PortTaken, IsAClearErrorAtOnce)
{
	StartServer();
	const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
	const int on = 1;
	if (GetParam().option != 0) {
		ASSERT_EQ(setsockopt(fd, SOL_SOCKET, GetParam().option, &on, sizeof on), 0);
	}
	sockaddr_in local = {};
	local.sin_family = AF_INET;
	local.sin_addr.s_addr = htonl(INADDR_ANY);
	local.sin_port = htons(3111);
	ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local), 0);
	const SendResult sent = Send({"127.0.0.1", "GREEN", "ON"});
	close(fd);
	ASSERT_TRUE(sent.finished);
	EXPECT_EQ(sent.exitCode, 2);
	EXPECT_EQ(sent.out, "");
	EXPECT_NE(sent.err.find("UDP port 3111 is already in use"), std::string::npos) << sent.err;
	EXPECT_EQ(Trace().find("SetLevel"), std::string::npos) << "sent although no reply could come";
}

INSTANTIATE_TEST_SUITE_P(Holders, PortTaken,
                         testing::Values(HolderCase{"plain", 0}, HolderCase{"reuse_address", SO_REUSEADDR},
                                         HolderCase{"reuse_port", SO_REUSEPORT}),
                         CaseName<HolderCase>);

// --- Usage -----------------------------------------------------------------

struct UsageCase {
	const char *name;
	std::vector<std::string> args;
	int exitCode;
	const char *out; // a part of standard output
	const char *err; // a part of standard error
};

const UsageCase UsageCases[] = {
	{"help", {"--help"}, 0, "usage: tamborixel-send [options] HOST [COMMAND...]", ""},
	{"no_host", {}, 2, "", "no HOST given"},
	{"unknown_option", {"--fast", "127.0.0.1"}, 2, "", "unknown option --fast"},
	{"bad_timeout", {"--timeout", "soon", "127.0.0.1"}, 2, "", "not a number of seconds"},
	{"no_command", {"127.0.0.1", "HELLO"}, 2, "", "holds no command"},
	{"line_end_in_a_word", {"127.0.0.1", "RED ON\nGREEN", "ON"}, 2, "", "line end"},
	{"too_long", {"127.0.0.1", std::string(1021, 'X')}, 2, "", "longer than 1020"},
	{"unknown_host", {"no-such-host.invalid"}, 2, "", "unknown host no-such-host.invalid"},
};

class Usage : public testing::TestWithParam<UsageCase> {};

TEST_P(Usage, IsToldWithoutWaiting)
{
	const UsageCase &row = GetParam();
	const SendResult sent = Send(row.args);
	ASSERT_TRUE(sent.finished);
	EXPECT_EQ(sent.exitCode, row.exitCode) << sent.err;
	EXPECT_NE(sent.out.find(row.out), std::string::npos) << sent.out;
	EXPECT_NE(sent.err.find(row.err), std::string::npos) << sent.err;
	if (row.exitCode == 2) {
		EXPECT_NE(sent.err.find("tamborixel-send: "), std::string::npos);
	}
}

INSTANTIATE_TEST_SUITE_P(Table, Usage, testing::ValuesIn(UsageCases),
                         CaseName<UsageCase>);

TEST(Version, IsTheProjectVersion)
{
	const SendResult sent = Send({"--version"});
	EXPECT_EQ(sent.out, "tamborixel-send " + Env("TAMBORIXEL_VERSION") + "\n");
	EXPECT_EQ(sent.exitCode, 0);
}

} // namespace
