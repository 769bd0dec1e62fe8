// The cold half of std::string's replace, instantiated by the executable
// itself instead of taken from the C++ library.
//
// Under C++20 the program instantiates every member of std::string it uses
// in its own objects, where the linker drops what is not called. From
// GCC 13 on, libstdc++'s header makes one exception: it declares the
// out-of-line part of replace (_M_replace_cold) as instantiated in the
// library. The library's object that defines it holds the whole std::string,
// and the linker keeps every unwind table, so each of its functions stays:
// the one call brings about 30 KB into the image. Instantiated here from the
// same header, it is the library's own code, and that object stays out.
// GCC 12's std::string has no such member.
#include <string>

#if __GNUC__ >= 13
template void std::string::_M_replace_cold(char*, std::string::size_type, const char*,
                                           const std::string::size_type,
                                           const std::string::size_type);
#endif
