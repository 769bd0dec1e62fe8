#include "fake/System.h"

#include <cstring>

#include "fake/FakeWindows.h"

namespace fake {

System::System(FakeWindows& windows)
    : messages{
      {1, "Incorrect function.\r\n"},
      {2, "The system cannot find the file specified.\r\n"},
      {3, "The system cannot find the path specified.\r\n"},
      {5, "Access is denied.\r\n"},
      {32, "The process cannot access the file because it is being used by another process.\r\n"},
      {193, "%1 is not a valid Win32 application.\r\n"},
      {1603, "Fatal error during installation.\r\n"},
      {3010,
       "The requested operation is successful. Changes will not be effective until the system "
       "is rebooted.\r\n"},
      },
      windows_(windows) {}

System::~System() {
  for (char* p : allocations_) delete[] p;
}

void System::UseDoubleByteCodePage() {
  leadBytes.clear();
  for (int b = 0x81; b <= 0x9F; ++b) leadBytes.insert(static_cast<std::uint8_t>(b));
  for (int b = 0xE0; b <= 0xFC; ++b) leadBytes.insert(static_cast<std::uint8_t>(b));
}

plat::DWord System::FormatMessageA(plat::DWord dwFlags, const void* lpSource,
                                   plat::DWord dwMessageId, plat::DWord dwLanguageId,
                                   char* lpBuffer, plat::DWord nSize, void* arguments) {
  windows_.calls.Record("FormatMessageA", FormatMessageRecord{dwFlags, dwMessageId, dwLanguageId});
  (void)lpSource;
  (void)nSize;
  (void)arguments;
  auto it = messages.find(dwMessageId);
  if ((dwFlags & plat::kFormatMessageFromSystem) == 0 || it == messages.end()) {
    lastError = 317;  // ERROR_MR_MID_NOT_FOUND
    return 0;
  }
  if ((dwFlags & plat::kFormatMessageAllocateBuffer) == 0) {
    lastError = plat::kErrorInvalidParameter;  // the program always asks for a buffer
    return 0;
  }
  char* text = new char[it->second.size() + 1];
  std::memcpy(text, it->second.c_str(), it->second.size() + 1);
  allocations_.insert(text);
  *reinterpret_cast<char**>(lpBuffer) = text;
  return static_cast<plat::DWord>(it->second.size());
}

plat::HLocal System::LocalFree(plat::HLocal hMem) {
  windows_.calls.Record("LocalFree");
  auto* p = static_cast<char*>(hMem);
  if (allocations_.erase(p)) delete[] p;
  return nullptr;
}

plat::Bool System::IsDBCSLeadByte(std::uint8_t testChar) const {
  return leadBytes.contains(testChar) ? 1 : 0;
}

plat::UInt System::SetErrorMode(plat::UInt uMode) {
  windows_.calls.Record("SetErrorMode", uMode);
  const plat::UInt previous = errorMode;
  errorMode = uMode;
  return previous;
}

}  // namespace fake

// ---- The seam: each call forwards to the current model ----

namespace plat {

using fake::FakeWindows;

DWord GetLastError() { return FakeWindows::Current().system.GetLastError(); }

void SetLastError(DWord dwErrCode) { FakeWindows::Current().system.SetLastError(dwErrCode); }

DWord FormatMessageA(DWord dwFlags, const void* lpSource, DWord dwMessageId, DWord dwLanguageId,
                     char* lpBuffer, DWord nSize, void* arguments) {
  return FakeWindows::Current().system.FormatMessageA(dwFlags, lpSource, dwMessageId, dwLanguageId,
                                                      lpBuffer, nSize, arguments);
}

HLocal LocalFree(HLocal hMem) { return FakeWindows::Current().system.LocalFree(hMem); }

Bool IsDBCSLeadByte(std::uint8_t testChar) {
  return FakeWindows::Current().system.IsDBCSLeadByte(testChar);
}

UInt SetErrorMode(UInt uMode) { return FakeWindows::Current().system.SetErrorMode(uMode); }

}  // namespace plat
