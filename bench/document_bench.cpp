// The document operations of a merge on documents in memory: passes that
// read every entry, SetEntry appends, the merge of two documents, a pass
// of the library's edits over every entry, and walks of the views that read
// and change every entry. Each runs on three shapes, which put the length
// of a document on its sections, on the keys of one section or on the
// values of one key, at sizes ten times apart, so that the rates show
// whether the cost per entry stays flat as every kind of list grows (the
// smoke run checks it with bench/growth). Last, a layout-keeping edit of a
// file in memory, in the shape that would show quadratic work, at sizes ten
// times apart too.
//
//   build/bench/document_bench [--benchmark_filter=...]

#include <benchmark/benchmark.h>
#include <qds/qds.h>

#include <string>

#include "model/document_merge.h"
#include "model/document_model.h"

namespace {

enum Shape : int64_t { kSections, kKeys, kValues };

std::u16string Numbered(const char* prefix, int64_t n) {
  std::string text = prefix + std::to_string(n);
  return std::u16string(text.begin(), text.end());
}

const char16_t kValue[] = u"C:\\Program Files\\Vendor\\Product\\bin\\module.dll,1,0x0001";

// Entries first to first + count - 1 of a document of `shape`: entry i is
// the one entry of section i, the one value of key i of one section, or
// value i of one key. A DocumentModel or a QdsDocument.
template <class Document>
void Fill(Document* document, int64_t shape, int64_t first, int64_t count) {
  for (int64_t i = first; i < first + count; ++i) {
    std::u16string section = shape == kSections ? Numbered("Section", i) : u"Files";
    std::u16string key = shape == kKeys ? Numbered("File", i) : u"File";
    document->SetEntry(section.c_str(), key.c_str(), qds::kAppendPosition, kValue);
  }
}

// Every entry read twice, as callers that walk a whole document read them:
// forward by section name, then backward by section position. Each read
// reaches its section again and its key and value one step from the last.
void BM_ReadPass(benchmark::State& state) {
  qds::DocumentModel document;
  Fill(&document, state.range(0), 0, state.range(1));
  char16_t section[260];
  char16_t key[260];
  char16_t value[260];
  auto read = [&](qds::ReadStatus status) {
    benchmark::DoNotOptimize(status);
    benchmark::DoNotOptimize(value[0]);
  };
  for (auto _ : state) {
    for (uint32_t s = 0; s < document.GetSectionCount(); ++s) {
      uint32_t sectionLength = 260;
      read(document.GetSectionName(s, section, &sectionLength));
      uint32_t entries = document.CountEntries(section, nullptr);
      for (uint32_t e = 0; e < entries; ++e) {
        uint32_t keyLength = 260;
        uint32_t valueLength = 260;
        read(document.GetEntry(section, e, key, &keyLength, value, &valueLength,
                               qds::ReadFlags::None));
      }
    }
    for (uint32_t s = document.GetSectionCount(); s-- > 0;) {
      for (uint32_t e = document.CountEntriesAt(s, nullptr); e-- > 0;) {
        uint32_t keyLength = 260;
        uint32_t valueLength = 260;
        read(document.GetEntryAt(s, e, key, &keyLength, value, &valueLength, qds::ReadFlags::None));
      }
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 2 * state.range(1));
}

// A document made entry by entry, each entry appended, and destroyed.
void BM_SetEntryAppend(benchmark::State& state) {
  for (auto _ : state) {
    qds::DocumentModel document;
    Fill(&document, state.range(0), 0, state.range(1));
    benchmark::DoNotOptimize(document.GetSectionCount());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(1));
}

// A compat document of as many entries as the target, half of them where
// the target has entries already and half new, merged in memory.
void BM_MergeDocuments(benchmark::State& state) {
  const int64_t entries = state.range(1);
  for (auto _ : state) {
    state.PauseTiming();
    qds::DocumentModel target;
    qds::DocumentModel compat;
    Fill(&target, state.range(0), 0, entries);
    Fill(&compat, state.range(0), entries / 2, entries);
    state.ResumeTiming();
    qds::MergeDocuments(&compat, &target);
    benchmark::DoNotOptimize(target.GetSectionCount());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * entries);
}

// Every entry of a document, in order, through the library's calls by name
// and position: its value replaced (SetEntry at its position) and read
// (Get), its key renamed, then every other value removed. Each call finds
// its place from where the last one left off, whatever the shape.
void BM_EditPass(benchmark::State& state) {
  const int64_t shape = state.range(0);
  const int64_t entries = state.range(1);
  auto place = [shape](int64_t i) {
    struct {
      std::u16string section, key;
      uint32_t position;
    } at{shape == kSections ? Numbered("Section", i) : u"Files",
         shape == kKeys ? Numbered("File", i) : u"File",
         static_cast<uint32_t>(shape == kValues ? i : 0)};
    return at;
  };
  std::u16string text;
  for (auto _ : state) {
    state.PauseTiming();
    qds::QdsDocument document;
    for (int64_t i = 0; i < entries; ++i) {
      auto at = place(i);
      document.SetEntry(at.section.c_str(), at.key.c_str(), qds::kAppendPosition, kValue);
    }
    state.ResumeTiming();
    for (int64_t i = 0; i < entries; ++i) {
      auto at = place(i);
      document.SetEntry(at.section.c_str(), at.key.c_str(), at.position, u"changed");
      benchmark::DoNotOptimize(document.Get(at.section, at.key, at.position, &text));
    }
    for (int64_t i = 0; i < entries; i += shape == kValues ? entries : 1) {
      auto at = place(i);
      benchmark::DoNotOptimize(document.RenameKey(at.section, at.key, at.key + u"+"));
    }
    // The values shape removes every other value of its key; the others,
    // every other key with its one value.
    for (int64_t i = 0; i < entries / 2; ++i) {
      auto at = place(shape == kValues ? 0 : 2 * i);
      size_t index = shape == kValues ? static_cast<size_t>(i) : 0;
      benchmark::DoNotOptimize(document.RemoveValue(at.section, at.key + u"+", index));
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * entries);
}

// Every value of a document read through a walk of its views.
void BM_ViewWalk(benchmark::State& state) {
  qds::QdsDocument document;
  Fill(&document, state.range(0), 0, state.range(1));
  const qds::QdsDocument& reader = document;
  for (auto _ : state) {
    for (qds::Section section : reader.Sections()) {
      for (qds::Key key : section.Keys()) {
        for (qds::Value value : key.Values()) benchmark::DoNotOptimize(value.Text16());
      }
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(1));
}

// A walk that changes through its views: every value set in place, and
// every other one removed.
void BM_ViewEditWalk(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    qds::QdsDocument document;
    Fill(&document, state.range(0), 0, state.range(1));
    state.ResumeTiming();
    bool remove = false;
    for (qds::MutableSection section : document.Sections()) {
      for (qds::MutableKey key : section.Keys()) {
        for (qds::MutableValue value : key.Values()) {
          benchmark::DoNotOptimize(value.Set(u"changed"));
          if ((remove = !remove)) benchmark::DoNotOptimize(value.Remove());
        }
      }
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(1));
}

// A layout-keeping edit, as qdstool makes one, of a file of `lines` entries
// before its one header: loaded, given a new section for every fourth
// line, and written again. A lenient load reads those entries as a section
// without a name, whose place the writer finds by the first header. Found
// once, the edit is linear; found for each new section, as a first version
// did, it is quadratic, which this shape makes plain: twenty times as long
// at 100,000 lines, and 70 times as long as at 10,000.
void BM_NewSectionsAfterLooseEntries(benchmark::State& state) {
  const int64_t lines = state.range(0);
  std::string bytes;
  for (int64_t i = 0; i < lines; ++i) bytes += "Loose" + std::to_string(i) + "=value\r\n";
  bytes += "[Section]\r\nKey=value\r\n";
  constexpr auto kLoad =
      qds::LoadFlags::KeepComments | qds::LoadFlags::Lenient | qds::LoadFlags::KeepLayout;
  std::string written;
  for (auto _ : state) {
    qds::QdsDocument document;
    written.clear();
    if (!document.LoadBytes(bytes, kLoad).Ok()) {
      state.SkipWithError("load failed");
      break;
    }
    for (int64_t s = 0; s < lines / 4; ++s) {
      benchmark::DoNotOptimize(document.Set("New" + std::to_string(s), "Key", "new"));
    }
    if (!document.Write(&written, qds::SaveFlags::KeepComments | qds::SaveFlags::KeepLayout).Ok()) {
      state.SkipWithError("write failed");
      break;
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * lines);
}

void EveryShape(benchmark::internal::Benchmark* benchmark) {
  benchmark->ArgNames({"shape", "n"})->Unit(benchmark::kMillisecond);
  for (int64_t shape : {kSections, kKeys, kValues}) {
    for (int64_t n = 1000; n <= 1000000; n *= 10) benchmark->Args({shape, n});
  }
}

BENCHMARK(BM_ReadPass)->Apply(EveryShape);
BENCHMARK(BM_SetEntryAppend)->Apply(EveryShape);
BENCHMARK(BM_MergeDocuments)->Apply(EveryShape);
BENCHMARK(BM_EditPass)->Apply(EveryShape);
BENCHMARK(BM_ViewWalk)->Apply(EveryShape);
BENCHMARK(BM_ViewEditWalk)->Apply(EveryShape);
BENCHMARK(BM_NewSectionsAfterLooseEntries)
    ->ArgName("lines")
    ->RangeMultiplier(10)
    ->Range(10000, 1000000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
