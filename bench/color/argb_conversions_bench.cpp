// The display road ('2vuy' to ARGB for gamma 1.8, with and without a gamma change) and the RGB source road
// (ARGB to '2vuy'), scalar against SSE, for HD frames.
#include "color/argb_conversions.h"
#include "color/gamma_tables.h"

#include "support/color_frames.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

enum class Path { kScalar, kAcc };

void SetFrameCounters(benchmark::State &state, SInt32 width, SInt32 height) {
  state.SetItemsProcessed(int64_t(state.iterations()) * width * height);
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

// A frame already at gamma 1.8 goes straight to ARGB.
void BM_CO_2vuyFrameToARGB(benchmark::State &state, Path path) {
  const SInt32 width = SInt32(state.range(0)), height = SInt32(state.range(1));
  bz_test::GuardedFrame frame(width, height);
  bz_test::Fill2vuyRandom(frame, 16, 235, 16, 240, bz_test::Rng());
  std::vector<UInt8> argb(size_t(width) * height * 4);
  for (auto _ : state) {
    CO_2vuyFrameToARGB_Uni(false, path == Path::kAcc, width, height, frame.data(), argb.data(), false, width * 2,
                           width * 4);
    benchmark::ClobberMemory();
  }
  SetFrameCounters(state, width, height);
}

// A frame at gamma 2.2 is shown at 1.8.
void BM_CO_2vuyFrameToARGB_ChangeGamma(benchmark::State &state, Path path) {
  const SInt32 width = SInt32(state.range(0)), height = SInt32(state.range(1));
  bz_test::GuardedFrame frame(width, height);
  bz_test::Fill2vuyRandom(frame, 16, 235, 16, 240, bz_test::Rng());
  std::vector<UInt8> argb(size_t(width) * height * 4);
  std::vector<UInt16> table(1024);
  CO_MakeRGBTable(2.2f, 1.8f, table.data());
  for (auto _ : state) {
    CO_2vuyFrameToARGB_ChangeGammaUni(false, path == Path::kAcc, width, height, frame.data(), argb.data(), false,
                                      width * 2, width * 4, 2.2f, 1.8f, table.data());
    benchmark::ClobberMemory();
  }
  SetFrameCounters(state, width, height);
}

void BM_CO_ARGB_FrameTo2vuy(benchmark::State &state, Path path) {
  const SInt32 width = SInt32(state.range(0)), height = SInt32(state.range(1));
  std::vector<UInt8> argb(size_t(width) * height * 4);
  bz_test::FillRandomBytes(argb.data(), argb.size(), bz_test::Rng());
  bz_test::GuardedFrame frame(width, height);
  for (auto _ : state) {
    CO_ARGB_FrameTo2vuyUni(false, path == Path::kAcc, height, width, argb.data(), frame.data(), false);
    benchmark::ClobberMemory();
  }
  SetFrameCounters(state, width, height);
}

BENCHMARK_CAPTURE(BM_CO_2vuyFrameToARGB, scalar, Path::kScalar)->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_CO_2vuyFrameToARGB, acc, Path::kAcc)->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_CO_2vuyFrameToARGB_ChangeGamma, scalar, Path::kScalar)->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_CO_2vuyFrameToARGB_ChangeGamma, acc, Path::kAcc)->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_CO_ARGB_FrameTo2vuy, scalar, Path::kScalar)->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_CO_ARGB_FrameTo2vuy, acc, Path::kAcc)->Args({1920, 1080});

}  // namespace
