// The exceptions' fields written to and read from a byte stream.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "common/KvException.h"
#include "common/KvMemStream.h"
#include "fake/FakeWindows.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Error::KvExceptionCommon;
using Error::KvExceptionText;

Bytes DataOf(const KvMemStream& stream) {
  return Bytes(stream.GetData(), stream.GetData() + stream.GetSize());
}

TEST(ExceptionWriteTo, TextWithAnEmptyMessageIsTheTwentySixBytesOfTheFormat) {
  fake::FakeWindows win;
  KvMemStream stream;
  const KvExceptionText e("", "ab", "f", 9);
  EXPECT_EQ(&e.WriteTo(stream), &stream);
  const Bytes expected = {0x01, 0x02, 0x00, 0x00, 0x00, 0x61, 0x62,        // "ab"
                          0x01, 0x01, 0x00, 0x00, 0x00, 0x66,              // "f"
                          0x04, 0x00, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00,  // 9
                          0x01, 0x00, 0x00, 0x00, 0x00};                   // ""
  EXPECT_EQ(DataOf(stream), expected);
}

TEST(ExceptionWriteTo, CommonWritesPositionThenCodeThenContext) {
  fake::FakeWindows win;
  KvMemStream stream;
  KvExceptionCommon(0x1003, "c", "s", "f", -1).WriteTo(stream);
  const Bytes expected = {0x01, 0x01, 0, 0, 0,    's',  0x01, 0x01, 0,    0,  0, 'f',
                          0x04, 0,    0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x04, 0,  0, 0,
                          0x03, 0x10, 0, 0, 0x01, 0x01, 0,    0,    0,    'c'};
  EXPECT_EQ(DataOf(stream), expected);
  // No kind code: the reader has to know the class.
}

TEST(ExceptionReadFrom, RoundTripsEveryFieldOfBothKinds) {
  fake::FakeWindows win;
  KvMemStream stream;
  KvExceptionText("Failed to write to file 'C:\\x'", "ResourcesExtractor",
                  "CResourcesExtractor::ExtractFile", 19)
      .WriteTo(stream);
  KvExceptionCommon(0xFFFFFFFFu, "Failed to execute .NET Framework installer.", "DotNetInstaller",
                    "DotNet::CDotNetInstaller::Install", 39)
      .WriteTo(stream);
  stream.SetPosition(0);

  KvExceptionText text("old", "old", "old", 1);
  KvExceptionCommon common(1, "old", "old", "old", 1);
  EXPECT_EQ(&text.ReadFrom(stream), &stream);
  common.ReadFrom(stream);
  EXPECT_EQ(stream.GetRemaining(), 0u);
  EXPECT_EQ(text.GetMessageText(), "Failed to write to file 'C:\\x'");
  EXPECT_EQ(text.GetFileName(), "ResourcesExtractor");
  EXPECT_EQ(text.GetFunctionName(), "CResourcesExtractor::ExtractFile");
  EXPECT_EQ(text.GetLine(), 19);
  EXPECT_EQ(common.GetErrorCode(), 0xFFFFFFFFu);
  EXPECT_EQ(common.GetContext(), "Failed to execute .NET Framework installer.");
  EXPECT_EQ(common.GetFileName(), "DotNetInstaller");
  EXPECT_EQ(common.GetFunctionName(), "DotNet::CDotNetInstaller::Install");
  EXPECT_EQ(common.GetLine(), 39);
}

TEST(ExceptionReadFrom, AStoredEmptyStringDoesNotClearAField) {
  fake::FakeWindows win;
  KvMemStream stream;
  KvExceptionText("", "ab", "f", 9).WriteTo(stream);
  stream.SetPosition(0);
  KvExceptionText e("kept", "x", "y", 1);
  e.ReadFrom(stream);
  EXPECT_EQ(e.GetMessageText(), "kept");
  EXPECT_EQ(e.GetFileName(), "ab");
  EXPECT_EQ(e.GetLine(), 9);
}

TEST(ExceptionReadFrom, DataEndingMidwayLeavesTheRemainingFieldsAsTheyWere) {
  fake::FakeWindows win;
  KvMemStream full;
  KvExceptionCommon(5, "ctx", "src", "fn", 7).WriteTo(full);
  const Bytes bytes = DataOf(full);
  // Every cut: the fields wholly inside the data are read, the rest kept.
  for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
    KvMemStream stream(bytes.data(), cut);
    KvExceptionCommon e(1, "old", "old", "old", 1);
    e.ReadFrom(stream);
    EXPECT_EQ(e.GetFileName(), cut >= 8 ? "src" : "old") << cut;
    EXPECT_EQ(e.GetFunctionName(), cut >= 15 ? "fn" : "old") << cut;
    EXPECT_EQ(e.GetLine(), cut >= 23 ? 7 : 1) << cut;
    EXPECT_EQ(e.GetErrorCode(), cut >= 31 ? 5u : 1u) << cut;
    EXPECT_EQ(e.GetContext(), cut >= 39 ? "ctx" : "old") << cut;
    EXPECT_LE(stream.GetPosition(), cut);
  }
  EXPECT_EQ(bytes.size(), 39u);
}

TEST(ExceptionReadFrom, AFieldThatCannotBeReadDoesNotStopTheNextOne) {
  fake::FakeWindows win;
  // File name with a wrong tag (one byte consumed), then a good function
  // name, a line item of width 2 (skipped), and a good message.
  const Bytes bytes = {0x07,                          // not a string tag
                       0x01, 0x01, 0, 0, 0,    'g',   // function name "g"
                       0x02, 0,    0, 0, 0x33, 0x33,  // count 2: skipped
                       0x01, 0x02, 0, 0, 0,    'h',  'i'};
  KvMemStream stream(bytes.data(), bytes.size());
  KvExceptionText e("old", "old", "old", 1);
  e.ReadFrom(stream);
  EXPECT_EQ(e.GetFileName(), "old");
  EXPECT_EQ(e.GetFunctionName(), "g");
  EXPECT_EQ(e.GetLine(), 1);
  EXPECT_EQ(e.GetMessageText(), "hi");
}

}  // namespace
