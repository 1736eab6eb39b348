// The step-preserving luminance filter.
#include "outliers/median_filter.h"

#include "outliers/outlier_stage.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr SInt32 kNewest = kBZ_OuMedianRecentWindows - 1;

// The moderate and the hard version of a rise (the first half low, the second high). A fall is the same
// rule on negated samples.
void ModerateRise(const SInt32 *y, SInt32 *v) {
  if (y[2] <= y[3] && y[2] < y[1])
    v[2] = std::min(y[1], y[3]);
  else if (y[2] > y[3])
    v[3] = y[2];
  if (y[5] >= y[4] && y[5] > y[6])
    v[5] = std::max(y[6], y[4]);
  else if (y[5] < y[4])
    v[4] = y[5];
}

void HardRise(const SInt32 *y, SInt32 *v) {
  const SInt32 m = std::min(y[2], y[3]);
  if (y[1] >= m) {
    v[2] = std::max(y[2], y[1]);
    v[3] = std::max(y[3], y[1]);
  } else if (y[1] < y[0]) {
    // The mirror of the rule for sample 6, so that both sides of the step are treated alike.
    v[1] = std::min(y[0], m);
  }
  const SInt32 M = std::max(y[4], y[5]);
  if (y[6] <= M) {
    v[4] = std::min(y[4], y[6]);
    v[5] = std::min(y[5], y[6]);
  } else if (y[6] > y[7]) {
    v[6] = std::max(y[7], M);
  }
}

// One step of the shift register: every entry moves one place towards the oldest.
template <typename T>
void ShiftDown(T *values, SInt32 count) {
  std::memmove(values, values + 1, sizeof(T) * size_t(count - 1));
}

struct FilterState {
  SInt32 y[8];
  SInt32 a[kBZ_OuMedianRecentWindows], b[kBZ_OuMedianRecentWindows];
  SInt32 newY[kBZ_OuMedianRecentWindows][8];
};

// Runs the kernel along one line of `count` samples read by sample(k); sample k's pixel starts at byte
// firstOffset + k * pixelOffset of tempIn.
template <typename Sample>
void FilterLine(UInt8 *tempIn, SInt64 firstOffset, SInt32 pixelOffset, SInt32 count, Sample sample) {
  if (count < 9) return;
  FilterState s{};
  for (SInt32 k = 0; k < 8; ++k) s.y[k] = sample(k);
  for (SInt32 k = 8; k < count; ++k) {
    BZ_OuMedianFilter8(tempIn, s.y, firstOffset + SInt64(k) * pixelOffset, pixelOffset, s.a, s.b, s.newY);
    ShiftDown(s.y, 8);
    ShiftDown(s.a, kBZ_OuMedianRecentWindows);
    ShiftDown(s.b, kBZ_OuMedianRecentWindows);
    std::memmove(s.newY[0], s.newY[1], sizeof(s.newY[0]) * (kBZ_OuMedianRecentWindows - 1));
    s.y[7] = sample(k);
  }
}

}  // namespace

void BZ_OuMedianFilter8(UInt8 *tempIn, const SInt32 y[8], SInt64 offset, SInt32 pixelOffset,
                        SInt32 prevMin1MinusMax2[kBZ_OuMedianRecentWindows],
                        SInt32 prevMin2MinusMax1[kBZ_OuMedianRecentWindows],
                        SInt32 newY[kBZ_OuMedianRecentWindows][8]) {
  const SInt32 min1 = std::min({y[0], y[1], y[2], y[3]}), max1 = std::max({y[0], y[1], y[2], y[3]});
  const SInt32 min2 = std::min({y[4], y[5], y[6], y[7]}), max2 = std::max({y[4], y[5], y[6], y[7]});
  const SInt32 a = min1 - max2, b = min2 - max1;
  prevMin1MinusMax2[kNewest] = a;
  prevMin2MinusMax1[kNewest] = b;
  if (a <= 0 && b <= 0) {
    for (SInt32 i = 1; i <= 6; ++i) newY[kNewest][i] = y[i];
    return;
  }

  const SInt32 h = b > 0 ? b : a;
  float s = 0.0f, t = 0.0f, u = 0.0f;
  if (h <= 30) {
    t = float(h) / 30.0f;
    s = 1.0f - t;
  } else if (h <= 60) {
    u = float(h - 30) / 30.0f;
    t = 1.0f - u;
  } else {
    u = 1.0f;
  }
  // A fall is a rise of the negated samples.
  const SInt32 sign = b > 0 ? 1 : -1;
  SInt32 z[8], moderate[8], hard[8];
  for (SInt32 k = 0; k < 8; ++k) z[k] = moderate[k] = hard[k] = sign * y[k];
  if (t > 0.0f) ModerateRise(z, moderate);
  if (u > 0.0f) HardRise(z, hard);
  for (SInt32 i = 1; i <= 6; ++i)
    newY[kNewest][i] =
        SInt32(0.499 + s * float(y[i]) + t * float(sign * moderate[i]) + u * float(sign * hard[i]));

  for (SInt32 i = 1; i <= 6; ++i) {
    SInt32 sumWeights = 0, sum = 0;
    for (SInt32 j = 0; j < kBZ_OuMedianRecentWindows; ++j) {
      const SInt32 candidate = i - j + kNewest;
      if (candidate >= 7) continue;
      const SInt32 weight = prevMin1MinusMax2[j] > 0 ? prevMin1MinusMax2[j] : prevMin2MinusMax1[j];
      if (weight <= 0) continue;
      sumWeights += weight;
      sum += weight * newY[j][candidate];
    }
    tempIn[offset + SInt64(i - 8) * pixelOffset + 1] = UInt8((sumWeights / 2 + sum) / sumWeights);
  }
}

void BZ_OuMedianFilter(const BZ_OuParams *ouParams, const UInt8 *inBuffer, UInt8 *tempIn, SInt32 *pixelList) {
  if (ouParams == nullptr || inBuffer == nullptr || tempIn == nullptr || pixelList == nullptr) return;
  Rect fb{};
  BZ_OuParamsToRealFrameBounds(ouParams, &fb);
  const SInt32 w = ouParams->width;
  const SInt32 columns = fb.right - fb.left, rows = fb.bottom - fb.top;
  for (SInt32 r = fb.top; r < fb.bottom; ++r) {
    const SInt64 first = 2 * (SInt64(r) * w + fb.left);
    FilterLine(tempIn, first, 2, columns, [&](SInt32 k) { return SInt32(inBuffer[first + 2 * k + 1]); });
  }
  for (SInt32 c = fb.left; c < fb.right; ++c) {
    const SInt64 first = 2 * (SInt64(fb.top) * w + c);
    for (SInt32 k = 0; k < rows; ++k) pixelList[k] = tempIn[first + 2 * SInt64(k) * w + 1];
    FilterLine(tempIn, first, 2 * w, rows, [&](SInt32 k) { return pixelList[k]; });
  }
}
