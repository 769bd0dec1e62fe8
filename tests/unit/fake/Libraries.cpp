#include "fake/Libraries.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "fake/FakeWindows.h"

namespace fake {
namespace {

// The entries as the program calls them: plain functions that find the
// current model, as a library's code would find its process.
Libraries& Current() { return FakeWindows::Current().libraries; }

plat::UInt PLAT_WINAPI MsiEnumProductsAEntry(plat::DWord index, char* buffer) {
  return Current().MsiEnumProductsA(index, buffer);
}

plat::HResult PLAT_WINAPI GetRequestedRuntimeInfoEntry(
    const plat::WChar* pExe, const plat::WChar* pwszVersion, const plat::WChar* pConfigurationFile,
    plat::DWord startupFlags, plat::DWord runtimeInfoFlags, plat::WChar* pDirectory,
    plat::DWord dwDirectory, plat::DWord* dwDirectoryLength, plat::WChar* pVersion,
    plat::DWord cchBuffer, plat::DWord* dwlength) {
  return Current().GetRequestedRuntimeInfo(pExe, pwszVersion, pConfigurationFile, startupFlags,
                                           runtimeInfoFlags, pDirectory, dwDirectory,
                                           dwDirectoryLength, pVersion, cchBuffer, dwlength);
}

void PLAT_WINAPI ShimOtherEntry() { Current().ShimOther(); }

void PLAT_WINAPI PlantedEntry() { Current().Planted(); }

plat::Bool PLAT_WINAPI SetDefaultDllDirectoriesEntry(plat::DWord flags) {
  return Current().SetDefaultDllDirectories(flags);
}

plat::Bool PLAT_WINAPI SetDllDirectoryAEntry(const char* path) {
  return Current().SetDllDirectoryA(path);
}

void PLAT_WINAPI AddDllDirectoryEntry() { Current().AddDllDirectory(); }

template <typename Fn>
plat::FarProc AsFarProc(Fn fn) {
  return reinterpret_cast<plat::FarProc>(fn);
}

}  // namespace

Libraries::Libraries(FakeWindows& windows) : windows_(windows) { SetKernel32(true); }

// ---- Set-up and read-back ----

plat::HModule Libraries::ExeModule() const {
  return reinterpret_cast<plat::HModule>(static_cast<std::uintptr_t>(0x400000));
}

Library& Libraries::AddLibrary(const std::string& folder, const std::string& name) {
  auto lib = std::make_unique<Library>();
  lib->folder_ = TrimSeparators(Lower(folder));
  lib->name_ = Lower(name);
  libraries_.push_back(std::move(lib));
  return *libraries_.back();
}

Library* Libraries::Kernel32() {
  for (auto& lib : libraries_)
    if (lib->name_ == "kernel32.dll" && lib->permanent_) return lib.get();
  return nullptr;
}

int Libraries::LoadedLibraryCount() const {
  int n = 0;
  for (const auto& lib : libraries_)
    if (!lib->permanent_) n += lib->refCount_;
  return n;
}

void Libraries::SetKernel32(bool searchApis, bool setDllDirectory) {
  Library* k = Kernel32();
  if (k == nullptr) {
    k = &AddLibrary(systemFolder, "kernel32.dll");
    k->permanent_ = true;
  }
  k->exports.clear();
  if (searchApis) {
    k->exports["AddDllDirectory"] = AsFarProc(&AddDllDirectoryEntry);
    k->exports["SetDefaultDllDirectories"] = AsFarProc(&SetDefaultDllDirectoriesEntry);
  }
  if (setDllDirectory) k->exports["SetDllDirectoryA"] = AsFarProc(&SetDllDirectoryAEntry);
}

// cppcheck-suppress passedByValue ; a FarProc is a function pointer
void Libraries::ExportFromKernel32(const std::string& name, plat::FarProc entry) {
  Kernel32()->exports[name] = entry;
}

Library& Libraries::InstallMsi(const std::string& folder) {
  Library& lib = AddLibrary(folder.empty() ? systemFolder : folder, "msi.dll");
  lib.ordinals[plat::kMsiEnumProductsAOrdinal] = AsFarProc(&MsiEnumProductsAEntry);
  lib.exports["MsiEnumProductsA"] = AsFarProc(&MsiEnumProductsAEntry);
  lib.lastErrorOnUnload = 1411;  // ERROR_CLASS_DOES_NOT_EXIST, as its detach leaves it
  return lib;
}

Library& Libraries::InstallShim(bool getCorVersion, bool corBindToRuntime,
                                bool getRequestedRuntimeInfo, const std::string& folder) {
  Library& lib = AddLibrary(folder.empty() ? systemFolder : folder, "mscoree.dll");
  if (getCorVersion) lib.exports["GetCORVersion"] = AsFarProc(&ShimOtherEntry);
  if (corBindToRuntime) lib.exports["CorBindToRuntime"] = AsFarProc(&ShimOtherEntry);
  if (getRequestedRuntimeInfo)
    lib.exports["GetRequestedRuntimeInfo"] = AsFarProc(&GetRequestedRuntimeInfoEntry);
  return lib;
}

Library& Libraries::PlantBesideExe(const std::string& name,
                                   const std::vector<std::string>& entries) {
  Library& lib = AddLibrary(ParentOf(Lower(exePath)), name);
  for (const auto& e : entries) lib.exports[e] = AsFarProc(&PlantedEntry);
  lib.ordinals[plat::kMsiEnumProductsAOrdinal] = AsFarProc(&PlantedEntry);
  return lib;
}

// ---- The calls ----

plat::HModule Libraries::GetModuleHandleA(const char* lpModuleName) {
  windows_.calls.Record("GetModuleHandleA");
  if (lpModuleName == nullptr) return ExeModule();
  const std::string name = Lower(lpModuleName);
  for (auto& lib : libraries_)
    if ((lib->name_ == name || lib->name_ == name + ".dll") &&
        (lib->permanent_ || lib->refCount_ > 0))
      return lib.get();
  windows_.system.lastError = plat::kErrorModNotFound;
  return nullptr;
}

plat::DWord Libraries::GetModuleFileNameA(plat::HModule hModule, char* lpFilename,
                                          plat::DWord nSize) {
  windows_.calls.Record("GetModuleFileNameA");
  if (hModule != nullptr && hModule != ExeModule()) {
    windows_.system.lastError = plat::kErrorModNotFound;
    return 0;
  }
  if (nSize == 0) return 0;
  const std::string& path = exePath;
  const auto n = static_cast<plat::DWord>(std::min<std::size_t>(path.size(), nSize - 1));
  std::memcpy(lpFilename, path.data(), n);
  lpFilename[n] = '\0';
  if (n < path.size()) {
    windows_.system.lastError = 122;  // ERROR_INSUFFICIENT_BUFFER
    return nSize;
  }
  return n;
}

plat::UInt Libraries::GetSystemDirectoryA(char* lpBuffer, plat::UInt uSize) {
  windows_.calls.Record("GetSystemDirectoryA");
  if (systemDirectoryFails) return 0;
  const std::string& s = systemFolder;
  if (s.size() + 1 > uSize) return static_cast<plat::UInt>(s.size() + 1);
  std::memcpy(lpBuffer, s.c_str(), s.size() + 1);
  return static_cast<plat::UInt>(s.size());
}

plat::HModule Libraries::LoadLibraryExA(const char* lpLibFileName, plat::Handle hFile,
                                        plat::DWord dwFlags) {
  (void)hFile;
  // The call's record, logged once what was loaded is known.
  LoadRecord record{lpLibFileName, dwFlags, ""};
  const std::string name = Lower(lpLibFileName);
  std::vector<std::string> candidates;
  if ((dwFlags & plat::kLoadWithAlteredSearchPath) &&
      (dwFlags & plat::kLoadLibrarySearchSystem32)) {
    // The two search orders exclude each other.
    windows_.system.lastError = plat::kErrorInvalidParameter;
    windows_.calls.Record("LoadLibraryExA", record);
    return nullptr;
  }
  if (name.find_first_of("\\/") != std::string::npos) {
    candidates.push_back(name);
  } else if (dwFlags & plat::kLoadLibrarySearchSystem32) {
    Library* k = Kernel32();
    if (k == nullptr || !k->exports.contains("AddDllDirectory")) {
      windows_.system.lastError = plat::kErrorInvalidParameter;  // older systems reject the flag
      windows_.calls.Record("LoadLibraryExA", record);
      return nullptr;
    }
    candidates.push_back(Lower(systemFolder) + "\\" + name);
  } else {
    // The ordinary search order: the executable's folder comes first.
    const std::string exe = Lower(exePath);
    candidates.push_back(exe.substr(0, exe.find_last_of("\\/")) + "\\" + name);
    candidates.push_back(Lower(systemFolder) + "\\" + name);
  }
  for (const auto& path : candidates) {
    for (auto& lib : libraries_) {
      if (lib->Path() == path) {
        if (!lib->permanent_) ++lib->refCount_;
        record.resolved = path;
        windows_.calls.Record("LoadLibraryExA", record);
        return lib.get();
      }
    }
  }
  windows_.calls.Record("LoadLibraryExA", record);
  windows_.system.lastError = plat::kErrorModNotFound;
  return nullptr;
}

plat::FarProc Libraries::GetProcAddress(plat::HModule hModule, const char* lpProcName) {
  windows_.calls.Record("GetProcAddress");
  for (auto& lib : libraries_) {
    if (lib.get() != hModule) continue;
    if (plat::IsIntResource(lpProcName)) {
      auto it = lib->ordinals.find(
          static_cast<std::uint16_t>(reinterpret_cast<std::uintptr_t>(lpProcName)));
      if (it != lib->ordinals.end()) return it->second;
    } else {
      auto it = lib->exports.find(lpProcName);
      if (it != lib->exports.end()) return it->second;
    }
    windows_.system.lastError = plat::kErrorProcNotFound;
    return nullptr;
  }
  windows_.system.lastError = plat::kErrorInvalidHandle;
  return nullptr;
}

plat::Bool Libraries::FreeLibrary(plat::HModule hLibModule) {
  windows_.calls.Record("FreeLibrary");
  for (auto& lib : libraries_) {
    if (lib.get() == hLibModule && (lib->permanent_ || lib->refCount_ > 0)) {
      if (!lib->permanent_) --lib->refCount_;
      // The library's detach code runs on the last free and may set a last
      // error of its own, although the free succeeds.
      if (!lib->permanent_ && lib->refCount_ == 0 && lib->lastErrorOnUnload)
        windows_.system.lastError = *lib->lastErrorOnUnload;
      return 1;
    }
  }
  windows_.system.lastError = plat::kErrorInvalidHandle;
  return 0;
}

// ---- The entries ----

plat::UInt Libraries::MsiEnumProductsA(plat::DWord index, char* buffer) {
  windows_.calls.Record("MsiEnumProductsA", index);
  // Past the bound the walk is ended, so that the test fails instead of
  // running out of memory.
  if (windows_.calls.Exhausted()) return plat::kErrorNoMoreItems;
  if (msiEnumError) return *msiEnumError;
  if (index >= products.size()) return plat::kErrorNoMoreItems;
  static_cast<void>(std::snprintf(buffer, 39, "%s", products[index].c_str()));
  return 0;
}

plat::HResult Libraries::GetRequestedRuntimeInfo(
    const plat::WChar* pExe, const plat::WChar* pwszVersion, const plat::WChar* pConfigurationFile,
    plat::DWord startupFlags, plat::DWord runtimeInfoFlags, plat::WChar* pDirectory,
    plat::DWord dwDirectory, plat::DWord* dwDirectoryLength, plat::WChar* pVersion,
    plat::DWord cchBuffer, plat::DWord* dwlength) {
  RuntimeInfoCall c;
  c.exeIsNull = pExe == nullptr;
  if (pwszVersion) c.version = pwszVersion;
  c.configIsNull = pConfigurationFile == nullptr;
  c.startupFlags = startupFlags;
  c.runtimeInfoFlags = runtimeInfoFlags;
  c.directorySize = dwDirectory;
  c.directoryLengthIn = dwDirectoryLength ? *dwDirectoryLength : 0xFFFFFFFF;
  c.versionSize = cchBuffer;
  c.versionLengthIn = dwlength ? *dwlength : 0xFFFFFFFF;
  c.directoryZeroFilled =
      pDirectory != nullptr &&
      std::all_of(pDirectory, pDirectory + dwDirectory, [](plat::WChar u) { return u == 0; });
  c.errorModeDuringCall = windows_.system.errorMode;
  windows_.calls.Record("GetRequestedRuntimeInfo", c);
  if (runtimeInfoResult >= 0) {
    // What a real shim writes back; the caller must not depend on it.
    const std::u16string dir = u"C:\\Windows\\Microsoft.NET\\Framework\\";
    const std::u16string ver = u"v4.0.30319";
    if (pDirectory && dwDirectory > dir.size()) {
      std::copy(dir.begin(), dir.end(), pDirectory);
      pDirectory[dir.size()] = 0;
      if (dwDirectoryLength) *dwDirectoryLength = static_cast<plat::DWord>(dir.size() + 1);
    }
    if (pVersion && cchBuffer > ver.size()) {
      std::copy(ver.begin(), ver.end(), pVersion);
      pVersion[ver.size()] = 0;
      if (dwlength) *dwlength = static_cast<plat::DWord>(ver.size() + 1);
    }
  }
  return runtimeInfoResult;
}

void Libraries::ShimOther() { windows_.calls.Record("ShimOtherEntry"); }

void Libraries::Planted() { windows_.calls.Record("PlantedEntry"); }

plat::Bool Libraries::SetDefaultDllDirectories(plat::DWord flags) {
  windows_.calls.Record("SetDefaultDllDirectories", flags);
  return 1;
}

plat::Bool Libraries::SetDllDirectoryA(const char* path) {
  windows_.calls.Record("SetDllDirectoryA", std::string(path ? path : "<null>"));
  return 1;
}

void Libraries::AddDllDirectory() { windows_.calls.Record("AddDllDirectory"); }

}  // namespace fake

// ---- The seam: each call forwards to the current model ----

namespace plat {

using fake::FakeWindows;

HModule GetModuleHandleA(const char* lpModuleName) {
  return FakeWindows::Current().libraries.GetModuleHandleA(lpModuleName);
}

DWord GetModuleFileNameA(HModule hModule, char* lpFilename, DWord nSize) {
  return FakeWindows::Current().libraries.GetModuleFileNameA(hModule, lpFilename, nSize);
}

UInt GetSystemDirectoryA(char* lpBuffer, UInt uSize) {
  return FakeWindows::Current().libraries.GetSystemDirectoryA(lpBuffer, uSize);
}

HModule LoadLibraryExA(const char* lpLibFileName, Handle hFile, DWord dwFlags) {
  return FakeWindows::Current().libraries.LoadLibraryExA(lpLibFileName, hFile, dwFlags);
}

FarProc GetProcAddress(HModule hModule, const char* lpProcName) {
  return FakeWindows::Current().libraries.GetProcAddress(hModule, lpProcName);
}

Bool FreeLibrary(HModule hLibModule) {
  return FakeWindows::Current().libraries.FreeLibrary(hLibModule);
}

}  // namespace plat
