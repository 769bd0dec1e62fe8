#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "runtime/FrameTable.h"

namespace {

// Encodings as the compiler writes them.
constexpr std::uint8_t kPcRelSdata4 = 0x1B;
constexpr std::uint8_t kAbsPtr = 0x00;
constexpr std::uint8_t kUdata4 = 0x03;
constexpr std::uint8_t kIndirectPcRelSdata4 = 0x9B;

// Writes a call-frame table entry by entry. Code addresses are plain numbers
// near the table (pc-relative values must fit 32 bits); pc-relative fields
// are filled in by Finish, once the bytes no longer move.
class TableBuilder {
 public:
  // A CIE of the given version and augmentation; `encoding` is written for
  // its 'R' item, `personality` is the encoding of the 'P' item's pointer.
  std::size_t Cie(const std::string& augmentation, std::uint8_t encoding = kPcRelSdata4,
                  std::uint8_t version = 1, std::uint8_t personality = kIndirectPcRelSdata4) {
    const std::size_t at = Begin();
    U32(0);  // CIE id
    bytes_.push_back(version);
    for (char c : augmentation) bytes_.push_back(static_cast<std::uint8_t>(c));
    bytes_.push_back(0);
    bytes_.push_back(1);     // code alignment
    bytes_.push_back(0x7C);  // data alignment -4
    if (version == 1) {
      bytes_.push_back(8);
    } else {
      bytes_.push_back(0x88);  // return column 8 as a two-byte ULEB
      bytes_.push_back(0x00);
    }
    if (!augmentation.empty() && augmentation[0] == 'z') {
      const std::size_t lengthAt = bytes_.size();
      bytes_.push_back(0);
      for (char c : augmentation.substr(1)) {
        if (c == 'R') bytes_.push_back(encoding);
        if (c == 'L') bytes_.push_back(kPcRelSdata4);
        if (c == 'P') {
          bytes_.push_back(personality);
          U32(0x11223344);
        }
      }
      bytes_[lengthAt] = static_cast<std::uint8_t>(bytes_.size() - lengthAt - 1);
    }
    cieEncoding_[at] = augmentation.find('R') != std::string::npos ? encoding : kAbsPtr;
    End(at);
    return at;
  }

  // An FDE of `cie` for [start, start + range), start counted from the
  // table's first byte; a zero raw start when `discarded`.
  void Fde(std::size_t cie, std::uintptr_t startOffset, std::uint32_t range,
           bool discarded = false) {
    const std::size_t at = Begin();
    U32(static_cast<std::uint32_t>(bytes_.size() - cie));
    const std::uint8_t encoding = cieEncoding_.at(cie);
    const std::size_t field = bytes_.size();
    if (encoding == kPcRelSdata4) {
      U32(0);
      if (!discarded) fixups_.push_back({field, startOffset});
      U32(range);
    } else if (encoding == kUdata4) {
      U32(discarded ? 0 : static_cast<std::uint32_t>(startOffset));
      U32(range);
    } else {  // absptr: a native pointer
      Pointer(discarded ? 0 : startOffset);
      Pointer(range);
    }
    bytes_.push_back(0);  // augmentation data length
    End(at);
  }

  void Zero() { U32(0); }
  std::vector<std::uint8_t>& Bytes() { return bytes_; }

  // Resolves the pc-relative fields: start offsets become addresses relative
  // to the table's final place.
  const std::vector<std::uint8_t>& Finish() {
    for (const Fixup& f : fixups_) {
      const auto value =
          static_cast<std::int64_t>(f.startOffset) - static_cast<std::int64_t>(f.field);
      Store(f.field, static_cast<std::uint32_t>(value));
    }
    return bytes_;
  }

  std::uintptr_t Address(std::uintptr_t offset) const {
    return reinterpret_cast<std::uintptr_t>(bytes_.data()) + offset;
  }

 private:
  struct Fixup {
    std::size_t field;
    std::uintptr_t startOffset;
  };

  std::size_t Begin() {
    const std::size_t at = bytes_.size();
    U32(0);
    return at;
  }
  void End(std::size_t at) {
    while ((bytes_.size() - at) % 4 != 0) bytes_.push_back(0);  // DW_CFA_nop
    Store(at, static_cast<std::uint32_t>(bytes_.size() - at - 4));
  }
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void Pointer(std::uintptr_t v) {
    for (std::size_t i = 0; i < sizeof v; ++i)
      bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void Store(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  }

  std::vector<std::uint8_t> bytes_;
  std::vector<Fixup> fixups_;
  std::map<std::size_t, std::uint8_t> cieEncoding_;
};

rt::FrameEntry Find(const std::vector<std::uint8_t>& table, std::uintptr_t pc) {
  return rt::FindFrameEntry(table.data(), table.size(), pc);
}

// Appends to `t` an FDE of the CIE at `cie` for [t + start, t + start +
// range), in a form the TableBuilder does not write: `field(t, value)`
// appends one address field, the start as an offset from its own place.
// Returns where the FDE begins.
template <typename Field>
std::size_t AppendFde(std::vector<std::uint8_t>& t, std::size_t cie, std::int64_t start,
                      std::int64_t range, Field field) {
  const std::size_t at = t.size();
  t.insert(t.end(), 4, 0);
  const auto id = static_cast<std::uint32_t>(t.size() - cie);
  for (int i = 0; i < 4; ++i) t.push_back(static_cast<std::uint8_t>(id >> (8 * i)));
  field(t, start - static_cast<std::int64_t>(t.size()));
  field(t, range);
  t.push_back(0);  // augmentation data length
  while ((t.size() - at) % 4 != 0) t.push_back(0);
  const auto length = static_cast<std::uint32_t>(t.size() - at - 4);
  for (int i = 0; i < 4; ++i) t[at + i] = static_cast<std::uint8_t>(length >> (8 * i));
  return at;
}

// Two functions described pc-relative, as this compiler writes them: each
// address of a range finds its entry, the address after it does not.
TEST(FrameTable, FindsTheEntryWhoseRangeHoldsTheAddress) {
  TableBuilder b;
  const std::size_t cie = b.Cie("zR");
  b.Fde(cie, 0x1000, 0x10);
  const std::size_t second = b.Bytes().size();
  b.Fde(cie, 0x2000, 0x20);
  const auto& table = b.Finish();

  struct Case {
    std::uintptr_t offset;
    std::ptrdiff_t entry;  // -1: none
    std::uintptr_t start;
  };
  const Case cases[] = {
      {0x0FFF, -1, 0},
      {0x1000, 0, 0x1000},
      {0x100F, 0, 0x1000},
      {0x1010, -1, 0},
      {0x2000, static_cast<std::ptrdiff_t>(second), 0x2000},
      {0x201F, static_cast<std::ptrdiff_t>(second), 0x2000},
      {0x2020, -1, 0},
  };
  const std::size_t firstFde = cie + 4 + (table[cie] | table[cie + 1] << 8);
  for (const Case& c : cases) {
    const rt::FrameEntry found = Find(table, b.Address(c.offset));
    if (c.entry < 0) {
      EXPECT_EQ(found.entry, nullptr) << std::hex << c.offset;
      continue;
    }
    const std::size_t want = c.entry == 0 ? firstFde : static_cast<std::size_t>(c.entry);
    EXPECT_EQ(found.entry, table.data() + want) << std::hex << c.offset;
    EXPECT_EQ(found.functionStart, b.Address(c.start)) << std::hex << c.offset;
  }
}

// The linked table is the objects' tables one after another, with the end
// marker of one (a zero word) and alignment padding between them, each with
// a CIE of its own; code that the linker dropped keeps its entry with a zero
// start.
TEST(FrameTable, LooksPastZeroWordsAndDroppedCode) {
  TableBuilder b;
  const std::size_t first = b.Cie("zR");
  const std::size_t dropped = b.Bytes().size();
  b.Fde(first, 0x3000, 0x1000, /*discarded=*/true);
  b.Zero();
  b.Zero();
  const std::size_t second = b.Cie("zPLR", kUdata4);
  const std::size_t wanted = b.Bytes().size();
  b.Fde(second, 0x00401000, 0x40);
  const auto& table = b.Finish();

  EXPECT_EQ(Find(table, 0x00401020).entry, table.data() + wanted);
  // A dropped function's zero start is not made an address by the
  // pc-relative rule: read so, its range would cover the entry itself.
  EXPECT_EQ(Find(table, b.Address(dropped + 8 + 0x10)).entry, nullptr);
}

// In the linked image the table follows the code: pc-relative starts are
// negative offsets from their field.
TEST(FrameTable, APcRelativeStartBeforeItsFieldIsANegativeOffset) {
  TableBuilder b;
  const std::size_t cie = b.Cie("zR");
  const std::size_t fde = b.Bytes().size();
  b.Fde(cie, 0, 0x10);  // the "function" is the table's first 16 bytes
  const auto& table = b.Finish();
  const rt::FrameEntry found = Find(table, b.Address(4));
  EXPECT_EQ(found.entry, table.data() + fde);
  EXPECT_EQ(found.functionStart, b.Address(0));
  EXPECT_EQ(Find(table, b.Address(0x10)).entry, nullptr);
}

// An FDE whose CIE pointer leads out of the table finds nothing, even where
// the bytes before the table would read as a CIE.
TEST(FrameTable, ACiePointerOutOfTheTableIsNotFollowed) {
  TableBuilder outside;
  const std::size_t cie = outside.Cie("zR", kUdata4);
  const std::size_t fde = outside.Bytes().size();
  outside.Fde(cie, 0x00401000, 0x100);
  std::vector<std::uint8_t> bytes = outside.Finish();
  const std::size_t at = fde;  // the table given starts at the FDE
  const std::uint8_t* const table = bytes.data() + at;
  ASSERT_EQ(rt::FindFrameEntry(bytes.data(), bytes.size(), 0x00401080).entry, table);
  EXPECT_EQ(rt::FindFrameEntry(table, bytes.size() - at, 0x00401080).entry, nullptr);
}

// Every kind of CIE the compiler writes, and the other forms of address.
TEST(FrameTable, ReadsEveryCieForm) {
  struct Case {
    const char* augmentation;
    std::uint8_t encoding;
    std::uint8_t version;
  };
  const Case cases[] = {
      {"zR", kPcRelSdata4, 1}, {"zPLR", kPcRelSdata4, 1}, {"zPLR", kPcRelSdata4, 3},
      {"zR", kUdata4, 1},      {"zR", kAbsPtr, 1},        {"", kAbsPtr, 1},
      {"zLR", kUdata4, 4},
  };
  for (const Case& c : cases) {
    TableBuilder b;
    const bool absolute = c.encoding != kPcRelSdata4;
    const std::size_t cie = b.Cie(c.augmentation, c.encoding, c.version);
    if (c.version == 4) {
      // Version 4 adds the address and segment sizes after the augmentation.
      auto& bytes = b.Bytes();
      const std::size_t after = cie + 4 + 4 + 1 + std::string(c.augmentation).size() + 1;
      bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(after), {4, 0});
      bytes.resize(bytes.size() + 2);  // keep the entry's length a multiple of 4
      const auto length = static_cast<std::uint32_t>(bytes.size() - cie - 4);
      for (int i = 0; i < 4; ++i) bytes[cie + i] = static_cast<std::uint8_t>(length >> (8 * i));
    }
    const std::size_t fde = b.Bytes().size();
    // Absolute forms hold an address, not an offset: a number well clear of zero.
    const std::uintptr_t start = absolute ? 0x00401000 : 0x800;
    b.Fde(cie, start, 0x100);
    const auto& table = b.Finish();
    const std::uintptr_t pc = absolute ? start + 0x80 : b.Address(start + 0x80);
    const rt::FrameEntry found = Find(table, pc);
    EXPECT_EQ(found.entry, table.data() + fde) << c.augmentation << " v" << int{c.version};
    EXPECT_EQ(found.functionStart, absolute ? start : b.Address(start)) << c.augmentation;
  }
}

// Addresses in the LEB128 forms, as hand-written tables may use them: a
// signed value takes its sign from the last byte's bit 6 alone, so that a
// function placed before the table is found where it lies and a last byte
// with only bit 5 set stays positive. Each start is given as its distance
// from its own field, so that the last byte of its encoding is known.
TEST(FrameTable, ReadsSignedLeb128Addresses) {
  constexpr std::uint8_t kPcRelSleb128 = 0x19;
  const auto leb = [](std::vector<std::uint8_t>& out, std::int64_t v) {
    for (bool more = true; more;) {
      auto byte = static_cast<std::uint8_t>(v & 0x7F);
      v >>= 7;
      more = (v != 0 || (byte & 0x40) != 0) && (v != -1 || (byte & 0x40) == 0);
      out.push_back(more ? static_cast<std::uint8_t>(byte | 0x80) : byte);
    }
  };
  const struct Case {
    std::int64_t fromField;  // the encoded start
    std::int64_t range;
  } cases[] = {
      {-0x12345, 0x100},  // start ends in 0x7B: bits 6 and 5
      {-0x2000, 0x40},    // start ends in 0x40: bit 6 without bit 5
      {0x1000, 0x20},     // both end in 0x20: bit 5 without bit 6
      {0x3000, 0x1000},   // start ends in 0x00, range in 0x20
  };
  TableBuilder b;
  const std::size_t cie = b.Cie("zR", kPcRelSleb128);
  std::vector<std::uint8_t>& t = b.Bytes();
  std::vector<std::size_t> fdes;
  std::vector<std::int64_t> starts;  // from the table's first byte
  for (const Case& c : cases) {
    const auto startField = static_cast<std::int64_t>(t.size()) + 8;  // after length and CIE id
    starts.push_back(startField + c.fromField);
    fdes.push_back(AppendFde(t, cie, starts.back(), c.range, leb));
  }
  const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(t.data());
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::uintptr_t function = base + static_cast<std::uintptr_t>(starts[i]);
    const auto range = static_cast<std::uintptr_t>(cases[i].range);
    const rt::FrameEntry last = rt::FindFrameEntry(t.data(), t.size(), function + range - 1);
    EXPECT_EQ(last.entry, t.data() + fdes[i]) << i;
    EXPECT_EQ(last.functionStart, function) << i;
    EXPECT_EQ(rt::FindFrameEntry(t.data(), t.size(), function - 1).entry, nullptr) << i;
    EXPECT_EQ(rt::FindFrameEntry(t.data(), t.size(), function + range).entry, nullptr) << i;
  }
}

// An unsigned LEB128 value of two bytes or more, seven bits to a byte: two
// functions side by side, the first described with a start and a range of
// 128 or more. Each address finds its own entry, the second function's the
// entry after the first.
TEST(FrameTable, ReadsMultiByteUnsignedLeb128Addresses) {
  constexpr std::uint8_t kPcRelUleb128 = 0x11;
  const auto uleb = [](std::vector<std::uint8_t>& out, std::int64_t signedValue) {
    auto v = static_cast<std::uint64_t>(signedValue);
    do {
      const auto byte = static_cast<std::uint8_t>(v & 0x7F);
      v >>= 7;
      out.push_back(v != 0 ? static_cast<std::uint8_t>(byte | 0x80) : byte);
    } while (v != 0);
  };
  TableBuilder b;
  const std::size_t cie = b.Cie("zR", kPcRelUleb128);
  std::vector<std::uint8_t>& t = b.Bytes();
  const std::int64_t first = static_cast<std::int64_t>(t.size()) + 8 + 0x1000;  // 80 20
  const std::size_t firstFde = AppendFde(t, cie, first, 0x100, uleb);           // 80 02
  const std::size_t secondFde = AppendFde(t, cie, first + 0x100, 0x80, uleb);   // 80 01
  const std::uintptr_t function =
      reinterpret_cast<std::uintptr_t>(t.data()) + static_cast<std::uintptr_t>(first);
  const rt::FrameEntry inFirst = rt::FindFrameEntry(t.data(), t.size(), function + 0xFF);
  EXPECT_EQ(inFirst.entry, t.data() + firstFde);
  EXPECT_EQ(inFirst.functionStart, function);
  const rt::FrameEntry inSecond = rt::FindFrameEntry(t.data(), t.size(), function + 0x100);
  EXPECT_EQ(inSecond.entry, t.data() + secondFde);
  EXPECT_EQ(inSecond.functionStart, function + 0x100);
  EXPECT_EQ(rt::FindFrameEntry(t.data(), t.size(), function + 0x180).entry, nullptr);
}

// The signed fixed-width forms, pc-relative: a start before its field is a
// negative number of the field's own width, whichever width it is.
TEST(FrameTable, ReadsSignedFixedWidthAddresses) {
  const struct Case {
    std::uint8_t encoding;
    std::size_t width;
  } cases[] = {{0x1A, 2}, {0x1B, 4}, {0x1C, 8}};
  for (const Case& c : cases) {
    TableBuilder b;
    const std::size_t cie = b.Cie("zR", c.encoding);
    std::vector<std::uint8_t>& t = b.Bytes();
    const auto fixed = [&c](std::vector<std::uint8_t>& out, std::int64_t v) {
      for (std::size_t i = 0; i < c.width; ++i)
        out.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * i)));
    };
    const std::size_t fde = AppendFde(t, cie, -0x1234, 0x40, fixed);
    const std::uintptr_t function = reinterpret_cast<std::uintptr_t>(t.data()) - 0x1234;

    const rt::FrameEntry found = rt::FindFrameEntry(t.data(), t.size(), function + 0x3F);
    EXPECT_EQ(found.entry, t.data() + fde) << c.width;
    EXPECT_EQ(found.functionStart, function) << c.width;
    EXPECT_EQ(rt::FindFrameEntry(t.data(), t.size(), function + 0x40).entry, nullptr) << c.width;
  }
}

// A table that cannot be read ends the search without a result; nothing is
// read outside the bytes given (the sanitized run watches).
TEST(FrameTable, MalformedTablesFindNothing) {
  auto valid = [] {
    TableBuilder b;
    const std::size_t cie = b.Cie("zR");
    b.Fde(cie, 0x100, 0x100);
    return b;
  };
  struct Case {
    const char* what;
    void (*spoil)(std::vector<std::uint8_t>&);
  };
  const Case cases[] = {
      {"entry longer than the table", [](std::vector<std::uint8_t>& t) { t[0] = 0xF0; }},
      {"64-bit length", [](std::vector<std::uint8_t>& t) { t[0] = t[1] = t[2] = t[3] = 0xFF; }},
      {"table cut inside the FDE", [](std::vector<std::uint8_t>& t) { t.resize(t.size() - 6); }},
      {"CIE pointer before the table",
       [](std::vector<std::uint8_t>& t) {
         const std::size_t fde = 4 + t[0];
         t[fde + 4] = 0xFF;
         t[fde + 5] = 0x7F;
       }},
      {"CIE version 2", [](std::vector<std::uint8_t>& t) { t[8] = 2; }},
      {"unknown augmentation item", [](std::vector<std::uint8_t>& t) { t[10] = 'X'; }},
      {"augmentation without its end",
       [](std::vector<std::uint8_t>& t) {
         for (std::size_t i = 9; i < 4u + t[0]; ++i) t[i] = 'z';
       }},
      {"unknown address form", [](std::vector<std::uint8_t>& t) { t[16] = 0x0D; }},
      {"indirect address", [](std::vector<std::uint8_t>& t) { t[16] = kIndirectPcRelSdata4; }},
  };
  for (const Case& c : cases) {
    TableBuilder b = valid();
    std::vector<std::uint8_t> table = b.Finish();
    ASSERT_NE(Find(table, reinterpret_cast<std::uintptr_t>(table.data()) + 0x180).entry, nullptr);
    c.spoil(table);
    EXPECT_EQ(Find(table, reinterpret_cast<std::uintptr_t>(table.data()) + 0x180).entry, nullptr)
        << c.what;
  }
  EXPECT_EQ(rt::FindFrameEntry(nullptr, 64, 0x1000).entry, nullptr);
  const std::uint8_t three[3] = {1, 0, 0};
  EXPECT_EQ(rt::FindFrameEntry(three, sizeof three, 0x1000).entry, nullptr);
}

}  // namespace
