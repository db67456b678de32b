#include "sim/terminal.h"

#include <unistd.h>

int ErrorStreamIsTerminal(void)
{
	return isatty(STDERR_FILENO);
}
