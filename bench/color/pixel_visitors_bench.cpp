// Per-frame cost of the 4:2:2 to 4:4:4 'v308' copy at HD size. Nothing in a run uses it; the figure shows
// what a 'v308' path built on it would cost per frame.
#include "color/pixel_visitors.h"

#include "support/color_frames.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

void BM_CO_Copy2vuyTov308(benchmark::State &state) {
  const SInt32 width = SInt32(state.range(0)), height = SInt32(state.range(1));
  bz_test::GuardedFrame frame(width, height);
  bz_test::Fill2vuyRandom(frame, bz_test::Rng());
  std::vector<UInt8> v308(size_t(width) * height * 3), back(size_t(width) * height * 2);
  for (auto _ : state) {
    CO_Copy2vuyTov308(frame.data(), v308.data(), height, width);
    benchmark::ClobberMemory();
  }
  // The output checked: luma and each pixel's own chroma come back unchanged.
  CO_Copyv308To2vuy(v308.data(), back.data(), height, width);
  if (std::memcmp(back.data(), frame.data(), back.size()) != 0) state.SkipWithError("'v308' copy lost pixels");
  state.SetBytesProcessed(int64_t(state.iterations()) * width * height * 2);
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_CO_Copy2vuyTov308)->Args({1920, 1080})->Unit(benchmark::kMillisecond);

}  // namespace
