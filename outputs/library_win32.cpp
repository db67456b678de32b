#include "outputs/library.h"

#include <windows.h>

const char EApiLibraryName[] = "aaeonEAPI.dll";

LibraryHandle LibraryOpen(const char *name)
{
	return LoadLibraryA(name);
}

LibraryFunction LibrarySymbol(LibraryHandle library, const char *name)
{
	return reinterpret_cast<LibraryFunction>(
		GetProcAddress(static_cast<HMODULE>(library), name));
}

void LibraryClose(LibraryHandle library)
{
	FreeLibrary(static_cast<HMODULE>(library));
}
