/*
 * loadbyname: the careless program that the planting tests measure their
 * planted DLLs against. It loads each DLL named on its command line by its
 * bare name, as a program does that trusts the default search order, and
 * prints one line per name:
 *
 *   loadbyname [--restrict] NAME...
 *
 *   NAME loaded PATH        the module that the loader chose
 *   NAME failed CODE        LoadLibraryA's last error
 *
 * With --restrict it first limits the search to the system folder
 * (SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32), looked up at run
 * time), as the bootstrapper does. Exit code 0 unless the arguments are wrong.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdio.h>
#include <string.h>

#define SEARCH_SYSTEM32 0x00000800

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFn)(DWORD);

int main(int argc, char** argv) {
  int first = 1;
  if (argc > 1 && strcmp(argv[1], "--restrict") == 0) {
    SetDefaultDllDirectoriesFn set = (SetDefaultDllDirectoriesFn)(void*)GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    if (!set || !set(SEARCH_SYSTEM32)) {
      printf("restrict failed %lu\n", (unsigned long)GetLastError());
      return 1;
    }
    first = 2;
  }
  if (first >= argc) {
    fprintf(stderr, "usage: loadbyname [--restrict] NAME...\n");
    return 2;
  }
  for (int i = first; i < argc; ++i) {
    HMODULE module = LoadLibraryA(argv[i]);
    if (!module) {
      printf("%s failed %lu\n", argv[i], (unsigned long)GetLastError());
      continue;
    }
    char path[MAX_PATH] = "?";
    GetModuleFileNameA(module, path, sizeof path);
    printf("%s loaded %s\n", argv[i], path);
  }
  fflush(stdout);
  return 0;
}
