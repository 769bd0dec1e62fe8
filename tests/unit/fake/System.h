// The in-memory Windows' thread and system settings: the thread's last
// error, the process's error mode, the ANSI code page's lead bytes, and the
// system's message texts with the buffers FormatMessageA hands out until
// LocalFree takes them back.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fake/Common.h"
#include "platform/Platform.h"

namespace fake {

// FormatMessageA's record in the call log.
struct FormatMessageRecord {
  plat::DWord flags, code, language;
};

class System {
 public:
  explicit System(FakeWindows& windows);
  ~System();
  System(const System&) = delete;
  System& operator=(const System&) = delete;

  // ---- Set up and read back by tests ----
  plat::DWord lastError = 0;
  plat::UInt errorMode = 0;          // SetErrorMode's record is the mode set
  std::set<std::uint8_t> leadBytes;  // empty: a single-byte code page
  void UseDoubleByteCodePage();      // lead bytes 0x81-0x9F and 0xE0-0xFC

  // code -> text as the system gives it; the common codes are there from the start.
  std::map<plat::DWord, std::string> messages;
  // Buffers FormatMessageA gave out that LocalFree has not taken back.
  int OutstandingLocalAllocations() const { return static_cast<int>(allocations_.size()); }

  // ---- The plat:: calls of this concern ----
  plat::DWord GetLastError() const { return lastError; }     // not logged
  void SetLastError(plat::DWord code) { lastError = code; }  // not logged
  plat::DWord FormatMessageA(plat::DWord dwFlags, const void* lpSource, plat::DWord dwMessageId,
                             plat::DWord dwLanguageId, char* lpBuffer, plat::DWord nSize,
                             void* arguments);
  plat::HLocal LocalFree(plat::HLocal hMem);
  plat::Bool IsDBCSLeadByte(std::uint8_t testChar) const;  // not logged: called once per byte
  plat::UInt SetErrorMode(plat::UInt uMode);

 private:
  FakeWindows& windows_;
  std::set<char*> allocations_;  // FormatMessageA's buffers, freed with the model at the latest
};

}  // namespace fake
