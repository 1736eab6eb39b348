// Per-frame cost of the difference picture (the noise movie's frames), scalar and SSE, at PAL and HD
// working-frame sizes.
#include "engine/runtime/diff_lines.h"

#include "engine/runtime/stage_access.h"
#include "support/kernel_check.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

enum Path { kScalar, kAcc };

void BM_BZ_MakeDiffLines(benchmark::State &state, Path path) {
  SInt32 height = 0, width = 0;
  if (BZ_GetBufferSize(SInt32(state.range(1)), SInt32(state.range(0)), false, &height, &width, nullptr) != noErr) {
    state.SkipWithError("no buffer size");
    return;
  }
  const size_t bytes = size_t(width) * size_t(height) * 2;
  std::vector<UInt8> dirty(bytes), clean(bytes), out(bytes);
  bz_test::FillRandomBytes(dirty.data(), bytes, 16, 235, bz_test::Rng());
  bz_test::FillRandomBytes(clean.data(), bytes, 16, 235, bz_test::Rng());
  for (auto _ : state) {
    if (path == kScalar)
      BZ_MakeDiffLines(height, width, dirty.data(), clean.data(), out.data(), 3.0f, 3.0f, 0.0f, 125);
    else
      BZ_MakeDiffLinesAcc(height, width, dirty.data(), clean.data(), out.data(), 3.0f, 3.0f, 0.0f, 125);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(BM_BZ_MakeDiffLines, scalar, kScalar)->ArgNames({"width", "height"})->Args({720, 576})->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_BZ_MakeDiffLines, acc, kAcc)->ArgNames({"width", "height"})->Args({720, 576})->Args({1920, 1080});

}  // namespace
