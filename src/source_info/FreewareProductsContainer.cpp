#include "source_info/FreewareProductsContainer.h"

namespace {

struct ProductRow {
  TagProductID id;
  const char* keyName;
};

constexpr ProductRow kProducts[] = {
    {ProductIdSnipmark, "Freeware - Snipmark"},   {ProductIdTallywise, "Freeware - Tallywise"},
    {ProductIdPagequill, "Freeware - Pagequill"}, {ProductIdColorfold, "Freeware - Colorfold"},
    {ProductIdTuneloft, "Freeware - Tuneloft"},   {ProductIdClockleaf, "Freeware - Clockleaf"},
    {ProductIdSortbin, "Freeware - Sortbin"},     {ProductIdZipcradle, "Freeware - Zipcradle"},
    {ProductIdNotegrove, "Freeware - Notegrove"}, {ProductIdFramepick, "Freeware - Framepick"},
    {ProductIdDayledger, "Freeware - Dayledger"}, {ProductIdGlyphcase, "Freeware - Glyphcase"},
    {ProductIdEchotape, "Freeware - Echotape"},   {ProductIdLumenta, "Freeware - Lumenta"},
    {ProductIdMaplet, "Freeware - Maplet"},       {ProductIdScanlark, "Freeware - Scanlark"},
    {ProductIdWordkiln, "Freeware - Wordkiln"},   {ProductIdDiskwren, "Freeware - Diskwren"},
    {ProductIdFilebrook, "Freeware - Filebrook"}, {ProductIdPixelwren, "Freeware - Pixelwren"},
    {ProductIdTaskmoss, "Freeware - Taskmoss"},
};

}  // namespace

CFreewareProductsContainer::CFreewareProductsContainer() {
  for (const ProductRow& row : kProducts) (*this)[row.id] = row.keyName;
}

CFreewareProductsContainer::~CFreewareProductsContainer() = default;

std::string CFreewareProductsContainer::GetProductKeyName(TagProductID id) const {
  const const_iterator row = lower_bound(id);
  if (row == end() || id < row->first) return std::string();
  return row->second;
}
