#include "app/LumentaSetupBootApp.h"

#include "app/ProductPackage.h"
#include "dotnet/PrerequisiteStep.h"
#include "source_info/SourceInfoStep.h"

namespace {

const CWinAppEx::CommandEntry kAppCommands[] = {
    {kIdHelp, &CWinAppEx::OnHelp},
};
const CWinAppEx::CommandTable kAppTable = {kAppCommands, 1};

}  // namespace

CLumentaSetupBootApp::CLumentaSetupBootApp() : CWinAppEx(true, nullptr) {}

CLumentaSetupBootApp::~CLumentaSetupBootApp() = default;

const CWinAppEx::CommandTable* CLumentaSetupBootApp::GetCommandTable() const { return &kAppTable; }

bool CLumentaSetupBootApp::InitInstance() {
  RunSourceInfoStep();
  if (RunPrerequisiteStep()) LaunchProductPackage();
  return false;
}
