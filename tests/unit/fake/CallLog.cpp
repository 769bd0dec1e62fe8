#include "fake/CallLog.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace fake {
namespace {

void AbortOnFault(const std::string& what) {
  (void)std::fprintf(stderr, "in-memory Windows: %s\n", what.c_str());
  std::abort();
}

FaultReporter g_reportFault = &AbortOnFault;

}  // namespace

void SetFaultReporter(FaultReporter report) { g_reportFault = report ? report : &AbortOnFault; }

void CallLog::Record(const char* name, std::any args) {
  if (calls_.size() < kMaxCalls) {
    calls_.emplace_back(name);
    args_.push_back(std::move(args));
    return;
  }
  if (!exhausted_) {
    exhausted_ = true;
    g_reportFault(
        "more than " + std::to_string(kMaxCalls) +
        " platform calls in one test: a walk or a loop that does not end (the last: " + name + ")");
  }
}

int CallLog::Count(const std::string& name) const {
  return static_cast<int>(std::count(calls_.begin(), calls_.end(), name));
}

std::vector<std::string> CallLog::Among(const std::set<std::string>& names) const {
  std::vector<std::string> out;
  for (const auto& c : calls_)
    if (names.contains(c)) out.push_back(c);
  return out;
}

}  // namespace fake
