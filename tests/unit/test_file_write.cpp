// The file writer: how it opens, writes in checked chunks and closes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/KvFileWrite.h"
#include "fake/FakeWindows.h"

namespace {

const char kPath[] = "C:\\Users\\user\\AppData\\Local\\Temp\\out.bin";
constexpr plat::DWord kChunk = 8u * 1024u * 1024u;

TEST(FileWrite, WritesTheFileAndClosesItOnce) {
  fake::FakeWindows win;
  {
    KvFileWrite file(kPath);
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(win.OpenHandleCount(), 1);
    const std::uint8_t bytes[] = {1, 2, 3};
    EXPECT_TRUE(file.Write(bytes, sizeof(bytes)));
  }
  EXPECT_EQ(win.OpenHandleCount(), 0);
  EXPECT_EQ(win.calls.Count("CloseHandle"), 1);
  ASSERT_TRUE(win.files.HasFile(kPath));
  EXPECT_EQ(win.files.File(kPath)->bytes, (fake::Bytes{1, 2, 3}));
}

// Another program opens the file while it is being written, as a virus
// scanner does: a reader is let in, a second writer is not, and the write
// goes on either way.
TEST(FileWrite, OthersMayReadTheFileWhileItIsWrittenButNotWriteIt) {
  constexpr plat::DWord kShareAll = plat::kFileShareRead | plat::kFileShareWrite;
  struct Case {
    const char* name;
    plat::DWord access;
    bool opens;
  } const cases[] = {
      {"a reader", plat::kGenericRead, true},
      {"a writer", plat::kGenericWrite, false},
  };
  for (const Case& c : cases) {
    fake::FakeWindows win;
    int opened = 0;
    std::vector<plat::DWord> refusals;
    win.files.onWrite = [&](const std::string& path) {
      plat::Handle other =
          plat::CreateFileA(path.c_str(), c.access, kShareAll, nullptr, plat::kOpenExisting,
                            plat::kFileAttributeNormal, nullptr);
      if (other == plat::InvalidHandleValue()) {
        refusals.push_back(plat::GetLastError());
        return;
      }
      ++opened;
      plat::CloseHandle(other);
    };
    {
      KvFileWrite file(kPath);
      const std::uint8_t bytes[] = {1, 2, 3};
      EXPECT_TRUE(file.Write(bytes, sizeof(bytes))) << c.name;
    }
    EXPECT_EQ(opened, c.opens ? 1 : 0) << c.name;
    EXPECT_EQ(refusals, c.opens ? std::vector<plat::DWord>{}
                                : std::vector<plat::DWord>{plat::kErrorSharingViolation})
        << c.name;
    ASSERT_NE(win.files.File(kPath), nullptr) << c.name;
    EXPECT_EQ(win.files.File(kPath)->bytes, (fake::Bytes{1, 2, 3})) << c.name;
    EXPECT_EQ(win.OpenHandleCount(), 0) << c.name;
  }
}

TEST(FileWrite, AFailedOpenCallsNothingMoreAndEveryWriteFails) {
  fake::FakeWindows win;
  {
    KvFileWrite file("C:\\missing\\out.bin");
    EXPECT_FALSE(file.IsOpen());
    const std::uint8_t bytes[] = {1};
    EXPECT_FALSE(file.Write(bytes, 1));
  }
  EXPECT_EQ(win.calls.Count("WriteFile"), 0);
  EXPECT_EQ(win.calls.Count("CloseHandle"), 0);
  EXPECT_FALSE(win.files.HasFile("C:\\missing\\out.bin"));
}

TEST(FileWriteChunks, ABlockLargerThanEightMebibytesGoesInChunksOfAtMostEight) {
  fake::FakeWindows win;
  std::vector<std::uint8_t> bytes(2 * kChunk + 3);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  {
    KvFileWrite file(kPath);
    EXPECT_TRUE(file.Write(bytes.data(), static_cast<plat::DWord>(bytes.size())));
  }
  EXPECT_EQ(win.calls.Args<plat::DWord>("WriteFile"),
            (std::vector<plat::DWord>{kChunk, kChunk, 3}));
  ASSERT_NE(win.files.File(kPath), nullptr);
  EXPECT_EQ(win.files.File(kPath)->bytes, bytes);
}

TEST(FileWriteChunks, ExactlyEightMebibytesIsOneCall) {
  fake::FakeWindows win;
  std::vector<std::uint8_t> bytes(kChunk, 0x5A);
  KvFileWrite file(kPath);
  EXPECT_TRUE(file.Write(bytes.data(), kChunk));
  EXPECT_EQ(win.calls.Args<plat::DWord>("WriteFile"), (std::vector<plat::DWord>{kChunk}));
}

TEST(FileWriteChunks, AShortWriteThatReportsSuccessIsAFailure) {
  // A full disk: WriteFile returns TRUE with fewer bytes than asked.
  fake::FakeWindows win;
  win.files.maxWritePerCall = 10;
  std::vector<std::uint8_t> bytes(25, 1);
  KvFileWrite file(kPath);
  EXPECT_FALSE(file.Write(bytes.data(), 25));
  EXPECT_EQ(win.calls.Count("WriteFile"), 1);
}

TEST(FileWriteChunks, AZeroProgressWriteIsAFailureNotALoop) {
  fake::FakeWindows win;
  win.files.maxWritePerCall = 0;
  const std::uint8_t bytes[] = {1, 2};
  KvFileWrite file(kPath);
  EXPECT_FALSE(file.Write(bytes, 2));
  EXPECT_EQ(win.calls.Count("WriteFile"), 1);
}

TEST(FileWriteChunks, AFailureInALaterChunkStopsTheWriteAndKeepsWhatWasWritten) {
  fake::FakeWindows win;
  win.files.failWriteCall = 1;
  std::vector<std::uint8_t> bytes(kChunk + 1, 2);
  {
    KvFileWrite file(kPath);
    EXPECT_FALSE(file.Write(bytes.data(), kChunk + 1));
  }
  EXPECT_EQ(win.calls.Count("WriteFile"), 2);
  ASSERT_NE(win.files.File(kPath), nullptr);
  EXPECT_EQ(win.files.File(kPath)->bytes.size(), kChunk);
  EXPECT_EQ(win.OpenHandleCount(), 0);
}

TEST(FileWriteChunks, ANullBlockWithASizeIsRefusedWithoutAWrite) {
  fake::FakeWindows win;
  KvFileWrite file(kPath);
  EXPECT_FALSE(file.Write(nullptr, 4));
  EXPECT_EQ(win.calls.Count("WriteFile"), 0);
}

}  // namespace
