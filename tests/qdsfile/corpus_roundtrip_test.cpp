// Real-world INI-style files through load and save with comments kept.
//
// Each file is first made UTF-16 with CRLF line ends. A small line-by-line
// reading of the format's rules (independent of the loader's state machine)
// then says what the file must give, and every file falls in one class:
// - a "[" inside a header's brackets: the load fails at that header's line,
//   keeping the sections before it;
// - otherwise (loaded leniently when it has entries before any section or
//   keys without "="): it has no version section, so the saved text is the
//   version-1 header, a blank line, and the file's lines in written form;
//   loading and saving that again adds one blank line after the version
//   line; and with a version-2 header in place of those two lines, the text
//   comes back byte for byte.
// The reading here leaves out what the corpus does not hold: version and
// end-marker headers, empty-named sections, U+0000, U+001A and lone CRs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "common/utf8.h"
#include "support/qds_text.h"
#include "support/test_support.h"

namespace qds::test {
namespace {

namespace fs = std::filesystem;

// UTF-16 by its mark (either byte order); everything else as UTF-8, where
// bytes that are not UTF-8 survive as U+DC80..U+DCFF. Lone LFs become CRLF.
std::u16string CorpusText(std::string_view bytes) {
  std::u16string text;
  bool little = bytes.starts_with("\xFF\xFE");
  if (little || bytes.starts_with("\xFE\xFF")) {
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      unsigned char low = bytes[little ? i : i + 1];
      unsigned char high = bytes[little ? i + 1 : i];
      text.push_back(static_cast<char16_t>(low | high << 8));
    }
  } else {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    text = DecodeUtf8(bytes);
  }
  std::u16string crlf;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) crlf += u'\r';
    crlf += text[i];
  }
  return crlf;
}

// What the format's rules make of a text, read line by line.
struct Model {
  struct Value {
    std::u16string comment;
    std::u16string text;
  };
  struct Key {
    std::u16string name;
    std::vector<Value> values;
  };
  struct Section {
    std::u16string comment;
    std::u16string name;
    std::vector<Key> keys;
  };
  std::vector<Section> sections;
  std::u16string trailing;
  uint32_t errorLine = 0;    // a fault that a lenient load rejects too
  uint32_t lenientLine = 0;  // the first line that only a lenient load takes
};

// `text` without the white space at its end and, with `front`, at its start.
std::u16string_view Trimmed(std::u16string_view text, bool front) {
  size_t begin = 0;
  size_t end = text.size();
  while (end > 0 && IsWhiteSpace(text[end - 1])) --end;
  while (front && begin < end && IsWhiteSpace(text[begin])) ++begin;
  return text.substr(begin, end - begin);
}

// An entry line whose key starts at `first`; `ended` tells whether CRLF
// follows it.
void AddEntry(Model& model, std::u16string& pending, std::u16string_view row, size_t first,
              bool ended, uint32_t line) {
  pending += row.substr(0, first);
  if (model.sections.empty()) {
    model.lenientLine = model.lenientLine ? model.lenientLine : line;
    model.sections.emplace_back();
  }
  size_t equals = row.find(u'=', first);
  if (equals == std::u16string_view::npos && !model.lenientLine) model.lenientLine = line;
  // A last line without CRLF counts only with something after its "=".
  if (!ended && (equals == std::u16string_view::npos || equals + 1 == row.size())) return;
  std::u16string_view name = Trimmed(row.substr(first, equals - first), false);
  std::u16string value(equals == std::u16string_view::npos ? u"\n"
                                                           : Trimmed(row.substr(equals + 1), true));
  auto& keys = model.sections.back().keys;
  auto key = std::find_if(keys.begin(), keys.end(),
                          [&](const Model::Key& k) { return EqualsIgnoreAsciiCase(k.name, name); });
  if (key == keys.end()) key = keys.insert(keys.end(), {std::u16string(name), {}});
  key->values.push_back({std::move(pending), std::move(value)});
  pending.clear();
}

Model ReadModel(std::u16string_view text) {
  Model model;
  std::u16string pending;
  uint32_t line = 1;
  for (size_t pos = 0; pos < text.size(); ++line) {
    size_t end = std::min(text.find(u"\r\n", pos), text.size());
    bool ended = end < text.size();
    std::u16string_view row = text.substr(pos, end - pos);
    size_t next = ended ? end + 2 : end;
    size_t first = 0;
    while (first < row.size() && IsWhiteSpace(row[first])) ++first;
    if (!row.empty() && row[0] == u'[') {
      size_t close = text.find_first_of(u"[]", pos + 1);
      if (close == std::u16string_view::npos) break;  // an unclosed last header is dropped
      if (text[close] == u'[') {
        model.errorLine = line;
        return model;
      }
      model.sections.push_back(
          {std::move(pending), std::u16string(text.substr(pos + 1, close - pos - 1)), {}});
      pending.clear();
      next = std::min(text.find(u"\r\n", close), text.size());
      next += next < text.size() ? 2 : 0;
    } else if (first == row.size() || row[first] == u';') {
      pending += text.substr(pos, next - pos);
    } else if (row[first] == u'=') {
      model.errorLine = line;
      return model;
    } else {
      AddEntry(model, pending, row, first, ended, line);
    }
    pos = next;
  }
  model.trailing = pending;
  return model;
}

// The text that the writer puts after the version lines.
std::u16string WrittenBody(const Model& model) {
  std::u16string out;
  for (size_t i = 0; i < model.sections.size(); ++i) {
    const Model::Section& section = model.sections[i];
    out += !section.comment.empty() ? section.comment : i > 0 ? u"\r\n" : u"";
    if (!section.name.empty()) out += u"[" + section.name + u"]\r\n";
    for (const Model::Key& key : section.keys) {
      for (const Model::Value& value : key.values) {
        out += value.comment + key.name;
        if (value.text.empty() || value.text[0] != u'\n') out += u"=" + value.text;
        out += u"\r\n";
      }
    }
  }
  return out + model.trailing;
}

// The saved file as UTF-8 text, for readable differences.
std::string Text(std::string_view bytes) { return EncodeUtf8(FromUtf16Bytes(bytes)); }
std::string Text(std::u16string_view text) { return EncodeUtf8(std::u16string(u"\uFEFF").append(text)); }

void CheckFile(const fs::path& file, const fs::path& dir) {
  const std::u16string text = CorpusText(ReadBytes(file));
  const Model model = ReadModel(text);
  const uint32_t flags = KeepComments | (model.lenientLine ? Lenient : 0);
  const std::string bytes = Utf16Bytes(text, true);

  if (model.errorLine != 0) {
    DocumentModel doc;
    EXPECT_EQ(LoadBytes(doc, dir / "bad.qds", bytes, flags), LoadStatus::SyntaxError);
    EXPECT_EQ(doc.errorLine, model.errorLine);
    EXPECT_EQ(doc.sections.count(), model.sections.size());
    return;
  }
  if (model.lenientLine != 0) {
    DocumentModel strict;
    EXPECT_EQ(LoadBytes(strict, dir / "strict.qds", bytes, KeepComments), LoadStatus::SyntaxError);
    EXPECT_EQ(strict.errorLine, model.lenientLine);
  }
  const std::u16string body = WrittenBody(model);
  const std::u16string versionOne = u"[$version 1$]\r\n\r\n";
  const std::string once = RoundTrip(dir, bytes, flags);
  EXPECT_EQ(Text(once), Text(versionOne + body));
  EXPECT_EQ(Text(RoundTrip(dir, once, flags)), Text(versionOne + u"\r\n" + body));
  const std::u16string versionTwo = u"[$version 2$]\r\n" + body;
  EXPECT_EQ(Text(RoundTrip(dir, Utf16Bytes(versionTwo, true), flags)), Text(versionTwo));
}

TEST(CorpusRoundTripTest, EveryFileComesBackAsTheFormatRulesSay) {
  const fs::path corpus = SourceFile("../shared/corpus");
  if (!fs::is_directory(corpus)) {
    const char* ci = std::getenv("CI");
    if (ci != nullptr && std::string_view(ci) == "true") {
      FAIL() << "the corpus is missing at " << corpus;
    }
    GTEST_SKIP() << "no corpus at " << corpus << ": the round trip of real files is not tested";
  }
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name != "SOURCES.md" && !name.starts_with(".")) {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());
  ScratchDir dir;
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    CheckFile(file, dir.path());
  }
}

}  // namespace
}  // namespace qds::test
