#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>
#include <string>

#include "source_info/FreewareProductsContainer.h"

namespace {

TagProductID Id(std::int64_t value) { return static_cast<TagProductID>(value); }

TEST(FreewareProducts, ThisProductsKeyName) {
  const CFreewareProductsContainer products;
  EXPECT_EQ(products.GetProductKeyName(Id(0x1000E)), "Freeware - Lumenta");
}

TEST(FreewareProducts, FullTableOfDistinctNames) {
  const CFreewareProductsContainer products;
  ASSERT_EQ(products.size(), 21u);
  EXPECT_EQ(products.begin()->first, 0x10001);
  EXPECT_EQ(products.rbegin()->first, 0x10015);

  std::set<std::string> names;
  std::int32_t expected = 0x10001;
  for (const auto& [id, name] : products) {
    EXPECT_EQ(id, expected++);
    EXPECT_EQ(name.rfind("Freeware - ", 0), 0u) << name;
    EXPECT_GT(name.size(), std::string("Freeware - ").size()) << name;
    EXPECT_EQ(products.GetProductKeyName(id), name);
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 21u);
}

// Unknown identifiers on both sides of the table and between its edges give
// empty text and leave the table as it was.
TEST(FreewareProducts, UnknownIdentifierGivesEmptyTextAndAddsNoRow) {
  CFreewareProductsContainer products;
  for (std::int64_t value :
       {std::int64_t{0}, std::int64_t{0x10000}, std::int64_t{0x10016}, std::int64_t{-1},
        std::int64_t{std::numeric_limits<std::int32_t>::min()},
        std::int64_t{std::numeric_limits<std::int32_t>::max()}}) {
    EXPECT_EQ(products.GetProductKeyName(Id(value)), "") << value;
    EXPECT_EQ(products.size(), 21u) << value;
    EXPECT_EQ(products.count(Id(value)), 0u) << value;
  }
}

}  // namespace
