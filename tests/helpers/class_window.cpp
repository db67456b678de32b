// Holds a hidden top-level window of the given class for the given number of
// seconds, as another program could. Prints "ready" once the window exists.
#include <cstdio>
#include <cstdlib>
#include <windows.h>

int main(int argc, char **argv)
{
	if (argc < 3)
		return 2;
	const HINSTANCE instance = GetModuleHandleA(nullptr);
	WNDCLASSEXA windowClass = {};
	windowClass.cbSize = sizeof windowClass;
	windowClass.lpfnWndProc = DefWindowProcA;
	windowClass.hInstance = instance;
	windowClass.lpszClassName = argv[1];
	if (RegisterClassExA(&windowClass) == 0)
		return 1;
	if (CreateWindowExA(0, argv[1], argv[1], WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
	                    nullptr, nullptr, instance, nullptr) == nullptr)
		return 1;
	std::printf("ready\n");
	std::fflush(stdout);
	const UINT_PTR timer = SetTimer(nullptr, 0, static_cast<UINT>(std::atoi(argv[2]) * 1000), nullptr);
	MSG message;
	while (GetMessageA(&message, nullptr, 0, 0) > 0) {
		if (message.message == WM_TIMER && message.wParam == timer)
			break;
		DispatchMessageA(&message);
	}
	return 0;
}
