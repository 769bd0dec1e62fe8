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
#include "golden_identities.h"

namespace {

using golden::Outcome;

const char kPath[] = "C:\\Users\\user\\AppData\\Local\\Temp\\dotNetFx40_Full_setup.exe";

// What one Install call did: its result, or what it threw.
struct InstallRun {
  std::optional<bool> result;
  std::optional<int> kind;
  std::string function, file, text;
  int line = 0;
  plat::DWord code = 0;
};

InstallRun RunInstall() {
  InstallRun out;
  // The installer as the extraction leaves it: a program in the temporary folder.
  if (!fake::FakeWindows::Current().files.HasFile(kPath))
    fake::FakeWindows::Current().files.PutFile(kPath, fake::ToBytes("MZ installer"));
  try {
    out.result = DotNet::CDotNetInstaller().Install(kPath);
  } catch (const Error::KvExceptionCommon& e) {
    out = {std::nullopt,   e.GetKind(), e.GetFunctionName(), e.GetFileName(),
           e.GetContext(), e.GetLine(), e.GetErrorCode()};
  } catch (const Error::KvExceptionText& e) {
    out = {std::nullopt,
           e.GetKind(),
           e.GetFunctionName(),
           e.GetFileName(),
           e.GetText(),
           e.GetLine(),
           0};
  }
  return out;
}

DotNet::InstallerVerdict VerdictOf(Outcome outcome) {
  switch (outcome) {
    case Outcome::kDone:
      return DotNet::InstallerVerdict::kDone;
    case Outcome::kRestartStarted:
      return DotNet::InstallerVerdict::kRestartStarted;
    case Outcome::kCancelled:
      return DotNet::InstallerVerdict::kCancelled;
    case Outcome::kFailedText:
    case Outcome::kFailedCode:
      break;
  }
  return DotNet::InstallerVerdict::kFailed;
}

// Every exit code: the pure verdict, then a whole run that ends with it,
// with the process handle closed whatever the outcome.
TEST(DotNetInstaller, EveryExitCodeIsJudgedAndEndsTheRunAsItsRowSays) {
  for (const golden::ExitCodeRow& row : golden::kExitCodes) {
    EXPECT_EQ(DotNet::JudgeInstallerExitCode(row.code), VerdictOf(row.outcome)) << row.code;

    fake::FakeWindows win;
    win.shell.processExitCode = row.code;
    const InstallRun out = RunInstall();
    EXPECT_EQ(win.OpenHandleCount(), 0) << row.code;
    if (row.message == nullptr) {
      EXPECT_EQ(out.result, row.outcome == Outcome::kDone) << row.code;
      continue;
    }
    const bool text = row.outcome == Outcome::kFailedText;
    EXPECT_EQ(out.kind, text ? golden::kKindText : golden::kKindCommon) << row.code;
    EXPECT_EQ(out.text, row.message) << row.code;
    EXPECT_EQ(out.line, row.line) << row.code;
    EXPECT_EQ(out.function, golden::kVerifyFunction) << row.code;
    EXPECT_EQ(out.file, golden::kInstallerSource) << row.code;
    EXPECT_EQ(out.code, text ? 0 : row.code) << row.code;
  }
}

TEST(DotNetInstaller, LaunchRequestIsFilledFieldByFieldAndWaitedForWithoutLimit) {
  fake::FakeWindows win;
  EXPECT_EQ(RunInstall().result, true);
  ASSERT_EQ(win.calls.Args<fake::ShellExecuteExCall>().size(), 1u);
  const fake::ShellExecuteExCall call = win.calls.Args<fake::ShellExecuteExCall>()[0];
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
  EXPECT_EQ(win.calls.Args<plat::DWord>("WaitForSingleObject"),
            std::vector<plat::DWord>{plat::kInfinite});
  EXPECT_EQ(win.calls.Among({"WaitForSingleObject", "GetExitCodeProcess", "CloseHandle"}),
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
    win.shell.processExitCode = 4100;
    win.shell.launchGivesNoProcess = c.noProcess;
    win.shell.waitResult = c.waitFails ? plat::kWaitFailed : plat::kWaitObject0;
    win.shell.exitCodeReadFails = c.readFails;
    EXPECT_EQ(RunInstall().result, true) << c.name;
    EXPECT_EQ(win.calls.Count("GetExitCodeProcess"), c.readFails ? 1 : 0) << c.name;
    EXPECT_EQ(win.OpenHandleCount(), 0) << c.name;
  }
}

// A sharing violation is known by the last error or by hInstApp alone: a
// shell that leaves another last error (Invalid handle, 6) is retried too,
// and reported as the violation it was.
TEST(DotNetInstaller, SharingViolationsAreRetriedForFiveSecondsThenReported) {
  struct Case {
    const char* name;
    std::deque<plat::DWord> errors;
    std::optional<plat::DWord> thrown;
    std::size_t launches;
    std::optional<plat::DWord> lastErrorLeft;
  } const cases[] = {
      {"file vanished", {2}, 2, 1, std::nullopt},
      {"three violations", {32, 32, 32}, std::nullopt, 4, std::nullopt},
      {"violation, then denied", {32, 5}, 5, 2, std::nullopt},
      {"last allowed retry works", std::deque<plat::DWord>(50, 32), std::nullopt, 51, std::nullopt},
      {"violation forever", std::deque<plat::DWord>(1000, 32), 32, 51, std::nullopt},
      {"violations told by hInstApp", {32, 32, 32}, std::nullopt, 4, 6},
      {"violation forever, told by hInstApp", std::deque<plat::DWord>(1000, 32), 32, 51, 6},
      {"file vanished, last error overwritten", {2}, 6, 1, 6},
  };
  for (const Case& c : cases) {
    fake::FakeWindows win;
    win.shell.launchErrors = c.errors;
    win.shell.refusalLastError = c.lastErrorLeft;
    const InstallRun out = RunInstall();
    EXPECT_EQ(win.calls.Args<fake::ShellExecuteExCall>().size(), c.launches) << c.name;
    EXPECT_EQ(win.calls.Args<plat::DWord>("Sleep"),
              std::vector<plat::DWord>(win.calls.Count("Sleep"), 100))
        << c.name;
    EXPECT_LE(win.calls.Args<plat::DWord>("Sleep").size(), 50u) << c.name;
    EXPECT_EQ(win.OpenHandleCount(), 0) << c.name;
    if (!c.thrown) {
      EXPECT_EQ(out.result, true) << c.name;
      EXPECT_EQ(win.calls.Args<plat::DWord>("Sleep").size(), c.launches - 1) << c.name;
      continue;
    }
    EXPECT_EQ(out.kind, golden::kKindCommon) << c.name;
    EXPECT_EQ(out.code, *c.thrown) << c.name;
    EXPECT_EQ(out.text, golden::kLaunchFailed) << c.name;
    EXPECT_EQ(out.function, golden::kInstallFunction) << c.name;
    EXPECT_EQ(out.file, golden::kInstallerSource) << c.name;
    EXPECT_EQ(out.line, golden::kLaunchFailedLine) << c.name;
    EXPECT_TRUE(win.calls.Args<plat::DWord>("WaitForSingleObject").empty()) << c.name;
  }
}

TEST(DotNetInstaller, ExtractWritesTheResourceToTheTemporaryFolderOrTheBareName) {
  fake::FakeWindows win;
  win.resources.SetResource("EXE", 134, fake::ToBytes("MZ new"));
  win.files.PutFile(kPath, fake::ToBytes("MZ old, longer"));
  EXPECT_EQ(std::string(ExtractDotNetInstaller()), kPath);
  ASSERT_NE(win.files.File(kPath), nullptr);
  EXPECT_EQ(win.files.File(kPath)->bytes, fake::ToBytes("MZ new"));

  win.files.tempPath.reset();
  EXPECT_EQ(std::string(ExtractDotNetInstaller()), "dotNetFx40_Full_setup.exe");
}

}  // namespace
