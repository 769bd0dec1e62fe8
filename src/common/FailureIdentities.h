// Every failure the user can be shown, by its identity: the source name,
// function name and line that its exception records, and its message; and
// what each exit code of the .NET Framework installer means.
//
// These values are part of the program's external behaviour and must not change.
// The "line" values are fixed identifiers, not lines of our sources.
//
// A raise takes all four parts of its identity from here and passes nothing
// of its own (no __FILE__, no __LINE__), so moving code changes no report.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

namespace Error {

// Where a failure says it comes from, and what it says. A message with a
// printf conversion is a format that the raise fills with one argument.
struct FixedFailure {
  const char* source;    // the source name, without folders or extension
  const char* function;  // the qualified function name
  std::int32_t line;
  const char* message;
};

// ---- The resource extractor ----------------------------------------------------------------
// Error::KvExceptionText. The same four serve every resource written out: the
// framework installer ("EXE" 134) and the product package ("MSI" 130). The %d
// is the resource's id, the %s the path.

inline constexpr const char* kExtractorSource = "ResourcesExtractor";
inline constexpr const char* kExtractFunction = "CResourcesExtractor::ExtractFile";

inline constexpr FixedFailure kResourceNotFound = {kExtractorSource, kExtractFunction, 9,
                                                   "Failed to find resource %d."};
inline constexpr FixedFailure kResourceNotLoaded = {kExtractorSource, kExtractFunction, 11,
                                                    "Failed to load resource %d."};
inline constexpr FixedFailure kResourceEmpty = {kExtractorSource, kExtractFunction, 13,
                                                "Resource %d is empty."};
inline constexpr FixedFailure kWriteFailed = {kExtractorSource, kExtractFunction, 19,
                                              "Failed to write to file '%s'"};

// ---- The framework installer run -----------------------------------------------------------

inline constexpr const char* kInstallerSource = "DotNetInstaller";
inline constexpr const char* kInstallFunction = "DotNet::CDotNetInstaller::Install";
inline constexpr const char* kVerifyFunction = "DotNet::CDotNetInstaller::InstallVerify";

// Error::KvExceptionCommon with the shell's last error: the installer could
// not be started.
inline constexpr FixedFailure kLaunchFailed = {kInstallerSource, kInstallFunction, 39,
                                               "Failed to execute .NET Framework installer."};

// The installer's exit codes that are not failures.
inline constexpr plat::DWord kInstallerExitSuccess = 0;
inline constexpr plat::DWord kInstallerExitRebootInitiated = 1641;  // done, restart begun
inline constexpr plat::DWord kInstallerExitCancelled = 1602;        // the user cancelled
inline constexpr plat::DWord kInstallerExitRebootRequired = 3010;   // done, restart needed

// Its documented failures, each an Error::KvExceptionText. 8192 (a reboot is
// needed after installing the Windows Installer) is one too: the framework is
// not there yet.
struct InstallerExitFailure {
  plat::DWord exitCode;
  FixedFailure failure;
};

inline constexpr const char* kInstallerFatalError =
    "A fatal error occurred and the installation of Dotnetfx.exe cannot proceed.";

inline constexpr InstallerExitFailure kInstallerExitFailures[] = {
    {4096,
     {kInstallerSource, kVerifyFunction, 68,
      "Either the syntax used to specify parameters to Dotnetfx.exe is incorrect, or the "
      "parameters are invalid."}},
    {4097,
     {kInstallerSource, kVerifyFunction, 71,
      "You do not have the permissions required to install or uninstall this application. "
      "Please contact your administrator."}},
    {4098,
     {kInstallerSource, kVerifyFunction, 74,
      "The Windows Installer installation failed. As a result, the installation of Dotnetfx.exe "
      "cannot proceed."}},
    {4099,
     {kInstallerSource, kVerifyFunction, 77,
      "Due to the improper installation of Windows Installer, the installation of Dotnetfx.exe "
      "cannot proceed."}},
    {4100, {kInstallerSource, kVerifyFunction, 80, kInstallerFatalError}},
    {4101,
     {kInstallerSource, kVerifyFunction, 83,
      "If another instance of setup is running, it will be allowed to continue and the current "
      "installation cannot proceed."}},
    {4104,
     {kInstallerSource, kVerifyFunction, 86,
      "You attempted to install a version of Dotnetfx.exe that is already installed. "
      "Installation cannot proceed."}},
    {4105,
     {kInstallerSource, kVerifyFunction, 89,
      "You attempted to uninstall a version of Dotnetfx.exe that is not installed on the "
      "computer. Uninstallation cannot proceed."}},
    {4108, {kInstallerSource, kVerifyFunction, 92, "Cannot read from MSI Database."}},
    {4111, {kInstallerSource, kVerifyFunction, 95, "Cannot get Temp directory."}},
    {4113,
     {kInstallerSource, kVerifyFunction, 98,
      "A beta version of the .NET Framework was detected on the computer. You must uninstall "
      "any beta versions before attempting to install Dotnetfx.exe."}},
    {4114, {kInstallerSource, kVerifyFunction, 101, "Cannot get System directory."}},
    {8191, {kInstallerSource, kVerifyFunction, 104, kInstallerFatalError}},
    {8192,
     {kInstallerSource, kVerifyFunction, 65,
      "A computer reboot is required following the installation of Windows Installer."}},
};

// Every other exit code: Error::KvExceptionCommon with the exit code.
inline constexpr FixedFailure kUnknownExitCode = {
    kInstallerSource, kVerifyFunction, 108,
    "Unknown error occurred and the installation of Dotnetfx.exe cannot proceed."};

// ---- The error report --------------------------------------------------------------------
// Its caption, and the text it shows for an exception whose own text is empty
// (the exception's source name and line filled in).

inline constexpr const char* kReportCaption = "Error";
inline constexpr const char* kReportFallback = "Unknown error occured\nFile: %s, Line: %d";

}  // namespace Error
