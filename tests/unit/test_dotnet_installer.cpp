// The framework installer run: the file, the launch request, the retries,
// the wait and the meaning of every exit code.
#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "common/KvException.h"
#include "dotnet/DotNetInstaller.h"
#include "fake/FakeWindows.h"

namespace {

using DotNet::InstallerVerdict;

const char kPath[] = "C:\\Users\\user\\AppData\\Local\\Temp\\dotNetFx40_Full_setup.exe";
const char kUnknown[] =
    "Unknown error occurred and the installation of Dotnetfx.exe cannot proceed.";
const char kFatal[] = "A fatal error occurred and the installation of Dotnetfx.exe cannot proceed.";

struct Row {
  plat::DWord code;
  InstallerVerdict verdict;
  const char* message;
  int line;
};

const Row kRows[] = {
    {0, InstallerVerdict::kDone, nullptr, 0},
    {3010, InstallerVerdict::kDone, nullptr, 0},
    {1641, InstallerVerdict::kDone, nullptr, 0},
    {1602, InstallerVerdict::kCancelled, nullptr, 0},
    {4096, InstallerVerdict::kFailedText,
     "Either the syntax used to specify parameters to Dotnetfx.exe is incorrect, or the "
     "parameters are invalid.",
     68},
    {4097, InstallerVerdict::kFailedText,
     "You do not have the permissions required to install or uninstall this application. "
     "Please contact your administrator.",
     71},
    {4098, InstallerVerdict::kFailedText,
     "The Windows Installer installation failed. As a result, the installation of "
     "Dotnetfx.exe cannot proceed.",
     74},
    {4099, InstallerVerdict::kFailedText,
     "Due to the improper installation of Windows Installer, the installation of "
     "Dotnetfx.exe cannot proceed.",
     77},
    {4100, InstallerVerdict::kFailedText, kFatal, 80},
    {4101, InstallerVerdict::kFailedText,
     "If another instance of setup is running, it will be allowed to continue and the "
     "current installation cannot proceed.",
     83},
    {4104, InstallerVerdict::kFailedText,
     "You attempted to install a version of Dotnetfx.exe that is already installed. "
     "Installation cannot proceed.",
     86},
    {4105, InstallerVerdict::kFailedText,
     "You attempted to uninstall a version of Dotnetfx.exe that is not installed on the "
     "computer. Uninstallation cannot proceed.",
     89},
    {4108, InstallerVerdict::kFailedText, "Cannot read from MSI Database.", 92},
    {4111, InstallerVerdict::kFailedText, "Cannot get Temp directory.", 95},
    {4113, InstallerVerdict::kFailedText,
     "A beta version of the .NET Framework was detected on the computer. You must uninstall "
     "any beta versions before attempting to install Dotnetfx.exe.",
     98},
    {4114, InstallerVerdict::kFailedText, "Cannot get System directory.", 101},
    {8191, InstallerVerdict::kFailedText, kFatal, 104},
    {8192, InstallerVerdict::kFailedText,
     "A computer reboot is required following the installation of Windows Installer.", 65},
    {1, InstallerVerdict::kFailedCode, kUnknown, 108},
    {1603, InstallerVerdict::kFailedCode, kUnknown, 108},
    {4095, InstallerVerdict::kFailedCode, kUnknown, 108},
    {4102, InstallerVerdict::kFailedCode, kUnknown, 108},
    {4103, InstallerVerdict::kFailedCode, kUnknown, 108},
    {4106, InstallerVerdict::kFailedCode, kUnknown, 108},
    {4107, InstallerVerdict::kFailedCode, kUnknown, 108},
    {4109, InstallerVerdict::kFailedCode, kUnknown, 108},
    {4110, InstallerVerdict::kFailedCode, kUnknown, 108},
    {4112, InstallerVerdict::kFailedCode, kUnknown, 108},
    {8193, InstallerVerdict::kFailedCode, kUnknown, 108},
    {0xFFFFFFFF, InstallerVerdict::kFailedCode, kUnknown, 108},
};

TEST(DotNetInstallerJudgement, EveryExitCodeHasItsVerdictMessageAndLine) {
  for (const Row& row : kRows) {
    const DotNet::InstallerJudgement j = DotNet::JudgeInstallerExitCode(row.code);
    EXPECT_EQ(j.verdict, row.verdict) << row.code;
    EXPECT_EQ(j.message ? std::string(j.message) : "-", row.message ? row.message : "-")
        << row.code;
    EXPECT_EQ(j.line, row.line) << row.code;
  }
}

// What one Install call did: its result, or what it threw.
struct Outcome {
  std::optional<bool> result;
  std::optional<int> kind;
  std::string function, file, text;
  int line = 0;
  plat::DWord code = 0;
};

Outcome RunInstall() {
  Outcome out;
  // The installer as the extraction leaves it: a program in the temporary folder.
  if (!fake::FakeWindows::Current().HasFile(kPath))
    fake::FakeWindows::Current().PutFile(kPath, fake::ToBytes("MZ installer"));
  try {
    out.result = DotNet::CDotNetInstaller().Install(kPath);
  } catch (const Error::KvExceptionCommon& e) {
    out = {std::nullopt,   2,           e.GetFunctionName(), e.GetFileName(),
           e.GetContext(), e.GetLine(), e.GetErrorCode()};
  } catch (const Error::KvExceptionText& e) {
    out = {std::nullopt, 4, e.GetFunctionName(), e.GetFileName(), e.GetText(), e.GetLine(), 0};
  }
  return out;
}

TEST(DotNetInstaller, EveryExitCodeEndsTheRunAsJudgedWithTheHandleClosed) {
  for (const Row& row : kRows) {
    fake::FakeWindows win;
    win.processExitCode = row.code;
    const Outcome out = RunInstall();
    EXPECT_EQ(win.OpenHandleCount(), 0) << row.code;
    if (row.verdict == InstallerVerdict::kDone || row.verdict == InstallerVerdict::kCancelled) {
      EXPECT_EQ(out.result, row.verdict == InstallerVerdict::kDone) << row.code;
      continue;
    }
    EXPECT_EQ(out.kind, row.verdict == InstallerVerdict::kFailedText ? 4 : 2) << row.code;
    EXPECT_EQ(out.text, row.message) << row.code;
    EXPECT_EQ(out.line, row.line) << row.code;
    EXPECT_EQ(out.function, "DotNet::CDotNetInstaller::InstallVerify") << row.code;
    EXPECT_EQ(out.file, "DotNetInstaller") << row.code;
    EXPECT_EQ(out.code, out.kind == 2 ? row.code : 0) << row.code;
  }
}

TEST(DotNetInstaller, LaunchRequestIsFilledFieldByFieldAndWaitedForWithoutLimit) {
  fake::FakeWindows win;
  EXPECT_EQ(RunInstall().result, true);
  ASSERT_EQ(win.shellExecuteExCalls.size(), 1u);
  const fake::ShellExecuteExCall& call = win.shellExecuteExCalls[0];
  EXPECT_EQ(call.info.cbSize, 60u);
  EXPECT_EQ(call.info.fMask, 0x440u);
  EXPECT_EQ(call.info.hwnd, nullptr);
  EXPECT_EQ(call.verb, std::nullopt);
  EXPECT_EQ(call.file, kPath);
  EXPECT_EQ(call.parameters, "/c:\"install\"");
  EXPECT_EQ(call.directory, std::nullopt);
  EXPECT_EQ(call.info.nShow, 5);
  EXPECT_EQ(call.info.hInstApp, nullptr);
  EXPECT_EQ(call.info.lpIDList, nullptr);
  EXPECT_EQ(call.info.lpClass, nullptr);
  EXPECT_EQ(call.info.hkeyClass, nullptr);
  EXPECT_EQ(call.info.dwHotKey, 0u);
  EXPECT_EQ(call.info.hIconOrMonitor, nullptr);
  EXPECT_EQ(call.info.hProcess, nullptr);
  EXPECT_EQ(win.waits, std::vector<plat::DWord>{plat::kInfinite});
  EXPECT_EQ(win.CallsAmong({"WaitForSingleObject", "GetExitCodeProcess", "CloseHandle"}),
            (std::vector<std::string>{"WaitForSingleObject", "GetExitCodeProcess", "CloseHandle"}));
}

TEST(DotNetInstaller, NothingToJudgeCountsAsDone) {
  struct Case {
    const char* name;
    bool noProcess, waitFails, readFails;
  } const cases[] = {
      {"no process", true, false, false},
      {"wait fails", false, true, false},
      {"exit code unreadable", false, false, true},
  };
  for (const Case& c : cases) {
    fake::FakeWindows win;
    win.processExitCode = 4100;
    win.launchGivesNoProcess = c.noProcess;
    win.waitResult = c.waitFails ? plat::kWaitFailed : plat::kWaitObject0;
    win.exitCodeReadFails = c.readFails;
    EXPECT_EQ(RunInstall().result, true) << c.name;
    EXPECT_EQ(win.CountCalls("GetExitCodeProcess"), c.readFails ? 1 : 0) << c.name;
    EXPECT_EQ(win.OpenHandleCount(), 0) << c.name;
  }
}

TEST(DotNetInstaller, SharingViolationsAreRetriedForFiveSecondsThenReported) {
  struct Case {
    const char* name;
    std::deque<plat::DWord> errors;
    std::optional<plat::DWord> thrown;
    std::size_t launches;
  } const cases[] = {
      {"file vanished", {2}, 2, 1},
      {"three violations", {32, 32, 32}, std::nullopt, 4},
      {"violation, then denied", {32, 5}, 5, 2},
      {"last allowed retry works", std::deque<plat::DWord>(50, 32), std::nullopt, 51},
      {"violation forever", std::deque<plat::DWord>(1000, 32), 32, 51},
  };
  for (const Case& c : cases) {
    fake::FakeWindows win;
    win.launchErrors = c.errors;
    const Outcome out = RunInstall();
    EXPECT_EQ(win.shellExecuteExCalls.size(), c.launches) << c.name;
    EXPECT_EQ(win.sleeps, std::vector<plat::DWord>(win.CountCalls("Sleep"), 100)) << c.name;
    EXPECT_LE(win.sleeps.size(), 50u) << c.name;
    EXPECT_EQ(win.OpenHandleCount(), 0) << c.name;
    if (!c.thrown) {
      EXPECT_EQ(out.result, true) << c.name;
      EXPECT_EQ(win.sleeps.size(), c.launches - 1) << c.name;
      continue;
    }
    EXPECT_EQ(out.kind, 2) << c.name;
    EXPECT_EQ(out.code, *c.thrown) << c.name;
    EXPECT_EQ(out.text, "Failed to execute .NET Framework installer.") << c.name;
    EXPECT_EQ(out.function, "DotNet::CDotNetInstaller::Install") << c.name;
    EXPECT_EQ(out.line, 39) << c.name;
    EXPECT_TRUE(win.waits.empty()) << c.name;
  }
}

TEST(DotNetInstaller, ExtractWritesTheResourceToTheTemporaryFolderOrTheBareName) {
  fake::FakeWindows win;
  win.SetResource("EXE", 134, fake::ToBytes("MZ new"));
  win.PutFile(kPath, fake::ToBytes("MZ old, longer"));
  EXPECT_EQ(std::string(ExtractDotNetInstaller()), kPath);
  ASSERT_TRUE(win.HasFile(kPath));
  EXPECT_EQ(win.File(kPath)->bytes, fake::ToBytes("MZ new"));

  win.tempPath.reset();
  EXPECT_EQ(std::string(ExtractDotNetInstaller()), "dotNetFx40_Full_setup.exe");
}

}  // namespace
