#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "fake/FakeWindows.h"
#include "framework/WinApp.h"
#include "platform/Platform.h"
#include "source_info/DownloadInfo.h"
#include "test_base64_reference.h"

namespace {

const char kProduct[] = "Freeware - Lumenta";
const char kKey[] = "Software\\Brannex\\Freeware - Lumenta";

// The note as built: 92 code units, 184 bytes.
const char kNoteText[] =
    "<Kv><CampaignID/><Referrer>get.lumenta.brannex-downloads.example</Referrer><InputSite/></Kv>";

fake::Bytes Utf16(const std::string& ascii) {
  fake::Bytes out;
  for (char c : ascii) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(0);
  }
  return out;
}

fake::Bytes Note() { return Utf16(kNoteText); }

// Bytes of the given count, every one different from its neighbours.
fake::Bytes Counting(std::size_t n) {
  fake::Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return out;
}

struct ScopedResourceHandle {
  explicit ScopedResourceHandle(plat::HModule module) : previous(fw::GetResourceHandle()) {
    fw::SetResourceHandle(module);
  }
  ~ScopedResourceHandle() { fw::SetResourceHandle(previous); }
  plat::HModule previous;
};

struct DownloadInfo : ::testing::Test {
  fake::FakeWindows win;

  // The value as stored: its text without the NUL, after checking that it
  // is REG_SZ and ends with exactly one NUL.
  std::string Stored(fake::View view) const {
    const auto value = win.registry.GetValue(view, kKey, "SourceInfo");
    if (!value) return "<none>";
    EXPECT_EQ(value->type, plat::kRegSz);
    EXPECT_FALSE(value->data.empty());
    if (value->data.empty()) return "<empty>";
    EXPECT_EQ(value->data.back(), 0);
    std::string text(value->data.begin(), value->data.end() - 1);
    EXPECT_EQ(text.find('\0'), std::string::npos);
    return text;
  }

  // Loads and saves the resource's content through a new record.
  void Record() {
    CDownloadInfo info(kProduct);
    info.LoadFromResource();
    info.SaveToRegistry();
  }

  // Fails the registry calls of one operation in one view with the given status.
  void FailIn(const std::string& op, fake::View view, plat::Long status = 5) {
    win.registry.fault = [=](const fake::RegRequest& r) -> plat::Long {
      return r.op == op && r.view == view ? status : 0;
    };
  }

  // The registry requests as "op view sam path" or "op view value name".
  std::vector<std::string> Requests() const {
    std::vector<std::string> out;
    for (const fake::RegRequest& r : win.calls.Args<fake::RegRequest>()) {
      std::string line = r.op + (r.view == fake::View::k32 ? " 32 " : " 64 ");
      char sam[16];
      static_cast<void>(std::snprintf(sam, sizeof sam, "0x%X", static_cast<unsigned>(r.sam)));
      line += r.op == "RegSetValueExA" ? r.valueName : sam + (" " + r.path);
      out.push_back(line);
    }
    return out;
  }

  std::vector<std::string> RegCalls() const {
    return win.calls.Among({"RegCreateKeyExA", "RegOpenKeyExA", "RegSetValueExA", "RegCloseKey"});
  }
};

// ---- Reading the note ------------------------------------------------------------

TEST_F(DownloadInfo, NoResourceLeavesTheTextEmptyAndTouchesNoKey) {
  win.resources.SetResource("KvR", 11, Note());  // a neighbour is not the note
  win.resources.SetResource("EXE", 10, Note());
  CDownloadInfo info(kProduct);
  info.LoadFromResource();
  EXPECT_EQ(info.GetEncodedInfo(), "");
  info.SaveToRegistry();
  EXPECT_TRUE(win.calls.Args<fake::RegRequest>().empty());
  EXPECT_FALSE(win.registry.KeyExists(fake::View::k32, kKey));
  EXPECT_FALSE(win.registry.KeyExists(fake::View::k64, kKey));
}

TEST_F(DownloadInfo, OneByteResourceIsAnEmptyTextAndNothingIsWritten) {
  win.resources.SetResource("KvR", 10, fake::Bytes{0x41});
  Record();
  EXPECT_TRUE(win.calls.Args<fake::RegRequest>().empty());
}

TEST_F(DownloadInfo, OddLastByteIsNeitherKeptNorEncoded) {
  fake::Bytes bytes = Note();
  win.resources.SetResource("KvR", 10, bytes);
  Record();
  const std::string even = Stored(fake::View::k32);

  bytes.push_back(0x5A);
  ASSERT_EQ(bytes.size(), 185u);
  win.resources.SetResource("KvR", 10, bytes);
  Record();
  EXPECT_EQ(Stored(fake::View::k32), even);
  EXPECT_EQ(base64_reference::Check(bytes.data(), 184, 0, Stored(fake::View::k32)), "");
}

TEST_F(DownloadInfo, NulCodeUnitsAreKeptAndEncoded) {
  win.resources.SetResource("KvR", 10, fake::Bytes{'a', 0, 0, 0, 'b', 0});
  CDownloadInfo info(kProduct);
  info.LoadFromResource();
  EXPECT_EQ(info.GetEncodedInfo(), "YQAAAGIA");
}

// A failed read keeps what was read before; a read that gets through all four
// calls replaces it, even with nothing (a 1-byte resource).
TEST_F(DownloadInfo, FailedReadKeepsTheFormerText) {
  const struct {
    const char* what;
    void (*spoil)(fake::FakeWindows&);
  } failures[] = {
      {"missing", [](fake::FakeWindows& w) { w.resources.RemoveResource("KvR", 10); }},
      {"not loaded",
       [](fake::FakeWindows& w) {
         w.resources.SetResource("KvR", 10, Utf16("x")).failLoad = true;
       }},
      {"empty", [](fake::FakeWindows& w) { w.resources.SetResource("KvR", 10, {}); }},
      {"not locked",
       [](fake::FakeWindows& w) {
         w.resources.SetResource("KvR", 10, Utf16("x")).failLock = true;
       }},
  };
  for (const auto& f : failures) {
    win.resources.SetResource("KvR", 10, Utf16("ab"));
    CDownloadInfo info(kProduct);
    info.LoadFromResource();
    ASSERT_EQ(info.GetEncodedInfo(), "YQBiAA==");
    f.spoil(win);
    info.LoadFromResource();
    EXPECT_EQ(info.GetEncodedInfo(), "YQBiAA==") << f.what;
  }

  win.resources.SetResource("KvR", 10, Utf16("ab"));
  CDownloadInfo info(kProduct);
  info.LoadFromResource();
  win.resources.SetResource("KvR", 10, fake::Bytes{0x41});
  info.LoadFromResource();
  EXPECT_EQ(info.GetEncodedInfo(), "");
}

// Each resource call is made only once the one before it has succeeded.
TEST_F(DownloadInfo, ResourceCallsStopAtTheFirstFailure) {
  const std::set<std::string> resourceCalls{"FindResourceA", "LoadResource", "SizeofResource",
                                            "LockResource"};
  const std::vector<std::string> all{"FindResourceA", "LoadResource", "SizeofResource",
                                     "LockResource"};
  const auto callsFor = [&](std::size_t made) {
    return std::vector<std::string>(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(made));
  };
  const auto read = [&] {
    win.calls.Clear();
    CDownloadInfo(kProduct).LoadFromResource();
    return win.calls.Among(resourceCalls);
  };
  EXPECT_EQ(read(), callsFor(1));
  win.resources.SetResource("KvR", 10, Utf16("x")).failLoad = true;
  EXPECT_EQ(read(), callsFor(2));
  win.resources.SetResource("KvR", 10, {});
  EXPECT_EQ(read(), callsFor(3));
  win.resources.SetResource("KvR", 10, Utf16("x")).failLock = true;
  EXPECT_EQ(read(), callsFor(4));
}

TEST_F(DownloadInfo, ReadsFromTheFrameworksResourceModule) {
  win.resources.SetResource("KvR", 10, Note());
  {
    ScopedResourceHandle exe(win.libraries.ExeModule());
    CDownloadInfo info(kProduct);
    info.LoadFromResource();
    EXPECT_NE(info.GetEncodedInfo(), "");
  }
  {
    fake::Library& other = win.libraries.AddLibrary("C:\\windows\\system32", "other.dll");
    ScopedResourceHandle elsewhere(&other);
    CDownloadInfo info(kProduct);
    info.LoadFromResource();
    EXPECT_EQ(info.GetEncodedInfo(), "");
  }
}

// ---- The key path ------------------------------------------------------------------

TEST_F(DownloadInfo, KeyPathInsertsTheNameUnchanged) {
  EXPECT_EQ(CDownloadInfo(kProduct).GetRegistryKeyPath(), kKey);
  EXPECT_EQ(CDownloadInfo("100% %s\\sub").GetRegistryKeyPath(), "Software\\Brannex\\100% %s\\sub");
  EXPECT_EQ(CDownloadInfo("").GetRegistryKeyPath(), "Software\\Brannex\\");
}

// ---- Writing the record ------------------------------------------------------------------

// The note as built: three lines of 76, each with CR LF, and 20 characters
// ending in "=="; 255 bytes with the NUL. 32-bit view first, with one holder:
// the first key is closed once the second is open, before the second value.
TEST_F(DownloadInfo, BothViewsGetTheSameValueThirtyTwoBitFirst) {
  const fake::Bytes note = Note();
  ASSERT_EQ(note.size(), 184u);
  win.resources.SetResource("KvR", 10, note);
  Record();

  const std::string text = Stored(fake::View::k32);
  EXPECT_EQ(text.size(), 254u);
  EXPECT_EQ(base64_reference::Check(note.data(), note.size(), 0, text), "");
  for (std::size_t end : {76u, 154u, 232u}) EXPECT_EQ(text.substr(end, 2), "\r\n") << end;
  EXPECT_EQ(text.substr(234).size(), 20u);
  EXPECT_EQ(text.substr(252), "==");
  EXPECT_EQ(Stored(fake::View::k64), text);

  EXPECT_EQ(Requests(), (std::vector<std::string>{
                            "RegCreateKeyExA 32 0x20206 Software\\Brannex\\Freeware - Lumenta",
                            "RegSetValueExA 32 SourceInfo",
                            "RegCreateKeyExA 64 0x20106 Software\\Brannex\\Freeware - Lumenta",
                            "RegSetValueExA 64 SourceInfo"}));
  EXPECT_EQ(RegCalls(),
            (std::vector<std::string>{"RegCreateKeyExA", "RegSetValueExA", "RegCreateKeyExA",
                                      "RegCloseKey", "RegSetValueExA", "RegCloseKey"}));
  EXPECT_EQ(win.registry.OpenKeyCount(), 0);
}

TEST_F(DownloadInfo, WholeLinesOf57BytesEndWithCrLf) {
  const fake::Bytes bytes = Counting(114);
  win.resources.SetResource("KvR", 10, bytes);
  Record();
  const std::string text = Stored(fake::View::k64);
  EXPECT_EQ(text.size(), 156u);
  EXPECT_EQ(text.substr(76, 2), "\r\n");
  EXPECT_EQ(text.substr(154), "\r\n");
  EXPECT_EQ(base64_reference::Check(bytes.data(), bytes.size(), 0, text), "");
}

TEST_F(DownloadInfo, ThirtyTwoBitViewRefusedOnlyTheSixtyFourBitViewIsWritten) {
  win.resources.SetResource("KvR", 10, Note());
  FailIn("RegCreateKeyExA", fake::View::k32);
  Record();
  EXPECT_FALSE(win.registry.KeyExists(fake::View::k32, kKey));
  EXPECT_EQ(Stored(fake::View::k64).size(), 254u);
  EXPECT_EQ(RegCalls(), (std::vector<std::string>{"RegCreateKeyExA", "RegCreateKeyExA",
                                                  "RegSetValueExA", "RegCloseKey"}));
  EXPECT_EQ(win.registry.OpenKeyCount(), 0);
}

// The first key stays with the holder until the end.
TEST_F(DownloadInfo, SixtyFourBitViewRefusedOnlyTheThirtyTwoBitViewIsWritten) {
  win.resources.SetResource("KvR", 10, Note());
  FailIn("RegCreateKeyExA", fake::View::k64);
  Record();
  EXPECT_EQ(Stored(fake::View::k32).size(), 254u);
  EXPECT_FALSE(win.registry.KeyExists(fake::View::k64, kKey));
  EXPECT_EQ(RegCalls(), (std::vector<std::string>{"RegCreateKeyExA", "RegSetValueExA",
                                                  "RegCreateKeyExA", "RegCloseKey"}));
  EXPECT_EQ(win.registry.OpenKeyCount(), 0);
}

TEST_F(DownloadInfo, AFailedSetDoesNotStopTheOtherView) {
  win.resources.SetResource("KvR", 10, Note());
  FailIn("RegSetValueExA", fake::View::k32);
  Record();
  EXPECT_EQ(win.registry.GetValue(fake::View::k32, kKey, "SourceInfo"), std::nullopt);
  EXPECT_EQ(Stored(fake::View::k64).size(), 254u);
  EXPECT_EQ(win.registry.OpenKeyCount(), 0);
}

// 32-bit Windows: both access flags address the one registry, whose key gets
// the same data twice.
TEST_F(DownloadInfo, SingleRegistryGetsTheSameValueTwice) {
  win.registry.singleRegistry = true;
  win.resources.SetResource("KvR", 10, Note());
  Record();
  EXPECT_EQ(win.calls.Count("RegSetValueExA"), 2);
  const std::string text = Stored(fake::View::k32);
  EXPECT_EQ(text.size(), 254u);
  EXPECT_EQ(Stored(fake::View::k64), text);
  EXPECT_EQ(win.registry.OpenKeyCount(), 0);
}

// An exception while a key is open (memory exhaustion inside the registry
// call stands in for any) leaves through the holder, which closes the key.
TEST_F(DownloadInfo, ExceptionWhileAKeyIsOpenClosesIt) {
  for (fake::View view : {fake::View::k32, fake::View::k64}) {
    win.calls.Clear();
    win.resources.SetResource("KvR", 10, Note());
    win.registry.fault = [view](const fake::RegRequest& r) -> plat::Long {
      if (r.op == "RegSetValueExA" && r.view == view) throw std::bad_alloc();
      return 0;
    };
    CDownloadInfo info(kProduct);
    info.LoadFromResource();
    EXPECT_THROW(info.SaveToRegistry(), std::bad_alloc);
    EXPECT_EQ(win.registry.OpenKeyCount(), 0) << static_cast<int>(view);
    EXPECT_EQ(win.calls.Count("RegCloseKey"), view == fake::View::k32 ? 1 : 2);
  }
}

}  // namespace
