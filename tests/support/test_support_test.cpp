// The contracts of the test helpers that other tests lean on.

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace qds {
namespace {

// Where a start may fail for no reason of the test's (Windows under Wine),
// it is tried again a few times; a program that never starts is then
// reported, not waited for.
TEST(RunProcessTest, AProgramThatCannotStartIsReportedAfterItsRetries) {
  EXPECT_THROW(test::RunProcess(test::BuiltProgram("no-such-program"), {}), std::runtime_error);
}

}  // namespace
}  // namespace qds
