// Small owning wrappers for what the program takes from Windows. No owner is
// copyable (the handle and library owners are movable), and each releases
// exactly once (a second Close() does nothing). A successful CloseHandle or
// RegCloseKey leaves the thread's last error as it was; freeing a library
// runs its detach code, which may not, so KvLibrary keeps the last error
// across the free for a caller that still reads the reason of the failure
// that made it give up.
#pragma once

#include <utility>

#include "platform/Platform.h"

// A kernel handle (file, process). Null and INVALID_HANDLE_VALUE own nothing.
class KvHandle {
 public:
  KvHandle() = default;
  explicit KvHandle(plat::Handle handle) : handle_(handle) {}
  KvHandle(KvHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  KvHandle& operator=(KvHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  KvHandle(const KvHandle&) = delete;
  KvHandle& operator=(const KvHandle&) = delete;
  ~KvHandle() { Close(); }

  bool IsValid() const { return handle_ != nullptr && handle_ != plat::InvalidHandleValue(); }
  plat::Handle Get() const { return handle_; }
  void Close() {
    if (IsValid()) plat::CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  plat::Handle handle_ = nullptr;
};

// An open registry key. Opening through the holder closes the key it held
// before, but only once the new open has succeeded.
class KvRegKey {
 public:
  KvRegKey() = default;
  KvRegKey(const KvRegKey&) = delete;
  KvRegKey& operator=(const KvRegKey&) = delete;
  ~KvRegKey() { Close(); }

  plat::Long Open(plat::HKey root, const char* subKey, plat::DWord sam) {
    plat::HKey opened = nullptr;
    const plat::Long status = plat::RegOpenKeyExA(root, subKey, 0, sam, &opened);
    if (status == static_cast<plat::Long>(plat::kErrorSuccess)) Reset(opened);
    return status;
  }

  plat::Long Create(plat::HKey root, const char* subKey, plat::DWord sam) {
    plat::HKey created = nullptr;
    const plat::Long status = plat::RegCreateKeyExA(
        root, subKey, 0, nullptr, plat::kRegOptionNonVolatile, sam, nullptr, &created, nullptr);
    if (status == static_cast<plat::Long>(plat::kErrorSuccess)) Reset(created);
    return status;
  }

  plat::HKey Get() const { return key_; }
  void Close() { Reset(nullptr); }

 private:
  void Reset(plat::HKey key) {
    if (key_ != nullptr) plat::RegCloseKey(key_);
    key_ = key;
  }

  plat::HKey key_ = nullptr;
};

// A loaded library, freed when the owner goes.
class KvLibrary {
 public:
  KvLibrary() = default;
  explicit KvLibrary(plat::HModule module) : module_(module) {}
  KvLibrary(KvLibrary&& other) noexcept : module_(std::exchange(other.module_, nullptr)) {}
  KvLibrary& operator=(KvLibrary&& other) noexcept {
    if (this != &other) {
      Close();
      module_ = std::exchange(other.module_, nullptr);
    }
    return *this;
  }
  KvLibrary(const KvLibrary&) = delete;
  KvLibrary& operator=(const KvLibrary&) = delete;
  ~KvLibrary() { Close(); }

  bool IsLoaded() const { return module_ != nullptr; }

  // The entry, cast to its real signature, or null.
  template <typename Fn>
  Fn Entry(const char* name) const {
    return module_ ? reinterpret_cast<Fn>(plat::GetProcAddress(module_, name)) : nullptr;
  }

  void Close() {
    if (module_ != nullptr) {
      const plat::DWord lastError = plat::GetLastError();
      plat::FreeLibrary(module_);
      plat::SetLastError(lastError);
    }
    module_ = nullptr;
  }

 private:
  plat::HModule module_ = nullptr;
};

// The process error mode, set for a scope and restored when it ends.
class KvErrorMode {
 public:
  explicit KvErrorMode(plat::UInt mode) : previous_(plat::SetErrorMode(mode)) {}
  KvErrorMode(const KvErrorMode&) = delete;
  KvErrorMode& operator=(const KvErrorMode&) = delete;
  ~KvErrorMode() { plat::SetErrorMode(previous_); }

 private:
  plat::UInt previous_;
};
