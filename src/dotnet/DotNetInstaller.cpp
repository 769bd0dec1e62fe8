#include "dotnet/DotNetInstaller.h"

#include "common/KvException.h"
#include "common/KvScoped.h"
#include "common/ResourcesExtractor.h"

namespace {

constexpr const char* kInstallerFileName = "dotNetFx40_Full_setup.exe";

}  // namespace

KvFsPath ExtractDotNetInstaller() {
  const KvFsPath path = KvFsPath::GetTempFolder().Combine(kInstallerFileName);
  CResourcesExtractor::ExtractFile(path);
  return path;
}

namespace DotNet {
namespace {

// Source positions identify each failure to whoever reads the report; they
// are fixed values and stay as they are wherever the code moves.
constexpr const char* kSourceName = "DotNetInstaller";
constexpr const char* kInstallFunction = "DotNet::CDotNetInstaller::Install";
constexpr const char* kVerifyFunction = "DotNet::CDotNetInstaller::InstallVerify";
constexpr std::int32_t kLineLaunchFailed = 39;
constexpr std::int32_t kLineUnknownExitCode = 108;
constexpr const char* kLaunchFailed = "Failed to execute .NET Framework installer.";
constexpr const char* kUnknownExitCode =
    "Unknown error occurred and the installation of Dotnetfx.exe cannot proceed.";
constexpr const char* kFatalError =
    "A fatal error occurred and the installation of Dotnetfx.exe cannot proceed.";

constexpr const char* kParameters = "/c:\"install\"";

constexpr plat::DWord kExitCancelled = 1602;        // ERROR_INSTALL_USEREXIT
constexpr plat::DWord kExitRebootInitiated = 1641;  // ERROR_SUCCESS_REBOOT_INITIATED
constexpr plat::DWord kExitRebootRequired = 3010;   // ERROR_SUCCESS_REBOOT_REQUIRED

struct ExitCodeRow {
  plat::DWord code;
  const char* message;
  std::int32_t line;
};

// The installer's documented failures. 8192 (a reboot is needed after
// installing the Windows Installer) is a failure too: the framework is not
// there yet.
constexpr ExitCodeRow kExitCodeRows[] = {
    {4096,
     "Either the syntax used to specify parameters to Dotnetfx.exe is incorrect, or the "
     "parameters are invalid.",
     68},
    {4097,
     "You do not have the permissions required to install or uninstall this application. "
     "Please contact your administrator.",
     71},
    {4098,
     "The Windows Installer installation failed. As a result, the installation of Dotnetfx.exe "
     "cannot proceed.",
     74},
    {4099,
     "Due to the improper installation of Windows Installer, the installation of Dotnetfx.exe "
     "cannot proceed.",
     77},
    {4100, kFatalError, 80},
    {4101,
     "If another instance of setup is running, it will be allowed to continue and the current "
     "installation cannot proceed.",
     83},
    {4104,
     "You attempted to install a version of Dotnetfx.exe that is already installed. "
     "Installation cannot proceed.",
     86},
    {4105,
     "You attempted to uninstall a version of Dotnetfx.exe that is not installed on the "
     "computer. Uninstallation cannot proceed.",
     89},
    {4108, "Cannot read from MSI Database.", 92},
    {4111, "Cannot get Temp directory.", 95},
    {4113,
     "A beta version of the .NET Framework was detected on the computer. You must uninstall "
     "any beta versions before attempting to install Dotnetfx.exe.",
     98},
    {4114, "Cannot get System directory.", 101},
    {8191, kFatalError, 104},
    {8192, "A computer reboot is required following the installation of Windows Installer.", 65},
};

}  // namespace

InstallerJudgement InstallerFailure(plat::DWord exitCode) {
  for (const ExitCodeRow& row : kExitCodeRows)
    if (row.code == exitCode) return {InstallerVerdict::kFailedText, row.message, row.line};
  return {InstallerVerdict::kFailedCode, kUnknownExitCode, kLineUnknownExitCode};
}

InstallerJudgement JudgeInstallerExitCode(plat::DWord exitCode) {
  switch (exitCode) {
    case 0:
    // The framework is installed; the restart it asks for, or has already
    // begun, concerns the user and not the product's setup.
    case kExitRebootRequired:
    case kExitRebootInitiated:
      return {InstallerVerdict::kDone, nullptr, 0};
    case kExitCancelled:
      return {InstallerVerdict::kCancelled, nullptr, 0};
    default:
      return InstallerFailure(exitCode);
  }
}

void CDotNetInstaller::InstallVerify(plat::DWord exitCode) const {
  const InstallerJudgement failure = InstallerFailure(exitCode);
  if (failure.verdict == InstallerVerdict::kFailedText)
    throw Error::KvExceptionText(failure.message, kSourceName, kVerifyFunction, failure.line);
  throw Error::KvExceptionCommon(exitCode, failure.message, kSourceName, kVerifyFunction,
                                 failure.line);
}

bool CDotNetInstaller::Install(const char* path) const {
  plat::ShellExecuteInfoA request{};
  request.cbSize = plat::kShellExecuteInfoSize32;
  request.fMask = plat::kSeeMaskNoCloseProcess | plat::kSeeMaskFlagNoUi;
  request.hwnd = nullptr;
  request.lpVerb = nullptr;
  request.lpFile = path;
  request.lpParameters = kParameters;
  request.lpDirectory = nullptr;
  request.nShow = plat::kSwShow;

  // A file that was just written may still be held by a scanner for a
  // moment; the launch is retried for a while, not forever.
  for (int retries = 0; plat::ShellExecuteExA(&request) == 0;) {
    plat::DWord error = plat::GetLastError();
    if (error == plat::kErrorSharingViolation && retries < kSharingRetries) {
      plat::Sleep(kSharingRetryPauseMs);
      error = plat::GetLastError();
      if (error == plat::kErrorSharingViolation) {
        ++retries;
        continue;
      }
    }
    throw Error::KvExceptionCommon(error, kLaunchFailed, kSourceName, kInstallFunction,
                                   kLineLaunchFailed);
  }

  KvHandle process(request.hProcess);
  // No process (the shell handed the file to something already running) or
  // a failed wait leaves nothing to judge.
  if (!process.IsValid()) return true;
  if (plat::WaitForSingleObject(process.Get(), plat::kInfinite) != plat::kWaitObject0) return true;
  plat::DWord exitCode = 0;
  plat::GetExitCodeProcess(process.Get(), &exitCode);  // a failed read leaves 0
  process.Close();

  switch (JudgeInstallerExitCode(exitCode).verdict) {
    case InstallerVerdict::kDone:
      return true;
    case InstallerVerdict::kCancelled:
      return false;
    default:
      InstallVerify(exitCode);
  }
}

}  // namespace DotNet
