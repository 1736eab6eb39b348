// Outlier flags of a row, SSE version: sixteen pixels at a time, the luminance bytes taken out of the '2vuy'
// pairs, the neighbours' range with unsigned byte minima and maxima, the flags in 16-bit lanes. The
// second-degree weight (dist x 10 + d / 2) / d, an integer from 0 to 10, is counted as how many of the
// multiples d, 2d ... 10d the numerator reaches, which is the exact quotient without a division.
#include "outliers/speck_detector.h"

#include <algorithm>
#include <emmintrin.h>
#include <pmmintrin.h>

namespace {

// The sixteen luminance bytes of the pixels at p ('2vuy': each luma follows its chroma byte).
inline __m128i Lumas(const UInt8 *p) {
  const __m128i a = _mm_srli_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), 8);
  const __m128i b = _mm_srli_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16)), 8);
  return _mm_packus_epi16(a, b);
}

struct Constants {
  __m128i d, dMinus1, halfD, t, ten, zero, bright, secondDegree, firstDegree, quiet, cut;
  __m128i multiples[10];  // d, 2d ... 10d
};

// The flags of eight pixels (16-bit lanes: centre, smallest and largest of the neighbours); firstMask receives
// all ones in the lanes of first-degree outliers.
inline __m128i Flags8(const Constants &k, __m128i c, __m128i smallest, __m128i largest, __m128i *firstMask) {
  const __m128i above = _mm_sub_epi16(c, largest), below = _mm_sub_epi16(smallest, c);
  const __m128i dist = _mm_max_epi16(above, below);
  const __m128i first = _mm_cmpgt_epi16(dist, k.dMinus1);
  const __m128i outside = _mm_cmpgt_epi16(dist, k.zero);
  const __m128i firstBright = _mm_and_si128(_mm_cmpgt_epi16(above, k.dMinus1), k.bright);
  const __m128i secondBright = _mm_and_si128(_mm_cmpgt_epi16(above, k.zero), k.bright);
  const __m128i n = _mm_add_epi16(_mm_mullo_epi16(dist, k.ten), k.halfD);
  __m128i weight = k.zero;
  const __m128i one = _mm_set1_epi16(1);
  for (const __m128i &m : k.multiples) weight = _mm_sub_epi16(weight, _mm_cmpgt_epi16(n, _mm_sub_epi16(m, one)));
  const __m128i firstFlag = _mm_or_si128(k.firstDegree, firstBright);
  const __m128i secondFlag = _mm_or_si128(_mm_or_si128(k.secondDegree, secondBright), weight);
  __m128i flag = _mm_or_si128(_mm_and_si128(first, firstFlag),
                              _mm_and_si128(_mm_andnot_si128(first, outside), secondFlag));
  // Quiet: largest - smallest < t, c >= largest - t and c <= smallest + t.
  const __m128i narrow = _mm_cmplt_epi16(_mm_sub_epi16(largest, smallest), k.t);
  const __m128i tooLow = _mm_cmplt_epi16(c, _mm_sub_epi16(largest, k.t));
  const __m128i tooHigh = _mm_cmpgt_epi16(c, _mm_add_epi16(smallest, k.t));
  const __m128i quiet = _mm_andnot_si128(_mm_or_si128(tooLow, tooHigh), narrow);
  flag = _mm_or_si128(_mm_or_si128(flag, _mm_and_si128(quiet, k.quiet)), k.cut);
  *firstMask = first;
  return flag;
}

}  // namespace

SInt32 BZ_OuFlagOutlierRowAcc(const UInt8 *const *neighbourRows, SInt32 numNeighbours, const UInt8 *centreRow,
                             SInt32 cols, SInt32 minDiff, UInt16 cut, UInt16 *out) {
  // Distances up to a few above 255 (the detector's retries) stay exact in 16-bit lanes: 10 x 255 + d / 2
  // and 10 d are far below 32767.
  const SInt32 d = std::clamp<SInt32>(minDiff, 0, 1000);
  const SInt32 t = std::max(d / 2, 20);
  Constants k{};
  k.d = _mm_set1_epi16(SInt16(d));
  k.dMinus1 = _mm_set1_epi16(SInt16(d - 1));
  k.halfD = _mm_set1_epi16(SInt16(d / 2));
  k.t = _mm_set1_epi16(SInt16(t));
  k.ten = _mm_set1_epi16(10);
  k.zero = _mm_setzero_si128();
  k.bright = _mm_set1_epi16(0x800);
  k.secondDegree = _mm_set1_epi16(0x20);
  k.firstDegree = _mm_set1_epi16(0x10 | 10);
  k.quiet = _mm_set1_epi16(0x1000);
  k.cut = _mm_set1_epi16(SInt16(cut));
  for (SInt32 j = 0; j < 10; ++j) k.multiples[j] = _mm_set1_epi16(SInt16(std::min<SInt32>((j + 1) * d, 32767)));

  SInt32 numFirst = 0;
  SInt32 x = 0;
  for (; x + 16 <= cols; x += 16) {
    __m128i smallest = _mm_set1_epi8(char(0xFF)), largest = _mm_setzero_si128();
    for (SInt32 i = 0; i < numNeighbours; ++i) {
      const __m128i y = Lumas(neighbourRows[i] + 2 * x);
      smallest = _mm_min_epu8(smallest, y);
      largest = _mm_max_epu8(largest, y);
    }
    const __m128i c = Lumas(centreRow + 2 * x);
    const __m128i z = _mm_setzero_si128();
    __m128i firstLo, firstHi;
    const __m128i lo = Flags8(k, _mm_unpacklo_epi8(c, z), _mm_unpacklo_epi8(smallest, z),
                              _mm_unpacklo_epi8(largest, z), &firstLo);
    const __m128i hi = Flags8(k, _mm_unpackhi_epi8(c, z), _mm_unpackhi_epi8(smallest, z),
                              _mm_unpackhi_epi8(largest, z), &firstHi);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x + 8), hi);
    numFirst += __builtin_popcount(unsigned(_mm_movemask_epi8(_mm_packs_epi16(firstLo, firstHi))));
  }
  // The last pixels, fewer than sixteen, one at a time with the same rules.
  for (; x < cols; ++x) {
    SInt32 smallest = 255, largest = 0;
    for (SInt32 i = 0; i < numNeighbours; ++i) {
      const SInt32 y = neighbourRows[i][2 * x + 1];
      smallest = std::min(smallest, y);
      largest = std::max(largest, y);
    }
    const SInt32 c = centreRow[2 * x + 1], above = c - largest, below = smallest - c;
    const SInt32 dist = std::max(above, below);
    SInt32 flag = 0;
    if (dist >= d) {
      flag = 0x10 | 10 | (above >= d ? 0x800 : 0);
      ++numFirst;
    } else if (dist > 0) {
      SInt32 weight = 0;
      for (SInt32 j = 1; j <= 10; ++j) weight += dist * 10 + d / 2 >= j * d ? 1 : 0;
      flag = 0x20 | (above > 0 ? 0x800 : 0) | weight;
    }
    if (largest - smallest < t && c >= largest - t && c <= smallest + t) flag |= 0x1000;
    out[x] = UInt16(flag | cut);
  }
  return numFirst;
}
