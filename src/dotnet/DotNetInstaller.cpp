#include "dotnet/DotNetInstaller.h"

#include <cstdint>

#include "common/FailureIdentities.h"
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

constexpr const char* kParameters = "/c:\"install\"";

// The one look-up of the exit-code table: the row of exitCode, or the
// failure of every code that has none.
const Error::FixedFailure& InstallerFailure(plat::DWord exitCode) {
  for (const Error::InstallerExitFailure& row : Error::kInstallerExitFailures)
    if (row.exitCode == exitCode) return row.failure;
  return Error::kUnknownExitCode;
}

// Whether a refused launch was refused because another program holds the
// file. Windows gives the reason twice, as the last error (32) and as
// hInstApp (SE_ERR_SHARE); either is taken, since a shell that overwrites
// the last error before it returns still leaves the other.
bool SharingViolation(plat::DWord lastError, const plat::ShellExecuteInfoA& request) {
  return lastError == plat::kErrorSharingViolation ||
         reinterpret_cast<std::uintptr_t>(request.hInstApp) == plat::kSeErrShare;
}

}  // namespace

InstallerVerdict JudgeInstallerExitCode(plat::DWord exitCode) {
  switch (exitCode) {
    case Error::kInstallerExitSuccess:
    // The framework is installed; the restart it asks for concerns the user,
    // not the product's setup.
    case Error::kInstallerExitRebootRequired:
      return InstallerVerdict::kDone;
    // Installed too, but Windows is already shutting down: a package opened
    // now would be killed with it or hold the restart up.
    case Error::kInstallerExitRebootInitiated:
      return InstallerVerdict::kRestartStarted;
    case Error::kInstallerExitCancelled:
      return InstallerVerdict::kCancelled;
    default:
      return InstallerVerdict::kFailed;
  }
}

void CDotNetInstaller::InstallVerify(plat::DWord exitCode) const {
  const Error::FixedFailure& failure = InstallerFailure(exitCode);
  if (&failure != &Error::kUnknownExitCode)
    throw Error::KvExceptionText(failure.message, failure.source, failure.function, failure.line);
  throw Error::KvExceptionCommon(exitCode, failure.message, failure.source, failure.function,
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
  for (int retries = 0;; ++retries) {
    request.hInstApp = nullptr;  // every attempt is the same request
    if (plat::ShellExecuteExA(&request) != 0) break;
    plat::DWord error = plat::GetLastError();
    if (SharingViolation(error, request)) {
      if (retries < kSharingRetries) {
        plat::Sleep(kSharingRetryPauseMs);
        error = plat::GetLastError();
        if (SharingViolation(error, request)) continue;
      } else {
        error = plat::kErrorSharingViolation;
      }
    }
    const Error::FixedFailure& failure = Error::kLaunchFailed;
    throw Error::KvExceptionCommon(error, failure.message, failure.source, failure.function,
                                   failure.line);
  }

  KvHandle process(request.hProcess);
  // No process (the shell handed the file to something already running) or
  // a failed wait leaves nothing to judge.
  if (!process.IsValid()) return true;
  if (plat::WaitForSingleObject(process.Get(), plat::kInfinite) != plat::kWaitObject0) return true;
  plat::DWord exitCode = 0;
  plat::GetExitCodeProcess(process.Get(), &exitCode);  // a failed read leaves 0
  process.Close();

  switch (JudgeInstallerExitCode(exitCode)) {
    case InstallerVerdict::kDone:
      return true;
    case InstallerVerdict::kRestartStarted:
    case InstallerVerdict::kCancelled:
      return false;
    case InstallerVerdict::kFailed:
      break;
  }
  InstallVerify(exitCode);
}

}  // namespace DotNet
