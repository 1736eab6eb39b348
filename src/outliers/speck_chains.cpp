// Speck chains across frames: property distances, linking of consecutive slots, the chain rule and the
// moving-edge test by block matching.
#include "outliers/speck_chains.h"

#include "general/geometry.h"
#include "outliers/outlier_stage.h"
#include "outliers/speck_shapes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr float kEqualWeights[kBZ_OuNumSpeckDiffWeights] = {0.0f, 0.4f, 0.4f, 0.1f, 0.1f};
constexpr float kMatchWeights[kBZ_OuNumSpeckDiffWeights] = {4.0f / 15, 4.0f / 15, 4.0f / 15, 0.1f, 0.1f};
constexpr float kMinEdgeScore = 0.9f;
constexpr float kMaxMatchDiff = 0.3f;
constexpr float kMaxEqualDiff = 0.2f;
// The smallest size a speck with any coverage has (one pixel at a tenth); it keeps the size term finite for
// a speck whose coverage sums to 0.
constexpr float kMinSpeckSize = 0.1f;
constexpr SInt32 kBlockRows = 8;
constexpr SInt32 kBlockMargin = 8;  // added to the speck's width

// k of a window of 4k + 1 slots, or 0 when the window is not one.
SInt32 WindowK(const BZ_OuParams *ouParams) {
  if (ouParams == nullptr) return 0;
  const SInt32 n = ouParams->numInBuffers;
  if (n < 5 || n > kBZ_OuNumWindowSlots || (n - 1) % 4 != 0) return 0;
  return (n - 1) / 4;
}

// The share of the speck's outer rings within its band; 0 without rings.
float EdgeScore(const BZ_OuSpeck &speck) {
  const SInt32 rings = speck.rgn.edgeSize2 + speck.rgn.edgeSize3;
  return rings > 0 ? speck.numEdgeInBand / float(rings) : 0.0f;
}

bool CentreInBounds(const BZ_OuSpeck &speck, const Rect &bounds) {
  const Point cm{SInt16(SInt32(speck.rgn.cmY)), SInt16(SInt32(speck.rgn.cmX))};
  return QDD_PtInRect(cm, &bounds);
}

// Marks one speck as part of a chain: it stays in the cleaned frame.
void KeepInChain(BZ_OuSpeck *speck, bool clearInitial) {
  speck->inChain = true;
  speck->remove = false;
  if (clearInitial) speck->initiallyRemoved = false;
}

bool RectInFrame(const Rect &r, SInt32 width, SInt32 height) {
  return r.left >= 0 && r.top >= 0 && r.right <= width && r.bottom <= height && r.left < r.right && r.top < r.bottom;
}

Rect OffsetRect(const Rect &r, SInt32 dh, SInt32 dv) {
  return Rect{SInt16(r.top + dv), SInt16(r.left + dh), SInt16(r.bottom + dv), SInt16(r.right + dh)};
}

}  // namespace

// The centre of mass, size, colour and holes are the region's, as the detector measures them
// (BZ_CalcSpeckProperties).
float BZ_OuCalcSpeckDiff(const BZ_OuSpeck *speck1, const BZ_OuSpeck *speck2,
                         const float weight[kBZ_OuNumSpeckDiffWeights]) {
  if (speck1 == nullptr || speck2 == nullptr || weight == nullptr) return 0.0f;
  const RG_Region &r1 = speck1->rgn, &r2 = speck2->rgn;
  float diff = weight[0] * (std::fabs(r1.cmX - r2.cmX) + std::fabs(r1.cmY - r2.cmY)) / 100.0f;

  const float size1 = std::max(r1.size, kMinSpeckSize), size2 = std::max(r2.size, kMinSpeckSize);
  const float s = (size1 + size2) / 2.0f;
  const float f = s > 16.0f ? 1.0f : s < 4.0f ? 0.25f : 0.25f + (s - 4.0f) / 12.0f * 0.75f;
  diff += weight[1] * f * std::fabs(size1 - size2) * (size1 + size2) / (size1 * size2);

  const SInt32 dY = std::abs(SInt32(r1.avColor.Y - r2.avColor.Y));
  const SInt32 dCb = std::abs(SInt32(r1.avColor.Cb - r2.avColor.Cb));
  const SInt32 dCr = std::abs(SInt32(r1.avColor.Cr - r2.avColor.Cr));
  diff += weight[2] * float(dY + dCb + dCr) / 60.0f;

  if (s > 16.0f && (r1.numHoles > 0 || r2.numHoles > 0))
    diff += weight[3] * float(std::abs(r1.numHoles - r2.numHoles));

  float shapeWeight = 0.0f;
  const float shapeDiff = BZ_OuCalcShapeDiffSimple(speck1, speck2, &shapeWeight);
  diff += weight[4] * shapeDiff * shapeWeight;
  return diff;
}

Boolean BZ_OuEqualSpeck(const BZ_OuSpeck *speck1, const BZ_OuSpeck *speck2) {
  if (speck1 == nullptr || speck2 == nullptr) return false;
  if (!CentreInBounds(*speck1, speck2->rgn.bounds) || !CentreInBounds(*speck2, speck1->rgn.bounds)) return false;
  return BZ_OuCalcSpeckDiff(speck1, speck2, kEqualWeights) < kMaxEqualDiff;
}

BZ_OuSpeckLE *BZ_OuFindSpeckInList(BZ_OuSpeckLE *curSpeckList, const BZ_OuSpeck *speck) {
  if (speck == nullptr) return nullptr;
  for (BZ_OuSpeckLE *e = curSpeckList; e != nullptr; e = e->next)
    if (BZ_OuEqualSpeck(&e->speck, speck)) return e;
  return nullptr;
}

void BZ_OuFillOutExpectedSpeck(const BZ_OuSpeck *speck2, BZ_OuSpeck *expSpeck) {
  if (speck2 == nullptr || expSpeck == nullptr) return;
  *expSpeck = BZ_OuSpeck{};
  const RG_Region &r = speck2->rgn;
  RG_Region &e = expSpeck->rgn;
  e.cmX = r.cmX;
  e.cmY = r.cmY;
  e.size = r.size;
  e.avColor = r.avColor;
  e.numHoles = r.numHoles;
  expSpeck->circleDiff = speck2->circleDiff;
  expSpeck->rectDiff = speck2->rectDiff;
  expSpeck->elongRectDiff = speck2->elongRectDiff;
  const BZ_OuSpeck *prev = speck2->prevSpeck;
  if (prev == nullptr) return;
  const RG_Region &p = prev->rgn;
  e.cmX += r.cmX - p.cmX;
  e.cmY += r.cmY - p.cmY;
  e.size += r.size - p.size;
  e.avColor.Y += r.avColor.Y - p.avColor.Y;
  e.avColor.Cb += r.avColor.Cb - p.avColor.Cb;
  e.avColor.Cr += r.avColor.Cr - p.avColor.Cr;
  if (speck2->circleDiff > 0.01f && prev->circleDiff > 0.01f) {
    expSpeck->circleDiff += speck2->circleDiff - prev->circleDiff;
    expSpeck->rectDiff += speck2->rectDiff - prev->rectDiff;
    expSpeck->elongRectDiff += speck2->elongRectDiff - prev->elongRectDiff;
  }
}

BZ_OuSpeckLE *BZ_OuFindSpeckInListByProps(BZ_OuSpeckLE *nextSpeckList, const BZ_OuSpeck *speck2) {
  if (speck2 == nullptr) return nullptr;
  BZ_OuSpeck expected;
  BZ_OuFillOutExpectedSpeck(speck2, &expected);
  BZ_OuSpeckLE *best = nullptr;
  float bestDiff = kMaxMatchDiff;
  for (BZ_OuSpeckLE *e = nextSpeckList; e != nullptr; e = e->next) {
    if (EdgeScore(e->speck) <= kMinEdgeScore) continue;
    const float diff = BZ_OuCalcSpeckDiff(&expected, &e->speck, kMatchWeights);
    if (diff < bestDiff) {
      bestDiff = diff;
      best = e;
    }
  }
  return best;
}

Boolean BZ_OuCompareMatchingSpecks(const BZ_OuSpeck *newMatch, const BZ_OuSpeck *oldMatch, const BZ_OuSpeck *speck3) {
  if (newMatch == nullptr || speck3 == nullptr) return false;
  if (oldMatch == nullptr) return true;
  BZ_OuSpeck expNew, expOld;
  BZ_OuFillOutExpectedSpeck(newMatch, &expNew);
  BZ_OuFillOutExpectedSpeck(oldMatch, &expOld);
  return BZ_OuCalcSpeckDiff(&expOld, speck3, kMatchWeights) > BZ_OuCalcSpeckDiff(&expNew, speck3, kMatchWeights);
}

OSStatus BZ_OuFindSpecksInNextFrame(const BZ_OuParams *ouParams, BZ_OuSpeckLE *const *speckLists, SInt32 slot) {
  if (WindowK(ouParams) == 0 || speckLists == nullptr) return paramErr;
  if (slot < 0 || slot + 1 >= ouParams->numInBuffers) return paramErr;
  for (BZ_OuSpeckLE *e = speckLists[slot]; e != nullptr; e = e->next) {
    BZ_OuSpeck *speck = &e->speck;
    if (EdgeScore(*speck) <= kMinEdgeScore) continue;
    BZ_OuSpeckLE *matchLE = BZ_OuFindSpeckInListByProps(speckLists[slot + 1], speck);
    if (matchLE == nullptr) continue;
    BZ_OuSpeck *match = &matchLE->speck;
    BZ_OuSpeck *oldPartner = match->prevSpeck;
    if (oldPartner == speck) continue;
    if (oldPartner != nullptr && !BZ_OuCompareMatchingSpecks(speck, oldPartner, match)) continue;
    if (oldPartner != nullptr) oldPartner->nextSpeck = nullptr;
    // A speck linked again drops its earlier match, so that no speck keeps a partner that points elsewhere.
    if (speck->nextSpeck != nullptr && speck->nextSpeck->prevSpeck == speck) speck->nextSpeck->prevSpeck = nullptr;
    speck->nextSpeck = match;
    match->prevSpeck = speck;
  }
  return noErr;
}

OSStatus BZ_OuFindFalseSpecks(const BZ_OuParams *ouParams, UInt8 *const *bufferList, BZ_OuSpeckLE *const *speckLists) {
  const SInt32 k = WindowK(ouParams);
  if (k == 0 || bufferList == nullptr || speckLists == nullptr) return paramErr;
  for (BZ_OuSpeckLE *e = speckLists[2 * k]; e != nullptr; e = e->next)
    if (e->speck.remove) BZ_OuValidateSpeck(ouParams, &e->speck, bufferList, speckLists);
  return noErr;
}

Boolean BZ_OuValidateSpeck(const BZ_OuParams *ouParams, BZ_OuSpeck *speck, UInt8 *const *bufferList,
                           BZ_OuSpeckLE *const *speckLists) {
  const SInt32 k = WindowK(ouParams);
  if (k == 0 || speck == nullptr || bufferList == nullptr || speckLists == nullptr) return false;
  SInt32 lo = k, hi = 3 * k + 1;
  for (SInt32 i = 0; i < k; ++i) {
    if (bufferList[k + i] == nullptr) lo = k + i + 1;
    if (bufferList[3 * k - i] == nullptr) hi = 3 * k - i;
  }
  BZ_OuSpeck *chain[kBZ_OuNumWindowSlots] = {};
  SInt32 numChain = 0;
  const BZ_OuSpeck *cur = speck;
  for (SInt32 slot = 2 * k - 1; slot >= lo; --slot) {
    BZ_OuSpeckLE *found = cur->prevSpeck != nullptr ? BZ_OuFindSpeckInList(speckLists[slot], cur->prevSpeck) : nullptr;
    if (found == nullptr) return false;
    chain[numChain++] = &found->speck;
    cur = &found->speck;
  }
  cur = speck;
  for (SInt32 slot = 2 * k + 1; slot < hi; ++slot) {
    BZ_OuSpeckLE *found = cur->nextSpeck != nullptr ? BZ_OuFindSpeckInList(speckLists[slot], cur->nextSpeck) : nullptr;
    if (found == nullptr) return false;
    chain[numChain++] = &found->speck;
    cur = &found->speck;
  }
  KeepInChain(speck, false);
  for (SInt32 i = 0; i < numChain; ++i) KeepInChain(chain[i], true);
  std::printf("Marking all as part of chain\n");
  std::printf("Speck bounds:\n");
  GL_PrintRect(&speck->rgn.bounds);
  return true;
}

// The window's frames around its centre, 2k - 1 and 2k + 1, are the neighbours the speck is matched in.
Boolean BZ_OuIsSpeckPartOfEdge(const BZ_OuParams *ouParams, const BZ_OuSpeck *speck, UInt8 *const *bufferList,
                               SInt32 minSpeckListIndex, SInt32 maxSpeckListIndex) {
  const SInt32 k = WindowK(ouParams);
  if (k == 0 || speck == nullptr || bufferList == nullptr) return true;
  const SInt32 m = 2 * k;
  const bool tryPrev = m > std::max(minSpeckListIndex, 0) && bufferList[m - 1] != nullptr;
  const bool tryNext = std::min(maxSpeckListIndex, ouParams->numInBuffers) > m + 1 && bufferList[m + 1] != nullptr;
  if (!tryPrev && !tryNext) return true;
  SInt64 sum = 0;
  if (tryPrev) sum += BZ_OuFindBestBlockMatch(ouParams, speck, bufferList, false, tryNext);
  if (tryNext) sum += BZ_OuFindBestBlockMatch(ouParams, speck, bufferList, true, tryPrev);
  const SInt64 numTried = (tryPrev ? 1 : 0) + (tryNext ? 1 : 0);
  return sum > SInt64(GL_GetRectArea(&speck->rgn.bounds)) * 8 * numTried;
}

SInt32 BZ_OuFindBestBlockMatch(const BZ_OuParams *ouParams, const BZ_OuSpeck *speck, UInt8 *const *bufferList,
                               Boolean matchNext, Boolean bothBuffersAvailable) {
  const SInt32 k = WindowK(ouParams);
  if (k == 0 || speck == nullptr || bufferList == nullptr) return kBZ_OuBlockDiffNone;
  const UInt8 *inBuffer2 = bufferList[2 * k - 1], *inBuffer3 = bufferList[2 * k + 1];
  const UInt8 *matchBuffer = matchNext ? inBuffer3 : inBuffer2;
  if (matchBuffer == nullptr || (bothBuffersAvailable && (inBuffer2 == nullptr || inBuffer3 == nullptr)))
    return kBZ_OuBlockDiffNone;
  const SInt32 width = ouParams->width, height = ouParams->height;
  const Rect &b = speck->rgn.bounds;
  const SInt32 blockWidth = b.right - b.left + kBlockMargin;
  if (blockWidth <= 0 || blockWidth > width || kBlockRows > height) return kBZ_OuBlockDiffNone;

  // The reference block, centred on the rounded centre of mass, is moved inside the frame where it would
  // reach past it.
  const SInt32 cmH = SInt32(std::floor(speck->rgn.cmX + 0.5f)), cmV = SInt32(std::floor(speck->rgn.cmY + 0.5f));
  const SInt32 left = std::clamp(cmH - blockWidth / 2, SInt32(0), width - blockWidth);
  const SInt32 top = std::clamp(cmV - kBlockRows / 2, SInt32(0), height - kBlockRows);
  const Rect bounds{SInt16(top), SInt16(left), SInt16(top + kBlockRows), SInt16(left + blockWidth)};

  static constexpr SInt32 kOffsets[5][2] = {{-1, -1}, {1, -1}, {0, 0}, {-1, 1}, {1, 1}};  // (h, v)
  SInt32 best = kBZ_OuBlockDiffNone;
  Rect bestBounds = bounds;
  for (SInt32 step = 8; step >= 1; step /= 2) {
    const Rect centre = bestBounds;
    for (const auto &o : kOffsets) {
      const Rect cur = OffsetRect(centre, o[0] * step, o[1] * step);
      if (!RectInFrame(cur, width, height)) continue;
      const SInt32 diff = BZ_OuCalcBlockDiff(width, &bounds, &cur, inBuffer2, inBuffer3, matchBuffer,
                                             bothBuffersAvailable);
      if (diff < best) {
        best = diff;
        bestBounds = cur;
      }
    }
  }
  return best;
}

SInt32 BZ_OuCalcBlockDiff(SInt32 width, const Rect *bounds, const Rect *curBounds, const UInt8 *inBuffer2,
                          const UInt8 *inBuffer3, const UInt8 *matchBuffer, Boolean bothBuffersAvailable) {
  if (bounds == nullptr || curBounds == nullptr || matchBuffer == nullptr || width <= 0) return kBZ_OuBlockDiffNone;
  if (bothBuffersAvailable && (inBuffer2 == nullptr || inBuffer3 == nullptr)) return kBZ_OuBlockDiffNone;
  const SInt32 rows = bounds->bottom - bounds->top, cols = bounds->right - bounds->left;
  if (rows != curBounds->bottom - curBounds->top || cols != curBounds->right - curBounds->left)
    return kBZ_OuBlockDiffNone;
  SInt64 sum = 0;
  for (SInt32 r = 0; r < rows; ++r) {
    const size_t refRow = size_t(bounds->top + r) * size_t(width) + size_t(bounds->left);
    const size_t curRow = size_t(curBounds->top + r) * size_t(width) + size_t(curBounds->left);
    for (SInt32 c = 0; c < cols; ++c) {
      // Luma: byte 1 of each '2vuy' pixel pair half, as everywhere else in the stage.
      const size_t ref = 2 * (refRow + size_t(c)) + 1, cur = 2 * (curRow + size_t(c)) + 1;
      const SInt32 refValue =
          bothBuffersAvailable ? (SInt32(inBuffer2[ref]) + SInt32(inBuffer3[ref])) / 2 : SInt32(matchBuffer[ref]);
      sum += std::abs(refValue - SInt32(matchBuffer[cur]));
    }
  }
  return SInt32(std::min<SInt64>(sum, kBZ_OuBlockDiffNone));
}

SInt32 BZ_OuAddSpeckMatchCandidate(float diff, BZ_OuSpeck *speck, float diffs[kBZ_OuNumMatchCandidates],
                                   BZ_OuSpeck *candidates[kBZ_OuNumMatchCandidates]) {
  if (diffs == nullptr || candidates == nullptr) return -1;
  SInt32 pos = 0;
  while (pos < kBZ_OuNumMatchCandidates && !(diff < diffs[pos])) ++pos;
  if (pos == kBZ_OuNumMatchCandidates) return -1;
  for (SInt32 i = kBZ_OuNumMatchCandidates - 1; i > pos; --i) {
    diffs[i] = diffs[i - 1];
    candidates[i] = candidates[i - 1];
  }
  diffs[pos] = diff;
  candidates[pos] = speck;
  return pos;
}

void BZ_OuGetSpeckListIndexBounds(BZ_OuSpeckLE *const *speckLists, SInt32 numInBuffers, SInt32 *minSpeckListIndex,
                                  SInt32 *maxSpeckListIndex) {
  const SInt32 n = speckLists != nullptr ? std::max(numInBuffers, SInt32(0)) : 0;
  SInt32 lo = 0, hi = n;
  for (SInt32 i = 0; i < n / 2; ++i) {
    const SInt32 j = n - 1 - i;
    if (speckLists[j] == nullptr) hi = j;
    if (speckLists[i] == nullptr) lo = i + 1;
  }
  if (minSpeckListIndex != nullptr) *minSpeckListIndex = lo;
  if (maxSpeckListIndex != nullptr) *maxSpeckListIndex = hi;
}

Boolean BZ_OuInvalidPrevSpeckBoundsInList(const BZ_OuSpeckLE *speckList) {
  for (const BZ_OuSpeckLE *e = speckList; e != nullptr; e = e->next) {
    const BZ_OuSpeck *prev = e->speck.prevSpeck;
    if (prev != nullptr && GL_GetRectArea(&prev->rgn.bounds) <= 0) return true;
  }
  return false;
}
