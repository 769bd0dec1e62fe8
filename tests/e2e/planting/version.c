/* Planted version.dll: the version-information entries, all failing. See
 * planted.h. */
#define PLANTED_NAME "version.dll"
#include "planted.h"

#define FAIL_WITH(entry, result)               \
  do {                                         \
    PLANTED_CALL(entry);                       \
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND); \
    return (result);                           \
  } while (0)

DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR file, LPDWORD handle) {
  (void)file;
  if (handle) *handle = 0;
  FAIL_WITH("GetFileVersionInfoSizeA", 0);
}

DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR file, LPDWORD handle) {
  (void)file;
  if (handle) *handle = 0;
  FAIL_WITH("GetFileVersionInfoSizeW", 0);
}

DWORD WINAPI GetFileVersionInfoSizeExW(DWORD flags, LPCWSTR file, LPDWORD handle) {
  (void)flags;
  (void)file;
  if (handle) *handle = 0;
  FAIL_WITH("GetFileVersionInfoSizeExW", 0);
}

BOOL WINAPI GetFileVersionInfoA(LPCSTR file, DWORD handle, DWORD size, LPVOID data) {
  (void)file;
  (void)handle;
  (void)size;
  (void)data;
  FAIL_WITH("GetFileVersionInfoA", FALSE);
}

BOOL WINAPI GetFileVersionInfoW(LPCWSTR file, DWORD handle, DWORD size, LPVOID data) {
  (void)file;
  (void)handle;
  (void)size;
  (void)data;
  FAIL_WITH("GetFileVersionInfoW", FALSE);
}

BOOL WINAPI GetFileVersionInfoExW(DWORD flags, LPCWSTR file, DWORD handle, DWORD size,
                                  LPVOID data) {
  (void)flags;
  (void)file;
  (void)handle;
  (void)size;
  (void)data;
  FAIL_WITH("GetFileVersionInfoExW", FALSE);
}

BOOL WINAPI VerQueryValueA(LPCVOID block, LPCSTR sub_block, LPVOID* buffer, PUINT length) {
  (void)block;
  (void)sub_block;
  if (buffer) *buffer = NULL;
  if (length) *length = 0;
  FAIL_WITH("VerQueryValueA", FALSE);
}

BOOL WINAPI VerQueryValueW(LPCVOID block, LPCWSTR sub_block, LPVOID* buffer, PUINT length) {
  (void)block;
  (void)sub_block;
  if (buffer) *buffer = NULL;
  if (length) *length = 0;
  FAIL_WITH("VerQueryValueW", FALSE);
}
