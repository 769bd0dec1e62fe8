#include <gtest/gtest.h>

#include "common/KvFsPath.h"
#include "fake/FakeWindows.h"

namespace {

TEST(FsPathCombine, PutsOneBackslashBetweenFolderAndName) {
  fake::FakeWindows win;
  EXPECT_EQ(KvFsPath("C:\\Temp").Combine("a.msi"), "C:\\Temp\\a.msi");
  EXPECT_EQ(KvFsPath("C:\\Temp\\").Combine("a.msi"), "C:\\Temp\\a.msi");
  EXPECT_EQ(KvFsPath("C:/Temp/").Combine("a.msi"), "C:/Temp/a.msi");
  EXPECT_EQ(KvFsPath("").Combine("a.msi"), "a.msi");
}

TEST(FsPathCombine, EmptyOrNullNameLeavesTheFolderWithASeparator) {
  fake::FakeWindows win;
  EXPECT_EQ(KvFsPath("C:\\Temp").Combine(""), "C:\\Temp\\");
  EXPECT_EQ(KvFsPath("C:\\Temp").Combine(nullptr), "C:\\Temp\\");
  EXPECT_EQ(KvFsPath("").Combine(nullptr), "");
}

TEST(FsPathCombine, NameIsNeverInspected) {
  fake::FakeWindows win;
  EXPECT_EQ(KvFsPath("C:\\Temp\\").Combine("\\a.msi"), "C:\\Temp\\\\a.msi");
}

TEST(FsPathFileName, TakesTheLastComponent) {
  fake::FakeWindows win;
  EXPECT_EQ(KvFsPath("D:\\src\\x\\ResourcesExtractor").GetFileName(), "ResourcesExtractor");
  EXPECT_EQ(KvFsPath("ResourcesExtractor").GetFileName(), "ResourcesExtractor");
  EXPECT_EQ(KvFsPath("a/b").GetFileName(), "b");
  EXPECT_EQ(KvFsPath("C:\\dir\\").GetFileName(), "");
  EXPECT_EQ(KvFsPath("").GetFileName(), "");
}

TEST(FsPathFileName, LastBackslashWinsOverALaterSlash) {
  fake::FakeWindows win;
  EXPECT_EQ(KvFsPath("a\\b/c").GetFileName(), "b/c");
}

// In a double-byte code page, 0x95 0x5C is one character whose trail byte
// happens to be a backslash.
TEST(FsPathDoubleByte, TrailByteIsNoSeparatorForTheFileName) {
  fake::FakeWindows win;
  win.system.UseDoubleByteCodePage();
  const std::string dbcs = "\x95\x5C";
  EXPECT_EQ(KvFsPath(("C:\\d\\x" + dbcs + "y").c_str()).GetFileName(), "x" + dbcs + "y");
  EXPECT_EQ(KvFsPath(("x" + dbcs + "y").c_str()).GetFileName(), "x" + dbcs + "y");
}

TEST(FsPathDoubleByte, TrailByteSatisfiesTheTrailingSeparatorRule) {
  fake::FakeWindows win;
  win.system.UseDoubleByteCodePage();
  const std::string folder = "C:\\d\\x\x95\x5C";
  EXPECT_EQ(KvFsPath(folder.c_str()).Combine("a.msi"), folder + "a.msi");
}

TEST(FsPathDoubleByte, SingleByteCodePageTreatsTheSameByteAsASeparator) {
  fake::FakeWindows win;
  EXPECT_EQ(KvFsPath("x\x95\x5Cy").GetFileName(), "y");
}

TEST(FsPathTempFolder, EndsWithASeparator) {
  fake::FakeWindows win;
  win.files.tempPath = "C:\\Users\\me\\Temp";
  EXPECT_EQ(KvFsPath::GetTempFolder(), "C:\\Users\\me\\Temp\\");
  win.files.tempPath = "C:\\Users\\me\\Temp\\";
  EXPECT_EQ(KvFsPath::GetTempFolder(), "C:\\Users\\me\\Temp\\");
}

TEST(FsPathTempFolder, NothingFromTheSystemIsTheEmptyPath) {
  fake::FakeWindows win;
  win.files.tempPath.reset();
  EXPECT_EQ(KvFsPath::GetTempFolder(), "");
  EXPECT_EQ(KvFsPath::GetTempFolder().Combine("x.exe"), "x.exe");
}

TEST(FsPathTempFolder, AFolderTooLongForTheBufferIsTheEmptyPath) {
  fake::FakeWindows win;
  win.files.tempPath = "C:\\" + std::string(1100, 'a') + "\\";
  EXPECT_EQ(KvFsPath::GetTempFolder(), "");
}

}  // namespace
