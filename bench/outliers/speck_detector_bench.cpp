// The automatic speck detector on one window of textured frames with light grain and a few dust spots in the
// centre frame: the outlier flags alone (BZ_OuFindOutliers, the per-pixel pass over the usable slots) and the
// whole detector (BZ_OuCalcSpeckList), per frame, at 720x576 and 1920x1080. Beside the times the counters give
// the detector's own memory: the flag plane and pixel list each worker keeps (bytes per worker), the speck
// list it builds for the frame, and one frame buffer for comparison (the stage holds 4 x numConstPix + 1 +
// workers of them).
//
//   bz_outliers_bench --benchmark_filter=Detector --benchmark_repetitions=5
#include "engine/runtime/method_settings.h"
#include "engine/runtime/stage_access.h"
#include "general/processor_info.h"
#include "outliers/speck_detector.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace {

struct DetectorWindow {
  BZ_OuSett sett{};
  BZ_OuParams params{};
  std::vector<std::vector<UInt8>> frames;
  UInt8 *window[kBZ_OuNumWindowSlots] = {};
  SInt32 av[kBZ_OuNumWindowSlots] = {};
  std::vector<UInt16> data;
  std::vector<SInt32> pixelList;
  SInt64 frameBytes = 0;

  DetectorWindow(SInt32 w, SInt32 h) {
    GL_GetProcessorInfo(&gBZ.procInfo);  // the vector paths, as the application has them
    BZ_MakeDefaultOuSett(&sett);
    params.sett = &sett;
    params.executing = true;
    params.inWidth = w;
    params.inHeight = h;
    params.numInBuffers = 4 * sett.numConstPix + 1;
    BZ_GetBufferSize(h, w, false, &params.height, &params.width, &frameBytes);
    std::mt19937 random(5);
    std::normal_distribution<double> grain(0, 4);
    frames.assign(size_t(params.numInBuffers), std::vector<UInt8>(size_t(frameBytes), 128));
    for (size_t f = 0; f < frames.size(); ++f) {
      for (SInt32 y = 0; y < h; ++y)
        for (SInt32 x = 0; x < w; ++x) {
          const double texture = 120 + 40 * std::sin(x * 0.21) * std::cos(y * 0.17) + grain(random);
          frames[f][2 * size_t((y + 8) * params.width + x + 8) + 1] = UInt8(std::clamp(texture, 16.0, 235.0));
        }
      window[f] = frames[f].data();
    }
    // A dozen dark and bright spots of radius 2 in the centre frame.
    std::vector<UInt8> &centre = frames[size_t(2 * sett.numConstPix)];
    for (int i = 0; i < 12; ++i) {
      const SInt32 cx = 20 + SInt32(random() % UInt32(w - 40)), cy = 20 + SInt32(random() % UInt32(h - 40));
      for (SInt32 y = cy - 2; y <= cy + 2; ++y)
        for (SInt32 x = cx - 2; x <= cx + 2; ++x)
          if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= 5) {
            UInt8 &l = centre[2 * size_t((y + 8) * params.width + x + 8) + 1];
            l = UInt8(i % 2 != 0 ? std::min(255, l + 90) : std::max(0, l - 90));
          }
    }
    data.assign(size_t(params.width) * size_t(params.height), 0);
    pixelList.assign(data.size(), 0);
  }
  void Counters(benchmark::State &state) const {
    state.counters["scratch_bytes_per_worker"] =
        double(data.size() * sizeof(UInt16) + pixelList.size() * sizeof(SInt32));
    state.counters["frame_buffer_bytes"] = double(frameBytes);
  }
};

void BM_DetectorFindOutliers(benchmark::State &state) {
  DetectorWindow w(SInt32(state.range(0)), SInt32(state.range(1)));
  SInt32 lo = 0, hi = 0, numFirst = 0;
  BZ_OuGetInBufferIndexBounds(w.sett.maxAvPixelDiff, w.window, w.params.numInBuffers, w.av, &lo, &hi);
  for (auto _ : state) {
    BZ_OuFindOutliers(&w.params, w.window, lo, hi, w.data.data(), nullptr, &numFirst);
    benchmark::DoNotOptimize(w.data.data());
  }
  w.Counters(state);
  state.counters["first_degree"] = double(numFirst);
}

void BM_DetectorWholeFrame(benchmark::State &state) {
  DetectorWindow w(SInt32(state.range(0)), SInt32(state.range(1)));
  BZ_OuSpeckLE *specks = nullptr;
  // The trace lines go to standard output; the figures are read from --benchmark_out or the console.
  for (auto _ : state)
    BZ_OuCalcSpeckList(&w.params, w.window, w.av, nullptr, w.data.data(), w.pixelList.data(), &specks);
  double listBytes = 0, removed = 0, count = 0;
  for (const BZ_OuSpeckLE *s = specks; s != nullptr; s = s->next, ++count) {
    listBytes += double(sizeof(BZ_OuSpeckLE)) + double(s->speck.rgn.pixelsSize) * sizeof(SInt32);
    removed += s->speck.remove ? 1 : 0;
  }
  BZ_OuDisposeSpeckList(&specks);
  w.Counters(state);
  state.counters["speck_list_bytes"] = listBytes;
  state.counters["specks"] = count;
  state.counters["removed"] = removed;
}

void Sizes(benchmark::internal::Benchmark *b) {
  b->Args({720, 576})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_DetectorFindOutliers)->Apply(Sizes);
BENCHMARK(BM_DetectorWholeFrame)->Apply(Sizes);

}  // namespace
