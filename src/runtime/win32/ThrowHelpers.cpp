// The C++ library's throw helpers for its containers, replaced.
//
// libstdc++ reports a bad length or position by building a std::length_error
// or std::out_of_range from a message; those classes carry a string of their
// own kind, which brings a second string implementation, its locale support
// and their unwind tables into the image: about 90 KB of a 240 KB stub. Here
// a bad argument to a container is the framework's status-code exception
// (E_INVALIDARG), as every other failure of the string type that is not
// memory exhaustion, and memory exhaustion stays std::bad_alloc.
#include <new>

#include "framework/StatusCodeException.h"

namespace {

constexpr plat::HResult kEInvalidArg = static_cast<plat::HResult>(0x80070057u);

}  // namespace

// These are the library's own hooks, defined here on purpose so that the
// linker takes them instead of the library's.
// NOLINTBEGIN(cert-dcl58-cpp,bugprone-reserved-identifier)
namespace std {

[[noreturn]] void __throw_length_error(const char*) { throw fw::StatusCodeException(kEInvalidArg); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) {
  throw fw::StatusCodeException(kEInvalidArg);
}
[[noreturn]] void __throw_logic_error(const char*) { throw fw::StatusCodeException(kEInvalidArg); }
[[noreturn]] void __throw_bad_alloc() { throw std::bad_alloc(); }

}  // namespace std
// NOLINTEND(cert-dcl58-cpp,bugprone-reserved-identifier)
