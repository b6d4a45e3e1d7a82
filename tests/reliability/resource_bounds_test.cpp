// Inputs far beyond what a package holds: each run completes in time and
// memory proportional to its input and without running out of stack, and a
// run that memory is too small for says so and leaves the package whole. The
// suite runs them at reduced sizes; with KNITFOLD_FULL_SIZE=1 in the
// environment they run at full size (lines of 100 million characters, a
// million sections) and print their time and peak memory, and a line over
// the limit is loaded.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "common/poison.h"
#include "reliability/package_run.h"

namespace qds {
namespace {

const bool kFullSize = std::getenv("KNITFOLD_FULL_SIZE") != nullptr;
const std::u16string kLongLine(kFullSize ? 100'000'000 : size_t{1} << 21, u'v');
const std::u16string kVersion = u"[$version 3, codepage 1200$]\n";

void ExpectMerged(const char* what, const std::u16string& target, const std::u16string& compat,
                  const std::u16string& merged) {
  test::Package package(target, compat);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(package.Run().exitCode, 0);
  EXPECT_TRUE(test::ReadBytes(package.target()) == test::Qds(merged));
  if (!kFullSize) return;
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("%s: %.1f s, peak %ld MiB\n", what, took.count(), usage.ru_maxrss / 1024);
}

TEST(ResourceBoundsTest, ALongLineInTheTargetIsMergedWhole) {
  ExpectMerged("a long line in the target", kVersion + u"[S]\nk=" + kLongLine + u"\n",
               u"[S]\nx=1\n", kVersion + u"[S]\nk=" + kLongLine + u"\nx=1\n");
}

// The comment stays; the compat value is too long to travel, the short one
// arrives.
TEST(ResourceBoundsTest, LongLinesAreKeptOrSkipped) {
  ExpectMerged("long lines in both", kVersion + u"; " + kLongLine + u"\n[S]\nk=1\n",
               u"[S]\nbig=" + kLongLine + u"\nsmall=1\n",
               kVersion + u"; " + kLongLine + u"\n[S]\nk=1\nsmall=1\n");
}

// A line one unit over the limit fails both programs' loads at its line,
// and knitfold leaves the target as it was. Full size only: the file is 4 GiB.
TEST(ResourceBoundsTest, ALineOverTheLimitFailsItsLoad) {
  if (!kFullSize) GTEST_SKIP() << "runs with KNITFOLD_FULL_SIZE=1";
  test::Package package(kVersion + u"[S]\nk=", u"[S]\nx=1\n");
  {
    std::ofstream target(package.target(), std::ios::binary | std::ios::app);
    const std::string block(size_t{1} << 24, 'v');  // 'v' and 0: 2^23 units
    std::string units;
    for (char c : block) units += {c, '\0'};
    for (size_t left = size_t{1} << 31; left > 0; left -= units.size() / 2) {
      target.write(units.data(), static_cast<std::streamsize>(std::min(left * 2, units.size())));
    }
    target.write("\r\0\n\0", 4);
  }
  const auto size = std::filesystem::file_size(package.target());
  EXPECT_EQ(package.Run().exitCode, test::kExitStatusMinusOne);
  EXPECT_EQ(package.LogText(),
            u"Error 38 loading file " + test::WidePath(package.target()) + u"\n");
  EXPECT_EQ(std::filesystem::file_size(package.target()), size);
  EXPECT_FALSE(std::filesystem::exists(package.backup()));
  const std::string name = package.target().string();
  test::ProcessResult checked =
      test::RunProcess(test::BuiltProgram("bin/qdstool"), {"check", name});
  EXPECT_EQ(checked.standardError,
            "qdstool: " + name + ": line 3 is longer than 2147483647 characters (status 38)\n");
}

std::u16string Decimal(size_t number) {
  std::string digits = std::to_string(number);
  return std::u16string(digits.begin(), digits.end());
}

TEST(ResourceBoundsTest, AMillionSectionsMergeIntoAMillionSections) {
  const size_t sections = kFullSize ? 1'000'000 : 20'000;
  std::u16string target = kVersion, compat, merged = kVersion;
  for (size_t i = 0; i < sections; ++i) {
    std::u16string header = (i > 0 ? u"\n[s" : u"[s") + Decimal(i) + u"]\n";
    target += header + u"k=1\n";
    merged += header + u"k=1\nk=2\n";
    // Backwards, and in other letter case: no section is found where the
    // last one was, nor by an exact comparison.
    compat += u"[S" + Decimal(sections - 1 - i) + u"]\nk=2\n";
  }
  ExpectMerged("a million sections", target, compat, merged);
}

// Under a limit of 60 MB of address space, too little for the node pool's
// range, a load runs out of memory: knitfold tells it, leaves the target as
// it was and takes its backup away; qdstool tells it with the file's name.
TEST(ResourceBoundsTest, MemoryThatRunsOutIsToldAndTheTargetKept) {
  if (kCheckingAddresses) GTEST_SKIP() << "AddressSanitizer's own memory takes more than the limit";
  test::Package package(u"[S]\nk=1\n", u"[S]\nx=1\n");
  const std::string target = package.target().string(), before = test::ReadBytes(target);
  auto limited = [&](const char* program, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"-c", "ulimit -v 60000 && exec \"$@\"", "sh",
                                         test::BuiltProgram(program).string()});
    return test::RunProcess("/bin/sh", arguments);
  };
  EXPECT_EQ(limited("bin/knitfold", {target, package.compat().string()}).exitCode,
            test::kExitStatusMinusOne);
  EXPECT_EQ(package.LogText(), u"Error 37 loading file " + test::WidePath(target) + u"\n");
  EXPECT_EQ(test::ReadBytes(target), before);
  EXPECT_FALSE(std::filesystem::exists(package.backup()));
  EXPECT_FALSE(std::filesystem::exists(target + ".tmp"));
  test::ProcessResult qdstool = limited("bin/qdstool", {"get", target, "S"});
  EXPECT_EQ(qdstool.exitCode, 37);
  EXPECT_EQ(qdstool.standardError, "qdstool: " + target + ": out of memory (status 37)\n");
}

}  // namespace
}  // namespace qds
