#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/LumentaSetupBootApp.h"
#include "common/KvSystemLibrary.h"
#include "dotnet/PrerequisiteStep.h"
#include "fake/FakeWindows.h"
#include "golden_identities.h"

namespace {

const char* kSetupKey = "Software\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full";
const char* kSourceKey = "Software\\Brannex\\Freeware - Lumenta";
const std::string kPackage = "C:\\Users\\user\\AppData\\Local\\Temp\\BrannexLumentaSetup.msi";

// The executable as built: the three payloads, and msi.dll in the system.
void PrepareImage(fake::FakeWindows& win) {
  win.libraries.InstallMsi();
  win.resources.SetResource("MSI", 130, fake::ToBytes("package"));
  win.resources.SetResource("EXE", 134, fake::ToBytes("MZ framework installer"));
  win.resources.SetResource("KvR", 10, fake::Bytes{'<', 0, 'K', 0, 'v', 0, '/', 0, '>', 0});
}

int RunApp() {
  CLumentaSetupBootApp app;
  return fw::RunApplication();
}

struct Sequence : ::testing::Test {
  fake::FakeWindows win;
  void SetUp() override { PrepareImage(win); }
  void FrameworkPresent() {
    win.registry.SetDword(fake::View::k32, kSetupKey, "Install", 1);
    win.registry.SetString(fake::View::k32, kSetupKey, "Version", "4.0.30319");
    win.libraries.InstallShim();
  }
};

TEST_F(Sequence, FrameworkPresentShowsNothingAndOpensThePackage) {
  FrameworkPresent();
  EXPECT_EQ(RunApp(), 0);
  EXPECT_TRUE(win.calls.Args<fake::MessageBoxCall>().empty());
  EXPECT_TRUE(win.registry.GetValue(fake::View::k32, kSourceKey, "SourceInfo").has_value());
  EXPECT_TRUE(win.registry.GetValue(fake::View::k64, kSourceKey, "SourceInfo").has_value());
  ASSERT_EQ(win.calls.Args<fake::ShellExecuteCall>().size(), 1u);
  EXPECT_EQ(win.calls.Args<fake::ShellExecuteCall>()[0].file, kPackage);
  // The note is recorded first, then the framework looked for, then the
  // package opened.
  const std::vector<std::string> order =
      win.calls.Among({"RegSetValueExA", "RegQueryValueExA", "ShellExecuteA"});
  ASSERT_FALSE(order.empty());
  EXPECT_EQ(order.front(), "RegSetValueExA");
  EXPECT_EQ(order.back(), "ShellExecuteA");
  EXPECT_EQ(win.OpenHandleCount(), 0);
  EXPECT_EQ(win.registry.OpenKeyCount(), 0);
  EXPECT_EQ(win.libraries.LoadedLibraryCount(), 0);
}

TEST_F(Sequence, AnsweringNoEndsTheRunWithoutThePackage) {
  win.dialogs.answers = {plat::kIdNo};
  EXPECT_EQ(RunApp(), 0);
  ASSERT_EQ(win.calls.Args<fake::MessageBoxCall>().size(), 1u);
  EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>()[0].type, 0x24u);
  EXPECT_FALSE(win.files.HasFile(kPackage));
  EXPECT_TRUE(win.calls.Args<fake::ShellExecuteCall>().empty());
  EXPECT_TRUE(win.calls.Args<fake::ShellExecuteExCall>().empty());
}

// The user cancelled the framework's installer (1602), or it has installed
// the framework and begun the restart (1641): no package, no box after the
// question.
TEST(SequenceEnds, AfterACancelledFrameworkInstallOrARestartUnderWay) {
  for (const plat::DWord code : {1602u, 1641u}) {
    fake::FakeWindows win;
    PrepareImage(win);
    win.dialogs.answers = {plat::kIdYes};
    win.shell.processExitCode = code;
    EXPECT_EQ(RunApp(), 0) << code;
    EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>().size(), 1u) << code;
    EXPECT_EQ(win.calls.Args<fake::ShellExecuteExCall>().size(), 1u) << code;
    EXPECT_FALSE(win.files.HasFile(kPackage)) << code;
    EXPECT_TRUE(win.calls.Args<fake::ShellExecuteCall>().empty()) << code;
  }
}

TEST_F(Sequence, FailedFrameworkStepIsShownOnceAndThePackageStillOpens) {
  win.dialogs.answers = {plat::kIdYes};
  win.shell.processExitCode = 1603;
  EXPECT_EQ(RunApp(), 0);
  ASSERT_EQ(win.calls.Args<fake::MessageBoxCall>().size(), 2u);
  EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>()[1].caption, golden::kErrorCaption);
  EXPECT_EQ(win.calls.Args<fake::ShellExecuteCall>().size(), 1u);
}

TEST_F(Sequence, SilentSourceInfoFailureDoesNotKeepThePrerequisiteStepFromRunning) {
  win.registry.fault = [](const fake::RegRequest& r) -> plat::Long {
    return r.op == "RegCreateKeyExA" ? 5 : 0;
  };
  win.resources.RemoveResource("KvR", 10);
  FrameworkPresent();
  EXPECT_EQ(RunApp(), 0);
  EXPECT_TRUE(win.calls.Args<fake::MessageBoxCall>().empty());
  EXPECT_EQ(win.calls.Args<fake::ShellExecuteCall>().size(), 1u);
}

// The question's caption is the executable's file name without folder and
// extension: from the application object, which names itself so at start-up,
// and from the step's own fallback when there is no application. A path the
// system cannot give in full (260 characters and more) names nothing.
TEST(QuestionCaption, IsTheExecutablesFileNameWithoutFolderAndExtension) {
  const std::string folder = "C:\\" + std::string(245, 'f') + "\\";  // 249 characters
  struct Case {
    std::string path;
    bool doubleByte;
    std::string caption;
  } const cases[] = {
      {"C:\\Users\\user\\Downloads\\LumentaSetupBoot.exe", false, "LumentaSetupBoot"},
      {"D:\\dl\\setup.exe", false, "setup"},
      {"C:\\a.b\\my.setup.exe", false, "my.setup"},
      {"C:/a/setup", false, "setup"},
      {"C:\\a\\.exe", false, ""},
      {"C:\\a/b\\setup.exe", false, "setup"},
      {"C:\\a\\b/setup.exe", false, "setup"},
      {"C:/a\\b/c\\setup.exe", false, "setup"},
      {"setup.exe", false, "setup"},
      {"C:\\x\x95\\y.exe", true, "x\x95\\y"},
      {"C:\\x\x95\\y.exe", false, "y"},
      {folder + "setup1.exe", false, "setup1"},  // 259: fits with its terminator
      {folder + "setup12.exe", false, ""},       // 260: cut short by the system
      {"C:\\" + std::string(300, 'f') + "\\setup.exe", false, ""},
  };
  ASSERT_EQ((folder + "setup1.exe").size(), 259u);
  for (const Case& c : cases) {
    for (const bool withApp : {true, false}) {
      fake::FakeWindows win;
      if (c.doubleByte) win.system.UseDoubleByteCodePage();
      if (c.path.size() < 260) {
        EXPECT_EQ(fw::AppNameFromModulePath(c.path), c.caption) << c.path;
      }
      win.libraries.exePath = c.path;
      win.dialogs.answers = {plat::kIdNo};
      if (withApp) {
        CLumentaSetupBootApp app;
        fw::RunApplication();
      } else {
        RunPrerequisiteStep();
      }
      ASSERT_EQ(win.calls.Args<fake::MessageBoxCall>().size(), 1u) << c.path;
      EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>()[0].caption, c.caption)
          << c.path << (withApp ? "" : ", no app");
    }
  }
}

// InitInstance runs once; whatever it answers, ExitInstance runs once after
// it and its result is the exit code, which the framework's own makes 0.
TEST(AppFramework, InitInstanceRunsOnceThenTheExitHookGivesTheExitCode) {
  for (const bool initialised : {false, true}) {
    fake::FakeWindows win;
    struct Probe : CWinAppEx {
      bool answer = false;
      int runs = 0, exits = 0;
      bool InitInstance() override { return ++runs, answer; }
      int ExitInstance() override { return ++exits, 40 + runs; }
    } probe;
    probe.answer = initialised;
    EXPECT_EQ(fw::RunApplication(), 41) << initialised;
    EXPECT_EQ(probe.runs, 1) << initialised;
    EXPECT_EQ(probe.exits, 1) << initialised;
    EXPECT_EQ(fw::GetResourceHandle(), win.libraries.ExeModule());
  }
  fake::FakeWindows win;
  struct Plain : CWinAppEx {
    bool InitInstance() override { return false; }
  } plain;
  EXPECT_EQ(fw::RunApplication(), 0);
  EXPECT_TRUE(plain.OnCommand(kIdHelp));
  EXPECT_FALSE(plain.OnCommand(1));
}

// A second application object while the first lives replaces nothing; with
// none left, the entry point has nothing to run.
TEST(AppFramework, TheFirstApplicationObjectIsTheOneThatRuns) {
  fake::FakeWindows win;
  struct Probe : CWinAppEx {
    int runs = 0;
    bool InitInstance() override { return ++runs, false; }
  };
  {
    Probe first;
    {
      Probe second;
      EXPECT_EQ(CWinAppEx::Current(), &first);
      fw::RunApplication();
      EXPECT_EQ(second.runs, 0);
    }
    EXPECT_EQ(CWinAppEx::Current(), &first);
    fw::RunApplication();
    EXPECT_EQ(first.runs, 2);
  }
  EXPECT_EQ(CWinAppEx::Current(), nullptr);
  EXPECT_EQ(fw::RunApplication(), 1);
}

TEST(AppFramework, AnExceptionLeavingInitInstanceEndsWithANonZeroCode) {
  fake::FakeWindows win;
  struct OutOfMemory : CWinAppEx {
    bool InitInstance() override { throw std::bad_alloc(); }
  } app;
  EXPECT_EQ(fw::RunApplication(), 8);
}

}  // namespace

namespace {

TEST(DllSearch, SystemFolderOnlyWhereKernel32HasIt) {
  fake::FakeWindows win;
  RestrictDllSearch();
  EXPECT_EQ(win.calls.Args<plat::DWord>("SetDefaultDllDirectories"),
            (std::vector<plat::DWord>{0x800}));
  EXPECT_TRUE(win.calls.Args<std::string>("SetDllDirectoryA").empty());
}

TEST(DllSearch, OlderSystemsDropTheCurrentFolder) {
  fake::FakeWindows win;
  win.libraries.SetKernel32(false, true);
  RestrictDllSearch();
  EXPECT_EQ(win.calls.Args<std::string>("SetDllDirectoryA"), (std::vector<std::string>{""}));
  win.libraries.SetKernel32(false, false);
  RestrictDllSearch();  // XP before SP1: nothing to call, nothing called
  EXPECT_EQ(win.calls.Args<std::string>("SetDllDirectoryA").size(), 1u);
}

}  // namespace
