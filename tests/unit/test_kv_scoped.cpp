// The owners' promise about the thread's last error: releasing what they own
// leaves the last error of the caller's failed call readable, even where the
// release itself sets one (a library's detach code does).
#include <gtest/gtest.h>

#include "common/KvScoped.h"
#include "common/KvSystemLibrary.h"
#include "fake/FakeWindows.h"

namespace {

TEST(KvLibrary, FreeingKeepsTheCallersLastError) {
  struct Case {
    const char* name;
    void (*release)(KvLibrary&);
  } const cases[] = {
      {"Close", [](KvLibrary& l) { l.Close(); }},
      {"assigned over", [](KvLibrary& l) { l = KvLibrary(); }},
      {"destroyed", [](KvLibrary& l) { KvLibrary gone(std::move(l)); }},
  };
  for (const Case& c : cases) {
    fake::FakeWindows win;
    win.libraries.InstallMsi();
    KvLibrary msi = LoadSystemLibrary("msi.dll");
    ASSERT_TRUE(msi.IsLoaded()) << c.name;
    plat::SetLastError(plat::kErrorSharingViolation);
    c.release(msi);
    EXPECT_EQ(win.libraries.LoadedLibraryCount(), 0) << c.name;
    EXPECT_EQ(plat::GetLastError(), plat::kErrorSharingViolation) << c.name;
  }
}

}  // namespace

#include <gtest/gtest-spi.h>

#include "app/ProductPackage.h"

namespace {

TEST(FakeCallLog, AWalkThatNeverEndsFailsTheTestWithinTheBound) {
  fake::FakeWindows win;
  win.libraries.InstallMsi();
  win.libraries.msiEnumError = 0;  // every index "succeeds": the walk would never end
  unsigned calls = 0;
  EXPECT_NONFATAL_FAILURE(calls = WalkInstalledProducts(), "a walk or a loop that does not end");
  EXPECT_LE(win.calls.All().size(), fake::CallLog::kMaxCalls);
  EXPECT_GT(calls, 0u);
}

}  // namespace
