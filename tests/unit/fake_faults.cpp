// A fault of a test found by the in-memory Windows fails the running test.
#include <gtest/gtest.h>

#include "fake/FakeWindows.h"

namespace {

const bool kReporterSet = [] {
  fake::SetFaultReporter([](const std::string& what) { ADD_FAILURE() << what; });
  return true;
}();

}  // namespace
