// The common polymorphic base of the library's reference-counted objects.
//
// The threading model is a tag that names how an object may be shared:
// SingleThreadedModel for objects used by one thread, FreeThreadedModel for
// objects that could be handed between threads. The count starts at 0 and
// nothing in this program changes it: every such object lives in local scope
// and is destroyed by its scope, never by a final release.
#pragma once

#include <cstdint>

struct SingleThreadedModel {};
struct FreeThreadedModel {};

template <typename Model>
class CRefCountedT {
 public:
  CRefCountedT() = default;
  // A copy is a new object: it starts with no references of its own, and
  // assignment leaves the references to the target as they are.
  CRefCountedT(const CRefCountedT&) noexcept {}
  CRefCountedT& operator=(const CRefCountedT&) noexcept {  // NOLINT(cert-oop54-cpp): copies nothing
    return *this;
  }
  virtual ~CRefCountedT() = default;

 private:
  [[maybe_unused]] std::int32_t refCount_ = 0;
};
