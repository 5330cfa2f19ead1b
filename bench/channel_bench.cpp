// Loading a channel's keys from a scene file: the same keys given in ascending and in
// descending order must cost alike (n log n), however the file lists them.
#include <benchmark/benchmark.h>

#include <vector>

#include "stage/Channel.h"

namespace {

std::vector<stage::TKey> Keys(int64_t n, bool descending) {
  std::vector<stage::TKey> keys;
  keys.reserve(static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) {
    const float f = static_cast<float>(descending ? n - i : i);
    keys.push_back({f, {f, 0, 0}});
  }
  return keys;
}

void BM_SetKeys(benchmark::State& state) {
  const auto keys = Keys(state.range(0), state.range(1) != 0);
  for (auto _ : state) {
    stage::TChannel c;
    c.SetKeys(keys);
    benchmark::DoNotOptimize(c.Keys().data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SetKeys)->ArgsProduct({{1000, 1000000}, {0, 1}})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
