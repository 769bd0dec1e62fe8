// The tests' own copy of the program's fixed failure identities: the source
// name, function name, line and message of every raise whose identity is
// part of the program's external behaviour, and the meaning of every exit
// code of the framework installer. Written out here by hand and compared
// against what the code raises, so that a change on either side fails a
// test. The "line" values are fixed identifiers, not lines of any source.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace golden {

// Kind codes of the two concrete exceptions.
constexpr int kKindText = 4;
constexpr int kKindCommon = 2;

// ---- The resource extractor ------------------------------------------------------

constexpr const char* kExtractorSource = "ResourcesExtractor";
constexpr const char* kExtractorFunction = "CResourcesExtractor::ExtractFile";

struct ExtractorRaise {
  const char* format;  // one %d (the resource id) or one %s (the path)
  std::int32_t line;
};
constexpr ExtractorRaise kNotFound = {"Failed to find resource %d.", 9};
constexpr ExtractorRaise kNotLoaded = {"Failed to load resource %d.", 11};
constexpr ExtractorRaise kEmpty = {"Resource %d is empty.", 13};
constexpr ExtractorRaise kWriteFailed = {"Failed to write to file '%s'", 19};

// A raise's message filled with its argument.
inline std::string Text(const ExtractorRaise& raise, int id) {
  char text[128];
  static_cast<void>(std::snprintf(text, sizeof text, raise.format, id));
  return text;
}
inline std::string Text(const ExtractorRaise& raise, const std::string& path) {
  const std::string format = raise.format;
  const std::size_t at = format.find("%s");
  return format.substr(0, at) + path + format.substr(at + 2);
}

// ---- The framework installer run --------------------------------------------------

constexpr const char* kInstallerSource = "DotNetInstaller";
constexpr const char* kInstallFunction = "DotNet::CDotNetInstaller::Install";
constexpr const char* kVerifyFunction = "DotNet::CDotNetInstaller::InstallVerify";

constexpr const char* kLaunchFailed = "Failed to execute .NET Framework installer.";
constexpr std::int32_t kLaunchFailedLine = 39;

constexpr const char* kUnknownExitCode =
    "Unknown error occurred and the installation of Dotnetfx.exe cannot proceed.";
constexpr std::int32_t kUnknownExitCodeLine = 108;

// What the run makes of an exit code.
enum class Outcome {
  kDone,            // Install returns true
  kRestartStarted,  // Install returns false: done, but the run ends
  kCancelled,       // Install returns false
  kFailedText,      // KvExceptionText from InstallVerify with the row's message and line
  kFailedCode,      // KvExceptionCommon from InstallVerify: the code, kUnknownExitCode, line 108
};

struct ExitCodeRow {
  std::uint32_t code;
  Outcome outcome;
  const char* message;  // null unless failed
  std::int32_t line;    // 0 unless failed
};

constexpr const char* kFatalText =
    "A fatal error occurred and the installation of Dotnetfx.exe cannot proceed.";

// Every documented code, and codes from every gap around them.
constexpr ExitCodeRow kExitCodes[] = {
    {0, Outcome::kDone, nullptr, 0},
    {3010, Outcome::kDone, nullptr, 0},            // restart required
    {1641, Outcome::kRestartStarted, nullptr, 0},  // restart started
    {1602, Outcome::kCancelled, nullptr, 0},
    {4096, Outcome::kFailedText,
     "Either the syntax used to specify parameters to Dotnetfx.exe is incorrect, or the "
     "parameters are invalid.",
     68},
    {4097, Outcome::kFailedText,
     "You do not have the permissions required to install or uninstall this application. "
     "Please contact your administrator.",
     71},
    {4098, Outcome::kFailedText,
     "The Windows Installer installation failed. As a result, the installation of "
     "Dotnetfx.exe cannot proceed.",
     74},
    {4099, Outcome::kFailedText,
     "Due to the improper installation of Windows Installer, the installation of "
     "Dotnetfx.exe cannot proceed.",
     77},
    {4100, Outcome::kFailedText, kFatalText, 80},
    {4101, Outcome::kFailedText,
     "If another instance of setup is running, it will be allowed to continue and the "
     "current installation cannot proceed.",
     83},
    {4104, Outcome::kFailedText,
     "You attempted to install a version of Dotnetfx.exe that is already installed. "
     "Installation cannot proceed.",
     86},
    {4105, Outcome::kFailedText,
     "You attempted to uninstall a version of Dotnetfx.exe that is not installed on the "
     "computer. Uninstallation cannot proceed.",
     89},
    {4108, Outcome::kFailedText, "Cannot read from MSI Database.", 92},
    {4111, Outcome::kFailedText, "Cannot get Temp directory.", 95},
    {4113, Outcome::kFailedText,
     "A beta version of the .NET Framework was detected on the computer. You must uninstall "
     "any beta versions before attempting to install Dotnetfx.exe.",
     98},
    {4114, Outcome::kFailedText, "Cannot get System directory.", 101},
    {8191, Outcome::kFailedText, kFatalText, 104},
    {8192, Outcome::kFailedText,
     "A computer reboot is required following the installation of Windows Installer.", 65},
    {1, Outcome::kFailedCode, kUnknownExitCode, 108},
    {1601, Outcome::kFailedCode, kUnknownExitCode, 108},
    {1603, Outcome::kFailedCode, kUnknownExitCode, 108},
    {1640, Outcome::kFailedCode, kUnknownExitCode, 108},
    {1642, Outcome::kFailedCode, kUnknownExitCode, 108},
    {3009, Outcome::kFailedCode, kUnknownExitCode, 108},
    {3011, Outcome::kFailedCode, kUnknownExitCode, 108},
    {4095, Outcome::kFailedCode, kUnknownExitCode, 108},
    {4102, Outcome::kFailedCode, kUnknownExitCode, 108},
    {4103, Outcome::kFailedCode, kUnknownExitCode, 108},
    {4106, Outcome::kFailedCode, kUnknownExitCode, 108},
    {4107, Outcome::kFailedCode, kUnknownExitCode, 108},
    {4109, Outcome::kFailedCode, kUnknownExitCode, 108},
    {4110, Outcome::kFailedCode, kUnknownExitCode, 108},
    {4112, Outcome::kFailedCode, kUnknownExitCode, 108},
    {4115, Outcome::kFailedCode, kUnknownExitCode, 108},
    {8190, Outcome::kFailedCode, kUnknownExitCode, 108},
    {8193, Outcome::kFailedCode, kUnknownExitCode, 108},
    {0x80000000u, Outcome::kFailedCode, kUnknownExitCode, 108},
    {0xFFFFFFFFu, Outcome::kFailedCode, kUnknownExitCode, 108},
};

// The row of a code listed above.
inline const ExitCodeRow& RowOf(std::uint32_t code) {
  for (const ExitCodeRow& row : kExitCodes)
    if (row.code == code) return row;
  return kExitCodes[0];  // not reached for a listed code
}

// ---- The error report ----------------------------------------------------------------

constexpr const char* kErrorCaption = "Error";
constexpr unsigned kErrorBoxStyle = 0x50010;  // OK, error icon, foreground, topmost
// Shown when the trimmed text is empty; the file name and the line fill it.
constexpr const char* kEmptyTextFallback = "Unknown error occured\nFile: %s, Line: %d";

}  // namespace golden
