// Readable settings: how long a scene's emitter takes from its payload to JSON text and back,
// for the fountain example's emitter (what loading and saving a scene pay per emitter).
#include <benchmark/benchmark.h>

#include "scene/Settings.h"

namespace {

TSettingsJson FountainLike() {
  return ParseSettingsText(R"({"name": "Fountain", "systems": [{"name": "Water", "emitterRadius": 0.08,
    "focus": 0.9, "flow": 14, "lifespan": 110, "lifespanJitter": 0.15, "baseSize": 0.9, "baseSpeed": 0.27,
    "size": {"keys": [[0, 0.6], [20, 1], [100, 1.6], [8192, 1.6]]},
    "alpha": {"keys": [[0, 0.9], [70, 0.8], [100, 0], [8192, 0]]},
    "imageMaps": {"images": [{"file": "Default", "alphaMaster": 0.6}]},
    "particleColor": {"stops": [[1, "#ebf8ff"], [35, "#96cdff"], [100, "#285ac8"]]}}]})");
}

void PayloadToText(benchmark::State& state) {
  const std::vector<uint8_t> payload = SettingsToPayload(TSettingsKind::Emitter, FountainLike());
  for (auto _ : state) benchmark::DoNotOptimize(SettingsText(PayloadToSettings(TSettingsKind::Emitter, payload)));
}
BENCHMARK(PayloadToText);

void TextToPayload(benchmark::State& state) {
  const std::string text = SettingsText(FountainLike());
  for (auto _ : state) benchmark::DoNotOptimize(SettingsToPayload(TSettingsKind::Emitter, ParseSettingsText(text)));
}
BENCHMARK(TextToPayload);

}  // namespace

BENCHMARK_MAIN();
