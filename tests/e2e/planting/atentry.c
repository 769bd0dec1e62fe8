/*
 * atentry: which of the named DLLs are already in the process when its own
 * code starts, and from where. It imports user32 (as the bootstrapper does)
 * and does nothing else, so whatever it finds loaded was brought in by the
 * loader for the import table, before any instruction of the program ran:
 *
 *   atentry NAME...       one line per name: "NAME PATH" or "NAME none"
 *
 * Exit code 0 unless the arguments are wrong.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdio.h>

int main(int argc, char** argv) {
  /* Keeps the import of user32 without calling it. */
  if (argc < 0) MessageBeep(0);
  if (argc < 2) {
    fprintf(stderr, "usage: atentry NAME...\n");
    return 2;
  }
  for (int i = 1; i < argc; ++i) {
    HMODULE module = GetModuleHandleA(argv[i]);
    char path[MAX_PATH] = "none";
    if (module) GetModuleFileNameA(module, path, sizeof path);
    printf("%s %s\n", argv[i], path);
  }
  fflush(stdout);
  return 0;
}
