#include "common/KvMemStream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include "framework/StatusCodeException.h"

namespace {

void EncodeLittleEndian32(std::uint32_t value, std::uint8_t (&out)[4]) {
  out[0] = static_cast<std::uint8_t>(value & 0xFFu);
  out[1] = static_cast<std::uint8_t>((value >> 8) & 0xFFu);
  out[2] = static_cast<std::uint8_t>((value >> 16) & 0xFFu);
  out[3] = static_cast<std::uint8_t>((value >> 24) & 0xFFu);
}

std::uint32_t DecodeLittleEndian32(const std::uint8_t (&in)[4]) {
  return static_cast<std::uint32_t>(in[0]) | (static_cast<std::uint32_t>(in[1]) << 8) |
         (static_cast<std::uint32_t>(in[2]) << 16) | (static_cast<std::uint32_t>(in[3]) << 24);
}

// Lengths and counts are signed on the wire: 0x80000000 and above are
// negative, never huge.
std::int32_t AsSigned(std::uint32_t value) {
  return value <= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())
             ? static_cast<std::int32_t>(value)
             : -static_cast<std::int32_t>(~value) - 1;
}

}  // namespace

KvMemStream::KvMemStream(std::size_t growthStep) : growthStep_(growthStep) {}

KvMemStream::KvMemStream(const void* data, std::size_t size, std::size_t growthStep)
    : growthStep_(growthStep) {
  if (size == 0) return;
  block_ = std::make_unique<std::uint8_t[]>(size);
  std::memcpy(block_.get(), data, size);
  capacity_ = size;
  size_ = size;
}

KvMemStream::KvMemStream(KvMemStream&& other) noexcept
    : block_(std::move(other.block_)),
      capacity_(std::exchange(other.capacity_, 0)),
      size_(std::exchange(other.size_, 0)),
      cursor_(std::exchange(other.cursor_, 0)),
      growthStep_(other.growthStep_) {}

KvMemStream& KvMemStream::operator=(KvMemStream&& other) noexcept {
  if (this != &other) {
    block_ = std::move(other.block_);
    capacity_ = std::exchange(other.capacity_, 0);
    size_ = std::exchange(other.size_, 0);
    cursor_ = std::exchange(other.cursor_, 0);
    growthStep_ = other.growthStep_;
  }
  return *this;
}

void KvMemStream::WritePart(const void* bytes, std::size_t count) {
  if (count == 0) return;
  const std::size_t maxSize = std::numeric_limits<std::size_t>::max();
  if (count > maxSize - size_) throw fw::StatusCodeException(plat::kEFail);
  if (size_ + count >= capacity_) {
    const std::size_t grow = std::max(count, growthStep_);
    if (grow > maxSize - capacity_) throw fw::StatusCodeException(plat::kEFail);
    const std::size_t newCapacity = capacity_ + grow;
    auto larger = std::make_unique<std::uint8_t[]>(newCapacity);
    if (size_ != 0) std::memcpy(larger.get(), block_.get(), size_);
    block_ = std::move(larger);
    capacity_ = newCapacity;
  }
  std::memcpy(block_.get() + size_, bytes, count);
  size_ += count;
  cursor_ = size_;
}

void KvMemStream::WriteString(const std::string& text) {
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    throw fw::StatusCodeException(plat::kEFail);
  std::uint8_t length[4];
  EncodeLittleEndian32(static_cast<std::uint32_t>(text.size()), length);
  WritePart(&kStringTag, 1);
  WritePart(length, sizeof(length));
  WritePart(text.data(), text.size());
}

void KvMemStream::WriteInt32(std::uint32_t value) {
  std::uint8_t count[4];
  std::uint8_t bytes[4];
  EncodeLittleEndian32(static_cast<std::uint32_t>(kIntegerByteCount), count);
  EncodeLittleEndian32(value, bytes);
  WritePart(count, sizeof(count));
  WritePart(bytes, sizeof(bytes));
}

bool KvMemStream::ReadPart(void* out, std::size_t count) {
  if (count > GetRemaining()) return false;
  if (count != 0) std::memcpy(out, block_.get() + cursor_, count);
  cursor_ += count;
  return true;
}

bool KvMemStream::ReadLittleEndian32(std::uint32_t& value) {
  std::uint8_t bytes[4];
  if (!ReadPart(bytes, sizeof(bytes))) return false;
  value = DecodeLittleEndian32(bytes);
  return true;
}

bool KvMemStream::ReadString(std::string& field) {
  std::uint8_t tag = 0;
  if (!ReadPart(&tag, 1)) return false;
  if (tag != kStringTag) return false;
  std::uint32_t rawLength = 0;
  if (!ReadLittleEndian32(rawLength)) return false;
  const std::int32_t length = AsSigned(rawLength);
  if (length <= 0) return false;
  const std::size_t count = static_cast<std::size_t>(length);
  if (count > GetRemaining()) return false;
  const char* bytes = reinterpret_cast<const char*>(block_.get() + cursor_);
  // Built before the field is touched, so a failed allocation leaves it as it was.
  std::string text(bytes, std::find(bytes, bytes + count, '\0'));
  cursor_ += count;
  field = std::move(text);
  return true;
}

bool KvMemStream::ReadInt32(std::uint32_t& field) {
  std::uint32_t rawCount = 0;
  if (!ReadLittleEndian32(rawCount)) return false;
  const std::int32_t count = AsSigned(rawCount);
  if (count <= 0 || static_cast<std::size_t>(count) > GetRemaining()) return false;
  if (count != kIntegerByteCount) {
    cursor_ += static_cast<std::size_t>(count);
    return false;
  }
  return ReadLittleEndian32(field);
}
