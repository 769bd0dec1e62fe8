/* The same read as data_import_plain.c, declared as imported: it goes
   through the import table and needs no relocation at run time, so the
   image's link takes it. The control that shows the refusal of the other is
   the guard's doing, not a broken link. */
extern __declspec(dllimport) int _osver;
int __stdcall WinMainCRTStartup(void) { return _osver + 1; }
