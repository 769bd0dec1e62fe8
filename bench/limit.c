/*
 * The bootstrapper's job on the framework-present path by the shortest road:
 * the yardstick that the bench holds the product against. Every step the
 * product must take on that path, and no other:
 *
 *   0. the DLL search restricted to the system folder
 *      (SetDefaultDllDirectories, looked up at run time as XP lacks it);
 *   1. the note (resource "KvR" 10), Base64-encoded in the product's layout,
 *      as the REG_SZ value SourceInfo under HKLM\Software\Brannex\Freeware -
 *      Lumenta, in the 32-bit view and then in the 64-bit view;
 *   2. the framework's setup key: Install = 1 and Version 4.0.30319 or later;
 *      then the runtime shim: mscoree.dll from the system folder, whose
 *      GetRequestedRuntimeInfo must name runtime v4.0.30319;
 *   3. the walk of the Windows Installer's product list that the package
 *      launch makes (msi.dll from the system folder, MsiEnumProductsA by
 *      ordinal 44 until it stops returning 0);
 *   4. the package (resource "MSI" 130) written to the temporary folder as
 *      BrannexLumentaSetup.msi in one WriteFile straight from the mapped
 *      resource;
 *   5. the shell's "open" of that file.
 *
 * Built with BENCH_SKIP_WALK, it leaves out step 3: what the walk costs,
 * told apart from the rest.
 *
 * No run-time library: kernel32, advapi32 and shell32 are its only imports.
 * It is an instrument, not a product: it ends with a code of its own when a
 * step fails (1 note, 2 framework or runtime, 3 write, 4 open), so that a
 * bench whose set-up is wrong says so instead of timing a shorter road.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>

static const char kMakerKey[] = "Software\\Brannex\\Freeware - Lumenta";
static const char kFrameworkKey[] = "Software\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full";
static const char kPackageName[] = "BrannexLumentaSetup.msi";
static const char kAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

static char g_path[MAX_PATH + sizeof kPackageName + 1];

/* The bytes of a resource of this module and their count; NULL when missing. */
static const BYTE* Resource(const char* type, WORD id, DWORD* size) {
  HRSRC found = FindResourceA(NULL, MAKEINTRESOURCEA(id), type);
  HGLOBAL loaded = found ? LoadResource(NULL, found) : NULL;
  *size = found ? SizeofResource(NULL, found) : 0;
  return loaded ? (const BYTE*)LockResource(loaded) : NULL;
}

static void Quad(DWORD v, char* out) {
  out[0] = kAlphabet[(v >> 18) & 63];
  out[1] = kAlphabet[(v >> 12) & 63];
  out[2] = kAlphabet[(v >> 6) & 63];
  out[3] = kAlphabet[v & 63];
}

/* Base64 as the product lays it out: CR LF after every 19th group of three
 * bytes, the tail and its padding after the last group. Writes a NUL after
 * the text, which needs 4 * (n / 3 + 1) + 2 * (n / 57) + 1 characters;
 * returns the text's length. */
static DWORD Base64(const BYTE* in, DWORD n, char* out) {
  char* p = out;
  for (DWORD g = 1; g <= n / 3; ++g, in += 3, p += 4) {
    Quad((DWORD)in[0] << 16 | (DWORD)in[1] << 8 | in[2], p);
    if (g % 19 == 0) {
      p[4] = '\r';
      p[5] = '\n';
      p += 2;
    }
  }
  if (n % 3 != 0) {
    Quad((DWORD)in[0] << 16 | (n % 3 == 2 ? (DWORD)in[1] << 8 : 0), p);
    if (n % 3 == 1) p[2] = '=';
    p[3] = '=';
    p += 4;
  }
  *p = '\0';
  return (DWORD)(p - out);
}

static void SetNote(REGSAM view, const char* text, DWORD length) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMakerKey, 0, NULL, REG_OPTION_NON_VOLATILE,
                      KEY_WRITE | view, NULL, &key, NULL) != ERROR_SUCCESS)
    return;
  RegSetValueExA(key, "SourceInfo", 0, REG_SZ, (const BYTE*)text, length + 1);
  RegCloseKey(key);
}

/* Install = 1 and a Version of at least 4.0.30319, in the 32-bit view. */
static BOOL FrameworkPresent(void) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFrameworkKey, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY,
                    &key) != ERROR_SUCCESS)
    return FALSE;
  DWORD type, install = 0, size = sizeof install;
  char version[64];
  BOOL ok = RegQueryValueExA(key, "Install", NULL, &type, (BYTE*)&install, &size) ==
                ERROR_SUCCESS &&
            type == REG_DWORD && install == 1;
  size = sizeof version - 1;
  ok = ok && RegQueryValueExA(key, "Version", NULL, &type, (BYTE*)version, &size) ==
                 ERROR_SUCCESS &&
       type == REG_SZ;
  RegCloseKey(key);
  if (!ok) return FALSE;
  version[size] = '\0';

  static const DWORD kWanted[3] = {4, 0, 30319};
  const char* c = version;
  for (int i = 0; i < 3; ++i) {
    DWORD part = 0;
    while (*c >= '0' && *c <= '9') part = part * 10 + (DWORD)(*c++ - '0');
    if (part != kWanted[i]) return part > kWanted[i];
    if (*c == '.') ++c;
  }
  return TRUE;
}

typedef HRESULT(WINAPI* GetRequestedRuntimeInfoFn)(LPCWSTR exe, LPCWSTR version, LPCWSTR config,
                                                   DWORD startupFlags, DWORD runtimeInfoFlags,
                                                   LPWSTR directory, DWORD directorySize,
                                                   DWORD* directoryLength, LPWSTR versionOut,
                                                   DWORD versionSize, DWORD* versionLength);

/* The shim from the system folder names runtime v4.0.30319 (startup flags 6:
 * loader optimisation for a multi-domain host, as the product asks). */
static BOOL RuntimePresent(void) {
  HMODULE shim = LoadLibraryExA("mscoree.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!shim) return FALSE;
  GetRequestedRuntimeInfoFn request =
      (GetRequestedRuntimeInfoFn)(void (*)(void))GetProcAddress(shim, "GetRequestedRuntimeInfo");
  WCHAR directory[260], version[50];
  DWORD directoryLength = 0, versionLength = 50;
  const BOOL present = request && request(NULL, L"v4.0.30319", NULL, 6, 0, directory, 260,
                                          &directoryLength, version, 50, &versionLength) >= 0;
  FreeLibrary(shim);
  return present;
}

#ifndef BENCH_SKIP_WALK
typedef UINT(WINAPI* EnumProductsFn)(DWORD index, LPSTR product);

static void WalkProducts(void) {
  HMODULE msi = LoadLibraryExA("msi.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!msi) return;
  EnumProductsFn enumProducts = (EnumProductsFn)(void (*)(void))GetProcAddress(msi, (LPCSTR)44);
  char product[64];
  if (enumProducts)
    for (DWORD index = 0; enumProducts(index, product) == 0; ++index) {
    }
  FreeLibrary(msi);
}
#endif

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFn)(DWORD flags);

void WINAPI BenchEntry(void) {
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  SetDefaultDllDirectoriesFn setDefault =
      (SetDefaultDllDirectoriesFn)(void (*)(void))GetProcAddress(kernel32,
                                                                 "SetDefaultDllDirectories");
  if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);

  DWORD size;
  const BYTE* note = Resource("KvR", 10, &size);
  if (!note || size < 2) ExitProcess(1);
  size &= ~1u; /* whole UTF-16 code units only */
  char* text = HeapAlloc(GetProcessHeap(), 0, 4 * (size / 3 + 1) + 2 * (size / 57) + 1);
  if (!text) ExitProcess(1);
  const DWORD length = Base64(note, size, text);
  SetNote(KEY_WOW64_32KEY, text, length);
  SetNote(KEY_WOW64_64KEY, text, length);

  if (!FrameworkPresent() || !RuntimePresent()) ExitProcess(2);

#ifndef BENCH_SKIP_WALK
  WalkProducts();
#endif

  const BYTE* package = Resource("MSI", 130, &size);
  DWORD folder = GetTempPathA(MAX_PATH, g_path);
  if (!package || folder == 0 || folder >= MAX_PATH) ExitProcess(3);
  if (g_path[folder - 1] != '\\') lstrcatA(g_path, "\\");
  lstrcatA(g_path, kPackageName);
  HANDLE file = CreateFileA(g_path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) ExitProcess(3);
  DWORD written = 0;
  const BOOL wrote = WriteFile(file, package, size, &written, NULL);
  CloseHandle(file);
  if (!wrote || written != size) ExitProcess(3);

  if ((INT_PTR)ShellExecuteA(NULL, "open", g_path, "", "", SW_SHOW) <= 32) ExitProcess(4);
  ExitProcess(0);
}
