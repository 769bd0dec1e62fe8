// Puts a resource of the executable on disk as a file.
#pragma once

#include <cstdint>

class CResourcesExtractor {
 public:
  // Resource "EXE" 134: the .NET Framework web installer.
  static constexpr const char* kInstallerType = "EXE";
  static constexpr std::uint16_t kInstallerId = 134;

  // Writes resource "EXE" 134 to path. See ExtractResource.
  static void ExtractFile(const char* path);

  // Writes the resource of the given type and integer id, found in the
  // framework's resource module, to path: any file there is deleted first
  // (whether that works does not matter), then the file is created and the
  // resource's bytes written unchanged, in full. Throws
  // Error::KvExceptionText with the resource extractor's identities
  // (common/FailureIdentities.h): kResourceNotFound, kResourceNotLoaded and
  // kResourceEmpty before any file is created; kWriteFailed when the open or
  // a write failed, and what was written then stays. The file is closed on
  // every path.
  static void ExtractResource(const char* path, const char* type, std::uint16_t id);
};
