#include "fake/Common.h"

namespace fake {

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string ToString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string ParentOf(const std::string& path) {
  const std::size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

std::string TrimSeparators(std::string path) {
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

}  // namespace fake
