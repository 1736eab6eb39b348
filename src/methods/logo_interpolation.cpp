// Interpolating logo removal: components, sources, weights and the per-frame sums (see the header).
#include "methods/logo_interpolation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Whether (row, col) of the picture is a mask pixel of the run (false outside the rectangle).
bool IsMask(const BZ_RlParams *p, SInt32 row, SInt32 col) {
  const Rect &r = p->logoRect;
  if (row < r.top || row >= r.bottom || col < r.left || col >= r.right) return false;
  return p->isMaskPixel[(row - r.top) * BZ_RlLogoWidth(r) + (col - r.left)] != 0;
}

// Sources and targets of one component; its mask and bounds are set. Sources are grouped into runs: rows
// of four or more first, the rest along columns (one field line apart).
OSStatus MakeSourcesAndTargets(const BZ_RlParams *p, BZ_RlLogoCompLE *comp, SInt32 numWorkers) {
  const SInt32 vStep = BZ_RlVStep(p);
  const SInt32 w = BZ_RlLogoWidth(comp->bounds), h = BZ_RlLogoHeight(comp->bounds);
  comp->trgtPix = static_cast<UInt16 *>(std::malloc(size_t(comp->numTrgtPix) * 2 * sizeof(UInt16) + 1));
  if (comp->trgtPix == nullptr) return memFullErr;
  // Every source once: marks over the bounds grown by vStep rows and one column.
  const SInt32 gw = w + 2, gh = h + 2 * vStep;
  std::vector<UInt8> listed(size_t(gw) * size_t(gh), 0);
  auto mark = [&](SInt32 sv, SInt32 su) -> UInt8 & { return listed[size_t(sv + vStep) * gw + size_t(su + 1)]; };
  SInt32 t = 0;
  for (SInt32 v = 0; v < h; ++v)
    for (SInt32 u = 0; u < w; ++u) {
      if (comp->isMaskPixel[v * w + u] == 0) continue;
      comp->trgtPix[2 * t] = UInt16(v);
      comp->trgtPix[2 * t + 1] = UInt16(u);
      ++t;
      for (SInt32 dv : {-vStep, 0, vStep})
        for (SInt32 du : {-1, 0, 1})
          if ((dv != 0 || du != 0) && !IsMask(p, comp->bounds.top + v + dv, comp->bounds.left + u + du))
            mark(v + dv, u + du) = 1;
    }
  std::vector<BZ_RlSrcRun> runs;
  std::vector<BZ_RlLogoSrcPixel> sources;
  auto addRun = [&](SInt32 v, SInt32 u, SInt32 length, bool vertical) {
    runs.push_back(BZ_RlSrcRun{SInt16(v), SInt16(u), length, vertical, SInt32(sources.size())});
    for (SInt32 i = 0; i < length; ++i) {
      const SInt32 sv = vertical ? v + i * vStep : v, su = vertical ? u : u + i;
      mark(sv, su) = 2;
      sources.push_back(BZ_RlLogoSrcPixel{SInt16(su), SInt16(sv), 0, 0, 0});
    }
  };
  for (SInt32 v = -vStep; v < h + vStep; ++v)
    for (SInt32 u = -1; u <= w;) {
      SInt32 end = u;
      while (end <= w && mark(v, end) == 1) ++end;
      if (end - u >= 4) addRun(v, u, end - u, false);
      u = end > u ? end : u + 1;
    }
  for (SInt32 u = -1; u <= w; ++u)
    for (SInt32 first = -vStep; first < -vStep + vStep; ++first)
      for (SInt32 v = first; v < h + vStep;) {
        SInt32 end = v;
        while (end < h + vStep && mark(end, u) == 1) end += vStep;
        if (end > v) addRun(v, u, (end - v) / vStep, true);
        v = end > v ? end : v + vStep;
      }
  comp->numSrcPix = SInt32(sources.size());
  comp->numRuns = SInt32(runs.size());
  comp->runs = static_cast<BZ_RlSrcRun *>(std::malloc((runs.size() + 1) * sizeof(BZ_RlSrcRun)));
  if (comp->runs == nullptr) return memFullErr;
  std::copy(runs.begin(), runs.end(), comp->runs);
  comp->numWorkers = numWorkers;
  comp->srcPix = static_cast<BZ_RlLogoSrcPixel **>(std::calloc(size_t(numWorkers), sizeof(BZ_RlLogoSrcPixel *)));
  comp->srcValues = static_cast<float **>(std::calloc(size_t(numWorkers), sizeof(float *)));
  if (comp->srcPix == nullptr || comp->srcValues == nullptr) return memFullErr;
  for (SInt32 i = 0; i < numWorkers; ++i) {
    comp->srcPix[i] = static_cast<BZ_RlLogoSrcPixel *>(std::malloc((sources.size() + 1) * sizeof(BZ_RlLogoSrcPixel)));
    comp->srcValues[i] = static_cast<float *>(std::malloc((3 * sources.size() + 1) * sizeof(float)));
    if (comp->srcPix[i] == nullptr || comp->srcValues[i] == nullptr) return memFullErr;
    std::copy(sources.begin(), sources.end(), comp->srcPix[i]);
  }
  return noErr;
}

// The weight table unfolded for the component's runs (see BZ_RlLogoCompLE).
OSStatus UnfoldWeights(const BZ_RlParams *p, BZ_RlLogoCompLE *comp) {
  const SInt32 w = BZ_RlLogoWidth(comp->bounds), h = BZ_RlLogoHeight(comp->bounds);
  const SInt32 maxDv = p->interlaced ? (h + 1) / 2 : h, maxDh = w;
  const SInt32 tableWidth = BZ_RlLogoWidth(p->logoRect) + 1;
  comp->hOffset = maxDh;
  comp->hRowLen = 2 * maxDh + 1;
  comp->vOffset = maxDv;
  comp->vRowLen = 2 * maxDv + 1;
  comp->hWeights = static_cast<float *>(std::malloc(size_t(maxDv + 1) * size_t(comp->hRowLen) * sizeof(float)));
  comp->vWeights = static_cast<float *>(std::malloc(size_t(maxDh + 1) * size_t(comp->vRowLen) * sizeof(float)));
  if (comp->hWeights == nullptr || comp->vWeights == nullptr) return memFullErr;
  for (SInt32 dv = 0; dv <= maxDv; ++dv)
    for (SInt32 k = -maxDh; k <= maxDh; ++k)
      comp->hWeights[dv * comp->hRowLen + comp->hOffset + k] = p->interpWeights[dv * tableWidth + std::abs(k)];
  for (SInt32 dh = 0; dh <= maxDh; ++dh)
    for (SInt32 k = -maxDv; k <= maxDv; ++k)
      comp->vWeights[dh * comp->vRowLen + comp->vOffset + k] = p->interpWeights[std::abs(k) * tableWidth + dh];
  return noErr;
}

// Adds the weights and the weighted values of n sources. Two sets of four partial sums, so that the
// additions of consecutive steps do not wait for each other (the compiler makes each set one vector).
inline void Accumulate(const float *w, const float *y, const float *c, SInt32 n, float *sums) {
  float sw0[4] = {}, sy0[4] = {}, sc0[4] = {}, sw1[4] = {}, sy1[4] = {}, sc1[4] = {};
  SInt32 i = 0;
  for (; i + 8 <= n; i += 8) {
    for (SInt32 j = 0; j < 4; ++j) {
      sw0[j] += w[i + j];
      sy0[j] += w[i + j] * y[i + j];
      sc0[j] += w[i + j] * c[i + j];
    }
    for (SInt32 j = 0; j < 4; ++j) {
      sw1[j] += w[i + 4 + j];
      sy1[j] += w[i + 4 + j] * y[i + 4 + j];
      sc1[j] += w[i + 4 + j] * c[i + 4 + j];
    }
  }
  for (; i < n; ++i) {
    sw0[0] += w[i];
    sy0[0] += w[i] * y[i];
    sc0[0] += w[i] * c[i];
  }
  for (SInt32 j = 0; j < 4; ++j) {
    sums[0] += sw0[j] + sw1[j];
    sums[1] += sy0[j] + sy1[j];
    sums[2] += sc0[j] + sc1[j];
  }
}

}  // namespace

double BZ_RlInterpWeight(SInt32 dv, SInt32 dh) {
  if (dv == 0 && dh == 0) return 0.0;
  const double c1 = 0.1 * std::exp(-1.875), c2 = 0.1 * c1 * std::exp(-1.25);
  const double d2 = double(dv) * dv + double(dh) * dh, d = std::sqrt(d2);
  return 25.0 * std::exp(-d2 / 2.25) + std::exp(-d / 2.0) + c1 * std::exp(-d / 8.0) + c2 / d;
}

OSStatus BZ_FindNonTrLogoComponents(BZ_RlParams *rlParams) {
  const Rect &r = rlParams->logoRect;
  const SInt32 width = BZ_RlLogoWidth(r), height = BZ_RlLogoHeight(r);
  std::vector<UInt8> assigned(size_t(width) * size_t(height), 0);
  std::vector<SInt32> stack, members;
  BZ_RlLogoCompLE **tail = &rlParams->logoComps;
  rlParams->numConnectedComps = 0;
  SInt32 numAssigned = 0;
  std::printf("Non-transparent logo components:\n");
  for (SInt32 start = 0; start < width * height && numAssigned < rlParams->numMaskPix; ++start) {
    if (rlParams->isMaskPixel[start] == 0 || assigned[start] != 0) continue;
    // Everything 8-connected to the first unassigned mask pixel, with its bounds.
    members.clear();
    stack.assign(1, start);
    assigned[start] = 1;
    SInt32 top = height, left = width, bottom = -1, right = -1;
    while (!stack.empty()) {
      const SInt32 at = stack.back();
      stack.pop_back();
      members.push_back(at);
      const SInt32 v = at / width, u = at % width;
      top = std::min(top, v), bottom = std::max(bottom, v), left = std::min(left, u), right = std::max(right, u);
      for (SInt32 dv = -1; dv <= 1; ++dv)
        for (SInt32 du = -1; du <= 1; ++du) {
          const SInt32 nv = v + dv, nu = u + du;
          if (nv < 0 || nv >= height || nu < 0 || nu >= width) continue;
          const SInt32 n = nv * width + nu;
          if (rlParams->isMaskPixel[n] == 0 || assigned[n] != 0) continue;
          assigned[n] = 1;
          stack.push_back(n);
        }
    }
    auto *comp = static_cast<BZ_RlLogoCompLE *>(std::calloc(1, sizeof(BZ_RlLogoCompLE)));
    if (comp == nullptr) return memFullErr;
    *tail = comp;
    tail = &comp->next;
    comp->bounds = Rect{SInt16(r.top + top), SInt16(r.left + left), SInt16(r.top + bottom + 1),
                        SInt16(r.left + right + 1)};
    const SInt32 cw = right - left + 1, ch = bottom - top + 1;
    comp->isMaskPixel = static_cast<UInt8 *>(std::calloc(size_t(cw) * size_t(ch), 1));
    if (comp->isMaskPixel == nullptr) return memFullErr;
    for (SInt32 at : members) comp->isMaskPixel[(at / width - top) * cw + (at % width - left)] = 1;
    comp->numTrgtPix = SInt32(members.size());
    numAssigned += comp->numTrgtPix;
    std::printf("  component %ld,numPixels=%ld,bounds(tlbr)={%hd,%hd,%hd,%hd},perc.=%.2f\n",
                long(rlParams->numConnectedComps), long(comp->numTrgtPix), comp->bounds.top, comp->bounds.left,
                comp->bounds.bottom, comp->bounds.right, double(comp->numTrgtPix) / double(cw * ch));
    ++rlParams->numConnectedComps;
  }
  return noErr;
}

OSStatus BZ_SetupNonTrInterpolation(BZ_RlParams *rlParams, SInt32 numSubTasks) {
  rlParams->logoComps = nullptr;
  rlParams->interpWeights = nullptr;
  OSStatus err = BZ_FindNonTrLogoComponents(rlParams);
  for (BZ_RlLogoCompLE *comp = rlParams->logoComps; comp != nullptr && err == noErr; comp = comp->next)
    err = MakeSourcesAndTargets(rlParams, comp, numSubTasks);
  const SInt32 width = BZ_RlLogoWidth(rlParams->logoRect), height = BZ_RlLogoHeight(rlParams->logoRect);
  if (err == noErr) {
    rlParams->interpWeights = static_cast<float *>(std::malloc(size_t(width + 1) * size_t(height + 1) * sizeof(float)));
    if (rlParams->interpWeights == nullptr) err = memFullErr;
  }
  if (err != noErr) {
    BZ_RlDisposeInterpolation(&rlParams->logoComps, &rlParams->numConnectedComps, &rlParams->interpWeights);
    return err;
  }
  for (SInt32 dv = 0; dv <= height; ++dv)
    for (SInt32 dh = 0; dh <= width; ++dh) rlParams->interpWeights[dv * (width + 1) + dh] = float(BZ_RlInterpWeight(dv, dh));
  for (BZ_RlLogoCompLE *comp = rlParams->logoComps; comp != nullptr && err == noErr; comp = comp->next)
    err = UnfoldWeights(rlParams, comp);
  if (err != noErr) BZ_RlDisposeInterpolation(&rlParams->logoComps, &rlParams->numConnectedComps, &rlParams->interpWeights);
  return err;
}

void BZ_RlDisposeLogoComponent(BZ_RlLogoCompLE *comp) {
  if (comp == nullptr) return;
  std::free(comp->isMaskPixel);
  for (SInt32 i = 0; i < comp->numWorkers; ++i) {
    if (comp->srcPix != nullptr) std::free(comp->srcPix[i]);
    if (comp->srcValues != nullptr) std::free(comp->srcValues[i]);
  }
  std::free(comp->srcPix);
  std::free(comp->srcValues);
  std::free(comp->trgtPix);
  std::free(comp->runs);
  std::free(comp->hWeights);
  std::free(comp->vWeights);
  std::free(comp);
}

void BZ_RlDisposeLogoComponents(BZ_RlLogoCompLE **first) {
  if (first == nullptr) return;
  while (BZ_RlLogoCompLE *comp = *first) {
    *first = comp->next;
    BZ_RlDisposeLogoComponent(comp);
  }
}

void BZ_RlDisposeInterpolation(BZ_RlLogoCompLE **logoComps, SInt32 *numConnectedComps, float **interpWeights) {
  BZ_RlDisposeLogoComponents(logoComps);
  if (numConnectedComps != nullptr) *numConnectedComps = 0;
  if (interpWeights != nullptr) {
    std::free(*interpWeights);
    *interpWeights = nullptr;
  }
}

void BZ_RlKillLogoUsingNonTrMask(const BZ_RlParams *rlParams, SInt32 subTaskNum, UInt8 *outBuffer) {
  if (rlParams->interpWeights == nullptr) return;
  const SInt32 vStep = BZ_RlVStep(rlParams);
  for (const BZ_RlLogoCompLE *comp = rlParams->logoComps; comp != nullptr; comp = comp->next) {
    if (subTaskNum < 0 || subTaskNum >= comp->numWorkers) return;
    BZ_RlLogoSrcPixel *src = comp->srcPix[subTaskNum];
    const SInt32 n = comp->numSrcPix;
    float *ys = comp->srcValues[subTaskNum], *cbs = ys + n, *crs = cbs + n;
    const SInt32 top = comp->bounds.top, left = comp->bounds.left;
    for (SInt32 s = 0; s < n; ++s) {
      BZ_RlLogoSrcPixel &sp = src[s];
      const SInt32 row = top + sp.v, col = left + sp.h;
      const UInt8 *p = BZ_RlPixel(rlParams, outBuffer, row, col);
      sp.y = p[1];
      // The other kind of chroma from a horizontal neighbour that is not a mask pixel, else neutral.
      float other = 128.0f;
      if (!IsMask(rlParams, row, col - 1))
        other = p[-2];
      else if (!IsMask(rlParams, row, col + 1))
        other = p[2];
      sp.cb = col % 2 == 0 ? p[0] : other;
      sp.cr = col % 2 == 0 ? other : p[0];
      ys[s] = sp.y, cbs[s] = sp.cb, crs[s] = sp.cr;
    }
    for (SInt32 t = 0; t < comp->numTrgtPix; ++t) {
      const SInt32 tv = comp->trgtPix[2 * t], th = comp->trgtPix[2 * t + 1];
      const float *cs = (left + th) % 2 != 0 ? crs : cbs;
      float sums[3] = {0, 0, 0};  // weights, weighted luma, weighted chroma
      for (SInt32 r = 0; r < comp->numRuns; ++r) {
        const BZ_RlSrcRun &run = comp->runs[r];
        const SInt32 d = run.v - tv;
        if (d % vStep != 0) continue;  // the other field
        const float *w;
        if (run.vertical)
          w = comp->vWeights + std::abs(run.h - th) * comp->vRowLen + comp->vOffset + d / vStep;
        else
          w = comp->hWeights + std::abs(d / vStep) * comp->hRowLen + comp->hOffset + (run.h - th);
        Accumulate(w, ys + run.first, cs + run.first, run.length, sums);
      }
      if (sums[0] <= 0) continue;
      UInt8 *p = BZ_RlPixel(rlParams, outBuffer, top + tv, left + th);
      p[1] = UInt8(std::clamp<SInt32>(SInt32(sums[1] / sums[0]), 0, 255));
      p[0] = UInt8(std::clamp<SInt32>(SInt32(sums[2] / sums[0]), 0, 255));
    }
  }
}

UInt8 *BZ_RlAllocateAndInit10MinMaxColors(SInt32 numLogoPixels) {
  if (numLogoPixels < 0) return nullptr;
  auto *colors = static_cast<UInt8 *>(std::malloc(size_t(numLogoPixels) * kBZ_RlMinMaxBytes + 1));
  if (colors == nullptr) return nullptr;
  for (SInt32 i = 0; i < numLogoPixels; ++i) {
    std::memset(colors + size_t(i) * kBZ_RlMinMaxBytes, 255, 5);
    std::memset(colors + size_t(i) * kBZ_RlMinMaxBytes + 5, 0, 5);
  }
  return colors;
}
