// Per-frame costs of the frame analysis at PAL and HD sizes: the noise level of a frame (every band through
// the integer band kernel) and the 20-group frame difference, scalar against SSE, with and without the
// optimal-scale histograms. Inputs are mid-grey frames with Gaussian noise, as a camera delivers them.
#include "engine/runtime/frame_analysis.h"

#include "support/kernel_check.h"
#include "support/padded_frames.h"

#include <benchmark/benchmark.h>

namespace {

enum class Path { kScalar, kAcc };

void NoisyFrame(bz_test::PaddedFrame &frame, double sigma) {
  frame.Fill(128, 120);
  frame.AddGaussianNoise(sigma, sigma, bz_test::Rng());
}

void BM_BZ_GetFrameNoiseLevel(benchmark::State &state) {
  const SInt32 width = SInt32(state.range(0)), height = SInt32(state.range(1));
  bz_test::PaddedFrame frame(width, height);
  NoisyFrame(frame, 3.0);
  for (auto _ : state) {
    float level = BZ_GetFrameNoiseLevel(frame.data(), width, height, frame.width(), false);
    benchmark::DoNotOptimize(level);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * width * height * 2);
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_BZ_Calc20LineDiff(benchmark::State &state, Path path, bool calcOptScale) {
  const SInt32 width = SInt32(state.range(0)), height = SInt32(state.range(1));
  bz_test::PaddedFrame in(width, height), out(width, height);
  NoisyFrame(in, 3.0);
  out.CopyFrom(in);
  out.AddGaussianNoise(1.5, 1.5, bz_test::Rng());
  const SInt32 numLines = (height - 48) / 20;
  float lineDiff[kBZ_NumDiffGroups];
  SInt32 numDiff = 0;
  float scaleY = 0, scaleC = 0;
  for (auto _ : state) {
    if (path == Path::kAcc)
      BZ_Calc20LineDiffAcc(in.data(), out.data(), width, in.rowBytes(), numLines, lineDiff, &numDiff, calcOptScale,
                           &scaleY, &scaleC);
    else
      BZ_Calc20LineDiff(in.data(), out.data(), width, in.rowBytes(), numLines, lineDiff, &numDiff, calcOptScale,
                        &scaleY, &scaleC);
    benchmark::DoNotOptimize(lineDiff);
    benchmark::DoNotOptimize(numDiff);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * 2 * BZ_GetDiffLineWidth(width) * numLines *
                          kBZ_NumDiffGroups * 2);
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_BZ_GetFrameNoiseLevel)->Args({720, 576})->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_BZ_Calc20LineDiff, scalar, Path::kScalar, false)->Args({720, 576})->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_BZ_Calc20LineDiff, acc, Path::kAcc, false)->Args({720, 576})->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_BZ_Calc20LineDiff, scalar_scales, Path::kScalar, true)->Args({720, 576})->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_BZ_Calc20LineDiff, acc_scales, Path::kAcc, true)->Args({720, 576})->Args({1920, 1080});

}  // namespace
