// Searches arbitrary bytes as a call-frame table, for addresses inside and
// around them. The search must never read outside the bytes (AddressSanitizer
// watches every read), and an entry it returns must lie inside the table and
// start a range that holds the address.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/FrameTable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A copy of exactly `size` bytes, so that any read past it is reported.
  std::vector<std::uint8_t> table(data, data + size);
  const std::uint8_t* const begin = table.empty() ? nullptr : table.data();
  const auto base = reinterpret_cast<std::uintptr_t>(begin);

  // The last word of the input picks two more: an offset into the table
  // and an absolute address.
  std::uint32_t last = 0;
  if (size >= 4) std::memcpy(&last, data + size - 4, 4);
  const std::uintptr_t probes[] = {base, base + size / 2, base + size, base + last % (size + 64),
                                   last};
  for (std::uintptr_t pc : probes) {
    const rt::FrameEntry found = rt::FindFrameEntry(begin, size, pc);
    if (found.entry == nullptr) continue;
    if (found.entry < begin || found.entry + 8 > begin + size || found.functionStart > pc) {
      std::fprintf(stderr, "frame table: entry outside the table or not holding the address\n");
      std::abort();
    }
  }
  return 0;
}
