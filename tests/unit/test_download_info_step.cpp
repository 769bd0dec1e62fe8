#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "fake/FakeWindows.h"
#include "platform/Platform.h"
#include "source_info/SourceInfoStep.h"

namespace {

const char kKey[] = "Software\\Brannex\\Freeware - Lumenta";

struct SourceInfoStep : ::testing::Test {
  fake::FakeWindows win;
  void SetUp() override { win.resources.SetResource("KvR", 10, fake::Bytes{'a', 0, 'b', 0}); }
};

TEST_F(SourceInfoStep, RecordsTheNoteUnderThisProductsKeyInBothViews) {
  RunSourceInfoStep();
  for (fake::View view : {fake::View::k32, fake::View::k64}) {
    const auto value = win.registry.GetValue(view, kKey, "SourceInfo");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->type, plat::kRegSz);
    EXPECT_EQ(fake::ToString(value->data), std::string("YQBiAA==\0", 9));
  }
  EXPECT_EQ(win.registry.OpenKeyCount(), 0);
}

TEST_F(SourceInfoStep, NoNoteMeansNoKey) {
  win.resources.RemoveResource("KvR", 10);
  RunSourceInfoStep();
  EXPECT_TRUE(win.calls.Args<fake::RegRequest>().empty());
}

// Whatever is thrown on this road stays here, and no key is left open.
TEST_F(SourceInfoStep, DropsEveryException) {
  const struct {
    const char* what;
    void (*raise)();
  } raises[] = {
      {"memory exhaustion", [] { throw std::bad_alloc(); }},
      {"a standard exception", [] { throw std::runtime_error("x"); }},
      {"anything else", [] { throw 42; }},
  };
  for (const auto& r : raises) {
    for (const char* op : {"RegCreateKeyExA", "RegSetValueExA"}) {
      win.registry.fault = [&r, op](const fake::RegRequest& req) -> plat::Long {
        if (req.op == op) r.raise();
        return 0;
      };
      EXPECT_NO_THROW(RunSourceInfoStep()) << r.what << " in " << op;
      EXPECT_EQ(win.registry.OpenKeyCount(), 0) << r.what << " in " << op;
    }
  }
  EXPECT_TRUE(win.calls.Args<fake::MessageBoxCall>().empty());
}

}  // namespace
