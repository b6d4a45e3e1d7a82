// The rules for the texts that a change writes into a document: a section
// name, key or value that the file format cannot hold, or that the loader
// would read back as something else, is refused. Each rule follows from the
// loader's grammar (docs/qds-format.md):
// - anywhere: NUL is an error; CR ends a line, LF at a key's or value's
//   edge is trimmed (and makes a value a bare key), and inside a section
//   name it breaks the counting of lines; U+001A is skipped where a name or
//   value would begin.
// - a section name: an empty one is written without a header, so its
//   entries join the section before; "[" inside the brackets is an error and
//   the name ends at the first "]"; a name beginning with "$version" is the
//   version section, and "$end$" ends the text.
// - a key: an empty one makes the line start with "=", an error; it ends at
//   the first "="; white space at its start is indentation and at its end
//   is trimmed; a line starting with ";" is a comment, one starting with "["
//   a section header.
// - a value: white space at either end is trimmed.

#ifndef KNITFOLD_QDSFILE_TEXT_RULES_H_
#define KNITFOLD_QDSFILE_TEXT_RULES_H_

#include <qds/status.h>

#include <string_view>

namespace qds {

enum class TextRole { SectionName, Key, Value };

// The first rule that `text` breaks in `role`, or Reason::None.
Reason CheckText(TextRole role, std::u16string_view text);

}  // namespace qds

#endif  // KNITFOLD_QDSFILE_TEXT_RULES_H_
