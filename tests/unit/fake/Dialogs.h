// The in-memory Windows' dialogs: every message box the program shows is
// logged with its texts, and answered from a queue the test fills (OK when it is empty),
// without waiting for anyone.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "fake/Common.h"
#include "platform/Platform.h"

namespace fake {

// MessageBoxA's record in the call log.
struct MessageBoxCall {
  plat::HWnd owner = nullptr;
  std::string text;
  std::string caption;
  plat::UInt type = 0;
};

class Dialogs {
 public:
  explicit Dialogs(FakeWindows& windows) : windows_(windows) {}
  Dialogs(const Dialogs&) = delete;
  Dialogs& operator=(const Dialogs&) = delete;

  // ---- Set up and read back by tests ----
  std::deque<int> answers;  // one per box, in order; empty: IDOK
  std::function<void(const MessageBoxCall&)> onMessageBox;

  // ---- The plat:: call of this concern ----
  int MessageBoxA(plat::HWnd hWnd, const char* lpText, const char* lpCaption, plat::UInt uType);

 private:
  FakeWindows& windows_;
};

}  // namespace fake
