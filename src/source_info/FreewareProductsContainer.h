// The maker's free products and the registry subkey name of each, below the
// maker's key: "Freeware - " followed by the product's short name.
#pragma once

#include <cstdint>
#include <map>
#include <string>

// Identifiers of the maker's products, 0x10001 to 0x10015.
enum TagProductID : std::int32_t {
  ProductIdSnipmark = 0x10001,
  ProductIdTallywise = 0x10002,
  ProductIdPagequill = 0x10003,
  ProductIdColorfold = 0x10004,
  ProductIdTuneloft = 0x10005,
  ProductIdClockleaf = 0x10006,
  ProductIdSortbin = 0x10007,
  ProductIdZipcradle = 0x10008,
  ProductIdNotegrove = 0x10009,
  ProductIdFramepick = 0x1000A,
  ProductIdDayledger = 0x1000B,
  ProductIdGlyphcase = 0x1000C,
  ProductIdEchotape = 0x1000D,
  ProductIdLumenta = 0x1000E,
  ProductIdMaplet = 0x1000F,
  ProductIdScanlark = 0x10010,
  ProductIdWordkiln = 0x10011,
  ProductIdDiskwren = 0x10012,
  ProductIdFilebrook = 0x10013,
  ProductIdPixelwren = 0x10014,
  ProductIdTaskmoss = 0x10015,
};

// The full table, one row per identifier, in ascending order of the
// identifier. Every operation of the map is open to its users.
class CFreewareProductsContainer : public std::map<TagProductID, std::string> {
 public:
  // Builds all 21 rows. Throws std::bad_alloc when memory runs out; the rows
  // built so far are released then.
  CFreewareProductsContainer();
  CFreewareProductsContainer(const CFreewareProductsContainer&) = default;
  CFreewareProductsContainer& operator=(const CFreewareProductsContainer&) = default;
  virtual ~CFreewareProductsContainer();

  // The subkey name of the product, or empty text for an identifier that has
  // no row. Never adds a row, unlike operator[].
  std::string GetProductKeyName(TagProductID id) const;
};
