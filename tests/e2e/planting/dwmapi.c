/* Planted dwmapi.dll: the desktop window manager entries that programs ask
 * for most, reporting no composition. See planted.h. */
#define PLANTED_NAME "dwmapi.dll"
#include "planted.h"

#define DWM_E_COMPOSITIONDISABLED_ ((HRESULT)0x80263001L)

HRESULT WINAPI DwmIsCompositionEnabled(BOOL* enabled) {
  PLANTED_CALL("DwmIsCompositionEnabled");
  if (enabled) *enabled = FALSE;
  return S_OK;
}

HRESULT WINAPI DwmExtendFrameIntoClientArea(HWND window, const void* margins) {
  (void)window;
  (void)margins;
  PLANTED_CALL("DwmExtendFrameIntoClientArea");
  return DWM_E_COMPOSITIONDISABLED_;
}

HRESULT WINAPI DwmGetWindowAttribute(HWND window, DWORD attribute, PVOID value, DWORD size) {
  (void)window;
  (void)attribute;
  (void)value;
  (void)size;
  PLANTED_CALL("DwmGetWindowAttribute");
  return E_NOTIMPL;
}

HRESULT WINAPI DwmSetWindowAttribute(HWND window, DWORD attribute, LPCVOID value, DWORD size) {
  (void)window;
  (void)attribute;
  (void)value;
  (void)size;
  PLANTED_CALL("DwmSetWindowAttribute");
  return E_NOTIMPL;
}

HRESULT WINAPI DwmFlush(void) {
  PLANTED_CALL("DwmFlush");
  return S_OK;
}
