#include "knitfold/path_names.h"

#include <gtest/gtest.h>

#include <string>

#include "knitfold/path_buffer.h"
#include "support/test_support.h"

namespace qds {
namespace {

// The cases are written with "/" and run with the platform's separator. A
// separator starts a name only when something but a separator follows; the
// extension is empty when the last dot stands before a separator or a space.
TEST(PathNamesTest, FindFileNameAndExtension) {
  const struct {
    const char16_t* path;
    const char16_t* name;
    const char16_t* extension;
  } cases[] = {
      {u"/pkg/app.qds", u"app.qds", u".qds"},
      {u"extra.QDS", u"extra.QDS", u".QDS"},
      {u"/in/extra.tar.qds", u"extra.tar.qds", u".qds"},
      {u"extra", u"extra", u""},
      {u"/in.dir/extra", u"extra", u""},
      {u"extra.qds old", u"extra.qds old", u""},
      {u"a.b c.qds", u"a.b c.qds", u".qds"},
      {u"extra.", u"extra.", u"."},
      {u".qds", u".qds", u".qds"},
      {u"dir/sub/x.cmd", u"x.cmd", u".cmd"},
      {u"dir/", u"dir/", u""},
      {u"dir//x", u"x", u""},
      {u"/", u"/", u""},
      {u"", u"", u""},
#ifdef _WIN32
      // A drive's colon ends a folder part too.
      {u"c:app.qds", u"app.qds", u".qds"},
      {u"E:/pkg/app.qds", u"app.qds", u".qds"},
      {u"E:/", u"E:/", u""},
      {u"//server/share/app.qds", u"app.qds", u".qds"},
#else
      {u"c:app.qds", u"c:app.qds", u".qds"},  // a colon is an ordinary character here
#endif
  };
  for (const auto& c : cases) {
    std::u16string path = test::NativePath(c.path);
    SCOPED_TRACE(std::string(path.begin(), path.end()));
    EXPECT_EQ(std::u16string_view(FindFileName(path.c_str())), test::NativePath(c.name));
    EXPECT_EQ(std::u16string_view(FindExtension(path.c_str())), test::NativePath(c.extension));
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
