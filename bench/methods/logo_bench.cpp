// The logo kernels on one worker, one padded frame each: the interpolating removal (modes 2 and 3 opaque) and
// diminishing (mode 1) over the burnt-in box of the end-to-end bench (204 x 125 at 720x576, 544 x 235 at
// 1920x1080) and the 300 x 100 rectangle of the stage scaling bench; the interpolation's set-up apart (once
// per run). Scalar only: the stage's speed comes from its workers.
#include "methods/logo_interpolation.h"
#include "methods/logo_removal.h"

#include "bench_frames.h"
#include "engine/runtime/stage_access.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

struct LogoFrame {
  BZ_RlSett sett{};
  BZ_RlParams params{};
  std::vector<UInt8> in, out, mask, scratch;
  std::vector<UInt8 *> scratchPtrs;
  LogoFrame(SInt32 inWidth, SInt32 inHeight, Rect rect, BZ_RlMode mode) {
    BZ_MakeDefaultRlSett(&sett);
    sett.mode = mode;
    sett.logoRect = rect;
    params.inWidth = inWidth;
    params.inHeight = inHeight;
    params.sett = &sett;
    params.logoRect = rect;
    params.numWorkers = 1;
    BZ_GetBufferSize(inHeight, inWidth, false, &params.height, &params.width, nullptr);
    in.resize(size_t(params.width) * size_t(params.height) * 2);
    out.resize(in.size());
    bz_bench::MakeColourBandFrame(params.width, params.height, in.data());
    out = in;
    const SInt32 w = rect.right - rect.left, h = rect.bottom - rect.top;
    mask.assign(size_t(w) * size_t(h), 1);
    params.isMaskPixel = mask.data();
    params.numMaskPix = w * h;
    scratch.resize(3 * size_t((w + h) * 2 + 4));
    for (int i = 0; i < 3; ++i) scratchPtrs.push_back(scratch.data() + size_t(i) * ((w + h) * 2 + 4));
    params.yValues = &scratchPtrs[0];
    params.cbValues = &scratchPtrs[1];
    params.crValues = &scratchPtrs[2];
    if (mode != kBZ_LogoModeDiminish) BZ_SetupNonTrInterpolation(&params, 1);
  }
  ~LogoFrame() { BZ_RlDisposeInterpolation(&params.logoComps, &params.numConnectedComps, &params.interpWeights); }
};

Rect RectFor(SInt32 which) {
  switch (which) {
    case 0: return Rect{83, 82, 208, 286};     // the box at 720x576
    case 1: return Rect{155, 218, 390, 762};   // the box at 1920x1080
    default: return Rect{100, 100, 200, 400};  // 300 x 100 at 720x576
  }
}

void BM_BZ_RlKillLogoUsingNonTrMask(benchmark::State &state) {
  const SInt32 which = SInt32(state.range(0));
  LogoFrame f(which == 1 ? 1920 : 720, which == 1 ? 1080 : 576, RectFor(which), kBZ_LogoModeInterp);
  for (auto _ : state) {
    BZ_RlKillLogoUsingNonTrMask(&f.params, 0, f.out.data());
    benchmark::DoNotOptimize(f.out.data());
  }
  state.SetItemsProcessed(state.iterations() * f.params.numMaskPix);  // target pixels
}
BENCHMARK(BM_BZ_RlKillLogoUsingNonTrMask)->Name("BM_BZ_RlKillLogoUsingNonTrMask/scalar")->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond);

void BM_BZ_RlDiminishLogo(benchmark::State &state) {
  const SInt32 which = SInt32(state.range(0));
  LogoFrame f(which == 1 ? 1920 : 720, which == 1 ? 1080 : 576, RectFor(which), kBZ_LogoModeDiminish);
  for (auto _ : state) {
    BZ_RlDiminishLogo(&f.params, 0, f.in.data(), f.out.data());
    benchmark::DoNotOptimize(f.out.data());
  }
  state.SetItemsProcessed(state.iterations() * f.params.numMaskPix);
}
BENCHMARK(BM_BZ_RlDiminishLogo)->Name("BM_BZ_RlDiminishLogo/scalar")->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

void BM_BZ_SetupNonTrInterpolation(benchmark::State &state) {
  LogoFrame f(720, 576, RectFor(SInt32(state.range(0))), kBZ_LogoModeDiminish);
  for (auto _ : state) {
    BZ_SetupNonTrInterpolation(&f.params, 8);
    BZ_RlDisposeInterpolation(&f.params.logoComps, &f.params.numConnectedComps, &f.params.interpWeights);
  }
}
BENCHMARK(BM_BZ_SetupNonTrInterpolation)->Name("BM_BZ_SetupNonTrInterpolation/scalar")->Arg(0)->Arg(2)
    ->Unit(benchmark::kMillisecond);

}  // namespace
