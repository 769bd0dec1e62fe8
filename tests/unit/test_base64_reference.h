// An independent check of Base64 text, shared by the encoder's unit tests and
// its fuzz target. It decodes strictly (alphabet, padding, zero trailing
// bits) and checks the line layout from its own statement of the rule, not
// from the encoder's pass structure:
//   - with line breaks, every break is CR LF, every line but the last has
//     exactly 76 characters, and the last line has 1 to 76 characters, except
//     that a nonzero multiple of 57 input bytes ends with CR LF (an empty last
//     line); no input bytes give empty text;
//   - without line breaks there is no CR or LF at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace base64_reference {

constexpr std::uint32_t kNoPad = 1;
constexpr std::uint32_t kNoCrLf = 2;

// The 6-bit value of a Base64 character, or -1.
inline int ValueOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Why text is not the encoding of the n bytes at data with these flags, or
// empty text when it is.
inline std::string Check(const std::uint8_t* data, std::size_t n, std::uint32_t flags,
                         const std::string& text) {
  // ---- Lines ----
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      if (i + 1 >= text.size() || text[i + 1] != '\n') return "CR without LF";
      lines.emplace_back();
      ++i;
    } else if (c == '\n') {
      return "LF without CR";
    } else {
      lines.back() += c;
    }
  }
  if (n == 0 && !text.empty()) return "text for no bytes";
  if (flags & kNoCrLf) {
    if (lines.size() != 1) return "line break despite the no-CR-LF flag";
  } else if (n != 0) {
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
      if (lines[i].size() != 76) return "line " + std::to_string(i) + " is not 76 characters";
    const bool wholeLines = n % 57 == 0;
    if (wholeLines && !lines.back().empty()) return "whole lines do not end with CR LF";
    if (!wholeLines && (lines.back().empty() || lines.back().size() > 76))
      return "last line empty or too long";
  }

  // ---- Characters ----
  std::string body;
  for (const std::string& line : lines) body += line;
  const std::size_t tail = n % 3;
  const std::size_t padding = (flags & kNoPad) || tail == 0 ? 0 : 3 - tail;
  const std::size_t expected =
      (flags & kNoPad) ? 4 * (n / 3) + (tail ? tail + 1 : 0) : 4 * ((n + 2) / 3);
  if (body.size() != expected) return "length " + std::to_string(body.size());
  for (std::size_t i = 0; i < body.size(); ++i) {
    const bool padPosition = i >= body.size() - padding;
    if (padPosition ? body[i] != '=' : ValueOf(body[i]) < 0)
      return "bad character at " + std::to_string(i);
  }

  // ---- Bytes ----
  std::vector<std::uint8_t> decoded;
  std::uint32_t acc = 0;
  int bits = 0;
  for (std::size_t i = 0; i < body.size() - padding; ++i) {
    acc = (acc << 6) | static_cast<std::uint32_t>(ValueOf(body[i]));
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      decoded.push_back(static_cast<std::uint8_t>(acc >> bits));
      acc &= (1u << bits) - 1;
    }
  }
  if (acc != 0) return "nonzero trailing bits";
  if (decoded.size() != n) return "decodes to " + std::to_string(decoded.size()) + " bytes";
  for (std::size_t i = 0; i < n; ++i)
    if (decoded[i] != data[i]) return "byte " + std::to_string(i) + " differs";
  return std::string();
}

}  // namespace base64_reference
