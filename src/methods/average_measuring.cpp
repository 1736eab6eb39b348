// Averaging of two captures: measuring the shift and the weight (see the header).
#include "methods/average_measuring.h"

#include "color/histogram_matching.h"
#include "engine/runtime/frame_analysis.h"
#include "general/statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

constexpr SInt32 kPhaseFirstPixel = 24;
constexpr SInt32 kNumShifts = 2 * kBZ_AvMaxShift + 1;
constexpr int kWeightRow = 9;

// (span - offset) / 20 made odd, at least 1.
SInt32 OddLineStep(SInt32 span) {
  SInt32 step = span / 20;
  if ((step & 1) == 0) step -= 1;
  return std::max<SInt32>(step, 1);
}

// Noise of the averaged frame with a caller's scratch band of kBZ_AvBandLines lines.
float NoiseLevelWithBand(SInt32 inWidth, SInt32 width, SInt32 height, float bestShift, float curWeight,
                         float *tempLine, const UInt8 *inBuffer1, const UInt8 *inBuffer2, UInt8 *band) {
  SInt32 lowest[kBZ_NumMinNoiseLevels] = {kBZ_NoNoiseLevel, kBZ_NoNoiseLevel, kBZ_NoNoiseLevel};
  const ptrdiff_t lineSize = ptrdiff_t(width) * 2;
  const SInt32 numBands = (height - 72) / kBZ_AvBandLines;
  for (SInt32 b = 0; b < numBands; ++b) {
    const ptrdiff_t offset = (ptrdiff_t(b) * kBZ_AvBandLines + 36) * lineSize;
    BZ_AverageBand(width, bestShift, curWeight, tempLine, inBuffer1 + offset, inBuffer2 + offset, band);
    // The measure starts at picture column 0, 8 pixels into the buffer line.
    BZ_GetBandNoiseLevelOptUni(band + 16, inWidth, SInt32(lineSize), lowest);
  }
  return float(SInt64(lowest[0]) + lowest[1] + lowest[2]) / 196608.0f;
}

struct NoiseTrial {
  SInt32 inWidth, width, height;
  float bestShift;
  float *tempLine;
  const UInt8 *inBuffer1, *inBuffer2;
  UInt8 *band;
};

float NoiseAtWeight(void *refCon, float weight) {
  const NoiseTrial *t = static_cast<const NoiseTrial *>(refCon);
  return NoiseLevelWithBand(t->inWidth, t->width, t->height, t->bestShift, weight, t->tempLine, t->inBuffer1,
                            t->inBuffer2, t->band);
}

// Index of the smallest value (the first of equal ones).
int MinIndex(const float *values, int n) { return int(std::min_element(values, values + n) - values); }

void FineRow(BZ_AvNoiseAtWeightProc noiseAt, void *refCon, float centre, float row[kWeightRow]) {
  for (int k = 0; k < kWeightRow; ++k) row[k] = noiseAt(refCon, centre - 0.25f + 0.0625f * float(k));
}

}  // namespace

void BZ_AvCreateHistogramMapping(SInt32 outWidth, SInt32 width, SInt32 outHeight, const UInt8 *inBuffer1,
                                 const UInt8 *inBuffer2, UInt8 yTable[256]) {
  UInt32 count1[256] = {};
  UInt32 count2[256] = {};
  const ptrdiff_t lineSize = ptrdiff_t(width) * 2;
  const SInt32 step = OddLineStep(outHeight - 72);
  const SInt32 pixels = std::clamp<SInt32>(outWidth, 0, width);
  for (SInt32 k = 0; k < kBZ_AvNumPhaseLines; ++k) {
    const SInt32 row = 36 + k * step;
    if (row >= outHeight) break;
    const UInt8 *line1 = inBuffer1 + row * lineSize;
    const UInt8 *line2 = inBuffer2 + row * lineSize;
    for (SInt32 x = 0; x < pixels; ++x) {
      ++count1[line1[2 * x + 1]];
      ++count2[line2[2 * x + 1]];
    }
  }
  CO_MatchHistograms(count1, count2, yTable);
}

float BZ_AvGetRelativePhase(SInt32 inWidth, const UInt8 *linePtr1, const UInt8 *linePtr2,
                            const UInt8 yTable[256]) {
  float diff[kNumShifts];
  for (SInt32 s = -kBZ_AvMaxShift; s <= kBZ_AvMaxShift; ++s) {
    SInt32 sum = 0;
    for (SInt32 x = kPhaseFirstPixel; x <= inWidth - 9; ++x)
      sum += std::abs(int(yTable[linePtr1[2 * x + 1]]) - int(linePtr2[2 * (x - s) + 1]));
    diff[s + kBZ_AvMaxShift] = float(sum);
  }
  float position, value;
  if (!GL_GetArrayMinimumF_Ext(kNumShifts, diff, &position, &value)) return float(kBZ_AvNoPhase);
  return position - float(kBZ_AvMaxShift);
}

SInt32 BZ_AvGetSignedLineDiff(SInt32 width, const UInt8 *linePtr1, const UInt8 *linePtr2, const UInt8 yTable[256]) {
  SInt32 sum = 0;
  for (SInt32 x = 0; x < width; ++x) sum += int(yTable[linePtr1[2 * x + 1]]) - int(linePtr2[2 * x + 1]);
  return sum;
}

float BZ_AvGetFrameNoiseLevel(SInt32 inWidth, SInt32 width, SInt32 height, float bestShift, float curWeight,
                              float *tempLine, const UInt8 *inBuffer1, const UInt8 *inBuffer2) {
  std::vector<UInt8> band(size_t(width) * 2 * kBZ_AvBandLines);
  return NoiseLevelWithBand(inWidth, width, height, bestShift, curWeight, tempLine, inBuffer1, inBuffer2,
                            band.data());
}

float BZ_AvSearchBestWeight(BZ_AvNoiseAtWeightProc noiseAt, void *refCon) {
  float coarse[kWeightRow];
  for (int k = 0; k < kWeightRow; ++k) coarse[k] = noiseAt(refCon, 0.125f * float(k));
  const int c = MinIndex(coarse, kWeightRow);
  float centre = std::clamp(0.125f * float(c), 0.25f, 0.75f);

  float fine[kWeightRow];
  FineRow(noiseAt, refCon, centre, fine);
  const int f = MinIndex(fine, kWeightRow);
  if (f < 2 && c >= 3) {
    centre -= 0.125f;
    FineRow(noiseAt, refCon, centre, fine);
  } else if (f >= 7 && c <= 5) {
    centre += 0.125f;
    FineRow(noiseAt, refCon, centre, fine);
  }
  float p, value;
  GL_GetArrayMinimumF_Ext(kWeightRow, fine, &p, &value);
  // No usable minimum (every value +infinity or NaN) leaves the centre.
  if (!(p >= 0.0f && p <= float(kWeightRow - 1))) p = 4.0f;
  return std::clamp(centre - 0.25f + 0.0625f * p, 0.0f, 1.0f);
}

float BZ_AvGetBestWeight(SInt32 inWidth, SInt32 width, SInt32 height, float bestShift, float *tempLine,
                         const UInt8 *inBuffer1, const UInt8 *inBuffer2) {
  std::vector<UInt8> band(size_t(width) * 2 * kBZ_AvBandLines);
  NoiseTrial trial{inWidth, width, height, bestShift, tempLine, inBuffer1, inBuffer2, band.data()};
  return BZ_AvSearchBestWeight(NoiseAtWeight, &trial);
}

void BZ_GetFrameBestShiftAndWeight(const BZ_AvParams *avParams, const UInt8 *inBuffer1, const UInt8 *inBuffer2,
                                   float *bestShift, float *bestWeight, float *weight) {
  const SInt32 width = avParams->width, height = avParams->height, inWidth = avParams->inWidth;
  const ptrdiff_t lineSize = ptrdiff_t(width) * 2;
  UInt8 yTable[256];
  BZ_AvCreateHistogramMapping(inWidth, width, height, inBuffer1, inBuffer2, yTable);

  const SInt32 step = OddLineStep(height - 40);
  float phases[kBZ_AvNumPhaseLines];
  SInt32 n = 0;
  for (SInt32 k = 0; k < kBZ_AvNumPhaseLines; ++k) {
    const SInt32 row = 20 + k * step;
    if (row >= height) break;
    const float phase =
        BZ_AvGetRelativePhase(inWidth, inBuffer1 + row * lineSize, inBuffer2 + row * lineSize, yTable);
    if (phase != float(kBZ_AvNoPhase)) phases[n++] = phase;
  }
  if (n == 0) {
    *bestShift = 0.0f;
    *bestWeight = 0.5f;
    *weight = 0.0f;
    return;
  }
  float stdDev;
  std::vector<Boolean> outliers(size_t(n), false);
  *bestShift = GL_GetAverageNoOutliers(phases, n, &stdDev, outliers.data());
  *weight = std::sqrt(float(n));
  *bestWeight = BZ_AvGetBestWeight(inWidth, width, height, *bestShift, avParams->analysisLine, inBuffer1, inBuffer2);
}

Boolean BZ_AvCombineSampleResults(const BZ_AvDlgTaskData *avDlgTaskData, float *shift, float *weight) {
  double sumWeight = 0.0, sumShift = 0.0, sumBestWeight = 0.0;
  for (int s = 0; s < kBZ_NumTestFrames; ++s) {
    const float w = avDlgTaskData->weight[s];
    const float bs = avDlgTaskData->bestShift[s];
    const float bw = avDlgTaskData->bestWeight[s];
    if (!(w > 0.0f) || !std::isfinite(w) || !std::isfinite(bs) || !std::isfinite(bw)) continue;
    sumWeight += w;
    sumShift += double(w) * bs;
    sumBestWeight += double(w) * bw;
  }
  if (!(sumWeight > 0.0)) return false;
  *shift = std::clamp(float(sumShift / sumWeight), -float(kBZ_AvMaxShift), float(kBZ_AvMaxShift));
  *weight = std::clamp(float(sumBestWeight / sumWeight), 0.0f, 1.0f);
  return true;
}
