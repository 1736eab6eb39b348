// The copy stage's gamma change of whole '2vuy' frames, scalar (table) against SSE (polynomial curve), at
// PAL and HD sizes.
#include "color/gamma_tables.h"

#include "support/color_frames.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

enum class Path { kScalar, kAcc };

void BM_CO_2vuyFrameChangeGamma(benchmark::State &state, Path path, bool super) {
  const SInt32 width = SInt32(state.range(0)), height = SInt32(state.range(1));
  bz_test::GuardedFrame frame(width, height);
  bz_test::Fill2vuyRandom(frame, 16, 235, 16, 240, bz_test::Rng());
  std::vector<UInt16> table(kCO_RGBTableEntries);
  CO_MakeRGBTable(2.2f, 1.8f, table.data());
  std::vector<float> fpLine(size_t(width) * 2);
  for (auto _ : state) {
    // In place, as the copy stage does; the SSE path through the dispatcher with the flag set.
    if (super) {
      CO_2vuyFrameChangeGammaSuperUni(false, path == Path::kAcc, width, height, frame.data(), frame.data(),
                                      fpLine.data(), width * 2, width * 2, 2.2f, 1.8f, table.data());
    } else {
      CO_2vuyFrameChangeGammaUni(false, path == Path::kAcc, height, width, frame.data(), frame.data(), fpLine.data(),
                                 width * 2, width * 2, 2.2f, 1.8f, table.data());
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * width * height * 2);
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(BM_CO_2vuyFrameChangeGamma, scalar, Path::kScalar, false)->Args({720, 576})->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_CO_2vuyFrameChangeGamma, acc, Path::kAcc, false)->Args({720, 576})->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_CO_2vuyFrameChangeGamma, super_scalar, Path::kScalar, true)->Args({720, 576})->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_CO_2vuyFrameChangeGamma, super_acc, Path::kAcc, true)->Args({720, 576})->Args({1920, 1080});

}  // namespace
