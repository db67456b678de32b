// The token splitter on any working line: every token lies inside the line,
// ends inside it, and there are at most 199 of them.
#include <cstdint>
#include <cstring>

#include "command/processor.h"
#include "fuzz/checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
	if (size >= WorkingLineSize)
		return 0;
	char line[WorkingLineSize];
	std::memcpy(line, data, size);
	line[size] = '\0';
	const std::size_t length = std::strlen(line);

	char *tokens[TokenSlots];
	for (char *&slot : tokens)
		slot = reinterpret_cast<char *>(1);
	SplitTokens(line, tokens);

	int count = 0;
	while (count < TokenSlots && tokens[count] != nullptr) {
		const char *token = tokens[count];
		FuzzCheck(token >= line && token <= line + length, "token outside the line");
		FuzzCheck(token + std::strlen(token) <= line + length, "token runs past the line");
		count++;
	}
	FuzzCheck(count <= MaxTokens, "more than 199 tokens");
	FuzzCheck(length != 0 || count == 0, "tokens from an empty line");
	return 0;
}
