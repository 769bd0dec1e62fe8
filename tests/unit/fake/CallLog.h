// The in-memory Windows' call log: one line per plat:: call, in order, e.g.
// "RegCreateKeyExA". A test checks from it what was called and how often.
//
// The log is bounded: the call past kMaxCalls is reported as a fault of the
// test, no longer recorded, and the model's walks and writes end from then on
// (Exhausted()), so that a loop that does not end fails the test instead of
// exhausting the machine.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

namespace fake {

// How a fault of the test itself is reported (a call log past its bound).
// By default the program is ended with the reason on stderr; the unit tests
// make it a failure of the running test.
using FaultReporter = void (*)(const std::string& what);
void SetFaultReporter(FaultReporter report);

class CallLog {
 public:
  static constexpr std::size_t kMaxCalls = 100000;

  CallLog() = default;
  CallLog(const CallLog&) = delete;
  CallLog& operator=(const CallLog&) = delete;

  void Record(const char* name);
  bool Exhausted() const { return exhausted_; }

  const std::vector<std::string>& All() const { return calls_; }
  int Count(const std::string& name) const;
  // The calls named in `names`, in order, the others left out.
  std::vector<std::string> Among(const std::set<std::string>& names) const;
  // Forgets what was recorded so far; a log past its bound stays exhausted.
  void Clear() { calls_.clear(); }

 private:
  std::vector<std::string> calls_;
  bool exhausted_ = false;
};

}  // namespace fake
