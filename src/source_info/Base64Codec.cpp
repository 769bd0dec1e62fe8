#include "source_info/Base64Codec.h"

#include "common/KvSimpleArrayT.h"
#include "framework/StatusCodeException.h"
#include "platform/Platform.h"

namespace Crypt {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint32_t kLineChars = 76;
constexpr std::int32_t kGroupsPerLine = 19;  // 76 characters, 57 bytes

// The four characters of the 24-bit number b0 b1 b2.
char* WriteGroup(char* out, std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
  const std::uint32_t bits = (std::uint32_t{b0} << 16) | (std::uint32_t{b1} << 8) | b2;
  *out++ = kAlphabet[(bits >> 18) & 0x3F];
  *out++ = kAlphabet[(bits >> 12) & 0x3F];
  *out++ = kAlphabet[(bits >> 6) & 0x3F];
  *out++ = kAlphabet[bits & 0x3F];
  return out;
}

}  // namespace

std::int32_t CBase64Codec::GetRequiredLength(std::int32_t count, std::uint32_t flags) {
  // The guard is taken in 64 bits. Past it, 4 * count fits in 31 bits, and so
  // do the result and twice the result plus one (the scratch buffer of
  // Encode): the rest is 32-bit arithmetic, which on a 32-bit target needs
  // no library division.
  if (4 * std::int64_t{count} > 0x7FFFFFFF) throw fw::StatusCodeException(plat::kEFail);
  if (count < 0) return 0;

  const auto n = static_cast<std::uint32_t>(count);
  std::uint32_t len = 4 * n / 3;
  if ((flags & Base64FlagNoPad) == 0) len += n % 3;
  const std::uint32_t breaks = len / kLineChars + 1;
  const std::uint32_t r = len % kLineChars;
  if (r != 0 && r % 4 != 0) len += 4 - r % 4;
  if ((flags & Base64FlagNoCrLf) == 0) len += 2 * breaks;
  return static_cast<std::int32_t>(len);
}

bool CBase64Codec::EncodeToBuffer(const std::uint8_t* src, std::int32_t srcCount, char* dest,
                                  std::int32_t* destCount, std::uint32_t flags) {
  if (src == nullptr || dest == nullptr || destCount == nullptr || srcCount < 0) return false;
  if (*destCount < GetRequiredLength(srcCount, flags)) return false;

  const bool lineBreaks = (flags & Base64FlagNoCrLf) == 0;
  const std::int32_t fullGroups = srcCount / 3;
  const std::int32_t groupChars = 4 * fullGroups;
  const std::int32_t lastPass = groupChars / static_cast<std::int32_t>(kLineChars);

  const std::uint8_t* in = src;
  char* out = dest;
  // Whole lines, then the rest of the full groups, each pass followed by a
  // line break. The break of the last pass is taken back, so that whole
  // lines with no tail end in CR LF while a tail continues the last line.
  for (std::int32_t pass = 0; pass <= lastPass; ++pass) {
    const std::int32_t groups =
        pass < lastPass ? kGroupsPerLine : (groupChars % static_cast<std::int32_t>(kLineChars)) / 4;
    for (std::int32_t i = 0; i < groups; ++i, in += 3) out = WriteGroup(out, in[0], in[1], in[2]);
    if (lineBreaks) {
      *out++ = '\r';
      *out++ = '\n';
    }
  }
  if (lineBreaks) out -= 2;

  const std::int32_t tail = srcCount % 3;
  if (tail != 0) {
    char chars[4];
    WriteGroup(chars, in[0], tail == 2 ? in[1] : 0, 0);
    for (std::int32_t i = 0; i <= tail; ++i) *out++ = chars[i];
    if ((flags & Base64FlagNoPad) == 0) {
      for (std::int32_t i = tail; i < 3; ++i) *out++ = '=';
    }
  }

  *destCount = static_cast<std::int32_t>(out - dest);
  return true;
}

std::string CBase64Codec::Encode(const std::uint8_t* data, std::int32_t count,
                                 std::uint32_t flags) {
  // The bound for no flags is the largest for any flags, and twice it plus
  // one stays below 2^31 for every count the guard lets through.
  const std::int32_t required = GetRequiredLength(count, 0);
  KvSimpleArrayT<char> buffer(2 * required + 1);
  std::int32_t written = buffer.GetCount() - 1;
  if (!EncodeToBuffer(data, count, buffer.GetData(), &written, flags)) return std::string();
  buffer[written] = '\0';
  return std::string(buffer.GetData());
}

}  // namespace Crypt
