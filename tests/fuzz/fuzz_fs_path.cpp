// The path operations on arbitrary bytes, in a single-byte and in a
// double-byte ANSI code page. Each result is checked against properties that
// follow from the rules alone, and the last component against a separate
// character walk that knows the double-byte lead bytes itself:
//
//   Combine           starts with the folder unchanged, ends with the name
//                     unchanged, and adds at most one byte between them: a
//                     backslash, exactly when the folder is not empty and
//                     its last byte is neither separator;
//   AddTrailingSeparator
//                     is the same rule in place, and a second call adds nothing;
//   GetFileName       is a suffix of the text that holds no backslash
//                     character (a 0x5C byte only as a double-byte trail), and
//                     a slash only when the text holds no backslash at all;
//   GetTempFolder     is the system's text with the rule applied, or empty.
//
// Input: one byte of switches (bit 0: double-byte code page; bit 1: a null
// name), then the folder text, a NUL, the name text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/KvFsPath.h"
#include "fake/FakeWindows.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool IsSeparatorByte(char ch) { return ch == '\\' || ch == '/'; }

// The lead bytes of the double-byte code page that the in-memory Windows
// models (0x81-0x9F, 0xE0-0xFC), stated here again on purpose.
bool IsLeadByte(bool doubleByte, char ch) {
  const auto b = static_cast<std::uint8_t>(ch);
  return doubleByte && ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC));
}

// Index of the last single-byte character equal to ch, or npos. A lead byte
// takes the next byte with it; a lead byte at the very end stands alone.
std::size_t LastCharacter(bool doubleByte, const std::string& text, char ch) {
  std::size_t found = std::string::npos;
  for (std::size_t i = 0; i < text.size();) {
    if (IsLeadByte(doubleByte, text[i]) && i + 1 < text.size()) {
      i += 2;
      continue;
    }
    if (text[i] == ch) found = i;
    ++i;
  }
  return found;
}

// Whether the byte at index is a character of its own, not part of a
// double-byte character.
bool IsSingleByteCharacterAt(bool doubleByte, const std::string& text, std::size_t index) {
  std::size_t i = 0;
  while (i < index) i += (IsLeadByte(doubleByte, text[i]) && i + 1 < text.size()) ? 2 : 1;
  return i == index && !(IsLeadByte(doubleByte, text[i]) && i + 1 < text.size());
}

std::string ReferenceFileName(bool doubleByte, const std::string& text) {
  std::size_t sep = LastCharacter(doubleByte, text, '\\');
  if (sep == std::string::npos) sep = LastCharacter(doubleByte, text, '/');
  return sep == std::string::npos ? text : text.substr(sep + 1);
}

void CheckFileName(bool doubleByte, const std::string& text) {
  const KvFsPath path(text.c_str());
  const std::string name = path.GetFileName();
  Check(path == text);
  Check(EndsWith(text, name));
  Check(name == ReferenceFileName(doubleByte, text));
  // The suffix starts on a character boundary of the text, so walking it
  // alone sees the same characters.
  Check(LastCharacter(doubleByte, name, '\\') == std::string::npos);
  if (LastCharacter(doubleByte, text, '\\') == std::string::npos)
    Check(LastCharacter(doubleByte, name, '/') == std::string::npos);
  if (!doubleByte) Check(name.find('\\') == std::string::npos);
}

// The separator rule: the text with at most one backslash appended.
void CheckSeparatorRule(const std::string& before, const std::string& after) {
  const bool adds = !before.empty() && !IsSeparatorByte(before.back());
  Check(after == (adds ? before + '\\' : before));
}

void CheckCombine(bool doubleByte, const std::string& folderText, const char* name) {
  const KvFsPath folder(folderText.c_str());
  const std::string joined = folder.Combine(name);
  Check(folder == folderText);

  const std::string nameText = name ? name : "";
  Check(StartsWith(joined, folderText));
  Check(EndsWith(joined, nameText));
  Check(joined.size() >= folderText.size() + nameText.size());
  const std::size_t added = joined.size() - folderText.size() - nameText.size();
  Check(added <= 1);
  CheckSeparatorRule(folderText, joined.substr(0, folderText.size() + added));
  CheckFileName(doubleByte, joined);

  // A name without separator bytes is the last component of the joined path
  // when a backslash character ends the folder part. In a double-byte code
  // page that backslash may be the trail byte of a lead byte at the folder's
  // end, and then it separates nothing.
  if (nameText.find_first_of("\\/") != std::string::npos) return;
  if (folderText.empty()) {
    Check(folder.Combine(name).GetFileName() == nameText);
    return;
  }
  const std::size_t sep = folderText.size() + added - 1;
  if (joined[sep] == '\\' && IsSingleByteCharacterAt(doubleByte, joined, sep))
    Check(KvFsPath(joined.c_str()).GetFileName() == nameText);
}

void CheckAddTrailingSeparator(const std::string& text) {
  KvFsPath path(text.c_str());
  path.AddTrailingSeparator();
  CheckSeparatorRule(text, path);
  const std::string once = path;
  path.AddTrailingSeparator();
  Check(path == once);
}

void CheckTempFolder(fake::FakeWindows& win, const std::string& text) {
  win.files.tempPath = text;
  const std::string folder = KvFsPath::GetTempFolder();
  // The system ends the folder in a backslash itself; 1023 bytes of buffer:
  // the text and its NUL must fit, or nothing is written.
  const std::string system = text.empty() || !IsSeparatorByte(text.back()) ? text + '\\' : text;
  if (system.size() + 1 > 1023) {
    Check(folder.empty());
  } else {
    Check(folder == system);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool doubleByte = (data[0] & 1) != 0;
  const bool nullName = (data[0] & 2) != 0;
  const char* rest = reinterpret_cast<const char*>(data + 1);
  const std::size_t restSize = size - 1;

  const char* nul = static_cast<const char*>(std::memchr(rest, 0, restSize));
  const std::size_t folderSize = nul ? static_cast<std::size_t>(nul - rest) : restSize;
  const std::string folder(rest, folderSize);
  // The name ends at the next NUL, as the const char* argument would.
  std::string name;
  if (nul) name = std::string(nul + 1, restSize - folderSize - 1).c_str();

  fake::FakeWindows win;
  if (doubleByte) win.system.UseDoubleByteCodePage();

  CheckFileName(doubleByte, folder);
  CheckFileName(doubleByte, name);
  CheckAddTrailingSeparator(folder);
  CheckCombine(doubleByte, folder, nullName ? nullptr : name.c_str());
  CheckTempFolder(win, folder);
  return 0;
}
