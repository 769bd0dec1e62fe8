#include <gtest/gtest.h>

#include "app/LumentaSetupBootApp.h"
#include "common/KvSystemLibrary.h"
#include "fake/FakeWindows.h"

namespace {

const char* kSetupKey = "Software\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full";
const char* kSourceKey = "Software\\Brannex\\Freeware - Lumenta";
const std::string kPackage = "C:\\Users\\user\\AppData\\Local\\Temp\\BrannexLumentaSetup.msi";

struct Sequence : ::testing::Test {
  fake::FakeWindows win;
  void SetUp() override {
    win.InstallMsi();
    win.SetResource("MSI", 130, fake::ToBytes("package"));
    win.SetResource("EXE", 134, fake::ToBytes("MZ framework installer"));
    win.SetResource("KvR", 10, fake::Bytes{'<', 0, 'K', 0, 'v', 0, '/', 0, '>', 0});
  }
  void FrameworkPresent() {
    win.SetDword(fake::View::k32, kSetupKey, "Install", 1);
    win.SetString(fake::View::k32, kSetupKey, "Version", "4.0.30319");
    win.InstallShim();
  }
  int Run() {
    CLumentaSetupBootApp app;
    return fw::RunApplication();
  }
};

TEST_F(Sequence, FrameworkPresentShowsNothingAndOpensThePackage) {
  FrameworkPresent();
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(win.messageBoxes.empty());
  EXPECT_TRUE(win.GetValue(fake::View::k32, kSourceKey, "SourceInfo").has_value());
  EXPECT_TRUE(win.GetValue(fake::View::k64, kSourceKey, "SourceInfo").has_value());
  ASSERT_EQ(win.shellExecuteCalls.size(), 1u);
  EXPECT_EQ(win.shellExecuteCalls[0].file, kPackage);
  // The note is recorded first, then the framework looked for, then the
  // package opened.
  EXPECT_EQ(win.CallsAmong({"RegSetValueExA", "RegQueryValueExA", "ShellExecuteA"}).front(),
            "RegSetValueExA");
  EXPECT_EQ(win.CallsAmong({"RegSetValueExA", "RegQueryValueExA", "ShellExecuteA"}).back(),
            "ShellExecuteA");
  EXPECT_EQ(win.OpenHandleCount(), 0);
  EXPECT_EQ(win.OpenKeyCount(), 0);
  EXPECT_EQ(win.LoadedLibraryCount(), 0);
}

TEST_F(Sequence, AnsweringNoEndsTheRunWithoutThePackage) {
  win.answers = {plat::kIdNo};
  EXPECT_EQ(Run(), 0);
  ASSERT_EQ(win.messageBoxes.size(), 1u);
  EXPECT_EQ(win.messageBoxes[0].caption, "LumentaSetupBoot");
  EXPECT_EQ(win.messageBoxes[0].type, 0x24u);
  EXPECT_FALSE(win.HasFile(kPackage));
  EXPECT_TRUE(win.shellExecuteCalls.empty());
  EXPECT_TRUE(win.shellExecuteExCalls.empty());
}

TEST_F(Sequence, CancelledFrameworkInstallEndsTheRunWithoutThePackage) {
  win.answers = {plat::kIdYes};
  win.processExitCode = 1602;
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(win.messageBoxes.size(), 1u);
  EXPECT_EQ(win.shellExecuteExCalls.size(), 1u);
  EXPECT_FALSE(win.HasFile(kPackage));
  EXPECT_TRUE(win.shellExecuteCalls.empty());
}

TEST_F(Sequence, FailedFrameworkStepIsShownOnceAndThePackageStillOpens) {
  win.answers = {plat::kIdYes};
  win.processExitCode = 1603;
  EXPECT_EQ(Run(), 0);
  ASSERT_EQ(win.messageBoxes.size(), 2u);
  EXPECT_EQ(win.messageBoxes[1].caption, "Error");
  EXPECT_EQ(win.shellExecuteCalls.size(), 1u);
}

TEST_F(Sequence, SilentSourceInfoFailureDoesNotKeepThePrerequisiteStepFromRunning) {
  win.regFault = [](const fake::RegRequest& r) -> plat::Long {
    return r.op == "RegCreateKeyExA" ? 5 : 0;
  };
  win.RemoveResource("KvR", 10);
  FrameworkPresent();
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(win.messageBoxes.empty());
  EXPECT_EQ(win.shellExecuteCalls.size(), 1u);
}

TEST_F(Sequence, QuestionCaptionFollowsTheExecutableName) {
  win.exePath = "D:\\dl\\setup.exe";
  Run();
  ASSERT_EQ(win.messageBoxes.size(), 1u);
  EXPECT_EQ(win.messageBoxes[0].caption, "setup");
}

TEST(AppName, IsTheFileNameWithoutFolderAndExtension) {
  fake::FakeWindows win;
  EXPECT_EQ(fw::AppNameFromModulePath("C:\\a\\b\\LumentaSetupBoot.exe"), "LumentaSetupBoot");
  EXPECT_EQ(fw::AppNameFromModulePath("C:\\a.b\\my.setup.exe"), "my.setup");
  EXPECT_EQ(fw::AppNameFromModulePath("C:/a/setup"), "setup");
  win.UseDoubleByteCodePage();
  EXPECT_EQ(fw::AppNameFromModulePath("C:\\x\x95\\y.exe"), "x\x95\\y");
}

TEST(AppFramework, InitInstanceRunsOnceAndTheExitHookGivesZero) {
  fake::FakeWindows win;
  struct Probe : CWinAppEx {
    int runs = 0;
    bool InitInstance() override { return ++runs, false; }
  } probe;
  EXPECT_EQ(fw::RunApplication(), 0);
  EXPECT_EQ(probe.runs, 1);
  EXPECT_EQ(probe.AppName(), "LumentaSetupBoot");
  EXPECT_EQ(fw::GetResourceHandle(), win.ExeModule());
  EXPECT_TRUE(probe.OnCommand(kIdHelp));
  EXPECT_FALSE(probe.OnCommand(1));
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
  struct Probe : CWinAppEx {
    bool InitInstance() override {
      // Nothing may run before the search is restricted.
      EXPECT_EQ(fake::FakeWindows::Current().setDefaultDllDirectoriesCalls.size(), 1u);
      return false;
    }
  } probe;
  fw::RunApplication();
  EXPECT_EQ(win.setDefaultDllDirectoriesCalls, (std::vector<plat::DWord>{0x800}));
  EXPECT_TRUE(win.setDllDirectoryCalls.empty());
}

TEST(DllSearch, OlderSystemsDropTheCurrentFolder) {
  fake::FakeWindows win;
  win.SetKernel32(false, true);
  RestrictDllSearch();
  EXPECT_EQ(win.setDllDirectoryCalls, (std::vector<std::string>{""}));
  win.SetKernel32(false, false);
  RestrictDllSearch();  // XP before SP1: nothing to call, nothing called
  EXPECT_EQ(win.setDllDirectoryCalls.size(), 1u);
}

}  // namespace
