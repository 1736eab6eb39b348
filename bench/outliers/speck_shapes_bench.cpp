// The standard-speck comparison of two specks of about 50 pixels: rasterising both, their subchunks, and the
// morph of one onto the other over the candidate rotations. Nothing in a run calls it yet; this keeps its
// cost in sight.
#include "outliers/speck_shapes.h"

#include "support/speck_fixtures.h"

#include <benchmark/benchmark.h>

namespace {

using bz_test::SpeckPixels;
using bz_test::SpeckScene;

enum Pair { kDiscBar, kBarTurnedBar, kNotchedTurned };

void BM_BZ_OuCalcShapeDiff(benchmark::State &state, Pair pair) {
  SpeckPixels first, second;
  switch (pair) {
    case kDiscBar:
      first = bz_test::Disc(12, 12, 4.0);
      first.emplace_back(7, 12);  // 49 + 1
      second = bz_test::Block(25, 5, 5, 10);
      break;
    case kBarTurnedBar:
      first = bz_test::Block(5, 5, 5, 10);
      second = bz_test::Block(20, 30, 10, 5);
      break;
    case kNotchedTurned:
      first = bz_test::NotchedSquare(4, 4, 0, 8, 4);  // 48 pixels
      second = bz_test::NotchedSquare(20, 30, 1, 8, 4);
      break;
  }
  SpeckScene a(first), b(second);
  // The output is checked once: a speck compared with itself differs by 0, the pair by more.
  if (BZ_OuCalcShapeDiff(&a.params, a.frame.data(), a.frame.data(), &a.speck, &a.speck) != 0.0f ||
      !(BZ_OuCalcShapeDiff(&a.params, a.frame.data(), b.frame.data(), &a.speck, &b.speck) > 0.0f)) {
    state.SkipWithError("unexpected shape difference");
    return;
  }
  for (auto _ : state) {
    float diff = BZ_OuCalcShapeDiff(&a.params, a.frame.data(), b.frame.data(), &a.speck, &b.speck);
    benchmark::DoNotOptimize(diff);
  }
  state.counters["pixels1"] = double(a.speck.rgn.numPixels);
  state.counters["pixels2"] = double(b.speck.rgn.numPixels);
}

BENCHMARK_CAPTURE(BM_BZ_OuCalcShapeDiff, disc_vs_bar, kDiscBar)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BZ_OuCalcShapeDiff, bar_vs_turned_bar, kBarTurnedBar)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BZ_OuCalcShapeDiff, notched_vs_turned, kNotchedTurned)->Unit(benchmark::kMicrosecond);

}  // namespace
