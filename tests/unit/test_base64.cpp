#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "common/KvSimpleArrayT.h"
#include "framework/StatusCodeException.h"
#include "platform/Platform.h"
#include "source_info/Base64Codec.h"
#include "test_base64_reference.h"

namespace {

using Crypt::Base64FlagNoCrLf;
using Crypt::Base64FlagNoPad;
using Crypt::CBase64Codec;

const std::uint32_t kAllFlags[] = {0, Base64FlagNoPad, Base64FlagNoCrLf,
                                   Base64FlagNoPad | Base64FlagNoCrLf};

std::string Encode(const std::string& bytes, std::uint32_t flags = 0) {
  return CBase64Codec::Encode(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                              static_cast<std::int32_t>(bytes.size()), flags);
}

std::string Repeat(const std::string& part, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += part;
  return out;
}

// Bytes that cover every value, in no simple order.
std::vector<std::uint8_t> Noise(std::size_t n, std::uint32_t seed) {
  std::vector<std::uint8_t> out(n);
  for (auto& b : out) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(seed >> 24);
  }
  return out;
}

// ---- Texts ----------------------------------------------------------------------

TEST(Base64Encode, KnownTexts) {
  const struct {
    std::string input;
    std::uint32_t flags;
    std::string text;
  } cases[] = {
      {"", 0, ""},
      {"a", 0, "YQ=="},
      {"a", Base64FlagNoPad, "YQ"},
      {"ab", 0, "YWI="},
      {"ab", Base64FlagNoPad, "YWI"},
      {"abc", 0, "YWJj"},
      {std::string("a\0b\0", 4), 0, "YQBiAA=="},
      {std::string(56, 'a'), 0, Repeat("YWFh", 18) + "YWE="},
      {std::string(57, 'a'), 0, Repeat("YWFh", 19) + "\r\n"},
      {std::string(58, 'a'), 0, Repeat("YWFh", 19) + "\r\nYQ=="},
      {std::string(58, 'a'), Base64FlagNoCrLf, Repeat("YWFh", 19) + "YQ=="},
      {std::string(58, 'a'), Base64FlagNoPad | Base64FlagNoCrLf, Repeat("YWFh", 19) + "YQ"},
      {std::string(57, 'a'), Base64FlagNoCrLf, Repeat("YWFh", 19)},
      {std::string(114, 'a'), 0, Repeat(Repeat("YWFh", 19) + "\r\n", 2)},
      {"\xFB\xFF\xBF", 0, "+/+/"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Encode(c.input, c.flags), c.text) << c.input.size() << " bytes, flags " << c.flags;
  }
  EXPECT_EQ(Encode(std::string(56, 'a')).size(), 76u);
  EXPECT_EQ(Encode(std::string(57, 'a')).size(), 78u);
  EXPECT_EQ(Encode(std::string(58, 'a')).size(), 82u);
}

// A negative count used to read before the data; it is refused like a null
// pointer.
TEST(Base64Encode, RefusedInputGivesEmptyText) {
  const std::uint8_t bytes[4] = {1, 2, 3, 4};
  EXPECT_EQ(CBase64Codec::Encode(nullptr, 10, 0), "");
  for (std::uint32_t flags : kAllFlags) {
    EXPECT_EQ(CBase64Codec::Encode(bytes, -1, flags), "");
    EXPECT_EQ(CBase64Codec::Encode(bytes, -2, flags), "");
    EXPECT_EQ(CBase64Codec::Encode(bytes, std::numeric_limits<std::int32_t>::min(), flags), "");
  }
}

// The guard fires before anything is read or allocated: the one byte behind
// the pointer would otherwise be read far past its end.
TEST(Base64Encode, SizeGuardFiresBeforeReading) {
  const std::uint8_t oneByte = 0;
  try {
    CBase64Codec::Encode(&oneByte, 1 << 29, 0);
    FAIL() << "no exception";
  } catch (const fw::StatusCodeException& e) {
    EXPECT_EQ(e.Code(), plat::kEFail);
  }
  EXPECT_THROW(
      CBase64Codec::Encode(&oneByte, std::numeric_limits<std::int32_t>::max(), Base64FlagNoCrLf),
      fw::StatusCodeException);
}

// ---- The bound ------------------------------------------------------------------

TEST(Base64RequiredLength, Values) {
  const struct {
    std::int32_t n;
    std::uint32_t flags;
    std::int32_t bound;
  } cases[] = {
      {0, 0, 2},
      {1, 0, 6},
      {2, 0, 6},
      {3, 0, 6},
      {56, 0, 80},
      {57, 0, 80},
      {58, 0, 84},
      {184, 0, 256},
      {0, Base64FlagNoCrLf, 0},
      {58, Base64FlagNoCrLf, 80},
      {1, Base64FlagNoPad, 6},
      {1, Base64FlagNoPad | Base64FlagNoCrLf, 4},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CBase64Codec::GetRequiredLength(c.n, c.flags), c.bound)
        << c.n << " bytes, flags " << c.flags;
}

// The last count below the guard, worked out by hand: len 715827882, 9418788
// breaks, rounded up by 2 to a whole group. Twice it plus one, the scratch
// buffer of Encode, still fits a 32-bit count.
TEST(Base64RequiredLength, LargestCountIsComputedWithoutOverflow) {
  const std::int32_t bound = CBase64Codec::GetRequiredLength((1 << 29) - 1, 0);
  EXPECT_EQ(bound, 734665460);
  EXPECT_LT(std::int64_t{bound} * 2 + 1, std::int64_t{std::numeric_limits<std::int32_t>::max()});
  EXPECT_EQ(CBase64Codec::GetRequiredLength((1 << 29) - 1, Base64FlagNoCrLf), 715827884);
}

// From 2^29 bytes, 4n no longer fits 31 bits. 2^30 and 2^31 - 1 are the
// counts whose 4n wraps to 0 and to -4 in 32-bit arithmetic.
TEST(Base64RequiredLength, GuardFromTwoToThe29) {
  for (std::int32_t n :
       {1 << 29, (1 << 29) + 1, 1 << 30, std::numeric_limits<std::int32_t>::max()}) {
    for (std::uint32_t flags : kAllFlags) {
      try {
        CBase64Codec::GetRequiredLength(n, flags);
        ADD_FAILURE() << n << " bytes: no exception";
      } catch (const fw::StatusCodeException& e) {
        EXPECT_EQ(e.Code(), plat::kEFail);
      }
    }
  }
}

TEST(Base64RequiredLength, NegativeCountNeedsNothing) {
  for (std::uint32_t flags : kAllFlags) {
    EXPECT_EQ(CBase64Codec::GetRequiredLength(-1, flags), 0);
    EXPECT_EQ(CBase64Codec::GetRequiredLength(std::numeric_limits<std::int32_t>::min(), flags), 0);
  }
}

// ---- EncodeToBuffer ---------------------------------------------------------------

struct Buffer {
  char chars[16];
  std::int32_t count;
  explicit Buffer(std::int32_t capacity) : count(capacity) {
    std::memset(chars, '#', sizeof chars);
  }
  bool Untouched(std::int32_t capacity) const {
    if (count != capacity) return false;
    for (char c : chars)
      if (c != '#') return false;
    return true;
  }
};

TEST(Base64EncodeToBuffer, CapacityBelowTheBoundIsRefused) {
  const std::uint8_t abc[] = {'a', 'b', 'c'};
  Buffer small(5);
  EXPECT_FALSE(CBase64Codec::EncodeToBuffer(abc, 3, small.chars, &small.count, 0));
  EXPECT_TRUE(small.Untouched(5));

  Buffer enough(6);
  EXPECT_TRUE(CBase64Codec::EncodeToBuffer(abc, 3, enough.chars, &enough.count, 0));
  EXPECT_EQ(enough.count, 4);
  EXPECT_EQ(std::string(enough.chars, 4), "YWJj");
  // Within the capacity the characters after the text are scratch (the line
  // break taken back); past it nothing is written, no terminating NUL either.
  EXPECT_EQ(std::string(enough.chars + 6, 10), std::string(10, '#'));
}

TEST(Base64EncodeToBuffer, NullPointersAreRefused) {
  const std::uint8_t abc[] = {'a', 'b', 'c'};
  Buffer b(16);
  EXPECT_FALSE(CBase64Codec::EncodeToBuffer(nullptr, 3, b.chars, &b.count, 0));
  EXPECT_FALSE(CBase64Codec::EncodeToBuffer(abc, 3, nullptr, &b.count, 0));
  EXPECT_FALSE(CBase64Codec::EncodeToBuffer(abc, 3, b.chars, nullptr, 0));
  EXPECT_TRUE(b.Untouched(16));
  // A null pointer is refused before the size guard is consulted.
  EXPECT_FALSE(CBase64Codec::EncodeToBuffer(nullptr, 1 << 30, b.chars, &b.count, 0));
}

TEST(Base64EncodeToBuffer, NegativeCountIsRefused) {
  const std::uint8_t abc[] = {'a', 'b', 'c'};
  for (std::uint32_t flags : kAllFlags) {
    for (std::int32_t n : {-1, -2, -3, -57, std::numeric_limits<std::int32_t>::min()}) {
      Buffer b(16);
      EXPECT_FALSE(CBase64Codec::EncodeToBuffer(abc, n, b.chars, &b.count, flags)) << n;
      EXPECT_TRUE(b.Untouched(16)) << n;
    }
  }
}

// ---- Against the independent decoder ------------------------------------------------

// For each count and flags: the text decodes back to the bytes and keeps the
// line layout; EncodeToBuffer with exactly the bound as capacity writes
// within it and agrees with Encode, and one less than the bound is refused.
void CheckCount(std::size_t n, std::uint32_t seed) {
  const std::vector<std::uint8_t> noise = Noise(n, seed);
  // Exactly n bytes, so that a read past them is caught; no bytes still have
  // an address (a null source is refused).
  static const std::uint8_t kNoBytes = 0;
  const std::uint8_t* const bytes = n != 0 ? noise.data() : &kNoBytes;
  const auto count = static_cast<std::int32_t>(n);
  for (std::uint32_t flags : kAllFlags) {
    const std::string text = CBase64Codec::Encode(bytes, count, flags);
    ASSERT_EQ(base64_reference::Check(bytes, n, flags, text), "") << n << " bytes, flags " << flags;

    const std::int32_t bound = CBase64Codec::GetRequiredLength(count, flags);
    ASSERT_GE(bound, static_cast<std::int32_t>(text.size())) << n << " bytes, flags " << flags;
    std::vector<char> out(static_cast<std::size_t>(bound) + 8, '#');
    std::int32_t written = bound;
    ASSERT_TRUE(CBase64Codec::EncodeToBuffer(bytes, count, out.data(), &written, flags));
    ASSERT_EQ(std::string(out.data(), static_cast<std::size_t>(written)), text);
    for (std::size_t i = static_cast<std::size_t>(bound); i < out.size(); ++i)
      ASSERT_EQ(out[i], '#') << "written past the bound: " << n << " bytes, flags " << flags;

    if (bound > 0) {
      std::int32_t tooSmall = bound - 1;
      ASSERT_FALSE(CBase64Codec::EncodeToBuffer(bytes, count, out.data(), &tooSmall, flags));
      ASSERT_EQ(tooSmall, bound - 1);
    }
  }
}

TEST(Base64RoundTrip, EveryCountUpTo600) {
  for (std::size_t n = 0; n <= 600; ++n) CheckCount(n, static_cast<std::uint32_t>(n));
}

TEST(Base64RoundTrip, LargeCounts) {
  for (std::size_t n : {57u * 1000u, 57u * 1000u + 1u, 57u * 1000u + 2u, 65536u, 1000003u})
    CheckCount(n, static_cast<std::uint32_t>(n));
}

// ---- The scratch buffer ----------------------------------------------------------------

TEST(KvSimpleArray, ZeroFilledAndOwned) {
  KvSimpleArrayT<char> array(300);
  EXPECT_EQ(array.GetCount(), 300);
  ASSERT_NE(array.GetData(), nullptr);
  for (std::int32_t i = 0; i < array.GetCount(); ++i) ASSERT_EQ(array[i], '\0') << i;

  const KvSimpleArrayT<char> empty(0);
  EXPECT_EQ(empty.GetData(), nullptr);
  EXPECT_EQ(empty.GetCount(), 0);
}

TEST(KvSimpleArray, NegativeCountIsAnAllocationFailure) {
  EXPECT_THROW(KvSimpleArrayT<char>(-1), std::bad_alloc);
}

}  // namespace
