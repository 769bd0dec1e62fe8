/*
 * Stand-in for the framework's web installer.
 *
 * The bootstrapper only writes this program out, starts it with a fixed
 * command line, waits for it and judges its exit code; any program that
 * accepts the command line and ends with a chosen code serves in its place.
 * This one shows nothing (GUI subsystem, no window) and does only this:
 *
 *  - writes its full command line, exactly as GetCommandLineA gives it and
 *    without a terminator, to "<own path>.cmdline.txt" (replaced on every
 *    run), so that a test can check what it was started with;
 *  - appends one line to "<own path>.runs.txt" per run, so that a test can
 *    count the runs;
 *  - sleeps LUMENTA_STANDIN_SLEEP_MS milliseconds, if that is set, before it
 *    ends, so that a test can see whether its caller waited;
 *  - ends with the exit code in LUMENTA_STANDIN_EXIT (decimal, or 0x...
 *    hexadecimal; default 0).
 *
 * The environment reaches it from its caller: a started process inherits it.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

static DWORD parse_number(const char* s, DWORD fallback) {
  DWORD value = 0;
  DWORD base = 10;
  int digits = 0;
  if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s += 2;
  }
  for (; *s; ++s) {
    DWORD d;
    if (*s >= '0' && *s <= '9') {
      d = (DWORD)(*s - '0');
    } else if (base == 16 && *s >= 'a' && *s <= 'f') {
      d = (DWORD)(*s - 'a' + 10);
    } else if (base == 16 && *s >= 'A' && *s <= 'F') {
      d = (DWORD)(*s - 'A' + 10);
    } else {
      return fallback;
    }
    value = value * base + d;
    ++digits;
  }
  return digits ? value : fallback;
}

static DWORD env_number(const char* name, DWORD fallback) {
  char buf[64];
  DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
  if (n == 0 || n >= sizeof buf) return fallback;
  return parse_number(buf, fallback);
}

static void write_file(const char* path, const char* text, DWORD disposition) {
  HANDLE h = CreateFileA(path, disposition == OPEN_ALWAYS ? FILE_APPEND_DATA : GENERIC_WRITE,
                         FILE_SHARE_READ, NULL, disposition, FILE_ATTRIBUTE_NORMAL, NULL);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(h, text, lstrlenA(text), &written, NULL);
  CloseHandle(h);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR args, int show) {
  (void)instance;
  (void)previous;
  (void)args;
  (void)show;

  char self[MAX_PATH + 32];
  DWORD n = GetModuleFileNameA(NULL, self, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    char path[MAX_PATH + 32];
    lstrcpyA(path, self);
    lstrcatA(path, ".cmdline.txt");
    write_file(path, GetCommandLineA(), CREATE_ALWAYS);

    lstrcpyA(path, self);
    lstrcatA(path, ".runs.txt");
    write_file(path, "run\r\n", OPEN_ALWAYS);
  }

  DWORD sleep_ms = env_number("LUMENTA_STANDIN_SLEEP_MS", 0);
  if (sleep_ms) Sleep(sleep_ms);
  return (int)env_number("LUMENTA_STANDIN_EXIT", 0);
}
