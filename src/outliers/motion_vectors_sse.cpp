// Block differences of the motion search, SSE version: eight pixels (sixteen bytes) of both frames widened to
// 16 bits, subtracted, and squared and summed in pairs with PMADDWD.
#include "outliers/motion_vectors.h"

#include <cstddef>
#include <emmintrin.h>
#include <pmmintrin.h>

SInt32 BZ_MvGetBlockDiffSqAcc(SInt32 width, const Rect *frameBounds, SInt32 blockWidth, SInt32 v, SInt32 h,
                              SInt32 offsetV, SInt32 offsetH, const UInt8 *frame, const UInt8 *nextFrame) {
  BZ_MvBlockCut cut;
  BZ_MvGetBlockCut(frameBounds, blockWidth, v, h, offsetV, offsetH, &cut);
  const __m128i zero = _mm_setzero_si128();
  // Each 32-bit lane gathers at most 64 x 64 / 4 pixels of 2 x 255^2: far below 2^31.
  __m128i sums = _mm_setzero_si128();
  SInt32 tail = 0;
  if (cut.maxI <= cut.minI || cut.maxJ <= cut.minJ) return cut.missingCost;  // the copy lies wholly outside
  const SInt32 numWhole = (cut.maxJ - cut.minJ) / 8;  // whole groups of eight pixels in a row
  const ptrdiff_t rowBytes = 2 * ptrdiff_t(width);
  const UInt8 *a = frame + 2 * (ptrdiff_t(cut.posV + cut.minI) * width + cut.posH + cut.minJ);
  const UInt8 *b = nextFrame + 2 * (ptrdiff_t(cut.nextPosV + cut.minI) * width + cut.nextPosH + cut.minJ);
  auto addGroup = [&](const UInt8 *x8, const UInt8 *y8) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(x8));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(y8));
    const __m128i dLo = _mm_sub_epi16(_mm_unpacklo_epi8(x, zero), _mm_unpacklo_epi8(y, zero));
    const __m128i dHi = _mm_sub_epi16(_mm_unpackhi_epi8(x, zero), _mm_unpackhi_epi8(y, zero));
    sums = _mm_add_epi32(sums, _mm_add_epi32(_mm_madd_epi16(dLo, dLo), _mm_madd_epi16(dHi, dHi)));
  };
  if (numWhole == 1 && cut.maxJ - cut.minJ == 8) {
    // The finest level's whole blocks, where most of the search's time goes: one group per row.
    for (SInt32 i = cut.minI; i < cut.maxI; ++i, a += rowBytes, b += rowBytes) addGroup(a, b);
  } else {
    for (SInt32 i = cut.minI; i < cut.maxI; ++i, a += rowBytes, b += rowBytes) {
      for (SInt32 g = 0; g < numWhole; ++g) addGroup(a + 16 * g, b + 16 * g);
      for (SInt32 j = 8 * numWhole; j < cut.maxJ - cut.minJ; ++j) {
        const SInt32 diffC = SInt32(a[2 * j]) - SInt32(b[2 * j]);
        const SInt32 diffY = SInt32(a[2 * j + 1]) - SInt32(b[2 * j + 1]);
        tail += diffY * diffY + diffC * diffC;
      }
    }
  }
  sums = _mm_add_epi32(sums, _mm_srli_si128(sums, 8));
  sums = _mm_add_epi32(sums, _mm_srli_si128(sums, 4));
  return _mm_cvtsi128_si32(sums) + tail + cut.missingCost;
}
