// Loading Windows' own DLLs by name without ever taking one from the
// program's folder. The bootstrapper is run from a Downloads folder, where a
// planted msi.dll or mscoree.dll would otherwise be found first.
#pragma once

#include "common/KvScoped.h"

// Whether LoadLibraryExA accepts LOAD_LIBRARY_SEARCH_SYSTEM32: true where
// kernel32 exports AddDllDirectory (Windows 8, and 7/Vista with KB2533623).
bool SystemSearchSupported();

// Loads the named DLL from the system directory only: with
// LOAD_LIBRARY_SEARCH_SYSTEM32 where supported, else by its full path under
// GetSystemDirectoryA. An empty owner when it cannot be loaded.
KvLibrary LoadSystemLibrary(const char* name);
