#include "fake/Resources.h"

#include <algorithm>

#include "fake/FakeWindows.h"

namespace fake {

Resource& Resources::SetResource(const std::string& type, std::uint16_t id, Bytes bytes) {
  Resource& r = resources_[{Lower(type), id}];
  r = Resource{};
  r.bytes = std::move(bytes);
  return r;
}

void Resources::RemoveResource(const std::string& type, std::uint16_t id) {
  resources_.erase({Lower(type), id});
}

plat::HResInfo Resources::FindResourceA(plat::HModule hModule, const char* lpName,
                                        const char* lpType) {
  windows_.calls.Record("FindResourceA");
  if (hModule != nullptr && hModule != windows_.libraries.ExeModule()) return nullptr;
  if (!plat::IsIntResource(lpName) || plat::IsIntResource(lpType)) return nullptr;
  const auto id = static_cast<std::uint16_t>(reinterpret_cast<std::uintptr_t>(lpName));
  const std::string type = Lower(lpType);
  auto it = resources_.find({type, id});
  if (it == resources_.end()) {
    const bool typeKnown = std::any_of(resources_.begin(), resources_.end(),
                                       [&](const auto& r) { return r.first.first == type; });
    // ERROR_RESOURCE_NAME_NOT_FOUND, ERROR_RESOURCE_TYPE_NOT_FOUND
    windows_.system.lastError = typeKnown ? 1814 : 1813;
    return nullptr;
  }
  return &it->second;
}

plat::HGlobal Resources::LoadResource(plat::HModule, plat::HResInfo hResInfo) {
  windows_.calls.Record("LoadResource");
  auto* r = static_cast<Resource*>(hResInfo);
  if (r == nullptr || r->failLoad) return nullptr;
  return r;
}

plat::DWord Resources::SizeofResource(plat::HModule, plat::HResInfo hResInfo) {
  windows_.calls.Record("SizeofResource");
  const auto* r = static_cast<const Resource*>(hResInfo);
  return r ? static_cast<plat::DWord>(r->bytes.size()) : 0;
}

const void* Resources::LockResource(plat::HGlobal hResData) {
  windows_.calls.Record("LockResource");
  const auto* r = static_cast<const Resource*>(hResData);
  if (r == nullptr || r->failLock) return nullptr;
  // A resource of no bytes still has an address in the image.
  static const std::uint8_t kEmpty = 0;
  return r->bytes.empty() ? &kEmpty : r->bytes.data();
}

}  // namespace fake

// ---- The seam: each call forwards to the current model ----

namespace plat {

using fake::FakeWindows;

HResInfo FindResourceA(HModule hModule, const char* lpName, const char* lpType) {
  return FakeWindows::Current().resources.FindResourceA(hModule, lpName, lpType);
}

HGlobal LoadResource(HModule hModule, HResInfo hResInfo) {
  return FakeWindows::Current().resources.LoadResource(hModule, hResInfo);
}

DWord SizeofResource(HModule hModule, HResInfo hResInfo) {
  return FakeWindows::Current().resources.SizeofResource(hModule, hResInfo);
}

const void* LockResource(HGlobal hResData) {
  return FakeWindows::Current().resources.LockResource(hResData);
}

}  // namespace plat
