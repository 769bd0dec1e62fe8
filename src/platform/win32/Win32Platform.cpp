// The platform seam on the real Windows API.
//
// Each function forwards to the narrow ("A") Windows function of the same
// name with the same arguments, converting only between the seam's portable
// types and Windows' own. Nothing is added: no checks, no retries, no change
// of the thread's last error, so that the logic sees exactly what Windows
// answered.
//
// The headers are asked for Windows XP's declarations only, so that a call
// of a function that XP lacks does not compile here; such functions are
// looked up at run time by the logic instead.
#define WINVER 0x0501
#define _WIN32_WINNT 0x0501
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#include <shellapi.h>

#include <cstddef>

#include "platform/Platform.h"

#if defined(UNICODE) || defined(_UNICODE)
#error "The program calls the narrow Windows functions only."
#endif

// ---- The seam's types and values are Windows' -------------------------------

static_assert(sizeof(plat::DWord) == sizeof(DWORD));
static_assert(sizeof(plat::Long) == sizeof(LONG));
static_assert(sizeof(plat::Bool) == sizeof(BOOL));
static_assert(sizeof(plat::UInt) == sizeof(UINT));
static_assert(sizeof(plat::HResult) == sizeof(HRESULT));
static_assert(sizeof(plat::WChar) == sizeof(WCHAR));
static_assert(sizeof(plat::Handle) == sizeof(HANDLE));
static_assert(sizeof(plat::HKey) == sizeof(HKEY));
static_assert(sizeof(plat::HModule) == sizeof(HMODULE));
static_assert(sizeof(plat::HWnd) == sizeof(HWND));
static_assert(sizeof(plat::FarProc) == sizeof(FARPROC));

static_assert(plat::kMaxPath == MAX_PATH);

static_assert(plat::kErrorSuccess == ERROR_SUCCESS);
static_assert(plat::kErrorNotEnoughMemory == ERROR_NOT_ENOUGH_MEMORY);
static_assert(plat::kErrorSharingViolation == ERROR_SHARING_VIOLATION);
static_assert(plat::kEFail == E_FAIL);

static_assert(plat::kKeyWow64_64Key == KEY_WOW64_64KEY);
static_assert(plat::kKeyWow64_32Key == KEY_WOW64_32KEY);
static_assert(plat::kKeyRead == KEY_READ);
static_assert(plat::kKeyWrite == KEY_WRITE);
static_assert(plat::kRegOptionNonVolatile == REG_OPTION_NON_VOLATILE);
static_assert(plat::kRegSz == REG_SZ);

static_assert(plat::kGenericWrite == GENERIC_WRITE);
static_assert(plat::kFileShareRead == FILE_SHARE_READ);
static_assert(plat::kCreateAlways == CREATE_ALWAYS);
static_assert(plat::kFileAttributeNormal == FILE_ATTRIBUTE_NORMAL);

static_assert(plat::kFormatMessageAllocateBuffer == FORMAT_MESSAGE_ALLOCATE_BUFFER);
static_assert(plat::kFormatMessageIgnoreInserts == FORMAT_MESSAGE_IGNORE_INSERTS);
static_assert(plat::kFormatMessageFromSystem == FORMAT_MESSAGE_FROM_SYSTEM);
static_assert(plat::kLangUserDefault == MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT));

static_assert(plat::kMbOk == MB_OK);
static_assert(plat::kMbYesNo == MB_YESNO);
static_assert(plat::kMbIconError == MB_ICONERROR);
static_assert(plat::kMbIconQuestion == MB_ICONQUESTION);
static_assert(plat::kMbSetForeground == MB_SETFOREGROUND);
static_assert(plat::kMbTopmost == MB_TOPMOST);
static_assert(plat::kIdYes == IDYES);

static_assert(plat::kSwShow == SW_SHOW);
static_assert(plat::kSeeMaskNoCloseProcess == SEE_MASK_NOCLOSEPROCESS);
static_assert(plat::kSeeMaskFlagNoUi == SEE_MASK_FLAG_NO_UI);
static_assert(plat::kSeErrShare == SE_ERR_SHARE);
static_assert(plat::kInfinite == INFINITE);
static_assert(plat::kWaitObject0 == WAIT_OBJECT_0);

static_assert(plat::kSemFailCriticalErrors == SEM_FAILCRITICALERRORS);
static_assert(plat::kLoadWithAlteredSearchPath == LOAD_WITH_ALTERED_SEARCH_PATH);
// Newer than Windows XP, but declared by the headers whatever version they
// are asked for.
static_assert(plat::kLoadLibrarySearchSystem32 == LOAD_LIBRARY_SEARCH_SYSTEM32);

// SHELLEXECUTEINFOA is copied field by field both ways, but the two layouts
// must still agree: the seam promises the 32-bit structure's size in cbSize.
static_assert(sizeof(SHELLEXECUTEINFOA) == plat::kShellExecuteInfoSize32);
static_assert(sizeof(plat::ShellExecuteInfoA) == sizeof(SHELLEXECUTEINFOA));
#define PLAT_SAME_OFFSET(seam, win) \
  static_assert(offsetof(plat::ShellExecuteInfoA, seam) == offsetof(SHELLEXECUTEINFOA, win))
PLAT_SAME_OFFSET(cbSize, cbSize);
PLAT_SAME_OFFSET(fMask, fMask);
PLAT_SAME_OFFSET(hwnd, hwnd);
PLAT_SAME_OFFSET(lpVerb, lpVerb);
PLAT_SAME_OFFSET(lpFile, lpFile);
PLAT_SAME_OFFSET(lpParameters, lpParameters);
PLAT_SAME_OFFSET(lpDirectory, lpDirectory);
PLAT_SAME_OFFSET(nShow, nShow);
PLAT_SAME_OFFSET(hInstApp, hInstApp);
PLAT_SAME_OFFSET(lpIDList, lpIDList);
PLAT_SAME_OFFSET(lpClass, lpClass);
PLAT_SAME_OFFSET(hkeyClass, hkeyClass);
PLAT_SAME_OFFSET(dwHotKey, dwHotKey);
PLAT_SAME_OFFSET(hIconOrMonitor, hIcon);
PLAT_SAME_OFFSET(hProcess, hProcess);
#undef PLAT_SAME_OFFSET

namespace {

// DWORD is unsigned long here and plat::DWord unsigned int: the same size
// and representation, different types. Out-parameters are handed to Windows
// as they are; the object is written by the system and read back only
// through the caller's own type, never through DWORD in this program.
DWORD* AsDword(plat::DWord* value) { return reinterpret_cast<DWORD*>(value); }

HKEY AsHkey(plat::HKey key) { return static_cast<HKEY>(key); }
PHKEY AsPhkey(plat::HKey* key) { return reinterpret_cast<PHKEY>(key); }
HMODULE AsHmodule(plat::HModule module) { return static_cast<HMODULE>(module); }

}  // namespace

namespace plat {

// ---- Modules and resources ---------------------------------------------------

HModule GetModuleHandleA(const char* lpModuleName) { return ::GetModuleHandleA(lpModuleName); }

DWord GetModuleFileNameA(HModule hModule, char* lpFilename, DWord nSize) {
  return ::GetModuleFileNameA(AsHmodule(hModule), lpFilename, nSize);
}

HResInfo FindResourceA(HModule hModule, const char* lpName, const char* lpType) {
  return ::FindResourceA(AsHmodule(hModule), lpName, lpType);
}

HGlobal LoadResource(HModule hModule, HResInfo hResInfo) {
  return ::LoadResource(AsHmodule(hModule), static_cast<HRSRC>(hResInfo));
}

DWord SizeofResource(HModule hModule, HResInfo hResInfo) {
  return ::SizeofResource(AsHmodule(hModule), static_cast<HRSRC>(hResInfo));
}

const void* LockResource(HGlobal hResData) { return ::LockResource(hResData); }

// ---- Files -------------------------------------------------------------------------

DWord GetTempPathA(DWord nBufferLength, char* lpBuffer) {
  return ::GetTempPathA(nBufferLength, lpBuffer);
}

Bool DeleteFileA(const char* lpFileName) { return ::DeleteFileA(lpFileName); }

Handle CreateFileA(const char* lpFileName, DWord dwDesiredAccess, DWord dwShareMode,
                   void* lpSecurityAttributes, DWord dwCreationDisposition,
                   DWord dwFlagsAndAttributes, Handle hTemplateFile) {
  return ::CreateFileA(lpFileName, dwDesiredAccess, dwShareMode,
                       static_cast<LPSECURITY_ATTRIBUTES>(lpSecurityAttributes),
                       dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
}

Bool WriteFile(Handle hFile, const void* lpBuffer, DWord nNumberOfBytesToWrite,
               DWord* lpNumberOfBytesWritten, void* lpOverlapped) {
  return ::WriteFile(hFile, lpBuffer, nNumberOfBytesToWrite, AsDword(lpNumberOfBytesWritten),
                     static_cast<LPOVERLAPPED>(lpOverlapped));
}

Bool CloseHandle(Handle hObject) { return ::CloseHandle(hObject); }

// ---- Errors and messages -----------------------------------------------------------

DWord GetLastError() { return ::GetLastError(); }

void SetLastError(DWord dwErrCode) { ::SetLastError(dwErrCode); }

DWord FormatMessageA(DWord dwFlags, const void* lpSource, DWord dwMessageId, DWord dwLanguageId,
                     char* lpBuffer, DWord nSize, void* arguments) {
  return ::FormatMessageA(dwFlags, lpSource, dwMessageId, dwLanguageId, lpBuffer, nSize,
                          static_cast<va_list*>(arguments));
}

HLocal LocalFree(HLocal hMem) { return ::LocalFree(hMem); }

// ---- Text ----------------------------------------------------------------------------

Bool IsDBCSLeadByte(std::uint8_t testChar) { return ::IsDBCSLeadByte(testChar); }

// ---- Libraries and the error mode -----------------------------------------------------

UInt GetSystemDirectoryA(char* lpBuffer, UInt uSize) {
  return ::GetSystemDirectoryA(lpBuffer, uSize);
}

HModule LoadLibraryExA(const char* lpLibFileName, Handle hFile, DWord dwFlags) {
  return ::LoadLibraryExA(lpLibFileName, hFile, dwFlags);
}

FarProc GetProcAddress(HModule hModule, const char* lpProcName) {
  // The caller casts the entry to its real signature before calling it.
  return reinterpret_cast<FarProc>(::GetProcAddress(AsHmodule(hModule), lpProcName));
}

Bool FreeLibrary(HModule hLibModule) { return ::FreeLibrary(AsHmodule(hLibModule)); }

UInt SetErrorMode(UInt uMode) { return ::SetErrorMode(uMode); }

// ---- Processes and the shell ------------------------------------------------------------

Bool ShellExecuteExA(ShellExecuteInfoA* pExecInfo) {
  if (pExecInfo == nullptr) return ::ShellExecuteExA(nullptr);

  SHELLEXECUTEINFOA info{};
  info.cbSize = pExecInfo->cbSize;
  info.fMask = pExecInfo->fMask;
  info.hwnd = static_cast<HWND>(pExecInfo->hwnd);
  info.lpVerb = pExecInfo->lpVerb;
  info.lpFile = pExecInfo->lpFile;
  info.lpParameters = pExecInfo->lpParameters;
  info.lpDirectory = pExecInfo->lpDirectory;
  info.nShow = pExecInfo->nShow;
  info.hInstApp = static_cast<HINSTANCE>(pExecInfo->hInstApp);
  info.lpIDList = pExecInfo->lpIDList;
  info.lpClass = pExecInfo->lpClass;
  info.hkeyClass = AsHkey(pExecInfo->hkeyClass);
  info.dwHotKey = pExecInfo->dwHotKey;
  info.hIcon = pExecInfo->hIconOrMonitor;
  info.hProcess = pExecInfo->hProcess;

  const BOOL result = ::ShellExecuteExA(&info);

  // Only hInstApp and hProcess are written by the call; the copy back of
  // every field keeps the two structures equal whatever the system does.
  // Plain assignments leave the thread's last error as the call set it.
  pExecInfo->cbSize = info.cbSize;
  pExecInfo->fMask = info.fMask;
  pExecInfo->hwnd = info.hwnd;
  pExecInfo->lpVerb = info.lpVerb;
  pExecInfo->lpFile = info.lpFile;
  pExecInfo->lpParameters = info.lpParameters;
  pExecInfo->lpDirectory = info.lpDirectory;
  pExecInfo->nShow = info.nShow;
  pExecInfo->hInstApp = info.hInstApp;
  pExecInfo->lpIDList = info.lpIDList;
  pExecInfo->lpClass = info.lpClass;
  pExecInfo->hkeyClass = info.hkeyClass;
  pExecInfo->dwHotKey = info.dwHotKey;
  pExecInfo->hIconOrMonitor = info.hIcon;
  pExecInfo->hProcess = info.hProcess;
  return result;
}

HModule ShellExecuteA(HWnd hwnd, const char* lpOperation, const char* lpFile,
                      const char* lpParameters, const char* lpDirectory, int nShowCmd) {
  return ::ShellExecuteA(static_cast<HWND>(hwnd), lpOperation, lpFile, lpParameters, lpDirectory,
                         nShowCmd);
}

DWord WaitForSingleObject(Handle hHandle, DWord dwMilliseconds) {
  return ::WaitForSingleObject(hHandle, dwMilliseconds);
}

Bool GetExitCodeProcess(Handle hProcess, DWord* lpExitCode) {
  return ::GetExitCodeProcess(hProcess, AsDword(lpExitCode));
}

void Sleep(DWord dwMilliseconds) { ::Sleep(dwMilliseconds); }

// ---- Registry ---------------------------------------------------------------------------

Long RegOpenKeyExA(HKey hKey, const char* lpSubKey, DWord ulOptions, DWord samDesired,
                   HKey* phkResult) {
  return ::RegOpenKeyExA(AsHkey(hKey), lpSubKey, ulOptions, samDesired, AsPhkey(phkResult));
}

Long RegQueryValueExA(HKey hKey, const char* lpValueName, DWord* lpReserved, DWord* lpType,
                      std::uint8_t* lpData, DWord* lpcbData) {
  return ::RegQueryValueExA(AsHkey(hKey), lpValueName, AsDword(lpReserved), AsDword(lpType), lpData,
                            AsDword(lpcbData));
}

Long RegCreateKeyExA(HKey hKey, const char* lpSubKey, DWord reserved, char* lpClass,
                     DWord dwOptions, DWord samDesired, void* lpSecurityAttributes, HKey* phkResult,
                     DWord* lpdwDisposition) {
  return ::RegCreateKeyExA(AsHkey(hKey), lpSubKey, reserved, lpClass, dwOptions, samDesired,
                           static_cast<LPSECURITY_ATTRIBUTES>(lpSecurityAttributes),
                           AsPhkey(phkResult), AsDword(lpdwDisposition));
}

Long RegSetValueExA(HKey hKey, const char* lpValueName, DWord reserved, DWord dwType,
                    const std::uint8_t* lpData, DWord cbData) {
  return ::RegSetValueExA(AsHkey(hKey), lpValueName, reserved, dwType, lpData, cbData);
}

Long RegCloseKey(HKey hKey) { return ::RegCloseKey(AsHkey(hKey)); }

// ---- Dialogs ------------------------------------------------------------------------------

int MessageBoxA(HWnd hWnd, const char* lpText, const char* lpCaption, UInt uType) {
  return ::MessageBoxA(static_cast<HWND>(hWnd), lpText, lpCaption, uType);
}

}  // namespace plat
