// Loading Windows' own DLLs by name without taking one from the program's
// folder. The bootstrapper is run from a Downloads folder, where a planted
// msi.dll or mscoree.dll would otherwise be found first.
#pragma once

#include "common/KvScoped.h"

// Whether LoadLibraryExA accepts LOAD_LIBRARY_SEARCH_SYSTEM32: true where
// kernel32 exports AddDllDirectory (Windows 8, and 7/Vista with KB2533623).
bool SystemSearchSupported();

// Narrows the DLL search for the rest of the process, before anything else
// is loaded. Where kernel32 has SetDefaultDllDirectories (Windows 8, and
// 7/Vista with KB2533623), the search is the system folder only: the
// program's own folder and the current folder are out of it. Elsewhere (XP,
// unpatched Vista/7) SetDllDirectoryA("") takes only the current folder out:
// the program's folder stays first in the search, so a DLL that shell32 or
// user32 loads by name still comes from there. Only the program's own loads
// (LoadSystemLibrary) are kept from it on those systems. Both calls are
// looked up at run time.
void RestrictDllSearch();

// Loads the named DLL from the system directory only, and the DLLs it
// imports from there first: with LOAD_LIBRARY_SEARCH_SYSTEM32 where
// supported, else by its full path under GetSystemDirectoryA with
// LOAD_WITH_ALTERED_SEARCH_PATH. An empty owner when it cannot be loaded.
KvLibrary LoadSystemLibrary(const char* name);
