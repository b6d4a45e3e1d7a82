// Edits of documents that keep their file's layout, on every file of the
// examples, the test data and the corpus that loads, and on generated files
// in the shapes that packagers write (comments, indentation, blanks around
// "=", repeated and scattered keys, ANSI, signed, a last line without its
// line end): each random edit leaves the same sections, keys and values as
// the same edit of a canonical document, keeps the encoding and the
// signature, and changes only lines that it names.

#include <gtest/gtest.h>
#include <qds/qds.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "support/entry_outline.h"
#include "support/test_support.h"

namespace qds {
namespace {

constexpr LoadFlags kLoad = LoadFlags::KeepComments | LoadFlags::Lenient;
constexpr SaveFlags kLossless = SaveFlags::KeepComments | SaveFlags::KeepLayout;

// ---- Files

std::vector<std::string> FilesOnDisk() {
  std::vector<std::string> files;
  for (const char* folder : {"examples", "tests/data", "../shared/corpus"}) {
    if (!std::filesystem::is_directory(test::SourceFile(folder))) continue;
    for (const auto& entry : std::filesystem::directory_iterator(test::SourceFile(folder))) {
      if (entry.is_regular_file()) files.push_back(test::ReadBytes(entry.path()));
    }
  }
  return files;
}

// A script as packagers write them, in UTF-16 or ANSI (code page 1252).
std::string GeneratedFile(std::mt19937& random) {
  auto pick = [&](int n) { return static_cast<int>(random() % n); };
  const char16_t* versions[] = {u"[$version 3, codepage 1200$]\r\n", u"[$Version 2$]\r\n", u""};
  const char16_t* blanks[] = {u"", u" ", u"\t", u"  "};
  std::u16string text = pick(2) ? u"; generated\r\n" : u"";
  text += versions[pick(3)];
  // Now and then a file longer than the first block that a load reads.
  for (int s = 0, sections = 1 + pick(4) + (pick(20) == 0 ? 300 : 0); s < sections; ++s) {
    if (pick(2)) text += u"\r\n";
    if (pick(3) == 0) text += u"; section\r\n";
    text += u"[S" + std::u16string(1, u'0' + pick(3)) + (pick(4) ? u"]" : u"] tail") + u"\r\n";
    for (int e = 0, entries = pick(6); e < entries; ++e) {
      if (pick(4) == 0) text += pick(2) ? u"  ; note\r\n" : u"\r\n";
      std::u16string key = std::u16string(pick(2) ? u"k" : u"K") + char16_t(u'0' + pick(3));
      text += blanks[pick(4)] + key + blanks[pick(4)] + u"=" + blanks[pick(4)];
      text += pick(5) ? u"v\u00e9" + std::u16string(pick(3), u'x') : u"";
      text += (pick(6) ? blanks[0] : blanks[1]) + std::u16string(u"\r\n");
    }
  }
  if (pick(3) == 0) text += u"; trailing\r\n";
  if (pick(4) == 0 && text.ends_with(u"=v\u00e9\r\n")) text.resize(text.size() - 2);
  if (pick(3)) return test::Utf16Bytes(text, true);
  std::string ansi;
  for (char16_t unit : text) ansi += static_cast<char>(unit);
  return ansi;
}

// ---- Lines

std::vector<std::u16string> Lines(const std::string& bytes) {
  std::string utf8;
  EXPECT_TRUE(DecodeFileText(bytes, 1252, &utf8).Ok());
  std::u16string text = ToUtf16(utf8);
  // A last line gains the line end it lacked when a line follows it; that is
  // no change of the line.
  std::vector<std::u16string> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = std::min(text.find(u"\r\n", at), text.size());
    // A signed file's check line changes with every edit.
    bool checkLine = !lines.empty() && lines.back() == u"[$end$]";
    lines.push_back(checkLine ? u"(check line)" : text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

// The lines of `before` and of `after` that a longest common run of lines
// leaves over: what a line diff shows as removed and as added.
void Diff(const std::vector<std::u16string>& before, const std::vector<std::u16string>& after,
          std::vector<std::u16string>* removed, std::vector<std::u16string>* added) {
  size_t n = before.size(), m = after.size();
  std::vector<std::vector<uint32_t>> common(n + 1, std::vector<uint32_t>(m + 1, 0));
  for (size_t i = n; i-- > 0;) {
    for (size_t j = m; j-- > 0;) {
      common[i][j] = before[i] == after[j] ? common[i + 1][j + 1] + 1
                                           : std::max(common[i + 1][j], common[i][j + 1]);
    }
  }
  size_t i = 0, j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && before[i] == after[j]) {
      ++i, ++j;
    } else if (j == m || (i < n && common[i + 1][j] >= common[i][j + 1])) {
      removed->push_back(before[i++]);
    } else {
      added->push_back(after[j++]);
    }
  }
}

std::u16string Trimmed(std::u16string_view text) {
  auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\x1A'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return std::u16string(text);
}

bool IsComment(const std::u16string& line) { return Trimmed(line).starts_with(u';'); }

// Whether `line` is an entry line of `key` (A-Z folded), with `value` when
// one is given.
bool IsEntry(const std::u16string& line, const std::u16string& key,
             const std::u16string* value = nullptr) {
  size_t separator = line.find(u'=');
  std::u16string name = Trimmed(line.substr(0, separator));
  auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; };
  bool same = name.size() == key.size() &&
              std::equal(name.begin(), name.end(), key.begin(),
                         [&](char16_t a, char16_t b) { return fold(a) == fold(b); });
  return same && !line.starts_with(u'[') &&
         (value == nullptr ||
          (separator != std::u16string::npos && Trimmed(line.substr(separator + 1)) == *value));
}

// ---- Documents

// One edit, the same on both documents, and what its lines may be.
struct Edit {
  std::string name;
  std::function<Status(QdsDocument&)> apply;
  // Checks the lines that the edit removed and added.
  std::function<void(const std::vector<std::u16string>&, const std::vector<std::u16string>&)> lines;
};

void Only(const std::vector<std::u16string>& lines,
          const std::function<bool(const std::u16string&)>& allowed, const std::string& what) {
  for (const std::u16string& line : lines)
    EXPECT_TRUE(allowed(line)) << what << ": " << ToUtf8(line);
}

size_t Count(const std::vector<std::u16string>& lines,
             const std::function<bool(const std::u16string&)>& which) {
  return std::count_if(lines.begin(), lines.end(), which);
}

// An edit of a part that `document` holds, or that it lacks, chosen by
// `random`.
Edit RandomEdit(const QdsDocument& document, std::mt19937& random) {
  // Changes by name reach the first section of a name.
  std::vector<Section> sections;
  for (Section section : document.Sections()) {
    std::optional<Section> first = document.FindSection(section.Name());
    if (!section.Name().empty() && first->KeyCount() > 0) sections.push_back(*first);
  }
  auto pick = [&](size_t n) { return random() % n; };
  const std::u16string value = u"new \u00e9 " + std::u16string(1, u'a' + pick(26));
  if (sections.empty()) {
    return {"new section", [=](QdsDocument& d) { return d.Set("Fresh", "k", value); },
            [=](const auto& removed, const auto& added) {
              EXPECT_LE(removed.size(), 1u);
              EXPECT_EQ(Count(added, [&](const auto& l) { return IsEntry(l, u"k", &value); }), 1u);
            }};
  }
  Section section = sections[pick(sections.size())];
  std::vector<Key> keys(section.Keys().begin(), section.Keys().end());
  Key key = keys[pick(keys.size())];
  const std::string s = section.Name(), k = key.Name();
  const std::u16string k16 = key.Name16();
  const size_t values = key.ValueCount();
  auto removedOnly = [=](size_t entries) {
    return [=](const auto& removed, const auto& added) {
      EXPECT_TRUE(added.empty());
      EXPECT_EQ(Count(removed, [&](const auto& l) { return IsEntry(l, k16); }), entries);
      Only(
          removed, [&](const auto& l) { return IsEntry(l, k16) || IsComment(l); }, "removed");
    };
  };
  auto oneNewLine = [=](const std::u16string& newKey) {
    return [=](const auto& removed, const auto& added) {
      EXPECT_LE(removed.size(), 1u);
      EXPECT_LE(added.size(), removed.size() + 1);
      EXPECT_EQ(Count(added, [&](const auto& l) { return IsEntry(l, newKey, &value); }), 1u);
    };
  };
  // The same key through the views of a document that is not const.
  auto keyView = [=](QdsDocument& d) { return *d.FindSection(s)->FindKey(k); };
  switch (pick(13)) {
    case 0:
      return {"set", [=](QdsDocument& d) { return d.Set(s, k, value); },
              [=](const auto& removed, const auto& added) {
                EXPECT_EQ(added.size(), 1u);
                Only(
                    added, [&](const auto& l) { return IsEntry(l, k16, &value); }, "added");
                Only(
                    removed, [&](const auto& l) { return IsEntry(l, k16) || IsComment(l); },
                    "removed");
              }};
    case 1:
      return {"add", [=](QdsDocument& d) { return d.Add(s, k, value); }, oneNewLine(k16)};
    case 2:
      return {"new key", [=](QdsDocument& d) { return d.Set(s, "Brand", value); },
              oneNewLine(u"Brand")};
    case 3:
      return {"new section", [=](QdsDocument& d) { return d.Add("Fresh", "k", value); },
              [=](const auto& removed, const auto& added) {
                EXPECT_LE(removed.size(), 1u);
                EXPECT_LE(added.size(), removed.size() + 3);
                EXPECT_EQ(Count(added, [](const auto& l) { return l == u"[Fresh]"; }), 1u);
              }};
    case 4:
      return {"del value", [=](QdsDocument& d) { return d.RemoveValue(s, k, values - 1); },
              removedOnly(1)};
    case 5:
      return {"del key", [=](QdsDocument& d) { return d.RemoveKey(s, k); }, removedOnly(values)};
    case 6:
      return {"del section", [=](QdsDocument& d) { return d.RemoveSection(s); },
              [=](const auto& removed, const auto& added) {
                EXPECT_TRUE(added.empty());
                EXPECT_GE(
                    Count(removed,
                          [&](const auto& l) { return l.starts_with(u"[" + ToUtf16(s) + u"]"); }),
                    1u);
                Only(
                    removed,
                    [&](const auto& l) {
                      return !l.starts_with(u"[") || l.starts_with(u"[" + ToUtf16(s) + u"]");
                    },
                    "removed");
              }};
    case 7:
      return {"set each value through a walk",
              [=](QdsDocument& d) {
                Status status;
                for (MutableValue v : keyView(d).Values()) status = v.Set(value);
                return status;
              },
              [=](const auto& removed, const auto& added) {
                EXPECT_EQ(added.size(), values);
                Only(
                    added, [&](const auto& l) { return IsEntry(l, k16, &value); }, "added");
                EXPECT_EQ(Count(removed, [&](const auto& l) { return IsEntry(l, k16); }), values);
              }};
    case 8:
      return {"add through a view", [=](QdsDocument& d) { return keyView(d).Add(value); },
              oneNewLine(k16)};
    case 9:
      return {"del value through a view",
              [=](QdsDocument& d) {
                std::optional<MutableValue> last;
                for (MutableValue v : keyView(d).Values()) last = v;
                return last->Remove();
              },
              removedOnly(1)};
    case 10:
      return {"del key through a view", [=](QdsDocument& d) { return keyView(d).Remove(); },
              removedOnly(values)};
    case 11:
      return {"rename key", [=](QdsDocument& d) { return d.RenameKey(s, k, "Renamed"); },
              [=](const auto& removed, const auto& added) {
                EXPECT_EQ(Count(removed, [&](const auto& l) { return IsEntry(l, k16); }), values);
                EXPECT_EQ(Count(added, [&](const auto& l) { return IsEntry(l, u"Renamed"); }),
                          values);
                EXPECT_EQ(removed.size(), values);
                EXPECT_EQ(added.size(), values);
              }};
    default:
      return {"rename section", [=](QdsDocument& d) { return d.RenameSection(s, "Renamed"); },
              [=](const auto& removed, const auto& added) {
                ASSERT_EQ(removed.size(), 1u);
                ASSERT_EQ(added.size(), 1u);
                EXPECT_EQ(Trimmed(removed[0]).find(u"[" + ToUtf16(s) + u"]"), 0u);
                EXPECT_EQ(Trimmed(added[0]).find(u"[Renamed]"), 0u);
              }};
  }
}

// ---- The property

struct Counts {
  int files = 0;
  int edits = 0;
};

void CheckEdits(const std::string& bytes, std::mt19937& random, int edits, Counts* counts) {
  QdsDocument probe;
  if (!probe.LoadBytes(bytes, kLoad | LoadFlags::KeepLayout).Ok()) return;
  ASSERT_TRUE(probe.KeepsLayout());
  const bool signedFile = QdsDocument().LoadBytes(bytes, LoadFlags::Digest).Ok();
  ++counts->files;
  for (int n = 0; n < edits; ++n) {
    QdsDocument canonical, lossless;
    ASSERT_TRUE(canonical.LoadBytes(bytes, kLoad).Ok());
    ASSERT_TRUE(lossless.LoadBytes(bytes, kLoad | LoadFlags::KeepLayout).Ok());
    Edit edit = RandomEdit(canonical, random);
    std::string text;
    static_cast<void>(DecodeFileText(bytes, 1252, &text));
    SCOPED_TRACE(edit.name + " of\n" + text);
    ASSERT_EQ(edit.apply(canonical), edit.apply(lossless));
    std::string written;
    ASSERT_TRUE(lossless.Write(&written, kLossless).Ok());
    QdsDocument reread;
    ASSERT_TRUE(
        reread.LoadBytes(written, kLoad | (signedFile ? LoadFlags::Digest : LoadFlags::None)).Ok());
    EXPECT_EQ(test::EntryOutline(reread), test::EntryOutline(canonical));
    EXPECT_EQ(written.starts_with("\xFF\xFE"), bytes.starts_with("\xFF\xFE"));
    std::vector<std::u16string> removed, added;
    Diff(Lines(bytes), Lines(written), &removed, &added);
    edit.lines(removed, added);
    if (!signedFile && n == 0) {
      // Signed anew, the text loads with its digest checked, entries unchanged.
      std::string signedText;
      ASSERT_TRUE(lossless.Write(&signedText, kLossless | SaveFlags::Digest).Ok());
      QdsDocument checked;
      ASSERT_TRUE(checked.LoadBytes(signedText, kLoad | LoadFlags::Digest).Ok());
      EXPECT_EQ(test::EntryOutline(checked), test::EntryOutline(canonical));
    }
    ++counts->edits;
  }
}

TEST(LosslessEditTest, AnEditChangesOnlyTheLinesItNames) {
  std::mt19937 random(20261209);
  Counts counts;
  for (const std::string& bytes : FilesOnDisk()) CheckEdits(bytes, random, 12, &counts);
  const int onDisk = counts.files;
  for (int n = 0; n < 300; ++n) {
    std::string bytes = GeneratedFile(random);
    CheckEdits(bytes, random, 2, &counts);
    if (n % 3 == 0) {
      // The same script signed.
      QdsDocument document;
      std::string signedBytes;
      Status loaded = document.LoadBytes(bytes, kLoad);
      ASSERT_TRUE(loaded.Ok()) << loaded.Describe("generated") << "\n" << bytes;
      ASSERT_TRUE(document.Write(&signedBytes, SaveFlags::KeepComments | SaveFlags::Digest).Ok());
      CheckEdits(signedBytes, random, 2, &counts);
    }
  }
  EXPECT_GE(onDisk, 20);
  std::cout << counts.edits << " edits of " << counts.files << " files (" << onDisk
            << " on disk)\n";
}

// What the edit fuzzer found, and a few cases that single random edits do
// not reach, each on the smallest file that shows it: the text written, byte
// for byte.
TEST(LosslessEditTest, FoundByTheFuzzerWritesWhatItShould) {
  using Change = std::function<Status(QdsDocument&)>;
  const Change newSection = [](QdsDocument& d) { return d.Set("N", "k", "v"); };
  const Change nameTheFirst = [](QdsDocument& d) { return d.RenameSection("", "N"); };
  const Change nameAndEmptyTheFirst = [](QdsDocument& d) {
    static_cast<void>(d.RenameSection("", "N"));
    return d.RemoveKey("N", "k");
  };
  const auto utf16 = [](std::u16string_view text) { return test::Utf16Bytes(text, true); };
  const struct {
    const char* what;
    std::string bytes;
    Change change;
    std::string written;
  } cases[] = {
      {"an empty file keeps its mark first", utf16(u""), newSection, utf16(u"\r\n[N]\r\nk=v\r\n")},
      {"a file of a blank line gains one more before a new section", "\r\n", newSection,
       "\r\n\r\n[N]\r\nk=v\r\n"},
      {"a last lone CR gets its line feed", "[s]\r\nk=1\r",
       [](QdsDocument& d) { return d.Add("s", "k", "2"); }, "[s]\r\nk=1\r\nk=2\r\n"},
      {"...also after U+001A", "[s]\r\nk=1\r\x1A",
       [](QdsDocument& d) { return d.Add("s", "k", "2"); }, "[s]\r\nk=1\r\x1A\nk=2\r\n"},
      {"a removed line's comment lines do not reach into a version header",
       "[$version 2\r\n;x$]\r\nk=1\r\n[$version 2\r\n;y$]\r\nk=2\r\n[s]\r\n",
       [](QdsDocument& d) { return d.RemoveSection(""); },
       "[$version 2\r\n;x$]\r\n[$version 2\r\n;y$]\r\n[s]\r\n"},
      {"a section without a header gets one", "k=1\r\n[s]\r\n", nameTheFirst,
       "[N]\r\nk=1\r\n[s]\r\n"},
      {"...but not before the version line, where its lines go as they stand, comments and all",
       "k=1\r\n  [x = 2\r\n[$version 2$]\r\n[$version 3$]\r\n; j\r\nj=3", nameTheFirst,
       "[$version 2$]\r\n\r\n[N]\r\nk=1\r\n  [x = 2\r\n; j\r\nj=3\r\n[$version 3$]\r\n"},
      {"...nor inside it, where its name runs over a line end (the end marker after it)",
       "k=1\r\n[$version 2\r\nx$]\r\n[s]\r\nx=1\r\n[$end$]\r\n", nameTheFirst,
       "[$version 2\r\nx$]\r\n\r\n[N]\r\nk=1\r\n[s]\r\nx=1\r\n[$end$]\r\n"},
      {"...and keeps its place when none of its lines is left", "k=1\r\n[s]\r\n",
       nameAndEmptyTheFirst, "\r\n[N]\r\n[s]\r\n"},
      {"...after the version line", "k=1\r\n[$version 2$]\r\n[s]\r\n", nameAndEmptyTheFirst,
       "[$version 2$]\r\n\r\n[N]\r\n[s]\r\n"},
      {"a new section goes after the version line, whatever stands before it",
       "k=1\r\n[$version 2$]\r\n", newSection, "k=1\r\n[$version 2$]\r\n\r\n[N]\r\nk=v\r\n"},
      {"a new section takes the place of the last section when every section went",
       "[s]\r\nk=1\r\n; end\r\n",
       [](QdsDocument& d) {
         static_cast<void>(d.RemoveSection("s"));
         return d.Set("N", "k", "v");
       },
       "\r\n[N]\r\nk=v\r\n; end\r\n"},
      {"a last header without ] stays last", "[s]\r\nk=1\r\n[t", newSection,
       "[s]\r\nk=1\r\n\r\n[N]\r\nk=v\r\n[t"},
      {"a last key= stays last", "[s]\r\nk=1\r\nx=", newSection,
       "[s]\r\nk=1\r\n\r\n[N]\r\nk=v\r\nx="},
      {"a dropped last key writes no line", "x",
       [](QdsDocument& d) { return d.RemoveSection("s"); }, "x"},
      {"a last line's lone CR stays when its key is renamed", "[s]\r\nk\r",
       [](QdsDocument& d) { return d.RenameKey("s", "k", "n"); }, "[s]\r\nn\r"},
      {"a key that ends in U+001A is renamed whole", "[s]\r\n\x1Ak\x1A = 1\r\n",
       [](QdsDocument& d) { return d.RenameKey("s", "k\x1A", "n"); }, "[s]\r\n\x1An = 1\r\n"},
      {"an ANSI file whose first line goes stays ANSI", "x\r\n\xFF\xFEk=1\r\n",
       [](QdsDocument& d) { return d.RemoveKey("", "x"); }, "\r\n\xFF\xFEk=1\r\n"},
      {"a headerless section whose lines all go keeps its entries before the first header",
       "k\r\n[s]\r\n",
       [](QdsDocument& d) {
         static_cast<void>(d.FindSection("")->FindKey("k")->Add("v"));
         return d.RemoveValue("", "k", 0);
       },
       "k=v\r\n[s]\r\n"},
      {"a new line of a key that begins with [ is indented, as its ANSI line was",
       "[s]\r\n\xA0[k=1\r\n",
       [](QdsDocument& d) { return d.FindSection("s")->FindKey("[k")->Add("2"); },
       "[s]\r\n\xA0[k=1\r\n [k=2\r\n"},
      {"a key whose first line goes is spelled as its next line spells it",
       "[s]\r\nk=1\r\nK = 2\r\n", [](QdsDocument& d) { return d.RemoveValue("s", "k", 0); },
       "[s]\r\nK = 2\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QdsDocument document;
    ASSERT_TRUE(document.LoadBytes(c.bytes, kLoad | LoadFlags::KeepLayout).Ok());
    static_cast<void>(c.change(document));
    std::string written;
    ASSERT_TRUE(document.Write(&written, kLossless).Ok());
    EXPECT_EQ(written, c.written);
  }
}

// An ANSI file stays ANSI in its code page; a text that the code page cannot
// hold is refused, naming it, and the file stays as it was.
TEST(LosslessEditTest, AnAnsiFileKeepsItsCodePageOrRefusesTheChange) {
  const std::string ansi = "[$version 3, codepage 1251$]\r\n[s]\r\nk = \xE9\r\n";
  const struct {
    const char16_t* value;
    Status status;
    int32_t character;
    std::string bytes;
  } cases[] = {
      {u"\u0439\u0446", Status(), 0, "[$version 3, codepage 1251$]\r\n[s]\r\nk = \xE9\xF6\r\n"},
      {u"x\u00E9", SaveStatus::Unrepresentable, 0xE9, ansi},
      {u"\U0001F600", SaveStatus::Unrepresentable, 0x1F600, ansi},
      {u"\xD83Dx", SaveStatus::Unrepresentable, 0xD83D, ansi},  // a lone surrogate, named alone
      {u"x\xD83D", SaveStatus::Unrepresentable, 0xD83D, ansi},
  };
  test::ScratchDir scratch;
  for (const auto& c : cases) {
    test::WriteBytes(scratch / "a.qds", ansi);
    QdsDocument document;
    ASSERT_TRUE(document
                    .LoadForChange(scratch / "a.qds",
                                   kLoad | LoadFlags::KeepLayout | LoadFlags::DeclaredCodePage)
                    .Ok());
    ASSERT_TRUE(document.Set("s", "k", c.value).Ok());
    Status saved = document.Save(kLossless);
    EXPECT_EQ(saved, c.status);
    EXPECT_EQ(saved.Detail(), c.character);
    EXPECT_EQ(test::ReadBytes(scratch / "a.qds"), c.bytes);
    EXPECT_EQ(test::Snapshot(scratch.path()).size(), 2u);  // the file and its lock
  }
}

}  // namespace
}  // namespace qds
