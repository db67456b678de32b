#include "tests/e2e/harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

extern char **environ;

namespace {

// Replies to readiness probes go here, away from every test's receiver.
const char ReadyAddress[] = "127.0.0.9";

const char TraceName[] = "eapi-trace.txt";

sockaddr_in Ipv4(const char *address, std::uint16_t port)
{
	sockaddr_in result = {};
	result.sin_family = AF_INET;
	result.sin_addr.s_addr = inet_addr(address);
	result.sin_port = htons(port);
	return result;
}

int Remaining(Clock::time_point end)
{
	const auto left = std::chrono::duration_cast<Milliseconds>(end - Clock::now()).count();
	return left < 0 ? 0 : static_cast<int>(left);
}

std::string Environment(const char *name)
{
	const char *value = std::getenv(name);
	return value == nullptr ? std::string() : std::string(value);
}

} // namespace

Milliseconds Since(Clock::time_point start)
{
	return std::chrono::duration_cast<Milliseconds>(Clock::now() - start);
}

Udp::~Udp()
{
	Close();
}

bool Udp::Bind(const char *address, std::uint16_t port, bool reuse)
{
	Close();
	fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
	if (fd < 0)
		return false;
	const int on = 1;
	const sockaddr_in local = Ipv4(address, port);
	if ((reuse && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) ||
	    bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0) {
		Close();
		return false;
	}
	return true;
}

void Udp::Close(void)
{
	if (fd >= 0)
		close(fd);
	fd = -1;
}

void Udp::ReceiveBuffer(int bytes)
{
	if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
		setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

bool Udp::Send(std::string_view data, const char *host, std::uint16_t port)
{
	const sockaddr_in target = Ipv4(host, port);
	const ssize_t sent = sendto(fd, data.data(), data.size(), 0,
	                            reinterpret_cast<const sockaddr *>(&target), sizeof target);
	return sent >= 0 && static_cast<std::size_t>(sent) == data.size();
}

std::optional<std::string> Udp::Receive(Milliseconds limit)
{
	const Clock::time_point end = Clock::now() + limit;
	for (;;) {
		pollfd ready = {fd, POLLIN, 0};
		const int got = poll(&ready, 1, Remaining(end));
		if (got < 0 && errno == EINTR)
			continue;
		if (got <= 0)
			return std::nullopt;
		char buffer[65536];
		const ssize_t length = recv(fd, buffer, sizeof buffer, 0);
		// An ICMP answer to an earlier send is no datagram.
		if (length < 0 && (errno == ECONNREFUSED || errno == EINTR))
			continue;
		if (length < 0)
			return std::nullopt;
		return std::string(buffer, static_cast<std::size_t>(length));
	}
}

bool CommandPortFree(void)
{
	// The program binds any address; a socket on any address without
	// SO_REUSEADDR conflicts with every binding of the port.
	Udp probe;
	return probe.Bind("0.0.0.0", CommandPort, false);
}

Process::~Process()
{
	Kill();
	if (outputFd >= 0)
		close(outputFd);
}

bool Process::Start(const std::vector<std::string> &argv, const std::vector<std::string> &environment)
{
	std::vector<char *> args;
	for (const std::string &arg : argv)
		args.push_back(const_cast<char *>(arg.c_str()));
	args.push_back(nullptr);
	std::vector<char *> env;
	for (const std::string &entry : environment)
		env.push_back(const_cast<char *>(entry.c_str()));
	env.push_back(nullptr);

	int pipeFds[2];
	if (pipe2(pipeFds, O_CLOEXEC) != 0)
		return false;
	const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
	pid = fork();
	if (pid == 0) {
		setpgid(0, 0);
		// A test program killed by its time limit must not leave a server
		// holding the ports for the next run.
		prctl(PR_SET_PDEATHSIG, SIGKILL);
		// A terminal on standard input would let a failed reply ask a
		// question and wait for an answer nobody gives.
		dup2(devNull, STDIN_FILENO);
		dup2(pipeFds[1], STDOUT_FILENO);
		execve(args[0], args.data(), env.data());
		_exit(127);
	}
	close(pipeFds[1]);
	if (devNull >= 0)
		close(devNull);
	if (pid < 0) {
		close(pipeFds[0]);
		return false;
	}
	// Also here, so that a kill of the group cannot come before the child
	// has made it.
	setpgid(pid, pid);
	outputFd = pipeFds[0];
	fcntl(outputFd, F_SETFL, fcntl(outputFd, F_GETFL) | O_NONBLOCK);
	return true;
}

void Process::Reap(int options)
{
	if (pid <= 0 || reaped)
		return;
	int got;
	do
		got = static_cast<int>(waitpid(pid, &status, options));
	while (got < 0 && errno == EINTR);
	if (got == pid)
		reaped = true;
}

bool Process::Running(void)
{
	Reap(WNOHANG);
	return pid > 0 && !reaped;
}

std::optional<int> Process::WaitExit(Milliseconds limit)
{
	const Clock::time_point end = Clock::now() + limit;
	while (Running() && Clock::now() < end) {
		Drain();
		std::this_thread::sleep_for(Milliseconds(5));
	}
	if (Running())
		return std::nullopt;
	Drain();
	return status;
}

void Process::Signal(int signal)
{
	if (Running())
		kill(pid, signal);
}

void Process::Kill(void)
{
	if (!Running())
		return;
	kill(-pid, SIGKILL);
	kill(pid, SIGKILL);
	Reap(0);
}

const std::string &Process::Output(void)
{
	Drain();
	return output;
}

void Process::Drain(void)
{
	if (outputFd < 0)
		return;
	char buffer[4096];
	for (;;) {
		const ssize_t got = read(outputFd, buffer, sizeof buffer);
		if (got <= 0)
			break;
		output.append(buffer, static_cast<std::size_t>(got));
	}
}

std::vector<std::string> Switched(int gpio, int level)
{
	const std::string id = std::to_string(gpio);
	return {
		"EApiGPIOSetDirection " + id + " 0xFFFFFFFF 0 -> 0x00000000",
		"EApiGPIOSetLevel " + id + " 0xFFFFFFFF " + std::to_string(level) + " -> 0x00000000",
	};
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts)
{
	std::vector<std::string> all;
	for (const std::vector<std::string> &part : parts)
		all.insert(all.end(), part.begin(), part.end());
	return all;
}

std::vector<std::string> Trace(const Instance &instance)
{
	std::vector<std::string> lines;
	std::ifstream file(instance.trace);
	std::string line;
	while (std::getline(file, line))
		lines.push_back(line);
	return lines;
}

bool TraceExists(const Instance &instance)
{
	return std::filesystem::exists(instance.trace);
}

bool InfoLogExists(const Instance &instance)
{
	return std::filesystem::exists(instance.dir + "/Info.log");
}

void E2e::SetUp(void)
{
	launcher = Environment("TAMBORIXEL_E2E_LAUNCHER");
	ASSERT_FALSE(launcher.empty()) << "TAMBORIXEL_E2E_LAUNCHER names the launcher script";
	const std::string platform = Environment("TAMBORIXEL_E2E_PLATFORM");
	ASSERT_TRUE(platform == "linux" || platform == "windows")
		<< "TAMBORIXEL_E2E_PLATFORM is linux or windows, not '" << platform << "'";
	windows = platform == "windows";

	std::string base = Environment("TMPDIR");
	if (base.empty())
		base = "/tmp";
	std::string pattern = base + "/tamborixel-e2e.XXXXXX";
	ASSERT_NE(mkdtemp(pattern.data()), nullptr) << "cannot make a directory in " << base;
	root = pattern;

	// A program of an earlier test may still be letting go of the port.
	const Clock::time_point end = Clock::now() + Milliseconds(5000);
	while (!CommandPortFree() && Clock::now() < end)
		std::this_thread::sleep_for(Milliseconds(20));
	ASSERT_TRUE(CommandPortFree()) << "UDP port 3110 is in use by another program";

	ASSERT_TRUE(replies.Bind("127.0.0.1", ReplyPort, true)) << "cannot bind 127.0.0.1:3111";
	ASSERT_TRUE(client.Bind("127.0.0.1", 0, false));
	ASSERT_TRUE(readyReplies.Bind(ReadyAddress, ReplyPort, true)) << "cannot bind " << ReadyAddress << ":3111";
	ASSERT_TRUE(readyClient.Bind(ReadyAddress, 0, false));
}

void E2e::TearDown(void)
{
	for (Instance &instance : instances)
		instance.process.Kill();
	instances.clear();
	if (!root.empty()) {
		if (HasFailure())
			std::printf("working directories kept in %s\n", root.c_str());
		else
			std::filesystem::remove_all(root);
	}
}

Instance &E2e::Launch(const LaunchOptions &options)
{
	Instance &instance = instances.emplace_back();
	instance.dir = root + "/" + std::to_string(instances.size());
	std::filesystem::create_directory(instance.dir);
	instance.trace = instance.dir + "/" + TraceName;
	if (options.infoLog)
		std::ofstream(instance.dir + "/Info.log") << "left by an earlier run\n";

	std::vector<std::string> argv = {launcher, instance.dir};
	if (options.noBoard)
		argv.push_back("--no-board");
	argv.insert(argv.end(), options.args.begin(), options.args.end());

	std::vector<std::string> environment;
	for (char **entry = environ; *entry != nullptr; entry++)
		if (std::strncmp(*entry, "EAPI_SIM_", 9) != 0)
			environment.push_back(*entry);
	environment.push_back("EAPI_SIM_TRACE=" + instance.trace);
	if (!options.fail.empty())
		environment.push_back("EAPI_SIM_FAIL=" + options.fail);

	instance.started = Clock::now();
	EXPECT_TRUE(instance.process.Start(argv, environment)) << "cannot start " << launcher;
	return instance;
}

Instance &E2e::StartServer(const LaunchOptions &options)
{
	Instance &instance = Launch(options);
	EXPECT_TRUE(WaitReady(instance)) << "the server did not answer a status request";
	return instance;
}

bool E2e::WaitReady(Instance &instance)
{
	const Clock::time_point end = Clock::now() + StartLimit;
	while (Clock::now() < end) {
		if (!instance.process.Running())
			return false;
		readyClient.Send("\r\n");
		const std::optional<std::string> reply = readyReplies.Receive(Milliseconds(100));
		if (reply) {
			EXPECT_EQ(*reply, "Status OK\n");
			return true;
		}
	}
	return false;
}

void E2e::Send(std::string_view data)
{
	ASSERT_TRUE(client.Send(data));
}

void E2e::ExpectReply(const std::string &expected, Udp *receiver)
{
	Udp &from = receiver != nullptr ? *receiver : replies;
	const std::optional<std::string> reply = from.Receive(ReplyLimit);
	ASSERT_TRUE(reply.has_value()) << "no reply, expected " << testing::PrintToString(expected);
	EXPECT_EQ(*reply, expected);
}

void E2e::SendSteps(const std::vector<Step> &steps)
{
	for (const Step &step : steps) {
		SCOPED_TRACE("datagram " + testing::PrintToString(step.datagram));
		Send(step.datagram);
		for (const std::string &reply : step.replies)
			ExpectReply(reply);
	}
}

void E2e::ExpectQuiet(Milliseconds time, Udp *receiver)
{
	Udp &from = receiver != nullptr ? *receiver : replies;
	const std::optional<std::string> reply = from.Receive(time);
	EXPECT_FALSE(reply.has_value()) << "unexpected reply " << testing::PrintToString(*reply);
}

void E2e::Barrier(void)
{
	Send("\r\n");
	ExpectReply("Status OK\n");
}

void E2e::ExpectCleanExit(Instance &instance, Milliseconds limit)
{
	const std::optional<int> status = instance.process.WaitExit(limit);
	ASSERT_TRUE(status.has_value()) << "still running after " << limit.count() << " ms";
	EXPECT_TRUE(WIFEXITED(*status)) << "wait status " << *status;
	if (WIFEXITED(*status)) {
		EXPECT_EQ(WEXITSTATUS(*status), 0);
	}
	EXPECT_EQ(instance.process.Output(), "") << "the program printed on standard output";
}

void E2e::StopWithExit(Instance &instance)
{
	Send("EXIT\r\n");
	ExpectReply("Exiting...\n");
	ExpectCleanExit(instance);
	const std::vector<std::string> trace = Trace(instance);
	ASSERT_FALSE(trace.empty());
	EXPECT_EQ(trace.back(), EndTrace);
}

bool E2e::WaitTrace(const Instance &instance, std::size_t count, Milliseconds limit)
{
	const Clock::time_point end = Clock::now() + limit;
	for (;;) {
		if (Trace(instance).size() >= count)
			return true;
		if (Clock::now() >= end)
			return false;
		std::this_thread::sleep_for(Milliseconds(10));
	}
}
