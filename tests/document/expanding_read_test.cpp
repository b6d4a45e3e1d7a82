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

  // Reads `value` back through a buffer of 512 units, expanded.
  Read ReadValue(const std::u16string& value) {
    doc_.SetEntry(u"S", u"key", 0, value.c_str());
    std::vector<char16_t> key(64), buffer(512);
    uint32_t keyLength = 64, valueLength = 512;
    Read read{doc_.GetEntry(u"S", 0, key.data(), &keyLength, buffer.data(), &valueLength,
                            ReadFlags::Expand), u""};
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
