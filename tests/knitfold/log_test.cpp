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

TEST_F(LogTest, LongMessagesAreWrittenWhole) {
  std::u16string source(300, u's');
  std::u16string destination(300, u'd');
  LogMessage(kMessageCopyFailed, source.c_str(), destination.c_str(), u"Disk full\r\n");
  std::u16string expected =
      u"Error copying " + source + u" to " + destination + u" : Disk full\r\n\n";
  EXPECT_EQ(Written(), Utf16Bytes(expected));
}

TEST(LogWithoutHandleTest, MessagesAreDropped) {
  ASSERT_EQ(g_logHandle, platform::kInvalidHandle);
  LogMessage(kMessageUsage);  // must not crash or write anywhere
  EXPECT_EQ(FormatMessageText(kMessageUsage, {}), u"Usage: knitfold qdsfile compatqdsfile [Trace]\n");
}

}  // namespace
}  // namespace qds
