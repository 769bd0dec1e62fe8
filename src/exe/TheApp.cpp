// The one application object of the executable, constructed during static
// initialisation, before the framework's entry point runs.
#include "app/LumentaSetupBootApp.h"

CLumentaSetupBootApp theApp;
