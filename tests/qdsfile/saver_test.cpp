// The written layout of a document and the failure paths of Save.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/document_model.h"
#include "platform/path_syntax.h"
#include "qdsfile/md5_digest.h"
#include "qdsfile/qds_format.h"
#include "qdsfile/qds_saver.h"
#include "support/test_support.h"

namespace qds {
namespace {

namespace fs = std::filesystem;
using test::ExclusiveHold;
using test::ReadBytes;
using test::ScratchDir;
using test::Utf16Bytes;
using test::WidePath;
using test::WriteBytes;

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

void AddValue(QdsKey* key, std::u16string_view text, std::u16string_view comment = {}) {
  auto* value = new QdsValue(text);
  value->comment.Assign(comment);
  key->values.AddTail(value);
}

// Comments everywhere, a bare key, a key without values, an empty-named
// section and a section without keys.
void BuildSample(DocumentModel* document) {
  document->leadingText.Assign(u"; lead\r\n");
  document->trailingText.Assign(u"; trail\r\n");
  QdsSection* first = AddSection(document, u"a", u"; about a\r\n");
  QdsKey* k = AddKey(first, u"k");
  AddValue(k, u"1");
  AddValue(k, u"2", u"  ");
  AddValue(AddKey(first, u"bare"), u"\n");
  AddKey(first, u"never written");
  AddValue(AddKey(AddSection(document, u""), u"x"), u"y=z");
  AddSection(document, u"b");
}

std::string Saved(DocumentModel* document, uint32_t flags) {
  ScratchDir dir;
  EXPECT_EQ(SaveDocument(document, WidePath(dir / "out.qds").c_str(), flags), SaveStatus::Ok);
  return ReadBytes(dir / "out.qds");
}

TEST(SaverTest, LayoutFollowsTheFlags) {
  static const struct {
    uint32_t flags;
    const char16_t* text;
  } cases[] = {
      {0,
       u"[$version 3, codepage 1200$]\r\n\r\n"
       u"[a]\r\nk=1\r\nk=2\r\nbare\r\n"
       u"\r\nx=y=z\r\n"
       u"\r\n[b]\r\n"},
      {KeepComments,
       u"; lead\r\n[$version 3, codepage 1200$]\r\n"
       u"; about a\r\n[a]\r\nk=1\r\n  k=2\r\nbare\r\n"
       u"\r\nx=y=z\r\n"
       u"\r\n[b]\r\n"
       u"; trail\r\n"},
      {OmitHeader,
       u"[a]\r\nk=1\r\nk=2\r\nbare\r\n"
       u"\r\nx=y=z\r\n"
       u"\r\n[b]\r\n"},
      {KeepComments | OmitHeader,
       u"; about a\r\n[a]\r\nk=1\r\n  k=2\r\nbare\r\n"
       u"\r\nx=y=z\r\n"
       u"\r\n[b]\r\n"
       u"; trail\r\n"},
      {0xE8,
       u"[$version 3, codepage 1200$]\r\n\r\n"  // unknown bits change nothing
       u"[a]\r\nk=1\r\nk=2\r\nbare\r\n"
       u"\r\nx=y=z\r\n"
       u"\r\n[b]\r\n"},
  };
  DocumentModel document;
  BuildSample(&document);
  for (const auto& c : cases) {
    EXPECT_EQ(Saved(&document, c.flags), Utf16Bytes(c.text, true)) << "flags " << c.flags;
  }
}

TEST(SaverTest, VersionLineFollowsTheVersion) {
  static const struct {
    int32_t version;
    uint32_t flags;
    const char16_t* text;
  } cases[] = {
      {3, 0, u"[$version 3, codepage 1200$]\r\n\r\n"},
      {3, KeepComments, u"[$version 3, codepage 1200$]\r\n"},
      {7, KeepComments, u"[$version 7, codepage 1200$]\r\n"},
      {2, KeepComments, u"[$version 2$]\r\n"},
      {1, KeepComments, u"[$version 1$]\r\n\r\n"},  // version 1 always gains its blank line
      {-1, KeepComments, u"[$version -1$]\r\n"},
      {INT32_MIN, 0, u"[$version -2147483648$]\r\n\r\n"},
  };
  for (const auto& c : cases) {
    DocumentModel document;
    document.version = c.version;
    document.utf16 = 0;  // an ANSI document is written as UTF-16 too
    EXPECT_EQ(Saved(&document, c.flags), Utf16Bytes(c.text, true)) << c.version;
  }
}

TEST(SaverTest, TextIsWrittenVerbatimWithoutAddedLineEnds) {
  DocumentModel document;
  AddValue(AddKey(AddSection(&document, u"\x00E4[]", u"no line end"), u"\xD800 k"), u"\x001A v ");
  AddValue(AddKey(AddSection(&document, u"c"), u"k"), u"");
  EXPECT_EQ(Saved(&document, KeepComments | OmitHeader),
            Utf16Bytes(u"no line end[\x00E4[]]\r\n\xD800 k=\x001A v \r\n\r\n[c]\r\nk=\r\n", true));
}

// The parts of a file saved with Digest: the text through "[$end$]" and the
// check line.
struct SignedFile {
  std::string covered;
  std::string checkLine;
};

SignedFile Split(const std::string& bytes) {
  const std::string marker = Utf16Bytes(u"\r\n[$end$]");
  size_t end = bytes.rfind(marker);
  EXPECT_NE(end, std::string::npos);
  end += marker.size();
  return {bytes.substr(0, end), bytes.substr(end)};
}

std::string ExpectedCheckLine(const std::string& covered) {
  std::string all(reinterpret_cast<const char*>(format::kDigestSalt), format::kDigestSaltSize);
  all += covered;
  all.append((64 - covered.size() % 64) % 64, '\0');
  Md5Digest md5;
  EXPECT_TRUE(md5.Start());
  md5.Update(all.data(), all.size());
  uint8_t digest[kMd5Size];
  md5.Finish(digest);
  std::u16string line = u"\r\n";
  for (uint8_t byte : digest) {
    line.push_back(u"0123456789ABCDEF"[byte >> 4]);
    line.push_back(u"0123456789ABCDEF"[byte & 0xF]);
  }
  return Utf16Bytes(line + u"\r\n");
}

TEST(SaverTest, DigestCoversTheTextThroughTheEndMarker) {
  DocumentModel document;
  BuildSample(&document);
  // Make the text cross the stream's buffer a few times.
  QdsKey* many = AddKey(AddSection(&document, u"many"), u"key");
  for (int i = 0; i < 500; ++i) AddValue(many, u"value " + std::u16string(i % 37, u'v'));
  for (uint32_t flags : {Digest, Digest | KeepComments, Digest | OmitHeader}) {
    const std::string bytes = Saved(&document, flags);
    const SignedFile file = Split(bytes);
    EXPECT_EQ(file.covered, Saved(&document, flags & ~Digest) + Utf16Bytes(u"\r\n[$end$]"))
        << flags;
    EXPECT_EQ(file.checkLine.size(), 72u) << flags;
    EXPECT_EQ(file.checkLine, ExpectedCheckLine(file.covered)) << flags;
    EXPECT_EQ(Saved(&document, flags), bytes) << "a second save writes the same check line";
  }
}

TEST(SaverTest, NoPathAndNoFileNameIsNoTarget) {
  DocumentModel document;
  EXPECT_EQ(SaveDocument(&document, nullptr, 0), SaveStatus::NoTarget);
  EXPECT_EQ(SaveDocument(&document, u"", 0), SaveStatus::NoTarget);
}

TEST(SaverTest, OwnFileIsReplacedThroughATemporaryFile) {
  ScratchDir dir;
  WriteBytes(dir / "Doc.qds", "old text");
  DocumentModel document;
  document.fileName.Assign(WidePath(dir / "Doc.qds"));
  AddValue(AddKey(AddSection(&document, u"s"), u"k"), u"v");
  const std::string expected = Saved(&document, 0);
  std::vector<const char*> paths = {"", "Doc.qds"};
  if (platform::kNamesIgnoreCase) paths.push_back("DOC.QDS");
  for (const char* path : paths) {
    WriteBytes(dir / "Doc.qds", "old text");
    const std::u16string wide = *path ? WidePath(dir / path) : u"";
    EXPECT_EQ(SaveDocument(&document, *path ? wide.c_str() : nullptr, 0), SaveStatus::Ok) << path;
    EXPECT_EQ(ReadBytes(dir / "Doc.qds"), expected) << path;
    // Only the file itself is left, under its own name (also where the file
    // system ignores the case of names).
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"Doc.qds"}) << path;
  }
}

// A save to the document's own file goes through the temporary file, which
// a folder standing at its name refuses (AccessDenied); a save to another
// file writes it directly. Names that differ only in case are one file on
// Windows; elsewhere a name is the own file when it leads to it.
TEST(SaverTest, OwnFileIsItsNameOrAnotherNameOfTheSameFile) {
  ScratchDir dir;
  WriteBytes(dir / "Doc.qds", "old text");
  fs::create_directory(dir / "Doc.qds.tmp");
  DocumentModel document;
  document.fileName.Assign(WidePath(dir / "Doc.qds"));
  AddValue(AddKey(AddSection(&document, u"s"), u"k"), u"v");
  const std::string expected = Saved(&document, 0);
  std::vector<std::pair<std::string, bool>> names = {
      {"Doc.qds", true},
      {"DOC.QDS", platform::kNamesIgnoreCase},
      {"./Doc.qds", !platform::kNamesIgnoreCase},
  };
#ifndef _WIN32
  fs::create_hard_link(dir / "Doc.qds", dir / "hard.qds");
  fs::create_symlink("Doc.qds", dir / "link.qds");
  names.insert(names.end(), {{"hard.qds", true}, {"link.qds", true}});
#endif
  for (const auto& [name, own] : names) {
    const std::u16string path = WidePath(dir / name);
    EXPECT_EQ(SaveDocument(&document, path.c_str(), 0),
              own ? SaveStatus::AccessDenied : SaveStatus::Ok)
        << name;
    EXPECT_EQ(ReadBytes(dir / name), own ? "old text" : expected) << name;
    WriteBytes(dir / "Doc.qds", "old text");
  }
}

TEST(SaverTest, SavingElsewhereKeepsTheFileName) {
  ScratchDir dir;
  WriteBytes(dir / "doc.qds", "old text");
  DocumentModel document;
  document.fileName.Assign(WidePath(dir / "doc.qds"));
  EXPECT_EQ(SaveDocument(&document, WidePath(dir / "other.qds").c_str(), 0), SaveStatus::Ok);
  EXPECT_EQ(document.fileName, WidePath(dir / "doc.qds"));
  EXPECT_EQ(ReadBytes(dir / "doc.qds"), "old text");
  EXPECT_FALSE(fs::exists(dir / "other.qds.tmp"));
}

TEST(SaverTest, OpenFailuresMapToSaveStatuses) {
  ScratchDir dir;
  fs::create_directory(dir / "folder");
  static const struct {
    const char* path;
    SaveStatus status;
  } cases[] = {
      {"missing/out.qds", SaveStatus::NoTarget},
      {"folder", SaveStatus::AccessDenied},  // refused, as a directory is on every system
  };
  for (const auto& c : cases) {
    DocumentModel document;
    EXPECT_EQ(SaveDocument(&document, WidePath(dir / c.path).c_str(), 0), c.status) << c.path;
  }
}

#ifdef _WIN32
TEST(SaverTest, TargetHeldByAnotherOpenerIsAccessDenied) {
  ScratchDir dir;
  WriteBytes(dir / "out.qds", "");
  ExclusiveHold holder(dir / "out.qds");
  ASSERT_TRUE(holder.held());
  DocumentModel document;
  EXPECT_EQ(SaveDocument(&document, WidePath(dir / "out.qds").c_str(), 0),
            SaveStatus::AccessDenied);
}
#else
TEST(SaverTest, ReadOnlyFolderIsAccessDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  ScratchDir dir;
  fs::create_directory(dir / "locked");
  fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  DocumentModel document;
  EXPECT_EQ(SaveDocument(&document, WidePath(dir / "locked" / "out.qds").c_str(), 0),
            SaveStatus::AccessDenied);
  fs::permissions(dir / "locked", fs::perms::owner_all);
}
#endif

// A temporary file that is a link to a full device fails the writes (large
// document) or only the final flush (small one).
TEST(SaverTest, FailedWriteLeavesTheOwnFileUntouched) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no file size limit to make the temporary file's write fail";
#else
  for (int values : {1, 2000}) {
    ScratchDir dir;
    WriteBytes(dir / "doc.qds", "the loaded text");
    DocumentModel document;
    document.fileName.Assign(WidePath(dir / "doc.qds"));
    QdsKey* key = AddKey(AddSection(&document, u"s"), u"k");
    for (int i = 0; i < values; ++i) AddValue(key, u"some value");
    {
      test::ScopedFileSizeLimit fullAfter(16);
      EXPECT_EQ(SaveDocument(&document, nullptr, KeepComments), SaveStatus::WriteFailed) << values;
    }
    EXPECT_EQ(ReadBytes(dir / "doc.qds"), "the loaded text") << values;
    EXPECT_FALSE(fs::exists(dir / "doc.qds.tmp")) << "the partly written file stayed";
  }
#endif
}

TEST(SaverTest, FailedCopyBackIsFiveAndKeepsTheTemporaryFile) {
  ScratchDir dir;
  fs::create_directory(dir / "doc.qds");  // nothing can be copied over a directory
  DocumentModel document;
  document.fileName.Assign(WidePath(dir / "doc.qds"));
  EXPECT_EQ(SaveDocument(&document, nullptr, 0), SaveStatus::CopyBackFailed);
  EXPECT_EQ(ReadBytes(dir / "doc.qds.tmp"), Saved(&document, 0));
}

// Saving while letting go of the sections writes what Save writes and tells
// what Save tells; the sections are gone once their text was written, and
// kept when it could not be.
TEST(SaverTest, SavingReleasingSectionsWritesWhatSaveWrites) {
  ScratchDir dir;
  auto document = [&](const char* name) {
    auto made = std::make_unique<DocumentModel>();
    made->fileName.Assign(WidePath(dir / name));
    QdsKey* key = AddKey(AddSection(made.get(), u"s"), u"k");
    for (int i = 0; i < 50; ++i) AddValue(key, u"some value");
    return made;
  };
  const std::string expected = Saved(document("any.qds").get(), KeepComments);

  WriteBytes(dir / "own.qds", "old text");
  auto own = document("own.qds");
  EXPECT_EQ(SaveDocumentReleasingSections(own.get(), nullptr, KeepComments), SaveStatus::Ok);
  EXPECT_EQ(ReadBytes(dir / "own.qds"), expected);
  EXPECT_FALSE(fs::exists(dir / "own.qds.tmp"));
  EXPECT_EQ(own->sections.count(), 0u);

  auto elsewhere = document("own.qds");
  EXPECT_EQ(SaveDocumentReleasingSections(elsewhere.get(), WidePath(dir / "other.qds").c_str(),
                                          KeepComments),
            SaveStatus::Ok);
  EXPECT_EQ(ReadBytes(dir / "other.qds"), expected);
  EXPECT_EQ(elsewhere->sections.count(), 0u);

  fs::create_directory(dir / "folder.qds");  // nothing can be copied over a directory
  auto blocked = document("folder.qds");
  EXPECT_EQ(SaveDocumentReleasingSections(blocked.get(), nullptr, KeepComments),
            SaveStatus::CopyBackFailed);
  EXPECT_EQ(ReadBytes(dir / "folder.qds.tmp"), expected);
  EXPECT_EQ(blocked->sections.count(), 0u);

  auto unwritten = document("missing/doc.qds");
  EXPECT_EQ(SaveDocumentReleasingSections(unwritten.get(), nullptr, KeepComments),
            SaveStatus::NoTarget);
  EXPECT_EQ(unwritten->sections.count(), 1u);
}

}  // namespace
}  // namespace qds
