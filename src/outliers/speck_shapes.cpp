// Speck shapes: shape fits, orientation difference, standard specks, their subchunks and the morph between two.
#include "outliers/speck_shapes.h"

#include "general/statistics.h"
#include "outliers/heaps.h"
#include "outliers/outlier_stage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kCell9 = 10.0 / 3.0;  // side of a subchunk cell in raster units
constexpr SInt32 kMiddle9 = 4;
constexpr SInt32 kRing[8] = {0, 1, 2, 5, 8, 7, 6, 3};  // the outer subchunk cells, clockwise
constexpr SInt32 kNoMatch = 0x7FFFFFFF;

SInt32 Wanted9(SInt32 cell) { return cell == kMiddle9 ? 12 : 11; }

// Whole number nearest to a value that is meant to be one: 0.1 towards its sign, then truncated.
SInt32 RoundNearWhole(double value) { return SInt32(value > 0 ? value + 0.1 : value - 0.1); }

SInt32 Sign(SInt32 x) { return (x > 0) - (x < 0); }

// The cell one step from `from` towards `to` in each axis that differs, on a grid `side` cells wide.
SInt32 StepCell(SInt32 from, SInt32 to, SInt32 side) {
  const SInt32 c = from % side + Sign(to % side - from % side), r = from / side + Sign(to / side - from / side);
  return r * side + c;
}

SInt32 Manhattan(SInt32 a, SInt32 b, SInt32 side) {
  return std::abs(a % side - b % side) + std::abs(a / side - b / side);
}

// The pairs (surplus, deficit) of cells with opposite excesses at the smallest Manhattan distance, scanning
// a < b.
void SmallestDistancePairs(const SInt32 *excess, SInt32 numCells, SInt32 side, BZ_OuCellPair *pairs, SInt32 *numPairs) {
  if (numPairs == nullptr) return;
  *numPairs = 0;
  if (excess == nullptr || pairs == nullptr) return;
  SInt32 best = 0x7FFFFFFF, n = 0;
  for (SInt32 a = 0; a < numCells; ++a) {
    if (excess[a] == 0) continue;
    for (SInt32 b = a + 1; b < numCells; ++b) {
      if (excess[b] == 0 || (excess[a] > 0) == (excess[b] > 0)) continue;
      const SInt32 d = Manhattan(a, b, side);
      if (d > best) continue;
      if (d < best) {
        best = d;
        n = 0;
      }
      pairs[n++] = excess[a] > 0 ? BZ_OuCellPair{a, b} : BZ_OuCellPair{b, a};
    }
  }
  *numPairs = n;
}

// Moves the unit at unitPos of bin `from` into bin `to` among numCells bins.
void MoveUnit(BZ_OuBin *bins, SInt32 numCells, SInt32 from, SInt32 to, SInt32 unitPos) {
  if (bins == nullptr || from < 0 || from >= numCells || to < 0 || to >= numCells) return;
  if (unitPos < 1 || unitPos > bins[from][0] || bins[to][0] >= kBZ_OuBinStride - 1) return;
  BZ_OuAddIndexToBin100(bins[to], bins[from][unitPos]);
  BZ_OuRemoveIndexFromBin100(bins[from], unitPos);
}

SInt32 SumOfUnits(const SInt32 speck_100[kBZ_OuNumCells100]) {
  SInt32 sum = 0;
  for (SInt32 i = 0; i < kBZ_OuNumCells100; ++i) {
    if (speck_100[i] < 0) return -1;
    sum += speck_100[i];
  }
  return sum;
}

// Moves a unit along the closest pair until no cell's count differs from its wanted count. The chooser
// gives, for one pair and its step cell, the best unit and its cost; a later pair wins only when strictly
// cheaper. Every move brings a surplus one cell nearer to a deficit, so the loop ends; the bound only guards
// against counts that cannot balance.
template <class Chooser>
void Balance(BZ_OuBin *bins, SInt32 numCells, SInt32 side, const SInt32 *wanted, Chooser choose) {
  std::vector<BZ_OuCellPair> pairs(kBZ_OuMaxCellPairs);
  std::vector<SInt32> tried;
  SInt32 excess[kBZ_OuNumCells100];
  for (SInt32 round = 0; round < 100 * kBZ_OuStandardUnits; ++round) {
    for (SInt32 c = 0; c < numCells; ++c) excess[c] = bins[c][0] - wanted[c];
    SInt32 numPairs = 0;
    SmallestDistancePairs(excess, numCells, side, pairs.data(), &numPairs);
    if (numPairs == 0) return;
    SInt32 bestFrom = -1, bestStep = -1, bestPos = 0;
    double bestCost = 0;
    tried.clear();
    for (SInt32 p = 0; p < numPairs; ++p) {
      const SInt32 from = pairs[size_t(p)].from, step = StepCell(from, pairs[size_t(p)].to, side);
      // Pairs sharing a surplus cell and a step cell offer the same move; only the first can win.
      if (std::find(tried.begin(), tried.end(), from * numCells + step) != tried.end()) continue;
      tried.push_back(from * numCells + step);
      SInt32 pos = 0;
      double cost = 0;
      choose(from, step, &pos, &cost);
      if (bestFrom < 0 || cost < bestCost) {
        bestFrom = from;
        bestStep = step;
        bestPos = pos;
        bestCost = cost;
      }
    }
    MoveUnit(bins, numCells, bestFrom, bestStep, bestPos);
  }
}

// The stress term of two units (starting indexes iu, iw) lying in cells a and b.
SInt32 StressTerm(SInt32 a, SInt32 b, SInt32 iu, SInt32 iw) {
  if (a == b) return 0;
  return std::abs(std::abs(a % 10 - b % 10) - std::abs(iu % 10 - iw % 10)) +
         std::abs(std::abs(a / 10 - b / 10) - std::abs(iu / 10 - iw / 10));
}

// The shape fit of the speck against a model raster.
float FitAgainstModel(const BZ_OuParams *ouParams, const UInt8 *frame, const BZ_OuSpeck *speck,
                      const float model_100f[kBZ_OuNumCells100]) {
  if (ouParams == nullptr || frame == nullptr || speck == nullptr) return 0.0f;
  SInt32 model_100[kBZ_OuNumCells100], speck_100[kBZ_OuNumCells100];
  GL_FloatPt model_9[kBZ_OuNumCells9], speck_9[kBZ_OuNumCells9];
  std::vector<SInt32> bins(size_t(kBZ_OuNumCells9) * kBZ_OuBinStride);
  auto *bin = reinterpret_cast<BZ_OuBin *>(bins.data());
  BZ_OuStandardSpeckFloatToDiscrete(model_100f, model_100);
  BZ_OuFindSubchunks(model_100, model_9, bin);
  BZ_OuSpeckToStandardSpeck(ouParams, frame, speck, speck_100);
  BZ_OuFindSubchunks(speck_100, speck_9, bin);
  return float(BZ_OuCalcStandShapeDiff(model_100, model_9, speck_9, bin));
}

}  // namespace

// ---- Shape fits ----

OSStatus BZ_OuCalcSpeckShape(const BZ_OuParams *ouParams, UInt16 *data, const UInt8 *frame, BZ_OuSpeck *speck,
                             SInt32 *pixelList) {
  if (ouParams == nullptr || data == nullptr || frame == nullptr || speck == nullptr || pixelList == nullptr ||
      speck->rgn.numPixels <= 0 || speck->rgn.pixels == nullptr)
    return paramErr;
  // The region's holes are not searched yet (the region library has no hole search); the fits below read
  // only the region's own pixels, so they do not depend on it.
  const float circle = BZ_OuGetCircleDiff(ouParams, frame, speck);
  const float rect = BZ_OuGetRectDiff(ouParams, frame, speck);
  const float elongRect = BZ_OuGetElongRectDiff(ouParams, frame, speck);
  const float sum = circle + rect + elongRect;
  if (sum > 0.0f) {
    speck->circleDiff = circle / sum;
    speck->rectDiff = rect / sum;
    speck->elongRectDiff = elongRect / sum;
  } else {
    // A speck that fits every model perfectly fits none better than another.
    speck->circleDiff = speck->rectDiff = speck->elongRectDiff = 1.0f / 3.0f;
  }
  return noErr;
}

float BZ_OuGetCircleDiff(const BZ_OuParams *ouParams, const UInt8 *frame, const BZ_OuSpeck *speck) {
  float model[kBZ_OuNumCells100];
  GL_GetPixelWeightsInCircle2(10, model);
  return FitAgainstModel(ouParams, frame, speck, model);
}

float BZ_OuGetRectDiff(const BZ_OuParams *ouParams, const UInt8 *frame, const BZ_OuSpeck *speck) {
  float model[kBZ_OuNumCells100];
  BZ_OuInitRectSpeck100f(model);
  return FitAgainstModel(ouParams, frame, speck, model);
}

float BZ_OuGetElongRectDiff(const BZ_OuParams *ouParams, const UInt8 *frame, const BZ_OuSpeck *speck) {
  float model[kBZ_OuNumCells100];
  BZ_OuInitElongRectSpeck100f(model);
  return FitAgainstModel(ouParams, frame, speck, model);
}

namespace {
void InitBar(float speck_100f[kBZ_OuNumCells100], SInt32 firstColumn, SInt32 lastColumn) {
  for (SInt32 i = 0; i < kBZ_OuNumCells100; ++i) {
    const SInt32 r = i / 10, c = i % 10;
    speck_100f[i] = r >= 1 && r <= 8 && c >= firstColumn && c <= lastColumn ? 1.0f : 0.0f;
  }
}
}  // namespace

void BZ_OuInitRectSpeck100f(float speck_100f[kBZ_OuNumCells100]) {
  if (speck_100f != nullptr) InitBar(speck_100f, 3, 6);
}

void BZ_OuInitElongRectSpeck100f(float speck_100f[kBZ_OuNumCells100]) {
  if (speck_100f != nullptr) InitBar(speck_100f, 4, 5);
}

// ---- Comparing two specks ----

float BZ_OuCalcShapeDiffSimple(const BZ_OuSpeck *speck1, const BZ_OuSpeck *speck2, float *weight) {
  if (speck1 == nullptr || speck2 == nullptr) return 0.0f;
  if (weight != nullptr) *weight = speck1->orientationWeight * speck2->orientationWeight;
  // Orientations are directions: o and o + pi (0 and pi, or the -pi of a wide box) are the same.
  const double d = std::fmod(std::fabs(double(speck1->orientation) - double(speck2->orientation)), kPi);
  return float(std::min(d, kPi - d) / kPi);
}

float BZ_OuCalcShapeDiff(const BZ_OuParams *ouParams, const UInt8 *frame1, const UInt8 *frame2,
                         const BZ_OuSpeck *speck1, const BZ_OuSpeck *speck2) {
  if (ouParams == nullptr || frame1 == nullptr || frame2 == nullptr || speck1 == nullptr || speck2 == nullptr)
    return 0.0f;
  SInt32 speck1_100[kBZ_OuNumCells100], speck2_100[kBZ_OuNumCells100];
  GL_FloatPt speck1_9[kBZ_OuNumCells9], speck2_9[kBZ_OuNumCells9];
  std::vector<SInt32> bins(size_t(kBZ_OuNumCells9) * kBZ_OuBinStride);
  auto *bin = reinterpret_cast<BZ_OuBin *>(bins.data());
  BZ_OuSpeckToStandardSpeck(ouParams, frame1, speck1, speck1_100);
  BZ_OuFindSubchunks(speck1_100, speck1_9, bin);
  BZ_OuSpeckToStandardSpeck(ouParams, frame2, speck2, speck2_100);
  BZ_OuFindSubchunks(speck2_100, speck2_9, bin);  // the bins end as speck 2's
  return float(BZ_OuCalcStandShapeDiff(speck1_100, speck1_9, speck2_9, bin));
}

SInt32 BZ_OuCalcStandShapeDiff(const SInt32 speck1_100[kBZ_OuNumCells100], const GL_FloatPt speck1_9[kBZ_OuNumCells9],
                               const GL_FloatPt speck2_9[kBZ_OuNumCells9], const BZ_OuBin bin[kBZ_OuNumCells9]) {
  if (speck1_100 == nullptr || speck1_9 == nullptr || speck2_9 == nullptr || bin == nullptr) return kNoMatch;
  // The final morph balances speck 2's units onto speck 1's raster; with other totals it could not.
  if (SumOfUnits(speck1_100) != kBZ_OuStandardUnits || BZ_OuCountBin9(bin) != kBZ_OuStandardUnits) return kNoMatch;
  for (SInt32 b = 0; b < kBZ_OuNumCells9; ++b)
    for (SInt32 u = 1; u <= bin[b][0]; ++u)
      if (bin[b][u] < 0 || bin[b][u] >= kBZ_OuNumCells100) return kNoMatch;
  SInt32 rotations[8], numRotations = 0;
  BZ_OuMatchSubchunks(speck1_9, speck2_9, rotations, &numRotations);
  // Per-call scratch (100 x 101 SInt32), so concurrent callers never share it.
  std::vector<SInt32> scratch(size_t(kBZ_OuNumCells100) * kBZ_OuBinStride);
  auto *morph = reinterpret_cast<BZ_OuBin *>(scratch.data());
  SInt32 best = kNoMatch;
  for (SInt32 n = 0; n < numRotations; ++n) {
    BZ_OuDoInitialMorph(speck1_9, speck2_9, bin, rotations[n], morph);
    best = std::min(best, BZ_OuDoFinalMorph(speck1_100, morph));
  }
  return best;
}

// ---- Standard speck ----

void BZ_OuSpeckToStandardSpeck(const BZ_OuParams *ouParams, const UInt8 *frame, const BZ_OuSpeck *speck,
                               SInt32 speck_100[kBZ_OuNumCells100]) {
  if (speck_100 == nullptr) return;
  float raster[kBZ_OuNumCells100] = {};
  if (ouParams == nullptr || ouParams->sett == nullptr || ouParams->width <= 0 || frame == nullptr ||
      speck == nullptr || speck->rgn.numPixels <= 0 || speck->rgn.pixels == nullptr) {
    BZ_OuStandardSpeckFloatToDiscrete(raster, speck_100);
    return;
  }
  const RG_Region &rgn = speck->rgn;
  const SInt32 width = ouParams->width, minDiff = ouParams->sett->minDiff;
  const SInt32 w = rgn.bounds.right - rgn.bounds.left, h = rgn.bounds.bottom - rgn.bounds.top;
  const SInt32 speckDim = std::max(std::max(w, h), SInt32(1));
  const double offH = (speckDim - w) / 2.0, offV = (speckDim - h) / 2.0;
  const double scale = 10.0 / speckDim;
  const double pixelArea = scale * scale;
  auto lumaOf = [&](SInt32 index) { return SInt32(frame[2 * size_t(index) + 1]); };
  const bool bright = double(speck->min + speck->max) / 2.0 < lumaOf(rgn.pixels[0]);
  auto weightOf = [&](SInt32 Y) -> double {
    if (bright) {
      if (Y <= speck->max) return 0.0;
      return Y < speck->max + minDiff ? double(Y - speck->max) / minDiff : 1.0;
    }
    if (Y >= speck->min) return 0.0;
    return Y > speck->min - minDiff ? double(speck->min - Y) / minDiff : 1.0;
  };
  bool anyWeight = false;
  for (SInt32 i = 0; i < rgn.numPixels && !anyWeight; ++i) anyWeight = weightOf(lumaOf(rgn.pixels[i])) > 0.0;
  for (SInt32 i = 0; i < rgn.numPixels; ++i) {
    const SInt32 index = rgn.pixels[i];
    // Without any pixel beyond the band, the first pixel stands for the speck.
    const double weight = anyWeight ? weightOf(lumaOf(index)) : i == 0 ? 1.0 : 0.0;
    if (weight <= 0.0) continue;
    const double x0 = (index % width - rgn.bounds.left + offH) * scale, x1 = x0 + scale;
    const double y0 = (index / width - rgn.bounds.top + offV) * scale, y1 = y0 + scale;
    const SInt32 c0 = std::max(SInt32(std::floor(x0)), SInt32(0)), c1 = std::min(SInt32(std::ceil(x1)), SInt32(10));
    const SInt32 r0 = std::max(SInt32(std::floor(y0)), SInt32(0)), r1 = std::min(SInt32(std::ceil(y1)), SInt32(10));
    for (SInt32 r = r0; r < r1; ++r) {
      const double oy = std::min(y1, double(r + 1)) - std::max(y0, double(r));
      if (oy <= 0) continue;
      for (SInt32 c = c0; c < c1; ++c) {
        const double ox = std::min(x1, double(c + 1)) - std::max(x0, double(c));
        if (ox > 0) raster[r * 10 + c] += float(ox * oy / pixelArea * weight);
      }
    }
  }
  BZ_OuStandardSpeckFloatToDiscrete(raster, speck_100);
}

void BZ_OuStandardSpeckFloatToDiscrete(const float speck_100f[kBZ_OuNumCells100], SInt32 speck_100[kBZ_OuNumCells100]) {
  if (speck_100f == nullptr || speck_100 == nullptr) return;
  float value[kBZ_OuNumCells100];
  double sum = 0;
  for (SInt32 i = 0; i < kBZ_OuNumCells100; ++i) {
    value[i] = std::isfinite(speck_100f[i]) && speck_100f[i] > 0.0f ? speck_100f[i] : 0.0f;
    sum += value[i];
  }
  if (!(sum > 0) || !std::isfinite(sum)) {
    std::fill(speck_100, speck_100 + kBZ_OuNumCells100, 1);
    return;
  }
  const float scale = float(double(kBZ_OuStandardUnits) / sum);
  // down: keyed by the (negative) loss of rounding down, so its top loses least; up: likewise for the gain.
  HE_HeapElement down[kBZ_OuNumCells100 + 1], up[kBZ_OuNumCells100 + 1];
  SInt32 numDown = 0, numUp = 0;
  for (SInt32 i = 0; i < kBZ_OuNumCells100; ++i) {
    value[i] *= scale;
    HE_AddToHeap(down, &numDown, i, SInt32(256.0f * (std::floor(value[i]) - value[i])));
    HE_AddToHeap(up, &numUp, i, SInt32(256.0f * (value[i] - std::ceil(value[i]))));
  }
  float rounded[kBZ_OuNumCells100];
  double excess = 0, largestLoss = -1, largestGain = -1;
  SInt32 largestLossCell = -1, largestGainCell = -1;
  for (SInt32 n = 0; n < kBZ_OuNumCells100; ++n) {
    if (excess > 0) {
      const SInt32 cell = down[1].index;
      HE_RemoveFromHeap(down, &numDown, 1);
      HE_RemoveObjectFromHeap(up, &numUp, cell);
      rounded[cell] = std::floor(value[cell]);
      const double loss = double(value[cell]) - rounded[cell];
      excess -= loss;
      if (loss > largestLoss) {
        largestLoss = loss;
        largestLossCell = cell;
      }
    } else {
      const SInt32 cell = up[1].index;
      HE_RemoveFromHeap(up, &numUp, 1);
      HE_RemoveObjectFromHeap(down, &numDown, cell);
      rounded[cell] = std::ceil(value[cell]);
      const double gain = double(rounded[cell]) - value[cell];
      excess += gain;
      if (gain > largestGain) {
        largestGain = gain;
        largestGainCell = cell;
      }
    }
  }
  // The running excess stays within one unit, so at most one unit is left over either way.
  const SInt32 left = RoundNearWhole(excess);
  if (left > 0 && largestGainCell >= 0) rounded[largestGainCell] -= 1.0f;
  if (left < 0 && largestLossCell >= 0) rounded[largestLossCell] += 1.0f;
  for (SInt32 i = 0; i < kBZ_OuNumCells100; ++i) speck_100[i] = SInt32(rounded[i] + 0.1f);
}

// ---- Subchunks ----

void BZ_OuFindSubchunks(const SInt32 speck_100[kBZ_OuNumCells100], GL_FloatPt speck_9[kBZ_OuNumCells9],
                        BZ_OuBin bin[kBZ_OuNumCells9]) {
  if (speck_100 == nullptr || speck_9 == nullptr || bin == nullptr) return;
  BZ_OuDistribute10x10over3x3(speck_100, bin);
  if (SumOfUnits(speck_100) == kBZ_OuStandardUnits) {
    SInt32 wanted[kBZ_OuNumCells9];
    for (SInt32 c = 0; c < kBZ_OuNumCells9; ++c) wanted[c] = Wanted9(c);
    Balance(bin, kBZ_OuNumCells9, 3, wanted, [&](SInt32 from, SInt32 step, SInt32 *pos, double *cost) {
      float d = 0;
      BZ_OuFindBestUnitToMove3x3(bin, from, step, pos, &d);
      *cost = d;
    });
  }
  BZ_OuCalcAvPos3x3(bin, speck_9);
}

void BZ_OuDistribute10x10over3x3(const SInt32 speck_100[kBZ_OuNumCells100], BZ_OuBin bin[kBZ_OuNumCells9]) {
  if (speck_100 == nullptr || bin == nullptr) return;
  for (SInt32 k = 0; k < kBZ_OuNumCells9; ++k) bin[k][0] = 0;
  for (SInt32 i = 0; i < kBZ_OuNumCells100; ++i) {
    const SInt32 u = speck_100[i];
    if (u <= 0) continue;
    const double c = i % 10, r = i / 10;
    SInt32 copies[kBZ_OuNumCells9];
    float remainder[kBZ_OuNumCells9];
    for (SInt32 k = 0; k < kBZ_OuNumCells9; ++k) {
      const double kx = kCell9 * (k % 3), ky = kCell9 * (k / 3);
      const double ox = std::max(0.0, std::min(c + 1, kx + kCell9) - std::max(c, kx));
      const double oy = std::max(0.0, std::min(r + 1, ky + kCell9) - std::max(r, ky));
      const double share = u * ox * oy;
      copies[k] = SInt32(share + 0.5);
      remainder[k] = float(copies[k] - share);
    }
    BZ_OuCorrectExcessPixelDistribution(copies, remainder);
    for (SInt32 k = 0; k < kBZ_OuNumCells9; ++k)
      for (SInt32 n = 0; n < copies[k]; ++n) BZ_OuAddIndexToBin100(bin[k], i);
  }
}

void BZ_OuCorrectExcessPixelDistribution(SInt32 copies[kBZ_OuNumCells9], const float remainder[kBZ_OuNumCells9]) {
  if (copies == nullptr || remainder == nullptr) return;
  double sum = 0;
  for (SInt32 k = 0; k < kBZ_OuNumCells9; ++k) sum += remainder[k];
  const SInt32 excess = RoundNearWhole(sum);
  if (excess == 0) return;
  // Too few copies: the cells rounded down most get one more; too many: those rounded up most one fewer.
  const float sign = excess < 0 ? -1.0f : 1.0f;
  HE_HeapElement heap[kBZ_OuNumCells9 + 1];
  SInt32 size = 0;
  for (SInt32 k = 0; k < kBZ_OuNumCells9; ++k) HE_AddToHeap(heap, &size, k, SInt32(sign * 256.0f * remainder[k]));
  for (SInt32 n = 0; n < std::abs(excess) && size > 0; ++n) {
    const SInt32 k = heap[1].index;
    HE_RemoveFromHeap(heap, &size, 1);
    if (excess < 0)
      ++copies[k];
    else if (copies[k] > 0)
      --copies[k];
  }
}

void BZ_OuCalcAvPos3x3(const BZ_OuBin bin[kBZ_OuNumCells9], GL_FloatPt speck_9[kBZ_OuNumCells9]) {
  if (bin == nullptr || speck_9 == nullptr) return;
  for (SInt32 k = 0; k < kBZ_OuNumCells9; ++k) {
    float h = 0, v = 0;
    for (SInt32 u = 1; u <= bin[k][0]; ++u) {
      const GL_FloatPt p = BZ_Index100toPt(bin[k][u]);
      h += p.h;
      v += p.v;
    }
    speck_9[k] = GL_FloatPt{h / float(Wanted9(k)), v / float(Wanted9(k))};
  }
}

void BZ_OuSortPairsIn3x3(const SInt32 excess[kBZ_OuNumCells9], BZ_OuCellPair pairs[kBZ_OuMaxCellPairs],
                         SInt32 *numPairs) {
  SmallestDistancePairs(excess, kBZ_OuNumCells9, 3, pairs, numPairs);
}

void BZ_OuFindBestUnitToMove3x3(const BZ_OuBin bin[kBZ_OuNumCells9], SInt32 from, SInt32 stepCell, SInt32 *unitPos,
                                float *distanceSq) {
  if (bin == nullptr || unitPos == nullptr || distanceSq == nullptr || from < 0 || from >= kBZ_OuNumCells9 ||
      stepCell < 0 || stepCell >= kBZ_OuNumCells9)
    return;
  const float left = float(kCell9 * (stepCell % 3)), top = float(kCell9 * (stepCell / 3));
  const float right = float(kCell9 * (stepCell % 3 + 1)), bottom = float(kCell9 * (stepCell / 3 + 1));
  *unitPos = 0;
  for (SInt32 u = 1; u <= bin[from][0]; ++u) {
    const GL_FloatPt p = BZ_Index100toPt(bin[from][u]);
    const float dh = std::max({left - p.h, 0.0f, p.h - right}), dv = std::max({top - p.v, 0.0f, p.v - bottom});
    const float d = dh * dh + dv * dv;
    if (*unitPos == 0 || d < *distanceSq) {
      *unitPos = u;
      *distanceSq = d;
    }
  }
}

void BZ_OuMoveUnitValueIn3x3(BZ_OuBin bin[kBZ_OuNumCells9], SInt32 from, SInt32 to, SInt32 unitPos) {
  MoveUnit(bin, kBZ_OuNumCells9, from, to, unitPos);
}

// ---- Morphing ----

void BZ_OuMatchSubchunks(const GL_FloatPt speck1_9[kBZ_OuNumCells9], const GL_FloatPt speck2_9[kBZ_OuNumCells9],
                         SInt32 rotations[8], SInt32 *numRotations) {
  if (numRotations != nullptr) *numRotations = 0;
  if (speck1_9 == nullptr || speck2_9 == nullptr || rotations == nullptr || numRotations == nullptr) return;
  double total[8];
  SInt32 best = 0;
  for (SInt32 r = 0; r < 8; ++r) {
    total[r] = 0;
    for (SInt32 k = 0; k < 8; ++k) {
      const GL_FloatPt a = speck1_9[kRing[(k + r) % 8]], b = speck2_9[kRing[k]];
      total[r] += std::hypot(double(a.h) - b.h, double(a.v) - b.v);
    }
    if (total[r] < total[best]) best = r;
  }
  rotations[(*numRotations)++] = best;
  for (SInt32 r = 0; r < 8; ++r)
    if (r != best && total[r] < 1.1 * total[best]) rotations[(*numRotations)++] = r;
}

void BZ_OuDoInitialMorph(const GL_FloatPt speck1_9[kBZ_OuNumCells9], const GL_FloatPt speck2_9[kBZ_OuNumCells9],
                         const BZ_OuBin bin[kBZ_OuNumCells9], SInt32 rotation, BZ_OuBin morph[kBZ_OuNumCells100]) {
  if (speck1_9 == nullptr || speck2_9 == nullptr || bin == nullptr || morph == nullptr) return;
  for (SInt32 i = 0; i < kBZ_OuNumCells100; ++i) morph[i][0] = 0;
  BZ_OuTranslateMiddleValue(speck1_9, speck2_9, bin, morph);
  for (SInt32 n = 0; n < 8; ++n) {
    const SInt32 cell2 = kRing[n], cell1 = kRing[((rotation % 8 + 8) + n) % 8];
    const GL_FloatPt pos1 = speck1_9[cell1], pos2 = speck2_9[cell2];
    const double shiftH = double(pos1.h) - pos2.h, shiftV = double(pos1.v) - pos2.v;
    float cosA = 1, sinA = 0, perc = 1;
    GL_FloatPt shift1{0, 0};
    BZ_OuGetOuterPixelTransform(pos1, pos2, &cosA, &sinA, &shift1, &perc);
    for (SInt32 u = 1; u <= bin[cell2][0]; ++u) {
      const GL_FloatPt p = BZ_Index100toPt(bin[cell2][u]);
      double h = perc * (p.h + shiftH), v = perc * (p.v + shiftV);
      if (perc < 1.0f) {
        const double ph = p.h - 5.0, pv = p.v - 5.0;
        h += (1.0 - perc) * (5.0 + cosA * ph - sinA * pv + shift1.h);
        v += (1.0 - perc) * (5.0 + sinA * ph + cosA * pv + shift1.v);
      }
      const SInt32 cell = BZ_PtToIndex100(GL_FloatPt{float(h), float(v)});
      if (morph[cell][0] < kBZ_OuBinStride - 1) BZ_OuAddIndexToBin100(morph[cell], bin[cell2][u]);
    }
  }
}

void BZ_OuTranslateMiddleValue(const GL_FloatPt speck1_9[kBZ_OuNumCells9], const GL_FloatPt speck2_9[kBZ_OuNumCells9],
                               const BZ_OuBin bin[kBZ_OuNumCells9], BZ_OuBin morph[kBZ_OuNumCells100]) {
  if (speck1_9 == nullptr || speck2_9 == nullptr || bin == nullptr || morph == nullptr) return;
  const float dh = speck1_9[kMiddle9].h - speck2_9[kMiddle9].h, dv = speck1_9[kMiddle9].v - speck2_9[kMiddle9].v;
  for (SInt32 u = 1; u <= bin[kMiddle9][0]; ++u) {
    const GL_FloatPt p = BZ_Index100toPt(bin[kMiddle9][u]);
    const SInt32 cell = BZ_PtToIndex100(GL_FloatPt{p.h + dh, p.v + dv});
    if (morph[cell][0] < kBZ_OuBinStride - 1) BZ_OuAddIndexToBin100(morph[cell], bin[kMiddle9][u]);
  }
}

void BZ_OuGetOuterPixelTransform(GL_FloatPt pos1, GL_FloatPt pos2, float *cosAngle, float *sinAngle,
                                 GL_FloatPt *shift1, float *perc) {
  if (cosAngle == nullptr || sinAngle == nullptr || shift1 == nullptr || perc == nullptr) return;
  const double h1 = pos1.h - 5.0, v1 = pos1.v - 5.0, h2 = pos2.h - 5.0, v2 = pos2.v - 5.0;
  const double d1 = std::hypot(h1, v1), d2 = std::hypot(h2, v2);
  *cosAngle = 1.0f;
  *sinAngle = 0.0f;
  *shift1 = GL_FloatPt{float(h1 - h2), float(v1 - v2)};
  // Near the centre a direction means nothing: the subchunk is only shifted.
  if (d1 < 0.1 || d2 < 0.1) {
    *perc = 1.0f;
    return;
  }
  const double c = (h1 * h2 + v1 * v2) / (d1 * d2), s = (h2 * v1 - v2 * h1) / (d1 * d2);
  *cosAngle = float(c);
  *sinAngle = float(s);
  *shift1 = GL_FloatPt{float(h1 - (c * h2 - s * v2)), float(v1 - (s * h2 + c * v2))};
  double dmin = 1e30;
  for (SInt32 k : kRing) {
    const GL_FloatPt centre = BZ_Index9toPt(k);
    dmin = std::min(dmin, std::hypot(double(pos2.h) - centre.h, double(pos2.v) - centre.v));
  }
  *perc = float(dmin / (dmin + d2));
}

SInt32 BZ_OuDoFinalMorph(const SInt32 wanted_100[kBZ_OuNumCells100], BZ_OuBin morph[kBZ_OuNumCells100]) {
  if (wanted_100 == nullptr || morph == nullptr) return kNoMatch;
  Balance(morph, kBZ_OuNumCells100, 10, wanted_100, [&](SInt32 from, SInt32 step, SInt32 *pos, double *cost) {
    SInt32 diff = 0;
    BZ_OuFindBestUnitToMove10x10(morph, from, step, pos, &diff);
    *cost = diff;
  });
  return BZ_OuCalcMorphStress(morph);
}

void BZ_OuMoveUnitValueIn10x10(BZ_OuBin morph[kBZ_OuNumCells100], SInt32 from, SInt32 to, SInt32 unitPos) {
  MoveUnit(morph, kBZ_OuNumCells100, from, to, unitPos);
}

void BZ_OuSortPairsIn10x10(const SInt32 excess[kBZ_OuNumCells100], BZ_OuCellPair pairs[kBZ_OuMaxCellPairs],
                           SInt32 *numPairs) {
  SmallestDistancePairs(excess, kBZ_OuNumCells100, 10, pairs, numPairs);
}

void BZ_OuFindBestUnitToMove10x10(const BZ_OuBin morph[kBZ_OuNumCells100], SInt32 from, SInt32 to, SInt32 *unitPos,
                                  SInt32 *stressDiff) {
  if (morph == nullptr || unitPos == nullptr || stressDiff == nullptr || from < 0 || from >= kBZ_OuNumCells100) return;
  *unitPos = 0;
  for (SInt32 u = 1; u <= morph[from][0]; ++u) {
    // Units of one starting index in one cell move alike: only the first can win.
    if (std::find(morph[from] + 1, morph[from] + u, morph[from][u]) != morph[from] + u) continue;
    const SInt32 d = BZ_OuCalcMorphStressDiff(morph, from, u, to);
    if (*unitPos == 0 || d < *stressDiff) {
      *unitPos = u;
      *stressDiff = d;
    }
  }
}

SInt32 BZ_OuCalcMorphStress(const BZ_OuBin morph[kBZ_OuNumCells100]) {
  if (morph == nullptr) return 0;
  SInt32 stress = 0;
  for (SInt32 a = 0; a < kBZ_OuNumCells100; ++a)
    for (SInt32 b = a + 1; b < kBZ_OuNumCells100; ++b)
      for (SInt32 u = 1; u <= morph[a][0]; ++u)
        for (SInt32 w = 1; w <= morph[b][0]; ++w) stress += StressTerm(a, b, morph[a][u], morph[b][w]);
  return stress;
}

SInt32 BZ_OuCalcMorphStressDiff(const BZ_OuBin morph[kBZ_OuNumCells100], SInt32 from, SInt32 unitPos, SInt32 to) {
  if (morph == nullptr || from < 0 || from >= kBZ_OuNumCells100 || to < 0 || to >= kBZ_OuNumCells100 ||
      unitPos < 1 || unitPos > morph[from][0])
    return 0;
  const SInt32 iu = morph[from][unitPos];
  SInt32 diff = 0;
  for (SInt32 c = 0; c < kBZ_OuNumCells100; ++c)
    for (SInt32 w = 1; w <= morph[c][0]; ++w)
      if (c != from || w != unitPos) diff += StressTerm(to, c, iu, morph[c][w]) - StressTerm(from, c, iu, morph[c][w]);
  return diff;
}

// ---- Raster geometry and bins ----

GL_FloatPt BZ_Index100toPt(SInt32 i) { return GL_FloatPt{float(i % 10) + 0.5f, float(i / 10) + 0.5f}; }

GL_FloatPt BZ_Index9toPt(SInt32 i) {
  return GL_FloatPt{3.3333333f * (float(i % 3) + 0.5f), 3.3333333f * (float(i / 3) + 0.5f)};
}

SInt32 BZ_PtToIndex100(GL_FloatPt p) {
  // The cell whose square holds the point, so that a cell's centre maps back to the cell itself.
  auto cellOf = [](float x) { return std::isfinite(x) ? SInt32(std::clamp(std::floor(x), 0.0f, 9.0f)) : 0; };
  return 10 * cellOf(p.v) + cellOf(p.h);
}

void BZ_OuAddIndexToBin100(BZ_OuBin bin, SInt32 index) {
  if (bin == nullptr || bin[0] < 0 || bin[0] >= kBZ_OuBinStride - 1) return;
  bin[++bin[0]] = index;
}

void BZ_OuRemoveIndexFromBin100(BZ_OuBin bin, SInt32 unitPos) {
  if (bin == nullptr || unitPos < 1 || unitPos > bin[0]) return;
  std::copy(bin + unitPos + 1, bin + bin[0] + 1, bin + unitPos);
  --bin[0];
}

SInt32 BZ_OuCountBin9(const BZ_OuBin bin[kBZ_OuNumCells9]) {
  if (bin == nullptr) return 0;
  SInt32 count = 0;
  for (SInt32 k = 0; k < kBZ_OuNumCells9; ++k) count += bin[k][0];
  return count;
}

// ---- Trace ----

namespace {
void PrintRows(SInt32 rows, SInt32 columns, auto valueAt) {
  for (SInt32 r = 0; r < rows; ++r) {
    for (SInt32 c = 0; c < columns; ++c) std::printf("%ld,", long(valueAt(r * columns + c)));
    std::printf("\n");
  }
}
}  // namespace

void BZ_OuPrint10x10Raster(const SInt32 speck_100[kBZ_OuNumCells100]) {
  if (speck_100 != nullptr) PrintRows(10, 10, [&](SInt32 i) { return speck_100[i]; });
}

void BZ_OuPrintBin9(const BZ_OuBin bin[kBZ_OuNumCells9]) {
  if (bin != nullptr) PrintRows(3, 3, [&](SInt32 i) { return bin[i][0]; });
}

void BZ_OuPrintBin100(const BZ_OuBin morph[kBZ_OuNumCells100]) {
  if (morph != nullptr) PrintRows(10, 10, [&](SInt32 i) { return morph[i][0]; });
}

void BZ_OuPrint3x3PtRaster(const GL_FloatPt speck_9[kBZ_OuNumCells9]) {
  if (speck_9 == nullptr) return;
  for (SInt32 r = 0; r < 3; ++r) {
    for (SInt32 c = 0; c < 3; ++c) std::printf("(%.2f,%.2f),", double(speck_9[r * 3 + c].h), double(speck_9[r * 3 + c].v));
    std::printf("\n");
  }
}
