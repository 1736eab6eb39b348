// The cross-luma kernel on one worker: a whole padded frame (copy, stretch lists of every line, zone walk)
// and the stretch search of one line, at PAL and HD widths. Scalar only: the stage's speed comes from its
// workers.
#include "methods/cross_luma.h"

#include "bench_frames.h"
#include "engine/runtime/stage_access.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

struct KernelFrame {
  BZ_Cl_Sett sett{};
  BZ_ClParams params{};
  std::vector<UInt8> in, out;
  explicit KernelFrame(SInt32 inWidth) {
    const SInt32 inHeight = inWidth == 720 ? 576 : 1080;
    BZ_MakeDefaultClSett(&sett);
    params.inWidth = inWidth;
    params.inHeight = inHeight;
    params.sett = &sett;
    BZ_GetBufferSize(inHeight, inWidth, false, &params.height, &params.width, nullptr);
    in.resize(size_t(params.width) * size_t(params.height) * 2);
    out.resize(in.size());
    bz_bench::MakeColourBandFrame(params.width, params.height, in.data());
    BZ_ClNewAreas(&params, 1);
  }
  ~KernelFrame() { BZ_ClDisposeAreas(&params); }
};

void BM_BZ_CrossLuma(benchmark::State &state) {
  KernelFrame f(SInt32(state.range(0)));
  for (auto _ : state) {
    if (BZ_CrossLuma(&f.params, 0, f.in.data(), f.out.data()) != noErr) state.SkipWithError("5022");
    benchmark::DoNotOptimize(f.out.data());
  }
  state.SetItemsProcessed(state.iterations());  // frames
  state.SetBytesProcessed(state.iterations() * SInt64(f.in.size()));
}
BENCHMARK(BM_BZ_CrossLuma)->Name("BM_BZ_CrossLuma/scalar")->Arg(720)->Arg(1920)->Unit(benchmark::kMillisecond);

void BM_BZ_Cl_MakeConstChromaIntervalListOpt(benchmark::State &state) {
  KernelFrame f(SInt32(state.range(0)));
  std::vector<BZ_Cl_ConstChromaInterval> list(size_t(BZ_ClMaxIntervals(f.params.width)));
  SInt32 count = 0;
  const UInt8 *line = f.in.data() + size_t(f.params.height / 2) * size_t(f.params.width) * 2;
  for (auto _ : state) {
    BZ_Cl_MakeConstChromaIntervalListOpt(line, &f.params, list.data(), &count);
    benchmark::DoNotOptimize(count);
  }
  state.SetItemsProcessed(state.iterations() * f.params.width);  // pixels
}
BENCHMARK(BM_BZ_Cl_MakeConstChromaIntervalListOpt)
    ->Name("BM_BZ_Cl_MakeConstChromaIntervalListOpt/scalar")
    ->Arg(720)
    ->Arg(1920);

}  // namespace
