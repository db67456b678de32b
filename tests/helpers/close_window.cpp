// Posts WM_CLOSE to every top-level window of the given class, as a person
// closing the window or a session ending would. Exit code 0 when at least
// one window got it, 1 when none was found.
#include <cstring>
#include <windows.h>

namespace {

struct Search {
	const char *className;
	int posted;
};

BOOL CALLBACK CloseIfMatching(HWND window, LPARAM lParam)
{
	Search *search = reinterpret_cast<Search *>(lParam);
	char className[300];
	if (GetClassNameA(window, className, sizeof className) > 0 &&
	    std::strcmp(className, search->className) == 0 && PostMessageA(window, WM_CLOSE, 0, 0))
		search->posted++;
	return TRUE;
}

} // namespace

int main(int argc, char **argv)
{
	Search search = {argc > 1 ? argv[1] : "TAMBORIXEL", 0};
	EnumWindows(CloseIfMatching, reinterpret_cast<LPARAM>(&search));
	return search.posted > 0 ? 0 : 1;
}
