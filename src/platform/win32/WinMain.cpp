// The executable's entry point: it only hands over to the application
// framework. The instance handle and command line are not passed on: the
// framework takes the module from the system, and the program takes no
// arguments.
#define WINVER 0x0501
#define _WIN32_WINNT 0x0501
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "framework/WinApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return fw::RunApplication(); }
