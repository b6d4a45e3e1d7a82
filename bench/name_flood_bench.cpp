// Loads and merges of many names that collide under the name index's former
// hash (colliding_names.h), against as many names of the same shape drawn at
// random: the keys of one section, or the names of as many sections. Under
// a keyed hash the two kinds cost about the same and grow with their count;
// the smoke run checks with bench/growth that colliding names stay linear.
//
//   build/bench/name_flood_bench [--benchmark_filter=...]
//
// Arguments: shape (0: keys of one section, 1: sections), kind (0:
// colliding, 1: random), n (the names of each document).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>

#include "colliding_names.h"
#include "model/document_merge.h"
#include "model/document_model.h"
#include "qdsfile/qds_loader.h"

namespace {

namespace fs = std::filesystem;

enum Shape : int { kKeys = 0, kSections = 1 };

fs::path Folder() {
  static const fs::path folder =
      fs::temp_directory_path() / ("knitfold-names-" + std::to_string(getpid()));
  return folder;
}

// A UTF-16 file of `n` names of `kind`, the first `skip` left out, written
// at the first use of each; its path.
std::u16string FileOf(int shape, int kind, size_t skip, size_t n) {
  static std::map<std::tuple<int, int, size_t, size_t>, std::u16string> files;
  std::u16string& path = files[{shape, kind, skip, n}];
  if (!path.empty()) return path;
  std::u16string text = u"\xFEFF[$version 3, codepage 1200$]\r\n";
  if (shape == kKeys) text += u"[Names]\r\n";
  for (const std::u16string& name : bench::MakeNames(static_cast<bench::NameKind>(kind), skip, n)) {
    text += shape == kKeys ? name + u"=v\r\n" : u"[" + name + u"]\r\nk=v\r\n";
  }
  fs::create_directories(Folder());
  const std::string narrow =
      (Folder() / ("names" + std::to_string(files.size()) + ".qds")).string();
  std::FILE* file = std::fopen(narrow.c_str(), "wb");
  if (file == nullptr) return path;
  bool written = std::fwrite(text.data(), 2, text.size(), file) == text.size();
  if (std::fclose(file) == 0 && written) path.assign(narrow.begin(), narrow.end());
  return path;
}

bool Load(qds::DocumentModel* document, const std::u16string& path) {
  return !path.empty() &&
         LoadDocument(document, path.c_str(), qds::LoadFlags::None) == qds::LoadStatus::Ok;
}

void BM_Load(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(2));
  const std::u16string path = FileOf(state.range(0), state.range(1), 0, n);
  for (auto _ : state) {
    qds::DocumentModel document;
    if (!Load(&document, path)) return state.SkipWithError("load failed");
    benchmark::DoNotOptimize(document.GetSectionCount());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n));
}

// A compat document of n names merged into a target of n others of the
// same kind: every name searched for among the target's, and added.
void BM_Merge(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(2));
  const std::u16string targetPath = FileOf(state.range(0), state.range(1), 0, n);
  const std::u16string compatPath = FileOf(state.range(0), state.range(1), n, n);
  for (auto _ : state) {
    state.PauseTiming();
    qds::DocumentModel target;
    qds::DocumentModel compat;
    if (!Load(&target, targetPath) || !Load(&compat, compatPath)) {
      return state.SkipWithError("load failed");
    }
    state.ResumeTiming();
    qds::MergeDocuments(&compat, &target);
    benchmark::DoNotOptimize(target.GetSectionCount());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n));
}

void EveryCase(benchmark::internal::Benchmark* benchmark) {
  benchmark->ArgNames({"shape", "kind", "n"})
      ->ArgsProduct({{kKeys, kSections},
                     {bench::kColliding, bench::kRandom},
                     {2000, 10000, 20000, 40000, 160000}})
      ->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Load)->Apply(EveryCase);
BENCHMARK(BM_Merge)->Apply(EveryCase);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(Folder());
  return 0;
}
