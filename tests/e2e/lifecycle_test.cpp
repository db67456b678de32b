// The program's modes and its life: start-up, EXIT in its forms, one-shot
// runs, forwarding EXIT, replacing a running server, close requests.
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

// Whether /proc/net/unix lists the abstract socket name ("@...").
bool UnixNameListed(const std::string &name)
{
	std::ifstream table("/proc/net/unix");
	std::string line;
	while (std::getline(table, line)) {
		const std::size_t space = line.rfind(' ');
		if (space != std::string::npos && line.compare(space + 1, std::string::npos, name) == 0)
			return true;
	}
	return false;
}

std::string MarkOf(const Instance &instance)
{
	return "@TAMBORIXEL:" + std::to_string(instance.process.Pid());
}

TEST_F(E2e, ServerDeletesInfoLogAndMarksItself)
{
	Instance &server = StartServer();
	EXPECT_FALSE(InfoLogExists(server));
	if (!Windows()) {
		EXPECT_TRUE(UnixNameListed(MarkOf(server)));
	}
	EXPECT_EQ(Trace(server), StartTrace);
	StopWithExit(server);
	EXPECT_EQ(Trace(server), Join({StartTrace, {EndTrace}}));
	if (!Windows()) {
		EXPECT_FALSE(UnixNameListed(MarkOf(server)));
	}
}

struct ExitCase {
	const char *name;
	std::vector<Step> steps;
	bool stops;
	std::vector<std::string> switched;
};

void PrintTo(const ExitCase &c, std::ostream *out)
{
	*out << c.name;
}

const ExitCase ExitCases[] = {
	{"Line", {{"EXIT\r\n", {"Exiting...\n"}}}, true, {}},
	{"LowerCaseWithoutLineEnd", {{"exit", {"Exiting...\n"}}}, true, {}},
	{"InsideAWord", {{"NEXIT\r\n", {"Exiting...\n"}}}, true, {}},
	{"OverTwoDatagrams", {{"EX", {}}, {"IT", {"Exiting...\n"}}}, true, {}},
	{"AfterTheLineEnd", {{"RED ON\nEXIT", {"RED ON OK\n"}}}, false, Switched(0, 1)},
	// The pending RESET throws the datagram away before EXIT is looked for.
	{"DiscardedByReset", {{"RESET", {}}, {"EXIT\r\n", {}}}, false, Join({Switched(1, 0), Switched(0, 0)})},
};

class ExitForms : public E2e, public testing::WithParamInterface<ExitCase> {};

TEST_P(ExitForms, StopOrNot)
{
	const ExitCase &c = GetParam();
	Instance &server = StartServer();
	SendSteps(c.steps);
	if (c.stops) {
		ExpectCleanExit(server);
		EXPECT_EQ(Trace(server), Join({StartTrace, c.switched, {EndTrace}}));
	} else {
		Barrier();
		EXPECT_TRUE(server.process.Running());
		EXPECT_EQ(Trace(server), Join({StartTrace, c.switched}));
		StopWithExit(server);
	}
}

INSTANTIATE_TEST_SUITE_P(Table, ExitForms, testing::ValuesIn(ExitCases), CaseName<ExitCase>);

struct OneShotCase {
	const char *name;
	std::vector<std::string> args;
	std::vector<std::string> switched;
	int atLeastMilliseconds;
	// A Windows program gets its command line as typed, quotes included.
	bool linuxOnly = false;
};

void PrintTo(const OneShotCase &c, std::ostream *out)
{
	*out << c.name;
}

const OneShotCase OneShotCases[] = {
	{"RedOnSleepRedOff", {"RED", "ON", "SLEEP", "1", "RED", "OFF"}, Join({Switched(0, 1), Switched(0, 0)}), 1000},
	{"LowerCase", {"green", "on"}, Switched(1, 1), 0},
	{"OneArgumentWithSpace", {"green on"}, Switched(1, 1), 0, true},
	// RESET acts only from a pending line, and a one-shot run has none.
	{"ResetSwitchesNothing", {"RESET"}, {}, 0},
	// Nobody watches the deadline of a one-shot run.
	{"ClearArmsNothing", {"CLEAR", "0"}, {}, 0},
};

class OneShot : public E2e, public testing::WithParamInterface<OneShotCase> {};

TEST_P(OneShot, RunsTheTextOnceWithoutReply)
{
	const OneShotCase &c = GetParam();
	if (c.linuxOnly && Windows())
		GTEST_SKIP() << "Windows hands the quotes around an argument on to the program";
	Instance &program = Launch(WithArgs(c.args));
	ExpectCleanExit(program);
	EXPECT_GE(Since(program.started).count(), c.atLeastMilliseconds);
	EXPECT_EQ(Trace(program), Join({StartTrace, c.switched, {EndTrace}}));
	EXPECT_FALSE(InfoLogExists(program));
	// The program has ended: whatever it sent has arrived.
	ExpectQuiet(Milliseconds(50));
}

INSTANTIATE_TEST_SUITE_P(Table, OneShot, testing::ValuesIn(OneShotCases), CaseName<OneShotCase>);

struct ForwardCase {
	const char *name;
	std::vector<std::string> args;
};

void PrintTo(const ForwardCase &c, std::ostream *out)
{
	*out << c.name;
}

const ForwardCase ForwardCases[] = {
	{"LowerCase", {"exit"}},
	{"MixedCase", {"eXiT"}},
	{"InsideAWord", {"RED", "NEXITS"}},
	{"AfterACommand", {"GREEN", "ON", "Exit"}},
};

class Forwarding : public E2e, public testing::WithParamInterface<ForwardCase> {};

// The test takes the command port itself to see exactly what arrives.
TEST_P(Forwarding, SendsExitAndNothingElse)
{
	Udp commandPort;
	ASSERT_TRUE(commandPort.Bind("127.0.0.1", CommandPort, false));
	Instance &program = Launch(WithArgs(GetParam().args));
	const std::optional<std::string> sent = commandPort.Receive(StartLimit);
	ASSERT_TRUE(sent.has_value()) << "nothing sent to 127.0.0.1:3110";
	EXPECT_EQ(*sent, "EXIT\r");
	ExpectCleanExit(program);
	EXPECT_FALSE(commandPort.Receive(Milliseconds(50)).has_value());
	EXPECT_TRUE(InfoLogExists(program));
	EXPECT_FALSE(TraceExists(program)) << "EAPI was used";
	ExpectQuiet(Milliseconds(50));
}

INSTANTIATE_TEST_SUITE_P(Table, Forwarding, testing::ValuesIn(ForwardCases), CaseName<ForwardCase>);

TEST_F(E2e, ForwardedExitStopsServer)
{
	Instance &server = StartServer();
	Instance &forwarder = Launch(WithArgs({"exit"}));
	ExpectReply("Exiting...\n");
	ExpectCleanExit(server);
	EXPECT_EQ(Trace(server), Join({StartTrace, {EndTrace}}));
	ExpectCleanExit(forwarder);
	EXPECT_TRUE(InfoLogExists(forwarder));
	EXPECT_FALSE(TraceExists(forwarder));
}

TEST_F(E2e, NewServerReplacesRunningOne)
{
	Instance &first = StartServer();
	Instance &second = Launch();
	ExpectReply("Exiting...\n");
	ExpectCleanExit(first);
	EXPECT_EQ(Trace(first), Join({StartTrace, {EndTrace}}));
	// Only now: until the first has gone, it would answer for the second.
	ASSERT_TRUE(WaitReady(second)) << "the new server never took the command port";
	EXPECT_FALSE(InfoLogExists(second));
	Send("RED ON\r\n");
	ExpectReply("RED ON OK\n");
	EXPECT_EQ(Trace(second), Join({StartTrace, Switched(0, 1)}));
	StopWithExit(second);
}

TEST_F(E2e, OneShotRunStopsServer)
{
	Instance &server = StartServer();
	Instance &program = Launch(WithArgs({"GREEN", "ON"}));
	ExpectReply("Exiting...\n");
	ExpectCleanExit(server);
	ExpectCleanExit(program);
	EXPECT_EQ(Trace(server), Join({StartTrace, {EndTrace}}));
	EXPECT_EQ(Trace(program), Join({StartTrace, Switched(1, 1), {EndTrace}}));
	ExpectQuiet(Milliseconds(50));
	EXPECT_TRUE(CommandPortFree()) << "a server still runs";
}

class CloseRequest : public E2e, public testing::WithParamInterface<int> {};

TEST_P(CloseRequest, EndsServerLikeExit)
{
	if (Windows())
		GTEST_SKIP() << "close requests are signals on Linux only";
	Instance &server = StartServer();
	Send("RED ON\r\n");
	ExpectReply("RED ON OK\n");
	server.process.Signal(GetParam());
	ExpectCleanExit(server);
	EXPECT_EQ(Trace(server), Join({StartTrace, Switched(0, 1), {EndTrace}}));
	ExpectQuiet(Milliseconds(50));
}

std::string SignalName(const testing::TestParamInfo<int> &info)
{
	switch (info.param) {
	case SIGTERM:
		return "TERM";
	case SIGINT:
		return "INT";
	case SIGHUP:
		return "HUP";
	}
	return std::to_string(info.param);
}

INSTANTIATE_TEST_SUITE_P(Signals, CloseRequest, testing::Values(SIGTERM, SIGINT, SIGHUP), SignalName);

TEST_F(E2e, ServerRunsOnWithoutCommandPort)
{
	Udp taken;
	ASSERT_TRUE(taken.Bind("127.0.0.1", CommandPort, false));
	Instance &server = Launch();
	ASSERT_TRUE(WaitTrace(server, StartTrace.size(), StartLimit));
	// The listener starts after the start-up calls and gives the port two
	// seconds; a second more lets it give up for good.
	std::this_thread::sleep_for(Milliseconds(3000));
	taken.Close();
	EXPECT_TRUE(server.process.Running());
	Send("\r\n");
	ExpectQuiet(QuietTime);
	EXPECT_TRUE(server.process.Running());
	if (Windows())
		return; // no close request from here; TearDown ends it
	server.process.Signal(SIGTERM);
	ExpectCleanExit(server);
	EXPECT_EQ(Trace(server), Join({StartTrace, {EndTrace}}));
}

struct MarkCase {
	const char *name;
	const char *mark;
	bool taken; // for a running instance
};

void PrintTo(const MarkCase &c, std::ostream *out)
{
	*out << c.name;
}

const MarkCase MarkCases[] = {
	{"UpperCase", "TAMBORIXEL", true},
	{"LowerCase", "tamborixel", false},
};

class Mark : public E2e, public testing::WithParamInterface<MarkCase> {};

// The test makes a mark of its own and takes the command port, where a new
// server sends EXIT to an instance it believes runs.
TEST_P(Mark, OnlyTheProgramsMarkMeansAnInstance)
{
	if (Windows())
		GTEST_SKIP() << "the mark of a running instance on Windows is its window class";
	const MarkCase &c = GetParam();
	const std::string name = std::string(c.mark) + ":" + std::to_string(getpid());
	const int markSocket = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
	ASSERT_GE(markSocket, 0);
	sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	// Abstract: a NUL byte, then the name without a terminating NUL.
	name.copy(address.sun_path + 1, name.size());
	const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
	ASSERT_EQ(bind(markSocket, reinterpret_cast<const sockaddr *>(&address), length), 0);
	ASSERT_TRUE(UnixNameListed("@" + name));

	Udp commandPort;
	ASSERT_TRUE(commandPort.Bind("127.0.0.1", CommandPort, false));
	Instance &server = Launch();
	// EXIT, when sent at all, goes out before the first EAPI call.
	const bool started = WaitTrace(server, 1, StartLimit);
	const std::optional<std::string> sent = commandPort.Receive(Milliseconds(50));
	// The new server's listener waits two seconds for the port.
	commandPort.Close();
	close(markSocket);
	ASSERT_TRUE(started);
	if (c.taken) {
		ASSERT_TRUE(sent.has_value()) << "no EXIT for the instance marked " << name;
		EXPECT_EQ(*sent, "EXIT\r");
	} else {
		EXPECT_FALSE(sent.has_value()) << "EXIT sent for the mark " << name;
	}
	ASSERT_TRUE(WaitReady(server));
	StopWithExit(server);
}

INSTANTIATE_TEST_SUITE_P(Table, Mark, testing::ValuesIn(MarkCases), CaseName<MarkCase>);

} // namespace
