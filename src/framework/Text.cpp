#include "framework/Text.h"

#include <cstdarg>
#include <cstdio>

#include "framework/StatusCodeException.h"
#include "platform/Platform.h"

namespace fw {

#if defined(_WIN32)
// The system's C library formats the same conversions this program uses
// (%s, %d, %#x); the C++ library's own printf would add its floating-point
// formatter to the image for nothing.
extern "C" int __cdecl _vscprintf(const char* format, std::va_list args);
extern "C" int __cdecl _vsnprintf(char* buffer, std::size_t count, const char* format,
                                  std::va_list args);
#endif

namespace {

std::string FormatV(const char* format, std::va_list args) {
  std::va_list measure;
  va_copy(measure, args);
#if defined(_WIN32)
  const int needed = _vscprintf(format, measure);
#else
  const int needed = std::vsnprintf(nullptr, 0, format, measure);
#endif
  va_end(measure);
  if (needed < 0) throw StatusCodeException(plat::kEFail);
  std::string out(static_cast<std::size_t>(needed), '\0');
  // The same format and arguments were measured above: this writes exactly
  // `needed` characters and the NUL.
#if defined(_WIN32)
  static_cast<void>(_vsnprintf(out.data(), out.size() + 1, format, args));
#else
  static_cast<void>(std::vsnprintf(out.data(), out.size() + 1, format, args));
#endif
  return out;
}

}  // namespace

std::string Format(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  try {
    std::string out = FormatV(format, args);
    va_end(args);
    return out;
  } catch (...) {
    va_end(args);
    throw;
  }
}

bool IsSpace(char ch) {
  return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

namespace {

// Calls visit(index, length) for every character of text, in order. A lead
// byte takes the next byte with it; a lead byte at the very end stands alone.
template <typename Visit>
void ForEachChar(const std::string& text, Visit visit) {
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t len = 1;
    if (plat::IsDBCSLeadByte(static_cast<std::uint8_t>(text[i])) && i + 1 < text.size()) len = 2;
    visit(i, len);
    i += len;
  }
}

void TrimRight(std::string& text) {
  // The end of the last character that is not white space.
  std::size_t keep = 0;
  ForEachChar(text, [&](std::size_t i, std::size_t len) {
    if (len != 1 || !IsSpace(text[i])) keep = i + len;
  });
  text.erase(keep);
}

void TrimLeft(std::string& text) {
  std::size_t first = text.size();
  bool found = false;
  ForEachChar(text, [&](std::size_t i, std::size_t len) {
    if (!found && (len != 1 || !IsSpace(text[i]))) {
      first = i;
      found = true;
    }
  });
  text.erase(0, first);
}

}  // namespace

void Trim(std::string& text) {
  TrimRight(text);
  TrimLeft(text);
}

std::size_t ReverseFind(const std::string& text, char ch) {
  std::size_t found = std::string::npos;
  ForEachChar(text, [&](std::size_t i, std::size_t len) {
    if (len == 1 && text[i] == ch) found = i;
  });
  return found;
}

}  // namespace fw
