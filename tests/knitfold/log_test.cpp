#include "knitfold/log.h"

#include <gtest/gtest.h>

#include "knitfold/messages.h"
#include "support/test_support.h"

namespace qds {
namespace {

using test::Utf16Bytes;

// Points the log at a scratch file for one test.
class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        platform::CreateExclusiveLog(test::WidePath(dir / "t.qds.log").c_str(), &g_logHandle));
  }
  void TearDown() override { Written(); }

  // What the log holds. It admits no reader while it is open, so it is
  // closed first.
  std::string Written() {
    if (g_logHandle != platform::kInvalidHandle) test::CloseLogHandle(g_logHandle);
    g_logHandle = platform::kInvalidHandle;
    return test::ReadBytes(dir / "t.qds.log");
  }

  test::ScratchDir dir;
};

// UTF-16LE back to back without a byte-order mark; unknown ids write
// nothing; messages of the formatting buffer's size and beyond are whole.
TEST_F(LogTest, MessagesAreUtf16LittleEndianWholeAndUnknownIdsWriteNothing) {
  LogMessage(kMessageLoadFailed, 7, u"a.qds");
  LogMessage(62117, 5);
  LogMessage(0);
  LogMessage(kMessageInvalidName, u"\u00E4\u20AC.txt");
  std::u16string expected =
      u"Error 7 loading file a.qds\nInvalid QDS file name: \u00E4\u20AC.txt\n";
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
  EXPECT_EQ(FormatMessageText(kMessageUsage, {}),
            u"Usage: knitfold qdsfile compatqdsfile [Trace]\n");
}

// The texts themselves are checked where the program writes them
// (KnitfoldMergeTest, KnitfoldCliTest); here, what a short buffer gets.
TEST(StringTableTest, CutsToTheCapacityAndKnowsNoOtherIds) {
  char16_t buffer[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(LoadMessage(113, buffer, 3), 2);
  EXPECT_EQ(std::u16string_view(buffer), u"Tr");
  EXPECT_EQ(buffer[3], u'#');
  EXPECT_EQ(LoadMessage(113, buffer, 0), 0);
  for (uint32_t absent : {0u, 101u, 112u, 62117u}) {
    EXPECT_EQ(LoadMessage(absent, buffer, 4), 0) << absent;
  }
}

}  // namespace
}  // namespace qds
