// Close requests and the mark of a running instance as each platform has
// them: a signal or WM_CLOSE; an abstract socket or a window class.
#include <signal.h>

#include <string>
#include <thread>

#include "tests/e2e/harness.h"

namespace {

class Instances : public E2e {
protected:
	// What a service manager or a person does to end the server: SIGTERM
	// on Linux, WM_CLOSE to its window on Windows (through the launcher).
	void Close(Instance &server)
	{
		if (!Windows()) {
			server.process.Signal(SIGTERM);
			return;
		}
		Instance &closer = Launch(WithArgs({"--close"}));
		const std::optional<int> status = closer.process.WaitExit(ExitLimit);
		ASSERT_TRUE(status.has_value());
		EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "no window to close";
	}

	// Whether a server started now sends EXIT to an instance it believes
	// runs: the test holds the command port for the moment it would.
	bool NewServerSendsExit(Instance **server)
	{
		Udp commandPort;
		EXPECT_TRUE(commandPort.Bind("127.0.0.1", CommandPort, false));
		*server = &Launch();
		// EXIT, when sent at all, goes out before the first EAPI call.
		EXPECT_TRUE(WaitTrace(**server, 1, StartLimit));
		const std::optional<std::string> sent = commandPort.Receive(Milliseconds(50));
		// The new server's listener waits two seconds for the port.
		commandPort.Close();
		if (sent) {
			EXPECT_EQ(*sent, "EXIT\r");
		}
		return sent.has_value();
	}
};

TEST_F(Instances, CloseRequestEndsServer)
{
	Instance &server = StartServer();
	Send("RED ON\r\n");
	ExpectReply("RED ON OK\n");
	Close(server);
	ExpectCleanExit(server);
	EXPECT_EQ(Trace(server), Join({StartTrace, Switched(0, 1), {EndTrace}}));
}

TEST_F(Instances, CloseRequestCutsSleepShort)
{
	Instance &server = StartServer();
	Send("SLEEP 10 GREEN ON\r\n");
	std::this_thread::sleep_for(Milliseconds(300));
	const Clock::time_point asked = Clock::now();
	Close(server);
	ExpectCleanExit(server);
	EXPECT_LT(Since(asked).count(), 8000) << "the close request waited for the pause";
	ExpectQuiet(Milliseconds(50));
	EXPECT_EQ(Trace(server), Join({StartTrace, {EndTrace}}));
}

TEST_F(Instances, OneShotRunInASleepCountsAsInstance)
{
	Instance &oneShot = Launch(WithArgs({"SLEEP", "3"}));
	ASSERT_TRUE(WaitTrace(oneShot, StartTrace.size(), StartLimit));
	Instance *server = nullptr;
	EXPECT_TRUE(NewServerSendsExit(&server));
	ExpectCleanExit(oneShot);
	ASSERT_TRUE(WaitReady(*server));
	StopWithExit(*server);
}

struct WindowCase {
	const char *name;
	const char *className;
	bool instance;
};

const WindowCase WindowCases[] = {
	{"SameClass", "TAMBORIXEL", true},
	{"LowerCaseClass", "tamborixel", false},
};

class ForeignWindow : public Instances, public testing::WithParamInterface<WindowCase> {};

// Any top-level window of the class counts, whichever program made it.
TEST_P(ForeignWindow, CountsByItsExactClassName)
{
	if (!Windows())
		GTEST_SKIP() << "window classes are the mark on Windows only";
	const WindowCase &c = GetParam();
	Instance &window = Launch(WithArgs({"--window", c.className, "30"}));
	const Clock::time_point end = Clock::now() + StartLimit;
	while (window.process.Output().find("ready") == std::string::npos && Clock::now() < end &&
	       window.process.Running())
		std::this_thread::sleep_for(Milliseconds(20));
	ASSERT_NE(window.process.Output().find("ready"), std::string::npos) << "the window helper did not start";

	Instance *server = nullptr;
	EXPECT_EQ(NewServerSendsExit(&server), c.instance);
	ASSERT_TRUE(WaitReady(*server));
	StopWithExit(*server);
	window.process.Kill();
}

INSTANTIATE_TEST_SUITE_P(Table, ForeignWindow, testing::ValuesIn(WindowCases), CaseName<WindowCase>);

} // namespace
