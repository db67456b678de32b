// The program: start-up, the three modes and the shutdown.
#pragma once

#include "app/control.h"

// commandLine is the text after the program name, without the white space
// before it; it is upper-cased in place. Returns the exit code, always 0.
int RunProgram(InstanceHandle instance, char *commandLine);
