// The in-memory Windows' dialogs: every message box the program shows is
// recorded, and answered from a queue the test fills (OK when it is empty),
// without waiting for anyone.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "fake/Context.h"
#include "platform/Platform.h"

namespace fake {

struct MessageBoxCall {
  plat::HWnd owner = nullptr;
  std::string text;
  std::string caption;
  plat::UInt type = 0;
};

class Dialogs {
 public:
  explicit Dialogs(Context& context) : context_(context) {}
  Dialogs(const Dialogs&) = delete;
  Dialogs& operator=(const Dialogs&) = delete;

  // ---- Set up and read back by tests ----
  std::vector<MessageBoxCall> messageBoxes;
  std::deque<int> answers;  // one per box, in order; empty: IDOK
  std::function<void(const MessageBoxCall&)> onMessageBox;

  // ---- The plat:: call of this concern ----
  int MessageBoxA(plat::HWnd hWnd, const char* lpText, const char* lpCaption, plat::UInt uType);

 private:
  Context& context_;
};

}  // namespace fake
