// The byte stream of the exceptions: its encoding, its growth rule and its
// reader's refusal to go past the data.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/KvMemStream.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes DataOf(const KvMemStream& stream) {
  return Bytes(stream.GetData(), stream.GetData() + stream.GetSize());
}

KvMemStream Load(const Bytes& bytes) { return KvMemStream(bytes.data(), bytes.size()); }

// ---- Encoding ----------------------------------------------------------------

TEST(MemStreamEncoding, IntegerIsCountFourThenLittleEndianValue) {
  KvMemStream stream;
  stream.WriteInt32(0x80070020u);
  EXPECT_EQ(DataOf(stream), (Bytes{0x04, 0x00, 0x00, 0x00, 0x20, 0x00, 0x07, 0x80}));
}

TEST(MemStreamEncoding, LongStringLengthUsesAllFourBytes) {
  KvMemStream stream;
  stream.WriteString(std::string(0x10203, 'x'));
  ASSERT_EQ(stream.GetSize(), 5u + 0x10203u);
  EXPECT_EQ(Bytes(stream.GetData(), stream.GetData() + 5), (Bytes{0x01, 0x03, 0x02, 0x01, 0x00}));
}

TEST(MemStreamEncoding, WritesAppendAtTheEndOfTheDataEvenAfterAPartialRead) {
  KvMemStream stream;
  stream.WriteInt32(1);
  stream.SetPosition(2);
  stream.WriteInt32(2);
  EXPECT_EQ(stream.GetSize(), 16u);
  EXPECT_EQ(stream.GetPosition(), 16u);
  stream.SetPosition(0);
  std::uint32_t a = 0;
  std::uint32_t b = 0;
  EXPECT_TRUE(stream.ReadInt32(a));
  EXPECT_TRUE(stream.ReadInt32(b));
  EXPECT_EQ(a, 1u);
  EXPECT_EQ(b, 2u);
}

// ---- Growth -----------------------------------------------------------------------

TEST(MemStreamGrowth, AnExactlyFittingPartEnlargesTheBlock) {
  KvMemStream stream(16);
  stream.WriteInt32(7);  // parts of 4 and 4: first grows 0 -> 16
  EXPECT_EQ(stream.GetCapacity(), 16u);
  stream.WriteInt32(8);  // 8 + 4 < 16 stays; 12 + 4 == 16 grows by the step
  EXPECT_EQ(stream.GetCapacity(), 32u);
  EXPECT_EQ(stream.GetSize(), 16u);
}

TEST(MemStreamGrowth, APartLargerThanTheStepGrowsByItsOwnSizeOnce) {
  KvMemStream stream(8);
  stream.WritePart("0123456789abcdefghij", 20);
  EXPECT_EQ(stream.GetCapacity(), 20u);
  stream.WritePart("x", 1);  // 21 >= 20: by the step
  EXPECT_EQ(stream.GetCapacity(), 28u);
}

// ---- Reading strings -----------------------------------------------------------------

struct StringCase {
  const char* name;
  Bytes data;
  bool read;
  std::string field;  // after the read; starts as "old"
  std::size_t consumed;
};

TEST(MemStreamReadString, EveryMalformedItemLeavesTheFieldAndConsumesOnlyItsHeader) {
  const StringCase cases[] = {
      {"no byte", {}, false, "old", 0},
      {"wrong tag", {0x02, 0x01, 0, 0, 0, 'x'}, false, "old", 1},
      {"tag only", {0x01}, false, "old", 1},
      {"three length bytes", {0x01, 0x01, 0, 0}, false, "old", 1},
      {"zero length", {0x01, 0, 0, 0, 0, 'x'}, false, "old", 5},
      {"negative length", {0x01, 0xFF, 0xFF, 0xFF, 0xFF, 'x'}, false, "old", 5},
      {"most negative length", {0x01, 0, 0, 0, 0x80, 'x'}, false, "old", 5},
      {"length one past the data", {0x01, 0x03, 0, 0, 0, 'a', 'b'}, false, "old", 5},
      {"huge length", {0x01, 0xFF, 0xFF, 0xFF, 0x7F, 'a'}, false, "old", 5},
      {"exact fit", {0x01, 0x02, 0, 0, 0, 'a', 'b'}, true, "ab", 7},
      {"cut at the first NUL", {0x01, 0x04, 0, 0, 0, 'a', 0, 'b', 'c'}, true, "a", 9},
      {"leading NUL", {0x01, 0x02, 0, 0, 0, 0, 'b'}, true, "", 7},
  };
  for (const StringCase& c : cases) {
    KvMemStream stream = Load(c.data);
    std::string field = "old";
    EXPECT_EQ(stream.ReadString(field), c.read) << c.name;
    EXPECT_EQ(field, c.field) << c.name;
    EXPECT_EQ(stream.GetPosition(), c.consumed) << c.name;
  }
}

TEST(MemStreamReadString, ATooLongLengthLeavesItsBytesForTheNextRead) {
  // The length claims more than remains; the bytes stay for the next reader.
  KvMemStream stream = Load({0x01, 0x09, 0, 0, 0, 0x01, 0x01, 0, 0, 0, 'z'});
  std::string first = "old";
  std::string second = "old";
  EXPECT_FALSE(stream.ReadString(first));
  EXPECT_TRUE(stream.ReadString(second));
  EXPECT_EQ(first, "old");
  EXPECT_EQ(second, "z");
}

// ---- Reading integers -------------------------------------------------------------------

struct IntCase {
  const char* name;
  Bytes data;
  bool read;
  std::uint32_t field;  // after the read; starts as 0xAAAAAAAA
  std::size_t consumed;
};

TEST(MemStreamReadInt, EveryMalformedItemLeavesTheField) {
  constexpr std::uint32_t kOld = 0xAAAAAAAA;
  const IntCase cases[] = {
      {"no byte", {}, false, kOld, 0},
      {"three count bytes", {0x04, 0, 0}, false, kOld, 0},
      {"count without value", {0x04, 0, 0, 0}, false, kOld, 4},
      {"value cut short", {0x04, 0, 0, 0, 1, 2, 3}, false, kOld, 4},
      {"zero count", {0, 0, 0, 0, 1, 2, 3, 4}, false, kOld, 4},
      {"negative count", {0xFC, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4}, false, kOld, 4},
      {"count beyond the data", {0x09, 0, 0, 0, 1, 2, 3, 4}, false, kOld, 4},
      // A well-formed item of another width is skipped whole.
      {"count 2 that fits", {0x02, 0, 0, 0, 1, 2, 3, 4}, false, kOld, 6},
      {"count 8 that fits", {0x08, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}, false, kOld, 12},
      {"count 4", {0x04, 0, 0, 0, 0x78, 0x56, 0x34, 0x12}, true, 0x12345678u, 8},
  };
  for (const IntCase& c : cases) {
    KvMemStream stream = Load(c.data);
    std::uint32_t field = kOld;
    EXPECT_EQ(stream.ReadInt32(field), c.read) << c.name;
    EXPECT_EQ(field, c.field) << c.name;
    EXPECT_EQ(stream.GetPosition(), c.consumed) << c.name;
  }
}

TEST(MemStreamReadInt, ASkippedItemOfAnotherWidthLeavesTheNextItemReadable) {
  KvMemStream stream = Load({0x02, 0, 0, 0, 0xEE, 0xEE, 0x04, 0, 0, 0, 0x09, 0, 0, 0});
  std::uint32_t first = 1;
  std::uint32_t second = 1;
  EXPECT_FALSE(stream.ReadInt32(first));
  EXPECT_TRUE(stream.ReadInt32(second));
  EXPECT_EQ(first, 1u);
  EXPECT_EQ(second, 9u);
}

}  // namespace
