// Throughput of ReplaceSymbols on plain text, on text dense with symbol
// references and escapes, and on command calls.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "expansion/builtin_commands.h"
#include "expansion/replace_symbols.h"
#include "expansion/symbol_map.h"

namespace {

constexpr size_t kTextChars = 1 << 20;

std::u16string Repeat(std::u16string_view piece) {
  std::u16string text;
  while (text.size() + piece.size() <= kTextChars) text += piece;
  return text;
}

std::u16string Decimal(int64_t n) {
  std::u16string text;
  do {
    text.insert(text.begin(), static_cast<char16_t>(u'0' + n % 10));
    n /= 10;
  } while (n != 0);
  return text;
}

void Run(benchmark::State& state, std::u16string_view text) {
  qds::SymbolMap table(true, 64, &qds::kBuiltinCommands);
  table.Set(u"name", u"value");
  table.Set(u"dir", u"C:\\Program Files\\App");
  table.Set(u"!twice", u"%`%1%%1%`%");
  uint32_t needed = 0;
  (void)qds::ReplaceSymbols(table, text, nullptr, &needed, 0, nullptr);
  std::vector<char16_t> out(needed);
  for (auto _ : state) {
    uint32_t outLen = needed;
    qds::ReplaceStatus status = qds::ReplaceSymbols(table, text, out.data(), &outLen, 0, nullptr);
    if (status != qds::ReplaceStatus::Ok) state.SkipWithError("expansion failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(
      static_cast<int64_t>(state.iterations() * text.size() * sizeof(char16_t)));
}

void BM_PlainText(benchmark::State& state) {
  Run(state, Repeat(u"The quick brown fox jumps over the lazy dog. "));
}

void BM_SymbolDense(benchmark::State& state) {
  Run(state, Repeat(u"%name%%dir%\\%absent%%%%`lit`%"));
}

void BM_CommandCalls(benchmark::State& state) {
  Run(state, Repeat(u"%!if(%name% = value,a,b)%%!twice(x)%%!set(k,%dir%)%"));
}

// Creating and finding N symbols: linear in N.
void BM_SymbolTable(benchmark::State& state) {
  std::vector<std::u16string> names;
  for (int64_t i = 0; i < state.range(0); ++i) names.push_back(u"field" + Decimal(i));
  for (auto _ : state) {
    qds::SymbolMap table(true, 256);
    for (const std::u16string& name : names) table.Set(name, name);
    qds::CountedString value;
    for (const std::u16string& name : names) benchmark::DoNotOptimize(table.Lookup(name, &value));
  }
  state.SetComplexityN(state.range(0));
}

BENCHMARK(BM_PlainText);
BENCHMARK(BM_SymbolDense);
BENCHMARK(BM_CommandCalls);
BENCHMARK(BM_SymbolTable)->RangeMultiplier(4)->Range(1 << 10, 1 << 18)->Complexity();

}  // namespace

BENCHMARK_MAIN();
