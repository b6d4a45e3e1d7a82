// The document operations of a merge on documents in memory: a GetEntry
// pass over a large section, SetEntry appends, and the merge of two loaded
// documents. Each runs at several sizes, so that the rates show whether the
// cost per entry stays flat as the section grows.
//
//   build/bench/document_bench [--benchmark_filter=...]

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "common/block_pool.h"
#include "model/document_merge.h"
#include "model/document_model.h"
#include "platform/memory.h"

namespace {

std::u16string Numbered(const char* prefix, int64_t n) {
  std::string text = prefix + std::to_string(n);
  return std::u16string(text.begin(), text.end());
}

const char16_t kValue[] = u"C:\\Program Files\\Vendor\\Product\\bin\\module.dll,1,0x0001";

// One section of `keys` distinct keys with `valuesPerKey` values each.
void Fill(qds::DocumentModel* document, const char16_t* section, const char* keyPrefix,
          int64_t keys, int valuesPerKey) {
  for (int64_t k = 0; k < keys; ++k) {
    std::u16string key = Numbered(keyPrefix, k);
    for (int v = 0; v < valuesPerKey; ++v) {
      document->SetEntry(section, key.c_str(), qds::kAppendPosition, kValue);
    }
  }
}

void BM_GetEntryPass(benchmark::State& state) {
  qds::DocumentModel document;
  Fill(&document, u"Files", "File", state.range(0), 2);
  uint32_t entries = document.CountEntries(u"Files", nullptr);
  char16_t key[260];
  char16_t value[260];
  for (auto _ : state) {
    for (uint32_t i = 0; i < entries; ++i) {
      uint32_t keyLength = 260;
      uint32_t valueLength = 260;
      benchmark::DoNotOptimize(
          document.GetEntry(u"Files", i, key, &keyLength, value, &valueLength, 0));
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * entries);
}

void BM_SetEntryAppend(benchmark::State& state) {
  std::vector<std::u16string> keys;
  for (int64_t k = 0; k < state.range(0); ++k) keys.push_back(Numbered("File", k));
  for (auto _ : state) {
    qds::DocumentModel document;
    for (const std::u16string& key : keys) {
      document.SetEntry(u"Files", key.c_str(), qds::kAppendPosition, kValue);
    }
    benchmark::DoNotOptimize(document.GetSectionCount());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// A compat document of as many entries as the target, half of its keys new
// to the target's section, merged in memory.
void BM_MergeDocuments(benchmark::State& state) {
  const int64_t keys = state.range(0);
  for (auto _ : state) {
    state.PauseTiming();
    qds::DocumentModel target;
    qds::DocumentModel compat;
    Fill(&target, u"Files", "File", keys, 1);
    Fill(&compat, u"files", "file", keys / 2, 1);
    Fill(&compat, u"files", "NewFile", keys / 2, 1);
    state.ResumeTiming();
    qds::MergeDocuments(&compat, &target);
    benchmark::DoNotOptimize(target.GetSectionCount());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * keys);
}

BENCHMARK(BM_GetEntryPass)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SetEntryAppend)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeDocuments)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qds::SetChunkSource(qds::platform::AllocatePages);  // as the tool does
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
