// The narrow-text helpers: trimming and the reverse search, character by
// character in the ANSI code page, and printf-style formatting.
#include <gtest/gtest.h>

#include <string>

#include "fake/FakeWindows.h"
#include "framework/StatusCodeException.h"
#include "framework/Text.h"

namespace {

// 0x81 and 0x95 are lead bytes in the double-byte code page of the fake;
// the byte after one belongs to it, whatever it is.
TEST(Text, TrimsAndFindsCharacterByCharacter) {
  struct Case {
    std::string text;
    bool doubleByte;
    std::string trimmed;
    std::size_t lastBackslash;
  } const cases[] = {
      {"", false, "", std::string::npos},
      {" \t\r\n\v\f", false, "", std::string::npos},
      {"  a b  ", false, "a b", std::string::npos},
      {"a\\b\\", false, "a\\b\\", 3},
      {"x\x81 ", false, "x\x81", std::string::npos},
      {"x\x81 ", true, "x\x81 ", std::string::npos},
      {" \x81 y", true, "\x81 y", std::string::npos},
      {"a\\\x95\\", true, "a\\\x95\\", 1},
      {"a\\\x95\\", false, "a\\\x95\\", 3},
      // A lead byte with nothing after it is a character of its own.
      {"ab \x81", true, "ab \x81", std::string::npos},
      {"\x81", true, "\x81", std::string::npos},
      {" \\\x95", true, "\\\x95", 1},
      {"\x95\\\\", true, "\x95\\\\", 2},
  };
  for (const Case& c : cases) {
    fake::FakeWindows win;
    if (c.doubleByte) win.system.UseDoubleByteCodePage();
    std::string trimmed = c.text;
    fw::Trim(trimmed);
    EXPECT_EQ(trimmed, c.trimmed) << '"' << c.text << '"' << c.doubleByte;
    EXPECT_EQ(fw::ReverseFind(c.text, '\\'), c.lastBackslash) << '"' << c.text << '"';
  }
}

// A double-byte character is never found by a search for a single byte,
// not even for the value of its own lead byte; a lead byte with nothing
// after it is a character of its own and is.
TEST(Text, ADoubleByteCharacterIsNotFoundByItsLeadByte) {
  const struct Case {
    std::string text;
    std::size_t found;
  } cases[] = {
      {"\x81\x40", std::string::npos},
      {"x\x81\x81", std::string::npos},
      {"\x81\x40\x81", 2},
  };
  for (const Case& c : cases) {
    fake::FakeWindows win;
    win.system.UseDoubleByteCodePage();
    EXPECT_EQ(fw::ReverseFind(c.text, '\x81'), c.found) << c.text.size();
  }
}

TEST(Text, FormatsLikePrintfWhateverTheLength) {
  fake::FakeWindows win;
  EXPECT_EQ(fw::Format("(%#x) %s", 3010u, "ctx"), "(0xbc2) ctx");
  EXPECT_EQ(fw::Format("%#x", 0u), "0");
  EXPECT_EQ(fw::Format("Resource %d is empty.", 134), "Resource 134 is empty.");
  EXPECT_EQ(fw::Format("%s", ""), "");
  const std::string long_(5000, 'x');
  EXPECT_EQ(fw::Format("<%s>", long_.c_str()), "<" + long_ + ">");
}

// A format the C library cannot carry out is the framework's failure, never
// a string of a length the library did not report. A lone surrogate half has
// no multibyte form in any locale, so %ls fails whatever the locale is.
TEST(Text, FormatTheLibraryRejectsThrowsStatusCode) {
  try {
    static_cast<void>(fw::Format("<%ls>", L"\xD800"));
    FAIL() << "no exception";
  } catch (const fw::StatusCodeException& e) {
    EXPECT_EQ(e.Code(), plat::kEFail);
  }
}

}  // namespace
