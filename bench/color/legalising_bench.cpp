// Per-frame costs of the sanity check and the IRE limit, scalar against SSE, at PAL and HD sizes. The input
// is a random frame made partly illegal, as cleaning leaves frames; every iteration legalises a fresh copy.
#include "color/legalising.h"

#include "color/yuv422_formats.h"

#include "support/color_frames.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

enum class Path { kScalar, kAcc };

bz_test::GuardedFrame TypicalFrame(SInt32 width, SInt32 height) {
  bz_test::GuardedFrame frame(width, height);
  bz_test::Fill2vuyRandom(frame, 16, 235, 16, 240, bz_test::Rng());
  // Every fourth row pushed out of range.
  for (SInt32 y = 0; y < height; y += 4) CO_WriteSanityCheckTestPattern(width, 1, frame.Row(y));
  return frame;
}

template <typename Run>
void RunFrames(benchmark::State &state, Run run) {
  const SInt32 width = SInt32(state.range(0)), height = SInt32(state.range(1));
  const bz_test::GuardedFrame source = TypicalFrame(width, height);
  bz_test::GuardedFrame work = source;
  bz_test::GuardedFloats line(size_t(width) * 2);
  const size_t bytes = size_t(width) * height * 2;
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(work.data(), source.data(), bytes);
    state.ResumeTiming();
    run(height, width, work.data(), line.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_CO_FrameSanityCheck(benchmark::State &state, Path path) {
  RunFrames(state, [path](SInt32 h, SInt32 w, void *frame, float *line) {
    if (path == Path::kAcc)
      CO_FrameSanityCheckAcc(h, w, frame, line, 0);
    else
      CO_FrameSanityCheck(h, w, frame, line, 0);
  });
}

void BM_CO_FrameLimitIRE(benchmark::State &state, Path path) {
  RunFrames(state, [path](SInt32 h, SInt32 w, void *frame, float *line) {
    if (path == Path::kAcc)
      CO_FrameLimitIRE_Acc(h, w, frame, line, 0, 1.0f);
    else
      CO_FrameLimitIRE(h, w, frame, line, 0, 1.0f);
  });
}

// The line kernel alone, on a frame of float lines already unpacked (the rows of a typical frame). The kernel
// legalises in place, so every iteration restores the lines outside the timing.
void BM_CO_FloatLineSanityCheck(benchmark::State &state, Path path) {
  const SInt32 width = SInt32(state.range(0)), height = SInt32(state.range(1));
  const bz_test::GuardedFrame source = TypicalFrame(width, height);
  const size_t lineFloats = size_t(width) * 2;
  bz_test::GuardedFloats originals(lineFloats * height), lines(lineFloats * height);
  for (SInt32 y = 0; y < height; ++y)
    CO_2vuyLineToFloat(width, source.Row(y), originals.data() + lineFloats * y, 0);
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(lines.data(), originals.data(), lineFloats * height * sizeof(float));
    state.ResumeTiming();
    for (SInt32 y = 0; y < height; ++y) {
      float *line = lines.data() + lineFloats * y;
      if (path == Path::kAcc)
        CO_FloatLineSanityCheckAcc(width, line);
      else
        CO_FloatLineSanityCheck(width, line);
    }
    benchmark::ClobberMemory();
  }
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

#define BZ_FRAME_SIZES ->Args({720, 576})->Args({1920, 1080})

BENCHMARK_CAPTURE(BM_CO_FrameSanityCheck, scalar, Path::kScalar) BZ_FRAME_SIZES;
BENCHMARK_CAPTURE(BM_CO_FrameSanityCheck, acc, Path::kAcc) BZ_FRAME_SIZES;
BENCHMARK_CAPTURE(BM_CO_FrameLimitIRE, scalar, Path::kScalar) BZ_FRAME_SIZES;
BENCHMARK_CAPTURE(BM_CO_FrameLimitIRE, acc, Path::kAcc) BZ_FRAME_SIZES;
BENCHMARK_CAPTURE(BM_CO_FloatLineSanityCheck, scalar, Path::kScalar) BZ_FRAME_SIZES;
BENCHMARK_CAPTURE(BM_CO_FloatLineSanityCheck, acc, Path::kAcc) BZ_FRAME_SIZES;

}  // namespace
