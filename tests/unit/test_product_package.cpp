#include <gtest/gtest.h>

#include "app/ProductPackage.h"
#include "fake/FakeWindows.h"
#include "golden_identities.h"

namespace {

const char* kTemp = "C:\\Users\\user\\AppData\\Local\\Temp\\";
const std::string kPackage = std::string(kTemp) + "BrannexLumentaSetup.msi";
const std::string kWriteFailed = golden::Text(golden::kWriteFailed, kPackage);

struct PackageLaunch : ::testing::Test {
  fake::FakeWindows win;
  fake::Bytes package = fake::ToBytes("MSI package bytes \x01\x02\x03");
  void SetUp() override {
    win.InstallMsi();
    win.SetResource("MSI", 130, package);
  }
};

TEST_F(PackageLaunch, WritesThePackageThenOpensItWithoutWaiting) {
  LaunchProductPackage();
  ASSERT_TRUE(win.HasFile(kPackage));
  EXPECT_EQ(win.File(kPackage)->bytes, package);
  ASSERT_EQ(win.shellExecuteCalls.size(), 1u);
  const auto& open = win.shellExecuteCalls[0];
  EXPECT_EQ(open.owner, nullptr);
  EXPECT_EQ(open.verb, "open");
  EXPECT_EQ(open.file, kPackage);
  EXPECT_EQ(open.parameters, "");
  EXPECT_EQ(open.directory, "");
  EXPECT_EQ(open.show, 5);
  EXPECT_EQ(open.fileAtOpen, package) << "the file must be complete before the shell sees it";
  EXPECT_EQ(win.CountCalls("WaitForSingleObject"), 0);
  EXPECT_TRUE(win.messageBoxes.empty());
  EXPECT_EQ(win.OpenHandleCount(), 0);
  EXPECT_EQ(win.LoadedLibraryCount(), 0);
}

TEST_F(PackageLaunch, ReplacesAnOldPackageWithExactlyTheResource) {
  win.PutFile(kPackage, fake::Bytes(10000, 0xAA));
  LaunchProductPackage();
  ASSERT_NE(win.File(kPackage), nullptr);
  EXPECT_EQ(win.File(kPackage)->bytes, package);
  // The product list is walked to its end before anything is written.
  EXPECT_EQ(win.CallsAmong({"MsiEnumProductsA", "DeleteFileA", "CreateFileA", "ShellExecuteA"}),
            (std::vector<std::string>{"MsiEnumProductsA", "DeleteFileA", "CreateFileA",
                                      "ShellExecuteA"}));
}

TEST_F(PackageLaunch, FolderWithoutTrailingBackslashGetsExactlyOne) {
  win.tempPath = "D:\\tmp";
  win.AddFolder("D:\\tmp");
  LaunchProductPackage();
  ASSERT_EQ(win.shellExecuteCalls.size(), 1u);
  EXPECT_EQ(win.shellExecuteCalls[0].file, "D:\\tmp\\BrannexLumentaSetup.msi");
}

TEST_F(PackageLaunch, NoTemporaryFolderMeansTheCurrentFolder) {
  win.tempPath.reset();
  LaunchProductPackage();
  EXPECT_TRUE(win.HasFile("BrannexLumentaSetup.msi"));
  ASSERT_EQ(win.shellExecuteCalls.size(), 1u);
  EXPECT_EQ(win.shellExecuteCalls[0].file, "BrannexLumentaSetup.msi");
}

TEST_F(PackageLaunch, LargePackageIsWrittenInFullInBoundedChunks) {
  package.assign(20u * 1024 * 1024 + 5, 0x5A);
  win.SetResource("MSI", 130, package);
  LaunchProductPackage();
  ASSERT_NE(win.File(kPackage), nullptr);
  EXPECT_EQ(win.File(kPackage)->bytes, package);
  EXPECT_EQ(win.writeSizes, (std::vector<plat::DWord>{8u << 20, 8u << 20, (4u << 20) + 5}));
  EXPECT_EQ(win.shellExecuteCalls.size(), 1u);
}

// Each failure to put the package on disk shows the write error and keeps
// the shell from opening whatever the path names.
struct PackageNotWritten : PackageLaunch {
  void ExpectErrorBoxAndNoOpen(const std::string& text) {
    LaunchProductPackage();
    ASSERT_EQ(win.messageBoxes.size(), 1u);
    EXPECT_EQ(win.messageBoxes[0].text, text);
    EXPECT_EQ(win.messageBoxes[0].caption, golden::kErrorCaption);
    EXPECT_EQ(win.messageBoxes[0].type, golden::kErrorBoxStyle);
    EXPECT_TRUE(win.shellExecuteCalls.empty());
    EXPECT_EQ(win.OpenHandleCount(), 0);
  }
};

TEST_F(PackageNotWritten, TemporaryFolderMissing) {
  win.RemoveFolder(kTemp);
  ExpectErrorBoxAndNoOpen(kWriteFailed);
  EXPECT_FALSE(win.HasFile(kPackage));
}

TEST_F(PackageNotWritten, OldPackageHeldOpenByAnotherProcess) {
  win.PutFile(kPackage, fake::ToBytes("stale")).lockedByOther = true;
  ExpectErrorBoxAndNoOpen(kWriteFailed);
  ASSERT_NE(win.File(kPackage), nullptr);
  EXPECT_EQ(fake::ToString(win.File(kPackage)->bytes), "stale");
}

TEST_F(PackageNotWritten, ShortWrite) {
  win.maxWritePerCall = 4;
  ExpectErrorBoxAndNoOpen(kWriteFailed);
}

TEST_F(PackageNotWritten, WriteFailsHalfway) {
  win.SetResource("MSI", 130, fake::Bytes(9u << 20, 1));
  win.failWriteCall = 1;
  ExpectErrorBoxAndNoOpen(kWriteFailed);
}

TEST_F(PackageNotWritten, ResourceMissing) {
  win.RemoveResource("MSI", 130);
  ExpectErrorBoxAndNoOpen(golden::Text(golden::kNotFound, 130));
}

TEST(ProductWalk, EndsAtTheFirstNonZeroStatus) {
  fake::FakeWindows win;
  win.InstallMsi();
  EXPECT_EQ(WalkInstalledProducts(), 1u);
  win.msiEnumIndices.clear();
  win.products = {"{11111111-1111-1111-1111-111111111111}",
                  "{22222222-2222-2222-2222-222222222222}"};
  EXPECT_EQ(WalkInstalledProducts(), 3u);
  EXPECT_EQ(win.msiEnumIndices, (std::vector<plat::DWord>{0, 1, 2}));
  win.msiEnumIndices.clear();
  win.msiEnumError = 1610;  // ERROR_BAD_CONFIGURATION
  EXPECT_EQ(WalkInstalledProducts(), 1u);
  EXPECT_EQ(win.LoadedLibraryCount(), 0);
}

// The entry is taken by its ordinal, 44, as the import of the name would be
// resolved: a msi.dll that exports it by number only still walks.
TEST(ProductWalk, FindsTheEntryByItsOrdinal) {
  fake::FakeWindows win;
  win.InstallMsi().exports.clear();
  win.products = {"{11111111-1111-1111-1111-111111111111}"};
  EXPECT_EQ(WalkInstalledProducts(), 2u);
}

TEST(ProductWalk, TakesMsiFromTheSystemFolderOnly) {
  fake::FakeWindows win;
  win.PlantBesideExe("msi.dll", {"MsiEnumProductsA"});
  EXPECT_EQ(WalkInstalledProducts(), 0u);
  EXPECT_EQ(win.plantedEntryCalls, 0);
  win.InstallMsi();
  EXPECT_EQ(WalkInstalledProducts(), 1u);
  EXPECT_EQ(win.plantedEntryCalls, 0);
  for (const auto& load : win.loads) {
    if (!load.resolved.empty()) {
      EXPECT_EQ(load.resolved, "c:\\windows\\system32\\msi.dll");
    }
  }
}

TEST(ProductWalk, OlderSystemsGetTheFullSystemPath) {
  fake::FakeWindows win;
  win.SetKernel32(false);
  win.InstallMsi();
  win.PlantBesideExe("msi.dll", {"MsiEnumProductsA"});
  EXPECT_EQ(WalkInstalledProducts(), 1u);
  EXPECT_EQ(win.plantedEntryCalls, 0);
  ASSERT_FALSE(win.loads.empty());
  EXPECT_EQ(win.loads.back().name, "C:\\windows\\system32\\msi.dll");
  // Without the system folder no path can be built, and no other is tried.
  win.systemDirectoryFails = true;
  const int loadsBefore = win.CountCalls("LoadLibraryExA");
  EXPECT_EQ(WalkInstalledProducts(), 0u);
  // cppcheck-suppress knownConditionTrueFalse ; the walk may load, the count would show it
  EXPECT_EQ(win.CountCalls("LoadLibraryExA"), loadsBefore);
  EXPECT_EQ(win.plantedEntryCalls, 0);
}

TEST(ProductWalk, PackageIsStillLaunchedWithoutMsi) {
  fake::FakeWindows win;
  win.SetResource("MSI", 130, fake::ToBytes("pkg"));
  LaunchProductPackage();
  EXPECT_EQ(win.CountCalls("MsiEnumProductsA"), 0);
  EXPECT_EQ(win.shellExecuteCalls.size(), 1u);
}

}  // namespace
