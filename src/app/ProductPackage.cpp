#include "app/ProductPackage.h"

#include <cstddef>
#include <cstdint>

#include "common/KvException.h"
#include "common/KvFsPath.h"
#include "common/KvSystemLibrary.h"
#include "common/ResourcesExtractor.h"
#include "platform/Platform.h"

namespace {

constexpr const char* kPackageType = "MSI";
constexpr std::uint16_t kPackageId = 130;

// The enumeration's buffer: room for a product code (38 characters and the
// terminator) with some to spare. Never read.
constexpr std::size_t kProductCodeBufferSize = 64;

}  // namespace

unsigned WalkInstalledProducts() {
  const KvLibrary msi = LoadSystemLibrary("msi.dll");
  const auto enumProducts =
      msi.Entry<plat::MsiEnumProductsAFn>(plat::MakeIntResource(plat::kMsiEnumProductsAOrdinal));
  if (enumProducts == nullptr) return 0;
  char product[kProductCodeBufferSize] = {};
  unsigned calls = 0;
  for (plat::DWord index = 0;; ++index) {
    ++calls;
    if (enumProducts(index, product) != 0) break;
  }
  return calls;
}

std::string PackagePath() {
  // An empty folder makes the bare file name, a path in the current folder.
  return KvFsPath::GetTempFolder().Combine(kPackageFileName);
}

void ExtractPackageFile(const std::string& path) {
  CResourcesExtractor::ExtractResource(path.c_str(), kPackageType, kPackageId);
}

void LaunchProductPackage() {
  WalkInstalledProducts();
  const std::string path = PackagePath();
  try {
    ExtractPackageFile(path);
  } catch (const Error::KvException& e) {
    // Opening whatever the path names now would hand the Windows Installer
    // a stale, foreign or truncated file.
    e.ShowError();
    return;
  }
  plat::ShellExecuteA(nullptr, "open", path.c_str(), "", "", plat::kSwShow);
}
