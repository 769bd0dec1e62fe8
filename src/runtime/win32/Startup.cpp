// The executable's entry point, in place of the C runtime's start-up code.
//
// The program needs of the runtime's start-up only what C++ needs: its
// static objects constructed before the framework runs and destroyed after
// it. The rest (command-line and environment tables, wildcard expansion,
// thread-local storage callbacks, relocation of imported data, a console
// error reporter) serves programs that this one is not, and cost a tenth of
// the executable. msvcrt.dll initialises itself when it is loaded.
//
// Nothing skipped here may be needed silently: the link refuses a data
// import that would need the skipped relocation of imported data (see
// cmake/Runtime.cmake).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "common/KvSystemLibrary.h"

// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" void __main();                          // runs the static constructors
extern "C" void __cdecl __set_app_type(int type);  // msvcrt.dll
extern "C" IMAGE_DOS_HEADER __ImageBase;           // the linker's

namespace {

constexpr int kGuiApp = 2;

// Functions registered with atexit (the static destructors among them), run
// in reverse order when the framework has finished. Static objects of this
// program register a few; the limit only guards the table.
using ExitFunction = void (*)();
ExitFunction g_exitFunctions[32];
unsigned g_exitCount = 0;

}  // namespace

extern "C" int atexit(ExitFunction function) {
  if (g_exitCount == sizeof g_exitFunctions / sizeof g_exitFunctions[0]) return -1;
  g_exitFunctions[g_exitCount++] = function;
  return 0;
}

// The system calls the entry point with the stack aligned to 4 bytes only;
// the compiler's code may assume more, so the entry realigns it, as the
// runtime's start-up code does.
extern "C" [[noreturn]] __attribute__((force_align_arg_pointer)) void WinMainCRTStartup() {
  // Before any code of the program runs, the static constructors included,
  // so that nothing they do loads a DLL from a folder the search drops; on
  // systems without SetDefaultDllDirectories that is the current folder
  // only, and DLLs loaded by name still come from the program's folder
  // first (common/KvSystemLibrary.h).
  RestrictDllSearch();
  // A GUI program: the runtime reports its own fatal errors in a box.
  __set_app_type(kGuiApp);
  __main();
  // The program ignores its command line.
  static char noArguments[] = "";
  const int code =
      WinMain(reinterpret_cast<HINSTANCE>(&__ImageBase), nullptr, noArguments, SW_SHOWDEFAULT);
  while (g_exitCount > 0) g_exitFunctions[--g_exitCount]();
  ExitProcess(static_cast<UINT>(code));
}
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
