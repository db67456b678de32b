#include "client/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Names parameterised tests after the name field of their table rows.
template <typename Case>
std::string CaseName(const testing::TestParamInfo<Case> &row)
{
	return row.param.name;
}

struct ArgumentCase {
	const char *name;
	std::vector<const char *> args; // after the program name
	SendAction action;
	const char *host;
	int firstWord;
	int wordCount;
	std::uint32_t timeout;
	const char *error; // a part of the message, for usage errors
};

const ArgumentCase ArgumentCases[] = {
	{"host_only", {"127.0.0.1"}, ActionSend, "127.0.0.1", 2, 0, 15000, ""},
	{"host_and_words", {"board", "RED", "ON"}, ActionSend, "board", 2, 2, 15000, ""},
	{"timeout", {"--timeout", "2.5", "h", "GREEN", "ON"}, ActionSend, "h", 4, 2, 2500, ""},
	{"timeout_joined", {"--timeout=0.25", "h"}, ActionSend, "h", 3, 0, 250, ""},
	{"timeout_short", {"-t", "30", "h"}, ActionSend, "h", 4, 0, 30000, ""},
	{"timeout_rounds_up", {"-t", "0.0001", "h"}, ActionSend, "h", 4, 0, 1, ""},
	{"timeout_longest", {"-t", "86400", "h"}, ActionSend, "h", 4, 0, 86400000, ""},
	// After HOST every word is the command's, also one like an option.
	{"words_like_options", {"h", "SLEEP", "-1", "--help"}, ActionSend, "h", 2, 3, 15000, ""},
	{"double_dash", {"--", "-host"}, ActionSend, "-host", 3, 0, 15000, ""},
	{"help", {"--help"}, ActionHelp, nullptr, 0, 0, 15000, ""},
	{"help_short_before_host", {"-h", "host", "RED"}, ActionHelp, nullptr, 0, 0, 15000, ""},
	{"version", {"--version"}, ActionVersion, nullptr, 0, 0, 15000, ""},
	{"version_short", {"-V"}, ActionVersion, nullptr, 0, 0, 15000, ""},
	{"nothing", {}, ActionUsageError, nullptr, 0, 0, 15000, "no HOST"},
	{"options_only", {"-t", "3"}, ActionUsageError, nullptr, 0, 0, 3000, "no HOST"},
	{"empty_host", {""}, ActionUsageError, nullptr, 0, 0, 15000, "HOST is empty"},
	{"unknown_option", {"--verbose", "h"}, ActionUsageError, nullptr, 0, 0, 15000, "unknown option --verbose"},
	{"timeout_missing", {"h", "--timeout"}, ActionSend, "h", 2, 1, 15000, ""},
	{"timeout_without_value", {"--timeout"}, ActionUsageError, nullptr, 0, 0, 15000, "needs a number"},
	{"timeout_zero", {"-t", "0", "h"}, ActionUsageError, nullptr, 0, 0, 15000, "not a number"},
	{"timeout_negative", {"-t", "-1", "h"}, ActionUsageError, nullptr, 0, 0, 15000, "not a number"},
	{"timeout_word", {"-t", "soon", "h"}, ActionUsageError, nullptr, 0, 0, 15000, "\"soon\""},
	{"timeout_trailing", {"-t", "5s", "h"}, ActionUsageError, nullptr, 0, 0, 15000, "not a number"},
	{"timeout_empty", {"--timeout=", "h"}, ActionUsageError, nullptr, 0, 0, 15000, "not a number"},
	{"timeout_nan", {"-t", "nan", "h"}, ActionUsageError, nullptr, 0, 0, 15000, "not a number"},
	{"timeout_one_over", {"-t", "86400.001", "h"}, ActionUsageError, nullptr, 0, 0, 15000, "not a number"},
};

class Arguments : public testing::TestWithParam<ArgumentCase> {};

TEST_P(Arguments, AreRead)
{
	const ArgumentCase &row = GetParam();
	std::vector<const char *> argv = {"tamborixel-send"};
	argv.insert(argv.end(), row.args.begin(), row.args.end());
	SendOptions options;
	ParseSendArguments(static_cast<int>(argv.size()), argv.data(), &options);
	EXPECT_EQ(options.action, row.action);
	if (row.action == ActionSend) {
		EXPECT_STREQ(options.host, row.host);
		EXPECT_EQ(options.firstWord, row.firstWord);
		EXPECT_EQ(options.wordCount, row.wordCount);
	}
	if (row.action != ActionHelp && row.action != ActionVersion && row.error[0] == '\0') {
		EXPECT_EQ(options.timeoutMilliseconds, row.timeout);
	}
	if (row.action == ActionUsageError) {
		EXPECT_NE(std::string(options.error).find(row.error), std::string::npos) << options.error;
	}
}

INSTANTIATE_TEST_SUITE_P(Table, Arguments, testing::ValuesIn(ArgumentCases),
                         CaseName<ArgumentCase>);

} // namespace
