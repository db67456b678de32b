#include "outputs/library.h"

#include <dlfcn.h>

// The soname PICMG EAPI libraries carry on Linux.
const char EApiLibraryName[] = "libEApi.so.1";

LibraryHandle LibraryOpen(const char *name)
{
	return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

LibraryFunction LibrarySymbol(LibraryHandle library, const char *name)
{
	return reinterpret_cast<LibraryFunction>(dlsym(library, name));
}

void LibraryClose(LibraryHandle library)
{
	dlclose(library);
}
