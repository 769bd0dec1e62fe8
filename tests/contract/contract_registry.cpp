// The registry as the program uses it: keys under HKLM created, opened and
// queried in a named view (KEY_WOW64_32KEY, KEY_WOW64_64KEY) or in none,
// values of the types it writes and reads, buffers of fixed size.
#include <cstring>
#include <string>
#include <vector>

#include "ContractWorld.h"

namespace contract {
namespace {

plat::DWord FlagOf(View view) {
  return view == View::k32 ? plat::kKeyWow64_32Key : plat::kKeyWow64_64Key;
}
const char* NameOf(View view) { return view == View::k32 ? "32-bit view" : "64-bit view"; }

// A key opened through the seam, closed when the case ends.
struct OpenedKey {
  plat::HKey handle = nullptr;
  OpenedKey() = default;
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;
  ~OpenedKey() {
    if (handle != nullptr) plat::RegCloseKey(handle);
  }
};

class Registry : public Contract {
 protected:
  std::string Path(const std::string& subKey) { return world().RegistryBase() + "\\" + subKey; }

  plat::Long Open(const std::string& subKey, plat::DWord sam, OpenedKey& key) {
    return plat::RegOpenKeyExA(plat::HKeyLocalMachine(), Path(subKey).c_str(), 0, sam, &key.handle);
  }
};

const plat::Long kSuccess = 0;
const plat::Long kNotFound = static_cast<plat::Long>(plat::kErrorFileNotFound);
const plat::Long kMoreData = static_cast<plat::Long>(plat::kErrorMoreData);

struct TypedValue {
  const char* name;
  plat::DWord type;
  std::string bytes;
};
const TypedValue kTypedValues[] = {
    {"Text", plat::kRegSz, std::string("4.0.30319\0", 10)},  // with its NUL, as the program writes
    {"Flag", plat::kRegDword, std::string("\x01\x00\x00\x00", 4)},
    {"Bytes", plat::kRegBinary, std::string("\x00\xff\x10\x80", 4)},
};

TEST_F(Registry, ValuesWrittenThroughAViewLandInThatViewOnlyWithTheirTypes) {
  for (View view : {View::k32, View::k64}) {
    SCOPED_TRACE(NameOf(view));
    // Keys on the way to it do not exist yet: creating makes them all.
    const std::string subKey = std::string("Made\\In ") + NameOf(view) + "\\Leaf";
    OpenedKey key;
    plat::DWord disposition = 0;
    ASSERT_EQ(plat::RegCreateKeyExA(plat::HKeyLocalMachine(), Path(subKey).c_str(), 0, nullptr,
                                    plat::kRegOptionNonVolatile, plat::kKeyWrite | FlagOf(view),
                                    nullptr, &key.handle, &disposition),
              kSuccess);
    EXPECT_EQ(disposition, 1u);  // REG_CREATED_NEW_KEY
    for (const TypedValue& v : kTypedValues) {
      EXPECT_EQ(plat::RegSetValueExA(key.handle, v.name, 0, v.type,
                                     reinterpret_cast<const std::uint8_t*>(v.bytes.data()),
                                     static_cast<plat::DWord>(v.bytes.size())),
                kSuccess)
          << v.name;
      const std::optional<StoredValue> stored = world().ValueIn(view, subKey, v.name);
      ASSERT_TRUE(stored.has_value()) << v.name;
      EXPECT_EQ(stored->type, v.type) << v.name;
      EXPECT_EQ(stored->bytes, v.bytes) << v.name;
      const View other = view == View::k32 ? View::k64 : View::k32;
      if (world().SeparateViews()) {
        EXPECT_FALSE(world().ValueIn(other, subKey, v.name).has_value()) << v.name;
      }
    }

    // Creating it again opens what is there.
    OpenedKey again;
    ASSERT_EQ(plat::RegCreateKeyExA(plat::HKeyLocalMachine(), Path(subKey).c_str(), 0, nullptr,
                                    plat::kRegOptionNonVolatile, plat::kKeyWrite | FlagOf(view),
                                    nullptr, &again.handle, &disposition),
              kSuccess);
    EXPECT_EQ(disposition, 2u);  // REG_OPENED_EXISTING_KEY
  }
}

TEST_F(Registry, QueryGivesTypeSizeAndBytesOfEachType) {
  for (View view : {View::k32, View::k64}) {
    SCOPED_TRACE(NameOf(view));
    for (const TypedValue& v : kTypedValues)
      world().PutValue(view, "Typed", v.name, v.type, v.bytes);
    OpenedKey key;
    ASSERT_EQ(Open("Typed", plat::kKeyRead | FlagOf(view), key), kSuccess);
    for (const TypedValue& v : kTypedValues) {
      plat::DWord type = 0;
      std::uint8_t buffer[64] = {};
      plat::DWord size = sizeof(buffer);
      ASSERT_EQ(plat::RegQueryValueExA(key.handle, v.name, nullptr, &type, buffer, &size), kSuccess)
          << v.name;
      EXPECT_EQ(type, v.type) << v.name;
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer), size), v.bytes) << v.name;
    }
  }
}

TEST_F(Registry, BufferSizesAgainstAValueOfTenBytes) {
  struct Case {
    const char* name;
    bool withBuffer;
    plat::DWord size;
    plat::Long status;
    plat::DWord sizeAfter;
  } const cases[] = {
      {"no buffer: the size only", false, 0, kSuccess, 10},
      {"longer than the buffer", true, 4, kMoreData, 10},
      {"one byte short", true, 9, kMoreData, 10},
      {"exactly the buffer", true, 10, kSuccess, 10},
      {"shorter than the buffer", true, 50, kSuccess, 10},
  };
  // A text with its terminator, as the program and the framework's setup
  // write them, and bytes.
  for (plat::DWord type : {plat::kRegBinary, plat::kRegSz}) {
    const std::string bytes = type == plat::kRegSz ? std::string("012345678\0", 10) : "0123456789";
    world().PutValue(View::k32, "Sizes", "Value", type, bytes);
    OpenedKey key;
    ASSERT_EQ(Open("Sizes", plat::kKeyRead | plat::kKeyWow64_32Key, key), kSuccess);
    for (const Case& c : cases) {
      std::vector<std::uint8_t> buffer(64, 0xEE);
      plat::DWord size = c.size;
      plat::DWord gotType = 0;
      EXPECT_EQ(plat::RegQueryValueExA(key.handle, "Value", nullptr, &gotType,
                                       c.withBuffer ? buffer.data() : nullptr, &size),
                c.status)
          << c.name << ", type " << type;
      EXPECT_EQ(size, c.sizeAfter) << c.name << ", type " << type;
      EXPECT_EQ(gotType, type) << c.name << ", type " << type;
      if (c.status == kSuccess && c.withBuffer) {
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 10), bytes) << c.name;
        // Nothing past the value is written.
        EXPECT_EQ(buffer[10], 0xEE) << c.name << ", type " << type;
      }
    }
  }
}

TEST_F(Registry, TextStoredWithoutTerminatorIsGivenAsStored) {
  // RegQueryValueExA documents that a REG_SZ value may have been stored
  // without its terminator and is then given without one: the size is the
  // stored size. Wine adds a terminator and counts it. The in-memory Windows
  // follows Windows; the program never writes such a value and reads into a
  // buffer larger than any it accepts.
  world().PutValue(View::k32, "Unended", "Version", plat::kRegSz, "4.0.30319");
  OpenedKey key;
  ASSERT_EQ(Open("Unended", plat::kKeyRead, key), kSuccess);
  plat::DWord size = 0;
  EXPECT_EQ(plat::RegQueryValueExA(key.handle, "Version", nullptr, nullptr, nullptr, &size),
            kSuccess);
  EXPECT_EQ(size, world().UnderWine() ? 10u : 9u);
}

TEST_F(Registry, MissingKeyAndMissingValue) {
  world().PutValue(View::k32, "Present", "Here", plat::kRegDword, std::string(4, '\0'));
  OpenedKey missing;
  EXPECT_EQ(Open("Absent", plat::kKeyRead, missing), kNotFound);
  EXPECT_EQ(Open("Present\\Absent", plat::kKeyRead, missing), kNotFound);

  OpenedKey key;
  ASSERT_EQ(Open("Present", plat::kKeyRead, key), kSuccess);
  std::uint8_t buffer[8] = {};
  plat::DWord size = sizeof(buffer);
  plat::DWord type = 0;
  EXPECT_EQ(plat::RegQueryValueExA(key.handle, "Gone", nullptr, &type, buffer, &size), kNotFound);
}

TEST_F(Registry, KeyInOneViewOnlyIsMissingInTheOtherAndWithoutAFlag) {
  if (!world().SeparateViews()) GTEST_SKIP() << "one registry: both views are the same";
  world().PutValue(View::k64, "Only64", "Install", plat::kRegDword, std::string("\x01\0\0\0", 4));
  world().PutValue(View::k32, "Only32", "Install", plat::kRegDword, std::string("\x01\0\0\0", 4));
  struct Case {
    const char* subKey;
    plat::DWord flag;
    plat::Long status;
  } const cases[] = {
      {"Only64", plat::kKeyWow64_64Key, kSuccess},
      {"Only64", plat::kKeyWow64_32Key, kNotFound},
      // A 32-bit program that names no view is given the 32-bit one.
      {"Only64", 0, kNotFound},
      {"Only32", plat::kKeyWow64_32Key, kSuccess},
      {"Only32", plat::kKeyWow64_64Key, kNotFound},
      {"Only32", 0, kSuccess},
  };
  for (const Case& c : cases) {
    OpenedKey key;
    EXPECT_EQ(Open(c.subKey, plat::kKeyRead | c.flag, key), c.status)
        << c.subKey << " with flag " << c.flag;
  }
}

TEST_F(Registry, SuccessfulCloseKeepsTheThreadsLastError) {
  world().PutValue(View::k32, "Closing", "V", plat::kRegDword, std::string(4, '\0'));
  OpenedKey key;
  ASSERT_EQ(Open("Closing", plat::kKeyRead, key), kSuccess);
  plat::SetLastError(12345);
  EXPECT_EQ(plat::RegCloseKey(key.handle), kSuccess);
  key.handle = nullptr;
  EXPECT_EQ(plat::GetLastError(), 12345u);
}

}  // namespace
}  // namespace contract
