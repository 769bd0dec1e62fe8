/*
 * A Windows GUI program that does nothing: what a process start costs.
 * No run-time library; kernel32 is its only import. The bench also makes it
 * the shell's "open" handler of .msi, so that opening the package costs a
 * process start and no more, and no installer window is timed.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

void WINAPI BenchEntry(void) { ExitProcess(0); }
