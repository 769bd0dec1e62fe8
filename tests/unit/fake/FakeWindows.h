// An in-memory Windows for the unit tests.
//
// A test creates one fake::FakeWindows on its stack; while it lives, every
// plat:: call of the code under test lands on it, and it is gone with the
// test, so no state leaks from one test into the next. Only one may be alive
// at a time (Current()). It models what the bootstrapper touches, one member
// per concern, each a class of its own file pair:
//
//   calls      the call log, one line per plat:: call (CallLog.h)
//   system     the last error, error mode, code page, system messages (System.h)
//   registry   HKLM with its 32- and 64-bit views (Registry.h)
//   files      files, folders, open files, the temporary folder (Files.h)
//   resources  the executable's resources (Resources.h)
//   libraries  the executable's module, libraries and their entries (Libraries.h)
//   shell      the shell, processes, waits and sleeps (Shell.h)
//   dialogs    message boxes and their answers (Dialogs.h)
//
// Each concern records the calls it receives and can be told to fail the way
// Windows fails. The rule for what a test reaches: plain values a test sets
// up or reads back (knobs, hooks, answer queues, records of calls, and the
// entries the set-up methods return) are public fields of the concern; the
// tables the model keys, counts or hands handles out of (files, folders,
// keys and values, resources, libraries and their reference counts, open
// handles and keys, allocations, the bounded call log) are private and
// reached through member functions, which keep their keys and counts right.
//
// Each concern holds this object, and what a call of one needs from another
// (logging, the last error, a new handle, the executable's module, a file's
// content, the error mode, a kernel32 export) it asks of the other's public
// members, as a test would: no concern reaches another's tables.
#pragma once

#include "fake/CallLog.h"
#include "fake/Common.h"
#include "fake/Dialogs.h"
#include "fake/Files.h"
#include "fake/Libraries.h"
#include "fake/Registry.h"
#include "fake/Resources.h"
#include "fake/Shell.h"
#include "fake/System.h"
#include "platform/Platform.h"
#include "windows_values.h"

namespace fake {

class FakeWindows final {
 public:
  // The executable's folder, the temporary folder and the system folder
  // exist; kernel32 is loaded with the DLL-search functions.
  FakeWindows();
  ~FakeWindows();
  FakeWindows(const FakeWindows&) = delete;
  FakeWindows& operator=(const FakeWindows&) = delete;

  // The one alive; a platform call with none alive ends the program.
  static FakeWindows& Current();

  CallLog calls;
  System system;
  Registry registry;
  Files files;
  Resources resources;
  Libraries libraries;
  Shell shell;
  Dialogs dialogs;

  // Handles are the kernel's, whichever concern gave them out: files open
  // and processes whose handle is open.
  int OpenHandleCount() const;
  // CloseHandle, for a file or a process alike.
  plat::Bool CloseHandle(plat::Handle hObject);
  // A value for a new handle or key, distinct from every other the model
  // gives out, whichever concern asks: a key is never taken for a file.
  void* NewToken();

 private:
  std::uintptr_t nextToken_ = 0x1000;
};

}  // namespace fake
