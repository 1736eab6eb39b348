// Statistics and array routines. Sums and means are single precision in the order the values come, since
// the automatic settings built on them compare results across runs.
#include "general/statistics.h"

#include "general/minimum_smoothing.h"
#include "platform/core/fixed_math.h"
#include "platform/core/mac_errors.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <numbers>
#include <utility>
#include <vector>

namespace {

// A sample greater than the largest finite float (that is +infinity) has no value; NaN has none either.
inline bool IsValidSample(float x) { return !(x > FLT_MAX) && !std::isnan(x); }

template <typename T>
void GetArrayMinMax(SInt32 arraySize, const T *numberArray, T *min, T *max, SInt32 *minIndex, SInt32 *maxIndex,
                    T minStart, T maxStart) {
  T lo = minStart, hi = maxStart;
  SInt32 loIndex = -1, hiIndex = -1;
  if (numberArray != nullptr) {
    for (SInt32 i = 0; i < arraySize; ++i) {
      const T x = numberArray[i];
      if (x < lo) {
        lo = x;
        loIndex = i;
      }
      if (x > hi) {
        hi = x;
        hiIndex = i;
      }
    }
  }
  if (min != nullptr) *min = lo;
  if (max != nullptr) *max = hi;
  if (minIndex != nullptr) *minIndex = loIndex;
  if (maxIndex != nullptr) *maxIndex = hiIndex;
}

template <typename T>
Boolean IsInArray(T number, SInt32 arraySize, const T *array, SInt32 *index) {
  if (index != nullptr) *index = -1;
  if (array == nullptr) return false;
  for (SInt32 i = 0; i < arraySize; ++i) {
    if (array[i] == number) {
      if (index != nullptr) *index = i;
      return true;
    }
  }
  return false;
}

template <typename T>
SInt32 FindIndexInSortedList(SInt32 numValues, const T *valueList, T value) {
  if (valueList == nullptr || numValues <= 0) return -1;
  SInt32 lo = 0, hi = numValues - 1;
  while (hi - lo > 1) {
    SInt32 mid = lo + (hi - lo) / 2;
    if (valueList[mid] <= value) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  if (valueList[hi] == value) return hi;
  if (valueList[lo] == value) return lo;
  return -1;
}

// Truncation toward zero that saturates instead of overflowing.
SInt32 TruncToSInt32(float x) {
  if (std::isnan(x)) return 0;
  if (x >= 2147483648.0f) return std::numeric_limits<SInt32>::max();
  if (x <= -2147483648.0f) return std::numeric_limits<SInt32>::min();
  return SInt32(x);
}

// Sum of width entries starting at `first`.
SInt64 WindowSum(const SInt32 *values, SInt32 first, SInt32 width) {
  SInt64 sum = 0;
  for (SInt32 k = 0; k < width; ++k) sum += values[first + k];
  return sum;
}

SInt32 ClampToSInt32(SInt64 x) {
  return SInt32(std::clamp<SInt64>(x, std::numeric_limits<SInt32>::min(), std::numeric_limits<SInt32>::max()));
}

}  // namespace

// ---- Robust averages ------------------------------------------------------------------------------------

float GL_GetAverageNoOutliers(const float *value, SInt32 numValues, float *stdDev, Boolean *outliers) {
  SInt32 count = 0;
  float sum = 0.0f;
  for (SInt32 i = 0; value != nullptr && i < numValues; ++i) {
    if (IsValidSample(value[i])) {
      sum += value[i];
      ++count;
    }
  }
  if (count == 0) {
    if (stdDev != nullptr) *stdDev = 0.0f;
    return 0.0f;
  }
  const float mean = sum / float(count);
  float devSum = 0.0f;
  for (SInt32 i = 0; i < numValues; ++i) {
    if (IsValidSample(value[i])) devSum += std::fabs(value[i] - mean);
  }
  float d = devSum / float(count);
  if (d < 0.0001f) d = 0.0001f;
  const float limit = 2.0f * d;
  for (SInt32 i = 0; i < numValues; ++i) {
    Boolean flag = 0;
    if (!IsValidSample(value[i])) {
      flag = 1;
    } else {
      const float dev = std::fabs(value[i] - mean);
      if (dev > limit) {
        sum -= value[i];
        devSum -= dev;
        --count;
        flag = 1;
      }
    }
    if (outliers != nullptr) outliers[i] = flag;
  }
  // Not every value can lie beyond twice the mean deviation; the test only guards the division.
  if (count == 0) {
    if (stdDev != nullptr) *stdDev = 0.0f;
    return mean;
  }
  if (stdDev != nullptr) *stdDev = devSum / float(count);
  return sum / float(count);
}

void GL_GetAverageF(const float *value, SInt32 numValues, float *avValue, float *stdDev) {
  if (numValues < 0 || value == nullptr) numValues = 0;
  float sum = 0.0f;
  for (SInt32 i = 0; i < numValues; ++i) sum += value[i];
  const float mean = sum / float(numValues);
  float dev = 0.0f;
  for (SInt32 i = 0; i < numValues; ++i) dev += std::fabs(value[i] - mean);
  if (avValue != nullptr) *avValue = mean;
  if (stdDev != nullptr) *stdDev = dev / float(numValues);
}

void GL_GetAverageL(const SInt32 *value, SInt32 numValues, float *avValue, float *stdDev) {
  if (numValues < 0 || value == nullptr) numValues = 0;
  float sum = 0.0f;
  for (SInt32 i = 0; i < numValues; ++i) sum += float(value[i]);
  const float mean = sum / float(numValues);
  float dev = 0.0f;
  for (SInt32 i = 0; i < numValues; ++i) dev += std::fabs(float(value[i]) - mean);
  if (avValue != nullptr) *avValue = mean;
  if (stdDev != nullptr) *stdDev = dev / float(numValues);
}

// ---- Minimum and maximum --------------------------------------------------------------------------------

void GL_GetArrayMinMaxU8(SInt32 arraySize, const UInt8 *numberArray, UInt8 *min, UInt8 *max, SInt32 *minIndex,
                         SInt32 *maxIndex) {
  GetArrayMinMax<UInt8>(arraySize, numberArray, min, max, minIndex, maxIndex, 255, 0);
}

void GL_GetArrayMinMaxS16(SInt32 arraySize, const SInt16 *numberArray, SInt16 *min, SInt16 *max, SInt32 *minIndex,
                          SInt32 *maxIndex) {
  GetArrayMinMax<SInt16>(arraySize, numberArray, min, max, minIndex, maxIndex, 32767, -32768);
}

void GL_GetArrayMinMaxS32(SInt32 arraySize, const SInt32 *numberArray, SInt32 *min, SInt32 *max, SInt32 *minIndex,
                          SInt32 *maxIndex) {
  GetArrayMinMax<SInt32>(arraySize, numberArray, min, max, minIndex, maxIndex, std::numeric_limits<SInt32>::max(),
                         std::numeric_limits<SInt32>::min());
}

void GL_GetArrayMinMaxF32(SInt32 arraySize, const float *numberArray, float *min, float *max, SInt32 *minIndex,
                          SInt32 *maxIndex) {
  GetArrayMinMax<float>(arraySize, numberArray, min, max, minIndex, maxIndex, std::numeric_limits<float>::infinity(),
                        -std::numeric_limits<float>::infinity());
}

void GL_GetArrayMinMaxF64(SInt32 arraySize, const double *numberArray, double *min, double *max, SInt32 *minIndex,
                          SInt32 *maxIndex) {
  GetArrayMinMax<double>(arraySize, numberArray, min, max, minIndex, maxIndex,
                         std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity());
}

void GL_GetMinMaxFrom3_U8(const UInt8 *array, UInt8 *min, UInt8 *max) {
  if (array == nullptr) return;
  if (min != nullptr) *min = std::min({array[0], array[1], array[2]});
  if (max != nullptr) *max = std::max({array[0], array[1], array[2]});
}

Boolean GL_RefineMinFromArrayF(const float *values, float *minArg, float *bestMin) {
  if (values == nullptr) return false;
  const float y0 = values[0], y1 = values[1], y2 = values[2], y3 = values[3], y4 = values[4];
  float position = 2.0f;
  float best = y2;
  Boolean refined = false;
  if (y0 > y1 && y4 > y3) {
    refined = true;
    const float a = std::fabs(y1 - y3), b = std::fabs(y1 - y2), c = std::fabs(y3 - y2);
    // Fit into temporaries: a failed fit writes its clamped position, which must not become the answer.
    float p, v;
    if (b > a && c > a) {
      if (NR_GetMinimumFrom5(values, &p, &v) == noErr) {
        position = p;
        best = v;
      }
    } else if (a >= b) {
      if (NR_GetMinimumFrom4(values, &p, &v) == noErr) {
        position = p;
        best = v;
      }
    } else {
      if (NR_GetMinimumFrom4(values + 1, &p, &v) == noErr) {
        position = p + 1.0f;
        best = v;
      }
    }
  }
  if (minArg != nullptr) *minArg = position;
  if (bestMin != nullptr) *bestMin = best;
  return refined;
}

Boolean GL_GetArrayMinimumF_Ext(SInt32 arraySize, const float *values, float *minArg, float *minValue) {
  float m;
  SInt32 i;
  GL_GetArrayMinMaxF32(arraySize, values, &m, nullptr, &i, nullptr);
  float position = float(i);
  float value = m;
  Boolean refined = false;
  // Also covers i == -1 (nothing below +infinity): no element is read.
  if (i >= 2 && i < arraySize - 2) {
    float p, v;
    if (GL_RefineMinFromArrayF(values + i - 2, &p, &v)) {
      position = p + float(i - 2);
      value = v;
      refined = true;
    } else {
      value = v;
      SInt32 s = -1;
      if (values[i - 2] > values[i - 1]) {
        if (i - 2 + 6 < arraySize - 1 && values[i + 4] > values[i + 3]) s = i - 2;
      } else if (values[i + 2] > values[i + 1]) {
        if (i - 4 >= 0 && values[i - 4] > values[i - 3]) s = i - 4;
      }
      if (s >= 0) {
        const float *w = values + s;
        bool valley = true;
        for (int k = 2; k <= 4; ++k) {
          if (w[k] > w[1] || w[k] > w[5]) valley = false;
        }
        if (valley) {
          NR_GetMinimumFrom7(w, &p, &v);
          // A degenerate fit (flat parabola) leaves the unrefined minimum.
          if (std::isfinite(p) && std::isfinite(v)) {
            position = p + float(s);
            value = v;
            refined = true;
          }
        }
      }
    }
  }
  if (minArg != nullptr) *minArg = position;
  if (minValue != nullptr) *minValue = value;
  return refined;
}

float GL_GetMinFromArrayF(float x0, float dx, const float *values, SInt32 numValues, float *minX) {
  float best = std::numeric_limits<float>::infinity();
  if (values == nullptr || numValues < 4 || numValues > 16) return best;
  for (SInt32 i = 0; i + 4 <= numValues; ++i) {
    float p, v;
    if (NR_GetMinimumFrom4(values + i, &p, &v) != noErr) continue;
    if (p > 0.9f && p < 2.1f && v < best) {
      best = v;
      if (minX != nullptr) *minX = (p + float(i)) * dx + x0;
    }
  }
  return best;
}

// ---- Curves ---------------------------------------------------------------------------------------------

void GL_GetMaxChordDistance(const GL_FloatPt *pts, SInt32 minIndex, SInt32 maxIndex, float *maxDist,
                            SInt32 *newIndex, float *len, float *sign) {
  if (pts == nullptr || maxDist == nullptr || newIndex == nullptr || sign == nullptr) return;
  if (minIndex + 1 >= maxIndex) {
    *newIndex = 0;
    *maxDist = 0.0f;
    *sign = 1.0f;
    return;
  }
  const GL_FloatPt a = pts[minIndex], b = pts[maxIndex];
  const float dh = b.h - a.h, dv = b.v - a.v;
  const float length = float(std::sqrt(double(dh * dh + dv * dv)));
  if (len != nullptr) *len = length;
  // Start on the first inner point, so that the index is valid whatever the distances (NaN) turn out to be.
  *maxDist = -1.0f;
  *newIndex = minIndex + 1;
  *sign = 1.0f;
  const bool closed = length == 0.0f;
  const float nh = closed ? 0.0f : dv / length, nv = closed ? 0.0f : -dh / length;
  for (SInt32 k = minIndex + 1; k < maxIndex; ++k) {
    const float ph = pts[k].h - a.h, pv = pts[k].v - a.v;
    // Ends that coincide have no normal: the distance to that point takes its place.
    const float t = closed ? float(std::sqrt(double(ph * ph + pv * pv))) : ph * nh + pv * nv;
    if (std::fabs(t) > *maxDist) {
      *maxDist = std::fabs(t);
      *newIndex = k;
      *sign = t < 0.0f ? -1.0f : 1.0f;
    }
  }
  if (*maxDist < 0.0f) *maxDist = 0.0f;
}

namespace {

void SubdivideRange(const GL_FloatPt *pts, SInt32 level, SInt32 minIndex, SInt32 maxIndex, float maxDist,
                    SInt32 newIndex, float len, float sign, float minPercGain, SInt32 maxNumAngPts,
                    SInt32 *numAngPts, SInt32 *pixelList) {
  if (!(minIndex + 1 < maxIndex && maxDist > 1.0f)) return;
  if (newIndex <= minIndex || newIndex >= maxIndex) return;
  float leftDist = 0.0f, rightDist = 0.0f, leftLen = 0.0f, rightLen = 0.0f, leftSign = 1.0f, rightSign = 1.0f;
  SInt32 leftIndex = 0, rightIndex = 0;
  GL_GetMaxChordDistance(pts, minIndex, newIndex, &leftDist, &leftIndex, &leftLen, &leftSign);
  GL_GetMaxChordDistance(pts, newIndex, maxIndex, &rightDist, &rightIndex, &rightLen, &rightSign);
  if (maxDist * (1.0f - minPercGain) > std::max(leftDist, rightDist) && *numAngPts < maxNumAngPts && level < 200) {
    const float ratio = sign * maxDist / (len > 0.0f ? len : 1.0f);
    pixelList[*numAngPts] = newIndex;
    std::memcpy(&pixelList[*numAngPts + maxNumAngPts], &ratio, sizeof ratio);
    ++*numAngPts;
    SubdivideRange(pts, level + 1, minIndex, newIndex, leftDist, leftIndex, leftLen, leftSign, minPercGain,
                   maxNumAngPts, numAngPts, pixelList);
    SubdivideRange(pts, level + 1, newIndex, maxIndex, rightDist, rightIndex, rightLen, rightSign, minPercGain,
                   maxNumAngPts, numAngPts, pixelList);
  }
}

}  // namespace

OSStatus GL_SubdivideCurve(const GL_FloatPt *pts, SInt32 level, SInt32 minIndex, SInt32 maxIndex, float maxDist,
                           SInt32 newIndex, float len, float sign, float minPercGain, SInt32 maxNumAngPts,
                           SInt32 *numAngPts, SInt32 **angPts, float **ratios, SInt32 *pixelList) {
  if (pts == nullptr || numAngPts == nullptr || pixelList == nullptr || maxNumAngPts < 0) return paramErr;
  const bool topLevel = newIndex == -1;
  if (topLevel) {
    if (angPts == nullptr || ratios == nullptr) return paramErr;
    *numAngPts = 0;
    *angPts = nullptr;
    *ratios = nullptr;
    if (minIndex + 1 < maxIndex && maxDist > 1.0f)
      GL_GetMaxChordDistance(pts, minIndex, maxIndex, &maxDist, &newIndex, &len, &sign);
  }
  SubdivideRange(pts, level, minIndex, maxIndex, maxDist, newIndex, len, sign, minPercGain, maxNumAngPts, numAngPts,
                 pixelList);
  if (!topLevel || *numAngPts == 0) return noErr;

  // Corners are found parent first; callers walk them along the curve, so they are handed out ascending.
  const SInt32 n = *numAngPts;
  std::vector<std::pair<SInt32, float>> corners;
  try {
    corners.resize(static_cast<size_t>(n));
  } catch (const std::bad_alloc &) {
    *numAngPts = 0;
    return memFullErr;
  }
  for (SInt32 k = 0; k < n; ++k) {
    corners[k].first = pixelList[k];
    std::memcpy(&corners[k].second, &pixelList[k + maxNumAngPts], sizeof(float));
  }
  std::sort(corners.begin(), corners.end(), [](const auto &x, const auto &y) { return x.first < y.first; });
  auto *indexes = static_cast<SInt32 *>(std::malloc(sizeof(SInt32) * size_t(n)));
  auto *values = static_cast<float *>(std::malloc(sizeof(float) * size_t(n)));
  if (indexes == nullptr || values == nullptr) {
    std::free(indexes);
    std::free(values);
    *numAngPts = 0;
    return memFullErr;
  }
  for (SInt32 k = 0; k < n; ++k) {
    indexes[k] = corners[k].first;
    values[k] = corners[k].second;
  }
  *angPts = indexes;
  *ratios = values;
  return noErr;
}

// ---- Searches and tests ---------------------------------------------------------------------------------

Boolean GL_IsOSTypeInArray(OSType type, SInt16 arraySize, const OSType *array, SInt32 *index) {
  return IsInArray<OSType>(type, arraySize, array, index);
}

Boolean GL_IsNumberInArrayS16(SInt16 number, SInt16 arraySize, const SInt16 *numberArray, SInt32 *index) {
  return IsInArray<SInt16>(number, arraySize, numberArray, index);
}

Boolean GL_IsNumberInArrayS32(SInt32 number, SInt32 arraySize, const SInt32 *numberArray, SInt32 *index) {
  return IsInArray<SInt32>(number, arraySize, numberArray, index);
}

SInt32 GL_FindIndexInSortedListS32(SInt32 numValues, const SInt32 *valueList, SInt32 value) {
  return FindIndexInSortedList<SInt32>(numValues, valueList, value);
}

SInt32 GL_FindIndexInSortedListF32(SInt32 numValues, const float *valueList, float value) {
  return FindIndexInSortedList<float>(numValues, valueList, value);
}

Boolean GL_AllValuesInArrayUniqueS32(SInt32 numValues, const SInt32 *values) {
  if (values == nullptr) return true;
  for (SInt32 i = 0; i < numValues; ++i) {
    for (SInt32 j = i + 1; j < numValues; ++j) {
      if (values[i] == values[j]) return false;
    }
  }
  return true;
}

Boolean GL_EqualArrayS32(SInt32 arraySize, const SInt32 *array1, const SInt32 *array2) {
  if (arraySize > 0 && (array1 == nullptr || array2 == nullptr)) return array1 == array2;
  for (SInt32 i = 0; i < arraySize; ++i) {
    if (array1[i] != array2[i]) return false;
  }
  return true;
}

Boolean GL_ArrayNumbersAreConsecutive(SInt16 arraySize, const SInt16 *numberArray) {
  SInt16 lowest;
  // Only the value is used: the index of the minimum may be -1 (all entries 32767).
  GL_GetArrayMinMaxS16(arraySize, numberArray, &lowest, nullptr, nullptr, nullptr);
  for (SInt32 k = 1; k < arraySize; ++k) {
    const SInt32 wanted = SInt32(lowest) + k;
    if (wanted > 32767) return false;
    if (!GL_IsNumberInArrayS16(SInt16(wanted), arraySize, numberArray, nullptr)) return false;
  }
  return true;
}

Boolean GL_IsNumberInInterval(SInt32 begin, SInt32 value, SInt32 end) { return begin <= value && value <= end; }

// ---- Comparisons, clamps, medians, rounding -------------------------------------------------------------

Boolean GL_FloatsEqualByAbsDiff(float x, float y, float absDiff) { return std::fabs(x - y) < absDiff; }

Boolean GL_FloatsEqualByPerc(float x, float y, float perc) {
  return std::fabs(x - y) < perc * std::max(std::fabs(x), std::fabs(y));
}

Boolean GL_Diff(float x, float y, float percentage, OSStatus *error) {
  if (!(x > 0.0f && y >= 0.0f && percentage >= 0.0f && percentage <= 1.0f)) {
    if (error != nullptr) *error = paramErr;
    return false;
  }
  if (error != nullptr) *error = noErr;
  return y < (1.0f - percentage) * x || y > (1.0f + percentage) * x;
}

float GL_FloatPercDiff(float f1, float f2) {
  const float r = f1 / f2;
  if (r < 0.0f) return 1.0f;
  return 1.0f - std::min(r, 1.0f / r);
}

float GL_LongRatioPercDiff(const GL_LongRatio *x, const GL_LongRatio *y) {
  return GL_FloatPercDiff(GL_LongRatioToFloat(x), GL_LongRatioToFloat(y));
}

void GL_ClampIntToBounds(int min, int max, int *value) {
  if (value == nullptr) return;
  if (*value < min) *value = min;
  if (*value > max) *value = max;
}

void GL_ClampShortToBounds(SInt16 min, SInt16 max, SInt16 *value) {
  if (value == nullptr) return;
  if (*value < min) *value = min;
  if (*value > max) *value = max;
}

void GL_ClampFloatToBounds(float min, float max, float *value) {
  if (value == nullptr) return;
  if (*value < min) *value = min;
  if (*value > max) *value = max;
}

SInt32 GL_GetAntiMedianValue3(UInt8 y1, UInt8 y2, UInt8 y3) {
  const SInt32 lo = std::min(y1, y3), hi = std::max(y1, y3);
  if (y2 < lo) return y2 - lo;
  if (y2 > hi) return y2 - hi;
  return 0;
}

UInt8 GL_GetMedianFilteredValue3_U8(UInt8 y1, UInt8 y2, UInt8 y3) {
  const UInt8 lo = std::min(y1, y3), hi = std::max(y1, y3);
  if (y2 < lo) return lo;
  if (y2 > hi) return hi;
  return y2;
}

SInt32 GL_RoundToEven(float x) {
  SInt32 n = TruncToSInt32(x);
  if (n % 2 != 0) {
    // An odd n is never 0, so its sign is the value's; the largest values stay saturated.
    if (n > 0 && n < std::numeric_limits<SInt32>::max()) ++n;
    if (n < 0) --n;
  }
  return n;
}

SInt32 GL_RoundDownFloatToNearestInteger(float thisFloat, float tolerance) {
  const SInt32 n = TruncToSInt32(thisFloat);
  if (n < std::numeric_limits<SInt32>::max() && std::fabs(thisFloat - float(n + 1)) < tolerance) return n + 1;
  return n;
}

void GL_RoundToPowerOf2(SInt16 basePower, SInt32 number, SInt32 *result, SInt32 *remainder) {
  SInt64 p = basePower < 1 ? 1 : (SInt64(1) << std::min<SInt16>(basePower, 30));
  while (2 * p <= number) p *= 2;
  if (result != nullptr) *result = SInt32(p);
  if (remainder != nullptr) *remainder = SInt32(number % p);
}

// ---- Histograms, bits, logarithms -----------------------------------------------------------------------

void GL_GetNextPeak(SInt32 domainStart, SInt32 domainEnd, const SInt32 *valueList, SInt32 *domainPosition,
                    SInt32 *peakWidth, Boolean findMinimalPeakWidth, SInt32 minPeakSize,
                    Fixed minPeakSizeAsPercentageOfTotal, SInt32 *peakSize) {
  if (valueList == nullptr || domainPosition == nullptr || peakWidth == nullptr || peakSize == nullptr) return;
  *peakSize = 0;
  SInt32 pos = *domainPosition;
  if (pos < domainStart || pos > domainEnd) return;

  SInt64 threshold = minPeakSize;
  if (minPeakSize == 0) {
    const SInt64 total = WindowSum(valueList, domainStart, domainEnd - domainStart + 1);
    threshold = FixMul(ClampToSInt32(total), minPeakSizeAsPercentageOfTotal);
  }
  const SInt32 widthOnEntry = *peakWidth;
  SInt32 width = std::min(widthOnEntry, domainEnd - pos + 1);
  if (width < 1) return;

  // Slide until the sum falls after having reached the threshold.
  SInt64 sum = WindowSum(valueList, pos, width);
  pos += width;
  while (pos <= domainEnd) {
    const SInt64 next = sum + valueList[pos] - valueList[pos - width];
    if (next < sum && sum >= threshold) break;
    sum = next;
    ++pos;
  }
  const bool found = sum >= threshold;
  *peakSize = found ? ClampToSInt32(sum) : 0;
  *domainPosition = pos;
  if (!findMinimalPeakWidth || !found) {
    *peakWidth = widthOnEntry;
    return;
  }

  // Narrow the window while a narrower one still reaches the threshold.
  const SInt32 start = pos - width;
  SInt32 end = pos;
  while (width > 1) {
    --width;
    SInt32 p = start;
    SInt64 s = WindowSum(valueList, p, width);
    SInt64 best = s;
    p += width;
    while (p <= end && p <= domainEnd) {
      s += valueList[p] - valueList[p - width];
      if (s < best && best >= threshold) {
        *peakSize = ClampToSInt32(best);
        end = p;
        break;
      }
      best = std::max(best, s);
      ++p;
    }
    if (best < threshold) {
      ++width;  // the last width that reached the threshold
      break;
    }
  }
  *peakWidth = width;
  *domainPosition = end;
}

SInt32 GL_GetNumBitsFromMaxValue(UInt32 maxValue) {
  SInt32 n = 0;
  while (n < 32 && (UInt64(1) << n) <= maxValue) ++n;
  return n;
}

SInt32 GL_GetNumBitsFromMaxMinValue(SInt32 maxValue, SInt32 minValue) {
  SInt32 b = 1;
  for (; b <= 32; ++b) {
    const SInt64 range = SInt64(1) << (b - 1);
    if (range > maxValue && range >= -SInt64(minValue)) break;
  }
  return minValue < 0 ? b : b - 1;
}

double GL_Log2(double x) { return std::log2(x); }

SInt16 GL_IntLog2(SInt32 m) {
  SInt16 n = 0;
  while (m > 1) {
    m /= 2;
    ++n;
  }
  return n;
}

// ---- Pixel weights of a disc, checksum ------------------------------------------------------------------

void GL_GetPixelWeightsInCircle(SInt32 squareSize, float area, float minWeight, float *weights, SInt32 *numNonZero,
                                float *weightSum) {
  SInt32 count = 0;
  float total = 0.0f;
  if (weights != nullptr && squareSize > 0) {
    const float centre = float(squareSize) * 0.5f;
    const float pi = std::numbers::pi_v<float>;
    for (SInt32 r = 0; r < squareSize; ++r) {
      for (SInt32 c = 0; c < squareSize; ++c) {
        SInt32 inside = 0;
        for (int i = 0; i < 100; ++i) {
          const float dy = float(r) + 0.005f + 0.01f * float(i) - centre;
          for (int j = 0; j < 100; ++j) {
            const float dx = float(c) + 0.005f + 0.01f * float(j) - centre;
            if (pi * (dx * dx + dy * dy) < area) ++inside;
          }
        }
        float weight = float(inside) / 10000.0f;
        if (weight < minWeight) {
          weight = 0.0f;
        } else {
          ++count;
          total += weight;
        }
        weights[r * squareSize + c] = weight;
      }
    }
  }
  if (numNonZero != nullptr) *numNonZero = count;
  if (weightSum != nullptr) *weightSum = total;
}

void GL_GetPixelWeightsInCircle2(SInt32 squareSize, float *weights) {
  if (weights == nullptr || squareSize < 2) return;
  const SInt32 n = squareSize;
  const SInt32 R = n / 2;
  const double r2 = double(R) * R;
  // Area under the circle's upper arc up to x (up to a constant).
  auto F = [&](double x) { return 0.5 * (x * std::sqrt(std::max(0.0, r2 - x * x)) - r2 * std::acos(x / R)); };
  for (SInt32 i = 0; i < R; ++i) {
    for (SInt32 j = 0; j < R; ++j) {
      double w;
      if (double(i + 1) * (i + 1) + double(j + 1) * (j + 1) <= r2) {
        w = 1.0;
      } else if (double(i) * i + double(j) * j >= r2) {
        w = 0.0;
      } else {
        const double x0 = double(i + 1) * (i + 1) + double(j) * j < r2 ? std::sqrt(r2 - double(i + 1) * (i + 1)) : j;
        const double x1 = double(i) * i + double(j + 1) * (j + 1) < r2 ? j + 1 : std::sqrt(r2 - double(i) * i);
        w = F(x1) - F(x0) - (x1 - x0) * i + x0 - j;
      }
      weights[(R - i - 1) * n + (R + j)] = float(w);
    }
  }
  for (SInt32 r = 0; r < R; ++r) {
    for (SInt32 j = 0; j < R; ++j) weights[r * n + (R - 1 - j)] = weights[r * n + (R + j)];
  }
  for (SInt32 r = 0; r < R; ++r) {
    for (SInt32 c = 0; c < 2 * R; ++c) weights[(n - 1 - r) * n + c] = weights[r * n + c];
  }
}

SInt32 GL_CalcCheckSum(const char *ptr, SInt32 size) {
  if (ptr == nullptr || size <= 0) return 0;
  const auto *bytes = reinterpret_cast<const SInt8 *>(ptr);
  // 32-bit wrap-around arithmetic, done unsigned to stay defined.
  UInt32 s1 = 0, s2 = 0, s3 = 0, s5 = 0;
  for (SInt32 i = 0; i < size; ++i) s1 += UInt32(SInt32(bytes[i]));
  for (SInt32 k = 0; k < size / 2; ++k) s2 += UInt32(SInt32(bytes[2 * k]));
  for (SInt32 k = 0; k < size / 3; ++k) s3 += UInt32(SInt32(bytes[3 * k]));
  for (SInt32 k = 0; k < size / 5; ++k) s5 += UInt32(SInt32(bytes[5 * k]));
  return SInt32(s1 + ((s2 & 255u) << 8) + ((s3 & 255u) << 16) + (s5 << 24));
}
