#include "source_info/SourceInfoStep.h"

#include <string>

#include "source_info/DownloadInfo.h"
#include "source_info/FreewareProductsContainer.h"

void RunSourceInfoStep() {
  try {
    const CFreewareProductsContainer products;
    const std::string keyName = products.GetProductKeyName(ProductIdLumenta);
    if (!keyName.empty()) {
      CDownloadInfo info(keyName);
      info.LoadFromResource();
      info.SaveToRegistry();
    }
  } catch (...) {
    // The record is a courtesy to the maker: whatever went wrong here,
    // including memory exhaustion, the installation goes on without it.
  }
}
