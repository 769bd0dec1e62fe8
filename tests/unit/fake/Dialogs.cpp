#include "fake/Dialogs.h"

#include "fake/FakeWindows.h"

namespace fake {

int Dialogs::MessageBoxA(plat::HWnd hWnd, const char* lpText, const char* lpCaption,
                         plat::UInt uType) {
  MessageBoxCall call{hWnd, lpText ? lpText : "", lpCaption ? lpCaption : "", uType};
  windows_.calls.Record("MessageBoxA", call);
  if (onMessageBox) onMessageBox(call);
  if (answers.empty()) return plat::kIdOk;
  const int answer = answers.front();
  answers.pop_front();
  return answer;
}

}  // namespace fake

// ---- The seam: the call forwards to the current model ----

namespace plat {

int MessageBoxA(HWnd hWnd, const char* lpText, const char* lpCaption, UInt uType) {
  return fake::FakeWindows::Current().dialogs.MessageBoxA(hWnd, lpText, lpCaption, uType);
}

}  // namespace plat
