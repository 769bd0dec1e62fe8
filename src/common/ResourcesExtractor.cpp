#include "common/ResourcesExtractor.h"

#include "common/FailureIdentities.h"
#include "common/KvException.h"
#include "common/KvFileWrite.h"
#include "framework/Text.h"
#include "framework/WinApp.h"
#include "platform/Platform.h"

namespace {

// Raises the failure with its message format filled in with argument.
template <typename Argument>
[[noreturn]] void Raise(const Error::FixedFailure& failure, Argument argument) {
  const std::string message = fw::Format(failure.message, argument);
  throw Error::KvExceptionText(message.c_str(), failure.source, failure.function, failure.line);
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
  if (found == nullptr) Raise(Error::kResourceNotFound, shownId);
  const plat::HGlobal loaded = plat::LoadResource(module, found);
  if (loaded == nullptr) Raise(Error::kResourceNotLoaded, shownId);
  const plat::DWord size = plat::SizeofResource(module, found);
  if (size == 0) Raise(Error::kResourceEmpty, shownId);
  const void* bytes = plat::LockResource(loaded);

  KvFileWrite file(target);
  if (!file.Write(bytes, size)) Raise(Error::kWriteFailed, target);
}
