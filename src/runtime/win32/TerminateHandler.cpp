// The C++ runtime's default terminate handler, replaced.
//
// libstdc++'s own handler prints the type of an uncaught exception to stderr,
// demangled, before it aborts. A GUI process has no stderr to print to, so
// the message is never seen, yet the demangler behind it is about a sixth of
// the executable. Defining the handler here keeps the library's copy (and
// the demangler) out of the link; what remains is the abort, as before.
#include <cstdlib>

namespace __gnu_cxx {

[[noreturn]] void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
