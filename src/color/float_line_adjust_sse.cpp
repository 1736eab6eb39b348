// SSE tone and colour operations on float lines: four pixels (two pairs, eight floats) a step. The lumas
// of the four pixels form one vector; chroma is handled as (Cb0, Cr0, Cb1, Cr1), one pair per half, and
// the results are interleaved back to Y0, Cb, Y1, Cr.
#include "color/float_line_adjust.h"

#include <cassert>

#include "color/power_curve_sse.h"
#include "color/sse_primitives_sse.h"

namespace {

constexpr float kKr = 0.299f;
constexpr float kKg = 0.587f;
constexpr float kKb = 0.114f;
constexpr float kInvKg = 1.703578f;

inline vFloat Lumas(vFloat v0, vFloat v1) { return _mm_shuffle_ps(v0, v1, _MM_SHUFFLE(2, 0, 2, 0)); }
inline vFloat PairChroma(vFloat v0, vFloat v1) { return _mm_shuffle_ps(v0, v1, _MM_SHUFFLE(3, 1, 3, 1)); }
// (a0, a0, a2, a2): the first pixel's value of each pair, lined up with PairChroma.
inline vFloat FirstOfPairs(vFloat a) { return _mm_shuffle_ps(a, a, _MM_SHUFFLE(2, 2, 0, 0)); }
// (a1, a0, a3, a2).
inline vFloat SwapInPairs(vFloat a) { return _mm_shuffle_ps(a, a, _MM_SHUFFLE(2, 3, 0, 1)); }

inline vFloat Clamp(vFloat v, float lo, float hi) {
  return _mm_min_ps(_mm_max_ps(v, _mm_set1_ps(lo)), _mm_set1_ps(hi));
}

inline void StorePairs(float *out, vFloat y, vFloat chroma) {
  _mm_storeu_ps(out, _mm_unpacklo_ps(y, chroma));
  _mm_storeu_ps(out + 4, _mm_unpackhi_ps(y, chroma));
}

// The gamma of four pixels held in v0 (pixels 0 and 1) and v1 (pixels 2 and 3).
inline void GammaGroup(vFloat v0, vFloat v1, vFloat exponent, vFloat *out0, vFloat *out1) {
  const vFloat one = _mm_set1_ps(1.0f);
  const vFloat top = _mm_sub_ps(_mm_set1_ps(255.0f), one);
  const vFloat y = Lumas(v0, v1);
  const vFloat cb = _mm_shuffle_ps(v0, v1, _MM_SHUFFLE(1, 1, 1, 1));
  const vFloat cr = _mm_shuffle_ps(v0, v1, _MM_SHUFFLE(3, 3, 3, 3));

  const vFloat r = _mm_add_ps(y, _mm_mul_ps(_mm_set1_ps(1.402f), cr));
  const vFloat b = _mm_add_ps(y, _mm_mul_ps(_mm_set1_ps(1.772f), cb));
  const vFloat g = _mm_sub_ps(_mm_sub_ps(_mm_mul_ps(_mm_set1_ps(kInvKg), y), _mm_mul_ps(_mm_set1_ps(kKr * kInvKg), r)),
                              _mm_mul_ps(_mm_set1_ps(kKb * kInvKg), b));

  const vFloat r1 = _mm_min_ps(CO_PowerCurveAcc(_mm_max_ps(r, one), exponent), top);
  const vFloat g1 = _mm_min_ps(CO_PowerCurveAcc(_mm_max_ps(g, one), exponent), top);
  const vFloat b1 = _mm_min_ps(CO_PowerCurveAcc(_mm_max_ps(b, one), exponent), top);

  const vFloat y1 = _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(kKr), r1), _mm_mul_ps(_mm_set1_ps(kKg), g1)),
                               _mm_mul_ps(_mm_set1_ps(kKb), b1));
  const vFloat kCb = _mm_set1_ps(0.564334095f);
  const vFloat kCr = _mm_set1_ps(0.71326679f);
  const vFloat cb1 = _mm_sub_ps(_mm_mul_ps(kCb, b1), _mm_mul_ps(kCb, y1));
  const vFloat cr1 = _mm_sub_ps(_mm_mul_ps(kCr, r1), _mm_mul_ps(kCr, y1));
  // Each pair keeps the chroma of its first pixel.
  const vFloat chroma = sse_vecf_merge_e(cb1, cr1);
  *out0 = _mm_unpacklo_ps(y1, chroma);
  *out1 = _mm_unpackhi_ps(y1, chroma);
}

}  // namespace

void CO_ChangeYuv255LineGammaAcc(SInt32 width, const float *inLine, float *outLine, float inGamma, float outGamma) {
  assert(width <= 0 || (inLine != nullptr && outLine != nullptr));
  if (width <= 0) return;
  const vFloat exponent = _mm_set1_ps(inGamma / outGamma);
  // Every pair that starts below width: whole groups of two pairs, then a last single pair, so that a
  // width of 4n + 1 or 4n + 2 does not write the pair after the line.
  const SInt32 pairs = width / 2 + (width & 1);
  SInt32 group = 0;
  for (; group < pairs / 2; ++group, inLine += 8, outLine += 8) {
    vFloat out0, out1;
    GammaGroup(_mm_loadu_ps(inLine), _mm_loadu_ps(inLine + 4), exponent, &out0, &out1);
    _mm_storeu_ps(outLine, out0);
    _mm_storeu_ps(outLine + 4, out1);
  }
  if (pairs & 1) {
    const vFloat v0 = _mm_loadu_ps(inLine);
    vFloat out0, out1;
    GammaGroup(v0, v0, exponent, &out0, &out1);
    _mm_storeu_ps(outLine, out0);
  }
}

void CO_ChangeYuv255LineContrSatAcc(SInt32 width, const float *inLinePtr, float *outLinePtr, float blackLevel,
                                    float invBrScale, float satScale) {
  assert(width < 4 || (inLinePtr != nullptr && outLinePtr != nullptr));
  const vFloat s = _mm_set1_ps(invBrScale);
  const vFloat offset = _mm_set1_ps(-blackLevel * invBrScale);
  const vFloat sat = _mm_set1_ps(satScale);
  for (SInt32 group = 0; group < width / 4; ++group, inLinePtr += 8, outLinePtr += 8) {
    const vFloat v0 = _mm_loadu_ps(inLinePtr);
    const vFloat v1 = _mm_loadu_ps(inLinePtr + 4);
    const vFloat yc = Clamp(Lumas(v0, v1), 1.0f, 254.0f);
    const vFloat y = _mm_add_ps(_mm_mul_ps(yc, s), offset);
    const vFloat newMean = _mm_max_ps(sse_avg_ps(y, SwapInPairs(y)), _mm_setzero_ps());
    const vFloat oldMean = _mm_max_ps(sse_avg_ps(yc, SwapInPairs(yc)), _mm_set1_ps(1.0f));
    // The lumas' means are the same in both lanes of a pair, lined up with (Cb, Cr) of that pair.
    const vFloat chroma = _mm_mul_ps(_mm_div_ps(_mm_mul_ps(PairChroma(v0, v1), newMean), oldMean), sat);
    StorePairs(outLinePtr, y, chroma);
  }
}

void CO_ChangeYuv255LineContrSatY_OnlyAcc(SInt32 width, const float *inLinePtr, float *outLinePtr,
                                          float blackLevel, float invBrScale, float satScale) {
  assert(width < 4 || (inLinePtr != nullptr && outLinePtr != nullptr));
  const vFloat s = _mm_set1_ps(invBrScale);
  const vFloat offset = _mm_set1_ps(-blackLevel * invBrScale);
  const vFloat sat = _mm_set1_ps(satScale);
  for (SInt32 group = 0; group < width / 4; ++group, inLinePtr += 8, outLinePtr += 8) {
    const vFloat v0 = _mm_loadu_ps(inLinePtr);
    const vFloat v1 = _mm_loadu_ps(inLinePtr + 4);
    StorePairs(outLinePtr, _mm_add_ps(_mm_mul_ps(Lumas(v0, v1), s), offset), _mm_mul_ps(PairChroma(v0, v1), sat));
  }
}

void CO_ChangeYuv255LineBrContrSatAcc(SInt32 width, const float *inLinePtr, float *outLinePtr, float brGamma,
                                      float blackLevel, float invBrScale, float satScale) {
  assert(width < 4 || (inLinePtr != nullptr && outLinePtr != nullptr));
  const vFloat exponent = _mm_set1_ps(brGamma);
  const vFloat s = _mm_set1_ps(invBrScale);
  const vFloat offset = _mm_set1_ps(-blackLevel * invBrScale);
  const vFloat sat = _mm_set1_ps(satScale);
  for (SInt32 group = 0; group < width / 4; ++group, inLinePtr += 8, outLinePtr += 8) {
    const vFloat v0 = _mm_loadu_ps(inLinePtr);
    const vFloat v1 = _mm_loadu_ps(inLinePtr + 4);
    const vFloat yc = Clamp(Lumas(v0, v1), 1.0f, 255.0f);
    const vFloat k = _mm_mul_ps(sat, _mm_div_ps(_mm_set1_ps(1.0f), FirstOfPairs(yc)));
    const vFloat yk = Clamp(_mm_add_ps(_mm_mul_ps(yc, s), offset), 1.0f, 254.0f);
    const vFloat y = _mm_min_ps(CO_PowerCurveAcc(yk, exponent), _mm_set1_ps(254.0f));
    StorePairs(outLinePtr, y, _mm_mul_ps(_mm_mul_ps(PairChroma(v0, v1), k), FirstOfPairs(y)));
  }
}

void CO_ChangeYuv255LineBrContrSatY_OnlyAcc(SInt32 width, const float *inLinePtr, float *outLinePtr, float brGamma,
                                            float blackLevel, float invBrScale, float satScale) {
  assert(width < 4 || (inLinePtr != nullptr && outLinePtr != nullptr));
  const vFloat exponent = _mm_set1_ps(brGamma);
  const vFloat s = _mm_set1_ps(invBrScale);
  const vFloat offset = _mm_set1_ps(-blackLevel * invBrScale);
  const vFloat sat = _mm_set1_ps(satScale);
  for (SInt32 group = 0; group < width / 4; ++group, inLinePtr += 8, outLinePtr += 8) {
    const vFloat v0 = _mm_loadu_ps(inLinePtr);
    const vFloat v1 = _mm_loadu_ps(inLinePtr + 4);
    const vFloat yk = Clamp(_mm_add_ps(_mm_mul_ps(Lumas(v0, v1), s), offset), 1.0f, 254.0f);
    const vFloat y = Clamp(CO_PowerCurveAcc(yk, exponent), 0.0f, 255.0f);
    StorePairs(outLinePtr, y, _mm_mul_ps(PairChroma(v0, v1), sat));
  }
}
