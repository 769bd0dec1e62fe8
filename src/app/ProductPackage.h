// The last step of the start-up sequence: the product's Windows Installer
// package is written to the temporary folder and handed to the shell.
#pragma once

#include <string>

// The package's file name in the temporary folder.
inline constexpr const char* kPackageFileName = "BrannexLumentaSetup.msi";

// Walks the installed products, writes resource "MSI" 130 to the temporary
// folder and opens it with the shell's "open" verb, without waiting. A
// package that could not be written in full is not opened: the write
// failure is shown in the error box instead. Reports nothing else.
void LaunchProductPackage();

// Writes the package resource to path, replacing any file there, in full or
// not at all: throws Error::KvExceptionText when the resource cannot be read
// or the file cannot be written completely.
void ExtractPackageFile(const std::string& path);

// Walks the Windows Installer's product list to its end, discarding what it
// returns. msi.dll comes from the system folder only; without it the walk is
// skipped. Returns the number of calls made.
unsigned WalkInstalledProducts();

// The temporary folder as the system gives it (empty when it gives none)
// joined with the package file name.
std::string PackagePath();
