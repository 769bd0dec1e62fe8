// Narrow-text helpers of the application framework. Narrow text is
// std::string holding bytes in the process's ANSI code page; the searches
// here walk it character by character, so that the trail byte of a
// double-byte character is never taken for an ASCII character.
#pragma once

#include <cstddef>
#include <string>

#if defined(__MINGW32__)
#define FW_PRINTF_LIKE(fmt, args) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, args)))
#else
#define FW_PRINTF_LIKE(fmt, args) __attribute__((format(printf, fmt, args)))
#endif

namespace fw {

// printf-style formatting into a new string. Throws std::bad_alloc when
// memory runs out and StatusCodeException(E_FAIL) for a format the C
// library rejects.
std::string Format(const char* format, ...) FW_PRINTF_LIKE(1, 2);

// White space: space, tab, line feed, vertical tab, form feed, carriage return.
bool IsSpace(char ch);

// Removes trailing, then leading white space, in place.
void Trim(std::string& text);

// Index of the last character equal to ch, or npos. Multibyte-aware: a lead
// byte and its trail byte form one character that never matches ch.
std::size_t ReverseFind(const std::string& text, char ch);

}  // namespace fw
