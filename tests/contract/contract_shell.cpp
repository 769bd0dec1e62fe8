// System messages as the program shows them, and the programs it starts: the
// framework installer through ShellExecuteExA, waited for and judged by its
// exit code.
#include <string>

#include "ContractWorld.h"

namespace contract {
namespace {

constexpr plat::DWord kMidNotFound = 317;  // ERROR_MR_MID_NOT_FOUND
constexpr plat::DWord kUntouched = 12345;

// The program's own request for a system message.
constexpr plat::DWord kMessageFlags = plat::kFormatMessageFromSystem |
                                      plat::kFormatMessageIgnoreInserts |
                                      plat::kFormatMessageAllocateBuffer;

using Messages = Contract;

TEST_F(Messages, SystemTextsOfTheCodesTheProgramShows) {
  // Windows' texts are those of its system error code list, each ended by
  // CR LF. Wine has its own wording for some and none for others; the
  // in-memory Windows follows Windows.
  struct Case {
    plat::DWord code;
    const char* windows;  // nullptr: no text
    const char* wine;
  } const cases[] = {
      {2, "The system cannot find the file specified.\r\n", "File not found.\r\n"},
      {5, "Access is denied.\r\n", "Access denied.\r\n"},
      {32, "The process cannot access the file because it is being used by another process.\r\n",
       "Sharing violation.\r\n"},
      {1603, "Fatal error during installation.\r\n", "Installation failure.\r\n"},
      {3010,
       "The requested operation is successful. Changes will not be effective until the system "
       "is rebooted.\r\n",
       nullptr},
      // A status code, not an error code: its text is in ntdll's message
      // table, which FORMAT_MESSAGE_FROM_SYSTEM alone does not search.
      {0xC0000005u, nullptr, nullptr},
      // The customer bit: never a system code.
      {0x20001234u, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    const char* expected = world().UnderWine() ? c.wine : c.windows;
    char* text = nullptr;
    plat::SetLastError(kUntouched);
    const plat::DWord length =
        plat::FormatMessageA(kMessageFlags, nullptr, c.code, plat::kLangUserDefault,
                             reinterpret_cast<char*>(&text), 0, nullptr);
    if (expected == nullptr) {
      EXPECT_EQ(length, 0u) << c.code;
      EXPECT_EQ(plat::GetLastError(), kMidNotFound) << c.code;
      EXPECT_EQ(text, nullptr) << c.code;
    } else {
      ASSERT_NE(text, nullptr) << c.code;
      EXPECT_EQ(std::string(text), expected) << c.code;
      EXPECT_EQ(length, std::string(expected).size()) << c.code;
    }
    if (text != nullptr) {
      EXPECT_EQ(plat::LocalFree(text), nullptr) << c.code;
    }
  }
}

// The framework installer's launch, as the program asks for it.
plat::ShellExecuteInfoA LaunchRequest(const std::string& file, const std::string& parameters) {
  plat::ShellExecuteInfoA request{};
  request.cbSize = plat::kShellExecuteInfoSize32;
  request.fMask = plat::kSeeMaskNoCloseProcess | plat::kSeeMaskFlagNoUi;
  request.lpFile = file.c_str();
  request.lpParameters = parameters.c_str();
  request.nShow = plat::kSwShow;
  return request;
}

using Processes = Contract;

TEST_F(Processes, LaunchThatCannotStartLeavesTheReasonAsLastError) {
  // Windows gives the reason as the last error (ShellExecuteEx's page lists
  // the codes it leaves; CreateProcess refuses a file that is not an image
  // with ERROR_BAD_EXE_FORMAT). Wine 8 does the same; from Wine 10 on, a
  // file that is not a program leaves ERROR_INVALID_HANDLE instead.
  constexpr plat::DWord kErrorInvalidHandle = 6;
  const std::string scratch = world().Scratch();
  const bool wine10 = world().WineMajor() >= 10;
  struct Case {
    const char* name;
    std::string file;
    const char* contents;  // nullptr: no file
    plat::DWord lastError;
  } const cases[] = {
      {"missing file", scratch + "\\absent.exe", nullptr, plat::kErrorFileNotFound},
      {"not a program", scratch + "\\text.exe", "plain text, not a program\r\n",
       wine10 ? kErrorInvalidHandle : plat::kErrorBadExeFormat},
  };
  for (const Case& c : cases) {
    if (c.contents) world().MakeFile(c.file, c.contents);
    const std::string parameters = "/c:\"install\"";
    plat::ShellExecuteInfoA request = LaunchRequest(c.file, parameters);
    plat::SetLastError(kUntouched);
    EXPECT_EQ(plat::ShellExecuteExA(&request), 0) << c.name;
    EXPECT_EQ(plat::GetLastError(), c.lastError) << c.name;
    EXPECT_EQ(request.hProcess, nullptr) << c.name;
  }
}

TEST_F(Processes, StartedChildIsWaitedForAndGivesItsExitCode) {
  for (plat::DWord code : {0u, 1602u, 3010u}) {
    const World::Program child = world().ChildEndingWith(code);
    plat::ShellExecuteInfoA request = LaunchRequest(child.file, child.parameters);
    ASSERT_NE(plat::ShellExecuteExA(&request), 0) << code;
    ASSERT_NE(request.hProcess, nullptr) << code;
    EXPECT_EQ(plat::WaitForSingleObject(request.hProcess, plat::kInfinite), plat::kWaitObject0)
        << code;
    plat::DWord exitCode = 0xDEAD;
    EXPECT_EQ(plat::GetExitCodeProcess(request.hProcess, &exitCode), 1) << code;
    EXPECT_EQ(exitCode, code);
    plat::SetLastError(kUntouched);
    EXPECT_EQ(plat::CloseHandle(request.hProcess), 1) << code;
    EXPECT_EQ(plat::GetLastError(), kUntouched) << code;
  }
}

}  // namespace
}  // namespace contract
