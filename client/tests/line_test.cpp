#include "client/line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "command/processor.h"
#include "tests/unit/command_fakes.h"

namespace {

// Names parameterised tests after the name field of their table rows.
template <typename Case>
std::string CaseName(const testing::TestParamInfo<Case> &row)
{
	return row.param.name;
}

struct CountCase {
	const char *name;
	std::string line;
	int replies;
};

const CountCase CountCases[] = {
	{"status", "", 1},
	{"one_command", "RED ON", 1},
	{"lower_case", "green off", 1},
	{"three_commands", "RED ON SLEEP 1 RED OFF", 3},
	{"all_kinds", "RED ON GREEN ON RED OFF GREEN OFF SLEEP 0 CLEAR 5", 6},
	{"clear_now", "CLEAR", 1},
	{"clear_seconds", "CLEAR 30", 1},
	// The argument is handed on: it is tried as the next command.
	{"clear_hands_on_sleep", "CLEAR SLEEP 2", 2},
	{"clear_hands_on_red", "CLEAR RED ON", 2},
	{"clear_hands_on_green", "CLEAR GREEN OFF", 2},
	{"sleep_hands_on_red", "SLEEP RED ON", 2},
	{"red_hands_on_green", "RED GREEN ON", 2},
	// ... but only to the commands after it in the server's order.
	{"clear_not_again", "CLEAR CLEAR", 1},
	{"red_not_again", "RED RED ON", 1},
	{"green_hands_on_nothing", "GREEN RED ON", 1},
	{"red_not_back_to_sleep", "RED SLEEP 1", 1},
	{"red_without_argument", "RED", 1},
	{"green_without_argument", "GREEN", 1},
	{"sleep_without_argument", "SLEEP", 1},
	{"bad_argument", "RED BLINK", 1},
	{"no_command", "HELLO WORLD", 0},
	{"words_around", "PLEASE GREEN ON NOW", 1},
	{"double_space", "RED  ON", 1},
	{"leading_space", " RED ON", 1},
	{"trailing_space", "RED ON ", 1},
	{"space_only", " ", 0},
	{"tab_is_no_separator", "RED\tON", 0},
	{"quoted_command", "\"RED\" ON", 1},
	{"quoted_words_are_one", "\"RED ON\"", 0},
	{"after_closing_quote_dropped", "\"RE\"D ON", 0},
	{"quoted_argument", "CLEAR \"SLEEP\" 1", 2},
	{"exit", "EXIT", 1},
	{"exit_lower_case", "exit", 1},
	{"exit_inside_a_word", "TEXITS", 1},
	{"exit_ends_everything", "RED ON SLEEP 1 EXIT", 1},
	{"exit_quoted", "RED \"EXIT", 1},
	{"exit_in_long_line", "EXIT " + std::string(400, 'X'), 1},
	{"longest_runnable", "RED ON " + std::string(252, 'X'), 1},
	// Servers differ on these; the client waits for quiet instead.
	{"one_over_runnable", "RED ON " + std::string(253, 'X'), UnknownReplyCount},
	{"unclosed_quote", "RED \"ON", UnknownReplyCount},
};


class Count : public testing::TestWithParam<CountCase> {};

TEST_P(Count, IsTheNumberOfReplies)
{
	EXPECT_EQ(CountReplies(GetParam().line.c_str()), GetParam().replies);
}

// The server's own command processor, fed the line as one datagram,
// sends exactly as many replies as the table says.
TEST_P(Count, AgreesWithTheServer)
{
	const CountCase &row = GetParam();
	if (row.replies == UnknownReplyCount)
		GTEST_SKIP() << "no single answer";
	ResetFakeWorld();
	char text[NewTextSize] = {};
	PendingLine pending = {};
	ReplyAddress address = {};
	std::strcpy(address, "127.0.0.1");
	ResetDeadline deadline = 0;
	ASSERT_LT(row.line.size() + 2, sizeof text);
	std::strcpy(text, (row.line + "\r\n").c_str());
	ProcessCommandData(text, pending, address, &deadline);
	int replies = 0;
	for (const std::string &event : fake.events)
		if (event.rfind("reply ", 0) == 0)
			replies++;
	EXPECT_EQ(replies, row.replies);
}

INSTANTIATE_TEST_SUITE_P(Table, Count, testing::ValuesIn(CountCases), CaseName<CountCase>);

struct JoinCase {
	const char *name;
	std::vector<const char *> words;
	std::size_t size;
	JoinResult result;
	const char *line;
};

const JoinCase JoinCases[] = {
	{"none", {}, 16, Joined, ""},
	{"one", {"EXIT"}, 16, Joined, "EXIT"},
	{"single_spaces", {"RED", "ON"}, 16, Joined, "RED ON"},
	{"empty_word_kept", {"RED", "", "ON"}, 16, Joined, "RED  ON"},
	{"exact_fit", {"RED", "ON"}, 7, Joined, "RED ON"},
	{"one_over", {"RED", "ON"}, 6, JoinTooLong, nullptr},
	{"first_word_one_over", {"SLEEP"}, 5, JoinTooLong, nullptr},
	{"carriage_return", {"RED", "ON\r"}, 16, JoinLineEnd, nullptr},
	{"line_feed", {"RED\nGREEN", "ON"}, 16, JoinLineEnd, nullptr},
};

class Join : public testing::TestWithParam<JoinCase> {};

TEST_P(Join, BuildsTheLine)
{
	const JoinCase &row = GetParam();
	std::vector<char> line(row.size, '#');
	EXPECT_EQ(JoinWords(static_cast<int>(row.words.size()), row.words.data(), line.data(), row.size),
	          row.result);
	if (row.line != nullptr) {
		EXPECT_STREQ(line.data(), row.line);
	}
}

INSTANTIATE_TEST_SUITE_P(Table, Join, testing::ValuesIn(JoinCases),
                         CaseName<JoinCase>);

struct ErrorCase {
	const char *reply;
	int isError;
};

TEST(ErrorReply, OnlyTheWholeWordError)
{
	const ErrorCase cases[] = {
		{"Error\n", 1},     {"Error", 1},           {"Error\n\n", 0}, {"error\n", 0},
		{"Errors\n", 0},    {"Error \n", 0},        {"", 0},          {"\n", 0},
		{"RED ON OK\n", 0}, {"CLEAR ERROR OK\n", 0}, {"Exiting...\n", 0},
	};
	for (const ErrorCase &row : cases)
		EXPECT_EQ(IsErrorReply(row.reply, std::strlen(row.reply)), row.isError) << row.reply;
}

} // namespace
