// Chroma thinning for the 4:2:0 and 4:1:1 encoders, SSE kernels, bit-exact with the scalar ones. 4:2:0: eight
// pixel pairs a step in 16-bit lanes, the last pairs of a line that is no multiple of 8 by one more step ending
// at the line's end (it rewrites a few samples with the same values). 4:1:1: four samples a step where every
// pair the filter reads lies inside the line; the samples at both ends, whose pairs are repeated, one at a
// time. Nothing is read or written past a line.
#include "platform/movie/chroma_thinning.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <emmintrin.h>

namespace {

// Cb, Cr, Cb, Cr ... of four pixel pairs as 16-bit lanes (the luma bytes masked off).
inline __m128i Chroma(const UInt8 *line) {
  return _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(line)), _mm_set1_epi16(0x00FF));
}

// (3 (a + b) - (above + below)) >> 2 in 16-bit lanes: -510 to 1530 fits, and the arithmetic shift rounds
// down as the scalar kernel does.
inline __m128i Thin(const UInt8 *above, const UInt8 *a, const UInt8 *b, const UInt8 *below) {
  const __m128i sum = _mm_add_epi16(Chroma(a), Chroma(b));
  const __m128i outer = _mm_add_epi16(Chroma(above), Chroma(below));
  return _mm_srai_epi16(_mm_sub_epi16(_mm_add_epi16(sum, _mm_add_epi16(sum, sum)), outer), 2);
}

// Eight pairs starting at pair k.
inline void Step(const UInt8 *above, const UInt8 *a, const UInt8 *b, const UInt8 *below, SInt32 k, UInt8 *cb,
                 UInt8 *cr) {
  const size_t i = 4 * size_t(k);
  const __m128i lo = Thin(above + i, a + i, b + i, below + i);
  const __m128i hi = Thin(above + i + 16, a + i + 16, b + i + 16, below + i + 16);
  const __m128i both = _mm_packus_epi16(lo, hi);  // Cb0 Cr0 Cb1 Cr1 ... Cb7 Cr7, clamped to 0..255
  const __m128i even = _mm_and_si128(both, _mm_set1_epi16(0x00FF));
  const __m128i odd = _mm_srli_epi16(both, 8);
  const __m128i packed = _mm_packus_epi16(even, odd);  // Cb0..Cb7, Cr0..Cr7
  _mm_storel_epi64(reinterpret_cast<__m128i *>(cb + k), packed);
  _mm_storel_epi64(reinterpret_cast<__m128i *>(cr + k), _mm_unpackhi_epi64(packed, packed));
}

// Cb, Cr of pixel pairs p, p + 2, p + 4 and p + 6 as 16-bit lanes.
inline __m128i EvenPairs(const UInt8 *line, SInt32 p) {
  const __m128 lo = _mm_castsi128_ps(Chroma(line + 4 * size_t(p)));
  const __m128 hi = _mm_castsi128_ps(Chroma(line + 4 * size_t(p) + 16));
  return _mm_castps_si128(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0)));
}

// One 4:1:1 sample with the edge pairs repeated.
inline UInt8 Thin411(const UInt8 *line, SInt32 pairs, SInt32 k, int byte) {
  auto pair = [&](SInt32 i) { return int(line[4 * size_t(std::clamp(i, SInt32(0), pairs - 1)) + byte]); };
  const SInt32 c = 2 * k;
  const int v = 6 * pair(c) + 2 * (pair(c - 1) + pair(c + 1)) - (pair(c - 2) + pair(c + 2)) + 4;
  return UInt8(std::clamp(v >> 3, 0, 255));
}

}  // namespace

void PL_ThinChroma420RowAcc(const UInt8 *above, const UInt8 *a, const UInt8 *b, const UInt8 *below, SInt32 pairs,
                            UInt8 *cb, UInt8 *cr) {
  assert(above != nullptr && a != nullptr && b != nullptr && below != nullptr && cb != nullptr && cr != nullptr);
  assert(pairs >= 8);
  SInt32 k = 0;
  for (; k + 8 <= pairs; k += 8) Step(above, a, b, below, k, cb, cr);
  if (k < pairs) Step(above, a, b, below, pairs - 8, cb, cr);
}

void PL_ThinChroma411RowAcc(const UInt8 *line, SInt32 pairs, SInt32 samples, UInt8 *cb, UInt8 *cr) {
  assert(line != nullptr && cb != nullptr && cr != nullptr && pairs > 0 && samples <= (pairs + 1) / 2);
  // Four samples k..k+3 read pairs 2k - 2 to 2k + 9: inside the line for 1 <= k and 2k + 9 < pairs.
  SInt32 k = 0;
  for (; k < std::min<SInt32>(samples, 1); ++k) cb[k] = Thin411(line, pairs, k, 0), cr[k] = Thin411(line, pairs, k, 2);
  for (; k + 3 < samples && 2 * k + 9 < pairs; k += 4) {
    const SInt32 c = 2 * k;
    const __m128i centre = EvenPairs(line, c);
    const __m128i near = _mm_add_epi16(EvenPairs(line, c - 1), EvenPairs(line, c + 1));
    const __m128i far = _mm_add_epi16(EvenPairs(line, c - 2), EvenPairs(line, c + 2));
    // 6 centre + 2 near - far + 4: at most 2554 and at least -510, inside 16 bits.
    __m128i v = _mm_add_epi16(_mm_slli_epi16(_mm_add_epi16(centre, _mm_add_epi16(centre, centre)), 1),
                              _mm_slli_epi16(near, 1));
    v = _mm_srai_epi16(_mm_add_epi16(_mm_sub_epi16(v, far), _mm_set1_epi16(4)), 3);
    const __m128i bytes = _mm_packus_epi16(v, v);  // Cb0 Cr0 Cb1 Cr1 Cb2 Cr2 Cb3 Cr3, clamped
    const __m128i packed = _mm_packus_epi16(_mm_and_si128(bytes, _mm_set1_epi16(0x00FF)), _mm_srli_epi16(bytes, 8));
    const UInt32 cbs = UInt32(_mm_cvtsi128_si32(packed)), crs = UInt32(_mm_cvtsi128_si32(_mm_srli_si128(packed, 8)));
    std::memcpy(cb + k, &cbs, 4);
    std::memcpy(cr + k, &crs, 4);
  }
  for (; k < samples; ++k) cb[k] = Thin411(line, pairs, k, 0), cr[k] = Thin411(line, pairs, k, 2);
}
