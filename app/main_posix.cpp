#include <cstring>

#include "app/startup.h"
#include "command/types.h"

namespace {

// Room for any text that can still run; a longer one is refused whole.
char commandLine[NewTextSize + 1];

int ContainsExit(const char *text)
{
	for (; *text != '\0'; text++)
		if ((text[0] | 0x20) == 'e' && (text[1] | 0x20) == 'x' && (text[2] | 0x20) == 'i' &&
		    (text[3] | 0x20) == 't')
			return 1;
	return 0;
}

// The arguments joined by single spaces, white space at the start removed:
// the same text a Windows program finds after its name on its command line.
void JoinArguments(int argc, char **argv)
{
	std::size_t used = 0;
	int cut = 0;
	for (int i = 1; i < argc && !cut; i++) {
		const char *part = argv[i];
		if (used == 0)
			part += std::strspn(part, " \t\n\v\f\r");
		const std::size_t length = std::strlen(part);
		const std::size_t separator = used != 0 ? 1 : 0;
		if (used + separator + length >= sizeof commandLine) {
			cut = 1;
			break;
		}
		if (separator)
			commandLine[used++] = ' ';
		std::memcpy(commandLine + used, part, length);
		used += length;
	}
	commandLine[used] = '\0';
	if (!cut)
		return;
	// Too long to run, but EXIT must still be found wherever it stands.
	for (int i = 1; i < argc; i++)
		if (ContainsExit(argv[i])) {
			std::strcpy(commandLine, "EXIT");
			return;
		}
	std::memset(commandLine, 'X', sizeof commandLine - 1);
	commandLine[sizeof commandLine - 1] = '\0';
}

} // namespace

int main(int argc, char **argv)
{
	JoinArguments(argc, argv);
	return RunProgram(0, commandLine);
}
