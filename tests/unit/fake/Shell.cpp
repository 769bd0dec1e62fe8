#include "fake/Shell.h"

#include "fake/FakeWindows.h"

namespace fake {
namespace {

std::optional<std::string> Opt(const char* text) {
  return text ? std::optional<std::string>(text) : std::nullopt;
}

// hInstApp of a launch refused for `error`: the SE_ERR_ value for it. Below
// 32 they share the number (SE_ERR_FNF 2, SE_ERR_PNF 3, SE_ERR_ACCESSDENIED
// 5, SE_ERR_OOM 8); a sharing violation is SE_ERR_SHARE; anything else, a
// file that is not a program among them, ERROR_BAD_FORMAT (11), "the .exe
// file is invalid".
plat::HModule RefusalCode(plat::DWord error) {
  std::uintptr_t code = 11;
  if (error == plat::kErrorSharingViolation) {
    code = plat::kSeErrShare;
  } else if (error < 32) {
    code = error;
  }
  return reinterpret_cast<plat::HModule>(code);
}

}  // namespace

const Bytes* Shell::FileBytes(const char* path) const {
  const FakeFile* file = windows_.files.File(path);
  return file ? &file->bytes : nullptr;
}

plat::DWord Shell::LaunchRefusal(const char* file) const {
  const Bytes* bytes = file ? FileBytes(file) : nullptr;
  if (bytes == nullptr) return plat::kErrorFileNotFound;
  // An image starts with "MZ".
  if (bytes->size() < 2 || (*bytes)[0] != 'M' || (*bytes)[1] != 'Z')
    return plat::kErrorBadExeFormat;
  return 0;
}

plat::Bool Shell::ShellExecuteExA(plat::ShellExecuteInfoA* pExecInfo) {
  ShellExecuteExCall call;
  call.info = *pExecInfo;
  call.verb = Opt(pExecInfo->lpVerb);
  call.file = Opt(pExecInfo->lpFile);
  call.parameters = Opt(pExecInfo->lpParameters);
  call.directory = Opt(pExecInfo->lpDirectory);
  call.lastErrorBefore = windows_.system.lastError;
  windows_.calls.Record("ShellExecuteExA", call);
  if (onLaunch) onLaunch(call);
  plat::DWord error = 0;
  if (!launchErrors.empty()) {
    error = launchErrors.front();
    launchErrors.pop_front();
  }
  if (error == 0) error = LaunchRefusal(pExecInfo->lpFile);
  if (error != 0) {
    pExecInfo->hInstApp = RefusalCode(error);
    pExecInfo->hProcess = nullptr;
    windows_.system.lastError = refusalLastError.value_or(error);
    return 0;
  }
  pExecInfo->hInstApp = reinterpret_cast<plat::HModule>(static_cast<std::uintptr_t>(33));
  if (launchGivesNoProcess || (pExecInfo->fMask & plat::kSeeMaskNoCloseProcess) == 0) {
    pExecInfo->hProcess = nullptr;
  } else {
    plat::Handle h = windows_.NewToken();
    processes_.insert(h);
    pExecInfo->hProcess = h;
  }
  return 1;
}

plat::HModule Shell::ShellExecuteA(plat::HWnd hwnd, const char* lpOperation, const char* lpFile,
                                   const char* lpParameters, const char* lpDirectory,
                                   int nShowCmd) {
  ShellExecuteCall call;
  call.owner = hwnd;
  call.verb = Opt(lpOperation);
  call.file = Opt(lpFile);
  call.parameters = Opt(lpParameters);
  call.directory = Opt(lpDirectory);
  call.show = nShowCmd;
  if (lpFile)
    if (const Bytes* bytes = FileBytes(lpFile)) call.fileAtOpen = *bytes;
  windows_.calls.Record("ShellExecuteA", call);
  return shellExecuteResult;
}

plat::DWord Shell::WaitForSingleObject(plat::Handle hHandle, plat::DWord dwMilliseconds) {
  windows_.calls.Record("WaitForSingleObject", dwMilliseconds);
  if (!processes_.contains(hHandle)) {
    windows_.system.lastError = plat::kErrorInvalidHandle;
    return plat::kWaitFailed;
  }
  return waitResult;
}

plat::Bool Shell::GetExitCodeProcess(plat::Handle hProcess, plat::DWord* lpExitCode) {
  windows_.calls.Record("GetExitCodeProcess");
  if (exitCodeReadFails || !processes_.contains(hProcess)) {
    windows_.system.lastError = plat::kErrorInvalidHandle;
    return 0;
  }
  *lpExitCode = processExitCode;
  return 1;
}

void Shell::Sleep(plat::DWord dwMilliseconds) {
  windows_.calls.Record("Sleep", dwMilliseconds);
  if (onSleep) onSleep();
}

}  // namespace fake

// ---- The seam: each call forwards to the current model ----

namespace plat {

using fake::FakeWindows;

Bool ShellExecuteExA(ShellExecuteInfoA* pExecInfo) {
  return FakeWindows::Current().shell.ShellExecuteExA(pExecInfo);
}

HModule ShellExecuteA(HWnd hwnd, const char* lpOperation, const char* lpFile,
                      const char* lpParameters, const char* lpDirectory, int nShowCmd) {
  return FakeWindows::Current().shell.ShellExecuteA(hwnd, lpOperation, lpFile, lpParameters,
                                                    lpDirectory, nShowCmd);
}

DWord WaitForSingleObject(Handle hHandle, DWord dwMilliseconds) {
  return FakeWindows::Current().shell.WaitForSingleObject(hHandle, dwMilliseconds);
}

Bool GetExitCodeProcess(Handle hProcess, DWord* lpExitCode) {
  return FakeWindows::Current().shell.GetExitCodeProcess(hProcess, lpExitCode);
}

void Sleep(DWord dwMilliseconds) { FakeWindows::Current().shell.Sleep(dwMilliseconds); }

}  // namespace plat
