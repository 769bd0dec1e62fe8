// Loading Windows' own DLLs by name without ever taking one from the
// program's folder. The bootstrapper is run from a Downloads folder, where a
// planted msi.dll or mscoree.dll would otherwise be found first.
#pragma once

#include "common/KvScoped.h"

// Whether LoadLibraryExA accepts LOAD_LIBRARY_SEARCH_SYSTEM32: true where
// kernel32 exports AddDllDirectory (Windows 8, and 7/Vista with KB2533623).
bool SystemSearchSupported();

// Takes the program's own folder and the current folder out of the DLL
// search for the rest of the process: SetDefaultDllDirectories with the
// system folder only where kernel32 has it, else SetDllDirectoryA(""), which
// drops the current folder; both are looked up at run time, since XP and
// unpatched Vista/7 lack the first. Runs before anything else is loaded.
void RestrictDllSearch();

// Loads the named DLL from the system directory only, and the DLLs it
// imports from there first: with LOAD_LIBRARY_SEARCH_SYSTEM32 where
// supported, else by its full path under GetSystemDirectoryA with
// LOAD_WITH_ALTERED_SEARCH_PATH. An empty owner when it cannot be loaded.
KvLibrary LoadSystemLibrary(const char* name);
