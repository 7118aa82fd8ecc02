// The keyed text table at 10 thousand, 1 million and 10 million entries with
// keys "1".."N" and 90-byte values: ns per TableFind hit, ns per TableInsert
// of a new key, and heap bytes per entry beyond the keys and values.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <string>

#include "KeyedTextTable.h"

namespace {

const std::string kValue(90, 'v');

// Small blocks and the large ones the allocator maps on their own.
size_t HeapInUse() {
  struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// Fills the table with keys 1..count; returns the bytes of keys and values
// (terminators included).
size_t Fill(int count) {
  size_t textBytes = 0;
  for (int i = 1; i <= count; ++i) {
    const char* key = DecimalKey(i);
    textBytes += std::char_traits<char>::length(key) + 1 + kValue.size() + 1;
    TableInsert(key, kValue.c_str());
  }
  return textBytes;
}

void BM_TableInsert(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  double overhead = 0;
  for (auto _ : state) {
    TableClear();
    size_t before = HeapInUse();
    size_t textBytes = Fill(count);
    overhead = (static_cast<double>(HeapInUse() - before) - static_cast<double>(textBytes)) / count;
  }
  state.counters["ns_per_insert"] = benchmark::Counter(
      static_cast<double>(count) * state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["heap_bytes_per_entry_beyond_text"] = overhead;
  TableClear();
}

void BM_TableFindHit(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  TableClear();
  Fill(count);
  int i = 0;
  for (auto _ : state) {
    i = i % count + 1;
    benchmark::DoNotOptimize(TableFind(DecimalKey(i)));
  }
  state.counters["ns_per_find"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  TableClear();
}

}  // namespace

BENCHMARK(BM_TableInsert)->Arg(10000)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_TableFindHit)->Arg(10000)->Arg(1000000)->Arg(10000000);
BENCHMARK_MAIN();
