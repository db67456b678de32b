// What a control test needs of the platform beside the program's own calls.
#pragma once

#include "app/control.h"

// Makes a mark of a running instance under another name, as some other
// program could; 0 on success, -1 when only another process can.
int MakeForeignMark(const char *name);

// What a person or a service manager does to close the running instance.
void SendCloseRequest(ControlHandle control);
