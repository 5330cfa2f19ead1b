// The drawing surfaces' rasteriser alone: 50,000 shapes of the preview's sizes (2 to 40 pixels
// across, at spread positions, a few cut at the edges) into a 1280 × 800 surface, one benchmark
// per kind of shape. A preview frame of 50,000 particles draws as many.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "hostapi/PixelShapes.h"

namespace {

enum TKind { Fill, Frame, HollowEllipse, SolidEllipse };
constexpr int32_t W = 1280, H = 800, Shapes = 50000;

void PixelShapes50k(benchmark::State& state) {
  const auto kind = static_cast<TKind>(state.range(0));
  std::vector<uint32_t> pixels(static_cast<size_t>(W) * H);
  const TPixelRows rows{pixels.data(), W, H, W};
  struct TRect {
    int32_t L, T, R, B;
  };
  std::vector<TRect> rects;
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  for (int i = 0; i < Shapes; ++i) {
    const int32_t size = 2 + static_cast<int32_t>(next() >> 27) + static_cast<int32_t>(next() >> 28);  // 2..48, mostly small
    const int32_t x = static_cast<int32_t>(next() % (W + 40)) - 20, y = static_cast<int32_t>(next() % (H + 40)) - 20;
    rects.push_back({x, y, x + size, y + size});
  }
  for (auto _ : state) {
    uint32_t colour = 0;
    for (const TRect& r : rects) {
      ++colour;
      switch (kind) {
        case Fill: FillRectPixels(rows, r.L, r.T, r.R, r.B, colour); break;
        case Frame: FrameRectPixels(rows, r.L, r.T, r.R, r.B, colour); break;
        case HollowEllipse: EllipsePixels(rows, r.L, r.T, r.R, r.B, colour, ~colour, true); break;
        case SolidEllipse: EllipsePixels(rows, r.L, r.T, r.R, r.B, colour, ~colour, false); break;
      }
    }
    benchmark::DoNotOptimize(pixels.data());
    benchmark::ClobberMemory();
  }
}

}  // namespace

BENCHMARK(PixelShapes50k)->ArgName("shape")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
