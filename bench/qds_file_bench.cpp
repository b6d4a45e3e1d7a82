// Throughput of loading and saving a large QDS file (100 MB of UTF-16 text
// unless --size_mb=N says otherwise), generated at start in a temporary
// folder and removed at the end.
//
//   build/bench/qds_file_bench [--size_mb=N] [--benchmark_filter=...]
//
// Rates are in bytes of the file per second of wall time (the disk included).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/block_pool.h"
#include "model/document_model.h"
#include "platform/memory.h"
#include "qdsfile/qds_loader.h"
#include "qdsfile/qds_saver.h"

namespace {

namespace fs = std::filesystem;

struct BenchFiles {
  size_t wantedBytes = 100u << 20;
  fs::path folder;
  std::u16string input;   // the generated file
  std::u16string output;  // where saves go
  size_t bytes = 0;
};

BenchFiles& Files() {
  static BenchFiles files;
  return files;
}

std::u16string Wide(const fs::path& path) {
  std::string narrow = path.string();  // the temporary folder's path is ASCII
  return std::u16string(narrow.begin(), narrow.end());
}

void AppendAscii(std::u16string* out, const std::string& text) {
  out->append(text.begin(), text.end());
}

// Sections of 50 entries with comments, values of varied length: the shape
// of a large package script. Written in pieces of about 1 MB.
size_t Generate(const fs::path& path, size_t wanted) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::u16string text = u"\xFEFF; generated for the benchmark\r\n[$version 3, codepage 1200$]\r\n";
  size_t written = 0;
  for (int section = 0; written + text.size() * 2 < wanted; ++section) {
    AppendAscii(&text, "\r\n; section " + std::to_string(section) + "\r\n[Section" +
                           std::to_string(section) + "]\r\n");
    for (int entry = 0; entry < 50; ++entry) {
      if (entry % 10 == 0) AppendAscii(&text, "; a comment line before the entry\r\n");
      AppendAscii(&text, "Key" + std::to_string(entry % 40) + "=" +
                             std::string(20 + (section * 7 + entry * 13) % 60, 'v') + " " +
                             std::to_string(entry) + "\r\n");
    }
    if (text.size() > (1u << 19)) {
      written += std::fwrite(text.data(), 2, text.size(), file) * 2;
      text.clear();
    }
  }
  written += std::fwrite(text.data(), 2, text.size(), file) * 2;
  std::fclose(file);
  return written;
}

void BM_Load(benchmark::State& state) {
  for (auto _ : state) {
    qds::DocumentModel document;
    if (LoadDocument(&document, Files().input.c_str(), qds::KeepComments) != qds::LoadStatus::Ok) {
      state.SkipWithError("load failed");
      break;
    }
    benchmark::DoNotOptimize(document.GetSectionCount());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Files().bytes));
}

void BM_Save(benchmark::State& state) {
  const uint32_t flags = static_cast<uint32_t>(state.range(0));
  qds::DocumentModel document;
  if (LoadDocument(&document, Files().input.c_str(), qds::KeepComments) != qds::LoadStatus::Ok) {
    state.SkipWithError("load failed");
    return;
  }
  for (auto _ : state) {
    if (SaveDocument(&document, Files().output.c_str(), flags) != qds::SaveStatus::Ok) {
      state.SkipWithError("save failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Files().bytes));
}

void BM_LoadAndSave(benchmark::State& state) {
  for (auto _ : state) {
    qds::DocumentModel document;
    if (LoadDocument(&document, Files().input.c_str(), qds::KeepComments) != qds::LoadStatus::Ok ||
        SaveDocument(&document, Files().output.c_str(), qds::KeepComments) != qds::SaveStatus::Ok) {
      state.SkipWithError("load or save failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Files().bytes));
}

BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Save)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Arg(qds::KeepComments)
    ->Arg(qds::KeepComments | qds::Digest);
BENCHMARK(BM_LoadAndSave)->Unit(benchmark::kMillisecond)->UseRealTime();

// Takes --size_mb=N out of the arguments.
void TakeSizeFlag(int* argc, char** argv) {
  constexpr const char kFlag[] = "--size_mb=";
  int kept = 0;
  for (int i = 0; i < *argc; ++i) {
    if (std::strncmp(argv[i], kFlag, sizeof kFlag - 1) == 0) {
      Files().wantedBytes = std::strtoull(argv[i] + sizeof kFlag - 1, nullptr, 10) << 20;
    } else {
      argv[kept++] = argv[i];
    }
  }
  *argc = kept;
}

}  // namespace

int main(int argc, char** argv) {
  qds::SetChunkSource(qds::platform::AllocatePages);  // as the tool does
  TakeSizeFlag(&argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  BenchFiles& files = Files();
  files.folder = fs::temp_directory_path() / ("knitfold-bench-" + std::to_string(getpid()));
  fs::create_directories(files.folder);
  files.input = Wide(files.folder / "large.qds");
  files.output = Wide(files.folder / "saved.qds");
  files.bytes = Generate(files.folder / "large.qds", files.wantedBytes);
  if (files.bytes == 0) {
    std::fprintf(stderr, "cannot write the test file in %s\n", files.folder.c_str());
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(files.folder);
  return 0;
}
