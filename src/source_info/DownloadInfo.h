// The install-source note: read from the executable's resource "KvR" 10 and
// stored, Base64-encoded, as the value SourceInfo under the maker's key for
// the product, in the 32-bit and in the 64-bit registry view.
//
// Every failure is silent: a missing resource or a key that cannot be opened
// leaves the value unwritten. Only memory exhaustion and the encoder's size
// guard throw.
#pragma once

#include <string>

class CDownloadInfo {
 public:
  // productKeyName: the product's subkey name below the maker's key.
  explicit CDownloadInfo(std::string productKeyName);
  CDownloadInfo(const CDownloadInfo&) = delete;
  CDownloadInfo& operator=(const CDownloadInfo&) = delete;
  virtual ~CDownloadInfo();

  // Replaces the source text with the resource's UTF-16LE code units, size / 2
  // of them (an odd last byte is dropped), copied as they stand, NUL units
  // included. Leaves the source text as it was when the resource is missing,
  // cannot be loaded or locked, or is empty.
  void LoadFromResource();

  // Writes the encoded source text as REG_SZ "SourceInfo" below
  // HKEY_LOCAL_MACHINE, first in the 32-bit view, then in the 64-bit view;
  // the two writes are independent. Does nothing for an empty source text.
  void SaveToRegistry();

  // The Base64 text (pad characters, CR LF line breaks) of the source text's
  // bytes, low byte of each code unit first; empty for an empty source text.
  std::string GetEncodedInfo() const;

  // "Software\Brannex\<product key name>", the name inserted unchanged.
  std::string GetRegistryKeyPath() const;

 private:
  std::string productKeyName_;
  std::u16string sourceText_;
};
