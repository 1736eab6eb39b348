// Varying brightness's kernels on one worker, at PAL and HD sizes: the measurement of one frame against the
// one before (block luma sums and the histogram of their ratios) and the correction of one frame. Scalar
// only: both stages take their speed from their workers.
#include "methods/varbr.h"

#include "bench_frames.h"
#include "engine/runtime/stage_access.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

struct KernelFrames {
  BZ_VbParams params{};
  std::vector<UInt8> prev, in, out;
  std::vector<float> relBr, factors;
  explicit KernelFrames(SInt32 inWidth) {
    const SInt32 inHeight = inWidth == 720 ? 576 : 1080;
    params.inWidth = inWidth;
    params.inHeight = inHeight;
    BZ_GetBufferSize(inHeight, inWidth, false, &params.height, &params.width, nullptr);
    prev.resize(size_t(params.width) * size_t(params.height) * 2);
    bz_bench::MakeColourBandFrame(params.width, params.height, prev.data());
    in = prev;
    for (size_t i = 1; i < in.size(); i += 2) in[i] = UInt8(in[i] * 21 / 20);  // 5 % brighter
    out.resize(in.size());
    params.numFrames = 2;
    relBr.assign(4, 0.0f);
    factors.assign(2, 1.04f);
    params.relBr = relBr.data();
    params.factors = factors.data();
    params.numFactors = 2;
  }
};

void BM_BZ_FindRelBr(benchmark::State &state) {
  KernelFrames f(SInt32(state.range(0)));
  for (auto _ : state) {
    BZ_FindRelBr(&f.params, f.prev.data(), f.in.data(), 1);
    benchmark::DoNotOptimize(f.relBr.data());
  }
  if (f.relBr[0] < 1.04f || f.relBr[0] > 1.06f) state.SkipWithError("the 5 % step was not measured");
  state.SetItemsProcessed(state.iterations());  // frames
}
BENCHMARK(BM_BZ_FindRelBr)->Arg(720)->Arg(1920);

void BM_BZ_CorrRelBr(benchmark::State &state) {
  KernelFrames f(SInt32(state.range(0)));
  for (auto _ : state) {
    BZ_CorrRelBr(&f.params, f.in.data(), f.out.data(), 1, false);
    benchmark::DoNotOptimize(f.out.data());
  }
  state.SetItemsProcessed(state.iterations());  // frames
  state.SetBytesProcessed(state.iterations() * SInt64(f.in.size()));
}
BENCHMARK(BM_BZ_CorrRelBr)->Arg(720)->Arg(1920);

}  // namespace
