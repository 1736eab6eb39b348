// Scene values, SSE version: the luminance bytes masked out of sixteen pixels, summed with PSADBW.
#include "outliers/scene_values.h"

#include <cstdlib>
#include <emmintrin.h>
#include <pmmintrin.h>

UInt64 BZ_OuSumLumaAbsDiffAcc(SInt64 numPixels, const UInt8 *buffer1, const UInt8 *buffer2) {
  // Chroma bytes become 0 in both frames, so they add nothing to the sums of absolute differences.
  const __m128i lumaMask = _mm_set1_epi16(SInt16(0xFF00));
  __m128i sums = _mm_setzero_si128();
  SInt64 p = 0;
  for (; p + 8 <= numPixels; p += 8) {
    const __m128i a = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(buffer1 + 2 * p)), lumaMask);
    const __m128i b = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(buffer2 + 2 * p)), lumaMask);
    // Each 64-bit lane gathers at most 8 x 255 per step; 2^64 is out of reach for any frame.
    sums = _mm_add_epi64(sums, _mm_sad_epu8(a, b));
  }
  alignas(16) UInt64 lanes[2];
  _mm_store_si128(reinterpret_cast<__m128i *>(lanes), sums);
  UInt64 sum = lanes[0] + lanes[1];
  for (; p < numPixels; ++p) sum += UInt64(std::abs(int(buffer1[2 * p + 1]) - int(buffer2[2 * p + 1])));
  return sum;
}
