// Windows' values that the program itself never uses but its tests do: the
// in-memory Windows answers with them, and the contract suite expects them
// of the real system. Beside the seam's own (platform/Platform.h), in its
// namespace, so that a value reads the same in a test as in the program;
// the Windows build of the contract suite checks each against Windows'
// headers (tests/contract/world_win32.cpp).
#pragma once

#include <cstdint>

#include "platform/Platform.h"

namespace plat {

// Error codes
constexpr DWord kErrorFileNotFound = 2;
constexpr DWord kErrorPathNotFound = 3;
constexpr DWord kErrorAccessDenied = 5;
constexpr DWord kErrorInvalidHandle = 6;
constexpr DWord kErrorInvalidParameter = 87;
constexpr DWord kErrorModNotFound = 126;
constexpr DWord kErrorProcNotFound = 127;
constexpr DWord kErrorBadExeFormat = 193;  // the shell asked to start what is not a program
constexpr DWord kErrorMoreData = 234;
constexpr DWord kErrorNoMoreItems = 259;

// IS_INTRESOURCE
inline bool IsIntResource(const char* name) {
  return (reinterpret_cast<std::uintptr_t>(name) >> 16) == 0;
}

// Registry
constexpr DWord kRegBinary = 3;
constexpr DWord kRegDword = 4;

// Files
constexpr DWord kGenericRead = 0x80000000;
constexpr DWord kFileShareWrite = 0x2;
constexpr DWord kOpenExisting = 3;

// Message boxes
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdNo = 7;

// Processes
constexpr DWord kWaitFailed = 0xFFFFFFFF;

}  // namespace plat
