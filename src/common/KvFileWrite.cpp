#include "common/KvFileWrite.h"

#include <algorithm>
#include <cstdint>

KvFileWrite::KvFileWrite(const char* path)
    : file_(plat::CreateFileA(path, plat::kGenericWrite, plat::kFileShareRead, nullptr,
                              plat::kCreateAlways, plat::kFileAttributeNormal, nullptr)) {}

bool KvFileWrite::Write(const void* data, plat::DWord size) {
  if (!file_.IsValid()) return false;
  if (size != 0 && data == nullptr) return false;
  const auto* next = static_cast<const std::uint8_t*>(data);
  plat::DWord remaining = size;
  while (remaining != 0) {
    const plat::DWord chunk = std::min(remaining, kMaxChunk);
    plat::DWord written = 0;
    if (!plat::WriteFile(file_.Get(), next, chunk, &written, nullptr)) return false;
    if (written != chunk) return false;
    next += chunk;
    remaining -= chunk;
  }
  return true;
}
