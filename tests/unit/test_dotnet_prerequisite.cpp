// The prerequisite step: its outcome for each answer and installer run, the
// question as the user sees it, and the single error box.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "dotnet/PrerequisiteStep.h"
#include "fake/FakeWindows.h"
#include "framework/WinApp.h"
#include "golden_identities.h"

namespace {

const char kKey[] = "Software\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full";
const char kInstaller[] = "C:\\Users\\user\\AppData\\Local\\Temp\\dotNetFx40_Full_setup.exe";
const char kQuestion[] =
    "Microsoft .NET Framework 4.0 is not installed on this computer. The installer will "
    "download and install the framework now.\n\nDo you want to proceed?";

TEST(DotNetPrerequisiteStep, OutcomeFollowsTheCheckTheAnswerAndTheRun) {
  struct Case {
    const char* name;
    bool installed;
    std::optional<int> answer;  // nullopt: no question expected
    bool resource;
    plat::DWord exitCode;
    bool goOn;
    std::optional<std::string> errorText;  // nullopt: no error box
  } const cases[] = {
      {"installed", true, std::nullopt, true, 0, true, std::nullopt},
      {"No", false, plat::kIdNo, true, 0, false, std::nullopt},
      {"closed otherwise", false, plat::kIdCancel, true, 0, false, std::nullopt},
      {"Yes, installed", false, plat::kIdYes, true, 0, true, std::nullopt},
      {"Yes, restart needed", false, plat::kIdYes, true, 3010, true, std::nullopt},
      {"Yes, cancelled", false, plat::kIdYes, true, 1602, false, std::nullopt},
      {"Yes, fatal", false, plat::kIdYes, true, 4100, true, golden::RowOf(4100).message},
      {"Yes, unknown code", false, plat::kIdYes, true, 4102, true,
       std::string("(0x1006) ") + golden::kUnknownExitCode},
      {"Yes, no resource", false, plat::kIdYes, false, 0, true,
       golden::Text(golden::kNotFound, 134)},
  };
  for (const Case& c : cases) {
    fake::FakeWindows win;
    const CWinAppEx app(false, "named");
    if (c.installed) {
      win.registry.SetDword(fake::View::k32, kKey, "Install", 1);
      win.registry.SetString(fake::View::k32, kKey, "Version", "4.0.30319");
      win.libraries.InstallShim();
    }
    if (c.resource) win.resources.SetResource("EXE", 134, fake::ToBytes("MZ"));
    if (c.answer) win.dialogs.answers.push_back(*c.answer);
    win.shell.processExitCode = c.exitCode;

    EXPECT_EQ(RunPrerequisiteStep(), c.goOn) << c.name;

    const bool asked = c.answer.has_value();
    const bool errorBox = c.errorText.has_value();
    ASSERT_EQ(win.calls.Args<fake::MessageBoxCall>().size(),
              (asked ? 1u : 0u) + (errorBox ? 1u : 0u))
        << c.name;
    if (asked) {
      EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>()[0].text, kQuestion) << c.name;
      EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>()[0].caption, "named") << c.name;
      EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>()[0].type, 0x24u) << c.name;
      EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>()[0].owner, nullptr) << c.name;
    }
    if (errorBox) {
      EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>().back().text, *c.errorText) << c.name;
      EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>().back().caption, golden::kErrorCaption)
          << c.name;
      EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>().back().type, golden::kErrorBoxStyle)
          << c.name;
    }
    const bool ran = c.answer == plat::kIdYes && c.resource;
    EXPECT_EQ(win.files.HasFile(kInstaller), ran) << c.name;
    EXPECT_EQ(win.calls.Args<fake::ShellExecuteExCall>().size(), ran ? 1u : 0u) << c.name;
    EXPECT_EQ(win.OpenHandleCount(), 0) << c.name;
    EXPECT_EQ(win.registry.OpenKeyCount(), 0) << c.name;
    EXPECT_EQ(win.libraries.LoadedLibraryCount(), 0) << c.name;
  }
}

}  // namespace
