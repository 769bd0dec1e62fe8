// The run of the .NET Framework 4.0 web installer: writing it out, starting
// it, waiting for it and judging its exit code.
#pragma once

#include "common/KvFsPath.h"
#include "common/RefCountedT.h"
#include "platform/Platform.h"

// Writes the framework installer (resource "EXE" 134) to
// "dotNetFx40_Full_setup.exe" in the temporary folder, replacing any file of
// that name, and returns its path; with no temporary folder the path is the
// bare name. Throws what CResourcesExtractor::ExtractFile throws.
KvFsPath ExtractDotNetInstaller();

namespace DotNet {

// What an exit code of the framework installer means for the sequence.
enum class InstallerVerdict {
  kDone,            // installed (0), also when a restart is still needed (3010): go on
  kRestartStarted,  // installed, and the restart has begun (1641): end the run here
  kCancelled,       // the user cancelled (1602): end the run here
  kFailed,          // any other code: the failure that InstallVerify throws
};

InstallerVerdict JudgeInstallerExitCode(plat::DWord exitCode);

// How long a launch is retried while the installer file is still held by
// another process (typically a virus scanner looking at the fresh file):
// kSharingRetries pauses of kSharingRetryPauseMs, five seconds in all. A
// launch counts as refused for that when the last error says so (32) or
// hInstApp does (SE_ERR_SHARE).
constexpr int kSharingRetries = 50;
constexpr plat::DWord kSharingRetryPauseMs = 100;

class CDotNetInstaller : public CRefCountedT<FreeThreadedModel> {
 public:
  // Starts the installer at path through the shell with /c:"install", waits
  // for it without a time limit and judges its exit code. True when the
  // sequence goes on to the package: the run counts as done, also when there
  // was no process to wait for or the wait failed. False when it ends here:
  // the user cancelled, or the installer has already begun a restart of the
  // computer, which the package's own installation would only hold up or be
  // cut short by. Throws Error::KvExceptionCommon with the last error and the
  // identity Error::kLaunchFailed when it cannot be started, also once the
  // sharing-violation retries are used up (error 32, whichever sign said
  // so), and what InstallVerify throws for a failed run. The process handle
  // is closed on every path.
  bool Install(const char* path) const;

  // Throws the failure that exitCode stands for, with the identity it has
  // in common/FailureIdentities.h: Error::KvExceptionText for a code of
  // Error::kInstallerExitFailures, Error::KvExceptionCommon with the code and
  // Error::kUnknownExitCode for every other.
  [[noreturn]] void InstallVerify(plat::DWord exitCode) const;
};

}  // namespace DotNet
