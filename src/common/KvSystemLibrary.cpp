#include "common/KvSystemLibrary.h"

#include <string>

bool SystemSearchSupported() {
  const plat::HModule kernel32 = plat::GetModuleHandleA("kernel32.dll");
  return kernel32 != nullptr && plat::GetProcAddress(kernel32, "AddDllDirectory") != nullptr;
}

void RestrictDllSearch() {
  const plat::HModule kernel32 = plat::GetModuleHandleA("kernel32.dll");
  if (kernel32 == nullptr) return;
  if (const auto setDefault = reinterpret_cast<plat::SetDefaultDllDirectoriesFn>(
          plat::GetProcAddress(kernel32, "SetDefaultDllDirectories"))) {
    if (setDefault(plat::kLoadLibrarySearchSystem32)) return;
  }
  if (const auto setDllDirectory = reinterpret_cast<plat::SetDllDirectoryAFn>(
          plat::GetProcAddress(kernel32, "SetDllDirectoryA"))) {
    setDllDirectory("");
  }
}

KvLibrary LoadSystemLibrary(const char* name) {
  if (SystemSearchSupported())
    return KvLibrary(plat::LoadLibraryExA(name, nullptr, plat::kLoadLibrarySearchSystem32));

  char folder[plat::kMaxPath] = {};
  const plat::UInt length = plat::GetSystemDirectoryA(folder, sizeof(folder));
  // Zero is a failure; a length of the buffer or more means it did not fit.
  // Either way no full path can be built, and a bare name is never tried.
  if (length == 0 || length >= sizeof(folder)) return KvLibrary();
  std::string path(folder, length);
  if (path.back() != '\\' && path.back() != '/') path.push_back('\\');
  path.append(name);
  // With the full path and this flag, the DLL's own imports are searched
  // from its folder, the system folder, first; with flags 0 they would be
  // searched from the executable's folder first.
  return KvLibrary(plat::LoadLibraryExA(path.c_str(), nullptr, plat::kLoadWithAlteredSearchPath));
}
