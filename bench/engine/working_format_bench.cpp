// Per-frame cost of filling the margins of a working frame, at PAL and HD sizes, progressive and
// interlaced. Every worker of a stage that feeds noise reduction pads each frame it hands on.
#include "engine/runtime/working_format.h"

#include "support/kernel_check.h"

#include <benchmark/benchmark.h>

namespace {

void BM_BZ_PadFrame(benchmark::State &state) {
  BZ_PadParams params{};
  params.inWidth = SInt32(state.range(0));
  params.inHeight = SInt32(state.range(1));
  params.interlaced = state.range(2) != 0;
  SInt64 size = 0;
  if (BZ_GetBufferSize(params.inHeight, params.inWidth, params.interlaced, &params.height, &params.width, &size) !=
      noErr) {
    state.SkipWithError("no buffer size");
    return;
  }
  bz_test::GuardedBuffer frame{static_cast<size_t>(size)};
  bz_test::FillRandomBytes(frame.data(), frame.size(), 16, 235, bz_test::Rng());
  for (auto _ : state) {
    BZ_PadFrame(&params, frame.data());
    benchmark::ClobberMemory();
  }
  const int64_t marginBytes = (int64_t(params.width) * params.height - int64_t(params.inWidth) * params.inHeight) * 2;
  state.SetBytesProcessed(int64_t(state.iterations()) * marginBytes);
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_BZ_PadFrame)
    ->ArgNames({"width", "height", "interlaced"})
    ->Args({720, 576, 0})
    ->Args({720, 576, 1})
    ->Args({1920, 1080, 0})
    ->Args({1920, 1080, 1});

}  // namespace
