// Framework detection: the version rule as a pure function, then the
// registry, the shim and what each leaves behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "dotnet/DotNetChecker.h"
#include "fake/FakeWindows.h"

namespace {

using DotNet::DotNetVersion;
using fake::View;

const char kKey[] = "Software\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full";
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(DotNetVersion, MinimumIsTheFirstReleaseOfFour) {
  struct Case {
    std::string text;
    bool supported;
  } const cases[] = {
      {"4.0.30319.0", true},
      {"4.0.30319", true},
      {"4.5.51209", true},
      {"4.1", true},
      {"5", true},
      {"4..0.30319", true},
      {"4.0.30319.5.7", true},
      {".4.0.30319..", true},
      {" \t4.+0.30319", true},
      {"4.0.30318", false},
      {"4", false},
      {"4.0", false},
      {"3.5.30729.1", false},
      {"4.0.30319.-1", false},
      {"v4.0.30319", false},
      {"", false},
      {"...", false},
      {std::string("3.0\0 4.5", 8), false},
      {"-4.9", false},
      {"4.0.99999999999", true},
      {"4.-99999999999", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DotNet::IsDotNetVersionSupported(c.text), c.supported) << '"' << c.text << '"';
}

TEST(DotNetVersion, PiecesConvertLikeAtoiAndSaturate) {
  struct Case {
    std::string text;
    std::optional<DotNetVersion> version;
  } const cases[] = {
      {"", std::nullopt},
      {"..", std::nullopt},
      {std::string("\0"
                   "4.0",
                   4),
       std::nullopt},
      {"4..0.30319", DotNetVersion{4, 0, 30319, 0}},
      {"1.2.3.4.5.6", DotNetVersion{1, 2, 3, 4}},
      {"  -12abc.x.+7.-", DotNetVersion{-12, 0, 7, 0}},
      {"2147483647.2147483648.-2147483648.-2147483649", DotNetVersion{kMax, kMax, kMin, kMin}},
      {"99999999999999999999999", DotNetVersion{kMax, 0, 0, 0}},
      {"1 2.\n3", DotNetVersion{1, 3, 0, 0}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DotNet::ParseDotNetVersion(c.text), c.version) << '"' << c.text << '"';
}

// A computer with the framework: the flag, a version and a working shim.
void AddFramework(fake::FakeWindows& win, bool shim = true) {
  win.registry.SetDword(View::k32, kKey, "Install", 1);
  win.registry.SetString(View::k32, kKey, "Version", "4.0.30319");
  if (shim) win.libraries.InstallShim();
}

bool VersionWasRead(const fake::FakeWindows& win) {
  for (const auto& r : win.calls.Args<fake::RegRequest>())
    if (r.valueName == "Version") return true;
  return false;
}

TEST(DotNetChecker, InstalledFrameworkIsFoundInTheProcessViewWithExactRequest) {
  fake::FakeWindows win;
  AddFramework(win);
  win.registry.SetDword(View::k64, kKey, "Install", 0);  // the other view does not count
  win.system.errorMode = 0x8000;
  EXPECT_TRUE(DotNet::CDotNetChecker().IsInstalled());

  for (const auto& r : win.calls.Args<fake::RegRequest>()) {
    EXPECT_EQ(r.view, View::k32);
    if (r.op == "RegOpenKeyExA") {
      EXPECT_EQ(r.sam, plat::kKeyRead);
    }
  }
  EXPECT_EQ(win.calls.Count("RegOpenKeyExA"), 2);  // each test opens its own key
  ASSERT_EQ(win.calls.Args<fake::RuntimeInfoCall>().size(), 1u);
  const fake::RuntimeInfoCall c = win.calls.Args<fake::RuntimeInfoCall>()[0];
  EXPECT_TRUE(c.exeIsNull);
  EXPECT_EQ(c.version, u"v4.0.30319");
  EXPECT_TRUE(c.configIsNull);
  EXPECT_EQ(c.startupFlags, 6u);
  EXPECT_EQ(c.runtimeInfoFlags, 0u);
  EXPECT_TRUE(c.directoryZeroFilled);
  EXPECT_EQ(c.directorySize, 260u);
  EXPECT_EQ(c.directoryLengthIn, 0u);
  EXPECT_EQ(c.versionSize, 50u);
  EXPECT_EQ(c.versionLengthIn, 50u);
  EXPECT_EQ(c.errorModeDuringCall, plat::kSemFailCriticalErrors);
  EXPECT_EQ(win.system.errorMode, 0x8000u);
  EXPECT_EQ(win.calls.Count("ShimOtherEntry"), 0);
  EXPECT_EQ(win.registry.OpenKeyCount(), 0);
  EXPECT_EQ(win.libraries.LoadedLibraryCount(), 0);
}

TEST(DotNetChecker, InstallFlagMustBeTheNumberOneWhateverItsType) {
  struct Case {
    const char* name;
    fake::RegValue value;
    bool installed;
  } const cases[] = {
      {"text 1", {plat::kRegSz, fake::ToBytes(std::string("1\0", 2))}, false},
      {"dword 0", {plat::kRegDword, {0, 0, 0, 0}}, false},
      {"dword 2", {plat::kRegDword, {2, 0, 0, 0}}, false},
      {"dword 0x101", {plat::kRegDword, {1, 1, 0, 0}}, false},
      {"5 bytes", {plat::kRegBinary, {1, 0, 0, 0, 0}}, false},
      {"binary 1", {plat::kRegBinary, {1, 0, 0, 0}}, true},
      {"one byte 1", {plat::kRegBinary, {1}}, true},
  };
  for (const Case& c : cases) {
    fake::FakeWindows win;
    AddFramework(win);
    win.registry.SetValue(View::k32, kKey, "Install", c.value);
    EXPECT_EQ(DotNet::CDotNetChecker().IsInstalled(), c.installed) << c.name;
    EXPECT_EQ(VersionWasRead(win), c.installed) << c.name;
    EXPECT_EQ(win.registry.OpenKeyCount(), 0) << c.name;
  }
}

TEST(DotNetChecker, RegistryFailuresAnswerFalseAndCloseTheKey) {
  struct Case {
    const char* name;
    int failingOpen;          // 0-based index of the open that fails, or -1
    const char* failingRead;  // the value whose read fails, or ""
    bool versionMissing;
  } const cases[] = {
      {"first open", 0, "", false},           {"second open", 1, "", false},
      {"Install read", -1, "Install", false}, {"Version read", -1, "Version", false},
      {"Version missing", -1, "", true},
  };
  for (const Case& c : cases) {
    fake::FakeWindows win;
    AddFramework(win);
    if (c.versionMissing) {
      win.registry.DeleteKey(View::k32, kKey);
      win.registry.SetDword(View::k32, kKey, "Install", 1);
    }
    int opens = 0;
    win.registry.fault = [&](const fake::RegRequest& r) -> plat::Long {
      if (r.op == "RegOpenKeyExA") return opens++ == c.failingOpen ? 5 : 0;
      return r.valueName == c.failingRead ? 5 : 0;
    };
    EXPECT_FALSE(DotNet::CDotNetChecker().IsInstalled()) << c.name;
    EXPECT_EQ(win.registry.OpenKeyCount(), 0) << c.name;
    EXPECT_TRUE(win.calls.Args<fake::LoadRecord>().empty()) << c.name;
  }
}

TEST(DotNetChecker, VersionIsTheTextBeforeTheFirstNulWithinTheBytesRead) {
  struct Case {
    const char* name;
    fake::Bytes bytes;
    bool installed;
  } const cases[] = {
      {"binary, no NUL", fake::ToBytes("4.0.30319"), true},
      {"older before NUL",
       fake::ToBytes(std::string("3.5\0"
                                 "4.0.30319",
                                 13)),
       false},
      {"260 bytes", fake::ToBytes("4.0.30319." + std::string(250, '1')), true},
      {"261 bytes", fake::ToBytes("4.0.30319." + std::string(251, '1')), false},
      {"below minimum", fake::ToBytes("4.0.30318"), false},
  };
  for (const Case& c : cases) {
    fake::FakeWindows win;
    AddFramework(win);
    win.registry.SetValue(View::k32, kKey, "Version", {plat::kRegBinary, c.bytes});
    EXPECT_EQ(DotNet::CDotNetChecker().IsInstalled(), c.installed) << c.name;
    EXPECT_EQ(win.calls.Args<fake::LoadRecord>().empty(), !c.installed)
        << c.name << ": shim loaded only after the version";
  }
}

TEST(DotNetChecker, ShimVariantsReleaseTheLibraryAndRestoreTheErrorMode) {
  struct Case {
    const char* name;
    bool shim, corVersion, bind, runtimeInfo;
    plat::HResult result;
    bool installed;
    std::size_t requests;
  } const cases[] = {
      {"working", true, true, true, true, 0, true, 1},
      {"S_FALSE is success", true, true, true, true, 1, true, 1},
      {"request fails", true, true, true, true, plat::kEFail, false, 1},
      {"no shim", false, false, false, false, 0, false, 0},
      {"no GetCORVersion", true, false, true, true, 0, false, 0},
      {"no CorBindToRuntime", true, true, false, true, 0, false, 0},
      {"no GetRequestedRuntimeInfo", true, true, true, false, 0, false, 0},
  };
  for (const Case& c : cases) {
    fake::FakeWindows win;
    AddFramework(win, false);
    if (c.shim) win.libraries.InstallShim(c.corVersion, c.bind, c.runtimeInfo);
    win.libraries.runtimeInfoResult = c.result;
    EXPECT_EQ(DotNet::CDotNetChecker().IsInstalled(), c.installed) << c.name;
    EXPECT_EQ(win.calls.Args<fake::RuntimeInfoCall>().size(), c.requests) << c.name;
    const std::vector<plat::UInt> modes =
        c.requests ? std::vector<plat::UInt>{plat::kSemFailCriticalErrors, 0}
                   : std::vector<plat::UInt>{};
    EXPECT_EQ(win.calls.Args<plat::UInt>("SetErrorMode"), modes) << c.name;
    EXPECT_EQ(win.calls.Count("ShimOtherEntry"), 0) << c.name;
    EXPECT_EQ(win.libraries.LoadedLibraryCount(), 0) << c.name;
  }
}

TEST(DotNetChecker, ShimIsNeverTakenFromBesideTheExecutable) {
  for (const bool modernKernel : {true, false}) {
    fake::FakeWindows win;
    win.libraries.SetKernel32(modernKernel);
    AddFramework(win, false);
    win.libraries.PlantBesideExe("mscoree.dll",
                                 {"GetCORVersion", "CorBindToRuntime", "GetRequestedRuntimeInfo"});
    EXPECT_FALSE(DotNet::CDotNetChecker().IsInstalled());
    win.libraries.InstallShim();
    EXPECT_TRUE(DotNet::CDotNetChecker().IsInstalled());
    EXPECT_EQ(win.calls.Count("PlantedEntry"), 0);
    for (const auto& load : win.calls.Args<fake::LoadRecord>())
      EXPECT_TRUE(load.resolved.empty() || load.resolved == "c:\\windows\\system32\\mscoree.dll");
    EXPECT_EQ(win.libraries.LoadedLibraryCount(), 0);
  }
}

}  // namespace
