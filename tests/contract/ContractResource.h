// The text of the suite's own resource (type CtrData, id 7), shared by the
// resource script and the cases. The script holds it without a terminator.
#pragma once
// A macro, not a constant: windres reads it too.
// NOLINTNEXTLINE(cppcoreguidelines-macro-usage)
#define LUMENTA_CONTRACT_RESOURCE_TEXT "Contract resource: seven of CtrData."
