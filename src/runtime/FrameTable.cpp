#include "runtime/FrameTable.h"

#include <cstring>

namespace rt {
namespace {

// Pointer encodings of the call-frame format: the low half is the value's
// form, the high half what it is relative to.
constexpr std::uint8_t kEncOmit = 0xFF;
constexpr std::uint8_t kEncAbsPtr = 0x00;
constexpr std::uint8_t kEncUleb128 = 0x01;
constexpr std::uint8_t kEncUdata2 = 0x02;
constexpr std::uint8_t kEncUdata4 = 0x03;
constexpr std::uint8_t kEncUdata8 = 0x04;
constexpr std::uint8_t kEncSleb128 = 0x09;
constexpr std::uint8_t kEncSdata2 = 0x0A;
constexpr std::uint8_t kEncSdata4 = 0x0B;
constexpr std::uint8_t kEncSdata8 = 0x0C;
constexpr std::uint8_t kEncPcRel = 0x10;
constexpr std::uint8_t kEncTextRel = 0x20;
constexpr std::uint8_t kEncDataRel = 0x30;

// A bounded reader over one entry.
class Reader {
 public:
  Reader(const std::uint8_t* pos, const std::uint8_t* end) : pos_(pos), end_(end) {}

  const std::uint8_t* Pos() const { return pos_; }
  bool Ok() const { return ok_; }

  std::uint64_t Fixed(std::size_t bytes) {
    const std::uint8_t* const at = pos_;
    if (!Take(bytes)) return 0;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) value |= std::uint64_t{at[i]} << (8 * i);
    return value;
  }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(Fixed(1)); }
  std::uint64_t Uleb() {
    std::uint64_t value = 0;
    for (unsigned shift = 0;; shift += 7) {
      const std::uint8_t b = Byte();
      if (!ok_) return 0;
      if (shift < 64) value |= std::uint64_t{b & 0x7Fu} << shift;
      if ((b & 0x80) == 0) return value;
    }
  }
  std::int64_t Sleb() {
    std::uint64_t value = 0;
    unsigned shift = 0;
    std::uint8_t b = 0;
    do {
      b = Byte();
      if (!ok_) return 0;
      if (shift < 64) value |= std::uint64_t{b & 0x7Fu} << shift;
      shift += 7;
    } while ((b & 0x80) != 0);
    if (shift < 64 && (b & 0x40) != 0) value |= ~std::uint64_t{0} << shift;
    return static_cast<std::int64_t>(value);
  }
  // A NUL-terminated text; null when it does not end inside the entry.
  const char* Text() {
    const void* nul =
        pos_ < end_ ? std::memchr(pos_, 0, static_cast<std::size_t>(end_ - pos_)) : nullptr;
    if (nul == nullptr) {
      ok_ = false;
      return nullptr;
    }
    const char* text = reinterpret_cast<const char*>(pos_);
    pos_ = static_cast<const std::uint8_t*>(nul) + 1;
    return text;
  }
  // A value in the form that `encoding` names, before anything is added to
  // it. False for a form this search does not know.
  bool Raw(std::uint8_t encoding, std::uint64_t* value) {
    switch (encoding & 0x0F) {
      case kEncAbsPtr:
        *value = Fixed(sizeof(void*));
        break;
      case kEncUleb128:
        *value = Uleb();
        break;
      case kEncUdata2:
        *value = Fixed(2);
        break;
      case kEncUdata4:
        *value = Fixed(4);
        break;
      case kEncUdata8:
        *value = Fixed(8);
        break;
      case kEncSleb128:
        *value = static_cast<std::uint64_t>(Sleb());
        break;
      case kEncSdata2:
        *value = static_cast<std::uint64_t>(static_cast<std::int16_t>(Fixed(2)));
        break;
      case kEncSdata4:
        *value = static_cast<std::uint64_t>(static_cast<std::int32_t>(Fixed(4)));
        break;
      case kEncSdata8:
        *value = Fixed(8);
        break;
      default:
        ok_ = false;
        return false;
    }
    return ok_;
  }

 private:
  bool Take(std::size_t bytes) {
    if (!ok_ || static_cast<std::size_t>(end_ - pos_) < bytes) {
      ok_ = false;
      return false;
    }
    pos_ += bytes;
    return true;
  }

  const std::uint8_t* pos_;
  const std::uint8_t* end_;
  bool ok_ = true;
};

// The entry at `pos`: its bytes after the length field, [*body, *next). A
// zero length (padding, or the end marker of one object's table) gives an
// empty body. False for an entry that runs past the table, is too short to
// hold its id, or uses the 64-bit form, which is not written for this target.
bool EntryBounds(const std::uint8_t* pos, const std::uint8_t* end, const std::uint8_t** body,
                 const std::uint8_t** next) {
  Reader header(pos, end);
  const auto length = static_cast<std::uint32_t>(header.Fixed(4));
  if (!header.Ok() || length == 0xFFFFFFFFu || (length != 0 && length < 4) ||
      static_cast<std::size_t>(end - header.Pos()) < length) {
    return false;
  }
  *body = header.Pos();
  *next = header.Pos() + length;
  return true;
}

// The encoding of the code addresses in the FDEs of one CIE (the 'R' item
// of its augmentation), or false when the CIE cannot be read.
bool ReadCieEncoding(const std::uint8_t* cie, const std::uint8_t* tableEnd,
                     std::uint8_t* encoding) {
  const std::uint8_t* body = nullptr;
  const std::uint8_t* next = nullptr;
  if (!EntryBounds(cie, tableEnd, &body, &next) || body == next) return false;
  Reader r(body, next);
  if (r.Fixed(4) != 0) return false;  // not a CIE
  const std::uint8_t version = r.Byte();
  const char* augmentation = r.Text();
  if (!r.Ok() || (version != 1 && version != 3 && version != 4)) return false;
  if (version == 4) {
    r.Byte();  // address size
    r.Byte();  // segment selector size
  }
  r.Uleb();  // code alignment
  r.Sleb();  // data alignment
  if (version == 1) {
    r.Byte();
  } else {
    r.Uleb();  // return address column
  }
  *encoding = kEncAbsPtr;
  if (augmentation[0] == '\0') return r.Ok();
  if (augmentation[0] != 'z') return false;  // an older form, not written by this compiler
  r.Uleb();                                  // the length of what follows
  for (const char* a = augmentation + 1; *a != '\0' && r.Ok(); ++a) {
    switch (*a) {
      case 'R':
        *encoding = r.Byte();
        return r.Ok();
      case 'L':
        r.Byte();
        break;
      case 'P': {
        const std::uint8_t personality = r.Byte();
        std::uint64_t ignored = 0;
        if (r.Ok() && !r.Raw(personality, &ignored)) return false;
        break;
      }
      case 'S':
      case 'B':
        break;
      default:
        return false;  // an item whose size is not known
    }
  }
  return r.Ok();
}

// The FDEs of one object follow its CIE: the CIE last read is read again
// only when another one is named.
class CieCache {
 public:
  bool Encoding(const std::uint8_t* cie, const std::uint8_t* tableEnd, std::uint8_t* encoding) {
    if (cie != cie_) {
      if (!ReadCieEncoding(cie, tableEnd, &encoding_)) return false;
      cie_ = cie;
    }
    *encoding = encoding_;
    return true;
  }

 private:
  const std::uint8_t* cie_ = nullptr;
  std::uint8_t encoding_ = kEncOmit;
};

// The code range of an FDE, read from its start field on: false when the
// range cannot be read; a zero `first` for code that the linker dropped.
bool ReadFdeRange(Reader& r, std::uint8_t encoding, std::uintptr_t* first, std::uint64_t* range) {
  const std::uint8_t* const startField = r.Pos();
  std::uint64_t start = 0;
  if (!r.Raw(encoding, &start) || !r.Raw(encoding & 0x0F, range)) return false;
  if (start != 0) {
    switch (encoding & 0xF0) {
      case kEncPcRel:
        start += reinterpret_cast<std::uintptr_t>(startField);
        break;
      case 0:
      case kEncTextRel:  // bases are zero for an executable's own table
      case kEncDataRel:
        break;
      default:
        return false;
    }
  }
  *first = static_cast<std::uintptr_t>(start);
  return true;
}

}  // namespace

FrameEntry FindFrameEntry(const std::uint8_t* table, std::size_t size, std::uintptr_t pc) {
  if (table == nullptr) return {};
  const std::uint8_t* const end = table + size;
  CieCache cies;

  for (const std::uint8_t* pos = table; static_cast<std::size_t>(end - pos) >= 4;) {
    const std::uint8_t* body = nullptr;
    const std::uint8_t* next = nullptr;
    if (!EntryBounds(pos, end, &body, &next)) return {};
    if (body == next) {  // padding, or the end marker of one object's table
      pos = next;
      continue;
    }
    Reader r(body, next);
    const std::uint8_t* const idField = r.Pos();
    const auto cieOffset = static_cast<std::uint32_t>(r.Fixed(4));
    if (cieOffset != 0) {  // an FDE; its CIE lies cieOffset bytes before this field
      if (static_cast<std::size_t>(idField - table) < cieOffset) return {};
      std::uint8_t encoding = kEncOmit;
      if (!cies.Encoding(idField - cieOffset, end, &encoding)) return {};
      std::uintptr_t first = 0;
      std::uint64_t range = 0;
      if (!ReadFdeRange(r, encoding, &first, &range)) return {};
      if (first != 0 && pc >= first && pc - first < range) return {pos, first};
    }
    pos = next;
  }
  return {};
}

}  // namespace rt
