// The const reads of one document, and of one symbol table, shared by
// threads: every thread reads everything, in an order of its own, while the
// others do, and gets what one thread alone gets. The reads meet in the
// caches that they fill and move (name indexes built by the first search of
// a long list, position cursors): CI runs this test under ThreadSanitizer.

#include <gtest/gtest.h>
#include <qds/qds.h>

#include <cstddef>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qds {
namespace {

constexpr size_t kSections = 24;
constexpr size_t kKeys = 20;  // past the length from which a list is indexed
constexpr LoadFlags kLoad = LoadFlags::KeepComments | LoadFlags::KeepLayout;

// Sections of many keys, each key of one to four values (a cursor is used
// from three), with comments and quoted values.
std::string Script() {
  std::string text = "[$version 3, codepage 1252$]\r\n";
  for (size_t s = 0; s < kSections; ++s) {
    text += "; section " + std::to_string(s) + "\r\n[Part" + std::to_string(s) + "]\r\n";
    for (size_t k = 0; k < kKeys; ++k) {
      for (size_t v = 0; v <= (s + k) % 4; ++v) {
        if (v == 1) text += "  ; note\r\n";
        text += "Key" + std::to_string(k) + "=\"" + std::to_string(s * 100 + k) + "." +
                std::to_string(v) + "\"\r\n";
      }
    }
  }
  return text;
}

// Everything that the reads of one section give, the values of each key
// read by index backward when `backward`.
std::string ReadSection(const QdsDocument& doc, const std::string& name, bool backward) {
  std::optional<Section> section = doc.FindSection(name);
  if (!section) return "missing " + name;
  std::string out = section->Name() + section->Comment() + std::to_string(section->KeyCount()) +
                    "/" + std::to_string(section->EntryCount()) + ":";
  for (Key key : section->Keys()) {
    const std::string keyName = key.Name();
    std::optional<Key> found = section->FindKey(keyName);
    out += found ? found->Name() + "#" + std::to_string(found->ValueCount()) : "lost";
    const size_t count = key.ValueCount();
    std::vector<std::string> byIndex(count + 1);
    for (size_t n = 0; n <= count; ++n) {
      const size_t index = backward ? count - n : n;  // the last one is past the end
      std::string text;
      byIndex[index] = doc.Get(name, keyName, index, &text).Text() + text;
    }
    std::vector<std::string> all;
    out += doc.GetAll(name, keyName, &all).Text();
    for (const std::string& text : all) out += "|" + text;
    for (const std::string& text : byIndex) out += "|" + text;
    for (Value value : key.Values()) {
      out +=
          "|" + value.Text() + value.Unquoted() + value.Comment() + (value.IsBareKey() ? "!" : "");
    }
  }
  return out + (section->FindKey("absent") ? "found absent" : "") + "\n";
}

// Everything that the const reads of `doc` give, the sections read from
// `turn` on, and every other turn backward, so that threads meet the caches
// in different places.
std::string ReadEverything(const QdsDocument& doc, const SymbolTable& table, size_t turn) {
  std::vector<std::string> names;
  for (Section section : doc.Sections()) names.push_back(section.Name());
  std::vector<std::string> parts(names.size());
  for (size_t n = 0; n < names.size(); ++n) {
    const size_t at = (n + turn) % names.size();
    parts[at] = ReadSection(doc, names[at], turn % 2 == 1);
  }
  std::string out = std::to_string(doc.SectionCount()) + std::to_string(doc.GetSectionCount()) +
                    std::to_string(doc.Version()) + doc.LeadingText() + doc.TrailingText() +
                    (doc.Modified() ? "modified" : "") + (doc.FindSection("absent") ? "!" : "");
  for (const std::string& part : parts) out += part;
  std::string bytes;
  out += doc.Write(&bytes, SaveFlags::KeepComments).Text() + bytes;
  bytes.clear();
  out += doc.Write(&bytes, SaveFlags::KeepLayout).Text() + bytes;
  std::vector<std::string> values(kKeys + 1, "-");
  for (size_t n = 0; n <= kKeys; ++n) {
    const size_t at = (n + turn) % (kKeys + 1);  // the last name is absent
    table.Get("name" + std::to_string(at), &values[at]);
  }
  for (const std::string& value : values) out += value + ",";
  return out + std::to_string(table.Count());
}

TEST(SharedReads, ThreadsReadingOneDocumentEachReadWhatOneThreadReads) {
  const std::string script = Script();
  SymbolTable table;
  for (size_t n = 0; n < kKeys; ++n) table.Set("name" + std::to_string(n), std::to_string(n));
  // Read alone, from a document of its own: the shared one's caches are
  // still to be made when the threads start.
  QdsDocument alone;
  ASSERT_EQ(alone.LoadBytes(script, kLoad), LoadStatus::Ok);
  std::vector<std::string> expected;
  for (size_t turn = 0; turn < 2; ++turn) expected.push_back(ReadEverything(alone, table, turn));
  EXPECT_EQ(expected[0], expected[1]);

  QdsDocument loaded;
  ASSERT_EQ(loaded.LoadBytes(script, kLoad), LoadStatus::Ok);
  const QdsDocument& shared = loaded;
  constexpr size_t kThreads = 4;
  std::vector<std::string> read(kThreads);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (size_t round = 0; round < 3; ++round) {
        std::string once = ReadEverything(shared, table, t + round);
        if (read[t].empty() || once != expected[0]) read[t] = once;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (size_t t = 0; t < kThreads; ++t) EXPECT_TRUE(read[t] == expected[0]) << "thread " << t;
}

}  // namespace
}  // namespace qds
