#include "source_info/DownloadInfo.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include "common/KvScoped.h"
#include "framework/StatusCodeException.h"
#include "framework/Text.h"
#include "framework/WinApp.h"
#include "platform/Platform.h"
#include "source_info/Base64Codec.h"

// The code units are handed to the encoder as they lie in memory, which is
// the low byte first only on a little-endian machine.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr std::uint16_t kSourceInfoResourceId = 10;
constexpr char kSourceInfoResourceType[] = "KvR";
constexpr char kSourceInfoValueName[] = "SourceInfo";

}  // namespace

CDownloadInfo::CDownloadInfo(std::string productKeyName)
    : productKeyName_(std::move(productKeyName)) {}

CDownloadInfo::~CDownloadInfo() = default;

void CDownloadInfo::LoadFromResource() {
  const plat::HModule module = fw::GetResourceHandle();
  const plat::HResInfo info = plat::FindResourceA(
      module, plat::MakeIntResource(kSourceInfoResourceId), kSourceInfoResourceType);
  if (info == nullptr) return;
  const plat::HGlobal loaded = plat::LoadResource(module, info);
  if (loaded == nullptr) return;
  const plat::DWord size = plat::SizeofResource(module, info);
  if (size == 0) return;
  const void* bytes = plat::LockResource(loaded);
  if (bytes == nullptr) return;

  std::u16string text(size / 2, u'\0');
  if (!text.empty()) std::memcpy(text.data(), bytes, text.size() * sizeof(char16_t));
  sourceText_ = std::move(text);
}

std::string CDownloadInfo::GetEncodedInfo() const {
  if (sourceText_.empty()) return std::string();
  const std::uint64_t byteCount = std::uint64_t{sourceText_.size()} * sizeof(char16_t);
  // A count the encoder's signed length cannot carry is past its size guard
  // anyway; it fails the same way instead of wrapping to a negative count.
  if (byteCount > 0x7FFFFFFF) throw fw::StatusCodeException(plat::kEFail);
  return Crypt::CBase64Codec::Encode(reinterpret_cast<const std::uint8_t*>(sourceText_.data()),
                                     static_cast<std::int32_t>(byteCount), 0);
}

std::string CDownloadInfo::GetRegistryKeyPath() const {
  return fw::Format("Software\\Brannex\\%s", productKeyName_.c_str());
}

void CDownloadInfo::SaveToRegistry() {
  if (sourceText_.empty()) return;
  const std::string encoded = GetEncodedInfo();

  // One holder for both writes: a successful open closes the key of the
  // first write before the second value is set, a failed one leaves it open
  // until the holder goes, on every path out of here.
  KvRegKey key;
  const auto writeInView = [&](plat::DWord viewFlag) {
    const std::string path = GetRegistryKeyPath();
    if (key.Create(plat::HKeyLocalMachine(), path.c_str(), plat::kKeyWrite | viewFlag) !=
        static_cast<plat::Long>(plat::kErrorSuccess))
      return;
    // REG_SZ through the narrow call: the count includes the NUL. The
    // result is not looked at; the other view is written regardless.
    plat::RegSetValueExA(key.Get(), kSourceInfoValueName, 0, plat::kRegSz,
                         reinterpret_cast<const std::uint8_t*>(encoded.c_str()),
                         static_cast<plat::DWord>(encoded.size() + 1));
  };
  writeInView(plat::kKeyWow64_32Key);
  writeInView(plat::kKeyWow64_64Key);
}
