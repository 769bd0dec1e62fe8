#include "framework/WinApp.h"

#include <new>

#include "framework/Text.h"

namespace fw {
namespace {

plat::HModule g_resourceHandle = nullptr;
CWinAppEx* g_app = nullptr;

}  // namespace

plat::HModule GetResourceHandle() { return g_resourceHandle; }
void SetResourceHandle(plat::HModule module) { g_resourceHandle = module; }

std::string AppNameFromModulePath(const std::string& modulePath) {
  std::size_t start = ReverseFind(modulePath, '\\');
  const std::size_t slash = ReverseFind(modulePath, '/');
  if (start == std::string::npos || (slash != std::string::npos && slash > start)) start = slash;
  std::string name = start == std::string::npos ? modulePath : modulePath.substr(start + 1);
  const std::size_t dot = ReverseFind(name, '.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

int RunApplication() {
  CWinAppEx* app = CWinAppEx::Current();
  if (app == nullptr) return 1;
  try {
    app->InitFrameworkState(plat::GetModuleHandleA(nullptr));
    if (!app->InitInstance()) return app->ExitInstance();
    // An application that initialised itself would run its message loop
    // here; this program never does, so there is none.
    return app->ExitInstance();
  } catch (const std::bad_alloc&) {
    return static_cast<int>(plat::kErrorNotEnoughMemory);
  } catch (...) {
    return 1;
  }
}

}  // namespace fw

namespace {

const CWinAppEx::CommandEntry kBaseCommands[] = {
    {kIdHelp, &CWinAppEx::OnHelp},
};
const CWinAppEx::CommandTable kBaseTable = {kBaseCommands, 1};

}  // namespace

CWinAppEx::CWinAppEx(bool resourceSmartUpdate, const char* appName)
    : resourceSmartUpdate_(resourceSmartUpdate), appName_(appName ? appName : "") {
  if (fw::g_app == nullptr) fw::g_app = this;
}

CWinAppEx::~CWinAppEx() {
  if (fw::g_app == this) fw::g_app = nullptr;
}

CWinAppEx* CWinAppEx::Current() { return fw::g_app; }

const CWinAppEx::CommandTable* CWinAppEx::GetCommandTable() const { return &kBaseTable; }

bool CWinAppEx::InitInstance() { return true; }

int CWinAppEx::ExitInstance() { return 0; }

bool CWinAppEx::OnCommand(unsigned id) {
  const CommandTable* table = GetCommandTable();
  for (unsigned i = 0; i < table->count; ++i) {
    if (table->entries[i].id == id) {
      (this->*table->entries[i].handler)();
      return true;
    }
  }
  return false;
}

void CWinAppEx::InitFrameworkState(plat::HModule module) {
  module_ = module;
  fw::SetResourceHandle(module);
  if (appName_.empty()) {
    char path[plat::kMaxPath] = {};
    const plat::DWord length = plat::GetModuleFileNameA(module, path, sizeof(path));
    if (length > 0 && length < sizeof(path)) appName_ = fw::AppNameFromModulePath(path);
  }
}

int CWinAppEx::DoMessageBox(const std::string& text, plat::UInt type) const {
  return plat::MessageBoxA(nullptr, text.c_str(), appName_.c_str(), type);
}
