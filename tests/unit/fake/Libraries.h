// The in-memory Windows' modules: the executable and the libraries on disk,
// loaded by reference count. LoadLibraryExA searches as Windows does: a bare
// name in the executable's folder first (where a planted DLL waits), then in
// the system folder, unless the call asks for the system folder alone, which
// older kernel32 builds (XP, unpatched Vista and 7) refuse. The libraries the
// program uses come with entries that record their calls: msi.dll's product
// walk, mscoree.dll's runtime query, kernel32's DLL-directory functions.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fake/Common.h"
#include "platform/Platform.h"

namespace fake {

// A library on disk; while loaded, its address is its module handle.
class Library {
 public:
  std::map<std::string, plat::FarProc> exports;
  std::map<std::uint16_t, plat::FarProc> ordinals;
  std::optional<plat::DWord> lastErrorOnUnload;  // set by its detach code on the last free

  const std::string& Folder() const { return folder_; }  // lower case, no trailing separator
  const std::string& Name() const { return name_; }      // lower-case file name, e.g. "msi.dll"
  std::string Path() const { return folder_ + "\\" + name_; }

 private:
  friend class Libraries;
  std::string folder_;
  std::string name_;
  int refCount_ = 0;
  bool permanent_ = false;  // kernel32: always loaded, never counted
};

// The records in the call log of LoadLibraryExA and GetRequestedRuntimeInfo.
struct LoadRecord {
  std::string name;  // as passed to LoadLibraryExA
  plat::DWord flags = 0;
  std::string resolved;  // lower-case full path of what was loaded, empty on failure
};

struct RuntimeInfoCall {
  bool exeIsNull = false;
  std::u16string version;
  bool configIsNull = false;
  plat::DWord startupFlags = 0, runtimeInfoFlags = 0;
  plat::DWord directorySize = 0, directoryLengthIn = 0;
  plat::DWord versionSize = 0, versionLengthIn = 0;
  bool directoryZeroFilled = false;
  plat::UInt errorModeDuringCall = 0;
};

class Libraries {
 public:
  // kernel32 is there from the start, with the DLL-search functions.
  explicit Libraries(FakeWindows& windows);
  Libraries(const Libraries&) = delete;
  Libraries& operator=(const Libraries&) = delete;

  // ---- Set up and read back by tests ----
  std::string exePath = "C:\\Users\\user\\Downloads\\LumentaSetupBoot.exe";
  plat::HModule ExeModule() const;
  std::string systemFolder = "C:\\windows\\system32";
  bool systemDirectoryFails = false;

  // A library in that folder, exporting nothing yet.
  Library& AddLibrary(const std::string& folder, const std::string& name);
  // kernel32 with or without AddDllDirectory/SetDefaultDllDirectories (XP and
  // unpatched Vista/7 lack them) and SetDllDirectoryA (XP SP1+). Any other
  // export it was given goes.
  void SetKernel32(bool searchApis, bool setDllDirectory = true);
  // Loaded libraries still referenced (kernel32 not counted). The records
  // of SetDefaultDllDirectories and SetDllDirectoryA are the flags and the
  // folder ("<null>" for null).
  int LoadedLibraryCount() const;

  // msi.dll in the system folder, exporting MsiEnumProductsA at ordinal 44
  // (and by name), enumerating `products`; a call's record is its index.
  Library& InstallMsi(const std::string& folder = "");
  std::vector<std::string> products;
  std::optional<plat::UInt> msiEnumError;  // returned by every call when set

  // mscoree.dll with the chosen entries; GetRequestedRuntimeInfo returns
  // runtimeInfoResult. GetCORVersion and CorBindToRuntime are logged as
  // "ShimOtherEntry".
  Library& InstallShim(bool getCorVersion = true, bool corBindToRuntime = true,
                       bool getRequestedRuntimeInfo = true, const std::string& folder = "");
  plat::HResult runtimeInfoResult = 0;

  // A DLL of the given name beside the executable, whose entries (by name
  // `entries` and by ordinal 44) are logged as "PlantedEntry".
  Library& PlantBesideExe(const std::string& name, const std::vector<std::string>& entries);

  // kernel32 exports this entry from now on (until SetKernel32).
  void ExportFromKernel32(const std::string& name, plat::FarProc entry);

  // ---- The plat:: calls of this concern ----
  plat::HModule GetModuleHandleA(const char* lpModuleName);
  plat::DWord GetModuleFileNameA(plat::HModule hModule, char* lpFilename, plat::DWord nSize);
  plat::UInt GetSystemDirectoryA(char* lpBuffer, plat::UInt uSize);
  plat::HModule LoadLibraryExA(const char* lpLibFileName, plat::Handle hFile, plat::DWord dwFlags);
  plat::FarProc GetProcAddress(plat::HModule hModule, const char* lpProcName);
  plat::Bool FreeLibrary(plat::HModule hLibModule);

  // ---- The entries the libraries export, reached through GetProcAddress ----
  plat::UInt MsiEnumProductsA(plat::DWord index, char* buffer);
  plat::HResult GetRequestedRuntimeInfo(const plat::WChar* pExe, const plat::WChar* pwszVersion,
                                        const plat::WChar* pConfigurationFile,
                                        plat::DWord startupFlags, plat::DWord runtimeInfoFlags,
                                        plat::WChar* pDirectory, plat::DWord dwDirectory,
                                        plat::DWord* dwDirectoryLength, plat::WChar* pVersion,
                                        plat::DWord cchBuffer, plat::DWord* dwlength);
  void ShimOther();  // GetCORVersion and CorBindToRuntime
  void Planted();    // every entry of a planted DLL
  plat::Bool SetDefaultDllDirectories(plat::DWord flags);
  plat::Bool SetDllDirectoryA(const char* path);
  void AddDllDirectory();

 private:
  Library* Kernel32();

  FakeWindows& windows_;
  std::vector<std::unique_ptr<Library>> libraries_;  // the address of each is stable
};

}  // namespace fake
