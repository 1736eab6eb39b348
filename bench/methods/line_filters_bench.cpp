// Per-frame cost of the horizontal and vertical noise filters, scalar and SSE, at PAL and HD working-frame
// sizes, on noise of amplitude 39 with the model of that level.
#include "methods/line_filters.h"

#include "engine/runtime/stage_access.h"
#include "methods/rn_test_params.h"
#include "support/kernel_check.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

enum Path { kScalar, kAcc };

template <bool Horizontal>
void BM_Filter(benchmark::State &state, Path path) {
  const SInt32 inWidth = SInt32(state.range(0)), inHeight = SInt32(state.range(1));
  bz_test::RnTestParams t(inWidth, inHeight);
  SInt32 height = 0, width = 0;
  if (BZ_GetBufferSize(inHeight, inWidth, false, &height, &width, nullptr) != noErr) {
    state.SkipWithError("no buffer size");
    return;
  }
  t.params.width = width;
  t.params.height = height;
  t.SetLineModel(3181, 1686, 1686);
  const size_t bytes = size_t(width) * size_t(height) * 2;
  std::vector<UInt8> in(bytes), out(bytes);
  bz_test::FillRandomBytes(in.data(), bytes, 89, 168, bz_test::Rng());
  for (auto _ : state) {
    if (Horizontal)
      (path == kScalar ? BZ_RnHorizFilter : BZ_RnHorizFilterAcc)(&t.params, in.data(), out.data());
    else
      (path == kScalar ? BZ_RnVertFilter : BZ_RnVertFilterAcc)(&t.params, in.data(), out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_BZ_RnHorizFilter(benchmark::State &state, Path path) { BM_Filter<true>(state, path); }
void BM_BZ_RnVertFilter(benchmark::State &state, Path path) { BM_Filter<false>(state, path); }

BENCHMARK_CAPTURE(BM_BZ_RnHorizFilter, scalar, kScalar)->ArgNames({"width", "height"})->Args({720, 576})->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_BZ_RnHorizFilter, acc, kAcc)->ArgNames({"width", "height"})->Args({720, 576})->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_BZ_RnVertFilter, scalar, kScalar)->ArgNames({"width", "height"})->Args({720, 576})->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_BZ_RnVertFilter, acc, kAcc)->ArgNames({"width", "height"})->Args({720, 576})->Args({1920, 1080});

}  // namespace
