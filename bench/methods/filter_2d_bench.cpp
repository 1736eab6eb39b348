// Per-frame cost of the two-dimensional noise filter, scalar and SSE, at PAL and HD working-frame sizes, on
// noise of amplitude 39 with a model of that level's size.
#include "methods/filter_2d.h"

#include "engine/runtime/stage_access.h"
#include "methods/rn_test_params.h"
#include "support/kernel_check.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace {

enum Path { kScalar, kAcc };

void BM_BZ_Rn2DFilter(benchmark::State &state, Path path) {
  const SInt32 inWidth = SInt32(state.range(0)), inHeight = SInt32(state.range(1));
  bz_test::RnTestParams t(inWidth, inHeight);
  SInt32 height = 0, width = 0;
  if (BZ_GetBufferSize(inHeight, inWidth, false, &height, &width, nullptr) != noErr) {
    state.SkipWithError("no buffer size");
    return;
  }
  t.params.width = width;
  t.params.height = height;
  std::fill_n(t.params.nn2D[0], 64, 9000.0f);
  std::fill_n(t.params.nn2D[1], 16, 1500.0f);
  std::fill_n(t.params.nn2D[2], 16, 1500.0f);
  std::fill_n(t.params.nn2Dadd[0], 16, 3000.0f);
  std::fill_n(t.params.nn2Dadd[1], 8, 700.0f);
  std::fill_n(t.params.nn2Dadd[2], 8, 700.0f);
  const size_t bytes = size_t(width) * size_t(height) * 2;
  std::vector<UInt8> in(bytes), out(bytes);
  bz_test::FillRandomBytes(in.data(), bytes, 89, 168, bz_test::Rng());
  for (auto _ : state) {
    (path == kScalar ? BZ_Rn2DFilter : BZ_Rn2DFilterAcc)(&t.params, in.data(), out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(BM_BZ_Rn2DFilter, scalar, kScalar)->ArgNames({"width", "height"})->Args({720, 576})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BZ_Rn2DFilter, acc, kAcc)->ArgNames({"width", "height"})->Args({720, 576})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

}  // namespace
