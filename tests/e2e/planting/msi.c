/* Planted msi.dll: the Windows Installer entry the bootstrapper uses, at its
 * ordinal. It enumerates no products. See planted.h. */
#define PLANTED_NAME "msi.dll"
#include "planted.h"

UINT WINAPI MsiEnumProductsA(DWORD index, LPSTR product) {
  (void)index;
  (void)product;
  PLANTED_CALL("MsiEnumProductsA");
  return ERROR_NO_MORE_ITEMS;
}
