// An in-memory Windows for the unit tests.
//
// A test creates one fake::FakeWindows on its stack; while it lives, every
// plat:: call of the code under test lands on it, and it is gone with the
// test, so no state leaks from one test into the next. It models what the
// bootstrapper touches: the registry with its 32- and 64-bit views, the
// executable's resources, files and folders, the temporary folder, libraries
// and their entries, the shell, processes, message boxes, the last error and
// the error mode. Each part records the calls it receives and can be told to
// fail the way Windows fails.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace fake {

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(const std::string& text);
std::string ToString(const Bytes& bytes);
std::string Lower(std::string text);

enum class View { k32 = 0, k64 = 1 };

struct RegValue {
  plat::DWord type = plat::kRegSz;
  Bytes data;
};

// What a registry call is about, for the fault hook.
struct RegRequest {
  std::string op;  // "RegOpenKeyExA", "RegCreateKeyExA", "RegQueryValueExA", "RegSetValueExA"
  View view = View::k32;  // the view the call addresses
  std::string path;       // full key path below HKLM, as given (e.g. "Software\\Brannex\\X")
  std::string valueName;  // for value calls
  plat::DWord sam = 0;    // access mask, for opens and creates
};

struct FakeFile {
  std::string path;  // as first created
  Bytes bytes;
  bool readOnly = false;       // delete and CreateFileA fail with access denied
  bool lockedByOther = false;  // another process holds it without sharing
};

struct Resource {
  Bytes bytes;
  bool failLoad = false;  // LoadResource gives null
  bool failLock = false;  // LockResource gives null
};

struct Library {
  std::string folder;  // lower case, no trailing separator
  std::string name;    // lower case file name, e.g. "msi.dll"
  std::map<std::string, plat::FarProc> exports;
  std::map<std::uint16_t, plat::FarProc> ordinals;
  int refCount = 0;
  bool permanent = false;                        // kernel32: always loaded, never counted
  std::optional<plat::DWord> lastErrorOnUnload;  // set by its detach code on the last free
  std::string Path() const { return folder + "\\" + name; }
};

struct LoadRecord {
  std::string name;  // as passed to LoadLibraryExA
  plat::DWord flags = 0;
  std::string resolved;  // lower-case full path of what was loaded, empty on failure
};

struct ShellExecuteExCall {
  plat::ShellExecuteInfoA info{};  // as passed (pointers not to be followed later)
  std::optional<std::string> verb, file, parameters, directory;  // nullopt for null
  plat::DWord lastErrorBefore = 0;
};

struct ShellExecuteCall {
  plat::HWnd owner = nullptr;
  std::optional<std::string> verb, file, parameters, directory;
  int show = 0;
  std::optional<Bytes> fileAtOpen;  // the file's content when the shell was asked, if it existed
};

struct MessageBoxCall {
  plat::HWnd owner = nullptr;
  std::string text;
  std::string caption;
  plat::UInt type = 0;
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

// How a fault of the test itself is reported (a call log past its bound).
// By default the program is ended with the reason on stderr; the unit tests
// make it a failure of the running test.
using FaultReporter = void (*)(const std::string& what);
void SetFaultReporter(FaultReporter report);

class FakeWindows {
 public:
  FakeWindows();
  ~FakeWindows();
  FakeWindows(const FakeWindows&) = delete;
  FakeWindows& operator=(const FakeWindows&) = delete;

  static FakeWindows& Current();

  // ---- Call log: one line per plat:: call, e.g. "RegCreateKeyExA". ----
  // Bounded: the call past kMaxCalls is reported as a fault, no longer
  // recorded, and the walks and writes of the fake end from then on.
  static constexpr std::size_t kMaxCalls = 100000;
  std::vector<std::string> calls;
  void Record(const char* name);
  bool Exhausted() const { return exhausted_; }
  int CountCalls(const std::string& name) const;
  // The calls named in `names`, in order, the others left out.
  std::vector<std::string> CallsAmong(const std::set<std::string>& names) const;

  // ---- Process and module ----
  std::string exePath = "C:\\Users\\user\\Downloads\\LumentaSetupBoot.exe";
  plat::HModule ExeModule() const;

  // ---- Resources of the executable (type names compare case-insensitively) ----
  std::map<std::pair<std::string, std::uint16_t>, Resource> resources;
  Resource& SetResource(const std::string& type, std::uint16_t id, Bytes bytes);
  void RemoveResource(const std::string& type, std::uint16_t id);

  // ---- Files and folders (paths compare case-insensitively) ----
  // nullopt: GetTempPathA fails and writes nothing.
  std::optional<std::string> tempPath = std::string("C:\\Users\\user\\AppData\\Local\\Temp\\");
  // What GetTempPath2A gives, when kernel32 exports it (ExportGetTempPath2A;
  // SetKernel32 takes the export away again). nullopt: it fails.
  std::optional<std::string> tempPath2;
  void ExportGetTempPath2A(std::optional<std::string> folder);
  std::set<std::string> folders;          // lower case, no trailing separator
  std::map<std::string, FakeFile> files;  // keyed by lower-case path
  void AddFolder(const std::string& path);
  void RemoveFolder(const std::string& path);
  FakeFile& PutFile(const std::string& path, Bytes bytes);
  bool HasFile(const std::string& path) const;
  const FakeFile* File(const std::string& path) const;
  // WriteFile: at most this many bytes per call (a short write that succeeds).
  plat::DWord maxWritePerCall = 0xFFFFFFFF;
  // WriteFile: the call with this 0-based index fails with writeError.
  int failWriteCall = -1;
  plat::DWord writeError = 112;         // ERROR_DISK_FULL
  std::vector<plat::DWord> writeSizes;  // bytes asked for, per WriteFile call
  // CreateFileA fails with this error when set.
  std::optional<plat::DWord> createFileError;
  // Files opened and not closed, and processes whose handle is open.
  int OpenHandleCount() const;

  // ---- Last error, error mode, code page ----
  plat::DWord lastError = 0;
  plat::UInt errorMode = 0;
  std::vector<plat::UInt> errorModeHistory;  // every mode set, in order
  std::set<std::uint8_t> leadBytes;          // empty: a single-byte code page
  void UseDoubleByteCodePage();              // lead bytes 0x81-0x9F and 0xE0-0xFC

  // ---- System messages (FormatMessageA) ----
  std::map<plat::DWord, std::string> systemMessages;  // code -> text as the system gives it
  struct FormatMessageRecord {
    plat::DWord flags, code, language;
  };
  std::vector<FormatMessageRecord> formatMessageCalls;
  int OutstandingLocalAllocations() const { return static_cast<int>(localAllocations_.size()); }

  // ---- Libraries ----
  std::string systemFolder = "C:\\windows\\system32";
  bool systemDirectoryFails = false;
  std::vector<std::unique_ptr<Library>> libraries;
  std::vector<LoadRecord> loads;
  Library& AddLibrary(const std::string& folder, const std::string& name);
  // kernel32 with or without AddDllDirectory/SetDefaultDllDirectories (XP and
  // unpatched Vista/7 lack them) and SetDllDirectoryA (XP SP1+).
  void SetKernel32(bool searchApis, bool setDllDirectory = true);
  Library* Kernel32();
  // Loaded libraries still referenced (kernel32 not counted).
  int LoadedLibraryCount() const;
  std::vector<plat::DWord> setDefaultDllDirectoriesCalls;
  std::vector<std::string> setDllDirectoryCalls;

  // msi.dll in the system folder, exporting MsiEnumProductsA at ordinal 44
  // (and by name), enumerating `products`.
  Library& InstallMsi(const std::string& folder = "");
  std::vector<std::string> products;
  std::optional<plat::UInt> msiEnumError;  // returned by every call when set
  std::vector<plat::DWord> msiEnumIndices;

  // mscoree.dll with the chosen entries; GetRequestedRuntimeInfo returns
  // runtimeInfoResult and records its arguments.
  Library& InstallShim(bool getCorVersion = true, bool corBindToRuntime = true,
                       bool getRequestedRuntimeInfo = true, const std::string& folder = "");
  plat::HResult runtimeInfoResult = 0;
  std::vector<RuntimeInfoCall> runtimeInfoCalls;
  int shimOtherEntryCalls = 0;  // GetCORVersion or CorBindToRuntime called

  // A DLL of the given name beside the executable, whose entries (by name
  // `entries` and by ordinal 44) record that they were called.
  Library& PlantBesideExe(const std::string& name, const std::vector<std::string>& entries);
  int plantedEntryCalls = 0;

  // ---- Registry ----
  bool singleRegistry = false;  // 32-bit Windows: both views are one registry
  void SetValue(View view, const std::string& path, const std::string& name, RegValue value);
  void SetDword(View view, const std::string& path, const std::string& name, plat::DWord v);
  void SetString(View view, const std::string& path, const std::string& name,
                 const std::string& text);  // REG_SZ with its NUL
  std::optional<RegValue> GetValue(View view, const std::string& path,
                                   const std::string& name) const;
  bool KeyExists(View view, const std::string& path) const;
  void DeleteKey(View view, const std::string& path);
  // Returns a nonzero status to make the call fail with it.
  std::function<plat::Long(const RegRequest&)> regFault;
  std::vector<RegRequest> regRequests;  // every registry call, in order
  int OpenKeyCount() const { return static_cast<int>(openKeys_.size()); }

  // ---- Shell and processes ----
  std::vector<ShellExecuteExCall> shellExecuteExCalls;
  // Each entry decides one launch: nonzero fails it with that last error,
  // 0 lets it succeed. Empty: success.
  std::deque<plat::DWord> launchErrors;
  std::function<void(const ShellExecuteExCall&)> onLaunch;
  bool launchGivesNoProcess = false;
  plat::DWord processExitCode = 0;
  bool exitCodeReadFails = false;
  plat::DWord waitResult = plat::kWaitObject0;
  std::vector<plat::DWord> waits;
  std::vector<plat::DWord> sleeps;
  std::function<void()> onSleep;
  std::vector<ShellExecuteCall> shellExecuteCalls;
  plat::HModule shellExecuteResult = reinterpret_cast<plat::HModule>(42);

  // ---- Message boxes ----
  std::vector<MessageBoxCall> messageBoxes;
  std::deque<int> answers;  // empty: IDOK
  std::function<void(const MessageBoxCall&)> onMessageBox;

  // ---- Used by the plat:: implementation ----
  struct Impl;
  friend struct Impl;

  // The model's own state, for the plat:: implementation only.
  struct OpenKey {
    View view = View::k32;
    std::string path;  // lower case
  };
  struct OpenHandle {
    bool isProcess = false;
    std::string path;  // lower case, files
  };
  std::map<plat::HKey, OpenKey> openKeys_;
  std::map<plat::Handle, OpenHandle> handles_;
  std::set<char*> localAllocations_;
  std::map<std::string, std::map<std::string, RegValue>> registry_[2];  // path -> name -> value
  std::uintptr_t nextToken_ = 0x1000;
  bool exhausted_ = false;
  void* NewToken();
  int RegIndex(View view) const { return singleRegistry ? 0 : static_cast<int>(view); }
};

}  // namespace fake
