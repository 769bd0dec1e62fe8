// A growable in-memory block of bytes with a cursor, and the encoding in
// which the exceptions write and read their fields.
//
// Encoding, all integers little-endian whatever the host:
//   narrow string   tag 0x01, int32 length in bytes (no terminator), the bytes
//   32-bit integer  int32 byte count 4, the 4 bytes of the value
//
// Writing appends at the end of the data. Reading consumes from the cursor
// and never looks past the data size, whatever the bytes hold: a reader that
// meets something it cannot use leaves its field as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class KvMemStream {
 public:
  static constexpr std::size_t kDefaultGrowthStep = 256;
  static constexpr std::uint8_t kStringTag = 0x01;
  static constexpr std::int32_t kIntegerByteCount = 4;

  // An empty stream: no block yet, data size and cursor 0.
  explicit KvMemStream(std::size_t growthStep = kDefaultGrowthStep);
  // A stream loaded for reading: a copy of the bytes is the data, the cursor
  // is at its start.
  KvMemStream(const void* data, std::size_t size, std::size_t growthStep = kDefaultGrowthStep);

  KvMemStream(KvMemStream&& other) noexcept;
  KvMemStream& operator=(KvMemStream&& other) noexcept;
  KvMemStream(const KvMemStream&) = delete;
  KvMemStream& operator=(const KvMemStream&) = delete;
  ~KvMemStream() = default;

  const std::uint8_t* GetData() const { return block_.get(); }
  std::size_t GetSize() const { return size_; }
  std::size_t GetCapacity() const { return capacity_; }
  std::size_t GetPosition() const { return cursor_; }
  std::size_t GetRemaining() const { return size_ - cursor_; }
  // Moves the cursor, at most to the end of the data.
  void SetPosition(std::size_t position) { cursor_ = position < size_ ? position : size_; }

  // Appends one part (a tag, a length or count, the bytes of a value or
  // text). Before the copy the block is enlarged when the part would reach or
  // pass its end, an exact fit included: once, by the larger of the part's
  // size and the growth step. The cursor then stands at the end of the
  // data. An empty part changes nothing. Throws
  // std::bad_alloc (or fw::StatusCodeException(E_FAIL) beyond what a size can address)
  // and then leaves the stream as it was.
  void WritePart(const void* bytes, std::size_t count);

  // Appends an encoded string. Throws fw::StatusCodeException(E_FAIL) for a text longer
  // than an int32 length can give.
  void WriteString(const std::string& text);
  // Appends an encoded 32-bit integer.
  void WriteInt32(std::uint32_t value);

  // Reads an encoded string into field; true when the field was set. Each
  // step that fails leaves the field unchanged and consumes only what was
  // read before it:
  //   no byte left                       nothing consumed
  //   tag not 0x01                       the tag consumed, no length read
  //   fewer than 4 bytes after the tag   the tag consumed
  //   length 0 or less                   tag and length consumed
  //   length beyond the remaining data   tag and length consumed, no bytes
  // Otherwise the bytes are consumed and the field, cut at its first NUL,
  // holds them. So a stored empty string never clears a field.
  bool ReadString(std::string& field);

  // Reads an encoded 32-bit integer into field; true when the field was set.
  //   fewer than 4 bytes left              nothing consumed
  //   count 0 or less, or beyond the data  the count consumed, no bytes
  //   count 4                              count and value consumed, field set
  //   any other count that fits            count and its bytes consumed,
  //                                        field unchanged
  // A well-formed item of another width is skipped as a whole, so the fields
  // after it are still read from their own items; nothing is ever copied
  // into the 4-byte field from it.
  bool ReadInt32(std::uint32_t& field);

 private:
  // Copies count bytes from the cursor, if that many remain, and consumes
  // them.
  bool ReadPart(void* out, std::size_t count);
  bool ReadLittleEndian32(std::uint32_t& value);

  std::unique_ptr<std::uint8_t[]> block_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
  std::size_t cursor_ = 0;
  std::size_t growthStep_ = kDefaultGrowthStep;
};
