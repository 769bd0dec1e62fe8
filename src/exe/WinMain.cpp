// The program's entry point, called by whichever start-up the image has
// (src/runtime/): the application framework runs the one application
// object (TheApp.cpp), and its result is the process's exit code.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "framework/WinApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return fw::RunApplication(); }
