// Inputs far beyond what a package holds: each run completes in time and
// memory proportional to its input and without running out of stack. The
// suite runs them at reduced sizes; with KNITFOLD_FULL_SIZE=1 in the
// environment they run at full size (lines of 100 million characters, a
// million sections) and print their time and peak memory.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "knitfold/package_run.h"

namespace qds {
namespace {

std::u16string Repeat(std::u16string_view unit, size_t count) {
  std::u16string text;
  text.reserve(unit.size() * count);
  while (count-- > 0) text += unit;
  return text;
}

std::u16string Decimal(size_t number) {
  std::string digits = std::to_string(number);
  return std::u16string(digits.begin(), digits.end());
}

TEST(ResourceBoundsTest, HugeLinesAndManySectionsMergeWhole) {
  const bool full = std::getenv("KNITFOLD_FULL_SIZE") != nullptr;
  const size_t line = full ? 100'000'000 : size_t{1} << 21;
  const size_t sections = full ? 1'000'000 : 20'000;
  std::u16string manyTarget = u"[$version 3, codepage 1200$]\n", manyCompat, manyMerged;
  for (size_t i = 0; i < sections; ++i) {
    std::u16string header = (i > 0 ? u"\n[s" : u"[s") + Decimal(i) + u"]\n";
    manyTarget += header + u"k=1\n";
    manyMerged += header + u"k=1\nk=2\n";
    // Backwards, and in other letter case: no section is found where the
    // last one was, nor by an exact comparison.
    manyCompat += u"[S" + Decimal(sections - 1 - i) + u"]\nk=2\n";
  }
  const std::u16string longLine = Repeat(u"v", line);
  const struct {
    const char* what;
    std::u16string target, compat, merged;
  } cases[] = {
      {"a long line in the target", u"[$version 3, codepage 1200$]\n[S]\nk=" + longLine + u"\n",
       u"[S]\nx=1\n", u"[$version 3, codepage 1200$]\n[S]\nk=" + longLine + u"\nx=1\n"},
      // The comment stays; the compat value is too long to travel, the short
      // one arrives.
      {"long lines in both", u"[$version 3, codepage 1200$]\n; " + longLine + u"\n[S]\nk=1\n",
       u"[S]\nbig=" + longLine + u"\nsmall=1\n",
       u"[$version 3, codepage 1200$]\n; " + longLine + u"\n[S]\nk=1\nsmall=1\n"},
      {"many sections", manyTarget, manyCompat, u"[$version 3, codepage 1200$]\n" + manyMerged},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::Package package(c.target, c.compat);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(package.Run().exitCode, 0);
    EXPECT_TRUE(test::ReadBytes(package.target()) == test::Qds(c.merged));
    if (!full) continue;
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%s: %.1f s, peak %ld MiB\n", c.what, took.count(), usage.ru_maxrss / 1024);
  }
}

}  // namespace
}  // namespace qds
