// The hidden control window: its class name marks a running instance, and
// its window procedure turns the quit request into the end of the loop.
#include "app/control.h"

#include <cstring>
#include <windows.h>

namespace {

const char ClassName[] = "TAMBORIXEL";
constexpr UINT WM_QUIT_REQUEST = WM_APP + 0x66;
constexpr int ClassNameBufferSize = 300;

// Written by the main thread before the listener starts; read by the
// listener for the quit request.
HWND controlWindow;

struct InstanceSearch {
	const char *className;
	HWND found;
};

LRESULT CALLBACK ControlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
	switch (message) {
	case WM_QUIT_REQUEST:
		DestroyWindow(window);
		return 0;
	case WM_DESTROY:
		PostQuitMessage(0);
		return 0;
	default:
		// WM_CLOSE destroys the window here, which ends the loop as the
		// quit request does.
		return DefWindowProcA(window, message, wParam, lParam);
	}
}

BOOL CALLBACK FindInstanceWindow(HWND window, LPARAM lParam)
{
	InstanceSearch *search = reinterpret_cast<InstanceSearch *>(lParam);
	char className[ClassNameBufferSize];
	if (GetClassNameA(window, className, ClassNameBufferSize) > 0 &&
	    std::strcmp(className, search->className) == 0) {
		search->found = window;
		return FALSE;
	}
	return TRUE;
}

} // namespace

void RegisterControlClass(void)
{
	const HINSTANCE instance = GetModuleHandleA(nullptr);
	WNDCLASSEXA windowClass = {};
	windowClass.cbSize = sizeof windowClass;
	windowClass.style = CS_HREDRAW | CS_VREDRAW;
	windowClass.lpfnWndProc = ControlWindowProc;
	windowClass.hInstance = instance;
	// The program carries no icon 1, so both stay empty, as they always have.
	windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
	windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(1));
	windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
	windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
	windowClass.lpszClassName = ClassName;
	RegisterClassExA(&windowClass);
}

ControlHandle CreateControlWindow(InstanceHandle instance)
{
	controlWindow = CreateWindowExA(0, ClassName, ClassName, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
	                                CW_USEDEFAULT, 0, nullptr, nullptr,
	                                reinterpret_cast<HINSTANCE>(instance), nullptr);
	return reinterpret_cast<ControlHandle>(controlWindow);
}

int RunMessageLoop(void)
{
	MSG message = {};
	// GetMessageA's -1 is treated as a message: the loop only ends on WM_QUIT.
	while (GetMessageA(&message, nullptr, 0, 0) != 0) {
		TranslateMessage(&message);
		DispatchMessageA(&message);
	}
	return static_cast<int>(message.wParam);
}

int FindRunningInstance(void)
{
	InstanceSearch search = {ClassName, nullptr};
	EnumWindows(FindInstanceWindow, reinterpret_cast<LPARAM>(&search));
	return search.found != nullptr;
}

void SendQuitRequest(void)
{
	// Before the window exists the handle is empty, and after it has been
	// destroyed it names no window: either way the message goes nowhere.
	SendMessageA(controlWindow, WM_QUIT_REQUEST, 0, 0);
}
