// Speck and scratch replacement.
#include "outliers/speck_replacement.h"

#include "outliers/motion_vectors.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

void BZ_OuReplaceSpeckPixels(const BZ_OuParams *ouParams, const SInt32 *avPixelDiff, UInt8 *const *inBuffers,
                             UInt8 *outBuffer, const UInt16 *data, void *const *mv, BZ_OuSpeckLE *speckList) {
  if (ouParams == nullptr || ouParams->sett == nullptr || inBuffers == nullptr || outBuffer == nullptr) return;
  const SInt32 centre = 2 * ouParams->sett->numConstPix;
  long removedCount = 0, nonRemovedCount = 0;
  for (BZ_OuSpeckLE *s = speckList; s != nullptr; s = s->next) {
    if (!s->speck.remove) {
      ++nonRemovedCount;
      continue;
    }
    if (s->speck.interpolateSpatially)
      BZ_OuInterpolateSpeckSpatially(ouParams, &s->speck, inBuffers[centre], outBuffer);
    else
      BZ_OuInterpolateSpeckTemporally(ouParams, avPixelDiff, inBuffers, outBuffer, data, mv, &s->speck);
    ++removedCount;
  }
  std::printf("BZ_OuReplaceSpeckPixels: removedCount = %ld, nonRemovedCount = %ld\n", removedCount, nonRemovedCount);
}

void BZ_OuInterpolateSpeckSpatially(const BZ_OuParams *ouParams, const BZ_OuSpeck *speck, const UInt8 *inBuffer,
                                    UInt8 *outBuffer) {
  if (ouParams == nullptr || speck == nullptr || inBuffer == nullptr || outBuffer == nullptr) return;
  const RG_Region &rgn = speck->rgn;
  if (rgn.pixels == nullptr || ouParams->width <= 0) return;
  const float c1 = float(0.1 * std::exp(-1.875));
  const float c2 = float(0.1 * double(c1) * std::exp(-1.25));
  const SInt32 width = ouParams->width;
  const SInt32 *ring = rgn.pixels + rgn.numPixels;
  for (SInt32 i = 0; i < rgn.numPixels; ++i) {
    const SInt32 p = rgn.pixels[i];
    const SInt32 x0 = p % width, y0 = p / width;
    float wY = 0, wC = 0, sY = 0, sC = 0;
    for (SInt32 r = 0; r < rgn.edgeSize1; ++r) {
      const SInt32 q = ring[r];
      const SInt32 dx = std::abs(q % width - x0), dy = std::abs(q / width - y0);
      const float d2 = float(dx * dx + dy * dy);
      const float d = std::sqrt(d2);
      const float w = 25.0f * std::exp(-d2 / 2.25f) + std::exp(-d / 2.0f) + c1 * std::exp(-d / 8.0f) + c2 / d;
      wY += w;
      sY += w * float(inBuffer[2 * q + 1]);
      if (((q - p) & 1) == 0) {
        wC += w;
        sC += w * float(inBuffer[2 * q]);
      }
    }
    if (wY <= 0.0f) continue;  // no ring: nothing to fill from
    outBuffer[2 * p] = wC > 0.0f ? UInt8(0.5f + sC / wC) : inBuffer[2 * p];
    outBuffer[2 * p + 1] = UInt8(0.5f + sY / wY);
  }
}

void BZ_OuInterpolateSpeckTemporally(const BZ_OuParams *ouParams, const SInt32 *avPixelDiff,
                                     UInt8 *const *inBuffers, UInt8 *outBuffer, const UInt16 *data,
                                     void *const *mv, const BZ_OuSpeck *speck) {
  if (ouParams == nullptr || ouParams->sett == nullptr || avPixelDiff == nullptr || inBuffers == nullptr ||
      outBuffer == nullptr || speck == nullptr || speck->rgn.pixels == nullptr)
    return;
  const SInt32 k = ouParams->sett->numConstPix;
  if (k < 1 || k > (kBZ_OuNumWindowSlots - 1) / 4) return;  // no overflow for any k
  SInt32 min = 0, max = 0;
  BZ_OuGetInBufferIndexBounds(ouParams->sett->maxAvPixelDiff, inBuffers, 4 * k + 1, avPixelDiff, &min, &max);
  const SInt32 lo = std::max(min, k), hi = std::min(max, 3 * k + 1);
  const UInt8 *prev = inBuffers[2 * k - 1], *next = inBuffers[2 * k + 1];
  const bool prevUsable = 2 * k > lo && prev != nullptr;
  const bool nextUsable = 2 * k + 1 < hi && next != nullptr;
  if (!prevUsable && !nextUsable) {
    // Both neighbours lie beyond a scene change or outside the movie: what they show is another picture, so
    // the speck is filled from its own frame instead.
    if (inBuffers[2 * k] != nullptr) BZ_OuInterpolateSpeckSpatially(ouParams, speck, inBuffers[2 * k], outBuffer);
    return;
  }
  SInt32 indexes[kBZ_OuNumWindowSlots];
  for (SInt32 i = 0; i < speck->rgn.numPixels; ++i) {
    const SInt32 p = speck->rgn.pixels[i];
    SInt32 prevIndex = p, nextIndex = p;
    bool usePrev = prevUsable, useNext = nextUsable;
    if (data != nullptr && mv != nullptr && (data[p] & kBZ_OuInMvChainFlag) != 0) {
      // The pixel's content moved: take it from where the motion vectors carried it. A chain marked for
      // another window may find neither neighbour here; the pixel then keeps to its own place.
      SInt32 alignedLo = 2 * k, alignedHi = 2 * k + 1;
      BZ_GetAlignedPixelIndexes(ouParams, mv, min, max, &alignedLo, &alignedHi, p, indexes);
      const bool alignedPrev = 2 * k > alignedLo, alignedNext = 2 * k + 1 < alignedHi;
      if (alignedPrev || alignedNext) {
        usePrev = alignedPrev;
        useNext = alignedNext;
        if (alignedPrev) prevIndex = indexes[2 * k - 1];
        if (alignedNext) nextIndex = indexes[2 * k + 1];
      }
    }
    for (SInt32 b = 0; b < 2; ++b) {
      UInt8 &out = outBuffer[2 * p + b];
      if (usePrev && useNext)
        out = UInt8((prev[2 * prevIndex + b] + next[2 * nextIndex + b]) / 2);
      else if (usePrev)
        out = prev[2 * prevIndex + b];
      else
        out = next[2 * nextIndex + b];
    }
  }
}
