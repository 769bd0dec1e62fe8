#include "dotnet/PrerequisiteStep.h"

#include <string>

#include "common/KvException.h"
#include "dotnet/DotNetChecker.h"
#include "dotnet/DotNetInstaller.h"
#include "framework/WinApp.h"
#include "platform/Platform.h"

namespace {

constexpr const char* kQuestion =
    "Microsoft .NET Framework 4.0 is not installed on this computer. The installer will "
    "download and install the framework now.\n\nDo you want to proceed?";
constexpr plat::UInt kQuestionStyle = plat::kMbYesNo | plat::kMbIconQuestion;

// The application's message box; without an application object, a box of
// the same kind captioned with the executable's name, as the application
// would have named itself.
int AskToInstall() {
  if (const CWinAppEx* app = CWinAppEx::Current())
    return app->DoMessageBox(kQuestion, kQuestionStyle);
  char path[plat::kMaxPath] = {};
  const plat::DWord length = plat::GetModuleFileNameA(nullptr, path, sizeof(path));
  const std::string caption =
      length > 0 && length < sizeof(path) ? fw::AppNameFromModulePath(path) : std::string();
  return plat::MessageBoxA(nullptr, kQuestion, caption.c_str(), kQuestionStyle);
}

}  // namespace

bool RunPrerequisiteStep() {
  try {
    const DotNet::CDotNetChecker checker;
    if (checker.IsInstalled()) return true;
    if (AskToInstall() != plat::kIdYes) return false;
    const KvFsPath installer = ExtractDotNetInstaller();
    const DotNet::CDotNetInstaller run;
    return run.Install(installer);
  } catch (const Error::KvException& e) {
    e.ShowError();
    return true;
  }
}
