// Entry reads with ReadFlags::Expand: values go through the symbol engine when a
// table is attached.

#include <gtest/gtest.h>
#include <qds/document.h>

#include <string>
#include <vector>

#include "document/document_state.h"

namespace qds {
namespace {

struct Read {
  ReadStatus status;
  std::u16string value;
  uint32_t keyLength;
  uint32_t valueLength;
};

class ExpandingReadTest : public ::testing::Test {
 protected:
  ExpandingReadTest() {
    table_.Set(u"who", u"Bob");
    EXPECT_EQ(doc_.SetSymbolTable(&table_), &table_);
  }

  Read ReadValue(const std::u16string& value, uint32_t valueCapacity = 512,
                 uint32_t keyCapacity = 64, ReadFlags flags = ReadFlags::Expand) {
    doc_.SetEntry(u"S", u"key", 0, value.c_str());
    std::vector<char16_t> key(64, u'#');
    std::vector<char16_t> buffer(512, u'#');
    Read read{};
    read.keyLength = keyCapacity;
    read.valueLength = valueCapacity;
    read.status = doc_.GetEntry(u"S", 0, key.data(), &read.keyLength, buffer.data(),
                                &read.valueLength, flags);
    if (read.status == ReadStatus::Ok) read.value = buffer.data();
    return read;
  }

  std::u16string Context() {
    const char16_t* context = nullptr;
    doc_.GetExpansionError(&context);
    return context;
  }

  SymbolTable table_{true};
  QdsDocument doc_;
};

TEST_F(ExpandingReadTest, ExpandsAfterRemovingQuotes) {
  EXPECT_EQ(ReadValue(u"\"%who% said \"\"hi\"\"\"").value, u"Bob said \"\"hi\"\"");
  EXPECT_EQ(ReadValue(u"\"%who%\"", 512, 64, ReadFlags::Expand | ReadFlags::KeepQuotes).value, u"\"Bob\"");
  EXPECT_EQ(ReadValue(u"%who%", 512, 64, ReadFlags::None).value, u"%who%");
  doc_.SetSymbolTable(nullptr);
  EXPECT_EQ(doc_.GetSymbolTable(), nullptr);
  EXPECT_EQ(ReadValue(u"\"%who%\"").value, u"%who%");
}

TEST_F(ExpandingReadTest, TooSmallValueBufferReportsTheSizeToRetryWith) {
  Read read = ReadValue(u"x%who%", 4);
  EXPECT_EQ(read.status, ReadStatus::BufferTooSmall);
  EXPECT_EQ(read.valueLength, 5u);
  read = ReadValue(u"x%who%", read.valueLength);
  EXPECT_EQ(read.status, ReadStatus::Ok);
  EXPECT_EQ(read.value, u"xBob");
}

TEST_F(ExpandingReadTest, FailureKeepsStatusAndExcerpt) {
  // An unclosed span fails at the character after its backquote.
  auto failingAt = [](size_t position, size_t length) {
    std::u16string value(position - 2, u'a');
    value += u"%`";
    for (size_t i = value.size(); i < length; ++i) value += static_cast<char16_t>(u'A' + i % 26);
    return value;
  };
  static const struct {
    size_t position;
    size_t length;
    size_t first;  // excerpt: value[first, first + count)
    size_t count;
  } cases[] = {{10, 40, 0, 35}, {100, 200, 75, 50}, {30, 33, 5, 28}, {2, 2, 0, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.position);
    std::u16string value = failingAt(c.position, c.length);
    EXPECT_EQ(ReadValue(value).status, ReadStatus::ExpansionFailed);
    EXPECT_EQ(detail::Internals::State(doc_).expansionErrorPos, static_cast<int32_t>(c.position));
    EXPECT_EQ(doc_.GetExpansionError(nullptr), 1u);
    EXPECT_EQ(Context(), value.substr(c.first, c.count));
  }
  // A later success leaves the last failure in place.
  EXPECT_EQ(ReadValue(u"%!nosuch()%").status, ReadStatus::ExpansionFailed);
  EXPECT_EQ(ReadValue(u"fine").status, ReadStatus::Ok);
  EXPECT_EQ(doc_.GetExpansionError(nullptr), 5u);
  EXPECT_EQ(Context(), u"%!nosuch()%");
  EXPECT_EQ(detail::Internals::State(doc_).expansionErrorPos, 0);
}

TEST_F(ExpandingReadTest, CutKeyTurnsOnlyAFailureIntoBufferTooSmall) {
  EXPECT_EQ(ReadValue(u"%who%", 512, 2).status, ReadStatus::Ok);
  Read read = ReadValue(u"%bad", 512, 2);
  EXPECT_EQ(read.status, ReadStatus::BufferTooSmall);
  EXPECT_EQ(read.keyLength, 4u);
}

TEST_F(ExpandingReadTest, VersionOneTestsConditionsTheLegacyWay) {
  static const struct {
    int32_t version;
    const char16_t* expected;
  } cases[] = {{1, u"n"}, {0, u"n"}, {2, u"y"}, {3, u"y"}};
  for (const auto& c : cases) {
    detail::Internals::State(doc_).model.version = c.version;
    EXPECT_EQ(ReadValue(u"%!if(a = a,y,n)%").value, c.expected) << c.version;
  }
}

}  // namespace
}  // namespace qds
