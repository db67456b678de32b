#include <windows.h>

#include "app/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
	return RunProgram(reinterpret_cast<InstanceHandle>(instance), commandLine);
}
