// The command language, fed through ProcessCommandData one datagram at a
// time, against recording outputs, replies, clock and pause.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "command/processor.h"
#include "tests/unit/command_fakes.h"

namespace {

const char Requester[] = "10.0.0.7";
const std::int64_t Start = 1000000;

std::string R(const std::string &text)
{
	return "reply 10.0.0.7:3111 " + text;
}

struct Session {
	char text[NewTextSize] = {};
	PendingLine pending = {};
	ReplyAddress reply = {};
	ResetDeadline deadline = 0;

	int Feed(const std::string &datagram)
	{
		std::memset(text, 0, sizeof text);
		std::memcpy(text, datagram.data(), datagram.size());
		std::strcpy(reply, Requester);
		return ProcessCommandData(text, pending, reply, &deadline);
	}
};

struct Case {
	const char *name;
	std::vector<std::string> datagrams;
	std::vector<std::string> events;
	std::optional<std::int64_t> deadline; // seconds after Start; none: not armed
};

class CommandLanguage : public ::testing::TestWithParam<Case> {
protected:
	void SetUp() override { ResetFakeWorld(); }
};

TEST_P(CommandLanguage, GivesTheseSwitchesPausesAndReplies)
{
	const Case &c = GetParam();
	Session session;
	for (const std::string &datagram : c.datagrams)
		session.Feed(datagram);
	EXPECT_EQ(fake.events, c.events);
	if (c.deadline)
		EXPECT_EQ(session.deadline, Start + *c.deadline);
	else
		EXPECT_EQ(session.deadline, 0);
}

const Case Cases[] = {
	{"GreenOn", {"GREEN ON\r\n"}, {"switch 1 1", R("GREEN ON OK\n")}, {}},
	{"LowerCase", {"green on\r\n"}, {"switch 1 1", R("GREEN ON OK\n")}, {}},
	{"RedOffWithCrOnly", {"RED OFF\r"}, {"switch 0 0", R("RED OFF OK\n")}, {}},
	{"NoLineEndWaits", {"GREEN ON"}, {}, {}},
	{"LineOverTwoDatagrams", {"GREEN ON", "\r\n"}, {"switch 1 1", R("GREEN ON OK\n")}, {}},
	{"LineOverThreeDatagrams", {"GR", "EEN O", "N\n"}, {"switch 1 1", R("GREEN ON OK\n")}, {}},
	{"OnlyFirstLineOfDatagramRuns", {"RED ON\r\nGREEN ON\r\n"}, {"switch 0 1", R("RED ON OK\n")}, {}},
	{"LfIsStatus", {"\n"}, {R("Status OK\n")}, {}},
	{"CrLfIsStatus", {"\r\n"}, {R("Status OK\n")}, {}},
	{"StatusWithDeadline", {"CLEAR 30\r\n", "\r\n"},
	 {R("CLEAR 30 OK\n"), R("Status OK, time to reset: 30 sek\n")}, 30},
	{"StatusWithPassedDeadline", {"CLEAR -5\r\n", "\r\n"},
	 {R("CLEAR -5 OK\n"), R("Status OK, time to reset: -5 sek\n")}, -5},
	{"StatusRightAfterClear", {"CLEAR\r\n", "\r\n"},
	 {R("CLEAR NOW OK\n"), R("Status OK, time to reset: 0 sek\n")}, 0},
	{"UnknownWordsGetNoReply", {"HELLO WORLD\r\n"}, {}, {}},
	{"ClearAlone", {"CLEAR\r\n"}, {R("CLEAR NOW OK\n")}, 0},
	{"ClearNow", {"CLEAR NOW\r\n"}, {R("CLEAR NOW OK\n")}, 0},
	{"ClearWithText", {"CLEAR ABC\r\n"}, {R("CLEAR ABC OK\n")}, 0},
	{"ClearWithEmptyArgument", {"CLEAR \r\n"}, {R("CLEAR  OK\n")}, 0},
	{"ClearLeadingNumber", {"CLEAR 12AB\r\n"}, {R("CLEAR 12AB OK\n")}, 12},
	{"ClearBeyond32Bits", {"CLEAR 99999999999\r\n"}, {R("CLEAR 99999999999 OK\n")}, 2147483647},
	{"ClearBelow32Bits", {"CLEAR -99999999999\r\n"}, {R("CLEAR -99999999999 OK\n")}, -2147483648LL},
	{"StatusAtTheEdgeOf32Bits", {"CLEAR 2147483647\r\n", "\r\n"},
	 {R("CLEAR 2147483647 OK\n"), R("Status OK, time to reset: 2147483647 sek\n")}, 2147483647},
	{"SleepHalf", {"SLEEP 0.5\r\n"}, {"pause 500", R("SLEEP 0.5 OK\n")}, {}},
	{"SleepZero", {"SLEEP 0\r\n"}, {"pause 0", R("SLEEP 0 OK\n")}, {}},
	{"SleepTen", {"SLEEP 10\r\n"}, {"pause 10000", R("SLEEP 10 OK\n")}, {}},
	{"SleepProductTruncated", {"SLEEP 2.01\r\n"}, {"pause 2009", R("SLEEP 2.01 OK\n")}, {}},
	{"SleepAboveTen", {"SLEEP 10.5\r\n"}, {R("Error\n")}, {}},
	{"SleepNegative", {"SLEEP -1\r\n"}, {R("Error\n")}, {}},
	{"SleepNan", {"SLEEP NAN\r\n"}, {R("Error\n")}, {}},
	{"SleepInfinity", {"SLEEP INF\r\n"}, {R("Error\n")}, {}},
	{"SleepHexadecimal", {"SLEEP 0x2\r\n"}, {"pause 2000", R("SLEEP 0X2 OK\n")}, {}},
	{"SleepExponent", {"SLEEP 1e1\r\n"}, {"pause 10000", R("SLEEP 1E1 OK\n")}, {}},
	{"SleepAlone", {"SLEEP\r\n"}, {R("Error\n")}, {}},
	{"SleepText", {"SLEEP ABC\r\n"}, {"pause 0", R("SLEEP ABC OK\n")}, {}},
	{"SleepEmptyArgument", {"SLEEP \r\n"}, {"pause 0", R("SLEEP  OK\n")}, {}},
	{"SleepClearsDeadline", {"CLEAR 30\r\n", "SLEEP 0\r\n"}, {R("CLEAR 30 OK\n"), "pause 0", R("SLEEP 0 OK\n")}, {}},
	{"FailedSleepClearsDeadline", {"CLEAR 30\r\n", "SLEEP 11\r\n"}, {R("CLEAR 30 OK\n"), R("Error\n")}, {}},
	{"RedBlink", {"CLEAR 30\r\n", "RED BLINK\r\n"}, {R("CLEAR 30 OK\n"), R("Error\n")}, {}},
	{"RedAlone", {"CLEAR 30\r\n", "RED\r\n"}, {R("CLEAR 30 OK\n"), R("Error\n")}, {}},
	{"GreenWithoutArgument", {"GREEN\r\n"}, {R("Error\n")}, {}},
	{"SeveralCommandsInOrder", {"RED ON SLEEP 1 RED OFF\r\n"},
	 {"switch 0 1", R("RED ON OK\n"), "pause 1000", R("SLEEP 1 OK\n"), "switch 0 0", R("RED OFF OK\n")}, {}},
	{"ClearHandsItsArgumentToSleep", {"CLEAR SLEEP 2\r\n"},
	 {R("CLEAR SLEEP OK\n"), "pause 2000", R("SLEEP 2 OK\n")}, {}},
	{"ClearHandsItsArgumentToRed", {"CLEAR RED ON\r\n"},
	 {R("CLEAR RED OK\n"), "switch 0 1", R("RED ON OK\n")}, {}},
	{"RedHandsItsArgumentToGreen", {"RED GREEN ON\r\n"}, {R("Error\n"), "switch 1 1", R("GREEN ON OK\n")}, {}},
	{"SleepHandsItsArgumentToRed", {"SLEEP RED ON\r\n"},
	 {"pause 0", R("SLEEP RED OK\n"), "switch 0 1", R("RED ON OK\n")}, {}},
	{"ClearClear", {"CLEAR CLEAR 5\r\n"}, {R("CLEAR CLEAR OK\n")}, 0},
	{"DoubleSpaceGivesEmptyArgument", {"RED  ON\r\n"}, {R("Error\n")}, {}},
	{"QuotedArgument", {"SLEEP \"2\"\r\n"}, {"pause 2000", R("SLEEP 2 OK\n")}, {}},
	{"QuotedArgumentWithSpaces", {"SLEEP \"1 2\"X RED ON\r\n"},
	 {"pause 1000", R("SLEEP 1 2 OK\n"), "switch 0 1", R("RED ON OK\n")}, {}},
	{"UnclosedQuoteTakesTheRest", {"SLEEP \"2 RED ON\r\n"}, {"pause 2000", R("SLEEP 2 RED ON OK\n")}, {}},
	{"QuoteInsideToken", {"A\"B C\"D RED ON\r\n"}, {"switch 0 1", R("RED ON OK\n")}, {}},
	{"ResetAsLineDoesNothing", {"RESET\r\n"}, {}, {}},
	{"ResetPendingSwitchesBothOff", {"CLEAR 30\r\n", "RESET", "GREEN ON\r\n"},
	 {R("CLEAR 30 OK\n"), "switch 1 0", "switch 0 0"}, {}},
	{"ResetPendingSwallowsExit", {"RESET", "EXIT\r\n"}, {"switch 1 0", "switch 0 0"}, {}},
	{"ResetInsideWord", {"PRESETS", "\r\n"}, {"switch 1 0", "switch 0 0"}, {}},
	{"ExitWithoutLineEnd", {"exit"}, {R("Exiting...\n"), "quit"}, {}},
	{"ExitInsideWord", {"NEXIT\r\n"}, {R("Exiting...\n"), "quit"}, {}},
	{"ExitOverTwoDatagrams", {"EX", "IT"}, {R("Exiting...\n"), "quit"}, {}},
	{"ExitAfterLineEndIsLost", {"RED ON\nEXIT"}, {"switch 0 1", R("RED ON OK\n")}, {}},
	{"ExitBeforeCommandsRunsNothing", {"EXIT RED ON\r\n"}, {R("Exiting...\n"), "quit"}, {}},
	{"SpaceOnlyGetsNoReply", {" \r\n"}, {}, {}},
	{"LeadingSpaceStillRuns", {" RED ON\r\n"}, {"switch 0 1", R("RED ON OK\n")}, {}},
	{"TabIsNoSeparator", {"RED\tON\r\n"}, {}, {}},
	{"CrFirstGivesStatus", {"\rRED ON\n"}, {R("Status OK\n")}, {}},
	{"CrThenLfInNextDatagram", {"RED ON\r", "\n"}, {"switch 0 1", R("RED ON OK\n"), R("Status OK\n")}, {}},
	{"LfBeforeCrCutsAtLf", {"RED ON\n\rGREEN ON"}, {"switch 0 1", R("RED ON OK\n")}, {}},
	// 198 empty tokens, then RED as the 199th: its argument is never made.
	{"TokenCapCutsArgument", {std::string(198, ' ') + "RED ON\r\n"}, {R("Error\n")}, {}},
	{"TokenCapLastPairFits", {std::string(197, ' ') + "RED ON\r\n"}, {"switch 0 1", R("RED ON OK\n")}, {}},
	{"LineOfWorkingLineSizeRuns", {"RED ON " + std::string(252, 'X') + "\r\n"}, {"switch 0 1", R("RED ON OK\n")}, {}},
	{"LineTooLongForWorkingLine", {"RED ON " + std::string(253, 'X') + "\r\n"}, {R("Error\n")}, {}},
	{"TooLongLineEmptiesPending", {"RED ON " + std::string(253, 'X') + "\r\n", "GREEN ON\r\n"},
	 {R("Error\n"), "switch 1 1", R("GREEN ON OK\n")}, {}},
	{"LongLineOverDatagrams", {std::string(200, ' '), std::string(100, ' ') + "RED ON\r\n"}, {R("Error\n")}, {}},
};

INSTANTIATE_TEST_SUITE_P(Table, CommandLanguage, ::testing::ValuesIn(Cases),
                         [](const ::testing::TestParamInfo<Case> &param) { return std::string(param.param.name); });

class CommandProcessor : public ::testing::Test {
protected:
	void SetUp() override { ResetFakeWorld(); }
	Session session;
};

TEST_F(CommandProcessor, LengthRuleDropsTextAndEmptiesPendingLine)
{
	EXPECT_EQ(session.Feed(std::string(1000, 'A')), 0);
	EXPECT_EQ(session.Feed(std::string(22, 'B')), 0);
	EXPECT_EQ(std::strlen(session.pending), 1022u);
	EXPECT_EQ(session.Feed("C"), 1);
	EXPECT_EQ(std::strlen(session.pending), 0u);
	for (std::size_t i = 0; i < PendingLineSize; i++)
		ASSERT_EQ(session.pending[i], 0) << "byte " << i;

	EXPECT_EQ(session.Feed(std::string(1000, 'A')), 0);
	EXPECT_EQ(session.Feed(std::string(23, 'B')), 1);
	EXPECT_EQ(session.pending[0], 0);
	EXPECT_TRUE(fake.events.empty());
}

TEST_F(CommandProcessor, ResetEmptiesTextPendingLineAndReplyAddress)
{
	session.Feed("CLEAR 5\r\n");
	session.Feed("RESET NOW");
	session.Feed("GREEN ON\r\n");
	EXPECT_EQ(session.text[0], 0);
	EXPECT_EQ(session.pending[0], 0);
	EXPECT_EQ(session.reply[0], 0);
	EXPECT_EQ(session.deadline, 0);
}

TEST_F(CommandProcessor, ExitKeepsTheUpperCasedPendingLine)
{
	session.Feed("red exit\r\nmore");
	EXPECT_STREQ(session.pending, "RED EXIT");
}

TEST_F(CommandProcessor, FailedSwitchRepliesErrorAndStillClearsDeadline)
{
	fake.redResult = 1;
	session.Feed("CLEAR 30\r\n");
	session.Feed("RED ON GREEN ON\r\n");
	const std::vector<std::string> expected = {R("CLEAR 30 OK\n"), "switch 0 1", R("Error\n"), "switch 1 1",
	                                           R("GREEN ON OK\n")};
	EXPECT_EQ(fake.events, expected);
	EXPECT_EQ(session.deadline, 0);
}

TEST_F(CommandProcessor, ResetTriesRedWhenGreenFails)
{
	fake.greenResult = 1;
	session.Feed("RESET");
	session.Feed("x");
	const std::vector<std::string> expected = {"switch 1 0", "switch 0 0"};
	EXPECT_EQ(fake.events, expected);
}

TEST_F(CommandProcessor, StopDuringSleepEndsTheLineWithoutReply)
{
	fake.stopDuringPause = 1;
	session.Feed("RED ON SLEEP 5 GREEN ON\r\n");
	const std::vector<std::string> expected = {"switch 0 1", R("RED ON OK\n"), "pause 5000"};
	EXPECT_EQ(fake.events, expected);
}

TEST_F(CommandProcessor, NothingRunsOnceTheStopIsRaised)
{
	fake.stopRaised = 1;
	session.Feed("RED ON\r\n");
	EXPECT_TRUE(fake.events.empty());
}

TEST_F(CommandProcessor, OverlongArgumentIsCutSoThatReplyEndsInOk)
{
	const std::string argument(250, '7');
	session.Feed("CLEAR " + argument + "\r\n");
	ASSERT_EQ(fake.events.size(), 1u);
	const std::string reply = fake.events[0].substr(R("").size());
	EXPECT_EQ(reply.size(), ReplyTextSize - 1);
	EXPECT_EQ(reply.substr(0, 6 + 10), "CLEAR " + argument.substr(0, 10));
	EXPECT_EQ(reply.substr(reply.size() - 4), " OK\n");
	EXPECT_EQ(session.deadline, Start + 2147483647);
}

TEST_F(CommandProcessor, ArgumentThatJustFitsIsNotCut)
{
	const std::string fits(245, '1');
	session.Feed("CLEAR " + fits + "\r\n");
	session.Feed("CLEAR " + fits + "2\r\n");
	const std::vector<std::string> expected = {R("CLEAR " + fits + " OK\n"), R("CLEAR " + fits + " OK\n")};
	EXPECT_EQ(fake.events, expected);
}

struct TokenCase {
	const char *name;
	std::string text;
	std::vector<std::string> tokens;
};

class TokenSplitter : public ::testing::TestWithParam<TokenCase> {};

TEST_P(TokenSplitter, MakesTheseTokens)
{
	const TokenCase &c = GetParam();
	char text[WorkingLineSize] = {};
	std::memcpy(text, c.text.data(), c.text.size());
	char *tokens[TokenSlots];
	for (char *&slot : tokens)
		slot = nullptr;
	SplitTokens(text, tokens);
	std::vector<std::string> made;
	for (int i = 0; i < TokenSlots && tokens[i] != nullptr; i++)
		made.emplace_back(tokens[i]);
	EXPECT_EQ(made, c.tokens);
}

const TokenCase TokenCases[] = {
	{"Empty", "", {}},
	{"One", "RED", {"RED"}},
	{"Two", "RED ON", {"RED", "ON"}},
	{"DoubleSpace", "A  B", {"A", "", "B"}},
	{"LeadingSpace", " A", {"", "A"}},
	{"TrailingSpace", "A ", {"A", ""}},
	{"OnlySpace", " ", {"", ""}},
	{"Tab", "A\tB", {"A\tB"}},
	{"Quoted", "\"A B\" C", {"A B", "C"}},
	{"AfterClosingQuoteDropped", "\"A B\"XY C", {"A B", "C"}},
	{"QuoteInside", "A\"B C", {"A\"B", "C"}},
	{"EmptyQuotes", "\"\" A", {"", "A"}},
	{"Unclosed", "\"A B C", {"A B C"}},
	{"UnclosedAtEnd", "A \"", {"A", ""}},
	{"AtMost199", std::string(250, ' '), std::vector<std::string>(199, "")},
};

INSTANTIATE_TEST_SUITE_P(Table, TokenSplitter, ::testing::ValuesIn(TokenCases),
                         [](const ::testing::TestParamInfo<TokenCase> &param) { return std::string(param.param.name); });

TEST(WholeNumber, ReadsAsAtoiWithSaturation)
{
	const struct {
		const char *text;
		std::int32_t value;
	} cases[] = {
		{"30", 30}, {" \t\n42x", 42}, {"-5", -5}, {"+7", 7}, {"ABC", 0}, {"", 0}, {"- 5", 0}, {"--5", 0},
		{"2147483647", 2147483647}, {"2147483648", 2147483647}, {"99999999999999999999", 2147483647},
		{"-2147483648", -2147483647 - 1}, {"-2147483649", -2147483647 - 1}, {"00012", 12},
	};
	for (const auto &c : cases)
		EXPECT_EQ(ReadWholeNumber(c.text), c.value) << c.text;
}

} // namespace
