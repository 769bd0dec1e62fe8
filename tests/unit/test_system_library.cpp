// Where msi.dll and mscoree.dll come from, through the two code paths that
// load them: the walk of the installed products and the framework check.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/ProductPackage.h"
#include "dotnet/DotNetChecker.h"
#include "fake/FakeWindows.h"

namespace {

const char kFrameworkKey[] = "Software\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full";

struct Caller {
  const char* what;
  const char* dll;
  std::function<void(fake::FakeWindows&)> install;
  std::function<bool()> run;  // true: the caller got what it loaded the DLL for
};

const Caller kCallers[] = {
    {"product walk", "msi.dll", [](fake::FakeWindows& win) { win.libraries.InstallMsi(); },
     [] { return WalkInstalledProducts() == 1u; }},
    {"framework check", "mscoree.dll",
     [](fake::FakeWindows& win) {
       win.registry.SetDword(fake::View::k32, kFrameworkKey, "Install", 1);
       win.registry.SetString(fake::View::k32, kFrameworkKey, "Version", "4.0.30319");
       win.libraries.InstallShim();
     },
     [] { return DotNet::CDotNetChecker().IsInstalled(); }},
};

// Each system loads the DLL in a way that also keeps the DLLs it imports
// out of the executable's folder: by name from the system folder where
// kernel32 has the search flags, else by full path with the search order
// that starts at the DLL's own folder. A plain load by full path (flags 0)
// would resolve its imports from the executable's folder first.
TEST(SystemLibrary, LoadedFromTheSystemFolderWithItsImportsSearchedThereFirst) {
  struct System {
    const char* what;
    bool searchApis;
    bool nameIsFullPath;
    plat::DWord flags;
  } const systems[] = {
      {"with AddDllDirectory", true, false, 0x800},
      {"without AddDllDirectory", false, true, 0x8},
  };
  for (const Caller& caller : kCallers) {
    for (const System& system : systems) {
      const std::string where = std::string(caller.what) + ", " + system.what;
      fake::FakeWindows win;
      win.libraries.SetKernel32(system.searchApis);
      caller.install(win);
      win.libraries.PlantBesideExe(caller.dll, {"MsiEnumProductsA", "GetCORVersion",
                                                "CorBindToRuntime", "GetRequestedRuntimeInfo"});
      EXPECT_TRUE(caller.run()) << where;
      EXPECT_EQ(win.calls.Count("PlantedEntry"), 0) << where;
      ASSERT_EQ(win.calls.Args<fake::LoadRecord>().size(), 1u) << where;
      const fake::LoadRecord load = win.calls.Args<fake::LoadRecord>()[0];
      const std::string folder = "C:\\windows\\system32\\";
      EXPECT_EQ(load.name, system.nameIsFullPath ? folder + caller.dll : caller.dll) << where;
      EXPECT_EQ(load.flags, system.flags) << where;
      EXPECT_EQ(load.resolved, fake::Lower(folder + caller.dll)) << where;
      EXPECT_EQ(win.libraries.LoadedLibraryCount(), 0) << where;
    }
  }
}

// Without a system folder no full path can be built; the bare name, which
// the ordinary search would find beside the executable, is never tried. A
// folder longer than the buffer is told by its size alone, and nothing of it
// is copied.
TEST(SystemLibrary, NoSystemFolderOnAnOlderSystemLoadsNothing) {
  struct Folder {
    const char* what;
    bool fails;
    std::string path;
  } const folders[] = {
      {"the system gives no folder", true, "C:\\windows\\system32"},
      {"a folder longer than a path", false, "C:\\" + std::string(300, 'w')},
      {"a folder one byte too long", false, "C:\\" + std::string(plat::kMaxPath - 3, 'w')},
  };
  for (const Caller& caller : kCallers) {
    for (const Folder& folder : folders) {
      const std::string where = std::string(caller.what) + ", " + folder.what;
      fake::FakeWindows win;
      win.libraries.SetKernel32(false);
      caller.install(win);
      win.libraries.PlantBesideExe(caller.dll, {"MsiEnumProductsA", "GetCORVersion",
                                                "CorBindToRuntime", "GetRequestedRuntimeInfo"});
      win.libraries.systemDirectoryFails = folder.fails;
      win.libraries.systemFolder = folder.path;
      EXPECT_FALSE(caller.run()) << where;
      EXPECT_TRUE(win.calls.Args<fake::LoadRecord>().empty()) << where;
      EXPECT_EQ(win.calls.Count("PlantedEntry"), 0) << where;
    }
  }
}

}  // namespace
