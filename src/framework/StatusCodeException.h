// The framework's exception for a failed operation that reports an HRESULT,
// such as an encoder asked for more than it can address. Memory exhaustion
// is std::bad_alloc. Neither belongs to the program's own exception family.
#pragma once

#include <exception>

#include "platform/Platform.h"

namespace fw {

class StatusCodeException : public std::exception {
 public:
  explicit StatusCodeException(plat::HResult code) noexcept : code_(code) {}
  plat::HResult Code() const noexcept { return code_; }
  const char* what() const noexcept override { return "status code exception"; }

 private:
  plat::HResult code_;
};

}  // namespace fw
