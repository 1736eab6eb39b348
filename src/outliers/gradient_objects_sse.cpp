// Gradient plane, SSE version: eight pixels at a time in 32-bit sums, the row's tail pixel by pixel.
#include "outliers/gradient_objects.h"

#include "outliers/outlier_stage.h"

#include <cassert>
#include <emmintrin.h>
#include <pmmintrin.h>

namespace {

// The luminance of the 8 pixels from p on, as unsigned 16-bit lanes.
inline __m128i Luma8(const UInt8 *in, SInt64 p) {
  return _mm_srli_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 2 * p)), 8);
}

// x0^2 + y0^2 ... per 32-bit lane for the lanes of one half (lo: pixels 0-3, hi: 4-7).
inline __m128i SumSquaresLo(__m128i x, __m128i y) {
  const __m128i v = _mm_unpacklo_epi16(x, y);
  return _mm_madd_epi16(v, v);
}
inline __m128i SumSquaresHi(__m128i x, __m128i y) {
  const __m128i v = _mm_unpackhi_epi16(x, y);
  return _mm_madd_epi16(v, v);
}

// ((sum) x 21) >> 8 without a 32-bit multiply.
inline __m128i Times21Shift8(__m128i s) {
  const __m128i t = _mm_add_epi32(_mm_add_epi32(_mm_slli_epi32(s, 4), _mm_slli_epi32(s, 2)), s);
  return _mm_srli_epi32(t, 8);
}

inline SInt32 Sq(SInt32 d) { return d * d; }

}  // namespace

void BZ_OuCalcGradSqAcc(const BZ_OuParams *ouParams, const UInt8 *inBuffer, UInt16 * /*tempIn*/, UInt16 *gradSq,
                        SInt32 * /*pixelList*/) {
  if (ouParams == nullptr || inBuffer == nullptr || gradSq == nullptr) return;
  Rect fb{};
  BZ_OuParamsToRealFrameBounds(ouParams, &fb);
  const SInt64 w = ouParams->width;
  assert(fb.right <= w);
  const __m128i bias32 = _mm_set1_epi32(32768), bias16 = _mm_set1_epi16(SInt16(-32768));
  for (SInt32 r = fb.top + 1; r <= fb.bottom - 2; ++r) {
    SInt32 c = fb.left + 1;
    // Vectors while all 8 pixels and their right neighbours lie in the picture rectangle.
    for (; c + 8 <= fb.right - 1; c += 8) {
      const SInt64 p = r * w + c, u = p - w, d = p + w;
      const __m128i um = Luma8(inBuffer, u - 1), up = Luma8(inBuffer, u + 1), uc = Luma8(inBuffer, u);
      const __m128i pm = Luma8(inBuffer, p - 1), pp = Luma8(inBuffer, p + 1);
      const __m128i dm = Luma8(inBuffer, d - 1), dp = Luma8(inBuffer, d + 1), dc = Luma8(inBuffer, d);
      const __m128i ax = _mm_sub_epi16(up, um), bx = _mm_sub_epi16(pp, pm), cx = _mm_sub_epi16(dp, dm);
      const __m128i ay = _mm_sub_epi16(dm, um), by = _mm_sub_epi16(dc, uc), cy = _mm_sub_epi16(dp, up);
      // gx + gy = ax^2 + cx^2 + ay^2 + cy^2 + 4 (bx^2 + by^2).
      const __m128i lo = _mm_add_epi32(_mm_add_epi32(SumSquaresLo(ax, cx), SumSquaresLo(ay, cy)),
                                       _mm_slli_epi32(SumSquaresLo(bx, by), 2));
      const __m128i hi = _mm_add_epi32(_mm_add_epi32(SumSquaresHi(ax, cx), SumSquaresHi(ay, cy)),
                                       _mm_slli_epi32(SumSquaresHi(bx, by), 2));
      // The results reach 64009: biased into the signed range for the saturating pack and back.
      const __m128i packed = _mm_packs_epi32(_mm_sub_epi32(Times21Shift8(lo), bias32),
                                             _mm_sub_epi32(Times21Shift8(hi), bias32));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(gradSq + p), _mm_xor_si128(packed, bias16));
    }
    for (; c <= fb.right - 2; ++c) {
      const SInt64 p = r * w + c, u = p - w, d = p + w;
      auto Y = [inBuffer](SInt64 i) { return SInt32(inBuffer[2 * i + 1]); };
      const SInt32 gx = Sq(Y(u + 1) - Y(u - 1)) + Sq(2 * (Y(p + 1) - Y(p - 1))) + Sq(Y(d + 1) - Y(d - 1));
      const SInt32 gy = Sq(Y(d - 1) - Y(u - 1)) + Sq(2 * (Y(d) - Y(u))) + Sq(Y(d + 1) - Y(u + 1));
      gradSq[p] = UInt16(((gx + gy) * 21) >> 8);
    }
  }
}
