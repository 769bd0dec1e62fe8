// The contract suite's world on Windows (and Wine): the real API, a scratch
// folder in the temporary folder and a scratch key below HKLM in both views,
// both made for each case and removed after it. The executable is also the
// child program of the process cases: started with "--contract-child N", it
// ends at once with exit code N.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#define _WIN32_WINNT 0x0600
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ContractWorld.h"

// The values the tests use beside the seam's are Windows' own.
static_assert(plat::kErrorFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(plat::kErrorPathNotFound == ERROR_PATH_NOT_FOUND);
static_assert(plat::kErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(plat::kErrorInvalidHandle == ERROR_INVALID_HANDLE);
static_assert(plat::kErrorInvalidParameter == ERROR_INVALID_PARAMETER);
static_assert(plat::kErrorModNotFound == ERROR_MOD_NOT_FOUND);
static_assert(plat::kErrorProcNotFound == ERROR_PROC_NOT_FOUND);
static_assert(plat::kErrorBadExeFormat == ERROR_BAD_EXE_FORMAT);
static_assert(plat::kErrorMoreData == ERROR_MORE_DATA);
static_assert(plat::kErrorNoMoreItems == ERROR_NO_MORE_ITEMS);
static_assert(plat::kRegBinary == REG_BINARY);
static_assert(plat::kRegDword == REG_DWORD);
static_assert(plat::kGenericRead == GENERIC_READ);
static_assert(plat::kFileShareWrite == FILE_SHARE_WRITE);
static_assert(plat::kOpenExisting == OPEN_EXISTING);
static_assert(plat::kIdOk == IDOK);
static_assert(plat::kIdCancel == IDCANCEL);
static_assert(plat::kIdNo == IDNO);
static_assert(plat::kWaitFailed == WAIT_FAILED);

namespace contract {
namespace {

REGSAM FlagOf(View view) { return view == View::k32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }

std::optional<std::string> Environment(const char* name) {
  char value[2048];
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof(value));
  if (n == 0 || n >= sizeof(value)) return std::nullopt;
  return std::string(value, n);
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path);
      else
        DeleteFileA(path.c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

class Win32World : public World {
 public:
  Win32World() : tmp_(Environment("TMP")), temp_(Environment("TEMP")) {
    char folder[MAX_PATH + 1] = {};
    GetTempPathA(sizeof(folder), folder);
    tempRoot_ = folder;
  }

  void SetUp() override {
    ++serial_;
    const std::string tag = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(serial_);
    scratch_ = tempRoot_ + "lumenta-contract-" + tag;
    CreateDirectoryA(scratch_.c_str(), nullptr);
    base_ = std::string(kBaseParent) + "\\" + tag;
    for (View view : {View::k32, View::k64}) {
      HKEY key = nullptr;
      if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, base_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_WRITE | FlagOf(view), nullptr, &key, nullptr) == ERROR_SUCCESS)
        RegCloseKey(key);
    }
  }

  void TearDown() override {
    for (HANDLE h : held_) CloseHandle(h);
    held_.clear();
    RemoveTree(scratch_);
    for (View view : {View::k32, View::k64}) {
      HKEY key = nullptr;
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, base_.c_str(), 0, KEY_ALL_ACCESS | FlagOf(view),
                        &key) == ERROR_SUCCESS) {
        RegDeleteTreeA(key, nullptr);
        RegCloseKey(key);
      }
      RegDeleteKeyExA(HKEY_LOCAL_MACHINE, base_.c_str(), FlagOf(view), 0);
      // Gone only when no other run of the suite uses it.
      RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kBaseParent, FlagOf(view), 0);
    }
    SetEnvironmentVariableA("TMP", tmp_ ? tmp_->c_str() : nullptr);
    SetEnvironmentVariableA("TEMP", temp_ ? temp_->c_str() : nullptr);
  }

  bool UnderWine() const override { return WineMajor() != 0; }
  int WineMajor() const override {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    using Version = const char*(__cdecl*)();
    const auto version = ntdll == nullptr ? nullptr
                                          : reinterpret_cast<Version>(reinterpret_cast<void*>(
                                                GetProcAddress(ntdll, "wine_get_version")));
    return version == nullptr ? 0 : std::atoi(version());
  }

  std::string Scratch() const override { return scratch_; }
  void MakeFolder(const std::string& path) override {
    ASSERT_NE(CreateDirectoryA(path.c_str(), nullptr), 0) << path << ": " << GetLastError();
  }
  void MakeFile(const std::string& path, const std::string& bytes) override {
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path << ": " << GetLastError();
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    ASSERT_EQ(written, bytes.size()) << path;
  }
  std::optional<std::string> ReadFile(const std::string& path) override {
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char chunk[65536];
    DWORD read = 0;
    while (::ReadFile(h, chunk, sizeof(chunk), &read, nullptr) && read > 0)
      bytes.append(chunk, read);
    CloseHandle(h);
    return bytes;
  }
  void HoldWithoutSharing(const std::string& path) override {
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path << ": " << GetLastError();
    held_.push_back(h);
  }
  void SetTempFolder(const std::string& folder) override {
    SetEnvironmentVariableA("TMP", folder.c_str());
    SetEnvironmentVariableA("TEMP", folder.c_str());
  }

  std::string RegistryBase() const override { return base_; }
  bool SeparateViews() const override {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
  }
  void PutValue(View view, const std::string& subKey, const std::string& name, plat::DWord type,
                const std::string& bytes) override {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, (base_ + "\\" + subKey).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_WRITE | FlagOf(view), nullptr, &key, nullptr),
        ERROR_SUCCESS);
    const LONG status =
        RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    ASSERT_EQ(status, ERROR_SUCCESS);
  }
  std::optional<StoredValue> ValueIn(View view, const std::string& subKey,
                                     const std::string& name) override {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (base_ + "\\" + subKey).c_str(), 0,
                      KEY_READ | FlagOf(view), &key) != ERROR_SUCCESS)
      return std::nullopt;
    std::vector<BYTE> data(4096);
    DWORD size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LONG status = RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return StoredValue{type, std::string(data.begin(), data.begin() + size)};
  }

  std::string ExePath() const override {
    char path[1024] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof(path));
    return std::string(path, n);
  }
  unsigned AnsiCodePage() const override { return GetACP(); }
  Program ChildEndingWith(plat::DWord exitCode) override {
    return {ExePath(), "--contract-child " + std::to_string(exitCode)};
  }

 private:
  static constexpr const char* kBaseParent = "Software\\Lumenta Contract";
  std::optional<std::string> tmp_, temp_;
  std::string tempRoot_;
  std::string scratch_;
  std::string base_;
  unsigned serial_ = 0;
  std::vector<HANDLE> held_;
};

}  // namespace

World& TheWorld() {
  static Win32World world;
  return world;
}

}  // namespace contract

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--contract-child") == 0)
    return static_cast<int>(std::strtoul(argv[2], nullptr, 10));
  // A fault in a case fails the run instead of waiting on a dialog.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
