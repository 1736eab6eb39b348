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

// Sources and targets of one component; its mask and bounds are set.
OSStatus MakeSourcesAndTargets(const BZ_RlParams *p, BZ_RlLogoCompLE *comp, SInt32 numWorkers) {
  const SInt32 vStep = BZ_RlVStep(p);
  const SInt32 w = BZ_RlLogoWidth(comp->bounds), h = BZ_RlLogoHeight(comp->bounds);
  comp->trgtPix = static_cast<UInt16 *>(std::malloc(size_t(comp->numTrgtPix) * 2 * sizeof(UInt16) + 1));
  if (comp->trgtPix == nullptr) return memFullErr;
  // Each source listed once: marks over the bounds grown by vStep rows and one column.
  const SInt32 gw = w + 2, gh = h + 2 * vStep;
  std::vector<UInt8> listed(size_t(gw) * size_t(gh), 0);
  std::vector<BZ_RlLogoSrcPixel> sources;
  sources.reserve(size_t(h + 4) * size_t(w + 2));
  SInt32 t = 0;
  for (SInt32 v = 0; v < h; ++v)
    for (SInt32 u = 0; u < w; ++u) {
      if (comp->isMaskPixel[v * w + u] == 0) continue;
      comp->trgtPix[2 * t] = UInt16(v);
      comp->trgtPix[2 * t + 1] = UInt16(u);
      ++t;
      for (SInt32 dv : {-vStep, 0, vStep})
        for (SInt32 du : {-1, 0, 1}) {
          if (dv == 0 && du == 0) continue;
          const SInt32 sv = v + dv, su = u + du;
          if (IsMask(p, comp->bounds.top + sv, comp->bounds.left + su)) continue;
          UInt8 &mark = listed[size_t(sv + vStep) * gw + size_t(su + 1)];
          if (mark != 0) continue;
          mark = 1;
          sources.push_back(BZ_RlLogoSrcPixel{SInt16(su), SInt16(sv), 0, 0, 0});
        }
    }
  comp->numSrcPix = SInt32(sources.size());
  comp->numWorkers = numWorkers;
  comp->srcPix = static_cast<BZ_RlLogoSrcPixel **>(std::calloc(size_t(numWorkers), sizeof(BZ_RlLogoSrcPixel *)));
  if (comp->srcPix == nullptr) return memFullErr;
  for (SInt32 i = 0; i < numWorkers; ++i) {
    comp->srcPix[i] = static_cast<BZ_RlLogoSrcPixel *>(std::malloc((sources.size() + 1) * sizeof(BZ_RlLogoSrcPixel)));
    if (comp->srcPix[i] == nullptr) return memFullErr;
    std::copy(sources.begin(), sources.end(), comp->srcPix[i]);
  }
  return noErr;
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
  return noErr;
}

void BZ_RlDisposeLogoComponent(BZ_RlLogoCompLE *comp) {
  if (comp == nullptr) return;
  std::free(comp->isMaskPixel);
  if (comp->srcPix != nullptr)
    for (SInt32 i = 0; i < comp->numWorkers; ++i) std::free(comp->srcPix[i]);
  std::free(comp->srcPix);
  std::free(comp->trgtPix);
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
  const float *weights = rlParams->interpWeights;
  if (weights == nullptr) return;
  const SInt32 tableWidth = BZ_RlLogoWidth(rlParams->logoRect) + 1;
  const bool interlaced = rlParams->interlaced;
  for (const BZ_RlLogoCompLE *comp = rlParams->logoComps; comp != nullptr; comp = comp->next) {
    if (subTaskNum < 0 || subTaskNum >= comp->numWorkers) return;
    BZ_RlLogoSrcPixel *src = comp->srcPix[subTaskNum];
    const SInt32 top = comp->bounds.top, left = comp->bounds.left;
    for (SInt32 s = 0; s < comp->numSrcPix; ++s) {
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
      if (col % 2 == 0) {
        sp.cb = p[0];
        sp.cr = other;
      } else {
        sp.cr = p[0];
        sp.cb = other;
      }
    }
    for (SInt32 t = 0; t < comp->numTrgtPix; ++t) {
      const SInt32 tv = comp->trgtPix[2 * t], th = comp->trgtPix[2 * t + 1];
      const bool odd = (left + th) % 2 != 0;
      float sumW = 0, sumY = 0, sumC = 0;
      for (SInt32 s = 0; s < comp->numSrcPix; ++s) {
        const BZ_RlLogoSrcPixel &sp = src[s];
        SInt32 dv = std::abs(sp.v - tv);
        if (interlaced) {
          if (dv % 2 != 0) continue;
          dv /= 2;
        }
        const float w = weights[dv * tableWidth + std::abs(sp.h - th)];
        sumW += w;
        sumY += w * sp.y;
        sumC += w * (odd ? sp.cr : sp.cb);
      }
      if (sumW <= 0) continue;
      UInt8 *p = BZ_RlPixel(rlParams, outBuffer, top + tv, left + th);
      p[1] = UInt8(std::clamp<SInt32>(SInt32(sumY / sumW), 0, 255));
      p[0] = UInt8(std::clamp<SInt32>(SInt32(sumC / sumW), 0, 255));
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
