// Loading a shared library at run time, the same shape on every platform.
#pragma once

typedef void *LibraryHandle;
typedef void (*LibraryFunction)(void);

// The vendor's EAPI library as the platform's loader looks it up.
extern const char EApiLibraryName[];

LibraryHandle LibraryOpen(const char *name);
LibraryFunction LibrarySymbol(LibraryHandle library, const char *name);
void LibraryClose(LibraryHandle library);
