/*
 * Stand-in for the .NET runtime shim (mscoree.dll), for machines and Wine
 * prefixes without the framework's runtime. Placed in the 32-bit system
 * folder (and preferred over Wine's builtin with WINEDLLOVERRIDES
 * "mscoree=n"), it makes a prefix look as if the .NET Framework 4.0 runtime
 * were installed:
 *
 *   GetRequestedRuntimeInfo  succeeds for the version "v4.0.30319" (any
 *                            other version: CLR_E_SHIM_RUNTIME), filling
 *                            the directory and version outputs as the real
 *                            shim does;
 *   GetCORVersion            gives "v4.0.30319";
 *   CorBindToRuntime         is present; it hands out no runtime
 *                            (E_NOTIMPL), since nothing here can host one.
 *
 * Two environment variables let a test steer and watch it:
 *   LUMENTA_SHIM_HRESULT  the HRESULT that GetRequestedRuntimeInfo returns
 *                         instead (decimal or 0x... hexadecimal);
 *   LUMENTA_SHIM_LOG      a file to which every call appends one line with
 *                         its entry name and arguments.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#define CLR_E_SHIM_RUNTIME ((HRESULT)0x80131700L)

static const wchar_t kVersion[] = L"v4.0.30319";
static const wchar_t kDirectory[] = L"C:\\windows\\Microsoft.NET\\Framework\\";

static void log_line(const char* line) {
  char path[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("LUMENTA_SHIM_LOG", path, sizeof path);
  if (n == 0 || n >= sizeof path) return;
  HANDLE h = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(h, line, lstrlenA(line), &written, NULL);
  WriteFile(h, "\r\n", 2, &written, NULL);
  CloseHandle(h);
}

static void narrow(const wchar_t* w, char* out, int cap) {
  if (!w) {
    lstrcpynA(out, "(null)", cap);
    return;
  }
  WideCharToMultiByte(CP_ACP, 0, w, -1, out, cap, NULL, NULL);
  out[cap - 1] = 0;
}

static void copy_out(LPWSTR buffer, DWORD capacity, const wchar_t* text, DWORD* length) {
  DWORD need = (DWORD)wcslen(text) + 1;
  if (length) *length = need;
  if (buffer && capacity >= need) memcpy(buffer, text, need * sizeof(wchar_t));
}

HRESULT WINAPI GetRequestedRuntimeInfo(LPCWSTR exe, LPCWSTR version, LPCWSTR config,
                                       DWORD startup_flags, DWORD runtime_info_flags,
                                       LPWSTR directory, DWORD directory_size,
                                       DWORD* directory_length, LPWSTR version_out,
                                       DWORD version_size, DWORD* version_length) {
  char line[1024], v[128], e[260], c[260];
  narrow(version, v, sizeof v);
  narrow(exe, e, sizeof e);
  narrow(config, c, sizeof c);
  snprintf(line, sizeof line,
           "GetRequestedRuntimeInfo exe=%s version=%s config=%s startup=%lu info=%lu "
           "dir_size=%lu dir_len_in=%lu ver_size=%lu ver_len_in=%lu",
           e, v, c, (unsigned long)startup_flags, (unsigned long)runtime_info_flags,
           (unsigned long)directory_size, directory_length ? (unsigned long)*directory_length : 0,
           (unsigned long)version_size, version_length ? (unsigned long)*version_length : 0);
  log_line(line);

  char forced[32];
  DWORD n = GetEnvironmentVariableA("LUMENTA_SHIM_HRESULT", forced, sizeof forced);
  if (n > 0 && n < sizeof forced) return (HRESULT)strtoul(forced, NULL, 0);

  if (!version || wcscmp(version, kVersion) != 0) return CLR_E_SHIM_RUNTIME;
  copy_out(directory, directory_size, kDirectory, directory_length);
  copy_out(version_out, version_size, kVersion, version_length);
  return S_OK;
}

HRESULT WINAPI GetCORVersion(LPWSTR buffer, DWORD capacity, DWORD* length) {
  log_line("GetCORVersion");
  DWORD need = (DWORD)wcslen(kVersion) + 1;
  if (length) *length = need;
  if (!buffer || capacity < need) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  memcpy(buffer, kVersion, need * sizeof(wchar_t));
  return S_OK;
}

HRESULT WINAPI CorBindToRuntime(LPCWSTR version, LPCWSTR flavor, const void* clsid,
                                const void* iid, void** result) {
  (void)version;
  (void)flavor;
  (void)clsid;
  (void)iid;
  log_line("CorBindToRuntime");
  if (result) *result = NULL;
  return E_NOTIMPL;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}
