#include "knitfold/path_names.h"

#include <gtest/gtest.h>

#include <string>

#include "knitfold/path_buffer.h"
#include "support/test_support.h"

namespace qds {
namespace {

std::string Narrow(std::u16string_view text) { return std::string(text.begin(), text.end()); }

// The cases are written with "/" and run with the platform's separator.
TEST(PathNamesTest, FindExtension) {
  const struct {
    const char16_t* path;
    const char16_t* extension;  // from the dot on; empty when there is none
  } cases[] = {
      {u"extra.qds", u".qds"}, {u"extra.QDS", u".QDS"}, {u"/in/extra.tar.qds", u".qds"},
      {u"extra", u""},
      {u"/in.dir/extra", u""},   // the dot stands before a separator
      {u"extra.qds old", u""},   // the dot stands before a space
      {u"a.b c.qds", u".qds"}, {u"extra.", u"."}, {u".qds", u".qds"}, {u"c:extra.qds", u".qds"},
      {u"", u""},
  };
  for (const auto& c : cases) {
    std::u16string path = test::NativePath(c.path);
    EXPECT_EQ(std::u16string_view(FindExtension(path.c_str())), test::NativePath(c.extension))
        << Narrow(path);
  }
}

TEST(PathNamesTest, FindFileName) {
  const struct {
    const char16_t* path;
    const char16_t* name;
  } cases[] = {
      {u"/pkg/app.qds", u"app.qds"}, {u"app.qds", u"app.qds"}, {u"dir/sub/x.cmd", u"x.cmd"},
      {u"dir/", u"dir/"},        // a final separator starts no name
      {u"dir//x", u"x"},          // a separator followed by a separator starts none
      {u"/", u"/"}, {u"", u""},
#ifdef _WIN32
      {u"c:app.qds", u"app.qds"},  // a drive's colon ends a folder part too
      {u"E:/pkg/app.qds", u"app.qds"}, {u"E:/", u"E:/"},
      {u"//server/share/app.qds", u"app.qds"},
#else
      {u"c:app.qds", u"c:app.qds"},  // a colon is an ordinary character here
#endif
  };
  for (const auto& c : cases) {
    std::u16string path = test::NativePath(c.path);
    EXPECT_EQ(std::u16string_view(FindFileName(path.c_str())), test::NativePath(c.name))
        << Narrow(path);
  }
}

TEST(PathBufferTest, RefusesTextThatWouldNotFitWithItsZero) {
  PathBuffer path;
  ASSERT_TRUE(path.Assign(std::u16string(258, u'a')));
  EXPECT_TRUE(path.Append(u"b"));  // 259 units and the zero fill all 260 places
  EXPECT_FALSE(path.Append(u"c"));
  EXPECT_EQ(path.length(), 259u);
  EXPECT_EQ(path.c_str()[259], 0);
  EXPECT_TRUE(path.ReplaceFrom(1, u"xy"));
  EXPECT_EQ(path.view(), u"axy");
  EXPECT_FALSE(path.ReplaceFrom(4, u"z"));  // past the end
  EXPECT_FALSE(path.Assign(std::u16string(260, u'a')));
  EXPECT_EQ(path.view(), u"axy");
}

}  // namespace
}  // namespace qds
