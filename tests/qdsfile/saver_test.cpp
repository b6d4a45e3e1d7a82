// The written layout of a document, what a load and a save give back, the
// check line, and the failure paths of Save.

#include <gtest/gtest.h>
#include <qds/document.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/utf8.h"
#include "model/document_edits.h"
#include "model/document_model.h"
#include "platform/path_syntax.h"
#include "qdsfile/file_stream.h"
#include "qdsfile/memory_stream.h"
#include "qdsfile/qds_format.h"
#include "qdsfile/qds_loader.h"
#include "qdsfile/qds_saver.h"
#include "support/qds_text.h"
#include "support/test_support.h"

namespace qds::test {
namespace {

namespace fs = std::filesystem;
using enum SaveFlags;

QdsSection* AddSection(DocumentModel* document, std::u16string_view name,
                       std::u16string_view comment = {}) {
  auto* section = new QdsSection(name);
  section->comment.Assign(comment);
  document->sections.AddTail(section);
  return section;
}

QdsKey* AddKey(QdsSection* section, std::u16string_view name) {
  auto* key = new QdsKey(name);
  section->keys.AddTail(key);
  return key;
}

// Adds a value to the last key of `section`.
void AddValue(QdsSection* section, std::u16string_view text, std::u16string_view comment = {}) {
  auto* value = new QdsValue(text);
  value->SetComment(TextSlice(comment));
  section->keys.tail()->values.AddTail(value, section);
}

void AddEntry(QdsSection* section, std::u16string_view key, std::u16string_view text) {
  AddKey(section, key);
  AddValue(section, text);
}

// Comments everywhere, a bare key, a key that begins with "[", a key without
// values, an empty-named section and a section without keys.
void BuildSample(DocumentModel* document) {
  document->leadingText.Assign(u"; lead\r\n");
  document->trailingText.Assign(u"; trail\r\n");
  QdsSection* first = AddSection(document, u"a", u"; about a\r\n");
  AddEntry(first, u"k", u"1");
  AddValue(first, u"2", u"  ");
  AddEntry(first, u"[i", u"1");
  AddValue(first, u"2", u"\t");
  AddEntry(first, u"bare", u"\n");
  AddKey(first, u"never written");
  AddEntry(AddSection(document, u""), u"x", u"y=z");
  AddSection(document, u"b");
}

std::string Saved(DocumentModel* document, SaveFlags flags) {
  ScratchDir dir;
  EXPECT_EQ(SaveDocument(document, WidePath(dir / "out.qds").c_str(), flags), SaveStatus::Ok);
  return ReadBytes(dir / "out.qds");
}

TEST(SaverTest, LayoutFollowsTheFlags) {
  const std::u16string header = u"[$version 3, codepage 1200$]\r\n";
  const std::u16string rest = u"bare\r\n\r\nx=y=z\r\n\r\n[b]\r\n";
  const std::u16string plain = u"[a]\r\nk=1\r\nk=2\r\n [i=1\r\n [i=2\r\n" + rest;
  const std::u16string commented =
      u"; about a\r\n[a]\r\nk=1\r\n  k=2\r\n [i=1\r\n\t[i=2\r\n" + rest + u"; trail\r\n";
  const struct {
    SaveFlags flags;
    std::u16string text;
  } cases[] = {
      {None, header + u"\r\n" + plain},
      {KeepComments, u"; lead\r\n" + header + commented},
      {OmitHeader, plain},
      {KeepComments | OmitHeader, commented},
      {SaveFlags{0xE8}, header + u"\r\n" + plain},  // unknown bits change nothing
  };
  DocumentModel document;
  BuildSample(&document);
  for (const auto& c : cases) {
    EXPECT_EQ(Saved(&document, c.flags), Utf16Bytes(c.text, true))
        << "flags " << static_cast<uint32_t>(c.flags);
  }
}

TEST(SaverTest, TextIsWrittenVerbatimWithoutAddedLineEnds) {
  DocumentModel document;
  AddEntry(AddSection(&document, u"\x00E4[]", u"no line end"), u"\xD800 k", u"\x001A v ");
  AddEntry(AddSection(&document, u"c"), u"k", u"");
  EXPECT_EQ(Saved(&document, KeepComments | OmitHeader),
            Utf16Bytes(u"no line end[\x00E4[]]\r\n\xD800 k=\x001A v \r\n\r\n[c]\r\nk=\r\n", true));
}

// A save to the document's own file (no path, its name, or another name
// that leads to it) goes through a temporary file, which a folder standing
// at its name refuses, and leaves only the file under its own name; a save
// elsewhere writes the other file directly and keeps the document's name.
// Names that differ only in case are one file on Windows.
TEST(SaverTest, OwnFileIsReplacedThroughATemporaryFile) {
  ScratchDir dir;
  WriteBytes(dir / "Doc.qds", "old text");
  DocumentModel document;
  document.fileName.assign(WidePath(dir / "Doc.qds"));
  AddEntry(AddSection(&document, u"s"), u"k", u"v");
  const std::string expected = Saved(&document, None);
  std::vector<std::pair<std::string, bool>> names = {
      {"", true},
      {"Doc.qds", true},
      {"DOC.QDS", platform::kNamesIgnoreCase},
      {"./Doc.qds", !platform::kNamesIgnoreCase},
      {"other.qds", false},
  };
#ifndef _WIN32
  fs::create_hard_link(dir / "Doc.qds", dir / "hard.qds");
  fs::create_symlink("Doc.qds", dir / "link.qds");
  names.insert(names.end(), {{"hard.qds", true}, {"link.qds", true}});
#endif
  for (const auto& [name, own] : names) {
    const std::u16string path = name.empty() ? u"" : WidePath(dir / name);
    const char16_t* target = name.empty() ? nullptr : path.c_str();
    WriteBytes(dir / "Doc.qds", "old text");
    fs::create_directory(dir / "Doc.qds.tmp");
    EXPECT_EQ(SaveDocument(&document, target, None),
              own ? SaveStatus::AccessDenied : SaveStatus::Ok)
        << name;
    fs::remove(dir / "Doc.qds.tmp");
    EXPECT_EQ(SaveDocument(&document, target, None), SaveStatus::Ok) << name;
    EXPECT_EQ(ReadBytes(dir / (own ? "Doc.qds" : name)), expected) << name;
    EXPECT_EQ(document.fileName, WidePath(dir / "Doc.qds")) << name;
    EXPECT_FALSE(fs::exists(dir / (name + ".tmp"))) << name;
  }
}

// A write that fails once, in the middle of a text larger than the save
// buffer, fails the text wherever the buffer filled: in a comment, a
// section name, a key, a value, or an entry's line end, or in the leading
// comment of a document without sections; in a save that keeps the file's
// layout, in any line that a change names. Were it passed over, the writes
// after it could succeed and a file with a piece missing would take the
// target's place. The text is under two buffers, so the failed write is its
// only one.
TEST(SaverTest, AWriteFailingInTheMiddleFailsTheText) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no device that is always full";
#endif
  const std::u16string big(3000, u'x');
  auto failsOnAFullDevice = [](const DocumentModel& document, SaveFlags flags = KeepComments) {
    FileStream stream(format::kSaveBufferSize);
    EXPECT_EQ(stream.Open(u"/dev/full", kStreamWrite), StreamStatus::Ok);
    SaveOutcome outcome;
    return WriteText(document, &stream, flags, &outcome) == SaveStatus::WriteFailed;
  };
  for (int part = 0; part < 4; ++part) {
    DocumentModel document;
    for (int i = 0; i < 32; ++i) {
      QdsSection* section =
          AddSection(&document, part == 1 ? big : u"s", part == 0 ? u";" + big + u"\r\n" : u"");
      AddEntry(section, part == 2 ? big : u"k", part == 3 ? big : u"v");
    }
    EXPECT_TRUE(failsOnAFullDevice(document)) << part;
  }
  DocumentModel headerOnly;
  headerOnly.leadingText =
      TextSlice(u";" + std::u16string(format::kSaveBufferSize / 2, u'x') + u"\r\n");
  EXPECT_TRUE(failsOnAFullDevice(headerOnly));
  // One entry whose value fills the buffer up to its line end, or up to one
  // unit short of it: the line end's write is the one that fails.
  auto oneEntry = [](size_t valueLength) {
    auto document = std::make_unique<DocumentModel>();
    AddEntry(AddSection(document.get(), u"s"), u"k", std::u16string(valueLength, u'x'));
    return document;
  };
  std::string bytes;
  MemoryStream measured(format::kSaveBufferSize, &bytes);
  ASSERT_TRUE(WriteDocumentText(*oneEntry(0), &measured, KeepComments));
  ASSERT_EQ(measured.Flush(), StreamStatus::Ok);
  size_t beforeLineEnd = bytes.size() - 2 * sizeof(char16_t);
  size_t fill = (format::kSaveBufferSize - beforeLineEnd) / sizeof(char16_t);
  for (size_t length : {fill - 1, fill}) {
    EXPECT_TRUE(failsOnAFullDevice(*oneEntry(length))) << length;
  }
  // A save that keeps the file's layout, the buffer filling anywhere in the
  // lines that its changes name: a renamed key and section, a changed value,
  // a new key of two values, and a check line after the end marker. A
  // comment line of `pad` units goes before them.
  ScratchDir dir;
  auto changedFile = [&](size_t pad) {
    WriteBytes(dir / "in.qds", Utf16Bytes(u";" + std::u16string(pad, u'x') +
                                              u"\r\n[s]\r\nk=1\r\nk=2\r\n[t]\r\nx=1\r\n[$end$]\r\n",
                                          true));
    auto document = std::make_unique<DocumentModel>();
    EXPECT_EQ(LoadDocument(document.get(), WidePath(dir / "in.qds").c_str(),
                           LoadFlags::KeepComments | LoadFlags::KeepLayout),
              LoadStatus::Ok);
    QdsSection* s = document->sections.head();
    QdsSection* t = document->sections.tail();
    RenameKey(document.get(), s, s->keys.head(), u"key");
    SetValueText(document.get(), t->keys.head()->values.head(), u"changed");
    RenameSection(document.get(), t, u"u");
    document->SetEntry(u"u", u"new", kAppendPosition, u"1");
    document->SetEntry(u"u", u"new", kAppendPosition, u"2");
    return document;
  };
  constexpr SaveFlags kSigned = KeepComments | KeepLayout | Digest;
  SaveOutcome outcome;
  bytes.clear();
  MemoryStream unpadded(format::kSaveBufferSize, &bytes);
  ASSERT_EQ(WriteText(*changedFile(0), &unpadded, kSigned, &outcome), SaveStatus::Ok);
  ASSERT_EQ(unpadded.Flush(), StreamStatus::Ok);
  constexpr size_t kBeforeChanges = 4;  // the mark, ";" and a line end
  const size_t changedUnits = bytes.size() / sizeof(char16_t) - kBeforeChanges;
  for (size_t at = 0; at < changedUnits; ++at) {
    // The buffer ends `at` units into the changed lines.
    const size_t pad = format::kSaveBufferSize / sizeof(char16_t) - kBeforeChanges - at;
    EXPECT_TRUE(failsOnAFullDevice(*changedFile(pad), kSigned)) << at;
  }
}

// A save in two steps writes what a save writes and tells the same status:
// a copy back over a folder fails and leaves the temporary file; a missing
// folder fails before anything is written. A written text that is
// discarded, or whose StagedSave goes, leaves the file as it was and no
// temporary file beside it.
TEST(SaverTest, AStagedSaveWritesWhatSaveWritesAndDiscardsUnseen) {
  ScratchDir dir;
  fs::create_directory(dir / "folder.qds");  // nothing can be copied over a directory
  static const struct {
    const char* own;
    const char* written;  // where a committed text lands; null: nowhere
    SaveStatus written_status, committed_status;
  } cases[] = {
      {"own.qds", "own.qds", SaveStatus::Ok, SaveStatus::Ok},
      {"folder.qds", "folder.qds.tmp", SaveStatus::Ok, SaveStatus::CopyBackFailed},
      {"missing/doc.qds", nullptr, SaveStatus::NoTarget, SaveStatus::NoTarget},
  };
  for (const auto& c : cases) {
    for (int step : {0, 1, 2}) {  // committed, discarded, dropped
      SCOPED_TRACE(testing::Message() << c.own << ", step " << step);
      WriteBytes(dir / "own.qds", "old text");
      DocumentModel document;
      document.fileName.assign(WidePath(dir / c.own));
      QdsSection* section = AddSection(&document, u"s");
      AddKey(section, u"k");
      for (int i = 0; i < 50; ++i) AddValue(section, u"some value");
      const std::string expected = Saved(&document, KeepComments);
      {
        StagedSave staged;
        SaveStatus status = staged.Write(document, document.fileName.c_str(), KeepComments);
        EXPECT_EQ(status, c.written_status);
        if (step == 0 && status == SaveStatus::Ok) status = staged.Commit();
        if (step == 1) staged.Discard();
        if (step == 0) {
          EXPECT_EQ(status, c.committed_status);
        }
      }
      if (step == 0 && c.written != nullptr) {
        EXPECT_EQ(ReadBytes(dir / c.written), expected);
      }
      if (step != 0) {
        EXPECT_EQ(ReadBytes(dir / "own.qds"), "old text");
      }
      EXPECT_FALSE(fs::exists(dir / "own.qds.tmp"));
      fs::remove(dir / "folder.qds.tmp");
    }
  }
}

TEST(RoundTripTest, KeptCommentsComeBackByteForByte) {
  static const struct {
    std::u16string_view input;
    std::u16string_view expected;  // empty: the input itself
  } cases[] = {
      // A version-2 or -3 file in written form comes back unchanged.
      {u"; leading\r\n\r\n[$version 3, codepage 1200$]\r\n; about a\r\n[a]\r\n  k=v\r\n\r\n"
       u"\t; note\r\n\tk2=w x\r\n\r\n[b]\r\nbare\r\n;end\r\n\r\n",
       u""},
      {u"[$version 2$]\r\n[a]\r\nk=\r\n\r\n[b]\r\n", u""},
      {u"[$version 2$]\r\n[a]\r\nk=v\r\n;no line end", u""},
      {u"[$version 2$]\r\n\x1A[a\x1A]\r\nk\x1A=v\x1A\r\n",
       u"[$version 2$]\r\n[a\x1A]\r\nk\x1A=v\x1A\r\n"},
      // A version-1 file, or one without a version section, gains a blank line.
      {u"[$version 1$]\r\n[a]\r\nk=v\r\n", u"[$version 1$]\r\n\r\n[a]\r\nk=v\r\n"},
      {u"[a]\r\nk=v\r\n", u"[$version 1$]\r\n\r\n[a]\r\nk=v\r\n"},
      {u"", u"[$version 1$]\r\n\r\n"},
      {u"[$version 9$]\r\n", u"[$version -1$]\r\n"},
      // Entry and header lines are rewritten in their written form.
      {u"[$version 2$]\r\n[a] junk\r\n  k  =  v  \r\nlast=v",
       u"[$version 2$]\r\n[a]\r\n  k=v\r\nlast=v\r\n"},
      // Values of one key are written together, each with its own comment.
      {u"[$version 2$]\r\n[a]\r\n;1\r\nk=1\r\nj=2\r\n;3\r\nK=3\r\n",
       u"[$version 2$]\r\n[a]\r\n;1\r\nk=1\r\n;3\r\nk=3\r\nj=2\r\n"},
      // A second version section goes with its comment; the end marker ends the text.
      {u"[$version 2$]\r\n;x\r\n[$version 3$]\r\n[a]\r\n;t\r\n[$end$]\r\nXYZ",
       u"[$version 2$]\r\n[a]\r\n;t\r\n"},
      // An empty-named section has no header line: its entries join the section before it.
      {u"[$version 2$]\r\n[a]\r\nk=1\r\n[]\r\nj=2\r\n",
       u"[$version 2$]\r\n[a]\r\nk=1\r\n\r\nj=2\r\n"},
  };
  ScratchDir dir;
  for (const auto& c : cases) {
    std::u16string expected(c.expected.empty() ? c.input : c.expected);
    EXPECT_EQ(RoundTrip(dir.path(), Utf16Bytes(c.input, true),
                        LoadFlags::KeepComments | LoadFlags::Lenient),
              Utf16Bytes(expected, true))
        << EncodeUtf8(c.input);
  }
  // An ANSI file is written as UTF-16.
  EXPECT_EQ(RoundTrip(dir.path(), "[$version 2$]\r\n[a]\r\nk=\xE9\r\n", LoadFlags::KeepComments),
            Utf16Bytes(u"[$version 2$]\r\n[a]\r\nk=\u00E9\r\n", true));
}

// tests/data holds unsigned.qds signed by the Linux build and by the Windows
// build (with "qdstool sign unsigned.qds -o ..."): both verify here, and
// signing it here writes the same digest, and so the same bytes.
TEST(SignedFilesTest, FilesSignedOnEitherPlatformVerifyAndSigningHereGivesTheirBytes) {
  ScratchDir dir;
  const fs::path data = SourceFile("tests/data");
  DocumentModel document;
  ASSERT_EQ(
      LoadDocument(&document, WidePath(data / "unsigned.qds").c_str(), LoadFlags::KeepComments),
      LoadStatus::Ok);
  ASSERT_EQ(SaveDocument(&document, WidePath(dir / "signed.qds").c_str(), KeepComments | Digest),
            SaveStatus::Ok);
  for (const char* name : {"signed_by_linux.qds", "signed_by_windows.qds"}) {
    DocumentModel loaded;
    EXPECT_EQ(LoadDocument(&loaded, WidePath(data / name).c_str(), LoadFlags::Digest),
              LoadStatus::Ok)
        << name;
    EXPECT_EQ(loaded.CountEntries(u"Strings", nullptr), 2u) << name;
    EXPECT_EQ(ReadBytes(dir / "signed.qds"), ReadBytes(data / name)) << name;
  }
}

}  // namespace
}  // namespace qds::test
