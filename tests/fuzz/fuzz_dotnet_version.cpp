// The version rule of the framework check on arbitrary registry bytes. It
// must not read outside them or overflow (the sanitizers watch both), and it
// must agree with the C library's own strtok_r and strtol, the functions
// whose behaviour it reproduces, with strtol's result clamped to 32 bits as
// the Windows atoi clamps.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "dotnet/DotNetChecker.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::int32_t ReferenceAtoi(const char* piece) {
  const long long value = std::strtoll(piece, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

std::optional<DotNet::DotNetVersion> ReferenceParse(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.c_str();  // up to the first NUL
  DotNet::DotNetVersion version = {0, 0, 0, 0};
  char* state = nullptr;
  std::size_t pieces = 0;
  for (const char* piece = strtok_r(text.data(), ".", &state); piece && pieces < 4;
       piece = strtok_r(nullptr, ".", &state))
    version[pieces++] = ReferenceAtoi(piece);
  if (pieces == 0) return std::nullopt;
  return version;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // At most the 260 bytes the registry read allows, as the check sees them.
  if (size > 260) size = 260;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::optional<DotNet::DotNetVersion> parsed = DotNet::ParseDotNetVersion(bytes);
  Check(parsed == ReferenceParse(data, size));
  Check(DotNet::IsDotNetVersionSupported(bytes) ==
        (parsed.has_value() && *parsed >= DotNet::kMinimumDotNetVersion));
  return 0;
}
