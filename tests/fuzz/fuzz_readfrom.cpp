// Reads both exception kinds from arbitrary bytes. The reader must never
// look past the data or write outside a field, whatever the bytes say
// (AddressSanitizer watches both), and whatever it read must survive a write
// and a second read unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/KvException.h"
#include "common/KvMemStream.h"
#include "fake/FakeWindows.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// A field written and read back is the same, except that an empty string is
// never stored over a field.
void CheckString(const std::string& written, const std::string& read, const char* sentinel) {
  Check(read == (written.empty() ? std::string(sentinel) : written));
}

void RoundTripText(const Error::KvExceptionText& e) {
  KvMemStream stream(7);
  e.WriteTo(stream);
  stream.SetPosition(0);
  Error::KvExceptionText back("m?", "f?", "g?", -7);
  back.ReadFrom(stream);
  Check(stream.GetRemaining() == 0);
  CheckString(e.GetFileName(), back.GetFileName(), "f?");
  CheckString(e.GetFunctionName(), back.GetFunctionName(), "g?");
  CheckString(e.GetMessageText(), back.GetMessageText(), "m?");
  Check(back.GetLine() == e.GetLine());
}

void RoundTripCommon(const Error::KvExceptionCommon& e) {
  KvMemStream stream(1);
  e.WriteTo(stream);
  stream.SetPosition(0);
  Error::KvExceptionCommon back(0xDEADu, "c?", "f?", "g?", -7);
  back.ReadFrom(stream);
  Check(stream.GetRemaining() == 0);
  CheckString(e.GetFileName(), back.GetFileName(), "f?");
  CheckString(e.GetFunctionName(), back.GetFunctionName(), "g?");
  CheckString(e.GetContext(), back.GetContext(), "c?");
  Check(back.GetLine() == e.GetLine());
  Check(back.GetErrorCode() == e.GetErrorCode());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Constructing an exception reduces its file name, which asks the code page
  // about lead bytes: the in-memory Windows answers (a single-byte page).
  static fake::FakeWindows* const win = new fake::FakeWindows();
  (void)win;

  {
    // Each kind from the start of the data, then both one after the other.
    KvMemStream forText(data, size);
    Error::KvExceptionText text("m", "f", "g", 1);
    text.ReadFrom(forText);
    Check(forText.GetPosition() <= size);
    RoundTripText(text);

    KvMemStream forCommon(data, size);
    Error::KvExceptionCommon common(2, "c", "f", "g", 1);
    common.ReadFrom(forCommon);
    Check(forCommon.GetPosition() <= size);
    RoundTripCommon(common);

    KvMemStream both(data, size);
    text.ReadFrom(both);
    const std::size_t afterText = both.GetPosition();
    common.ReadFrom(both);
    Check(afterText <= both.GetPosition() && both.GetPosition() <= size);
    RoundTripText(text);
    RoundTripCommon(common);
  }

  {
    // The item readers alone, until they stop making progress.
    KvMemStream stream(data, size);
    std::string field = "old";
    std::uint32_t value = 0;
    for (;;) {
      const std::size_t before = stream.GetPosition();
      stream.ReadString(field);
      stream.ReadInt32(value);
      Check(field.find('\0') == std::string::npos);
      Check(stream.GetPosition() <= size);
      if (stream.GetPosition() == before) break;
    }
  }
  return 0;
}
