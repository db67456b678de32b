// Commands sent to a running server: the replies that come back on port 3111
// and what the simulated board was told to do.
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/harness.h"

using namespace std::string_literals;

namespace {

struct CommandCase {
	const char *name;
	std::vector<Step> steps;
	// Trace lines between the start-up calls and the release of the library.
	std::vector<std::string> switched;
};

void PrintTo(const CommandCase &c, std::ostream *out)
{
	*out << c.name;
}

// Keeps a datagram's own text readable in the table: n copies of c.
std::string Repeat(std::size_t n, char c)
{
	return std::string(n, c);
}

// Bytes that are neither a line end, NUL, a space nor a letter, so that the
// line they make holds no keyword.
std::string HighBytes(std::size_t n)
{
	std::string text;
	for (std::size_t i = 0; i < n; i++)
		text += static_cast<char>(0x80 + (i * 37) % 0x80);
	return text;
}

const CommandCase CommandCases[] = {
	{"LowerCase", {{"green on\r\n", {"GREEN ON OK\n"}}}, Switched(1, 1)},
	{"LineFeedAlone", {{"red off\n", {"RED OFF OK\n"}}}, Switched(0, 0)},
	{"LineOverSeveralDatagrams",
	 {{"GR", {}}, {"EEN O", {}}, {"N\r\n", {"GREEN ON OK\n"}}},
	 Switched(1, 1)},
	{"OneLinePerDatagram", {{"RED ON\r\nGREEN ON\r\n", {"RED ON OK\n"}}}, Switched(0, 1)},
	{"SeveralCommandsInOneLine",
	 {{"RED ON GREEN OFF\r\n", {"RED ON OK\n", "GREEN OFF OK\n"}}},
	 Join({Switched(0, 1), Switched(1, 0)})},
	{"StatusOnLineFeed", {{"\n", {"Status OK\n"}}}, {}},
	{"CarriageReturnEndsTheLineFirst", {{"\rRED ON\n", {"Status OK\n"}}}, {}},
	{"LineEndOverTwoDatagrams",
	 {{"RED ON\r", {"RED ON OK\n"}}, {"\n", {"Status OK\n"}}},
	 Switched(0, 1)},
	{"NoKeywordNoReply", {{"HELLO WORLD\r\n", {}}}, {}},
	{"SpaceAloneNoReply", {{" \r\n", {}}}, {}},
	{"LeadingSpace", {{" RED ON\r\n", {"RED ON OK\n"}}}, Switched(0, 1)},
	{"QuoteInsideToken", {{"A\"B RED ON\r\n", {"RED ON OK\n"}}}, Switched(0, 1)},
	{"BadArguments",
	 {{"RED BLINK\r\n", {"Error\n"}},
	  {"RED\r\n", {"Error\n"}},
	  {"RED  ON\r\n", {"Error\n"}},
	  {"GREEN\r\n", {"Error\n"}}},
	 {}},
	{"ArgumentHandedOn", {{"RED GREEN ON\r\n", {"Error\n", "GREEN ON OK\n"}}}, Switched(1, 1)},
	{"ClearArgumentRunsAsSleep",
	 {{"CLEAR SLEEP 0\r\n", {"CLEAR SLEEP OK\n", "SLEEP 0 OK\n"}}},
	 {}},
	{"SleepOutOfRange",
	 {{"SLEEP 10.5\r\n", {"Error\n"}},
	  {"SLEEP -1\r\n", {"Error\n"}},
	  {"SLEEP NAN\r\n", {"Error\n"}},
	  {"SLEEP\r\n", {"Error\n"}}},
	 {}},
	{"SleepQuotedArgument", {{"SLEEP \"0.2\"\r\n", {"SLEEP 0.2 OK\n"}}}, {}},
	{"ResetAsLineDoesNothing", {{"RESET\r\n", {}}}, {}},
	{"ResetInPendingLine",
	 {{"RED ON\r\n", {"RED ON OK\n"}},
	  {"GREEN ON\r\n", {"GREEN ON OK\n"}},
	  {"RESET", {}},
	  // Discarded: the reset switches off and throws the new text away.
	  {"RED ON\r\n", {}}},
	 Join({Switched(0, 1), Switched(1, 1), Switched(1, 0), Switched(0, 0)})},
	{"NulEndsTheText", {{"RED ON\r\n\0GREEN ON\r\n"s, {"RED ON OK\n"}}}, Switched(0, 1)},
	{"NulHidesTheLineEnd",
	 {{"RED ON\0\r\n"s, {}}, {"\r\n", {"RED ON OK\n"}}},
	 Switched(0, 1)},
	{"EmptyDatagramIgnored",
	 {{"RED ON", {}}, {"", {}}, {"\r\n", {"RED ON OK\n"}}},
	 Switched(0, 1)},
	{"JunkLineNoReply", {{HighBytes(200) + "\r\n", {}}}, {}},
	// The program refuses a line too long to be a command rather than run
	// a part of it.
	{"OverlongLineRefused", {{"RED ON" + Repeat(300, ' ') + "\r\n", {"Error\n"}}}, {}},
	{"TooMuchPendingTextDropped",
	 {{Repeat(1000, 'A'), {}},
	  // 1023 characters in all: dropped, and the pending line with it.
	  {"\r\nGREEN ON\r\n" + Repeat(11, 'B'), {}},
	  {"RED ON\r\n", {"RED ON OK\n"}}},
	 Switched(0, 1)},
	{"PendingTextUpToTheLimitKept",
	 {{Repeat(1000, 'A'), {}},
	  // 1022 characters in all: kept, making a line too long to run.
	  {Repeat(20, 'B') + "\r\n", {"Error\n"}}},
	 {}},
};

class Commands : public E2e, public testing::WithParamInterface<CommandCase> {};

TEST_P(Commands, RepliesAndSwitches)
{
	const CommandCase &c = GetParam();
	Instance &server = StartServer();
	SendSteps(c.steps);
	Barrier();
	EXPECT_EQ(Trace(server), Join({StartTrace, c.switched}));
	StopWithExit(server);
}

INSTANTIATE_TEST_SUITE_P(Table, Commands, testing::ValuesIn(CommandCases), CaseName<CommandCase>);

// The road of one command, from the datagram to the board and back.
TEST_F(E2e, GreenOnSwitchesDirectionThenLevel)
{
	Instance &server = StartServer();
	Send("GREEN ON\r\n");
	ExpectReply("GREEN ON OK\n");
	EXPECT_EQ(Trace(server), Join({StartTrace, Switched(1, 1)}));
	StopWithExit(server);
	EXPECT_EQ(Trace(server), Join({StartTrace, Switched(1, 1), {EndTrace}}));
}

TEST_F(E2e, ReplyGoesToTheClientThatCompletesTheLine)
{
	Udp first, second, firstReplies, secondReplies;
	ASSERT_TRUE(first.Bind("127.0.0.2", 0, false));
	ASSERT_TRUE(second.Bind("127.0.0.3", 0, false));
	ASSERT_TRUE(firstReplies.Bind("127.0.0.2", ReplyPort, true));
	ASSERT_TRUE(secondReplies.Bind("127.0.0.3", ReplyPort, true));
	Instance &server = StartServer();

	first.Send("GREEN");
	second.Send(" ON\r\n");
	ExpectReply("GREEN ON OK\n", &secondReplies);
	second.Send("RED ");
	first.Send("OFF\n");
	ExpectReply("RED OFF OK\n", &firstReplies);

	// Status requests from each address prove that nothing else went there.
	first.Send("\r\n");
	ExpectReply("Status OK\n", &firstReplies);
	second.Send("\r\n");
	ExpectReply("Status OK\n", &secondReplies);
	Barrier();
	EXPECT_EQ(Trace(server), Join({StartTrace, Switched(1, 1), Switched(0, 0)}));
	StopWithExit(server);
}

TEST_F(E2e, SleepPausesBetweenReplies)
{
	Instance &server = StartServer();
	Send("RED ON SLEEP 1 RED OFF\r\n");
	// Arrives during the pause and waits for it.
	Send("GREEN ON\r\n");
	ExpectReply("RED ON OK\n");
	const Clock::time_point redOn = Clock::now();
	ExpectReply("SLEEP 1 OK\n");
	EXPECT_GE(Since(redOn).count(), 900);
	ExpectReply("RED OFF OK\n");
	ExpectReply("GREEN ON OK\n");

	const Clock::time_point sent = Clock::now();
	Send("SLEEP 0.5\r\n");
	ExpectReply("SLEEP 0.5 OK\n");
	EXPECT_GE(Since(sent).count(), 450);

	Barrier();
	EXPECT_EQ(Trace(server), Join({StartTrace, Switched(0, 1), Switched(0, 0), Switched(1, 1)}));
	StopWithExit(server);
}

int TimeToReset(const std::string &status)
{
	int seconds = 0;
	char end = '\0';
	if (std::sscanf(status.c_str(), "Status OK, time to reset: %d sek%c", &seconds, &end) != 2 || end != '\n')
		return -1000;
	return seconds;
}

TEST_F(E2e, StatusTellsTimeToReset)
{
	Instance &server = StartServer();
	Send("CLEAR 30\r\n");
	ExpectReply("CLEAR 30 OK\n");
	Send("\r\n");
	const std::optional<std::string> status = replies.Receive(ReplyLimit);
	ASSERT_TRUE(status.has_value());
	// A second may begin between the two requests.
	const int left = TimeToReset(*status);
	EXPECT_TRUE(left == 30 || left == 29) << testing::PrintToString(*status);
	StopWithExit(server);
}

// Each of these ends an armed deadline, failed commands included.
TEST_F(E2e, CommandsThatClearTheDeadline)
{
	const std::vector<Step> clearing = {
		{"RED OFF\r\n", {"RED OFF OK\n"}},
		{"GREEN BLINK\r\n", {"Error\n"}},
		{"SLEEP 0\r\n", {"SLEEP 0 OK\n"}},
		{"SLEEP NAN\r\n", {"Error\n"}},
		{"RESET", {}},
	};
	Instance &server = StartServer();
	for (const Step &step : clearing) {
		SCOPED_TRACE("datagram " + testing::PrintToString(step.datagram));
		Send("CLEAR 30\r\n");
		ExpectReply("CLEAR 30 OK\n");
		Send(step.datagram);
		for (const std::string &reply : step.replies)
			ExpectReply(reply);
		// After RESET this is the datagram that the reset discards.
		if (step.replies.empty())
			Send("\r\n");
		Barrier();
	}
	StopWithExit(server);
}

struct ExpiryCase {
	const char *name;
	std::string command;
	std::string reply;
	int seconds; // ahead of the current second
};

void PrintTo(const ExpiryCase &c, std::ostream *out)
{
	*out << c.name;
}

const ExpiryCase ExpiryCases[] = {
	{"TwoSeconds", "CLEAR 2\r\n", "CLEAR 2 OK\n", 2},
	{"Now", "CLEAR\r\n", "CLEAR NOW OK\n", 0},
	{"NotANumber", "clear abc\r\n", "CLEAR ABC OK\n", 0},
	{"InThePast", "CLEAR -5\r\n", "CLEAR -5 OK\n", -5},
};

class Expiry : public E2e, public testing::WithParamInterface<ExpiryCase> {};

TEST_P(Expiry, SwitchesBothOffWithoutReply)
{
	const ExpiryCase &c = GetParam();
	Instance &server = StartServer();
	const Clock::time_point armed = Clock::now();
	Send(c.command);
	ExpectReply(c.reply);
	// Only a deadline seconds away leaves time to be sure that this text
	// is pending when it passes.
	const bool partial = c.seconds >= 2;
	if (partial)
		Send("RED");

	const std::size_t expected = StartTrace.size() + 4;
	const int ahead = c.seconds > 0 ? c.seconds : 0;
	ASSERT_TRUE(WaitTrace(server, expected, Milliseconds(ahead * 1000 + 10000)))
		<< "nothing switched off";
	// It passes once the current second is later than the deadline's.
	EXPECT_GE(Since(armed).count(), ahead * 1000);
	EXPECT_EQ(Trace(server), Join({StartTrace, Switched(1, 0), Switched(0, 0)}));

	if (partial)
		// Would complete RED ON, had the partial line survived.
		Send(" ON\r\n");
	// Status OK without a time: the deadline is gone, and no reply came.
	Barrier();
	EXPECT_EQ(Trace(server).size(), expected);
	StopWithExit(server);
}

INSTANTIATE_TEST_SUITE_P(Table, Expiry, testing::ValuesIn(ExpiryCases), CaseName<ExpiryCase>);

TEST_F(E2e, CommandBeforeExpiryKeepsOutputsOn)
{
	Instance &server = StartServer();
	Send("CLEAR 2\r\n");
	ExpectReply("CLEAR 2 OK\n");
	const Clock::time_point armed = Clock::now();
	Send("GREEN ON\r\n");
	ExpectReply("GREEN ON OK\n");
	// Past the latest moment the deadline could have passed.
	std::this_thread::sleep_until(armed + Milliseconds(3500));
	Barrier();
	EXPECT_EQ(Trace(server), Join({StartTrace, Switched(1, 1)}));
	StopWithExit(server);
}

struct BoardCase {
	const char *name;
	bool noBoard;
	const char *fail;
	std::vector<Step> steps;
	std::vector<std::string> trace; // the whole trace, empty: no file at all
};

void PrintTo(const BoardCase &c, std::ostream *out)
{
	*out << c.name;
}

const std::string Failed = " -> 0xFFFFF0FF";
const std::string Ok = " -> 0x00000000";

const BoardCase BoardCases[] = {
	{"Missing", true, "",
	 {{"RED ON\r\n", {"Error\n"}}, {"GREEN OFF\r\n", {"Error\n"}}, {"\r\n", {"Status OK\n"}}},
	 {}},
	{"EveryCallFails", false, "all",
	 {{"RED ON\r\n", {"Error\n"}}, {"\r\n", {"Status OK\n"}}},
	 {"EApiLibInitialize" + Failed, "EApiGPIOGetDirectionCaps 0" + Failed,
	  // A failed direction leaves the level alone.
	  "EApiGPIOSetDirection 0 0xFFFFFFFF 0" + Failed, "EApiLibUnInitialize" + Failed}},
	{"GreenLevelFails", false, "EApiGPIOSetLevel:1",
	 {{"GREEN ON\r\n", {"Error\n"}}, {"RED ON\r\n", {"RED ON OK\n"}}},
	 Join({StartTrace,
	       {"EApiGPIOSetDirection 1 0xFFFFFFFF 0" + Ok, "EApiGPIOSetLevel 1 0xFFFFFFFF 1" + Failed},
	       Switched(0, 1),
	       {EndTrace}})},
	{"InitializeFails", false, "EApiLibInitialize",
	 {{"RED ON\r\n", {"RED ON OK\n"}}},
	 Join({{"EApiLibInitialize" + Failed, "EApiGPIOGetDirectionCaps 0" + Ok}, Switched(0, 1), {EndTrace}})},
};

class Board : public E2e, public testing::WithParamInterface<BoardCase> {};

TEST_P(Board, StatusOfEachCallDecidesTheReply)
{
	const BoardCase &c = GetParam();
	LaunchOptions options;
	options.noBoard = c.noBoard;
	options.fail = c.fail;
	Instance &server = StartServer(options);
	SendSteps(c.steps);
	Send("EXIT\r\n");
	ExpectReply("Exiting...\n");
	ExpectCleanExit(server);
	if (c.trace.empty())
		EXPECT_FALSE(TraceExists(server)) << "the simulated board was loaded";
	else
		EXPECT_EQ(Trace(server), c.trace);
}

INSTANTIATE_TEST_SUITE_P(Table, Board, testing::ValuesIn(BoardCases), CaseName<BoardCase>);

} // namespace
