// TextSlice: texts of every length, borrowed or owned, with a note or
// without, kept exactly through moves, parts and assignments from
// themselves.

#include "model/text_slice.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace qds {
namespace {

TEST(TextSliceTest, KeepsTextsOfEveryLengthBorrowedOrOwned) {
  // Notes: none, a comment, and indentation, which a slice of a short text
  // keeps in its word when it is a short run of one unit.
  const std::u16string_view notes[] = {
      u"", u"; a comment\r\n", u" ", u"\t\t", u"  \t", u"                ", u"                 "};
  // Lengths around the longest text that a slice holds in its word, with
  // indentation and without.
  for (size_t length : {0, 1, 511, 512, 32767, 32768, 70000}) {
    std::u16string text(length, u'a');
    if (length > 0) text.back() = u'z';
    for (int kind = 0; kind < 2 * std::ssize(notes); ++kind) {
      bool borrowed = kind % 2 == 0;
      std::u16string_view note = notes[kind / 2];
      SCOPED_TRACE(testing::Message()
                   << length << (borrowed ? " borrowed" : " owned") << " note " << note.size());
      // Borrowed as a load borrows a value and its comment, owned as an edit
      // makes them.
      TextSlice slice =
          borrowed ? TextSlice::Borrow(text, note) : TextSlice(std::u16string_view(text));
      if (!borrowed) slice.SetNote(TextSlice(note));
      EXPECT_EQ(slice.Note(), note);
      EXPECT_EQ(slice.View(), text);
      EXPECT_EQ(slice.Length(), length);
      EXPECT_EQ(slice.Empty(), length == 0);
      EXPECT_EQ(slice.IsBorrowed(), borrowed || length == 0);
      // A borrowed text stays where it was; an owned one is a copy elsewhere.
      EXPECT_EQ(length > 0 && slice.Units() == text.data(), borrowed && length > 0);

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
      // A note handed over, changed in place, and gone, as edits of a value
      // do: the text stays.
      TextSlice taken = TextSlice::Borrow(text, note);
      EXPECT_EQ(taken.TakeNote().View(), note);
      EXPECT_EQ(taken.Note(), u"");
      EXPECT_EQ(taken.View(), text);
      TextSlice changed = TextSlice::Borrow(text, note);
      changed.MutableNote()->Assign(std::u16string(note) + u"x");
      EXPECT_EQ(changed.Note(), std::u16string(note) + u"x");
      EXPECT_EQ(changed.View(), text);
      TextSlice cleared = TextSlice::Borrow(text, note);
      cleared.SetNote(TextSlice());
      EXPECT_EQ(cleared.Note(), u"");
      EXPECT_EQ(cleared.View(), text);
    }
  }
}

}  // namespace
}  // namespace qds
