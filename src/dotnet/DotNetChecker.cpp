#include "dotnet/DotNetChecker.h"

#include <algorithm>
#include <cstddef>
#include <limits>

#include "common/KvScoped.h"
#include "common/KvSystemLibrary.h"
#include "framework/Text.h"
#include "platform/Platform.h"

namespace DotNet {
namespace {

constexpr const char* kSetupKey = "Software\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full";
constexpr const char* kInstallValue = "Install";
constexpr const char* kVersionValue = "Version";
constexpr plat::DWord kInstallSize = 4;
// The value is a short text; a buffer of a path's size holds any version.
constexpr plat::DWord kVersionSize = plat::kMaxPath;

constexpr const char* kShimLibrary = "mscoree.dll";
constexpr const char16_t* kRuntimeVersion = u"v4.0.30319";
constexpr plat::DWord kStartupLoaderOptimizationMultiDomainHost = 6;
constexpr plat::DWord kRuntimeInfoFlags = 0;
constexpr plat::DWord kDirectoryUnits = plat::kMaxPath;  // the runtime's folder, a path
constexpr plat::DWord kVersionUnits = 50;

// Reads one value of the setup key into buffer, opening the key with
// KEY_READ and no view flag: a 32-bit process then reads the 32-bit view, as
// the system redirects it, which is where the 32-bit framework setup records
// itself. The key is closed before this returns. The number of bytes read,
// or nullopt when the key or the value cannot be read (a value longer than
// the buffer included).
std::optional<plat::DWord> ReadSetupValue(const char* name, std::uint8_t* buffer,
                                          plat::DWord size) {
  KvRegKey key;
  if (key.Open(plat::HKeyLocalMachine(), kSetupKey, plat::kKeyRead) != 0) return std::nullopt;
  plat::DWord type = 0;
  plat::DWord read = size;
  if (plat::RegQueryValueExA(key.Get(), name, nullptr, &type, buffer, &read) != 0)
    return std::nullopt;
  return std::min(read, size);
}

// The "Install" flag: its first 4 bytes as a little-endian number, whatever
// the value's registry type, so that the text "1" is not 1.
bool CheckInstallFlag() {
  std::uint8_t bytes[kInstallSize] = {};
  if (!ReadSetupValue(kInstallValue, bytes, kInstallSize)) return false;
  const std::uint32_t flag =
      static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
      static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
  return flag == 1;
}

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

// atoi on one piece, saturating instead of overflowing.
std::int32_t ConvertPiece(std::string_view piece) {
  std::size_t i = 0;
  while (i < piece.size() && fw::IsSpace(piece[i])) ++i;
  bool negative = false;
  if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) negative = piece[i++] == '-';
  // Capped at 2^31, the magnitude of INT32_MIN, so that it never overflows.
  constexpr std::int64_t kCap = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; i < piece.size() && IsDigit(piece[i]); ++i)
    magnitude = std::min(kCap, magnitude * 10 + (piece[i] - '0'));
  if (negative) return static_cast<std::int32_t>(-magnitude);
  return static_cast<std::int32_t>(std::min(kCap - 1, magnitude));
}

}  // namespace

std::optional<DotNetVersion> ParseDotNetVersion(std::string_view bytes) {
  const std::string_view text = bytes.substr(0, bytes.find('\0'));
  DotNetVersion version = {0, 0, 0, 0};
  std::size_t pieces = 0;
  std::size_t pos = 0;
  while (pieces < version.size()) {
    pos = text.find_first_not_of('.', pos);
    if (pos == std::string_view::npos) break;
    const std::size_t end = std::min(text.find('.', pos), text.size());
    version[pieces++] = ConvertPiece(text.substr(pos, end - pos));
    pos = end;
  }
  if (pieces == 0) return std::nullopt;
  return version;
}

bool IsDotNetVersionSupported(std::string_view bytes) {
  const std::optional<DotNetVersion> version = ParseDotNetVersion(bytes);
  return version && *version >= kMinimumDotNetVersion;
}

bool CDotNetChecker::IsInstalled() const {
  return CheckInstallFlag() && CheckVersion() && CheckRuntime();
}

bool CDotNetChecker::CheckVersion() const {
  char text[kVersionSize] = {};
  const std::optional<plat::DWord> read =
      ReadSetupValue(kVersionValue, reinterpret_cast<std::uint8_t*>(text), kVersionSize);
  return read && IsDotNetVersionSupported(std::string_view(text, *read));
}

bool CDotNetChecker::CheckRuntime() const {
  // From the system folder only: a mscoree.dll planted beside the program in
  // a Downloads folder must never be loaded.
  const KvLibrary shim = LoadSystemLibrary(kShimLibrary);
  if (!shim.IsLoaded()) return false;
  if (shim.Entry<plat::FarProc>("GetCORVersion") == nullptr) return false;
  const plat::FarProc bind = shim.Entry<plat::FarProc>("CorBindToRuntime");
  const auto getRuntimeInfo =
      shim.Entry<plat::GetRequestedRuntimeInfoFn>("GetRequestedRuntimeInfo");
  if (bind == nullptr) return false;
  // A shim without the request (that of the 1.x frameworks) cannot name a v4
  // runtime, so the framework counts as missing and the user is offered the
  // installer.
  if (getRuntimeInfo == nullptr) return false;

  plat::HResult result;
  {
    plat::WChar directory[kDirectoryUnits] = {};
    plat::DWord directoryLength = 0;
    plat::WChar version[kVersionUnits] = {};
    plat::DWord versionLength = kVersionUnits;
    // No "insert disk" or "file not found" box from the system while the
    // shim probes the runtime's files.
    const KvErrorMode errorMode(plat::kSemFailCriticalErrors);
    result =
        getRuntimeInfo(nullptr, kRuntimeVersion, nullptr, kStartupLoaderOptimizationMultiDomainHost,
                       kRuntimeInfoFlags, directory, kDirectoryUnits, &directoryLength, version,
                       kVersionUnits, &versionLength);
  }
  return result >= 0;
}

}  // namespace DotNet
