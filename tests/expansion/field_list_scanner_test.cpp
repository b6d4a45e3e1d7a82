#include "expansion/field_list_scanner.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "common/utf8.h"

namespace qds {
namespace {

// The fields of `value` joined with "|", or "<invalid>".
std::u16string Scan(FieldListScanner& scanner, std::u16string_view value,
                    std::optional<char16_t> separator) {
  if (!scanner.Scan(value, separator)) return scanner.Count() == 0 ? u"<invalid>" : u"<kept>";
  std::u16string joined;
  for (size_t i = 0; i < scanner.Count(); ++i)
    joined.append(i ? u"|" : u"").append(scanner.Field(i));
  return joined;
}

TEST(FieldListScannerTest, CutsListsIntoFieldsOrRejectsThem) {
  static const struct {
    std::u16string_view value;
    std::optional<char16_t> separator;
    std::u16string_view fields;
  } cases[] = {
      // Bare fields lose surrounding white space and keep inner white space;
      // quote characters inside them are text, and do not end a blank run.
      {u"one, two ,three", u',', u"one|two|three"},
      {u" \t a  b \r\n", u',', u"a  b"},
      {u"it's, say \"hi\"", u',', u"it's|say \"hi\""},
      {u"a '", u',', u"a"},
      // Empty fields: an empty value, empty ends.
      {u"", u',', u""},
      {u"   ", u',', u""},
      {u",,a,", u',', u"||a|"},
      // Quoted fields keep separators and white space; a doubled quote of
      // their own kind stands for one; white space may follow them.
      {u"\" a, b \",c", u',', u" a, b |c"},
      {u"' x ''y'' '", u',', u" x 'y' "},
      {u"\"it's\",'say \"\"x\"\"'", u',', u"it's|say \"\"x\"\""},
      {u"\"\"\"\"", u',', u"\""},
      {u"'a'  ,  \"b\" \t", u',', u"a|b"},
      // The separator is tested before white space and quotes.
      {u"a b  c", u' ', u"a|b||c"},
      {u"\"a b\" c", u' ', u"a b|c"},
      {u"a\"b", u'"', u"a|b"},
      {u"'a'\"b", u'"', u"a|b"},
      {u"''", u'\'', u"||"},
      // No separator: one field, the quote rules still apply.
      {u" a, b ", std::nullopt, u"a, b"},
      {u"\"a,b\" ", std::nullopt, u"a,b"},
      // White space above U+00FF counts; U+0085 and U+00A0 are text.
      {u"\u3000a\u2003", u',', u"a"},
      {u"\u00A0a\u0085", u',', u"\u00A0a\u0085"},
      // Quotes left open, or followed by anything but white space and the
      // separator.
      {u"\"open", u',', u"<invalid>"},
      {u"a,'open", u',', u"<invalid>"},
      {u"x,\"a\"\"", u',', u"<invalid>"},
      {u"\"a\"b", u',', u"<invalid>"},
      {u"'a'b", u',', u"<invalid>"},
      {u"\"a\" b", u',', u"<invalid>"},
      {u"\"a\"'", u',', u"<invalid>"},
      {u"'a'\"", u',', u"<invalid>"},
      {u"'a' '", u',', u"<invalid>"},
  };
  FieldListScanner scanner;  // one scanner, so that no scan sees an earlier one's fields
  for (const auto& c : cases) {
    SCOPED_TRACE(EncodeUtf8(c.value));
    EXPECT_EQ(Scan(scanner, c.value, c.separator), c.fields);
  }
}

TEST(FieldListScannerTest, ScansLongListsInOnePass) {
  // 200000 one-character fields: a quadratic scan would take minutes.
  std::u16string value;
  for (int i = 0; i < 200000; ++i) value.append(u"'x',");
  FieldListScanner scanner;
  ASSERT_TRUE(scanner.Scan(value, u','));
  ASSERT_EQ(scanner.Count(), 200001u);
  EXPECT_EQ(scanner.Field(199999), u"x");
}

}  // namespace
}  // namespace qds
