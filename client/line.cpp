#include "client/line.h"

#include <cstring>

namespace {

// A line the server runs has at most 130 words (259 characters), far below
// the server's limit of 199, so no word is lost to that limit here.
constexpr int MaxWords = 200;

void UpperCase(char *text)
{
	for (; *text != '\0'; text++)
		if (*text >= 'a' && *text <= 'z')
			*text = static_cast<char>(*text - 'a' + 'A');
}

// Splits as the server does: single spaces, and a word that starts with a
// double quote runs to the next double quote (what follows that quote up to
// the next space is dropped). Returns the number of words, or -1 for an
// unclosed quote.
int SplitWords(char *text, char **words)
{
	int n = 0;
	if (*text == '\0')
		return 0;
	char *cursor = text;
	while (n < MaxWords) {
		words[n++] = cursor;
		if (*cursor == '"') {
			std::memmove(cursor, cursor + 1, std::strlen(cursor + 1) + 1);
			char *close = std::strchr(cursor, '"');
			if (close == nullptr)
				return -1;
			*close = '\0';
			cursor = close + 1;
		}
		char *space = std::strchr(cursor, ' ');
		if (space == nullptr)
			break;
		*space = '\0';
		cursor = space + 1;
	}
	return n;
}

int Is(const char *word, const char *keyword)
{
	return word != nullptr && std::strcmp(word, keyword) == 0;
}

} // namespace

JoinResult JoinWords(int count, const char *const *words, char *line, std::size_t size)
{
	std::size_t used = 0;
	line[0] = '\0';
	for (int i = 0; i < count; i++) {
		const std::size_t length = std::strlen(words[i]);
		if (std::strpbrk(words[i], "\r\n") != nullptr)
			return JoinLineEnd;
		const std::size_t separator = i > 0 ? 1 : 0;
		if (used + separator + length >= size)
			return JoinTooLong;
		if (separator)
			line[used++] = ' ';
		std::memcpy(line + used, words[i], length);
		used += length;
		line[used] = '\0';
	}
	return Joined;
}

int CountReplies(const char *line)
{
	const std::size_t length = std::strlen(line);
	char text[ClientLineSize];
	if (length >= sizeof text)
		return UnknownReplyCount;
	std::memcpy(text, line, length + 1);
	UpperCase(text);

	// EXIT stops the server before anything else of the line runs, even
	// inside a word or a quote, and even in a line too long to run.
	if (std::strstr(text, "EXIT") != nullptr)
		return 1;
	if (length > RunnableLineLength)
		return UnknownReplyCount;
	if (length == 0)
		return 1; // the status

	char *words[MaxWords];
	const int n = SplitWords(text, words);
	if (n < 0)
		return UnknownReplyCount;

	// Every command takes the next word as its argument, and that word is
	// then tried as the following command: "CLEAR SLEEP 2" is two commands.
	int replies = 0;
	for (int i = 0; i < n; i++) {
		const char *word = words[i];
		if (Is(word, "CLEAR")) {
			replies++;
			word = ++i < n ? words[i] : nullptr;
		}
		if (Is(word, "SLEEP")) {
			replies++;
			word = ++i < n ? words[i] : nullptr;
		}
		if (Is(word, "RED")) {
			replies++;
			word = ++i < n ? words[i] : nullptr;
		}
		if (Is(word, "GREEN")) {
			replies++;
			++i;
		}
	}
	return replies;
}

int IsErrorReply(const char *reply, std::size_t length)
{
	static const char Error[] = "Error";
	const std::size_t errorLength = sizeof Error - 1;
	if (length == errorLength + 1 && reply[errorLength] == '\n')
		length--;
	return length == errorLength && std::memcmp(reply, Error, errorLength) == 0;
}
