// The exception family: source position, kinds, texts, copies and the error
// report as the user sees it.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "common/KvException.h"
#include "fake/FakeWindows.h"
#include "golden_identities.h"

namespace {

using Error::KvException;
using Error::KvExceptionCommon;
using Error::KvExceptionText;

constexpr plat::UInt kErrorBoxStyle = golden::kErrorBoxStyle;

// ---- Source position -------------------------------------------------------------

TEST(ExceptionPosition, RecordsOnlyTheLastComponentOfTheSourceName) {
  fake::FakeWindows win;
  const KvExceptionText withFolders("m", "D:\\src\\ResourcesExtractor", "F", 9);
  const KvExceptionText bare("m", "ResourcesExtractor", "F", 9);
  const KvExceptionText slashes("m", "src/x/DotNetInstaller", "F", 9);
  const KvExceptionCommon common(5, "c", "D:\\src\\DotNetInstaller", "F", 39);
  EXPECT_EQ(withFolders.GetFileName(), "ResourcesExtractor");
  EXPECT_EQ(bare.GetFileName(), "ResourcesExtractor");
  EXPECT_EQ(slashes.GetFileName(), "DotNetInstaller");
  EXPECT_EQ(common.GetFileName(), "DotNetInstaller");
}

TEST(ExceptionPosition, KeepsFunctionNameLineAndOwnFields) {
  fake::FakeWindows win;
  const KvExceptionCommon e(0x80004005u, "ctx", "DotNetInstaller",
                            "DotNet::CDotNetInstaller::Install", -39);
  EXPECT_EQ(e.GetFunctionName(), "DotNet::CDotNetInstaller::Install");
  EXPECT_EQ(e.GetLine(), -39);
  EXPECT_EQ(e.GetErrorCode(), 0x80004005u);
  EXPECT_EQ(e.GetContext(), "ctx");
}

TEST(ExceptionPosition, NullTextsCountAsEmpty) {
  fake::FakeWindows win;
  const KvExceptionText e(nullptr, nullptr, nullptr, 1);
  EXPECT_EQ(e.GetMessageText(), "");
  EXPECT_EQ(e.GetFileName(), "");
  EXPECT_EQ(e.GetFunctionName(), "");
}

// ---- Kinds, catching, copies ------------------------------------------------------

TEST(ExceptionClone, GivesAnIndependentObjectOfTheSameClass) {
  fake::FakeWindows win;
  auto original = std::make_unique<KvExceptionCommon>(32, "ctx", "D:\\src\\DotNetInstaller",
                                                      "DotNet::CDotNetInstaller::Install", 39);
  const std::unique_ptr<KvException> copy = original->Clone();
  original.reset();
  const auto* common = dynamic_cast<const KvExceptionCommon*>(copy.get());
  ASSERT_NE(common, nullptr);
  EXPECT_EQ(common->GetFileName(), "DotNetInstaller");
  EXPECT_EQ(common->GetFunctionName(), "DotNet::CDotNetInstaller::Install");
  EXPECT_EQ(common->GetLine(), 39);
  EXPECT_EQ(common->GetErrorCode(), 32u);
  EXPECT_EQ(common->GetContext(), "ctx");

  const KvExceptionText text("message", "ResourcesExtractor", "F", 19);
  const std::unique_ptr<KvException> textCopy = text.Clone();
  ASSERT_NE(dynamic_cast<const KvExceptionText*>(textCopy.get()), nullptr);
  EXPECT_EQ(textCopy->GetText(), "message");
  EXPECT_EQ(textCopy->GetLine(), 19);
}

// ---- Text of KvExceptionCommon ------------------------------------------------------

TEST(ExceptionCommonText, CodeZeroSkipsTheSystemAndReadsZeroInParentheses) {
  fake::FakeWindows win;
  const KvExceptionCommon e(0, "Failed to execute .NET Framework installer.", "f", "g", 1);
  EXPECT_EQ(e.GetText(), "(0) Failed to execute .NET Framework installer.");
  EXPECT_EQ(win.calls.Count("FormatMessageA"), 0);
}

TEST(ExceptionCommonText, AKnownCodeGivesTheSystemMessageCodeAndContext) {
  fake::FakeWindows win;
  const KvExceptionCommon e(32, "Failed to execute .NET Framework installer.", "f", "g", 39);
  EXPECT_EQ(e.GetText(),
            "The process cannot access the file because it is being used by another process. "
            "(0x20)\n\nFailed to execute .NET Framework installer.");
  ASSERT_EQ(win.calls.Args<fake::FormatMessageRecord>().size(), 1u);
  EXPECT_EQ(win.calls.Args<fake::FormatMessageRecord>()[0].flags, 0x1300u);
  EXPECT_EQ(win.calls.Args<fake::FormatMessageRecord>()[0].code, 32u);
  EXPECT_EQ(win.calls.Args<fake::FormatMessageRecord>()[0].language, 0x400u);
  EXPECT_EQ(win.system.OutstandingLocalAllocations(), 0);
}

TEST(ExceptionCommonText, AnUnknownCodeGivesTheShortForm) {
  fake::FakeWindows win;
  win.system.messages.erase(3010);  // a system without its text, as Wine is
  const KvExceptionCommon e(3010,
                            "Unknown error occurred and the installation of Dotnetfx.exe "
                            "cannot proceed.",
                            "f", "g", 108);
  EXPECT_EQ(e.GetText(),
            "(0xbc2) Unknown error occurred and the installation of Dotnetfx.exe cannot proceed.");
}

TEST(ExceptionCommonText, AnEmptyContextEndsAtTheClosingParenthesis) {
  fake::FakeWindows win;
  win.system.messages.erase(3010);  // a system without its text, as Wine is
  EXPECT_EQ(KvExceptionCommon(3010, "", "f", "g", 1).GetText(), "(0xbc2)");
  EXPECT_EQ(KvExceptionCommon(5, "", "f", "g", 1).GetText(), "Access is denied. (0x5)");
  EXPECT_EQ(KvExceptionCommon(0, "  \r\n", "f", "g", 1).GetText(), "(0)");
}

TEST(ExceptionCommonText, ASystemMessageOfOnlyWhiteSpaceCountsAsNone) {
  fake::FakeWindows win;
  win.system.messages[1234] = " \r\n\t";
  EXPECT_EQ(KvExceptionCommon(1234, "ctx", "f", "g", 1).GetText(), "(0x4d2) ctx");
  EXPECT_EQ(win.system.OutstandingLocalAllocations(), 0);
}

TEST(ExceptionCommonText, TheSystemMessageIsTrimmedOnBothSides) {
  fake::FakeWindows win;
  win.system.messages[7] = "\r\n  Bad block.  \r\n";
  EXPECT_EQ(KvExceptionCommon(7, "ctx", "f", "g", 1).GetText(), "Bad block. (0x7)\n\nctx");
}

TEST(ExceptionCommonText, IsComputedAnewAtEveryCall) {
  fake::FakeWindows win;
  const KvExceptionCommon e(2, "ctx", "f", "g", 1);
  EXPECT_EQ(e.GetText(), "The system cannot find the file specified. (0x2)\n\nctx");
  win.system.messages.erase(2);
  EXPECT_EQ(e.GetText(), "(0x2) ctx");
}

TEST(SystemMessage, ReturnsTheTextAsTheSystemGivesItAndFreesTheBuffer) {
  fake::FakeWindows win;
  EXPECT_EQ(Error::GetSystemMessage(5), "Access is denied.\r\n");
  EXPECT_EQ(win.calls.Count("LocalFree"), 1);
  EXPECT_EQ(win.system.OutstandingLocalAllocations(), 0);
  EXPECT_EQ(Error::GetSystemMessage(999999), "");
  EXPECT_EQ(win.calls.Count("LocalFree"), 1);
  EXPECT_EQ(Error::GetSystemMessage(0), "");
  EXPECT_EQ(win.calls.Count("FormatMessageA"), 2);
}

// The length the system returns counts every byte; a NUL inside it ends the
// text all the same, and a message that starts with one is no message.
TEST(SystemMessage, EndsAtAnEmbeddedNul) {
  fake::FakeWindows win;
  win.system.messages[1234] = std::string("Bad block.\0 junk\r\n\0", 19);
  win.system.messages[1235] = std::string("\0junk", 5);
  EXPECT_EQ(Error::GetSystemMessage(1234), "Bad block.");
  EXPECT_EQ(Error::GetSystemMessage(1235), "");
  EXPECT_EQ(KvExceptionCommon(1234, "ctx", "f", "g", 1).GetText(), "Bad block. (0x4d2)\n\nctx");
  EXPECT_EQ(KvExceptionCommon(1235, "ctx", "f", "g", 1).GetText(), "(0x4d3) ctx");
  EXPECT_EQ(win.system.OutstandingLocalAllocations(), 0);
}

// ---- The error report ---------------------------------------------------------------------

TEST(ErrorReport, ShowsOneBoxWithNoOwnerCaptionErrorAndTheErrorStyle) {
  fake::FakeWindows win;
  win.dialogs.answers.push_back(plat::kIdCancel);
  EXPECT_EQ(KvExceptionText("Failed to find resource 134.", "ResourcesExtractor",
                            "CResourcesExtractor::ExtractFile", 9)
                .ShowError(),
            plat::kIdCancel);  // the box's result, as it comes
  ASSERT_EQ(win.calls.Args<fake::MessageBoxCall>().size(), 1u);
  EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>()[0].owner, nullptr);
  EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>()[0].text, "Failed to find resource 134.");
  EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>()[0].caption, golden::kErrorCaption);
  EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>()[0].type, kErrorBoxStyle);
}

TEST(ErrorReport, AnEmptyOrBlankMessageShowsTheFallbackWithThePosition) {
  fake::FakeWindows win;
  KvExceptionText("", "D:\\src\\ResourcesExtractor", "CResourcesExtractor::ExtractFile", 9)
      .ShowError();
  KvExceptionText(" \r\n\t ", "ResourcesExtractor", "CResourcesExtractor::ExtractFile", 9)
      .ShowError();
  ASSERT_EQ(win.calls.Args<fake::MessageBoxCall>().size(), 2u);
  char fallback[128];
  static_cast<void>(std::snprintf(fallback, sizeof fallback, golden::kEmptyTextFallback,
                                  "ResourcesExtractor", 9));
  for (const auto& box : win.calls.Args<fake::MessageBoxCall>()) {
    EXPECT_EQ(box.text, fallback);
    EXPECT_EQ(box.caption, golden::kErrorCaption);
  }
}

TEST(ErrorReport, TrimsOuterWhiteSpaceAndKeepsInnerLineBreaks) {
  fake::FakeWindows win;
  KvExceptionText("\r\n  first line\nsecond line \r\n", "f", "g", 1).ShowError();
  ASSERT_EQ(win.calls.Args<fake::MessageBoxCall>().size(), 1u);
  EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>()[0].text, "first line\nsecond line");
}

TEST(ErrorReport, TrimsCharacterByCharacterInTheAnsiCodePage) {
  // 0x81 0x20 is one double-byte character there: its trail byte is no blank.
  fake::FakeWindows win;
  const std::string message = "x\x81 ";
  KvExceptionText(message.c_str(), "f", "g", 1).ShowError();
  win.system.UseDoubleByteCodePage();
  KvExceptionText(message.c_str(), "f", "g", 1).ShowError();
  ASSERT_EQ(win.calls.Args<fake::MessageBoxCall>().size(), 2u);
  EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>()[0].text, "x\x81");
  EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>()[1].text, "x\x81 ");
}

TEST(ErrorReport, ShowsTheTextOfACommonException) {
  fake::FakeWindows win;
  KvExceptionCommon(32, "Failed to execute .NET Framework installer.", "DotNetInstaller",
                    "DotNet::CDotNetInstaller::Install", 39)
      .ShowError();
  KvExceptionCommon(0, "", "DotNetInstaller", "g", 39).ShowError();
  ASSERT_EQ(win.calls.Args<fake::MessageBoxCall>().size(), 2u);
  EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>()[0].text,
            "The process cannot access the file because it is being used by another process. "
            "(0x20)\n\nFailed to execute .NET Framework installer.");
  // Never empty, so never the fallback.
  EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>()[1].text, "(0)");
}

}  // namespace
