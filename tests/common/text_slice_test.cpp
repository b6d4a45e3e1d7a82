// TextSlice: texts of every length, borrowed or owned, with a note or
// without, kept exactly through moves, parts and assignments from
// themselves.

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
    for (int kind = 0; kind < 4; ++kind) {
      bool borrowed = kind % 2 == 0;
      std::u16string_view note = kind < 2 ? u"" : u"; a comment\r\n";
      SCOPED_TRACE(testing::Message()
                   << length << (borrowed ? " borrowed" : " owned") << " note " << note.size());
      TextSlice slice = borrowed ? TextSlice::Borrow(text) : TextSlice(std::u16string_view(text));
      slice.SetNote(TextSlice(note));
      EXPECT_EQ(slice.Note(), note);
      EXPECT_EQ(slice.View(), text);
      EXPECT_EQ(slice.Length(), length);
      EXPECT_EQ(slice.Empty(), length == 0);
      EXPECT_EQ(slice.IsBorrowed(), borrowed || length == 0);
      // A borrowed text stays where it was; an owned one is a copy elsewhere.
      EXPECT_EQ(slice.Units() == text.data(), borrowed && length > 0);

      TextSlice moved(std::move(slice));
      EXPECT_TRUE(slice.Empty());
      EXPECT_EQ(slice.Note(), u"");
      EXPECT_EQ(moved.View(), text);
      EXPECT_EQ(moved.Note(), note);
      // A part of a borrowed text is borrowed; of an owned one, a copy.
      std::u16string_view tail = moved.View().substr(length / 2);
      TextSlice part = TextSlice::Part(moved, tail);
      EXPECT_EQ(part.View(), tail);
      EXPECT_EQ(!tail.empty() && part.Units() == tail.data(), borrowed && !tail.empty());
      // Assigning a slice its own text, or a part of it, copies it first;
      // the note stays.
      moved.Assign(moved.View().substr(length / 3));
      EXPECT_EQ(moved.View(), std::u16string_view(text).substr(length / 3));
      EXPECT_FALSE(moved.IsBorrowed() && length - length / 3 > 0);
      EXPECT_EQ(moved.Note(), note);
      // A note changed in place, handed over, and gone.
      moved.MutableNote()->Assign(u"x");
      EXPECT_EQ(moved.TakeNote().View(), u"x");
      EXPECT_EQ(moved.Note(), u"");
      EXPECT_EQ(moved.View(), std::u16string_view(text).substr(length / 3));
    }
  }
}

}  // namespace
}  // namespace qds
