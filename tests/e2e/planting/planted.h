/*
 * Common part of the planted DLLs: stand-ins that an attacker would put
 * beside a downloaded executable under the name of a system DLL. Each one
 * leaves its own trace, so that a test sees whether it was loaded without
 * asking the loader: on DLL_PROCESS_ATTACH, and on every call of one of its
 * entries, it appends a line to the marker file
 *
 *   <folder>\planted-<name>.txt     e.g. C:\planted-msi.dll.txt
 *
 * where <folder> is the environment variable LUMENTA_PLANT_MARKERS, or C:\
 * when it is not set. A line reads
 *
 *   attach msi.dll process=<exe path> module=<this DLL's path> load=static
 *   call MsiEnumProductsA process=<exe path> module=<this DLL's path> caller=<module>
 *
 * where caller is the module whose code made the call (the executable, or a
 * system DLL acting for it), and load says how the DLL came in: "static"
 * when the loader mapped it for an import table while the process started,
 * "dynamic" when code of the running process loaded it (DllMain's reserved
 * argument is non-NULL for the first, NULL for the second).
 *
 * Only kernel32 is used, and nothing that would be unsafe under the loader
 * lock.
 *
 * Define PLANTED_NAME (e.g. "msi.dll") before including this file.
 */
#ifndef LUMENTA_PLANTED_H
#define LUMENTA_PLANTED_H

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#ifndef PLANTED_NAME
#error "PLANTED_NAME must name the DLL"
#endif

static HMODULE planted_module;

static void planted_append(char* line, int cap, const char* text) {
  int used = lstrlenA(line);
  if (used < cap - 1) lstrcpynA(line + used, text, cap - used);
}

static void planted_mark(const char* event, const void* caller, const char* load) {
  char path[MAX_PATH + 64];
  DWORD n = GetEnvironmentVariableA("LUMENTA_PLANT_MARKERS", path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) lstrcpyA(path, "C:");
  n = (DWORD)lstrlenA(path);
  if (n > 0 && path[n - 1] != '\\') lstrcatA(path, "\\");
  lstrcatA(path, "planted-" PLANTED_NAME ".txt");

  char process[MAX_PATH] = "?";
  char module[MAX_PATH] = "?";
  GetModuleFileNameA(NULL, process, sizeof process);
  GetModuleFileNameA(planted_module, module, sizeof module);

  char line[3 * MAX_PATH + 128] = "";
  planted_append(line, sizeof line, event);
  planted_append(line, sizeof line, " process=");
  planted_append(line, sizeof line, process);
  planted_append(line, sizeof line, " module=");
  planted_append(line, sizeof line, module);
  if (caller) {
    char caller_path[MAX_PATH] = "?";
    HMODULE caller_module = NULL;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           (LPCSTR)caller, &caller_module))
      GetModuleFileNameA(caller_module, caller_path, sizeof caller_path);
    planted_append(line, sizeof line, " caller=");
    planted_append(line, sizeof line, caller_path);
  }
  if (load) {
    planted_append(line, sizeof line, " load=");
    planted_append(line, sizeof line, load);
  }
  planted_append(line, sizeof line, "\r\n");

  HANDLE h = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(h, line, (DWORD)lstrlenA(line), &written, NULL);
  CloseHandle(h);
}

// In an exported entry: records the call and the module that made it.
#define PLANTED_CALL(entry) planted_mark("call " entry, __builtin_return_address(0), NULL)

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    planted_module = instance;
    planted_mark("attach " PLANTED_NAME, NULL, reserved ? "static" : "dynamic");
  }
  return TRUE;
}

#endif
