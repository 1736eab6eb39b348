// Costs of averaging two captures at PAL and HD sizes: one frame averaged with a sub-pixel shift (what a
// worker does per frame), the same without a shift, and the measurement of one sample frame (shift and
// weight, what an analysis run does per sample on its distributor).
#include "methods/average_lines.h"
#include "methods/average_measuring.h"

#include "support/kernel_check.h"
#include "support/padded_frames.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void NoisyCapture(bz_test::PaddedFrame &frame) {
  frame.Fill(128, 120);
  frame.AddGaussianNoise(6.0, 6.0, bz_test::Rng());
}

void BM_BZ_Average(benchmark::State &state, float shift) {
  const SInt32 inWidth = SInt32(state.range(0)), inHeight = SInt32(state.range(1));
  bz_test::PaddedFrame in1(inWidth, inHeight), in2(inWidth, inHeight), out(inWidth, inHeight);
  NoisyCapture(in1);
  NoisyCapture(in2);
  std::vector<float> line(BZ_AvTempLineFloats(in1.width()));
  float *lines[1] = {line.data()};
  BZ_AvParams params{};
  params.inWidth = inWidth;
  params.inHeight = inHeight;
  params.width = in1.width();
  params.height = in1.height();
  params.tempLine = lines;
  params.numTempLines = 1;
  params.weight = 0.5f;
  BZ_AvGetFracShift(shift, &params.intShift, &params.fracShift);
  BZ_GetInterpCoeff(params.fracShift, params.coeff);
  for (auto _ : state) {
    // Shifting in place moves movie 2 a little further each round; the cost is the same.
    BZ_Average(&params, 0, in1.data(), in2.data(), out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * params.width * params.height * 2);
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_BZ_GetFrameBestShiftAndWeight(benchmark::State &state) {
  const SInt32 inWidth = SInt32(state.range(0)), inHeight = SInt32(state.range(1));
  bz_test::PaddedFrame in1(inWidth, inHeight), in2(inWidth, inHeight);
  NoisyCapture(in1);
  NoisyCapture(in2);
  std::vector<float> line(BZ_AvTempLineFloats(in1.width()));
  BZ_AvParams params{};
  params.inWidth = inWidth;
  params.inHeight = inHeight;
  params.width = in1.width();
  params.height = in1.height();
  params.analysisLine = line.data();
  for (auto _ : state) {
    float shift = 0, bestWeight = 0, weight = 0;
    BZ_GetFrameBestShiftAndWeight(&params, in1.data(), in2.data(), &shift, &bestWeight, &weight);
    benchmark::DoNotOptimize(bestWeight);
  }
  state.counters["samples/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(BM_BZ_Average, shift_0_25, 0.25f)->Args({720, 576})->Args({1920, 1080});
BENCHMARK_CAPTURE(BM_BZ_Average, shift_2, 2.0f)->Args({720, 576})->Args({1920, 1080});
BENCHMARK(BM_BZ_GetFrameBestShiftAndWeight)->Args({720, 576})->Unit(benchmark::kMillisecond);

}  // namespace
