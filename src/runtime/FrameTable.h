// The search of a call-frame table: which entry describes the function at a
// code address.
//
// The compiler describes how to unwind every function in a table of the
// DWARF call-frame format (".eh_frame"): common entries (CIEs) and, for each
// function, a frame description entry (FDE) that names its code range. When
// an exception is thrown, the unwinder asks, frame by frame, for the FDE of
// a return address. The executable answers from its own table with this
// search instead of the runtime's registry of tables (see
// runtime/win32/ExceptionSupport.cpp).
//
// Plain code: it reads only the bytes it is given and never past them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rt {

struct FrameEntry {
  // The FDE's first byte (its length field), or null when no entry covers
  // the address.
  const std::uint8_t* entry = nullptr;
  // The first address of the function the entry describes.
  std::uintptr_t functionStart = 0;
};

// Finds the FDE whose code range holds `pc` in the table of `size` bytes at
// `table`, as it lies in memory: pc-relative pointers are taken relative to
// their own address. Entries whose start was left zero by the linker (code
// that was discarded) are skipped, as are zero words between the tables of
// different objects. A malformed entry ends the search: nothing after it can
// be trusted.
FrameEntry FindFrameEntry(const std::uint8_t* table, std::size_t size, std::uintptr_t pc);

}  // namespace rt
