// The analysis of varying brightness: curve, extrema, regularity and correction factors.
#include "methods/varbr_analysis.h"

#include "engine/runtime/project_types.h"
#include "engine/runtime/shell_senders.h"
#include "general/memory_lists.h"
#include "general/minimum_smoothing.h"
#include "general/statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

constexpr OSStatus kPeriodNotFoundErr = 5023;  // kBZ_VbPeriodNotFndErr
constexpr SInt32 kMaxExtraExtrema = 4;

// The runs of both lists during the alternating walk.
struct Walk {
  SInt32 numFactors, range;
  const SInt32 *minIndex, *maxIndex;
  Boolean findNextMax = false;
  SInt32 minStart = 0, minEnd = 0, minLen = 0;
  SInt32 maxStart = 0, maxEnd = 0, maxLen = 0;

  bool Start() {
    BZ_VbStartMinMaxRangeSearch(numFactors, range, minIndex, maxIndex, &findNextMax, &minStart, &minEnd, &minLen,
                                &maxStart, &maxEnd, &maxLen);
    return minLen >= range && maxLen >= range;
  }
  // One step: the next run of the kind due. False when the walk ends; *foundMax tells which kind was found.
  bool Step(bool *foundMax) {
    *foundMax = findNextMax;
    if (findNextMax) {
      maxStart = minStart + 1;
      BZ_GetNextConstIndexInterval(numFactors, range, maxIndex, &maxStart, &maxEnd, &maxLen);
      findNextMax = false;
    } else {
      minStart = maxStart + 1;
      BZ_GetNextConstIndexInterval(numFactors, range, minIndex, &minStart, &minEnd, &minLen);
      findNextMax = true;
    }
    return minLen >= range && maxLen >= range;
  }
  bool PastLimit() const {
    const SInt32 limit = numFactors - 2 * range;
    return findNextMax ? maxStart >= limit : minStart >= limit;
  }
};

}  // namespace

void BZ_VbCorrectRelBrOutliers(float *relBr, SInt32 numFactors) {
  const SInt32 m = numFactors - 1;
  if (relBr == nullptr || m <= 0) return;
  float mean = 0.0f;
  for (SInt32 i = 0; i < m; ++i) mean += relBr[i];
  mean /= float(m);
  float dev = 0.0f;
  for (SInt32 i = 0; i < m; ++i) dev += std::fabs(relBr[i] - mean);
  dev /= float(m);
  SInt32 last = 0;  // the first index after the last good ratio
  for (SInt32 i = 0; i < m; ++i) {
    if (!(std::fabs(relBr[i] - mean) < 3.0f * dev)) continue;
    if (last < i) {
      const float a = last > 0 ? relBr[last - 1] : relBr[i];
      const float b = i == numFactors - 2 ? a : relBr[i];
      for (SInt32 j = last; j < i; ++j) relBr[j] = a + (b - a) * (float(j - last) + 0.5f) / float(i - last);
    }
    last = i + 1;
  }
}

void BZ_GetNextConstIndexInterval(SInt32 numFactors, SInt32 range, const SInt32 *index, SInt32 *indexStart,
                                  SInt32 *indexEnd, SInt32 *curLen) {
  if (index == nullptr || indexStart == nullptr || indexEnd == nullptr || curLen == nullptr) return;
  const SInt32 limit = numFactors - range;
  *indexEnd = *indexStart;
  // Entries from the limit on were never written.
  if (*indexStart < 0 || *indexStart >= limit) {
    *curLen = 0;
    return;
  }
  SInt32 value = index[*indexStart];
  *curLen = 1;
  for (SInt32 i = *indexStart + 1; i < limit; ++i) {
    *indexEnd = i;
    if (index[i] != value) {
      if (*curLen >= range) return;
      *indexStart = i;
      value = index[i];
      *curLen = 1;
    } else {
      ++*curLen;
    }
  }
}

void BZ_VbStartMinMaxRangeSearch(SInt32 numFactors, SInt32 range, const SInt32 *minIndex, const SInt32 *maxIndex,
                                 Boolean *findNextMax, SInt32 *minIndexStart, SInt32 *minIndexEnd, SInt32 *curMinLen,
                                 SInt32 *maxIndexStart, SInt32 *maxIndexEnd, SInt32 *curMaxLen) {
  *findNextMax = false;
  *minIndexStart = *maxIndexStart = 0;
  BZ_GetNextConstIndexInterval(numFactors, range, minIndex, minIndexStart, minIndexEnd, curMinLen);
  BZ_GetNextConstIndexInterval(numFactors, range, maxIndex, maxIndexStart, maxIndexEnd, curMaxLen);
  if (*curMinLen < range || *curMaxLen < range) return;
  if (*minIndexStart > *maxIndexStart + 1) {
    *findNextMax = true;  // the max came first
  } else if (*maxIndexStart > *minIndexStart) {
    *findNextMax = false;  // the min came first
  } else if (*maxIndexEnd > *minIndexStart) {
    // Both start together: the min that follows the max.
    *minIndexStart = *maxIndexStart + 1;
    BZ_GetNextConstIndexInterval(numFactors, range, minIndex, minIndexStart, minIndexEnd, curMinLen);
    *findNextMax = true;
  } else {
    *maxIndexStart = *minIndexStart + 1;
    BZ_GetNextConstIndexInterval(numFactors, range, maxIndex, maxIndexStart, maxIndexEnd, curMaxLen);
    *findNextMax = false;
  }
}

SInt32 BZ_VbFindNumMinMaxIndexesForRange(const double *absBr, SInt32 numFactors, SInt32 range, SInt32 *minIndex,
                                         SInt32 *maxIndex) {
  if (absBr == nullptr || minIndex == nullptr || maxIndex == nullptr || range < 1) return 0;
  for (SInt32 i = 0; i < numFactors - range; ++i) {
    double lo = 0, hi = 0;
    SInt32 loIndex = 0, hiIndex = 0;
    GL_GetArrayMinMaxF64(range, absBr + i, &lo, &hi, &loIndex, &hiIndex);
    minIndex[i] = i + std::max<SInt32>(loIndex, 0);
    maxIndex[i] = i + std::max<SInt32>(hiIndex, 0);
  }
  Walk walk{numFactors, range, minIndex, maxIndex};
  if (!walk.Start()) return 0;
  SInt32 score = walk.minLen + walk.maxLen;
  bool foundMax = false;
  while (walk.Step(&foundMax)) {
    score += foundMax ? walk.minLen : walk.maxLen;
    if (walk.PastLimit()) break;
  }
  return score;
}

SInt32 BZ_VbGetMinMax(const double *absBr, SInt32 numFactors, SInt32 maxRange, const SInt32 *maxIndex,
                      const SInt32 *minIndex, float *minMax, SInt32 *minMaxIndex) {
  if (absBr == nullptr || maxIndex == nullptr || minIndex == nullptr || minMax == nullptr || minMaxIndex == nullptr)
    return 0;
  Walk walk{numFactors, maxRange, minIndex, maxIndex};
  if (!walk.Start()) return 0;
  SInt32 count = 0;
  auto add = [&](SInt32 runStart) {
    if (count >= numFactors) return;
    const SInt32 position = runStart + maxRange - 1;
    minMaxIndex[count] = position;
    minMax[count] = float(absBr[position]);
    ++count;
  };
  if (walk.findNextMax) {
    add(walk.maxStart);
    add(walk.minStart);
  } else {
    add(walk.minStart);
    add(walk.maxStart);
  }
  bool foundMax = false;
  while (walk.Step(&foundMax)) {
    add(foundMax ? walk.maxStart : walk.minStart);
    if (walk.PastLimit()) break;
  }
  return count;
}

SInt32 BZ_VbGetNextIndexBetweenMinMax(const SInt32 *indexList, SInt32 numFactors, SInt32 range, SInt32 index1,
                                      SInt32 index2, SInt32 *startIndex) {
  if (indexList == nullptr || startIndex == nullptr) return 0;
  const SInt32 limit = numFactors - range;
  SInt32 i = std::max<SInt32>(*startIndex, 0);
  while (i < limit && indexList[i] <= index1) ++i;
  *startIndex = i;
  if (i >= limit || indexList[i] >= index2) return 0;
  const SInt32 value = indexList[i];
  for (SInt32 k = 1; k < range; ++k)
    if (i + k >= limit || indexList[i + k] != value) return 0;
  *startIndex = i + range;
  return value;
}

void BZ_VbCorrectMinMaxOutliers(const double *absBr, SInt32 numFactors, SInt32 range, const SInt32 *minIndex,
                                const SInt32 *maxIndex, SInt32 *numMinMax, SInt32 *minMaxIndex) {
  if (absBr == nullptr || minIndex == nullptr || maxIndex == nullptr || numMinMax == nullptr || minMaxIndex == nullptr)
    return;
  SInt32 count = *numMinMax;
  if (count < 2) return;
  float avDist = 0.0f;
  for (SInt32 i = 0; i + 1 < count; ++i) avDist += float(minMaxIndex[i + 1] - minMaxIndex[i]);
  avDist /= float(count - 1);
  float dev = 0.0f;
  for (SInt32 i = 0; i + 1 < count; ++i) dev += std::fabs(float(minMaxIndex[i + 1] - minMaxIndex[i]) - avDist);
  dev /= float(count - 1);

  // Moves entries i + 1 ... up by `by` places.
  auto openGap = [&](SInt32 i, SInt32 by) {
    for (SInt32 j = count - 1; j > i; --j) minMaxIndex[j + by] = minMaxIndex[j];
  };
  for (SInt32 i = 1; i < count - 2; ++i) {
    const SInt32 a = minMaxIndex[i], b = minMaxIndex[i + 1];
    const float e = std::fabs(float(b - a) - avDist);
    if (!(e > 3.0f * dev)) continue;
    SInt32 extras[kMaxExtraExtrema];
    SInt32 k = 0;
    bool maximaFound = false, minimaFound = false;
    for (const SInt32 *list : {maxIndex, minIndex}) {
      SInt32 position = 0, from = a;
      while (k < kMaxExtraExtrema) {
        const SInt32 extra = BZ_VbGetNextIndexBetweenMinMax(list, numFactors, range, from, b, &position);
        if (extra == 0) break;
        extras[k++] = extra;
        from = extra;
      }
      if (k > 0) {
        (list == maxIndex ? maximaFound : minimaFound) = true;
        break;
      }
    }
    const bool aIsMax = absBr[a] > absBr[b];
    if (k > 0) {
      // The arrays hold n entries; what does not fit is not inserted.
      k = std::min(k, (numFactors - count) / 2);
      if (k <= 0) continue;
      openGap(i, 2 * k);
      const SInt32 off = (aIsMax && maximaFound) || (!aIsMax && minimaFound) ? 1 : 0;
      for (SInt32 j = 0; j < k; ++j) minMaxIndex[i + 1 + off + 2 * j] = extras[j];
      for (SInt32 j = 0; j < k; ++j) {
        const SInt32 at = i + 2 - off + 2 * j;
        minMaxIndex[at] = SInt32(0.5f + float(minMaxIndex[at - 1] + minMaxIndex[at + 1]) * 0.5f);
      }
    } else {
      k = SInt32(0.5f + (e - avDist) / (2.0f * avDist));
      k = std::min(k, (numFactors - count) / 2);
      if (k <= 0) continue;
      openGap(i, 2 * k);
      const SInt32 step = (b - a) / (2 * k + 1);
      for (SInt32 j = 1; j <= 2 * k; ++j) minMaxIndex[i + j] = SInt32(0.5f + float(j * step + a));
    }
    count += 2 * k;
    i += 2 * k;
  }
  *numMinMax = count;
}

void BZ_VbGetAvPeriodAmpl(SInt32 numMinMax, const float *minMax, const SInt32 *minMaxIndex, float *avAmpl,
                          float *amplStddev, float *avPeriod, float *avPeriodStddev) {
  *avAmpl = *amplStddev = *avPeriod = *avPeriodStddev = 0.0f;
  if (minMax == nullptr || minMaxIndex == nullptr || numMinMax < 2) return;
  const SInt32 m = numMinMax - 1;
  std::vector<float> ampl(static_cast<size_t>(m)), period(static_cast<size_t>(m));
  for (SInt32 i = 1; i < numMinMax; ++i) {
    const float hi = std::max(minMax[i - 1], minMax[i]), lo = std::min(minMax[i - 1], minMax[i]);
    ampl[size_t(i - 1)] = hi > 0.0f ? (hi - lo) * 0.5f / hi : 0.0f;
    period[size_t(i - 1)] = float(minMaxIndex[i] - minMaxIndex[i - 1]);
  }
  for (SInt32 i = 0; i < m; ++i) {
    *avAmpl += ampl[size_t(i)];
    *avPeriod += period[size_t(i)];
  }
  *avAmpl /= float(m);
  *avPeriod /= float(m);
  for (SInt32 i = 0; i < m; ++i) {
    *amplStddev += std::fabs(ampl[size_t(i)] - *avAmpl);
    *avPeriodStddev += std::fabs(period[size_t(i)] - *avPeriod);
  }
  *amplStddev /= float(m);
  *avPeriodStddev /= float(m);
}

void BZ_VbRescaleAbsBr(double *absBr, SInt32 numFactors, SInt32 numMinMax, const SInt32 *minMaxIndex) {
  if (absBr == nullptr || minMaxIndex == nullptr || numMinMax < 4) return;
  const SInt32 e1 = ((numMinMax - 1) / 2) * 2, e2 = ((numMinMax - 2) / 2) * 2 + 1;
  const SInt32 p0 = minMaxIndex[0], p1 = minMaxIndex[1], pe1 = minMaxIndex[e1], pe2 = minMaxIndex[e2];
  if (pe1 == p0 || pe2 == p1) return;
  const double g1 = std::pow(absBr[p0] / absBr[pe1], 1.0 / double(pe1 - p0));
  const double g2 = std::pow(absBr[p1] / absBr[pe2], 1.0 / double(pe2 - p1));
  const double g = (g1 + g2) / 2.0;
  double scale = 1.0;
  for (SInt32 i = 1; i < numFactors; ++i) {
    scale *= g;
    absBr[i] *= scale;
  }
}

void BZ_VbSmoothenAbsBr(double *absBr, SInt32 numFactors, SInt32 numMinMax) {
  if (absBr == nullptr || numMinMax <= 0) return;
  SInt32 w = (2 * numFactors / numMinMax) / 4;
  if (w <= 4) return;
  w = std::min<SInt32>(w, 9);
  if (w == 6) w = 5;
  if (w == 8) w = 7;
  float c[9] = {};
  if (NR_GetSavitzkiGolayFilter(c, w, 3) != noErr) return;
  const std::vector<double> t(absBr, absBr + numFactors);
  for (SInt32 i = 0; i + w <= numFactors - 1; ++i) {
    double sum = 0.0;
    for (SInt32 k = 0; k < w; ++k) sum += double(c[k]) * t[size_t(i + k)];
    absBr[i + w / 2] = sum;
  }
}

void BZ_CalcVbFactors(const double *absBr, float *vbFactors, SInt32 numFactors, SInt32 numMinMax,
                      const SInt32 *minMaxIndex) {
  if (absBr == nullptr || vbFactors == nullptr || minMaxIndex == nullptr || numMinMax < 2) return;
  // The maxima are every second extremum, from the first or from the second.
  const SInt32 first = absBr[minMaxIndex[0]] > absBr[minMaxIndex[1]] ? 0 : 1;
  SInt32 q = minMaxIndex[first];
  double v = absBr[q];
  for (SInt32 i = 0; i < q && i < numFactors; ++i) vbFactors[i] = float(v / absBr[i]);
  for (SInt32 k = first + 2; k < numMinMax; k += 2) {
    const SInt32 q2 = minMaxIndex[k];
    const double v2 = absBr[q2];
    for (SInt32 i = q; i < q2 && i < numFactors; ++i) {
      const double f = double(q2 - i) / double(q2 - q);
      vbFactors[i] = float(((1.0 - f) * v2 + f * v) / absBr[i]);
    }
    q = q2;
    v = v2;
  }
  for (SInt32 i = q; i < numFactors; ++i) vbFactors[i] = float(v / absBr[i]);
}

OSStatus BZ_VbCalcFactorTable(float *relBr, SInt32 numFactors, float *vbFactors, float *avPeriod, float *avAmpl) {
  if (relBr == nullptr || vbFactors == nullptr || avPeriod == nullptr || avAmpl == nullptr) return paramErr;
  const SInt32 n = numFactors;
  if (n <= 8) return kPeriodNotFoundErr;
  std::vector<float> minMax(static_cast<size_t>(n));
  std::vector<SInt32> minIndex(static_cast<size_t>(n)), maxIndex(static_cast<size_t>(n)), minMaxIndex(static_cast<size_t>(n)), counts(static_cast<size_t>(n));
  std::vector<double> absBr(static_cast<size_t>(n));
  BZ_VbCorrectRelBrOutliers(relBr, n);
  absBr[0] = 1.0;
  for (SInt32 i = 0; i < n - 1; ++i) absBr[size_t(i) + 1] = absBr[size_t(i)] * double(relBr[i]);

  SInt32 numMinMax = 0;
  for (int pass = 0; pass < 2; ++pass) {
    for (SInt32 r = 2; r < n / 3; ++r)
      counts[size_t(r)] = BZ_VbFindNumMinMaxIndexesForRange(absBr.data(), n, r, minIndex.data(), maxIndex.data());
    SInt32 lo = 0, hi = 0, loIndex = 0, hiIndex = 0;
    GL_GetArrayMinMaxS32(n / 3 - 2, counts.data() + 2, &lo, &hi, &loIndex, &hiIndex);
    const SInt32 range = 2 + std::max<SInt32>(hiIndex, 0);
    BZ_VbFindNumMinMaxIndexesForRange(absBr.data(), n, range, minIndex.data(), maxIndex.data());
    numMinMax = BZ_VbGetMinMax(absBr.data(), n, range, maxIndex.data(), minIndex.data(), minMax.data(),
                               minMaxIndex.data());
    if (numMinMax < 4) return kPeriodNotFoundErr;
    BZ_VbCorrectMinMaxOutliers(absBr.data(), n, range, minIndex.data(), maxIndex.data(), &numMinMax,
                               minMaxIndex.data());
    for (SInt32 i = 0; i < numMinMax; ++i) minMax[size_t(i)] = float(absBr[size_t(minMaxIndex[size_t(i)])]);
    if (pass == 0) {
      BZ_VbRescaleAbsBr(absBr.data(), n, numMinMax, minMaxIndex.data());
      BZ_VbSmoothenAbsBr(absBr.data(), n, numMinMax);
    }
  }
  float amplStddev = 0.0f, periodStddev = 0.0f;
  BZ_VbGetAvPeriodAmpl(numMinMax, minMax.data(), minMaxIndex.data(), avAmpl, &amplStddev, avPeriod, &periodStddev);
  if (amplStddev > 0.5f * *avAmpl || periodStddev > 0.5f * *avPeriod) return kPeriodNotFoundErr;
  BZ_CalcVbFactors(absBr.data(), vbFactors, n, numMinMax, minMaxIndex.data());
  return noErr;
}

OSStatus BZ_VbEvaluateResult(BZ_VbParams *vbParams) {
  if (vbParams == nullptr || vbParams->relBr == nullptr || vbParams->numFrames <= 0) return paramErr;
  BZ_VbDlgTaskData *data = gBZ.dlgTaskData.vbDlgTaskData;
  if (data == nullptr) return paramErr;
  const SInt32 n = vbParams->interlaced ? 2 * vbParams->numFrames : vbParams->numFrames;
  float *factors = nullptr;
  OSStatus err = GL_NewPtrClear(size_t(n) * sizeof(float), &factors);
  if (err != noErr) return err;
  float avPeriod = 0.0f, avAmpl = 0.0f;
  if ((err = BZ_VbCalcFactorTable(vbParams->relBr, n, factors, &avPeriod, &avAmpl)) != noErr) {
    // A failed analysis keeps the table of the last good one: a zero table would turn every picture black.
    GL_DisposePtr(&factors);
    return err;
  }
  float **table = &data->vbFactors;
  SInt32 *count = &data->numVbFactors;
  if (vbParams->interlaced) {
    table = vbParams->topFieldFirst ? &data->vbFactorsTop : &data->vbFactorsBottom;
    count = vbParams->topFieldFirst ? &data->numVbFactorsTop : &data->numVbFactorsBottom;
  }
  if (*table != nullptr) GL_DisposePtr(table);
  *table = factors;
  *count = n;
  data->analyzedVarBr = true;
  // The spacing counts samples: fields take half a frame's time.
  const float sampleDuration = vbParams->interlaced ? 0.5f * vbParams->frameDuration : vbParams->frameDuration;
  err = BZ_SendSetValueRelevantDigitsInDialogEvent(avPeriod * sampleDuration, 3, kBZ_VbPeriodItem);
  const OSStatus err2 = BZ_SendSetValueRelevantDigitsInDialogEvent(100.0f * avAmpl, 3, kBZ_VbAmplitudeItem);
  return err != noErr ? err : err2;
}
