// Throughput of loading and saving large QDS files: 100 MB of UTF-16 text
// unless --size_mb=N[,N...] asks for other sizes (the smoke run asks for 1
// and 10, so that bench/growth can check that the time grows with the file
// and no faster), each generated at start in a temporary folder and removed
// at the end; sections of a package script, or with --shape=wide one
// section of very many indented keys.
//
//   build/bench/qds_file_bench [--size_mb=N[,N...]] [--shape=wide] [--benchmark_filter=...]
//
// Rates are in bytes of the file per second of wall time (the disk included).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "model/document_model.h"
#include "qdsfile/qds_loader.h"
#include "qdsfile/qds_saver.h"

namespace {

namespace fs = std::filesystem;

struct BenchFile {
  std::u16string input;   // the generated file
  std::u16string output;  // where saves go
  size_t bytes = 0;
};

// The generated files by their size in MB.
std::map<int64_t, BenchFile>& Files() {
  static std::map<int64_t, BenchFile> files;
  return files;
}

std::u16string Wide(const fs::path& path) {
  std::string narrow = path.string();  // the temporary folder's path is ASCII
  return std::u16string(narrow.begin(), narrow.end());
}

void AppendAscii(std::u16string* out, const std::string& text) {
  out->append(text.begin(), text.end());
}

// One piece of a generated file, the n-th: the text it appends.
using Piece = void (*)(std::u16string* text, int n);

// The default shape, a large package script: sections of 50 entries with
// comments, values of varied length.
void SectionPiece(std::u16string* text, int section) {
  AppendAscii(text, "\r\n; section " + std::to_string(section) + "\r\n[Section" +
                        std::to_string(section) + "]\r\n");
  for (int entry = 0; entry < 50; ++entry) {
    if (entry % 10 == 0) AppendAscii(text, "; a comment line before the entry\r\n");
    AppendAscii(text, "Key" + std::to_string(entry % 40) + "=" +
                          std::string(20 + (section * 7 + entry * 13) % 60, 'v') + " " +
                          std::to_string(entry) + "\r\n");
  }
}

// --shape=wide: one section of indented entries with distinct keys, a
// comment line before every fifty (the header comes with the first).
void WidePiece(std::u16string* text, int block) {
  if (block == 0) AppendAscii(text, "[Files]\r\n");
  AppendAscii(text, "; block " + std::to_string(block) + "\r\n");
  char line[96];
  for (int n = block * 50; n < block * 50 + 50; ++n) {
    std::snprintf(line, sizeof line, "  FileT%08d=C:\\Program Files\\App\\file%d.dll\r\n", n, n);
    AppendAscii(text, line);
  }
}

// Writes pieces after the version section until the file has about
// `wanted` bytes, in writes of about 1 MB.
size_t Generate(const fs::path& path, size_t wanted, Piece piece) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::u16string text = u"\xFEFF; generated for the benchmark\r\n[$version 3, codepage 1200$]\r\n";
  size_t written = 0;
  for (int n = 0; written + text.size() * 2 < wanted; ++n) {
    piece(&text, n);
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
  const BenchFile& file = Files().at(state.range(0));
  for (auto _ : state) {
    qds::DocumentModel document;
    if (LoadDocument(&document, file.input.c_str(), qds::LoadFlags::KeepComments) !=
        qds::LoadStatus::Ok) {
      state.SkipWithError("load failed");
      break;
    }
    benchmark::DoNotOptimize(document.GetSectionCount());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes));
}

void BM_Save(benchmark::State& state) {
  const BenchFile& file = Files().at(state.range(1));
  const auto flags = static_cast<qds::SaveFlags>(state.range(0));
  qds::DocumentModel document;
  if (LoadDocument(&document, file.input.c_str(), qds::LoadFlags::KeepComments) !=
      qds::LoadStatus::Ok) {
    state.SkipWithError("load failed");
    return;
  }
  for (auto _ : state) {
    if (SaveDocument(&document, file.output.c_str(), flags) != qds::SaveStatus::Ok) {
      state.SkipWithError("save failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes));
}

// The load's flags are the first argument, the bits of LoadFlags and InputFlags in one
// number (they do not overlap): the file read, or mapped as knitfold loads it.
void BM_LoadAndSave(benchmark::State& state) {
  const BenchFile& file = Files().at(state.range(1));
  const auto bits = static_cast<uint32_t>(state.range(0));
  for (auto _ : state) {
    qds::DocumentModel document;
    if (LoadDocument(&document, file.input.c_str(), static_cast<qds::LoadFlags>(bits),
                     static_cast<qds::InputFlags>(bits)) != qds::LoadStatus::Ok ||
        SaveDocument(&document, file.output.c_str(), qds::SaveFlags::KeepComments) !=
            qds::SaveStatus::Ok) {
      state.SkipWithError("load or save failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes));
}

// A flag set as a benchmark's argument.
template <class Flags>
int64_t Bits(Flags flags) {
  return static_cast<int64_t>(flags);
}

// The benchmarks at each size, the size their last argument.
void Register(int64_t mb) {
  benchmark::internal::Benchmark* registered[] = {
      benchmark::RegisterBenchmark("BM_Load", BM_Load)->ArgName("mb")->Arg(mb),
      benchmark::RegisterBenchmark("BM_Save", BM_Save)
          ->ArgNames({"flags", "mb"})
          ->Args({Bits(qds::SaveFlags::KeepComments), mb})
          ->Args({Bits(qds::SaveFlags::KeepComments | qds::SaveFlags::Digest), mb}),
      benchmark::RegisterBenchmark("BM_LoadAndSave", BM_LoadAndSave)
          ->ArgNames({"flags", "mb"})
          ->Args({Bits(qds::LoadFlags::KeepComments), mb})
          ->Args({Bits(qds::LoadFlags::KeepComments) | Bits(qds::InputFlags::MapInput), mb}),
  };
  for (benchmark::internal::Benchmark* each : registered) {
    each->Unit(benchmark::kMillisecond)->UseRealTime();
  }
}

// Takes --size_mb=N[,N...] and --shape=wide out of the arguments.
std::vector<int64_t> TakeSizes(int* argc, char** argv, Piece* piece) {
  constexpr const char kFlag[] = "--size_mb=";
  std::vector<int64_t> sizes;
  int kept = 0;
  for (int i = 0; i < *argc; ++i) {
    if (std::strncmp(argv[i], kFlag, sizeof kFlag - 1) == 0) {
      char* at = argv[i] + sizeof kFlag - 1;
      do {
        sizes.push_back(std::strtoll(at, &at, 10));
      } while (*at++ == ',');
    } else if (std::strcmp(argv[i], "--shape=wide") == 0) {
      *piece = WidePiece;
    } else {
      argv[kept++] = argv[i];
    }
  }
  *argc = kept;
  if (sizes.empty()) sizes.push_back(100);
  return sizes;
}

}  // namespace

int main(int argc, char** argv) {
  Piece piece = SectionPiece;
  std::vector<int64_t> sizes = TakeSizes(&argc, argv, &piece);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const fs::path folder =
      fs::temp_directory_path() / ("knitfold-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  for (int64_t mb : sizes) {
    const std::string name = "large" + std::to_string(mb);
    BenchFile& file = Files()[mb];
    file.input = Wide(folder / (name + ".qds"));
    file.output = Wide(folder / (name + "-saved.qds"));
    file.bytes = Generate(folder / (name + ".qds"), static_cast<size_t>(mb) << 20, piece);
    if (file.bytes == 0) {
      std::fprintf(stderr, "cannot write the test file in %s\n", folder.c_str());
      fs::remove_all(folder);
      return 1;
    }
    Register(mb);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(folder);
  return 0;
}
