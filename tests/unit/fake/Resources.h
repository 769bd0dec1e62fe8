// The in-memory Windows' resources of the executable: typed by name and
// numbered by id, as the program's resource script gives them (type names
// compare case-insensitively). Loading or locking one can be made to fail.
// Only the executable has resources; another module finds none.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "fake/Common.h"
#include "platform/Platform.h"

namespace fake {

struct Resource {
  Bytes bytes;
  bool failLoad = false;  // LoadResource gives null
  bool failLock = false;  // LockResource gives null
};

class Resources {
 public:
  explicit Resources(FakeWindows& windows) : windows_(windows) {}
  Resources(const Resources&) = delete;
  Resources& operator=(const Resources&) = delete;

  // ---- Set up by tests ----
  // The resource of that type and id, replacing one there was, with no faults.
  Resource& SetResource(const std::string& type, std::uint16_t id, Bytes bytes);
  void RemoveResource(const std::string& type, std::uint16_t id);

  // ---- The plat:: calls of this concern ----
  plat::HResInfo FindResourceA(plat::HModule hModule, const char* lpName, const char* lpType);
  plat::HGlobal LoadResource(plat::HModule hModule, plat::HResInfo hResInfo);
  plat::DWord SizeofResource(plat::HModule hModule, plat::HResInfo hResInfo);
  const void* LockResource(plat::HGlobal hResData);

 private:
  FakeWindows& windows_;
  // (lower-case type, id) -> resource; a handle of either kind is the resource's address.
  std::map<std::pair<std::string, std::uint16_t>, Resource> resources_;
};

}  // namespace fake
