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
};

class ExpandingReadTest : public ::testing::Test {
 protected:
  ExpandingReadTest() {
    table_.Set(u"who", u"Bob");
    EXPECT_EQ(doc_.SetSymbolTable(&table_), &table_);
  }

  // Reads `value` back under the key "key", expanded unless `flags` say
  // otherwise, through buffers of these capacities; *needed receives the
  // value length that the read sets.
  Read ReadValue(const std::u16string& value, uint32_t keyCapacity = 64,
                 uint32_t valueCapacity = 512, uint32_t* needed = nullptr,
                 ReadFlags flags = ReadFlags::Expand) {
    doc_.SetEntry(u"S", u"key", 0, value.c_str());
    std::vector<char16_t> key(keyCapacity), buffer(valueCapacity);
    uint32_t keyLength = keyCapacity, valueLength = valueCapacity;
    Read read{doc_.GetEntry(u"S", 0, key.data(), &keyLength, buffer.data(), &valueLength, flags),
              u""};
    if (read.status == ReadStatus::Ok) read.value = buffer.data();
    if (needed != nullptr) *needed = valueLength;
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

// A read expands only when it asks to and a table is attached.
TEST_F(ExpandingReadTest, OnlyAReadThatAsksExpandsWithTheTable) {
  EXPECT_EQ(ReadValue(u"%who%").value, u"Bob");
  EXPECT_EQ(ReadValue(u"%who%", 64, 512, nullptr, ReadFlags::None).value, u"%who%");
  doc_.SetSymbolTable(nullptr);
  EXPECT_EQ(ReadValue(u"%who%").value, u"%who%");
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

// Room decides before a failure is recorded: an expansion that does not fit
// the value buffer, or fails while the key did not fit its own, reads as too
// small and leaves the last failure in place; one that succeeds is not failed
// for its cut key.
TEST_F(ExpandingReadTest, WantOfRoomIsTooSmallAndRecordsNoFailure) {
  ASSERT_EQ(ReadValue(u"%!nosuch()%").status, ReadStatus::ExpansionFailed);
  static const struct {
    const char16_t* value;
    uint32_t keyCapacity;
    uint32_t valueCapacity;
    ReadStatus status;
    uint32_t needed;  // the value length after the read (0: not examined)
  } cases[] = {
      {u"%who%%who%", 64, 4, ReadStatus::BufferTooSmall, 7},
      {u"%who%%who%", 64, 7, ReadStatus::Ok, 7},
      {u"%!alsonot()%", 2, 512, ReadStatus::BufferTooSmall, 0},
      {u"%who%", 2, 512, ReadStatus::Ok, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.keyCapacity << " " << c.valueCapacity);
    uint32_t needed = 0;
    EXPECT_EQ(ReadValue(c.value, c.keyCapacity, c.valueCapacity, &needed).status, c.status);
    if (c.needed != 0) {
      EXPECT_EQ(needed, c.needed);
    }
    EXPECT_EQ(Context(), u"%!nosuch()%");
  }
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
