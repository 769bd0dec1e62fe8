/*
 * uidriver: reads and answers the message boxes of other programs in the
 * same Wine prefix (or on the same Windows desktop).
 *
 *   uidriver wait  [--timeout S] [--exe NAME]
 *       Waits up to S seconds (default 20; 0 looks once) for a visible
 *       dialog (class #32770) and prints it as one JSON object:
 *         {"found":true,"pid":N,"exe":"...","caption":"...",
 *          "texts":["..."],"buttons":["&Yes","&No"],"icon":true,
 *          "exstyle":N}
 *       texts are the non-empty static controls in window order, exactly as
 *       the dialog holds them (line breaks as \n); icon tells whether an
 *       icon control shows an icon; exstyle is the dialog's extended window
 *       style (WS_EX_TOPMOST is 8). No dialog in time:
 *       {"found":false} and exit status 1.
 *   uidriver click BUTTON [--timeout S] [--exe NAME]
 *       Waits for a dialog as above and presses the button whose text is
 *       BUTTON (compared exactly; "&Yes" or, failing that, "Yes" without the
 *       mnemonic ampersand). Prints the dialog it answered. Exit status 0
 *       when pressed, 1 with no dialog, 2 when the dialog has no such
 *       button.
 *   uidriver list
 *       Prints every visible dialog, one JSON object per line.
 *
 * --exe NAME keeps only dialogs of processes whose image file name (without
 * folder) is NAME, compared without regard to case. Output is UTF-8 JSON on
 * stdout; when the driver runs under Wine, stdout should be a file.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#define MAX_ITEMS 32
#define TEXT_CAP 4096

typedef struct {
  HWND hwnd;
  DWORD pid;
  wchar_t exe[MAX_PATH];
  wchar_t caption[TEXT_CAP];
  int text_count;
  wchar_t texts[MAX_ITEMS][TEXT_CAP];
  int button_count;
  wchar_t buttons[MAX_ITEMS][256];
  HWND button_hwnds[MAX_ITEMS];
  BOOL icon;
  DWORD exstyle;
} Dialog;

typedef struct {
  const wchar_t* exe_filter;
  HWND found[64];
  int count;
} Search;

static void process_image_name(DWORD pid, wchar_t* out, DWORD cap) {
  out[0] = 0;
  HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!p) return;
  wchar_t path[MAX_PATH];
  DWORD n = MAX_PATH;
  if (QueryFullProcessImageNameW(p, 0, path, &n)) {
    const wchar_t* base = path;
    for (const wchar_t* c = path; *c; ++c) {
      if (*c == L'\\' || *c == L'/') base = c + 1;
    }
    lstrcpynW(out, base, (int)cap);
  }
  CloseHandle(p);
}

static BOOL is_dialog(HWND hwnd) {
  wchar_t cls[64];
  if (!GetClassNameW(hwnd, cls, 64)) return FALSE;
  return wcscmp(cls, L"#32770") == 0 && IsWindowVisible(hwnd);
}

static BOOL CALLBACK collect_top(HWND hwnd, LPARAM lp) {
  Search* s = (Search*)lp;
  if (!is_dialog(hwnd) || s->count >= 64) return TRUE;
  if (s->exe_filter) {
    DWORD pid = 0;
    wchar_t exe[MAX_PATH];
    GetWindowThreadProcessId(hwnd, &pid);
    process_image_name(pid, exe, MAX_PATH);
    if (lstrcmpiW(exe, s->exe_filter) != 0) return TRUE;
  }
  s->found[s->count++] = hwnd;
  return TRUE;
}

static BOOL CALLBACK collect_child(HWND child, LPARAM lp) {
  Dialog* d = (Dialog*)lp;
  wchar_t cls[64];
  if (GetParent(child) != d->hwnd) return TRUE;  // direct children only
  if (!GetClassNameW(child, cls, 64)) return TRUE;
  if (lstrcmpiW(cls, L"Static") == 0) {
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      if (SendMessageW(child, STM_GETICON, 0, 0)) d->icon = TRUE;
      return TRUE;
    }
    if (d->text_count < MAX_ITEMS) {
      wchar_t* t = d->texts[d->text_count];
      GetWindowTextW(child, t, TEXT_CAP);
      if (t[0]) d->text_count++;
    }
  } else if (lstrcmpiW(cls, L"Button") == 0 && IsWindowVisible(child)) {
    if (d->button_count < MAX_ITEMS) {
      GetWindowTextW(child, d->buttons[d->button_count], 256);
      d->button_hwnds[d->button_count] = child;
      d->button_count++;
    }
  }
  return TRUE;
}

static void read_dialog(HWND hwnd, Dialog* d) {
  memset(d, 0, sizeof *d);
  d->hwnd = hwnd;
  GetWindowThreadProcessId(hwnd, &d->pid);
  process_image_name(d->pid, d->exe, MAX_PATH);
  GetWindowTextW(hwnd, d->caption, TEXT_CAP);
  d->exstyle = (DWORD)GetWindowLongW(hwnd, GWL_EXSTYLE);
  EnumChildWindows(hwnd, collect_child, (LPARAM)d);
}

static void put_json_string(const wchar_t* s) {
  putchar('"');
  for (; *s; ++s) {
    unsigned c = *s;
    if (c == '"' || c == '\\') {
      printf("\\%c", (char)c);
    } else if (c == '\n') {
      fputs("\\n", stdout);
    } else if (c == '\r') {
      fputs("\\r", stdout);
    } else if (c == '\t') {
      fputs("\\t", stdout);
    } else if (c < 0x20 || c >= 0x7f) {
      printf("\\u%04x", c);
    } else {
      putchar((int)c);
    }
  }
  putchar('"');
}

static void print_dialog(const Dialog* d) {
  printf("{\"found\":true,\"pid\":%lu,\"exe\":", (unsigned long)d->pid);
  put_json_string(d->exe);
  fputs(",\"caption\":", stdout);
  put_json_string(d->caption);
  fputs(",\"texts\":[", stdout);
  for (int i = 0; i < d->text_count; ++i) {
    if (i) putchar(',');
    put_json_string(d->texts[i]);
  }
  fputs("],\"buttons\":[", stdout);
  for (int i = 0; i < d->button_count; ++i) {
    if (i) putchar(',');
    put_json_string(d->buttons[i]);
  }
  printf("],\"icon\":%s,\"exstyle\":%lu}\n", d->icon ? "true" : "false",
         (unsigned long)d->exstyle);
  fflush(stdout);
}

// The first visible dialog within the time limit, read in full.
static BOOL wait_dialog(const wchar_t* exe_filter, double timeout_s, Dialog* d) {
  DWORD start = GetTickCount();
  for (;;) {
    Search s;
    memset(&s, 0, sizeof s);
    s.exe_filter = exe_filter;
    EnumWindows(collect_top, (LPARAM)&s);
    if (s.count > 0) {
      // A box that is still being built may not have its buttons yet; read
      // it again after a moment when it has none.
      read_dialog(s.found[0], d);
      if (d->button_count > 0) return TRUE;
    }
    if ((GetTickCount() - start) >= (DWORD)(timeout_s * 1000.0)) {
      return s.count > 0;
    }
    Sleep(100);
  }
}

static int usage(void) {
  fputs("usage: uidriver wait [--timeout S] [--exe NAME]\n"
        "       uidriver click BUTTON [--timeout S] [--exe NAME]\n"
        "       uidriver list\n",
        stderr);
  return 64;
}

static BOOL same_without_mnemonic(const wchar_t* label, const wchar_t* want) {
  wchar_t stripped[256];
  int j = 0;
  for (int i = 0; label[i] && j < 255; ++i) {
    if (label[i] == L'&') {
      if (label[i + 1] == L'&') stripped[j++] = L'&', ++i;
      continue;
    }
    stripped[j++] = label[i];
  }
  stripped[j] = 0;
  return wcscmp(stripped, want) == 0;
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return usage();
  const wchar_t* cmd = argv[1];
  const wchar_t* button = NULL;
  const wchar_t* exe_filter = NULL;
  double timeout_s = 20.0;
  int i = 2;
  if (wcscmp(cmd, L"click") == 0) {
    if (argc < 3) return usage();
    button = argv[2];
    i = 3;
  }
  for (; i < argc; ++i) {
    if (wcscmp(argv[i], L"--timeout") == 0 && i + 1 < argc) {
      timeout_s = _wtof(argv[++i]);
    } else if (wcscmp(argv[i], L"--exe") == 0 && i + 1 < argc) {
      exe_filter = argv[++i];
    } else {
      return usage();
    }
  }

  if (wcscmp(cmd, L"list") == 0) {
    Search s;
    memset(&s, 0, sizeof s);
    EnumWindows(collect_top, (LPARAM)&s);
    static Dialog d;
    for (int k = 0; k < s.count; ++k) {
      read_dialog(s.found[k], &d);
      print_dialog(&d);
    }
    return 0;
  }

  static Dialog d;
  if (wcscmp(cmd, L"wait") == 0 || button) {
    if (!wait_dialog(exe_filter, timeout_s, &d)) {
      fputs("{\"found\":false}\n", stdout);
      return 1;
    }
    print_dialog(&d);
    if (!button) return 0;

    int hit = -1;
    for (int k = 0; k < d.button_count && hit < 0; ++k) {
      if (wcscmp(d.buttons[k], button) == 0) hit = k;
    }
    for (int k = 0; k < d.button_count && hit < 0; ++k) {
      if (same_without_mnemonic(d.buttons[k], button)) hit = k;
    }
    if (hit < 0) return 2;
    // BM_CLICK is posted, then the driver waits (up to 5 s) for the box to
    // close, so that the press has taken effect when the driver ends. A
    // sent BM_CLICK returns only about 2 s late under Wine.
    PostMessageW(d.button_hwnds[hit], BM_CLICK, 0, 0);
    DWORD start = GetTickCount();
    while (IsWindow(d.hwnd) && IsWindowVisible(d.hwnd) && GetTickCount() - start < 5000) Sleep(20);
    return 0;
  }
  return usage();
}
