// The in-memory Windows' registry: HKEY_LOCAL_MACHINE with its 32- and
// 64-bit views (one registry on a 32-bit system), the keys the program holds
// open, and a fault hook that makes any call fail with the status a test
// chooses. Key and value names compare case-insensitively. A 32-bit process
// that names no view reads the 32-bit one, as under WOW64.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fake/Common.h"
#include "platform/Platform.h"

namespace fake {

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

class Registry {
 public:
  explicit Registry(FakeWindows& windows) : windows_(windows) {}
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // ---- Set up and read back by tests ----
  bool singleRegistry = false;  // 32-bit Windows: both views are one registry
  // Returns a nonzero status to make the call fail with it, before it acts.
  // The request is the call's record in the call log, unless the call names
  // a key that is not open: that is refused before it is a request.
  std::function<plat::Long(const RegRequest&)> fault;

  void SetValue(View view, const std::string& path, const std::string& name, RegValue value);
  void SetDword(View view, const std::string& path, const std::string& name, plat::DWord v);
  void SetString(View view, const std::string& path, const std::string& name,
                 const std::string& text);  // REG_SZ with its NUL
  std::optional<RegValue> GetValue(View view, const std::string& path,
                                   const std::string& name) const;
  bool KeyExists(View view, const std::string& path) const;
  void DeleteKey(View view, const std::string& path);
  // Keys opened or created and not closed.
  int OpenKeyCount() const { return static_cast<int>(openKeys_.size()); }

  // ---- The plat:: calls of this concern ----
  plat::Long RegOpenKeyExA(plat::HKey hKey, const char* lpSubKey, plat::DWord ulOptions,
                           plat::DWord samDesired, plat::HKey* phkResult);
  plat::Long RegQueryValueExA(plat::HKey hKey, const char* lpValueName, plat::DWord* lpReserved,
                              plat::DWord* lpType, std::uint8_t* lpData, plat::DWord* lpcbData);
  plat::Long RegCreateKeyExA(plat::HKey hKey, const char* lpSubKey, plat::DWord reserved,
                             char* lpClass, plat::DWord dwOptions, plat::DWord samDesired,
                             void* lpSecurityAttributes, plat::HKey* phkResult,
                             plat::DWord* lpdwDisposition);
  plat::Long RegSetValueExA(plat::HKey hKey, const char* lpValueName, plat::DWord reserved,
                            plat::DWord dwType, const std::uint8_t* lpData, plat::DWord cbData);
  plat::Long RegCloseKey(plat::HKey hKey);

 private:
  struct OpenKey {
    View view = View::k32;
    std::string path;  // lower case
  };
  using Keys = std::map<std::string, std::map<std::string, RegValue>>;  // path -> name -> value

  plat::Long Open(const char* op, plat::HKey root, const char* sub, plat::DWord sam,
                  plat::HKey* out, bool create, plat::DWord* disposition);
  // The fault hook's status for this request, which is logged first.
  plat::Long Screen(const RegRequest& request);
  // The values of the open key a value call names, and the value's name in
  // lower case, once the handle is known and the fault hook lets the call
  // through; otherwise the status the call fails with, and null.
  std::map<std::string, RegValue>* ValuesFor(const char* op, plat::HKey hKey,
                                             const char* lpValueName, std::string& name,
                                             plat::Long& status);
  Keys& KeysOf(View view) { return keys_[singleRegistry ? 0 : static_cast<int>(view)]; }
  const Keys& KeysOf(View view) const { return keys_[singleRegistry ? 0 : static_cast<int>(view)]; }

  FakeWindows& windows_;
  std::map<plat::HKey, OpenKey> openKeys_;
  Keys keys_[2];  // lower-case paths and names, by view
};

}  // namespace fake
