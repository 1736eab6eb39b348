// The motion search: the block difference (scalar against SSE, on every block of a level at every offset of
// a 5 x 5 grid), and the vectors of one frame pair (backward and forward, as the stage's per-frame job runs
// them) at PAL and HD size, on one thread and on several threads at once, each with its own pair array and
// scratch, as the stage's workers would run independent pairs. Inputs are consecutive frames made by ffmpeg
// (testsrc2, whose objects move, and a pan over mandelbrot); the share of vectors found is reported beside
// the time, and the SSE block sums are checked against the scalar ones.
//
//   bz_outliers_bench --benchmark_filter='Mv|FindMotion' --benchmark_repetitions=5
#include "outliers/motion_vectors.h"

#include "engine/runtime/project_types.h"
#include "engine/runtime/stage_access.h"
#include "general/processor_info.h"
#include "outliers/outlier_stage.h"
#include "support/movie_fixtures.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

namespace {

enum Source { kTestsrc2, kPan };

// Two consecutive frames of a source at a size, with the parameters of a run over them.
struct FramePair {
  BZ_OuSett sett{};
  BZ_OuParams params{};
  Rect picture{};
  std::vector<UInt8> frames[2];
  bool ok = false;

  FramePair(SInt32 width, SInt32 height, Source source) {
    sett.numConstPix = 2;
    params.sett = &sett;
    params.inWidth = width;
    params.inHeight = height;
    SInt64 size = 0;
    BZ_GetBufferSize(height, width, false, &params.height, &params.width, &size);
    BZ_OuParamsToRealFrameBounds(&params, &picture);
    const std::string s = std::to_string(width) + "x" + std::to_string(height);
    // The pan moves 1.5 pixels right and 1 down a frame over a picture with detail at every scale.
    const std::string input = source == kTestsrc2
                                  ? "-f lavfi -i testsrc2=s=" + s + ":r=25:d=1"
                                  : "-f lavfi -i mandelbrot=s=" + std::to_string(width + 64) + "x" +
                                        std::to_string(height + 64) + ":r=25 -vf crop=" + std::to_string(width) +
                                        ":" + std::to_string(height) + ":48-n*1.5:32-n";
    std::string raw;
    const std::string command = "ffmpeg -v error " + input + " -frames:v 2 -pix_fmt uyvy422 -f rawvideo -";
    const size_t frameBytes = size_t(width) * size_t(height) * 2;
    if (bz_test::RunCommand(command, &raw) != 0 || raw.size() != 2 * frameBytes) return;
    for (int f = 0; f < 2; ++f) {
      frames[f].assign(size_t(size), 0);
      for (SInt32 y = 0; y < height; ++y)
        std::memcpy(&frames[f][2 * size_t((picture.top + y) * params.width + picture.left)],
                    &raw[size_t(f) * frameBytes + 2 * size_t(y) * size_t(width)], 2 * size_t(width));
    }
    ok = true;
  }
};

const FramePair &Pair(SInt32 width, SInt32 height, Source source) {
  static std::mutex lock;
  static std::map<std::tuple<SInt32, SInt32, int>, std::unique_ptr<FramePair>> made;
  std::lock_guard<std::mutex> guard(lock);
  std::unique_ptr<FramePair> &p = made[{width, height, int(source)}];
  if (!p) p = std::make_unique<FramePair>(width, height, source);
  return *p;
}

const float (*Coeffs())[6] {
  static float coeffs[25][6];
  static const OSStatus err = BZ_MvGetCoeffs(coeffs);
  return err == noErr ? coeffs : nullptr;
}

// Every block of the level at the 25 offsets of a scale-8 grid, as the widest search scale asks for them.
void BM_BZ_MvGetBlockDiffSq(benchmark::State &state, bool acc) {
  const SInt32 blockWidth = SInt32(state.range(0));
  const FramePair &p = Pair(720, 576, kTestsrc2);
  if (!p.ok) return state.SkipWithError("ffmpeg could not make the frames");
  const SInt32 numH = BZ_MvNumVectors(720, blockWidth), numV = BZ_MvNumVectors(576, blockWidth);
  auto run = [&](bool sse) {
    SInt64 sum = 0;
    for (SInt32 v = 0; v < numV; ++v)
      for (SInt32 h = 0; h < numH; ++h)
        for (SInt32 i = 0; i < 25; ++i) {
          const SInt32 oy = (i / 5 - 2) * 8, ox = (i % 5 - 2) * 8;
          sum += sse ? BZ_MvGetBlockDiffSqAcc(p.params.width, &p.picture, blockWidth, v, h, oy, ox,
                                              p.frames[0].data(), p.frames[1].data())
                     : BZ_MvGetBlockDiffSq(p.params.width, &p.picture, blockWidth, v, h, oy, ox, p.frames[0].data(),
                                           p.frames[1].data());
        }
    return sum;
  };
  if (run(true) != run(false)) return state.SkipWithError("the SSE sums differ from the scalar ones");
  for (auto _ : state) benchmark::DoNotOptimize(run(acc));
  state.SetItemsProcessed(state.iterations() * SInt64(numH) * numV * 25 * blockWidth * blockWidth);
  state.counters["blocks"] = double(numH * numV * 25);
}
BENCHMARK_CAPTURE(BM_BZ_MvGetBlockDiffSq, scalar, false)->Arg(8)->Arg(16)->Arg(64);
BENCHMARK_CAPTURE(BM_BZ_MvGetBlockDiffSq, acc, true)->Arg(8)->Arg(16)->Arg(64);

double FoundShare(const std::vector<BZ_OuMotionVec> &pair, SInt32 cells) {
  SInt32 found = 0;
  for (SInt32 e = 0; e < 2 * cells; ++e) found += pair[size_t(e)].minDiff < kBZ_MvMaxFoundDiff;
  return cells > 0 ? double(found) / double(2 * cells) : 0.0;
}

// One frame pair's vectors, backward and forward (args: width, height, source, SSE); with ->Threads(n) every
// thread runs its own pairs at once, so the rate shows how independent pair jobs scale over workers.
void BM_BZ_FindMotionVectors(benchmark::State &state) {
  const SInt32 width = SInt32(state.range(0)), height = SInt32(state.range(1));
  const Source source = Source(state.range(2));
  const bool sse = state.range(3) != 0;
  const FramePair &p = Pair(width, height, source);
  if (!p.ok || Coeffs() == nullptr) return state.SkipWithError("ffmpeg could not make the frames");
  static const bool hasSSE3 = [] {
    GL_ProcessorInfo info{};
    GL_GetProcessorInfo(&info);
    return bool(info.hasSSE3);
  }();
  std::vector<BZ_OuMotionVec> pair(BZ_MvArraySize(width, height) / sizeof(BZ_OuMotionVec));
  std::vector<BZ_OuMotionVec> scratch(BZ_MvScratchSize(width, height) / sizeof(BZ_OuMotionVec));
  UInt8 *f0 = const_cast<UInt8 *>(p.frames[0].data()), *f1 = const_cast<UInt8 *>(p.frames[1].data());
  // The dispatch flag is the program's: the scalar runs are single-threaded, and the threaded ones all want
  // the vector path, which the single-threaded run before them left set.
  if (state.threads() == 1) gBZ.procInfo.hasSSE3 = hasSSE3 && sse;
  for (auto _ : state) {
    BZ_MvFindPairVectors(&p.params, Coeffs(), f0, f1, pair.data(), scratch.data());
    benchmark::ClobberMemory();
  }
  const SInt32 cells = BZ_MvNumVectors(width, 8) * BZ_MvNumVectors(height, 8);
  state.SetItemsProcessed(state.iterations());
  state.counters["pairs_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["found"] = benchmark::Counter(FoundShare(pair, cells), benchmark::Counter::kAvgThreads);
}
BENCHMARK(BM_BZ_FindMotionVectors)
    ->ArgNames({"w", "h", "pan", "sse"})
    ->Args({720, 576, kTestsrc2, 0})
    ->Args({720, 576, kTestsrc2, 1})
    ->Args({720, 576, kPan, 1})
    ->Args({1920, 1080, kPan, 1})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BZ_FindMotionVectors)
    ->Name("BM_BZ_FindMotionVectors/workers")
    ->ArgNames({"w", "h", "pan", "sse"})
    ->Args({720, 576, kPan, 1})
    ->Args({1920, 1080, kPan, 1})
    ->Threads(1)
    ->Threads(2)
    ->Threads(4)
    ->Threads(8)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
