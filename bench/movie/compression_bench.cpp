// Compression of one working frame by a sequence: DV from a padded '2vuy' frame buffer (the compress
// stage's case) and, for comparison, JPEG and the uncompressed '2vuy' copy. Frames per second.
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/offscreen_worlds.h"
#include "platform/movie/compression.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

void BM_CompressSequenceFrame(benchmark::State &state, CodecType cType) {
  const int width = int(state.range(0)), height = int(state.range(1));
  // A working-format buffer: 8 pixels of margin on each side, rows padded like the engine's.
  const int bufferWidth = (width + 16 + 7) / 8 * 8;
  const SInt32 rowBytes = bufferWidth * 2;
  std::vector<UInt8> buffer(size_t(rowBytes) * size_t(height + 16));
  for (size_t i = 0; i < buffer.size(); i += 2) {
    buffer[i] = UInt8(128 + 60 * std::sin(double(i) / 977.0));
    buffer[i + 1] = UInt8(126 + 100 * std::sin(double(i) / 131.0) * std::cos(double(i) / 7919.0));
  }
  UInt8 *picture = buffer.data() + 8 * rowBytes + 16;
  Rect bounds{0, 0, SInt16(height), SInt16(width)};
  GWorldPtr world = nullptr;
  if (QTNewGWorldFromPtr(&world, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0, picture, rowBytes) != noErr) {
    state.SkipWithError("no offscreen");
    return;
  }
  PixMapHandle pm = GetGWorldPixMap(world);
  auto desc = reinterpret_cast<ImageDescriptionHandle>(NewHandle(0));
  ImageSequence seq = 0;
  SInt32 maxSize = 0;
  if (CompressSequenceBegin(&seq, pm, nullptr, nullptr, nullptr, 0, cType, bestFidelityCodec, codecHighQuality, 0, 0,
                            nullptr, 0, desc) != noErr ||
      GetMaxCompressionSize(pm, nullptr, 0, codecHighQuality, cType, bestFidelityCodec, &maxSize) != noErr) {
    state.SkipWithError("no sequence");
  } else {
    std::vector<UInt8> out(static_cast<size_t>(maxSize));
    for (auto _ : state) {
      SInt32 size = 0;
      CompressSequenceFrame(seq, pm, nullptr, codecFlagUpdatePrevious, reinterpret_cast<Ptr>(out.data()), &size,
                            nullptr, nullptr);
      benchmark::DoNotOptimize(size);
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  }
  PL_EndCompressionSequence(seq);
  DisposeHandle(reinterpret_cast<Handle>(desc));
  DisposeGWorld(world);
}

BENCHMARK_CAPTURE(BM_CompressSequenceFrame, dvcp, CodecType('dvcp'))->Args({720, 576})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CompressSequenceFrame, dv5p, CodecType('dv5p'))->Args({720, 576})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CompressSequenceFrame, jpeg, CodecType('jpeg'))->Args({720, 576})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CompressSequenceFrame, mjpa, CodecType('mjpa'))->Args({720, 576})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CompressSequenceFrame, 2vuy, CodecType('2vuy'))->Args({720, 576})->Unit(benchmark::kMillisecond);

}  // namespace
