// The file-system path value: a narrow string that knows the two separators.
//
// The text is kept exactly as given: no normalisation, no case folding, no
// check that anything exists. Operations return new paths and leave this one
// unchanged, except AddTrailingSeparator.
#pragma once

#include <cstddef>
#include <string>

#include "framework/Text.h"
#include "platform/Platform.h"

namespace Traits {

// Narrow (ANSI code page) path text.
struct KvFsPathStrTraitA {
  using StringType = std::string;
  static constexpr char kBackslash = '\\';
  static constexpr char kSlash = '/';

  static std::size_t ReverseFind(const StringType& text, char ch) {
    return fw::ReverseFind(text, ch);
  }
  // The temporary-folder text's buffer, in bytes: more than Windows' own
  // limit for the folder (MAX_PATH and the backslash), so that any folder fits.
  static constexpr std::size_t kTempPathBufferSize = 1024;

  static std::string TempPath() {
    // One byte less than the buffer, so the text stays terminated whatever
    // the call writes; the result is not examined: an empty buffer is an
    // empty path.
    char buffer[kTempPathBufferSize] = {};
    // GetTempPath2A gives every process what GetTempPathA gives, except one
    // running as SYSTEM: that gets a folder only SYSTEM may write to, not
    // the Windows folder's Temp, where every user may plant files beside
    // what is written there. Only newer systems have it. When it fails,
    // GetTempPathA is not asked: it would give SYSTEM that shared folder.
    const plat::HModule kernel32 = plat::GetModuleHandleA("kernel32.dll");
    const auto tempPath2 = kernel32 == nullptr
                               ? nullptr
                               : reinterpret_cast<plat::GetTempPath2AFn>(
                                     plat::GetProcAddress(kernel32, "GetTempPath2A"));
    if (tempPath2 != nullptr)
      tempPath2(sizeof(buffer) - 1, buffer);
    else
      plat::GetTempPathA(sizeof(buffer) - 1, buffer);
    return std::string(buffer);
  }
};

}  // namespace Traits

template <typename Trait>
class KvFsPathT : public Trait::StringType {
 public:
  using String = typename Trait::StringType;

  KvFsPathT() = default;
  KvFsPathT(const char* text) : String(text ? text : "") {}  // NOLINT: converts like the text
  KvFsPathT(const String& text) : String(text) {}            // NOLINT
  KvFsPathT(const KvFsPathT&) = default;
  KvFsPathT& operator=(const KvFsPathT&) = default;
  virtual ~KvFsPathT() = default;

  operator const char*() const { return this->c_str(); }  // NOLINT: paths pass as text

  // Appends one backslash unless the text is empty or its last byte is
  // already a separator. Only the last byte is looked at.
  void AddTrailingSeparator() {
    if (this->empty()) return;
    const char last = this->back();
    if (last == Trait::kSlash || last == Trait::kBackslash) return;
    this->push_back(Trait::kBackslash);
  }

  // This path, a separator where one is needed, and the name unchanged. An
  // empty path gives the bare name; a null name appends nothing.
  KvFsPathT Combine(const char* name) const {
    KvFsPathT joined(*this);
    joined.AddTrailingSeparator();
    if (name) joined.append(name);
    return joined;
  }

  // The text after the last backslash; only if there is none, after the last
  // slash; the whole text if there is neither.
  KvFsPathT GetFileName() const {
    if (this->empty()) return KvFsPathT();
    std::size_t sep = Trait::ReverseFind(*this, Trait::kBackslash);
    if (sep == String::npos) sep = Trait::ReverseFind(*this, Trait::kSlash);
    if (sep == String::npos) return *this;
    return KvFsPathT(this->substr(sep + 1));
  }

  // The user's temporary folder with a trailing separator, or the empty path
  // when the system gives none.
  static KvFsPathT GetTempFolder() {
    KvFsPathT folder(Trait::TempPath());
    folder.AddTrailingSeparator();
    return folder;
  }
};

using KvFsPath = KvFsPathT<Traits::KvFsPathStrTraitA>;
