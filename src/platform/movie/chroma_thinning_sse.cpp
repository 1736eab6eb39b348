// Chroma thinning for the 4:2:0 encoders, SSE kernel: eight pixel pairs a step in 16-bit lanes, the last
// pairs of a line that is no multiple of 8 by one more step ending at the line's end (it rewrites a few
// samples with the same values), so nothing is read or written past the line. Bit-exact with the scalar
// kernel.
#include "platform/movie/chroma_thinning.h"

#include <cassert>
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

}  // namespace

void PL_ThinChroma420RowAcc(const UInt8 *above, const UInt8 *a, const UInt8 *b, const UInt8 *below, SInt32 pairs,
                            UInt8 *cb, UInt8 *cr) {
  assert(above != nullptr && a != nullptr && b != nullptr && below != nullptr && cb != nullptr && cr != nullptr);
  assert(pairs >= 8);
  SInt32 k = 0;
  for (; k + 8 <= pairs; k += 8) Step(above, a, b, below, k, cb, cr);
  if (k < pairs) Step(above, a, b, below, pairs - 8, cb, cr);
}
