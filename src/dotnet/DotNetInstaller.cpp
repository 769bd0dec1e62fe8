#include "dotnet/DotNetInstaller.h"

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

// The documented failure of exitCode, or null when it has none.
const Error::FixedFailure* DocumentedFailure(plat::DWord exitCode) {
  for (const Error::InstallerExitFailure& row : Error::kInstallerExitFailures)
    if (row.exitCode == exitCode) return &row.failure;
  return nullptr;
}

}  // namespace

InstallerJudgement InstallerFailure(plat::DWord exitCode) {
  if (const Error::FixedFailure* failure = DocumentedFailure(exitCode))
    return {InstallerVerdict::kFailedText, failure->message, failure->line};
  return {InstallerVerdict::kFailedCode, Error::kUnknownExitCode.message,
          Error::kUnknownExitCode.line};
}

InstallerJudgement JudgeInstallerExitCode(plat::DWord exitCode) {
  switch (exitCode) {
    case Error::kInstallerExitSuccess:
    // The framework is installed; the restart it asks for, or has already
    // begun, concerns the user and not the product's setup.
    case Error::kInstallerExitRebootRequired:
    case Error::kInstallerExitRebootInitiated:
      return {InstallerVerdict::kDone, nullptr, 0};
    case Error::kInstallerExitCancelled:
      return {InstallerVerdict::kCancelled, nullptr, 0};
    default:
      return InstallerFailure(exitCode);
  }
}

void CDotNetInstaller::InstallVerify(plat::DWord exitCode) const {
  if (const Error::FixedFailure* failure = DocumentedFailure(exitCode))
    throw Error::KvExceptionText(failure->message, failure->source, failure->function,
                                 failure->line);
  const Error::FixedFailure& unknown = Error::kUnknownExitCode;
  throw Error::KvExceptionCommon(exitCode, unknown.message, unknown.source, unknown.function,
                                 unknown.line);
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
