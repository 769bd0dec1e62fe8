/* Planted mscoree.dll: a runtime shim that claims the .NET Framework 4.0
 * runtime is there. Loaded by a program that asks for the framework, it
 * would also make the framework question disappear. See planted.h. */
#define PLANTED_NAME "mscoree.dll"
#include "planted.h"

static const WCHAR kVersion[] = L"v4.0.30319";
static const WCHAR kDirectory[] = L"C:\\windows\\Microsoft.NET\\Framework\\";

static void copy_out(LPWSTR buffer, DWORD capacity, const WCHAR* text, DWORD* length) {
  DWORD need = (DWORD)lstrlenW(text) + 1;
  if (length) *length = need;
  if (buffer && capacity >= need) lstrcpyW(buffer, text);
}

HRESULT WINAPI GetRequestedRuntimeInfo(LPCWSTR exe, LPCWSTR version, LPCWSTR config,
                                       DWORD startup_flags, DWORD runtime_info_flags,
                                       LPWSTR directory, DWORD directory_size,
                                       DWORD* directory_length, LPWSTR version_out,
                                       DWORD version_size, DWORD* version_length) {
  (void)exe;
  (void)version;
  (void)config;
  (void)startup_flags;
  (void)runtime_info_flags;
  PLANTED_CALL("GetRequestedRuntimeInfo");
  copy_out(directory, directory_size, kDirectory, directory_length);
  copy_out(version_out, version_size, kVersion, version_length);
  return S_OK;
}

HRESULT WINAPI GetCORVersion(LPWSTR buffer, DWORD capacity, DWORD* length) {
  PLANTED_CALL("GetCORVersion");
  copy_out(buffer, capacity, kVersion, length);
  return S_OK;
}

HRESULT WINAPI CorBindToRuntime(LPCWSTR version, LPCWSTR flavor, const void* clsid,
                                const void* iid, void** result) {
  (void)version;
  (void)flavor;
  (void)clsid;
  (void)iid;
  PLANTED_CALL("CorBindToRuntime");
  if (result) *result = NULL;
  return E_NOTIMPL;
}
