/*
 * filelock: holds a file open without sharing, as a program that is using
 * it would, so that others can neither open, replace nor delete it.
 *
 *   filelock PATH READY [SECONDS]
 *
 * Opens (or creates) PATH with no share mode, then creates the file READY
 * to tell that the lock is held, and keeps the file open until READY is
 * deleted or SECONDS (default 60) have passed, whichever comes first; the
 * limit keeps a forgotten locker from outliving its test. Exit status 0
 * after a release or the time limit, 1 when PATH or READY cannot be made.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    fputs("usage: filelock PATH READY [SECONDS]\n", stderr);
    return 64;
  }
  DWORD seconds = argc == 4 ? (DWORD)strtoul(argv[3], NULL, 10) : 60;
  HANDLE h = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, NULL);
  if (h == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "filelock: cannot open %s: %lu\n", argv[1], (unsigned long)GetLastError());
    return 1;
  }
  HANDLE ready = CreateFileA(argv[2], GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, NULL);
  if (ready == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "filelock: cannot create %s: %lu\n", argv[2], (unsigned long)GetLastError());
    CloseHandle(h);
    return 1;
  }
  CloseHandle(ready);

  DWORD start = GetTickCount();
  while (GetTickCount() - start < seconds * 1000) {
    if (GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES) break;
    Sleep(100);
  }
  CloseHandle(h);
  return 0;
}
