// Encodes arbitrary bytes with every combination of the flags. The text must
// decode back to the bytes and keep the line layout (checked by an
// independent decoder), stay within the bound that GetRequiredLength gives,
// agree between Encode and EncodeToBuffer, and never be written past the
// capacity; one character less than the bound must be refused with nothing
// written. AddressSanitizer watches every read of the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../unit/test_base64_reference.h"
#include "source_info/Base64Codec.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "base64: %s\n", what);
    std::abort();
  }
}

constexpr char kCanary = '#';

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The inputs that matter are far below the encoder's 2^29-byte guard.
  if (size > (1u << 20)) return 0;
  static const std::uint8_t kNoBytes = 0;
  const std::uint8_t* const bytes = size != 0 ? data : &kNoBytes;
  const auto count = static_cast<std::int32_t>(size);

  for (std::uint32_t flags = 0; flags < 4; ++flags) {
    const std::string text = Crypt::CBase64Codec::Encode(bytes, count, flags);
    const std::string why = base64_reference::Check(bytes, size, flags, text);
    if (!why.empty()) {
      std::fprintf(stderr, "base64: %zu bytes, flags %u: %s\n", size, flags, why.c_str());
      std::abort();
    }

    const std::int32_t bound = Crypt::CBase64Codec::GetRequiredLength(count, flags);
    Check(bound >= static_cast<std::int32_t>(text.size()), "text longer than the bound");

    std::vector<char> out(static_cast<std::size_t>(bound) + 4, kCanary);
    std::int32_t written = bound;
    Check(Crypt::CBase64Codec::EncodeToBuffer(bytes, count, out.data(), &written, flags),
          "capacity of the bound refused");
    Check(std::string(out.data(), static_cast<std::size_t>(written)) == text,
          "EncodeToBuffer differs from Encode");
    for (std::size_t i = static_cast<std::size_t>(bound); i < out.size(); ++i)
      Check(out[i] == kCanary, "written past the capacity");

    if (bound > 0) {
      std::vector<char> small(static_cast<std::size_t>(bound), kCanary);
      std::int32_t capacity = bound - 1;
      Check(!Crypt::CBase64Codec::EncodeToBuffer(bytes, count, small.data(), &capacity, flags),
            "capacity below the bound accepted");
      Check(capacity == bound - 1, "refusal changed the count");
      for (char c : small) Check(c == kCanary, "refusal wrote characters");
    }
  }
  return 0;
}
