// Three pieces of the C++ exception support, provided by the executable
// itself instead of the compiler's runtime.
//
// The frame lookup: the unwinder asks _Unwind_Find_FDE for the description
// of each frame it passes. The runtime answers from a registry to which a
// start-up object adds the module's table; its registry code (sorting,
// several tables, locking) is about a tenth of the executable. This program
// has one table, its own ".eh_frame" section, and throws a handful of
// exceptions in a run, so a linear search of that section serves.
//
// The exception state: libstdc++ keeps the caught-exception stack per
// thread through emulated thread-local storage. The program has one thread,
// so it is one static object here.
//
// The lock of the emergency pool: libstdc++ keeps a small pool from which it
// allocates an exception when the heap cannot, and guards it with a mutex
// of the compiler's Windows thread layer. That layer (semaphores, thread
// keys and their destructors at thread exit) comes in whole for this one
// mutex; a spin lock on the mutex's counter does its work here.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <cstring>

#include "runtime/FrameTable.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;  // NOLINT(bugprone-reserved-identifier): the linker's

namespace {

// The executable's call-frame table: the section the linker names
// ".eh_fram" (section names are cut to eight characters).
struct Table {
  const std::uint8_t* begin = nullptr;
  std::size_t size = 0;
};

Table FindOwnTable() {
  const auto* base = reinterpret_cast<const std::uint8_t*>(&__ImageBase);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + __ImageBase.e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if (std::memcmp(section->Name, ".eh_fram", IMAGE_SIZEOF_SHORT_NAME) == 0) {
      return {base + section->VirtualAddress, section->Misc.VirtualSize};
    }
  }
  return {};
}

// The unwinder's view of the bases of an entry's relative pointers; an
// executable's table uses none but pc-relative ones.
struct DwarfEhBases {
  void* tbase;
  void* dbase;
  void* func;
};

}  // namespace

// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" const void* _Unwind_Find_FDE(void* pc, DwarfEhBases* bases) {
  // Found anew for every frame: a walk of the few section headers, cheaper
  // than the guard of a function-local static.
  const Table table = FindOwnTable();
  const rt::FrameEntry found =
      rt::FindFrameEntry(table.begin, table.size, reinterpret_cast<std::uintptr_t>(pc));
  if (found.entry == nullptr) return nullptr;
  bases->tbase = nullptr;
  bases->dbase = nullptr;
  bases->func = reinterpret_cast<void*>(found.functionStart);
  return found.entry;
}

namespace __cxxabiv1 {
// The library's layout; only the library reads the fields. The spare words
// leave room for a field that another version of the library may add.
struct __cxa_eh_globals {
  void* caughtExceptions;           // cppcheck-suppress unusedStructMember
  unsigned int uncaughtExceptions;  // cppcheck-suppress unusedStructMember
  void* spare[4];                   // cppcheck-suppress unusedStructMember
};
}  // namespace __cxxabiv1

namespace {
__cxxabiv1::__cxa_eh_globals g_exceptionState;
}

extern "C" __cxxabiv1::__cxa_eh_globals* __cxa_get_globals_fast() noexcept {
  return &g_exceptionState;
}
extern "C" __cxxabiv1::__cxa_eh_globals* __cxa_get_globals() noexcept { return &g_exceptionState; }

namespace {
// The thread layer's mutex object, as its header lays it out; only the
// counter is used.
struct GthrMutex {
  LONG counter;
  void* semaphore;
};
}  // namespace

extern "C" void __gthr_win32_mutex_init_function(GthrMutex* mutex) {
  mutex->counter = 0;
  mutex->semaphore = nullptr;
}
extern "C" int __gthr_win32_mutex_lock(GthrMutex* mutex) {
  while (InterlockedExchange(&mutex->counter, 1) != 0) Sleep(0);
  return 0;
}
extern "C" int __gthr_win32_mutex_unlock(GthrMutex* mutex) {
  InterlockedExchange(&mutex->counter, 0);
  return 0;
}
extern "C" int __gthr_win32_mutex_destroy(GthrMutex*) { return 0; }
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
