// The bootstrapper's application object: no window, no message loop. All of
// its work is the start-up sequence, run from InitInstance, which then
// reports failure so that the framework ends the process at once with the
// exit hook's code, 0.
#pragma once

#include "framework/WinApp.h"

class CLumentaSetupBootApp : public CWinAppEx {
 public:
  CLumentaSetupBootApp();
  CLumentaSetupBootApp(const CLumentaSetupBootApp&) = delete;
  CLumentaSetupBootApp& operator=(const CLumentaSetupBootApp&) = delete;
  ~CLumentaSetupBootApp() override;

  const CommandTable* GetCommandTable() const override;

  // Runs the install-source step, the prerequisite step and, unless the
  // latter says stop, the package launch. Always false.
  bool InitInstance() override;
};
