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
    win.libraries.InstallMsi();
    win.resources.SetResource("MSI", 130, package);
  }
};

TEST_F(PackageLaunch, WritesThePackageThenOpensItWithoutWaiting) {
  LaunchProductPackage();
  ASSERT_TRUE(win.files.HasFile(kPackage));
  EXPECT_EQ(win.files.File(kPackage)->bytes, package);
  ASSERT_EQ(win.calls.Args<fake::ShellExecuteCall>().size(), 1u);
  const auto open = win.calls.Args<fake::ShellExecuteCall>()[0];
  EXPECT_EQ(open.owner, nullptr);
  EXPECT_EQ(open.verb, "open");
  EXPECT_EQ(open.file, kPackage);
  EXPECT_EQ(open.parameters, "");
  EXPECT_EQ(open.directory, "");
  EXPECT_EQ(open.show, 5);
  EXPECT_EQ(open.fileAtOpen, package) << "the file must be complete before the shell sees it";
  EXPECT_EQ(win.calls.Count("WaitForSingleObject"), 0);
  EXPECT_TRUE(win.calls.Args<fake::MessageBoxCall>().empty());
  EXPECT_EQ(win.OpenHandleCount(), 0);
  EXPECT_EQ(win.libraries.LoadedLibraryCount(), 0);
}

TEST_F(PackageLaunch, ReplacesAnOldPackageWithExactlyTheResource) {
  win.files.PutFile(kPackage, fake::Bytes(10000, 0xAA));
  LaunchProductPackage();
  ASSERT_NE(win.files.File(kPackage), nullptr);
  EXPECT_EQ(win.files.File(kPackage)->bytes, package);
  // The product list is walked to its end before anything is written.
  EXPECT_EQ(win.calls.Among({"MsiEnumProductsA", "DeleteFileA", "CreateFileA", "ShellExecuteA"}),
            (std::vector<std::string>{"MsiEnumProductsA", "DeleteFileA", "CreateFileA",
                                      "ShellExecuteA"}));
}

TEST_F(PackageLaunch, FolderWithoutTrailingBackslashGetsExactlyOne) {
  win.files.tempPath = "D:\\tmp";
  win.files.AddFolder("D:\\tmp");
  LaunchProductPackage();
  ASSERT_EQ(win.calls.Args<fake::ShellExecuteCall>().size(), 1u);
  EXPECT_EQ(win.calls.Args<fake::ShellExecuteCall>()[0].file, "D:\\tmp\\BrannexLumentaSetup.msi");
}

TEST_F(PackageLaunch, NoTemporaryFolderMeansTheCurrentFolder) {
  win.files.tempPath.reset();
  LaunchProductPackage();
  EXPECT_TRUE(win.files.HasFile("BrannexLumentaSetup.msi"));
  ASSERT_EQ(win.calls.Args<fake::ShellExecuteCall>().size(), 1u);
  EXPECT_EQ(win.calls.Args<fake::ShellExecuteCall>()[0].file, "BrannexLumentaSetup.msi");
}

TEST_F(PackageLaunch, LargePackageIsWrittenInFullInBoundedChunks) {
  package.assign(20u * 1024 * 1024 + 5, 0x5A);
  win.resources.SetResource("MSI", 130, package);
  LaunchProductPackage();
  ASSERT_NE(win.files.File(kPackage), nullptr);
  EXPECT_EQ(win.files.File(kPackage)->bytes, package);
  EXPECT_EQ(win.calls.Args<plat::DWord>("WriteFile"),
            (std::vector<plat::DWord>{8u << 20, 8u << 20, (4u << 20) + 5}));
  EXPECT_EQ(win.calls.Args<fake::ShellExecuteCall>().size(), 1u);
}

// Each failure to put the package on disk shows the write error and keeps
// the shell from opening whatever the path names.
struct PackageNotWritten : PackageLaunch {
  void ExpectErrorBoxAndNoOpen(const std::string& text) {
    LaunchProductPackage();
    ASSERT_EQ(win.calls.Args<fake::MessageBoxCall>().size(), 1u);
    EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>()[0].text, text);
    EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>()[0].caption, golden::kErrorCaption);
    EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>()[0].type, golden::kErrorBoxStyle);
    EXPECT_TRUE(win.calls.Args<fake::ShellExecuteCall>().empty());
    EXPECT_EQ(win.OpenHandleCount(), 0);
  }
};

TEST_F(PackageNotWritten, TemporaryFolderMissing) {
  win.files.RemoveFolder(kTemp);
  ExpectErrorBoxAndNoOpen(kWriteFailed);
  EXPECT_FALSE(win.files.HasFile(kPackage));
}

TEST_F(PackageNotWritten, OldPackageHeldOpenByAnotherProcess) {
  win.files.PutFile(kPackage, fake::ToBytes("stale")).lockedByOther = true;
  ExpectErrorBoxAndNoOpen(kWriteFailed);
  ASSERT_NE(win.files.File(kPackage), nullptr);
  EXPECT_EQ(fake::ToString(win.files.File(kPackage)->bytes), "stale");
}

TEST_F(PackageNotWritten, ShortWrite) {
  win.files.maxWritePerCall = 4;
  ExpectErrorBoxAndNoOpen(kWriteFailed);
}

TEST_F(PackageNotWritten, WriteFailsHalfway) {
  win.resources.SetResource("MSI", 130, fake::Bytes(9u << 20, 1));
  win.files.failWriteCall = 1;
  ExpectErrorBoxAndNoOpen(kWriteFailed);
}

TEST_F(PackageNotWritten, ResourceMissing) {
  win.resources.RemoveResource("MSI", 130);
  ExpectErrorBoxAndNoOpen(golden::Text(golden::kNotFound, 130));
}

TEST(ProductWalk, EndsAtTheFirstNonZeroStatus) {
  fake::FakeWindows win;
  win.libraries.InstallMsi();
  EXPECT_EQ(WalkInstalledProducts(), 1u);
  win.calls.Clear();
  win.libraries.products = {"{11111111-1111-1111-1111-111111111111}",
                            "{22222222-2222-2222-2222-222222222222}"};
  EXPECT_EQ(WalkInstalledProducts(), 3u);
  EXPECT_EQ(win.calls.Args<plat::DWord>("MsiEnumProductsA"), (std::vector<plat::DWord>{0, 1, 2}));
  win.calls.Clear();
  win.libraries.msiEnumError = 1610;  // ERROR_BAD_CONFIGURATION
  EXPECT_EQ(WalkInstalledProducts(), 1u);
  EXPECT_EQ(win.libraries.LoadedLibraryCount(), 0);
}

// The entry is taken by its ordinal, 44, as the import of the name would be
// resolved: a msi.dll that exports it by number only still walks.
TEST(ProductWalk, FindsTheEntryByItsOrdinal) {
  fake::FakeWindows win;
  win.libraries.InstallMsi().exports.clear();
  win.libraries.products = {"{11111111-1111-1111-1111-111111111111}"};
  EXPECT_EQ(WalkInstalledProducts(), 2u);
}

TEST(ProductWalk, TakesMsiFromTheSystemFolderOnly) {
  fake::FakeWindows win;
  win.libraries.PlantBesideExe("msi.dll", {"MsiEnumProductsA"});
  EXPECT_EQ(WalkInstalledProducts(), 0u);
  EXPECT_EQ(win.calls.Count("PlantedEntry"), 0);
  win.libraries.InstallMsi();
  EXPECT_EQ(WalkInstalledProducts(), 1u);
  EXPECT_EQ(win.calls.Count("PlantedEntry"), 0);
  for (const auto& load : win.calls.Args<fake::LoadRecord>()) {
    if (!load.resolved.empty()) {
      EXPECT_EQ(load.resolved, "c:\\windows\\system32\\msi.dll");
    }
  }
}

TEST(ProductWalk, OlderSystemsGetTheFullSystemPath) {
  fake::FakeWindows win;
  win.libraries.SetKernel32(false);
  win.libraries.InstallMsi();
  win.libraries.PlantBesideExe("msi.dll", {"MsiEnumProductsA"});
  EXPECT_EQ(WalkInstalledProducts(), 1u);
  EXPECT_EQ(win.calls.Count("PlantedEntry"), 0);
  ASSERT_FALSE(win.calls.Args<fake::LoadRecord>().empty());
  EXPECT_EQ(win.calls.Args<fake::LoadRecord>().back().name, "C:\\windows\\system32\\msi.dll");
  // Without the system folder no path can be built, and no other is tried.
  win.libraries.systemDirectoryFails = true;
  const int loadsBefore = win.calls.Count("LoadLibraryExA");
  EXPECT_EQ(WalkInstalledProducts(), 0u);
  // cppcheck-suppress knownConditionTrueFalse ; the walk may load, the count would show it
  EXPECT_EQ(win.calls.Count("LoadLibraryExA"), loadsBefore);
  EXPECT_EQ(win.calls.Count("PlantedEntry"), 0);
}

TEST(ProductWalk, PackageIsStillLaunchedWithoutMsi) {
  fake::FakeWindows win;
  win.resources.SetResource("MSI", 130, fake::ToBytes("pkg"));
  LaunchProductPackage();
  EXPECT_EQ(win.calls.Count("MsiEnumProductsA"), 0);
  EXPECT_EQ(win.calls.Args<fake::ShellExecuteCall>().size(), 1u);
}

}  // namespace
