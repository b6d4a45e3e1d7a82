// Throughput of ReplaceSymbols on plain text, on text dense with symbol
// references and escapes, and on command calls, each on texts ten times
// apart in length; and of a symbol table under churn at sizes ten times
// apart. The smoke run checks with bench/growth that the time grows with
// the size and no faster.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "expansion/builtin_commands.h"
#include "expansion/replace_symbols.h"
#include "expansion/symbol_map.h"

namespace {

// `piece` repeated to `length` characters at most.
std::u16string Repeat(std::u16string_view piece, int64_t length) {
  std::u16string text;
  while (static_cast<int64_t>(text.size() + piece.size()) <= length) text += piece;
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
  (void)qds::ReplaceSymbols(table, text, nullptr, &needed, qds::ExpandFlags::None, nullptr);
  std::vector<char16_t> out(needed);
  for (auto _ : state) {
    uint32_t outLen = needed;
    qds::ReplaceStatus status =
        qds::ReplaceSymbols(table, text, out.data(), &outLen, qds::ExpandFlags::None, nullptr);
    if (status != qds::ReplaceStatus::Ok) state.SkipWithError("expansion failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(
      static_cast<int64_t>(state.iterations() * text.size() * sizeof(char16_t)));
}

void BM_PlainText(benchmark::State& state) {
  Run(state, Repeat(u"The quick brown fox jumps over the lazy dog. ", state.range(0)));
}

void BM_SymbolDense(benchmark::State& state) {
  Run(state, Repeat(u"%name%%dir%\\%absent%%%%`lit`%", state.range(0)));
}

void BM_CommandCalls(benchmark::State& state) {
  Run(state, Repeat(u"%!if(%name% = value,a,b)%%!twice(x)%%!set(k,%dir%)%", state.range(0)));
}

// N symbols created and found, half of them replaced by new ones, and every
// one removed: the buckets grow with the table, freed nodes serve new
// symbols, and the last removal empties the table.
void BM_SymbolTable(benchmark::State& state) {
  const int64_t count = state.range(0);
  std::vector<std::u16string> names;
  for (int64_t i = 0; i < count + count / 2; ++i) names.push_back(u"field" + Decimal(i));
  for (auto _ : state) {
    qds::SymbolMap table(true, 256);
    for (int64_t i = 0; i < count; ++i) table.Set(names[i], names[i]);
    std::u16string value;
    for (int64_t i = 0; i < count; ++i) benchmark::DoNotOptimize(table.Lookup(names[i], &value));
    for (int64_t i = 0; i < count / 2; ++i) {
      table.Remove(names[2 * i]);
      table.Set(names[count + i], names[i]);
    }
    for (const std::u16string& name : names) table.Remove(name);
    benchmark::DoNotOptimize(table.Count());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * count);
}

BENCHMARK(BM_PlainText)->RangeMultiplier(10)->Range(100000, 1000000);
BENCHMARK(BM_SymbolDense)->RangeMultiplier(10)->Range(100000, 1000000);
BENCHMARK(BM_CommandCalls)->RangeMultiplier(10)->Range(100000, 1000000);
BENCHMARK(BM_SymbolTable)->RangeMultiplier(10)->Range(1000, 1000000);

}  // namespace

BENCHMARK_MAIN();
