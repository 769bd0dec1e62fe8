#include "fake/FakeWindows.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fake {
namespace {

FakeWindows* g_current = nullptr;

void AbortOnFault(const std::string& what) {
  (void)std::fprintf(stderr, "in-memory Windows: %s\n", what.c_str());
  std::abort();
}
FaultReporter g_reportFault = &AbortOnFault;

std::string ParentOf(const std::string& lowerPath) {
  const std::size_t sep = lowerPath.find_last_of("\\/");
  return sep == std::string::npos ? std::string() : lowerPath.substr(0, sep);
}

std::string TrimSeparators(std::string path) {
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

std::optional<std::string> Opt(const char* text) {
  return text ? std::optional<std::string>(text) : std::nullopt;
}

}  // namespace

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }
std::string ToString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

FakeWindows::FakeWindows() {
  if (g_current != nullptr) {
    static_cast<void>(std::fprintf(stderr, "two FakeWindows alive at once\n"));
    std::abort();
  }
  g_current = this;
  AddFolder("C:\\Users\\user\\Downloads");
  AddFolder(*tempPath);
  AddFolder(systemFolder);
  SetKernel32(true);
  systemMessages = {
      {1, "Incorrect function.\r\n"},
      {2, "The system cannot find the file specified.\r\n"},
      {3, "The system cannot find the path specified.\r\n"},
      {5, "Access is denied.\r\n"},
      {32, "The process cannot access the file because it is being used by another process.\r\n"},
      {193, "%1 is not a valid Win32 application.\r\n"},
      {1603, "Fatal error during installation.\r\n"},
      {3010,
       "The requested operation is successful. Changes will not be effective until the system "
       "is rebooted.\r\n"},
  };
}

FakeWindows::~FakeWindows() {
  for (char* p : localAllocations_) delete[] p;
  g_current = nullptr;
}

FakeWindows& FakeWindows::Current() {
  if (g_current == nullptr) {
    static_cast<void>(std::fprintf(stderr, "a platform call was made with no FakeWindows alive\n"));
    std::abort();
  }
  return *g_current;
}

void SetFaultReporter(FaultReporter report) { g_reportFault = report ? report : &AbortOnFault; }

void FakeWindows::Record(const char* name) {
  if (calls.size() < kMaxCalls) {
    calls.emplace_back(name);
    return;
  }
  if (!exhausted_) {
    exhausted_ = true;
    g_reportFault(
        "more than " + std::to_string(kMaxCalls) +
        " platform calls in one test: a walk or a loop that does not end (the last: " + name + ")");
  }
}

int FakeWindows::CountCalls(const std::string& name) const {
  return static_cast<int>(std::count(calls.begin(), calls.end(), name));
}

std::vector<std::string> FakeWindows::CallsAmong(const std::set<std::string>& names) const {
  std::vector<std::string> out;
  for (const auto& c : calls)
    if (names.contains(c)) out.push_back(c);
  return out;
}

plat::HModule FakeWindows::ExeModule() const {
  return reinterpret_cast<plat::HModule>(static_cast<std::uintptr_t>(0x400000));
}

void* FakeWindows::NewToken() {
  nextToken_ += 4;
  return reinterpret_cast<void*>(nextToken_);
}

Resource& FakeWindows::SetResource(const std::string& type, std::uint16_t id, Bytes bytes) {
  Resource& r = resources[{Lower(type), id}];
  r = Resource{};
  r.bytes = std::move(bytes);
  return r;
}

void FakeWindows::RemoveResource(const std::string& type, std::uint16_t id) {
  resources.erase({Lower(type), id});
}

void FakeWindows::AddFolder(const std::string& path) {
  // Every folder on the way exists too.
  std::string lower = TrimSeparators(Lower(path));
  while (!lower.empty()) {
    folders.insert(lower);
    lower = ParentOf(lower);
  }
}

void FakeWindows::RemoveFolder(const std::string& path) {
  const std::string lower = TrimSeparators(Lower(path));
  for (auto it = folders.begin(); it != folders.end();) {
    if (*it == lower || it->rfind(lower + "\\", 0) == 0)
      it = folders.erase(it);
    else
      ++it;
  }
}

FakeFile& FakeWindows::PutFile(const std::string& path, Bytes bytes) {
  AddFolder(ParentOf(path));
  FakeFile& f = files[Lower(path)];
  f = FakeFile{};
  f.path = path;
  f.bytes = std::move(bytes);
  return f;
}

bool FakeWindows::HasFile(const std::string& path) const { return files.contains(Lower(path)); }

const FakeFile* FakeWindows::File(const std::string& path) const {
  auto it = files.find(Lower(path));
  return it == files.end() ? nullptr : &it->second;
}

int FakeWindows::OpenHandleCount() const { return static_cast<int>(handles_.size()); }

void FakeWindows::UseDoubleByteCodePage() {
  leadBytes.clear();
  for (int b = 0x81; b <= 0x9F; ++b) leadBytes.insert(static_cast<std::uint8_t>(b));
  for (int b = 0xE0; b <= 0xFC; ++b) leadBytes.insert(static_cast<std::uint8_t>(b));
}

Library& FakeWindows::AddLibrary(const std::string& folder, const std::string& name) {
  auto lib = std::make_unique<Library>();
  lib->folder = TrimSeparators(Lower(folder));
  lib->name = Lower(name);
  libraries.push_back(std::move(lib));
  return *libraries.back();
}

Library* FakeWindows::Kernel32() {
  for (auto& lib : libraries)
    if (lib->name == "kernel32.dll" && lib->permanent) return lib.get();
  return nullptr;
}

int FakeWindows::LoadedLibraryCount() const {
  int n = 0;
  for (const auto& lib : libraries)
    if (!lib->permanent) n += lib->refCount;
  return n;
}

// ---- Entries that libraries of the fake export ----

namespace {

// GetTempPathA and GetTempPath2A alike: the folder with its NUL when it
// fits, else the size it needs and nothing written.
plat::DWord WriteTempFolder(FakeWindows& w, const std::optional<std::string>& folder,
                            plat::DWord nBufferLength, char* lpBuffer) {
  if (!folder) {
    w.lastError = plat::kErrorPathNotFound;
    return 0;
  }
  // Windows ends the folder in a backslash whatever the environment names.
  std::string t = *folder;
  if (t.empty() || (t.back() != '\\' && t.back() != '/')) t.push_back('\\');
  if (t.size() + 1 > nBufferLength) return static_cast<plat::DWord>(t.size() + 1);
  std::memcpy(lpBuffer, t.c_str(), t.size() + 1);
  return static_cast<plat::DWord>(t.size());
}

}  // namespace

struct FakeWindows::Impl {
  static plat::UInt PLAT_WINAPI MsiEnumProducts(plat::DWord index, char* buffer) {
    FakeWindows& w = Current();
    w.Record("MsiEnumProductsA");
    // Past the bound the walk is ended, so that the test fails instead of
    // running out of memory.
    if (w.Exhausted()) return plat::kErrorNoMoreItems;
    w.msiEnumIndices.push_back(index);
    if (w.msiEnumError) return *w.msiEnumError;
    if (index >= w.products.size()) return plat::kErrorNoMoreItems;
    static_cast<void>(std::snprintf(buffer, 39, "%s", w.products[index].c_str()));
    return 0;
  }

  static plat::HResult PLAT_WINAPI GetRequestedRuntimeInfo(
      const plat::WChar* pExe, const plat::WChar* pwszVersion,
      const plat::WChar* pConfigurationFile, plat::DWord startupFlags, plat::DWord runtimeInfoFlags,
      plat::WChar* pDirectory, plat::DWord dwDirectory, plat::DWord* dwDirectoryLength,
      plat::WChar* pVersion, plat::DWord cchBuffer, plat::DWord* dwlength) {
    FakeWindows& w = Current();
    w.Record("GetRequestedRuntimeInfo");
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
    c.errorModeDuringCall = w.errorMode;
    w.runtimeInfoCalls.push_back(c);
    if (w.runtimeInfoResult >= 0) {
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
    return w.runtimeInfoResult;
  }

  static void PLAT_WINAPI OtherShimEntry() {
    FakeWindows& w = Current();
    w.Record("ShimOtherEntry");
    ++w.shimOtherEntryCalls;
  }

  static void PLAT_WINAPI PlantedEntry() {
    FakeWindows& w = Current();
    w.Record("PlantedEntry");
    ++w.plantedEntryCalls;
  }

  static plat::Bool PLAT_WINAPI SetDefaultDllDirectories(plat::DWord flags) {
    FakeWindows& w = Current();
    w.Record("SetDefaultDllDirectories");
    w.setDefaultDllDirectoriesCalls.push_back(flags);
    return 1;
  }

  static plat::Bool PLAT_WINAPI SetDllDirectoryA(const char* path) {
    FakeWindows& w = Current();
    w.Record("SetDllDirectoryA");
    w.setDllDirectoryCalls.emplace_back(path ? path : "<null>");
    return 1;
  }

  static void PLAT_WINAPI AddDllDirectory() { Current().Record("AddDllDirectory"); }

  static plat::DWord PLAT_WINAPI GetTempPath2A(plat::DWord size, char* buffer) {
    FakeWindows& w = Current();
    w.Record("GetTempPath2A");
    return WriteTempFolder(w, w.tempPath2, size, buffer);
  }
};

template <typename Fn>
plat::FarProc AsFarProc(Fn fn) {
  return reinterpret_cast<plat::FarProc>(fn);
}

void FakeWindows::SetKernel32(bool searchApis, bool setDllDirectory) {
  Library* k = Kernel32();
  if (k == nullptr) {
    k = &AddLibrary(systemFolder, "kernel32.dll");
    k->permanent = true;
  }
  k->exports.clear();
  if (searchApis) {
    k->exports["AddDllDirectory"] = AsFarProc(&Impl::AddDllDirectory);
    k->exports["SetDefaultDllDirectories"] = AsFarProc(&Impl::SetDefaultDllDirectories);
  }
  if (setDllDirectory) k->exports["SetDllDirectoryA"] = AsFarProc(&Impl::SetDllDirectoryA);
}

void FakeWindows::ExportGetTempPath2A(std::optional<std::string> folder) {
  tempPath2 = std::move(folder);
  Kernel32()->exports["GetTempPath2A"] = AsFarProc(&Impl::GetTempPath2A);
}

Library& FakeWindows::InstallMsi(const std::string& folder) {
  Library& lib = AddLibrary(folder.empty() ? systemFolder : folder, "msi.dll");
  lib.ordinals[plat::kMsiEnumProductsAOrdinal] = AsFarProc(&Impl::MsiEnumProducts);
  lib.exports["MsiEnumProductsA"] = AsFarProc(&Impl::MsiEnumProducts);
  lib.lastErrorOnUnload = 1411;  // ERROR_CLASS_DOES_NOT_EXIST, as its detach leaves it
  return lib;
}

Library& FakeWindows::InstallShim(bool getCorVersion, bool corBindToRuntime,
                                  bool getRequestedRuntimeInfo, const std::string& folder) {
  Library& lib = AddLibrary(folder.empty() ? systemFolder : folder, "mscoree.dll");
  if (getCorVersion) lib.exports["GetCORVersion"] = AsFarProc(&Impl::OtherShimEntry);
  if (corBindToRuntime) lib.exports["CorBindToRuntime"] = AsFarProc(&Impl::OtherShimEntry);
  if (getRequestedRuntimeInfo)
    lib.exports["GetRequestedRuntimeInfo"] = AsFarProc(&Impl::GetRequestedRuntimeInfo);
  return lib;
}

Library& FakeWindows::PlantBesideExe(const std::string& name,
                                     const std::vector<std::string>& entries) {
  Library& lib = AddLibrary(ParentOf(Lower(exePath)), name);
  for (const auto& e : entries) lib.exports[e] = AsFarProc(&Impl::PlantedEntry);
  lib.ordinals[plat::kMsiEnumProductsAOrdinal] = AsFarProc(&Impl::PlantedEntry);
  return lib;
}

// ---- Registry helpers ----

void FakeWindows::SetValue(View view, const std::string& path, const std::string& name,
                           RegValue value) {
  registry_[RegIndex(view)][Lower(path)][Lower(name)] = std::move(value);
}

void FakeWindows::SetDword(View view, const std::string& path, const std::string& name,
                           plat::DWord v) {
  RegValue value{plat::kRegDword, Bytes(4)};
  for (int i = 0; i < 4; ++i) value.data[i] = static_cast<std::uint8_t>(v >> (8 * i));
  SetValue(view, path, name, value);
}

void FakeWindows::SetString(View view, const std::string& path, const std::string& name,
                            const std::string& text) {
  Bytes data = ToBytes(text);
  data.push_back(0);
  SetValue(view, path, name, RegValue{plat::kRegSz, data});
}

std::optional<RegValue> FakeWindows::GetValue(View view, const std::string& path,
                                              const std::string& name) const {
  const auto& reg = registry_[RegIndex(view)];
  auto key = reg.find(Lower(path));
  if (key == reg.end()) return std::nullopt;
  auto value = key->second.find(Lower(name));
  if (value == key->second.end()) return std::nullopt;
  return value->second;
}

bool FakeWindows::KeyExists(View view, const std::string& path) const {
  return registry_[RegIndex(view)].contains(Lower(path));
}

void FakeWindows::DeleteKey(View view, const std::string& path) {
  registry_[RegIndex(view)].erase(Lower(path));
}

}  // namespace fake

// ============================================================================
// The plat:: operations, answered by the current FakeWindows.
// ============================================================================

namespace plat {

using fake::FakeWindows;
using fake::Lower;

namespace {

FakeWindows& W(const char* name) {
  FakeWindows& w = FakeWindows::Current();
  w.Record(name);
  return w;
}

}  // namespace

// ---- Modules and resources ----

HModule GetModuleHandleA(const char* lpModuleName) {
  FakeWindows& w = W("GetModuleHandleA");
  if (lpModuleName == nullptr) return w.ExeModule();
  const std::string name = Lower(lpModuleName);
  for (auto& lib : w.libraries)
    if ((lib->name == name || lib->name == name + ".dll") && (lib->permanent || lib->refCount > 0))
      return lib.get();
  w.lastError = kErrorModNotFound;
  return nullptr;
}

DWord GetModuleFileNameA(HModule hModule, char* lpFilename, DWord nSize) {
  FakeWindows& w = W("GetModuleFileNameA");
  if (hModule != nullptr && hModule != w.ExeModule()) {
    w.lastError = kErrorModNotFound;
    return 0;
  }
  if (nSize == 0) return 0;
  const std::string& path = w.exePath;
  const DWord n = static_cast<DWord>(std::min<std::size_t>(path.size(), nSize - 1));
  std::memcpy(lpFilename, path.data(), n);
  lpFilename[n] = '\0';
  if (n < path.size()) {
    w.lastError = 122;  // ERROR_INSUFFICIENT_BUFFER
    return nSize;
  }
  return n;
}

HResInfo FindResourceA(HModule hModule, const char* lpName, const char* lpType) {
  FakeWindows& w = W("FindResourceA");
  if (hModule != nullptr && hModule != w.ExeModule()) return nullptr;
  if (!IsIntResource(lpName) || IsIntResource(lpType)) return nullptr;
  const auto id = static_cast<std::uint16_t>(reinterpret_cast<std::uintptr_t>(lpName));
  const std::string type = Lower(lpType);
  auto it = w.resources.find({type, id});
  if (it == w.resources.end()) {
    const bool typeKnown = std::any_of(w.resources.begin(), w.resources.end(),
                                       [&](const auto& r) { return r.first.first == type; });
    // ERROR_RESOURCE_NAME_NOT_FOUND, ERROR_RESOURCE_TYPE_NOT_FOUND
    w.lastError = typeKnown ? 1814 : 1813;
    return nullptr;
  }
  return &it->second;
}

HGlobal LoadResource(HModule, HResInfo hResInfo) {
  W("LoadResource");
  auto* r = static_cast<fake::Resource*>(hResInfo);
  if (r == nullptr || r->failLoad) return nullptr;
  return r;
}

DWord SizeofResource(HModule, HResInfo hResInfo) {
  W("SizeofResource");
  auto* r = static_cast<fake::Resource*>(hResInfo);
  return r ? static_cast<DWord>(r->bytes.size()) : 0;
}

const void* LockResource(HGlobal hResData) {
  W("LockResource");
  auto* r = static_cast<fake::Resource*>(hResData);
  if (r == nullptr || r->failLock) return nullptr;
  // A resource of no bytes still has an address in the image.
  static const std::uint8_t kEmpty = 0;
  return r->bytes.empty() ? &kEmpty : r->bytes.data();
}

// ---- Files ----

DWord GetTempPathA(DWord nBufferLength, char* lpBuffer) {
  FakeWindows& w = W("GetTempPathA");
  return fake::WriteTempFolder(w, w.tempPath, nBufferLength, lpBuffer);
}

Bool DeleteFileA(const char* lpFileName) {
  FakeWindows& w = W("DeleteFileA");
  const std::string key = Lower(lpFileName);
  auto it = w.files.find(key);
  if (it == w.files.end()) {
    const std::size_t sep = key.find_last_of("\\/");
    const std::string parent = sep == std::string::npos ? std::string() : key.substr(0, sep);
    if (w.folders.contains(key))
      w.lastError = kErrorAccessDenied;  // a folder is not deleted as a file
    else if (!parent.empty() && !w.folders.contains(parent))
      w.lastError = kErrorPathNotFound;
    else
      w.lastError = kErrorFileNotFound;
    return 0;
  }
  for (const auto& [h, open] : w.handles_)
    if (!open.isProcess && open.path == key) {
      w.lastError = kErrorSharingViolation;
      return 0;
    }
  if (it->second.lockedByOther) {
    w.lastError = kErrorSharingViolation;
    return 0;
  }
  if (it->second.readOnly) {
    w.lastError = kErrorAccessDenied;
    return 0;
  }
  w.files.erase(it);
  return 1;
}

Handle CreateFileA(const char* lpFileName, DWord dwDesiredAccess, DWord dwShareMode,
                   void* lpSecurityAttributes, DWord dwCreationDisposition,
                   DWord dwFlagsAndAttributes, Handle hTemplateFile) {
  FakeWindows& w = W("CreateFileA");
  (void)dwShareMode;
  (void)lpSecurityAttributes;
  (void)dwFlagsAndAttributes;
  (void)hTemplateFile;
  if (w.createFileError) {
    w.lastError = *w.createFileError;
    return InvalidHandleValue();
  }
  const std::string key = Lower(lpFileName);
  const std::size_t sep = key.find_last_of("\\/");
  const std::string parent = sep == std::string::npos ? std::string() : key.substr(0, sep);
  // A bare name lives in the current folder, which exists.
  if (!parent.empty() && !w.folders.contains(parent)) {
    w.lastError = kErrorPathNotFound;
    return InvalidHandleValue();
  }
  if (w.folders.contains(key)) {
    w.lastError = kErrorAccessDenied;
    return InvalidHandleValue();
  }
  auto it = w.files.find(key);
  if (it != w.files.end()) {
    if (it->second.lockedByOther) {
      w.lastError = kErrorSharingViolation;
      return InvalidHandleValue();
    }
    for (const auto& [h, open] : w.handles_)
      if (!open.isProcess && open.path == key) {
        w.lastError = kErrorSharingViolation;
        return InvalidHandleValue();
      }
    if (it->second.readOnly) {
      w.lastError = kErrorAccessDenied;
      return InvalidHandleValue();
    }
  }
  if (dwCreationDisposition != kCreateAlways || (dwDesiredAccess & kGenericWrite) == 0) {
    w.lastError = kErrorInvalidParameter;
    return InvalidHandleValue();
  }
  fake::FakeFile& f = w.files[key];
  if (f.path.empty()) f.path = lpFileName;
  f.bytes.clear();
  Handle h = w.NewToken();
  w.handles_[h] = FakeWindows::OpenHandle{false, key};
  w.lastError = it != w.files.end() ? 183 : 0;  // ERROR_ALREADY_EXISTS when replaced
  return h;
}

Bool WriteFile(Handle hFile, const void* lpBuffer, DWord nNumberOfBytesToWrite,
               DWord* lpNumberOfBytesWritten, void* lpOverlapped) {
  FakeWindows& w = W("WriteFile");
  (void)lpOverlapped;
  const int index = static_cast<int>(w.writeSizes.size());
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  if (w.Exhausted()) {
    w.lastError = w.writeError;
    return 0;
  }
  w.writeSizes.push_back(nNumberOfBytesToWrite);
  auto it = w.handles_.find(hFile);
  if (it == w.handles_.end() || it->second.isProcess) {
    w.lastError = kErrorInvalidHandle;
    return 0;
  }
  if (index == w.failWriteCall) {
    w.lastError = w.writeError;
    return 0;
  }
  const DWord n = std::min(nNumberOfBytesToWrite, w.maxWritePerCall);
  const auto* bytes = static_cast<const std::uint8_t*>(lpBuffer);
  fake::FakeFile& f = w.files[it->second.path];
  f.bytes.insert(f.bytes.end(), bytes, bytes + n);
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = n;
  return 1;
}

Bool CloseHandle(Handle hObject) {
  FakeWindows& w = W("CloseHandle");
  if (w.handles_.erase(hObject) == 0) {
    w.lastError = kErrorInvalidHandle;
    return 0;
  }
  return 1;
}

// ---- Errors and messages ----

DWord GetLastError() { return FakeWindows::Current().lastError; }

void SetLastError(DWord dwErrCode) { FakeWindows::Current().lastError = dwErrCode; }

DWord FormatMessageA(DWord dwFlags, const void* lpSource, DWord dwMessageId, DWord dwLanguageId,
                     char* lpBuffer, DWord nSize, void* arguments) {
  FakeWindows& w = W("FormatMessageA");
  (void)lpSource;
  (void)nSize;
  (void)arguments;
  w.formatMessageCalls.push_back({dwFlags, dwMessageId, dwLanguageId});
  auto it = w.systemMessages.find(dwMessageId);
  if ((dwFlags & kFormatMessageFromSystem) == 0 || it == w.systemMessages.end()) {
    w.lastError = 317;  // ERROR_MR_MID_NOT_FOUND
    return 0;
  }
  if ((dwFlags & kFormatMessageAllocateBuffer) == 0) {
    w.lastError = kErrorInvalidParameter;  // the program always asks for a buffer
    return 0;
  }
  char* text = new char[it->second.size() + 1];
  std::memcpy(text, it->second.c_str(), it->second.size() + 1);
  w.localAllocations_.insert(text);
  *reinterpret_cast<char**>(lpBuffer) = text;
  return static_cast<DWord>(it->second.size());
}

HLocal LocalFree(HLocal hMem) {
  FakeWindows& w = W("LocalFree");
  auto* p = static_cast<char*>(hMem);
  if (w.localAllocations_.erase(p)) delete[] p;
  return nullptr;
}

Bool IsDBCSLeadByte(std::uint8_t testChar) {
  // Not logged: text helpers call it once per byte.
  return FakeWindows::Current().leadBytes.contains(testChar) ? 1 : 0;
}

// ---- Libraries and the error mode ----

UInt GetSystemDirectoryA(char* lpBuffer, UInt uSize) {
  FakeWindows& w = W("GetSystemDirectoryA");
  if (w.systemDirectoryFails) return 0;
  const std::string& s = w.systemFolder;
  if (s.size() + 1 > uSize) return static_cast<UInt>(s.size() + 1);
  std::memcpy(lpBuffer, s.c_str(), s.size() + 1);
  return static_cast<UInt>(s.size());
}

HModule LoadLibraryExA(const char* lpLibFileName, Handle hFile, DWord dwFlags) {
  FakeWindows& w = W("LoadLibraryExA");
  (void)hFile;
  fake::LoadRecord record{lpLibFileName, dwFlags, ""};
  const std::string name = Lower(lpLibFileName);
  std::vector<std::string> candidates;
  if ((dwFlags & kLoadWithAlteredSearchPath) && (dwFlags & kLoadLibrarySearchSystem32)) {
    w.lastError = kErrorInvalidParameter;  // the two search orders exclude each other
    w.loads.push_back(record);
    return nullptr;
  }
  if (name.find_first_of("\\/") != std::string::npos) {
    candidates.push_back(name);
  } else if (dwFlags & kLoadLibrarySearchSystem32) {
    fake::Library* k = w.Kernel32();
    if (k == nullptr || !k->exports.contains("AddDllDirectory")) {
      w.lastError = kErrorInvalidParameter;  // older systems reject the flag
      w.loads.push_back(record);
      return nullptr;
    }
    candidates.push_back(Lower(w.systemFolder) + "\\" + name);
  } else {
    // The ordinary search order: the executable's folder comes first.
    const std::string exe = Lower(w.exePath);
    const std::size_t sep = exe.find_last_of("\\/");
    candidates.push_back(exe.substr(0, sep) + "\\" + name);
    candidates.push_back(Lower(w.systemFolder) + "\\" + name);
  }
  for (const auto& path : candidates) {
    for (auto& lib : w.libraries) {
      if (lib->Path() == path) {
        if (!lib->permanent) ++lib->refCount;
        record.resolved = path;
        w.loads.push_back(record);
        return lib.get();
      }
    }
  }
  w.loads.push_back(record);
  w.lastError = kErrorModNotFound;
  return nullptr;
}

FarProc GetProcAddress(HModule hModule, const char* lpProcName) {
  FakeWindows& w = W("GetProcAddress");
  for (auto& lib : w.libraries) {
    if (lib.get() != hModule) continue;
    if (IsIntResource(lpProcName)) {
      auto it = lib->ordinals.find(
          static_cast<std::uint16_t>(reinterpret_cast<std::uintptr_t>(lpProcName)));
      if (it != lib->ordinals.end()) return it->second;
    } else {
      auto it = lib->exports.find(lpProcName);
      if (it != lib->exports.end()) return it->second;
    }
    w.lastError = kErrorProcNotFound;
    return nullptr;
  }
  w.lastError = kErrorInvalidHandle;
  return nullptr;
}

Bool FreeLibrary(HModule hLibModule) {
  FakeWindows& w = W("FreeLibrary");
  for (auto& lib : w.libraries) {
    if (lib.get() == hLibModule && (lib->permanent || lib->refCount > 0)) {
      if (!lib->permanent) --lib->refCount;
      // The library's detach code runs on the last free and may set a last
      // error of its own, although the free succeeds.
      if (!lib->permanent && lib->refCount == 0 && lib->lastErrorOnUnload)
        w.lastError = *lib->lastErrorOnUnload;
      return 1;
    }
  }
  w.lastError = kErrorInvalidHandle;
  return 0;
}

UInt SetErrorMode(UInt uMode) {
  FakeWindows& w = W("SetErrorMode");
  const UInt previous = w.errorMode;
  w.errorMode = uMode;
  w.errorModeHistory.push_back(uMode);
  return previous;
}

// ---- Processes and the shell ----

namespace {

// Why the system would not start the file: it is not there, or it is not a
// program (an image starts with "MZ"). 0 when it starts.
DWord LaunchRefusal(const FakeWindows& w, const char* file) {
  const fake::FakeFile* f = file ? w.File(file) : nullptr;
  if (f == nullptr) return kErrorFileNotFound;
  if (f->bytes.size() < 2 || f->bytes[0] != 'M' || f->bytes[1] != 'Z') return kErrorBadExeFormat;
  return 0;
}

}  // namespace

Bool ShellExecuteExA(ShellExecuteInfoA* pExecInfo) {
  FakeWindows& w = W("ShellExecuteExA");
  fake::ShellExecuteExCall call;
  call.info = *pExecInfo;
  call.verb = fake::Opt(pExecInfo->lpVerb);
  call.file = fake::Opt(pExecInfo->lpFile);
  call.parameters = fake::Opt(pExecInfo->lpParameters);
  call.directory = fake::Opt(pExecInfo->lpDirectory);
  call.lastErrorBefore = w.lastError;
  w.shellExecuteExCalls.push_back(call);
  if (w.onLaunch) w.onLaunch(call);
  DWord error = 0;
  if (!w.launchErrors.empty()) {
    error = w.launchErrors.front();
    w.launchErrors.pop_front();
  }
  if (error == 0) error = LaunchRefusal(w, pExecInfo->lpFile);
  if (error != 0) {
    pExecInfo->hProcess = nullptr;
    w.lastError = error;
    return 0;
  }
  pExecInfo->hInstApp = reinterpret_cast<HModule>(static_cast<std::uintptr_t>(33));
  if (w.launchGivesNoProcess || (pExecInfo->fMask & kSeeMaskNoCloseProcess) == 0) {
    pExecInfo->hProcess = nullptr;
  } else {
    Handle h = w.NewToken();
    w.handles_[h] = FakeWindows::OpenHandle{true, ""};
    pExecInfo->hProcess = h;
  }
  return 1;
}

HModule ShellExecuteA(HWnd hwnd, const char* lpOperation, const char* lpFile,
                      const char* lpParameters, const char* lpDirectory, int nShowCmd) {
  FakeWindows& w = W("ShellExecuteA");
  fake::ShellExecuteCall call;
  call.owner = hwnd;
  call.verb = fake::Opt(lpOperation);
  call.file = fake::Opt(lpFile);
  call.parameters = fake::Opt(lpParameters);
  call.directory = fake::Opt(lpDirectory);
  call.show = nShowCmd;
  if (lpFile)
    if (const fake::FakeFile* f = w.File(lpFile)) call.fileAtOpen = f->bytes;
  w.shellExecuteCalls.push_back(call);
  return w.shellExecuteResult;
}

DWord WaitForSingleObject(Handle hHandle, DWord dwMilliseconds) {
  FakeWindows& w = W("WaitForSingleObject");
  w.waits.push_back(dwMilliseconds);
  auto it = w.handles_.find(hHandle);
  if (it == w.handles_.end() || !it->second.isProcess) {
    w.lastError = kErrorInvalidHandle;
    return kWaitFailed;
  }
  return w.waitResult;
}

Bool GetExitCodeProcess(Handle hProcess, DWord* lpExitCode) {
  FakeWindows& w = W("GetExitCodeProcess");
  auto it = w.handles_.find(hProcess);
  if (w.exitCodeReadFails || it == w.handles_.end() || !it->second.isProcess) {
    w.lastError = kErrorInvalidHandle;
    return 0;
  }
  *lpExitCode = w.processExitCode;
  return 1;
}

void Sleep(DWord dwMilliseconds) {
  FakeWindows& w = W("Sleep");
  w.sleeps.push_back(dwMilliseconds);
  if (w.onSleep) w.onSleep();
}

// ---- Registry ----

namespace {

fake::View ViewOf(DWord sam) {
  if (sam & kKeyWow64_64Key) return fake::View::k64;
  return fake::View::k32;  // a 32-bit process without a flag reads the 32-bit view
}

bool IsHklm(HKey key) { return key == HKeyLocalMachine(); }

std::string Join(const std::string& base, const char* sub) {
  std::string s = sub ? sub : "";
  while (!s.empty() && s.front() == '\\') s.erase(0, 1);
  if (base.empty()) return s;
  return s.empty() ? base : base + "\\" + s;
}

}  // namespace

}  // namespace plat

namespace fake {

// Registry calls need the private tables; they go through this helper.
struct RegAccess {
  static plat::Long Open(FakeWindows& w, const char* op, plat::HKey root, const char* sub,
                         plat::DWord sam, plat::HKey* out, bool create,
                         plat::DWord* disposition = nullptr) {
    std::string base;
    View view = plat::ViewOf(sam);
    if (!plat::IsHklm(root)) {
      auto it = w.openKeys_.find(root);
      if (it == w.openKeys_.end()) return static_cast<plat::Long>(plat::kErrorInvalidHandle);
      base = it->second.path;
      view = it->second.view;
    }
    const std::string path = plat::Join(base, sub);
    RegRequest req{op, view, path, "", sam};
    w.regRequests.push_back(req);
    if (w.regFault)
      if (plat::Long status = w.regFault(req)) return status;
    auto& reg = w.registry_[w.RegIndex(view)];
    const std::string lower = Lower(path);
    const bool existed = reg.contains(lower);
    if (!existed) {
      if (!create) return static_cast<plat::Long>(plat::kErrorFileNotFound);
      // Every key on the way is created too.
      std::string p = lower;
      while (!p.empty()) {
        reg[p];
        const std::size_t sep = p.find_last_of('\\');
        p = sep == std::string::npos ? std::string() : p.substr(0, sep);
      }
    }
    plat::HKey h = w.NewToken();
    w.openKeys_[h] = FakeWindows::OpenKey{view, lower};
    *out = h;
    // REG_CREATED_NEW_KEY, REG_OPENED_EXISTING_KEY
    if (disposition) *disposition = existed ? 2 : 1;
    return 0;
  }

  static plat::Long Query(FakeWindows& w, plat::HKey key, const char* name, plat::DWord* type,
                          std::uint8_t* data, plat::DWord* size) {
    auto it = w.openKeys_.find(key);
    if (it == w.openKeys_.end()) return static_cast<plat::Long>(plat::kErrorInvalidHandle);
    RegRequest req{"RegQueryValueExA", it->second.view, it->second.path, name ? name : "", 0};
    w.regRequests.push_back(req);
    if (w.regFault)
      if (plat::Long status = w.regFault(req)) return status;
    auto& values = w.registry_[w.RegIndex(it->second.view)][it->second.path];
    auto v = values.find(Lower(name ? name : ""));
    if (v == values.end()) return static_cast<plat::Long>(plat::kErrorFileNotFound);
    if (type) *type = v->second.type;
    const auto n = static_cast<plat::DWord>(v->second.data.size());
    if (data == nullptr) {
      if (size) *size = n;
      return 0;
    }
    if (size == nullptr) return static_cast<plat::Long>(plat::kErrorInvalidParameter);
    if (*size < n) {
      *size = n;
      return static_cast<plat::Long>(plat::kErrorMoreData);
    }
    std::copy(v->second.data.begin(), v->second.data.end(), data);
    *size = n;
    return 0;
  }

  static plat::Long Set(FakeWindows& w, plat::HKey key, const char* name, plat::DWord type,
                        const std::uint8_t* data, plat::DWord size) {
    auto it = w.openKeys_.find(key);
    if (it == w.openKeys_.end()) return static_cast<plat::Long>(plat::kErrorInvalidHandle);
    RegRequest req{"RegSetValueExA", it->second.view, it->second.path, name ? name : "", 0};
    w.regRequests.push_back(req);
    if (w.regFault)
      if (plat::Long status = w.regFault(req)) return status;
    w.registry_[w.RegIndex(it->second.view)][it->second.path][Lower(name ? name : "")] =
        RegValue{type, Bytes(data, data + size)};
    return 0;
  }

  static plat::Long Close(FakeWindows& w, plat::HKey key) {
    return w.openKeys_.erase(key) ? 0 : static_cast<plat::Long>(plat::kErrorInvalidHandle);
  }
};

}  // namespace fake

namespace plat {

Long RegOpenKeyExA(HKey hKey, const char* lpSubKey, DWord ulOptions, DWord samDesired,
                   HKey* phkResult) {
  FakeWindows& w = W("RegOpenKeyExA");
  (void)ulOptions;
  return fake::RegAccess::Open(w, "RegOpenKeyExA", hKey, lpSubKey, samDesired, phkResult, false);
}

Long RegQueryValueExA(HKey hKey, const char* lpValueName, DWord* lpReserved, DWord* lpType,
                      std::uint8_t* lpData, DWord* lpcbData) {
  FakeWindows& w = W("RegQueryValueExA");
  (void)lpReserved;
  return fake::RegAccess::Query(w, hKey, lpValueName, lpType, lpData, lpcbData);
}

Long RegCreateKeyExA(HKey hKey, const char* lpSubKey, DWord reserved, char* lpClass,
                     DWord dwOptions, DWord samDesired, void* lpSecurityAttributes, HKey* phkResult,
                     DWord* lpdwDisposition) {
  FakeWindows& w = W("RegCreateKeyExA");
  (void)reserved;
  (void)lpClass;
  (void)dwOptions;
  (void)lpSecurityAttributes;
  return fake::RegAccess::Open(w, "RegCreateKeyExA", hKey, lpSubKey, samDesired, phkResult, true,
                               lpdwDisposition);
}

Long RegSetValueExA(HKey hKey, const char* lpValueName, DWord reserved, DWord dwType,
                    const std::uint8_t* lpData, DWord cbData) {
  FakeWindows& w = W("RegSetValueExA");
  (void)reserved;
  return fake::RegAccess::Set(w, hKey, lpValueName, dwType, lpData, cbData);
}

Long RegCloseKey(HKey hKey) {
  FakeWindows& w = W("RegCloseKey");
  return fake::RegAccess::Close(w, hKey);
}

// ---- Dialogs ----

int MessageBoxA(HWnd hWnd, const char* lpText, const char* lpCaption, UInt uType) {
  FakeWindows& w = W("MessageBoxA");
  fake::MessageBoxCall call{hWnd, lpText ? lpText : "", lpCaption ? lpCaption : "", uType};
  w.messageBoxes.push_back(call);
  if (w.onMessageBox) w.onMessageBox(call);
  if (w.answers.empty()) return kIdOk;
  const int answer = w.answers.front();
  w.answers.pop_front();
  return answer;
}

}  // namespace plat
