// The in-memory Windows' shell and processes: ShellExecuteExA starting a
// program (only a file that exists and is one, an image beginning "MZ"),
// ShellExecuteA opening a document, the waits on a started process and its
// exit code, and the sleeps between attempts, which return at once. Each
// launch can be made to fail with the error a test chooses, and hooks let a
// test act at the moment of a launch or a sleep.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fake/Common.h"
#include "platform/Platform.h"

namespace fake {

// The launches' records in the call log.
struct ShellExecuteExCall {
  plat::ShellExecuteInfoA info{};  // as passed (pointers not to be followed later)
  std::optional<std::string> verb, file, parameters, directory;  // nullopt for null
  plat::DWord lastErrorBefore = 0;
};

struct ShellExecuteCall {
  plat::HWnd owner = nullptr;
  std::optional<std::string> verb, file, parameters, directory;
  int show = 0;
  std::optional<Bytes> fileAtOpen;  // the file's content when the shell was asked, if it existed
};

class Shell {
 public:
  explicit Shell(FakeWindows& windows) : windows_(windows) {}
  Shell(const Shell&) = delete;
  Shell& operator=(const Shell&) = delete;

  // ---- Set up and read back by tests ----
  // Each entry decides one launch: nonzero fails it with that last error,
  // 0 lets it succeed. Empty: success.
  std::deque<plat::DWord> launchErrors;
  // The last error a refused launch leaves in place of its reason, as a
  // shell may that overwrites it before returning; hInstApp still tells the
  // reason. Unset: the reason, as Windows leaves it.
  std::optional<plat::DWord> refusalLastError;
  std::function<void(const ShellExecuteExCall&)> onLaunch;
  bool launchGivesNoProcess = false;
  plat::DWord processExitCode = 0;
  bool exitCodeReadFails = false;
  plat::DWord waitResult = plat::kWaitObject0;  // the wait's record is its timeout
  std::function<void()> onSleep;                // the sleep's record is its time
  plat::HModule shellExecuteResult = reinterpret_cast<plat::HModule>(42);
  // Processes whose handle is open.
  int OpenProcessCount() const { return static_cast<int>(processes_.size()); }

  // ---- The plat:: calls of this concern ----
  plat::Bool ShellExecuteExA(plat::ShellExecuteInfoA* pExecInfo);
  plat::HModule ShellExecuteA(plat::HWnd hwnd, const char* lpOperation, const char* lpFile,
                              const char* lpParameters, const char* lpDirectory, int nShowCmd);
  plat::DWord WaitForSingleObject(plat::Handle hHandle, plat::DWord dwMilliseconds);
  plat::Bool GetExitCodeProcess(plat::Handle hProcess, plat::DWord* lpExitCode);
  void Sleep(plat::DWord dwMilliseconds);
  // CloseHandle's part: false when the handle is not a process of this model.
  bool Close(plat::Handle hObject) { return processes_.erase(hObject) != 0; }

 private:
  // Why the system would not start the file: it is not there, or it is not
  // a program. 0 when it starts.
  plat::DWord LaunchRefusal(const char* file) const;
  // The content of a file, nullptr when there is none.
  const Bytes* FileBytes(const char* path) const;

  FakeWindows& windows_;
  std::set<plat::Handle> processes_;  // handles given out and not closed
};

}  // namespace fake
