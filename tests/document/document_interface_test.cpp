// The document as its users meet it through <qds/qds.h>: reads by name and
// through views, the checked changes and what they leave in the saved text,
// the statuses in words, moves, and stale views.

#include <gtest/gtest.h>
#include <qds/qds.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "document/document_state.h"
#include "support/test_support.h"

namespace qds {
namespace {

constexpr std::string_view kScript =
    "[$version 3, codepage 1200$]\n"
    "\n"
    "; tools\n"
    "[Registry]\n"
    "Version=1.0\n"
    "  ; the folder\n"
    "  Dir=\"C:\\x\"\n"
    "Path=a\n"
    "Path=b\n"
    "\n"
    "[Files]\n"
    "main=app.exe\n";

class DocumentInterfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteBytes(file_, test::Qds(ToUtf16(kScript)));
    ASSERT_EQ(doc_.Load(file_, LoadFlags::KeepComments), LoadStatus::Ok);
  }

  // The document as a save writes it, in UTF-8 with "\n" line ends.
  std::string Saved(SaveFlags flags = SaveFlags::KeepComments) {
    EXPECT_TRUE(doc_.SaveTo(scratch_ / "out.qds", flags).Ok());
    std::string text =
        ToUtf8(test::FromUtf16Bytes(test::ReadBytes(scratch_ / "out.qds").substr(2)));
    std::erase(text, '\r');
    return text;
  }

  test::ScratchDir scratch_;
  std::filesystem::path file_ = scratch_ / "app.qds";
  QdsDocument doc_;
};

TEST_F(DocumentInterfaceTest, ReadsByNameAndThroughViews) {
  std::string walked;
  SectionRange sections = doc_.Sections();  // the views that change, as views that read
  for (Section section : sections) {
    walked += "[" + section.Name() + "]";
    for (Key key : section.Keys()) {
      for (Value value : key.Values()) walked += key.Name() + "=" + value.Text() + ";";
    }
  }
  EXPECT_EQ(walked, "[Registry]Version=1.0;Dir=\"C:\\x\";Path=a;Path=b;[Files]main=app.exe;");
  EXPECT_EQ(doc_.SectionCount(), 2u);
  std::optional<Section> registry = doc_.FindSection(u"REGISTRY");
  ASSERT_TRUE(registry.has_value());
  EXPECT_EQ(registry->Comment(), "\r\n; tools\r\n");
  EXPECT_EQ(registry->KeyCount(), 3u);
  EXPECT_EQ(registry->EntryCount(), 4u);
  ASSERT_TRUE(registry->FindKey("dir").has_value());
  EXPECT_EQ((*registry->FindKey("dir")->Values().begin()).Comment(), "  ; the folder\r\n  ");

  static const struct {
    const char* section;
    const char* key;
    size_t index;
    Status status;
    std::string text;
  } reads[] = {
      {"Registry", "Version", 0, Status(), "1.0"},
      {"registry", "DIR", 0, Status(), "\"C:\\x\""},  // stored: quotes kept
      {"Registry", "Path", 1, Status(), "b"},
      {"Registry", "Path", 2, ReadStatus::NoEntry, "unchanged"},
      {"Registry", "Nothing", 0, ReadStatus::NoEntry, "unchanged"},
      {"Nowhere", "Version", 0, ReadStatus::NoSection, "unchanged"},
  };
  for (const auto& read : reads) {
    SCOPED_TRACE(std::string(read.section) + "/" + read.key);
    std::string text = "unchanged";
    EXPECT_EQ(doc_.Get(read.section, read.key, read.index, &text), read.status);
    EXPECT_EQ(text, read.text);
    std::u16string wide = u"unchanged";
    EXPECT_EQ(doc_.Get(ToUtf16(read.section), ToUtf16(read.key), read.index, &wide), read.status);
    EXPECT_EQ(wide, ToUtf16(read.text));
  }
  std::vector<std::string> all;
  EXPECT_EQ(doc_.GetAll("Registry", "Path", &all), Status());
  EXPECT_EQ(all, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(doc_.GetAll("Registry", "None", &all), ReadStatus::NoEntry);
}

TEST_F(DocumentInterfaceTest, ChangesKeepEverythingElseAndRefusalsChangeNothing) {
  using Change = std::function<Status(QdsDocument&)>;
  const std::string unchanged(kScript);
  static const std::string kHead = "[$version 3, codepage 1200$]\n\n; tools\n[Registry]\n";
  static const std::string kTail = "\n[Files]\nmain=app.exe\n";
  const struct {
    const char* what;
    Change change;
    std::string saved;
    Status status = Status();
    Reason reason = Reason::None;
    std::string text = "";  // the words of a missing part's status
  } cases[] = {
      {"set one value in place", [](QdsDocument& d) { return d.Set("Registry", "version", "2.0"); },
       kHead + "Version=2.0\n  ; the folder\n  Dir=\"C:\\x\"\nPath=a\nPath=b\n" + kTail},
      {"set drops later values", [](QdsDocument& d) { return d.Set(u"Registry", u"Path", u"c"); },
       kHead + "Version=1.0\n  ; the folder\n  Dir=\"C:\\x\"\nPath=c\n" + kTail},
      {"set makes section and key", [](QdsDocument& d) { return d.Set("New", "k", ""); },
       unchanged + "\n[New]\nk=\n"},
      {"add after the key's values",
       [](QdsDocument& d) { return d.Add("Registry", "Version", "x"); },
       kHead + "Version=1.0\nVersion=x\n  ; the folder\n  Dir=\"C:\\x\"\nPath=a\nPath=b\n" + kTail},
      {"remove keeps the comment", [](QdsDocument& d) { return d.RemoveKey("Registry", "Dir"); },
       kHead + "Version=1.0\n  ; the folder\nPath=a\nPath=b\n" + kTail},
      {"remove one value", [](QdsDocument& d) { return d.RemoveValue("Registry", "Path", 0); },
       kHead + "Version=1.0\n  ; the folder\n  Dir=\"C:\\x\"\nPath=b\n" + kTail},
      {"remove a section", [](QdsDocument& d) { return d.RemoveSection("files"); },
       kHead + "Version=1.0\n  ; the folder\n  Dir=\"C:\\x\"\nPath=a\nPath=b\n\n"},
      {"remove a section, its comments kept",
       [](QdsDocument& d) { return d.RemoveSection("registry"); },
       "[$version 3, codepage 1200$]\n\n; tools\n  ; the folder\n" + kTail},
      {"rename a section", [](QdsDocument& d) { return d.RenameSection("Files", "Bin"); },
       std::string(kScript.substr(0, kScript.size() - kTail.size())) + "\n[Bin]\nmain=app.exe\n"},
      {"set the value a key has", [](QdsDocument& d) { return d.Set("Files", "MAIN", "app.exe"); },
       unchanged},
      {"rename to the same name", [](QdsDocument& d) { return d.RenameSection("Files", "Files"); },
       unchanged},
      {"rename a key to its other case",
       [](QdsDocument& d) { return d.RenameKey("Files", "main", "MAIN"); },
       std::string(kScript.substr(0, kScript.size() - kTail.size())) + "\n[Files]\nMAIN=app.exe\n"},
      {"rename onto another section",
       [](QdsDocument& d) { return d.RenameSection("Files", "registry"); }, unchanged,
       LibraryStatus::NameExists, Reason::SectionExists},
      {"rename onto another key",
       [](QdsDocument& d) { return d.RenameKey("Registry", "Path", "dir"); }, unchanged,
       LibraryStatus::NameExists, Reason::KeyExists},
      {"remove past the values", [](QdsDocument& d) { return d.RemoveValue("Files", "main", 1); },
       unchanged, ReadStatus::NoEntry, Reason::MissingValue,
       "no value 1 of key \"main\" in section \"Files\""},
      {"remove a key of no section", [](QdsDocument& d) { return d.RemoveKey(u"Gon\u00e9", "k"); },
       unchanged, ReadStatus::NoSection, Reason::MissingSection, "no section \"Gon\xC3\xA9\""},
      {"remove a missing section", [](QdsDocument& d) { return d.RemoveSection("Gone"); },
       unchanged, ReadStatus::NoSection, Reason::MissingSection, "no section \"Gone\""},
      {"rename a missing section", [](QdsDocument& d) { return d.RenameSection("Gone", "X"); },
       unchanged, ReadStatus::NoSection, Reason::MissingSection, "no section \"Gone\""},
      {"rename a missing key", [](QdsDocument& d) { return d.RenameKey("Files", "gone", "x"); },
       unchanged, ReadStatus::NoEntry, Reason::MissingKey, "no key \"gone\" in section \"Files\""},
      {"key with =", [](QdsDocument& d) { return d.Set("Files", "a=b", "1"); }, unchanged,
       LibraryStatus::InvalidKey, Reason::ContainsEquals},
      {"empty key", [](QdsDocument& d) { return d.Add("Files", "", "1"); }, unchanged,
       LibraryStatus::InvalidKey, Reason::Empty},
      {"key starting with [", [](QdsDocument& d) { return d.Add("Files", "[x]", "1"); }, unchanged,
       LibraryStatus::InvalidKey, Reason::StartsWithBracket},
      {"key starting with ;", [](QdsDocument& d) { return d.Add("Files", ";x", "1"); }, unchanged,
       LibraryStatus::InvalidKey, Reason::StartsWithSemicolon},
      {"key renamed to white space edge",
       [](QdsDocument& d) { return d.RenameKey("Files", "main", "m "); }, unchanged,
       LibraryStatus::InvalidKey, Reason::WhiteSpaceAtEdge},
      {"value with a line end", [](QdsDocument& d) { return d.Set("Files", "main", "a\nb"); },
       unchanged, LibraryStatus::InvalidValue, Reason::ContainsLineEnd},
      {"value with white space edge", [](QdsDocument& d) { return d.Set("Files", "main", " a"); },
       unchanged, LibraryStatus::InvalidValue, Reason::WhiteSpaceAtEdge},
      {"value with NUL",
       [](QdsDocument& d) { return d.Add("Files", "main", std::string_view("a\0b", 3)); },
       unchanged, LibraryStatus::InvalidValue, Reason::ContainsNul},
      {"value of bad UTF-8", [](QdsDocument& d) { return d.Add("Files", "main", "\xff"); },
       unchanged, LibraryStatus::InvalidValue, Reason::InvalidUtf8},
      {"value starting with U+001A",
       [](QdsDocument& d) {
         return d.Add("Files", "main",
                      u"\x1a"
                      "a");
       },
       unchanged, LibraryStatus::InvalidValue, Reason::StartsWithEof},
      {"section with ]", [](QdsDocument& d) { return d.Add("a]b", "k", "1"); }, unchanged,
       LibraryStatus::InvalidSectionName, Reason::ContainsBracket},
      {"empty section", [](QdsDocument& d) { return d.Set("", "k", "1"); }, unchanged,
       LibraryStatus::InvalidSectionName, Reason::Empty},
      {"version section", [](QdsDocument& d) { return d.RenameSection("Files", "$VERSION 2$"); },
       unchanged, LibraryStatus::InvalidSectionName, Reason::VersionName},
      {"end marker section", [](QdsDocument& d) { return d.Add("$end$", "k", "1"); }, unchanged,
       LibraryStatus::InvalidSectionName, Reason::EndMarkerName},
      {"merge into itself", [](QdsDocument& d) { return Merge(d, d); }, unchanged,
       LibraryStatus::MergedIntoItself, Reason::None},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    doc_ = QdsDocument();
    ASSERT_EQ(doc_.Load(file_, LoadFlags::KeepComments), LoadStatus::Ok);
    Status status = c.change(doc_);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(status.Why(), c.reason);
    if (!c.text.empty()) {
      EXPECT_EQ(status.Text(), c.text);
    }
    EXPECT_EQ(doc_.Modified(), c.saved != unchanged);
    EXPECT_EQ(Saved(), c.saved);
  }
}

// Lists long enough to be searched through a name index: a rename keeps
// the node's place and is refused only for a name that another node bears.
TEST(DocumentLongListsTest, RenamesKeepPlacesAndRefuseOnlyTakenNames) {
  QdsDocument doc;
  for (int i = 0; i < 20; ++i) {
    std::string n = std::to_string(i);
    ASSERT_EQ(doc.Add("S", "k" + n, "v" + n), Status());
    ASSERT_EQ(doc.Add("T" + n, "k", "v"), Status());
  }
  const struct {
    std::function<Status(QdsDocument&)> change;
    Status status;
  } steps[] = {
      {[](QdsDocument& d) { return d.RenameKey("S", "k5", "K5"); }, Status()},
      {[](QdsDocument& d) { return d.RenameKey("S", "k5", "k6"); }, LibraryStatus::NameExists},
      {[](QdsDocument& d) { return d.RenameKey("S", "K5", "fresh"); }, Status()},
      {[](QdsDocument& d) { return d.RenameKey("S", "k6", "FRESH"); }, LibraryStatus::NameExists},
      {[](QdsDocument& d) { return d.RenameSection("T5", "t6"); }, LibraryStatus::NameExists},
      {[](QdsDocument& d) { return d.RenameSection("T5", "U"); }, Status()},
  };
  for (const auto& step : steps) EXPECT_EQ(step.change(doc), step.status);
  std::string text;
  EXPECT_EQ(doc.Get("S", "fresh", 0, &text), Status());
  EXPECT_EQ(text, "v5");
  EXPECT_EQ(doc.Get("S", "k5", 0, &text), ReadStatus::NoEntry);
  char16_t key[16];
  char16_t value[16];
  uint32_t keyLength = 16;
  uint32_t valueLength = 16;
  ASSERT_EQ(doc.GetEntry(u"S", 5, key, &keyLength, value, &valueLength, {}), ReadStatus::Ok);
  EXPECT_EQ(std::u16string(key), u"fresh");
  keyLength = 16;
  ASSERT_EQ(doc.GetSectionName(6, key, &keyLength), ReadStatus::Ok);
  EXPECT_EQ(std::u16string(key), u"U");
}

TEST_F(DocumentInterfaceTest, StatusesReadAsWords) {
  QdsDocument missing;
  Status notFound = missing.Load(scratch_ / "none.qds");
  EXPECT_EQ(notFound.Name(), "NotFound");
  EXPECT_NE(notFound.SystemCode(), 0);
  EXPECT_EQ(notFound.Describe("none.qds"),
            "none.qds: cannot open: " + notFound.SystemText() + " (status 2)");
  test::WriteBytes(scratch_ / "bad.qds", "[A]\r\nx=1\r\nkey\r\n");
  Status syntax = missing.Load(scratch_ / "bad.qds");
  EXPECT_EQ(syntax.Line(), 3u);
  EXPECT_EQ(syntax.Describe("bad.qds"), "bad.qds:3: syntax error: a key without \"=\" (status 7)");
  EXPECT_EQ(missing.Load(file_, LoadFlags::Digest).Text(),
            "not signed: the text has no end marker");
  EXPECT_EQ(doc_.SetCodePage(12345).Text(), "code page 12345 cannot be converted on this system");
  EXPECT_EQ(doc_.Set("Files", "a=b", "1").Describe("app.qds"),
            "app.qds: a key may not contain \"=\" (status 31)");
  EXPECT_EQ(doc_.RenameKey("Registry", "Path", "dir").Text(),
            "another key of the section already has that name");
  std::string read;
  Status noKey = doc_.Get("Registry", "Nope", 0, &read);
  EXPECT_EQ(noKey.Describe("app.qds"),
            "app.qds: no key \"Nope\" in section \"Registry\" (status 11)");
  EXPECT_EQ(noKey.SectionName() + "/" + noKey.KeyName(), "Registry/Nope");
  EXPECT_EQ(StatusText(noKey), "no such key");
  EXPECT_EQ(StatusText(ExpandStatus::DivisionByZero), "division by zero");
  EXPECT_EQ(detail::Internals::MakeStatus(SaveStatus::Unrepresentable, {.detail = 0x20AC})
                .Describe("a.qds"),
            "a.qds: a character that the file's code page cannot hold: U+20AC (status 39)");
}

TEST_F(DocumentInterfaceTest, ExpandsAValueAndAStaleViewIsRefused) {
  SymbolTable table;
  table.Set("x", "D:");
  std::optional<Key> dir = doc_.FindSection("Registry")->FindKey("Dir");
  Value value = *dir->Values().begin();
  std::string out;
  EXPECT_EQ(doc_.Expand(value, table, &out), Status());
  EXPECT_EQ(out, "C:\\x");  // quotes dropped; "\x" is no reference
  ASSERT_EQ(doc_.Set("Registry", "Dir", "%!eval(1/0)%"), Status());
  EXPECT_EQ(value.Text(), "");  // the change replaced the node the view showed
  EXPECT_TRUE(dir->Values().empty());
  EXPECT_EQ(doc_.Expand(value, table, &out), LibraryStatus::StaleView);
  ASSERT_EQ(doc_.RemoveValue("Registry", "Path", 1), Status());  // a later change never revives it
  EXPECT_EQ(doc_.Expand(value, table, &out), LibraryStatus::StaleView);
  value = *doc_.FindSection("Registry")->FindKey("Dir")->Values().begin();
  Status failed = doc_.Expand(value, table, &out);
  EXPECT_EQ(failed, ReadStatus::ExpansionFailed);
  EXPECT_EQ(failed.Detail(), static_cast<int>(ExpandStatus::DivisionByZero));
  EXPECT_EQ(failed.Text(), "cannot expand: division by zero at position 2");
  QdsDocument other;
  EXPECT_EQ(other.Expand(value, table, &out), LibraryStatus::StaleView);
  // A rename counts as a change too, whatever comes after it.
  value = *doc_.FindSection("Registry")->FindKey("Path")->Values().begin();
  ASSERT_EQ(doc_.RenameSection("Files", "Bin"), Status());
  ASSERT_EQ(doc_.RemoveValue("Registry", "Path", 0), Status());
  EXPECT_EQ(doc_.Expand(value, table, &out), LibraryStatus::StaleView);
}

// The walk that changes what it walks, through its views: it visits every
// part that was there when it began and not removed before it came, once,
// and ends; the changes are those of the same changes by name.
TEST_F(DocumentInterfaceTest, AWalkChangesThroughItsViewsAndGoesOn) {
  static const std::string kHead = "[$version 3, codepage 1200$]\n\n; tools\n[Registry]\n";
  static const std::string kTail = "\n[Files]\nmain=app.exe\n";
  using Walk = std::function<void(QdsDocument&, std::string*)>;
  // Each value's walk: what it visits, and the change it makes there.
  auto eachValue = [](std::function<Status(MutableKey, MutableValue)> change) -> Walk {
    return [=](QdsDocument& d, std::string* visited) {
      for (MutableSection section : d.Sections()) {
        for (MutableKey key : section.Keys()) {
          for (MutableValue value : key.Values()) {
            *visited += key.Name() + "=" + value.Text() + ";";
            EXPECT_EQ(change(key, value), Status());
          }
        }
      }
    };
  };
  auto eachKey = [](std::function<Status(MutableSection, MutableKey)> change) -> Walk {
    return [=](QdsDocument& d, std::string* visited) {
      for (MutableSection section : d.Sections()) {
        for (MutableKey key : section.Keys()) {
          *visited += key.Name() + ";";
          EXPECT_EQ(change(section, key), Status());
        }
      }
    };
  };
  const std::string allValues = "Version=1.0;Dir=\"C:\\x\";Path=a;Path=b;main=app.exe;";
  const std::string allKeys = "Version;Dir;Path;main;";
  const struct {
    const char* what;
    Walk walk;
    std::string visited;
    std::string saved;
  } cases[] = {
      {"set every value", eachValue([](MutableKey, MutableValue v) { return v.Set("x"); }),
       allValues,
       kHead + "Version=x\n  ; the folder\n  Dir=x\nPath=x\nPath=x\n\n[Files]\nmain=x\n"},
      {"add to every key",
       eachValue([](MutableKey k, MutableValue v) { return k.Add(v.Text() + "+"); }), allValues,
       kHead + "Version=1.0\nVersion=1.0+\n  ; the folder\n  Dir=\"C:\\x\"\nDir=\"C:\\x\"+\n"
               "Path=a\nPath=b\nPath=a+\nPath=b+\n\n[Files]\nmain=app.exe\nmain=app.exe+\n"},
      {"remove every value", eachValue([](MutableKey, MutableValue v) { return v.Remove(); }),
       allValues,
       "[$version 3, codepage 1200$]\n\n; tools\n[Registry]\n  ; the folder\n\n[Files]\n"},
      {"remove a key's values from the key",
       eachValue([](MutableKey k, MutableValue) { return k.Remove(); }),
       "Version=1.0;Dir=\"C:\\x\";Path=a;main=app.exe;",
       "[$version 3, codepage 1200$]\n\n; tools\n[Registry]\n  ; the folder\n\n[Files]\n"},
      {"remove one key", eachKey([](MutableSection, MutableKey k) {
         return k.Name() == "Dir" ? k.Remove() : Status();
       }),
       allKeys, kHead + "Version=1.0\n  ; the folder\nPath=a\nPath=b\n" + kTail},
      {"add keys to the section", eachKey([](MutableSection s, MutableKey k) {
         return s.Add(k.Name() == "Path" ? "PATH" : k.Name() + "2", "v");
       }),
       allKeys,
       kHead + "Version=1.0\n  ; the folder\n  Dir=\"C:\\x\"\nPath=a\nPath=b\nPath=v\nVersion2=v\n"
               "Dir2=v\n\n[Files]\nmain=app.exe\nmain2=v\n"},
      {"remove the keys ahead too", eachKey([](MutableSection s, MutableKey k) {
         Status status;
         if (k.Name() != "Version") return status;
         for (const char* name : {"Version", "Dir", "Path"}) status = s.FindKey(name)->Remove();
         return status;
       }),
       "Version;main;",
       "[$version 3, codepage 1200$]\n\n; tools\n[Registry]\n  ; the "
       "folder\n\n[Files]\nmain=app.exe\n"},
      {"remove the section, more to walk", eachKey([](MutableSection s, MutableKey k) {
         return k.Name() == "Version" ? s.Remove() : s.Add("Version", "again");
       }),
       "Version;main;",
       "[$version 3, codepage 1200$]\n\n; tools\n  ; the folder\n\n[Files]\nmain=app.exe\n"
       "Version=again\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    doc_ = QdsDocument();
    ASSERT_EQ(doc_.Load(file_, LoadFlags::KeepComments), LoadStatus::Ok);
    std::optional<MutableSection> files = doc_.FindSection("Files");
    std::string visited;
    c.walk(doc_, &visited);
    EXPECT_EQ(visited, c.visited);
    EXPECT_TRUE(doc_.Modified());
    EXPECT_EQ(Saved(), c.saved);
    EXPECT_EQ(files->Name(), "Files");  // views of what stays stay valid
  }

  // Setting the text a value has is no change.
  doc_ = QdsDocument();
  ASSERT_EQ(doc_.Load(file_, LoadFlags::KeepComments), LoadStatus::Ok);
  std::string visited;
  eachValue([](MutableKey, MutableValue v) { return v.Set(v.Text()); })(doc_, &visited);
  EXPECT_FALSE(doc_.Modified());

  // A view of what a view removed, or of what that held, and a view after a
  // change made by name, is stale: it reads as empty, its changes refused.
  std::optional<MutableKey> path = doc_.FindSection("Registry")->FindKey("Path");
  MutableValue value = *path->Values().begin();
  ASSERT_EQ(path->Remove(), Status());
  EXPECT_EQ(value.Text(), "");
  EXPECT_EQ(path->ValueCount(), 0u);
  EXPECT_EQ(value.Set("x"), LibraryStatus::StaleView);
  EXPECT_EQ(path->Add("x"), LibraryStatus::StaleView);
  std::optional<MutableSection> files = doc_.FindSection("Files");
  MutableValue main = *files->FindKey("main")->Values().begin();
  EXPECT_EQ(files->Add("k", " x"), LibraryStatus::InvalidValue);
  EXPECT_EQ(files->Add("k=", "x"), LibraryStatus::InvalidKey);
  EXPECT_EQ(files->KeyCount(), 1u);
  ASSERT_EQ(files->Remove(), Status());
  EXPECT_EQ(main.Text(), "");
  EXPECT_EQ(main.Remove(), LibraryStatus::StaleView);
  std::optional<MutableSection> registry = doc_.FindSection("Registry");
  ASSERT_EQ(doc_.RenameKey("Registry", "Dir", "D"), Status());
  EXPECT_EQ(registry->Remove(), LibraryStatus::StaleView);
  EXPECT_EQ(doc_.SectionCount(), 1u);
#ifndef NDEBUG
  // A walk that goes on after a change made by name stops a debug build.
  auto setByName = [&] {
    for (Section section : doc_.Sections()) {
      for (Key key : section.Keys()) static_cast<void>(doc_.Set(section.Name(), key.Name(), "x"));
    }
  };
  EXPECT_DEATH(setByName(), "other than through its views");
#endif
}

TEST_F(DocumentInterfaceTest, MovesKeepTheDocumentAndLeaveANewOne) {
  std::vector<QdsDocument> documents;
  documents.push_back(std::move(doc_));
  EXPECT_EQ(doc_.SectionCount(), 0u);
  EXPECT_EQ(doc_.FileName(), std::filesystem::path());
  EXPECT_EQ(doc_.Version(), 3);
  EXPECT_EQ(documents[0].SectionCount(), 2u);
  EXPECT_EQ(documents[0].FileName(), file_);
  ASSERT_EQ(doc_.Set("A", "k", "v"), Status());
  EXPECT_EQ(doc_.SectionCount(), 1u);
  // Views follow their document into the document it is moved to, whose
  // own views go stale.
  Value followed = *documents[0].FindSection("Files")->FindKey("main")->Values().begin();
  Value overwritten = *doc_.FindSection("A")->FindKey("k")->Values().begin();
  Section section = *doc_.Sections().begin();
  doc_ = std::move(documents[0]);
  SymbolTable table;
  std::string out;
  EXPECT_EQ(doc_.Expand(followed, table, &out), Status());
  EXPECT_EQ(out, "app.exe");
  EXPECT_EQ(doc_.Expand(overwritten, table, &out), LibraryStatus::StaleView);
  EXPECT_EQ(section.Name(), "");
  EXPECT_TRUE(section.Keys().empty());
  EXPECT_EQ(overwritten.Text(), "");
}

// The target of a merge borrows the compat document's texts, which must
// outlive the compat document itself.
TEST_F(DocumentInterfaceTest, AMergedTargetKeepsTheTextsOfACompatDocumentGone) {
  {
    QdsDocument compat;
    const char* text = "[$version 3, codepage 1200$]\n[Files]\nextra=tool.exe\n[New]\nk=v\n";
    ASSERT_EQ(compat.LoadBytes(test::Qds(ToUtf16(text))), Status());
    ASSERT_EQ(Merge(doc_, compat), Status());
  }
  EXPECT_EQ(Saved(), std::string(kScript) + "extra=tool.exe\n\n[New]\nk=v\n");
}

TEST_F(DocumentInterfaceTest, AnEditOfASignedFileTwiceGivesTheBytesOfOnce) {
  ASSERT_EQ(doc_.SaveTo(file_, SaveFlags::KeepComments | SaveFlags::Digest), Status());
  std::string once;
  for (int round = 0; round < 2; ++round) {
    QdsDocument signed_;
    ASSERT_EQ(signed_.Load(file_, LoadFlags::KeepComments | LoadFlags::Digest), Status());
    EXPECT_TRUE(signed_.HasDigest());
    EXPECT_TRUE(signed_.Unsign());
    EXPECT_FALSE(signed_.Unsign());
    ASSERT_EQ(signed_.Set("Registry", "Version", "2.0"), Status());
    ASSERT_EQ(signed_.Save(SaveFlags::KeepComments | SaveFlags::Digest), Status());
    if (round == 0) once = test::ReadBytes(file_);
  }
  EXPECT_EQ(test::ReadBytes(file_), once);
  QdsDocument unsigned_;
  ASSERT_EQ(unsigned_.Load(scratch_ / "app.qds"), Status());
  ASSERT_TRUE(unsigned_.HasDigest());
  EXPECT_FALSE(unsigned_.Unsign());  // without its comments, no line end to take back
}

}  // namespace
}  // namespace qds
