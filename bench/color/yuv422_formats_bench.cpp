// Per-frame costs of the 4:2:2 byte swaps and float-line conversions, scalar against SSE, at PAL and HD sizes.
#include "color/yuv422_formats.h"

#include "support/color_frames.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

enum class Path { kScalar, kAcc };

bz_test::GuardedFrame RandomFrame(SInt32 width, SInt32 height) {
  bz_test::GuardedFrame frame(width, height);
  bz_test::Fill2vuyRandom(frame, bz_test::Rng());
  return frame;
}

void SetFrameCounters(benchmark::State &state, SInt32 width, SInt32 height) {
  state.SetBytesProcessed(int64_t(state.iterations()) * width * height * 2);
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_CO_ByteSwapYuv2Frame(benchmark::State &state, Path path) {
  const SInt32 width = SInt32(state.range(0)), height = SInt32(state.range(1));
  bz_test::GuardedFrame frame = RandomFrame(width, height);
  auto swap = path == Path::kAcc ? CO_ByteSwapYuv2FrameAcc : CO_ByteSwapYuv2Frame;
  for (auto _ : state) {
    // In place, as the copy stage does.
    swap(width, height, frame.data(), frame.data(), width * 2, width * 2);
    benchmark::ClobberMemory();
  }
  SetFrameCounters(state, width, height);
}

void BM_CO_ByteSwap2vuyFrame(benchmark::State &state, Path path) {
  const SInt32 width = SInt32(state.range(0)), height = SInt32(state.range(1));
  bz_test::GuardedFrame frame = RandomFrame(width, height);
  auto swap = path == Path::kAcc ? CO_ByteSwap2vuyFrameAcc : CO_ByteSwap2vuyFrame;
  for (auto _ : state) {
    swap(width, height, frame.data(), frame.data(), width * 2, width * 2);
    benchmark::ClobberMemory();
  }
  SetFrameCounters(state, width, height);
}

void BM_CO_2vuyLineToFloat(benchmark::State &state, Path path) {
  const SInt32 width = SInt32(state.range(0)), height = SInt32(state.range(1));
  bz_test::GuardedFrame frame = RandomFrame(width, height);
  bz_test::GuardedFloats line(size_t(width) * 2);
  auto toFloat = path == Path::kAcc ? CO_2vuyLineToFloatAcc : CO_2vuyLineToFloat;
  for (auto _ : state) {
    for (SInt32 y = 0; y < height; ++y) toFloat(width, frame.Row(y), line.data(), 0);
    benchmark::ClobberMemory();
  }
  SetFrameCounters(state, width, height);
}

void BM_CO_FloatLineTo2vuy(benchmark::State &state, Path path) {
  const SInt32 width = SInt32(state.range(0)), height = SInt32(state.range(1));
  bz_test::GuardedFrame frame = RandomFrame(width, height);
  bz_test::GuardedFloats line(size_t(width) * 2);
  CO_2vuyLineToFloat(width, frame.Row(0), line.data(), 0);
  auto pack = path == Path::kAcc ? CO_FloatLineTo2vuyAcc : CO_FloatLineTo2vuy;
  for (auto _ : state) {
    for (SInt32 y = 0; y < height; ++y) pack(width, frame.Row(y), line.data(), 0);
    benchmark::ClobberMemory();
  }
  SetFrameCounters(state, width, height);
}

// The copy stage's full-to-video-range pass over a frame: unpack and pack every line in place.
void BM_CopyStageRangeConversion(benchmark::State &state, Path path) {
  const SInt32 width = SInt32(state.range(0)), height = SInt32(state.range(1));
  bz_test::GuardedFrame frame = RandomFrame(width, height);
  bz_test::GuardedFloats line(size_t(width) * 2);
  for (auto _ : state) {
    for (SInt32 y = 0; y < height; ++y) {
      if (path == Path::kAcc) {
        CO_2vuyLineToFloatAcc(width, frame.Row(y), line.data(), 1);
        CO_FloatLineTo2vuyAcc(width, frame.Row(y), line.data(), 0);
      } else {
        CO_2vuyLineToFloat(width, frame.Row(y), line.data(), 1);
        CO_FloatLineTo2vuy(width, frame.Row(y), line.data(), 0);
      }
    }
    benchmark::ClobberMemory();
  }
  SetFrameCounters(state, width, height);
}

#define BZ_FRAME_SIZES ->Args({720, 576})->Args({1920, 1080})

BENCHMARK_CAPTURE(BM_CO_ByteSwapYuv2Frame, scalar, Path::kScalar) BZ_FRAME_SIZES;
BENCHMARK_CAPTURE(BM_CO_ByteSwapYuv2Frame, acc, Path::kAcc) BZ_FRAME_SIZES;
BENCHMARK_CAPTURE(BM_CO_ByteSwap2vuyFrame, scalar, Path::kScalar) BZ_FRAME_SIZES;
BENCHMARK_CAPTURE(BM_CO_ByteSwap2vuyFrame, acc, Path::kAcc) BZ_FRAME_SIZES;
BENCHMARK_CAPTURE(BM_CO_2vuyLineToFloat, scalar, Path::kScalar) BZ_FRAME_SIZES;
BENCHMARK_CAPTURE(BM_CO_2vuyLineToFloat, acc, Path::kAcc) BZ_FRAME_SIZES;
BENCHMARK_CAPTURE(BM_CO_FloatLineTo2vuy, scalar, Path::kScalar) BZ_FRAME_SIZES;
BENCHMARK_CAPTURE(BM_CO_FloatLineTo2vuy, acc, Path::kAcc) BZ_FRAME_SIZES;
BENCHMARK_CAPTURE(BM_CopyStageRangeConversion, scalar, Path::kScalar) BZ_FRAME_SIZES;
BENCHMARK_CAPTURE(BM_CopyStageRangeConversion, acc, Path::kAcc) BZ_FRAME_SIZES;

}  // namespace
