#include "tests/unit/control_probe.h"

#include <windows.h>

int MakeForeignMark(const char *)
{
	// Window class names are compared without regard to case within one
	// process, so a foreign class must come from another process: the
	// end-to-end suite's window helper does that.
	return -1;
}

void SendCloseRequest(ControlHandle control)
{
	PostMessageA(reinterpret_cast<HWND>(control), WM_CLOSE, 0, 0);
}
