// The in-memory Windows' call log: one entry per plat:: call, in order: its
// name, e.g. "RegCreateKeyExA", and for the calls whose arguments a test
// checks, a record of them (a MessageBoxCall, a RegRequest, the size a
// WriteFile asked for). A test checks from it what was called, how often
// and with what. It is the model's one record of the calls.
//
// The log is bounded: the call past kMaxCalls is reported as a fault of the
// test, no longer recorded, and the model's walks and writes end from then on
// (Exhausted()), so that a loop that does not end fails the test instead of
// exhausting the machine.
#pragma once

#include <any>
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

  // The call, with its argument record if it has one.
  void Record(const char* name, std::any args = {});
  bool Exhausted() const { return exhausted_; }

  const std::vector<std::string>& All() const { return calls_; }
  int Count(const std::string& name) const;
  // The calls named in `names`, in order, the others left out.
  std::vector<std::string> Among(const std::set<std::string>& names) const;
  // The argument records of type T, in call order; with a name, those of
  // that call only.
  template <typename T>
  std::vector<T> Args(const std::string& name = "") const {
    std::vector<T> out;
    for (std::size_t i = 0; i < calls_.size(); ++i)
      if (const T* args = std::any_cast<T>(&args_[i]); args && (name.empty() || calls_[i] == name))
        out.push_back(*args);
    return out;
  }
  // Forgets what was recorded so far; a log past its bound stays exhausted.
  void Clear() {
    calls_.clear();
    args_.clear();
  }

 private:
  std::vector<std::string> calls_;
  std::vector<std::any> args_;  // beside calls_, empty for a call without a record
  bool exhausted_ = false;
};

}  // namespace fake
