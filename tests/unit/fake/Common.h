// What the concerns of the in-memory Windows share: bytes, and the forms of
// names and paths the model keys its tables by.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fake {

class FakeWindows;

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(const std::string& text);
std::string ToString(const Bytes& bytes);
// ASCII lower case: paths, key and value names and resource types compare
// case-insensitively, and the model keys its tables by this form.
std::string Lower(std::string text);
// The folder part of a path, without its separator; empty for a bare name.
std::string ParentOf(const std::string& path);
// The path without the separators it ends in.
std::string TrimSeparators(std::string path);

}  // namespace fake
