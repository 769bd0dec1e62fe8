#include "common/ResourcesExtractor.h"

#include "common/KvException.h"
#include "common/KvFileWrite.h"
#include "framework/Text.h"
#include "framework/WinApp.h"
#include "platform/Platform.h"

namespace {

// The source position of each failure identifies it to whoever reads the
// report; these values stay fixed wherever the code moves.
constexpr const char* kSourceName = "ResourcesExtractor";
constexpr const char* kFunctionName = "CResourcesExtractor::ExtractFile";
constexpr std::int32_t kLineNotFound = 9;
constexpr std::int32_t kLineNotLoaded = 11;
constexpr std::int32_t kLineEmpty = 13;
constexpr std::int32_t kLineWriteFailed = 19;

[[noreturn]] void Raise(const std::string& message, std::int32_t line) {
  throw Error::KvExceptionText(message.c_str(), kSourceName, kFunctionName, line);
}

}  // namespace

void CResourcesExtractor::ExtractFile(const char* path) {
  ExtractResource(path, kInstallerType, kInstallerId);
}

void CResourcesExtractor::ExtractResource(const char* path, const char* type, std::uint16_t id) {
  const char* target = path ? path : "";
  const int shownId = id;
  plat::DeleteFileA(target);

  const plat::HModule module = fw::GetResourceHandle();
  const plat::HResInfo found = plat::FindResourceA(module, plat::MakeIntResource(id), type);
  if (found == nullptr) Raise(fw::Format("Failed to find resource %d.", shownId), kLineNotFound);
  const plat::HGlobal loaded = plat::LoadResource(module, found);
  if (loaded == nullptr) Raise(fw::Format("Failed to load resource %d.", shownId), kLineNotLoaded);
  const plat::DWord size = plat::SizeofResource(module, found);
  if (size == 0) Raise(fw::Format("Resource %d is empty.", shownId), kLineEmpty);
  const void* bytes = plat::LockResource(loaded);

  KvFileWrite file(target);
  if (!file.Write(bytes, size))
    Raise(fw::Format("Failed to write to file '%s'", target), kLineWriteFailed);
}
