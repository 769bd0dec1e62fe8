/* A read of a variable that msvcrt.dll exports, declared as ordinary data.
   Only the run-time relocation of imported data, which the program's own
   start-up does not do, could make it work: the image's link must refuse it
   (cmake/Runtime.cmake links this file to prove that it does). */
extern int _osver;
int __stdcall WinMainCRTStartup(void) { return _osver + 1; }
