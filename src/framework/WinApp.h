// The application framework: the application object's base and the entry
// point that drives it.
//
// The entry point sets the module and resource handles to the executable,
// takes the application name from the executable's file name, and calls the
// application's InitInstance once. When that reports failure (false) there is
// no message loop: the exit hook runs and its result is the exit code.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace fw {

// The module whose resources the program reads: the executable's own image.
// Null until the entry point has run, which FindResourceA also takes to mean
// the executable.
plat::HModule GetResourceHandle();
void SetResourceHandle(plat::HModule module);

// The executable's file name without folder and extension ("setup" for
// C:\dl\setup.exe). Multibyte-aware for the folder separator.
std::string AppNameFromModulePath(const std::string& modulePath);

}  // namespace fw

// The framework's command identifier for Help.
constexpr unsigned kIdHelp = 0xE146;

class CWinAppEx {
 public:
  struct CommandEntry {
    unsigned id;
    void (CWinAppEx::*handler)();
  };
  struct CommandTable {
    const CommandEntry* entries;
    unsigned count;
  };

  // The one application object registers itself here; a second one while
  // the first lives is a programming error and replaces nothing.
  explicit CWinAppEx(bool resourceSmartUpdate = false, const char* appName = nullptr);
  CWinAppEx(const CWinAppEx&) = delete;
  CWinAppEx& operator=(const CWinAppEx&) = delete;
  virtual ~CWinAppEx();

  static CWinAppEx* Current();

  virtual const CommandTable* GetCommandTable() const;
  virtual bool InitInstance();
  // Writes nothing (no recent-file list, no print settings); 0 is the exit code.
  virtual int ExitInstance();

  // The framework's own Help handler; with no window there is no help to show.
  void OnHelp() {}

  // Routes a command through the table; false when no entry takes it.
  bool OnCommand(unsigned id);

  // Module handle, resource handle and application name, as the entry point
  // sets them before InitInstance.
  void InitFrameworkState(plat::HModule module);

  // A message box with no owner whose caption is the application name.
  int DoMessageBox(const std::string& text, plat::UInt type) const;

 private:
  // Kept as the framework keeps them; nothing in this program reads the
  // flag or the module handle.
  [[maybe_unused]] bool resourceSmartUpdate_;
  std::string appName_;
  plat::HModule module_ = nullptr;
};

namespace fw {

// The entry point proper: runs the registered application and returns the
// process exit code. An exception that leaves InitInstance ends the run with
// a nonzero code instead of an abnormal termination: ERROR_NOT_ENOUGH_MEMORY
// for memory exhaustion, 1 for anything else.
int RunApplication();

}  // namespace fw
