/*
 * wintool: the Windows-side helper of the end-to-end tests. It reads and
 * writes the registry in a chosen view, byte for byte, and asks the system
 * what the tests need to know (temporary folder, system message texts).
 *
 *   wintool COMMAND ARG...          one command, arguments as given
 *   wintool --script FILE           one command per line, arguments
 *                                   separated by tabs
 *
 * Every command prints one line on stdout. Data and texts travel as
 * hexadecimal bytes, so that nothing is lost to code pages or line breaks.
 *
 *   get VIEW ROOT KEY NAME          "ok TYPE HEX" | "nokey" | "novalue"
 *   keyexists VIEW ROOT KEY         "yes" | "no"
 *   set VIEW ROOT KEY NAME TYPE HEX "ok" | "err CODE"  (key created if missing)
 *   delvalue VIEW ROOT KEY NAME     "ok" | "err CODE"
 *   deltree VIEW ROOT KEY           "ok" | "err CODE"  (missing key: "ok")
 *   sysmsg CODE                     "ok HEX" | "none"   (FormatMessageA, as
 *                                   the program under test asks for it)
 *   temppath                        "ok HEX"            (GetTempPathA)
 *   env NAME                        "ok HEX" | "none"
 *
 * VIEW is 32, 64 or 0 (the process's own, no flag). ROOT is HKLM, HKCU or
 * HKCR. TYPE is the registry type number (1 REG_SZ, 2 REG_EXPAND_SZ,
 * 3 REG_BINARY, 4 REG_DWORD). HEX may be "-" for no bytes.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void put_hex(const unsigned char* p, DWORD n) {
  if (n == 0) {
    putchar('-');
    return;
  }
  for (DWORD i = 0; i < n; ++i) printf("%02x", p[i]);
}

static int from_hex(const char* s, unsigned char* out, DWORD cap, DWORD* n) {
  *n = 0;
  if (strcmp(s, "-") == 0) return 1;
  size_t len = strlen(s);
  if (len % 2) return 0;
  for (size_t i = 0; i < len; i += 2) {
    unsigned v;
    if (*n >= cap || sscanf(s + i, "%2x", &v) != 1) return 0;
    out[(*n)++] = (unsigned char)v;
  }
  return 1;
}

static REGSAM view_flag(const char* view) {
  if (strcmp(view, "32") == 0) return KEY_WOW64_32KEY;
  if (strcmp(view, "64") == 0) return KEY_WOW64_64KEY;
  return 0;
}

static HKEY root_key(const char* root) {
  if (strcmp(root, "HKLM") == 0) return HKEY_LOCAL_MACHINE;
  if (strcmp(root, "HKCU") == 0) return HKEY_CURRENT_USER;
  if (strcmp(root, "HKCR") == 0) return HKEY_CLASSES_ROOT;
  return NULL;
}

static unsigned char g_data[1 << 20];

static void cmd_get(char** a) {
  HKEY k;
  if (RegOpenKeyExA(root_key(a[1]), a[2], 0, KEY_QUERY_VALUE | view_flag(a[0]), &k)) {
    puts("nokey");
    return;
  }
  DWORD type = 0, n = sizeof g_data;
  LONG rc = RegQueryValueExA(k, a[3], NULL, &type, g_data, &n);
  RegCloseKey(k);
  if (rc) {
    puts("novalue");
    return;
  }
  printf("ok %lu ", (unsigned long)type);
  put_hex(g_data, n);
  putchar('\n');
}

static void cmd_keyexists(char** a) {
  HKEY k;
  if (RegOpenKeyExA(root_key(a[1]), a[2], 0, KEY_QUERY_VALUE | view_flag(a[0]), &k)) {
    puts("no");
    return;
  }
  RegCloseKey(k);
  puts("yes");
}

static void cmd_set(char** a) {
  HKEY k;
  DWORD n;
  if (!from_hex(a[5], g_data, sizeof g_data, &n)) {
    puts("err 87");
    return;
  }
  LONG rc = RegCreateKeyExA(root_key(a[1]), a[2], 0, NULL, 0, KEY_SET_VALUE | view_flag(a[0]),
                            NULL, &k, NULL);
  if (rc == 0) {
    rc = RegSetValueExA(k, a[3], 0, (DWORD)strtoul(a[4], NULL, 10), g_data, n);
    RegCloseKey(k);
  }
  if (rc) printf("err %ld\n", (long)rc); else puts("ok");
}

static void cmd_delvalue(char** a) {
  HKEY k;
  LONG rc = RegOpenKeyExA(root_key(a[1]), a[2], 0, KEY_SET_VALUE | view_flag(a[0]), &k);
  if (rc == 0) {
    rc = RegDeleteValueA(k, a[3]);
    RegCloseKey(k);
  }
  if (rc && rc != ERROR_FILE_NOT_FOUND) printf("err %ld\n", (long)rc); else puts("ok");
}

static void cmd_deltree(char** a) {
  HKEY k;
  REGSAM view = view_flag(a[0]);
  LONG rc = RegOpenKeyExA(root_key(a[1]), a[2], 0, KEY_ALL_ACCESS | view, &k);
  if (rc == ERROR_FILE_NOT_FOUND) {
    puts("ok");
    return;
  }
  if (rc == 0) {
    rc = RegDeleteTreeA(k, NULL);
    RegCloseKey(k);
  }
  if (rc == 0) rc = RegDeleteKeyExA(root_key(a[1]), a[2], view, 0);
  if (rc) printf("err %ld\n", (long)rc); else puts("ok");
}

static void cmd_sysmsg(char** a) {
  char* text = NULL;
  DWORD code = (DWORD)strtoul(a[0], NULL, 0);
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                               FORMAT_MESSAGE_ALLOCATE_BUFFER,
                           NULL, code, 0x400, (LPSTR)&text, 0, NULL);
  if (n == 0 || !text) {
    puts("none");
  } else {
    fputs("ok ", stdout);
    put_hex((const unsigned char*)text, n);
    putchar('\n');
  }
  if (text) LocalFree(text);
}

static void cmd_temppath(void) {
  char buf[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof buf, buf);
  fputs("ok ", stdout);
  put_hex((const unsigned char*)buf, n < sizeof buf ? n : 0);
  putchar('\n');
}

static void cmd_env(char** a) {
  DWORD n = GetEnvironmentVariableA(a[0], (char*)g_data, sizeof g_data);
  if (n == 0 || n >= sizeof g_data) {
    puts("none");
    return;
  }
  fputs("ok ", stdout);
  put_hex(g_data, n);
  putchar('\n');
}

typedef struct {
  const char* name;
  int args;
  int has_root;  // the second argument names a registry root
  void (*run)(char**);
} Command;

static void run_temppath(char** a) {
  (void)a;
  cmd_temppath();
}

static const Command kCommands[] = {
    {"get", 4, 1, cmd_get},           {"keyexists", 3, 1, cmd_keyexists},
    {"set", 6, 1, cmd_set},           {"delvalue", 4, 1, cmd_delvalue},
    {"deltree", 3, 1, cmd_deltree},   {"sysmsg", 1, 0, cmd_sysmsg},
    {"temppath", 0, 0, run_temppath}, {"env", 1, 0, cmd_env},
};

static int dispatch(int argc, char** argv) {
  for (size_t i = 0; i < sizeof kCommands / sizeof kCommands[0]; ++i) {
    const Command* c = &kCommands[i];
    if (strcmp(argv[0], c->name) != 0) continue;
    if (argc - 1 != c->args || (c->has_root && !root_key(argv[2]))) break;
    c->run(argv + 1);
    return 0;
  }
  puts("usage");
  return 64;
}

static int run_script(const char* path) {
  FILE* f = fopen(path, "rb");
  if (!f) {
    puts("noscript");
    return 66;
  }
  static char line[1 << 21];
  int status = 0;
  while (fgets(line, sizeof line, f)) {
    size_t len = strlen(line);
    while (len && (line[len - 1] == '\n' || line[len - 1] == '\r')) line[--len] = 0;
    if (len == 0) continue;
    char* argv[16];
    int argc = 0;
    char* p = line;
    while (argc < 16) {
      argv[argc++] = p;
      char* tab = strchr(p, '\t');
      if (!tab) break;
      *tab = 0;
      p = tab + 1;
    }
    if (dispatch(argc, argv)) status = 64;
  }
  fclose(f);
  fflush(stdout);
  return status;
}

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "--script") == 0) return run_script(argv[2]);
  if (argc < 2) {
    puts("usage");
    return 64;
  }
  int rc = dispatch(argc - 1, argv + 1);
  fflush(stdout);
  return rc;
}
