// The document operations of a merge on documents in memory: passes that
// read every entry, SetEntry appends, and the merge of two documents. Each
// runs on three shapes, which put the length of a document on its sections,
// on the keys of one section or on the values of one key, at sizes ten times
// apart, so that the rates show whether the cost per entry stays flat as
// every kind of list grows (the smoke run checks it with bench/growth).
//
//   build/bench/document_bench [--benchmark_filter=...]

#include <benchmark/benchmark.h>

#include <string>

#include "common/block_pool.h"
#include "model/document_merge.h"
#include "model/document_model.h"
#include "platform/memory.h"

namespace {

enum Shape : int64_t { kSections, kKeys, kValues };

std::u16string Numbered(const char* prefix, int64_t n) {
  std::string text = prefix + std::to_string(n);
  return std::u16string(text.begin(), text.end());
}

const char16_t kValue[] = u"C:\\Program Files\\Vendor\\Product\\bin\\module.dll,1,0x0001";

// Entries first to first + count - 1 of a document of `shape`: entry i is
// the one entry of section i, the one value of key i of one section, or
// value i of one key.
void Fill(qds::DocumentModel* document, int64_t shape, int64_t first, int64_t count) {
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
        read(document.GetEntry(section, e, key, &keyLength, value, &valueLength, 0));
      }
    }
    for (uint32_t s = document.GetSectionCount(); s-- > 0;) {
      for (uint32_t e = document.CountEntriesAt(s, nullptr); e-- > 0;) {
        uint32_t keyLength = 260;
        uint32_t valueLength = 260;
        read(document.GetEntryAt(s, e, key, &keyLength, value, &valueLength, 0));
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

void EveryShape(benchmark::internal::Benchmark* benchmark) {
  benchmark->ArgNames({"shape", "n"})->Unit(benchmark::kMillisecond);
  for (int64_t shape : {kSections, kKeys, kValues}) {
    for (int64_t n = 1000; n <= 1000000; n *= 10) benchmark->Args({shape, n});
  }
}

BENCHMARK(BM_ReadPass)->Apply(EveryShape);
BENCHMARK(BM_SetEntryAppend)->Apply(EveryShape);
BENCHMARK(BM_MergeDocuments)->Apply(EveryShape);

}  // namespace

int main(int argc, char** argv) {
  qds::SetChunkSource(qds::platform::AllocatePages);  // as the tool does
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
