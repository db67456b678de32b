#include "sim/terminal.h"

#include <io.h>
#include <stdio.h>

int ErrorStreamIsTerminal(void)
{
	return _isatty(_fileno(stderr));
}
