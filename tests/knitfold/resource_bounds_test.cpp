// Inputs far beyond what a package holds: each run completes, or ends with a
// defined status, in time and memory proportional to its input and without
// running out of stack. The suite runs them at reduced sizes; with
// KNITFOLD_FULL_SIZE=1 in the environment they run at full size (a 1 GiB
// line, a 100-million-character line, a million sections) and print their
// time and peak memory.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "knitfold/package_run.h"

namespace qds {
namespace {

using test::ReadBytes;
using test::WriteBytes;
namespace fs = std::filesystem;

bool FullSize() { return std::getenv("KNITFOLD_FULL_SIZE") != nullptr; }

size_t Size(size_t full, size_t reduced) { return FullSize() ? full : reduced; }

// Peak resident memory in MiB of the largest child.
long PeakMiB() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_maxrss / 1024;
}

// Prints how long a full-size case took and the peak memory it reached.
class Measurement {
 public:
  explicit Measurement(const char* name) : name_(name) {}
  ~Measurement() {
    if (!FullSize()) return;
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start_;
    std::printf("%s: %.1f s, peak %ld MiB\n", name_, took.count(), PeakMiB());
  }

 private:
  const char* name_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Writes a QDS file: `prefix`, `count` copies of `unit`, then `suffix` (each
// "\n" of the texts becoming "\r\n"), the long run a block at a time.
void WriteWithLongRun(const fs::path& path, std::u16string_view prefix, char16_t unit, size_t count,
                      std::u16string_view suffix) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const std::string head = test::Qds(prefix);
  const std::string tail = test::Qds(suffix).substr(2);  // no second byte-order mark
  const std::string block = test::Utf16Bytes(std::u16string(1 << 16, unit));
  out.write(head.data(), static_cast<std::streamsize>(head.size()));
  for (; count >= (1 << 16); count -= (1 << 16)) out.write(block.data(), block.size());
  out.write(block.data(), static_cast<std::streamsize>(count * 2));
  out.write(tail.data(), static_cast<std::streamsize>(tail.size()));
}

// Runs the merge, which must add exactly `added` to the target and leave it
// ending in `tail` (both UTF-16 text).
void ExpectMergeAdds(const test::Package& package, const char* name, std::u16string_view added,
                     std::u16string_view tail) {
  const uintmax_t before = fs::file_size(package.target());
  {
    Measurement measure(name);
    ASSERT_EQ(package.Run().exitCode, 0);
  }
  EXPECT_EQ(fs::file_size(package.target()), before + added.size() * 2);
  std::ifstream in(package.target(), std::ios::binary);
  std::string end(tail.size() * 2, '\0');
  in.seekg(-static_cast<std::streamoff>(end.size()), std::ios::end);
  in.read(end.data(), static_cast<std::streamsize>(end.size()));
  EXPECT_EQ(end, test::Utf16Bytes(tail));
}

TEST(ResourceBoundsTest, AGigabyteLineInTheTargetIsMergedWhole) {
  const size_t units = Size(size_t{1} << 29, size_t{1} << 21);  // 1 GiB, 4 MiB
  test::Package package(u"", u"[S]\nx=1\n");
  WriteWithLongRun(package.target(), u"[$version 3, codepage 1200$]\n[S]\nk=", u'v', units, u"\n");
  ExpectMergeAdds(package, "1 GiB line", u"x=1\r\n", u"v\r\nx=1\r\n");
}

TEST(ResourceBoundsTest, AHundredMillionCharacterLineIsKeptOrSkipped) {
  const size_t units = Size(100'000'000, 1'000'000);
  test::Package package(u"", u"");
  WriteWithLongRun(package.target(), u"[$version 3, codepage 1200$]\n; ", u'c', units,
                   u"\n[S]\nk=1\n");
  WriteWithLongRun(package.compat(), u"[S]\nbig=", u'c', units, u"\nsmall=1\n");
  // The comment stays; the compat value is too long to travel, the short one
  // arrives.
  ExpectMergeAdds(package, "100 M character lines", u"small=1\r\n",
                  u"c\r\n[S]\r\nk=1\r\nsmall=1\r\n");
}

std::u16string Decimal(size_t number) {
  std::string digits = std::to_string(number);
  return std::u16string(digits.begin(), digits.end());
}

TEST(ResourceBoundsTest, AMillionSectionsMergeIntoAMillionSections) {
  const size_t sections = Size(1'000'000, 20'000);
  std::u16string target = u"[$version 3, codepage 1200$]\n";
  std::u16string merged = target;
  std::u16string compat;
  for (size_t i = 0; i < sections; ++i) {
    std::u16string header = (i > 0 ? u"\n[s" : u"[s") + Decimal(i) + u"]\n";
    target += header + u"k=1\n";
    merged += header + u"k=1\nk=2\n";
    // Backwards, and in other letter case: no section is found where the
    // last one was, nor by an exact comparison.
    compat += u"[S" + Decimal(sections - 1 - i) + u"]\nk=2\n";
  }
  test::Package package(target, compat);
  {
    Measurement measure("a million sections");
    ASSERT_EQ(package.Run().exitCode, 0);
  }
  EXPECT_TRUE(ReadBytes(package.target()) == test::Qds(merged));
}

}  // namespace
}  // namespace qds
