// With the toolchain's own start-up (LUMENTA_STOCK_RUNTIME=ON): the one duty
// of the program's own entry point that the stock start-up does not do.
//
// The stock start-up runs its initialisers (argument tables, the relocation
// of imported data, thread-local storage) and then the static constructors,
// before it calls WinMain; none of its own steps loads a DLL. The DLL-search
// restriction must still come before the first constructor of the program:
// a constructor of the highest priority that the compiler allows to a
// program runs first, since the start-up runs the prioritised constructors
// before the plain ones, the highest priority first.
#include "common/KvSystemLibrary.h"

namespace {

__attribute__((constructor(101))) void RestrictDllSearchFirst() { RestrictDllSearch(); }

}  // namespace
