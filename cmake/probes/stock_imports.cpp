// What the image asks of the toolchain's own runtime, in a few lines: its
// start-up for a GUI program, a string, and an exception thrown and caught
// (the library's allocation of exceptions, with its lock, and the unwinder).
// cmake/Runtime.cmake links it with the stock runtime and reads the DLL
// functions it imports.
#include <string>

extern "C" int __stdcall WinMain(void*, void*, char* commandLine, int) {
  try {
    throw std::string(commandLine);
  } catch (const std::string& text) {
    return static_cast<int>(text.size());
  }
}
