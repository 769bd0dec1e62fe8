// Files as the program writes them: the temporary folder's name, a file
// created with GENERIC_WRITE, FILE_SHARE_READ and CREATE_ALWAYS, written in
// pieces and closed, and the delete that clears the way first; and what
// another program that opens the file meanwhile (a virus scanner) is let do.
#include <string>

#include "ContractWorld.h"

namespace contract {
namespace {

constexpr plat::DWord kAlreadyExists = 183;  // ERROR_ALREADY_EXISTS
constexpr plat::DWord kUntouched = 12345;    // a last error no call here sets

plat::Handle CreateAsTheProgramDoes(const std::string& path) {
  return plat::CreateFileA(path.c_str(), plat::kGenericWrite, plat::kFileShareRead, nullptr,
                           plat::kCreateAlways, plat::kFileAttributeNormal, nullptr);
}

plat::Handle OpenExisting(const std::string& path, plat::DWord access, plat::DWord share) {
  return plat::CreateFileA(path.c_str(), access, share, nullptr, plat::kOpenExisting,
                           plat::kFileAttributeNormal, nullptr);
}

// A handle opened through the seam, closed when the case ends.
struct OpenedFile {
  plat::Handle handle = plat::InvalidHandleValue();
  explicit OpenedFile(plat::Handle h) : handle(h) {}
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;
  ~OpenedFile() { Close(); }
  bool Valid() const { return handle != plat::InvalidHandleValue() && handle != nullptr; }
  void Close() {
    if (Valid()) plat::CloseHandle(handle);
    handle = plat::InvalidHandleValue();
  }
};

// A kind of path the program may be given, made ready below the scratch
// folder: the create and the delete are each tried on every kind.
struct PathKind {
  const char* name;
  const char* below;  // the path below the scratch folder
  void (*prepare)(World&, const std::string& path);
};

constexpr PathKind kNoFile{"no file there", "\\absent.bin", nullptr};
constexpr PathKind kExistingFile{"existing file", "\\old.bin", [](World& w, const std::string& p) {
                                   w.MakeFile(p, "older and longer contents");
                                 }};
constexpr PathKind kFolderMissing{"folder missing", "\\NoSuchFolder\\file.bin", nullptr};
constexpr PathKind kAFolder{"a folder", "\\Folder",
                            [](World& w, const std::string& p) { w.MakeFolder(p); }};
constexpr PathKind kHeldFile{"held by another program", "\\held.bin",
                             [](World& w, const std::string& p) {
                               w.MakeFile(p, "held");
                               w.HoldWithoutSharing(p);
                             }};

// The full path of `kind`, made ready.
std::string Prepare(World& w, const PathKind& kind) {
  std::string path = w.Scratch() + kind.below;
  if (kind.prepare) kind.prepare(w, path);
  return path;
}

using Files = Contract;

TEST_F(Files, TempPathEndsInOneBackslashWhetherTheFolderExistsOrNot) {
  const std::string present = world().Scratch() + "\\Temp";
  world().MakeFolder(present);
  struct Case {
    const char* name;
    std::string named;  // as the environment gives it
    std::string path;   // as GetTempPathA gives it
  } const cases[] = {
      {"named without backslash", present, present + "\\"},
      {"named with backslash", present + "\\", present + "\\"},
      // The folder is not checked; the caller finds out when it writes.
      {"folder that does not exist", world().Scratch() + "\\Gone", world().Scratch() + "\\Gone\\"},
  };
  for (const Case& c : cases) {
    world().SetTempFolder(c.named);
    char buffer[300] = {};
    EXPECT_EQ(plat::GetTempPathA(sizeof(buffer), buffer), c.path.size()) << c.name;
    EXPECT_EQ(std::string(buffer), c.path) << c.name;
  }
}

TEST_F(Files, TempPathInABufferTooSmallGivesTheSizeNeeded) {
  const std::string named = world().Scratch() + "\\Temp\\";
  world().SetTempFolder(named);
  const plat::DWord length = static_cast<plat::DWord>(named.size());
  char buffer[300] = {};
  // One more than the length: the terminator's place.
  EXPECT_EQ(plat::GetTempPathA(length, buffer), length + 1);
  EXPECT_EQ(plat::GetTempPathA(1, buffer), length + 1);
  EXPECT_EQ(plat::GetTempPathA(length + 1, buffer), length);
  EXPECT_EQ(std::string(buffer), named);
}

TEST_F(Files, CreateAlwaysOnEachKindOfPath) {
  struct Case {
    const PathKind& kind;
    bool opens;
    plat::DWord lastError;
  } const cases[] = {
      {kNoFile, true, 0},
      {kExistingFile, true, kAlreadyExists},
      {kFolderMissing, false, plat::kErrorPathNotFound},
      {kAFolder, false, plat::kErrorAccessDenied},
      {kHeldFile, false, plat::kErrorSharingViolation},
  };
  for (const Case& c : cases) {
    const std::string path = Prepare(world(), c.kind);
    plat::SetLastError(kUntouched);
    OpenedFile file(CreateAsTheProgramDoes(path));
    EXPECT_EQ(file.Valid(), c.opens) << c.kind.name;
    EXPECT_EQ(plat::GetLastError(), c.lastError) << c.kind.name;
    if (!c.opens) continue;
    file.Close();
    // Replaced or new, the file is empty.
    EXPECT_EQ(world().ReadFile(path), std::string()) << c.kind.name;
  }
}

TEST_F(Files, SecondCreateWhileTheFirstHandleIsOpenIsASharingViolation) {
  const std::string path = world().Scratch() + "\\twice.bin";
  OpenedFile first(CreateAsTheProgramDoes(path));
  ASSERT_TRUE(first.Valid());
  OpenedFile second(CreateAsTheProgramDoes(path));
  EXPECT_FALSE(second.Valid());
  EXPECT_EQ(plat::GetLastError(), plat::kErrorSharingViolation);
}

// Sharing is checked both ways: the handle already open must share the new
// handle's access, and the new handle must share the open one's.
TEST_F(Files, AFileBeingWrittenOpensForReadingOnlyWhenBothHandlesShare) {
  constexpr plat::DWord kReadWrite = plat::kFileShareRead | plat::kFileShareWrite;
  struct Case {
    const char* name;
    plat::DWord writerShares;
    plat::DWord readerShares;
    bool opens;
  } const cases[] = {
      {"the writer shares reading, the reader writing", plat::kFileShareRead, kReadWrite, true},
      {"the writer shares nothing", 0, kReadWrite, false},
      {"the reader does not share writing", plat::kFileShareRead, plat::kFileShareRead, false},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string path = world().Scratch() + "\\shared" + std::to_string(n++) + ".bin";
    OpenedFile writer(plat::CreateFileA(path.c_str(), plat::kGenericWrite, c.writerShares, nullptr,
                                        plat::kCreateAlways, plat::kFileAttributeNormal, nullptr));
    ASSERT_TRUE(writer.Valid()) << c.name;
    plat::SetLastError(kUntouched);
    OpenedFile reader(OpenExisting(path, plat::kGenericRead, c.readerShares));
    EXPECT_EQ(reader.Valid(), c.opens) << c.name;
    if (!c.opens) {
      EXPECT_EQ(plat::GetLastError(), plat::kErrorSharingViolation) << c.name;
    }
  }
}

TEST_F(Files, AHandleOpenedForReadingDoesNotWrite) {
  const std::string path = world().Scratch() + "\\read.bin";
  world().MakeFile(path, "kept");
  OpenedFile reader(OpenExisting(path, plat::kGenericRead, plat::kFileShareRead));
  ASSERT_TRUE(reader.Valid());
  plat::DWord written = 0xDEAD;
  EXPECT_EQ(plat::WriteFile(reader.handle, "x", 1, &written, nullptr), 0);
  EXPECT_EQ(plat::GetLastError(), plat::kErrorAccessDenied);
  EXPECT_EQ(written, 0u);
  reader.Close();
  EXPECT_EQ(world().ReadFile(path), "kept");
}

TEST_F(Files, WriteFileCountsEveryByteAndTheFileHoldsThemInOrder) {
  const std::string path = world().Scratch() + "\\written.bin";
  OpenedFile file(CreateAsTheProgramDoes(path));
  ASSERT_TRUE(file.Valid());
  std::string expected;
  for (plat::DWord size : {0u, 1u, 4096u, 65539u}) {
    std::string piece(size, '\0');
    for (plat::DWord i = 0; i < size; ++i) piece[i] = static_cast<char>('a' + (i + size) % 26);
    plat::DWord written = 0xDEAD;
    EXPECT_EQ(plat::WriteFile(file.handle, piece.data(), size, &written, nullptr), 1) << size;
    EXPECT_EQ(written, size);
    expected += piece;
  }
  plat::SetLastError(kUntouched);
  EXPECT_EQ(plat::CloseHandle(file.handle), 1);
  file.handle = plat::InvalidHandleValue();
  EXPECT_EQ(plat::GetLastError(), kUntouched);
  EXPECT_EQ(world().ReadFile(path), expected);
}

TEST_F(Files, DeleteOnEachKindOfPath) {
  struct Case {
    const PathKind& kind;
    bool deletes;
    plat::DWord lastError;
  } const cases[] = {
      {kExistingFile, true, kUntouched},
      {kNoFile, false, plat::kErrorFileNotFound},
      {kFolderMissing, false, plat::kErrorPathNotFound},
      {kAFolder, false, plat::kErrorAccessDenied},
      {kHeldFile, false, plat::kErrorSharingViolation},
  };
  for (const Case& c : cases) {
    const std::string path = Prepare(world(), c.kind);
    plat::SetLastError(kUntouched);
    EXPECT_EQ(plat::DeleteFileA(path.c_str()), c.deletes ? 1 : 0) << c.kind.name;
    EXPECT_EQ(plat::GetLastError(), c.lastError) << c.kind.name;
    if (c.deletes) {
      EXPECT_FALSE(world().ReadFile(path).has_value()) << c.kind.name;
    }
  }
}

TEST_F(Files, DeleteWhileThisProgramHoldsTheFileOpenIsASharingViolation) {
  const std::string path = world().Scratch() + "\\open.bin";
  OpenedFile file(CreateAsTheProgramDoes(path));
  ASSERT_TRUE(file.Valid());
  EXPECT_EQ(plat::DeleteFileA(path.c_str()), 0);
  EXPECT_EQ(plat::GetLastError(), plat::kErrorSharingViolation);
  file.Close();
  EXPECT_EQ(plat::DeleteFileA(path.c_str()), 1);
}

}  // namespace
}  // namespace contract
