// The temporary folder: which call the program asks, and that the package
// launch and the path helper give the same folder.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/ProductPackage.h"
#include "common/KvFsPath.h"
#include "fake/FakeWindows.h"

namespace {

const std::string kUserTemp = "C:\\Users\\user\\AppData\\Local\\Temp\\";
// What a process running as SYSTEM gets from each call.
const std::string kWindowsTemp = "C:\\Windows\\Temp\\";
const std::string kSystemTemp = "C:\\Windows\\SystemTemp\\";
// The longest folder that fits the 1023 bytes the program offers, with its
// NUL, and the shortest that does not.
const std::string kFits = "C:\\" + std::string(1018, 'f') + "\\";
const std::string kTooLong = "C:\\" + std::string(1019, 'f') + "\\";

TEST(TempFolder, NewerSystemsAreAskedWithGetTempPath2AAndOlderOnesWithGetTempPathA) {
  struct Case {
    const char* what;
    bool exports2A;
    std::optional<std::string> tempPath, tempPath2;
    std::string folder;  // what the helper gives; the package lies there
  } const cases[] = {
      {"older system", false, kUserTemp, std::nullopt, kUserTemp},
      {"older system, SYSTEM", false, kWindowsTemp, std::nullopt, kWindowsTemp},
      {"older system, no separator", false, "D:\\tmp", std::nullopt, "D:\\tmp\\"},
      {"older system, longest folder", false, kFits, std::nullopt, kFits},
      {"older system, folder too long", false, kTooLong, std::nullopt, ""},
      {"older system, call fails", false, std::nullopt, std::nullopt, ""},
      {"newer system", true, kUserTemp, kUserTemp, kUserTemp},
      {"newer system, SYSTEM", true, kWindowsTemp, kSystemTemp, kSystemTemp},
      {"newer system, no separator", true, kWindowsTemp, "D:\\sys", "D:\\sys\\"},
      {"newer system, longest folder", true, kUserTemp, kFits, kFits},
      {"newer system, folder too long", true, kUserTemp, kTooLong, ""},
      // Asking GetTempPathA after a failure would give SYSTEM the folder
      // that every user may write to.
      {"newer system, call fails", true, kWindowsTemp, std::nullopt, ""},
  };
  for (const Case& c : cases) {
    fake::FakeWindows win;
    win.files.tempPath = c.tempPath;
    if (c.exports2A) win.files.ExportGetTempPath2A(c.tempPath2);
    if (!c.folder.empty()) win.files.AddFolder(c.folder);
    win.resources.SetResource("MSI", 130, fake::ToBytes("pkg"));

    EXPECT_EQ(KvFsPath::GetTempFolder(), c.folder) << c.what;
    LaunchProductPackage();
    const std::string package = c.folder + kPackageFileName;
    EXPECT_TRUE(win.files.HasFile(package)) << c.what;
    ASSERT_EQ(win.calls.Args<fake::ShellExecuteCall>().size(), 1u) << c.what;
    EXPECT_EQ(win.calls.Args<fake::ShellExecuteCall>()[0].file, package) << c.what;
    // One question per reading, and only of the call this system prefers.
    EXPECT_EQ(win.calls.Count("GetTempPath2A"), c.exports2A ? 2 : 0) << c.what;
    EXPECT_EQ(win.calls.Count("GetTempPathA"), c.exports2A ? 0 : 2) << c.what;
  }
}

}  // namespace
