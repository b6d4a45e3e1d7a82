// TextSlice: texts of every length, borrowed or owned, kept exactly through
// moves, parts and assignments from themselves.

#include "common/text_slice.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace qds {
namespace {

TEST(TextSliceTest, KeepsTextsOfEveryLengthBorrowedOrOwned) {
  // Lengths around the longest text that a slice holds in its word.
  for (size_t length : {size_t{0}, size_t{1}, size_t{32767}, size_t{32768}, size_t{70000}}) {
    std::u16string text(length, u'a');
    if (length > 0) text.back() = u'z';
    for (bool borrowed : {true, false}) {
      SCOPED_TRACE(testing::Message() << length << (borrowed ? " borrowed" : " owned"));
      TextSlice slice = borrowed ? TextSlice::Borrow(text) : TextSlice(std::u16string_view(text));
      EXPECT_EQ(slice.View(), text);
      EXPECT_EQ(slice.Length(), length);
      EXPECT_EQ(slice.Empty(), length == 0);
      EXPECT_EQ(slice.IsBorrowed(), borrowed || length == 0);
      // A borrowed text stays where it was; an owned one is a copy elsewhere.
      EXPECT_EQ(slice.Units() == text.data(), borrowed && length > 0);

      TextSlice moved(std::move(slice));
      EXPECT_TRUE(slice.Empty());
      EXPECT_EQ(moved.View(), text);
      // A part of a borrowed text is borrowed; of an owned one, a copy.
      std::u16string_view tail = moved.View().substr(length / 2);
      TextSlice part = TextSlice::Part(moved, tail);
      EXPECT_EQ(part.View(), tail);
      EXPECT_EQ(!tail.empty() && part.Units() == tail.data(), borrowed && !tail.empty());
      // Assigning a slice its own text, or a part of it, copies it first.
      moved.Assign(moved.View().substr(length / 3));
      EXPECT_EQ(moved.View(), std::u16string_view(text).substr(length / 3));
      EXPECT_FALSE(moved.IsBorrowed() && length - length / 3 > 0);
    }
  }
}

}  // namespace
}  // namespace qds
