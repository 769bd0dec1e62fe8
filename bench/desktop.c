/*
 * Keeps the desktop of the bench prefix up, as a user's session does on
 * Windows. Wine starts its desktop process (explorer /desktop) for the
 * first program that needs the desktop window and ends it about a second
 * after the last such program; without a holder, every run of a program
 * that asks for it (the product does, through msi.dll) would pay for a new
 * desktop process, which no Windows session does. Runs until killed.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

void WINAPI BenchEntry(void) {
  GetDesktopWindow();
  for (;;) Sleep(INFINITE);
}
