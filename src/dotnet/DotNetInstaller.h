// The run of the .NET Framework 4.0 web installer: writing it out, starting
// it, waiting for it and judging its exit code.
#pragma once

#include <cstdint>

#include "common/KvFsPath.h"
#include "common/RefCountedT.h"
#include "platform/Platform.h"

// Writes the framework installer (resource "EXE" 134) to
// "dotNetFx40_Full_setup.exe" in the temporary folder, replacing any file of
// that name, and returns its path; with no temporary folder the path is the
// bare name. Throws what CResourcesExtractor::ExtractFile throws.
KvFsPath ExtractDotNetInstaller();

namespace DotNet {

// What an exit code of the framework installer means.
enum class InstallerVerdict {
  kDone,        // installed, also when a restart is still needed or already started
  kCancelled,   // the user cancelled (1602)
  kFailedText,  // a known failure: Error::KvExceptionText with the message
  kFailedCode,  // anything else: Error::KvExceptionCommon with the code
};

struct InstallerJudgement {
  InstallerVerdict verdict;
  const char* message;  // null unless failed
  std::int32_t line;    // the failure's fixed line, 0 unless failed
};

// The failure that an exit code stands for, whatever the code: its row of
// Error::kInstallerExitFailures, or Error::kUnknownExitCode for every code
// not in it (common/FailureIdentities.h).
InstallerJudgement InstallerFailure(plat::DWord exitCode);

// The meaning of an exit code: success and the two restart codes are done,
// the user's cancel is cancelled, every other code is its failure.
InstallerJudgement JudgeInstallerExitCode(plat::DWord exitCode);

// How long a launch is retried while the installer file is still held by
// another process (typically a virus scanner looking at the fresh file):
// kSharingRetries pauses of kSharingRetryPauseMs, five seconds in all.
constexpr int kSharingRetries = 50;
constexpr plat::DWord kSharingRetryPauseMs = 100;

class CDotNetInstaller : public CRefCountedT<FreeThreadedModel> {
 public:
  // Starts the installer at path through the shell with /c:"install", waits
  // for it without a time limit and judges its exit code. True when the run
  // counts as done, also when there was no process to wait for or the wait
  // failed; false when the user cancelled. Throws Error::KvExceptionCommon
  // with the last error and the identity Error::kLaunchFailed when it cannot
  // be started, also once the sharing-violation retries are used up (error
  // 32), and what InstallVerify throws for a failed run. The process handle
  // is closed on every path.
  bool Install(const char* path) const;

  // Throws the failure that exitCode stands for (InstallerFailure), with the
  // identity its row gives.
  [[noreturn]] void InstallVerify(plat::DWord exitCode) const;
};

}  // namespace DotNet
