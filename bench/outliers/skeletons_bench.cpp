// Per-frame costs of the outlier stage's analysis at PAL size: the gradient plane (scalar and SSE), the
// gradient objects with their sort, the thinning of the 50 largest objects (the shipped version, which visits
// only the set pixels, against a scan of the whole bounds in every sub-pass), their skeletons with closures
// and node regions, and the step-preserving filter. Inputs are frames made by ffmpeg: testsrc2 and, for
// organic edges, mandelbrot. The trace lines the routines print go to /dev/null while they are timed.
#include "outliers/gradient_objects.h"
#include "outliers/median_filter.h"

#include "engine/runtime/project_types.h"
#include "engine/runtime/stage_access.h"
#include "general/processor_info.h"
#include "outliers/outlier_stage.h"
#include "support/movie_fixtures.h"
#include "support/skeleton_reference.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr SInt32 kWidth = 720, kHeight = 576;

const char *const kSources[] = {"testsrc2=s=720x576:r=25:d=1", "mandelbrot=s=720x576:r=25"};

// Standard output goes to /dev/null while it lives.
class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    saved_ = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
  }

 private:
  int saved_;
};

// One frame with the worker's planes, its gradient objects found and sorted.
struct FrameObjects {
  explicit FrameObjects(int source) {
    GL_GetProcessorInfo(&gBZ.procInfo);  // the vector paths, as the application has them
    sett.numConstPix = 2;
    params.sett = &sett;
    params.inWidth = kWidth;
    params.inHeight = kHeight;
    SInt64 size = 0;
    BZ_GetBufferSize(kHeight, kWidth, false, &params.height, &params.width, &size);
    BZ_OuParamsToRealFrameBounds(&params, &picture);
    const size_t pixels = size_t(params.width) * size_t(params.height);
    frame.assign(size_t(size), 0);
    gradSq.assign(pixels, 0);
    data.assign(pixels, 0);
    objData.assign(pixels, 0);
    pixelList.assign(pixels, 0);
    for (int k = 0; k < 3; ++k) {
      maskPlanes[k].assign(pixels, 0);
      masks[k] = maskPlanes[k].data();
    }
    std::string raw;
    const std::string command = std::string("ffmpeg -v error -f lavfi -i ") + kSources[source] +
                                " -frames:v 1 -pix_fmt uyvy422 -f rawvideo -";
    if (bz_test::RunCommand(command, &raw) != 0 || raw.size() != size_t(kWidth) * kHeight * 2) return;
    for (SInt32 y = 0; y < kHeight; ++y)
      std::memcpy(&frame[2 * size_t((picture.top + y) * params.width + picture.left)], &raw[2 * size_t(y) * kWidth],
                  2 * size_t(kWidth));
    QuietStdout quiet;
    BZ_OuCalcGradSqUni(&params, frame.data(), nullptr, gradSq.data(), pixelList.data());
    if (BZ_OuFindGradObjects(&params, gradSq.data(), data.data(), pixelList.data(), &objects, objData.data()) != noErr)
      return;
    BZ_SortObjectsBySize(data.data(), &objects, &numLarge);
    savedData = data;
    loaded = true;
  }
  ~FrameObjects() { BZ_MvDisposeMvObjList(&objects); }

  BZ_OuSett sett{};
  BZ_OuParams params{};
  Rect picture{};
  std::vector<UInt8> frame;
  std::vector<UInt16> gradSq, data, savedData, objData;
  std::vector<SInt32> pixelList;
  std::vector<UInt8> maskPlanes[3];
  UInt8 *masks[3] = {};
  BZ_MvObjectLE *objects = nullptr;
  SInt32 numLarge = 0;
  bool loaded = false;
};

FrameObjects &Frame(int source) {
  static FrameObjects *frames[2] = {};
  if (frames[source] == nullptr) frames[source] = new FrameObjects(source);
  return *frames[source];
}

void SetFrameCounters(benchmark::State &state) {
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_BZ_OuCalcGradSq(benchmark::State &state, bool acc) {
  FrameObjects &f = Frame(0);
  if (!f.loaded) return state.SkipWithError("no frame from ffmpeg");
  std::vector<UInt16> out(f.gradSq.size(), 0);
  for (auto _ : state) {
    if (acc)
      BZ_OuCalcGradSqAcc(&f.params, f.frame.data(), nullptr, out.data(), nullptr);
    else
      BZ_OuCalcGradSq(&f.params, f.frame.data(), nullptr, out.data(), nullptr);
    benchmark::DoNotOptimize(out.data());
  }
  if (out != f.gradSq) state.SkipWithError("gradient differs from the dispatcher's");
  SetFrameCounters(state);
}

void BM_BZ_OuFindGradObjects(benchmark::State &state, int source) {
  FrameObjects &f = Frame(source);
  if (!f.loaded) return state.SkipWithError("no frame from ffmpeg");
  BZ_MvObjectLE *objects = nullptr;
  SInt32 count = 0, numLarge = 0;
  {
    QuietStdout quiet;
    for (auto _ : state) {
      BZ_OuFindGradObjects(&f.params, f.gradSq.data(), f.data.data(), f.pixelList.data(), &objects, f.objData.data());
      BZ_SortObjectsBySize(f.data.data(), &objects, &numLarge);
      benchmark::DoNotOptimize(objects);
    }
  }
  for (const BZ_MvObjectLE *e = objects; e != nullptr; e = e->next) ++count;
  BZ_MvDisposeMvObjList(&objects);
  f.data = f.savedData;
  if (numLarge != f.numLarge) state.SkipWithError("a different object list");
  state.counters["objects"] = double(count);
  SetFrameCounters(state);
}

// The thinning of the frame's large objects, each from its own mask.
void BM_SK_ReduceMaskToSkeleton(benchmark::State &state, int source, bool shipped) {
  FrameObjects &f = Frame(source);
  if (!f.loaded) return state.SkipWithError("no frame from ffmpeg");
  const SInt32 w = f.params.width;
  auto thinAll = [&](bool useShipped) {
    SInt64 pixels = 0;
    SInt32 k = 0;
    for (BZ_MvObjectLE *e = f.objects; e != nullptr && k < f.numLarge; e = e->next, ++k) {
      const Rect b = e->mvObj.rgn.bounds;
      RG_RegionToMask(w, &e->mvObj.rgn, true, f.masks[1]);
      if (useShipped)
        SK_ReduceMaskToSkeleton(w, &b, f.masks[1], f.masks[2]);
      else
        bz_test::ReferenceThinning(w, b, f.masks[1], f.masks[2]);
      for (SInt32 r = b.top; r < b.bottom; ++r)
        for (SInt32 c = b.left; c < b.right; ++c) pixels += f.masks[1][r * w + c] * (r * w + c);
    }
    return pixels;
  };
  // Both give the same skeletons (a checksum of their pixels).
  if (thinAll(true) != thinAll(false)) return state.SkipWithError("the two thinnings differ");
  SInt64 boundsArea = 0;
  SInt32 k = 0;
  for (BZ_MvObjectLE *e = f.objects; e != nullptr && k < f.numLarge; e = e->next, ++k)
    boundsArea += SInt64(e->mvObj.rgn.bounds.bottom - e->mvObj.rgn.bounds.top) *
                  (e->mvObj.rgn.bounds.right - e->mvObj.rgn.bounds.left);
  for (auto _ : state) benchmark::DoNotOptimize(thinAll(shipped));
  state.counters["objects"] = double(f.numLarge);
  state.counters["boundsPixels"] = double(boundsArea);
  SetFrameCounters(state);
}

void BM_BZ_OuCalcMoreObjProperties(benchmark::State &state, int source) {
  FrameObjects &f = Frame(source);
  if (!f.loaded) return state.SkipWithError("no frame from ffmpeg");
  OSStatus err = noErr;
  {
    QuietStdout quiet;
    for (auto _ : state) {
      err = BZ_OuCalcMoreObjProperties(f.params.width, f.frame.data(), f.data.data(), f.masks, f.objects, f.numLarge,
                                       f.pixelList.data());
      benchmark::DoNotOptimize(f.objects);
    }
  }
  SInt64 branches = 0, nodeRgns = 0;
  SInt32 k = 0;
  for (const BZ_MvObjectLE *e = f.objects; e != nullptr && k < f.numLarge; e = e->next, ++k) {
    branches += e->mvObj.skeleton.numBranches;
    nodeRgns += e->mvObj.skeleton.numNodeRgns;
  }
  f.data = f.savedData;
  if (err != noErr) state.SkipWithError(("error " + std::to_string(err)).c_str());
  state.counters["objects"] = double(f.numLarge);
  state.counters["branches"] = double(branches);
  state.counters["nodeRegions"] = double(nodeRgns);
  SetFrameCounters(state);
}

void BM_BZ_OuMedianFilter(benchmark::State &state) {
  FrameObjects &f = Frame(0);
  if (!f.loaded) return state.SkipWithError("no frame from ffmpeg");
  std::vector<UInt8> plane = f.frame;
  for (auto _ : state) {
    std::memcpy(plane.data(), f.frame.data(), plane.size());
    BZ_OuMedianFilter(&f.params, f.frame.data(), plane.data(), f.pixelList.data());
    benchmark::DoNotOptimize(plane.data());
  }
  SetFrameCounters(state);
}

BENCHMARK_CAPTURE(BM_BZ_OuCalcGradSq, scalar, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BZ_OuCalcGradSq, acc, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BZ_OuFindGradObjects, testsrc2, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BZ_OuFindGradObjects, mandelbrot, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SK_ReduceMaskToSkeleton, testsrc2_setpixels, 0, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SK_ReduceMaskToSkeleton, testsrc2_boundsscan, 0, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SK_ReduceMaskToSkeleton, mandelbrot_setpixels, 1, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SK_ReduceMaskToSkeleton, mandelbrot_boundsscan, 1, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BZ_OuCalcMoreObjProperties, testsrc2, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BZ_OuCalcMoreObjProperties, mandelbrot, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BZ_OuMedianFilter)->Unit(benchmark::kMillisecond);

}  // namespace
