#include "fake/Registry.h"

#include <algorithm>

#include "fake/FakeWindows.h"

namespace fake {
namespace {

View ViewOf(plat::DWord sam) {
  if (sam & plat::kKeyWow64_64Key) return View::k64;
  return View::k32;  // a 32-bit process without a flag reads the 32-bit view
}

std::string Join(const std::string& base, const char* sub) {
  std::string s = sub ? sub : "";
  while (!s.empty() && s.front() == '\\') s.erase(0, 1);
  if (base.empty()) return s;
  return s.empty() ? base : base + "\\" + s;
}

}  // namespace

// ---- Set-up and read-back ----

void Registry::SetValue(View view, const std::string& path, const std::string& name,
                        RegValue value) {
  KeysOf(view)[Lower(path)][Lower(name)] = std::move(value);
}

void Registry::SetDword(View view, const std::string& path, const std::string& name,
                        plat::DWord v) {
  RegValue value{plat::kRegDword, Bytes(4)};
  for (int i = 0; i < 4; ++i) value.data[i] = static_cast<std::uint8_t>(v >> (8 * i));
  SetValue(view, path, name, value);
}

void Registry::SetString(View view, const std::string& path, const std::string& name,
                         const std::string& text) {
  Bytes data = ToBytes(text);
  data.push_back(0);
  SetValue(view, path, name, RegValue{plat::kRegSz, data});
}

std::optional<RegValue> Registry::GetValue(View view, const std::string& path,
                                           const std::string& name) const {
  const Keys& keys = KeysOf(view);
  auto key = keys.find(Lower(path));
  if (key == keys.end()) return std::nullopt;
  auto value = key->second.find(Lower(name));
  if (value == key->second.end()) return std::nullopt;
  return value->second;
}

bool Registry::KeyExists(View view, const std::string& path) const {
  return KeysOf(view).contains(Lower(path));
}

void Registry::DeleteKey(View view, const std::string& path) { KeysOf(view).erase(Lower(path)); }

// ---- The calls ----

plat::Long Registry::Screen(const RegRequest& request) {
  windows_.calls.Record(request.op.c_str(), request);
  return fault ? fault(request) : 0;
}

plat::Long Registry::Open(const char* op, plat::HKey root, const char* sub, plat::DWord sam,
                          plat::HKey* out, bool create, plat::DWord* disposition) {
  std::string base;
  View view = ViewOf(sam);
  if (root != plat::HKeyLocalMachine()) {
    auto it = openKeys_.find(root);
    if (it == openKeys_.end()) {
      windows_.calls.Record(op);
      return static_cast<plat::Long>(plat::kErrorInvalidHandle);
    }
    base = it->second.path;
    view = it->second.view;
  }
  const std::string path = Join(base, sub);
  if (plat::Long status = Screen(RegRequest{op, view, path, "", sam})) return status;
  Keys& keys = KeysOf(view);
  const std::string lower = Lower(path);
  const bool existed = keys.contains(lower);
  if (!existed) {
    if (!create) return static_cast<plat::Long>(plat::kErrorFileNotFound);
    // Every key on the way is created too.
    std::string p = lower;
    while (!p.empty()) {
      keys[p];
      const std::size_t sep = p.find_last_of('\\');
      p = sep == std::string::npos ? std::string() : p.substr(0, sep);
    }
  }
  plat::HKey h = windows_.NewToken();
  openKeys_[h] = OpenKey{view, lower};
  *out = h;
  // REG_CREATED_NEW_KEY, REG_OPENED_EXISTING_KEY
  if (disposition) *disposition = existed ? 2 : 1;
  return 0;
}

plat::Long Registry::RegOpenKeyExA(plat::HKey hKey, const char* lpSubKey, plat::DWord ulOptions,
                                   plat::DWord samDesired, plat::HKey* phkResult) {
  (void)ulOptions;
  return Open("RegOpenKeyExA", hKey, lpSubKey, samDesired, phkResult, false, nullptr);
}

plat::Long Registry::RegCreateKeyExA(plat::HKey hKey, const char* lpSubKey, plat::DWord reserved,
                                     char* lpClass, plat::DWord dwOptions, plat::DWord samDesired,
                                     void* lpSecurityAttributes, plat::HKey* phkResult,
                                     plat::DWord* lpdwDisposition) {
  (void)reserved;
  (void)lpClass;
  (void)dwOptions;
  (void)lpSecurityAttributes;
  return Open("RegCreateKeyExA", hKey, lpSubKey, samDesired, phkResult, true, lpdwDisposition);
}

plat::Long Registry::RegQueryValueExA(plat::HKey hKey, const char* lpValueName,
                                      plat::DWord* lpReserved, plat::DWord* lpType,
                                      std::uint8_t* lpData, plat::DWord* lpcbData) {
  (void)lpReserved;
  std::string name;
  plat::Long status = 0;
  auto* values = ValuesFor("RegQueryValueExA", hKey, lpValueName, name, status);
  if (values == nullptr) return status;
  auto v = values->find(name);
  if (v == values->end()) return static_cast<plat::Long>(plat::kErrorFileNotFound);
  if (lpType) *lpType = v->second.type;
  const auto n = static_cast<plat::DWord>(v->second.data.size());
  if (lpData == nullptr) {
    if (lpcbData) *lpcbData = n;
    return 0;
  }
  if (lpcbData == nullptr) return static_cast<plat::Long>(plat::kErrorInvalidParameter);
  if (*lpcbData < n) {
    *lpcbData = n;
    return static_cast<plat::Long>(plat::kErrorMoreData);
  }
  std::copy(v->second.data.begin(), v->second.data.end(), lpData);
  *lpcbData = n;
  return 0;
}

plat::Long Registry::RegSetValueExA(plat::HKey hKey, const char* lpValueName, plat::DWord reserved,
                                    plat::DWord dwType, const std::uint8_t* lpData,
                                    plat::DWord cbData) {
  (void)reserved;
  std::string name;
  plat::Long status = 0;
  auto* values = ValuesFor("RegSetValueExA", hKey, lpValueName, name, status);
  if (values == nullptr) return status;
  (*values)[name] = RegValue{dwType, Bytes(lpData, lpData + cbData)};
  return 0;
}

std::map<std::string, RegValue>* Registry::ValuesFor(const char* op, plat::HKey hKey,
                                                     const char* lpValueName, std::string& name,
                                                     plat::Long& status) {
  auto it = openKeys_.find(hKey);
  if (it == openKeys_.end()) {
    windows_.calls.Record(op);
    status = static_cast<plat::Long>(plat::kErrorInvalidHandle);
    return nullptr;
  }
  const OpenKey& key = it->second;
  const char* given = lpValueName ? lpValueName : "";
  status = Screen(RegRequest{op, key.view, key.path, given, 0});
  if (status != 0) return nullptr;
  name = Lower(given);
  return &KeysOf(key.view)[key.path];
}

plat::Long Registry::RegCloseKey(plat::HKey hKey) {
  windows_.calls.Record("RegCloseKey");
  return openKeys_.erase(hKey) ? 0 : static_cast<plat::Long>(plat::kErrorInvalidHandle);
}

}  // namespace fake

// ---- The seam: each call forwards to the current model ----

namespace plat {

using fake::FakeWindows;

Long RegOpenKeyExA(HKey hKey, const char* lpSubKey, DWord ulOptions, DWord samDesired,
                   HKey* phkResult) {
  return FakeWindows::Current().registry.RegOpenKeyExA(hKey, lpSubKey, ulOptions, samDesired,
                                                       phkResult);
}

Long RegQueryValueExA(HKey hKey, const char* lpValueName, DWord* lpReserved, DWord* lpType,
                      std::uint8_t* lpData, DWord* lpcbData) {
  return FakeWindows::Current().registry.RegQueryValueExA(hKey, lpValueName, lpReserved, lpType,
                                                          lpData, lpcbData);
}

Long RegCreateKeyExA(HKey hKey, const char* lpSubKey, DWord reserved, char* lpClass,
                     DWord dwOptions, DWord samDesired, void* lpSecurityAttributes, HKey* phkResult,
                     DWord* lpdwDisposition) {
  return FakeWindows::Current().registry.RegCreateKeyExA(
      hKey, lpSubKey, reserved, lpClass, dwOptions, samDesired, lpSecurityAttributes, phkResult,
      lpdwDisposition);
}

Long RegSetValueExA(HKey hKey, const char* lpValueName, DWord reserved, DWord dwType,
                    const std::uint8_t* lpData, DWord cbData) {
  return FakeWindows::Current().registry.RegSetValueExA(hKey, lpValueName, reserved, dwType, lpData,
                                                        cbData);
}

Long RegCloseKey(HKey hKey) { return FakeWindows::Current().registry.RegCloseKey(hKey); }

}  // namespace plat
