// Per-frame costs of the 4:2:0 conversions, scalar against SSE, at PAL and HD sizes, progressive.
#include "color/planar420.h"

#include "support/color_frames.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

enum class Path { kScalar, kAcc };

// A 'y420' buffer in the movie library's layout (Y rows of the width rounded up to 32, planes of the height
// rounded up to 4).
std::unique_ptr<bz_test::GuardedBuffer> MakeY420(SInt32 height, SInt32 width) {
  const SInt32 rowBytesY = (width + 31) / 32 * 32, rows = (height + 3) / 4 * 4;
  auto buffer = std::make_unique<bz_test::GuardedBuffer>(size_t(rowBytesY) * rows * 3 / 2 + 32);
  PlanarPixmapInfoYUV420 h;
  h.componentInfoY = {32, UInt32(rowBytesY)};
  h.componentInfoCb = {32 + rowBytesY * rows, UInt32(rowBytesY / 2)};
  h.componentInfoCr = {h.componentInfoCb.offset + rowBytesY * rows / 4, UInt32(rowBytesY / 2)};
  CO_SetY420Header(buffer->data(), &h);
  return buffer;
}

void SetFrameCounters(benchmark::State &state, SInt32 width, SInt32 height) {
  state.SetBytesProcessed(int64_t(state.iterations()) * width * height * 2);
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_CO_2vuyFrameToY420(benchmark::State &state, Path path) {
  const SInt32 width = SInt32(state.range(0)), height = SInt32(state.range(1));
  bz_test::GuardedFrame frame(width, height);
  bz_test::Fill2vuyRandom(frame, bz_test::Rng());
  auto y420 = MakeY420(height, width);
  bz_test::GuardedBuffer temp(size_t((width + 31) / 32 * 32) * 6);
  for (auto _ : state) {
    if (path == Path::kAcc)
      CO_2vuyFrameToY420_Acc(height, width, height, width * 2, frame.data(), y420->data(), temp.data(), false);
    else
      CO_2vuyFrameToY420(height, width, width * 2, frame.data(), y420->data(), false);
    benchmark::ClobberMemory();
  }
  SetFrameCounters(state, width, height);
}

void BM_CO_Y420_FrameTo2vuy(benchmark::State &state, Path path) {
  const SInt32 width = SInt32(state.range(0)), height = SInt32(state.range(1));
  bz_test::GuardedFrame frame(width, height);
  bz_test::Fill2vuyRandom(frame, bz_test::Rng());
  auto y420 = MakeY420(height, width);
  CO_2vuyFrameToY420(height, width, width * 2, frame.data(), y420->data(), false);
  bz_test::GuardedBuffer temp(size_t((width + 31) / 32) * 128);
  for (auto _ : state) {
    if (path == Path::kAcc)
      CO_Y420_FrameTo2vuyAcc(height, width, y420->data(), frame.data(), temp.data(), false);
    else
      CO_Y420_FrameTo2vuy(height, width, y420->data(), frame.data(), false);
    benchmark::ClobberMemory();
  }
  SetFrameCounters(state, width, height);
}

#define BZ_FRAME_SIZES ->Args({720, 576})->Args({1920, 1080})

BENCHMARK_CAPTURE(BM_CO_2vuyFrameToY420, scalar, Path::kScalar) BZ_FRAME_SIZES;
BENCHMARK_CAPTURE(BM_CO_2vuyFrameToY420, acc, Path::kAcc) BZ_FRAME_SIZES;
BENCHMARK_CAPTURE(BM_CO_Y420_FrameTo2vuy, scalar, Path::kScalar) BZ_FRAME_SIZES;
BENCHMARK_CAPTURE(BM_CO_Y420_FrameTo2vuy, acc, Path::kAcc) BZ_FRAME_SIZES;

}  // namespace
