// Base64 text of a block of bytes: the RFC 4648 alphabet with '=' padding,
// in lines of at most 76 characters separated by CR LF (the MIME line
// length). Encoding only.
#pragma once

#include <cstdint>
#include <string>

namespace Crypt {

// Flags of the encoder, a bit set; 0 means pad characters and line breaks.
constexpr std::uint32_t Base64FlagNoPad = 1;   // write no '=' characters
constexpr std::uint32_t Base64FlagNoCrLf = 2;  // write no line breaks

// The line layout, with line breaks: the continuous text cut into lines of
// 76 characters (the last may be shorter) joined by CR LF, except that a
// nonzero multiple of 57 input bytes (whole lines, no tail) leaves a CR LF
// at the end. Stored values depend on this layout; it must not change.
class CBase64Codec {
 public:
  virtual ~CBase64Codec() = default;

  // The text of count bytes at data. Empty text for no bytes, for a null
  // data pointer and for a negative count. Throws
  // fw::StatusCodeException(E_FAIL) from 2^29 bytes on, before anything is
  // allocated, and std::bad_alloc when memory runs out.
  static std::string Encode(const std::uint8_t* data, std::int32_t count, std::uint32_t flags);

  // Writes the text of srcCount bytes at src into dest, with no terminating
  // NUL. *destCount is the capacity on entry and the number of characters
  // written on success. Refuses, returning false with dest and *destCount
  // untouched, when a pointer is null, srcCount is negative or the capacity
  // is less than GetRequiredLength(srcCount, flags). Throws only what
  // GetRequiredLength throws.
  static bool EncodeToBuffer(const std::uint8_t* src, std::int32_t srcCount, char* dest,
                             std::int32_t* destCount, std::uint32_t flags);

  // An upper bound of the characters EncodeToBuffer writes for count bytes
  // and these flags (not the exact length: 6 for 3 bytes, which take 4).
  // 0 for a negative count, for which nothing is written. Throws
  // fw::StatusCodeException(E_FAIL) when 4 * count exceeds 2^31 - 1, that
  // is from 2^29 bytes on.
  static std::int32_t GetRequiredLength(std::int32_t count, std::uint32_t flags);
};

}  // namespace Crypt
