// The resource extractor: the file it leaves, and the failure it raises for
// each step, with the fixed source position of each.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/KvException.h"
#include "common/ResourcesExtractor.h"
#include "fake/FakeWindows.h"
#include "framework/WinApp.h"
#include "golden_identities.h"

namespace {

const char kPath[] = "C:\\Users\\user\\AppData\\Local\\Temp\\dotNetFx40_Full_setup.exe";

// Runs the extraction and returns what it raised; fails the test when it
// raises nothing.
Error::KvExceptionText ExtractExpectingFailure(const char* path) {
  try {
    CResourcesExtractor::ExtractFile(path);
  } catch (const Error::KvExceptionText& e) {
    return e;
  }
  ADD_FAILURE() << "no exception";
  return Error::KvExceptionText("", "", "", 0);
}

// The message and the fixed identity of a raise.
void ExpectRaise(const Error::KvExceptionText& e, const golden::ExtractorRaise& raise,
                 const std::string& message) {
  EXPECT_EQ(e.GetText(), message);
  EXPECT_EQ(e.GetFileName(), golden::kExtractorSource);
  EXPECT_EQ(e.GetFunctionName(), golden::kExtractorFunction);
  EXPECT_EQ(e.GetLine(), raise.line);
  EXPECT_EQ(e.GetKind(), golden::kKindText);
}

// Sets the framework's resource module for one test.
class ScopedResourceHandle {
 public:
  explicit ScopedResourceHandle(plat::HModule module) : previous_(fw::GetResourceHandle()) {
    fw::SetResourceHandle(module);
  }
  ~ScopedResourceHandle() { fw::SetResourceHandle(previous_); }

 private:
  plat::HModule previous_;
};

// ---- Success ---------------------------------------------------------------------

TEST(ExtractFile, ReplacesAnExistingFileWithExactlyTheResourceBytes) {
  fake::FakeWindows win;
  win.files.PutFile(kPath, fake::Bytes(5000, 0xEE));
  win.resources.SetResource("EXE", 134, fake::ToBytes("MZ installer"));
  CResourcesExtractor::ExtractFile(kPath);
  ASSERT_TRUE(win.files.HasFile(kPath));
  EXPECT_EQ(win.files.File(kPath)->bytes, fake::ToBytes("MZ installer"));
  EXPECT_EQ(win.OpenHandleCount(), 0);
}

TEST(ExtractFile, DeletesThenReadsTheResourceThenWritesAndCloses) {
  fake::FakeWindows win;
  win.resources.SetResource("EXE", 134, fake::Bytes(10, 1));
  CResourcesExtractor::ExtractFile(kPath);
  EXPECT_EQ(
      win.calls.Among({"DeleteFileA", "FindResourceA", "LoadResource", "SizeofResource",
                       "LockResource", "CreateFileA", "WriteFile", "CloseHandle"}),
      (std::vector<std::string>{"DeleteFileA", "FindResourceA", "LoadResource", "SizeofResource",
                                "LockResource", "CreateFileA", "WriteFile", "CloseHandle"}));
}

TEST(ExtractFile, TakesTheResourceFromTheFrameworksResourceModule) {
  fake::FakeWindows win;
  win.resources.SetResource("EXE", 134, fake::Bytes(10, 1));
  {
    ScopedResourceHandle exe(win.libraries.ExeModule());
    CResourcesExtractor::ExtractFile(kPath);
    EXPECT_TRUE(win.files.HasFile(kPath));
  }
  {
    // Another module has no such resource.
    fake::Library& other = win.libraries.AddLibrary("C:\\windows\\system32", "other.dll");
    ScopedResourceHandle elsewhere(&other);
    ExpectRaise(ExtractExpectingFailure(kPath), golden::kNotFound,
                golden::Text(golden::kNotFound, 134));
  }
}

TEST(ExtractResource, WritesAnyTypeAndIdWithTheSameMessages) {
  fake::FakeWindows win;
  const char msi[] = "C:\\Users\\user\\AppData\\Local\\Temp\\BrannexLumentaSetup.msi";
  win.resources.SetResource("MSI", 130, fake::ToBytes("package"));
  CResourcesExtractor::ExtractResource(msi, "MSI", 130);
  ASSERT_NE(win.files.File(msi), nullptr);
  EXPECT_EQ(win.files.File(msi)->bytes, fake::ToBytes("package"));

  win.resources.RemoveResource("MSI", 130);
  try {
    CResourcesExtractor::ExtractResource(msi, "MSI", 130);
    ADD_FAILURE() << "no exception";
  } catch (const Error::KvExceptionText& e) {
    ExpectRaise(e, golden::kNotFound, golden::Text(golden::kNotFound, 130));
  }
}

// ---- Resource failures: no file ------------------------------------------------------

TEST(ExtractFileFailure, AMissingResourceIsLineNineAndLeavesNoFile) {
  fake::FakeWindows win;
  win.files.PutFile(kPath, fake::Bytes(3, 1));  // an old file goes anyway
  const Error::KvExceptionText e = ExtractExpectingFailure(kPath);
  ExpectRaise(e, golden::kNotFound, golden::Text(golden::kNotFound, 134));
  EXPECT_FALSE(win.files.HasFile(kPath));
  EXPECT_EQ(win.calls.Count("CreateFileA"), 0);
}

TEST(ExtractFileFailure, AResourceThatCannotBeLoadedIsLineEleven) {
  fake::FakeWindows win;
  win.resources.SetResource("EXE", 134, fake::Bytes(10, 1)).failLoad = true;
  const Error::KvExceptionText e = ExtractExpectingFailure(kPath);
  ExpectRaise(e, golden::kNotLoaded, golden::Text(golden::kNotLoaded, 134));
  EXPECT_FALSE(win.files.HasFile(kPath));
}

TEST(ExtractFileFailure, AnEmptyResourceIsLineThirteen) {
  fake::FakeWindows win;
  win.resources.SetResource("EXE", 134, fake::Bytes());
  const Error::KvExceptionText e = ExtractExpectingFailure(kPath);
  ExpectRaise(e, golden::kEmpty, golden::Text(golden::kEmpty, 134));
  EXPECT_FALSE(win.files.HasFile(kPath));
  EXPECT_EQ(win.calls.Count("CreateFileA"), 0);
}

// ---- Write failures: line 19 with the path -----------------------------------------------

TEST(ExtractFileFailure, AFolderThatDoesNotExistIsTheWriteFailureWithThePath) {
  fake::FakeWindows win;
  win.resources.SetResource("EXE", 134, fake::Bytes(10, 1));
  const char path[] = "C:\\no such folder\\dotNetFx40_Full_setup.exe";
  const Error::KvExceptionText e = ExtractExpectingFailure(path);
  ExpectRaise(e, golden::kWriteFailed, golden::Text(golden::kWriteFailed, path));
  EXPECT_FALSE(win.files.HasFile(path));
  EXPECT_EQ(win.OpenHandleCount(), 0);
}

TEST(ExtractFileFailure, AFileLockedOrReadOnlyKeepsItsContentAndIsTheWriteFailure) {
  for (const bool locked : {true, false}) {
    fake::FakeWindows win;
    win.resources.SetResource("EXE", 134, fake::Bytes(10, 1));
    fake::FakeFile& held = win.files.PutFile(kPath, fake::ToBytes("old"));
    (locked ? held.lockedByOther : held.readOnly) = true;
    const Error::KvExceptionText e = ExtractExpectingFailure(kPath);
    ExpectRaise(e, golden::kWriteFailed, golden::Text(golden::kWriteFailed, kPath));
    ASSERT_NE(win.files.File(kPath), nullptr) << locked;
    EXPECT_EQ(win.files.File(kPath)->bytes, fake::ToBytes("old")) << locked;
    EXPECT_EQ(win.calls.Count("WriteFile"), 0) << locked;
  }
}

TEST(ExtractFileFailure, AShortWriteIsTheWriteFailureAndTheFileIsClosed) {
  fake::FakeWindows win;
  win.resources.SetResource("EXE", 134, fake::Bytes(100, 1));
  win.files.maxWritePerCall = 60;
  const Error::KvExceptionText e = ExtractExpectingFailure(kPath);
  ExpectRaise(e, golden::kWriteFailed, golden::Text(golden::kWriteFailed, kPath));
  EXPECT_EQ(win.OpenHandleCount(), 0);
  EXPECT_EQ(win.calls.Count("CloseHandle"), 1);
  ASSERT_NE(win.files.File(kPath), nullptr);
  // What was written stays.
  EXPECT_EQ(win.files.File(kPath)->bytes.size(), 60u);
}

TEST(ExtractFileFailure, AResourceThatCannotBeLockedIsTheWriteFailure) {
  fake::FakeWindows win;
  win.resources.SetResource("EXE", 134, fake::Bytes(10, 1)).failLock = true;
  const Error::KvExceptionText e = ExtractExpectingFailure(kPath);
  ExpectRaise(e, golden::kWriteFailed, golden::Text(golden::kWriteFailed, kPath));
  EXPECT_EQ(win.calls.Count("WriteFile"), 0);
  EXPECT_EQ(win.OpenHandleCount(), 0);
}

TEST(ExtractFileFailure, TheRaisedFailureIsShownAsItsMessage) {
  fake::FakeWindows win;
  ExtractExpectingFailure(kPath).ShowError();
  ASSERT_EQ(win.calls.Args<fake::MessageBoxCall>().size(), 1u);
  EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>()[0].text, golden::Text(golden::kNotFound, 134));
  EXPECT_EQ(win.calls.Args<fake::MessageBoxCall>()[0].caption, golden::kErrorCaption);
}

}  // namespace
