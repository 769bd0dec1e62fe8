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
  // Error::KvExceptionText, from "ResourcesExtractor",
  // "CResourcesExtractor::ExtractFile":
  //   "Failed to find resource <id>."     line 9   no file created
  //   "Failed to load resource <id>."     line 11  no file created
  //   "Resource <id> is empty."           line 13  no file created
  //   "Failed to write to file '<path>'"  line 19  the open or a write failed;
  //                                                what was written stays
  // The file is closed on every path.
  static void ExtractResource(const char* path, const char* type, std::uint16_t id);
};
