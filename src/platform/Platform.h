// The one seam between the bootstrapper's logic and Windows.
//
// Every Windows call the program makes is declared here, with the Windows
// name, the Windows argument order and the Windows constant values, but with
// portable types, so that the logic builds and runs on any host. The
// executable links src/platform/win32/, which forwards each call to the real
// API; the unit tests link an in-memory Windows instead.
//
// Nothing here includes <windows.h>, and no part of the logic does: only
// the executable's own files include it, src/platform/win32/ (this seam on
// the real API), src/runtime/win32/ (its start-up and runtime support) and
// src/exe/ (its entry point), none of which the unit tests build.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define PLAT_WINAPI __stdcall
#else
#define PLAT_WINAPI
#endif

namespace plat {

// ---- Types ---------------------------------------------------------------

using DWord = std::uint32_t;   // DWORD
using Long = std::int32_t;     // LONG, LSTATUS
using Bool = std::int32_t;     // BOOL
using UInt = std::uint32_t;    // UINT
using HResult = std::int32_t;  // HRESULT
using WChar = char16_t;        // WCHAR: one UTF-16 code unit

using Handle = void*;    // HANDLE
using HKey = void*;      // HKEY
using HModule = void*;   // HMODULE / HINSTANCE
using HResInfo = void*;  // HRSRC
using HGlobal = void*;   // HGLOBAL
using HLocal = void*;    // HLOCAL
using HWnd = void*;      // HWND

// FARPROC. A plain function type, so that a cast to the real signature of an
// entry looked up at run time is a single reinterpret_cast.
using FarProc = void(PLAT_WINAPI*)();

// ---- Constants (Windows' own values) ---------------------------------------

// Limits
constexpr DWord kMaxPath = 260;  // MAX_PATH: characters of a path, its terminator included

// Error codes
constexpr DWord kErrorSuccess = 0;
constexpr DWord kErrorNotEnoughMemory = 8;
constexpr DWord kErrorSharingViolation = 32;

constexpr HResult kEFail = static_cast<HResult>(0x80004005u);

// Handles
inline Handle InvalidHandleValue() {
  return reinterpret_cast<Handle>(static_cast<std::intptr_t>(-1));
}
inline HKey HKeyLocalMachine() {
  return reinterpret_cast<HKey>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000002u)));
}
// MAKEINTRESOURCEA: an integer identifier passed where a name is expected.
inline const char* MakeIntResource(std::uint16_t id) {
  return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(id));
}

// Registry
constexpr DWord kKeyWow64_64Key = 0x0100;
constexpr DWord kKeyWow64_32Key = 0x0200;
constexpr DWord kKeyRead = 0x20019;
constexpr DWord kKeyWrite = 0x20006;
constexpr DWord kRegOptionNonVolatile = 0;
constexpr DWord kRegSz = 1;

// Files
constexpr DWord kGenericWrite = 0x40000000;
constexpr DWord kFileShareRead = 0x1;
constexpr DWord kCreateAlways = 2;
constexpr DWord kFileAttributeNormal = 0x80;

// FormatMessage
constexpr DWord kFormatMessageAllocateBuffer = 0x100;
constexpr DWord kFormatMessageIgnoreInserts = 0x200;
constexpr DWord kFormatMessageFromSystem = 0x1000;
constexpr DWord kLangUserDefault = 0x400;  // MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)

// Message boxes
constexpr UInt kMbOk = 0x0;
constexpr UInt kMbYesNo = 0x4;
constexpr UInt kMbIconError = 0x10;
constexpr UInt kMbIconQuestion = 0x20;
constexpr UInt kMbSetForeground = 0x10000;
constexpr UInt kMbTopmost = 0x40000;
constexpr int kIdYes = 6;

// Shell and processes
constexpr int kSwShow = 5;
constexpr DWord kSeeMaskNoCloseProcess = 0x40;
constexpr DWord kSeeMaskFlagNoUi = 0x400;
// SE_ERR_SHARE: the hInstApp of a launch refused for a sharing violation.
constexpr std::uintptr_t kSeErrShare = 26;
constexpr DWord kInfinite = 0xFFFFFFFF;
constexpr DWord kWaitObject0 = 0;

// Libraries and error mode
constexpr UInt kSemFailCriticalErrors = 0x1;
constexpr DWord kLoadWithAlteredSearchPath = 0x8;
constexpr DWord kLoadLibrarySearchSystem32 = 0x800;

// ---- Structures --------------------------------------------------------------

// SHELLEXECUTEINFOA, field for field. Its cbSize is the size of the 32-bit
// structure (kShellExecuteInfoSize32), whatever the host; the Windows side
// checks that the two layouts agree.
struct ShellExecuteInfoA {
  DWord cbSize;
  DWord fMask;
  HWnd hwnd;
  const char* lpVerb;
  const char* lpFile;
  const char* lpParameters;
  const char* lpDirectory;
  int nShow;
  HModule hInstApp;
  void* lpIDList;
  const char* lpClass;
  HKey hkeyClass;
  DWord dwHotKey;
  Handle hIconOrMonitor;
  Handle hProcess;
};
constexpr DWord kShellExecuteInfoSize32 = 60;

// ---- Entries looked up at run time ---------------------------------------------

// msi.dll, ordinal 44.
using MsiEnumProductsAFn = UInt(PLAT_WINAPI*)(DWord iProductIndex, char* lpProductBuf);
constexpr std::uint16_t kMsiEnumProductsAOrdinal = 44;

// mscoree.dll
using GetRequestedRuntimeInfoFn = HResult(PLAT_WINAPI*)(const WChar* pExe, const WChar* pwszVersion,
                                                        const WChar* pConfigurationFile,
                                                        DWord startupFlags, DWord runtimeInfoFlags,
                                                        WChar* pDirectory, DWord dwDirectory,
                                                        DWord* dwDirectoryLength, WChar* pVersion,
                                                        DWord cchBuffer, DWord* dwlength);

// kernel32.dll, absent from older systems.
using SetDefaultDllDirectoriesFn = Bool(PLAT_WINAPI*)(DWord directoryFlags);
using SetDllDirectoryAFn = Bool(PLAT_WINAPI*)(const char* lpPathName);
using GetTempPath2AFn = DWord(PLAT_WINAPI*)(DWord BufferLength, char* Buffer);

// ---- Operations ------------------------------------------------------------------

// Modules and resources
HModule GetModuleHandleA(const char* lpModuleName);
DWord GetModuleFileNameA(HModule hModule, char* lpFilename, DWord nSize);
HResInfo FindResourceA(HModule hModule, const char* lpName, const char* lpType);
HGlobal LoadResource(HModule hModule, HResInfo hResInfo);
DWord SizeofResource(HModule hModule, HResInfo hResInfo);
const void* LockResource(HGlobal hResData);

// Files
DWord GetTempPathA(DWord nBufferLength, char* lpBuffer);
Bool DeleteFileA(const char* lpFileName);
Handle CreateFileA(const char* lpFileName, DWord dwDesiredAccess, DWord dwShareMode,
                   void* lpSecurityAttributes, DWord dwCreationDisposition,
                   DWord dwFlagsAndAttributes, Handle hTemplateFile);
Bool WriteFile(Handle hFile, const void* lpBuffer, DWord nNumberOfBytesToWrite,
               DWord* lpNumberOfBytesWritten, void* lpOverlapped);
Bool CloseHandle(Handle hObject);

// Errors and messages. With kFormatMessageAllocateBuffer, lpBuffer is really
// the address of a char* that receives a buffer to be freed with LocalFree.
DWord GetLastError();
void SetLastError(DWord dwErrCode);
DWord FormatMessageA(DWord dwFlags, const void* lpSource, DWord dwMessageId, DWord dwLanguageId,
                     char* lpBuffer, DWord nSize, void* arguments);
HLocal LocalFree(HLocal hMem);

// Text: whether a byte starts a double-byte character in the ANSI code page.
Bool IsDBCSLeadByte(std::uint8_t testChar);

// Libraries and the error mode
UInt GetSystemDirectoryA(char* lpBuffer, UInt uSize);
HModule LoadLibraryExA(const char* lpLibFileName, Handle hFile, DWord dwFlags);
FarProc GetProcAddress(HModule hModule, const char* lpProcName);
Bool FreeLibrary(HModule hLibModule);
UInt SetErrorMode(UInt uMode);

// Processes and the shell
Bool ShellExecuteExA(ShellExecuteInfoA* pExecInfo);
HModule ShellExecuteA(HWnd hwnd, const char* lpOperation, const char* lpFile,
                      const char* lpParameters, const char* lpDirectory, int nShowCmd);
DWord WaitForSingleObject(Handle hHandle, DWord dwMilliseconds);
Bool GetExitCodeProcess(Handle hProcess, DWord* lpExitCode);
void Sleep(DWord dwMilliseconds);

// Registry
Long RegOpenKeyExA(HKey hKey, const char* lpSubKey, DWord ulOptions, DWord samDesired,
                   HKey* phkResult);
Long RegQueryValueExA(HKey hKey, const char* lpValueName, DWord* lpReserved, DWord* lpType,
                      std::uint8_t* lpData, DWord* lpcbData);
Long RegCreateKeyExA(HKey hKey, const char* lpSubKey, DWord reserved, char* lpClass,
                     DWord dwOptions, DWord samDesired, void* lpSecurityAttributes, HKey* phkResult,
                     DWord* lpdwDisposition);
Long RegSetValueExA(HKey hKey, const char* lpValueName, DWord reserved, DWord dwType,
                    const std::uint8_t* lpData, DWord cbData);
Long RegCloseKey(HKey hKey);

// Dialogs
int MessageBoxA(HWnd hWnd, const char* lpText, const char* lpCaption, UInt uType);

}  // namespace plat
