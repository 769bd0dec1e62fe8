// The owners' promises: each handle is closed exactly once, also when an
// owner is assigned over; and releasing what they own leaves the last error
// of the caller's failed call readable, even where the release itself sets
// one (a library's detach code does).
#include <gtest/gtest.h>

#include "common/KvScoped.h"
#include "common/KvSystemLibrary.h"
#include "fake/FakeWindows.h"

namespace {

// Assigning over an owner closes the handle it held and takes the other's,
// which is then closed once, by its new owner alone.
TEST(KvHandle, AssigningOverAnOwnerClosesWhatItHeld) {
  const auto open = [](const char* name) {
    return KvHandle(plat::CreateFileA(name, plat::kGenericWrite, 0, nullptr, plat::kCreateAlways,
                                      plat::kFileAttributeNormal, nullptr));
  };
  const struct Case {
    const char* name;
    bool sourceOwns;
    int openAfter;
  } cases[] = {{"an owner", true, 1}, {"an empty owner", false, 0}};
  for (const Case& c : cases) {
    fake::FakeWindows win;
    {
      KvHandle target = open("held.txt");
      ASSERT_TRUE(target.IsValid()) << c.name;
      KvHandle source = c.sourceOwns ? open("taken.txt") : KvHandle();
      const plat::Handle taken = source.Get();
      target = std::move(source);
      EXPECT_EQ(win.OpenHandleCount(), c.openAfter) << c.name;
      EXPECT_EQ(target.Get(), taken) << c.name;
    }
    EXPECT_EQ(win.OpenHandleCount(), 0) << c.name;
    EXPECT_EQ(win.calls.Count("CloseHandle"), c.openAfter + 1) << c.name;
  }
}

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
