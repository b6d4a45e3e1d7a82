#include "knitfold/log.h"

#include <gtest/gtest.h>

#include "knitfold/messages.h"
#include "support/test_support.h"

namespace qds {
namespace {

using test::ReadBytes;
using test::ScratchDir;
using test::Utf16Bytes;
using test::WidePath;

// Points the log at a scratch file for one test and closes it afterwards.
class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir / "t.qds.log";
    g_logHandle = platform::CreateExclusiveLog(WidePath(path).c_str());
    ASSERT_NE(g_logHandle, platform::kInvalidHandle);
  }
  void TearDown() override { CloseLog(); }

  // What the log holds. It admits no reader while it is open, so it is
  // closed first.
  std::string Written() {
    CloseLog();
    return ReadBytes(path);
  }
  void CloseLog() {
    if (g_logHandle == platform::kInvalidHandle) return;
    test::CloseLogHandle(g_logHandle);
    g_logHandle = platform::kInvalidHandle;
  }

  ScratchDir dir;
  std::filesystem::path path;
};

TEST_F(LogTest, MessagesAreUtf16LittleEndianBackToBackWithoutByteOrderMark) {
  LogMessage(kMessageLoadFailed, 7, u"a.qds");
  LogMessage(kMessageInvalidName, u"\u00E4\u20AC.txt");
  EXPECT_EQ(Written(), Utf16Bytes(u"Error 7 loading file a.qds\n"
                                  u"Invalid QDS file name: \u00E4\u20AC.txt\n"));
}

TEST_F(LogTest, UnknownIdsWriteNothing) {
  LogMessage(62117, 5);
  LogMessage(0);
  EXPECT_EQ(Written(), "");
}

// Messages of the formatting buffer's size and beyond are written whole.
TEST_F(LogTest, LongMessagesAreWrittenWhole) {
  std::u16string expected;
  for (size_t length : {511, 512, 513, 633}) {
    // "Error copying S to D : Disk full\r\n\n" takes 33 characters besides S and D.
    std::u16string source((length - 33) / 2, u's');
    std::u16string destination(length - 33 - source.size(), u'd');
    LogMessage(kMessageCopyFailed, source.c_str(), destination.c_str(), u"Disk full\r\n");
    expected += u"Error copying " + source + u" to " + destination + u" : Disk full\r\n\n";
  }
  EXPECT_EQ(Written(), Utf16Bytes(expected));
}

TEST(LogWithoutHandleTest, MessagesAreDropped) {
  ASSERT_EQ(g_logHandle, platform::kInvalidHandle);
  LogMessage(kMessageUsage);  // must not crash or write anywhere
  EXPECT_EQ(FormatMessageText(kMessageUsage, {}), u"Usage: knitfold qdsfile compatqdsfile [Trace]\n");
}

// The messages as the program's string table holds them.
TEST(StringTableTest, HoldsTheMessagesAndNothingElse) {
  char16_t buffer[256];
  const struct {
    uint32_t id;
    std::u16string_view text;
  } cases[] = {
      {102, u"Usage: knitfold qdsfile compatqdsfile [Trace]\n"},
      {105, u"Error %d saving file %s\n"}, {108, u"Error %d loading file %s\n"},
      {109, u"Error copying %s to %s : %s\n"}, {110, u"Invalid QDS file name: %s\n"},
      {111, u"Error %d creating log file %s\n"}, {113, u"Trace"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(LoadMessage(c.id, buffer, 256), static_cast<int>(c.text.size())) << c.id;
    EXPECT_EQ(std::u16string_view(buffer), c.text) << c.id;
  }
  for (uint32_t absent : {0u, 101u, 112u, 62117u}) {
    EXPECT_EQ(LoadMessage(absent, buffer, 256), 0) << absent;
  }
}

TEST(StringTableTest, CutsToTheCapacity) {
  char16_t buffer[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(LoadMessage(113, buffer, 3), 2);
  EXPECT_EQ(std::u16string_view(buffer), u"Tr");
  EXPECT_EQ(buffer[3], u'#');
  EXPECT_EQ(LoadMessage(113, buffer, 0), 0);
}

}  // namespace
}  // namespace qds
