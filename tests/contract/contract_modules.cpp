// The executable's own image and the libraries the program loads: its
// resources, its file name, the DLL search it restricts, the entries it looks
// up, the error mode it sets around the runtime shim, and the code page that
// its text helpers ask about.
#include <cstring>
#include <string>

#include "ContractWorld.h"

namespace contract {
namespace {

constexpr plat::DWord kResourceTypeNotFound = 1813;  // ERROR_RESOURCE_TYPE_NOT_FOUND
constexpr plat::DWord kResourceNameNotFound = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND
constexpr plat::DWord kInsufficientBuffer = 122;     // ERROR_INSUFFICIENT_BUFFER
constexpr plat::DWord kClassDoesNotExist = 1411;     // ERROR_CLASS_DOES_NOT_EXIST
constexpr plat::DWord kUntouched = 12345;

using Modules = Contract;

TEST_F(Modules, ResourceFoundByTypeNameInAnyCaseLoadedSizedAndLocked) {
  const plat::HModule self = plat::GetModuleHandleA(nullptr);
  ASSERT_NE(self, nullptr);
  for (const char* type : {kResourceType, "CTRDATA", "ctrdata"}) {
    const plat::HResInfo found =
        plat::FindResourceA(self, plat::MakeIntResource(kResourceId), type);
    ASSERT_NE(found, nullptr) << type;
    const plat::HGlobal loaded = plat::LoadResource(self, found);
    ASSERT_NE(loaded, nullptr) << type;
    const plat::DWord size = plat::SizeofResource(self, found);
    EXPECT_EQ(size, std::strlen(kResourceText)) << type;
    const void* bytes = plat::LockResource(loaded);
    ASSERT_NE(bytes, nullptr) << type;
    EXPECT_EQ(std::string(static_cast<const char*>(bytes), size), kResourceText) << type;
  }
}

TEST_F(Modules, MissingResourceNamesWhatIsMissing) {
  const plat::HModule self = plat::GetModuleHandleA(nullptr);
  struct Case {
    const char* name;
    std::uint16_t id;
    const char* type;
    plat::DWord lastError;
  } const cases[] = {
      {"id missing", static_cast<std::uint16_t>(kResourceId + 1), kResourceType,
       kResourceNameNotFound},
      {"type missing", kResourceId, "NoSuchType", kResourceTypeNotFound},
  };
  for (const Case& c : cases) {
    plat::SetLastError(kUntouched);
    EXPECT_EQ(plat::FindResourceA(self, plat::MakeIntResource(c.id), c.type), nullptr) << c.name;
    EXPECT_EQ(plat::GetLastError(), c.lastError) << c.name;
  }
}

TEST_F(Modules, ModuleFileNameWholeAndTruncated) {
  const std::string exe = world().ExePath();
  const plat::DWord length = static_cast<plat::DWord>(exe.size());
  char buffer[600];
  plat::SetLastError(kUntouched);
  EXPECT_EQ(plat::GetModuleFileNameA(nullptr, buffer, sizeof(buffer)), length);
  EXPECT_EQ(std::string(buffer), exe);
  EXPECT_EQ(plat::GetModuleFileNameA(plat::GetModuleHandleA(nullptr), buffer, sizeof(buffer)),
            length);

  // Too small, the terminator's place included: the size of the buffer comes
  // back, so that the caller can tell, with ERROR_INSUFFICIENT_BUFFER.
  // Windows since Vista cuts the text to end in a terminator; Windows XP, as
  // its documentation says, and Wine fill the buffer with the name's first
  // characters and no terminator. The in-memory Windows follows the later
  // systems; the program reads nothing of a name that did not fit.
  for (plat::DWord size : {1u, length / 2, length}) {
    std::memset(buffer, 'X', sizeof(buffer));
    plat::SetLastError(kUntouched);
    EXPECT_EQ(plat::GetModuleFileNameA(nullptr, buffer, size), size) << size;
    EXPECT_EQ(plat::GetLastError(), kInsufficientBuffer) << size;
    EXPECT_EQ(std::string(buffer, size - 1), exe.substr(0, size - 1)) << size;
    EXPECT_EQ(buffer[size - 1], world().UnderWine() ? exe[size - 1] : '\0') << size;
    EXPECT_EQ(buffer[size], 'X') << size;
  }
}

// The DLLs and entries the program looks up, loaded as it loads them.
struct Entry {
  const char* library;
  const char* name;
  std::uint16_t ordinal;  // 0: looked up by name only
};
const Entry kEntries[] = {
    {"msi.dll", "MsiEnumProductsA", plat::kMsiEnumProductsAOrdinal},
};

std::string SystemFolder() {
  char folder[260] = {};
  const plat::UInt length = plat::GetSystemDirectoryA(folder, sizeof(folder));
  EXPECT_GT(length, 0u);
  EXPECT_LT(length, sizeof(folder));
  return std::string(folder, length);
}

TEST_F(Modules, SystemLibraryByNameWithTheSearchFlagOrByFullPathWithoutFlags) {
  for (const Entry& e : kEntries) {
    const std::string fullPath = SystemFolder() + "\\" + e.library;
    struct Load {
      const char* how;
      std::string name;
      plat::DWord flags;
    } const loads[] = {
        {"system folder search", e.library, plat::kLoadLibrarySearchSystem32},
        {"full path", fullPath, 0},
    };
    for (const Load& l : loads) {
      SCOPED_TRACE(std::string(e.library) + ", " + l.how);
      const plat::HModule module = plat::LoadLibraryExA(l.name.c_str(), nullptr, l.flags);
      ASSERT_NE(module, nullptr);
      const plat::FarProc byName = plat::GetProcAddress(module, e.name);
      EXPECT_NE(byName, nullptr);
      if (e.ordinal != 0) {
        EXPECT_EQ(plat::GetProcAddress(module, plat::MakeIntResource(e.ordinal)), byName);
      }
      plat::SetLastError(kUntouched);
      EXPECT_EQ(plat::GetProcAddress(module, "NoSuchEntryAnywhere"), nullptr);
      EXPECT_EQ(plat::GetLastError(), plat::kErrorProcNotFound);

      // Unloading runs the library's own detach code, which may leave a last
      // error of its own although FreeLibrary succeeds: msi.dll's leaves
      // ERROR_CLASS_DOES_NOT_EXIST under Wine. Whoever needs the last error
      // of an earlier call keeps it across the free (KvLibrary does).
      plat::SetLastError(kUntouched);
      EXPECT_EQ(plat::FreeLibrary(module), 1);
      EXPECT_EQ(plat::GetLastError(), kClassDoesNotExist);
    }
  }
}

TEST_F(Modules, MissingLibraryIsModuleNotFound) {
  const std::string fullPath = SystemFolder() + "\\lumenta-contract-absent.dll";
  struct Load {
    const char* how;
    std::string name;
    plat::DWord flags;
  } const loads[] = {
      {"system folder search", "lumenta-contract-absent.dll", plat::kLoadLibrarySearchSystem32},
      {"full path", fullPath, 0},
  };
  for (const Load& l : loads) {
    plat::SetLastError(kUntouched);
    EXPECT_EQ(plat::LoadLibraryExA(l.name.c_str(), nullptr, l.flags), nullptr) << l.how;
    EXPECT_EQ(plat::GetLastError(), plat::kErrorModNotFound) << l.how;
  }
}

TEST_F(Modules, Kernel32IsLoadedAndHasTheSearchEntries) {
  const plat::HModule kernel32 = plat::GetModuleHandleA("kernel32.dll");
  ASSERT_NE(kernel32, nullptr);
  // Every system the suite runs on has them; the program copes without.
  for (const char* entry : {"AddDllDirectory", "SetDefaultDllDirectories", "SetDllDirectoryA"})
    EXPECT_NE(plat::GetProcAddress(kernel32, entry), nullptr) << entry;
  plat::SetLastError(kUntouched);
  EXPECT_EQ(plat::GetModuleHandleA("lumenta-contract-absent.dll"), nullptr);
  EXPECT_EQ(plat::GetLastError(), plat::kErrorModNotFound);
}

TEST_F(Modules, SetErrorModeGivesBackThePreviousMode) {
  const plat::UInt original = plat::SetErrorMode(plat::kSemFailCriticalErrors);
  EXPECT_EQ(plat::SetErrorMode(0), plat::kSemFailCriticalErrors);
  EXPECT_EQ(plat::SetErrorMode(original), 0u);
  EXPECT_EQ(plat::SetErrorMode(original), original);
}

TEST_F(Modules, LeadBytesAreThoseOfTheAnsiCodePage) {
  struct CodePage {
    unsigned number;
    bool (*isLead)(unsigned byte);
  } const pages[] = {
      {1252, [](unsigned) { return false; }},
      {1250, [](unsigned) { return false; }},
      {1251, [](unsigned) { return false; }},
      {932, [](unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }},
      {936, [](unsigned b) { return b >= 0x81 && b <= 0xFE; }},
      {949, [](unsigned b) { return b >= 0x81 && b <= 0xFE; }},
      {950, [](unsigned b) { return b >= 0x81 && b <= 0xFE; }},
  };
  const unsigned acp = world().AnsiCodePage();
  const CodePage* page = nullptr;
  for (const CodePage& p : pages)
    if (p.number == acp) page = &p;
  if (page == nullptr) GTEST_SKIP() << "code page " << acp << " is not in the table";
  for (unsigned b = 0; b < 256; ++b)
    EXPECT_EQ(plat::IsDBCSLeadByte(static_cast<std::uint8_t>(b)) != 0, page->isLead(b))
        << "byte " << b << " in code page " << acp;
}

}  // namespace
}  // namespace contract
