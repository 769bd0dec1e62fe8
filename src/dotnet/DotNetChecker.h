// Detection of the .NET Framework 4.0 (runtime 4.0.30319 or later).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "common/RefCountedT.h"

namespace DotNet {

// (major, minor, build, revision), compared component by component as
// signed 32-bit numbers.
using DotNetVersion = std::array<std::int32_t, 4>;

constexpr DotNetVersion kMinimumDotNetVersion = {4, 0, 30319, 0};

// Reads a version from the bytes of the "Version" registry value. The text
// ends at the first NUL byte, if any. It is split at '.' the way strtok_s
// splits it (runs of dots are one separator, leading and trailing dots make
// no empty piece); the first four pieces convert the way atoi converts
// (leading white space, an optional sign, decimal digits up to the first
// other character, no digits giving 0); missing components stay 0 and
// pieces after the fourth are ignored. nullopt when there is no piece.
//
// A number beyond the 32-bit range saturates at INT32_MAX or INT32_MIN, as
// the Windows C library's atoi does, instead of overflowing.
std::optional<DotNetVersion> ParseDotNetVersion(std::string_view bytes);

// Whether the bytes hold a version of at least kMinimumDotNetVersion.
bool IsDotNetVersionSupported(std::string_view bytes);

// Answers whether the framework is installed: the setup key marks the full
// framework as installed, its recorded version is recent enough, and the
// runtime shim can name an installed v4.0.30319 runtime. Every failure on
// the way is a plain false; nothing is thrown of the program's exception
// family and nothing is cached between calls. Keys, the shim library and
// the process error mode are released or restored before each test returns.
class CDotNetChecker : public CRefCountedT<FreeThreadedModel> {
 public:
  // The three tests in order, stopping at the first that fails: the version
  // is not read unless "Install" is 1, the shim is not loaded unless the
  // version passed.
  bool IsInstalled() const;

  // The "Version" value of the setup key against kMinimumDotNetVersion.
  bool CheckVersion() const;

  // Asks the shim (loaded from the system folder only, never from the
  // program's folder) for the v4.0.30319 runtime. False when the shim is
  // missing, lacks any of GetCORVersion, CorBindToRuntime and
  // GetRequestedRuntimeInfo, or the request fails.
  bool CheckRuntime() const;
};

}  // namespace DotNet
