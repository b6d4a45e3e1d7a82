// The loader skips runs of ordinary characters several at a time: the
// characters that end a run (CR, "=", "]", "[", U+0000) must be found at
// every place within such a step, and the ignored U+001A must stay in the
// text it falls in.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "load_helpers.h"
#include "support/test_support.h"

namespace qds::test {
namespace {

// Runs of every length from 0 to 40 put each terminator at every place of a
// step of the scan.
TEST(LoaderScanTest, TerminatorsAreFoundAfterRunsOfEveryLength) {
  ScratchDir dir;
  std::string text = "[$version 3, codepage 1200$]\r\n";
  std::string expected;
  for (int n = 0; n <= 40; ++n) {
    std::string run(n, 'a' + n % 26);
    text += "[" + run + "s]trailing " + run + "\r\n; " + run + "\r\nk" + run + "=" + run +
            "=\x1A" + run + "\r\n";
    expected += "[" + run + "s]{; " + run + "\r\n}k" + run + "=" + run + "=\x1A" + run + "|";
  }
  for (Encoding encoding : {Encoding::Utf16, Encoding::Ansi}) {
    DocumentModel document;
    ASSERT_EQ(LoadBytes(document, dir / "runs.qds", FileBytes(text, encoding), KeepComments),
              LoadStatus::Ok)
        << EncodingName(encoding);
    EXPECT_EQ(Dump(document, true), expected) << EncodingName(encoding);
  }
}

TEST(LoaderScanTest, ErrorsAfterRunsOfEveryLengthNameTheirLine) {
  ScratchDir dir;
  using namespace std::literals;
  static const struct {
    std::string_view before;  // the line up to the fault, less the run
    std::string_view fault;
  } cases[] = {
      {"key="sv, "\0"sv},       // U+0000 in a value
      {"key"sv, "\0"sv},        // U+0000 in a key
      {"[name"sv, "["sv},       // "[" in a section name
      {"key=value"sv, "\rx"sv},  // CR without LF
  };
  for (const auto& c : cases) {
    for (int n = 0; n <= 20; ++n) {
      std::string text = "[$version 3, codepage 1200$]\r\n[s]\r\nfirst=1\r\n";
      text += std::string(c.before) + std::string(n, 'r') + std::string(c.fault) + "\r\n";
      DocumentModel document;
      EXPECT_EQ(LoadBytes(document, dir / "fault.qds", FileBytes(text, Encoding::Utf16), 0),
                LoadStatus::SyntaxError)
          << c.before << " run " << n;
      EXPECT_EQ(document.errorLine, 4u) << c.before << " run " << n;
    }
  }
}

}  // namespace
}  // namespace qds::test
